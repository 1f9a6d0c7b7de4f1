// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/plots_window.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QImage>
#include <QMarginsF>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPushButton>
#include <QSaveFile>
#include <QShowEvent>
#include <QSvgGenerator>
#include <QVBoxLayout>
#include <stdexcept>

#include "gui/dialogs.h"
#include "gui/screen_fit.h"

namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

[[noreturn]] void Fail_export(const QString& path, const QString& why) {
  throw std::runtime_error(
      QStringLiteral("The plots could not be saved to \"%1\": %2.").arg(path, why).toStdString());
}

}  // namespace

// ---------------------------------------------------------------------------------------

tPlots_canvas::tPlots_canvas(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("PlotsCanvas"));
  setMinimumSize(kPlots_width * 4 / 10, kPlots_height * 4 / 10);
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

// Opened the first time at its designed size, or smaller where the screen has less room.
void TfrmPlots::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous() || placed_) return;
  resize(Fitting_client_size(this, size()));
  Centre_on_screen(this);
  placed_ = true;
}

// Escape closes the window; Enter reaches a focused button as a click (its auto-default).
void TfrmPlots::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TfrmPlots::createControls() {
  canvas_ = new tPlots_canvas(this);
  cmdExport = new QPushButton(QStringLiteral("&Export..."), this);
  cmdExport->setObjectName(QStringLiteral("cmdExport"));
  cmdExport->setToolTip(QStringLiteral("Save both pictures as PNG (300 dpi), SVG or PDF"));
  connect(cmdExport, &QPushButton::clicked, this, &TfrmPlots::cmdExportClick);
  cmdClose = new QPushButton(QStringLiteral("&Close"), this);
  cmdClose->setObjectName(QStringLiteral("cmdClose"));
  connect(cmdClose, &QPushButton::clicked, this, &TfrmPlots::cmdCloseClick);
  for (QPushButton* button : {cmdExport, cmdClose}) button->setAutoDefault(true);

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
  Set_plots(Result_plots(results));  // throws before anything changes
}

void TfrmPlots::Set_plots(tResult_plots plots) {
  plots_ = std::move(plots);
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
                                      "the effect size, drawn by Kestrum."));
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
      QStringLiteral("PNG image, 300 dpi (*.png);;SVG drawing (*.svg);;PDF document (*.pdf)"),
      QString(), QStringLiteral("Export plots"));
  if (path.isEmpty()) return;
  try {
    Export(path);
  } catch (const std::exception& error) {
    tDialogs::Error(this, QString::fromStdString(error.what()));
  }
}

void TfrmPlots::cmdCloseClick() { close(); }

