#!/usr/bin/env python3
"""Checks that Windows binaries import only what the oldest supported Windows provides.

The import table and the minimum version fields of each binary are read from the output of a
MinGW-w64 `objdump -p`. Every imported function must be named in a list of `DLL!Function` lines,
and both the operating system version and the subsystem version in the PE optional header must be
at most the given version. Every import that is not in the list is printed, and the exit status is
1 when anything is wrong. A binary without any imports is an error too, so that the check cannot
pass by reading nothing.

    check_imports.py --objdump OBJDUMP --allowed LIST [--max-version 5.0] PATH...

A PATH that is a directory stands for every .exe and .dll file directly inside it.
"""

import argparse
import os
import re
import subprocess
import sys

# One row of an import table: the thunk's address, the hint or ordinal, and the member name, which
# objdump prints as "<none>" for an import by ordinal.
_IMPORT_ROW = re.compile(r"^\t([0-9a-fA-F]+)\t\s*(\d+)\s+(\S+)")
_DLL_NAME = re.compile(r"^\s*DLL Name:\s*(\S+)\s*$")
_VERSION_FIELD = re.compile(r"^(Major|Minor)(OSystem|Subsystem)Version\s+(\d+)\s*$")
_LIST_ENTRY = re.compile(r"^([A-Za-z0-9_.\-]+\.dll)!([A-Za-z0-9_@?$]+)$", re.IGNORECASE)


class CheckError(Exception):
    """A problem that stops the check of one binary or of the whole run."""


def parse_allowed_list(text):
    """Returns the set of (lower-case DLL name, function name) pairs that a list text allows.

    Blank lines and everything after a '#' are ignored. A malformed or repeated entry raises
    CheckError, so that the list stays exact.
    """
    allowed = set()
    problems = []
    for number, raw in enumerate(text.splitlines(), start=1):
        line = raw.split("#", 1)[0].strip()
        if not line:
            continue
        match = _LIST_ENTRY.match(line)
        if match is None:
            problems.append("line %d: expected DLL!Function, found %r" % (number, line))
            continue
        entry = (match.group(1).lower(), match.group(2))
        if entry in allowed:
            problems.append("line %d: %s is listed twice" % (number, line))
        allowed.add(entry)
    if problems:
        raise CheckError("the list of allowed imports is malformed:\n  " + "\n  ".join(problems))
    if not allowed:
        raise CheckError("the list of allowed imports is empty")
    return allowed


def parse_objdump(text):
    """Returns the imports and the version fields that `objdump -p` printed for one binary.

    The imports are a list of (DLL name as written in the binary, function name) pairs in table
    order; an import by ordinal gets the name '#' followed by its ordinal. The version fields are a
    dictionary with the keys 'OSystem' and 'Subsystem', each a (major, minor) pair, for the fields
    that were present.
    """
    imports = []
    fields = {}
    dll = None
    for line in text.splitlines():
        name_match = _DLL_NAME.match(line)
        if name_match is not None:
            dll = name_match.group(1)
            continue
        field_match = _VERSION_FIELD.match(line)
        if field_match is not None:
            kind = field_match.group(2)
            major, minor = fields.get(kind, (None, None))
            if field_match.group(1) == "Major":
                major = int(field_match.group(3))
            else:
                minor = int(field_match.group(3))
            fields[kind] = (major, minor)
            continue
        # A line that starts in the first column opens another part of the dump, so the rows of
        # the last import table have ended.
        if line and not line[0].isspace():
            dll = None
            continue
        row_match = _IMPORT_ROW.match(line)
        if row_match is not None and dll is not None:
            name = row_match.group(3)
            if name == "<none>":
                name = "#" + row_match.group(2)
            imports.append((dll, name))
    return imports, fields


def check_binary(label, objdump_text, allowed, max_version):
    """Returns the list of problems found in one binary's dump; an empty list means it passed.

    The second value returned is a one-line summary for a binary that passed.
    """
    imports, fields = parse_objdump(objdump_text)
    problems = []
    if not imports:
        problems.append("%s: no imported functions were found in the dump" % label)
    for dll, function in imports:
        if (dll.lower(), function) not in allowed:
            problems.append(
                "%s: %s!%s is not in the list of allowed imports" % (label, dll, function))
    versions = []
    titles = (("OSystem", "operating system version"), ("Subsystem", "subsystem version"))
    for kind, title in titles:
        major, minor = fields.get(kind, (None, None))
        if major is None or minor is None:
            problems.append("%s: the dump shows no %s" % (label, title))
            continue
        versions.append("%s %d.%d" % (title, major, minor))
        if (major, minor) > max_version:
            problems.append(
                "%s: the %s is %d.%d, above the allowed %d.%d"
                % (label, title, major, minor, max_version[0], max_version[1]))
    libraries = {dll.lower() for dll, _ in imports}
    summary = "%s: %d imports from %d libraries, all listed; %s" % (
        label, len(imports), len(libraries), ", ".join(versions))
    return problems, summary


def expand_paths(paths):
    """Returns the binaries to check: files as given, and the .exe and .dll files of directories."""
    binaries = []
    for path in paths:
        if os.path.isdir(path):
            found = sorted(
                os.path.join(path, name) for name in os.listdir(path)
                if name.lower().endswith((".exe", ".dll"))
                and os.path.isfile(os.path.join(path, name)))
            if not found:
                raise CheckError("%s holds no .exe or .dll file" % path)
            binaries.extend(found)
        elif os.path.isfile(path):
            binaries.append(path)
        else:
            raise CheckError("%s does not exist" % path)
    return binaries


def run_objdump(objdump, path):
    """Returns the text that `objdump -p` prints for a binary, or raises CheckError."""
    result = subprocess.run([objdump, "-p", path], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, universal_newlines=True)
    if result.returncode != 0:
        raise CheckError("%s -p %s failed: %s" % (objdump, path, result.stderr.strip()))
    return result.stdout


def parse_version(text):
    match = re.match(r"^(\d+)\.(\d+)$", text)
    if match is None:
        raise argparse.ArgumentTypeError("expected MAJOR.MINOR, found %r" % text)
    return int(match.group(1)), int(match.group(2))


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--objdump", required=True, help="the MinGW-w64 objdump to run")
    parser.add_argument("--allowed", required=True, help="the list of allowed DLL!Function imports")
    parser.add_argument("--max-version", type=parse_version, default=(5, 0),
                        help="the highest allowed OS and subsystem version, MAJOR.MINOR")
    parser.add_argument("paths", nargs="+", help="binaries, or directories of binaries")
    options = parser.parse_args(argv)

    try:
        with open(options.allowed, encoding="utf-8") as handle:
            allowed = parse_allowed_list(handle.read())
        binaries = expand_paths(options.paths)
        problems = []
        for binary in binaries:
            found, summary = check_binary(
                os.path.basename(binary), run_objdump(options.objdump, binary), allowed,
                options.max_version)
            if found:
                problems.extend(found)
            else:
                print(summary)
    except CheckError as error:
        print("error: %s" % error)
        return 1

    if problems:
        for problem in problems:
            print(problem)
        print("%d problems; each import must be one that the oldest supported Windows provides, "
              "checked and added to %s with a note of where it was checked"
              % (len(problems), options.allowed))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
