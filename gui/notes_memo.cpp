// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/notes_memo.h"

#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

void Limit_notes(QPlainTextEdit* memo) {
  QTextDocument* document = memo->document();
  if (document->characterCount() - 1 <= kNotes_max_length) return;
  QTextCursor cursor(document);
  cursor.setPosition(kNotes_max_length);
  cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
  cursor.removeSelectedText();
}
