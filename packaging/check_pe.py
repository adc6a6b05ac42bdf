#!/usr/bin/env python3
"""Reads the hardening of Windows program files back from their headers.

    check_pe.py FILE...                  one line per file; exit status 1 when any file falls short
    check_pe.py --self-test FILE         the checks must notice each fault planted in a copy of FILE

A program passes when its header asks for what a Windows linker gives a GUI program by default:
terminal-server aware (0x8000), high-entropy ASLR (0x20), relocatable (0x40) and no-execute (0x100)
(a DLL all but the first, which Windows reads from programs only); when no section is both writable
and executable; when it carries the stack protector's failure handler (its "stack smashing detected"
message, libssp's or the backend's, which only a guarded function pulls in, and which stays in a
program linked with -s); and when it names no DLL of the MinGW runtime, which Windows does not ship.
"""

from __future__ import annotations

import argparse
import re
import struct
import sys
from dataclasses import dataclass, field
from pathlib import Path

DYNAMIC_BASE = 0x0040
HIGH_ENTROPY_VA = 0x0020
NX_COMPAT = 0x0100
TERMINAL_SERVER_AWARE = 0x8000
REQUIRED_FLAGS = {
    TERMINAL_SERVER_AWARE: "terminal-server aware",
    HIGH_ENTROPY_VA: "high-entropy ASLR",
    DYNAMIC_BASE: "relocatable (dynamic base)",
    NX_COMPAT: "no-execute",
}
SCN_MEM_EXECUTE = 0x20000000
SCN_MEM_WRITE = 0x80000000
PE32_PLUS = 0x20B
IMPORT_DIRECTORY = 1
DELAY_IMPORT_DIRECTORY = 13
STACK_PROTECTOR_MARK = b"stack smashing detected"
FILE_DLL = 0x2000
# The DLLs of MinGW-w64's runtime: a program that needs one does not start on a plain Windows. They
# are looked for as names anywhere in the file, since GNU ld keeps delay-loaded DLLs out of the
# delay-import directory.
RUNTIME_DLL = re.compile(rb"(?:libssp|libstdc\+\+|libgcc|libwinpthread|libgomp)[-\w]*\.dll", re.IGNORECASE)


@dataclass
class Section:
    name: str
    virtual_address: int
    virtual_size: int
    raw_offset: int
    characteristics: int
    header_offset: int  # where the section's characteristics sit in the file


@dataclass
class PeFile:
    is_dll: bool
    dll_characteristics: int
    dll_characteristics_offset: int
    sections: list[Section] = field(default_factory=list)
    imports: list[str] = field(default_factory=list)


def c_string(data: bytes, offset: int) -> str:
    end = data.index(b"\0", offset)
    return data[offset:end].decode("ascii", "replace")


def parse(data: bytes) -> PeFile:
    """The parts of a PE32+ file's headers that the checks read; ValueError when it is none."""
    if data[:2] != b"MZ" or len(data) < 0x40:
        raise ValueError("no MZ header")
    (pe,) = struct.unpack_from("<I", data, 0x3C)
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE header")
    _, section_count, _, _, _, optional_size, file_flags = struct.unpack_from("<HHIIIHH", data, pe + 4)
    optional = pe + 24
    (magic,) = struct.unpack_from("<H", data, optional)
    if magic != PE32_PLUS:
        raise ValueError("not a 64-bit program")
    flags_offset = optional + 70
    (flags,) = struct.unpack_from("<H", data, flags_offset)
    (directory_count,) = struct.unpack_from("<I", data, optional + 108)
    directories = [struct.unpack_from("<II", data, optional + 112 + 8 * i) for i in range(directory_count)]

    result = PeFile(bool(file_flags & FILE_DLL), flags, flags_offset)
    table = optional + optional_size
    for i in range(section_count):
        at = table + 40 * i
        name = data[at:at + 8].rstrip(b"\0").decode("ascii", "replace")
        virtual_size, virtual_address, _, raw_offset = struct.unpack_from("<IIII", data, at + 8)
        (characteristics,) = struct.unpack_from("<I", data, at + 36)
        result.sections.append(Section(name, virtual_address, virtual_size, raw_offset, characteristics, at + 36))

    def offset(rva: int) -> int:
        for section in result.sections:
            if section.virtual_address <= rva < section.virtual_address + section.virtual_size:
                return rva - section.virtual_address + section.raw_offset
        raise ValueError(f"address {rva:#x} lies in no section")

    for index, size, name_field in ((IMPORT_DIRECTORY, 20, 12), (DELAY_IMPORT_DIRECTORY, 32, 4)):
        if index >= len(directories) or directories[index][0] == 0:
            continue
        at = offset(directories[index][0])
        while any(data[at:at + size]):
            (name_rva,) = struct.unpack_from("<I", data, at + name_field)
            result.imports.append(c_string(data, offset(name_rva)))
            at += size
    return result


def faults(data: bytes) -> list[str]:
    """What keeps the file from passing; empty when it passes."""
    try:
        pe = parse(data)
    except (ValueError, struct.error) as error:
        return [f"unreadable: {error}"]
    found = []
    for flag, what in REQUIRED_FLAGS.items():
        # Windows reads the terminal-server flag of the program only, never of a DLL.
        if flag == TERMINAL_SERVER_AWARE and pe.is_dll:
            continue
        if not pe.dll_characteristics & flag:
            found.append(f"not {what} ({flag:#06x} missing from {pe.dll_characteristics:#06x})")
    for section in pe.sections:
        if section.characteristics & SCN_MEM_WRITE and section.characteristics & SCN_MEM_EXECUTE:
            found.append(f"section {section.name} is both writable and executable")
    if STACK_PROTECTOR_MARK not in data:
        found.append("no stack protector (its failure handler is missing)")
    for name in sorted(set(match.group().decode() for match in RUNTIME_DLL.finditer(data))):
        found.append(f"imports {name}, which Windows does not ship")
    return found


def describe(path: Path, data: bytes) -> str:
    pe = parse(data)
    return (f"{path.name}: DllCharacteristics {pe.dll_characteristics:#06x}, {len(pe.sections)} sections, "
            f"imports {', '.join(sorted(set(name.lower() for name in pe.imports)))}")


def planted_faults(data: bytes) -> dict[str, bytes]:
    """Copies of a passing file with one fault each, named by the fault the checks must report."""
    pe = parse(data)
    copies = {}
    for flag, what in REQUIRED_FLAGS.items():
        copy = bytearray(data)
        struct.pack_into("<H", copy, pe.dll_characteristics_offset, pe.dll_characteristics & ~flag)
        copies[f"not {what}"] = bytes(copy)
    text = next(s for s in pe.sections if s.characteristics & SCN_MEM_EXECUTE)
    copy = bytearray(data)
    struct.pack_into("<I", copy, text.header_offset, text.characteristics | SCN_MEM_WRITE)
    copies[f"section {text.name} is both writable and executable"] = bytes(copy)
    copies["no stack protector"] = data.replace(STACK_PROTECTOR_MARK, b"x" * len(STACK_PROTECTOR_MARK))
    # An imported system DLL's name overwritten, at the same length, with a runtime DLL's.
    system = next(name for name in pe.imports if len(name) >= len("libssp-0.dll"))
    renamed = "libssp-0.dll" + "\0" * (len(system) - len("libssp-0.dll"))
    copies["imports libssp-0.dll"] = data.replace(b"\0" + system.encode() + b"\0", b"\0" + renamed.encode() + b"\0", 1)
    return copies


def self_test(path: Path) -> int:
    data = path.read_bytes()
    status = 0
    if faults(data):
        print(f"{path.name} does not pass to begin with: {faults(data)}")
        return 1
    for expected, copy in planted_faults(data).items():
        found = faults(copy)
        noticed = any(fault.startswith(expected) for fault in found)
        print(f"{'noticed' if noticed else 'MISSED '}: {expected}")
        status |= 0 if noticed else 1
    return status


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--self-test", action="store_true")
    parser.add_argument("files", type=Path, nargs="+")
    options = parser.parse_args()
    if options.self_test:
        return self_test(options.files[0])
    status = 0
    for path in options.files:
        data = path.read_bytes()
        found = faults(data)
        if found:
            print(f"{path.name}: " + "; ".join(found))
            status = 1
        else:
            print(describe(path, data))
    return status


if __name__ == "__main__":
    sys.exit(main())
