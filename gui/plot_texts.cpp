// SPDX-License-Identifier: GPL-3.0-or-later
// Where each panel's texts stand, clear of its lines and of each other.
#include <QFontMetricsF>
#include <algorithm>

#include "gui/plot_layout.h"

using namespace plot_layout;

tPanel_texts Case_panel_texts(const tCase_plot& plot, double left) {
  const tFrame f = Case_frame(plot, left);
  tPanel_texts texts;
  texts.Area = f.Area;
  for (const tCoverage_ellipse& e : plot.Ellipses) {
    QPolygonF polygon;
    for (const tPlot_point& point : e.Points) polygon << f.Map(point.X, point.Y);
    if (!polygon.isEmpty()) polygon << polygon.front();
    texts.Lines.push_back(polygon);
  }
  // Both axes share one range, so the line z_x = z_y runs corner to corner.
  texts.Lines.push_back(QPolygonF{f.Map(f.X.Lower, f.X.Lower), f.Map(f.X.Upper, f.X.Upper)});

  // Texts keep off the dashed line above all: there is always room on one side of it.
  std::vector<double> weights(texts.Lines.size(), 1.0);
  weights.back() = 1000;
  const QPointF c = f.Map(plot.Case.X, plot.Case.Y);
  std::vector<QRectF> taken = {QRectF(c - QPointF(8, 8), QSizeF(16, 16))};  // the case's point
  // Each ellipse's label just outside one of its four extremes, the top first, centred on
  // the extreme or beside it.
  const QFont label_font = Font(12);
  for (std::size_t e = 0; e < plot.Ellipses.size(); ++e) {
    const tCoverage_ellipse& ellipse = plot.Ellipses[e];
    const QString label = Text(ellipse.Label);
    const QPolygonF& line = texts.Lines[e];
    const auto extreme = [&](auto&& less) { return *std::max_element(line.begin(), line.end(), less); };
    const auto by_x = [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); };
    const auto by_y = [](const QPointF& a, const QPointF& b) { return a.y() < b.y(); };
    const auto reversed = [](auto&& less) { return [less](const QPointF& a, const QPointF& b) { return less(b, a); }; };
    const struct {
      QPointF At;
      Qt::Alignment Outward;
      QPointF Step;
    } extremes[] = {{extreme(reversed(by_y)), Qt::AlignBottom, {0, -2}},
                    {extreme(by_x), Qt::AlignLeft, {2, 0}},
                    {extreme(by_y), Qt::AlignTop, {0, 2}},
                    {extreme(reversed(by_x)), Qt::AlignRight, {-2, 0}}};
    std::vector<QRectF> candidates;
    for (const auto& x : extremes) {
      const bool vertical = x.Outward & (Qt::AlignTop | Qt::AlignBottom);
      const Qt::Alignment across[] = {vertical ? Qt::AlignHCenter : Qt::AlignVCenter,
                                      vertical ? Qt::AlignRight : Qt::AlignBottom,
                                      vertical ? Qt::AlignLeft : Qt::AlignTop};
      for (const Qt::Alignment a : across)
        candidates.push_back(Text_box(label_font, label, x.At + x.Step, x.Outward | a));
    }
    const QRectF box = Clearest(candidates, f.Area, texts.Lines, weights, taken, e);
    texts.Labels.push_back({label, box});
    taken.push_back(box);
  }
  // The case's label beside its point, away from the middle first.
  const QString label = Text(plot.Case_label);
  const QFont case_font = Font(12, true);
  const Qt::Alignment x_away = c.x() < f.Area.center().x() ? Qt::AlignRight : Qt::AlignLeft;
  const Qt::Alignment x_toward = x_away == Qt::AlignRight ? Qt::AlignLeft : Qt::AlignRight;
  const Qt::Alignment y_away = c.y() < f.Area.center().y() ? Qt::AlignBottom : Qt::AlignTop;
  const Qt::Alignment y_toward = y_away == Qt::AlignBottom ? Qt::AlignTop : Qt::AlignBottom;
  const auto offset = [&](Qt::Alignment a) {
    return QPointF(a & Qt::AlignRight ? -8 : a & Qt::AlignLeft ? 8 : 0,
                   a & Qt::AlignBottom ? -8 : a & Qt::AlignTop ? 8 : 0);
  };
  std::vector<QRectF> candidates;
  for (const Qt::Alignment a :
       {x_away | y_away, x_away | y_toward, x_toward | y_away, x_toward | y_toward,
        x_away | Qt::AlignVCenter, x_toward | Qt::AlignVCenter, Qt::AlignHCenter | y_away,
        Qt::AlignHCenter | y_toward}) {
    candidates.push_back(Text_box(case_font, label, c + offset(a), a));
  }
  // Then above and below the point, slid sideways by eighths of the label's width, up to
  // a quarter of it beyond the point.
  const double width = candidates.front().width(), reach = width / 2 + 8 + width / 4;
  for (const Qt::Alignment a : {y_away, y_toward}) {
    for (double dx = -reach; dx <= reach; dx += width / 8)
      candidates.push_back(Text_box(case_font, label, c + offset(a) + QPointF(dx, 0),
                                    Qt::AlignHCenter | a));
  }
  texts.Labels.push_back({label, Clearest(candidates, f.Area, texts.Lines, weights, taken)});
  texts.Legend = Legend(f.Area, left, {Text(plot.Regions_label), Text(plot.Diagonal_label)});
  return texts;
}

// The case's label beside its line, high up where the curve leaves room, on the side away
// from the middle first.
tPanel_texts Task_panel_texts(const tTask_plot& plot, double left) {
  const tFrame f = Task_frame(plot, left);
  tPanel_texts texts;
  texts.Area = f.Area;
  QPolygonF curve;
  for (const tPlot_point& point : plot.Density) curve << f.Map(point.X, point.Y);
  texts.Lines.push_back(curve);
  const double x = f.Map_x(plot.Case_z);
  texts.Lines.push_back(QPolygonF{QPointF(x, f.Area.top()), QPointF(x, f.Area.bottom())});
  const QString label = Text(plot.Case_label);
  const QFont font = Font(12, true);
  const Qt::Alignment away = plot.Case_z < 0 ? Qt::AlignRight : Qt::AlignLeft;
  const Qt::Alignment toward = away == Qt::AlignRight ? Qt::AlignLeft : Qt::AlignRight;
  std::vector<QRectF> candidates;
  for (double height = 0.05; height < 0.95; height += 0.1)
    for (const Qt::Alignment side : {away, toward})
      candidates.push_back(Text_box(font, label,
                                    QPointF(x + (side == Qt::AlignLeft ? 6 : -6),
                                            f.Area.top() + height * f.Area.height()),
                                    side | Qt::AlignTop));
  texts.Labels.push_back({label, Clearest(candidates, f.Area, texts.Lines, {1000, 1000}, {})});
  texts.Legend = Legend(f.Area, left, {Text(plot.Central_label), Text(plot.Curve_label)});
  return texts;
}

tPanel_texts Posterior_panel_texts(const tPosterior_plot& plot, double left) {
  const tFrame f = Posterior_frame(plot, left);
  tPanel_texts texts;
  texts.Area = f.Area;
  for (const double x : {0.0, plot.Zdcc}) {
    texts.Lines.push_back(QPolygonF{QPointF(f.Map_x(x), f.Area.top()),
                                    QPointF(f.Map_x(x), f.Area.bottom())});
  }
  texts.Legend = Legend(f.Area, left, {Text(plot.Interval_label), Text(plot.Estimate_label)});
  return texts;
}

