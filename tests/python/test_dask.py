"""cascade.dask on a real local cluster of two worker processes: the arrays
are the local series bit for bit, and a reduction over an ensemble is the
local one; a series of any N has a small graph; every array is one seeded
computation."""
import importlib.util

import numpy as np
import pytest

import cascade

# Fail rather than skip, as for the suite's other dependencies: a missing Dask must not pass as a green run.
MISSING = [name for name in ("dask", "distributed") if importlib.util.find_spec(name) is None]
if MISSING:
    pytest.fail(f"Dask is not installed for this Python (no {' and no '.join(MISSING)}): "
                "apt-get install python3-dask python3-distributed (scripts/setup --tests)", pytrace=False)
import dask.array as da  # noqa: E402
import distributed  # noqa: E402
import cascade.dask  # noqa: E402


@pytest.fixture(scope="module")
def client():
    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None)
    with distributed.Client(cluster) as connected:
        yield connected
    cluster.close()


@pytest.mark.parametrize("model", list(cascade.models()))
def test_series_is_the_local_philox_series_bit_for_bit(client, model):
    x, w = cascade.dask.series(0.6, 17, 3, seed=2**40 + 5, chunks=100_000, weights=True, model=model)
    assert x.numblocks == (4,)
    x_local, w_local = cascade.generate(0.6, 17, 3, 2**40 + 5, generator="philox", weights=True, model=model)
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


# (step_number, n0, chunks, chunks made, values a chunk): the default grows past
# N = 2^38 to keep to MAX_CHUNKS; an explicit chunks is kept up to that count.
CHUNKINGS = [
    (39, 1, None, 65536, 2**23),
    (48, 1, None, 65536, 2**32),
    (45, 5, None, 40960, 2**32),
    (38, 1, None, 65536, 2**22),
    (20, 1, None, 1, 2**20),
    (20, 1, 16, 65536, 16),
    (17, 3, 100_000, 4, 100_000),
]


@pytest.mark.parametrize("step_number, n0, chunks, number, length", CHUNKINGS)
@pytest.mark.parametrize("weights", [False, True])
def test_a_series_has_at_most_max_chunks_and_one_task_a_chunk(step_number, n0, chunks, number, length, weights):
    made = cascade.dask.series(0.3, step_number, n0, 7, chunks=chunks, weights=weights)
    for x in made if weights else (made,):
        assert x.numblocks == (number,)
        assert x.chunks[0][0] == length
        assert sum(x.chunks[0]) == n0 << step_number
        # the chunks' tasks, and with weights one taking each pair's part
        assert len(x.dask) == number * (2 if weights else 1)
    assert cascade.dask.MAX_CHUNKS == 65536


# (call, exception, message): refused at once, before any graph or value is made.
REFUSALS = [
    (lambda: cascade.dask.series(0.3, 49, 1, 1), ValueError, "n0 \\* 2\\^step_number must be at most 2\\^48"),
    (lambda: cascade.dask.series(0.3, 10, 1, -1), ValueError,
     "seed must be a whole number from 0 to 18446744073709551615"),
    (lambda: cascade.dask.series(0.3, 12, 1, None, chunks=1024), ValueError, "seed must be given, got None"),
    (lambda: cascade.dask.series(0.3, 10, 1, 1, chunks=0), ValueError, "chunks must be a whole number of at least 1"),
    (lambda: cascade.dask.series(0.3, 10, 1, 1, chunks=2.0), TypeError, "chunks must be a whole number of at least 1"),
    (lambda: cascade.dask.series(0.3, 20, 1, 1, chunks=15), ValueError,
     "chunks=15 would cut the 1048576 values into 69906 chunks, more than the 65536 a series may have: "
     "give chunks of at least 16"),
    (lambda: cascade.dask.series(0.3, 48, 1, 1, chunks=2**22), ValueError, "into 67108864 chunks"),
    (lambda: cascade.dask.ensemble(0.3, 31, 1, [1]), ValueError, "n0 \\* 2\\^step_number must be at most 2147483647"),
    (lambda: cascade.dask.ensemble(0.3, 10, 1, []), ValueError, "seeds must name at least one realization"),
    (lambda: cascade.dask.ensemble(0.3, 10, 1, 5), TypeError, "seeds must be an iterable of seeds, got int"),
    # the caller's own iterable failing is its error, not a refusal of the seeds
    (lambda: cascade.dask.ensemble(0.3, 10, 1, (1 // 0 for _ in range(2))), ZeroDivisionError, "division"),
    (lambda: cascade.dask.ensemble(0.3, 12, 1, [None] * 4), ValueError, "seeds\\[0\\] must be given, got None"),
    (lambda: cascade.dask.ensemble(0.3, 12, 1, [3, 4, None]), ValueError, "seeds\\[2\\] must be given, got None"),
    # each seed checked as generate checks it, equal ones too
    (lambda: cascade.dask.ensemble(0.3, 10, 1, [1, True]), TypeError, "seed must be an int, got bool"),
    (lambda: cascade.dask.ensemble(0.3, 10, 1, [2, 2.0]), TypeError, "seed must be an int, got float"),
    (lambda: cascade.dask.ensemble(0.3, 10, 1, [3, [3]]), TypeError, "seed must be an int, got list"),
    (lambda: cascade.dask.ensemble(0.3, 10, 1, [1], generator="mt"), ValueError,
     "generator must be 'subtractive' or 'philox'"),
    (lambda: cascade.dask.series(0.3, 10, 1, 1, model="cone"), ValueError, "^model must be .*, got 'cone'$"),
    (lambda: cascade.dask.ensemble(0.3, 10, 1, [1], model="cone"), ValueError, "^model must be .*, got 'cone'$"),
]


@pytest.mark.parametrize("call, exception, error", REFUSALS)
def test_arguments_are_checked_before_any_work(call, exception, error):
    with pytest.raises(exception, match=error):
        call()


def test_save_writes_the_results_layout_to_zarr_on_the_workers(client, tmp_path, monkeypatch):
    import subprocess

    import h5py
    import xarray
    import zarr
    from conftest import PROGRAM

    (tmp_path / "program").mkdir()
    subprocess.run([PROGRAM, "--seed", "9", "--generator", "philox", "--law", "logpoisson:0.4", "--output", "r", "0.5",
                    "18", "3"], cwd=tmp_path / "program", check=True, capture_output=True)
    monkeypatch.chdir(tmp_path)
    with distributed.get_task_stream(client) as stream:
        cascade.dask.save("r", 0.5, 18, 3, seed=9, chunks=100_000, law="logpoisson:0.4")
    # Each chunk made on a worker: no values went through this process to be made.
    made_on = {task["worker"] for task in stream.data if "cascade-philox" in str(task["key"])}
    assert len([task for task in stream.data if "cascade-philox" in str(task["key"])]) == 8
    assert made_on and made_on <= set(client.scheduler_info()["workers"])
    assert sorted(p.name for p in tmp_path.iterdir()) == ["program", "r"]
    assert zarr.open_group("r", mode="r")["x"].chunks == (100_000,)
    with h5py.File(tmp_path / "program" / "r") as written, cascade.open("r") as saved:
        assert saved.x[...].tobytes() == written["x"][...].tobytes()
        assert saved.x[5:9].tobytes() == written["x"][5:9].tobytes()
        made = {key: value for key, value in saved.provenance.items()}
        wanted = {key: (value.item() if hasattr(value, "item") else value) for key, value in written.attrs.items()}
        assert made["history"].split(" ", 1)[1] == wanted["history"].split(" ", 1)[1]
        made.pop("history"), wanted.pop("history")
        assert made == wanted
    with xarray.open_zarr("r") as dataset:
        assert dataset["x"].dims == ("t",) and dataset.attrs["x_sha256"] == wanted["x_sha256"]
    with pytest.raises(ValueError, match="exists; give overwrite=True"):
        cascade.dask.save("r", 0.5, 18, 3, seed=9)
    # A store whose attributes describe no run of ours is refused in one line.
    zarr.open_group("r", mode="r+").attrs["generator"] = "mersenne"
    with pytest.raises(ValueError, match="not a results store of cascade: its generator attribute names no stream"):
        cascade.open("r")
    cascade.dask.save("r", 0.5, 18, 3, seed=9, chunks=100_000, law="logpoisson:0.4", overwrite=True)
    assert cascade.open("r").provenance["generator"] == "philox"
    assert sorted(p.name for p in tmp_path.iterdir()) == ["program", "r"]


def test_save_writes_an_ensemble_as_the_results_file_holds_it(client, tmp_path, monkeypatch):
    import h5py
    import xarray

    monkeypatch.chdir(tmp_path)
    seeds = [4, 9, 2**40]
    cascade.save("e.h5", 0.3, 13, 1, seeds=seeds, generator="philox", law="binomial")
    cascade.dask.save("e.zarr", 0.3, 13, 1, seeds=seeds, law="binomial")
    assert sorted(p.name for p in tmp_path.iterdir()) == ["e.h5", "e.zarr"]
    with h5py.File("e.h5") as written, cascade.open("e.zarr") as saved:
        assert saved.x.shape == (3, 8192) and saved.x.chunks == (1, 8192)
        assert saved.x[...].tobytes() == written["x"][...].tobytes()
        assert saved.provenance["seeds"] == seeds and saved.provenance["x_sha256"] == written.attrs["x_sha256"]
        assert saved.provenance["history"].split(" ", 1)[1].replace("e.zarr", "e.h5") == \
            written.attrs["history"].split(" ", 1)[1]
        assert cascade.generate_ensemble(**saved.parameters).tobytes() == written["x"][...].tobytes()
    with xarray.open_zarr("e.zarr") as dataset:
        assert dataset["x"].dims == ("realization", "t")
