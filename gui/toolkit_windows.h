// SPDX-License-Identifier: GPL-3.0-or-later
// The toolkit's two windows, reached from the worksheet: "Deficit on one task" and
// "Dissociation allowing for covariates" (with the unstandardized difference test as an
// option). A table holds a row per variable (name, mean, SD, case: the covariates, then
// the task or tasks) and another the correlations' lower triangle; the reports go to the
// results viewer. The checks, the computation and the report are the core's
// (app/toolkit_analysis.h); this class only gathers, calls and shows.
#pragma once

#include <QWidget>
#include <memory>

#include "app/plot_geometry.h"
#include "app/toolkit_analysis.h"

class QCheckBox;
class QCloseEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;
class TfrmTemplateResults;
class TfrmPlots;

class TfrmToolkit : public QWidget {
  Q_OBJECT

 public:
  // kind: Deficit or Dissociation. The viewer receives the reports.
  TfrmToolkit(tAnalysis_kind kind, TfrmTemplateResults* viewer, QWidget* parent = nullptr);

  // The request the window's fields make (for the tests as well).
  tAnalysis_request Request() const;

 protected:
  // During a run the window stays: the progress box over it is the way to stop the run.
  void closeEvent(QCloseEvent* event) override;

 private slots:
  void cmdComputeClick();
  void cmdAddCovariateClick();
  void cmdRemoveCovariateClick();
  void cmdCloseClick();
  void cmdPlotsClick();
  void grdVariablesCellChanged(int row, int column);

 private:
  void createControls();
  // Rebuilds the correlation table's rows and columns for the variables, keeping the
  // entries of the pairs that remain.
  void Update_correlation_table();
  int Covariate_count() const;
  int Task_count() const;

  tAnalysis_kind kind_;
  TfrmTemplateResults* viewer_;
  QLineEdit* txtN = nullptr;
  QTableWidget* grdVariables = nullptr;
  QTableWidget* grdCorrelations = nullptr;
  QPushButton* cmdAddCovariate = nullptr;
  QPushButton* cmdRemoveCovariate = nullptr;
  QRadioButton* radio_two_tail = nullptr;
  QRadioButton* radio_one_tail = nullptr;
  QRadioButton* radio_calibrated = nullptr;
  QRadioButton* radio_standard = nullptr;
  QRadioButton* radio_bayesian = nullptr;
  QRadioButton* radio_combined = nullptr;
  QCheckBox* chkUdt = nullptr;
  QPushButton* cmdCompute = nullptr;
  QPushButton* cmdClose = nullptr;
  QPushButton* cmdPlots = nullptr;
  // The pictures of the latest run (none for the UDT) and the window that shows them.
  std::unique_ptr<tResult_plots> plots_;
  TfrmPlots* plots_window_ = nullptr;
  bool computing_ = false;
  bool updating_ = false;
};

// A row of two buttons at the foot of the worksheet (which grows by the row's height; its
// fields stay where they are) that open the two windows.
void Add_toolkit_buttons(QWidget* worksheet, TfrmTemplateResults* viewer);
