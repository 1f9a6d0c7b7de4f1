// SPDX-License-Identifier: GPL-3.0-or-later
// A small JSON reader (RFC 8259) for the command line's input files: objects keep their
// members' order, and numbers keep their text, so that each figure goes through the
// worksheet's field rules as the user wrote it.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct tJson_member;

struct tJson_value {
  enum class tKind { Null, Bool, Number, String, Array, Object } Kind = tKind::Null;
  bool Bool = false;
  std::string Text;  // a number's text or a string's value
  std::vector<tJson_value> Items;                            // array
  std::vector<tJson_member> Members;  // object, in order

  // The member of that name, or nullptr.
  const tJson_value* Find(const std::string& name) const;
};

struct tJson_member {
  std::string Name;
  tJson_value Value;
};

// Parses a whole document; throws std::runtime_error with the offset on a syntax error.
tJson_value Parse_json(std::string_view text);
