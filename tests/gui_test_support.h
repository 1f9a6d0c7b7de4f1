// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers shared by the window tests: what the message-box wrapper has shown, and the
// text of a file.
#pragma once

#include <QFile>
#include <QFont>
#include <QFontMetricsF>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QtGlobal>

#include "gui/dialogs.h"

// How many boxes of this kind the wrapper has shown.
// A window test's start: message boxes and file dialogs scripted, and the control-data file
// in the test's own directory; false when that directory could not be made.
inline bool Start_scripted_in(const QTemporaryDir& dir) {
  tDialogs::Start_scripted();
  if (!dir.isValid()) return false;
  qputenv("KESTRUM_DATA_FILE", dir.filePath(QStringLiteral("kestrum.txt")).toLocal8Bit());
  return true;
}

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

// True when the font's digits, letters and the space all advance alike, so that columns of
// text line up (what a report needs of its font, whatever the font calls itself).
inline bool Equal_advances_in_test(const QFont& font) {
  const QFontMetricsF metrics(font);
  const qreal advance = metrics.horizontalAdvance(QLatin1Char('0'));
  for (const char c : QByteArrayLiteral("0123456789 abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"))
    if (c != '\0' && metrics.horizontalAdvance(QLatin1Char(c)) != advance) return false;
  return advance > 0;
}

// True when every caption has a mnemonic ("&" before a letter or digit) and no two share
// one (letters compared without case).
inline bool Mnemonics_unique(const QStringList& captions) {
  QSet<QChar> used;
  for (const QString& caption : captions) {
    const qsizetype at = caption.indexOf(QLatin1Char('&'));
    if (at < 0 || at + 1 >= caption.size() || !caption[at + 1].isLetterOrNumber()) return false;
    const QChar key = caption[at + 1].toLower();
    if (used.contains(key)) return false;
    used.insert(key);
  }
  return true;
}
