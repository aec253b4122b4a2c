#!/usr/bin/env python3
"""Tests of check_processor_floor.py: the verdict on single instructions, by the processor that
brought each one, and the scan of made-up objdump listings."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_processor_floor  # noqa: E402

# Each instruction as objdump prints it, and whether the Pentium Pro runs it.
_INSTRUCTIONS = [
    ("cmovne %edx,%eax", True),
    ("fucomip %st(1),%st", True),
    ("lock cmpxchg8b (%esi)", True),
    ("rep stos %eax,%es:(%edi)", True),
    ("nopl 0x0(%eax)", True),
    ("tzcnt %ebx,%ecx", True),
    ("movaps %xmm0,0x10(%esp)", False),
    ("movd %eax,%mm0", False),
    ("vpxor %ymm0,%ymm1,%ymm2", False),
    ("emms", False),
    ("ldmxcsr 0x4(%esp)", False),
    ("fisttps (%esp)", False),
    ("fisttpll (%esp)", False),
    ("fxsave (%eax)", False),
    ("cs popcnt %eax,%ecx", False),
    ("crc32b %al,%ecx", False),
    ("andn %eax,%ebx,%ecx", False),
]

_HEADER = ("\na.exe:     file format pei-i386\n\n\n"
           "Disassembly of section .text:\n\n00401000 <.text>:\n")
_CODE = ("  401000:\t0f 44 c2             \tcmove  %edx,%eax\n"
         "  401003:\t8d b4 26 00 00 00 00 \tlea    0x0(%esi,%eiz,1),%esi\n"
         "  40100a:\t00 \n"
         "  40100b:\t90                   \tnop\n")
_CONSTRUCTOR_LIST = "  40100c:\tff                   \t(bad)\n"
_DATA_AS_SSE = "  401010:\t0f 28 01             \tmovaps (%ecx),%xmm0\n"


class FloorTest(unittest.TestCase):
    def test_each_instruction_by_the_processor_that_brought_it(self):
        for instruction, runs in _INSTRUCTIONS:
            with self.subTest(instruction=instruction):
                self.assertEqual(check_processor_floor.beyond_floor(instruction) is None, runs)

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
                findings, _, _ = check_processor_floor.scan(_HEADER + body)
                self.assertEqual(len(findings), expected, findings)

    def test_counts_instructions_and_pentium_pro_additions(self):
        _, count, pentium_pro = check_processor_floor.scan(_HEADER + _CODE + _CONSTRUCTOR_LIST)
        self.assertEqual((count, pentium_pro), (3, 1))


if __name__ == "__main__":
    unittest.main()
