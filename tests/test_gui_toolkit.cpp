// SPDX-License-Identifier: GPL-3.0-or-later
// The toolkit's windows driven through their widgets (offscreen): reached from the
// worksheet without moving its fields, the covariate table, a refused matrix, the report
// in the results viewer, and a cancelled run; then the tables edited as a spreadsheet by
// the worksheet's typing rules, the windows' place and look on the screen, the exit
// question, the report's header, the mnemonics and a quiet standard error.
#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QWindow>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>

#include "app/input_checks.h"
#include "gui/plots_window.h"
#include "gui/results_viewer.h"
#include "gui/toolkit_windows.h"
#include "gui/worksheet_window.h"
#include "gui_test_support.h"

class TestToolkitWindows : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  std::unique_ptr<TfrmTemplate> worksheet_;
  std::unique_ptr<TfrmTemplateResults> viewer_;

  TfrmToolkit* Open(const char* button, const char* window) {
    auto* b = worksheet_->findChild<QPushButton*>(QString::fromLatin1(button));
    if (b == nullptr) return nullptr;
    b->click();
    return worksheet_->findChild<TfrmToolkit*>(QString::fromLatin1(window));
  }
  static void Set(QTableWidget* table, int row, int column, const QString& text) {
    table->setItem(row, column, new QTableWidgetItem(text));
  }
  static QTableWidget* Table(QWidget* window, const char* name) {
    return window->findChild<QTableWidget*>(QString::fromLatin1(name));
  }
  static QString Cell(QTableWidget* table, int row, int column) {
    const QTableWidgetItem* item = table->item(row, column);
    return item == nullptr ? QString() : item->text();
  }
  // A toolkit window opened from the worksheet, shown and active.
  TfrmToolkit* Shown(const char* button, const char* window_name) {
    Add_toolkit_buttons(worksheet_.get(), viewer_.get());
    worksheet_->show();
    TfrmToolkit* window = Open(button, window_name);
    if (window == nullptr || !QTest::qWaitForWindowExposed(window)) return nullptr;
    window->activateWindow();
    return QTest::qWaitForWindowActive(window) ? window : nullptr;
  }
  // Keys to whatever holds the focus, one at a time (an editor opens after the first).
  static void Type(const QString& text) {
    for (const QChar c : text) {
      if (c.unicode() < 0x80) {
        QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
      } else {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(QApplication::focusWidget(), &press);
        QApplication::sendEvent(QApplication::focusWidget(), &release);
      }
    }
  }
  static void Fill_deficit(TfrmToolkit* window) {
    auto* variables = Table(window, "grdVariables");
    const char* row[4] = {"Naming", "100", "15", "70"};
    for (int c = 0; c < 4; ++c) Set(variables, 0, c, QString::fromLatin1(row[c]));
    window->findChild<QLineEdit*>(QStringLiteral("txtN"))->setText(QStringLiteral("30"));
  }

 private slots:
  void initTestCase() { QVERIFY(Start_scripted_in(dir_)); }
  void init() {
    tDialogs::Clear_shown();
    worksheet_ = std::make_unique<TfrmTemplate>();
    viewer_ = std::make_unique<TfrmTemplateResults>();
    worksheet_->Set_viewer(viewer_.get());
    viewer_->Set_worksheet(worksheet_.get());
  }
  void cleanup() {
    viewer_.reset();
    worksheet_.reset();
  }

  void Button_row_leaves_the_fields_where_they_are() {
    auto* first = worksheet_->findChild<QLineEdit*>(QStringLiteral("txtInput1"));
    auto* compute = worksheet_->findChild<QPushButton*>(QStringLiteral("cmdCompute"));
    QVERIFY(first != nullptr && compute != nullptr);
    const QRect field = first->geometry(), button = compute->geometry();
    QWidget* sheet = worksheet_->findChild<QWidget*>(QStringLiteral("Sheet"));
    QVERIFY(sheet != nullptr);
    const int height = sheet->height();
    Add_toolkit_buttons(worksheet_.get(), viewer_.get());
    worksheet_->show();
    QCOMPARE(first->geometry(), field);
    QCOMPARE(compute->geometry(), button);
    auto* deficit = worksheet_->findChild<QPushButton*>(QStringLiteral("cmdDeficitWindow"));
    QVERIFY(deficit != nullptr && deficit->isVisible());
    QCOMPARE(deficit->parentWidget(), sheet);
    QVERIFY(deficit->geometry().top() >= height);
    QVERIFY(sheet->height() > height);
  }

  void Deficit_with_a_covariate_reports_to_the_viewer() {
    Add_toolkit_buttons(worksheet_.get(), viewer_.get());
    worksheet_->show();
    TfrmToolkit* window = Open("cmdDeficitWindow", "frmDeficit");
    QVERIFY(window != nullptr);
    QCOMPARE(window->windowTitle(), QStringLiteral("Kestrum: Deficit on one task"));
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("cmdAddCovariate")), Qt::LeftButton);
    auto* variables = window->findChild<QTableWidget*>(QStringLiteral("grdVariables"));
    auto* correlations = window->findChild<QTableWidget*>(QStringLiteral("grdCorrelations"));
    QCOMPARE(variables->rowCount(), 2);
    Set(variables, 0, 0, QStringLiteral("Age"));
    QCOMPARE(correlations->horizontalHeaderItem(0)->text(), QStringLiteral("Age"));
    Set(variables, 0, 1, QStringLiteral("65"));
    Set(variables, 0, 2, QStringLiteral("8"));
    Set(variables, 0, 3, QStringLiteral("78"));
    Set(variables, 1, 0, QStringLiteral("Naming"));
    Set(variables, 1, 1, QStringLiteral("100"));
    Set(variables, 1, 2, QStringLiteral("15"));
    Set(variables, 1, 3, QStringLiteral("70"));
    Set(correlations, 1, 0, QStringLiteral("0.5"));
    window->findChild<QLineEdit*>(QStringLiteral("txtN"))->setText(QStringLiteral("30"));
    const tAnalysis_request request = window->Request();
    QCOMPARE(request.Covariates.size(), std::size_t{1});
    QCOMPARE(request.Correlations.at(1).at(0), std::string("0.5"));
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("cmdCompute")), Qt::LeftButton);
    QCOMPARE(Count_shown(tDialogs::tKind::Warning) + Count_shown(tDialogs::tKind::Error), 0);
    const QString text = viewer_->Text();
    QVERIFY(text.contains(QStringLiteral(" TEST FOR A DEFICIT ON NAMING ALLOWING FOR COVARIATES:")));
    QVERIFY(text.contains(QStringLiteral(" BAYESIAN TEST FOR A DEFICIT ON NAMING ALLOWING FOR COVARIATES:")));
    // The pictures of the run.
    auto* plots = window->findChild<QPushButton*>(QStringLiteral("cmdPlots"));
    QVERIFY(plots->isEnabled());
    plots->click();
    auto* shown = window->findChild<QWidget*>(QStringLiteral("frmToolkitPlots"));
    QVERIFY(shown != nullptr && shown->isVisible());
    // The worksheet's plots window, with its export.
    QVERIFY(shown->findChild<QPushButton*>(QStringLiteral("cmdExport")) != nullptr);
  }

  void Matrix_not_positive_definite_is_refused() {
    Add_toolkit_buttons(worksheet_.get(), viewer_.get());
    TfrmToolkit* window = Open("cmdDissociationWindow", "frmDissociation");
    QVERIFY(window != nullptr);
    QCOMPARE(window->windowTitle(), QStringLiteral("Kestrum: Dissociation allowing for covariates"));
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("cmdAddCovariate")), Qt::LeftButton);
    auto* variables = window->findChild<QTableWidget*>(QStringLiteral("grdVariables"));
    auto* correlations = window->findChild<QTableWidget*>(QStringLiteral("grdCorrelations"));
    const char* rows[3][4] = {{"Age", "65", "8", "78"}, {"X", "50", "10", "30"}, {"Y", "40", "8", "39"}};
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 4; ++c) Set(variables, r, c, QString::fromLatin1(rows[r][c]));
    Set(correlations, 1, 0, QStringLiteral("0.9"));
    Set(correlations, 2, 0, QStringLiteral("0.9"));
    Set(correlations, 2, 1, QStringLiteral("-0.9"));
    window->findChild<QLineEdit*>(QStringLiteral("txtN"))->setText(QStringLiteral("30"));
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("cmdCompute")), Qt::LeftButton);
    QCOMPARE(Count_shown(tDialogs::tKind::Warning), 1);
    QVERIFY(Last_shown_text(tDialogs::tKind::Warning).contains(QStringLiteral("not positive definite")));
    QVERIFY(!viewer_->Has_text());
  }

  // A long run on the windows' one runner: its progress box stands over the toolkit's
  // window after half a second, closing the window waits for the run, and Cancel stops it
  // with no report and no message.
  void Cancel_adds_no_report() {
    Add_toolkit_buttons(worksheet_.get(), viewer_.get());
    worksheet_->show();
    TfrmToolkit* window = Open("cmdDissociationWindow", "frmDissociation");
    QVERIFY(window != nullptr);
    auto* variables = window->findChild<QTableWidget*>(QStringLiteral("grdVariables"));
    const char* rows[2][4] = {{"X", "100", "15", "80"}, {"Y", "50", "10", "40"}};
    for (int r = 0; r < 2; ++r)
      for (int c = 0; c < 4; ++c) Set(variables, r, c, QString::fromLatin1(rows[r][c]));
    // Controls correlated at 0.999: the calibrated prior rejects most draws, and the run
    // takes several seconds.
    Set(window->findChild<QTableWidget*>(QStringLiteral("grdCorrelations")), 1, 0,
        QStringLiteral("0.999"));
    window->findChild<QLineEdit*>(QStringLiteral("txtN"))->setText(QStringLiteral("20"));
    viewer_->Append_lines({QStringLiteral("an earlier report")});
    bool cancelled = false, stayed = false;
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&] {
      auto* box = window->findChild<QDialog*>(QStringLiteral("frmProgress"));
      if (box == nullptr || !box->isVisible()) return;
      watch.stop();
      window->close();  // by the title bar: the window stays during the run
      stayed = window->isVisible() && box->isVisible();
      QTest::mouseClick(box->findChild<QPushButton*>(QStringLiteral("cmdCancel")), Qt::LeftButton);
      cancelled = true;
    });
    watch.start(20);
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("cmdCompute")), Qt::LeftButton);
    QVERIFY2(cancelled, "no progress box over the window");
    QVERIFY(stayed);
    QCOMPARE(viewer_->Text(), QStringLiteral("an earlier report"));
    QVERIFY(tDialogs::Shown().empty());
    QVERIFY(!window->findChild<QPushButton*>(QStringLiteral("cmdPlots"))->isEnabled());
  }

  // Tab moves through a table's editable cells and leaves it after the last one (Shift+Tab
  // before the first), from a cell or from its open editor, instead of wrapping round.
  void Tab_leaves_a_table_at_its_ends_data() {
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("editing");
    QTest::addColumn<bool>("forward");
    QTest::addColumn<bool>("leaves");
    // A deficit with one covariate: variables 2 x 4, correlations 2 x 2 with one entry.
    QTest::newRow("variables, last cell") << "grdVariables" << 1 << 3 << false << true << true;
    QTest::newRow("variables, last cell edited") << "grdVariables" << 1 << 3 << true << true << true;
    QTest::newRow("variables, first cell, back") << "grdVariables" << 0 << 0 << false << false << true;
    QTest::newRow("variables, first cell edited, back") << "grdVariables" << 0 << 0 << true << false << true;
    QTest::newRow("variables, inner cell") << "grdVariables" << 0 << 3 << true << true << false;
    QTest::newRow("correlations, only cell") << "grdCorrelations" << 1 << 0 << true << true << true;
    QTest::newRow("correlations, only cell, back") << "grdCorrelations" << 1 << 0 << false << false << true;
  }
  void Tab_leaves_a_table_at_its_ends() {
    QFETCH(QString, table);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(bool, editing);
    QFETCH(bool, forward);
    QFETCH(bool, leaves);
    TfrmToolkit* window = Shown("cmdDeficitWindow", "frmDeficit");
    QVERIFY(window != nullptr);
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("cmdAddCovariate")), Qt::LeftButton);
    auto* grid = window->findChild<QTableWidget*>(table);
    grid->setFocus();
    grid->setCurrentCell(row, column);
    if (editing) grid->editItem(grid->item(row, column));
    QTest::keyClick(QApplication::focusWidget(), forward ? Qt::Key_Tab : Qt::Key_Backtab,
                    forward ? Qt::NoModifier : Qt::ShiftModifier);
    QWidget* focus = QApplication::focusWidget();
    QVERIFY(focus != nullptr);
    QCOMPARE(focus != grid && !grid->isAncestorOf(focus), leaves);
  }

  // A figure's cell types by the worksheet's rules (key filter, beep and message, the
  // length limit); a paste on a selected cell is taken whole or refused whole, never cut.
  void Cells_type_by_the_field_rules_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("refused");
    QTest::addColumn<QString>("message");
    const QString numeric = QString::fromLatin1(kNumeric_only_message);
    const QString length = QString::fromLatin1(kMax_length_message);
    QTest::newRow("letters typed") << "type" << "1a0b" << "10" << 2 << numeric;
    QTest::newRow("seventh character typed") << "type" << "0.12345" << "0.1234" << 1 << length;
    QTest::newRow("comma typed") << "type" << "2,5" << "2.5" << 0 << QString();
    QTest::newRow("paste too long") << "paste" << "1234567890" << "50" << 1 << length;
    QTest::newRow("paste of two cells") << "paste" << "0.6\t1" << "50" << 1 << numeric;
    QTest::newRow("paste of a letter") << "paste" << "12a4" << "50" << 1 << numeric;
    QTest::newRow("paste of a spreadsheet cell") << "paste" << "15\n" << "15" << 0 << QString();
    QTest::newRow("paste of a minus sign") << "paste" << QStringLiteral("\u22120.5") << "-0.5" << 0 << QString();
  }
  void Cells_type_by_the_field_rules() {
    QFETCH(QString, path);
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QFETCH(int, refused);
    QFETCH(QString, message);
    TfrmToolkit* window = Shown("cmdDeficitWindow", "frmDeficit");
    QVERIFY(window != nullptr);
    auto* variables = Table(window, "grdVariables");
    Set(variables, 0, 1, QStringLiteral("50"));
    variables->setFocus();
    variables->setCurrentCell(0, 1);
    tDialogs::Clear_shown();
    if (path == QLatin1String("type")) {
      Type(text);
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    } else {
      QGuiApplication::clipboard()->setText(text);
      QTest::keyClick(variables, Qt::Key_V, Qt::ControlModifier);
    }
    QTRY_COMPARE(Cell(variables, 0, 1), shown);  // an editor commits after its Return
    QCOMPARE(Count_shown(tDialogs::tKind::Beep), refused);
    QCOMPARE(Count_shown(tDialogs::tKind::Warning), refused);
    if (refused > 0) QCOMPARE(Last_shown_text(tDialogs::tKind::Warning), message);
  }

  // Remove takes the selected covariate's row with its correlations, after a question
  // when it holds figures; the current row follows; a task's row is never removed.
  void Remove_takes_the_selected_row_only() {
    TfrmToolkit* window = Shown("cmdDeficitWindow", "frmDeficit");
    QVERIFY(window != nullptr);
    auto* add = window->findChild<QPushButton*>(QStringLiteral("cmdAddCovariate"));
    auto* remove = window->findChild<QPushButton*>(QStringLiteral("cmdRemoveCovariate"));
    add->click();
    add->click();
    auto* variables = Table(window, "grdVariables");
    auto* correlations = Table(window, "grdCorrelations");
    const char* rows[3][4] = {{"age", "65", "8", "78"}, {"education", "12", "3", "10"},
                              {"Naming", "100", "15", "70"}};
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 4; ++c) Set(variables, r, c, QString::fromLatin1(rows[r][c]));
    Set(correlations, 1, 0, QStringLiteral("0.3"));  // age, education
    Set(correlations, 2, 0, QStringLiteral("0.5"));  // age, Naming
    Set(correlations, 2, 1, QStringLiteral("0.4"));  // education, Naming
    // No keeps the row.
    variables->setCurrentCell(0, 2);
    tDialogs::Set_next_confirmation(false);
    remove->click();
    QCOMPARE(Count_shown(tDialogs::tKind::Confirmation), 1);
    QVERIFY(Last_shown_text(tDialogs::tKind::Confirmation).contains(QStringLiteral("\"age\"")));
    QCOMPARE(variables->rowCount(), 3);
    tDialogs::Set_next_confirmation(true);
    remove->click();
    QCOMPARE(variables->rowCount(), 2);
    QCOMPARE(Cell(variables, 0, 0), QStringLiteral("education"));
    QCOMPARE(Cell(variables, 0, 3), QStringLiteral("10"));
    QCOMPARE(correlations->rowCount(), 2);
    QCOMPARE(Cell(correlations, 1, 0), QStringLiteral("0.4"));
    QCOMPARE(correlations->verticalHeaderItem(1)->text(), QStringLiteral("Naming"));
    QCOMPARE(variables->currentRow(), 0);
    // The task's row is not removed.
    variables->setCurrentCell(1, 1);
    tDialogs::Clear_shown();
    remove->click();
    QCOMPARE(variables->rowCount(), 2);
    QCOMPARE(Count_shown(tDialogs::tKind::Warning), 1);
    // Alt+A five times and Alt+R four times: one empty covariate left, the first, and no
    // question for empty rows.
    TfrmToolkit* other = Shown("cmdDissociationWindow", "frmDissociation");
    QVERIFY(other != nullptr);
    tDialogs::Clear_shown();
    // (A mnemonic clicks the button after its pressed look has shown for a moment.)
    for (int k = 0; k < 5; ++k) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::AltModifier);
      QTRY_COMPARE(Table(other, "grdVariables")->rowCount(), 3 + k);
    }
    for (int k = 0; k < 4; ++k) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_R, Qt::AltModifier);
      QTRY_COMPARE(Table(other, "grdVariables")->rowCount(), 6 - k);
    }
    QCOMPARE(Cell(Table(other, "grdVariables"), 0, 0), QStringLiteral("Covariate 1"));
    QCOMPARE(Table(other, "grdCorrelations")->rowCount(), 3);
    QVERIFY(tDialogs::Shown().empty());
  }

  // On a selected cell, as in a spreadsheet: Delete clears, typing replaces the figure,
  // Ctrl+V replaces it.
  void Delete_typing_and_paste_on_a_selected_cell_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("shown");
    QTest::newRow("Delete clears") << "delete" << "";
    QTest::newRow("typing replaces") << "type" << "7";
    QTest::newRow("Ctrl+V replaces") << "paste" << "60";
  }
  void Delete_typing_and_paste_on_a_selected_cell() {
    QFETCH(QString, action);
    QFETCH(QString, shown);
    TfrmToolkit* window = Shown("cmdDeficitWindow", "frmDeficit");
    QVERIFY(window != nullptr);
    auto* variables = Table(window, "grdVariables");
    Set(variables, 0, 2, QStringLiteral("15"));
    variables->setFocus();
    variables->setCurrentCell(0, 2);
    if (action == QLatin1String("delete")) {
      QTest::keyClick(variables, Qt::Key_Delete);
    } else if (action == QLatin1String("type")) {
      Type(QStringLiteral("7"));
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    } else {
      QGuiApplication::clipboard()->setText(QStringLiteral("60"));
      QTest::keyClick(variables, Qt::Key_V, Qt::ControlModifier);
    }
    QTRY_COMPARE(Cell(variables, 0, 2), shown);
    QVERIFY(tDialogs::Shown().empty());
  }

  // A deficit without covariates: the report's header names only what ran, there is no
  // empty heading of correlations, the notes are in it; the plots show one task, and
  // their window (the worksheet's, with Export and Close) closes on Escape.
  void Deficit_report_names_what_ran() {
    TfrmToolkit* window = Shown("cmdDeficitWindow", "frmDeficit");
    QVERIFY(window != nullptr);
    Fill_deficit(window);
    window->findChild<QPlainTextEdit*>(QStringLiteral("memoComments"))
        ->setPlainText(QStringLiteral("Seen on 3 May"));
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("cmdCompute")), Qt::LeftButton);
    QCOMPARE(Count_shown(tDialogs::tKind::Warning) + Count_shown(tDialogs::tKind::Error), 0);
    const QString text = viewer_->Text();
    const QString header = text.section(QStringLiteral(" INPUTS:"), 0, 0);
    QVERIFY2(!header.contains(QStringLiteral("BSDT")), qPrintable(header));
    QVERIFY2(!header.contains(QStringLiteral("Z-DCC")), qPrintable(header));
    QVERIFY2(!header.contains(QStringLiteral("unstandardized")), qPrintable(header));
    QVERIFY(header.contains(QStringLiteral("Seen on 3 May")));
    QVERIFY(!text.contains(QStringLiteral("Correlations in the normative sample:")));
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("cmdPlots")), Qt::LeftButton);
    auto* plots = window->findChild<TfrmPlots*>(QStringLiteral("frmToolkitPlots"));
    QVERIFY(plots != nullptr && plots->isVisible());
    QVERIFY(plots->Plots().One_task);
    QCOMPARE(plots->Plots().Posterior.Title, std::string("Posterior of Z-CC"));
    QCOMPARE(plots->windowTitle(), QStringLiteral("Kestrum: Deficit on one task: plots"));
    QVERIFY(plots->findChild<QPushButton*>(QStringLiteral("cmdExport")) != nullptr);
    QVERIFY(plots->findChild<QPushButton*>(QStringLiteral("cmdClose")) != nullptr);
    QTest::keyClick(plots, Qt::Key_Escape);
    QVERIFY(!plots->isVisible());
  }

  // Each window opens inside the screen's available area, with its buttons in view,
  // centred on the worksheet where the area leaves room; a screenshot of each is kept.
  void Windows_open_inside_the_screen_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("name");
    QTest::newRow("deficit") << "cmdDeficitWindow" << "frmDeficit";
    QTest::newRow("dissociation") << "cmdDissociationWindow" << "frmDissociation";
  }
  void Windows_open_inside_the_screen() {
    QFETCH(QString, button);
    QFETCH(QString, name);
    TfrmToolkit* window = Shown(qPrintable(button), qPrintable(name));
    QVERIFY(window != nullptr);
    if (name == QLatin1String("frmDissociation"))
      window->findChild<QPushButton*>(QStringLiteral("cmdAddCovariate"))->click();
    const QRect area = window->screen()->availableGeometry();
    QVERIFY2(area.contains(window->frameGeometry()),
             qPrintable(QStringLiteral("%1 in %2").arg(window->frameGeometry().width()).arg(area.width())));
    for (const char* control : {"cmdCompute", "cmdClose", "cmdPlots"}) {
      auto* b = window->findChild<QPushButton*>(QString::fromLatin1(control));
      QVERIFY2(window->rect().contains(QRect(b->mapTo(window, QPoint(0, 0)), b->size())), control);
    }
    QRect centred(QPoint(0, 0), window->frameGeometry().size());
    centred.moveCenter(worksheet_->frameGeometry().center());
    if (area.contains(centred))
      QVERIFY((window->frameGeometry().center() - worksheet_->frameGeometry().center()).manhattanLength() <= 2);
    const QString scale = qEnvironmentVariableIsSet("QT_SCALE_FACTOR")
                              ? qEnvironmentVariable("QT_SCALE_FACTOR")
                              : QStringLiteral("1");
    const QSize pixels = window->screen()->geometry().size() * window->screen()->devicePixelRatio();
    QVERIFY(window->grab().save(QStringLiteral(KESTRUM_SCREENSHOT_DIR "/toolkit_%1_scale%2_%3x%4.png")
                                    .arg(name, scale)
                                    .arg(pixels.width())
                                    .arg(pixels.height())));
  }

  // The worksheet's look: its font and bold figures and buttons, an introduction, the
  // User's Notes, a "Kestrum: ..." title, message boxes wrapped at the worksheet's width.
  void Windows_look_like_the_worksheet() {
    TfrmToolkit* window = Shown("cmdDeficitWindow", "frmDeficit");
    QVERIFY(window != nullptr);
    QVERIFY(window->windowTitle().startsWith(QStringLiteral("Kestrum: ")));
    QVERIFY(window->findChild<QLabel*>(QStringLiteral("lblIntroduction"))->text().size() > 200);
    QVERIFY(window->findChild<QPlainTextEdit*>(QStringLiteral("memoComments")) != nullptr);
    QCOMPARE(window->font().pixelSize(), worksheet_->font().pixelSize());
    QVERIFY(window->findChild<QLabel*>(QStringLiteral("lblComments"))->font().bold());
    QVERIFY(window->findChild<QPushButton*>(QStringLiteral("cmdCompute"))->font().bold());
    QVERIFY(Table(window, "grdVariables")->font().bold());
    QVERIFY(window->findChild<QLineEdit*>(QStringLiteral("txtN"))->font().bold());
    const QString long_line = QStringLiteral("word ").repeated(60);
    const auto box = tDialogs::Message_box(tDialogs::tKind::Warning, window, long_line);
    box->show();
    QVERIFY(box->width() <= 792 + 40);
    box->hide();
  }

  // The exit question names the toolkit windows whose entries would be lost; closing the
  // worksheet asks too while they hold entries.
  void Exit_question_covers_toolkit_entries() {
    TfrmToolkit* window = Shown("cmdDeficitWindow", "frmDeficit");
    QVERIFY(window != nullptr);
    tDialogs::Clear_shown();
    QTest::mouseClick(worksheet_->findChild<QPushButton*>(QStringLiteral("ExitBtn")), Qt::LeftButton);
    QCOMPARE(Last_shown_text(tDialogs::tKind::Confirmation), QStringLiteral("Exit from program?"));
    window->findChild<QLineEdit*>(QStringLiteral("txtN"))->setText(QStringLiteral("30"));
    tDialogs::Clear_shown();
    QTest::mouseClick(worksheet_->findChild<QPushButton*>(QStringLiteral("ExitBtn")), Qt::LeftButton);
    QCOMPARE(Last_shown_text(tDialogs::tKind::Confirmation),
             QStringLiteral("Exit from program?\r\rThe figures typed in \"Deficit on one task\" are not kept."));
    QCOMPARE(Count_shown(tDialogs::tKind::Quit), 0);
    tDialogs::Clear_shown();
    QTest::mouseClick(viewer_->findChild<QPushButton*>(QStringLiteral("cmdExit")), Qt::LeftButton);
    QVERIFY(Last_shown_text(tDialogs::tKind::Confirmation).contains(QStringLiteral("Deficit on one task")));
    tDialogs::Clear_shown();
    QVERIFY(!worksheet_->close());  // answered No
    QCOMPARE(Count_shown(tDialogs::tKind::Confirmation), 1);
    QVERIFY(worksheet_->isVisible());
  }

  // Every button, radio button, check box and labelled control has its own mnemonic, in
  // each window and on the worksheet with its two new buttons.
  void Every_control_has_a_mnemonic() {
    Add_toolkit_buttons(worksheet_.get(), viewer_.get());
    const auto captions = [](QWidget* window) {
      QStringList list;
      // (A table's corner button has no caption.)
      for (QAbstractButton* b : window->findChildren<QAbstractButton*>())
        if (b->window() == window && !b->text().isEmpty()) list << b->text();
      for (QLabel* l : window->findChildren<QLabel*>())
        if (l->buddy() != nullptr && l->window() == window) list << l->text();
      return list;
    };
    const QStringList sheet = captions(worksheet_.get());
    QVERIFY2(Mnemonics_unique(sheet), qPrintable(sheet.join(QLatin1Char('|'))));
    const std::pair<const char*, const char*> windows[] = {
        {"cmdDeficitWindow", "frmDeficit"}, {"cmdDissociationWindow", "frmDissociation"}};
    for (const auto& [button, name] : windows) {
      TfrmToolkit* window = Open(button, name);
      QVERIFY(window != nullptr);
      const QStringList list = captions(window);
      QVERIFY(list.size() >= 8);
      QVERIFY2(Mnemonics_unique(list), qPrintable(list.join(QLatin1Char('|'))));
    }
  }

  // Editing both tables, by keys and by Tab from cell to cell, writes nothing to standard
  // error (a delegate shared between the tables once sent each editor's commit to both).
  void Editing_writes_no_warnings() {
    TfrmToolkit* window = Shown("cmdDissociationWindow", "frmDissociation");
    QVERIFY(window != nullptr);
    static QStringList messages;
    messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& message) { messages << message; });
    for (const char* name : {"grdVariables", "grdCorrelations"}) {
      auto* grid = Table(window, name);
      grid->setFocus();
      grid->setCurrentCell(1, name[3] == 'V' ? 1 : 0);
      for (int k = 0; k < 4; ++k) {
        Type(QStringLiteral("5"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      }
    }
    qInstallMessageHandler(previous);
    QVERIFY2(messages.isEmpty(), qPrintable(messages.join(QLatin1Char('\n'))));
    QCOMPARE(Cell(Table(window, "grdCorrelations"), 1, 0), QStringLiteral("5"));
  }
};

QTEST_MAIN(TestToolkitWindows)
#include "test_gui_toolkit.moc"
