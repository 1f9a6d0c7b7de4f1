// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/text_printer.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>
#include <stdexcept>

QStringList Print_lines(const QString& text) {
  if (text.isEmpty()) return {};
  QStringList lines = text.split(QLatin1Char('\n'));
  if (lines.size() > 1 && lines.last().isEmpty()) lines.removeLast();
  return lines;
}

void Print_text(QPrinter& printer, const QFont& font, const QString& text) {
  QFont print_font = font;
  print_font.setPointSize(kPrint_point_size);

  QPainter painter;
  if (!painter.begin(&printer)) {
    const QString name =
        printer.printerName().isEmpty() ? printer.outputFileName() : printer.printerName();
    throw std::runtime_error(
        QStringLiteral("The printer \"%1\" could not be opened, so nothing was printed.")
            .arg(name)
            .toStdString());
  }
  painter.setFont(print_font);
  // Metrics in the printer's own resolution, so that line pitch matches what is drawn.
  const QFontMetrics metrics(print_font, &printer);
  const int page_height = printer.height();  // the printable area, in device pixels
  const int pitch = metrics.lineSpacing();

  int baseline = metrics.ascent();
  bool page_empty = true;
  for (const QString& line : Print_lines(text)) {
    if (!page_empty && baseline + metrics.descent() > page_height) {
      printer.newPage();
      baseline = metrics.ascent();
    }
    painter.drawText(0, baseline, line);  // no clip rectangle, no wrapping
    baseline += pitch;
    page_empty = false;
  }
  painter.end();
}
