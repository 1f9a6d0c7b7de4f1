// SPDX-License-Identifier: GPL-3.0-or-later
// The plots window: the two pictures of the latest analysis run (the case among the
// controls, or on one task's distribution, and the posterior of the effect size) and their
// export to PNG, SVG and PDF. What the pictures hold, in plot units and text, comes from the
// core (app/plot_geometry.h); the windows only draw it, with one paint function for the
// screen and every file format (gui/plot_painting.cpp).
#pragma once

#include <QPolygonF>
#include <QRectF>
#include <QString>
#include <QWidget>
#include <vector>

#include "app/plot_geometry.h"

class QPainter;
class QPushButton;

// The pictures' logical size: all drawing happens in a 1000 x 560 box, which the painter
// maps onto the device keeping its shape.
constexpr int kPlots_width = 1000;
constexpr int kPlots_height = 560;
// The exported figure's size: 7 inches wide (a journal page's full width), so a PNG at
// 300 dots per inch is 2100 x 1176 pixels.
constexpr double kPlots_width_inches = 7.0;
constexpr int kPlots_dpi = 300;

// Draws both panels into the painter's logical box (0, 0, kPlots_width, kPlots_height).
void Paint_result_plots(QPainter& painter, const tResult_plots& plots);
// Maps the logical box onto a device rectangle, keeping its shape, centred.
void Map_logical_box(QPainter& painter, const QRect& device);

// A text of a panel and the box it takes in the logical box.
struct tPlaced_text {
  QString Text;
  QRectF Box;
};

// Where a panel's texts stand, with the lines they keep clear of: in the case's panel the
// labels of the ellipses (in the ellipses' order) and of the case (last), each inside the
// plot area, on no other label nor the case's point, off the line z_x = z_y and on as few
// ellipses as the candidate places allow; in both panels the legend's entries below the
// plot area, where no line runs. Lines: the case's panel's ellipses then the line
// z_x = z_y; the posterior's line at 0 then its estimate.
struct tPanel_texts {
  QRectF Area;  // the plot area
  std::vector<tPlaced_text> Labels;
  std::vector<tPlaced_text> Legend;
  std::vector<QPolygonF> Lines;
};
// The panel whose left edge is at left (0 for the case's, kPlots_width / 2 the posterior's).
tPanel_texts Case_panel_texts(const tCase_plot& plot, double left);
tPanel_texts Posterior_panel_texts(const tPosterior_plot& plot, double left);
// One task's panel: Lines the density curve then the case's line; Labels the case's.
tPanel_texts Task_panel_texts(const tTask_plot& plot, double left);

// The area with the two panels.
class tPlots_canvas : public QWidget {
 public:
  explicit tPlots_canvas(QWidget* parent = nullptr);
  void Set_plots(const tResult_plots* plots);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  const tResult_plots* plots_ = nullptr;
};

class TfrmPlots : public QWidget {
  Q_OBJECT

 public:
  explicit TfrmPlots(QWidget* parent = nullptr);

  // Builds the pictures of a run and shows them; throws std::invalid_argument when the
  // run holds nothing to draw (no histogram of the draws).
  void Set_results(const tRun_results& results);
  // Shows pictures built elsewhere (a toolkit run's).
  void Set_plots(tResult_plots plots);
  const tResult_plots& Plots() const { return plots_; }

  // Writes the pictures to path, as PNG, SVG or PDF after its suffix. Throws
  // std::runtime_error with a readable message when the file cannot be written.
  void Export(const QString& path) const;

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private slots:
  void cmdExportClick();
  void cmdCloseClick();

 private:
  void createControls();

  tResult_plots plots_;
  tPlots_canvas* canvas_ = nullptr;
  QPushButton* cmdExport = nullptr;
  QPushButton* cmdClose = nullptr;
  bool placed_ = false;  // sized and placed on the screen when first shown
};
