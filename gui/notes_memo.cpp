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

std::vector<std::string> Notes_lines(const QPlainTextEdit* memo) {
  const QString text = memo->toPlainText();
  std::vector<std::string> lines;
  if (text.isEmpty()) return lines;
  QStringList parts = text.split(QLatin1Char('\n'));
  if (parts.size() > 1 && parts.last().isEmpty()) parts.removeLast();
  for (const QString& part : parts) lines.push_back(part.toStdString());
  return lines;
}
