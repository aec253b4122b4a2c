"""Runs the native MXVLaunch.exe through its whole launch sequence on Linux, with the native stand-in
utility embedded: the version query answers from MXV_WINDOWS_VERSION, and every test has its own home,
profile, Windows directory and lock directory. It checks what a user or a support engineer would
see: the utility's report, the run-log entry, the execution directory gone afterwards, the box of a
refused second launcher on standard error, and a stale directory cleared.

    launch_native_test.py MXVLAUNCH_EXE PAYLOAD_DIR
"""

import os
import re
import subprocess
import sys
import tempfile
import unittest

EXE = sys.argv.pop(1) if len(sys.argv) > 1 else ""
PAYLOAD_DIR = sys.argv.pop(1) if len(sys.argv) > 1 else ""

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from launcher_output import LOG_ENTRY, PAYLOAD_NAMES, parse_report, wait_for  # noqa: E402

# On Linux the log is written in text mode without any translation: each entry ends in a bare LF.
LOG_LINE = re.compile("^" + LOG_ENTRY + "\n$")
SUCCESS = "Successfully ran verification utility"
NOT_READY = "System is not ready to launch verification utility"
XP_PROFESSIONAL_SP3 = "5.1.2600.3"
# Variables of the machine that would steer the launcher or the utility; none comes through.
OUTSIDE = ("USERPROFILE", "TEMP", "TMPDIR", "HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR",
           "MXV_WINDOWS_DIR", "MXV_WINDOWS_VERSION")


class NativeLaunch(unittest.TestCase):
    def setUp(self):
        if not PAYLOAD_NAMES:
            self.fail("MXV_PAYLOAD_NAMES must be set to the embedded files' names, joined with "
                      "commas (CTest sets it)")
        self.work = tempfile.TemporaryDirectory(prefix="mxv-launch-")
        root = self.work.name
        self.home = os.path.join(root, "home")
        self.profile = os.path.join(root, "profile")
        self.windows = os.path.join(root, "windows")
        self.runtime = os.path.join(root, "run")
        for directory in (self.home, self.profile, self.windows, self.runtime):
            os.makedirs(directory)
        os.chmod(self.runtime, 0o700)
        self.report_path = os.path.join(root, "report.txt")
        self.log = os.path.join(self.windows, "Temp", "debug.log")
        self.dvt = os.path.join(self.profile, "DVT")

    def tearDown(self):
        self.work.cleanup()

    def environment(self, **changes):
        """The launcher's environment: private directories, the XP Professional SP 3 version and
        the utility's report path. A change to None removes the variable."""
        env = {key: value for key, value in os.environ.items()
               if key not in OUTSIDE and not key.startswith("NQVQLAR_")}
        env.update(HOME=self.home, USERPROFILE=self.profile, MXV_WINDOWS_DIR=self.windows,
                   XDG_RUNTIME_DIR=self.runtime, MXV_WINDOWS_VERSION=XP_PROFESSIONAL_SP3,
                   NQVQLAR_REPORT=self.report_path)
        for key, value in changes.items():
            if value is None:
                env.pop(key, None)
            else:
                env[key] = value
        return env

    def start(self, env):
        # A session of its own has no controlling terminal: a message box goes to standard error.
        return subprocess.Popen([EXE], env=env, cwd=self.work.name, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, start_new_session=True)

    def run_launcher(self, env):
        process = self.start(env)
        stdout, stderr = process.communicate(timeout=120)
        return process.returncode, stdout.decode("latin-1"), stderr.decode("latin-1")

    def notice(self, log):
        return ("The application is about to shutdown due to an unrecoverable error. Please find a "
                "copy of the log file at %s\\Temp\\debug.log and contact Vardex for support.\n"
                % os.path.dirname(os.path.dirname(log)))

    def report(self):
        self.assertTrue(os.path.exists(self.report_path), "the utility wrote no report")
        with open(self.report_path, encoding="latin-1") as f:
            report = parse_report(f.read())
        self.assertIn("end", report, "the report is complete")
        os.remove(self.report_path)
        return report

    def assert_report_of_a_run_in(self, dvt):
        report = self.report()
        self.assertEqual(report["cwd"], dvt)
        self.assertEqual(report["cmdline"], "[]")
        self.assertEqual(report["exe"], os.path.join(dvt, "NQVQlar.exe"))
        # The program is started by its path alone, with no arguments.
        self.assertEqual(report["fullcmdline"], "[%s]" % os.path.join(dvt, "NQVQlar.exe"))
        self.assertEqual(sorted(report["files"]), sorted(PAYLOAD_NAMES))
        for name in PAYLOAD_NAMES:
            self.assertEqual(report["files"][name],
                             os.path.getsize(os.path.join(PAYLOAD_DIR, name)), name)
        self.assertNotIn("dir", report)
        return report

    def assert_log_entries(self, messages, log=None):
        with open(log or self.log, "rb") as f:
            lines = f.read().decode("latin-1").splitlines(keepends=True)
        found = []
        for line in lines:
            match = LOG_LINE.match(line)
            self.assertIsNotNone(match, "not an entry: %r" % line)
            found.append(match.group("message"))
        self.assertEqual(found, messages)

    def test_typical_run(self):
        code, stdout, stderr = self.run_launcher(self.environment())
        self.assertEqual((code, stdout, stderr), (1, "", ""))
        self.assert_report_of_a_run_in(self.dvt)
        self.assertFalse(os.path.lexists(self.dvt), "the directory is gone")
        self.assert_log_entries([SUCCESS])
        self.assertEqual(os.listdir(self.runtime), ["MXVMiniLaunchLock-%d.lock" % os.getuid()])

    def test_without_a_version_the_system_is_refused(self):
        box = "ERROR: The verification tool is not supported on this operating system.\n"
        for version in (None, "", "5.1", "5.1.2600.3.0", "5.1.2600.x", "XP"):
            with self.subTest(version=version):
                if os.path.exists(self.log):
                    os.remove(self.log)
                code, stdout, stderr = self.run_launcher(
                    self.environment(MXV_WINDOWS_VERSION=version))
                self.assertEqual((code, stdout, stderr), (1, self.notice(self.log), box))
                self.assert_log_entries([NOT_READY])
                self.assertFalse(os.path.exists(self.report_path), "nothing was started")
                self.assertFalse(os.path.lexists(self.dvt))

    def test_a_refused_version_in_the_variable_is_refused(self):
        # Windows 7 (NT 6.1) is not on the supported list.
        code, _, stderr = self.run_launcher(self.environment(MXV_WINDOWS_VERSION="6.1.7601.1"))
        self.assertEqual(code, 1)
        self.assertIn("not supported on this operating system", stderr)
        self.assert_log_entries([NOT_READY])

    def test_second_launcher_is_refused_while_the_first_runs(self):
        started = os.path.join(self.work.name, "started")
        release = os.path.join(self.work.name, "release")
        first = self.start(self.environment(NQVQLAR_STARTED=started, NQVQLAR_WAIT_FOR=release))
        try:
            wait_for(lambda: os.path.exists(started), 60, "the first launcher's utility")
            code, stdout, stderr = self.run_launcher(self.environment())
            self.assertEqual(stderr, "ERROR: A verification tool is already running.\n")
            self.assertEqual(stdout, self.notice(self.log))
            self.assertEqual(code, 1)
            self.assert_log_entries([NOT_READY])
            # The first run is untouched: its directory and files are still in place.
            self.assertEqual(sorted(os.listdir(self.dvt)), sorted(PAYLOAD_NAMES))
        finally:
            open(release, "w").close()
            stdout, stderr = first.communicate(timeout=120)
        self.assertEqual((first.returncode, stdout, stderr), (1, b"", b""))
        self.assert_report_of_a_run_in(self.dvt)
        self.assertFalse(os.path.lexists(self.dvt))
        self.assert_log_entries([NOT_READY, SUCCESS])
        # A launcher started after the first has ended takes the lock again.
        self.assertEqual(self.run_launcher(self.environment())[:2], (1, ""))
        self.assert_log_entries([NOT_READY, SUCCESS, SUCCESS])

    def test_a_stale_directory_is_cleared_and_links_in_it_are_not_followed(self):
        outside = os.path.join(self.work.name, "outside")
        os.makedirs(outside)
        with open(os.path.join(outside, "keep.txt"), "w") as f:
            f.write("not the launcher's")
        os.makedirs(self.dvt)
        for name in ("old.txt", "NQVQlar.exe"):
            with open(os.path.join(self.dvt, name), "w") as f:
                f.write("left from an earlier run")
        os.symlink(outside, os.path.join(self.dvt, "link-to-dir"))
        os.symlink(os.path.join(outside, "keep.txt"), os.path.join(self.dvt, "link-to-file"))
        code, stdout, _ = self.run_launcher(self.environment())
        self.assertEqual((code, stdout), (1, ""))
        self.assert_report_of_a_run_in(self.dvt)
        self.assertFalse(os.path.lexists(self.dvt))
        self.assert_log_entries([SUCCESS])
        self.assertEqual(os.listdir(outside), ["keep.txt"])
        with open(os.path.join(outside, "keep.txt")) as f:
            self.assertEqual(f.read(), "not the launcher's")

    def test_a_file_held_open_does_not_keep_the_directory(self):
        # Linux deletes a file that is still open, so the utility's helper, which keeps one open
        # after the utility has ended, does not stop the removal as it does on Windows.
        code, stdout, _ = self.run_launcher(self.environment(
            NQVQLAR_HOLD_FILE="TraceLib.dll", NQVQLAR_HOLD_SECONDS="1", NQVQLAR_EXIT_CODE="x"))
        self.assertEqual((code, stdout), (1, ""))
        report = self.assert_report_of_a_run_in(self.dvt)
        self.assertEqual(report["warning"],
                         "NQVQLAR_EXIT_CODE=x is not a number from 0 to 4294967295; using 0")
        self.assertFalse(os.path.lexists(self.dvt))
        self.assert_log_entries([SUCCESS])

    def test_linux_directories_stand_in_for_the_windows_ones(self):
        state = os.path.join(self.work.name, "state")
        temporary = os.path.join(self.work.name, "tmp")
        os.makedirs(temporary)
        # Without USERPROFILE the home directory is the profile; without MXV_WINDOWS_DIR the
        # Windows directory is under the state directory. The utility's exit code does not matter.
        code, stdout, _ = self.run_launcher(self.environment(
            USERPROFILE=None, MXV_WINDOWS_DIR=None, XDG_STATE_HOME=state, NQVQLAR_EXIT_CODE="7"))
        self.assertEqual((code, stdout), (1, ""))
        self.assert_report_of_a_run_in(os.path.join(self.home, "DVT"))
        self.assert_log_entries([SUCCESS], os.path.join(state, "mxvlaunch", "Temp", "debug.log"))

        # Without USERPROFILE and HOME, TEMP stands for the profile, and TMPDIR for TEMP; the
        # Windows directory comes from MXV_WINDOWS_DIR, which needs no home.
        code, stdout, _ = self.run_launcher(self.environment(
            USERPROFILE=None, HOME=None, TMPDIR=temporary))
        self.assertEqual((code, stdout), (1, ""))
        self.assert_report_of_a_run_in(os.path.join(temporary, "DVT"))
        self.assertEqual(os.listdir(temporary), [])
        self.assert_log_entries([SUCCESS])


if __name__ == "__main__":
    unittest.main()
