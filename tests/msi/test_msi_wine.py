#!/usr/bin/env python3
"""The installer package under Wine: install, start, repair, upgrade, refused downgrade, uninstall.

    scripts/wine_session.sh python3 tests/msi/test_msi_wine.py --msi kwobl-1.00-win64.msi --shots FOLDER \\
        -- MAKE_MSI_ARGUMENTS...

Runs in the Wine session that scripts/wine_session.sh prepares (its own prefix: KWOBL_WINE_PREFIX). The
arguments after -- are packaging/make_msi.py's (the pictures, the program, ...) without the output:
the test makes a package of a higher version from the same files with them.
"""

from __future__ import annotations

import argparse
import os
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
sys.dont_write_bytecode = True

import screen  # noqa: E402

PICTURES = [f"KWOBL{number:03d}.DAT" for number in range(1, 51)]
FILES = ["kwobl.scr", "README.txt", "THIRD-PARTY-NOTICES.txt", *PICTURES]
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
# A change of drive C that comes from Wine itself, not from the package.
VOLATILE = ("windows/temp/", "users/", "windows/logs/")

ARGS: argparse.Namespace


def prefix() -> Path:
    return Path(os.environ["WINEPREFIX"])


def install_folder() -> Path:
    return prefix() / "drive_c" / "Program Files" / "KWOBL"


def msiexec(*args: str | Path) -> int:
    return subprocess.run(["wine", "msiexec", *map(str, args), "/qn"], capture_output=True,
                          timeout=300).returncode


def wine_path(path: Path) -> str:
    return "Z:" + str(path.resolve()).replace("/", "\\")


def drive_c() -> set[str]:
    """Every file and folder on drive C, but Wine's temporary and per-user folders."""
    root = prefix() / "drive_c"
    entries = set()
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            relative = os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/")
            if not relative.lower().startswith(VOLATILE):
                entries.add(relative)
    return entries


def product_code(msi: Path) -> str:
    out = subprocess.run(["msiinfo", "export", str(msi), "Property"], capture_output=True, text=True,
                         check=True).stdout
    for line in out.splitlines():
        if line.startswith("ProductCode\t"):
            return line.split("\t")[1].strip()
    raise AssertionError(f"{msi} has no ProductCode")


def uninstall_entries() -> set[str]:
    """The product codes in the installed-programs list (Wine's registry, written by its server)."""
    out = subprocess.run(["wine", "reg", "query", UNINSTALL_KEY], capture_output=True, text=True,
                         timeout=60).stdout
    return {line.strip().rsplit("\\", 1)[-1] for line in out.splitlines() if line.strip().startswith("HKEY")}


def display_version(code: str) -> str:
    out = subprocess.run(["wine", "reg", "query", f"{UNINSTALL_KEY}\\{code}", "/v", "DisplayVersion"],
                         capture_output=True, text=True, timeout=60).stdout
    for line in out.splitlines():
        if "DisplayVersion" in line:
            return line.split()[-1]
    return ""


def expected_screen(picture: Path, width: int, height: int) -> screen.Shot:
    """The picture as the slideshow places it on a width x height screen: fitted and centred on black."""
    data = subprocess.run(["convert", f"{picture}[0]", "-resize", f"{width}x{height}", "-background", "black",
                           "-gravity", "center", "-extent", f"{width}x{height}", "-depth", "8", "ppm:-"],
                          check=True, capture_output=True, timeout=60).stdout
    return screen.parse_ppm(data)


def difference(a: screen.Shot, b: screen.Shot) -> float:
    """The mean difference of two equal-sized screenshots per channel, sampled every fourth pixel."""
    total = count = 0
    for at in range(0, len(a.rgb), 12):
        total += abs(a.rgb[at] - b.rgb[at]) + abs(a.rgb[at + 1] - b.rgb[at + 1]) + abs(a.rgb[at + 2] - b.rgb[at + 2])
        count += 3
    return total / count


class InstallerPackageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls) -> None:
        cls.work = Path(tempfile.mkdtemp(prefix="kwobl-msi-test-"))
        cls.msi = ARGS.msi
        cls.newer = cls.work / "kwobl-newer-win64.msi"
        subprocess.run([sys.executable, str(ROOT / "packaging" / "make_msi.py"), "--output", str(cls.newer),
                        "--work", str(cls.work / "newer"), "--version", "1.1.0", *ARGS.make_msi],
                       check=True, capture_output=True, timeout=300)
        cls.codes = {product_code(cls.msi), product_code(cls.newer)}
        # What an earlier run left, in case it stopped half-way.
        for code in cls.codes:
            msiexec("/x", code)
        # Windows Installer's own cache folder is always there on Windows; a new Wine prefix makes it at
        # its first install. What the package leaves in it still counts.
        (prefix() / "drive_c" / "windows" / "Installer").mkdir(parents=True, exist_ok=True)
        cls.before = drive_c()

    def tearDown(self) -> None:
        for code in self.codes:
            msiexec("/x", code)

    def assert_installed(self, msi_files: Path) -> None:
        folder = install_folder()
        self.assertTrue(folder.is_dir(), "no folder Program Files\\KWOBL")
        self.assertEqual(sorted(p.name for p in folder.iterdir()), sorted(FILES))
        for name in PICTURES:
            self.assertEqual((folder / name).read_bytes(), (msi_files / name).read_bytes(), name)

    def assert_nothing_left(self) -> None:
        self.assertFalse(install_folder().exists(), "Program Files\\KWOBL is still there")
        self.assertEqual(uninstall_entries() & self.codes, set(), "still in the installed-programs list")
        left = drive_c() - self.before
        self.assertEqual(sorted(left), [], "files or folders left on drive C")

    def test_install_start_repair_and_uninstall(self):
        code = product_code(self.msi)
        self.assertEqual(msiexec("/i", wine_path(self.msi)), 0)
        self.assert_installed(ARGS.pictures)
        self.assertIn(code, uninstall_entries())
        self.assertEqual(display_version(code), "1.0.0")

        # The installed program, started from elsewhere, shows picture 1 from its own folder.
        shot = self.slideshow_screen()
        expected = expected_screen(ARGS.pictures / "KWOBL001.DAT", shot.width, shot.height)
        other = expected_screen(ARGS.pictures / "KWOBL002.DAT", shot.width, shot.height)
        near, far = difference(shot, expected), difference(shot, other)
        self.assertLess(near, 12, f"the screen is not picture 1 (mean difference {near:.1f})")
        self.assertLess(near * 2, far, f"picture 1 {near:.1f} against picture 2 {far:.1f}")

        # Repair puts back what was removed. Wine's msiexec /f fails whatever it is given, so the repair
        # is asked for with the properties that /fomus sets.
        (install_folder() / "KWOBL001.DAT").unlink()
        (install_folder() / "kwobl.scr").unlink()
        self.assertEqual(msiexec("/i", wine_path(self.msi), "REINSTALL=ALL", "REINSTALLMODE=omus"), 0)
        self.assert_installed(ARGS.pictures)

        self.assertEqual(msiexec("/x", wine_path(self.msi)), 0)
        self.assert_nothing_left()

    def test_newer_package_upgrades_in_place_and_older_one_is_refused(self):
        old, new = product_code(self.msi), product_code(self.newer)
        self.assertNotEqual(old, new)
        self.assertEqual(msiexec("/i", wine_path(self.msi)), 0)
        self.assertEqual(msiexec("/i", wine_path(self.newer)), 0)
        entries = uninstall_entries()
        self.assertIn(new, entries)
        self.assertNotIn(old, entries, "the older version is still installed beside the newer one")
        self.assertEqual(display_version(new), "1.1.0")
        self.assert_installed(ARGS.pictures)

        self.assertNotEqual(msiexec("/i", wine_path(self.msi)), 0, "the older package went over the newer one")
        entries = uninstall_entries()
        self.assertIn(new, entries)
        self.assertNotIn(old, entries)
        self.assert_installed(ARGS.pictures)

        self.assertEqual(msiexec("/x", wine_path(self.newer)), 0)
        self.assert_nothing_left()

    def slideshow_screen(self) -> screen.Shot:
        display = os.environ["DISPLAY"]
        program = "C:\\Program Files\\KWOBL\\kwobl.scr"
        process = subprocess.Popen(["wine", program, "/s"], cwd=self.work, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        try:
            deadline = time.monotonic() + 30
            shot = screen.screenshot(display)
            # Wait for a picture, then for the screen to settle.
            while time.monotonic() < deadline and shot.is_black():
                time.sleep(0.25)
                shot = screen.screenshot(display)
            time.sleep(1.0)
            shot = screen.screenshot(display, ARGS.shots / "installed-program.png" if ARGS.shots else None)
            self.assertFalse(shot.is_black(), "the installed program showed no picture")
            return shot
        finally:
            subprocess.run(["xdotool", "mousemove", "10", "10", "click", "1"], capture_output=True, timeout=30)
            try:
                process.wait(timeout=15)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()


def main() -> None:
    global ARGS
    argv = sys.argv[1:]
    split = argv.index("--") if "--" in argv else len(argv)
    parser = argparse.ArgumentParser()
    parser.add_argument("--msi", type=Path, required=True)
    parser.add_argument("--shots", type=Path)
    ARGS = parser.parse_args(argv[:split])
    ARGS.make_msi = argv[split + 1:]
    ARGS.pictures = Path(ARGS.make_msi[ARGS.make_msi.index("--pictures") + 1])
    if ARGS.shots:
        ARGS.shots.mkdir(parents=True, exist_ok=True)
    result = unittest.main(argv=[sys.argv[0], "-v"], exit=False).result
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
