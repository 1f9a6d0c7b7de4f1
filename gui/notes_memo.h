// SPDX-License-Identifier: GPL-3.0-or-later
// The User's Notes of the worksheet and the toolkit's windows: a memo of at most
// kNotes_max_length characters whose lines head the report.
#pragma once

#include <string>
#include <vector>

class QPlainTextEdit;

constexpr int kNotes_max_length = 250;

// Cuts the memo's text back to kNotes_max_length characters (on every change).
void Limit_notes(QPlainTextEdit* memo);
// The memo's lines, one entry per line (a last empty line dropped; none when empty).
std::vector<std::string> Notes_lines(const QPlainTextEdit* memo);
