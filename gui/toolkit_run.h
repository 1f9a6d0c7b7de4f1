// SPDX-License-Identifier: GPL-3.0-or-later
// A toolkit computation on a worker thread: the window stays drawn, a window-modal
// progress box appears after half a second, and its Cancel stops the run (the
// computation polls the observer's flag and throws ECancelled). Progress reaches the box
// only through queued calls. Results or the computation's exception come back to the
// caller's (GUI) thread.
#pragma once

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QProgressDialog>
#include <QThread>
#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <optional>

#include "distrib/progress.h"

template <typename tResult>
tResult Run_toolkit_in_background(QWidget* window,
                                  const std::function<tResult(const tProgress_observer&)>& compute) {
  constexpr int kSteps = 1000;
  auto cancel = std::make_shared<std::atomic<bool>>(false);
  QProgressDialog box(QStringLiteral("Computing..."), QStringLiteral("Cancel"), 0, kSteps, window);
  box.setWindowModality(Qt::WindowModal);
  box.setMinimumDuration(500);
  box.setAutoClose(false);
  box.setAutoReset(false);
  QObject::connect(&box, &QProgressDialog::canceled, [cancel] { cancel->store(true); });
  QPointer<QProgressDialog> guard(&box);

  std::optional<tResult> result;
  std::exception_ptr fault;
  tProgress_observer observer;
  observer.Cancel = cancel.get();
  observer.Progress = [guard](std::int64_t done, std::int64_t total) {
    const int value = total > 0 ? static_cast<int>(done * kSteps / total) : 0;
    QMetaObject::invokeMethod(
        guard, [guard, value] { if (guard) guard->setValue(value); }, Qt::QueuedConnection);
  };
  QEventLoop loop;
  std::unique_ptr<QThread> worker(QThread::create([&] {
    try {
      result.emplace(compute(observer));
    } catch (...) {
      fault = std::current_exception();
    }
  }));
  QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
  worker->start();
  // The window's own buttons do nothing while computing (the caller's flag), and the box,
  // once shown, is modal over it; Cancel needs the user's input, so none is excluded.
  loop.exec();
  worker->wait();
  QCoreApplication::removePostedEvents(&box);
  if (fault) std::rethrow_exception(fault);
  return std::move(*result);
}
