// SPDX-License-Identifier: GPL-3.0-or-later
// An analysis run on a worker thread, so that the windows stay drawn and the run can be
// watched and cancelled: the one runner of the worksheet and of the toolkit's windows. The
// caller's thread keeps handling events meanwhile, but no click, key, paste or drop
// reaches the guarded windows: such input is dropped, not kept for later. After half a
// second a window-modal progress box appears over the window.
#pragma once

#include <QObject>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "distrib/progress.h"

class QWidget;

// Drops user input (mouse buttons, wheel, keys, shortcuts, input methods, context menus,
// drag and drop) aimed at the given windows or anything inside them, for as long as it
// lives; other windows (message boxes, the progress box) get theirs as usual. On its end
// it first handles what is still waiting in the event queue, so that nothing typed or
// clicked meanwhile arrives later.
class tInput_guard : public QObject {
 public:
  explicit tInput_guard(std::vector<const QWidget*> windows);
  ~tInput_guard() override;
  tInput_guard(const tInput_guard&) = delete;
  tInput_guard& operator=(const tInput_guard&) = delete;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::vector<const QWidget*> windows_;
};

// What the run shows while it goes on.
struct tBackground_view {
  QWidget* Window = nullptr;                // parent of the progress box, guarded
  std::vector<const QWidget*> Also_guarded;  // further windows that take no input meanwhile
  // A warning of the statistics (raised on the worker): shown on the caller's thread; the
  // worker waits until it returns.
  std::function<void(const std::string& message, QWidget* over)> Warning;
  bool Busy_cursor = false;  // the wait cursor while the work runs
};

// The delay before the progress box appears, in milliseconds.
constexpr int kProgress_delay_ms = 500;

// Runs work on a worker thread, with the observer through which it reports and is
// cancelled, and returns when it has ended; throws what it threw (ECancelled after
// Cancel). Call it from the GUI thread.
void Run_work_in_background(const std::function<void(const tProgress_observer& observer)>& work,
                            const tBackground_view& view);

// Runs the computation (a callable taking the observer) on a worker thread and returns
// its results, or throws what it threw (ECancelled after Cancel).
template <typename tCompute>
auto Run_in_background(const tCompute& compute, const tBackground_view& view)
    -> std::invoke_result_t<const tCompute&, const tProgress_observer&> {
  std::optional<std::invoke_result_t<const tCompute&, const tProgress_observer&>> results;
  Run_work_in_background(
      [&](const tProgress_observer& observer) { results.emplace(compute(observer)); }, view);
  return std::move(*results);
}

// A window's run of Run_work_in_background: running is true while the work runs; a Cancel
// ends it quietly, and an error is shown in a message box over view.Window once the run
// has ended. True when the work ended normally.
bool Run_work_shown(const std::function<void(const tProgress_observer& observer)>& work,
                    const tBackground_view& view, bool& running);

// Run_in_background as a window runs it (Run_work_shown): the results, or none after a
// Cancel or an error.
template <typename tCompute>
auto Run_shown_in_background(const tCompute& compute, const tBackground_view& view,
                             bool& running)
    -> std::optional<std::invoke_result_t<const tCompute&, const tProgress_observer&>> {
  std::optional<std::invoke_result_t<const tCompute&, const tProgress_observer&>> results;
  Run_work_shown([&](const tProgress_observer& observer) { results.emplace(compute(observer)); },
                 view, running);
  return results;
}
