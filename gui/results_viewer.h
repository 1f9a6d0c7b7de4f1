// SPDX-License-Identifier: GPL-3.0-or-later
// The results viewer: the window that holds the reports of the analysis runs, one below the
// other, and saves them to a text file, prints all or the selected part, clears them, goes
// back to the worksheet or ends the program; its "Plots" menu opens the pictures of the
// latest run. It never composes report text itself.
#pragma once

#include <QFont>
#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "app/analysis_run.h"

class QAction;
class QFrame;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class TfrmPlots;

// The report's font at pixel_size: the first with equal advances of "Courier New" (or
// Liberation Mono, which has its metrics), the system's fixed-width font, DejaVu Sans Mono
// and Liberation Mono; the system's fixed-width font when none has.
QFont Courier_font(int pixel_size);

class TfrmTemplateResults : public QMainWindow {
  Q_OBJECT

 public:
  explicit TfrmTemplateResults(QWidget* parent = nullptr);

  // The window that "Return to Worksheet" shows again.
  void Set_worksheet(QWidget* worksheet);
  // What Exit asks ("Exit from program?" when none is set).
  void Set_exit_question(std::function<QString()> question);

  // True when the memo holds at least one line.
  bool Has_text() const;
  // True when the memo's text changed since it was last saved (as text or PDF).
  bool Has_unsaved_text() const;
  // Appends lines below the memo's text, each on its own line, and shows the first of them.
  void Append_lines(const QStringList& lines);
  QString Text() const;

  // Keeps the results of the latest run for the plots, and redraws the plots window with
  // them when it is open.
  void Set_latest_analysis(const tRun_results& results);
  // The plots window, once it has been opened (else nullptr).
  TfrmPlots* Plots_window() const { return plots_window_; }

  // Sends printing to a PDF file instead of the default printer (for tests and for
  // machines without a printer); an empty path restores the default printer.
  void Set_print_file(const QString& pdf_path);

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private slots:
  void cmdSaveOutputClick();
  void cmdClearResultsClick();
  void cmdReturnClick();
  void cmdExitClick();
  void mnuPrintClick();
  void mnuPrintSelectionClick();
  void mnuSavePdfClick();
  void mnuShowPlotsClick();

 private:
  void createControls();
  void createMenu();
  void Lay_out_client(QSize client);
  void FormCreate();
  void FormShow();
  void Print(const QString& text);
  // Prints text into a PDF file at path, as the printer would print it; throws
  // std::runtime_error when the file cannot be written.
  void Print_to_pdf(const QString& text, const QString& path);

  QPlainTextEdit* memoResults = nullptr;
  QFrame* Panel1 = nullptr;
  QPushButton* cmdSaveOutput = nullptr;
  QPushButton* cmdClearResults = nullptr;
  QPushButton* cmdReturn = nullptr;
  QPushButton* cmdExit = nullptr;
  QMenu* mnuPrinterOptions = nullptr;
  QAction* mnuPrint = nullptr;
  QAction* mnuPrintSelection = nullptr;
  QAction* mnuSavePdf = nullptr;
  QMenu* mnuPlots = nullptr;
  QAction* mnuShowPlots = nullptr;
  QAction* actSaveOutput = nullptr;
  TfrmPlots* plots_window_ = nullptr;
  std::optional<tRun_results> latest_;

  QWidget* worksheet_ = nullptr;
  std::function<QString()> exit_question_;
  QString print_file_;
};
