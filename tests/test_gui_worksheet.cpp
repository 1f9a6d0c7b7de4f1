// The worksheet and its runs, driven as a user would: text typed into the fields found by
// objectName, buttons clicked, message boxes answered through the wrapper's script. The
// control-data file lives in a temporary folder (KESTRUM_DATA_FILE).
//
// Expected messages and captions are written out here as the program's documents give
// them, not taken from the core, so that a changed text in either place shows up.
#include <QButtonGroup>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <array>
#include <memory>

#include "gui/dialogs.h"
#include "gui_test_support.h"
#include "gui/difflims_form.h"
#include "stats/metrics_papers.h"
#include "gui/template_results.h"

namespace {

const QString kTitle =
    QStringLiteral("Kestrum.EXE: Bayesian criteria for dissociations in single-case studies");

const char* const kField_names[8] = {"txtInput1", "txtInput2", "txtInput3", "txtInput4",
                                     "txtInput5", "txtInput6", "txtInput7", "txtinput8"};

const char* const kCaptions[8] = {"Mean of the control or normative sample on Task X:",
                                  "Standard deviation for the normative sample on Task X:",
                                  "Mean of the control or normative sample on Task Y:",
                                  "Standard deviation for the normative sample on Task Y:",
                                  "Correlation between Tasks X and Y in normative sample:",
                                  "Sample size of the normative sample:",
                                  "Case's test score on Task X:",
                                  "Case's test score on Task Y:"};

// The worked example of the control-data file: controls 100, 15, 50, 10, r = 0.6, N = 20;
// case 80 and 40.
const QStringList kExample = {"100", "15", "50", "10", "0.6", "20", "80", "40"};

}  // namespace

class TestWorksheet : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  QString data_file_;
  std::unique_ptr<TfrmTemplate> worksheet_;
  std::unique_ptr<TfrmTemplateResults> viewer_;

  // Start-up as the program does it: the worksheet (which loads the control data), the
  // viewer, then the worksheet shown.
  void Start() {
    worksheet_ = std::make_unique<TfrmTemplate>();
    viewer_ = std::make_unique<TfrmTemplateResults>();
    worksheet_->Set_viewer(viewer_.get());
    viewer_->Set_worksheet(worksheet_.get());
    worksheet_->show();
    QVERIFY(QTest::qWaitForWindowActive(worksheet_.get()));
  }

  template <typename T>
  T* Find(const QString& name) {
    T* widget = worksheet_->findChild<T*>(name);
    if (widget == nullptr) qWarning("no control %s", qPrintable(name));
    return widget;
  }
  QLineEdit* Field(int k) { return Find<QLineEdit>(QString::fromLatin1(kField_names[k])); }
  QPlainTextEdit* Notes() { return Find<QPlainTextEdit>(QStringLiteral("memoComments")); }
  QPlainTextEdit* Results() {
    return viewer_->findChild<QPlainTextEdit*>(QStringLiteral("memoResults"));
  }
  void Click(QWidget* window, const char* name) {
    auto* button = window->findChild<QAbstractButton*>(QString::fromLatin1(name));
    QVERIFY2(button != nullptr, name);
    // A radio button reacts to clicks on its indicator and caption only.
    const QPoint where = qobject_cast<QRadioButton*>(button) != nullptr
                             ? QPoint(8, button->height() / 2)
                             : button->rect().center();
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, where);
  }
  void Type_fields(const QStringList& texts) {
    for (int k = 0; k < 8; ++k) {
      Field(k)->clear();
      QTest::keyClicks(Field(k), texts.value(k));
    }
  }
  void Compute() { Click(worksheet_.get(), "cmdCompute"); }

 private slots:
  void initTestCase() {
    tDialogs::Start_scripted();
    QVERIFY(dir_.isValid());
    data_file_ = dir_.filePath(QStringLiteral("kestrum.txt"));
    qputenv("KESTRUM_DATA_FILE", data_file_.toLocal8Bit());
  }

  void init() {
    tDialogs::Clear_shown();
    QFile::remove(data_file_);
  }

  void cleanup() {
    viewer_.reset();
    worksheet_.reset();
  }

  void Window_matches_its_design() {
    Start();
    QCOMPARE(worksheet_->windowTitle(), kTitle);
    QCOMPARE(worksheet_->size(), QSize(792, 573));
    QCOMPARE(worksheet_->minimumSize(), worksheet_->maximumSize());
    QVERIFY(worksheet_->windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(worksheet_->windowFlags() & Qt::WindowMaximizeButtonHint));

    auto* description = Find<QPlainTextEdit>(QStringLiteral("DescripFld"));
    QVERIFY(description->isReadOnly());
    QCOMPARE(description->focusPolicy(), Qt::NoFocus);
    QCOMPARE(description->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    const QString text = description->toPlainText();
    QVERIFY2(text.size() > 4300 && text.size() < 5300, qPrintable(QString::number(text.size())));
    for (const char* point : {"Z-CC", "Z-DCC", "BSDT", "RSDT", "0.05", "STRONG", "CLASSICAL",
                              "calibrated prior is recommended", "Jeffreys", "two-tailed",
                              "one-tailed", "next time the program starts", "Clear Data",
                              "one million", "few seconds", "printed", "saved"}) {
      QVERIFY2(text.contains(QString::fromLatin1(point)), point);
    }
    QVERIFY(!text.contains(QStringLiteral("Quarrin"), Qt::CaseInsensitive));
    QVERIFY(!text.contains(QStringLiteral("Orlund"), Qt::CaseInsensitive));

    QCOMPARE(Find<QLabel>(QStringLiteral("lblComments"))->text(), QStringLiteral("User's Notes:"));
    QVERIFY(Find<QLabel>(QStringLiteral("lblComments"))->font().bold());
    QVERIFY(Notes()->toPlainText().isEmpty());
    QVERIFY(QFontInfo(Notes()->font()).fixedPitch());

    QCOMPARE(Find<QGroupBox>(QStringLiteral("GroupBox1"))->title(), QStringLiteral("Apply..."));
    QCOMPARE(Find<QGroupBox>(QStringLiteral("GroupBox2"))->title(),
             QStringLiteral("When testing for a difference between the case's standardized "
                            "scores on Tasks X and Y use a... "));
    QCOMPARE(Find<QGroupBox>(QStringLiteral("Prior_Radio"))->title(),
             QStringLiteral("Form of prior..."));
    struct tRadio {
      const char* name;
      const char* caption;
      bool checked;
    };
    const tRadio radios[] = {
        {"RadioButton1", "Bayesian criteria for dissociations", true},
        {"RadioButton2", "Combined Bayesian / frequentist criteria for dissociations", false},
        {"radio_two_tail", "Two-tailed test", true},
        {"radio_one_tail", "One-tailed test", false},
        {"Prior_Radio_item0", "Calibrated (Recommended)", true},
        {"Prior_Radio_item1", "Standard Theory (Jeffreys prior)", false}};
    for (const tRadio& radio : radios) {
      auto* button = Find<QRadioButton>(QString::fromLatin1(radio.name));
      QVERIFY2(button != nullptr, radio.name);
      QCOMPARE(button->text(), QString::fromLatin1(radio.caption));
      QCOMPARE(button->isChecked(), radio.checked);
    }

    for (int k = 0; k < 8; ++k) {
      auto* label = Find<QLabel>(QStringLiteral("Label%1").arg(k + 1));
      QCOMPARE(label->text(), QString::fromLatin1(kCaptions[k]));
      QVERIFY(Field(k)->text().isEmpty());
      QVERIFY(Field(k)->font().bold());
    }
    // Tab order: the eight fields in turn.
    Field(0)->setFocus();
    for (int k = 1; k < 8; ++k) {
      QTest::keyClick(worksheet_->focusWidget(), Qt::Key_Tab);
      QCOMPARE(worksheet_->focusWidget(), Field(k));
    }

    struct tCaption {
      const char* name;
      const char* caption;
    };
    for (const tCaption& button :
         {tCaption{"cmdCompute", "Compute"}, tCaption{"btnclearData", "Clear Data "},
          tCaption{"ExitBtn", "Exit"}}) {
      auto* control = Find<QPushButton>(QString::fromLatin1(button.name));
      QCOMPARE(control->text(), QString::fromLatin1(button.caption));
      QVERIFY(control->font().bold());
    }
  }

  // Positions in the window's client coordinates (left, top, width, height).
  void Controls_stand_where_designed_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("where");
    QTest::newRow("description") << "DescripFld" << QRect(12, 7, 768, 94);
    QTest::newRow("notes") << "memoComments" << QRect(112, 110, 666, 25);
    QTest::newRow("prior group") << "Prior_Radio" << QRect(20, 271, 249, 105);
    QTest::newRow("last caption") << "Label8" << QRect(292, 491, 441, 17);
    QTest::newRow("first field") << "txtInput1" << QRect(708, 263, 56, 24);
    QTest::newRow("last field") << "txtinput8" << QRect(708, 487, 56, 24);
    QTest::newRow("Clear Data") << "btnclearData" << QRect(212, 536, 161, 23);
  }
  void Controls_stand_where_designed() {
    QFETCH(QString, name);
    QFETCH(QRect, where);
    Start();
    auto* control = Find<QWidget>(name);
    QVERIFY(control != nullptr);
    const QPoint top_left = control->mapTo(worksheet_.get(), QPoint(0, 0));
    QCOMPARE(QRect(top_left, control->size()), where);
    QVERIFY(control->isVisible());
  }

  void Key_filter_while_typing_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("refused");  // keys beeped at and warned about
    QTest::newRow("comma becomes a point") << "1,5"
                                           << "1.5" << 0;
    QTest::newRow("letter is refused") << "a"
                                       << "" << 1;
    QTest::newRow("sign, digits and point pass") << "-12.5"
                                                 << "-12.5" << 0;
    QTest::newRow("space is refused") << "1 2"
                                      << "12" << 1;
    QTest::newRow("two letters, two warnings") << "x7y"
                                               << "7" << 2;
  }
  void Key_filter_while_typing() {
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(int, refused);
    Start();
    QTest::keyClicks(Field(2), typed);
    QCOMPARE(Field(2)->text(), shown);
    QCOMPARE(Count_shown(tDialogs::tKind::Beep), refused);
    QCOMPARE(Count_shown(tDialogs::tKind::Warning), refused);
    if (refused > 0) {
      QCOMPARE(Last_shown_text(tDialogs::tKind::Warning),
               QStringLiteral("INPUT ERROR\r\rEnter numeric data only."));
    }
  }

  void Editing_keys_still_work() {
    Start();
    QTest::keyClicks(Field(0), QStringLiteral("123"));
    QTest::keyClick(Field(0), Qt::Key_Left);
    QTest::keyClick(Field(0), Qt::Key_Backspace);
    QTest::keyClick(Field(0), Qt::Key_Delete);
    QCOMPARE(Field(0)->text(), QStringLiteral("1"));
    QVERIFY(tDialogs::Shown().empty());
  }

  void Seventh_character_is_removed_on_key_release_data() {
    QTest::addColumn<int>("field");
    QTest::newRow("first field") << 0;
    QTest::newRow("last field") << 7;
  }
  void Seventh_character_is_removed_on_key_release() {
    QFETCH(int, field);
    Start();
    QTest::keyClicks(Field(field), QStringLiteral("123456"));
    QVERIFY(tDialogs::Shown().empty());
    QTest::keyClicks(Field(field), QStringLiteral("7"));
    QCOMPARE(Field(field)->text(), QStringLiteral("123456"));
    QCOMPARE(Field(field)->selectedText(), QStringLiteral("123456"));
    QCOMPARE(Count_shown(tDialogs::tKind::Beep), 1);
    QCOMPARE(Count_shown(tDialogs::tKind::Warning), 1);
    QCOMPARE(Last_shown_text(tDialogs::tKind::Warning),
             QStringLiteral("Maximum length of input is 6 characters."));
    for (int k = 0; k < 8; ++k)
      if (k != field) QVERIFY(Field(k)->text().isEmpty());
  }

  void Compute_refuses_bad_input_data() {
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty first field")
        << QStringList{"", "15", "50", "10", "0.6", "20", "80", "40"} << 0
        << "INPUT ERROR\r\r(  Mean of the control or normative sample on Task X:  )\r\r"
           "Data have not been entered in this field.";
    QTest::newRow("invalid standard deviation")
        << QStringList{"100", "1-2", "50", "10", "0.6", "20", "80", "40"} << 1
        << "INPUT ERROR\r(  Standard deviation for the normative sample on Task X:  1-2  )\r\r"
           "Enter numeric data only.";
    QTest::newRow("correlation of 1")
        << QStringList{"100", "15", "50", "10", "1", "20", "80", "40"} << 4
        << "INPUT ERROR\r(  Correlation between Tasks X and Y in normative sample:  1.000  )\r"
           "The correlation must lie between  -1.0 and 1.0. ";
    QTest::newRow("fractional sample size")
        << QStringList{"100", "15", "50", "10", "0.6", "10.5", "80", "40"} << 5
        << "INPUT ERROR\r(  Sample size of the normative sample:  10.500  )\r"
           "The value for sample size must be an integer greater than 2.";
    QTest::newRow("empty case score on Y")
        << QStringList{"100", "15", "50", "10", "0.6", "20", "80", ""} << 7
        << "INPUT ERROR\r\r(  Case's test score on Task Y:  )\r\r"
           "Data have not been entered in this field.";
  }
  void Compute_refuses_bad_input() {
    QFETCH(QStringList, texts);
    QFETCH(int, field);
    QFETCH(QString, message);
    Start();
    Type_fields(texts);
    tDialogs::Clear_shown();
    Compute();
    QCOMPARE(Count_shown(tDialogs::tKind::Warning), 1);
    QCOMPARE(Last_shown_text(tDialogs::tKind::Warning), message);
    QCOMPARE(worksheet_->focusWidget(), Field(field));
    QCOMPARE(Field(field)->text(), texts[field]);  // the field keeps the user's text
    QVERIFY(!QFile::exists(data_file_));
    QVERIFY(worksheet_->isVisible());
    QVERIFY(!viewer_->isVisible());
    QVERIFY(Results()->toPlainText().isEmpty());
  }

  // One run and a second one: the switch of windows, the caption, the report appended, the
  // control data saved; a second run with the same inputs appends the very same report
  // below the separator, because the engine restarts its generator at every run.
  void Full_run_then_a_second_run() {
    Start();
    Type_fields(kExample);
    Notes()->setFocus();
    QTest::keyClicks(Notes(), QStringLiteral("first note"));
    QTest::keyClick(Notes(), Qt::Key_Return);
    QTest::keyClicks(Notes(), QStringLiteral("second note"));
    Field(6)->setFocus();  // leaving the notes shrinks them back to one line
    QCOMPARE(Notes()->height(), 25);
    worksheet_->grab().save(QStringLiteral(KESTRUM_SCREENSHOT_DIR "/worksheet.png"));

    Compute();

    QVERIFY2(tDialogs::Shown().empty(), qPrintable(Last_shown_text(tDialogs::tKind::Error)));
    QVERIFY(viewer_->isVisible());
    QVERIFY(!worksheet_->isVisible());
    QCOMPARE(viewer_->windowTitle(), QStringLiteral("Results viewer: ") + kTitle);
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    QCOMPARE(Read_file(data_file_), QStringLiteral("100 15 50 10 0.6 20 80 40 "));

    const QString first = Results()->toPlainText();
    const QStringList lines = first.split(QLatin1Char('\n'));
    QVERIFY(lines.size() > 60);
    QCOMPARE(lines[0], QString());
    QCOMPARE(lines[1], kTitle);
    QVERIFY(lines.contains(QStringLiteral(" User's Notes: first note")));
    QVERIFY(lines.contains(QStringLiteral("               second note")));
    QVERIFY(lines.contains(
        QStringLiteral(" Sample size of the normative sample =                         20")));
    QVERIFY(lines.contains(
        QStringLiteral(" OVERALL RESULT OF APPLYING BAYESIAN CRITERIA FOR A DISSOCIATION:")));
    viewer_->grab().save(QStringLiteral(KESTRUM_SCREENSHOT_DIR "/viewer.png"));

    Click(viewer_.get(), "cmdReturn");
    QVERIFY(worksheet_->isVisible());
    QVERIFY(!viewer_->isVisible());
    for (int k = 0; k < 8; ++k) QCOMPARE(Field(k)->text(), kExample[k]);
    QCOMPARE(Notes()->toPlainText(), QStringLiteral("first note\nsecond note"));
    QCOMPARE(worksheet_->focusWidget(), Field(6));

    Compute();
    const QString separator(106, QLatin1Char('_'));
    QCOMPARE(Results()->toPlainText(),
             first + QLatin1Char('\n') + separator + QLatin1Char('\n') + first);
  }

  // The window passes the chosen options to the run: each shows in the report's option
  // lines, and the RSDT appears only under the combined criteria, with the chosen tail.
  void Options_reach_the_report_data() {
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("rsdt");  // start of the RSDT line; empty when not run
    QTest::newRow("defaults")
        << QStringList{}
        << QStringList{" Option selected: Apply Bayesian criteria for dissociations",
                       " Option selected: Use a TWO-tailed test when testing for a difference "
                       "between standardized scores",
                       " Option selected: Analysis is to be performed using a prior CALIBRATED "
                       "to confer frequentist properties",
                       " Two-tailed probability = "}
        << QString();
    QTest::newRow("combined, one-tailed, standard theory")
        << QStringList{"RadioButton2", "radio_one_tail", "Prior_Radio_item1"}
        << QStringList{" Option selected: Apply combined Bayesian / frequentist criteria for "
                       "dissociations",
                       " Option selected: Use a ONE-tailed test when testing for a difference "
                       "between standardized scores",
                       " Option selected: Analysis is to be performed using a prior derived "
                       "from STANDARD THEORY (Jeffreys prior)",
                       " One-tailed probability = ",
                       " OVERALL RESULT OF APPLYING COMBINED BAYESIAN/FREQUENTIST CRITERIA FOR "
                       "A DISSOCIATION:"}
        << " RSDT t value = ";
  }
  void Options_reach_the_report() {
    QFETCH(QStringList, clicks);
    QFETCH(QStringList, expected);
    QFETCH(QString, rsdt);
    Start();
    Type_fields(kExample);
    for (const QString& name : clicks) Click(worksheet_.get(), qPrintable(name));
    Compute();
    QVERIFY2(tDialogs::Shown().empty(), qPrintable(Last_shown_text(tDialogs::tKind::Error)));
    const QStringList lines = Results()->toPlainText().split(QLatin1Char('\n'));
    for (const QString& line : expected) {
      const bool found = std::any_of(lines.begin(), lines.end(),
                                     [&](const QString& l) { return l.startsWith(line); });
      QVERIFY2(found, qPrintable(line));
    }
    const qsizetype rsdt_lines = std::count_if(lines.begin(), lines.end(), [](const QString& l) {
      return l.startsWith(QStringLiteral(" RSDT t value = "));
    });
    QCOMPARE(rsdt_lines, rsdt.isEmpty() ? 0 : 1);
    if (!rsdt.isEmpty()) {
      const QString tail = clicks.contains(QStringLiteral("radio_one_tail"))
                               ? QStringLiteral("p (one-tailed)")
                               : QStringLiteral("p (two-tailed)");
      QVERIFY(Results()->toPlainText().contains(tail));
    }
  }

  void Start_up_reads_the_control_data_data() {
    QTest::addColumn<QByteArray>("file");  // empty: no file
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<int>("focus");
    QTest::addColumn<QString>("error");
    QTest::newRow("no file: empty fields, focus in the first")
        << QByteArray() << QStringList{"", "", "", "", "", "", "", ""} << 0 << QString();
    QTest::newRow("saved run: six fields, focus in the case's X score")
        << QByteArray("100 15 50 10 0.6 20 80 40 ")
        << QStringList{"100", "15", "50", "10", "0.6", "20", "", ""} << 6 << QString();
    QTest::newRow("a token that is no number stops the loading")
        << QByteArray("12 7 abc 4") << QStringList{"12", "7", "", "", "", "", "", ""} << 6
        << "Invalid numeric input";
  }
  void Start_up_reads_the_control_data() {
    QFETCH(QByteArray, file);
    QFETCH(QStringList, fields);
    QFETCH(int, focus);
    QFETCH(QString, error);
    if (!file.isEmpty()) {
      QFile out(data_file_);
      QVERIFY(out.open(QIODevice::WriteOnly));
      out.write(file);
    }
    Start();
    for (int k = 0; k < 8; ++k) QCOMPARE(Field(k)->text(), fields[k]);
    QCOMPARE(worksheet_->focusWidget(), Field(focus));
    QCOMPARE(Count_shown(tDialogs::tKind::Error), error.isEmpty() ? 0 : 1);
    if (!error.isEmpty()) QVERIFY(Last_shown_text(tDialogs::tKind::Error).contains(error));
  }

  void Clear_data_data() {
    QTest::addColumn<bool>("saved");
    QTest::newRow("deletes the saved control data") << true;
    QTest::newRow("with no file only empties the fields") << false;
  }
  void Clear_data() {
    QFETCH(bool, saved);
    if (saved) {
      QFile out(data_file_);
      QVERIFY(out.open(QIODevice::WriteOnly));
      out.write("100 15 50 10 0.6 20 80 40 ");
    }
    Start();
    Type_fields(kExample);
    QTest::keyClicks(Notes(), QStringLiteral("a note"));
    tDialogs::Clear_shown();
    Click(worksheet_.get(), "btnclearData");
    for (int k = 0; k < 8; ++k) QVERIFY(Field(k)->text().isEmpty());
    QVERIFY(Notes()->toPlainText().isEmpty());
    QVERIFY(!QFile::exists(data_file_));
    QCOMPARE(worksheet_->focusWidget(), Field(0));
    QVERIFY(tDialogs::Shown().empty());  // no confirmation, no error
  }

  void Exit_asks_first_data() {
    QTest::addColumn<bool>("yes");
    QTest::newRow("No leaves everything as it was") << false;
    QTest::newRow("Yes ends the program") << true;
  }
  void Exit_asks_first() {
    QFETCH(bool, yes);
    Start();
    Type_fields(kExample);
    Click(worksheet_.get(), "RadioButton2");
    tDialogs::Set_next_confirmation(yes);
    Click(worksheet_.get(), "ExitBtn");
    QCOMPARE(Count_shown(tDialogs::tKind::Confirmation), 1);
    QCOMPARE(Last_shown_text(tDialogs::tKind::Confirmation), QStringLiteral("Exit from program?"));
    QCOMPARE(Count_shown(tDialogs::tKind::Quit), yes ? 1 : 0);
    QVERIFY(worksheet_->isVisible());
    for (int k = 0; k < 8; ++k) QCOMPARE(Field(k)->text(), kExample[k]);
    QVERIFY(Find<QRadioButton>(QStringLiteral("RadioButton2"))->isChecked());
  }

  void Closing_by_the_title_bar_ends_without_asking() {
    Start();
    worksheet_->close();
    QCOMPARE(Count_shown(tDialogs::tKind::Confirmation), 0);
    QCOMPARE(Count_shown(tDialogs::tKind::Quit), 1);
  }

  // Inputs that pass every check but lie beyond what the interval estimates handle: the
  // error is shown, the worksheet stays, the cursor comes back, no report is written; the
  // control data were saved before the computation.
  void Computation_error_keeps_the_worksheet() {
    Start();
    Type_fields({"0", "1", "0", "1", "0", "10", "99999", "0"});
    Compute();
    QCOMPARE(Count_shown(tDialogs::tKind::Error), 1);
    QVERIFY(!Last_shown_text(tDialogs::tKind::Error).isEmpty());
    QVERIFY(worksheet_->isVisible());
    QVERIFY(!viewer_->isVisible());
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    QVERIFY(Results()->toPlainText().isEmpty());
    QCOMPARE(Read_file(data_file_), QStringLiteral("0 1 0 1 0 10 99999 0 "));
  }

  // "Too many steps" of the normal integration is a warning box; the computation goes on
  // with its value. The warning goes away with the worksheet.
  void Too_many_steps_is_a_warning() {
    Start();
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);  // as during a run
    const double half = Simpson_integral(0, 99999);
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    QGuiApplication::restoreOverrideCursor();
    QVERIFY(qAbs(half - 0.5) < 1e-6);
    QCOMPARE(Count_shown(tDialogs::tKind::Warning), 1);
    QCOMPARE(Last_shown_text(tDialogs::tKind::Warning), QStringLiteral("Too many steps"));
    cleanup();
    Simpson_integral(0, 99999);
    QCOMPARE(Count_shown(tDialogs::tKind::Warning), 1);
  }

  void Notes_grow_and_shrink() {
    Start();
    QCOMPARE(Notes()->height(), 25);
    Notes()->setFocus();
    QTest::keyClicks(Notes(), QStringLiteral("one line"));
    QCOMPARE(Notes()->height(), 25);
    QTest::keyClick(Notes(), Qt::Key_Return);
    QCOMPARE(Notes()->height(), 70);
    Field(0)->setFocus();
    QCOMPARE(Notes()->height(), 25);
    Notes()->setFocus();  // entering a memo of two lines
    QCOMPARE(Notes()->height(), 70);
    Field(0)->setFocus();

    // At most 250 characters.
    Notes()->clear();
    QTest::keyClicks(Notes(), QString(260, QLatin1Char('n')));
    QCOMPARE(Notes()->toPlainText(), QString(250, QLatin1Char('n')));
  }
};

QTEST_MAIN(TestWorksheet)
#include "test_gui_worksheet.moc"
