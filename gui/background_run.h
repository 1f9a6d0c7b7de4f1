// SPDX-License-Identifier: GPL-3.0-or-later
// An analysis run on a worker thread, so that the windows stay drawn and the run can be
// watched and cancelled. The caller's thread keeps handling events meanwhile, but no
// click, key, paste or drop reaches the guarded windows: such input is dropped, not kept
// for later. After half a second a window-modal progress box appears over the window.
#pragma once

#include <QObject>
#include <functional>
#include <string>
#include <vector>

#include "app/analysis_run.h"
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
};

// The delay before the progress box appears, in milliseconds.
constexpr int kProgress_delay_ms = 500;

// The computation to run, with the observer through which it reports and is cancelled.
using tComputation = std::function<tRun_results(const tProgress_observer& observer)>;

// Runs the computation on a worker thread and returns its results, or throws what it
// threw (ECancelled after Cancel). Call it from the GUI thread.
tRun_results Run_in_background(const tComputation& compute, const tBackground_view& view);
