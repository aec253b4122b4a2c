#!/usr/bin/env python3
"""Tests of check_processor_floor.py: the verdict on single instructions, by the processor that
brought each one, the scan of made-up objdump listings, and the tracing of findings through a made-up
linker map."""

import contextlib
import io
import os
import stat
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_processor_floor  # noqa: E402

# Each instruction as objdump prints it, its bytes, and whether the Pentium runs it.
_INSTRUCTIONS = [
    ("cpuid", "0f a2", True),
    ("rdtsc", "0f 31", True),
    ("lock cmpxchg8b (%esi)", "f0 0f c7 0e", True),
    ("rep stos %eax,%es:(%edi)", "f3 ab", True),
    ("nop", "90", True),
    ("xchg %ax,%ax", "66 90", True),
    ("lea 0x0(%esi,%eiz,1),%esi", "8d b4 26 00 00 00 00", True),
    ("fucomp %st(1)", "dd e9", True),
    ("ud2", "0f 0b", True),
    ("cmovne %edx,%eax", "0f 45 c2", False),
    ("fcmovbe %st(1),%st", "da d1", False),
    ("fcomi %st(1),%st", "db f1", False),
    ("fucomip %st(1),%st", "df e9", False),
    # The multi-byte NOP, under the names objdump gives it, and under a name it might give it.
    ("nopl 0x0(%eax)", "0f 1f 40 00", False),
    ("data16 cs nopw 0x0(%eax,%eax,1)", "66 2e 0f 1f 84 00 00 00 00 00", False),
    ("xchg %eax,%eax", "0f 1f 00", False),
    ("endbr32", "f3 0f 1e fb", False),
    ("prefetchnta (%eax)", "0f 18 00", False),
    ("rdpmc", "0f 33", False),
    ("sysenter", "0f 34", False),
    ("fxsave (%eax)", "0f ae 00", False),
    ("lfence", "0f ae e8", False),
    ("clflush (%eax)", "0f ae 38", False),
    ("movnti %eax,(%ecx)", "0f c3 01", False),
    ("movaps %xmm0,0x10(%esp)", "0f 29 44 24 10", False),
    ("movd %eax,%mm0", "0f 6e c0", False),
    ("emms", "0f 77", False),
    ("fisttpll (%esp)", "dd 0c 24", False),
    ("cs popcnt %eax,%ecx", "2e f3 0f b8 c8", False),
]

_HEADER = ("\na.exe:     file format pei-i386\n\n\n"
           "Disassembly of section .text:\n\n00401000 <.text>:\n")
_CODE = ("  401000:\t0f a2                \tcpuid\n"
         "  401002:\t8d b4 26 00 00 00 00 \tlea    0x0(%esi,%eiz,1),%esi\n"
         "  401009:\t00 \n"
         "  40100a:\t90                   \tnop\n"
         "  40100b:\t90                   \tnop\n")
_CONSTRUCTOR_LIST = "  40100c:\tff                   \t(bad)\n"
_DATA_AS_SSE = "  401010:\t0f 28 01             \tmovaps (%ecx),%xmm0\n"
_CMOV_AT_2000 = "  402000:\t0f 44 c2             \tcmove  %edx,%eax\n"

# A linker map: our object at 0x401000, an archive member at 0x402000 (its section name too long for
# one line), and an object file of the toolchain at 0x403000.
_MAP = (" .text          0x00401000       0x20 CMakeFiles/a.dir/main.cpp.obj\n"
        " .text$_ZL28read_encoded_value_with_basehjPKhPj\n"
        "                0x00402000       0x40 /usr/lib/gcc/libstdc++.a(eh_personality.o)\n"
        " .text          0x00403000       0x10 /usr/lib/../lib/crt2.o\n"
        " .data          0x00000000        0x0 /usr/lib/../lib/crt2.o\n")


class FloorTest(unittest.TestCase):
    def test_each_instruction_by_the_processor_that_brought_it(self):
        for instruction, raw, runs in _INSTRUCTIONS:
            with self.subTest(instruction=instruction):
                self.assertEqual(check_processor_floor.beyond_floor(instruction, raw) is None, runs)

    def test_listings(self):
        cases = [
            ("code, then data", _CODE + _CONSTRUCTOR_LIST + _DATA_AS_SSE, 0),
            ("SSE in the code", _DATA_AS_SSE + _CODE + _CONSTRUCTOR_LIST, 1),
            ("undecodable byte off the word boundary",
             _CODE.replace("40100b", "40100d") + _CONSTRUCTOR_LIST.replace("40100c", "40100e"), 1),
            ("nothing decoded", _CONSTRUCTOR_LIST, 1),
        ]
        for name, body, expected in cases:
            with self.subTest(name):
                findings, _ = check_processor_floor.scan(_HEADER + body)
                self.assertEqual(len(findings), expected, findings)
        _, count = check_processor_floor.scan(_HEADER + _CODE + _CONSTRUCTOR_LIST)
        self.assertEqual(count, 4)

    def test_findings_traced_through_the_map(self):
        sections = check_processor_floor.map_sections(_MAP)
        cases = [(0x401010, "main.cpp.obj"), (0x40203f, "libstdc++.a(eh_personality.o)"),
                 (0x403004, "crt2.o"), (0x402040, None)]
        for address, ending in cases:
            with self.subTest(address=hex(address)):
                source = check_processor_floor.object_at(sections, address)
                if ending is None:
                    self.assertIsNone(source)
                else:
                    self.assertTrue(source.endswith(ending), source)

    def test_any_finding_fails_wherever_it_lies(self):
        cases = [("in a library's code", _CODE + _CMOV_AT_2000, 1),
                 ("in our code", _CODE.replace("cpuid", "cmove  %edx,%eax")
                  .replace("0f a2", "0f 44 c2"), 1),
                 ("none", _CODE, 0)]
        with tempfile.TemporaryDirectory() as work:
            map_path = os.path.join(work, "a.map")
            with open(map_path, "w", encoding="utf-8") as map_file:
                map_file.write(_MAP)
            for name, body, expected in cases:
                with self.subTest(name):
                    objdump = os.path.join(work, "objdump")
                    with open(objdump, "w", encoding="utf-8") as script:
                        script.write(f"#!/bin/sh\ncat <<'EOF'\n{_HEADER}{body}EOF\n")
                    os.chmod(objdump, stat.S_IRWXU)
                    with contextlib.redirect_stdout(io.StringIO()):
                        code = check_processor_floor.main(
                            ["--objdump", objdump, f"--map=a.exe={map_path}", "a.exe"])
                    self.assertEqual(code, expected)


if __name__ == "__main__":
    unittest.main()
