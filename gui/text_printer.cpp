// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/text_printer.h"

#include <QFontMetrics>
#include <QMarginsF>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QTextLayout>
#include <algorithm>
#include <stdexcept>

QStringList Print_lines(const QString& text) {
  if (text.isEmpty()) return {};
  QStringList lines = text.split(QLatin1Char('\n'));
  if (lines.size() > 1 && lines.last().isEmpty()) lines.removeLast();
  return lines;
}

QStringList Wrap_line(const QString& line, const QFont& font, QPaintDevice* device, qreal width) {
  if (line.isEmpty()) return {QString()};
  QTextLayout layout(line, font, device);
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout.setTextOption(option);
  QStringList wrapped;
  layout.beginLayout();
  for (QTextLine part = layout.createLine(); part.isValid(); part = layout.createLine()) {
    part.setLineWidth(width);
    // A space at the break ends the line before it; it is not printed at the next start.
    wrapped << line.mid(part.textStart(), part.textLength());
  }
  layout.endLayout();
  for (qsizetype i = 0; i + 1 < wrapped.size(); ++i) {
    while (wrapped[i].endsWith(QLatin1Char(' '))) wrapped[i].chop(1);
  }
  return wrapped;
}

void Print_text(QPrinter& printer, const QFont& font, const QString& text) {
  QFont print_font = font;
  print_font.setPointSize(kPrint_point_size);
  const qreal margin = kPrint_margin_mm;
  printer.setFullPage(false);
  printer.setPageMargins(QMarginsF(margin, margin, margin, margin), QPageLayout::Millimeter);

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
  // Metrics in the printer's own resolution, so that line pitch matches what is drawn;
  // the painter's origin is the top left of the area inside the margins.
  const QFontMetrics metrics(print_font, &printer);
  const int width = printer.width();
  const int pitch = metrics.lineSpacing();
  // The last two line pitches of each page hold its number.
  const int body_height = printer.height() - 2 * pitch;
  const int per_page = std::max(1, (body_height - metrics.height()) / pitch + 1);

  QStringList printed;
  for (const QString& line : Print_lines(text)) printed << Wrap_line(line, print_font, &printer, width);
  const qsizetype pages = std::max<qsizetype>(1, (printed.size() + per_page - 1) / per_page);

  for (qsizetype page = 0; page < pages; ++page) {
    if (page > 0) printer.newPage();
    int baseline = metrics.ascent();
    const qsizetype end = std::min(printed.size(), (page + 1) * per_page);
    for (qsizetype i = page * per_page; i < end; ++i) {
      painter.drawText(0, baseline, printed[i]);
      baseline += pitch;
    }
    painter.drawText(QRect(0, printer.height() - pitch, width, pitch),
                     Qt::AlignHCenter | Qt::AlignBottom,
                     QStringLiteral("page %1 of %2").arg(page + 1).arg(pages));
  }
  painter.end();
}
