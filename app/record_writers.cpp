// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/record_writers.h"

#include <type_traits>

#include "app/safe_text.h"
#include "distrib/number_text.h"

namespace {

std::string Num(Extended value) { return Shortest_number(static_cast<double>(value)); }
std::string Bool(bool value) { return value ? "true" : "false"; }

}  // namespace

std::string Shortest_number(double value) { return Shortest_text(value); }

std::string Json_string(const std::string& text) {
  std::string out = "\"";
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned char c = s[i];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
    } else if (c < 0x20) {
      static const char* hex = "0123456789abcdef";
      out += "\\u00";
      out += hex[c >> 4];
      out += hex[c & 15];
      ++i;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
    } else {
      // A well-formed UTF-8 sequence is copied; anything else becomes U+FFFD.
      std::size_t len = (c >= 0xC2 && c <= 0xDF) ? 2 : (c >= 0xE0 && c <= 0xEF) ? 3
                        : (c >= 0xF0 && c <= 0xF4) ? 4 : 0;
      bool ok = len != 0 && i + len <= n;
      for (std::size_t k = 1; ok && k < len; ++k) ok = (s[i + k] & 0xC0) == 0x80;
      if (ok && len == 3) {
        ok = !(c == 0xE0 && s[i + 1] < 0xA0) && !(c == 0xED && s[i + 1] > 0x9F);
      }
      if (ok && len == 4) {
        ok = !(c == 0xF0 && s[i + 1] < 0x90) && !(c == 0xF4 && s[i + 1] > 0x8F);
      }
      // C1 controls (C2 80 to C2 9F) and the bidirectional embeddings, overrides and
      // isolates (E2 80 AA to E2 80 AE, E2 81 A6 to E2 81 A9) are replaced too, as in the
      // CSV and the report.
      const bool c1 = ok && len == 2 && c == 0xC2 && s[i + 1] <= 0x9F;
      const bool bidi = ok && len == 3 && c == 0xE2 &&
                        ((s[i + 1] == 0x80 && s[i + 2] >= 0xAA && s[i + 2] <= 0xAE) ||
                         (s[i + 1] == 0x81 && s[i + 2] >= 0xA6 && s[i + 2] <= 0xA9));
      if (c1 || bidi) {
        out += "\\ufffd";
        i += len;
      } else if (ok) {
        out.append(text, i, len);
        i += len;
      } else {
        out += "\\ufffd";
        ++i;
      }
    }
  }
  out += '"';
  return out;
}

// A figure's value as JSON writes it: numbers in the shortest form that reads back as the
// same double, whole numbers as they are, true/false, words as strings, null for none.
std::string Json_value(const tFigure& f) {
  return std::visit(
      [](const auto& v) -> std::string {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) return "null";
        else if constexpr (std::is_same_v<T, Extended>) return Num(v);
        else if constexpr (std::is_same_v<T, std::int64_t>) return std::to_string(v);
        else if constexpr (std::is_same_v<T, bool>) return Bool(v);
        else return Json_string(v);
      },
      f.Value);
}

// A figure's value in a CSV cell: as in JSON, but words bare (quoted only where CSV
// needs it) and an empty cell for none.
std::string Csv_value(const tFigure& f) {
  if (std::holds_alternative<std::monostate>(f.Value)) return "";
  if (const auto* w = std::get_if<std::string>(&f.Value)) return Csv_field(*w);
  return Json_value(f);
}

std::string Histogram_json(const tZdcc_histogram& histogram) {
  std::string json = "{\"lower\": " + Num(histogram.Lower) + ", \"upper\": " +
                     Num(histogram.Upper) + ", \"below\": " + std::to_string(histogram.Below) +
                     ", \"above\": " + std::to_string(histogram.Above) + ", \"counts\": [";
  for (std::size_t i = 0; i < histogram.Counts.size(); ++i) {
    json += (i == 0 ? "" : ", ") + std::to_string(histogram.Counts[i]);
  }
  return json + "]}";
}

std::string Record_json(const tFigure_table& table, const tGroup_extra& extra) {
  // The figures in the table's order: those of the run as a whole as members of the
  // object, each group as an object (null when the run computed none of its figures),
  // closed by what the caller adds to it (the histogram of the BSDT's draws).
  const std::vector<tFigure>& figures = table.Figures;
  std::string json = "{";
  for (std::size_t i = 0; i < figures.size();) {
    if (i > 0) json += ", ";
    const std::string& group = figures[i].Group;
    if (group.empty()) {
      json += Json_string(figures[i].Key) + ": " + Json_value(figures[i]);
      ++i;
      continue;
    }
    std::size_t end = i;
    bool any = false;
    for (; end < figures.size() && figures[end].Group == group; ++end)
      any = any || !std::holds_alternative<std::monostate>(figures[end].Value);
    json += Json_string(group) + ": ";
    if (!any) {
      json += "null";
    } else {
      json += "{";
      for (std::size_t k = i; k < end; ++k)
        json += (k > i ? ", " : "") + Json_string(figures[k].Key) + ": " + Json_value(figures[k]);
      if (extra) json += extra(group);
      json += "}";
    }
    i = end;
  }
  return json + "}";
}

std::string Results_json(const tRun_results& r) {
  return Record_json(r.Figures, [&r](const std::string& group) -> std::string {
    if (group != "bsdt") return "";
    return ", \"zdcc_histogram\": " + Histogram_json(r.Bsdt_precision.Zdcc_histogram);
  });
}
