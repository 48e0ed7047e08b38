"""tools/plot_cascade.py draws its figure from real runs of the program."""
import os
import tempfile
import unittest

import tool_runs

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


class PlotTest(unittest.TestCase):
    def test_draws_a_png_from_short_runs(self):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "figure", "cascade.png")
            result = tool_runs.run_tool("plot_cascade.py", "--program", tool_runs.CASCADE, "--step-number", 5,
                                        "--n0", 32, "--output", path)
            self.assertEqual(result.returncode, 0, result.stderr.decode())
            with open(path, "rb") as stream:
                self.assertEqual(stream.read(8), PNG_SIGNATURE)

    def test_a_failing_program_is_reported(self):
        with tempfile.TemporaryDirectory() as folder:
            result = tool_runs.run_tool("plot_cascade.py", "--program", tool_runs.CASCADE, "--step-number", 0,
                                        "--output", os.path.join(folder, "cascade.png"))
            self.assertNotEqual(result.returncode, 0)
            self.assertIn("plot_cascade: ", result.stderr.decode())
            self.assertFalse(os.path.exists(os.path.join(folder, "cascade.png")))


if __name__ == "__main__":
    unittest.main()
