// SPDX-License-Identifier: GPL-3.0-or-later
// Printing plain text: one text line after another, top to bottom, inside margins of
// kPrint_margin_mm on every side; a line too wide for the page wraps onto further printed
// lines (after a space where it has one, else anywhere); each page ends with its number,
// "page k of n".
#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

class QPaintDevice;
class QPrinter;

// The font size of printed text, in points.
constexpr int kPrint_point_size = 8;
// The margin on each side of a printed page, in millimetres.
constexpr double kPrint_margin_mm = 15;

// The lines of text as the printer puts them: split at line breaks, with one final line
// break ending the text rather than adding an empty last line.
QStringList Print_lines(const QString& text);

// One text line as printed lines no wider than width (device pixels of device) in font.
QStringList Wrap_line(const QString& line, const QFont& font, QPaintDevice* device, qreal width);

// Prints text on printer as one job, in font at kPrint_point_size points. Throws
// std::runtime_error with a readable message when the printer cannot be opened.
void Print_text(QPrinter& printer, const QFont& font, const QString& text);
