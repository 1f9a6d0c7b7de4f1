// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/plots_window.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QImage>
#include <QMarginsF>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QPushButton>
#include <QSaveFile>
#include <QSvgGenerator>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "gui/dialogs.h"

namespace {

// Okabe and Ito's palette for colour-blind readers ("Color Universal Design", 2002); the
// shades used together also differ in lightness, and the lines in width or dash, so that
// a grey print keeps them apart.
const QColor kBlue(0x00, 0x72, 0xB2);
const QColor kSky_blue(0x56, 0xB4, 0xE9);
const QColor kOrange(0xE6, 0x9F, 0x00);
const QColor kVermillion(0xD5, 0x5E, 0x00);
const QColor kDark_grey(0x40, 0x40, 0x40);

// Layout of a panel in logical units: its plot area is a square, so that the case's panel
// has equal scales on both axes.
constexpr double kPanel_width = kPlots_width / 2.0;
constexpr double kPlot_left = 64, kPlot_top = 40, kPlot_size = 416;

QString Text(const std::string& text) { return QString::fromStdString(text); }

QFont Font(int pixel_size, bool bold = false) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixel_size);
  font.setBold(bold);
  return font;
}

// A tick's label: at most 10 significant digits, with no rounding noise and no "-0".
QString Tick_label(double value, double step) {
  value = std::round(value / step) * step;
  if (std::abs(value) < step * 1e-9) value = 0;
  return QString::number(value, 'g', 10);
}

// Maps plot units into one panel's plot area.
struct tFrame {
  QRectF Area;
  tAxis X, Y;
  QPointF Map(double x, double y) const {
    return {Area.left() + (x - X.Lower) / (X.Upper - X.Lower) * Area.width(),
            Area.bottom() - (y - Y.Lower) / (Y.Upper - Y.Lower) * Area.height()};
  }
  double Map_x(double x) const { return Map(x, Y.Lower).x(); }
};

// Text with a white box behind it, so that lines under it do not make it hard to read.
void Boxed_text(QPainter& p, const QPointF& anchor, Qt::Alignment align, const QString& text) {
  const QFontMetricsF metrics(p.font());
  QRectF box(0, 0, metrics.horizontalAdvance(text) + 6, metrics.height() + 2);
  if (align & Qt::AlignRight) box.moveRight(anchor.x());
  else if (align & Qt::AlignHCenter) box.moveLeft(anchor.x() - box.width() / 2);
  else box.moveLeft(anchor.x());
  if (align & Qt::AlignBottom) box.moveBottom(anchor.y());
  else box.moveTop(anchor.y());
  p.fillRect(box, QColor(255, 255, 255, 220));
  p.drawText(box, Qt::AlignCenter, text);
}

// The frame, the ticks with their labels, the axis titles, the panel's title and caption.
void Draw_axes(QPainter& p, const tFrame& f, const QString& title, const QString& x_title,
               const QString& y_title, const QString& caption) {
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
  const double top = f.Area.bottom() + 44;
  p.drawText(QRectF(f.Area.left() - 50, top, f.Area.width() + 60, kPlots_height - top),
             Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, caption);
}

void Draw_case_panel(QPainter& p, const tCase_plot& plot, double left) {
  const tFrame f{QRectF(left + kPlot_left, kPlot_top, kPlot_size, kPlot_size), plot.X_axis,
                 plot.Y_axis};
  p.save();
  p.setClipRect(f.Area);
  // The ellipses, the innermost shaded; widths fall as the coverage grows.
  const double widths[] = {2.4, 1.8, 1.2};
  for (std::size_t e = 0; e < plot.Ellipses.size(); ++e) {
    QPolygonF polygon;
    for (const tPlot_point& point : plot.Ellipses[e].Points) polygon << f.Map(point.X, point.Y);
    p.setPen(QPen(kBlue, widths[std::min<std::size_t>(e, 2)]));
    p.setBrush(e == 0 ? QBrush(QColor(kSky_blue.red(), kSky_blue.green(), kSky_blue.blue(), 70))
                      : QBrush(Qt::NoBrush));
    p.drawPolygon(polygon);
  }
  // The line z_x = z_y: both axes share one range, so it runs corner to corner.
  p.setPen(QPen(kDark_grey, 1.5, Qt::DashLine));
  p.drawLine(f.Map(f.X.Lower, f.X.Lower), f.Map(f.X.Upper, f.X.Upper));
  p.setPen(kBlue.darker(130));
  p.setFont(Font(12));
  for (const tCoverage_ellipse& e : plot.Ellipses) {
    Boxed_text(p, f.Map(e.Label_at.X, e.Label_at.Y) - QPointF(0, 2),
               Qt::AlignHCenter | Qt::AlignBottom, Text(e.Label));
  }
  // The case: a filled point, labelled away from the middle, where the ellipses and
  // their labels are, unless the frame leaves no room there.
  const QPointF c = f.Map(plot.Case.X, plot.Case.Y);
  p.setPen(QPen(Qt::black, 1.2));
  p.setBrush(kVermillion);
  p.drawEllipse(c, 6, 6);
  p.setPen(Qt::black);
  p.setFont(Font(12, true));
  const QString label = Text(plot.Case_label);
  const double label_width = QFontMetricsF(p.font()).horizontalAdvance(label) + 16;
  bool to_left = c.x() < f.Area.center().x();
  if (to_left ? c.x() - f.Area.left() < label_width : f.Area.right() - c.x() < label_width)
    to_left = !to_left;
  bool above = c.y() < f.Area.center().y();
  if (above ? c.y() - f.Area.top() < 30 : f.Area.bottom() - c.y() < 30) above = !above;
  Boxed_text(p, c + QPointF(to_left ? -7 : 7, above ? -7 : 7),
             (to_left ? Qt::AlignRight : Qt::AlignLeft) | (above ? Qt::AlignBottom : Qt::AlignTop),
             label);
  p.restore();
  Draw_axes(p, f, QStringLiteral("Case against the controls"), Text(plot.X_title),
            Text(plot.Y_title), Text(plot.Caption));
}

void Draw_posterior_panel(QPainter& p, const tPosterior_plot& plot, double left) {
  const tFrame f{QRectF(left + kPlot_left, kPlot_top, kPlot_size, kPlot_size), plot.X_axis,
                 plot.Y_axis};
  p.save();
  p.setClipRect(f.Area);
  // The credible interval, shaded over the whole height.
  const QColor band(kOrange.red(), kOrange.green(), kOrange.blue(), 90);
  p.fillRect(QRectF(QPointF(f.Map_x(plot.Interval_lower), f.Area.top()),
                    QPointF(f.Map_x(plot.Interval_upper), f.Area.bottom())),
             band);
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
  const auto vertical = [&](double x, const QPen& pen) {
    const QLineF line(QPointF(f.Map_x(x), f.Area.top()), QPointF(f.Map_x(x), f.Area.bottom()));
    p.setPen(QPen(Qt::white, pen.widthF() + 1.6));
    p.drawLine(line);
    p.setPen(pen);
    p.drawLine(line);
  };
  vertical(0, QPen(Qt::black, 1.2));
  vertical(plot.Zdcc, QPen(kVermillion, 2.4));
  p.restore();

  // The key, top left inside the plot, above the tallest bar.
  p.setFont(Font(12));
  const QPointF at = f.Area.topLeft() + QPointF(8, 8);
  p.fillRect(QRectF(at, QSizeF(22, 12)), band);
  p.setPen(Qt::black);
  Boxed_text(p, at + QPointF(26, -3), Qt::AlignLeft | Qt::AlignTop, Text(plot.Interval_label));
  const QPointF line = at + QPointF(0, 26);
  p.setPen(QPen(kVermillion, 2.4));
  p.drawLine(line, line + QPointF(22, 0));
  p.setPen(Qt::black);
  Boxed_text(p, line + QPointF(26, -10), Qt::AlignLeft | Qt::AlignTop,
             Text(plot.Estimate_label));
  Draw_axes(p, f, QStringLiteral("Posterior of Z-DCC"), Text(plot.X_title), Text(plot.Y_title),
            Text(plot.Caption));
}

// The logical box onto a device rectangle, keeping its shape, centred.
void Map_logical_box(QPainter& p, const QRect& device) {
  const double scale = std::min(device.width() / double(kPlots_width),
                                device.height() / double(kPlots_height));
  const QSize size(qRound(kPlots_width * scale), qRound(kPlots_height * scale));
  p.setViewport(QRect(device.topLeft() + QPoint((device.width() - size.width()) / 2,
                                                (device.height() - size.height()) / 2),
                      size));
  p.setWindow(0, 0, kPlots_width, kPlots_height);
}

[[noreturn]] void Fail_export(const QString& path, const QString& why) {
  throw std::runtime_error(
      QStringLiteral("The plots could not be saved to \"%1\": %2.").arg(path, why).toStdString());
}

}  // namespace

void Paint_result_plots(QPainter& painter, const tResult_plots& plots) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillRect(QRectF(0, 0, kPlots_width, kPlots_height), Qt::white);
  Draw_case_panel(painter, plots.Case, 0);
  Draw_posterior_panel(painter, plots.Posterior, kPanel_width);
  painter.restore();
}

// ---------------------------------------------------------------------------------------

tPlots_canvas::tPlots_canvas(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("PlotsCanvas"));
  setMinimumSize(kPlots_width * 7 / 10, kPlots_height * 7 / 10);
}

void tPlots_canvas::Set_plots(const tResult_plots* plots) {
  plots_ = plots;
  update();
}

void tPlots_canvas::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  if (plots_ == nullptr) return;
  Map_logical_box(painter, rect());
  Paint_result_plots(painter, *plots_);
}

// ---------------------------------------------------------------------------------------

TfrmPlots::TfrmPlots(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("frmPlots"));
  setWindowTitle(QStringLiteral("Kestrum plots"));
  createControls();
}

void TfrmPlots::createControls() {
  canvas_ = new tPlots_canvas(this);
  cmdExport = new QPushButton(QStringLiteral("Export..."), this);
  cmdExport->setObjectName(QStringLiteral("cmdExport"));
  cmdExport->setToolTip(QStringLiteral("Save both pictures as PNG (300 dpi), SVG or PDF"));
  connect(cmdExport, &QPushButton::clicked, this, &TfrmPlots::cmdExportClick);
  cmdClose = new QPushButton(QStringLiteral("Close"), this);
  cmdClose->setObjectName(QStringLiteral("cmdClose"));
  connect(cmdClose, &QPushButton::clicked, this, &TfrmPlots::cmdCloseClick);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmdExport);
  buttons->addWidget(cmdClose);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(canvas_, 1);
  layout->addLayout(buttons);
  resize(kPlots_width + 24, kPlots_height + 64);
}

void TfrmPlots::Set_results(const tRun_results& results) {
  plots_ = Result_plots(results);  // throws before anything changes
  canvas_->Set_plots(&plots_);
}

void TfrmPlots::Export(const QString& path) const {
  const QString suffix = QFileInfo(path).suffix().toLower();
  const QString title = Text(plots_.Title);
  const double height_inches = kPlots_width_inches * kPlots_height / kPlots_width;
  QSaveFile file(path);
  if (suffix != QLatin1String("png") && suffix != QLatin1String("svg") &&
      suffix != QLatin1String("pdf"))
    Fail_export(path, QStringLiteral("choose a name ending in .png, .svg or .pdf"));
  // QSaveFile replaces the target only when everything was written.
  if (!file.open(QIODevice::WriteOnly)) Fail_export(path, file.errorString());

  QPainter painter;
  if (suffix == QLatin1String("png")) {
    const int width = qRound(kPlots_width_inches * kPlots_dpi);
    const int height = qRound(height_inches * kPlots_dpi);
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    const int dots_per_metre = qRound(kPlots_dpi / 0.0254);
    image.setDotsPerMeterX(dots_per_metre);
    image.setDotsPerMeterY(dots_per_metre);
    image.setText(QStringLiteral("Title"), title);
    image.setText(QStringLiteral("Software"), QStringLiteral("Kestrum"));
    painter.begin(&image);
    Map_logical_box(painter, image.rect());
    Paint_result_plots(painter, plots_);
    painter.end();
    if (!image.save(&file, "PNG")) Fail_export(path, file.errorString());
  } else if (suffix == QLatin1String("svg")) {
    QSvgGenerator svg;
    svg.setOutputDevice(&file);
    svg.setSize(QSize(kPlots_width, kPlots_height));
    svg.setViewBox(QRect(0, 0, kPlots_width, kPlots_height));
    svg.setResolution(qRound(kPlots_width / kPlots_width_inches));
    svg.setTitle(title);
    svg.setDescription(QStringLiteral("The case against the controls, and the posterior of "
                                      "Z-DCC, drawn by Kestrum."));
    if (!painter.begin(&svg)) Fail_export(path, QStringLiteral("the drawing could not start"));
    Paint_result_plots(painter, plots_);
    painter.end();
  } else {
    QPdfWriter pdf(&file);
    pdf.setPageSize(QPageSize(QSizeF(kPlots_width_inches, height_inches), QPageSize::Inch));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setResolution(kPlots_dpi);
    pdf.setTitle(title);
    pdf.setCreator(QStringLiteral("Kestrum"));
    if (!painter.begin(&pdf)) Fail_export(path, QStringLiteral("the drawing could not start"));
    Map_logical_box(painter, QRect(0, 0, pdf.width(), pdf.height()));
    Paint_result_plots(painter, plots_);
    painter.end();
  }
  if (file.error() != QFileDevice::NoError || !file.commit()) Fail_export(path, file.errorString());
}

void TfrmPlots::cmdExportClick() {
  const QString path = tDialogs::Save_file_name(
      this, QStringLiteral("kestrum-plots.png"),
      QStringLiteral("PNG image, 300 dpi (*.png);;SVG drawing (*.svg);;PDF document (*.pdf)"));
  if (path.isEmpty()) return;
  try {
    Export(path);
  } catch (const std::exception& error) {
    tDialogs::Error(this, QString::fromStdString(error.what()));
  }
}

void TfrmPlots::cmdCloseClick() { close(); }
