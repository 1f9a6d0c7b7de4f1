# SPDX-License-Identifier: GPL-3.0-or-later
# Every case of the shared table: the package's figures equal kestrum-cli's JSON bit for bit
# (float.hex), its JSON object and report are kestrum-cli's byte for byte, and a refusal is
# a ValueError with the message kestrum-cli prints.
import json
import math

import pytest

import kestrum

FUNCTIONS = {"deficit": kestrum.deficit, "dissociation": kestrum.dissociation, "udt": kestrum.udt}


def call(case):
    args = dict(case["input"])
    options = args.pop("options", {})
    return FUNCTIONS[case["analysis"]](**args, **options)


def cli_output(cli, tmp_path, case, fmt):
    path = tmp_path / "input.json"
    path.write_text(json.dumps(dict(case["input"], analysis=case["analysis"])))
    return cli([case["analysis"], "--input", str(path), "--format", fmt]), str(path)


def same(a, b):
    if isinstance(a, float) or isinstance(b, float):
        return isinstance(a, float) and isinstance(b, (float, int)) and float(b).hex() == a.hex()
    return a == b and type(a) is type(b)


def test_case_against_cli(case, cli, tmp_path):
    out, path = cli_output(cli, tmp_path, case, "json")
    if case["label"].startswith("refused"):
        assert out.returncode != 0 and out.stdout == ""
        with pytest.raises(ValueError) as refusal:
            call(case)
        message = out.stderr.rstrip("\n").removeprefix("kestrum-cli: ").removeprefix(path + ": ")
        assert str(refusal.value) == message
        return
    assert out.returncode == 0, out.stderr
    r = call(case)
    assert r.json + "\n" == out.stdout
    record = json.loads(out.stdout)
    for name, (group, key) in r.places.items():
        expected = record[key] if group == "" else (record[group] or {}).get(key)
        assert same(r.figures[name], expected), (name, r.figures[name], expected)
    report, _ = cli_output(cli, tmp_path, case, "report")
    assert r.report == report.stdout


def test_frame_is_one_row_of_the_figures():
    r = kestrum.deficit(n=10, tasks={"name": "Naming", "mean": 50, "sd": 10, "case": 31},
                        iterations=1000)
    frame = r.to_frame()
    assert frame.shape == (1, len(r.figures))
    assert list(frame.columns) == list(r.figures)
    assert frame["t_value"].iloc[0] == r.figures["t_value"] < 0


def test_arguments_outside_the_json_input_are_refused():
    task = {"name": "X", "mean": 50, "sd": 10, "case": 31}
    with pytest.raises(ValueError, match="unknown option 'tails'"):
        kestrum.deficit(n=10, tasks=task, tails="one")
    with pytest.raises(ValueError, match="finite"):
        kestrum.deficit(n=math.nan, tasks=task)


def test_named_matrix_rows_in_any_order_give_the_same_run():
    import pandas as pd
    tasks = [{"name": "A", "mean": 50, "sd": 10, "case": 35}, {"name": "B", "mean": 40, "sd": 8, "case": 41}]
    m = pd.DataFrame([[1, 0.6], [0.6, 1]], index=["B", "A"], columns=["B", "A"])
    a = kestrum.dissociation(n=20, tasks=tasks, correlations=m, iterations=2000)
    b = kestrum.dissociation(n=20, tasks=tasks, correlations=[[1, 0.6], [0.6, 1]], iterations=2000)
    assert a.json == b.json
