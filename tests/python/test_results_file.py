"""Results files (--output, --verify): each run of a table holds the bytes
--binary and --float32 write and attributes that describe it; hostile
files are refused in one line; a refused, failed or interrupted run leaves
nothing behind."""

import hashlib
import os
import shlex
import signal
import subprocess
import sys
import time
from pathlib import Path

import h5py
import numpy as np
import pytest
import xarray

import cascade
from conftest import PROGRAM

LAMBDA, STEPS, N0 = "0.4", 12, 3


def run_words(stream, law, piece, model="dyadic"):
    words = ["--generator", stream, "--model", model]
    if law != "lognormal":
        words += ["--law", law]
    if piece:
        words += ["--range", f"{piece[0]}:{piece[1]}"]
    return words


def program(*words, cwd=None, timeout=60):
    return subprocess.run([PROGRAM, "--no-progress", *words], capture_output=True, text=True, cwd=cwd,
                          timeout=timeout)


def raw_output(folder, words, option):
    """The values and the weights that `option` (--binary, --float32) writes."""
    weights = Path(folder) / "raw.w"
    out = subprocess.run([PROGRAM, "--no-progress", option, "--weights", str(weights), *words], capture_output=True,
                         check=True).stdout
    return out, weights.read_bytes()


def version():
    return program("--version").stdout.split()[1]


# stream x law x model x piece x dtype x weights: every law and model of the
# core's tables on the stream that takes them all, the subtractive stream's
# lognormal, pieces whose bytes fall on and off SHA-256's 64-byte blocks and
# its 56-byte padding edge.
RUNS = ([("subtractive", "lognormal", "dyadic", None, "float64", False),
         ("subtractive", "lognormal", "dyadic", None, "float32", True)] +
        [("philox", law, model, None, "float64", True) for law in cascade.laws() for model in cascade.models()] +
        [("philox", "logpoisson:0.3", model, (3, 10), "float64", False) for model in cascade.models()] +
        [("philox", "lognormal", "dyadic", (1, 17), "float32", True),
         ("philox", "binomial", "dyadic", (5000, 12000), "float32", False)])


@pytest.mark.parametrize("stream, law, model, piece, dtype, weights", RUNS)
def test_file_holds_the_raw_bytes_and_describes_its_run(tmp_path, stream, law, model, piece, dtype, weights):
    words = ["--seed", "11", *run_words(stream, law, piece, model), LAMBDA, str(STEPS), str(N0)]
    file_words = ["--float32"] if dtype == "float32" else []
    file_words += ["--with-weights"] if weights else []
    made = program("--verbose", "--output", "r.h5", *file_words, *words, cwd=tmp_path)
    assert made.returncode == 0, made.stderr
    assert os.listdir(tmp_path) == ["r.h5"]
    summary, echo = made.stderr.splitlines()
    values, raw_weights = raw_output(tmp_path, words, "--float32" if dtype == "float32" else "--binary")
    with h5py.File(tmp_path / "r.h5") as f:
        x = f["x"]
        assert x.dtype == np.dtype("<f4" if dtype == "float32" else "<f8")
        assert x[...].tobytes() == values
        assert ("w" in f) == weights
        if weights:
            assert f["w"][...].tobytes() == raw_weights
            assert f.attrs["w_sha256"] == hashlib.sha256(raw_weights).hexdigest()
        assert f.attrs["x_sha256"] == hashlib.sha256(values).hexdigest()
        attributes = dict(f.attrs)
    # The law with its parameter, the default one made explicit.
    rule = cascade.laws()[law.partition(":")[0]]
    named_law = f"{law}:{rule['default']!r}" if rule["parameter"] and ":" not in law else law
    expected = {"Conventions": "CF-1.8", "source": f"cascade {version()}", "lambda": float(LAMBDA),
                "step_number": STEPS, "n0": N0, "seed": 11, "generator": stream, "law": named_law, "model": model}
    assert {name: attributes[name] for name in expected} == expected
    assert ("start" in attributes, "stop" in attributes) == (bool(piece), bool(piece))
    if piece:
        assert (attributes["start"], attributes["stop"]) == piece
    assert attributes["math"]
    # The history: the UTC time and the command --verbose prints, which makes the file again.
    when, command = attributes["history"].split(" ", 1)
    assert time.strptime(when, "%Y-%m-%dT%H:%M:%SZ")
    assert command == echo
    again = tmp_path / "again"
    again.mkdir()
    replay = subprocess.run(["bash", "-c", command.split(" # ")[0].replace("cascade ", shlex.quote(PROGRAM) + " ", 1)],
                            cwd=again, capture_output=True, text=True)
    assert replay.stderr.splitlines()[0] == summary
    with h5py.File(again / "r.h5") as f, h5py.File(tmp_path / "r.h5") as g:
        assert f["x"][...].tobytes() == g["x"][...].tobytes()
    # xarray opens it as it stands, along t.
    with xarray.open_dataset(tmp_path / "r.h5") as dataset:
        assert dataset["x"].dims == ("t",)
        assert dataset["x"].values.tobytes() == values
        assert dataset.attrs["law"] == named_law
    checked = program("--verify", "r.h5", cwd=tmp_path)
    assert (checked.returncode, checked.stderr) == (0, "")


def write_good(folder):
    made = program("--seed", "3", "--generator", "philox", "--with-weights", "--output", str(folder / "good.h5"),
                   "0.3", "14", "1")
    assert made.returncode == 0, made.stderr
    return folder / "good.h5"


def rewrite_checksum(f, name):
    f.attrs[f"{name}_sha256"] = hashlib.sha256(f[name][...].tobytes()).hexdigest()


def altered_value(name, index):
    def alter(f):
        data = f[name][...]
        data[index] = np.nextafter(data[index], data.dtype.type(np.inf))
        f[name][...] = data
        rewrite_checksum(f, name)
    return alter


def replaced_dataset(name, dtype):
    def alter(f):
        data = f[name][...].astype(dtype)
        del f[name]
        f[name] = data
    return alter


def forged(name, value):
    def alter(f):
        f.attrs[name] = value
    return alter


def deleted(name):
    def alter(f):
        del f[name]
    return alter


def without_attribute(name):
    def alter(f):
        del f.attrs[name]
    return alter


# (what is done to a good file, --verify's status, a piece of its one line)
HOSTILE = [
    ("not HDF5", None, 2, "not an HDF5 file"),
    ("truncated", None, 2, "not a results file of cascade"),
    ("x as int32", replaced_dataset("x", "<i4"), 2, "neither little-endian float64 nor float32"),
    ("x big-endian", replaced_dataset("x", ">f8"), 2, "neither little-endian float64 nor float32"),
    ("forged checksum", forged("x_sha256", "0" * 64), 2, "x_sha256 attribute is not the checksum of its x"),
    ("forged source", forged("source", "someone else"), 2, "not written by cascade"),
    ("forged generator", forged("generator", "mersenne"), 2, "generator attribute names no stream"),
    ("forged model", forged("model", "no such model"), 2, "model attribute names no model"),
    ("forged seed", forged("seed", -4), 2, "seed"),
    ("forged step_number", forged("step_number", 13), 2, "one value of t for each"),
    ("no x", deleted("x"), 2, "has no dataset x"),
    ("no w_sha256", without_attribute("w_sha256"), 2, "w_sha256 attribute and its dataset w"),
    ("forged lambda", forged("lambda", 0.31), 1, "x[0] is not the value its run makes"),
    ("x altered", altered_value("x", 12345), 1, "x[12345] is not the value its run makes (the first that differs)"),
    ("w altered", altered_value("w", 7), 1, "w[7] is not the value its run makes"),
]


def hostile_file(folder, name, alter):
    """A good file made hostile as the case `name` says."""
    path = write_good(folder)
    if name == "not HDF5":
        path.write_text("x,w\n1,2\n")
    elif name == "truncated":
        path.write_bytes(path.read_bytes()[: path.stat().st_size // 2])
    else:
        with h5py.File(path, "r+") as f:
            alter(f)
    return path


@pytest.mark.parametrize("name, alter, status, reason", HOSTILE, ids=[case[0] for case in HOSTILE])
def test_hostile_files_are_refused_in_one_line(tmp_path, name, alter, status, reason):
    path = hostile_file(tmp_path, name, alter)
    checked = program("--verify", str(path))
    assert checked.returncode == status, checked.stderr
    assert checked.stderr.count("\n") == 1 and checked.stderr.startswith(f"cascade: --verify '{path}': ")
    assert reason in checked.stderr


def test_an_existing_file_is_kept_unless_forced(tmp_path):
    path = tmp_path / "r.h5"
    path.write_text("mine")
    refused = program("--output", str(path), "0.3", "5", "1")
    assert (refused.returncode, refused.stderr) == (
        2, f"cascade: --output '{path}' exists; give --force (overwrite=True) to replace it\n")
    assert path.read_text() == "mine" and os.listdir(tmp_path) == ["r.h5"]
    forced = program("--force", "--output", str(path), "0.3", "5", "1")
    assert forced.returncode == 0, forced.stderr
    assert program("--verify", str(path)).returncode == 0 and os.listdir(tmp_path) == ["r.h5"]


def test_a_fifo_or_a_device_is_refused_never_waited_on(tmp_path):
    fifo = tmp_path / "fifo"
    os.mkfifo(fifo)
    for target in (str(fifo), "/dev/null", "/dev/tty"):
        for force in ([], ["--force"]):
            refused = program(*force, "--output", target, "0.3", "5", "1", timeout=20)
            assert refused.returncode == 2 and refused.stderr == (
                f"cascade: --output '{target}' is not a regular file; the results file is written only to a file\n")
    assert fifo.exists() and os.listdir(tmp_path) == ["fifo"]
    # --verify of a FIFO is no HDF5 file: refused, not read from.
    assert program("--verify", str(fifo), timeout=20).returncode == 2


@pytest.mark.parametrize("words, message", [
    (["--with-weights", "0.3", "5", "1"], "--with-weights goes with --output FILE"),
    (["--force", "0.3", "5", "1"], "--force goes with --output FILE"),
    (["--weights", "w", "--output", "r.h5", "0.3", "5", "1"], "--weights FILE and --output FILE: give --with-weights"),
    (["--verify", "r.h5", "0.3", "5", "1"], "--verify FILE takes no run"),
    (["--output", "a.h5", "--output=b.h5", "0.3", "5", "1"], "--output may be given once"),
])
def test_options_that_do_not_go_together_are_refused(tmp_path, words, message):
    refused = program(*words, cwd=tmp_path)
    assert refused.returncode == 2 and refused.stderr.startswith("cascade: " + message), refused.stderr
    assert os.listdir(tmp_path) == []


def test_a_full_disk_leaves_nothing(tmp_path):
    # A file size limit makes every write past 1 MiB fail (EFBIG), as a full disk would.
    run = subprocess.run(["bash", "-c", f"trap '' XFSZ; ulimit -f 1024; exec {shlex.quote(PROGRAM)} "
                          "--generator philox --output r.h5 0.3 20 1"], cwd=tmp_path, capture_output=True, text=True)
    assert run.returncode == 1
    assert run.stderr.count("\n") == 1 and run.stderr.startswith("cascade: cannot write the results file 'r.h5': ")
    assert os.listdir(tmp_path) == []


@pytest.mark.parametrize("sent", [signal.SIGTERM, signal.SIGINT])
def test_an_interrupted_run_leaves_nothing(tmp_path, sent):
    run = subprocess.Popen([PROGRAM, "--generator", "philox", "--threads", "1", "--output", "r.h5", "0.3", "27", "1"],
                           cwd=tmp_path, stderr=subprocess.PIPE)
    deadline = time.monotonic() + 30
    # Sent once the temporary has values in it: the run is under way.
    while not any(p.stat().st_size > (1 << 20) for p in tmp_path.iterdir()) and time.monotonic() < deadline:
        time.sleep(0.01)
    assert run.poll() is None, "the run ended before it could be interrupted"
    run.send_signal(sent)
    assert run.wait(timeout=30) == -sent
    assert os.listdir(tmp_path) == []


def without_time(attributes):
    attributes = dict(attributes)
    attributes["history"] = attributes["history"].split(" ", 1)[1]
    return attributes


@pytest.mark.parametrize("stream, law, model, piece, dtype, weights", RUNS)
def test_save_writes_what_the_program_writes(tmp_path, monkeypatch, stream, law, model, piece, dtype, weights):
    (tmp_path / "program").mkdir()
    words = ["--float32"] if dtype == "float32" else []
    words += ["--with-weights"] if weights else []
    made = program("--seed", "11", *run_words(stream, law, piece, model), *words, "--output", "r.h5", LAMBDA,
                   str(STEPS), str(N0), cwd=tmp_path / "program")
    assert made.returncode == 0, made.stderr
    start, stop = piece or (None, None)
    monkeypatch.chdir(tmp_path)  # the same relative path, so the same command in the history
    cascade.save("r.h5", float(LAMBDA), STEPS, N0, seed=11, generator=stream, law=law, model=model, weights=weights,
                 dtype=np.dtype(dtype).type, start=start, stop=stop)
    with h5py.File(tmp_path / "r.h5") as saved, h5py.File(tmp_path / "program" / "r.h5") as written:
        for name in ("x", "w"):
            assert (name in saved) == (name in written)
            if name in saved:
                assert saved[name].dtype == written[name].dtype
                assert saved[name][...].tobytes() == written[name][...].tobytes()
        assert without_time(saved.attrs) == without_time(written.attrs)
    # Reopened, it gives what generate makes of its parameters.
    with cascade.open(tmp_path / "r.h5") as results:
        assert results.provenance["x_sha256"] == made_sum(tmp_path / "r.h5")
        again = cascade.generate(**results.parameters)
        x, w = again if weights else (again, None)
        assert x.tobytes() == results.x[...].tobytes() and results.x[2:5].tobytes() == x[2:5].tobytes()
        assert (results.w is None) == (not weights)
        if weights:
            assert w.tobytes() == results.w[...].tobytes()
    cascade.verify(tmp_path / "r.h5")


def made_sum(path):
    with h5py.File(path) as f:
        return hashlib.sha256(f["x"][...].tobytes()).hexdigest()


@pytest.mark.parametrize("name, alter, status, reason", HOSTILE, ids=[case[0] for case in HOSTILE])
def test_open_and_verify_refuse_hostile_files(tmp_path, name, alter, status, reason):
    path = hostile_file(tmp_path, name, alter)
    with pytest.raises(ValueError) as verified:
        cascade.verify(path)
    assert reason in str(verified.value) and "\n" not in str(verified.value)
    # Opening reads no value: what only the values tell is for verify.
    if status == 2 and "checksum" not in name:
        with pytest.raises(ValueError) as opened:
            cascade.open(path)
        assert str(opened.value) == str(verified.value)


def test_save_refuses_and_leaves_nothing(tmp_path):
    path = tmp_path / "r.h5"
    path.write_text("mine")
    with pytest.raises(ValueError, match="exists; give --force"):
        cascade.save(path, 0.3, 5, 1, seed=1)
    with pytest.raises(ValueError, match="not a regular file"):
        cascade.save("/dev/null", 0.3, 5, 1, seed=1, overwrite=True)
    with pytest.raises(ValueError, match="n0 must be"):
        cascade.save(tmp_path / "other.h5", 0.3, 5, 0, seed=1)
    with pytest.raises(ValueError, match="model must be"):
        cascade.save(tmp_path / "other.h5", 0.3, 5, 1, seed=1, model="no such model")
    assert path.read_text() == "mine" and os.listdir(tmp_path) == ["r.h5"]
    cascade.save(path, 0.3, 5, 1, seed=1, overwrite=True)
    cascade.verify(path)


SAVE_CHILD = r"""
import sys, cascade
try:
    cascade.save("r.h5", 0.3, 27, 1, seed=1, generator="philox", threads=1)
except KeyboardInterrupt:
    print("interrupted")
"""


def test_ctrl_c_during_save_leaves_nothing(tmp_path):
    run = subprocess.Popen([sys.executable, "-c", SAVE_CHILD], cwd=tmp_path, stdout=subprocess.PIPE, text=True)
    deadline = time.monotonic() + 30
    while not any(p.stat().st_size > (1 << 20) for p in tmp_path.iterdir()) and time.monotonic() < deadline:
        time.sleep(0.01)
    assert run.poll() is None, "the save ended before it could be interrupted"
    run.send_signal(signal.SIGINT)
    assert run.communicate(timeout=30)[0] == "interrupted\n"
    assert os.listdir(tmp_path) == []


def test_a_deflated_file_holds_the_same_values(tmp_path):
    cascade.save(tmp_path / "plain.h5", 0.3, 16, 1, seed=4, generator="philox", weights=True)
    cascade.save(tmp_path / "deflated.h5", 0.3, 16, 1, seed=4, generator="philox", weights=True, deflate=True)
    with h5py.File(tmp_path / "plain.h5") as plain, h5py.File(tmp_path / "deflated.h5") as deflated:
        assert (plain["x"].compression, deflated["x"].compression, deflated["x"].shuffle) == (None, "gzip", True)
        for name in ("x", "w"):
            assert plain[name][...].tobytes() == deflated[name][...].tobytes()
            assert plain.attrs[f"{name}_sha256"] == deflated.attrs[f"{name}_sha256"]
    cascade.verify(tmp_path / "deflated.h5")
    assert (tmp_path / "deflated.h5").stat().st_size < (tmp_path / "plain.h5").stat().st_size


# An ensemble: stream x dtype x weights, each row the run of its seed.
ENSEMBLES = [("subtractive", "float64", False), ("subtractive", "float32", True), ("philox", "float32", False),
             ("philox", "float64", True)]


@pytest.mark.parametrize("stream, dtype, weights", ENSEMBLES)
def test_an_ensemble_holds_one_run_a_row(tmp_path, stream, dtype, weights):
    seeds = [3, 5, 1000]
    path = tmp_path / "e.h5"
    cascade.save(path, 0.4, 11, 3, seeds=seeds, generator=stream, weights=weights, dtype=np.dtype(dtype).type)
    rows = cascade.generate_ensemble(0.4, 11, 3, seeds, generator=stream, dtype=np.dtype(dtype).type)
    with h5py.File(path) as f:
        assert f["x"][...].tobytes() == rows.tobytes() and f["x"].chunks[0] == 1
        assert f.attrs["x_sha256"] == hashlib.sha256(rows.astype(f"<{np.dtype(dtype).str[1:]}").tobytes()).hexdigest()
        assert f.attrs["seeds"].tolist() == seeds and "seed" not in f.attrs
        assert ("w" in f) == weights
        if weights:
            for k, seed in enumerate(seeds):
                w = cascade.generate(0.4, 11, 3, seed, generator=stream, weights=True, dtype=np.dtype(dtype).type)[1]
                assert f["w"][k].tobytes() == w.tobytes()
        assert f.attrs["history"].split(" ", 1)[1].startswith(f"cascade.save('{path}', 0.4, 11, 3, seeds=[3, 5, 1000]")
    with xarray.open_dataset(path) as dataset:
        assert dataset["x"].dims == ("realization", "t")
    with cascade.open(path) as results:
        assert cascade.generate_ensemble(**results.parameters).tobytes() == rows.tobytes()
    cascade.verify(path)
    assert program("--verify", str(path)).returncode == 0
    with h5py.File(path, "r+") as f:
        altered_value("x", (2, 77))(f)
    checked = program("--verify", str(path))
    assert checked.returncode == 1 and "x[2, 77] is not the value its run makes" in checked.stderr
    with h5py.File(path, "r+") as f:
        f.attrs["seeds"] = np.array([3, 5], dtype=np.uint64)
    with pytest.raises(ValueError, match="is not one value of t for each of the run's 6144 in each of its 2"):
        cascade.open(path)
