// SPDX-License-Identifier: GPL-3.0-or-later
// Kestrum, the desktop program: the worksheet and the results viewer.
#include <QApplication>
#include <QIcon>

#include "distrib/distrib.h"
#include "gui/results_viewer.h"
#include "gui/planning_window.h"
#include "gui/toolkit_windows.h"
#include "gui/worksheet_window.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("kestrum"));
  QApplication::setDesktopFileName(QStringLiteral("kestrum"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/kestrum.png")));

  // Start-up in order: the generator's seeds; the program's title and data-file name are
  // constants of the core; the worksheet (which loads the control data), then the viewer.
  Reset_seeds();
  TfrmTemplate worksheet;
  TfrmTemplateResults viewer;
  worksheet.Set_viewer(&viewer);
  viewer.Set_worksheet(&worksheet);
  Add_toolkit_buttons(&worksheet, &viewer);
  Add_planning_button(&worksheet);

  worksheet.show();
  return QApplication::exec();
}
