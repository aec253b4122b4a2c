#!/usr/bin/env python3
"""Checks that the runtime pieces which the 32-bit launcher compiles from Debian's sources are the
code of the cross compiler's prebuilt objects: compiled here with the build's options and headers,
but for the compiler's default processor, each must disassemble exactly as its prebuilt twin.

    check_runtime_rebuild.py --cc CC --cxx CXX --ar AR --strip STRIP --objdump OBJDUMP
                             --piece=LANGUAGE|SOURCE|PREBUILT|OPTIONS...

Each piece names its language (C or CXX), its source, its prebuilt twin (an archive member such as
"libgcc_eh.a(unwind-dw2.o)" or an object file such as "crt2.o", found where the compiler finds it)
and its compile options but the processor, joined with commas. A difference means that the build's options or configuration headers give other code than
Debian's build did; the build would then ship a changed runtime, not the same one for the Pentium.
Debug data and local symbol names are left out of the comparison: the prebuilt objects lack them.
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
    name = member.group(1) if member else prebuilt
    path = run(compiler, f"-print-file-name={name}").strip()
    copy = os.path.join(directory, "prebuilt.o")
    with open(copy, "wb") as out:
        if member:
            out.write(subprocess.run([tools["ar"], "p", path, member.group(2)], check=True,
                                     capture_output=True).stdout)
        else:
            with open(path, "rb") as source:
                out.write(source.read())
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
