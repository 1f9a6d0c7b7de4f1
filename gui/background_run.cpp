// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/background_run.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <exception>
#include <thread>

#include "gui/dialogs.h"
#include "gui/progress_dialog.h"
#include "stats/metrics_papers.h"

namespace {

constexpr int kPoll_ms = 100;  // how often the progress box is brought up to date

bool Is_user_input(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::InputMethod:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
      return true;
    default:
      return false;
  }
}

// The wait cursor for the duration of a run; the destructor brings the default cursor
// back also when the run ends in an error.
class tBusy_cursor {
 public:
  explicit tBusy_cursor(bool on) : on_(on) {
    if (on_) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  }
  ~tBusy_cursor() {
    if (on_) QGuiApplication::restoreOverrideCursor();
  }
  tBusy_cursor(const tBusy_cursor&) = delete;
  tBusy_cursor& operator=(const tBusy_cursor&) = delete;

 private:
  bool on_;
};

}  // namespace

tInput_guard::tInput_guard(std::vector<const QWidget*> windows) : windows_(std::move(windows)) {
  QCoreApplication::instance()->installEventFilter(this);
}

tInput_guard::~tInput_guard() {
  // Input that reached the queue during the run is handled (and dropped) now, while the
  // filter is still in place.
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents(QEventLoop::ExcludeSocketNotifiers);
  QCoreApplication::instance()->removeEventFilter(this);
}

bool tInput_guard::eventFilter(QObject* watched, QEvent* event) {
  if (!Is_user_input(event->type()) || !watched->isWidgetType()) return false;
  const QWidget* window = static_cast<QWidget*>(watched)->window();
  if (std::find(windows_.begin(), windows_.end(), window) == windows_.end()) return false;
  event->accept();
  return true;
}

void Run_work_in_background(const std::function<void(const tProgress_observer& observer)>& work,
                            const tBackground_view& view) {
  std::vector<const QWidget*> guarded = view.Also_guarded;
  guarded.push_back(view.Window);
  const tInput_guard guard(guarded);

  std::atomic<bool> cancel{false};
  std::atomic<std::int64_t> done{0};
  std::atomic<std::int64_t> total{0};
  std::atomic<bool> warning_open{false};
  std::atomic<bool> finished{false};
  tProgress_observer observer;
  observer.Cancel = &cancel;
  observer.Progress = [&](std::int64_t d, std::int64_t t) {
    done.store(d, std::memory_order_relaxed);
    total.store(t, std::memory_order_relaxed);
  };

  TfrmProgress progress(view.Window);
  QObject::connect(&progress, &TfrmProgress::Cancel_clicked, [&] { cancel.store(true); });

  QEventLoop loop;
  std::exception_ptr failure;
  // A context object on this thread, through which the worker reaches it.
  QObject relay;

  std::jthread worker([&] {
    try {
      // The warning hook is per thread: this one hands the message to the GUI thread and
      // waits until the box has been answered, or until the run is abandoned (the
      // application quitting), when nobody will answer it.
      Set_warning_hook([&](const std::string& message) {
        auto answered = std::make_shared<std::promise<void>>();
        std::future<void> answer = answered->get_future();
        QMetaObject::invokeMethod(
            &relay,
            [&, message, answered] {
              warning_open.store(true);
              QWidget* over = progress.isVisible() ? static_cast<QWidget*>(&progress) : view.Window;
              if (view.Warning) view.Warning(message, over);
              warning_open.store(false);
              answered->set_value();
            },
            Qt::QueuedConnection);
        while (answer.wait_for(std::chrono::milliseconds(kPoll_ms)) != std::future_status::ready) {
          if (cancel.load()) return;
        }
      });
      work(observer);
    } catch (...) {
      failure = std::current_exception();
    }
    Set_warning_hook(nullptr);
    finished.store(true);
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });

  // The progress box appears once the run has lasted the delay, and is then kept up to
  // date; the estimate of the time left counts from the first iterations reported.
  QElapsedTimer clock;
  clock.start();
  std::int64_t first_done = -1;
  qint64 first_ms = 0;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    const std::int64_t d = done.load(std::memory_order_relaxed);
    const std::int64_t t = total.load(std::memory_order_relaxed);
    const qint64 now = clock.elapsed();
    if (d > 0 && first_done < 0) {
      first_done = d;
      first_ms = now;
    }
    double left = -1;
    if (first_done >= 0 && d > first_done && t >= d) {
      left = static_cast<double>(now - first_ms) / 1000.0 * static_cast<double>(t - d) /
             static_cast<double>(d - first_done);
    }
    progress.Set_progress(d, t, left);
    if (!progress.isVisible() && now >= kProgress_delay_ms && !warning_open.load()) {
      progress.show();
    }
  });
  poll.start(kPoll_ms);

  loop.exec();
  // The loop also ends when the application is told to quit: the run is then cancelled
  // rather than waited for.
  if (!finished.load()) cancel.store(true);
  worker.join();
  poll.stop();
  progress.hide();

  if (failure) std::rethrow_exception(failure);
}

bool Run_work_shown(const std::function<void(const tProgress_observer& observer)>& work,
                    const tBackground_view& view, bool& running) {
  try {
    const tBusy_cursor busy(view.Busy_cursor);
    running = true;
    Run_work_in_background(work, view);
    running = false;
    return true;
  } catch (const ECancelled&) {
    running = false;
  } catch (const std::exception& error) {
    running = false;
    tDialogs::Error(view.Window, QString::fromStdString(error.what()));
  }
  return false;
}
