"""End-to-end tests of MXVLaunch.exe under Wine when the machine misbehaves: a disk that fills up
during the extraction, many launchers started at the same instant, all appending to one run log,
and a run log whose append turn another process holds for good."""

import os
import subprocess
import unittest

from wine_harness import NOTICE, PAYLOAD_NAMES, PAYLOAD_DIR, WineTestCase, wait_for

SUCCESS = "Successfully ran verification utility"
NOT_READY = "System is not ready to launch verification utility"
EXTRACT_FAILED = "Failed to extract verification utility binaries"


class Faults(WineTestCase):
    def utility_env(self, name="report.txt", **extra):
        """Knobs of the stand-in utility: its report goes to a file beside the prefix."""
        path = os.path.join(self.prefix.root, name)
        env = {"NQVQLAR_REPORT": self.prefix.windows_path(path)}
        for key, value in extra.items():
            env["NQVQLAR_" + key] = self.prefix.windows_path(value)
        return path, env

    def mount_small_disk(self, size):
        """Mounts a tmpfs of size bytes on C:\\small; skips the test where mounting is not
        allowed. It is unmounted again before the prefix is removed."""
        small = os.path.join(self.prefix.drive_c, "small")
        os.makedirs(small)
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%d" % size, "tmpfs", small],
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if mounted.returncode != 0:
            self.skipTest("a small disk cannot be mounted here (mounting a tmpfs needs root): "
                          + mounted.stdout.strip())
        self.addCleanup(self.unmount, small)
        return small

    def unmount(self, path):
        # The prefix's wineserver may still hold the folder; it is ended first.
        subprocess.run(["wineserver", "-k"], env=self.prefix.env, check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if subprocess.run(["umount", path], stderr=subprocess.DEVNULL).returncode != 0:
            subprocess.run(["umount", "-l", path], check=False)

    def run_with_profile(self, profile, env):
        """Runs the launcher with USERPROFILE set to profile (Wine sets its own for a program
        started from Linux, so cmd sets it and starts the launcher)."""
        command = "set USERPROFILE=%s&& %s" % (profile,
                                                self.prefix.windows_path(os.environ["MXV_EXE"]))
        return self.prefix.run(["/c", command], env=env, program="cmd")

    def test_a_full_disk_leaves_no_partial_file_and_starts_nothing(self):
        sizes = {name: os.path.getsize(os.path.join(PAYLOAD_DIR, name)) for name in PAYLOAD_NAMES}
        total = sum(sizes.values())
        # Room for every file once the filler is gone, with pages to spare; at least 512 KiB.
        disk = max(512 * 1024, (total // 4096 + len(PAYLOAD_NAMES) + 32) * 4096)
        small = self.mount_small_disk(disk)
        # The filler leaves room for about half of the payload, so some files are written whole,
        # one is cut short and the rest find no room at all.
        free = os.statvfs(small).f_bavail * os.statvfs(small).f_frsize
        filler = os.path.join(small, "filler")
        with open(filler, "wb") as f:
            f.write(b"\0" * max(0, free - total // 2))
        self.assertLess(os.statvfs(small).f_bavail * os.statvfs(small).f_frsize, total)

        report, env = self.utility_env()
        result = self.run_with_profile("C:\\small", env)
        self.assertEqual(result.code, 1)
        self.assertFalse(os.path.exists(report), "the utility was started")
        self.assert_log_entries([EXTRACT_FAILED])
        self.assertIn(NOTICE, result.stdout_lines)
        # Nothing of the payload is left, neither whole nor cut short nor empty; the emptied
        # execution directory may stay, and the next run clears it.
        dvt = os.path.join(small, "DVT")
        left = os.listdir(dvt) if os.path.isdir(dvt) else []
        self.assertEqual(left, [], "files left in the execution directory")
        self.assertEqual(set(os.listdir(small)) - {"DVT"}, {"filler"})

        # With the room back, the next run extracts everything and runs the utility.
        os.remove(filler)
        result = self.run_with_profile("C:\\small", env)
        self.assertEqual(result.code, 1)
        ran = self.report(report)
        self.assertEqual(ran["files"], sizes)
        self.assertEqual(ran["cwd"].lower(), "c:\\small\\dvt")
        self.assertFalse(os.path.exists(dvt), "the directory is removed after the run")
        self.assert_log_entries([EXTRACT_FAILED, SUCCESS])

    def test_a_log_turn_held_for_good_delays_the_entry_but_never_stops_it(self):
        # Another process locks the far end of the log, where appenders take their turn, and never
        # lets go: the launcher tries again for a short time, then appends without the turn.
        self.prefix.trace_calls(["kernel32.LockFileEx"])
        self.hold_file("lock", "C:\\windows\\Temp\\debug.log")
        report, env = self.utility_env()
        result = self.prefix.run(env=env, debug="-all,+relay", timeout=120)
        self.assertEqual(result.code, 1)
        self.assertEqual(sorted(self.report(report)["files"]), sorted(PAYLOAD_NAMES))
        self.assert_log_entries([SUCCESS])
        self.assertGreater(result.stderr.count("Ret  KERNEL32.LockFileEx() retval=00000000"), 1,
                           "the launcher met the held turn and tried again")

    def test_twenty_launchers_at_once_lose_no_log_entry(self):
        # start_together.exe (built beside os_code.exe) creates the launchers suspended and resumes
        # them all at once; one wineserver, started before, serves them all.
        starter = os.path.join(os.path.dirname(os.environ["MXV_OS_CODE"]), "start_together.exe")
        self.assertTrue(os.path.exists(starter), "start_together.exe is built with the tests")
        subprocess.run(["wineserver", "-p"], env=self.prefix.env, check=True)
        exe = self.prefix.windows_path(os.environ["MXV_EXE"])
        rounds, launchers = 5, 20
        expected = []
        for n in range(rounds):
            started = os.path.join(self.prefix.root, "started-%d" % n)
            release = os.path.join(self.prefix.root, "release-%d" % n)
            report, env = self.utility_env("report-%d.txt" % n, STARTED=started,
                                           WAIT_FOR=release)
            running = self.prefix.start([str(launchers), exe], env=env, program=starter)
            try:
                # The launcher that takes the lock keeps its utility running until the others
                # have been refused and have logged so, so that no later start finds the lock
                # free.
                wait_for(lambda: len(self.prefix.log_lines()) >= len(expected) + launchers - 1
                         and os.path.exists(started), 240, "nineteen refusals and one utility")
            finally:
                open(release, "w").close()
                result = running.finish(timeout=240)
            self.assertEqual(result.code, 0, result.stderr)
            self.assertEqual(sorted(line for line in result.stdout_lines
                                    if line.startswith("exit ")),
                             sorted("exit %d 1" % i for i in range(launchers)))
            self.assertEqual(result.stdout_lines.count(NOTICE), launchers - 1,
                             "round %d: nineteen refusals" % n)
            self.assertEqual(sorted(self.report(report)["files"]), sorted(PAYLOAD_NAMES))
            expected += [NOT_READY] * (launchers - 1) + [SUCCESS]
            self.assert_log_entries(expected)
        self.assertFalse(os.path.exists(self.prefix.dvt))


if __name__ == "__main__":
    unittest.main()
