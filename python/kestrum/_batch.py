# SPDX-License-Identifier: GPL-3.0-or-later
"""A batch of cases against one control sample, as `kestrum-cli <analysis> --batch` runs a
case file: one case per row, the columns "case" (deficit) or "case_x" and "case_y", and a
column per covariate whose score varies (named as the covariate; a covariate without a
column keeps the controls' "case" score), and optionally "id". With covariates, any other
column is refused, so that a misspelt covariate does not pass unnoticed. The cases run side
by side on every core with the interpreter's lock released; the result keeps the rows'
order, and a case that is refused or fails has its message in the one "error" column."""
import json
import math
import numbers

from . import _core
from ._request import request_document


def cell_text(value):
    """A cell as a case file's field: missing is empty, a whole number without a point."""
    if value is None:
        return ""
    if isinstance(value, str):
        return value
    if hasattr(value, "item"):
        value = value.item()
    if isinstance(value, bool):
        return str(value)
    if isinstance(value, numbers.Integral):
        return str(int(value))
    if isinstance(value, numbers.Real):
        if math.isnan(value):
            return ""
        if math.isfinite(value) and value.is_integer() and abs(value) < 1e15:
            return str(int(value))
        return repr(float(value))
    return str(value)


def columns_of(cases):
    """(names, columns as lists, index or None) of a pandas DataFrame, a dict of sequences
    or a numpy structured array."""
    if hasattr(cases, "columns") and hasattr(cases, "index"):
        return [str(c) for c in cases.columns], [cases[c].tolist() for c in cases.columns], cases.index
    if hasattr(cases, "dtype") and cases.dtype.names:
        return list(cases.dtype.names), [cases[n].tolist() for n in cases.dtype.names], None
    if isinstance(cases, dict):
        names = [str(k) for k in cases]
        return names, [list(v.tolist() if hasattr(v, "tolist") else v) for v in cases.values()], None
    raise ValueError("the cases must be a pandas DataFrame, a dict of columns or a numpy structured array")


def controls_request(controls):
    """The analysis and its JSON input from a controls dict laid out as the JSON input."""
    controls = dict(controls)
    kind = controls.pop("analysis", None)
    if kind is None:
        raise ValueError('the controls must name the "analysis": deficit, dissociation or udt')
    options = dict(controls.pop("options", None) or {})
    n = controls.pop("n", None)
    tasks = controls.pop("tasks", None)
    covariates = controls.pop("covariates", None)
    correlations = controls.pop("correlations", None)
    if controls:
        raise ValueError(f"unknown member {sorted(controls)[0]!r} in the controls")
    doc = request_document(kind, n, tasks, covariates, correlations, options)
    return kind, json.dumps(doc)


def run_batch(cases, controls, threads=0, first_id=1, progress=None):
    """The engine's batch: a dict with the output columns, per-column values and the CSV text
    that kestrum-cli --batch writes for the same cases."""
    kind, text = controls_request(controls)
    names, values, index = columns_of(cases)
    n_cases = len(values[0]) if values else 0
    lower = [n.lower() for n in names]
    if "id" in lower:
        k = lower.index("id")
        ids = [cell_text(v) for v in values[k]]
        del names[k], values[k]
    else:
        ids = [str(first_id + i) for i in range(n_cases)]
    texts = [[cell_text(v) for v in column] for column in values]
    out = _core.batch(kind, text, ids, names, texts, threads, progress)
    out["ids"] = ids
    out["index"] = index
    out["given"] = dict(zip([n.lower() for n in names], values))
    out["controls"] = json.loads(text)
    return out


def to_table(out):
    """The batch's columns in the command line's order: id, the case columns (as given, or
    the controls' score of a covariate without a column), the figures, error."""
    table = {"id": out["ids"]}
    covariates = {c["name"].lower(): c.get("case") for c in out["controls"].get("covariates", [])}
    n_cases = len(out["ids"])
    for name in out["case_columns"]:
        given = out["given"].get(name.lower())
        table[name] = given if given is not None else [covariates.get(name.lower())] * n_cases
    for name in out["columns"]:
        if name == "error":
            table["error"] = out["errors"]
        elif name in out["results"]:
            table[name] = out["results"][name]
    return table


def batch(cases, controls, threads=0, progress=None):
    """Runs every row of `cases` against `controls` (a dict laid out as the JSON input, with
    "analysis"); threads 0 uses every core. progress(done, total), when given, is called
    about every tenth of a second; an exception from it, or Ctrl+C, stops the batch. A
    pandas DataFrame (its index kept) when pandas is installed, else a dict of lists."""
    out = run_batch(cases, controls, threads, progress=progress)
    table = to_table(out)
    try:
        import pandas as pd
    except ImportError:
        return table
    frame = pd.DataFrame(table, columns=out["columns"])
    if out["index"] is not None:
        frame.index = out["index"]
    return frame


def batch_csv(cases, controls, threads=0):
    """The batch as the CSV text that kestrum-cli --batch writes for the same cases."""
    return run_batch(cases, controls, threads)["csv"]
