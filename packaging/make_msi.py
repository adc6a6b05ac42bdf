#!/usr/bin/env python3
"""Makes the Windows Installer package of the program and its fifty pictures with wixl (msitools).

    make_msi.py --output kwobl-1.00-win64.msi --work FOLDER --pictures FOLDER --checker check_pictures
                --scr kwobl.scr --readme README.txt --notices THIRD-PARTY-NOTICES.txt
                --icon program.ico --version-header resources/version.h [--version 1.1.0] [--wixl wixl]

The package is per-machine and 64-bit and installs everything into Program Files\\KWOBL\\. Its product
name (in Latin letters), manufacturer and version come from resources/version.h, as the program's
version resource does;
--version gives another version (a package to try upgrades with). The pictures folder must hold
exactly KWOBL001.DAT to KWOBL050.DAT, each accepted by the program's header checks (the native
check_pictures); otherwise nothing is made and the faults are printed.

The bytes depend only on what goes in: the upgrade code is fixed, the product code follows from the
version, the component codes from the file names, and the package code from the package's contents;
the files' times in the cabinet and the summary's times are fixed (1980-01-01 00:00 UTC, or
SOURCE_DATE_EPOCH when it is set). wixl itself writes a random package code and the time of the build
into the summary information; that stream is rewritten afterwards (python3-olefile), at the same size.
"""

from __future__ import annotations

import argparse
import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import uuid
from pathlib import Path
from xml.sax.saxutils import quoteattr

# The one upgrade code of every KWOBL package, whatever its version: Windows Installer finds an
# installed KWOBL by it, to replace an older one or to refuse to go over a newer one.
UPGRADE_CODE = uuid.UUID("6F3B5C2E-9A41-4D7B-8E0C-2B5D7A1C4E93")
PICTURES = [f"KWOBL{number:03d}.DAT" for number in range(1, 51)]
PROGRAM_FILES = ["kwobl.scr", "README.txt", "THIRD-PARTY-NOTICES.txt"]
# Japanese, as the program's resources. Every text in the package is ASCII: wixl 0.101 crashes on
# other characters in its tables, so the product name is the program's name in Latin letters.
LANGUAGE = 1041
DOS_EPOCH = 315532800  # 1980-01-01 00:00 UTC, the earliest time a cabinet can hold

# Property ids of the summary information (the property set of "\x05SummaryInformation").
PID_REVNUMBER = 9
PID_CREATE_DTM = 12
PID_LASTSAVE_DTM = 13
VT_LPSTR = 30
VT_FILETIME = 64


def fail(message: str) -> None:
    print(f"make_msi: {message}", file=sys.stderr)
    sys.exit(1)


def version_header(path: Path) -> dict[str, str]:
    """The #define lines of resources/version.h, their string values unquoted."""
    defines = {}
    for line in path.read_text(encoding="utf-8").splitlines():
        match = re.match(r'#define (KWOBL_\w+) (?:"(.*)"|(\d+))$', line)
        if match:
            defines[match.group(1)] = match.group(2) if match.group(2) is not None else match.group(3)
    for name in ("KWOBL_VERSION_MAJOR", "KWOBL_VERSION_MINOR", "KWOBL_VERSION_REVISION", "KWOBL_TITLE_LATIN",
                 "KWOBL_COMPANY_NAME", "KWOBL_LEGAL_COPYRIGHT"):
        if name not in defines:
            fail(f"{path} has no {name}")
    return defines


def build_time() -> int:
    epoch = os.environ.get("SOURCE_DATE_EPOCH")
    return max(int(epoch), DOS_EPOCH) if epoch else DOS_EPOCH


def product_code(version: str) -> uuid.UUID:
    """A new product code for every version, the same for every build of one version."""
    return uuid.uuid5(UPGRADE_CODE, f"product {version}")


def component_code(name: str) -> uuid.UUID:
    """One component per file, its code fixed by the file's name, so that it stays across versions."""
    return uuid.uuid5(UPGRADE_CODE, f"component {name}")


def file_id(name: str) -> str:
    return re.sub(r"[^A-Za-z0-9_]", "_", name)


def wxs(defines: dict[str, str], version: str) -> str:
    """The package's WiX source."""
    title = defines["KWOBL_TITLE_LATIN"]
    company = defines["KWOBL_COMPANY_NAME"]
    copyright_text = " ".join(defines["KWOBL_LEGAL_COPYRIGHT"].split())
    downgrade = f"A newer version of {title} is already installed."
    components = []
    for name in PROGRAM_FILES + PICTURES:
        components.append(
            f'          <Component Id="C_{file_id(name)}" Guid="{str(component_code(name)).upper()}" Win64="yes">\n'
            f'            <File Id="F_{file_id(name)}" Name="{name}" Source="files/{name}" KeyPath="yes"/>\n'
            f'          </Component>')
    refs = "\n".join(f'      <ComponentRef Id="C_{file_id(name)}"/>' for name in PROGRAM_FILES + PICTURES)
    if not all(text.isascii() for text in (title, company, copyright_text)):
        fail("the product name, manufacturer and copyright must be ASCII for wixl")
    return f"""<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="{str(product_code(version)).upper()}" UpgradeCode="{str(UPGRADE_CODE).upper()}"
           Name={quoteattr(title)} Manufacturer={quoteattr(company)} Version="{version}"
           Language="{LANGUAGE}">
    <Package InstallerVersion="500" Compressed="yes" InstallScope="perMachine"
             Manufacturer={quoteattr(company)} Description={quoteattr(f"{title} {defines.get('KWOBL_VERSION_TEXT', version)}")}
             Comments={quoteattr(copyright_text)}/>
    <Media Id="1" Cabinet="kwobl.cab" EmbedCab="yes"/>
    <MajorUpgrade DowngradeErrorMessage={quoteattr(downgrade)}/>
    <Icon Id="program.ico" SourceFile="files/program.ico"/>
    <Property Id="ARPPRODUCTICON" Value="program.ico"/>
    <Property Id="ARPNOMODIFY" Value="1"/>
    <Property Id="ARPCOMMENTS" Value={quoteattr(copyright_text)}/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFiles64Folder">
        <Directory Id="INSTALLFOLDER" Name="KWOBL">
{chr(10).join(components)}
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Complete" Title={quoteattr(title)} Level="1">
{refs}
    </Feature>
  </Product>
</Wix>
"""


def stage(files: dict[str, Path], folder: Path, when: int) -> None:
    """Copies the package's files into folder/files with one fixed time: the cabinet stores it."""
    if folder.exists():
        shutil.rmtree(folder)
    (folder / "files").mkdir(parents=True)
    for name, source in files.items():
        target = folder / "files" / name
        shutil.copyfile(source, target)
        os.utime(target, (when, when))


def filetime(unix_time: int) -> bytes:
    return struct.pack("<Q", (unix_time + 11644473600) * 10_000_000)


def fix_summary(stream: bytes, package_code: uuid.UUID, when: int) -> bytes:
    """The summary property set with the package code and both times replaced, at the same size."""
    data = bytearray(stream)
    (section,) = struct.unpack_from("<I", data, 28 + 16)
    _, count = struct.unpack_from("<II", data, section)
    seen = set()
    for index in range(count):
        pid, offset = struct.unpack_from("<II", data, section + 8 + 8 * index)
        at = section + offset
        (kind,) = struct.unpack_from("<I", data, at)
        if pid == PID_REVNUMBER:
            code = ("{" + str(package_code).upper() + "}").encode("ascii") + b"\0"
            (length,) = struct.unpack_from("<I", data, at + 4)
            if kind != VT_LPSTR or length != len(code):
                fail(f"unexpected package code in the summary (type {kind}, {length} bytes)")
            data[at + 8:at + 8 + length] = code
            seen.add(pid)
        elif pid in (PID_CREATE_DTM, PID_LASTSAVE_DTM):
            if kind != VT_FILETIME:
                fail(f"unexpected time in the summary (property {pid}, type {kind})")
            data[at + 4:at + 12] = filetime(when)
            seen.add(pid)
    if seen != {PID_REVNUMBER, PID_CREATE_DTM, PID_LASTSAVE_DTM}:
        fail(f"the summary lacks properties {sorted({PID_REVNUMBER, PID_CREATE_DTM, PID_LASTSAVE_DTM} - seen)}")
    return bytes(data)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    for option in ("output", "work", "pictures", "checker", "scr", "readme", "notices", "icon", "version-header"):
        parser.add_argument(f"--{option}", required=True, type=Path)
    parser.add_argument("--version", help="the package's version (default: the program's, major.minor.revision)")
    parser.add_argument("--wixl", default="wixl")
    args = parser.parse_args()

    # A failed build leaves no package behind, not even an older one.
    args.output.unlink(missing_ok=True)

    if not args.checker.is_file():
        fail(f"the native picture check is missing: {args.checker}\n"
             "Build it with the linux preset first:\n"
             "  cmake --preset linux && cmake --build --preset linux --target check_pictures\n"
             "or point the windows preset at another one with -DKWOBL_PICTURE_CHECKER=PATH.")
    checked = subprocess.run([str(args.checker), str(args.pictures)], capture_output=True, text=True)
    if checked.returncode != 0:
        sys.stderr.write(checked.stderr)
        fail(f"the pictures in {args.pictures} cannot go into a package (see above); no package was made")

    defines = version_header(args.version_header)
    version = args.version or ".".join(defines[f"KWOBL_VERSION_{part}"] for part in ("MAJOR", "MINOR", "REVISION"))
    if not re.fullmatch(r"\d{1,3}\.\d{1,3}\.\d{1,5}", version):
        fail(f"version {version} is not major.minor.build")

    files = {"kwobl.scr": args.scr, "README.txt": args.readme, "THIRD-PARTY-NOTICES.txt": args.notices,
             "program.ico": args.icon}
    files.update({name: args.pictures / name for name in PICTURES})
    when = build_time()
    stage(files, args.work, when)
    source = wxs(defines, version)
    (args.work / "kwobl.wxs").write_text(source, encoding="utf-8")

    # The package code names these very bytes: it follows from the source and every file that goes in.
    digest = hashlib.sha256(source.encode("utf-8"))
    for name in sorted(files):
        digest.update(name.encode("utf-8") + b"\0" + (args.work / "files" / name).read_bytes())
    package_code = uuid.uuid5(UPGRADE_CODE, "package " + digest.hexdigest())

    built = args.work / "kwobl.msi"
    environment = dict(os.environ, TZ="UTC")
    run = subprocess.run([args.wixl, "-a", "x64", "-o", str(built), "kwobl.wxs"], cwd=args.work, env=environment,
                         capture_output=True, text=True)
    if run.returncode != 0 or not built.is_file():
        sys.stderr.write(run.stdout + run.stderr)
        fail("wixl failed")

    import olefile  # Debian's python3-olefile

    with olefile.OleFileIO(str(built), write_mode=True) as ole:
        name = "\x05SummaryInformation"
        ole.write_stream(name, fix_summary(ole.openstream(name).read(), package_code, when))
    built.replace(args.output)
    print(f"{args.output} ({args.output.stat().st_size} bytes, version {version}, package code {package_code})")


if __name__ == "__main__":
    main()
