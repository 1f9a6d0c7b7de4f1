// SPDX-License-Identifier: GPL-3.0-or-later
// The two pictures of an analysis (app/plot_geometry.h) as one JSON object, for a front
// end that draws them itself (the web page) or hands them on (a package): the panels'
// points, bars, axes, titles, labels and captions, numbers in their shortest round-trip
// form. The same writer serves the worksheet's plots and the toolkit's.
#pragma once

#include <string>

#include "app/plot_geometry.h"

// {"title": ..., "task" (one task only): {"title", "density": [[x, y] ...], "central":
//  [lower, upper], "case_z", "x_axis", "y_axis", "x_title", "y_title", "point_label",
//  "central_label", "curve_label", "caption"},
//  "case": {"title", "ellipses": [{"label", "points": [[x, y] ...], "label_at"}],
//  "x_axis", "y_axis", "point", "x_title", "y_title", "point_label", "regions_label",
//  "diagonal_label", "caption"},
//  "posterior": {"title", "bars": [[left, right, density] ...], "draws", "zdcc",
//  "interval", "x_axis", "y_axis", "x_title", "y_title", "estimate_label",
//  "interval_label", "caption"}}; an axis is {"lower", "upper", "step", "ticks"}. The
//  legends' entries are the labels: the case panel's regions and diagonal, the task
//  panel's central and curve, the posterior's interval and estimate.
std::string Plots_json(const tResult_plots& plots);
