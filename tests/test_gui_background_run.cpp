// SPDX-License-Identifier: GPL-3.0-or-later
// The one background runner of the windows, on its own: a computation on a worker
// thread reporting progress and polling the cancel flag; the progress box only for runs
// longer than half a second; Cancel, Escape or the box's close stopping the run with
// ECancelled and no result; the statistics' warnings shown on the GUI thread; the
// worker's results the very bits of a direct run.
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>

#include "app/analysis_run.h"
#include "distrib/progress.h"
#include "gui/background_run.h"
#include "gui/dialogs.h"
#include "stats/metrics_papers.h"

namespace {

constexpr std::int64_t kSteps = 1000;

// A computation of `steps` steps of a millisecond each that reports them as iterations
// and stops on the cancel flag; returns the steps done.
std::int64_t Steps(const tProgress_observer& observer, std::int64_t steps) {
  for (std::int64_t done = 0; done < steps; ++done) {
    if (observer.Cancel_requested()) throw ECancelled();
    if (observer.Progress) observer.Progress(done, steps);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return steps;
}

}  // namespace

class TestBackgroundRun : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QWidget> window_;
  tBackground_view view_;

  QDialog* Box() { return window_->findChild<QDialog*>(QStringLiteral("frmProgress")); }

 private slots:
  void initTestCase() { tDialogs::Start_scripted(); }
  void init() {
    window_ = std::make_unique<QWidget>();
    window_->resize(400, 300);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    view_ = tBackground_view{};
    view_.Window = window_.get();
  }
  void cleanup() { window_.reset(); }

  // The box appears only once a run has lasted half a second, and goes with the run.
  void Progress_box_appears_after_half_a_second_data() {
    QTest::addColumn<int>("milliseconds");
    QTest::addColumn<bool>("shown");
    QTest::newRow("a tenth of a second: no box") << 100 << false;
    QTest::newRow("a second and a half: the box") << 1500 << true;
  }
  void Progress_box_appears_after_half_a_second() {
    QFETCH(int, milliseconds);
    QFETCH(bool, shown);
    bool seen = false;
    QString iterations;
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&] {
      QDialog* box = Box();
      if (box == nullptr || !box->isVisible()) return;
      seen = true;
      iterations = box->findChild<QLabel*>(QStringLiteral("lblIterations"))->text();
    });
    watch.start(20);
    QElapsedTimer clock;
    clock.start();
    const std::int64_t done = Run_in_background(
        [&](const tProgress_observer& observer) { return Steps(observer, milliseconds); }, view_);
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(done, std::int64_t{milliseconds});
    // A box shown in the first half second, or none after it, is a fault.
    QCOMPARE(seen, shown);
    if (shown) {
      QVERIFY2(iterations.startsWith(QStringLiteral("Monte Carlo iterations done: ")) &&
                   iterations.endsWith(QStringLiteral(" of 1,500")),
               qPrintable(iterations));
    }
    QVERIFY(elapsed >= milliseconds);
    QVERIFY(Box() == nullptr || !Box()->isVisible());
  }

  // Cancel by the box's button, Escape or its title bar: the computation stops at its next
  // check, the caller gets ECancelled and no result, with no message shown.
  void Cancel_stops_the_run_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("Cancel button") << "button";
    QTest::newRow("Escape") << "escape";
    QTest::newRow("title bar close") << "close";
  }
  void Cancel_stops_the_run() {
    QFETCH(QString, how);
    tDialogs::Clear_shown();
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&] {
      QDialog* box = Box();
      if (box == nullptr || !box->isVisible()) return;
      watch.stop();
      if (how == QLatin1String("button")) {
        QTest::mouseClick(box->findChild<QPushButton*>(QStringLiteral("cmdCancel")), Qt::LeftButton);
      } else if (how == QLatin1String("escape")) {
        QTest::keyClick(box, Qt::Key_Escape);
      } else {
        box->close();
      }
    });
    watch.start(20);
    std::atomic<std::int64_t> reached{0};
    bool returned = false, cancelled = false;
    try {
      Run_in_background(
          [&](const tProgress_observer& observer) {
            tProgress_observer counting = observer;
            counting.Progress = [&](std::int64_t done, std::int64_t total) {
              reached = done;
              observer.Progress(done, total);
            };
            return Steps(counting, 20 * kSteps);  // 20 s unless cancelled
          },
          view_);
      returned = true;
    } catch (const ECancelled&) {
      cancelled = true;
    }
    QVERIFY(cancelled);
    QVERIFY(!returned);
    QVERIFY2(reached < 10 * kSteps, "the run went on after the cancel");
    QVERIFY(tDialogs::Shown().empty());
  }

  // The statistics' warning raised on the worker thread is shown on the GUI thread, and
  // the worker waits until it has been answered; the worker's errors come back.
  void Worker_warning_is_shown_on_the_gui_thread() {
    std::atomic<bool> answered{false};
    bool on_gui_thread = false;
    QString shown;
    view_.Warning = [&](const std::string& message, QWidget*) {
      on_gui_thread = QThread::currentThread() == QCoreApplication::instance()->thread();
      shown = QString::fromStdString(message);
      QTest::qWait(50);
      answered = true;
    };
    const bool waited = Run_in_background(
        [&](const tProgress_observer&) {
          Simpson_integral(0, 99999);
          return answered.load();
        },
        view_);
    QVERIFY(on_gui_thread);
    QCOMPARE(shown, QStringLiteral("Too many steps"));
    QVERIFY(waited);
    QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                             Run_in_background(
                                 [](const tProgress_observer&) -> int {
                                   throw std::runtime_error("no room");
                                 },
                                 view_));
  }

  // A window's run: the results, or none after a Cancel (quietly) or an error (its message
  // in an error box); the window's running flag is set only while the work runs.
  void Window_run_shows_an_error_and_gives_no_results() {
    tDialogs::Clear_shown();
    bool running = false;
    bool running_inside = false;
    const std::optional<int> done = Run_shown_in_background(
        [&](const tProgress_observer&) {
          running_inside = running;
          return 7;
        },
        view_, running);
    QVERIFY(running_inside);
    QVERIFY(!running);
    QCOMPARE(done, std::optional<int>(7));
    const std::optional<int> cancelled = Run_shown_in_background(
        [](const tProgress_observer&) -> int { throw ECancelled(); }, view_, running);
    QVERIFY(!cancelled);
    QVERIFY(tDialogs::Shown().empty());
    const std::optional<int> failed = Run_shown_in_background(
        [](const tProgress_observer&) -> int { throw std::runtime_error("no room"); }, view_,
        running);
    QVERIFY(!failed);
    QVERIFY(!running);
    QCOMPARE(tDialogs::Shown().size(), std::size_t{1});
    QCOMPARE(tDialogs::Shown().front().Text, QStringLiteral("no room"));
  }

  // The worker thread computes the very bits that the calling thread computes.
  void Background_run_matches_a_direct_run() {
    const tChecked_inputs inputs{100, 15, 50, 10, 0.6, 20, 80, 40, 20};
    tRun_options options;
    options.Criteria = tCriteria::Combined;
    options.Iterations = 20000;
    const tRun_results direct = Compute_analysis(inputs, options);
    const tRun_results background = Run_in_background(
        [&](const tProgress_observer& observer) {
          return Compute_analysis(inputs, options, &observer);
        },
        view_);
    const auto values = [](const tRun_results& r) {
      const tBSDT_results& b = r.Bsdt;
      return std::vector<Extended>{b.P_one_tailed, b.P_two_tailed, b.Pct_more_extreme,
                                   b.Pct_lower, b.Pct_upper, b.Zdcc, b.Zdcc_lower, b.Zdcc_upper,
                                   r.Deficit_x_results.Zcc_lower, r.Deficit_y_results.Pct_upper,
                                   r.Rsdt_t};
    };
    QVERIFY(values(direct) == values(background));
  }
};

QTEST_MAIN(TestBackgroundRun)
#include "test_gui_background_run.moc"
