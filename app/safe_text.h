// SPDX-License-Identifier: GPL-3.0-or-later
// Text copied from an input (a name, the notes, a case file's id) made safe for the
// outputs: no byte that is not UTF-8, no control character that could steer a terminal,
// no bidirectional override that could reorder a line.
#pragma once

#include <string>
#include <vector>

// The text as well-formed UTF-8 with no C1 control (U+0080 to U+009F) and no
// bidirectional embedding, override or isolate (U+202A to U+202E, U+2066 to U+2069):
// each of these, and each byte that is not part of a well-formed UTF-8 sequence, becomes
// U+FFFD. ASCII control characters are kept (for a JSON writer to escape).
std::string Safe_utf8(const std::string& text);

// Safe_utf8 of the text with no ASCII control characters either: tabs and line ends
// (also U+2028 and U+2029) become spaces, any other control character U+FFFD, so that
// nothing copied from an input can steer a terminal, reorder a line or break it.
std::string Printable_text(const std::string& text);

// A message in one line, for a CSV cell or a JSON string: each run of line ends becomes
// one space.
std::string One_line(const std::string& message);

// One CSV field as written: Printable_text of the text, quoted when it holds a comma, a
// quote or surrounding blanks.
std::string Csv_field(const std::string& text);

// A worksheet message for a terminal or a text box: each CR becomes a line end; any other
// control character (copied from the input) is replaced as Printable_text does.
std::string Message_for_terminal(const std::string& message);

// The lines of a text, split at CR, LF or CRLF (none for an empty text): the notes lines
// of the command line's --notes.
std::vector<std::string> Split_lines(const std::string& text);
