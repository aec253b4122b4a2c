"""End-to-end tests of the hardware feature report under Wine: MXVLaunch.exe /b /h on a
pseudo-terminal, with fixture probe libraries and with the project's own probe library."""

import os
import re
import shutil
import unittest

from wine_harness import EXE, PAYLOAD_NAMES, Terminal, WineTestCase

RULE = "=" * 43
PROMPT = "Press any key to exit ... "
HEADER = "\n\n -- Feature Name:\tHardware ID String:\tManufacturer String: -- \n\n\n"
TRAILER = "\n\n\n"
FIXTURES = os.environ.get("MXV_HW_FIXTURES", "")
SUCCESS = "Successfully ran verification utility"
# The report of the fixture library that has only the fallback name, ZeToolSim.dll.
FALLBACK_TABLE = (HEADER
                  + "Fallback record one:\tFIXTURE\\SIMONLY_0001:\tFixture Sim Works:\n"
                  + "Fallback record two:\tFIXTURE\\SIMONLY_0002:\tFixture Sim Works:\n"
                  + TRAILER)


def console_text(hardware):
    """The whole console text of /b /h, with hardware as the report's part."""
    return ("%s\n=============== BINARY DUMP ===============\n%s\n" % (RULE, RULE)
            + "".join(name + "\r\n" for name in PAYLOAD_NAMES)
            + "%s\n%s\n\n\n\n%s\n============ HARDWARE INFO DUMP ===========\n%s\n" % (
                RULE, RULE, RULE, RULE)
            + hardware + "%s\n%s\n%s\n" % (RULE, RULE, PROMPT))


def screen_of(text):
    """What a console shows for text: carriage returns gone, tabs at stops of eight columns,
    nothing at the ends of lines, no empty lines after the last one."""
    lines = [line.replace("\r", "").expandtabs(8).rstrip() for line in text.split("\n")]
    while lines and not lines[-1]:
        lines.pop()
    return lines


class Hardware(WineTestCase):
    def application(self, libraries, name="app"):
        """A directory holding a copy of the launcher and only the given probe libraries."""
        app = os.path.join(self.prefix.root, name)
        os.makedirs(app)
        shutil.copy(EXE, app)
        for library in libraries:
            shutil.copy(library, app)
        return os.path.join(app, os.path.basename(EXE))

    def dump(self, program, switches, folder=None, env=None):
        """The screen of program run with switches in folder (the prefix's files by default)."""
        folder = folder or self.prefix.files
        terminal = Terminal(self.prefix, switches, folder, env, program=program)
        self.addCleanup(terminal.close)
        terminal.wait_for_text(PROMPT.strip())
        screen = terminal.screen()
        terminal.send_key("x")
        self.assertEqual(terminal.exit_code(), 1)
        self.assert_log_entries([SUCCESS])
        self.assertEqual(sorted(os.listdir(folder)), sorted(PAYLOAD_NAMES))
        lines = [line.rstrip() for line in screen.split("\n")]
        while lines and not lines[-1]:
            lines.pop()
        return lines

    def test_the_fixture_table_prints_exactly(self):
        program = self.application([os.path.join(FIXTURES, "edgecases", "ZeTool.dll")])
        expected = console_text(
            HEADER
            + "Edge case a: all fields:\tFIXTURE\\DEV_000A&REV_01:\tFixture Devices Ltd:\n"
            + "Edge case e: lower and mixed case:\tFIXTURE\\unknown&Error&Unknown&eRROR_000E:\t"
            + "Fixture Devices Ltd:\n"
            + "Edge case f: no hardware id:\tUNKNOWN ERROR Makers:\n"
            + "Edge case g: no manufacturer:\tFIXTURE\\DEV_000G:\t\n"
            + "Edge case h: name only:\t\n"
            + "Edge case i: this feature name fills all the seventy-five bytes of its slot:\t"
            + "FIXTURE\\HARDWARE_ID_WHICH_FILLS_ALL_ONE_HUNDRED_BYTES_OF_ITS_SLOT_WITH_NO_NUL_AT_"
            + "ALL_AND_ENDS_IN_ERR:\tORBIT Fixture Works:\n"
            + TRAILER)
        self.assertEqual(self.dump(program, ["/b", "/h"]), screen_of(expected))

    def test_switches_without_a_blank(self):
        program = self.application([os.path.join(FIXTURES, "empty", "ZeTool.dll")])
        self.assertEqual(self.dump(program, ["/h/b"]), screen_of(console_text(HEADER + TRAILER)))

    def test_only_the_fallback_library(self):
        program = self.application([os.path.join(FIXTURES, "simonly", "ZeToolSim.dll")])
        self.assertEqual(self.dump(program, ["/b /h"]), screen_of(console_text(FALLBACK_TABLE)))

    def test_folders_named_outside_the_code_page(self):
        # The launcher with its probe library, and the folder it dumps into, have Greek names,
        # which the Western code page of a C.UTF-8 Wine cannot hold.
        greek = "\u0395\u03bb\u03ad\u03bd\u03b7"
        program = self.application([os.path.join(FIXTURES, "simonly", "ZeToolSim.dll")], greek)
        folder = os.path.join(self.prefix.root, greek + "-dump")
        os.makedirs(folder)
        self.assertEqual(self.dump(program, ["/b /h"], folder,
                                   {"LANG": "C.UTF-8", "LC_ALL": "C.UTF-8"}),
                         screen_of(console_text(FALLBACK_TABLE)))

    def test_a_table_without_end_record_stops_at_the_image_end(self):
        # The table fills the DLL's image to its last byte with no end record: the report ends at
        # the last whole record instead of reading past the image.
        program = self.application([os.path.join(FIXTURES, "noend", "ZeTool.dll")])
        self.assertEqual(self.dump(program, ["/b", "/h"]), screen_of(console_text(
            HEADER
            + "".join("No end record %d:\tFIXTURE\\NOEND_%d:\tFixture Devices Ltd:\n" % (n, n)
                      for n in range(1, 11))
            + TRAILER)))

    def test_a_forwarded_table_is_bounded_by_the_module_that_holds_it(self):
        # The table lies in ZeToolData.dll and fills its image to the last byte with no end record:
        # only that image's end stops the report, at the tenth record.
        program = self.application([os.path.join(FIXTURES, "forwarded", name)
                                    for name in ("ZeTool.dll", "ZeToolData.dll")])
        self.assertEqual(self.dump(program, ["/b /h"]), screen_of(console_text(
            HEADER
            + "".join("Forwarded record %d:\tFIXTURE\\FORWARDED_%d:\tFixture Forward Works:\n"
                      % (n, n) for n in range(1, 11))
            + TRAILER)))

    def test_a_library_without_the_table_does_not_fall_back(self):
        program = self.application([os.path.join(FIXTURES, "noexport", "ZeTool.dll"),
                                    os.path.join(os.path.dirname(EXE), "ZeToolSim.dll")])
        self.assertEqual(self.dump(program, ["/b /h"]), screen_of(console_text(
            "Failed to extract hardware test information\n")))

    def test_without_a_probe_library(self):
        program = self.application([])
        self.assertEqual(self.dump(program, ["/b /h"]), screen_of(console_text(
            "Failed to extract hardware test information\n")))

    def test_our_probe_reports_this_processor(self):
        # The launcher as built, with our probe library beside it.
        lines = self.dump(EXE, ["/b", "/h"])
        with open("/proc/cpuinfo") as f:
            vendor = re.search(r"^vendor_id\s*:\s*(\S+)", f.read(), re.M).group(1)
        start = lines.index([line for line in screen_of(HEADER) if line][0])
        end = lines.index(RULE, start)
        features = [line for line in lines[start + 1:end] if line]
        self.assertTrue(any(line.startswith("Processor vendor:") and line.endswith(vendor + ":")
                            for line in features), features)
        self.assertGreater(len(features), 3)
        for line in features:
            self.assertRegex(line, r"^[^:]+(:.*)?:$")
            self.assertNotIn("UNKNOWN", line)
            self.assertNotIn("ERROR", line)


if __name__ == "__main__":
    unittest.main()
