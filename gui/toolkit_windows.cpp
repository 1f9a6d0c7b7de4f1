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
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/control_data.h"
#include "app/input_checks.h"
#include "app/plot_geometry.h"
#include "app/toolkit_report.h"
#include "gui/background_run.h"
#include "gui/dialogs.h"
#include "gui/plots_window.h"
#include "gui/results_viewer.h"

namespace {

QString Qt_text(const std::string& text) { return QString::fromStdString(text); }

std::string Cell_text(const QTableWidget* table, int row, int column) {
  const QTableWidgetItem* item = table->item(row, column);
  return item == nullptr ? std::string() : item->text().trimmed().toStdString();
}

void Set_cell(QTableWidget* table, int row, int column, const QString& text, bool editable = true) {
  auto* item = new QTableWidgetItem(text);
  if (!editable) item->setFlags(item->flags() & ~Qt::ItemIsEditable & ~Qt::ItemIsEnabled);
  table->setItem(row, column, item);
}

// A figure's cell edits like a worksheet field: at most kMax_field_length characters, a
// comma typed becomes a point. The texts' full checks run at "Compute".
class tFigure_delegate final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
      line->setMaxLength(static_cast<int>(kMax_field_length));
      QObject::connect(line, &QLineEdit::textEdited, line, [line](const QString& text) {
        if (!text.contains(QLatin1Char(','))) return;
        const int at = line->cursorPosition();
        line->setText(QString(text).replace(QLatin1Char(','), QLatin1Char('.')));
        line->setCursorPosition(at);
      });
    }
    return editor;
  }
};

}  // namespace

TfrmToolkit::TfrmToolkit(tAnalysis_kind kind, TfrmTemplateResults* viewer, QWidget* parent)
    : QWidget(parent, Qt::Window), kind_(kind), viewer_(viewer) {
  setObjectName(kind == tAnalysis_kind::Deficit ? QStringLiteral("frmDeficit")
                                               : QStringLiteral("frmDissociation"));
  setWindowTitle(kind == tAnalysis_kind::Deficit ? QStringLiteral("Deficit on one task")
                                                : QStringLiteral("Dissociation allowing for covariates"));
  createControls();
}

void TfrmToolkit::createControls() {
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  auto* lblN = new QLabel(QStringLiteral("Sample size of the normative sample:"), this);
  txtN = new QLineEdit(this);
  txtN->setObjectName(QStringLiteral("txtN"));
  txtN->setMaxLength(6);
  txtN->setFixedWidth(80);
  lblN->setBuddy(txtN);
  top->addWidget(lblN);
  top->addWidget(txtN);
  top->addStretch();
  layout->addLayout(top);

  layout->addWidget(new QLabel(
      QStringLiteral("Variables (covariates first, then the task%1): the controls' mean and SD, "
                     "and the case's score")
          .arg(kind_ == tAnalysis_kind::Deficit ? QString() : QStringLiteral("s")),
      this));
  grdVariables = new QTableWidget(Task_count(), 4, this);
  grdVariables->setObjectName(QStringLiteral("grdVariables"));
  grdVariables->setHorizontalHeaderLabels(
      {QStringLiteral("Name"), QStringLiteral("Mean"), QStringLiteral("SD"), QStringLiteral("Case")});
  grdVariables->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  for (int j = 0; j < Task_count(); ++j) {
    Set_cell(grdVariables, j, 0,
             kind_ == tAnalysis_kind::Deficit ? QStringLiteral("Task")
                                             : (j == 0 ? QStringLiteral("Task X") : QStringLiteral("Task Y")));
    grdVariables->setVerticalHeaderItem(j, new QTableWidgetItem(QStringLiteral("task")));
  }
  auto* figures = new tFigure_delegate(this);
  for (int column = 1; column <= 3; ++column) grdVariables->setItemDelegateForColumn(column, figures);
  connect(grdVariables, &QTableWidget::cellChanged, this, &TfrmToolkit::grdVariablesCellChanged);
  layout->addWidget(grdVariables);

  auto* rows = new QHBoxLayout;
  cmdAddCovariate = new QPushButton(QStringLiteral("&Add covariate"), this);
  cmdAddCovariate->setObjectName(QStringLiteral("cmdAddCovariate"));
  cmdRemoveCovariate = new QPushButton(QStringLiteral("&Remove covariate"), this);
  cmdRemoveCovariate->setObjectName(QStringLiteral("cmdRemoveCovariate"));
  connect(cmdAddCovariate, &QPushButton::clicked, this, &TfrmToolkit::cmdAddCovariateClick);
  connect(cmdRemoveCovariate, &QPushButton::clicked, this, &TfrmToolkit::cmdRemoveCovariateClick);
  rows->addWidget(cmdAddCovariate);
  rows->addWidget(cmdRemoveCovariate);
  rows->addStretch();
  layout->addLayout(rows);

  layout->addWidget(new QLabel(QStringLiteral("Correlations in the normative sample (lower triangle):"), this));
  grdCorrelations = new QTableWidget(this);
  grdCorrelations->setObjectName(QStringLiteral("grdCorrelations"));
  grdCorrelations->setItemDelegate(figures);
  layout->addWidget(grdCorrelations);

  auto* options = new QHBoxLayout;
  const auto group = [this](const QString& title, QRadioButton*& first, const QString& a,
                            QRadioButton*& second, const QString& b) {
    auto* box = new QGroupBox(title, this);
    auto* v = new QVBoxLayout(box);
    first = new QRadioButton(a, box);
    second = new QRadioButton(b, box);
    first->setChecked(true);
    v->addWidget(first);
    v->addWidget(second);
    auto* buttons = new QButtonGroup(box);
    buttons->addButton(first);
    buttons->addButton(second);
    return box;
  };
  options->addWidget(group(QStringLiteral("Probability reported"), radio_two_tail,
                           QStringLiteral("Two-tailed test"), radio_one_tail,
                           QStringLiteral("One-tailed test")));
  radio_two_tail->setObjectName(QStringLiteral("radio_two_tail"));
  radio_one_tail->setObjectName(QStringLiteral("radio_one_tail"));
  if (kind_ == tAnalysis_kind::Dissociation) {
    options->addWidget(group(QStringLiteral("Form of prior..."), radio_calibrated,
                             QStringLiteral("Calibrated (Recommended)"), radio_standard,
                             QStringLiteral("Standard Theory (Jeffreys prior)")));
    radio_calibrated->setObjectName(QStringLiteral("radio_calibrated"));
    radio_standard->setObjectName(QStringLiteral("radio_standard"));
    options->addWidget(group(QStringLiteral("Criteria"), radio_bayesian,
                             QStringLiteral("Bayesian criteria"), radio_combined,
                             QStringLiteral("Combined Bayesian / frequentist (no covariates)")));
    radio_bayesian->setObjectName(QStringLiteral("radio_bayesian"));
    radio_combined->setObjectName(QStringLiteral("radio_combined"));
    chkUdt = new QCheckBox(QStringLiteral("Also the &unstandardized difference test\n(tasks on the same scale)"), this);
    chkUdt->setObjectName(QStringLiteral("chkUdt"));
    options->addWidget(chkUdt);
  }
  layout->addLayout(options);

  auto* buttons = new QHBoxLayout;
  cmdCompute = new QPushButton(QStringLiteral("&Compute"), this);
  cmdCompute->setObjectName(QStringLiteral("cmdCompute"));
  cmdClose = new QPushButton(QStringLiteral("C&lose"), this);
  cmdClose->setObjectName(QStringLiteral("cmdClose"));
  connect(cmdCompute, &QPushButton::clicked, this, &TfrmToolkit::cmdComputeClick);
  connect(cmdClose, &QPushButton::clicked, this, &TfrmToolkit::cmdCloseClick);
  cmdPlots = new QPushButton(QStringLiteral("&Plots..."), this);
  cmdPlots->setObjectName(QStringLiteral("cmdPlots"));
  cmdPlots->setEnabled(false);
  connect(cmdPlots, &QPushButton::clicked, this, &TfrmToolkit::cmdPlotsClick);
  buttons->addWidget(cmdPlots);
  buttons->addStretch();
  buttons->addWidget(cmdCompute);
  buttons->addWidget(cmdClose);
  layout->addLayout(buttons);

  Update_correlation_table();
  resize(720, 560);
}

int TfrmToolkit::Task_count() const { return kind_ == tAnalysis_kind::Deficit ? 1 : 2; }
int TfrmToolkit::Covariate_count() const { return grdVariables->rowCount() - Task_count(); }

void TfrmToolkit::Update_correlation_table() {
  // Keep the entries by the names of their pair.
  std::map<std::pair<QString, QString>, QString> kept;
  for (int i = 0; i < grdCorrelations->rowCount(); ++i)
    for (int j = 0; j < i; ++j) {
      const QTableWidgetItem* item = grdCorrelations->item(i, j);
      const QTableWidgetItem* row_name = grdCorrelations->verticalHeaderItem(i);
      const QTableWidgetItem* column_name = grdCorrelations->horizontalHeaderItem(j);
      if (item != nullptr && row_name != nullptr && column_name != nullptr)
        kept[{column_name->text(), row_name->text()}] = item->text();
    }
  QStringList names;
  for (int r = 0; r < grdVariables->rowCount(); ++r) names << Qt_text(Cell_text(grdVariables, r, 0));
  updating_ = true;
  grdCorrelations->clear();
  grdCorrelations->setRowCount(static_cast<int>(names.size()));
  grdCorrelations->setColumnCount(static_cast<int>(names.size()));
  grdCorrelations->setHorizontalHeaderLabels(names);
  grdCorrelations->setVerticalHeaderLabels(names);
  for (int i = 0; i < names.size(); ++i)
    for (int j = 0; j < names.size(); ++j) {
      if (j < i) {
        const auto it = kept.find({names[j], names[i]});
        Set_cell(grdCorrelations, i, j, it != kept.end() ? it->second : QString());
      } else {
        Set_cell(grdCorrelations, i, j, i == j ? QStringLiteral("1") : QString(), false);
      }
    }
  updating_ = false;
}

tAnalysis_request TfrmToolkit::Request() const {
  tAnalysis_request r;
  r.Kind = kind_;
  r.N = txtN->text().trimmed().toStdString();
  const int m = Covariate_count();
  for (int row = 0; row < grdVariables->rowCount(); ++row) {
    tVariable_texts v{Cell_text(grdVariables, row, 0), Cell_text(grdVariables, row, 1),
                      Cell_text(grdVariables, row, 2), Cell_text(grdVariables, row, 3)};
    (row < m ? r.Covariates : r.Tasks).push_back(v);
  }
  const int p = grdCorrelations->rowCount();
  r.Correlations.assign(static_cast<std::size_t>(p), {});
  for (int i = 0; i < p; ++i)
    for (int j = 0; j < i; ++j) r.Correlations[static_cast<std::size_t>(i)].push_back(Cell_text(grdCorrelations, i, j));
  r.Options.Tail = radio_one_tail->isChecked() ? tTail::One : tTail::Two;
  if (kind_ == tAnalysis_kind::Dissociation) {
    r.Options.Prior = radio_standard->isChecked() ? tPrior::Standard : tPrior::Calibrated;
    r.Options.Criteria = radio_combined->isChecked() ? tCriteria::Combined : tCriteria::Bayesian;
    r.With_udt = chkUdt->isChecked();
  }
  return r;
}

void TfrmToolkit::grdVariablesCellChanged(int /*row*/, int column) {
  if (column == 0 && !updating_) Update_correlation_table();
}

void TfrmToolkit::cmdAddCovariateClick() {
  if (computing_ || Covariate_count() >= kMax_covariates) {
    tDialogs::Warning(this, QStringLiteral("At most %1 covariates are allowed.").arg(kMax_covariates));
    return;
  }
  const int row = Covariate_count();
  updating_ = true;
  grdVariables->insertRow(row);
  grdVariables->setVerticalHeaderItem(row, new QTableWidgetItem(QStringLiteral("covariate")));
  Set_cell(grdVariables, row, 0, QStringLiteral("Covariate %1").arg(row + 1));
  updating_ = false;
  Update_correlation_table();
}

void TfrmToolkit::cmdRemoveCovariateClick() {
  if (computing_ || Covariate_count() == 0) return;
  const int current = grdVariables->currentRow();
  const int row = current >= 0 && current < Covariate_count() ? current : Covariate_count() - 1;
  grdVariables->removeRow(row);
  Update_correlation_table();
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
  for (const std::string& line : Toolkit_report_lines(results, {}, viewer_->Has_text()))
    lines << Qt_text(line);
  viewer_->Append_lines(lines);
  viewer_->setWindowTitle(QStringLiteral("Results viewer: ") + Qt_text(Program_title));
  viewer_->show();
  viewer_->raise();
}

void Add_toolkit_buttons(QWidget* worksheet, TfrmTemplateResults* viewer) {
  constexpr int kRow_height = 34;
  // The worksheet's controls stand on its sheet (shown whole or scrolled); the row goes
  // below them on the sheet, which grows by the row, and the window with it.
  QWidget* sheet = worksheet->findChild<QWidget*>(QStringLiteral("Sheet"));
  if (sheet == nullptr) sheet = worksheet;
  const int top = sheet->height();
  sheet->setFixedSize(sheet->width(), top + kRow_height);
  if (sheet != worksheet)
    worksheet->setFixedSize(worksheet->width(), worksheet->height() + kRow_height);
  const auto add = [&](const char* name, const QString& caption, int left, tAnalysis_kind kind) {
    auto* button = new QPushButton(caption, sheet);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(left, top + 2, 360, 23);
    QObject::connect(button, &QPushButton::clicked, worksheet, [worksheet, viewer, kind, name] {
      auto* window = worksheet->findChild<TfrmToolkit*>(
          QString::fromLatin1(kind == tAnalysis_kind::Deficit ? "frmDeficit" : "frmDissociation"));
      if (window == nullptr) window = new TfrmToolkit(kind, viewer, worksheet);
      (void)name;
      window->show();
      window->raise();
      window->activateWindow();
    });
    button->show();
  };
  add("cmdDeficitWindow", QStringLiteral("Deficit on one task..."), 20, tAnalysis_kind::Deficit);
  add("cmdDissociationWindow", QStringLiteral("Dissociation allowing for covariates..."), 396,
      tAnalysis_kind::Dissociation);
}
