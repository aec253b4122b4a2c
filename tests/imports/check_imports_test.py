#!/usr/bin/env python3
"""Tests of check_imports.py: the list parser, the dump parser and the verdicts on made-up dumps,
and, when MXV_IMPORTS_TEST_BINARY and MXV_IMPORTS_TEST_OBJDUMP name a real binary and objdump, the
verdict on that binary against a list with one of its imports taken out.
"""

import contextlib
import io
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_imports  # noqa: E402

# A trimmed dump in the layout that MinGW-w64 objdump -p prints for a 32-bit program.
_DUMP = """
build/a.exe:     file format pei-i386

Characteristics 0x102
\texecutable
\t32 bit words

MajorLinkerVersion\t2
MinorLinkerVersion\t40
MajorOSystemVersion\t4
MinorOSystemVersion\t0
MajorImageVersion\t0
MinorImageVersion\t0
MajorSubsystemVersion\t4
MinorSubsystemVersion\t0
Subsystem\t\t00000002\t(Windows GUI)

The Import Tables (interpreted .idata section contents)
 vma:            Hint    Time      Forward  DLL       First
                 Table   Stamp     Chain    Name      Thunk
 0014e000\t0014e050 00000000 00000000 0014ebac 0014e248

\tDLL Name: KERNEL32.dll
\tvma:  Hint/Ord Member-Name Bound-To
\t14e440\t   23  AllocConsole
\t14e450\t  136  CloseHandle

 0014e014\t0014e120 00000000 00000000 0014ecd8 0014e318

\tDLL Name: msvcrt.dll
\tvma:  Hint/Ord Member-Name Bound-To
\t14e7d4\t   58  __getmainargs
\t8000000c\t   12  <none>

 0014e03c\t00000000 00000000 00000000 00000000 00000000

PE File Base Relocations (interpreted .reloc section contents)

Virtual Address: 00001000 Chunk size 20 (0x14) Number of fixups 6
\treloc    0 offset   10 [1010] HIGHLOW
"""

_ALLOWED = check_imports.parse_allowed_list(
    "kernel32.DLL!AllocConsole\nKERNEL32.dll!CloseHandle\nmsvcrt.dll!__getmainargs\n")


class AllowedListTest(unittest.TestCase):
    def test_reads_entries_and_ignores_comments_and_blank_lines(self):
        allowed = check_imports.parse_allowed_list(
            "# a comment\n\nKERNEL32.dll!Sleep   # why it is allowed\nmsvcrt.dll!_iob\n")
        self.assertEqual(allowed, {("kernel32.dll", "Sleep"), ("msvcrt.dll", "_iob")})

    def test_rejects_a_line_without_a_dll(self):
        with self.assertRaisesRegex(check_imports.CheckError, "line 2"):
            check_imports.parse_allowed_list("KERNEL32.dll!Sleep\nSleep\n")

    def test_rejects_a_repeated_entry_whatever_the_case_of_the_dll(self):
        with self.assertRaisesRegex(check_imports.CheckError, "twice"):
            check_imports.parse_allowed_list("KERNEL32.dll!Sleep\nkernel32.dll!Sleep\n")

    def test_rejects_an_empty_list(self):
        with self.assertRaisesRegex(check_imports.CheckError, "empty"):
            check_imports.parse_allowed_list("# nothing\n")

    def test_the_checked_in_list_is_well_formed(self):
        path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "windows2000_imports.txt")
        with open(path, encoding="utf-8") as handle:
            allowed = check_imports.parse_allowed_list(handle.read())
        self.assertIn(("kernel32.dll", "CreateFileA"), allowed)


class DumpParserTest(unittest.TestCase):
    def test_reads_every_import_with_its_dll_and_ordinals_by_number(self):
        imports, _ = check_imports.parse_objdump(_DUMP)
        self.assertEqual(imports, [("KERNEL32.dll", "AllocConsole"),
                                   ("KERNEL32.dll", "CloseHandle"),
                                   ("msvcrt.dll", "__getmainargs"), ("msvcrt.dll", "#12")])

    def test_reads_the_version_fields(self):
        _, fields = check_imports.parse_objdump(_DUMP)
        self.assertEqual(fields, {"OSystem": (4, 0), "Subsystem": (4, 0)})

    def test_rows_after_the_import_tables_are_not_imports(self):
        dump = _DUMP + "\nThe Export Tables\n\t14e440\t   1  NotAnImport\n"
        imports, _ = check_imports.parse_objdump(dump)
        self.assertNotIn(("msvcrt.dll", "NotAnImport"), imports)


class VerdictTest(unittest.TestCase):
    def test_an_import_by_ordinal_is_never_allowed(self):
        problems, _ = check_imports.check_binary("a.exe", _DUMP, _ALLOWED, (5, 0))
        self.assertEqual(problems, ["a.exe: msvcrt.dll!#12 is not in the list of allowed imports"])

    def test_passes_when_everything_is_listed(self):
        dump = _DUMP.replace("\t8000000c\t   12  <none>\n", "")
        problems, summary = check_imports.check_binary("a.exe", dump, _ALLOWED, (5, 0))
        self.assertEqual(problems, [])
        self.assertIn("3 imports from 2 libraries", summary)

    def test_reports_each_unlisted_import(self):
        dump = _DUMP.replace("__getmainargs", "_fstat64").replace("CloseHandle", "GetTickCount64")
        problems, _ = check_imports.check_binary("a.exe", dump, _ALLOWED, (5, 0))
        self.assertIn("a.exe: KERNEL32.dll!GetTickCount64 is not in the list of allowed imports",
                      problems)
        self.assertIn("a.exe: msvcrt.dll!_fstat64 is not in the list of allowed imports", problems)

    def test_a_dump_without_imports_fails(self):
        dump = _DUMP.split("The Import Tables")[0]
        problems, _ = check_imports.check_binary("a.exe", dump, _ALLOWED, (5, 0))
        self.assertIn("a.exe: no imported functions were found in the dump", problems)

    def test_a_newer_operating_system_version_fails(self):
        dump = _DUMP.replace("MajorOSystemVersion\t4", "MajorOSystemVersion\t6")
        problems, _ = check_imports.check_binary("a.exe", dump, _ALLOWED, (5, 0))
        self.assertIn("a.exe: the operating system version is 6.0, above the allowed 5.0",
                      problems)

    def test_a_newer_subsystem_minor_version_fails(self):
        dump = _DUMP.replace("MajorSubsystemVersion\t4", "MajorSubsystemVersion\t5").replace(
            "MinorSubsystemVersion\t0", "MinorSubsystemVersion\t1")
        problems, _ = check_imports.check_binary("a.exe", dump, _ALLOWED, (5, 0))
        self.assertIn("a.exe: the subsystem version is 5.1, above the allowed 5.0", problems)

    def test_version_5_0_itself_passes(self):
        dump = _DUMP.replace("MajorOSystemVersion\t4", "MajorOSystemVersion\t5").replace(
            "MajorSubsystemVersion\t4", "MajorSubsystemVersion\t5")
        dump = dump.replace("\t8000000c\t   12  <none>\n", "")
        problems, _ = check_imports.check_binary("a.exe", dump, _ALLOWED, (5, 0))
        self.assertEqual(problems, [])

    def test_missing_version_fields_fail(self):
        dump = "\n".join(line for line in _DUMP.splitlines() if "SubsystemVersion" not in line)
        problems, _ = check_imports.check_binary("a.exe", dump, _ALLOWED, (5, 0))
        self.assertIn("a.exe: the dump shows no subsystem version", problems)


@unittest.skipUnless(
    os.environ.get("MXV_IMPORTS_TEST_BINARY") and os.environ.get("MXV_IMPORTS_TEST_OBJDUMP"),
    "no real binary given")
class RealBinaryTest(unittest.TestCase):
    """Runs the whole check on a built program, so that the parser is proved on real output.

    The lists used here are made from the program's own import table, so that these tests do not
    depend on the checked-in list being up to date; that list has a test of its own.
    """

    def setUp(self):
        self.binary = os.environ["MXV_IMPORTS_TEST_BINARY"]
        self.objdump = os.environ["MXV_IMPORTS_TEST_OBJDUMP"]
        self.imports, _ = check_imports.parse_objdump(
            check_imports.run_objdump(self.objdump, self.binary))

    def run_check(self, entries, *options):
        with tempfile.TemporaryDirectory() as directory:
            list_path = os.path.join(directory, "list.txt")
            with open(list_path, "w", encoding="utf-8") as handle:
                handle.write("".join("%s!%s\n" % entry for entry in entries))
            output = io.StringIO()
            with contextlib.redirect_stdout(output):
                status = check_imports.main(
                    ["--objdump", self.objdump, "--allowed", list_path] + list(options)
                    + [self.binary])
            return status, output.getvalue()

    def test_the_program_imports_from_the_system_libraries(self):
        libraries = {dll.lower() for dll, _ in self.imports}
        self.assertIn("kernel32.dll", libraries)
        self.assertIn("msvcrt.dll", libraries)
        self.assertIn(("KERNEL32.dll", "CreateFileA"), self.imports)

    def test_a_list_of_exactly_its_imports_passes(self):
        status, output = self.run_check(self.imports)
        self.assertEqual(status, 0, output)
        self.assertIn("%d imports" % len(self.imports), output)

    def test_a_list_without_one_of_its_imports_fails_and_names_it(self):
        missing = ("KERNEL32.dll", "CreateFileA")
        status, output = self.run_check([entry for entry in self.imports if entry != missing])
        self.assertEqual(status, 1)
        self.assertIn("KERNEL32.dll!CreateFileA is not in the list of allowed imports", output)
        self.assertEqual(output.count("is not in the list"), 1)

    def test_a_lower_version_limit_fails(self):
        status, output = self.run_check(self.imports, "--max-version", "3.10")
        self.assertEqual(status, 1)
        self.assertIn("the operating system version is 4.0, above the allowed 3.10", output)


if __name__ == "__main__":
    unittest.main()
