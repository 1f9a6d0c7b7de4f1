// SPDX-License-Identifier: GPL-3.0-or-later
// The worksheet and its runs, driven as a user would: text typed into the fields found by
// objectName, buttons clicked, message boxes answered through the wrapper's script. The
// control-data file lives in a temporary folder (KESTRUM_DATA_FILE).
//
// Expected messages and captions are written out here as the program's documents give
// them, not taken from the core, so that a changed text in either place shows up.
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QFontInfo>
#include <QWindow>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextLayout>
#include <QTimer>
#include <array>
#include <functional>
#include <map>
#include <memory>

#include "distrib/progress.h"
#include "gui/dialogs.h"
#include "gui/numeric_field.h"
#include "gui/plots_window.h"
#include "gui/results_viewer.h"
#include "gui/worksheet_window.h"
#include "gui_test_support.h"
#include "stats/metrics_papers.h"

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

// Controls correlated at 0.999: the calibrated prior then rejects most draws, and a run of
// a million accepted iterations takes several seconds.
const QStringList kSlow = {"100", "15", "50", "10", "0.999", "20", "80", "40"};

const QString kSeparator(106, QLatin1Char('_'));

// How far the display is scaled (QT_SCALE_FACTOR), for the names of screenshots.
QString Scale_name() { return qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1")); }

// The lines of a paragraph laid out as a word-wrapped label of this width lays it out.
QStringList Wrapped_lines(const QFont& font, const QString& paragraph, int width) {
  QTextLayout layout(paragraph, font);
  QTextOption option;
  option.setWrapMode(QTextOption::WordWrap);
  layout.setTextOption(option);
  QStringList lines;
  layout.beginLayout();
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(width);
    lines << paragraph.mid(line.textStart(), line.textLength()).trimmed();
  }
  layout.endLayout();
  return lines;
}

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
    worksheet_->activateWindow();  // on an X server without a window manager too
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
  QDialog* Progress_box() { return worksheet_->findChild<QDialog*>(QStringLiteral("frmProgress")); }

  // Calls action once from the event loop as soon as the next run is computing; the flag
  // tells afterwards whether it was called during the run.
  std::shared_ptr<bool> During_run(std::function<bool()> ready, std::function<void()> action) {
    auto called = std::make_shared<bool>(false);
    auto* poll = new QTimer(worksheet_.get());
    poll->setInterval(1);
    connect(poll, &QTimer::timeout, poll, [this, poll, called, ready, action] {
      if (!worksheet_->Computing() || !ready()) return;
      poll->stop();
      *called = true;
      action();
      *called = worksheet_->Computing();  // the action ran before the run ended
      poll->deleteLater();
    });
    poll->start();
    return called;
  }

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

    QCOMPARE(Find<QLabel>(QStringLiteral("lblComments"))->text(), QStringLiteral("User's &Notes:"));
    QCOMPARE(Find<QLabel>(QStringLiteral("lblComments"))->buddy(), Notes());
    QVERIFY(Find<QLabel>(QStringLiteral("lblComments"))->font().bold());
    QVERIFY(Notes()->toPlainText().isEmpty());
    QVERIFY2(Equal_advances_in_test(Notes()->font()), qPrintable(QFontInfo(Notes()->font()).family()));

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
        {"RadioButton1", "&Bayesian criteria for dissociations", true},
        {"RadioButton2", "Co&mbined Bayesian / frequentist criteria for dissociations", false},
        {"radio_two_tail", "&Two-tailed test", true},
        {"radio_one_tail", "&One-tailed test", false},
        {"Prior_Radio_item0", "C&alibrated (Recommended)", true},
        {"Prior_Radio_item1", "&Standard Theory (Jeffreys prior)", false}};
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
         {tCaption{"cmdCompute", "&Compute"}, tCaption{"btnclearData", "Clear &Data "},
          tCaption{"ExitBtn", "E&xit"}, tCaption{"cmdSaveAnalysis", "Save Anal&ysis..."},
          tCaption{"cmdOpenAnalysis", "O&pen Analysis..."}}) {
      auto* control = Find<QPushButton>(QString::fromLatin1(button.name));
      QCOMPARE(control->text(), QString::fromLatin1(button.caption));
      QVERIFY(control->font().bold());
    }
    // Every button and the notes' caption have a mnemonic, each letter once.
    QStringList mnemonics{Find<QLabel>(QStringLiteral("lblComments"))->text()};
    for (QAbstractButton* button : worksheet_->findChildren<QAbstractButton*>())
      mnemonics << button->text();
    QCOMPARE(mnemonics.size(), 12);
    QVERIFY2(Mnemonics_unique(mnemonics), qPrintable(mnemonics.join(QLatin1Char('|'))));
  }

  // Every window opens inside the screen's available area, frame and all, at whatever
  // scale this test runs (also at 2 on a 1600 x 1100 screen): the worksheet at its designed
  // size where that fits, else smaller with scroll bars; the viewer and the plots window
  // smaller where they must be.
  void Windows_open_inside_the_screen() {
    Start();
    const QRect area = worksheet_->screen()->availableGeometry();
    const auto inside = [&](QWidget* window) {
      const bool is_inside = area.contains(window->frameGeometry());
      if (!is_inside) qWarning() << window->objectName() << window->frameGeometry() << area;
      return is_inside;
    };
    QVERIFY(inside(worksheet_.get()));
    const QSize design(792, 573);
    const QSize framed = design.grownBy(worksheet_->windowHandle()->frameMargins());
    const bool fits = framed.width() <= area.width() && framed.height() <= area.height();
    auto* scroller = Find<QScrollArea>(QStringLiteral("SheetScroller"));
    QCOMPARE(worksheet_->size() == design, fits);
    QCOMPARE(scroller->horizontalScrollBar()->isVisible() ||
                 scroller->verticalScrollBar()->isVisible(),
             !fits);
    const QSize screen_pixels = worksheet_->screen()->geometry().size() *
                                worksheet_->screen()->devicePixelRatio();
    const QString screen_name = screen_pixels == QSize(1600, 1100)
                                    ? QStringLiteral("small")
                                    : QStringLiteral("%1x%2").arg(screen_pixels.width())
                                          .arg(screen_pixels.height());
    worksheet_->grab().save(QStringLiteral(KESTRUM_SCREENSHOT_DIR "/worksheet_scale%1_%2.png")
                                .arg(Scale_name(), screen_name));
    // Tab reaches the last field also where the sheet scrolls, and shows it.
    Field(0)->setFocus();
    for (int k = 1; k < 8; ++k) QTest::keyClick(worksheet_->focusWidget(), Qt::Key_Tab);
    QCOMPARE(worksheet_->focusWidget(), Field(7));
    QVERIFY(!Field(7)->visibleRegion().isEmpty());

    Type_fields(kExample);
    Compute();
    QVERIFY(viewer_->isVisible());
    QVERIFY(inside(viewer_.get()));
    const QString suffix = QStringLiteral("_scale%1_%2.png").arg(Scale_name(), screen_name);
    viewer_->grab().save(QStringLiteral(KESTRUM_SCREENSHOT_DIR "/viewer") + suffix);
    viewer_->findChild<QAction*>(QStringLiteral("mnuShowPlots"))->trigger();
    TfrmPlots* plots = viewer_->Plots_window();
    QVERIFY(plots != nullptr && plots->isVisible());
    QVERIFY(inside(plots));
    const QSize plots_framed = QSize(1024, 624).grownBy(plots->windowHandle()->frameMargins());
    if (plots_framed.width() > area.width() || plots_framed.height() > area.height())
      QVERIFY(plots->width() < 1024 || plots->height() < 624);
    plots->grab().save(QStringLiteral(KESTRUM_SCREENSHOT_DIR "/plots") + suffix);
    for (const char* name : {"cmdExport", "cmdClose"}) {
      auto* button = plots->findChild<QPushButton*>(QString::fromLatin1(name));
      QVERIFY(plots->rect().contains(QRect(button->mapTo(plots, QPoint(0, 0)), button->size())));
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

  // Each of the eight fields is a numeric field whose keys reach the worksheet's handlers
  // and its typing rules (the rules themselves: test_gui_numeric_field).
  void Fields_follow_the_typing_rules() {
    Start();
    for (int k = 0; k < 8; ++k) {
      QVERIFY(qobject_cast<tNumeric_field*>(Field(k)) != nullptr);
      tDialogs::Clear_shown();
      QTest::keyClicks(Field(k), QStringLiteral("1,x5"));
      QCOMPARE(Field(k)->text(), QStringLiteral("1.5"));
      QCOMPARE(Count_shown(tDialogs::tKind::Beep), 1);
      QCOMPARE(Last_shown_text(tDialogs::tKind::Warning),
               QStringLiteral("INPUT ERROR\r\rEnter numeric data only."));
    }
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

    // Back on the worksheet the focused field's text is selected: typing replaces it.
    Click(viewer_.get(), "cmdReturn");
    QCOMPARE(worksheet_->focusWidget(), Field(6));
    QCOMPARE(Field(6)->selectedText(), kExample[6]);
    QTest::keyClicks(Field(6), QStringLiteral("85"));
    QCOMPARE(Field(6)->text(), QStringLiteral("85"));
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
    QTest::addColumn<bool>("yes");
    QTest::newRow("deletes the saved control data") << true << true;
    QTest::newRow("with no file only empties the fields") << false << true;
    QTest::newRow("No keeps fields, notes and file") << true << false;
  }
  void Clear_data() {
    QFETCH(bool, saved);
    QFETCH(bool, yes);
    if (saved) {
      QFile out(data_file_);
      QVERIFY(out.open(QIODevice::WriteOnly));
      out.write("100 15 50 10 0.6 20 80 40 ");
    }
    Start();
    Type_fields(kExample);
    QTest::keyClicks(Notes(), QStringLiteral("a note"));
    tDialogs::Clear_shown();
    if (yes) tDialogs::Set_next_confirmation(true);  // else the default answer, No
    Click(worksheet_.get(), "btnclearData");
    QCOMPARE(Count_shown(tDialogs::tKind::Confirmation), 1);
    QCOMPARE(Last_shown_text(tDialogs::tKind::Confirmation),
             QStringLiteral("Clear every field and the User's Notes, and delete the saved "
                            "control data?"));
    QCOMPARE(tDialogs::Shown().size(), std::size_t{1});  // no error
    if (!yes) {
      for (int k = 0; k < 8; ++k) QCOMPARE(Field(k)->text(), kExample[k]);
      QCOMPARE(Notes()->toPlainText(), QStringLiteral("a note"));
      QVERIFY(QFile::exists(data_file_));
      return;
    }
    for (int k = 0; k < 8; ++k) QVERIFY(Field(k)->text().isEmpty());
    QVERIFY(Notes()->toPlainText().isEmpty());
    QVERIFY(!QFile::exists(data_file_));
    QCOMPARE(worksheet_->focusWidget(), Field(0));
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

  // A close by the title bar or the window manager's keys (Alt+F4) ends the program; it
  // asks first while the viewer holds results that were not saved.
  void Closing_by_the_window_system_data() {
    QTest::addColumn<QString>("results");  // none, unsaved or saved
    QTest::addColumn<bool>("yes");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("quit");
    QTest::newRow("no results: ends without asking") << "none" << false << false << true;
    QTest::newRow("unsaved results, No: stays") << "unsaved" << false << true << false;
    QTest::newRow("unsaved results, Yes: ends") << "unsaved" << true << true << true;
    QTest::newRow("saved results: ends without asking") << "saved" << false << false << true;
  }
  void Closing_by_the_window_system() {
    QFETCH(QString, results);
    QFETCH(bool, yes);
    QFETCH(bool, asked);
    QFETCH(bool, quit);
    Start();
    if (results != QLatin1String("none")) viewer_->Append_lines({QString(), QStringLiteral("a report")});
    if (results == QLatin1String("saved")) {
      tDialogs::Set_next_save_file(dir_.filePath(QStringLiteral("saved.txt")));
      viewer_->show();
      Click(viewer_.get(), "cmdSaveOutput");
      QCOMPARE(Read_file(dir_.filePath(QStringLiteral("saved.txt"))), QStringLiteral("\na report\n"));
      viewer_->hide();
    }
    tDialogs::Clear_shown();
    if (yes) tDialogs::Set_next_confirmation(true);
    QVERIFY(worksheet_->windowHandle() != nullptr);
    worksheet_->windowHandle()->close();  // as the title bar's X and Alt+F4 ask
    QCOMPARE(Count_shown(tDialogs::tKind::Confirmation), asked ? 1 : 0);
    if (asked)
      QCOMPARE(Last_shown_text(tDialogs::tKind::Confirmation), QStringLiteral("Exit from program?"));
    QCOMPARE(Count_shown(tDialogs::tKind::Quit), quit ? 1 : 0);
    QCOMPARE(worksheet_->isVisible(), !quit);
  }

  // Inputs that pass every check but lie beyond what the interval estimates reach (once a
  // computation error): the run completes, no error is shown, the cursor comes back, and
  // the report marks the limits beyond reach; the control data were saved.
  void Far_case_completes_with_limits_beyond_reach() {
    Start();
    Type_fields({"0", "1", "0", "1", "0", "10", "99999", "0"});
    Compute();
    QCOMPARE(Count_shown(tDialogs::tKind::Error), 0);
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    QVERIFY(Results()->toPlainText().contains(QStringLiteral("(>1295.269  to >1295.269 )")));
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

  // While a run computes, the worksheet takes no input, and none of it is kept for later:
  // after the run the fields and options are as they were typed, and there is one report.
  void Input_during_a_run_is_dropped_data() {
    QTest::addColumn<QString>("action");
    QTest::newRow("more clicks on Compute") << "clicks";
    QTest::newRow("keys typed into the fields") << "keys";
    QTest::newRow("key events already queued") << "posted";
    QTest::newRow("Shift+Insert paste") << "paste";
    QTest::newRow("click on an option") << "option";
    QTest::newRow("close by the title bar") << "close";
    QTest::newRow("buttons pressed without input events") << "press";
  }
  void Input_during_a_run_is_dropped() {
    QFETCH(QString, action);
    Start();
    Type_fields(kExample);
    QGuiApplication::clipboard()->setText(QStringLiteral("123"));
    auto* compute = Find<QPushButton>(QStringLiteral("cmdCompute"));
    const std::map<QString, std::function<void()>> actions = {
        {"clicks",  // the second click of a double click, and a third
         [&] {
           QTest::mouseClick(compute, Qt::LeftButton);
           QTest::mouseClick(compute, Qt::LeftButton);
         }},
        {"keys",
         [&] {
           QTest::keyClicks(worksheet_->focusWidget(), QStringLiteral("7"));
           QTest::keyClicks(Field(6), QStringLiteral("9x"));
         }},
        {"posted",
         [&] {
           QCoreApplication::postEvent(
               Field(0), new QKeyEvent(QEvent::KeyPress, Qt::Key_5, Qt::NoModifier, "5"));
           QCoreApplication::postEvent(
               Field(0), new QKeyEvent(QEvent::KeyRelease, Qt::Key_5, Qt::NoModifier, "5"));
         }},
        {"paste", [&] { QTest::keyClick(Field(0), Qt::Key_Insert, Qt::ShiftModifier); }},
        {"option", [&] { Click(worksheet_.get(), "RadioButton2"); }},
        {"close", [&] { worksheet_->close(); }},
        {"press",  // as an accessibility tool presses them
         [&] {
           compute->click();
           Find<QPushButton>(QStringLiteral("btnclearData"))->click();
           Find<QPushButton>(QStringLiteral("ExitBtn"))->click();
         }},
    };
    tDialogs::Clear_shown();
    const auto called = During_run([] { return true; }, actions.at(action));

    Compute();

    QVERIFY2(*called, "the action did not happen during the run, or ended it");
    QVERIFY2(tDialogs::Shown().empty(), qPrintable(Last_shown_text(tDialogs::tKind::Warning)));
    QVERIFY(viewer_->isVisible());
    const QString report = Results()->toPlainText();
    QVERIFY(report.contains(QStringLiteral("OVERALL RESULT")));
    QVERIFY2(!report.contains(kSeparator), "a second report was appended");
    Click(viewer_.get(), "cmdReturn");
    QVERIFY(worksheet_->isVisible());
    for (int k = 0; k < 8; ++k) QCOMPARE(Field(k)->text(), kExample[k]);
    QVERIFY(Find<QRadioButton>(QStringLiteral("RadioButton1"))->isChecked());
    QCOMPARE(Results()->toPlainText(), report);
    QVERIFY(tDialogs::Shown().empty());
  }

  // A long run shows the progress box after half a second; Cancel (its button, Escape, or
  // its title bar) stops the run: no report, the viewer as it was, the worksheet back with
  // its fields as typed, and no message.
  void Cancel_leaves_everything_as_it_was_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("Cancel button") << "button";
    QTest::newRow("Escape") << "escape";
    QTest::newRow("title bar close") << "close";
  }
  void Cancel_leaves_everything_as_it_was() {
    QFETCH(QString, how);
    Start();
    viewer_->Append_lines({QStringLiteral("an earlier report")});
    Type_fields(kSlow);
    tDialogs::Clear_shown();
    QElapsedTimer since_cancel;
    QString title, iterations, time_left;
    bool modal = false;
    const auto called = During_run(
        [this] {
          // Shown, and the engine has reported iterations.
          QDialog* box = Progress_box();
          if (box == nullptr || !box->isVisible()) return false;
          auto* label = box->findChild<QLabel*>(QStringLiteral("lblIterations"));
          return !label->text().endsWith(QStringLiteral(": 0 of 0"));
        },
        [&] {
          QDialog* box = Progress_box();
          title = box->windowTitle();
          modal = box->windowModality() == Qt::WindowModal;
          iterations = box->findChild<QLabel*>(QStringLiteral("lblIterations"))->text();
          time_left = box->findChild<QLabel*>(QStringLiteral("lblTime_left"))->text();
          if (how == QLatin1String("button")) {
            box->grab().save(QStringLiteral(KESTRUM_SCREENSHOT_DIR "/progress.png"));
          }
          since_cancel.start();
          if (how == QLatin1String("button")) {
            QTest::mouseClick(box->findChild<QPushButton*>(QStringLiteral("cmdCancel")),
                              Qt::LeftButton);
          } else if (how == QLatin1String("escape")) {
            QTest::keyClick(box, Qt::Key_Escape);
          } else {
            box->close();
          }
        });

    Compute();

    QVERIFY2(*called, "the progress box did not appear");
    qInfo("returned %lld ms after the cancel", static_cast<long long>(since_cancel.elapsed()));
    QCOMPARE(title, QStringLiteral("Kestrum: computing"));
    QVERIFY(modal);
    QVERIFY2(iterations.startsWith(QStringLiteral("Monte Carlo iterations done: ")) &&
                 iterations.endsWith(QStringLiteral(" of 1,000,000")),
             qPrintable(iterations));
    QVERIFY2(time_left.startsWith(QStringLiteral("Time left: ")), qPrintable(time_left));
    QVERIFY2(tDialogs::Shown().empty(), qPrintable(Last_shown_text(tDialogs::tKind::Error)));
    QVERIFY(worksheet_->isVisible());
    QVERIFY(!viewer_->isVisible());
    QVERIFY(Progress_box() == nullptr);  // the box went with the run
    QCOMPARE(Results()->toPlainText(), QStringLiteral("an earlier report"));
    for (int k = 0; k < 8; ++k) QCOMPARE(Field(k)->text(), kSlow[k]);
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    QCOMPARE(Read_file(data_file_), QStringLiteral("100 15 50 10 0.999 20 80 40 "));
    QVERIFY(!worksheet_->Computing());
  }

  // Enter on a focused button clicks it, as Space does.
  void Enter_clicks_the_focused_button() {
    Start();
    Type_fields(kExample);
    auto* clear = Find<QPushButton>(QStringLiteral("btnclearData"));
    clear->setFocus();
    tDialogs::Set_next_confirmation(true);
    QTest::keyClick(clear, Qt::Key_Return);
    QCOMPARE(Count_shown(tDialogs::tKind::Confirmation), 1);
    for (int k = 0; k < 8; ++k) QVERIFY(Field(k)->text().isEmpty());
  }

  // Six of the widest digits of the field's font fit the field without scrolling, at the
  // scale this test runs at (it runs at 1, 1.5 and 2).
  void Fields_hold_six_wide_digits() {
    Start();
    for (int k = 0; k < 8; ++k) {
      QLineEdit* field = Field(k);
      const QFontMetrics metrics(field->font());
      QChar widest = QLatin1Char('0');
      for (char digit = '0'; digit <= '9'; ++digit) {
        if (metrics.horizontalAdvance(QLatin1Char(digit)) > metrics.horizontalAdvance(widest))
          widest = QLatin1Char(digit);
      }
      for (const QString& text : {QString(6, widest), QStringLiteral("888888")}) {
        field->setText(text);
        field->setCursorPosition(6);
        field->grab();  // the line edit scrolls its text when it paints
        const int end = field->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x();
        field->setCursorPosition(0);
        field->grab();
        const int start = field->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x();
        // Scrolled text would bring the end nearer the start than the text is wide.
        QVERIFY2(end - start >= metrics.horizontalAdvance(text) - 1,
                 qPrintable(QStringLiteral("%1: %2 pixels for %3").arg(text).arg(end - start).arg(
                     metrics.horizontalAdvance(text))));
        QVERIFY(end < field->width());
      }
      field->setText(QStringLiteral("888888"));
    }
    qInfo("field font: %d pixels at scale %s", Field(0)->font().pixelSize(), qPrintable(Scale_name()));
    worksheet_->grab().save(QStringLiteral(KESTRUM_SCREENSHOT_DIR "/worksheet_888888_scale%1.png")
                                .arg(Scale_name()));
  }

  // The worksheet's messages keep each line whole where the worksheet's width has room
  // (they wrap at its width, less the box's icon and margins, and within the screen), and
  // never wrap a lone word onto a line of its own.
  void Message_boxes_keep_words_together_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("sample size")
        << "INPUT ERROR\r(  Sample size of the normative sample:  10.500  )\r"
           "The value for sample size must be an integer greater than 2.";
    QTest::newRow("empty field") << "INPUT ERROR\r\r(  Standard deviation for the normative "
                                    "sample on Task X:  )\r\rData have not been entered in "
                                    "this field.";
    QTest::newRow("numeric only") << "INPUT ERROR\r\rEnter numeric data only.";
    QTest::newRow("a long error")
        << "Bayesian standardized difference test stopped at Monte Carlo iteration 123456: "
           "the draw of the covariance matrix was not positive definite, so no credible "
           "interval could be formed. No results were computed.";
  }
  void Message_boxes_keep_words_together() {
    QFETCH(QString, text);
    Start();
    const auto box = tDialogs::Message_box(tDialogs::tKind::Warning, worksheet_.get(), text);
    box->show();
    QVERIFY(QTest::qWaitForWindowExposed(box.get()));
    auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    QVERIFY(label != nullptr);
    const int width = label->contentsRect().width();
    const int screen_width = worksheet_->screen()->availableGeometry().width();
    for (const QString& paragraph : tDialogs::Display_text(text).split(QLatin1Char('\n'))) {
      const QStringList lines = Wrapped_lines(label->font(), paragraph, width);
      // A line the worksheet's width has room for stays whole.
      constexpr int kWrap_width = 792 - 120;
      if (QFontMetrics(label->font()).horizontalAdvance(paragraph) <
          std::min(screen_width / 2, kWrap_width)) {
        QVERIFY2(lines.size() <= 1, qPrintable(lines.join(QLatin1Char('|'))));
      }
      for (int i = 1; i < lines.size(); ++i) {
        QVERIFY2(lines[i].contains(QLatin1Char(' ')), qPrintable(lines.join(QLatin1Char('|'))));
      }
    }
    QVERIFY(box->width() <= screen_width);
    QVERIFY2(box->width() <= 792 + 40, qPrintable(QString::number(box->width())));
    box->close();
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
