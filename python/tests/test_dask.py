# SPDX-License-Identifier: GPL-3.0-or-later
# kestrum.dask.batch on a LocalCluster of two worker processes: the same frame, row for row
# and bit for bit, as the batch on one machine, from a pandas and from a dask DataFrame.
import dask.dataframe as dd
import numpy as np
import pandas as pd
import pytest
from distributed import Client, LocalCluster

import kestrum
import kestrum.dask
from conftest import CASES


@pytest.fixture(scope="module")
def client():
    with LocalCluster(n_workers=2, processes=True, threads_per_worker=1,
                      dashboard_address=None) as cluster, Client(cluster) as c:
        yield c


def test_dask_batch_is_the_single_machine_batch(client):
    rng = np.random.default_rng(11)
    n = 30
    frame = pd.DataFrame({"case_x": np.round(rng.uniform(20, 60, n), 1),
                          "case_y": np.round(rng.uniform(20, 50, n), 1),
                          "Age": rng.integers(50, 80, n)})
    frame.loc[5, "case_x"] = np.nan  # one row's error
    controls = dict(CASES["batch"]["controls"], options={"iterations": 3000})
    local = kestrum.batch(frame, controls)
    pd.testing.assert_frame_equal(kestrum.dask.batch(frame, controls, client), local, check_exact=True)
    distributed = kestrum.dask.batch(dd.from_pandas(frame, npartitions=3), controls, client)
    pd.testing.assert_frame_equal(distributed, local, check_exact=True)
    assert local["error"].notna().tolist() == [i == 5 for i in range(n)]
