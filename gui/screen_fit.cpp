// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/screen_fit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace {

// Room for a window manager's title bar and borders, in device-independent pixels, while
// the real frame is not yet known (before the window is first mapped).
const QMargins kFrame_allowance(4, 36, 4, 4);

QRect Available_area(const QWidget* window) {
  const QScreen* screen = window->screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->availableGeometry() : QRect();
}

}  // namespace

QMargins Window_frame(const QWidget* window) {
  const QWindow* handle = window->windowHandle();
  const QMargins known = handle != nullptr ? handle->frameMargins() : QMargins();
  if (!known.isNull()) return known;
  // Platforms without windows on a desktop (offscreen, minimal) draw no frame.
  const QString platform = QGuiApplication::platformName();
  if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) return {};
  return kFrame_allowance;
}

QSize Fitting_client_size(const QWidget* window, QSize wanted) {
  const QRect area = Available_area(window);
  if (area.isEmpty()) return wanted;
  const QMargins frame = Window_frame(window);
  const QSize room(area.width() - frame.left() - frame.right(),
                   area.height() - frame.top() - frame.bottom());
  return wanted.boundedTo(room.expandedTo(QSize(1, 1)));
}

void Centre_on_screen(QWidget* window) {
  const QRect area = Available_area(window);
  if (area.isEmpty()) return;
  const QMargins frame = Window_frame(window);
  const QSize outer = window->size().grownBy(frame);
  const int left = std::max(area.left(), area.left() + (area.width() - outer.width()) / 2);
  const int top = std::max(area.top(), area.top() + (area.height() - outer.height()) / 2);
  window->move(left, top);  // a window's position is its frame's
}

void Centre_on_window(QWidget* window, const QWidget* over) {
  const QRect area = Available_area(window);
  const QMargins frame = Window_frame(window);
  const QSize outer = window->size().grownBy(frame);
  const QPoint centre = over->frameGeometry().center();
  int left = centre.x() - outer.width() / 2;
  int top = centre.y() - outer.height() / 2;
  if (!area.isEmpty()) {
    left = std::max(area.left(), std::min(left, area.right() + 1 - outer.width()));
    top = std::max(area.top(), std::min(top, area.bottom() + 1 - outer.height()));
  }
  window->move(left, top);
}
