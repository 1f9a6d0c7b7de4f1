// SPDX-License-Identifier: GPL-3.0-or-later
// The User's Notes of the worksheet and the toolkit's windows: a memo of at most
// kNotes_max_length characters (its lines head the report, split by Split_notes).
#pragma once

class QPlainTextEdit;

constexpr int kNotes_max_length = 250;

// Cuts the memo's text back to kNotes_max_length characters (on every change).
void Limit_notes(QPlainTextEdit* memo);
