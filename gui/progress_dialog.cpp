// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/progress_dialog.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace {

constexpr int kBar_steps = 1000;  // the bar counts in tenths of a per cent

// 1234567 -> "1,234,567", whatever the locale: the report writes its numbers the same way.
QString Grouped(std::int64_t value) {
  QString digits = QString::number(value < 0 ? -value : value);
  for (qsizetype at = digits.size() - 3; at > 0; at -= 3) digits.insert(at, QLatin1Char(','));
  return value < 0 ? QLatin1Char('-') + digits : digits;
}

}  // namespace

QString Iterations_text(std::int64_t done, std::int64_t total) {
  return QStringLiteral("Monte Carlo iterations done: %1 of %2").arg(Grouped(done), Grouped(total));
}

QString Time_left_text(double seconds) {
  if (!(seconds >= 0)) return QStringLiteral("Time left: estimating...");
  const auto whole = static_cast<std::int64_t>(std::ceil(seconds));
  if (whole <= 1) return QStringLiteral("Time left: about 1 second");
  if (whole < 60) return QStringLiteral("Time left: about %1 seconds").arg(whole);
  const std::int64_t minutes = whole / 60;
  const std::int64_t rest = whole % 60;
  return QStringLiteral("Time left: about %1 min %2 s").arg(minutes).arg(rest);
}

TfrmProgress::TfrmProgress(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("frmProgress"));
  setWindowTitle(QStringLiteral("Kestrum: computing"));
  setWindowModality(Qt::WindowModal);

  lblIterations = new QLabel(Iterations_text(0, 0), this);
  lblIterations->setObjectName(QStringLiteral("lblIterations"));
  lblTime_left = new QLabel(Time_left_text(-1), this);
  lblTime_left->setObjectName(QStringLiteral("lblTime_left"));
  barProgress = new QProgressBar(this);
  barProgress->setObjectName(QStringLiteral("barProgress"));
  barProgress->setRange(0, kBar_steps);
  barProgress->setValue(0);
  cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
  cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
  cmdCancel->setAutoDefault(true);
  cmdCancel->setDefault(true);
  connect(cmdCancel, &QPushButton::clicked, this, &TfrmProgress::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmdCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lblIterations);
  layout->addWidget(lblTime_left);
  layout->addWidget(barProgress);
  layout->addLayout(buttons);
  // Wide enough for the longest texts, so that the box does not change size as they do.
  lblIterations->setMinimumWidth(
      lblIterations->fontMetrics().horizontalAdvance(Iterations_text(10000000, 10000000)));
  setFixedSize(sizeHint());
  cmdCancel->setFocus();
}

void TfrmProgress::Set_progress(std::int64_t done, std::int64_t total, double seconds_left) {
  lblIterations->setText(Iterations_text(done, total));
  if (!cancel_requested_) lblTime_left->setText(Time_left_text(seconds_left));
  const double share = total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 0;
  barProgress->setValue(static_cast<int>(std::lround(std::clamp(share, 0.0, 1.0) * kBar_steps)));
}

void TfrmProgress::reject() {
  if (cancel_requested_) return;
  cancel_requested_ = true;
  cmdCancel->setEnabled(false);
  lblTime_left->setText(QStringLiteral("Cancelling..."));
  emit Cancel_clicked();
}

void TfrmProgress::closeEvent(QCloseEvent* event) {
  event->ignore();
  reject();
}
