#!/usr/bin/env python3
"""Tests of check_launcher_image.py: its verdict on made-up manifests, and on copies of the built
launcher (MXV_LAUNCHER_IMAGE) with one header field spoilt."""

import os
import struct
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_launcher_image  # noqa: E402

_GOOD = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
         '<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">'
         '<assemblyIdentity type="win32" name="A" version="1.0.0.0" processorArchitecture="x86"/>'
         '<trustInfo xmlns="urn:schemas-microsoft-com:asm.v3"><security><requestedPrivileges>'
         '<requestedExecutionLevel level="asInvoker" uiAccess="false"/>'
         '</requestedPrivileges></security></trustInfo></assembly>')
_PREFIXED = ('<ms_asmv3:trustInfo xmlns:ms_asmv3="urn:schemas-microsoft-com:asm.v3" '
             'xmlns="urn:schemas-microsoft-com:asm.v3"><ms_asmv3:security>')

# Each manifest as a change of the good one, and the words of the finding it must give.
_MANIFESTS = [
    ({}, None),
    ({' xmlns="urn:schemas-microsoft-com:asm.v3"': ""}, "<trustInfo> is in the asm.v1 namespace"),
    ({'<trustInfo xmlns="urn:schemas-microsoft-com:asm.v3"><security>': _PREFIXED,
      "</security></trustInfo>": "</ms_asmv3:security></ms_asmv3:trustInfo>"},
     "<ms_asmv3:trustInfo> declares 2 namespaces"),
    ({"asInvoker": "requireAdministrator"}, "not asInvoker once"),
    ({'uiAccess="false"': 'uiAccess="true"'}, "not asInvoker once"),
    ({"</trustInfo>": '</trustInfo><application><windowsSettings/></application>'},
     "<application> is in the asm.v1 namespace"),
    ({'"x86"': '"amd64"'}, "architecture is not the image's"),
    ({'type="win32"': 'type="win64"'}, "the identity's type is 'win64'"),
    ({'type="win32" ': ""}, "the identity's type is None"),
    ({'name="A"': 'name=""'}, "the identity has no name"),
    ({'name="A"': 'name=" "'}, "the identity has no name"),
    ({'version="1.0.0.0"': 'version="1.0.0.x"'}, "version '1.0.0.x' is not four numbers"),
    ({'version="1.0.0.0"': 'version="1.0.0"'}, "version '1.0.0' is not four numbers"),
    ({'version="1.0.0.0"': 'version="1.1..0"'}, "version '1.1..0' is not four numbers"),
    ({'version="1.0.0.0"': 'version="1.0.0.0.0"'}, "version '1.0.0.0.0' is not four numbers"),
    ({'version="1.0.0.0"': 'version="1.0.0.65536"'}, "version '1.0.0.65536' is not four numbers"),
    ({'version="1.0.0.0"': 'version="1.0.0.-1"'}, "version '1.0.0.-1' is not four numbers"),
    ({'version="1.0.0.0"': ''}, "version '' is not four numbers"),
    ({'version="1.0.0.0"': 'version="65535.0.0.65535"'}, None),
]


class CheckLauncherImage(unittest.TestCase):
    def test_manifests(self):
        for changes, finding in _MANIFESTS:
            text = _GOOD
            for old, new in changes.items():
                text = text.replace(old, new)
            with self.subTest(changes=changes):
                findings = check_launcher_image.manifest_findings(text.encode(), "x86")
                if finding is None:
                    self.assertEqual(findings, [])
                else:
                    self.assertTrue(any(finding in f for f in findings), findings)

    def test_spoilt_headers_of_the_built_launcher(self):
        with open(os.environ["MXV_LAUNCHER_IMAGE"], "rb") as handle:
            good = handle.read()
        image = check_launcher_image.Image(good)
        characteristics = struct.unpack_from("<I", good, 0x3C)[0] + 22
        # A changed header field also changes the file's check sum.
        swap = ["header check sum", "run-from-swap bits missing"]
        cases = [(None, 0, []), (characteristics, 0x0400, swap), (characteristics, 0x0800, swap),
                 (image.checksum_at, 1, ["header check sum"])]
        for at, bits, expected in cases:
            spoilt = bytearray(good)
            if at is not None:
                spoilt[at:at + 2] = struct.pack("<H", struct.unpack_from("<H", good, at)[0] ^ bits)
            with self.subTest(at=at, bits=bits), tempfile.NamedTemporaryFile() as copy:
                copy.write(spoilt)
                copy.flush()
                findings = check_launcher_image.check(copy.name, True, False)
                self.assertEqual([any(word in f for f in findings) for word in expected],
                                 [True] * len(expected), findings)
                self.assertEqual(len(findings), len(expected), findings)


if __name__ == "__main__":
    unittest.main()
