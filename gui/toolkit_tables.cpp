// SPDX-License-Identifier: GPL-3.0-or-later
// The toolkit window's two tables kept in step: a covariate's row in the variables goes
// in or out together with its row and column of the correlations, so that each entry
// stays with its pair of variables whatever their names; and the request the tables make.
#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <algorithm>

#include "gui/figure_grid.h"
#include "gui/numeric_field.h"
#include "gui/toolkit_windows.h"

QString TfrmToolkit::Default_task_name(int task) const {
  if (kind_ == tAnalysis_kind::Deficit) return QStringLiteral("Task");
  return task == 0 ? QStringLiteral("Task X") : QStringLiteral("Task Y");
}

int TfrmToolkit::Task_count() const { return kind_ == tAnalysis_kind::Deficit ? 1 : 2; }
int TfrmToolkit::Covariate_count() const { return grdVariables->rowCount() - Task_count(); }

void TfrmToolkit::Insert_covariate_row(int row) {
  updating_ = true;
  grdVariables->insertRow(row);
  grdVariables->setVerticalHeaderItem(row, new QTableWidgetItem(QStringLiteral("covariate")));
  grdVariables->Set_cell(row, 0, QStringLiteral("Covariate %1").arg(row + 1));
  updating_ = false;
  grdCorrelations->insertRow(row);
  grdCorrelations->insertColumn(row);
  Refresh_correlation_cells();
  grdVariables->setCurrentCell(row, 0);
}

void TfrmToolkit::Remove_covariate_row(int row) {
  const int column = std::max(0, grdVariables->currentColumn());
  grdVariables->removeRow(row);
  grdCorrelations->removeRow(row);
  grdCorrelations->removeColumn(row);
  Refresh_correlation_cells();
  const int current = Covariate_count() > 0 ? std::min(row, Covariate_count() - 1) : 0;
  grdVariables->setCurrentCell(current, column);
}

// The correlations' headers name the variables; the lower triangle takes entries, the
// diagonal holds 1 and the upper triangle nothing. One task alone has no correlations.
void TfrmToolkit::Refresh_correlation_cells() {
  const int p = grdVariables->rowCount();
  lblCorrelations->setVisible(p > 1);
  grdCorrelations->setVisible(p > 1);
  grdCorrelations->setRowCount(p);
  grdCorrelations->setColumnCount(p);
  QStringList names;
  for (int r = 0; r < p; ++r) names << grdVariables->Cell_text(r, 0);
  grdCorrelations->setHorizontalHeaderLabels(names);
  grdCorrelations->setVerticalHeaderLabels(names);
  for (int i = 0; i < p; ++i)
    for (int j = 0; j < p; ++j) {
      const QTableWidgetItem* cell = grdCorrelations->item(i, j);
      if (j < i) {
        if (cell == nullptr || !(cell->flags() & Qt::ItemIsEditable))
          grdCorrelations->Set_cell(i, j, QString());
      } else {
        grdCorrelations->Set_cell(i, j, i == j ? QStringLiteral("1") : QString(), false);
      }
    }
}

bool TfrmToolkit::Row_holds_figures(int row) const {
  if (grdVariables->Has_figures(row)) return true;
  // The variable's entries in the lower triangle: its row left of the diagonal, its
  // column below it.
  for (int k = 0; k < grdCorrelations->rowCount(); ++k) {
    if (k < row && !grdCorrelations->Cell_text(row, k).isEmpty()) return true;
    if (k > row && !grdCorrelations->Cell_text(k, row).isEmpty()) return true;
  }
  return false;
}

bool TfrmToolkit::Has_entries() const {
  if (!saved_text_.empty() && Analysis_file_json(Analysis()) == saved_text_) return false;
  if (!txtN->text().trimmed().isEmpty() || !memoComments->toPlainText().trimmed().isEmpty())
    return true;
  return grdVariables->Has_figures() || grdCorrelations->Has_figures();
}

tAnalysis_request TfrmToolkit::Request() const {
  tAnalysis_request r;
  r.Kind = kind_;
  r.N = txtN->text().trimmed().toStdString();
  const int m = Covariate_count();
  const auto text = [](const tFigure_grid* table, int row, int column) {
    return table->Cell_text(row, column).toStdString();
  };
  for (int row = 0; row < grdVariables->rowCount(); ++row) {
    tVariable_texts v{text(grdVariables, row, 0), text(grdVariables, row, 1),
                      text(grdVariables, row, 2), text(grdVariables, row, 3)};
    (row < m ? r.Covariates : r.Tasks).push_back(v);
  }
  const int p = grdCorrelations->rowCount();
  r.Correlations.assign(static_cast<std::size_t>(p), {});
  for (int i = 0; i < p; ++i)
    for (int j = 0; j < i; ++j)
      r.Correlations[static_cast<std::size_t>(i)].push_back(text(grdCorrelations, i, j));
  r.Options.Tail = radio_one_tail->isChecked() ? tTail::One : tTail::Two;
  if (kind_ == tAnalysis_kind::Dissociation) {
    r.Options.Prior = radio_standard->isChecked() ? tPrior::Standard : tPrior::Calibrated;
    r.Options.Criteria = radio_combined->isChecked() ? tCriteria::Combined : tCriteria::Bayesian;
    r.With_udt = chkUdt->isChecked();
  }
  r.Options.Iterations = iterations_;
  return r;
}

tAnalysis_file TfrmToolkit::Analysis() const {
  return {Request(), memoComments->toPlainText().toStdString()};
}

// The covariates' rows made as many as the analysis's (each inserted or removed with its
// correlations), then every cell, field and option set from it. A variable without a name
// takes the one a new window gives it.
void TfrmToolkit::Show_analysis(const tAnalysis_file& analysis) {
  const tAnalysis_request& r = analysis.Request;
  const int m = static_cast<int>(r.Covariates.size());
  while (Covariate_count() > m) Remove_covariate_row(Covariate_count() - 1);
  while (Covariate_count() < m) Insert_covariate_row(Covariate_count());
  const auto q = [](const std::string& text) { return QString::fromStdString(text); };
  updating_ = true;
  for (int row = 0; row < grdVariables->rowCount(); ++row) {
    const tVariable_texts& v = row < m ? r.Covariates[static_cast<std::size_t>(row)]
                                       : r.Tasks[static_cast<std::size_t>(row - m)];
    QString name = q(v.Name);
    if (name.isEmpty() && row < m) name = QStringLiteral("Covariate %1").arg(row + 1);
    if (name.isEmpty()) name = Default_task_name(row - m);
    grdVariables->Set_cell(row, 0, name);
    grdVariables->Set_cell(row, 1, q(v.Mean));
    grdVariables->Set_cell(row, 2, q(v.Sd));
    grdVariables->Set_cell(row, 3, q(v.Case));
  }
  updating_ = false;
  Refresh_correlation_cells();
  for (int i = 0; i < grdCorrelations->rowCount(); ++i)
    for (int j = 0; j < i; ++j)
      grdCorrelations->Set_cell(i, j, q(r.Correlations[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)]));
  txtN->setText(q(r.N));
  memoComments->setPlainText(q(analysis.Notes));
  (r.Options.Tail == tTail::One ? radio_one_tail : radio_two_tail)->setChecked(true);
  if (kind_ == tAnalysis_kind::Dissociation) {
    (r.Options.Prior == tPrior::Standard ? radio_standard : radio_calibrated)->setChecked(true);
    (r.Options.Criteria == tCriteria::Combined ? radio_combined : radio_bayesian)->setChecked(true);
    chkUdt->setChecked(r.With_udt);
  }
  iterations_ = r.Options.Iterations;
}
