#!/usr/bin/env python3
"""Checks that Windows binaries run on the Pentium (P5), the oldest processor the systems they serve
run on.

    check_processor_floor.py --objdump OBJDUMP [--map BINARY=MAP...] BINARY...

Disassembles the code of every BINARY (a 32-bit PE image) with `OBJDUMP -d` and reports each
instruction that the Pentium does not have:
- those of the Pentium Pro: CMOVcc, FCMOVcc, FCOMI(P), FUCOMI(P), and the hint NOPs of opcodes
  0F 18 to 0F 1F, among them the multi-byte NOP 0F 1F and ENDBR32; the NOPs are found from the
  instruction's bytes, since objdump names them in several ways (nopw, nopl, prefetch, endbr32);
- those of the Pentium II and after that name no MMX or SSE register: SYSENTER, SYSEXIT, FXSAVE,
  FXRSTOR, RDPMC, the fences, the cache-control instructions (CLFLUSH, PREFETCH, MOVNTI) and every
  later extension (LDMXCSR, POPCNT, BMI, XSAVE, RDRAND, ...);
- any instruction on an MMX, SSE or AVX register.
CPUID, RDTSC and CMPXCHG8B came with the Pentium and are allowed, and so is UD2, which raises the
invalid-opcode fault that it exists to raise on every processor.
Prints one line per finding and exits with 1 if there was any, 0 otherwise.

The default linker script for PE images puts data at the end of .text, after all code: the
constructor list, which starts with the word -1, then the exception tables. Their bytes decode as
nonsense, so a section's code ends at its first undecodable byte, which must be the 0xff of that
word, on a 4-byte boundary; anything else there is reported too.

With --map BINARY=MAP (the linker's map file of BINARY, linked unstripped at the same addresses)
each finding is traced to the object file it came from: an archive member such as
`libgcc_eh.a(unwind-dw2.o)`, or an object file.
"""
import argparse
import re
import subprocess
import sys

# An operand on an MMX (%mm0-7), SSE (%xmm), AVX (%ymm, %zmm, %k0-7), MPX or AMX register.
_EXTENSION_REGISTER = re.compile(r"%(?:[xyz]?mm\d|k[0-7]\b|bnd[0-3]|tmm\d)")

# The instructions beyond the Pentium that name no such register, by what brought them. The hint
# NOPs are found from their bytes (see _hint_nop).
_LATER_INSTRUCTIONS = {
    "Pentium Pro": "rdpmc ud2",
    "MMX": "emms",
    "3DNow!": "femms prefetch prefetchw",
    "SSE": "ldmxcsr stmxcsr sfence prefetchnta prefetcht0 prefetcht1 prefetcht2",
    "SSE2": "lfence mfence clflush movnti",
    "SSE3": "fisttp monitor mwait",
    "Pentium II": "fxsave fxrstor sysenter sysexit",
    "AMD K6-2": "syscall sysret",
    "AVX": "vldmxcsr vstmxcsr vzeroupper vzeroall",
    "POPCNT/LZCNT/MOVBE/CRC32": "popcnt lzcnt movbe crc32",
    "BMI": "andn bextr blsi blsmsk blsr bzhi mulx pdep pext rorx sarx shlx shrx tzcnt",
    "ADX": "adcx adox",
    "XSAVE": "xgetbv xsetbv xsave xsaveopt xsavec xsaves xrstor xrstors",
    "RDRAND/RDSEED": "rdrand rdseed",
    "later extensions": "rdtscp rdpid clflushopt clwb clzero endbr32 endbr64",
}
_EXTENSION_OF = {name: extension for extension, names in _LATER_INSTRUCTIONS.items()
                 for name in names.split()}

# UD2 only raises the invalid-opcode fault, which the Pentium raises for its bytes as well.
_ALLOWED_LATER = {"ud2"}

# The Pentium Pro's conditional moves and compares that set the flags, by name.
_PENTIUM_PRO_NAME = re.compile(r"^(?:cmov|fcmov|fu?comip?$)")

_PREFIXES = {"lock", "rep", "repz", "repnz", "repe", "repne", "data16", "addr16", "data32",
             "addr32", "cs", "ds", "es", "fs", "gs", "ss", "notrack", "bnd", "xacquire",
             "xrelease"}
# The legacy prefix bytes: operand and address size, segment overrides, LOCK and REP.
_PREFIX_BYTES = {0x66, 0x67, 0x2E, 0x36, 0x3E, 0x26, 0x64, 0x65, 0xF0, 0xF2, 0xF3}

# "  401000:\t8b 44 24 04          \tmov    0x4(%esp),%eax"; a long instruction continues its bytes
# on further lines without a third field.
_LINE = re.compile(r"^\s*([0-9a-f]+):\t([0-9a-f ]+?)\s*\t(.*)$")
_SECTION = re.compile(r"^Disassembly of section (\S+):")


def _hint_nop(raw):
    """Whether an instruction's bytes (hex pairs as objdump prints them) are one of the hint NOPs
    0F 18 to 0F 1F, which the Pentium Pro brought: the multi-byte NOP 0F 1F, the prefetches of
    0F 18 and ENDBR32 (F3 0F 1E FB) among them."""
    data = [int(pair, 16) for pair in raw.split()]
    while data and data[0] in _PREFIX_BYTES:
        data = data[1:]
    return len(data) >= 2 and data[0] == 0x0F and 0x18 <= data[1] <= 0x1F


def beyond_floor(instruction, raw=""):
    """What makes one disassembled instruction (mnemonic and operands as objdump prints them, and
    its bytes) beyond the Pentium, or None when the Pentium runs it."""
    if _hint_nop(raw):
        return "Pentium Pro hint NOP (0F 18 to 0F 1F)"
    words = instruction.split()
    while words and words[0] in _PREFIXES:
        words = words[1:]
    if not words:
        return None
    name = words[0]
    if _PENTIUM_PRO_NAME.match(name):
        return "Pentium Pro instruction"
    # objdump may add an operand-size suffix to the name: crc32b, popcntl, fisttpll.
    stem = re.sub(r"(ll|[bwlqst])$", "", name)
    for candidate in (name, stem):
        if candidate in _EXTENSION_OF:
            if candidate in _ALLOWED_LATER:
                return None
            return f"{_EXTENSION_OF[candidate]} instruction"
    if _EXTENSION_REGISTER.search(" ".join(words[1:])):
        return "MMX, SSE or AVX register"
    return None


def scan(dump):
    """Findings of one objdump -d listing, as (address, text) pairs, and its instruction count."""
    findings = []
    count = 0
    in_code = False
    for line in dump.splitlines():
        if _SECTION.match(line):
            in_code = True
            continue
        match = _LINE.match(line)
        if not match or not in_code:
            continue
        address, raw, instruction = match.groups()
        if instruction.strip() == "(bad)":
            if int(address, 16) % 4 != 0 or not raw.startswith("ff"):
                findings.append((int(address, 16), f"undecodable byte {raw} inside the code"))
            in_code = False
            continue
        count += 1
        reason = beyond_floor(instruction, raw)
        if reason:
            findings.append((int(address, 16), f"{' '.join(instruction.split())} ({reason})"))
    if count == 0:
        findings.append((None, "no instructions found in the disassembly"))
    return findings, count


# An input section in a GNU ld map: " .text  0x00401000  0x1a4 path/libx.a(member.o)"; a long
# section name puts the address and size on the next line.
_MAP_SECTION = re.compile(r"^ (\.text\S*|\S+)?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$")


def map_sections(map_text):
    """The input sections of a linker map that hold bytes, as (start, end, object) triples, with the
    object named as the map names it: `archive.a(member.o)` or a file path."""
    sections = []
    pending = None
    for line in map_text.splitlines():
        if re.match(r"^ \S+$", line):
            pending = line.strip()
            continue
        match = _MAP_SECTION.match(line)
        if match and (match.group(1) or pending):
            start, size = int(match.group(2), 16), int(match.group(3), 16)
            if size:
                sections.append((start, start + size, match.group(4).strip()))
        pending = None
    return sections


def object_at(sections, address):
    """The object whose input section holds the address, or None."""
    for start, end, name in sections:
        if start <= address < end:
            return name
    return None


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--map", action="append", default=[], metavar="BINARY=MAP")
    parser.add_argument("binaries", nargs="+", metavar="BINARY")
    arguments = parser.parse_args(argv)
    maps = dict(entry.split("=", 1) for entry in arguments.map)
    failed = False
    for binary in arguments.binaries:
        listing = subprocess.run([arguments.objdump, "-d", binary], capture_output=True, text=True)
        if listing.returncode != 0:
            print(f"{binary}: {arguments.objdump} failed: {listing.stderr.strip()}")
            failed = True
            continue
        findings, count = scan(listing.stdout)
        sections = []
        if binary in maps:
            with open(maps[binary], encoding="utf-8") as map_file:
                sections = map_sections(map_file.read())
        for address, text in findings:
            source = object_at(sections, address) if address is not None else None
            where = f"{address:x}: " if address is not None else ""
            origin = f" [{source}]" if source else ""
            print(f"{binary}: {where}{text}{origin}")
        failed = failed or bool(findings)
        print(f"{binary}: {count} instructions, {len(findings)} beyond the Pentium")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
