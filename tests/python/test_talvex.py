"""The Python module against the program's own results file."""

import json
import os
import re
import signal
import subprocess
import tempfile
import threading
import unittest

import numpy as np
import pandas as pd

import talvex

PROGRAM = os.environ["TALVEX_PROGRAM"]
ITEMS = os.path.join(os.environ["TALVEX_EXAMPLES"], "items.csv")


def program_run(args, folder):
    report, results = os.path.join(folder, "r.txt"), os.path.join(folder, "r.json")
    subprocess.run([PROGRAM, "analyse", ITEMS, "--report", report, "--json", results] + args,
                   check=True, capture_output=True)
    with open(report) as r, open(results) as j:
        return r.read(), json.load(j)


def timeless(report):
    # The header's date and time and the computing time are the only lines
    # that differ (the time is unpadded: 21:2:43).
    return [line for line in report.splitlines()
            if not re.match(r"\s*(Date|Time):|Computing time", line)]


def same(test, ours, theirs, where):
    if isinstance(theirs, dict):
        test.assertEqual(set(ours), set(theirs), where)
        for key in theirs:
            same(test, ours[key], theirs[key], where + "." + key)
    elif isinstance(ours, np.ndarray):
        np.testing.assert_array_equal(ours, np.array(theirs, dtype=float), where)
    elif isinstance(theirs, list):
        test.assertEqual(len(ours), len(theirs), where)
        for i, (a, b) in enumerate(zip(ours, theirs)):
            same(test, a, b, "%s[%d]" % (where, i))
    else:
        test.assertEqual(ours, theirs, where)


class SameAsProgram(unittest.TestCase):
    # Two sessions: the defaults, and three factors of the polychoric
    # matrix advised by parallel analysis with a Promin rotation.
    SESSIONS = [([], {}, None),
                (["--factors", "3", "--matrix", "polychoric", "--procedure", "PA",
                  "--rotation", "Promin"],
                 {"dispersionType": "polychoric", "factorCountProcedure": "PA",
                  "simplicityRotation": "Promin"}, 3)]

    def test_results_and_report_equal_the_programs(self):
        frame = pd.read_csv(ITEMS)
        for args, settings, factors in self.SESSIONS:
            with self.subTest(args=args), tempfile.TemporaryDirectory() as folder:
                report, results = program_run(args, folder)
                ours = talvex.analyse(frame, factors, name=ITEMS, **settings)
                # "report" holds the text instead of the report's path.
                self.assertEqual(timeless(ours.pop("report")), timeless(report))
                results.pop("report")
                same(self, ours, results, "results")
                self.assertIsInstance(ours["rotated_loadings"], np.ndarray)

    def test_labels_and_missing_values_of_arrays_and_frames(self):
        frame = pd.read_csv(ITEMS)
        by_frame = talvex.analyse(frame.astype(object).where(frame.notna(), None))
        by_array = talvex.analyse(frame.to_numpy())
        self.assertEqual([v["label"] for v in by_frame["variables"]], list(frame.columns))
        self.assertEqual(by_frame["missing_data"]["missing_per_variable"],
                         list(frame.isna().sum()))
        np.testing.assert_array_equal(by_frame["rotated_loadings"], by_array["rotated_loadings"])


class Refusals(unittest.TestCase):
    def setUp(self):
        self.frame = pd.read_csv(ITEMS).fillna(3)

    def refused(self, data, **settings):
        with self.assertRaises(talvex.AnalysisError) as caught:
            talvex.analyse(data, **settings)
        return str(caught.exception)

    def test_refused_settings_and_data(self):
        self.assertIn("did you mean factorCount", self.refused(self.frame, factorCont=2))
        self.assertIn("dispersionType", self.refused(self.frame, dispersionType="spearman"))
        text = self.frame.assign(i3="x")
        self.assertIn("'i3' is not numeric", self.refused(text))
        self.assertIn("missing-value code", self.refused(self.frame.replace(5, 999)))
        empty = self.frame.assign(i2=np.nan)
        self.assertNotEqual(self.refused(empty), "")
        few = self.refused(self.frame.head(5))
        self.assertNotEqual(few, "the run failed")

    def test_an_interrupt_stops_the_run_and_the_next_call_runs(self):
        seen = []

        def interrupt(stage):
            seen.append(stage)
            if stage.startswith("Computing PA"):
                os.kill(os.getpid(), signal.SIGINT)
        with tempfile.TemporaryDirectory() as folder:
            results = os.path.join(folder, "r.json")
            with self.assertRaises(KeyboardInterrupt):
                talvex.analyse(self.frame, factorCountProcedure="PA", jsonFileName=results,
                               progress=interrupt)
            # Stopped at the first replicate: no stage after it, no results written.
            self.assertTrue(seen[-1].startswith("Computing PA"))
            self.assertEqual(sum(s.startswith("Computing PA") for s in seen), 1)
            self.assertFalse(os.path.exists(results))
        # Without a callback the signal is seen at the next replicate too; a
        # run that went on (about 3 s) would write its results.
        big = pd.concat([self.frame] * 10, ignore_index=True)
        with tempfile.TemporaryDirectory() as folder:
            results = os.path.join(folder, "r.json")
            timer = threading.Timer(0.2, os.kill, (os.getpid(), signal.SIGINT))
            timer.start()
            with self.assertRaises(KeyboardInterrupt):
                talvex.analyse(big, factorCountProcedure="PA", dispersionType="polychoric",
                               jsonFileName=results)
            timer.join()
            self.assertFalse(os.path.exists(results))
        stages = []
        result = talvex.analyse(self.frame, progress=stages.append)
        self.assertEqual(result["ending"], "completed")
        self.assertIn("Computing dispersion matrix...", stages)


if __name__ == "__main__":
    unittest.main()
