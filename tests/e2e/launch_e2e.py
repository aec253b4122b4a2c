"""End-to-end tests of MXVLaunch.exe under Wine: the launch, the lock, the run log, the execution
directory and the debugger trace, each seen as a user or a support engineer would see it."""

import os
import re
import subprocess
import time
import unittest

from wine_harness import NOTICE, PAYLOAD_NAMES, WineTestCase

SUCCESS = "Successfully ran verification utility"
NOT_READY = "System is not ready to launch verification utility"


class Launch(WineTestCase):
    def test_typical_run(self):
        began = time.time()
        result = self.prefix.run(env=self.utility_env())
        ended = time.time()
        self.assertEqual(result.code, 1)
        self.assertEqual(result.stdout, "")
        report = self.report(self.report_path)
        self.assertEqual(report["cwd"].lower(), ("C:\\users\\%s\\DVT" % self.prefix.user).lower())
        self.assertEqual(report["cmdline"], "[]")
        self.assertEqual(sorted(report["files"]), sorted(PAYLOAD_NAMES))
        for name in PAYLOAD_NAMES:
            self.assertEqual(report["files"][name],
                             os.path.getsize(os.path.join(os.environ["MXV_PAYLOAD_DIR"], name)))
        self.assertFalse(os.path.exists(self.prefix.dvt), "the directory is gone")
        self.assert_log_entries([SUCCESS])
        # The entry's time is the local time of some second of the run, in the ctime layout; on a
        # clock set past 2038 this shows that no 32-bit count of seconds stands in between.
        seconds = range(int(began), int(ended) + 1)
        self.assertIn(self.prefix.log_lines()[0][2:26],
                      {time.strftime("%a %b %e %H:%M:%S %Y", time.localtime(s)) for s in seconds})

    def test_two_runs_append_two_entries(self):
        with open(self.prefix.log, "wb") as f:
            f.write(b"an earlier line\r\n")
        self.assertEqual(self.prefix.run().code, 1)
        self.assertEqual(self.prefix.run().code, 1)
        lines = self.prefix.log_lines()
        self.assertEqual(lines[0], "an earlier line")
        with open(self.prefix.log, "wb") as f:
            f.write(("\r\n".join(lines[1:]) + "\r\n").encode("latin-1"))
        self.assert_log_entries([SUCCESS, SUCCESS])

    def test_second_launcher_is_refused_while_the_first_runs(self):
        self.prefix.trace_calls(["user32.MessageBoxA"])
        first, release = self.start_held_launcher()
        try:
            second = self.prefix.run(debug="-all,+relay")
            self.assertEqual(self.boxes(second.stderr),
                             [("A verification tool is already running.", "ERROR", 0x10)])
            self.assertEqual(second.stdout_lines, [NOTICE])
            self.assertEqual(second.code, 1)
            self.assert_log_entries([NOT_READY])
            # The first run is untouched: its directory and files are still in place.
            self.assertEqual(sorted(os.listdir(self.prefix.dvt)), sorted(PAYLOAD_NAMES))
        finally:
            open(release, "w").close()
            first_result = first.finish()
        self.assertEqual(first_result.code, 1)
        self.assertFalse(os.path.exists(self.prefix.dvt))
        self.assert_log_entries([NOT_READY, SUCCESS])

    def test_a_stale_directory_is_cleared_before_extraction(self):
        os.makedirs(self.prefix.dvt)
        for name in ("old.txt", "NQVQlar.exe"):
            with open(os.path.join(self.prefix.dvt, name), "w") as f:
                f.write("left from an earlier run")
        self.assertEqual(self.prefix.run(env=self.utility_env()).code, 1)
        report = self.report(self.report_path)
        self.assertNotIn("old.txt", report["files"])
        self.assertEqual(sorted(report["files"]), sorted(PAYLOAD_NAMES))
        self.assertFalse(os.path.exists(self.prefix.dvt))

    def test_a_locked_file_keeps_the_directory_after_seven_pauses(self):
        self.prefix.trace_calls(["kernel32.Sleep", "kernel32.DeleteFileW"])
        result = self.prefix.run(
            env=self.utility_env(HOLD_FILE="TraceLib.dll", HOLD_SECONDS="20"),
            debug="-all,+relay")
        # The held file stays, and so does the utility's own program, which the process holding
        # the file runs from. The first of them gets seven attempts with a pause after each; the
        # shared counter is then used up, so the other gets one attempt and one pause.
        attempts = {}
        pauses = 0
        for line in result.stderr.splitlines():
            deleting = re.search(r'Call KERNEL32\.DeleteFileW\([0-9a-f]+ L"[^"]*\\\\([^"\\]+)"\)', line)
            if deleting:
                name = deleting.group(1)
            elif "Ret  KERNEL32.DeleteFileW() retval=00000000" in line:
                attempts[name] = attempts.get(name, 0) + 1
            elif "Call KERNEL32.Sleep(000003e8)" in line:
                pauses += 1
        self.assertEqual(sorted(attempts), ["NQVQlar.exe", "TraceLib.dll"])
        self.assertEqual(sorted(attempts.values()), [1, 7])
        self.assertEqual(pauses, 8)
        self.assertEqual(result.code, 1)
        self.assertEqual(result.stdout_lines, [NOTICE])
        self.assert_log_entries(["Failed to remove verification utility execution directory"])
        self.assertTrue(os.path.isdir(self.prefix.dvt), "the directory is left in place")
        self.assertEqual(sorted(os.listdir(self.prefix.dvt)), ["NQVQlar.exe", "TraceLib.dll"])

    def test_without_userprofile_the_directory_is_under_temp(self):
        env = self.utility_env()
        command = "set USERPROFILE=&& %s" % self.prefix.windows_path(os.environ["MXV_EXE"])
        result = self.prefix.run(["cmd", "/c", command], env=env, program="cmd")
        self.assertEqual(result.code, 1)
        report = self.report(self.report_path)
        self.assertEqual(report["cwd"].lower(),
                         ("C:\\users\\%s\\Temp\\DVT" % self.prefix.user).lower())
        self.assert_log_entries([SUCCESS])

    def test_a_read_only_log_is_reported_and_the_run_goes_on(self):
        with open(self.prefix.log, "wb") as f:
            f.write(b"kept\r\n")
        # Root writes through permission bits, so the file is made immutable instead.
        if subprocess.run(["chattr", "+i", self.prefix.log]).returncode != 0:
            self.skipTest("this file system cannot make the log read-only")
        result = self.prefix.run(env=self.utility_env())
        self.assertEqual(result.stdout_lines, ["couldn't open log file"])
        self.assertEqual(result.code, 1)
        self.assertTrue(os.path.exists(self.report_path), "the utility still ran")
        self.assertEqual(self.prefix.log_bytes(), b"kept\r\n")

    def test_the_start_is_traced_on_the_debugger_output(self):
        result = self.prefix.run(debug="-all,+debugstr")
        traced = [line.split("OutputDebugStringA ", 1)[1] for line in result.stderr.splitlines()
                  if "OutputDebugStringA" in line]
        dvt = "C:\\\\users\\\\%s\\\\DVT" % self.prefix.user
        self.assertEqual(traced[:5], [
            '"*************************\\n"', '"%s\\\\NQVQlar.exe"' % dvt,
            '"*************************\\n"', '""', '"%s"' % dvt])
        self.assertEqual(result.code, 1)


if __name__ == "__main__":
    unittest.main()
