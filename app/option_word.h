// SPDX-License-Identifier: GPL-3.0-or-later
// One word of a command line: "--name=value" splits at its first '='; any other word is a
// name with no value of its own. Shared by kestrum-cli's parsers and the planning request,
// which reads the command line's words.
#pragma once

#include <optional>
#include <string>

struct tOption_word {
  std::string Name;
  std::optional<std::string> Value;
  bool Help() const { return Name == "--help" || Name == "-h"; }
};

inline tOption_word Split_option(const std::string& word) {
  tOption_word w{word, std::nullopt};
  if (const std::size_t eq = word.find('='); word.rfind("--", 0) == 0 && eq != std::string::npos) {
    w.Value = word.substr(eq + 1);
    w.Name.resize(eq);
  }
  return w;
}
