// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/results_viewer.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QFrame>
#include <QGuiApplication>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QSaveFile>
#include <QShowEvent>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <algorithm>
#include <stdexcept>

#include "gui/dialogs.h"
#include "gui/plots_window.h"
#include "gui/screen_fit.h"
#include "gui/text_printer.h"

namespace {

constexpr int kClient_width = 792;
constexpr int kClient_height = 554;
constexpr int kPanel_height = 57;
constexpr int kButton_width = 161;
constexpr int kButton_height = 37;

const char* const kNo_printer_message =
    "No default printer is installed, so nothing was printed.\n"
    "To keep the results as a PDF file, choose \"Save as PDF...\"\n"
    "in the \"Printer options...\" menu. To print, install a printer\n"
    "(or choose a default one) in the system's printer settings.";

const char kNothing_to_save_message[] =
    "There is nothing to save: the results viewer holds no results.";

// True when the font's digits, letters, space and the report's punctuation all have the
// same advance width.
bool Equal_advances(const QFont& font) {
  const QFontMetricsF metrics(font);
  const qreal advance = metrics.horizontalAdvance(QLatin1Char('0'));
  if (!(advance > 0)) return false;
  const QString sample = QStringLiteral(
      "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ .,:;-+=()%_'\"");
  return std::all_of(sample.begin(), sample.end(),
                     [&](QChar c) { return metrics.horizontalAdvance(c) == advance; });
}

}  // namespace

// The report's columns line up only in a font whose characters all advance alike. Font
// families are asked for in order; a family counts as found when the font the system
// gives for it is that family, or, for Courier New, Liberation Mono, which is made to
// Courier New's metrics and stands in for it on Debian (fonts-liberation).
QFont Courier_font(int pixel_size) {
  const auto sized = [pixel_size](QFont font) {
    font.setStyleHint(QFont::TypeWriter);
    font.setPixelSize(pixel_size);
    return font;
  };
  const auto resolves_to = [](const QFont& font, std::initializer_list<const char*> families) {
    const QString found = QFontInfo(font).family();
    return std::any_of(families.begin(), families.end(), [&](const char* family) {
      return found.compare(QLatin1String(family), Qt::CaseInsensitive) == 0;
    });
  };
  const QFont courier = sized(QFont(QStringLiteral("Courier New")));
  if (resolves_to(courier, {"Courier New", "Liberation Mono"}) && Equal_advances(courier))
    return courier;
  const QFont system = sized(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  if (Equal_advances(system)) return system;
  for (const char* family : {"DejaVu Sans Mono", "Liberation Mono"}) {
    const QFont font = sized(QFont(QString::fromLatin1(family)));
    if (resolves_to(font, {family}) && Equal_advances(font)) return font;
  }
  return system;
}

TfrmTemplateResults::TfrmTemplateResults(QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName(QStringLiteral("frmTemplateResults"));
  createControls();
  createMenu();
  FormCreate();
}

void TfrmTemplateResults::createControls() {
  QFont window_font = font();
  window_font.setPixelSize(13);
  setFont(window_font);
  setWindowTitle(QStringLiteral("Output"));

  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("Client"));
  setCentralWidget(client);

  memoResults = new QPlainTextEdit(client);
  memoResults->setObjectName(QStringLiteral("memoResults"));
  memoResults->setFont(Courier_font(12));
  memoResults->setLineWrapMode(QPlainTextEdit::NoWrap);
  memoResults->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memoResults->setTabChangesFocus(true);  // Tab and Shift+Tab leave the text, as in a memo
  QPalette palette = memoResults->palette();
  palette.setColor(QPalette::Text, Qt::black);
  // The selection stays visible when the memo loses the focus (to a menu, a button).
  for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText}) {
    palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
  }
  memoResults->setPalette(palette);

  Panel1 = new QFrame(client);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);

  QFont button_font = window_font;
  button_font.setBold(true);
  auto make_button = [&](QPushButton*& button, const char* name, const char* caption,
                         void (TfrmTemplateResults::*handler)()) {
    button = new QPushButton(QString::fromLatin1(caption), Panel1);
    button->setObjectName(QString::fromLatin1(name));
    button->setFont(button_font);
    button->setAutoDefault(true);  // Enter clicks the focused button, as Space does
    connect(button, &QPushButton::clicked, this, handler);
  };
  make_button(cmdSaveOutput, "cmdSaveOutput", "&Save Output",
              &TfrmTemplateResults::cmdSaveOutputClick);
  make_button(cmdClearResults, "cmdClearResults", "&Clear Results",
              &TfrmTemplateResults::cmdClearResultsClick);
  make_button(cmdReturn, "cmdReturn", "&Return to Worksheet",
              &TfrmTemplateResults::cmdReturnClick);
  make_button(cmdExit, "cmdExit", "E&xit", &TfrmTemplateResults::cmdExitClick);
  Lay_out_client(QSize(kClient_width, kClient_height));
}

// The memo above, the panel of buttons below; the buttons keep their designed size and
// share out the room between them, and narrow only where the client is too narrow.
void TfrmTemplateResults::Lay_out_client(QSize client) {
  constexpr int kSmallest_gap = 4;
  centralWidget()->setFixedSize(client);
  memoResults->setGeometry(0, 0, client.width(), client.height() - kPanel_height);
  Panel1->setGeometry(0, client.height() - kPanel_height, client.width(), kPanel_height);
  const int width = std::min(kButton_width, (client.width() - 5 * kSmallest_gap) / 4);
  const int gap = (client.width() - 4 * width) / 5;
  const int top = (kPanel_height - kButton_height) / 2;
  int left = gap;
  for (QPushButton* button : {cmdSaveOutput, cmdClearResults, cmdReturn, cmdExit}) {
    button->setGeometry(left, top, width, kButton_height);
    left += width + gap;
  }
}

void TfrmTemplateResults::createMenu() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MainMenu1"));
  mnuPrinterOptions = bar->addMenu(QStringLiteral("&Printer options..."));
  mnuPrinterOptions->setObjectName(QStringLiteral("mnuPrinterOptions"));
  mnuPrint = mnuPrinterOptions->addAction(QStringLiteral("Print &All"));
  mnuPrint->setObjectName(QStringLiteral("mnuPrint"));
  mnuPrint->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
  connect(mnuPrint, &QAction::triggered, this, &TfrmTemplateResults::mnuPrintClick);
  mnuPrintSelection = mnuPrinterOptions->addAction(QStringLiteral("Print &Selection"));
  mnuPrintSelection->setObjectName(QStringLiteral("mnuPrintSelection"));
  connect(mnuPrintSelection, &QAction::triggered, this,
          &TfrmTemplateResults::mnuPrintSelectionClick);
  mnuSavePdf = mnuPrinterOptions->addAction(QStringLiteral("Save as P&DF..."));
  mnuSavePdf->setObjectName(QStringLiteral("mnuSavePdf"));
  connect(mnuSavePdf, &QAction::triggered, this, &TfrmTemplateResults::mnuSavePdfClick);
  mnuPlots = bar->addMenu(QStringLiteral("P&lots"));
  mnuPlots->setObjectName(QStringLiteral("mnuPlots"));
  mnuShowPlots = mnuPlots->addAction(QStringLiteral("&Show plots of the latest analysis"));
  mnuShowPlots->setObjectName(QStringLiteral("mnuShowPlots"));
  mnuShowPlots->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
  connect(mnuShowPlots, &QAction::triggered, this, &TfrmTemplateResults::mnuShowPlotsClick);
  // Ctrl+S saves the results, as the Save Output button does.
  actSaveOutput = new QAction(this);
  actSaveOutput->setObjectName(QStringLiteral("actSaveOutput"));
  actSaveOutput->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  addAction(actSaveOutput);
  connect(actSaveOutput, &QAction::triggered, this, &TfrmTemplateResults::cmdSaveOutputClick);
  // The client area keeps its size below the menu bar.
  setFixedSize(kClient_width, kClient_height + bar->sizeHint().height());
}

void TfrmTemplateResults::FormCreate() { memoResults->clear(); }

void TfrmTemplateResults::FormShow() {
  raise();
  activateWindow();
  cmdReturn->setFocus();
}

void TfrmTemplateResults::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (event->spontaneous()) return;
  // The designed client where the screen has room for it, else a smaller one.
  const int bar = menuBar()->sizeHint().height();
  const QSize window = Fitting_client_size(this, QSize(kClient_width, kClient_height + bar));
  Lay_out_client(QSize(window.width(), window.height() - bar));
  setFixedSize(window);
  Centre_on_screen(this);
  FormShow();
}

// The title bar has no close button; a close asked for all the same (a window manager's
// keyboard shortcut) returns to the worksheet, so that the program never runs on with no
// window shown. The program itself only ever hides this window.
void TfrmTemplateResults::closeEvent(QCloseEvent* event) {
  event->ignore();
  cmdReturnClick();
}

void TfrmTemplateResults::Set_worksheet(QWidget* worksheet) { worksheet_ = worksheet; }

void TfrmTemplateResults::Set_exit_question(std::function<QString()> question) {
  exit_question_ = std::move(question);
}

bool TfrmTemplateResults::Has_text() const { return !memoResults->document()->isEmpty(); }

bool TfrmTemplateResults::Has_unsaved_text() const {
  return Has_text() && memoResults->document()->isModified();
}

QString TfrmTemplateResults::Text() const { return memoResults->toPlainText(); }

void TfrmTemplateResults::Append_lines(const QStringList& lines) {
  if (lines.isEmpty()) return;
  // Inserted as one text rather than line by line: appending an empty line to an empty
  // memo would otherwise be lost, and with it the report's leading blank line.
  const bool had_text = Has_text();
  QTextCursor cursor(memoResults->document());
  cursor.movePosition(QTextCursor::End);
  if (had_text) cursor.insertBlock();
  const int first = cursor.position();
  cursor.insertText(lines.join(QLatin1Char('\n')));
  // Scroll so that the new report is seen from its first line.
  memoResults->moveCursor(QTextCursor::End);
  cursor.setPosition(first);
  memoResults->setTextCursor(cursor);
  memoResults->ensureCursorVisible();
}

void TfrmTemplateResults::Set_print_file(const QString& pdf_path) { print_file_ = pdf_path; }

void TfrmTemplateResults::cmdSaveOutputClick() {
  if (!Has_text()) {
    tDialogs::Warning(this, QString::fromLatin1(kNothing_to_save_message));
    return;
  }
  const QString path = tDialogs::Save_file_name(this, QStringLiteral("results.txt"),
                                                QStringLiteral("Text files (*.txt)"));
  if (path.isEmpty()) return;
  // Every line ends with a line break, the last one too.
  QString text = memoResults->toPlainText();
  if (!text.isEmpty()) text += QLatin1Char('\n');
  const QByteArray bytes = text.toUtf8();
  // QSaveFile writes to a temporary file and renames it over the target only when all
  // went well, so a failed save never leaves a half-written file.
  QSaveFile file(path);
  const bool saved =
      file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
  if (!saved) {
    tDialogs::Error(this, QStringLiteral("The results could not be saved to \"%1\": %2.")
                              .arg(QDir::toNativeSeparators(path), file.errorString()));
    return;
  }
  memoResults->document()->setModified(false);
}

// Clearing the results also forgets the latest run: its plots are no longer shown.
void TfrmTemplateResults::cmdClearResultsClick() {
  if (!tDialogs::Confirm(this, QStringLiteral("Clear all the results?"))) return;
  memoResults->clear();
  latest_.reset();
  if (plots_window_ != nullptr) plots_window_->hide();
}

void TfrmTemplateResults::cmdReturnClick() {
  hide();
  if (worksheet_ != nullptr) worksheet_->show();
}

void TfrmTemplateResults::cmdExitClick() {
  const QString question = exit_question_ ? exit_question_() : QStringLiteral("Exit from program?");
  if (tDialogs::Confirm(this, question)) tDialogs::Quit_application();
}

void TfrmTemplateResults::mnuPrintClick() { Print(memoResults->toPlainText()); }

void TfrmTemplateResults::mnuPrintSelectionClick() {
  const QTextCursor cursor = memoResults->textCursor();
  if (!cursor.hasSelection()) {
    tDialogs::Warning(this, QStringLiteral("You have not selected any text."));
    return;
  }
  Print(cursor.selection().toPlainText());
}

// The whole text, as "Print All" prints it, into a PDF file; no printer is needed.
void TfrmTemplateResults::mnuSavePdfClick() {
  if (!Has_text()) {
    tDialogs::Warning(this, QString::fromLatin1(kNothing_to_save_message));
    return;
  }
  const QString path =
      tDialogs::Save_file_name(this, QStringLiteral("results.pdf"),
                               QStringLiteral("PDF files (*.pdf)"), QStringLiteral("pdf"),
                               QStringLiteral("Save as PDF"));
  if (path.isEmpty()) return;
  try {
    Print_to_pdf(memoResults->toPlainText(), path);
    memoResults->document()->setModified(false);  // the whole text is kept in the file
  } catch (const std::exception&) {
    tDialogs::Error(this, QStringLiteral("The results could not be saved to \"%1\".")
                              .arg(QDir::toNativeSeparators(path)));
  }
}

void TfrmTemplateResults::Print_to_pdf(const QString& text, const QString& path) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(path);
  printer.setDocName(QStringLiteral("Kestrum results"));
  Print_text(printer, memoResults->font(), text);
}

void TfrmTemplateResults::Set_latest_analysis(const tRun_results& results) {
  latest_ = results;
  if (plots_window_ == nullptr || !plots_window_->isVisible()) return;
  try {
    plots_window_->Set_results(results);
  } catch (const std::exception& error) {
    tDialogs::Error(this, QString::fromStdString(error.what()));
  }
}

void TfrmTemplateResults::mnuShowPlotsClick() {
  if (!latest_) {
    tDialogs::Warning(this, QStringLiteral("There are no plots to show: the results hold no "
                                           "analysis. Compute one on the worksheet first."));
    return;
  }
  try {
    if (plots_window_ == nullptr) plots_window_ = new TfrmPlots(this);
    plots_window_->Set_results(*latest_);
  } catch (const std::exception& error) {
    tDialogs::Error(this, QString::fromStdString(error.what()));
    return;
  }
  plots_window_->show();
  plots_window_->raise();
  plots_window_->activateWindow();
}

void TfrmTemplateResults::Print(const QString& text) {
  try {
    if (!print_file_.isEmpty()) {
      Print_to_pdf(text, print_file_);
      return;
    }
    const QPrinterInfo default_printer = QPrinterInfo::defaultPrinter();
    if (default_printer.isNull()) throw std::runtime_error(kNo_printer_message);
    QPrinter printer(default_printer, QPrinter::HighResolution);
    printer.setDocName(QStringLiteral("Kestrum results"));
    Print_text(printer, memoResults->font(), text);
  } catch (const std::exception& error) {
    tDialogs::Error(this, QString::fromStdString(error.what()));
  }
}
