// SPDX-License-Identifier: GPL-3.0-or-later
// The results viewer, driven as a user would: its buttons clicked by objectName, its menu
// items triggered, message boxes and the save dialog answered through the wrapper's script.
// Printing goes through the viewer's own printing code into a PDF, read back with
// pdftotext (poppler-utils).
#include <QAction>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QFrame>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QWindow>

#include "gui/dialogs.h"
#include "gui_test_support.h"
#include "gui/results_viewer.h"

namespace {

// The text of a PDF, page by page ("\f" between pages), or -bbox output; empty on failure.
QString Pdf_text(const QString& pdf, const QStringList& options = {QStringLiteral("-layout")}) {
  QProcess process;
  process.start(QStringLiteral(KESTRUM_PDFTOTEXT), QStringList(options)
                                                       << pdf << QStringLiteral("-"));
  if (!process.waitForFinished(30000) || process.exitCode() != 0) return {};
  return QString::fromUtf8(process.readAllStandardOutput());
}

bool Have_pdftotext() { return QFile::exists(QStringLiteral(KESTRUM_PDFTOTEXT)); }

void Write_file(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

}  // namespace

class TestViewer : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  TfrmTemplateResults* viewer_ = nullptr;
  QWidget* worksheet_ = nullptr;  // a stand-in for the worksheet

  QPlainTextEdit* Memo() {
    return viewer_->findChild<QPlainTextEdit*>(QStringLiteral("memoResults"));
  }
  QPushButton* Button(const char* name) {
    return viewer_->findChild<QPushButton*>(QString::fromLatin1(name));
  }
  QAction* Menu_item(const char* name) {
    return viewer_->findChild<QAction*>(QString::fromLatin1(name));
  }
  void Click(const char* name) {
    QPushButton* button = Button(name);
    QVERIFY2(button != nullptr, name);
    QTest::mouseClick(button, Qt::LeftButton);
  }

 private slots:
  void initTestCase() {
    tDialogs::Start_scripted();
    QVERIFY(dir_.isValid());
  }

  void init() {
    tDialogs::Clear_shown();
    worksheet_ = new QWidget;
    viewer_ = new TfrmTemplateResults;
    viewer_->Set_worksheet(worksheet_);
    viewer_->show();
    QVERIFY(QTest::qWaitForWindowExposed(viewer_));
  }

  void cleanup() {
    delete viewer_;
    delete worksheet_;
  }

  void Window_matches_its_design() {
    QCOMPARE(viewer_->windowTitle(), QStringLiteral("Output"));
    QCOMPARE(viewer_->centralWidget()->size(), QSize(792, 554));
    QCOMPARE(viewer_->minimumSize(), viewer_->maximumSize());  // not resizable
    QVERIFY(!(viewer_->windowFlags() & Qt::WindowCloseButtonHint));
    QVERIFY(!(viewer_->windowFlags() & Qt::WindowMinMaxButtonsHint));
    QVERIFY(Memo()->toPlainText().isEmpty());

    QVERIFY2(Equal_advances_in_test(Memo()->font()), qPrintable(QFontInfo(Memo()->font()).family()));
    QCOMPARE(Memo()->font().pixelSize(), 12);

    // The four buttons, left to right, bold, 161 x 37, on a lowered panel under the memo.
    const char* const order[] = {"cmdSaveOutput", "cmdClearResults", "cmdReturn", "cmdExit"};
    const char* const captions[] = {"&Save Output", "&Clear Results", "&Return to Worksheet",
                                    "E&xit"};
    auto* panel = viewer_->findChild<QFrame*>(QStringLiteral("Panel1"));
    QVERIFY(panel != nullptr);
    QCOMPARE(panel->frameShadow(), QFrame::Sunken);
    QVERIFY(panel->geometry().top() >= Memo()->geometry().bottom());
    int previous_left = -1;
    for (int i = 0; i < 4; ++i) {
      QPushButton* button = Button(order[i]);
      QVERIFY2(button != nullptr, order[i]);
      QCOMPARE(button->text(), QString::fromLatin1(captions[i]));
      QCOMPARE(button->size(), QSize(161, 37));
      QVERIFY(button->font().bold());
      QCOMPARE(button->parentWidget(), panel);
      QVERIFY(button->x() > previous_left);
      previous_left = button->x();
    }
    QCOMPARE(viewer_->focusWidget(), Button("cmdReturn"));

    QCOMPARE(Menu_item("mnuPrint")->text(), QStringLiteral("Print &All"));
    QCOMPARE(Menu_item("mnuPrintSelection")->text(), QStringLiteral("Print &Selection"));
    QCOMPARE(Menu_item("mnuSavePdf")->text(), QStringLiteral("Save as P&DF..."));
  }

  // Tab and Shift+Tab leave the text, as in a plain memo, and never type a tab into it.
  void Tab_leaves_the_text_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::newRow("Tab") << int(Qt::Key_Tab) << int(Qt::NoModifier);
    QTest::newRow("Shift+Tab") << int(Qt::Key_Backtab) << int(Qt::ShiftModifier);
  }
  void Tab_leaves_the_text() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    Memo()->setPlainText(QStringLiteral("a report"));
    Memo()->setFocus();
    QCOMPARE(viewer_->focusWidget(), Memo());
    QTest::keyClick(Memo(), static_cast<Qt::Key>(key), Qt::KeyboardModifiers(modifiers));
    QVERIFY(viewer_->focusWidget() != Memo());
    QVERIFY(qobject_cast<QPushButton*>(viewer_->focusWidget()) != nullptr);
    QCOMPARE(Memo()->toPlainText(), QStringLiteral("a report"));
  }

  // Enter on a focused button clicks it, as Space does.
  void Enter_clicks_the_focused_button_data() {
    QTest::addColumn<int>("key");
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("Enter on the keypad") << int(Qt::Key_Enter);
  }
  void Enter_clicks_the_focused_button() {
    QFETCH(int, key);
    Memo()->setPlainText(QStringLiteral("a report"));
    Button("cmdClearResults")->setFocus();
    tDialogs::Set_next_confirmation(true);
    QTest::keyClick(Button("cmdClearResults"), static_cast<Qt::Key>(key));
    QVERIFY(Memo()->toPlainText().isEmpty());
    QTest::keyClick(Button("cmdReturn"), static_cast<Qt::Key>(key));
    QVERIFY(!viewer_->isVisible());
    QVERIFY(worksheet_->isVisible());
  }

  // "Save as PDF..." writes the whole text into a PDF as "Print All" prints it, with no
  // printer at all; the save dialog offers PDF files.
  void Save_as_pdf_data() {
    QTest::addColumn<QString>("answer");  // file name in the temporary folder; empty: cancel
    QTest::addColumn<bool>("saved");
    QTest::newRow("cancel writes nothing") << QString() << false;
    QTest::newRow("new file") << QStringLiteral("report.pdf") << true;
    QTest::newRow("missing folder is an error") << QStringLiteral("no/such/folder/r.pdf") << false;
  }
  void Save_as_pdf() {
    if (!Have_pdftotext()) QSKIP("pdftotext (poppler-utils) is needed to read the PDF back");
    QFETCH(QString, answer);
    QFETCH(bool, saved);
    QStringList lines;
    for (int i = 1; i <= 90; ++i) lines << QStringLiteral(" Line %1 =   %2").arg(i).arg(i * 0.5);
    Memo()->setPlainText(lines.join(QLatin1Char('\n')));
    viewer_->Set_print_file(QString());  // the default printer, of which there may be none
    const QString path = answer.isEmpty() ? QString() : dir_.filePath(answer);
    const QStringList before = QDir(dir_.path()).entryList(QDir::Files);
    tDialogs::Set_next_save_file(path);

    Menu_item("mnuSavePdf")->trigger();

    QCOMPARE(Count_shown(tDialogs::tKind::Save_dialog), 1);
    const QString asked = Last_shown_text(tDialogs::tKind::Save_dialog);
    QCOMPARE(asked, QStringLiteral("results.pdf|PDF files (*.pdf)|Save as PDF"));
    if (!saved) {
      QCOMPARE(QDir(dir_.path()).entryList(QDir::Files), before);
      QCOMPARE(Count_shown(tDialogs::tKind::Error), answer.isEmpty() ? 0 : 1);
      if (!answer.isEmpty()) {
        QVERIFY(Last_shown_text(tDialogs::tKind::Error).startsWith(QStringLiteral("The results could not be saved to")));
      }
      return;
    }
    QCOMPARE(Count_shown(tDialogs::tKind::Error), 0);
    const QString text = Pdf_text(path);
    QStringList read_back;
    for (const QString& line : text.split(QRegularExpression(QStringLiteral("[\n\f]")),
                                          Qt::SkipEmptyParts)) {
      if (!line.simplified().startsWith(QStringLiteral("page "))) read_back << line.simplified();
    }
    QStringList expected;
    for (const QString& line : lines) expected << line.simplified();
    QCOMPARE(read_back, expected);
    // The very pages "Print All" puts on the printer.
    const QString printed = dir_.filePath(QStringLiteral("printed.pdf"));
    viewer_->Set_print_file(printed);
    Menu_item("mnuPrint")->trigger();
    QCOMPARE(Pdf_text(path), Pdf_text(printed));
    QFile::remove(path);
  }

  // Reports are appended as whole texts; a report's first line is blank, which must
  // survive also when the memo is empty.
  void Append_keeps_every_line_data() {
    QTest::addColumn<QString>("before");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("after");
    QTest::newRow("empty memo, leading blank line")
        << QString() << QStringList{"", "Title", ""} << QStringLiteral("\nTitle\n");
    QTest::newRow("below earlier text") << QStringLiteral("old") << QStringList{"____", "", "Title"}
                                        << QStringLiteral("old\n____\n\nTitle");
    QTest::newRow("one empty line into an empty memo") << QString() << QStringList{""} << QString();
  }
  void Append_keeps_every_line() {
    QFETCH(QString, before);
    QFETCH(QStringList, lines);
    QFETCH(QString, after);
    Memo()->setPlainText(before);
    viewer_->Append_lines(lines);
    QCOMPARE(Memo()->toPlainText(), after);
  }

  void Save_output_data() {
    QTest::addColumn<QString>("answer");  // file name in the temporary folder; empty: cancel
    QTest::addColumn<QByteArray>("existing");
    QTest::addColumn<bool>("saved");
    QTest::newRow("cancel writes nothing") << QString() << QByteArray() << false;
    QTest::newRow("new file") << QStringLiteral("new.txt") << QByteArray() << true;
    QTest::newRow("overwrites a longer file")
        << QStringLiteral("old.txt") << QByteArray(5000, 'z') << true;
    QTest::newRow("missing folder is an error")
        << QStringLiteral("no/such/folder/results.txt") << QByteArray() << false;
  }
  void Save_output() {
    QFETCH(QString, answer);
    QFETCH(QByteArray, existing);
    QFETCH(bool, saved);
    const QString text = QStringLiteral("\nKestrum report\n  two spaces\n\nlast line");
    Memo()->setPlainText(text);
    const QString path = answer.isEmpty() ? QString() : dir_.filePath(answer);
    if (!existing.isEmpty()) Write_file(path, existing);
    const QStringList before = QDir(dir_.path()).entryList(QDir::Files);
    tDialogs::Set_next_save_file(path);

    Click("cmdSaveOutput");

    QCOMPARE(Count_shown(tDialogs::tKind::Save_dialog), 1);
    const QString asked = Last_shown_text(tDialogs::tKind::Save_dialog);
    QVERIFY2(asked.startsWith(QStringLiteral("results.txt|")), qPrintable(asked));
    QVERIFY2(asked.contains(QStringLiteral("*.txt")), qPrintable(asked));
    QCOMPARE(Memo()->toPlainText(), text);  // the memo keeps its text in every case
    if (saved) {
      // Every line ends with a line break, the last one too.
      QCOMPARE(Read_file(path), text + QLatin1Char('\n'));
      QCOMPARE(Count_shown(tDialogs::tKind::Error), 0);
    } else if (answer.isEmpty()) {
      QCOMPARE(QDir(dir_.path()).entryList(QDir::Files), before);
      QCOMPARE(tDialogs::Shown().size(), std::size_t{1});
    } else {
      QCOMPARE(Count_shown(tDialogs::tKind::Error), 1);
      const QString message = Last_shown_text(tDialogs::tKind::Error);
      QVERIFY2(message.contains(QStringLiteral("could not be saved")), qPrintable(message));
      QVERIFY(!QFile::exists(path));
    }
    if (!path.isEmpty()) QFile::remove(path);
  }

  void Clear_results_asks_then_empties_the_memo_only_data() {
    QTest::addColumn<bool>("yes");
    QTest::newRow("No keeps the results") << false;
    QTest::newRow("Yes empties the memo") << true;
  }
  void Clear_results_asks_then_empties_the_memo_only() {
    QFETCH(bool, yes);
    const QString kept = dir_.filePath(QStringLiteral("kept.txt"));
    Write_file(kept, "saved before");
    Memo()->setPlainText(QStringLiteral("a report"));
    if (yes) tDialogs::Set_next_confirmation(true);  // else the default, No
    Click("cmdClearResults");
    QCOMPARE(Count_shown(tDialogs::tKind::Confirmation), 1);
    QCOMPARE(Last_shown_text(tDialogs::tKind::Confirmation), QStringLiteral("Clear all the results?"));
    QCOMPARE(Memo()->toPlainText(), yes ? QString() : QStringLiteral("a report"));
    QCOMPARE(Read_file(kept), QStringLiteral("saved before"));
  }

  // Every button and menu has a mnemonic, each letter once among the window's buttons and
  // menu titles and once within a menu; Ctrl+S saves, Ctrl+P prints all.
  void Keyboard_reaches_every_command() {
    QStringList top_level;
    for (QPushButton* button : viewer_->findChildren<QPushButton*>()) top_level << button->text();
    for (QAction* menu : viewer_->menuBar()->actions()) {
      top_level << menu->text();
      QStringList items;
      for (QAction* item : menu->menu()->actions()) items << item->text();
      QVERIFY2(Mnemonics_unique(items), qPrintable(items.join(QLatin1Char('|'))));
    }
    QCOMPARE(top_level.size(), 6);
    QVERIFY2(Mnemonics_unique(top_level), qPrintable(top_level.join(QLatin1Char('|'))));

    Memo()->setPlainText(QStringLiteral("a report"));
    Memo()->setFocus();
    QVERIFY(QTest::qWaitForWindowActive(viewer_));
    QTest::keyClick(Memo(), Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(Count_shown(tDialogs::tKind::Save_dialog), 1);
    QVERIFY(Last_shown_text(tDialogs::tKind::Save_dialog).startsWith(QStringLiteral("results.txt|")));
    const QString pdf = dir_.filePath(QStringLiteral("ctrl-p.pdf"));
    viewer_->Set_print_file(pdf);
    QTest::keyClick(Memo(), Qt::Key_P, Qt::ControlModifier);
    QVERIFY(QFile::exists(pdf));
    QTest::keyClick(Memo(), Qt::Key_C, Qt::AltModifier);  // Clear Results, answered No
    QTRY_COMPARE(Count_shown(tDialogs::tKind::Confirmation), 1);  // a button's animated click
    QCOMPARE(Memo()->toPlainText(), QStringLiteral("a report"));
  }

  void Exit_asks_first_data() {
    QTest::addColumn<bool>("yes");
    QTest::newRow("No leaves everything as it was") << false;
    QTest::newRow("Yes ends the program") << true;
  }
  void Exit_asks_first() {
    QFETCH(bool, yes);
    Memo()->setPlainText(QStringLiteral("report"));
    tDialogs::Set_next_confirmation(yes);
    Click("cmdExit");
    QCOMPARE(Count_shown(tDialogs::tKind::Confirmation), 1);
    QCOMPARE(Last_shown_text(tDialogs::tKind::Confirmation), QStringLiteral("Exit from program?"));
    QCOMPARE(Count_shown(tDialogs::tKind::Quit), yes ? 1 : 0);
    QVERIFY(viewer_->isVisible());
    QCOMPARE(Memo()->toPlainText(), QStringLiteral("report"));
  }

  // A close asked for by the window system (there is no close button) goes back to the
  // worksheet instead of leaving the program running with no window.
  void Window_system_close_returns_to_worksheet() {
    Memo()->setPlainText(QStringLiteral("kept"));
    QVERIFY(viewer_->windowHandle() != nullptr);
    viewer_->windowHandle()->close();  // the close a window manager's shortcut asks for
    QVERIFY(!viewer_->isVisible());
    QVERIFY(worksheet_->isVisible());
    QCOMPARE(Memo()->toPlainText(), QStringLiteral("kept"));
    QCOMPARE(Count_shown(tDialogs::tKind::Quit), 0);
  }

  // Each text line on printed lines of its own, a line too long for the page wrapped with
  // nothing lost, every word inside margins of 15 mm, each page numbered "page k of n".
  void Print_all_wraps_within_margins_and_numbers_pages() {
    if (!Have_pdftotext()) QSKIP("pdftotext (poppler-utils) is needed to read the PDF back");
    // 150 numbered lines and one far too long for a page.
    QStringList lines;
    for (int i = 1; i <= 150; ++i)
      lines << QStringLiteral("Line%1 of the report").arg(i, 3, 10, QLatin1Char('0'));
    const QString long_line = QStringLiteral("LONG") + QString(150, QLatin1Char('x')) +
                              QStringLiteral(" words ") + QString(150, QLatin1Char('y')) +
                              QStringLiteral("END");
    lines.insert(20, long_line);
    Memo()->setPlainText(lines.join(QLatin1Char('\n')));
    const QString pdf = dir_.filePath(QStringLiteral("all.pdf"));
    viewer_->Set_print_file(pdf);

    Menu_item("mnuPrint")->trigger();

    QVERIFY(tDialogs::Shown().empty());
    const QString printed = Pdf_text(pdf);
    QVERIFY2(!printed.isEmpty(), "no text read back from the PDF");
    const QStringList pages = printed.split(QLatin1Char('\f'), Qt::SkipEmptyParts);
    QVERIFY2(pages.size() >= 2, qPrintable(QString::number(pages.size())));
    // Every numbered line once, in order; a page holds a run of consecutive lines and is
    // full before the next page starts; its last line is its number.
    int expected = 1;
    QString wrapped;
    QList<int> per_page;
    for (qsizetype p = 0; p < pages.size(); ++p) {
      QStringList page_lines;
      for (const QString& raw : pages[p].split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        if (!raw.trimmed().isEmpty()) page_lines << raw.trimmed();
      QVERIFY(!page_lines.isEmpty());
      QCOMPARE(page_lines.last(), QStringLiteral("page %1 of %2").arg(p + 1).arg(pages.size()));
      page_lines.removeLast();
      int on_page = 0;
      for (const QString& line : page_lines) {
        if (line.startsWith(QStringLiteral("Line"))) {
          QCOMPARE(line,
                   QStringLiteral("Line%1 of the report").arg(expected, 3, 10, QLatin1Char('0')));
          ++expected;
          ++on_page;
        } else {
          QVERIFY2(line.size() < long_line.size(), qPrintable(line));  // wrapped
          wrapped += line + QLatin1Char(' ');
        }
      }
      per_page << on_page;
    }
    QCOMPARE(expected, 151);
    QCOMPARE(wrapped.remove(QLatin1Char(' ')), QString(long_line).remove(QLatin1Char(' ')));
    for (int i = 0; i + 1 < per_page.size(); ++i) QVERIFY(per_page[i] >= 60);

    // Every word inside the margins; 8-point text: the baselines of successive lines lie
    // about one line pitch apart.
    const QString boxes = Pdf_text(pdf, {QStringLiteral("-bbox")});
    constexpr double kMargin = 15 / 25.4 * 72;  // points
    const QRegularExpression page_size(
        QStringLiteral(R"re(<page width="([0-9.]+)" height="([0-9.]+)")re"));
    const auto size = page_size.match(boxes);
    QVERIFY(size.hasMatch());
    const double width = size.captured(1).toDouble(), height = size.captured(2).toDouble();
    const QRegularExpression word(QStringLiteral(
        R"re(xMin="([0-9.]+)" yMin="([0-9.]+)" xMax="([0-9.]+)" yMax="([0-9.]+)">([^<]*)<)re"));
    int words = 0;
    double y[3] = {0, 0, 0};
    for (auto match = word.globalMatch(boxes); match.hasNext(); ++words) {
      const auto m = match.next();
      const bool inside = m.captured(1).toDouble() >= kMargin - 0.5 &&
                          m.captured(2).toDouble() >= kMargin - 0.5 &&
                          m.captured(3).toDouble() <= width - kMargin + 0.5 &&
                          m.captured(4).toDouble() <= height - kMargin + 0.5;
      QVERIFY2(inside, qPrintable(m.captured(0)));
      const QString text = m.captured(5);
      if (text == QLatin1String("Line001") || text == QLatin1String("Line002"))
        y[text.back().digitValue()] = m.captured(2).toDouble();
    }
    QVERIFY2(words > 600, qPrintable(QString::number(words)));
    const double pitch = y[2] - y[1];
    QVERIFY2(pitch > 8.0 && pitch < 11.0, qPrintable(QString::number(pitch)));
  }

  void Print_selection_data() {
    QTest::addColumn<int>("first");  // first selected line, -1 for no selection
    QTest::addColumn<int>("last");
    QTest::newRow("no selection warns and prints nothing") << -1 << -1;
    QTest::newRow("two lines") << 2 << 3;
  }
  void Print_selection() {
    if (!Have_pdftotext()) QSKIP("pdftotext (poppler-utils) is needed to read the PDF back");
    QFETCH(int, first);
    QFETCH(int, last);
    Memo()->setPlainText(QStringLiteral("zero\none\ntwo\nthree\nfour"));
    if (first >= 0) {
      QTextCursor cursor(Memo()->document()->findBlockByNumber(first));
      cursor.setPosition(Memo()->document()->findBlockByNumber(last).position() +
                             Memo()->document()->findBlockByNumber(last).length() - 1,
                         QTextCursor::KeepAnchor);
      Memo()->setTextCursor(cursor);
    }
    const QString pdf = dir_.filePath(QStringLiteral("selection.pdf"));
    QFile::remove(pdf);
    viewer_->Set_print_file(pdf);

    Menu_item("mnuPrintSelection")->trigger();

    if (first < 0) {
      QCOMPARE(Count_shown(tDialogs::tKind::Warning), 1);
      QCOMPARE(Last_shown_text(tDialogs::tKind::Warning),
               QStringLiteral("You have not selected any text."));
      QVERIFY(!QFile::exists(pdf));
      return;
    }
    QVERIFY(tDialogs::Shown().empty());
    const QStringList printed =
        Pdf_text(pdf).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    QCOMPARE(printed, (QStringList{"two", "three", "page", "1", "of", "1"}));
  }

  void Print_without_a_printer_says_so() {
    if (!QPrinterInfo::availablePrinters().isEmpty()) QSKIP("this machine has a printer");
    Memo()->setPlainText(QStringLiteral("text"));
    viewer_->Set_print_file(QString());
    Menu_item("mnuPrint")->trigger();
    QCOMPARE(Count_shown(tDialogs::tKind::Error), 1);
    const QString message = Last_shown_text(tDialogs::tKind::Error);
    QVERIFY(message.contains(QStringLiteral("printer")));
    QVERIFY2(message.contains(QStringLiteral("\"Save as PDF...\"")), qPrintable(message));
  }
};

QTEST_MAIN(TestViewer)
#include "test_gui_viewer.moc"
