# SPDX-License-Identifier: GPL-3.0-or-later
# The batch of the shared table: the CSV kestrum-cli --batch writes for the same case file,
# byte for byte; the frame's figures are that CSV's numbers; the rows keep their order
# whatever the number of threads; a refused or blank score is that row's error alone.
import io
import json

import numpy as np
import pandas as pd

import kestrum
from kestrum._batch import batch_csv, cell_text
from conftest import CASES

BATCH = CASES["batch"]


def case_file(tmp_path, cases):
    names = list(cases)
    lines = [",".join(names)]
    for row in zip(*cases.values()):
        lines.append(",".join(cell_text(v) for v in row))
    path = tmp_path / "cases.csv"
    path.write_text("\n".join(lines) + "\n")
    return str(path)


def cli_batch(cli, tmp_path, controls, cases):
    controls = dict(controls)
    analysis = controls["analysis"]
    path = tmp_path / "controls.json"
    path.write_text(json.dumps(controls))
    return cli([analysis, "--input", str(path), "--batch", case_file(tmp_path, cases)])


def test_batch_is_kestrum_cli_batch(cli, tmp_path):
    frame = pd.DataFrame(BATCH["cases"])
    out = cli_batch(cli, tmp_path, BATCH["controls"], BATCH["cases"])
    assert out.stdout.count("\n") == 1 + len(frame)  # rows with errors are written too
    assert batch_csv(frame, BATCH["controls"]) == out.stdout
    result = kestrum.batch(frame, BATCH["controls"])
    expected = pd.read_csv(io.StringIO(out.stdout), float_precision="round_trip", dtype={"id": str})
    assert list(result.columns) == list(expected.columns)
    figures = [c for c in expected.columns if c not in ("id", "case_x", "case_y", "Age", "error")]
    for name in figures:
        got, want = result[name].to_numpy(), expected[name].to_numpy()
        if want.dtype.kind == "f":
            # Exact equality (a float read with round_trip is the written double).
            assert np.array_equal(got.astype(float), want, equal_nan=True), name
        else:
            assert [str(g) if g is not None else "nan" for g in got] == [str(w) for w in want], name
    errors = result["error"].tolist()
    assert [e is None for e in errors] == [True, True, True, False, True, False]
    assert errors[3] == expected["error"][3] and errors[5] == expected["error"][5]


def test_rows_keep_their_order_on_any_number_of_threads():
    rng = np.random.default_rng(7)
    cases = {"case_x": np.round(rng.uniform(20, 60, 24), 1), "case_y": np.round(rng.uniform(20, 50, 24), 1)}
    controls = dict(BATCH["controls"], options={"iterations": 2000})
    one = kestrum.batch(cases, controls, threads=1)
    both = kestrum.batch(pd.DataFrame(cases, index=range(100, 124)), controls, threads=4)
    assert list(both.index) == list(range(100, 124))
    pd.testing.assert_frame_equal(one.reset_index(drop=True), both.reset_index(drop=True), check_exact=True)
    assert one["case_x"].tolist() == cases["case_x"].tolist()


def test_an_unknown_column_is_refused_with_covariates():
    frame = pd.DataFrame({"case_x": [30], "case_y": [35], "Aeg": [70]})
    try:
        kestrum.batch(frame, BATCH["controls"])
    except ValueError as e:
        assert "Aeg" in str(e)
    else:
        raise AssertionError("a misspelt covariate column was accepted")


class Stop(Exception):
    pass


def test_progress_hears_the_cases_and_its_exception_stops_the_batch():
    cases = {"case_x": [30 + i % 20 for i in range(40)], "case_y": [35] * 40}
    controls = dict(BATCH["controls"], options={"iterations": 2000})
    calls = []
    kestrum.batch(cases, controls, progress=lambda done, total: calls.append((done, total)))
    assert calls and all(t == 40 and 0 <= d <= 40 for d, t in calls)
    assert [d for d, _ in calls] == sorted(d for d, _ in calls)

    def stop(done, total):
        raise Stop()
    try:
        kestrum.batch(cases, controls, progress=stop)
    except Stop:
        pass
    else:
        raise AssertionError("the batch went on after its progress callback raised")
