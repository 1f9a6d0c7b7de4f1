// SPDX-License-Identifier: GPL-3.0-or-later
// The toolkit's windows driven through their widgets (offscreen): reached from the
// worksheet without moving its fields, the covariate table, a refused matrix, the report
// in the results viewer, and a cancelled run.
#include <QDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>

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

 private slots:
  void initTestCase() {
    tDialogs::Start_scripted();
    QVERIFY(dir_.isValid());
    qputenv("KESTRUM_DATA_FILE", dir_.filePath(QStringLiteral("kestrum.txt")).toLocal8Bit());
  }
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
    QCOMPARE(window->windowTitle(), QStringLiteral("Deficit on one task"));
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
    QCOMPARE(window->windowTitle(), QStringLiteral("Dissociation allowing for covariates"));
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
};

QTEST_MAIN(TestToolkitWindows)
#include "test_gui_toolkit.moc"
