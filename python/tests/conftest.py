# SPDX-License-Identifier: GPL-3.0-or-later
# The shared table of cases (tests/data/package_cases.json) and kestrum-cli, whose outputs
# for the same requests the packages must reproduce. KESTRUM_CLI names the binary built from
# the same checkout (scripts/test_packages.sh sets it).
import json
import os
import subprocess
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
CASES = json.loads((ROOT / "tests" / "data" / "package_cases.json").read_text())


@pytest.fixture(scope="session")
def cli():
    path = os.environ.get("KESTRUM_CLI")
    if not path:
        pytest.fail("KESTRUM_CLI must name the kestrum-cli built from this checkout")
    def run(args, stdin=None):
        return subprocess.run([path, *args], capture_output=True, text=True, input=stdin)
    return run


def pytest_generate_tests(metafunc):
    if "case" in metafunc.fixturenames:
        metafunc.parametrize("case", CASES["cases"], ids=[c["label"] for c in CASES["cases"]])
