// SPDX-License-Identifier: GPL-3.0-or-later
// The plots window: the two pictures of the latest analysis run (the case among the
// controls, and the posterior of Z-DCC) and their export to PNG, SVG and PDF. What the
// pictures hold, in plot units and text, comes from the core (app/plot_geometry.h); this
// file only draws it, with one paint function for the screen and every file format.
#pragma once

#include <QString>
#include <QWidget>

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
  const tResult_plots& Plots() const { return plots_; }

  // Writes the pictures to path, as PNG, SVG or PDF after its suffix. Throws
  // std::runtime_error with a readable message when the file cannot be written.
  void Export(const QString& path) const;

 private slots:
  void cmdExportClick();
  void cmdCloseClick();

 private:
  void createControls();

  tResult_plots plots_;
  tPlots_canvas* canvas_ = nullptr;
  QPushButton* cmdExport = nullptr;
  QPushButton* cmdClose = nullptr;
};
