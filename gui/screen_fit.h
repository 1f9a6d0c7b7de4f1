// SPDX-License-Identifier: GPL-3.0-or-later
// Windows open inside the available area of their screen (the screen less its panels and
// docks), whatever the display scale: a window asks for the size it was designed at and
// gets at most what the area leaves for its client once the window frame is counted.
#pragma once

#include <QMargins>
#include <QSize>

class QWidget;

// The window's frame around its client area: the platform's own once the window is shown;
// before that, on a platform with a window manager, an allowance for a title bar and borders.
QMargins Window_frame(const QWidget* window);

// The largest client size up to wanted whose frame fits the available area of the
// window's screen (wanted itself where there is no screen).
QSize Fitting_client_size(const QWidget* window, QSize wanted);

// Moves the window so that its frame is centred on the available area, or starts at the
// area's top left where the frame is larger than the area.
void Centre_on_screen(QWidget* window);

// Moves the window so that its frame is centred on the frame of another (its owner), kept
// inside the available area of the window's screen.
void Centre_on_window(QWidget* window, const QWidget* over);
