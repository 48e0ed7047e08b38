"""tools/plot_cascade.py draws its figure from real runs of the program, and says
in one line why when it cannot."""
import os
import signal
import subprocess
import sys
import tempfile
import unittest

import tool_runs

TOOL = "plot_cascade.py"
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"
SVG_START = b"<?xml"


# Runs the tool (argv[2:]) with its heavy modules loaded and argv[1] bytes of
# address space left beyond them.
WITHIN_ROOM = """
import os, resource, runpy, sys
import numpy, matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot
for line in open("/proc/self/status"):
    if line.startswith("VmSize:"):
        used = int(line.split()[1]) * 1024
resource.setrlimit(resource.RLIMIT_AS, (used + int(sys.argv[1]), resource.getrlimit(resource.RLIMIT_AS)[1]))
sys.argv = sys.argv[2:]
sys.path.insert(0, os.path.dirname(sys.argv[0]))
runpy.run_path(sys.argv[0], run_name="__main__")
"""


def fake_program(folder, command):
    """An executable that runs the shell `command`, whatever its arguments."""
    path = os.path.join(folder, f"program{len(os.listdir(folder))}")
    with open(path, "w") as stream:
        stream.write(f"#!/bin/sh\n{command}\n")
    os.chmod(path, 0o755)
    return path


class PlotTest(unittest.TestCase):
    def test_draws_the_picture_and_says_where(self):
        # Long and very short cells; the extension picks the format.
        for steps, n0, name, start in [(5, 32, "cascade.png", PNG_SIGNATURE), (2, 1, "small.svg", SVG_START)]:
            with tempfile.TemporaryDirectory() as folder, self.subTest(steps=steps, n0=n0):
                path = os.path.join(folder, name)
                result = tool_runs.run_tool(TOOL, "--program", tool_runs.CASCADE, "--step-number", steps,
                                            "--n0", n0, "--output", path)
                self.assertEqual(result.returncode, 0, result.stderr.decode())
                self.assertEqual(result.stdout.decode(), f"wrote {path}\n")
                self.assertEqual(result.stderr, b"")
                with open(path, "rb") as stream:
                    self.assertEqual(stream.read(len(start)), start)
                self.assertEqual(os.listdir(folder), [name])

    def test_what_cannot_be_drawn_is_one_line_and_status_2(self):
        with tempfile.TemporaryDirectory() as folder, tempfile.TemporaryDirectory() as programs:
            picture = os.path.join(folder, "cascade.png")
            cases = [
                (["--program", os.path.join(folder, "no-such-program")], "is not an executable file"),
                (["--output", os.path.join(folder, "missing", "cascade.png")], "does not exist"),
                (["--output", os.path.join(folder, "cascade.xyz")], "unknown picture format 'xyz'"),
                (["--output", os.path.join(folder, "cascade")], "unknown picture format ''"),
                (["--step-number", 0], "--step-number must be a whole number of at least 1, got '0'"),
                (["--n0", "1.5"], "--n0 must be a whole number of at least 1, got '1.5'"),
                (["--n0", "1_0"], "--n0 must be a whole number of at least 1, got '1_0'"),
                (["--step-number", 30, "--n0", 4], "failed: cascade: "),  # the program refuses N > 2^31 - 1
                # Only the seconds the program takes: the title must name the run that was drawn.
                (["--seed", "abc"], "--seed must be a whole number from 0 to 2147483647, got 'abc'"),
                (["--seed", "-1"], "--seed must be a whole number from 0 to 2147483647, got '-1'"),
                (["--seed", "2147483648"], "--seed must be a whole number from 0 to 2147483647, got '2147483648'"),
                (["--colour", "red"], "unrecognized arguments: --colour red"),
                # A program that ends well with too little: 16 values are 128 bytes.
                (["--program", fake_program(programs, "head -c 64 /dev/zero")],
                 "wrote 64 bytes; 16 values are 128 bytes"),
                (["--program", fake_program(programs, "printf 0123456789")],
                 "wrote 10 bytes, not a whole number of 8-byte values; 16 values are 128 bytes"),
            ]
            for arguments, message in cases:
                defaults = ["--program", tool_runs.CASCADE, "--step-number", 3, "--n0", 2, "--output", picture]
                result = tool_runs.run_tool(TOOL, *defaults, *arguments)
                with self.subTest(arguments=arguments):
                    self.assertEqual(result.returncode, 2)
                    self.assertEqual(result.stdout, b"")
                    lines = result.stderr.decode().splitlines()
                    self.assertEqual(len(lines), 1, lines)
                    self.assertTrue(lines[0].startswith("plot_cascade: "), lines[0])
                    self.assertIn(message, lines[0])
                    self.assertEqual(os.listdir(folder), [])

    def test_a_link_in_the_folder_is_replaced_never_written_through(self):
        # A link where the picture or a temporary file of an older version went: the file it names stays as it was.
        for link in ["q.png.partial", "q.png"]:
            with tempfile.TemporaryDirectory() as folder, self.subTest(link=link):
                victim = os.path.join(folder, "victim.txt")
                with open(victim, "w") as stream:
                    stream.write("victim\n")
                os.symlink("victim.txt", os.path.join(folder, link))
                picture = os.path.join(folder, "q.png")
                result = tool_runs.run_tool(TOOL, "--program", tool_runs.CASCADE, "--step-number", 3, "--n0", 2,
                                            "--output", picture)
                self.assertEqual((result.returncode, result.stderr), (0, b""))
                with open(victim) as stream:
                    self.assertEqual(stream.read(), "victim\n")
                self.assertFalse(os.path.islink(picture))
                with open(picture, "rb") as stream:
                    self.assertEqual(stream.read(len(PNG_SIGNATURE)), PNG_SIGNATURE)
                self.assertEqual(sorted(os.listdir(folder)), sorted({"victim.txt", "q.png", link}))

    def test_memory_that_cannot_be_had_is_one_line_and_status_2(self):
        # A series of 2^22 values (32 MiB), from a program that only copies it
        # out, and 128 MiB of room beyond what the tool's modules take.
        with tempfile.TemporaryDirectory() as folder:
            series = os.path.join(folder, "series.f64")
            with open(series, "wb") as stream:
                stream.write(tool_runs.cascade_output(5, 0.3, 22, 1, "--binary"))
            program = fake_program(folder, f"exec cat '{series}'")
            picture = os.path.join(folder, "cascade.png")
            result = tool_runs.run_tool(TOOL, "--program", program, "--step-number", 22, "--n0", 1, "--output",
                                        picture, interpreter=(sys.executable, "-c", WITHIN_ROOM, str(128 << 20)))
            self.assertEqual(result.returncode, 2, result.stderr.decode())
            self.assertEqual(result.stdout, b"")
            self.assertRegex(result.stderr.decode(), r"^plot_cascade: cannot allocate memory for the picture[^\n]*\n$")
            self.assertFalse(os.path.exists(picture))

    def test_a_path_that_cannot_be_printed_is_status_1_and_the_picture_stays(self):
        for broken, reason in [("full", "No space left on device"), ("closed", "Bad file descriptor")]:
            with tempfile.TemporaryDirectory() as folder, self.subTest(stdout=broken):
                picture = os.path.join(folder, "cascade.png")
                result = tool_runs.run_tool(TOOL, "--program", tool_runs.CASCADE, "--step-number", 3, "--n0", 2,
                                            "--output", picture, broken={1: broken})
                self.assertEqual(result.returncode, 1)
                self.assertEqual(result.stderr.decode(), f"plot_cascade: cannot write the picture's path: {reason}\n")
                with open(picture, "rb") as stream:
                    self.assertEqual(stream.read(len(PNG_SIGNATURE)), PNG_SIGNATURE)

    def test_help_describes_every_option_and_its_default(self):
        result = tool_runs.run_tool(TOOL, "--help")
        self.assertEqual(result.returncode, 0)
        text = " ".join(result.stdout.decode().split())
        for option, default in [("--program PROGRAM", "(default: build/cascade"), ("--seed SEED", "(default: 1700000000)"),
                                ("--step-number N", "(default: 12)"), ("--n0 N", "(default: 64)"),
                                ("--output FILE", "(default: docs/cascade.png")]:
            self.assertIn(option, text)
            self.assertIn(default, text[text.rindex(option):])

    def test_a_closed_pipe_ends_it_quietly(self):
        with tempfile.TemporaryDirectory() as folder:
            process = subprocess.Popen([sys.executable, os.path.join(tool_runs.TOOLS, TOOL), "--program",
                                        tool_runs.CASCADE, "--step-number", "5", "--n0", "4", "--output",
                                        os.path.join(folder, "cascade.png")],
                                       stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            process.stdout.close()  # the reader is gone before the tool says what it wrote
            error = process.stderr.read()
            process.stderr.close()
            process.wait()
        self.assertEqual(error, b"")
        self.assertEqual(process.returncode, -signal.SIGPIPE)


if __name__ == "__main__":
    unittest.main()
