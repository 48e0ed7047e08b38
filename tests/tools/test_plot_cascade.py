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
        with tempfile.TemporaryDirectory() as folder:
            picture = os.path.join(folder, "cascade.png")
            cases = [
                (["--program", os.path.join(folder, "no-such-program")], "is not an executable file"),
                (["--output", os.path.join(folder, "missing", "cascade.png")], "does not exist"),
                (["--output", os.path.join(folder, "cascade.xyz")], "unknown picture format 'xyz'"),
                (["--output", os.path.join(folder, "cascade")], "unknown picture format ''"),
                (["--step-number", 0], "--step-number and --n0 must be at least 1"),
                (["--step-number", 30, "--n0", 4], "failed: cascade: "),  # the program refuses N > 2^31 - 1
                (["--seed", "abc"], "invalid int value: 'abc'"),
                (["--colour", "red"], "unrecognized arguments: --colour red"),
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
