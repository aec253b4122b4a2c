"""End-to-end tests of MXVLaunch.exe under Wine in a hostile or broken environment: a profile
directory that is empty, relative or too long, a stale execution directory that holds a tree and
read-only files, a utility left running by a launcher that was killed, a leftover utility that
another program holds open, libraries planted beside the launcher, and a run log linked to another
user's file. Each checks what a user would find afterwards: the folders and files,
the run log, the exit code and the boxes shown."""

import os
import shutil
import unittest

from wine_harness import EXE, NOTICE, PAYLOAD_DIR, PAYLOAD_NAMES, Terminal, WineTestCase

SUCCESS = "Successfully ran verification utility"
NOT_READY = "System is not ready to launch verification utility"
NO_DIRECTORY = "Failed to create verification utility execution directory"

# Libraries that Windows loads by bare name into a windowed program after it has started, and that
# a file of the same name beside the program or in its current folder would stand in for. Left out:
# version, imm32 and sechost, which Wine's own kernel, user and advapi libraries import before the
# launcher's first instruction, so that no program can keep a planted copy of them out under Wine;
# Windows loads them as known system libraries, from the system folder only.
PLANTED = ["uxtheme", "dwmapi", "userenv", "setupapi", "apphelp", "propsys", "cryptbase", "oleacc",
           "clbcatq"]


class Safety(WineTestCase):
    def run_with_environment(self, settings, cwd=None, env=None):
        return self.start_with_environment(settings, env, cwd).finish()

    def c_drive_path(self, unix_path):
        """The C: drive path of a file inside the prefix's drive_c."""
        relative = os.path.relpath(unix_path, self.prefix.drive_c)
        return "C:\\" + relative.replace("/", "\\")

    def user_folder(self, path):
        """A folder of the user's named DVT with a file in it; returns the file."""
        os.makedirs(path)
        mine = os.path.join(path, "mine.txt")
        with open(mine, "w") as f:
            f.write("the user's own file")
        return mine

    def test_an_empty_or_relative_profile_touches_no_folder_of_the_user(self):
        # Folders of the user's that a relative base would name: DVT at the root of the current
        # drive and DVT in the current directory.
        work = os.path.join(self.prefix.drive_c, "work")
        at_root = self.user_folder(os.path.join(self.prefix.drive_c, "DVT"))
        in_current = self.user_folder(os.path.join(work, "DVT"))
        settings = [
            ("empty profile, no TEMP", ["USERPROFILE=", "TEMP"]),
            ("empty profile and TEMP", ["USERPROFILE=", "TEMP="]),
            ("relative profile and TEMP", ["USERPROFILE=.", "TEMP=DVT"]),
        ]
        for done, (what, assignments) in enumerate(settings, 1):
            with self.subTest(what):
                # Started in C:\work, so that C: is the current drive.
                result = self.run_with_environment(assignments, cwd=work, env=self.utility_env())
                self.assertEqual(result.code, 1)
                self.assert_log_entries([NO_DIRECTORY] * done)
                self.assertFalse(os.path.exists(self.report_path), "the utility did not run")
                for mine in (at_root, in_current):
                    self.assertEqual(os.listdir(os.path.dirname(mine)), ["mine.txt"])
                    with open(mine) as f:
                        self.assertEqual(f.read(), "the user's own file")
        self.assertFalse(os.path.exists(self.prefix.dvt))

    def test_a_profile_too_long_for_the_windows_calls_fails_cleanly(self):
        # A profile directory of 250 characters, as nested folders under C:\.
        windows = "C:"
        while len(windows) < 250:
            windows += "\\" + "p" * min(60, 250 - len(windows) - 1)
        self.assertEqual(len(windows), 250)
        profile = os.path.join(self.prefix.drive_c, *windows.split("\\")[1:])
        os.makedirs(profile)
        result = self.run_with_environment(["USERPROFILE=" + windows], env=self.utility_env())
        self.assertEqual(result.code, 1)
        self.assert_log_entries([NO_DIRECTORY])
        self.assertEqual(os.listdir(profile), [], "nothing is left in the long profile")
        self.assertFalse(os.path.exists(self.report_path), "the utility did not run")

        # The next run, with the ordinary profile, works.
        result = self.prefix.run(env=self.utility_env())
        self.assertEqual(result.code, 1)
        self.assertEqual(sorted(self.report(self.report_path)["files"]), sorted(PAYLOAD_NAMES))
        self.assertFalse(os.path.exists(self.prefix.dvt))
        self.assert_log_entries([NO_DIRECTORY, SUCCESS])

    def test_a_stale_tree_with_read_only_files_is_cleared(self):
        deeper = os.path.join(self.prefix.dvt, "sub", "deeper")
        os.makedirs(deeper)
        stale = ["old.txt", "ro.dll", os.path.join("sub", "a.txt"), os.path.join("sub", "ro.dll"),
                 os.path.join("sub", "deeper", "b.txt")]
        for name in stale:
            with open(os.path.join(self.prefix.dvt, name), "w") as f:
                f.write("left from an earlier run")
        for name in ("ro.dll", os.path.join("sub", "ro.dll")):
            path = os.path.join(self.prefix.dvt, name)
            self.prefix.run(["/c", "attrib +r " + self.c_drive_path(path)], program="cmd")
            # Wine keeps the read-only attribute as a file without write permission.
            self.assertEqual(os.stat(path).st_mode & 0o222, 0, "attrib made %s read-only" % name)
        self.prefix.trace_calls(["kernel32.Sleep"])

        result = self.prefix.run(env=self.utility_env(), debug="-all,+relay")
        self.assertEqual(result.code, 1)
        self.assertEqual(sorted(self.report(self.report_path)["files"]), sorted(PAYLOAD_NAMES),
                         "the stale tree was gone before the extraction")
        self.assertNotIn("Call KERNEL32.Sleep(000003e8)", result.stderr,
                         "read-only files are made writable before they are deleted, not retried")
        self.assertFalse(os.path.exists(self.prefix.dvt))
        self.assert_log_entries([SUCCESS])

    def test_a_utility_left_by_a_killed_launcher_keeps_its_files(self):
        self.prefix.trace_calls(["user32.MessageBoxA", "kernel32.OpenMutexA"])
        first, release = self.start_held_launcher()
        try:
            # The launcher dies; the utility it started runs on, and the launcher's lock is gone.
            first.process.kill()
            first.process.wait()
            # Another program reads the running utility's file too, so that only the process list
            # can tell that the utility runs.
            let_go = self.hold_file("open", self.c_drive_path(
                os.path.join(self.prefix.dvt, "NQVQlar.exe")))
            second = self.prefix.run(debug="-all,+relay")
            self.assertIn("Ret  KERNEL32.OpenMutexA() retval=00000000", second.stderr,
                          "the lock was free, so the running utility is what refused the launch")
            self.assertEqual(self.boxes(second.stderr),
                             [("A verification tool is already running.", "ERROR", 0x10)])
            self.assertEqual(second.stdout_lines, [NOTICE])
            self.assertEqual(second.code, 1)
            self.assert_log_entries([NOT_READY])
            self.assertEqual(sorted(os.listdir(self.prefix.dvt)), sorted(PAYLOAD_NAMES),
                             "the running utility's files are all still there")
        finally:
            open(release, "w").close()
            first.finish()
            let_go()
            # Every process of the prefix, the utility among them, has ended after this.
            self.prefix.settle()

        # With the utility gone, the next launch clears what the killed launcher left.
        result = self.prefix.run(env=self.utility_env())
        self.assertEqual(result.code, 1)
        self.assertFalse(os.path.exists(self.prefix.dvt))
        self.assert_log_entries([NOT_READY, SUCCESS])

    def test_a_scanner_reading_a_leftover_utility_is_no_running_tool(self):
        # A leftover NQVQlar.exe that another program, such as a virus scanner, holds open for
        # reading without sharing writes or deletion: no tool runs, so the launch is not refused,
        # but the file cannot be deleted while it is held.
        os.makedirs(self.prefix.dvt)
        leftover = os.path.join(self.prefix.dvt, "NQVQlar.exe")
        shutil.copy(os.path.join(PAYLOAD_DIR, "NQVQlar.exe"), leftover)
        self.prefix.trace_calls(["user32.MessageBoxA"])
        let_go = self.hold_file("open", self.c_drive_path(leftover))
        result = self.prefix.run(env=self.utility_env(), debug="-all,+relay")
        self.assertEqual(self.boxes(result.stderr), [])
        self.assertEqual(result.code, 1)
        self.assert_log_entries([NO_DIRECTORY])
        # Once the scanner lets go, the next launch clears the leftover and runs.
        let_go()
        result = self.prefix.run(env=self.utility_env())
        self.assertEqual(sorted(self.report(self.report_path)["files"]), sorted(PAYLOAD_NAMES))
        self.assert_log_entries([NO_DIRECTORY, SUCCESS])

    def test_libraries_planted_beside_the_launcher_never_load(self):
        # The launcher with the fallback probe library beside it, and in the folders beside it and
        # current to it a library that leaves a marker when loaded, under each system name. Wine
        # is made to prefer such a file over its own built-in library, as Windows always does.
        app = os.path.join(self.prefix.root, "Downloads")
        os.makedirs(app)
        program = shutil.copy(EXE, app)
        shutil.copy(os.path.join(os.environ["MXV_HW_FIXTURES"], "simonly", "ZeToolSim.dll"), app)
        current = os.path.join(self.prefix.root, "current")
        os.makedirs(current)
        for folder in (app, current):
            for name in PLANTED:
                shutil.copy(os.environ["MXV_PLANTED_LIBRARY"], os.path.join(folder, name + ".dll"))
        markers = os.path.join(self.prefix.root, "markers")
        os.makedirs(markers)
        env = dict(self.utility_env(),
                   WINEDLLOVERRIDES=";".join(name + "=n,b" for name in PLANTED),
                   MXV_PLANTED_MARKERS=self.prefix.windows_path(markers))

        def loaded_by_launcher():
            return sorted(m for m in os.listdir(markers) if m.endswith("@MXVLaunch.exe"))

        # The marker works: a program that loads a planted copy on purpose leaves one.
        self.prefix.run([self.prefix.windows_path(os.path.join(app, "uxtheme.dll")) + ",Any"],
                        env=env, program="rundll32")
        self.assertIn("uxtheme.dll@rundll32.exe", os.listdir(markers))

        # The typical run.
        result = self.prefix.run(env=env, cwd=current, program=program)
        self.assertEqual(result.code, 1)
        self.assertEqual(sorted(self.report(self.report_path)["files"]), sorted(PAYLOAD_NAMES))
        self.assertEqual(loaded_by_launcher(), [])

        # The dump with the hardware report: the probe library beside the launcher gives its table.
        terminal = Terminal(self.prefix, ["/b", "/h"], current, env, program=program)
        self.addCleanup(terminal.close)
        terminal.wait_for_text("Press any key to exit")
        screen = terminal.screen()
        terminal.send_key("x")
        self.assertEqual(terminal.exit_code(), 1)
        self.assertIn("Fallback record one:", screen)
        self.assertIn("Fallback record two:", screen)
        self.assertEqual(loaded_by_launcher(), [])

        # The refusal of an unsupported system, with its message box.
        self.prefix.set_version("win7")
        self.prefix.trace_calls(["user32.MessageBoxA"])
        result = self.prefix.run(env=env, cwd=current, program=program, debug="-all,+relay")
        self.assertEqual(self.boxes(result.stderr), [
            ("The verification tool is not supported on this operating system.", "ERROR", 0x10)])
        self.assertEqual(loaded_by_launcher(), [])
        self.assert_log_entries([SUCCESS, SUCCESS, NOT_READY])

    def test_a_log_linked_to_another_file_is_left_alone(self):
        # Another user made debug.log a hard link to a file of theirs before the run.
        other = os.path.join(self.prefix.drive_c, "other.txt")
        content = b"a file that another user can read\r\n"
        with open(other, "wb") as f:
            f.write(content)
        os.link(other, self.prefix.log)
        result = self.prefix.run(env=self.utility_env())
        self.assertEqual(result.code, 1)
        self.assertEqual(result.stdout_lines, ["couldn't open log file"])
        with open(other, "rb") as f:
            self.assertEqual(f.read(), content)
        self.assertEqual(sorted(self.report(self.report_path)["files"]), sorted(PAYLOAD_NAMES))
        self.assertFalse(os.path.exists(self.prefix.dvt))


if __name__ == "__main__":
    unittest.main()
