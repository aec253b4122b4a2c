"""End-to-end tests of the operating-system check under Wine: the launcher runs on the versions it
supports and refuses the others with its message box, in prefixes set to each version."""

import os
import unittest

from wine_harness import DEFAULT_VERSION, NOTICE, WineTestCase

SUCCESS = "Successfully ran verification utility"
NOT_READY = "System is not ready to launch verification utility"
UNSUPPORTED = "The verification tool is not supported on this operating system."
CURRENT_VERSION = "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion"


class OsChecks(WineTestCase):
    """What a run looks like on a supported and on a refused system."""

    version = None

    def os_code(self):
        """The code the identification gives in this prefix, bare and tested against the list."""
        result = self.prefix.run(program=os.environ["MXV_OS_CODE"])
        fields = dict(part.split("=") for part in result.stdout.split())
        return int(fields["code"]), int(fields["listed"])

    def expect_runs(self, code):
        self.assertEqual(self.os_code(), (code, code))
        result = self.prefix.run()
        self.assertEqual(result.code, 1)
        self.assertEqual(result.stdout, "")
        self.assert_log_entries([SUCCESS])
        self.assertFalse(os.path.exists(self.prefix.dvt))

    def expect_refused(self, code):
        self.assertEqual(self.os_code(), (code, 0))
        self.prefix.trace_calls(["user32.MessageBoxA"])
        result = self.prefix.run(debug="-all,+relay")
        self.assertEqual(self.boxes(result.stderr), [(UNSUPPORTED, "ERROR", 0x10)])
        self.assertEqual(result.stdout_lines, [NOTICE])
        self.assertEqual(result.code, 1)
        self.assert_log_entries([NOT_READY])
        self.assertFalse(os.path.exists(self.prefix.dvt), "no directory is made")

    def set_product_name(self, name):
        self.prefix.reg_add(CURRENT_VERSION, "ProductName", name)

    def per_program_version(self, version):
        for program in ("MXVLaunch.exe", "os_code.exe"):
            self.prefix.reg_add("HKCU\\Software\\Wine\\AppDefaults\\" + program, "Version",
                                version)



class OperatingSystem(OsChecks):
    def test_windows_2000(self):
        self.prefix.set_version("win2k")
        self.expect_runs(3)

    def test_xp_service_pack_3(self):
        self.prefix.set_version("winxp")
        self.expect_runs(14)

    def test_xp_service_pack_2(self):
        self.prefix.set_version("winxp")
        self.prefix.reg_add(CURRENT_VERSION, "CSDVersion", "Service Pack 2")
        self.prefix.reg_add("HKLM\\System\\CurrentControlSet\\Control\\Windows", "CSDVersion",
                            "0x200", "REG_DWORD")
        self.expect_runs(13)

    def test_vista_ultimate(self):
        self.prefix.set_version("vista")
        self.set_product_name("Windows Vista (TM) Ultimate")
        self.expect_runs(30)

    def test_vista_home_basic(self):
        self.prefix.set_version("vista")
        self.set_product_name("Windows Vista (TM) Home Basic")
        self.expect_runs(31)

    def test_vista_without_an_edition_word(self):
        self.prefix.set_version("vista")
        self.set_product_name("Windows Vista (TM)")
        self.expect_runs(35)

    def test_windows_7_is_refused(self):
        self.prefix.set_version("win7")
        self.expect_refused(0)

    def test_windows_10_is_refused(self):
        self.prefix.set_version("win10")
        self.expect_refused(0)

    def test_server_2003_is_refused(self):
        self.prefix.set_version(DEFAULT_VERSION)
        self.per_program_version("win2003")
        self.expect_refused(28)

    def test_server_2008_is_refused(self):
        self.prefix.set_version(DEFAULT_VERSION)
        self.per_program_version("win2008")
        self.expect_refused(36)


class OperatingSystem64(OsChecks):
    arch = "win64"

    def test_xp_x64(self):
        self.prefix.set_version("winxp64")
        self.expect_runs(6)


if __name__ == "__main__":
    unittest.main()
