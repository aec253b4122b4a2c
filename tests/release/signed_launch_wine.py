"""The signed MXVLaunch.exe of the release package (MXV_EXE, unpacked by check_signed_package.sh)
under Wine: its whole run on Windows 2000 and on XP, which rebuilds the payload from the launcher's
image, ahead of the signature that follows the image in the file."""

import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from wine_harness import PAYLOAD_NAMES, Prefix, WineTestCase  # noqa: E402


class SignedLauncher(WineTestCase):
    version = None

    def test_whole_run_on_windows_2000_and_xp(self):
        for version in ("win2k", "winxp"):
            with self.subTest(version=version):
                self.prefix = Prefix("signed-" + version)
                self.addCleanup(self.prefix.close)
                self.prefix.set_version(version)
                result = self.prefix.run(env=self.utility_env())
                self.assertEqual(result.code, 1)
                report = self.report(self.report_path)
                self.assertEqual(report["files"], {
                    name: os.path.getsize(os.path.join(os.environ["MXV_PAYLOAD_DIR"], name))
                    for name in PAYLOAD_NAMES})
                self.assertFalse(os.path.exists(self.prefix.dvt), "the directory is gone")
                self.assert_log_entries(["Successfully ran verification utility"])


if __name__ == "__main__":
    unittest.main()
