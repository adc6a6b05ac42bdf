#!/usr/bin/env python3
"""Checks the installer package against what went into it, with msiinfo and msiextract; prints what it
finds and exits 1 on a fault.

    check_msi.py MSI --scr kwobl.scr --pictures FOLDER --texts FOLDER --version-header resources/version.h
"""

from __future__ import annotations

import argparse
import re
import subprocess
import sys
import tempfile
from pathlib import Path

PICTURES = [f"KWOBL{number:03d}.DAT" for number in range(1, 51)]
PROGRAM_FILES = ["kwobl.scr", "README.txt", "THIRD-PARTY-NOTICES.txt"]
UPGRADE_CODE = "{6F3B5C2E-9A41-4D7B-8E0C-2B5D7A1C4E93}"


def table(msi: Path, name: str) -> list[dict[str, str]]:
    """The rows of one table, as msiinfo export writes it (tab-separated, three header lines)."""
    out = subprocess.run(["msiinfo", "export", str(msi), name], capture_output=True, text=True, check=True).stdout
    lines = out.splitlines()
    columns = lines[0].split("\t")
    return [dict(zip(columns, line.split("\t"))) for line in lines[3:]]


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("msi", type=Path)
    for option in ("scr", "pictures", "texts", "version-header"):
        parser.add_argument(f"--{option}", type=Path, required=True)
    args = parser.parse_args()
    faults: list[str] = []

    def expect(condition: bool, what: str) -> None:
        if not condition:
            faults.append(what)

    header = args.version_header.read_text(encoding="utf-8")
    define = lambda name: re.search(rf'#define {name} "?([^"\n]*)"?', header).group(1)  # noqa: E731
    version = ".".join(define(f"KWOBL_VERSION_{part}") for part in ("MAJOR", "MINOR", "REVISION"))

    properties = {row["Property"]: row["Value"] for row in table(args.msi, "Property")}
    expect(properties.get("ProductName") == define("KWOBL_TITLE_LATIN"), f"ProductName {properties.get('ProductName')}")
    expect(properties.get("Manufacturer") == define("KWOBL_COMPANY_NAME"), f"Manufacturer {properties.get('Manufacturer')}")
    expect(properties.get("ProductVersion") == version, f"ProductVersion {properties.get('ProductVersion')}, not {version}")
    expect(properties.get("UpgradeCode") == UPGRADE_CODE, f"UpgradeCode {properties.get('UpgradeCode')}")
    expect(properties.get("ALLUSERS") == "1", "not per machine (ALLUSERS)")
    expect(properties.get("ARPPRODUCTICON") == "program.ico", "no icon in the installed-programs list")

    icons = {row["Name"] for row in table(args.msi, "Icon")}
    expect(icons == {"program.ico"}, f"icons {sorted(icons)}")
    upgrades = table(args.msi, "Upgrade")
    expect(len(upgrades) == 2 and all(row["UpgradeCode"] == UPGRADE_CODE for row in upgrades),
           f"Upgrade table {upgrades}")
    sequence = {row["Action"] for row in table(args.msi, "InstallExecuteSequence")}
    expect({"FindRelatedProducts", "RemoveExistingProducts"} <= sequence, "no major upgrade in the sequence")
    # Nothing but files: no registry values, shortcuts, services or actions of its own beyond the
    # downgrade message.
    for name in ("Registry", "Shortcut", "ServiceInstall"):
        expect(table(args.msi, name) == [], f"the package writes {name} entries")
    actions = [row["Action"] for row in table(args.msi, "CustomAction")]
    expect(actions in ([], ["WIX_DOWNGRADE_DETECTED"]) or all("DOWNGRADE" in a for a in actions),
           f"custom actions {actions}")

    directories = {row["Directory"]: row for row in table(args.msi, "Directory")}
    expect(directories.get("INSTALLFOLDER", {}).get("DefaultDir") == "KWOBL"
           and directories["INSTALLFOLDER"].get("Directory_Parent") == "ProgramFiles64Folder",
           "the files do not go to Program Files\\KWOBL")
    files = sorted(row["FileName"].split("|")[-1] for row in table(args.msi, "File"))
    expect(files == sorted(PROGRAM_FILES + PICTURES), f"file table {files}")
    components = table(args.msi, "Component")
    expect(all(int(row["Attributes"]) & 256 for row in components), "components not marked 64-bit")

    summary = subprocess.run(["msiinfo", "suminfo", str(args.msi)], capture_output=True, text=True, check=True).stdout
    expect("Template: x64;" in summary, "the summary's platform is not x64")

    with tempfile.TemporaryDirectory() as out:
        subprocess.run(["msiextract", "-C", out, str(args.msi)], check=True, capture_output=True)
        extracted = {p.name: p for p in Path(out).rglob("*") if p.is_file()}
        expect(sorted(extracted) == sorted(PROGRAM_FILES + PICTURES), f"extracted {sorted(extracted)}")
        sources = {"kwobl.scr": args.scr, "README.txt": args.texts / "README.txt",
                   "THIRD-PARTY-NOTICES.txt": args.texts / "THIRD-PARTY-NOTICES.txt"}
        sources.update({name: args.pictures / name for name in PICTURES})
        for name, source in sources.items():
            if name in extracted:
                expect(extracted[name].read_bytes() == source.read_bytes(), f"{name} differs from {source}")
        if "README.txt" in extracted:
            readme = extracted["README.txt"].read_bytes().decode("utf-8-sig")
            for topic in ("Force specific screen saver", "msiexec", "Program Files\\KWOBL"):
                expect(topic in readme, f"README.txt does not mention {topic}")

    for fault in faults:
        print(f"FAULT: {fault}")
    print(f"{args.msi.name}: {len(files)} files, version {properties.get('ProductVersion')}, "
          f"{'OK' if not faults else f'{len(faults)} faults'}")
    sys.exit(1 if faults else 0)


if __name__ == "__main__":
    main()
