// SPDX-License-Identifier: GPL-3.0-or-later
// The box that stands over the worksheet while a long computation runs: the Monte Carlo
// iterations done, the time left, and a Cancel button (Escape and the title bar's close
// button cancel too). It never ends the computation itself; it asks, and the computation
// stops at its next check.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>

class QLabel;
class QProgressBar;
class QPushButton;

// "Monte Carlo iterations done: 250,000 of 1,000,000"
QString Iterations_text(std::int64_t done, std::int64_t total);
// The estimate of the time left, in whole seconds rounded up; a negative value means no
// estimate yet.
QString Time_left_text(double seconds);

class TfrmProgress : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmProgress(QWidget* parent);

  // Shows the work done and the estimate of the time left (negative: not known yet).
  void Set_progress(std::int64_t done, std::int64_t total, double seconds_left);
  bool Cancel_requested() const { return cancel_requested_; }

 signals:
  // Emitted once, on the first Cancel, Escape or close.
  void Cancel_clicked();

 public slots:
  // Escape and the Cancel button come here: the box stays until the run has ended.
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QLabel* lblIterations = nullptr;
  QLabel* lblTime_left = nullptr;
  QProgressBar* barProgress = nullptr;
  QPushButton* cmdCancel = nullptr;
  bool cancel_requested_ = false;
};
