# SPDX-License-Identifier: GPL-3.0-or-later
# The batch from Python on every core and through Dask (a LocalCluster of 2 worker
# processes, one thread each), timed; each output is written for comparison with
# kestrum-cli --batch. Then the overhead of one call: the time of kestrum.dissociation()
# beyond the engine's own time for the same request (both means over many calls).
#   python bench_python.py DIR
import json
import sys
import time

import pandas as pd

import kestrum
import kestrum.dask
from kestrum import _core
from kestrum._request import request_json


def main(d):
    frame = pd.read_csv(f"{d}/cases.csv", dtype=str)
    controls = json.load(open(f"{d}/controls.json"))
    t, cpu = time.perf_counter(), time.process_time()
    local = kestrum.batch(frame, controls)
    print(f"python_batch_seconds {time.perf_counter() - t:.2f} cpu_seconds {time.process_time() - cpu:.2f}")
    open(f"{d}/python.csv", "w").write(kestrum._batch.batch_csv(frame, controls))

    from distributed import Client, LocalCluster
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                      dashboard_address=None) as cluster, Client(cluster) as client:
        client.run(lambda: __import__("kestrum"))  # the workers load the module first
        t = time.perf_counter()
        distributed = kestrum.dask.batch(frame, controls, client)
        print(f"dask_batch_seconds {time.perf_counter() - t:.2f}")
    pd.testing.assert_frame_equal(distributed, local, check_exact=True)
    print("dask_equals_python_batch yes")

    # Overhead of one call: a small request, so that the engine's time is short; rounds of
    # calls interleaved with rounds of the engine alone, the fastest round of each kept, so
    # that the load of other processes falls out of the difference.
    tasks = [{"name": "X", "mean": 100, "sd": 15, "case": 80}, {"name": "Y", "mean": 50, "sd": 10, "case": 40}]
    args = dict(n=20, tasks=tasks, correlations=[[1, 0.6], [0.6, 1]], iterations=1000)
    text = request_json("dissociation", 20, tasks, None, args["correlations"], {"iterations": 1000})
    repeats, rounds = 100, 7
    engine = call = float("inf")
    for _ in range(rounds):
        engine = min(engine, _core.engine_seconds("dissociation", text, repeats))
        t = time.perf_counter()
        for _ in range(repeats):
            kestrum.dissociation(**args)
        call = min(call, (time.perf_counter() - t) / repeats)
    print(f"python_call_microseconds {call * 1e6:.0f} engine_microseconds {engine * 1e6:.0f} "
          f"overhead_microseconds {(call - engine) * 1e6:.0f}")

if __name__ == "__main__":
    main(sys.argv[1])
