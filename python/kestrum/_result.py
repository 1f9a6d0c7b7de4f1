# SPDX-License-Identifier: GPL-3.0-or-later
"""The result of one analysis: the program's report text, the record's figures under the
command line's CSV column names, the record's JSON object, and the plots' geometry."""


class Result:
    def __init__(self, kind, run):
        self.kind = kind
        self.report = run["report"]
        self.figures = {name: value for name, _, _, value in run["figures"]}
        # Where each figure sits in the JSON object: (group, key); group "" for the top level.
        self.places = {name: (group, key) for name, group, key, _ in run["figures"]}
        self.json = run["json"]
        self.warnings = list(run["warnings"])
        self.plots = run["plots"]

    def __str__(self):
        return self.report

    def __repr__(self):
        return f"<kestrum {self.kind} result: {len(self.figures)} figures>"

    def __getitem__(self, name):
        return self.figures[name]

    def to_frame(self):
        """One row of the figures (pandas)."""
        import pandas as pd
        return pd.DataFrame([self.figures], columns=list(self.figures))
