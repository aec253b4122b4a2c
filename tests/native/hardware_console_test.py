"""Runs the native MXVLaunch.exe with /b /h on a pseudo-terminal, as support staff would on Linux,
and checks the raw console text of the hardware report: the project's own probe library reports this
machine's processor vendor, and every printed line carries the report's field separators. Also
checks that the key wait takes an arrow key's whole escape sequence.

    hardware_console_test.py MXVLAUNCH_EXE
"""

import os
import re
import subprocess
import sys
import tempfile
import unittest

EXE = sys.argv.pop(1) if len(sys.argv) > 1 else ""
HEADER = "\r\n\r\n -- Feature Name:\tHardware ID String:\tManufacturer String: -- \r\n\r\n\r\n"
RULE = "=" * 43


class NativeHardwareReport(unittest.TestCase):
    def test_the_report_of_this_machine(self):
        with tempfile.TemporaryDirectory() as work:
            typescript = os.path.join(work, "typescript")
            dump = os.path.join(work, "dump")
            os.makedirs(dump)
            # The run log and the lock file stay in the test's own directories, away from the
            # user's and from any other launcher of this user.
            windows = os.path.join(work, "windows")
            runtime = os.path.join(work, "run")
            os.makedirs(runtime, mode=0o700)
            env = dict(os.environ, MXV_WINDOWS_DIR=windows, XDG_RUNTIME_DIR=runtime)
            # script forwards its standard input to the terminal: one key for the prompt.
            result = subprocess.run(["script", "-qefc", EXE + " /b /h", typescript], input=b"k",
                                    cwd=dump, env=env, stdout=subprocess.DEVNULL, timeout=120)
            with open(typescript, "rb") as f:
                text = f.read().decode("latin-1")
            self.assertEqual(result.returncode, 1, text)
            self.assertEqual(len(os.listdir(dump)), 11)
            with open(os.path.join(windows, "Temp", "debug.log")) as f:
                self.assertIn("\tENTRY: Successfully ran verification utility\t", f.read())
            self.assertEqual(os.listdir(runtime), ["MXVMiniLaunchLock-%d.lock" % os.getuid()])
        self.assertIn(HEADER, text)
        # Each line ends in its own line feed, and the trailer adds three more.
        report = text.split(HEADER, 1)[1].split("\r\n" * 4 + RULE, 1)[0]
        lines = report.split("\r\n")
        self.assertGreater(len(lines), 3)
        for line in lines:
            # Name, colon, tab; then the hardware ID, colon, tab; then the manufacturer and a colon.
            self.assertRegex(line, r"^[^\t]+:\t([^\t]+:\t)?([^\t]+:)?$")
            self.assertNotRegex(line, "ERROR|UNKNOWN|FEATURE_SET_DETECTED")
        with open("/proc/cpuinfo") as f:
            vendor = re.search(r"^vendor_id\s*:\s*(\S+)", f.read(), re.M).group(1)
        self.assertIn("Processor vendor:\tCPUID.00H:EBX,EDX,ECX:\t%s:" % vendor, lines)
        self.assertIn("Press any key to exit ... \r\nk", text)


class NativeKeyWait(unittest.TestCase):
    def test_an_arrow_key_is_read_whole(self):
        # Two runs on one terminal, given an arrow key's escape sequence and then "k". The first
        # run's wait must take the whole sequence and echo nothing, so that the second run's wait
        # gets the "k", not the rest of the sequence.
        prompt = "Press any key to exit ... "
        with tempfile.TemporaryDirectory() as work:
            typescript = os.path.join(work, "typescript")
            command = "%s /h; %s /h" % (EXE, EXE)
            result = subprocess.run(["script", "-qefc", command, typescript], input=b"\x1b[Ak",
                                    cwd=work, stdout=subprocess.DEVNULL, timeout=120)
            with open(typescript, "rb") as f:
                text = f.read().decode("latin-1")
        self.assertEqual(result.returncode, 1, text)
        runs = text.split(prompt)
        self.assertEqual(len(runs), 3, text)
        self.assertTrue(runs[2].startswith("\r\nk"), repr(runs[2]))
        self.assertNotIn("[A", runs[1])


if __name__ == "__main__":
    unittest.main()
