#!/usr/bin/env python3
"""Checks that Windows binaries carry nothing of the build that made them.

    check_build_traces.py --forbid PATH [--forbid PATH]... BINARY...

For every BINARY (a PE image): the time stamp of its file header must be zero, and none of the
forbidden paths (typically the source, build and bzip2 source directories) may appear in it, neither
as 8-bit text nor as UTF-16 text, with either kind of slash. The image must also still ask for a
random base address and for no-execute data (dynamic base and NX compatibility), which the linker
settings that make it small and reproducible must not lose, and be Terminal Server aware, so that
Terminal Services gives it the system's Windows folder and not the user's own. Prints one line per
finding and exits with 1 if there was any, 0 otherwise.
"""
import argparse
import os
import struct
import sys


DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100
TERMINAL_SERVER_AWARE = 0x8000


def pe_headers(image):
    """The TimeDateStamp of the COFF file header and the DllCharacteristics of the optional header,
    or None when image is no PE file."""
    if len(image) < 0x40 or image[:2] != b"MZ":
        return None
    offset = struct.unpack_from("<I", image, 0x3C)[0]
    # Signature (4), file header (20), then DllCharacteristics at offset 70 of the optional header
    # in both PE32 and PE32+.
    if offset + 24 + 72 > len(image) or image[offset:offset + 4] != b"PE\0\0":
        return None
    stamp = struct.unpack_from("<I", image, offset + 8)[0]
    characteristics = struct.unpack_from("<H", image, offset + 24 + 70)[0]
    return stamp, characteristics


def spellings(path):
    """The forms in which a compiler or linker could have written path into an image."""
    forms = set()
    for variant in {path, os.path.realpath(path)}:
        variant = variant.rstrip("/")
        for text in (variant, variant.replace("/", "\\")):
            forms.add(text.encode("utf-8"))
            forms.add(text.encode("utf-16-le"))
    return forms


def check(binary, forbidden):
    findings = []
    with open(binary, "rb") as handle:
        image = handle.read()
    headers = pe_headers(image)
    if headers is None:
        findings.append(f"{binary}: not a PE image")
    else:
        stamp, characteristics = headers
        if stamp != 0:
            findings.append(f"{binary}: file header time stamp is {stamp:#x}, not 0")
        for flag, name in ((DYNAMIC_BASE, "dynamic base"), (NX_COMPAT, "NX compatibility"),
                           (TERMINAL_SERVER_AWARE, "Terminal Server awareness")):
            if not characteristics & flag:
                findings.append(f"{binary}: {name} is off (DllCharacteristics {characteristics:#x})")
    for path in forbidden:
        for form in spellings(path):
            where = image.find(form)
            if where >= 0:
                findings.append(f"{binary}: holds the path {path} at offset {where:#x}")
                break
    return findings


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--forbid", action="append", default=[], metavar="PATH")
    parser.add_argument("binaries", nargs="+", metavar="BINARY")
    arguments = parser.parse_args(argv)
    findings = []
    for binary in arguments.binaries:
        findings += check(binary, [path for path in arguments.forbid if path])
    for finding in findings:
        print(finding)
    if not findings:
        print(f"{len(arguments.binaries)} binaries: time stamp 0, no build path, dynamic base, NX, "
              "Terminal Server aware")
    return 1 if findings else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
