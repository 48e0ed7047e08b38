"""cascade.dask on a real local cluster of two worker processes: the arrays
are the local series bit for bit, and a reduction over an ensemble is the
local one."""
import numpy as np
import pytest

import cascade

distributed = pytest.importorskip("distributed", reason="Dask's distributed is not installed (python3-distributed)")
import cascade.dask  # noqa: E402
import dask.array as da  # noqa: E402


@pytest.fixture(scope="module")
def client():
    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None)
    with distributed.Client(cluster) as connected:
        yield connected
    cluster.close()


def test_series_is_the_local_philox_series_bit_for_bit(client):
    x, w = cascade.dask.series(0.6, 17, 3, seed=2**40 + 5, chunks=100_000, weights=True)
    assert x.numblocks == (4,)
    x_local, w_local = cascade.generate(0.6, 17, 3, 2**40 + 5, generator="philox", weights=True)
    x_made, w_made = client.compute([x, w], sync=True)
    assert x_made.tobytes() == x_local.tobytes()
    assert w_made.tobytes() == w_local.tobytes()
    assert client.compute(x[123_456:223_457], sync=True).tobytes() == x_local[123_456:223_457].tobytes()


@pytest.mark.parametrize("generator", ["subtractive", "philox"])
def test_an_ensemble_reduces_as_it_does_locally(client, generator):
    seeds = [11, 288, 643, 1000]  # 288 and 643 hold an exact 0 at 2^20 (subtractive)
    rows = cascade.dask.ensemble(0.4, 12, 2, seeds, generator=generator)
    assert rows.shape == (4, 8192)
    local = np.stack([cascade.generate(0.4, 12, 2, seed, generator=generator) for seed in seeds])
    assert client.compute(rows, sync=True).tobytes() == local.tobytes()
    nonzero = rows[rows != 0]
    made = client.compute(da.log(abs(nonzero)).mean(), sync=True)
    assert made == pytest.approx(np.log(np.abs(local[local != 0])).mean(), rel=1e-12)


@pytest.mark.parametrize("call, error", [
    (lambda: cascade.dask.series(0.3, 49, 1, 1), "n0 \\* 2\\^step_number must be at most 2\\^48"),
    (lambda: cascade.dask.series(0.3, 10, 1, -1), "seed must be a whole number from 0 to 18446744073709551615"),
    (lambda: cascade.dask.series(0.3, 10, 1, 1, chunks=0), "chunks must be a whole number of at least 1"),
    (lambda: cascade.dask.ensemble(0.3, 31, 1, [1]), "n0 \\* 2\\^step_number must be at most 2147483647"),
    (lambda: cascade.dask.ensemble(0.3, 10, 1, []), "seeds must name at least one realization"),
    (lambda: cascade.dask.ensemble(0.3, 10, 1, [1], generator="mt"), "generator must be 'subtractive' or 'philox'"),
])
def test_arguments_are_checked_before_any_work(call, error):
    with pytest.raises((ValueError, TypeError), match=error):
        call()
