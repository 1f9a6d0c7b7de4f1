// SPDX-License-Identifier: GPL-3.0-or-later
// The layout shared by the plots' drawing (gui/plot_painting.cpp) and the placing of their
// texts (gui/plot_texts.cpp): the panels' geometry in logical units, the fonts, the
// mapping from plot units, and the choice of a place for a text clear of lines and of
// other texts.
#pragma once

#include <QFont>
#include <QLineF>
#include <QPolygonF>
#include <QRectF>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "gui/plots_window.h"

namespace plot_layout {

// Layout of a panel in logical units: its plot area is a square, so that the case's panel
// has equal scales on both axes. Below it stand the tick labels, the axis title, the
// legend and the caption.
constexpr double kPanel_width = kPlots_width / 2.0;
constexpr double kPlot_left = 64, kPlot_top = 40, kPlot_size = 400;
constexpr double kLegend_offset = 44;  // from the plot area's bottom to the legend's top
constexpr double kSwatch_width = 22, kSwatch_height = 12;

inline QString Text(const std::string& text) { return QString::fromStdString(text); }

QFont Font(int pixel_size, bool bold = false);

// Maps plot units into one panel's plot area.
struct tFrame {
  QRectF Area;
  tAxis X, Y;
  QPointF Map(double x, double y) const {
    return {Area.left() + (x - X.Lower) / (X.Upper - X.Lower) * Area.width(),
            Area.bottom() - (y - Y.Lower) / (Y.Upper - Y.Lower) * Area.height()};
  }
  double Map_x(double x) const { return Map(x, Y.Lower).x(); }
};

// The box that a boxed text of this font takes, anchored as Qt's alignment flags say.
QRectF Text_box(const QFont& font, const QString& text, const QPointF& anchor,
                Qt::Alignment align);

bool Crosses(const QRectF& box, const QLineF& line);

// Of the candidate boxes inside the area, the one that meets no box already placed and
// the fewest drawn lines, each segment of lines[k] met counting weights[k] (the first of
// equals, so candidates go in order of preference); lines[skip] is the line the text
// labels, which it may touch.
QRectF Clearest(const std::vector<QRectF>& candidates, const QRectF& area,
                const std::vector<QPolygonF>& lines, const std::vector<double>& weights,
                const std::vector<QRectF>& taken, std::size_t skip = SIZE_MAX);

// The legend's entries in one row centred under the plot area, or one entry per row where
// one row is wider than the panel; each entry is its swatch and its text.
std::vector<tPlaced_text> Legend(const QRectF& area, double left,
                                 const std::vector<QString>& entries);

tFrame Case_frame(const tCase_plot& plot, double left);
tFrame Posterior_frame(const tPosterior_plot& plot, double left);
tFrame Task_frame(const tTask_plot& plot, double left);

}  // namespace plot_layout
