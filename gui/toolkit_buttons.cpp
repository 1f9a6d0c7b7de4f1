// SPDX-License-Identifier: GPL-3.0-or-later
// The worksheet's way to the toolkit's windows, and what the end of the program asks when
// they hold entries.
#include <QPushButton>
#include <algorithm>

#include "gui/toolkit_windows.h"

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
  QFont bold = worksheet->font();
  bold.setBold(true);
  const auto add = [&](const char* name, const QString& caption, int left, tAnalysis_kind kind,
                       const char* window_name) {
    auto* button = new QPushButton(caption, sheet);
    button->setObjectName(QString::fromLatin1(name));
    button->setFont(bold);
    button->setAutoDefault(true);
    button->setGeometry(left, top + 2, 360, 23);
    QObject::connect(button, &QPushButton::clicked, worksheet, [worksheet, viewer, kind, window_name] {
      auto* window = worksheet->findChild<TfrmToolkit*>(QString::fromLatin1(window_name));
      if (window == nullptr) window = new TfrmToolkit(kind, viewer, worksheet);
      window->show();
      window->raise();
      window->activateWindow();
    });
    button->show();
  };
  add("cmdDeficitWindow", QStringLiteral("D&eficit on one task..."), 20, tAnalysis_kind::Deficit,
      "frmDeficit");
  add("cmdDissociationWindow", QStringLiteral("Dissociation allowing for co&variates..."), 396,
      tAnalysis_kind::Dissociation, "frmDissociation");
}

bool Toolkit_entries_held(const QWidget* worksheet) {
  const auto windows = worksheet->findChildren<TfrmToolkit*>();
  return std::any_of(windows.begin(), windows.end(),
                     [](const TfrmToolkit* window) { return window->Has_entries(); });
}

QString Exit_question(const QWidget* worksheet) {
  QString question = QStringLiteral("Exit from program?");
  QStringList held;
  for (const TfrmToolkit* window : worksheet->findChildren<TfrmToolkit*>())
    if (window->Has_entries()) held << QLatin1Char('"') + window->Analysis_name() + QLatin1Char('"');
  if (!held.isEmpty())
    question += QStringLiteral("\r\rThe figures typed in %1 are not kept.")
                    .arg(held.join(QStringLiteral(" and ")));
  return question;
}
