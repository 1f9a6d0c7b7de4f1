// SPDX-License-Identifier: GPL-3.0-or-later
// The plots window, driven as a user would: a run on the worksheet, the viewer's "Plots"
// menu, the window's Export button with the save dialog answered through the wrapper's
// script. The exported files are read back: the PNG as an image, the SVG as XML, the PDF
// with pdftotext and pdfinfo (poppler-utils).
#include <QAbstractButton>
#include <QAction>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSvgGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>
#include <memory>
#include <variant>

#include "app/toolkit_analysis.h"
#include "app/plot_geometry.h"
#include "gui/dialogs.h"
#include "gui/plots_window.h"
#include "gui/results_viewer.h"
#include "gui/worksheet_window.h"
#include "gui_test_support.h"

namespace {

const char* const kField_names[] = {"txtInput1", "txtInput2", "txtInput3", "txtInput4",
                                    "txtInput5", "txtInput6", "txtInput7", "txtinput8"};
// Controls 100, 15, 50, 10, r = 0.6, N = 20; case 80 and 40 (z = -1.333 and -1.000).
const QStringList kExample = {"100", "15", "50", "10", "0.6", "20", "80", "40"};

// Output of a poppler tool on a file, empty on failure.
QString Poppler(const QString& tool, const QString& pdf, bool to_stdout) {
  const QString program = QFileInfo(QStringLiteral(KESTRUM_PDFTOTEXT)).dir().filePath(tool);
  QProcess process;
  QStringList arguments{pdf};
  if (to_stdout) arguments << QStringLiteral("-");
  process.start(program, arguments);
  if (!process.waitForFinished(30000) || process.exitCode() != 0) return {};
  return QString::fromUtf8(process.readAllStandardOutput());
}

// The texts of an SVG's <text> elements (each element's whole text) and its <title>.
bool Svg_texts(const QString& path, QStringList& texts, QString& title, QString& error) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  QXmlStreamReader xml(&file);
  while (!xml.atEnd()) {
    if (xml.readNext() != QXmlStreamReader::StartElement) continue;
    if (xml.name() == QLatin1String("text"))
      texts << xml.readElementText(QXmlStreamReader::IncludeChildElements).simplified();
    else if (xml.name() == QLatin1String("title"))
      title = xml.readElementText();
  }
  error = xml.errorString();
  return !xml.hasError();
}

}  // namespace

class TestPlots : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  std::unique_ptr<TfrmTemplate> worksheet_;
  std::unique_ptr<TfrmTemplateResults> viewer_;

  QLineEdit* Field(int k) {
    return worksheet_->findChild<QLineEdit*>(QString::fromLatin1(kField_names[k]));
  }
  void Click(QWidget* window, const char* name) {
    auto* button = window->findChild<QAbstractButton*>(QString::fromLatin1(name));
    QVERIFY2(button != nullptr, name);
    QTest::mouseClick(button, Qt::LeftButton);
  }
  void Run(const QStringList& texts) {
    if (!worksheet_->isVisible()) Click(viewer_.get(), "cmdReturn");
    for (int k = 0; k < 8; ++k) {
      Field(k)->clear();
      QTest::keyClicks(Field(k), texts.value(k));
    }
    Click(worksheet_.get(), "cmdCompute");
    QVERIFY2(Count_shown(tDialogs::tKind::Error) == 0,
             qPrintable(Last_shown_text(tDialogs::tKind::Error)));
    QVERIFY(viewer_->isVisible());
  }
  QAction* Show_plots() {
    return viewer_->findChild<QAction*>(QStringLiteral("mnuShowPlots"));
  }
  QString Path(const char* name) { return dir_.filePath(QString::fromLatin1(name)); }
  void Export(const QString& path) {
    tDialogs::Set_next_save_file(path);
    Click(viewer_->Plots_window(), "cmdExport");
  }

 private slots:
  void initTestCase() { QVERIFY(Start_scripted_in(dir_)); }

  void init() {
    tDialogs::Clear_shown();
    worksheet_ = std::make_unique<TfrmTemplate>();
    viewer_ = std::make_unique<TfrmTemplateResults>();
    worksheet_->Set_viewer(viewer_.get());
    viewer_->Set_worksheet(worksheet_.get());
    worksheet_->show();
    QVERIFY(QTest::qWaitForWindowExposed(worksheet_.get()));
  }

  void cleanup() {
    viewer_.reset();
    worksheet_.reset();
  }

  void Menu_says_so_before_any_analysis() {
    auto* menu = viewer_->findChild<QMenu*>(QStringLiteral("mnuPlots"));
    QVERIFY(menu != nullptr);
    QCOMPARE(menu->title(), QStringLiteral("P&lots"));
    QAction* show = Show_plots();
    QVERIFY(show != nullptr);
    QCOMPARE(show->text(), QStringLiteral("&Show plots of the latest analysis"));
    QCOMPARE(show->shortcut(), QKeySequence(QStringLiteral("Ctrl+G")));

    show->trigger();
    QCOMPARE(Count_shown(tDialogs::tKind::Warning), 1);
    QVERIFY(Last_shown_text(tDialogs::tKind::Warning).contains(QStringLiteral("no analysis")));
    QVERIFY(viewer_->Plots_window() == nullptr);
  }

  // The keyboard: Enter clicks the focused button, Escape closes the window; the buttons
  // have mnemonics.
  void Keys_work_in_the_window() {
    Run(kExample);
    Show_plots()->trigger();
    TfrmPlots* window = viewer_->Plots_window();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QStringList captions;
    for (QPushButton* button : window->findChildren<QPushButton*>()) captions << button->text();
    QVERIFY2(Mnemonics_unique(captions), qPrintable(captions.join(QLatin1Char('|'))));
    auto* export_button = window->findChild<QPushButton*>(QStringLiteral("cmdExport"));
    export_button->setFocus();
    tDialogs::Clear_shown();
    QTest::keyClick(export_button, Qt::Key_Return);  // no answer queued: cancelled
    QCOMPARE(Count_shown(tDialogs::tKind::Save_dialog), 1);
    QVERIFY(window->isVisible());
    QTest::keyClick(export_button, Qt::Key_Escape);
    QVERIFY(!window->isVisible());
    Show_plots()->trigger();
    auto* close_button = window->findChild<QPushButton*>(QStringLiteral("cmdClose"));
    close_button->setFocus();
    QTest::keyClick(close_button, Qt::Key_Enter);
    QVERIFY(!window->isVisible());
  }

  // The labels in the case's panel stand inside the plot area, off the dashed line and the
  // case's point, and on no other text; the legends stand below the plot areas (where no
  // line runs), within their panels, clear of each other.
  void Texts_stay_clear_of_lines_and_each_other_data() {
    QTest::addColumn<double>("r");
    QTest::addColumn<double>("z_x");
    QTest::addColumn<double>("z_y");
    QTest::newRow("example, case low on both") << 0.6 << -1.333 << -1.0;
    QTest::newRow("example, case at the 50 % label") << 0.6 << 0.7 << 1.35;
    QTest::newRow("case in the middle") << 0.6 << 0.1 << -0.1;
    QTest::newRow("case far out") << 0.3 << 4.5 << -4.0;
    QTest::newRow("negative correlation") << -0.7 << -1.333 << 1.5;
    QTest::newRow("high correlation") << 0.95 << -2.0 << 2.0;
    QTest::newRow("no correlation, case on the diagonal") << 0.0 << 2.0 << 2.0;
  }
  void Texts_stay_clear_of_lines_and_each_other() {
    QFETCH(double, r);
    QFETCH(double, z_x);
    QFETCH(double, z_y);
    tCase_plot plot = Case_plot(r, z_x, z_y);
    const tPanel_texts texts = Case_panel_texts(plot, 0);
    QCOMPARE(texts.Labels.size(), plot.Ellipses.size() + 1);
    QCOMPARE(texts.Labels.back().Text, QString::fromStdString(plot.Case_label));
    std::vector<tPlaced_text> all = texts.Labels;
    all.insert(all.end(), texts.Legend.begin(), texts.Legend.end());
    for (std::size_t k = 0; k < texts.Labels.size(); ++k) {
      const tPlaced_text& label = texts.Labels[k];
      QVERIFY2(texts.Area.contains(label.Box), qPrintable(label.Text));
      // Points along the dashed line, a quarter unit apart, none inside the box.
      const QRectF inner = label.Box.adjusted(0.5, 0.5, -0.5, -0.5);
      const QLineF diagonal(texts.Lines.back().front(), texts.Lines.back().back());
      QCOMPARE(diagonal.p1(), texts.Area.bottomLeft());
      const int steps = int(diagonal.length() * 4);
      for (int j = 0; j <= steps; ++j)
        QVERIFY2(!inner.contains(diagonal.pointAt(double(j) / steps)), qPrintable(label.Text));
      // The case's point (radius 6) uncovered.
      const auto at = [](const tAxis& axis, double v) { return (v - axis.Lower) / (axis.Upper - axis.Lower); };
      const QPointF point(texts.Area.left() + at(plot.X_axis, z_x) * texts.Area.width(),
                          texts.Area.bottom() - at(plot.Y_axis, z_y) * texts.Area.height());
      QVERIFY2(!label.Box.intersects(QRectF(point - QPointF(6, 6), QSizeF(12, 12))),
               qPrintable(label.Text));
    }
    for (const tPlaced_text& legend : texts.Legend) {
      QVERIFY2(legend.Box.top() > texts.Area.bottom() + 40, qPrintable(legend.Text));
      QVERIFY(legend.Box.left() >= 0 && legend.Box.right() <= kPlots_width / 2.0);
    }
    QCOMPARE(texts.Legend.size(), std::size_t{2});
    QCOMPARE(texts.Legend[0].Text, QStringLiteral("controls' 50/95/99 % regions"));
    QCOMPARE(texts.Legend[1].Text, QStringLiteral("z_x = z_y"));

    // The posterior's legend: the interval and the estimate, below the plot area.
    tPosterior_plot posterior;
    posterior.X_axis = Nice_axis(-4, 1);
    posterior.Y_axis = Nice_axis(0, 0.5, 5);
    posterior.Estimate_label = "Z-DCC = -1.234";
    posterior.Interval_label = "95% credible interval: -12.345 to -0.123";
    const tPanel_texts right = Posterior_panel_texts(posterior, kPlots_width / 2.0);
    QCOMPARE(right.Legend.size(), std::size_t{2});
    for (const tPlaced_text& legend : right.Legend) {
      QVERIFY(legend.Box.top() > right.Area.bottom() + 40);
      QVERIFY(legend.Box.left() >= kPlots_width / 2.0 && legend.Box.right() <= kPlots_width);
      all.push_back(legend);
    }
    for (std::size_t a = 0; a < all.size(); ++a)
      for (std::size_t b = a + 1; b < all.size(); ++b)
        QVERIFY2(!all[a].Box.intersects(all[b].Box), qPrintable(all[a].Text + " / " + all[b].Text));
  }

  // A run, the window, a second run redrawing the open window, the screenshot and the
  // three exports read back.
  void Window_follows_the_runs_and_exports() {
    Run(kExample);
    Show_plots()->trigger();
    TfrmPlots* window = viewer_->Plots_window();
    QVERIFY(window != nullptr);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QCOMPARE(window->windowTitle(), QStringLiteral("Kestrum plots"));
    QCOMPARE(window->Plots().Case.Case_label, std::string("Case (z = -1.333, -1.000)"));
    QVERIFY(tDialogs::Shown().empty());

    QStringList second = kExample;
    second[7] = QStringLiteral("65");
    Run(second);
    QVERIFY(window->isVisible());
    QCOMPARE(window->Plots().Case.Case_label, std::string("Case (z = -1.333, 1.500)"));
    Show_plots()->trigger();
    QCOMPARE(viewer_->Plots_window(), window);  // still the one window
    QCOMPARE(viewer_->findChildren<TfrmPlots*>().size(), 1);
    const QString title = QString::fromStdString(window->Plots().Title);
    QVERIFY(title.contains(QStringLiteral("case X = 80.00, Y = 65.00")));
    window->grab().save(QStringLiteral(KESTRUM_SCREENSHOT_DIR "/plots.png"));

    // PNG: 7 x 3.92 inches at 300 dpi, the title in its text, the case's point drawn.
    Export(Path("plots.png"));
    QImage png(Path("plots.png"));
    QVERIFY(!png.isNull());
    QCOMPARE(png.size(), QSize(2100, 1176));
    QCOMPARE(png.dotsPerMeterX(), 11811);
    QCOMPARE(png.text(QStringLiteral("Title")), title);
    int vermillion = 0, dark = 0;
    for (int y = 0; y < png.height(); y += 2) {
      for (int x = 0; x < png.width(); x += 2) {
        const QColor c = png.pixelColor(x, y);
        vermillion += c == QColor(0xD5, 0x5E, 0x00) ? 1 : 0;
        dark += qGray(c.rgb()) < 128 ? 1 : 0;
      }
    }
    QVERIFY2(vermillion > 200, qPrintable(QString::number(vermillion)));
    QVERIFY2(dark > 20000, qPrintable(QString::number(dark)));

    // SVG: well-formed XML holding the labels and the inputs.
    Export(Path("plots.svg"));
    QStringList texts;
    QString svg_title, xml_error;
    QVERIFY2(Svg_texts(Path("plots.svg"), texts, svg_title, xml_error), qPrintable(xml_error));
    QCOMPARE(svg_title, title);
    for (const char* label :
         {"Task X (z)", "Task Y (z)", "50 %", "95 %", "99 %", "Case (z = -1.333, 1.500)",
          "Z-DCC", "Density", "Case against the controls", "Posterior of Z-DCC",
          "controls' 50/95/99 % regions", "z_x = z_y"}) {
      QVERIFY2(texts.contains(QString::fromLatin1(label)), label);
    }
    QVERIFY(texts.filter(QStringLiteral("95% credible interval: ")).size() == 1);
    QVERIFY(texts.filter(QStringLiteral("Z-DCC = ")).size() == 1);

    // PDF: written here, read back at the end.
    Export(Path("plots.pdf"));
    QVERIFY(Read_file(Path("plots.pdf")).startsWith(QStringLiteral("%PDF-")));
    QCOMPARE(tDialogs::Shown().size(), std::size_t{3});  // the three save dialogs only
    QVERIFY2(Last_shown_text(tDialogs::tKind::Save_dialog).endsWith(QStringLiteral("|Export plots")),
             qPrintable(Last_shown_text(tDialogs::tKind::Save_dialog)));

    // A cancelled dialog writes nothing; a name without a known suffix and a folder that
    // does not exist are refused with a message, and leave no file.
    Click(window, "cmdExport");  // no answer queued: cancelled
    QCOMPARE(Count_shown(tDialogs::tKind::Error), 0);

    const struct {
      const char* name;
      const char* message;
    } cases[] = {{"plots.jpg", ".png, .svg or .pdf"}, {"plots", ".png, .svg or .pdf"},
                 {"missing/plots.pdf", "could not be saved"}};
    for (const auto& c : cases) {
      tDialogs::Clear_shown();
      Export(Path(c.name));
      QCOMPARE(Count_shown(tDialogs::tKind::Error), 1);
      QVERIFY2(Last_shown_text(tDialogs::tKind::Error).contains(QString::fromLatin1(c.message)),
               qPrintable(Last_shown_text(tDialogs::tKind::Error)));
      QVERIFY(!QFile::exists(Path(c.name)));
    }

    // The PDF read back: its text, and the inputs in the document's title.
    if (!QFile::exists(QStringLiteral(KESTRUM_PDFTOTEXT))) QSKIP("pdftotext is not installed");
    const QString pdf_text = Poppler(QStringLiteral("pdftotext"), Path("plots.pdf"), true);
    for (const char* label : {"Task X (z)", "Task Y (z)", "99 %", "95% credible interval",
                              "Monte Carlo SE", "calibrated prior", "Bayesian criteria"}) {
      QVERIFY2(pdf_text.contains(QString::fromLatin1(label)), label);
    }
    const QString info = Poppler(QStringLiteral("pdfinfo"), Path("plots.pdf"), false);
    QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Title: +") +
                                              QRegularExpression::escape(title) + '\n')),
             qPrintable(info));
    QVERIFY(info.contains(QRegularExpression(QStringLiteral("Pages: +1\n"))));
    QVERIFY(info.contains(QRegularExpression(QStringLiteral("Page size: +504 x 282 pts"))));
  }

  // A deficit's panels: the posterior names the effect on its axis (a deficit's Z-CC, or
  // its Z-CCC with covariates, not the dissociation's Z-DCC), and the left panel shows one
  // task (the controls' density, conditional given covariates), with no ellipses nor the
  // line z_x = z_y; the case's label stands inside the plot, off the curve and its line.
  void Deficit_panels_show_one_task_data() {
    QTest::addColumn<bool>("covariate");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("left_title");
    QTest::addColumn<QString>("x_title");
    QTest::newRow("deficit with a covariate")
        << true << "Posterior of Z-CCC" << "Case given the covariates"
        << "Naming given the covariates (z)";
    QTest::newRow("deficit, no covariates")
        << false << "Posterior of Z-CC" << "Case against the controls" << "Naming (z)";
  }
  void Deficit_panels_show_one_task() {
    QFETCH(bool, covariate);
    QFETCH(QString, title);
    QFETCH(QString, left_title);
    QFETCH(QString, x_title);
    tAnalysis_request request;
    request.N = "30";
    if (covariate) request.Covariates.push_back({"Age", "65", "8", "78"});
    request.Tasks.push_back({"Naming", "100", "15", "70"});
    request.Correlations.assign(covariate ? 2 : 1, {});
    if (covariate) request.Correlations[1].push_back("0.5");
    request.Options.Iterations = 20000;
    const tResult_plots plots = Toolkit_plots(Run_analysis(request));
    const QString path = Path("deficit.svg");
    {
      QSvgGenerator svg;
      svg.setFileName(path);
      svg.setViewBox(QRect(0, 0, kPlots_width, kPlots_height));
      QPainter painter(&svg);
      Paint_result_plots(painter, plots);
    }
    QImage picture(kPlots_width, kPlots_height, QImage::Format_RGB32);
    {
      QPainter painter(&picture);
      Paint_result_plots(painter, plots);
    }
    QVERIFY(picture.save(QStringLiteral(KESTRUM_SCREENSHOT_DIR "/toolkit_deficit_plots_%1.png")
                             .arg(covariate ? QStringLiteral("covariate") : QStringLiteral("alone"))));
    QStringList texts;
    QString svg_title, xml_error;
    QVERIFY2(Svg_texts(path, texts, svg_title, xml_error), qPrintable(xml_error));
    const QString all = texts.join(QLatin1Char('|'));
    for (const QString& shown : {title, left_title, x_title})
      QVERIFY2(texts.contains(shown), qPrintable(shown + QStringLiteral(" in ") + all));
    for (const char* absent : {"Posterior of Z-DCC", "No covariates", "z_x = z_y", "50 %"})
      QVERIFY2(!texts.contains(QString::fromLatin1(absent)), absent);
    const tPanel_texts placed = Task_panel_texts(plots.Task, 0);
    QCOMPARE(placed.Labels.size(), std::size_t{1});
    const QRectF box = placed.Labels[0].Box;
    QVERIFY(placed.Area.contains(box));
    const QRectF inner = box.adjusted(0.5, 0.5, -0.5, -0.5);
    for (const QPolygonF& line : placed.Lines)
      for (qsizetype i = 0; i + 1 < line.size(); ++i)
        for (int j = 0; j <= 20; ++j)
          QVERIFY(!inner.contains(QLineF(line[i], line[i + 1]).pointAt(j / 20.0)));
  }

  // The case panel's caption shows r with the decimals it was typed with (at least two).
  void Caption_shows_inputs_with_their_decimals_data() {
    QTest::addColumn<QString>("r");
    QTest::addColumn<QString>("shown");
    QTest::newRow("four decimals") << "0.9999" << "r = 0.9999";
    QTest::newRow("one decimal") << "0.6" << "r = 0.60";
    QTest::newRow("negative, three") << "-.355" << "r = -0.355";
  }
  void Caption_shows_inputs_with_their_decimals() {
    QFETCH(QString, r);
    QFETCH(QString, shown);
    QStringList inputs = kExample;
    inputs[4] = r;
    Run(inputs);
    Show_plots()->trigger();
    const tResult_plots& plots = viewer_->Plots_window()->Plots();
    QVERIFY2(QString::fromStdString(plots.Case.Caption).contains(shown + QLatin1Char(')')),
             plots.Case.Caption.c_str());
    QVERIFY2(QString::fromStdString(plots.Title).contains(shown + QLatin1Char(';')),
             plots.Title.c_str());
  }

  // After Clear Results nothing is left to save, and the cleared run has no plots.
  void Cleared_results_leave_nothing_to_save_or_plot() {
    Run(kExample);
    Show_plots()->trigger();
    QVERIFY(viewer_->Plots_window()->isVisible());
    tDialogs::Set_next_confirmation(true);
    Click(viewer_.get(), "cmdClearResults");
    QVERIFY(!viewer_->Has_text());
    QVERIFY(!viewer_->Plots_window()->isVisible());
    tDialogs::Clear_shown();
    Click(viewer_.get(), "cmdSaveOutput");
    QCOMPARE(Count_shown(tDialogs::tKind::Save_dialog), 0);
    QCOMPARE(Count_shown(tDialogs::tKind::Warning), 1);
    QVERIFY(Last_shown_text(tDialogs::tKind::Warning).contains(QStringLiteral("nothing to save")));
    tDialogs::Clear_shown();
    Show_plots()->trigger();  // Ctrl+G
    QCOMPARE(Count_shown(tDialogs::tKind::Warning), 1);
    QVERIFY(Last_shown_text(tDialogs::tKind::Warning).contains(QStringLiteral("no plots")));
    QVERIFY(!viewer_->Plots_window()->isVisible());
  }
};

QTEST_MAIN(TestPlots)
#include "test_gui_plots.moc"
