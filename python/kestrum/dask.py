# SPDX-License-Identifier: GPL-3.0-or-later
"""The batch over a dask.distributed cluster: each partition of the cases runs as one batch
on a worker (every core of it), with the ids the rows have in the whole table, so that the
result equals kestrum.batch on one machine row for row. Worker processes import this
module; a driver script that starts a LocalCluster must guard its top level with
`if __name__ == "__main__":`."""
import numpy as np


def _partition(frame, controls, first_id, threads):
    from ._batch import batch
    frame = frame.copy()
    if not any(str(c).lower() == "id" for c in frame.columns):
        frame.insert(0, "id", [str(first_id + i) for i in range(len(frame))])
    return batch(frame, controls, threads)


def batch(frame, controls, client=None, threads=1):
    """Runs the cases of `frame` (a pandas or dask DataFrame) against `controls` on the
    cluster of `client` (the current dask.distributed client when None), `threads` cases at
    a time in each partition; returns a pandas DataFrame equal to
    kestrum.batch(frame, controls), in the rows' order."""
    import dask
    import dask.dataframe as dd
    import pandas as pd
    from distributed import get_client

    client = client or get_client()
    if isinstance(frame, dd.DataFrame):
        lengths = frame.map_partitions(len).compute().tolist()
        pieces = frame.to_delayed()
    else:
        if len(frame) == 0:
            return _partition(frame, controls, 1, threads)
        n_parts = max(1, min(len(frame), sum(client.nthreads().values())))
        bounds = np.linspace(0, len(frame), n_parts + 1).astype(int)
        pieces = [frame.iloc[a:b] for a, b in zip(bounds[:-1], bounds[1:]) if b > a]
        lengths = [len(p) for p in pieces]
    starts = (1 + np.concatenate([[0], np.cumsum(lengths)[:-1]])).astype(int).tolist()
    tasks = [dask.delayed(_partition)(p, controls, s, threads) for p, s in zip(pieces, starts)]
    return pd.concat(client.gather(client.compute(tasks)))
