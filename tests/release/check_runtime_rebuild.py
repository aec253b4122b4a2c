#!/usr/bin/env python3
"""Checks that the runtime pieces which the 32-bit launcher compiles from Debian's sources are the
code of the cross compiler's prebuilt objects: compiled with the build's options and headers, but
for the compiler's default processor, each must disassemble exactly as its prebuilt twin. A
difference means that the build gives other code than Debian's build did, not the same runtime for
the Pentium. Debug data and local symbols are left out: the prebuilt objects lack them.

    check_runtime_rebuild.py --cc CC --cxx CXX --ar AR --strip STRIP --objdump OBJDUMP
                             --piece=LANGUAGE|SOURCE|PREBUILT|OPTIONS...

LANGUAGE is C or CXX; PREBUILT an archive member such as "libgcc_eh.a(unwind-dw2.o)" or an object
file such as "crt2.o", found where the compiler finds it; OPTIONS the compile options but the
processor, joined with commas.
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile


def run(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def code_of(tools, path):
    """The disassembly with relocations of an object, stripped of debug data and local symbols."""
    run(tools["strip"], "--strip-debug", "--discard-all", path)
    listing = run(tools["objdump"], "-dr", "--no-show-raw-insn", path)
    return listing.split("\n", 2)[2]  # without the line that names the file


def prebuilt_copy(tools, compiler, prebuilt, directory):
    """Copies the prebuilt object into directory and returns the copy's path."""
    member = re.fullmatch(r"(.+)\((.+)\)", prebuilt)
    path = run(compiler, f"-print-file-name={member.group(1) if member else prebuilt}").strip()
    copy = os.path.join(directory, "prebuilt.o")
    command = [tools["ar"], "p", path, member.group(2)] if member else ["cat", path]
    with open(copy, "wb") as out:
        subprocess.run(command, check=True, stdout=out)
    return copy


def main():
    parser = argparse.ArgumentParser()
    for tool in ("cc", "cxx", "ar", "strip", "objdump"):
        parser.add_argument(f"--{tool}", required=True)
    parser.add_argument("--piece", action="append", required=True)
    arguments = parser.parse_args()
    tools = vars(arguments)
    failures = 0
    for piece in arguments.piece:
        language, source, prebuilt, options = piece.split("|")
        compiler = arguments.cxx if language == "CXX" else arguments.cc
        with tempfile.TemporaryDirectory() as directory:
            built = os.path.join(directory, "built.o")
            run(compiler, *options.split(","), "-c", source, "-o", built)
            same = code_of(tools, built) == code_of(
                tools, prebuilt_copy(tools, compiler, prebuilt, directory))
        print(f"{prebuilt}: {'same code' if same else 'DIFFERENT code'} from "
              f"{os.path.basename(source)}")
        failures += not same
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
