# SPDX-License-Identifier: GPL-3.0-or-later
# The benchmark's batch: 1,000 cases (scores on two tasks and one covariate drawn with a
# fixed seed, rounded to one decimal as typed scores are) against one control sample, and
# the controls as the JSON input with 10,000 iterations.
#   python3 make_cases.py DIR [CASES] [ITERATIONS]
import json
import sys

import numpy as np

out = sys.argv[1]
n_cases = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
iterations = int(sys.argv[3]) if len(sys.argv) > 3 else 10000
rng = np.random.default_rng(2026)
x = np.round(rng.normal(45, 10, n_cases), 1)
y = np.round(rng.normal(38, 8, n_cases), 1)
age = np.round(rng.normal(65, 8, n_cases)).astype(int)
with open(f"{out}/cases.csv", "w") as f:
    f.write("case_x,case_y,Age\n")
    for a, b, c in zip(x, y, age):
        f.write(f"{a!r},{b!r},{c}\n")
controls = {"analysis": "dissociation", "n": 25,
            "covariates": [{"name": "Age", "mean": 65, "sd": 8, "case": 70}],
            "tasks": [{"name": "A", "mean": 50, "sd": 10}, {"name": "B", "mean": 40, "sd": 8}],
            "correlations": [[1, 0.3, 0.4], [0.3, 1, 0.5], [0.4, 0.5, 1]],
            "options": {"iterations": iterations}}
with open(f"{out}/controls.json", "w") as f:
    json.dump(controls, f)
