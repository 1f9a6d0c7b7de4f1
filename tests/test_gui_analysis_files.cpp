// SPDX-License-Identifier: GPL-3.0-or-later
// "Save Analysis..." and "Open Analysis..." of the toolkit's windows and the worksheet,
// driven through their buttons (offscreen, the file dialogs answered by the wrapper): a
// file written by hand opens to the report that kestrum-cli gives for it, the window's
// saved file opens in a fresh window to the same report and gives kestrum-cli that report
// too; a file that cannot be opened leaves the window as it was; a failed save says so,
// and the exit question leaves out a window that holds just what it saved.
#include <QApplication>
#include <QButtonGroup>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "gui/results_viewer.h"
#include "gui/toolkit_windows.h"
#include "gui/worksheet_window.h"
#include "gui_test_support.h"

namespace {

// Files as docs/toolkit_input.md describes them, with few iterations for short runs.
const char kDeficit_covariates[] = R"({"analysis": "deficit", "n": 30,
  "covariates": [{"name": "Age", "mean": 65, "sd": 8, "case": 78},
                 {"name": "Education", "mean": "12", "sd": "3", "case": "9"}],
  "tasks": [{"name": "Naming", "mean": 50, "sd": 10, "case": "28"}],
  "correlations": [[1], [0.3, 1], [0.5, 0.4, 1]],
  "options": {"tail": "one", "iterations": 2000}, "notes": "Case AB\nseen twice"})";
const char kDissociation_udt[] = R"({"analysis": "dissociation", "n": 25,
  "covariates": [{"name": "Age", "mean": 65, "sd": 8, "case": 78}],
  "tasks": [{"name": "Naming", "mean": 50, "sd": 10, "case": 28},
            {"name": "Reading", "mean": 48, "sd": 9, "case": 47}],
  "correlations": [[1, 0.3, 0.5], [0.3, 1, 0.6], [0.5, 0.6, 1]],
  "options": {"prior": "jeffreys", "iterations": 3000, "udt": true}})";
// The worksheet's analysis: no covariates, no UDT, combined criteria.
const char kWorksheet_dissociation[] = R"({"n": 20,
  "tasks": [{"mean": 100, "sd": 15, "case": 70}, {"mean": 50, "sd": 10, "case": "48,5"}],
  "correlations": [[1], [0.6, 1]],
  "options": {"criteria": "combined", "tail": "two", "iterations": 2500}, "notes": "Worksheet"})";

}  // namespace

class TestAnalysisFiles : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  std::unique_ptr<TfrmTemplate> worksheet_;
  std::unique_ptr<TfrmTemplateResults> viewer_;

  // A new worksheet and viewer, with the toolkit's buttons.
  void Fresh() {
    viewer_.reset();
    worksheet_.reset();
    worksheet_ = std::make_unique<TfrmTemplate>();
    viewer_ = std::make_unique<TfrmTemplateResults>();
    worksheet_->Set_viewer(viewer_.get());
    viewer_->Set_worksheet(worksheet_.get());
    Add_toolkit_buttons(worksheet_.get(), viewer_.get());
    worksheet_->show();
  }
  // The window named ("worksheet", "frmDeficit" or "frmDissociation"), opened from the
  // worksheet.
  QWidget* Window(const QString& name) {
    if (name == QStringLiteral("worksheet")) return worksheet_.get();
    const char* button = name == QStringLiteral("frmDeficit") ? "cmdDeficitWindow" : "cmdDissociationWindow";
    worksheet_->findChild<QPushButton*>(QString::fromLatin1(button))->click();
    return worksheet_->findChild<TfrmToolkit*>(name);
  }
  QString Write(const QString& name, const QByteArray& text) {
    const QString path = dir_.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) return {};
    return path;
  }
  static void Click(QWidget* window, const char* button) {
    window->findChild<QPushButton*>(QString::fromLatin1(button))->click();
  }
  static void Open_file(QWidget* window, const QString& path) {
    tDialogs::Set_next_open_file(path);
    Click(window, "cmdOpenAnalysis");
  }
  // The report of a run of what the window holds, alone in the viewer.
  QString Report(QWidget* window) {
    viewer_->findChild<QPlainTextEdit*>()->clear();
    Click(window, "cmdCompute");
    return viewer_->Text() + QLatin1Char('\n');
  }
  // What kestrum-cli writes to standard output (its exit status must be 0).
  static QString Cli(const QStringList& args) {
    QProcess cli;
    cli.start(QStringLiteral(KESTRUM_CLI), args);
    if (!cli.waitForFinished(120000) || cli.exitCode() != 0)
      return QStringLiteral("<failed> ") + QString::fromUtf8(cli.readAllStandardError());
    return QString::fromUtf8(cli.readAllStandardOutput());
  }
  // What a window holds, for checking that a refused file changed nothing.
  static QString State(QWidget* window) {
    QStringList state;
    for (const auto* field : window->findChildren<QLineEdit*>()) state << field->text();
    for (const auto* table : window->findChildren<QTableWidget*>())
      for (int r = 0; r < table->rowCount(); ++r)
        for (int c = 0; c < table->columnCount(); ++c)
          state << (table->item(r, c) != nullptr ? table->item(r, c)->text() : QString());
    for (const auto* memo : window->findChildren<QPlainTextEdit*>()) state << memo->toPlainText();
    for (const auto* button : window->findChildren<QAbstractButton*>())
      if (button->isCheckable()) state << (button->isChecked() ? QStringLiteral("on") : QStringLiteral("off"));
    return state.join(QLatin1Char('|'));
  }

 private slots:
  void initTestCase() { QVERIFY(Start_scripted_in(dir_)); }
  void init() {
    tDialogs::Clear_shown();
    Fresh();
  }
  void cleanup() {
    viewer_.reset();
    worksheet_.reset();
  }

  // window: where the file opens; cli: kestrum-cli's arguments before --input for the same
  // analysis (empty: the worksheet's own arguments, given after the file's figures).
  void Opened_file_reports_as_the_command_line_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("cli");
    QTest::addColumn<QString>("notes");
    QTest::newRow("deficit with two covariates") << "frmDeficit" << QByteArray(kDeficit_covariates)
                                                  << QStringList{"deficit"} << "Case AB\nseen twice";
    QTest::newRow("dissociation with the UDT") << "frmDissociation" << QByteArray(kDissociation_udt)
                                               << QStringList{"dissociation"} << "";
    QTest::newRow("worksheet's dissociation in its window")
        << "frmDissociation" << QByteArray(kWorksheet_dissociation) << QStringList{"dissociation"}
        << "Worksheet";
    // The worksheet's figures in its field order; "48,5" typed as "48.5".
    QTest::newRow("worksheet's dissociation on the worksheet")
        << "worksheet" << QByteArray(kWorksheet_dissociation)
        << QStringList{"--mean-x", "100", "--sd-x", "15", "--mean-y", "50", "--sd-y", "10", "--r",
                       "0.6", "--n", "20", "--case-x", "70", "--case-y", "48.5", "--criteria",
                       "combined", "--iterations", "2500"}
        << "Worksheet";
  }
  void Opened_file_reports_as_the_command_line() {
    QFETCH(QString, window);
    QFETCH(QByteArray, file);
    QFETCH(QStringList, cli);
    QFETCH(QString, notes);
    const QString hand = Write(QStringLiteral("hand.json"), file);
    QWidget* shown = Window(window);
    QVERIFY(shown != nullptr);
    Open_file(shown, hand);
    QCOMPARE(Count_shown(tDialogs::tKind::Warning), 0);
    const QString report = Report(shown);
    QCOMPARE(Count_shown(tDialogs::tKind::Warning) + Count_shown(tDialogs::tKind::Error), 0);
    QStringList args = cli;
    if (window != QStringLiteral("worksheet")) args << QStringLiteral("--input") << hand;
    if (!notes.isEmpty()) args << QStringLiteral("--notes") << notes;
    QCOMPARE(report, Cli(args));

    // Saved, then opened in a fresh window: the same report; and from the command line.
    const QString saved = dir_.filePath(QStringLiteral("saved.json"));
    QFile::remove(saved);
    tDialogs::Set_next_save_file(saved);
    Click(window == QStringLiteral("worksheet") ? worksheet_.get() : shown, "cmdSaveAnalysis");
    QCOMPARE(Count_shown(tDialogs::tKind::Error), 0);
    QCOMPARE(Last_shown_text(tDialogs::tKind::Save_dialog),
             QStringLiteral("analysis.json|Analysis files (*.json)|Save Analysis"));
    if (window != QStringLiteral("worksheet")) {
      QStringList again = cli;
      again << QStringLiteral("--input") << saved;
      if (!notes.isEmpty()) again << QStringLiteral("--notes") << notes;
      QCOMPARE(Cli(again), report);
    }
    Fresh();
    QWidget* fresh = Window(window);
    Open_file(fresh, saved);
    QCOMPARE(Count_shown(tDialogs::tKind::Warning), 0);
    QCOMPARE(Report(fresh), report);
  }

  // A file that cannot be opened in that window: the box says why, and the window (filled
  // from a file it takes) is as it was.
  void Refused_file_changes_nothing_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("file");  // empty: no such file
    QTest::addColumn<QString>("message");
    QTest::newRow("not JSON") << "frmDeficit" << QByteArray(kDeficit_covariates)
                              << QByteArray("{\"n\": 30, \"tasks\": [") << "it is not valid JSON";
    QTest::newRow("no such file") << "frmDissociation" << QByteArray(kDissociation_udt) << QByteArray()
                                  << "it is not a file.";
    QTest::newRow("another analysis") << "frmDeficit" << QByteArray(kDeficit_covariates)
                                      << QByteArray(kDissociation_udt)
                                      << "\"analysis\" is \"dissociation\", not \"deficit\"";
    QByteArray six = R"({"n": 30, "covariates": [C, C, C, C, C, C], "tasks": [C, C],
      "correlations": [[1], [0, 1], [0, 0, 1], [0, 0, 0, 1], [0, 0, 0, 0, 1],
      [0, 0, 0, 0, 0, 1], [0, 0, 0, 0, 0, 0, 1], [0, 0, 0, 0, 0, 0, 0, 1]]})";
    six.replace("C", R"({"mean": 1, "sd": 1, "case": 1})");
    QTest::newRow("too many covariates") << "frmDissociation" << QByteArray(kDissociation_udt) << six
                                         << "it holds 6 covariates; at most 5 are allowed.";
    QTest::newRow("a figure typing refuses")
        << "frmDissociation" << QByteArray(kDissociation_udt)
        << QByteArray(kWorksheet_dissociation).replace("\"48,5\"", "\"4e5\"") << "INPUT ERROR";
    QTest::newRow("covariates on the worksheet")
        << "worksheet" << QByteArray(kWorksheet_dissociation) << QByteArray(kDissociation_udt)
        << "The file cannot be opened in the worksheet: it holds a dissociation allowing for 1 covariate";
  }
  void Refused_file_changes_nothing() {
    QFETCH(QString, window);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, file);
    QFETCH(QString, message);
    QWidget* shown = Window(window);
    Open_file(shown, Write(QStringLiteral("before.json"), before));
    QCOMPARE(Count_shown(tDialogs::tKind::Warning), 0);
    const QString state = State(shown);
    const QString path = file.isEmpty() ? dir_.filePath(QStringLiteral("none.json"))
                                        : Write(QStringLiteral("refused.json"), file);
    Open_file(shown, path);
    QCOMPARE(Count_shown(tDialogs::tKind::Warning), 1);
    const QString shown_text = Last_shown_text(tDialogs::tKind::Warning);
    QVERIFY2(shown_text.contains(message), qPrintable(shown_text));
    QCOMPARE(State(shown), state);
  }

  // A save that fails says so and leaves the entries unsaved; a saved window is left out
  // of the exit question until its entries change.
  void Exit_question_knows_what_was_saved() {
    auto* window = qobject_cast<TfrmToolkit*>(Window(QStringLiteral("frmDeficit")));
    window->findChild<QLineEdit*>(QStringLiteral("txtN"))->setText(QStringLiteral("30"));
    tDialogs::Set_next_save_file(dir_.filePath(QStringLiteral("no folder/analysis.json")));
    Click(window, "cmdSaveAnalysis");
    QVERIFY2(Last_shown_text(tDialogs::tKind::Error).startsWith(QStringLiteral("The analysis could not be saved to")),
             qPrintable(Last_shown_text(tDialogs::tKind::Error)));
    QVERIFY(window->Has_entries());
    tDialogs::Set_next_save_file(dir_.filePath(QStringLiteral("kept.json")));
    Click(window, "cmdSaveAnalysis");
    QVERIFY(!window->Has_entries());
    QCOMPARE(Exit_question(worksheet_.get()), QStringLiteral("Exit from program?"));
    window->findChild<QTableWidget*>(QStringLiteral("grdVariables"))->setItem(0, 1, new QTableWidgetItem(QStringLiteral("5")));
    QVERIFY(window->Has_entries());
    // The file holds what was saved: the text typed, kept as a text.
    QVERIFY(Read_file(dir_.filePath(QStringLiteral("kept.json"))).contains(QStringLiteral("\"n\": \"30\"")));
  }
};

QTEST_MAIN(TestAnalysisFiles)
#include "test_gui_analysis_files.moc"
