// SPDX-License-Identifier: GPL-3.0-or-later
// The "Plan a study" window, reached from the worksheet's button row: the power of a test
// drawn against N for several effects, or against the effect for several N, with the
// target power as a dashed line; exported as PNG, SVG or PDF. The job, its computation and
// the power values are the core's (app/power_job.h); the window gathers, calls and draws.
#pragma once

#include <QWidget>
#include <vector>

#include "app/power_job.h"

class QComboBox;
class QLineEdit;
class QPainter;
class QPushButton;

// One curve: a label and its points (x: N or the effect; y: power).
struct tPower_curve {
  QString Label;
  std::vector<QPointF> Points;
};
struct tPower_curves {
  QString Title, X_label;
  double Target = 0.8;
  std::vector<tPower_curve> Curves;
};

// Draws the curves into the logical box kCurves_width x kCurves_height.
constexpr int kCurves_width = 700, kCurves_height = 440;
void Paint_power_curves(QPainter& painter, const tPower_curves& curves);

class TfrmPlanning : public QWidget {
  Q_OBJECT

 public:
  explicit TfrmPlanning(QWidget* parent = nullptr);
  // The job the fields make; throws std::invalid_argument with a readable message.
  tPower_job Job() const;
  const tPower_curves& Curves() const { return curves_; }
  // Writes the curves to path (.png at 300 dpi, .svg, .pdf); throws with a message.
  void Export(const QString& path) const;

 private slots:
  void cmdComputeClick();
  void cmdExportClick();
  void cboAnalysisChange();

 private:
  void createControls();
  QComboBox *cboAnalysis, *cboTest, *cboTail, *cboCase, *cboAxis;
  QLineEdit *txtEffects, *txtEffectY, *txtN, *txtR, *txtAlpha, *txtTarget, *txtReplications,
      *txtIterations;
  QPushButton *cmdCompute, *cmdExport;
  QWidget* canvas_;
  tPower_curves curves_;
};

// Adds the "Plan a study..." button in a row below the worksheet's buttons.
void Add_planning_button(QWidget* worksheet);
