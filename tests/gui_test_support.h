// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers shared by the window tests: what the message-box wrapper has shown, and the
// text of a file.
#pragma once

#include <QFile>
#include <QString>

#include "gui/dialogs.h"

// How many boxes of this kind the wrapper has shown.
inline int Count_shown(tDialogs::tKind kind) {
  int count = 0;
  for (const auto& shown : tDialogs::Shown()) count += shown.Kind == kind ? 1 : 0;
  return count;
}

// The text of the last box of this kind, empty if none was shown.
inline QString Last_shown_text(tDialogs::tKind kind) {
  QString text;
  for (const auto& shown : tDialogs::Shown())
    if (shown.Kind == kind) text = shown.Text;
  return text;
}

// A file's text, or "<missing>" when it cannot be read.
inline QString Read_file(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return QStringLiteral("<missing>");
  return QString::fromUtf8(file.readAll());
}
