#!/usr/bin/env python3
"""Checks what the shipped Windows images tell Windows beyond their code.

    check_launcher_image.py [--signed] --launcher EXE --library DLL

The launcher must have both run-from-swap bits in its file header and one manifest, resource 1,
that asks for asInvoker in the form Windows XP SP2 without later fixes accepts: no element of the
asm.v1 namespace that XP does not know (XP refuses to start the program), no element that declares
two namespaces (XP SP2's csrss.exe corrupts its memory and the system restarts), the trust
information in the asm.v3 namespace, and an identity of type win32 with a name, the image's
architecture and a version of four numbers from 0 to 65535 (Windows refuses to start a program whose
identity is malformed). The library must have no manifest. In both, a header check sum
must be right. Signed images (--signed) must end in their certificate table, after every section;
unsigned ones must have none. Prints one line per finding and exits with 1 if there was any.
"""
import argparse
import re
import struct
import sys
import xml.etree.ElementTree as ElementTree
from xml.parsers import expat

RUN_FROM_SWAP = 0x0C00
RT_MANIFEST = 24
ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
ASM_V3 = "urn:schemas-microsoft-com:asm.v3"
XP_ASM_V1_ELEMENTS = {"assembly", "assemblyIdentity", "dependency", "dependentAssembly",
                      "description", "file", "noInherit"}
ARCHITECTURES = {0x14C: "x86", 0x8664: "amd64"}
LEVEL_PATH = "/".join("{%s}%s" % (ASM_V3, name) for name in
                      ("trustInfo", "security", "requestedPrivileges", "requestedExecutionLevel"))


class Image:
    """The header fields, sections and resources of a PE image."""

    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        self.machine, sections = struct.unpack_from("<HH", data, pe + 4)
        optional_size, self.characteristics = struct.unpack_from("<HH", data, pe + 20)
        optional = pe + 24
        self.checksum_at = optional + 64
        directories = optional + (96 if struct.unpack_from("<H", data, optional)[0] == 0x10B else 112)
        self.resource_rva = struct.unpack_from("<I", data, directories + 16)[0]
        self.certificates = struct.unpack_from("<II", data, directories + 32)
        table = optional + optional_size
        self.sections = [struct.unpack_from("<IIII", data, table + 40 * i + 8)
                         for i in range(sections)]

    def offset(self, rva):
        for virtual_size, address, raw_size, raw in self.sections:
            if address <= rva < address + max(virtual_size, raw_size):
                return raw + rva - address
        raise ValueError("address %#x is in no section" % rva)

    def resources(self, kind):
        """(id, bytes) of every resource of the numeric type kind, in every language."""
        if not self.resource_rva:
            return []
        base = self.offset(self.resource_rva)

        def entries(directory):
            named, numbered = struct.unpack_from("<HH", self.data, base + directory + 12)
            return [struct.unpack_from("<II", self.data, base + directory + 16 + 8 * i)
                    for i in range(named + numbered)]
        found = []
        for type_id, names in entries(0):
            for name, languages in entries(names & 0x7FFFFFFF) if type_id == kind else []:
                for _, leaf in entries(languages & 0x7FFFFFFF):
                    rva, size = struct.unpack_from("<II", self.data, base + leaf)
                    found.append((name, self.data[self.offset(rva):self.offset(rva) + size]))
        return found

    def checksum_findings(self):
        stored = struct.unpack_from("<I", self.data, self.checksum_at)[0]
        data = bytearray(self.data) + b"\0" * (len(self.data) % 2)
        data[self.checksum_at:self.checksum_at + 4] = bytes(4)
        total = sum(struct.unpack("<%dH" % (len(data) // 2), data))
        while total >> 16:
            total = (total & 0xFFFF) + (total >> 16)
        if stored and stored != total + len(self.data):
            return ["header check sum %#x, the file's is %#x" % (stored, total + len(self.data))]
        return []

    def certificate_findings(self, signed):
        where, size = self.certificates
        end_of_sections = max(raw + raw_size for _, _, raw_size, raw in self.sections)
        if not signed:
            return ["has a certificate table, unsigned"] if size else []
        if not size or where < end_of_sections or where + size != len(self.data):
            return ["certificate table at %#x (%d bytes) is not the end of the file after the "
                    "sections (which end at %#x)" % (where, size, end_of_sections)]
        return []


def manifest_findings(text, architecture):
    """What in the manifest text would keep it from asking for asInvoker on Vista, or from loading
    on Windows XP SP2 without later fixes."""
    findings = []

    def start(name, attributes):
        declared = [key for key in attributes if key == "xmlns" or key.startswith("xmlns:")]
        if len(declared) > 1:
            findings.append("<%s> declares %d namespaces" % (name, len(declared)))
    parser = expat.ParserCreate()
    parser.StartElementHandler = start
    parser.Parse(text, True)
    root = ElementTree.fromstring(text)
    if root.tag != "{%s}assembly" % ASM_V1 or root.get("manifestVersion") != "1.0":
        findings.append("the root is not an asm.v1 assembly of manifest version 1.0")
    for element in root.iter():
        space, _, name = element.tag[1:].partition("}")
        if space == ASM_V1 and name not in XP_ASM_V1_ELEMENTS:
            findings.append("<%s> is in the asm.v1 namespace, which Windows XP refuses" % name)
    levels = [(level.get("level"), level.get("uiAccess")) for level in root.findall(LEVEL_PATH)]
    anywhere = [e for e in root.iter() if e.tag.endswith("}requestedExecutionLevel")]
    if levels != [("asInvoker", "false")] or len(anywhere) != 1:
        findings.append("asks for execution levels %s, not asInvoker once, in asm.v3" % levels)
    identity = root.find("{%s}assemblyIdentity" % ASM_V1)
    if identity is None or identity.get("processorArchitecture") != architecture:
        findings.append("the identity's architecture is not the image's, %s" % architecture)
    if identity is not None:
        findings += identity_findings(identity)
    return findings


def identity_findings(identity):
    """What in the manifest's identity makes Windows refuse to start the program: it must be of type
    win32, have a name and a version of four numbers from 0 to 65535."""
    findings = []
    if identity.get("type") != "win32":
        findings.append("the identity's type is %r, not 'win32'" % identity.get("type"))
    if not (identity.get("name") or "").strip():
        findings.append("the identity has no name")
    version = identity.get("version") or ""
    parts = version.split(".")
    if len(parts) != 4 or not all(re.fullmatch("[0-9]{1,5}", p) and int(p) <= 65535
                                  for p in parts):
        findings.append("the identity's version %r is not four numbers from 0 to 65535" % version)
    return findings


def check(path, launcher, signed):
    with open(path, "rb") as handle:
        image = Image(handle.read())
    findings = image.checksum_findings() + image.certificate_findings(signed)
    manifests = image.resources(RT_MANIFEST)
    if not launcher:
        findings += ["has a manifest"] if manifests else []
    elif image.characteristics & RUN_FROM_SWAP != RUN_FROM_SWAP:
        findings.append("run-from-swap bits missing (characteristics %#x)" % image.characteristics)
    if launcher and [name for name, _ in manifests] != [1]:
        findings.append("manifests %s, not resource 1 alone" % [name for name, _ in manifests])
    elif launcher:
        findings += manifest_findings(manifests[0][1], ARCHITECTURES.get(image.machine))
    return ["%s: %s" % (path, finding) for finding in findings]


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--signed", action="store_true")
    parser.add_argument("--launcher", required=True)
    parser.add_argument("--library", required=True)
    arguments = parser.parse_args(argv)
    findings = (check(arguments.launcher, True, arguments.signed)
                + check(arguments.library, False, arguments.signed))
    print("\n".join(findings) or "launcher and library: manifest, run-from-swap bits, check sums "
          "and certificate tables as they should be")
    return 1 if findings else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
