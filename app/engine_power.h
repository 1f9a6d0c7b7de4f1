// SPDX-License-Identifier: GPL-3.0-or-later
// Planning a study through the engine interface (app/engine_interface.h): one call that
// takes a JSON request and answers JSON, for the web page and the packages. The request
// carries what `kestrum-cli power` takes, by the options' names without their dashes
// ("effect_y" for --effect-y):
//   {"analysis": "deficit" | "dissociation" | "udt",
//    "effect": -2 or [-3, -2, -1] or "-3,-2,-1",   "n": 20 or "10:60:10" or [10, 20],
//    "effect_y", "alpha", "tail": "one" | "two", "case": "fixed" | "random",
//    "find": "power" (default) | "n" | "effect", "target_power", "replications",
//    "iterations", "seed", "test", "prior", "criteria", "distance",
//    "r", "covariates": ["age", ...], "matrix": [lower triangle] or "r21,r31,...",
//    "correlations": [[1, r, ...], ...] (the full matrix, covariates first, then the tasks)}
// The request becomes the command line's argument words and is read by the same reader
// (app/power_request.h), so the answer's texts are those the command line writes:
//   {"ok": true, "complete": true, "report": "...", "csv": "...", "json": "...",
//    "curves": {...} or null}
// "curves" (a power grid only) holds what the planning window draws:
//   {"title", "caption", "target",
//    "against_n": {"x_label", "curves": [{"label", "points": [[N, power], ...], "csv"}]},
//    "against_effect": {...: one curve per N, points [effect, power]}}
// each curve's "csv" being the rows of the command line's CSV behind it. A refused request
// answers {"ok": false, "message"}; a run stopped by the hooks' Cancel adds
// "cancelled": true. Progress: the units of the command line's progress line.
#pragma once

#include <string>
#include <string_view>

#include "app/engine_interface.h"

std::string Engine_power(std::string_view request_json, const tEngine_hooks& hooks = {});
