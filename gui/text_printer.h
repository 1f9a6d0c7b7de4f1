// SPDX-License-Identifier: GPL-3.0-or-later
// Printing plain text as a line printer would: one text line per printed line, top to
// bottom, a new page when the next line no longer fits, no wrapping (a line too long for
// the page is cut at its edge), no header, footer or page number, and no margin beyond the
// printer's own printable area.
#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

class QPrinter;

// The font size of printed text, in points.
constexpr int kPrint_point_size = 8;

// The lines of text as the printer puts them: split at line breaks, with one final line
// break ending the text rather than adding an empty last line.
QStringList Print_lines(const QString& text);

// Prints text on printer as one job, in font at kPrint_point_size points. Throws
// std::runtime_error with a readable message when the printer cannot be opened.
void Print_text(QPrinter& printer, const QFont& font, const QString& text);
