// SPDX-License-Identifier: GPL-3.0-or-later
// The plots' drawing: one paint function for the screen and every file format.
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "gui/plot_layout.h"

using namespace plot_layout;

namespace {


// Okabe and Ito's palette for colour-blind readers ("Color Universal Design", 2002); the
// shades used together also differ in lightness, and the lines in width or dash, so that
// a grey print keeps them apart.
const QColor kBlue(0x00, 0x72, 0xB2);
const QColor kSky_blue(0x56, 0xB4, 0xE9);
const QColor kOrange(0xE6, 0x9F, 0x00);
const QColor kVermillion(0xD5, 0x5E, 0x00);
const QColor kDark_grey(0x40, 0x40, 0x40);

// A tick's label: at most 10 significant digits, with no rounding noise and no "-0".
QString Tick_label(double value, double step) {
  value = std::round(value / step) * step;
  if (std::abs(value) < step * 1e-9) value = 0;
  return QString::number(value, 'g', 10);
}

// Text with a white box behind it, so that lines under it do not make it hard to read.
void Boxed_text(QPainter& p, const QRectF& box, const QString& text) {
  p.fillRect(box, QColor(255, 255, 255, 220));
  p.drawText(box, Qt::AlignCenter, text);
}

// The frame, the ticks with their labels, the axis titles, the panel's title, the legend
// with its swatches drawn by swatch(k, box), and the caption below the legend.
template <typename tSwatch>
void Draw_axes(QPainter& p, const tFrame& f, const QString& title, const QString& x_title,
               const QString& y_title, const std::vector<tPlaced_text>& legend,
               tSwatch&& swatch, const QString& caption) {
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(Qt::NoBrush);
  p.drawRect(f.Area);
  p.setFont(Font(12));
  constexpr double kTick = 5;
  for (double t : f.X.Ticks) {
    const double x = f.Map_x(t);
    p.drawLine(QPointF(x, f.Area.bottom()), QPointF(x, f.Area.bottom() + kTick));
    p.drawText(QRectF(x - 40, f.Area.bottom() + kTick, 80, 16), Qt::AlignHCenter | Qt::AlignTop,
               Tick_label(t, f.X.Step));
  }
  for (double t : f.Y.Ticks) {
    const double y = f.Map(f.X.Lower, t).y();
    p.drawLine(QPointF(f.Area.left() - kTick, y), QPointF(f.Area.left(), y));
    p.drawText(QRectF(f.Area.left() - kTick - 52, y - 8, 50, 16), Qt::AlignRight | Qt::AlignVCenter,
               Tick_label(t, f.Y.Step));
  }
  p.setFont(Font(13));
  p.drawText(QRectF(f.Area.left(), f.Area.bottom() + 22, f.Area.width(), 18), Qt::AlignCenter,
             x_title);
  p.save();
  p.translate(f.Area.left() - 46, f.Area.center().y());
  p.rotate(-90);
  p.drawText(QRectF(-f.Area.height() / 2, -16, f.Area.height(), 16), Qt::AlignCenter, y_title);
  p.restore();
  p.setFont(Font(15, true));
  p.drawText(QRectF(f.Area.left(), 8, f.Area.width(), 24), Qt::AlignCenter, title);

  p.setFont(Font(12));
  double top = f.Area.bottom() + kLegend_offset;
  for (std::size_t k = 0; k < legend.size(); ++k) {
    const QRectF& box = legend[k].Box;
    p.save();
    swatch(k, QRectF(box.left(), box.center().y() - kSwatch_height / 2, kSwatch_width,
                     kSwatch_height));
    p.restore();
    p.setPen(Qt::black);
    p.drawText(box.adjusted(kSwatch_width + 4, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
               legend[k].Text);
    top = std::max(top, box.bottom());
  }
  top += 6;
  p.drawText(QRectF(f.Area.left() - 50, top, f.Area.width() + 60, kPlots_height - top),
             Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, caption);
}

const QColor kRegion_fill(kSky_blue.red(), kSky_blue.green(), kSky_blue.blue(), 70);
const QColor kBand(kOrange.red(), kOrange.green(), kOrange.blue(), 90);


void Draw_case_panel(QPainter& p, const tCase_plot& plot, double left) {
  const tFrame f = Case_frame(plot, left);
  const tPanel_texts texts = Case_panel_texts(plot, left);
  p.save();
  p.setClipRect(f.Area);
  // The ellipses, the innermost shaded; widths fall as the coverage grows; then the line
  // z_x = z_y (the last of the panel's lines).
  const double widths[] = {2.4, 1.8, 1.2};
  for (std::size_t e = 0; e < plot.Ellipses.size(); ++e) {
    p.setPen(QPen(kBlue, widths[std::min<std::size_t>(e, 2)]));
    p.setBrush(e == 0 ? QBrush(kRegion_fill) : QBrush(Qt::NoBrush));
    p.drawPolygon(texts.Lines[e]);
  }
  p.setPen(QPen(kDark_grey, 1.5, Qt::DashLine));
  p.drawPolyline(texts.Lines.back());
  p.setPen(kBlue.darker(130));
  p.setFont(Font(12));
  for (std::size_t e = 0; e < plot.Ellipses.size(); ++e)
    Boxed_text(p, texts.Labels[e].Box, texts.Labels[e].Text);
  // The case: a filled point with its label.
  p.setPen(QPen(Qt::black, 1.2));
  p.setBrush(kVermillion);
  p.drawEllipse(f.Map(plot.Case.X, plot.Case.Y), 6, 6);
  p.setPen(Qt::black);
  p.setFont(Font(12, true));
  Boxed_text(p, texts.Labels.back().Box, texts.Labels.back().Text);
  p.restore();
  Draw_axes(p, f, Text(plot.Title), Text(plot.X_title),
            Text(plot.Y_title), texts.Legend,
            [&](std::size_t k, const QRectF& swatch) {
              if (k == 0) {
                p.setPen(QPen(kBlue, 1.8));
                p.setBrush(kRegion_fill);
                p.drawEllipse(swatch);
              } else {
                p.setPen(QPen(kDark_grey, 1.5, Qt::DashLine));
                p.drawLine(QLineF(swatch.left(), swatch.center().y(), swatch.right(),
                                  swatch.center().y()));
              }
            },
            Text(plot.Caption));
}

// The controls' density with its central 95 % shaded, and the case's z as a line with its
// label.
void Draw_task_panel(QPainter& p, const tTask_plot& plot, double left) {
  const tFrame f = Task_frame(plot, left);
  const tPanel_texts texts = Task_panel_texts(plot, left);
  p.save();
  p.setClipRect(f.Area);
  QPolygonF central;
  central << f.Map(plot.Central_lower, 0);
  for (const tPlot_point& point : plot.Density)
    if (point.X >= plot.Central_lower && point.X <= plot.Central_upper) central << f.Map(point.X, point.Y);
  central << f.Map(plot.Central_upper, 0);
  p.setPen(Qt::NoPen);
  p.setBrush(kRegion_fill);
  p.drawPolygon(central);
  p.setPen(QPen(kBlue, 2.4));
  p.setBrush(Qt::NoBrush);
  p.drawPolyline(texts.Lines[0]);
  p.setPen(QPen(Qt::white, 4));
  p.drawPolyline(texts.Lines[1]);
  p.setPen(QPen(kVermillion, 2.4));
  p.drawPolyline(texts.Lines[1]);
  p.setPen(Qt::black);
  p.setFont(Font(12, true));
  Boxed_text(p, texts.Labels[0].Box, texts.Labels[0].Text);
  p.restore();
  Draw_axes(p, f, Text(plot.Title), Text(plot.X_title), Text(plot.Y_title), texts.Legend,
            [&](std::size_t k, const QRectF& swatch) {
              if (k == 0) {
                p.fillRect(swatch, kRegion_fill);
              } else {
                p.setPen(QPen(kBlue, 2.4));
                p.drawLine(QLineF(swatch.left(), swatch.center().y(), swatch.right(),
                                  swatch.center().y()));
              }
            },
            Text(plot.Caption));
}

void Draw_posterior_panel(QPainter& p, const tPosterior_plot& plot, double left) {
  const tFrame f = Posterior_frame(plot, left);
  const tPanel_texts texts = Posterior_panel_texts(plot, left);
  p.save();
  p.setClipRect(f.Area);
  // The credible interval, shaded over the whole height.
  p.fillRect(QRectF(QPointF(f.Map_x(plot.Interval_lower), f.Area.top()),
                    QPointF(f.Map_x(plot.Interval_upper), f.Area.bottom())),
             kBand);
  // The bars, as one path so that neighbours leave no hairline gaps.
  QPainterPath bars;
  for (const tHistogram_bar& bar : plot.Bars) {
    if (bar.Density <= 0) continue;
    bars.addRect(QRectF(f.Map(bar.Left, bar.Density), f.Map(bar.Right, 0)));
  }
  p.setPen(Qt::NoPen);
  p.setBrush(kBlue);
  p.drawPath(bars.simplified());
  // The line at 0 and the point estimate, each on a white halo so that it stands out
  // from the bars also in a grey print.
  const auto vertical = [&](const QPolygonF& line, const QPen& pen) {
    p.setPen(QPen(Qt::white, pen.widthF() + 1.6));
    p.drawPolyline(line);
    p.setPen(pen);
    p.drawPolyline(line);
  };
  vertical(texts.Lines[0], QPen(Qt::black, 1.2));
  vertical(texts.Lines[1], QPen(kVermillion, 2.4));
  p.restore();
  Draw_axes(p, f, Text(plot.Title), Text(plot.X_title),
            Text(plot.Y_title),
            texts.Legend,
            [&](std::size_t k, const QRectF& swatch) {
              if (k == 0) {
                p.fillRect(swatch, kBand);
              } else {
                p.setPen(QPen(kVermillion, 2.4));
                p.drawLine(QLineF(swatch.left(), swatch.center().y(), swatch.right(),
                                  swatch.center().y()));
              }
            },
            Text(plot.Caption));
}

}  // namespace

void Map_logical_box(QPainter& p, const QRect& device) {
  const double scale = std::min(device.width() / double(kPlots_width),
                                device.height() / double(kPlots_height));
  const QSize size(qRound(kPlots_width * scale), qRound(kPlots_height * scale));
  p.setViewport(QRect(device.topLeft() + QPoint((device.width() - size.width()) / 2,
                                                (device.height() - size.height()) / 2),
                      size));
  p.setWindow(0, 0, kPlots_width, kPlots_height);
}



void Paint_result_plots(QPainter& painter, const tResult_plots& plots) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillRect(QRectF(0, 0, kPlots_width, kPlots_height), Qt::white);
  if (plots.One_task) Draw_task_panel(painter, plots.Task, 0);
  else Draw_case_panel(painter, plots.Case, 0);
  Draw_posterior_panel(painter, plots.Posterior, kPanel_width);
  painter.restore();
}

