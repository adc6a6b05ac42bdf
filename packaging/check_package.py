#!/usr/bin/env python3
"""Checks the release zips against what went into them; prints what it finds and exits 1 on a fault.

    check_package.py program ZIP --scr kwobl.scr --libjpeg third_party/libjpeg-turbo --lcms2 third_party/lcms2 \
        --version 1.00
    check_package.py demo ZIP --generator build/linux/tools/make_demo_pictures
"""

from __future__ import annotations

import argparse
import re
import struct
import subprocess
import sys
import tarfile
import tempfile
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
sys.dont_write_bytecode = True

from reproducible_zip import entry_time  # noqa: E402  (the path above makes it importable)

IJG_SENTENCE = "This software is based in part on the work of the Independent JPEG Group."
BOM = b"\xef\xbb\xbf"


class Checks:
    """Collects failed checks, so that one run reports all of them."""

    def __init__(self) -> None:
        self.faults: list[str] = []

    def expect(self, condition: bool, what: str) -> bool:
        if not condition:
            self.faults.append(what)
        return condition


def fixed_times(checks: Checks, archive: zipfile.ZipFile) -> None:
    times = {info.date_time for info in archive.infolist()}
    checks.expect(times == {entry_time()}, f"entry times {sorted(times)} instead of {entry_time()}")
    extras = [info.filename for info in archive.infolist() if info.extra]
    checks.expect(not extras, f"entries with extra fields (times, owners): {extras}")


def windows_text(checks: Checks, name: str, data: bytes) -> str:
    """Checks that a text is UTF-8 with a byte order mark and CR LF line ends; returns it with LF."""
    checks.expect(data.startswith(BOM), f"{name} does not start with a UTF-8 byte order mark")
    bare_lf = len(re.findall(rb"(?<!\r)\n", data))
    checks.expect(bare_lf == 0, f"{name} has {bare_lf} line ends without CR")
    try:
        text = data.removeprefix(BOM).decode("utf-8")
    except UnicodeDecodeError as error:
        checks.expect(False, f"{name} is not UTF-8: {error}")
        return ""
    left = sorted(set(re.findall(r"@[A-Z_]+@", text)))
    checks.expect(not left, f"{name} still has placeholders {left}")
    return text.replace("\r\n", "\n")


def pe_header(checks: Checks, data: bytes) -> None:
    """The program file's PE header holds no link time and no symbol table."""
    if not checks.expect(data[:2] == b"MZ" and len(data) > 0x40, "kwobl.scr is no Windows program"):
        return
    (pe,) = struct.unpack_from("<I", data, 0x3C)
    signature, _, _, stamp, symbols, symbol_count = struct.unpack_from("<4sHHIII", data, pe)
    checks.expect(signature == b"PE\0\0", "kwobl.scr has no PE header")
    checks.expect(stamp == 0, f"kwobl.scr's PE header has the time stamp {stamp}")
    checks.expect(symbols == 0 and symbol_count == 0, f"kwobl.scr has a symbol table ({symbol_count} symbols)")


def ijg_legal_section(readme_ijg: str) -> str:
    begin = readme_ijg.index("\nLEGAL ISSUES\n")
    end = readme_ijg.index("\nREFERENCES\n", begin)
    return readme_ijg[begin:end].strip()


def simd_licence(tarball: Path) -> str:
    with tarfile.open(tarball) as archive:
        member = next(m for m in archive.getmembers() if m.name.endswith("/simd/nasm/jsimdext.inc"))
        source = archive.extractfile(member).read().decode("utf-8")
    lines = source.split("\n")
    first = next(i for i, line in enumerate(lines) if line.startswith("; Copyright"))
    block = []
    for line in lines[first:]:
        if not line.startswith(";"):
            break
        block.append(re.sub(r"^; ?", "", line))
    return "\n".join(block).strip()


def check_program(options: argparse.Namespace) -> Checks:
    checks = Checks()
    with zipfile.ZipFile(options.zip) as archive:
        names = [info.filename for info in archive.infolist()]
        print(f"{options.zip.name}: {', '.join(names)}")
        expected = ["README.txt", "THIRD-PARTY-NOTICES.txt", "kwobl.scr"]
        checks.expect(names == expected, f"entries {names} instead of {expected}")
        fixed_times(checks, archive)
        contents = {name: archive.read(name) for name in names}

    scr = contents.get("kwobl.scr", b"")
    checks.expect(scr == options.scr.read_bytes(), f"kwobl.scr in the zip differs from {options.scr}")
    pe_header(checks, scr)

    readme = windows_text(checks, "README.txt", contents.get("README.txt", b""))
    for needed in ["kwobl.scr", "KWOBL001.DAT", "KWOBL050.DAT", "/s", "/c", "/p", "/a", "インストール",
                   "Install", "EXIF", "モニター", "monitor", "ICC", "プロファイル", "Little CMS", "THIRD-PARTY-NOTICES.txt",
                   "デジタル署名", "Digital signatures", "Mark of the Web",
                   IJG_SENTENCE,
                   f"kwobl-{options.version}-demo-pictures.zip", f" {options.version}\n"]:
        checks.expect(needed in readme, f"README.txt does not mention {needed!r}")

    notices = windows_text(checks, "THIRD-PARTY-NOTICES.txt", contents.get("THIRD-PARTY-NOTICES.txt", b""))
    checks.expect(IJG_SENTENCE in notices.split("\n"), "the notices lack the IJG sentence on a line of its own")
    sources = {
        "LICENSE.md": (options.libjpeg / "LICENSE.md").read_text(encoding="utf-8").strip(),
        "README.ijg's LEGAL ISSUES": ijg_legal_section((options.libjpeg / "README.ijg").read_text(encoding="utf-8")),
        "the SIMD extensions' zlib licence": simd_licence(next(options.libjpeg.glob("libjpeg-turbo_*.orig.tar.gz"))),
        "Little CMS's MIT licence": (options.lcms2 / "COPYING").read_text(encoding="utf-8").strip(),
    }
    for what, text in sources.items():
        checks.expect(len(text) > 500 and text in notices, f"the notices do not hold {what} unchanged")
    return checks


def check_demo(options: argparse.Namespace) -> Checks:
    checks = Checks()
    signatures = (b"BM", b"\x89PNG\r\n\x1a\n", b"\xff\xd8\xff", b"GIF8", b"II*\0", b"MM\0*")
    with zipfile.ZipFile(options.zip) as archive:
        names = [info.filename for info in archive.infolist()]
        print(f"{options.zip.name}: {len(names)} entries, {names[0] if names else '-'} ... {names[-1] if names else '-'}")
        expected = [f"KWOBL{number:03}.DAT" for number in range(1, 51) if number != 17]
        checks.expect(names == expected, f"entries {names} instead of KWOBL001.DAT ... KWOBL050.DAT without 017")
        fixed_times(checks, archive)
        for name in names:
            data = archive.read(name)
            checks.expect(data.startswith(signatures), f"{name} is no BMP, PNG, JPEG, GIF or TIFF picture")
        # Two pictures made again by the generator are the same bytes as in the zip.
        with tempfile.TemporaryDirectory(prefix="kwobl-demo-check-") as folder:
            subprocess.run([options.generator, folder, "--only", "1", "--only", "50"], check=True,
                           stdout=subprocess.DEVNULL)
            for name in ("KWOBL001.DAT", "KWOBL050.DAT"):
                made = Path(folder, name).read_bytes()
                checks.expect(name in names and archive.read(name) == made,
                              f"{name} in the zip differs from what the generator makes")
    return checks


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("kind", choices=["program", "demo"])
    parser.add_argument("zip", type=Path)
    parser.add_argument("--scr", type=Path)
    parser.add_argument("--libjpeg", type=Path)
    parser.add_argument("--lcms2", type=Path)
    parser.add_argument("--version")
    parser.add_argument("--generator", type=Path)
    options = parser.parse_args()
    if not options.zip.is_file():
        print(f"missing {options.zip}", file=sys.stderr)
        return 1
    if options.kind == "program":
        if not (options.scr and options.libjpeg and options.lcms2 and options.version):
            parser.error("program needs --scr, --libjpeg, --lcms2 and --version")
        checks = check_program(options)
    else:
        if not options.generator:
            parser.error("demo needs --generator")
        checks = check_demo(options)
    for fault in checks.faults:
        print(f"FAULT: {fault}")
    print(f"{options.zip.name}: {'all checks passed' if not checks.faults else f'{len(checks.faults)} faults'}"
          f" ({options.zip.stat().st_size} bytes)")
    return 1 if checks.faults else 0


if __name__ == "__main__":
    sys.exit(main())
