"""End-to-end tests of MXVLaunch.exe under Wine for users whose profile folder is named in another
script than the system's code page holds. Wine runs with LANG=C.UTF-8: the Western code page 1252
for 8-bit programs, and UTF-8 file names on the Linux side. The stand-in utility is an 8-bit
program; it lists its files through the current directory's text as it got it, so its report
shows whether the launcher gave it a path that it can use."""

import os
import unittest

from wine_harness import PAYLOAD_NAMES, WineTestCase, wait_for

SUCCESS = "Successfully ran verification utility"
NOT_READY = "System is not ready to launch verification utility"
NO_DIRECTORY = "Failed to create verification utility execution directory"

# The longest path that Windows takes counts UTF-16 units, not bytes: 200 Greek letters are 200
# units and 400 bytes of UTF-8. A Linux file name holds at most 255 bytes, so they are split into
# two folders.
LONG_PROFILE = ["\u03b1" * 100, "\u03b2" * 100]

# How the utility must be started: "long" through the path itself, which the code page holds;
# "short" through its 8.3 form; "refused" not at all.
CASES = [
    ("inside the code page", ["J\u00fcrgen"], "long"),
    ("Greek", ["\u0395\u03bb\u03ad\u03bd\u03b7"], "short"),
    ("Cyrillic", ["\u0410\u043d\u043d\u0430"], "short"),
    ("Chinese", ["\u738b\u82b3"], "short"),
    ("Hungarian, one letter outside the code page", ["Sz\u0151ke"], "short"),
    ("a letter beyond the Basic Multilingual Plane", ["Ann\U0001d49c"], "short"),
    ("200 Greek letters, too long in bytes but not in units", LONG_PROFILE, "short"),
]


class Names(WineTestCase):
    def setUp(self):
        super().setUp()
        # Every Wine process of the test, the helpers included, maps file names the same way.
        self.prefix.env.update(LANG="C.UTF-8", LC_ALL="C.UTF-8")

    def start_as(self, profile, *more, debug="-all", **knobs):
        """Starts the launcher with USERPROFILE set to profile through the wide Windows calls, and
        the stand-in utility's knobs; more holds further settings for with_environment."""
        return self.start_with_environment(["USERPROFILE=" + profile] + list(more),
                                           self.utility_env(**knobs), debug=debug)

    def launch_as(self, profile, *more, debug="-all"):
        return self.start_as(profile, *more, debug=debug).finish()

    def test_profiles_named_outside_the_code_page_run_the_utility(self):
        entries = []
        for what, parts, start in CASES:
            with self.subTest(what):
                folder = os.path.join(self.prefix.drive_c, "users", *parts)
                os.makedirs(folder)
                long_dvt = "C:\\users\\" + "\\".join(parts) + "\\DVT"
                result = self.launch_as("C:\\users\\" + "\\".join(parts))
                entries.append(SUCCESS)
                self.assertEqual(result.code, 1, result.stderr[-2000:])
                self.assert_log_entries(entries)
                report = self.report(self.report_path)
                os.remove(self.report_path)
                self.assertEqual(sorted(report["files"]), sorted(PAYLOAD_NAMES),
                                 "the utility lists its files from %r" % report["cwd"])
                cwd = report["cwd"]
                if start == "long":
                    # An 8-bit text in code page 1252, which the report holds byte for byte.
                    self.assertEqual(cwd, long_dvt)
                else:
                    self.assertTrue(cwd.isascii() and "?" not in cwd, cwd)
                    self.assertNotEqual(cwd.lower(), long_dvt.lower())
                self.assertEqual(os.listdir(folder), [], "DVT is gone")

    def test_a_utility_left_running_under_its_short_path_keeps_its_files(self):
        name = "\u0395\u03bb\u03ad\u03bd\u03b7"
        dvt = os.path.join(self.prefix.drive_c, "users", name, "DVT")
        os.makedirs(os.path.dirname(dvt))
        self.prefix.trace_calls(["user32.MessageBoxA"])
        started = os.path.join(self.prefix.root, "started")
        release = os.path.join(self.prefix.root, "release")
        first = self.start_as("C:\\users\\" + name, STARTED=self.prefix.windows_path(started),
                              WAIT_FOR=self.prefix.windows_path(release))
        let_go = None
        try:
            wait_for(lambda: os.path.exists(started), 60, "the utility to start")
            short_dvt = self.report(self.report_path)["cwd"]
            # The launcher dies; the utility that it started through the short path runs on.
            self.prefix.run(["/f", "/im", "MXVLaunch.exe"], program="taskkill")
            first.finish()
            # Another program holds the utility's file open as well, so that only the list of
            # running processes can tell that the utility runs.
            let_go = self.hold_file("open", short_dvt + "\\NQVQlar.exe")
            second = self.launch_as("C:\\users\\" + name, debug="-all,+relay")
            self.assertEqual(self.boxes(second.stderr),
                             [("A verification tool is already running.", "ERROR", 0x10)])
            self.assert_log_entries([NOT_READY])
            self.assertEqual(sorted(os.listdir(dvt)), sorted(PAYLOAD_NAMES),
                             "the running utility's files are all still there")
        finally:
            open(release, "w").close()
            if let_go:
                let_go()
            self.prefix.settle()

        # With the utility gone, the next launch clears what the killed launcher left.
        self.assertEqual(self.launch_as("C:\\users\\" + name).code, 1)
        self.assertFalse(os.path.exists(dvt))
        self.assert_log_entries([NOT_READY, SUCCESS])

    def test_a_profile_that_is_no_valid_text_counts_as_not_given(self):
        # A lead surrogate without its trail names no folder. Like a relative profile, it counts
        # as not given: TEMP is used when it is there, and without it nothing is touched.
        users = os.path.join(self.prefix.drive_c, "users")
        before = sorted(os.listdir(users))
        profile = "C:\\users\\Ann%uD800a"
        result = self.launch_as(profile)
        self.assertEqual(result.code, 1)
        self.assert_log_entries([SUCCESS])
        self.assertEqual(self.report(self.report_path)["cwd"].lower(),
                         ("C:\\users\\%s\\Temp\\DVT" % self.prefix.user).lower())
        os.remove(self.report_path)

        result = self.launch_as(profile, "TEMP")
        self.assertEqual(result.code, 1)
        self.assert_log_entries([SUCCESS, NO_DIRECTORY])
        self.assertFalse(os.path.exists(self.report_path), "the utility did not run")
        self.assertEqual(sorted(os.listdir(users)), before, "nothing was made")


if __name__ == "__main__":
    unittest.main()
