// SPDX-License-Identifier: GPL-3.0-or-later
// The "Plan a study" window driven through its widgets (offscreen): reached from the
// worksheet's button row, exact curves against N and against the effect that rise with
// both, a refused field, the export to PNG, SVG and PDF, and a screenshot.
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "gui/dialogs.h"
#include "gui/planning_window.h"
#include "gui/worksheet_window.h"
#include "gui_test_support.h"

class TestPlanningWindow : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  std::unique_ptr<TfrmTemplate> worksheet_;

  TfrmPlanning* Open() {
    auto* b = worksheet_->findChild<QPushButton*>(QStringLiteral("cmdPlanWindow"));
    if (b == nullptr) return nullptr;
    b->click();
    return worksheet_->findChild<TfrmPlanning*>(QStringLiteral("frmPlanning"));
  }
  static std::size_t Errors() {
    std::size_t n = 0;
    for (const auto& shown : tDialogs::Shown())
      n += shown.Kind == tDialogs::tKind::Error || shown.Kind == tDialogs::tKind::Warning;
    return n;
  }
  static void Type(TfrmPlanning* w, const char* name, const QString& text) {
    auto* field = w->findChild<QLineEdit*>(QString::fromLatin1(name));
    QVERIFY(field != nullptr);
    field->setText(text);
  }

 private slots:
  void initTestCase() { QVERIFY(Start_scripted_in(dir_)); }
  void init() {
    tDialogs::Clear_shown();
    worksheet_ = std::make_unique<TfrmTemplate>();
    Add_planning_button(worksheet_.get());
  }
  void cleanup() { worksheet_.reset(); }

  void Curves_rise_with_sample_and_effect() {
    TfrmPlanning* w = Open();
    QVERIFY(w != nullptr);
    Type(w, "txtEffects", QStringLiteral("-3,-2"));
    Type(w, "txtN", QStringLiteral("5:60:5"));
    w->findChild<QComboBox*>(QStringLiteral("cboCase"))->setCurrentIndex(1);  // random
    w->findChild<QPushButton*>(QStringLiteral("cmdCompute"))->click();
    QCOMPARE(tDialogs::Shown().size(), std::size_t{0});
    QCOMPARE(w->Curves().Curves.size(), std::size_t{2});
    for (const tPower_curve& c : w->Curves().Curves) {
      QCOMPARE(c.Points.size(), std::size_t{12});
      for (std::size_t i = 1; i < c.Points.size(); ++i) QVERIFY(c.Points[i].y() > c.Points[i - 1].y());
    }
    // At each N the larger effect has the higher power.
    for (std::size_t i = 0; i < 12; ++i)
      QVERIFY(w->Curves().Curves[0].Points[i].y() > w->Curves().Curves[1].Points[i].y());
    w->resize(1100, 520);
    w->grab().save(QStringLiteral(KESTRUM_SCREENSHOT_DIR "/planning_window.png"));

    w->findChild<QComboBox*>(QStringLiteral("cboAxis"))->setCurrentIndex(1);
    Type(w, "txtEffects", QStringLiteral("-4:0:0.5"));
    Type(w, "txtN", QStringLiteral("10,40"));
    w->findChild<QPushButton*>(QStringLiteral("cmdCompute"))->click();
    QCOMPARE(w->Curves().Curves.size(), std::size_t{2});
    const auto& c = w->Curves().Curves[0].Points;
    QCOMPARE(c.size(), std::size_t{9});
    for (std::size_t i = 1; i < c.size(); ++i) QVERIFY(c[i].y() < c[i - 1].y());  // -4 .. 0
    QVERIFY(std::abs(c.back().y() - 0.05) < 1e-9);  // random case at 0: alpha
  }

  void Refused_field_shows_a_warning() {
    TfrmPlanning* w = Open();
    QVERIFY(w != nullptr);
    Type(w, "txtN", QStringLiteral("ten"));
    w->findChild<QPushButton*>(QStringLiteral("cmdCompute"))->click();
    QCOMPARE(tDialogs::Shown().size(), std::size_t{1});
    QVERIFY(w->Curves().Curves.empty());
  }

  void Exports_png_svg_and_pdf() {
    TfrmPlanning* w = Open();
    QVERIFY(w != nullptr);
    w->findChild<QPushButton*>(QStringLiteral("cmdCompute"))->click();
    QVERIFY(!w->Curves().Curves.empty());
    const QByteArray starts[] = {QByteArray("\x89PNG"), QByteArray("<?xml"), QByteArray("%PDF")};
    const char* suffixes[] = {"png", "svg", "pdf"};
    for (int k = 0; k < 3; ++k) {
      const QString path = dir_.filePath(QStringLiteral("curves.") + QString::fromLatin1(suffixes[k]));
      tDialogs::Set_next_save_file(path);
      w->findChild<QPushButton*>(QStringLiteral("cmdExport"))->click();
      QFile f(path);
      QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(path));
      QVERIFY(f.read(5).startsWith(starts[k]));
    }
    QCOMPARE(Errors(), std::size_t{0});
    tDialogs::Set_next_save_file(dir_.filePath(QStringLiteral("curves.gif")));
    w->findChild<QPushButton*>(QStringLiteral("cmdExport"))->click();
    QCOMPARE(Errors(), std::size_t{1});  // refused with a message
  }
};

QTEST_MAIN(TestPlanningWindow)
#include "test_gui_planning.moc"
