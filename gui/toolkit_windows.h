// SPDX-License-Identifier: GPL-3.0-or-later
// The toolkit's two windows, reached from the worksheet: "Deficit on one task" and
// "Dissociation allowing for covariates" (with the unstandardized difference test as an
// option). Each opens with a short introduction and the User's Notes; a table holds a row
// per variable (name, mean, SD, case: the covariates, then the task or tasks) and another
// the correlations' lower triangle, both typed by the worksheet's field rules
// (gui/figure_grid.h); the reports go to the results viewer. The checks, the computation
// and the report are the core's (app/toolkit_analysis.h); this class only gathers, calls
// and shows. Its controls are built in gui/toolkit_windows.cpp, its tables kept in step in
// gui/toolkit_tables.cpp.
#pragma once

#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "app/plot_geometry.h"
#include "app/analysis_file.h"
#include "app/toolkit_analysis.h"

class QCheckBox;
class QCloseEvent;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QShowEvent;
class QVBoxLayout;
class TfrmTemplateResults;
class TfrmPlots;
class tFigure_grid;
class tNumeric_field;

class TfrmToolkit : public QWidget {
  Q_OBJECT

 public:
  // kind: Deficit or Dissociation. The viewer receives the reports.
  TfrmToolkit(tAnalysis_kind kind, TfrmTemplateResults* viewer, QWidget* parent = nullptr);

  // The request the window's fields make (for the tests as well).
  tAnalysis_request Request() const;
  // The request with the User's Notes, as "Save Analysis..." writes it.
  tAnalysis_file Analysis() const;
  // The analysis's name, as the window's title gives it after "Kestrum: ".
  QString Analysis_name() const;
  // True when anything is typed in the window (figures, names changed or the notes),
  // which the end of the program would lose: not when the window holds just what it last
  // saved or opened.
  bool Has_entries() const;

 protected:
  // Opened the first time inside the screen's available area, centred on the worksheet.
  void showEvent(QShowEvent* event) override;
  // During a run the window stays: the progress box over it is the way to stop the run.
  void closeEvent(QCloseEvent* event) override;

 private slots:
  void cmdComputeClick();
  void cmdAddCovariateClick();
  void cmdRemoveCovariateClick();
  void cmdCloseClick();
  void cmdPlotsClick();
  void cmdSaveAnalysisClick();
  void cmdOpenAnalysisClick();
  void grdVariablesCellChanged(int row, int column);
  void memoCommentsChange();

 private:
  void createControls();
  QWidget* createForm();
  void createTables(QWidget* form, QVBoxLayout* layout);
  QWidget* createOptions(QWidget* form);
  void createButtons(QVBoxLayout* layout);

  // The tables' rows (gui/toolkit_tables.cpp): a covariate's row inserted or removed in
  // both tables, the correlations' cells and headers made to match the variables.
  void Insert_covariate_row(int row);
  void Remove_covariate_row(int row);
  void Refresh_correlation_cells();
  bool Row_holds_figures(int row) const;
  // The tables, fields and options set to an opened analysis of this window's kind.
  void Show_analysis(const tAnalysis_file& analysis);
  int Covariate_count() const;
  int Task_count() const;
  QString Default_task_name(int task) const;  // "Task", "Task X" or "Task Y"

  tAnalysis_kind kind_;
  TfrmTemplateResults* viewer_;
  QLabel* lblIntroduction = nullptr;
  QLabel* lblComments = nullptr;
  QPlainTextEdit* memoComments = nullptr;
  QScrollArea* scroller_ = nullptr;
  tNumeric_field* txtN = nullptr;
  tFigure_grid* grdVariables = nullptr;
  QLabel* lblCorrelations = nullptr;
  tFigure_grid* grdCorrelations = nullptr;
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
  QPushButton* cmdSaveAnalysis = nullptr;
  QPushButton* cmdOpenAnalysis = nullptr;
  // The window has no field for the Monte Carlo iterations: an opened analysis's count
  // is kept for the runs and written back when the window saves.
  std::int32_t iterations_ = tRun_options{}.Iterations;
  // The file text of what was last saved or opened (empty when nothing was).
  std::string saved_text_;
  // The pictures of the latest run (none for the UDT) and the window that shows them.
  std::unique_ptr<tResult_plots> plots_;
  TfrmPlots* plots_window_ = nullptr;
  bool placed_ = false;
  bool computing_ = false;
  bool updating_ = false;
};

// A row of two buttons at the foot of the worksheet (which grows by the row's height; its
// fields stay where they are) that open the two windows (gui/toolkit_buttons.cpp).
void Add_toolkit_buttons(QWidget* worksheet, TfrmTemplateResults* viewer);

// "Exit from program?", and when a toolkit window of the worksheet holds entries, which
// ones the end of the program loses.
QString Exit_question(const QWidget* worksheet);
// True when a toolkit window of the worksheet holds entries.
bool Toolkit_entries_held(const QWidget* worksheet);
