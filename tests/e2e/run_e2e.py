#!/usr/bin/env python3
"""Runs the end-to-end tests of kwobl.scr under Wine and prints "N passed, N failed" at the end.

Expects DISPLAY (a virtual X display, 640x480 for the geometry tests) and WINEPREFIX (a prepared
prefix) in the environment; scripts/test.sh sets both. The tests of several monitors then run on a
display of their own with two monitors, which this script starts (Xephyr on a hidden Xvfb). Exit status
0 only when every test passed.

    run_e2e.py --scr build/windows/kwobl.scr --helper .../kwobl_e2e_helper.exe
               [--make-pictures build/linux/tools/make_demo_pictures] [--shots DIR] [-k WORD]...
"""

from __future__ import annotations

import argparse
import os
import shutil
import subprocess
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
           "test_dpi", "test_orientation", "test_prefetch", "test_colour",
           "test_hostile_files", "test_dll_search", "test_display_power", "test_decoder_ended"]
# Modules that need two monitors: 1280 x 800 (the primary) and 1024 x 768 to its right.
TWO_MONITOR_MODULES = ["test_monitors"]
TWO_MONITOR_SCREENS = ["1280x800", "1024x768"]


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


def free_display(first: int) -> int:
    """The first display number from `first` on that no X server uses."""
    for number in range(first, first + 60):
        if not Path(f"/tmp/.X{number}-lock").exists() and not Path(f"/tmp/.X11-unix/X{number}").exists():
            return number
    raise RuntimeError("no free X display number")


class TwoMonitorDisplay:
    """Xephyr with two screens joined by Xinerama, on a hidden Xvfb: Wine sees two monitors side by side
    (with RandR on, or on Xvfb alone, it would see one)."""

    def __init__(self) -> None:
        self.servers: list[subprocess.Popen] = []
        host = free_display(120)
        self._start(["Xvfb", f":{host}", "-screen", "0", "2400x900x24", "-nolisten", "tcp"], host, {})
        guest = free_display(host + 1)
        screens = [arg for size in TWO_MONITOR_SCREENS for arg in ("-screen", size)]
        self._start(["Xephyr", f":{guest}", *screens, "+xinerama", "-extension", "RANDR", "-nolisten", "tcp"],
                    guest, {"DISPLAY": f":{host}"})
        self.display = f":{guest}"

    def _start(self, command: list[str], number: int, env: dict[str, str]) -> None:
        self.servers.append(subprocess.Popen(command, env={**os.environ, **env}, stdin=subprocess.DEVNULL,
                                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        ready = wine_session.wait_for(lambda: subprocess.run(["xdpyinfo", "-display", f":{number}"],
                                                             capture_output=True).returncode == 0, 15)
        if not ready:
            self.stop()
            raise RuntimeError(f"{command[0]} did not start on :{number}")

    def stop(self) -> None:
        for server in reversed(self.servers):
            server.terminate()
            try:
                server.wait(timeout=10)
            except subprocess.TimeoutExpired:
                server.kill()
        self.servers.clear()


def run_suite(session: wine_session.Session, modules: list[str], words: list[str]) -> unittest.TestResult | None:
    """Runs the tests of `modules` (those whose id has one of `words`) in `session`; None when none is chosen."""
    loader = unittest.TestLoader()
    suite = selected(unittest.TestSuite(loader.loadTestsFromName(name) for name in modules), words)
    if suite.countTestCases() == 0:
        return None
    wine_session.set_current(session)
    try:
        session.stop_wine()  # nothing left over from an earlier run
        session.start_holder()
        runner = unittest.TextTestRunner(stream=sys.stdout, resultclass=Result, verbosity=0)
        return runner.run(suite)
    finally:
        session.stop_wine()
        wine_session.set_current(None)


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

    def session_on(display: str | None) -> wine_session.Session:
        if display:
            os.environ["DISPLAY"] = display
        session = wine_session.Session(options.scr.resolve(), options.helper.resolve(), work / "folders",
                                       shots.resolve())
        if options.make_pictures and options.make_pictures.is_file():
            session.make_pictures = options.make_pictures.resolve()
        return session

    started = time.monotonic()
    results = []
    try:
        results.append(run_suite(session_on(None), MODULES, options.words))
        if selected(unittest.TestSuite(unittest.TestLoader().loadTestsFromName(name)
                                       for name in TWO_MONITOR_MODULES), options.words).countTestCases():
            monitors = TwoMonitorDisplay()
            try:
                results.append(run_suite(session_on(monitors.display), TWO_MONITOR_MODULES, options.words))
            finally:
                monitors.stop()
    finally:
        # The screenshots stay for a look afterwards; the folders of the runs go.
        shutil.rmtree(work if options.shots else work / "folders", ignore_errors=True)
    results = [result for result in results if result is not None]
    if not results:
        print("no test matches", file=sys.stderr)
        print("0 passed, 1 failed")
        return 1
    tests_run = sum(result.testsRun for result in results)
    skipped = sum(len(result.skipped) for result in results)
    failed = sum(len(result.failures) + len(result.errors) for result in results)
    passed = tests_run - failed - skipped
    print(f"screenshots: {shots}")
    print(f"end-to-end suite took {time.monotonic() - started:.0f} s")
    line = f"{passed} passed, {failed} failed"
    if skipped:
        line += f", {skipped} skipped"
    print(line)
    return 0 if failed == 0 and tests_run > 0 else 1


if __name__ == "__main__":
    try:
        sys.exit(main())
    except Exception as error:  # noqa: BLE001 - the closing line must say that the suite failed
        print(f"the end-to-end suite could not run: {type(error).__name__}: {error}", file=sys.stderr)
        print("0 passed, 1 failed")
        sys.exit(1)
