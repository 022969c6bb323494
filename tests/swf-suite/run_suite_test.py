#!/usr/bin/env python3
"""How run_suite.py compares traces: line ends, approximations, inline tables spread over lines."""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import run_suite  # noqa: E402


class TraceMatching(unittest.TestCase):
    def test_exact_with_crlf_and_final_newline(self):
        self.assertTrue(run_suite.traces_match("a\r\nb\r\n", "a\nb\n", None))
        self.assertTrue(run_suite.traces_match("a\nb\n", "a\nb", None))
        self.assertFalse(run_suite.traces_match("a\nb\n", "a\nc\n", None))
        self.assertFalse(run_suite.traces_match("a\nb\n", "a\n", None))
        self.assertFalse(run_suite.traces_match("", "x", None))

    def test_bare_numbers_within_epsilon(self):
        approx = {"bare_numbers": True, "epsilon": 0.05}
        self.assertTrue(run_suite.traces_match("1.00\nx", "1.04\nx", approx))
        self.assertFalse(run_suite.traces_match("1.00", "1.10", approx))
        self.assertFalse(run_suite.traces_match("1.00 px", "1.01 px", approx))

    def test_number_patterns_keep_the_text_exact(self):
        approx = {"number_patterns": [r"angle=([\d.]+)"], "epsilon": 0.001}
        self.assertTrue(run_suite.traces_match("angle=1.5000 ok", "angle=1.5004 ok", approx))
        self.assertFalse(run_suite.traces_match("angle=1.5 ok", "angle=1.6 ok", approx))
        self.assertFalse(run_suite.traces_match("angle=1.5 ok", "angle=1.5 no", approx))

    def test_relative_tolerance(self):
        approx = {"bare_numbers": True, "max_relative": 1e-6}
        self.assertTrue(run_suite.traces_match("1000000", "1000000.5", approx))
        self.assertFalse(run_suite.traces_match("1", "1.5", approx))


class Toml(unittest.TestCase):
    def test_inline_table_over_lines(self):
        text = 'num_frames = 2\noptimizations = {\n    fold = false\n}\n'
        self.assertEqual(run_suite.read_toml(text)["optimizations"], {"fold": False})

    def test_scope(self):
        self.assertTrue(run_suite.in_script_scope("avm1__array_sort"))
        self.assertFalse(run_suite.in_script_scope("avm1__xml_parse"))
        self.assertFalse(run_suite.in_script_scope("avm1__bitmapdata_draw"))


if __name__ == "__main__":
    unittest.main()
