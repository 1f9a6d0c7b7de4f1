// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/toolkit_windows.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QVBoxLayout>

#include "app/input_checks.h"
#include "app/plot_geometry.h"
#include "app/safe_text.h"
#include "app/texts.h"
#include "app/toolkit_report.h"
#include "gui/analysis_files.h"
#include "gui/background_run.h"
#include "gui/dialogs.h"
#include "gui/figure_grid.h"
#include "gui/notes_memo.h"
#include "gui/numeric_field.h"
#include "gui/plots_window.h"
#include "gui/results_viewer.h"
#include "gui/screen_fit.h"

namespace {

QString Qt_text(const std::string& text) { return QString::fromStdString(text); }

// The window's designed client size; a smaller screen gets a smaller window whose form
// scrolls above the buttons.
constexpr int kClient_width = 792;
constexpr int kClient_height = 720;
constexpr int kNotes_height = 44;  // two lines of the notes

const char kDeficit_introduction[] =
    "Tests whether a case's score on one task is significantly below the controls' (a "
    "deficit), allowing for up to five covariates such as age or years of education: the "
    "case is then compared with controls who share the case's covariate values. Enter the "
    "control sample's size, each variable's mean and SD in the controls with the case's "
    "score (covariates first), and the controls' correlations. The report gives the "
    "frequentist and the Bayesian test, with the effect size and its interval.";
const char kDissociation_introduction[] =
    "Tests whether the difference between a case's standardized scores on two tasks is "
    "significantly larger than the controls' (a dissociation), allowing for up to five "
    "covariates: the tasks are taken as distances from the scores that the case's covariate "
    "values predict. Enter the control sample's size, each variable's mean and SD in the "
    "controls with the case's score (covariates first, then Tasks X and Y), and the controls' "
    "correlations. The unstandardized difference test can be added for tasks on one scale.";

}  // namespace

TfrmToolkit::TfrmToolkit(tAnalysis_kind kind, TfrmTemplateResults* viewer, QWidget* parent)
    : QWidget(parent, Qt::Window), kind_(kind), viewer_(viewer) {
  setObjectName(kind == tAnalysis_kind::Deficit ? QStringLiteral("frmDeficit")
                                               : QStringLiteral("frmDissociation"));
  setWindowTitle(QStringLiteral("Kestrum: ") + Analysis_name());
  createControls();
}

QString TfrmToolkit::Analysis_name() const {
  return kind_ == tAnalysis_kind::Deficit ? QStringLiteral("Deficit on one task")
                                         : QStringLiteral("Dissociation allowing for covariates");
}

// The worksheet's look: its 13-pixel font, bold figures and buttons. The form scrolls; the
// buttons stay below it.
void TfrmToolkit::createControls() {
  QFont window_font = font();
  window_font.setPixelSize(13);
  setFont(window_font);
  auto* layout = new QVBoxLayout(this);
  scroller_ = new QScrollArea(this);
  scroller_->setObjectName(QStringLiteral("FormScroller"));
  scroller_->setFrameShape(QFrame::NoFrame);
  scroller_->setWidgetResizable(true);
  scroller_->setFocusPolicy(Qt::NoFocus);
  scroller_->setWidget(createForm());
  layout->addWidget(scroller_, 1);
  createButtons(layout);
  resize(kClient_width, kClient_height);
}

QWidget* TfrmToolkit::createForm() {
  auto* form = new QWidget;
  form->setObjectName(QStringLiteral("Form"));
  auto* layout = new QVBoxLayout(form);
  QFont bold = font();
  bold.setBold(true);

  lblIntroduction = new QLabel(QString::fromLatin1(kind_ == tAnalysis_kind::Deficit
                                                       ? kDeficit_introduction
                                                       : kDissociation_introduction),
                               form);
  lblIntroduction->setObjectName(QStringLiteral("lblIntroduction"));
  lblIntroduction->setWordWrap(true);
  layout->addWidget(lblIntroduction);

  auto* notes = new QHBoxLayout;
  lblComments = new QLabel(QStringLiteral("User's &Notes:"), form);
  lblComments->setObjectName(QStringLiteral("lblComments"));
  lblComments->setFont(bold);
  memoComments = new QPlainTextEdit(form);
  memoComments->setObjectName(QStringLiteral("memoComments"));
  memoComments->setFixedHeight(kNotes_height);
  memoComments->setTabChangesFocus(true);
  connect(memoComments, &QPlainTextEdit::textChanged, this, &TfrmToolkit::memoCommentsChange);
  lblComments->setBuddy(memoComments);
  notes->addWidget(lblComments, 0, Qt::AlignTop);
  notes->addWidget(memoComments, 1);
  layout->addLayout(notes);

  auto* top = new QHBoxLayout;
  auto* lblN = new QLabel(QStringLiteral("&Sample size of the normative sample:"), form);
  txtN = new tNumeric_field(form);
  txtN->setObjectName(QStringLiteral("txtN"));
  txtN->setFont(bold);
  txtN->setFixedWidth(80);
  lblN->setBuddy(txtN);
  top->addWidget(lblN);
  top->addWidget(txtN);
  top->addStretch();
  layout->addLayout(top);

  createTables(form, layout);
  layout->addWidget(createOptions(form));
  return form;
}

void TfrmToolkit::createTables(QWidget* form, QVBoxLayout* layout) {
  QFont bold = font();
  bold.setBold(true);
  auto* lblVariables = new QLabel(
      QStringLiteral("&Variables (covariates first, then the task%1): the controls' mean and "
                     "SD, and the case's score")
          .arg(kind_ == tAnalysis_kind::Deficit ? QString() : QStringLiteral("s")),
      form);
  lblVariables->setWordWrap(true);
  layout->addWidget(lblVariables);
  grdVariables = new tFigure_grid(Task_count(), 4, form);
  grdVariables->setObjectName(QStringLiteral("grdVariables"));
  grdVariables->setFont(bold);
  grdVariables->setHorizontalHeaderLabels(
      {QStringLiteral("Name"), QStringLiteral("Mean"), QStringLiteral("SD"), QStringLiteral("Case")});
  grdVariables->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  grdVariables->setMinimumHeight(150);
  for (int column = 1; column <= 3; ++column) grdVariables->Set_figure_column(column);
  for (int j = 0; j < Task_count(); ++j) {
    grdVariables->Set_cell(j, 0, Default_task_name(j));
    grdVariables->setVerticalHeaderItem(j, new QTableWidgetItem(QStringLiteral("task")));
  }
  lblVariables->setBuddy(grdVariables);
  connect(grdVariables, &QTableWidget::cellChanged, this, &TfrmToolkit::grdVariablesCellChanged);
  layout->addWidget(grdVariables);

  auto* rows = new QHBoxLayout;
  cmdAddCovariate = new QPushButton(QStringLiteral("&Add covariate"), form);
  cmdAddCovariate->setObjectName(QStringLiteral("cmdAddCovariate"));
  cmdRemoveCovariate = new QPushButton(QStringLiteral("&Remove covariate"), form);
  cmdRemoveCovariate->setObjectName(QStringLiteral("cmdRemoveCovariate"));
  connect(cmdAddCovariate, &QPushButton::clicked, this, &TfrmToolkit::cmdAddCovariateClick);
  connect(cmdRemoveCovariate, &QPushButton::clicked, this, &TfrmToolkit::cmdRemoveCovariateClick);
  rows->addWidget(cmdAddCovariate);
  rows->addWidget(cmdRemoveCovariate);
  rows->addStretch();
  layout->addLayout(rows);

  lblCorrelations =
      new QLabel(QStringLiteral("Correlat&ions in the normative sample (lower triangle):"), form);
  layout->addWidget(lblCorrelations);
  grdCorrelations = new tFigure_grid(0, 0, form);
  grdCorrelations->setObjectName(QStringLiteral("grdCorrelations"));
  grdCorrelations->setFont(bold);
  grdCorrelations->setMinimumHeight(120);
  grdCorrelations->Set_figure_column(-1);
  lblCorrelations->setBuddy(grdCorrelations);
  layout->addWidget(grdCorrelations);
  Refresh_correlation_cells();
}

// The option groups two to a row, so that the window stays narrow.
QWidget* TfrmToolkit::createOptions(QWidget* form) {
  auto* options = new QWidget(form);
  auto* grid = new QGridLayout(options);
  grid->setContentsMargins(0, 0, 0, 0);
  int placed = 0;
  const auto group = [&](const QString& title, QRadioButton*& first, const char* first_name,
                         const QString& a, QRadioButton*& second, const char* second_name,
                         const QString& b) {
    auto* box = new QGroupBox(title, options);
    auto* v = new QVBoxLayout(box);
    first = new QRadioButton(a, box);
    first->setObjectName(QString::fromLatin1(first_name));
    second = new QRadioButton(b, box);
    second->setObjectName(QString::fromLatin1(second_name));
    first->setChecked(true);
    v->addWidget(first);
    v->addWidget(second);
    auto* buttons = new QButtonGroup(box);
    buttons->addButton(first);
    buttons->addButton(second);
    grid->addWidget(box, placed / 2, placed % 2);
    ++placed;
  };
  group(QStringLiteral("Probability reported"), radio_two_tail, "radio_two_tail",
        QStringLiteral("&Two-tailed test"), radio_one_tail, "radio_one_tail",
        QStringLiteral("One-taile&d test"));
  if (kind_ == tAnalysis_kind::Dissociation) {
    group(QStringLiteral("Form of prior..."), radio_calibrated, "radio_calibrated",
          QStringLiteral("Calibrat&ed (Recommended)"), radio_standard, "radio_standard",
          QStringLiteral("Standard T&heory (Jeffreys prior)"));
    group(QStringLiteral("Criteria"), radio_bayesian, "radio_bayesian",
          QStringLiteral("&Bayesian criteria"), radio_combined, "radio_combined",
          QStringLiteral("Co&mbined Bayesian / frequentist (no covariates)"));
    chkUdt = new QCheckBox(
        QStringLiteral("Also the &unstandardized difference test\n(tasks on the same scale)"), options);
    chkUdt->setObjectName(QStringLiteral("chkUdt"));
    grid->addWidget(chkUdt, placed / 2, placed % 2);
  }
  return options;
}

void TfrmToolkit::createButtons(QVBoxLayout* layout) {
  QFont bold = font();
  bold.setBold(true);
  auto* buttons = new QHBoxLayout;
  const auto make = [&](QPushButton*& button, const char* name, const char* caption,
                        void (TfrmToolkit::*handler)()) {
    button = new QPushButton(QString::fromLatin1(caption), this);
    button->setObjectName(QString::fromLatin1(name));
    button->setFont(bold);
    button->setAutoDefault(true);
    connect(button, &QPushButton::clicked, this, handler);
  };
  make(cmdPlots, "cmdPlots", "&Plots...", &TfrmToolkit::cmdPlotsClick);
  make(cmdCompute, "cmdCompute", "&Compute", &TfrmToolkit::cmdComputeClick);
  make(cmdClose, "cmdClose", "C&lose", &TfrmToolkit::cmdCloseClick);
  make(cmdSaveAnalysis, "cmdSaveAnalysis", "Save Anal&ysis...", &TfrmToolkit::cmdSaveAnalysisClick);
  make(cmdOpenAnalysis, "cmdOpenAnalysis", "&Open Analysis...", &TfrmToolkit::cmdOpenAnalysisClick);
  cmdPlots->setEnabled(false);
  buttons->addWidget(cmdPlots);
  buttons->addWidget(cmdSaveAnalysis);
  buttons->addWidget(cmdOpenAnalysis);
  buttons->addStretch();
  buttons->addWidget(cmdCompute);
  buttons->addWidget(cmdClose);
  layout->addLayout(buttons);
}

void TfrmToolkit::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous() || placed_) return;
  resize(Fitting_client_size(this, QSize(kClient_width, kClient_height)));
  if (parentWidget() != nullptr) Centre_on_window(this, parentWidget()->window());
  else Centre_on_screen(this);
  placed_ = true;
}

void TfrmToolkit::grdVariablesCellChanged(int /*row*/, int column) {
  if (column == 0 && !updating_) Refresh_correlation_cells();
}

void TfrmToolkit::memoCommentsChange() { Limit_notes(memoComments); }

void TfrmToolkit::cmdAddCovariateClick() {
  if (computing_) return;
  if (Covariate_count() >= kMax_covariates) {
    tDialogs::Warning(this, QStringLiteral("At most %1 covariates are allowed.").arg(kMax_covariates));
    return;
  }
  Insert_covariate_row(Covariate_count());
}

// The selected covariate's row goes, after a question when it holds figures; the current
// row is then the next covariate's (or the last one's), else the first task's.
void TfrmToolkit::cmdRemoveCovariateClick() {
  if (computing_) return;
  const int row = grdVariables->currentRow();
  if (row < 0 || row >= Covariate_count()) {
    tDialogs::Warning(this, QStringLiteral("Select the row of the covariate to remove."));
    return;
  }
  if (Row_holds_figures(row) &&
      !tDialogs::Confirm(this, QStringLiteral("Remove the covariate \"%1\" and its figures?")
                                   .arg(grdVariables->Cell_text(row, 0)))) {
    return;
  }
  Remove_covariate_row(row);
}

void TfrmToolkit::cmdCloseClick() { close(); }

void TfrmToolkit::closeEvent(QCloseEvent* event) {
  if (computing_) {
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

void TfrmToolkit::cmdPlotsClick() {
  if (plots_ == nullptr) return;
  if (plots_window_ == nullptr) {
    plots_window_ = new TfrmPlots(this);
    plots_window_->setObjectName(QStringLiteral("frmToolkitPlots"));
    plots_window_->setWindowTitle(windowTitle() + QStringLiteral(": plots"));
  }
  plots_window_->Set_plots(*plots_);
  plots_window_->show();
  plots_window_->raise();
  plots_window_->activateWindow();
}

void TfrmToolkit::cmdSaveAnalysisClick() {
  if (computing_) return;
  if (const auto text = Save_analysis_file(this, Analysis())) saved_text_ = *text;
}

// A file that cannot be opened here leaves the window as it was (the box says why).
void TfrmToolkit::cmdOpenAnalysisClick() {
  if (computing_) return;
  const std::optional<tAnalysis_file> opened = Open_analysis_file(this, kind_);
  if (!opened) return;
  Show_analysis(*opened);
  saved_text_ = Analysis_file_json(Analysis());
}

void TfrmToolkit::cmdComputeClick() {
  if (computing_) return;
  const tAnalysis_request request = Request();
  const auto checked = Check_request(request);
  if (const auto* message = std::get_if<std::string>(&checked)) {
    tDialogs::Warning(this, Qt_text(*message));
    return;
  }
  const tConditional_inputs inputs = std::get<tConditional_inputs>(checked);
  // On the worksheet's runner: this window, the worksheet and the viewer take no input
  // meanwhile, and the statistics' warnings are shown over the window or the progress box.
  tBackground_view view;
  view.Window = this;
  if (parentWidget() != nullptr) view.Also_guarded.push_back(parentWidget()->window());
  if (viewer_ != nullptr) view.Also_guarded.push_back(viewer_);
  view.Warning = [](const std::string& message, QWidget* over) {
    tDialogs::Warning(over, Qt_text(message));
  };
  const std::optional<tAnalysis_record> run = Run_shown_in_background(
      [&request, &inputs](const tProgress_observer& observer) {
        return Run_checked_analysis(request, inputs, {&observer});
      },
      view, computing_);
  if (!run) return;
  const tAnalysis_record& results = *run;
  plots_.reset();
  if (results.Kind != tAnalysis_kind::Udt) {
    try {
      plots_ = std::make_unique<tResult_plots>(Toolkit_plots(results));
    } catch (const std::exception&) {
      plots_.reset();  // nothing to draw (no draws): the report stands without pictures
    }
  }
  cmdPlots->setEnabled(plots_ != nullptr);
  if (plots_window_ != nullptr) {
    if (plots_ != nullptr) plots_window_->Set_plots(*plots_);
    else plots_window_->hide();
  }
  if (viewer_ == nullptr) return;
  QStringList lines;
  for (const std::string& line : Toolkit_report_lines(results, Split_notes(memoComments->toPlainText().toStdString()),
                                                      viewer_->Has_text()))
    lines << Qt_text(line);
  viewer_->Append_lines(lines);
  viewer_->setWindowTitle(QStringLiteral("Results viewer: ") + Qt_text(Program_title));
  viewer_->show();
  viewer_->raise();
}
