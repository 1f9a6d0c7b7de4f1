# SPDX-License-Identifier: GPL-3.0-or-later
"""Kestrum's single-case analyses from Python, computed by the engine of kestrum-cli.

deficit(), dissociation() and udt() take the members of the command line's JSON input
(docs/toolkit_input.md): n, tasks, covariates, correlations, and the options (tail, prior,
criteria, iterations, udt) as keywords. Every figure may be a number or a text and goes
through the same field rules as in the program; a refusal raises ValueError with the
program's message. batch() runs a table of cases against one control sample on every core.
"""
import warnings

from ._request import request_json
from ._result import Result
from ._batch import batch
from . import _core

__all__ = ["deficit", "dissociation", "udt", "batch", "Result"]


def _run(kind, n, tasks, covariates, correlations, options):
    text = request_json(kind, n, tasks, covariates, correlations, options)
    try:
        run = _core.run(kind, text)
    except _core.RefusedInput as refusal:
        # The message's line breaks as the command line prints them.
        raise ValueError(str(refusal).replace("\r", "\n")) from None
    for message in run["warnings"]:  # the statistics' warnings, as the command line prints them
        warnings.warn(message, RuntimeWarning, stacklevel=3)
    return Result(kind, run)


def deficit(n, tasks, covariates=None, correlations=None, **options):
    """A deficit on one task (a dict or a one-element list), allowing for covariates."""
    return _run("deficit", n, tasks, covariates, correlations, options)


def dissociation(n, tasks, covariates=None, correlations=None, **options):
    """A dissociation between two tasks, allowing for covariates."""
    return _run("dissociation", n, tasks, covariates, correlations, options)


def udt(n, tasks, correlations=None, **options):
    """The unstandardized difference test between two tasks."""
    return _run("udt", n, tasks, None, correlations, options)
