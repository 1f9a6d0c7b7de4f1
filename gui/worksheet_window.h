// SPDX-License-Identifier: GPL-3.0-or-later
// The worksheet: the program's main window, on which the researcher types the control
// sample's figures and the case's scores, chooses the criteria, the tail and the prior, and
// starts a run. The checks, the computation, the report text and the control-data file
// are the window-free core's (app/); this class only gathers, calls and shows.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/analysis_run.h"

class QButtonGroup;
class QFrame;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QScrollArea;
class TfrmTemplateResults;
class tNumeric_field;

// The worksheet's description of the program.
extern const char* const kDescription;

class TfrmTemplate : public QWidget {
  Q_OBJECT

 public:
  explicit TfrmTemplate(QWidget* parent = nullptr);
  ~TfrmTemplate() override;

  // The results viewer that a run shows and fills.
  void Set_viewer(TfrmTemplateResults* viewer);
  // True while a run computes (on its worker thread).
  bool Computing() const { return computing_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private slots:
  void cmdComputeClick();
  void btnclearDataClick();
  void ExitBtnClick();
  void cmdSaveAnalysisClick();
  void cmdOpenAnalysisClick();
  void memoCommentsChange();

 private:
  void createControls();
  void createOptionGroups(QFrame* panel);
  void createInputFields(QFrame* panel);
  void createButtons();
  void createTabOrder();

  void FormCreate();
  void FormShow();
  void LoadPreviousData();

  // Key press and key release of the eight input fields, through the fields' typing rules;
  // a key press handler returns true when it has dealt with the key itself.
  bool txtInput1KeyPress(QKeyEvent* key);
  bool txtInput2KeyPress(QKeyEvent* key);
  bool txtInput3KeyPress(QKeyEvent* key);
  bool txtInput4KeyPress(QKeyEvent* key);
  bool txtInput5KeyPress(QKeyEvent* key);
  bool txtInput6KeyPress(QKeyEvent* key);
  bool txtInput7KeyPress(QKeyEvent* key);
  bool txtinput8KeyPress(QKeyEvent* key);
  void txtInput1KeyUp();
  void txtInput2KeyUp();
  void txtInput3KeyUp();
  void txtInput4KeyUp();
  void txtInput5KeyUp();
  void txtInput6KeyUp();
  void txtInput7KeyUp();
  void txtinput8KeyUp();

  void memoCommentsEnter();
  void memoCommentsKeyUp(QKeyEvent* key);
  void memoCommentsExit();

  // "Too many steps" from the frequentist statistics: a warning over the given window,
  // after which the run goes on.
  void Statistics_warning(const std::string& message, QWidget* over);

  std::array<std::string, 8> Field_texts() const;
  tRun_options Run_options() const;

  QScrollArea* scroller_ = nullptr;
  QWidget* sheet_ = nullptr;  // every control below stands on it
  QPlainTextEdit* DescripFld = nullptr;
  QFrame* Panel1 = nullptr;  // the user's notes
  QLabel* lblComments = nullptr;
  QPlainTextEdit* memoComments = nullptr;
  QFrame* Panel2 = nullptr;  // options and input fields
  QGroupBox* GroupBox1 = nullptr;
  QRadioButton* RadioButton1 = nullptr;
  QRadioButton* RadioButton2 = nullptr;
  QGroupBox* GroupBox2 = nullptr;
  QRadioButton* radio_two_tail = nullptr;
  QRadioButton* radio_one_tail = nullptr;
  QGroupBox* Prior_Radio = nullptr;
  QButtonGroup* Prior_Radio_items = nullptr;  // item 0 calibrated, item 1 standard theory
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;
  QLabel* Label5 = nullptr;
  QLabel* Label6 = nullptr;
  QLabel* Label7 = nullptr;
  QLabel* Label8 = nullptr;
  tNumeric_field* txtInput1 = nullptr;
  tNumeric_field* txtInput2 = nullptr;
  tNumeric_field* txtInput3 = nullptr;
  tNumeric_field* txtInput4 = nullptr;
  tNumeric_field* txtInput5 = nullptr;
  tNumeric_field* txtInput6 = nullptr;
  tNumeric_field* txtInput7 = nullptr;
  tNumeric_field* txtinput8 = nullptr;
  QPushButton* cmdCompute = nullptr;
  QPushButton* btnclearData = nullptr;
  QPushButton* ExitBtn = nullptr;
  QPushButton* cmdSaveAnalysis = nullptr;
  QPushButton* cmdOpenAnalysis = nullptr;

  std::array<QLabel*, 8> labels_{};
  std::array<tNumeric_field*, 8> fields_{};
  TfrmTemplateResults* viewer_ = nullptr;
  // The worksheet has no field for the Monte Carlo iterations: an opened analysis's count
  // is kept for the runs and written back when it saves (Clear Data restores the default).
  std::int32_t iterations_ = tRun_options{}.Iterations;
  bool centred_ = false;
  bool computing_ = false;
};
