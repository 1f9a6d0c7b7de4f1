# SPDX-License-Identifier: GPL-3.0-or-later
"""Arguments into the command line's JSON input text, so that the engine reads them with
the command line's own reader and rules."""
import json
import math
import numbers

OPTION_NAMES = ("prior", "tail", "criteria", "iterations", "udt")
KINDS = ("deficit", "dissociation", "udt")


def figure(value):
    """A figure as JSON: a text stays a text, a number keeps its shortest form; a missing or
    non-finite number is refused here, as JSON has no way to write it."""
    if isinstance(value, str):
        return value
    if isinstance(value, bool):
        raise ValueError(f"a figure must be a number or a text, not {value!r}")
    if hasattr(value, "item"):  # numpy scalars
        value = value.item()
    if isinstance(value, numbers.Integral):
        return int(value)
    if isinstance(value, numbers.Real):
        if not math.isfinite(value):
            raise ValueError(f"a figure must be a finite number, not {value!r}")
        return float(value)
    raise ValueError(f"a figure must be a number or a text, not {value!r}")


def variables(items, what):
    if items is None:
        return []
    if isinstance(items, dict):
        items = [items]
    out = []
    for item in items:
        if not isinstance(item, dict):
            raise ValueError(f"each of the {what} must be a dict with name, mean, sd and case")
        out.append({k: (figure(v) if k != "name" else v) for k, v in item.items()})
    return out


def correlations_json(matrix):
    """A nested list, a numpy array, or a pandas DataFrame whose index and columns name the
    variables (in any order)."""
    if matrix is None:
        return None
    if hasattr(matrix, "columns") and hasattr(matrix, "index"):
        names = [str(c) for c in matrix.columns]
        if [str(i) for i in matrix.index] != names:
            matrix = matrix.loc[list(matrix.columns)]
        rows = [[figure(v) for v in row] for row in matrix.to_numpy().tolist()]
        return {"names": names, "matrix": rows}
    if isinstance(matrix, dict):
        return {"names": list(matrix["names"]),
                "matrix": [[figure(v) for v in row] for row in matrix["matrix"]]}
    if hasattr(matrix, "tolist"):
        matrix = matrix.tolist()
    return [[figure(v) for v in row] for row in matrix]


def request_document(kind, n, tasks, covariates, correlations, options):
    if kind not in KINDS:
        raise ValueError(f"the analysis must be one of {', '.join(KINDS)}, not {kind!r}")
    unknown = sorted(set(options) - set(OPTION_NAMES))
    if unknown:
        raise ValueError(f"unknown option {unknown[0]!r}; the options are {', '.join(OPTION_NAMES)}")
    doc = {"analysis": kind, "n": figure(n), "tasks": variables(tasks, "tasks")}
    cov = variables(covariates, "covariates")
    if cov:
        doc["covariates"] = cov
    m = correlations_json(correlations)
    if m is not None:
        doc["correlations"] = m
    opts = {k: (int(v) if k == "iterations" and not isinstance(v, str) else v)
            for k, v in options.items() if v is not None}
    if opts:
        doc["options"] = opts
    return doc


def request_json(kind, n, tasks, covariates, correlations, options):
    return json.dumps(request_document(kind, n, tasks, covariates, correlations, options))
