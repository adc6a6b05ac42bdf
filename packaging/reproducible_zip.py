#!/usr/bin/env python3
"""Writes zip files whose bytes depend only on the files they hold.

    reproducible_zip.py rewrite ZIP            rewrites a zip (CPack's package) in place
    reproducible_zip.py create ZIP FOLDER      zips the files in FOLDER, at its top level

Each entry gets the same time, its name in sorted order, the permissions rw-r--r-- (rwxr-xr-x for a
file that was executable) and no extra fields. CMake's archive writer (and so CPack's ZIP generator)
stores each file's access and change times as well, which differ from one build to the next even
when the modification times are set. The time is SOURCE_DATE_EPOCH when that is set, otherwise
1980-01-01 00:00, the earliest that a zip entry can hold.
"""

from __future__ import annotations

import os
import stat
import sys
import tempfile
import time
import zipfile
from pathlib import Path


def entry_time() -> tuple[int, int, int, int, int, int]:
    epoch = os.environ.get("SOURCE_DATE_EPOCH")
    if not epoch:
        return (1980, 1, 1, 0, 0, 0)
    # Zip times have no time zone; UTC keeps them the same on every machine. A zip entry cannot be
    # older than 1980 and keeps only even seconds.
    moment = time.gmtime(max(int(epoch), 315532800))
    return (moment.tm_year, moment.tm_mon, moment.tm_mday, moment.tm_hour, moment.tm_min,
            moment.tm_sec - moment.tm_sec % 2)


def entry_mode(mode: int) -> int:
    executable = mode & stat.S_IXUSR
    return stat.S_IFREG | (0o755 if executable else 0o644)


def write(target: Path, entries: list[tuple[str, int, bytes]]) -> None:
    """Writes (name, mode, data) entries to target, sorted by name, through a temporary file."""
    when = entry_time()
    handle, temporary = tempfile.mkstemp(prefix=target.name, suffix=".tmp", dir=target.parent)
    os.close(handle)
    try:
        with zipfile.ZipFile(temporary, "w") as archive:
            for name, mode, data in sorted(entries):
                info = zipfile.ZipInfo(name, date_time=when)
                info.create_system = 3  # Unix, so that the permissions below are read back
                info.external_attr = entry_mode(mode) << 16
                info.compress_type = zipfile.ZIP_DEFLATED
                archive.writestr(info, data, compresslevel=9)
        # mkstemp makes the file readable by its owner only; a zip is for everyone who may read it.
        umask = os.umask(0)
        os.umask(umask)
        os.chmod(temporary, 0o666 & ~umask)
        os.replace(temporary, target)
    except BaseException:
        os.unlink(temporary)
        raise


def rewrite(target: Path) -> None:
    with zipfile.ZipFile(target) as archive:
        entries = [(info.filename, info.external_attr >> 16, archive.read(info))
                   for info in archive.infolist() if not info.is_dir()]
    write(target, entries)


def create(target: Path, folder: Path) -> None:
    files = sorted(path for path in folder.iterdir() if path.is_file())
    if not files:
        raise SystemExit(f"reproducible_zip.py: no files in {folder}")
    write(target, [(path.name, path.stat().st_mode, path.read_bytes()) for path in files])


def main(argv: list[str]) -> int:
    if len(argv) == 3 and argv[1] == "rewrite":
        rewrite(Path(argv[2]))
    elif len(argv) == 4 and argv[1] == "create":
        create(Path(argv[2]), Path(argv[3]))
    else:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
