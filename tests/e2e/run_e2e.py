#!/usr/bin/env python3
"""Runs the end-to-end tests of kwobl.scr under Wine and prints "N passed, N failed" at the end.

Expects DISPLAY (a virtual X display, 640x480 for the geometry tests) and WINEPREFIX (a prepared
prefix) in the environment; scripts/test.sh sets both. Exit status 0 only when every test passed.

    run_e2e.py --scr build/windows/kwobl.scr --helper .../kwobl_e2e_helper.exe
               [--make-pictures build/linux/tools/make_demo_pictures] [--shots DIR] [-k WORD]...
"""

from __future__ import annotations

import argparse
import shutil
import sys
import tempfile
import time
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
sys.dont_write_bytecode = True  # no __pycache__ folders in the source tree

import wine_session  # noqa: E402  (the path above makes the suite's modules importable)

MODULES = ["test_modes", "test_slideshow", "test_run", "test_demo_pictures", "test_traces", "test_dialogs",
           "test_dpi", "test_orientation", "test_hostile_files"]


class Result(unittest.TextTestResult):
    """Prints one line per test with its time, so a slow or failing step is easy to spot."""

    def startTest(self, test):
        self._started = time.monotonic()
        super().startTest(test)

    def _line(self, test, word):
        seconds = time.monotonic() - self._started
        self.stream.write(f"{word:5} {seconds:5.1f}s  {test.id()}\n")
        self.stream.flush()

    def addSuccess(self, test):
        unittest.TestResult.addSuccess(self, test)
        self._line(test, "ok")

    def addFailure(self, test, err):
        unittest.TestResult.addFailure(self, test, err)
        self._line(test, "FAIL")

    def addError(self, test, err):
        unittest.TestResult.addError(self, test, err)
        self._line(test, "ERROR")

    def addSkip(self, test, reason):
        unittest.TestResult.addSkip(self, test, reason)
        self._line(test, "skip")


def selected(suite: unittest.TestSuite, words: list[str]) -> unittest.TestSuite:
    if not words:
        return suite
    chosen = unittest.TestSuite()
    for test in _flatten(suite):
        if any(word in test.id() for word in words):
            chosen.addTest(test)
    return chosen


def _flatten(suite):
    for item in suite:
        if isinstance(item, unittest.TestSuite):
            yield from _flatten(item)
        else:
            yield item


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--scr", type=Path, required=True)
    parser.add_argument("--helper", type=Path, required=True)
    parser.add_argument("--make-pictures", type=Path)
    parser.add_argument("--shots", type=Path, help="folder that keeps the screenshots the tests take")
    parser.add_argument("-k", dest="words", action="append", default=[], help="run only tests whose id has WORD")
    options = parser.parse_args()

    for needed in (options.scr, options.helper):
        if not needed.is_file():
            print(f"missing {needed}: build the windows preset first", file=sys.stderr)
            print("0 passed, 1 failed")
            return 1

    work = Path(tempfile.mkdtemp(prefix="kwobl-e2e-"))
    shots = options.shots or work / "shots"
    shots.mkdir(parents=True, exist_ok=True)
    session = wine_session.Session(options.scr.resolve(), options.helper.resolve(), work / "folders",
                                   shots.resolve())
    if options.make_pictures and options.make_pictures.is_file():
        session.make_pictures = options.make_pictures.resolve()
    wine_session.set_current(session)
    started = time.monotonic()
    try:
        session.stop_wine()  # nothing left over from an earlier run
        session.start_holder()
        loader = unittest.TestLoader()
        suite = unittest.TestSuite(loader.loadTestsFromName(name) for name in MODULES)
        suite = selected(suite, options.words)
        runner = unittest.TextTestRunner(stream=sys.stdout, resultclass=Result, verbosity=0)
        result = runner.run(suite)
    finally:
        session.stop_wine()
        wine_session.set_current(None)
        # The screenshots stay for a look afterwards; the folders of the runs go.
        shutil.rmtree(work if options.shots else work / "folders", ignore_errors=True)
    failed = len(result.failures) + len(result.errors)
    passed = result.testsRun - failed - len(result.skipped)
    print(f"screenshots: {shots}")
    print(f"end-to-end suite took {time.monotonic() - started:.0f} s")
    line = f"{passed} passed, {failed} failed"
    if result.skipped:
        line += f", {len(result.skipped)} skipped"
    print(line)
    return 0 if failed == 0 and result.testsRun > 0 else 1


if __name__ == "__main__":
    try:
        sys.exit(main())
    except Exception as error:  # noqa: BLE001 - the closing line must say that the suite failed
        print(f"the end-to-end suite could not run: {type(error).__name__}: {error}", file=sys.stderr)
        print("0 passed, 1 failed")
        sys.exit(1)
