#!/usr/bin/env python3
"""Checks that Windows binaries run on any i686 processor, the Pentium Pro and everything after it.

    check_processor_floor.py --objdump OBJDUMP BINARY...

Disassembles the code of every BINARY (a 32-bit PE image) with `OBJDUMP -d` and reports each
instruction that the Pentium Pro does not have: any instruction on an MMX, SSE or AVX register, and
by name those of MMX, 3DNow!, SSE to SSE3, AVX, the Pentium II and later extensions that take none
(EMMS, LDMXCSR, FXSAVE, SYSENTER, POPCNT, LZCNT, MOVBE, CRC32, BMI, ...). CMOV, FCMOV and FCOMI came
with the Pentium Pro and are allowed; the prebuilt C++ and C runtime libraries are full of them.
Prints one line per finding and exits with 1 if there was any, 0 otherwise.

The default linker script for PE images puts data at the end of .text, after all code: the
constructor list, which starts with the word -1, then the exception tables. Their bytes decode as
nonsense, so a section's code ends at its first undecodable byte, which must be the 0xff of that
word, on a 4-byte boundary; anything else there is reported too.
"""
import argparse
import re
import subprocess
import sys

# An operand on an MMX (%mm0-7), SSE (%xmm), AVX (%ymm, %zmm, %k0-7), MPX or AMX register.
_EXTENSION_REGISTER = re.compile(r"%(?:[xyz]?mm\d|k[0-7]\b|bnd[0-3]|tmm\d)")

# The instructions beyond the Pentium Pro that name no such register, by what brought them.
_LATER_INSTRUCTIONS = {
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
    "later extensions": "rdtscp rdpid clflushopt clwb clzero",
}
_EXTENSION_OF = {name: extension for extension, names in _LATER_INSTRUCTIONS.items()
                 for name in names.split()}

# Later instructions that the binaries may hold all the same:
# - TZCNT: GCC writes REP BSF for a count of trailing zeros of a value that cannot be zero, and a
#   processor without BMI1 ignores the prefix and runs BSF, which gives the same count for such a
#   value; objdump names the encoding TZCNT.
# - RDRAND, RDSEED: only in the C++ runtime's std::random_device, which runs them only after CPUID
#   reports them. The runtime's string code links it in; nothing here constructs one.
_ALLOWED_LATER = {"tzcnt", "rdrand", "rdseed"}

_PREFIXES = {"lock", "rep", "repz", "repnz", "repe", "repne", "data16", "addr16", "cs", "ds", "es",
             "fs", "gs", "ss", "notrack", "bnd", "xacquire", "xrelease"}

# "  401000:\t8b 44 24 04          \tmov    0x4(%esp),%eax"; a long instruction continues its bytes
# on further lines without a third field.
_LINE = re.compile(r"^\s*([0-9a-f]+):\t([0-9a-f ]+?)\s*\t(.*)$")
_SECTION = re.compile(r"^Disassembly of section (\S+):")
_PENTIUM_PRO_ADDITIONS = re.compile(r"^(?:cmov|fcmov|fu?comip?\b)")


def beyond_floor(instruction):
    """What makes one disassembled instruction (mnemonic and operands, as objdump prints it)
    beyond the Pentium Pro, or None when the Pentium Pro runs it."""
    words = instruction.split()
    while words and words[0] in _PREFIXES:
        words = words[1:]
    if not words:
        return None
    name = words[0]
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
    """Findings, instruction count and count of Pentium Pro additions of one objdump -d listing."""
    findings = []
    count = 0
    pentium_pro = 0
    in_code = False
    for line in dump.splitlines():
        section = _SECTION.match(line)
        if section:
            in_code = True
            continue
        match = _LINE.match(line)
        if not match or not in_code:
            continue
        address, raw, instruction = match.groups()
        if instruction.strip() == "(bad)":
            if int(address, 16) % 4 != 0 or not raw.startswith("ff"):
                findings.append(f"{address}: undecodable byte {raw} inside the code")
            in_code = False
            continue
        count += 1
        if _PENTIUM_PRO_ADDITIONS.match(instruction):
            pentium_pro += 1
        reason = beyond_floor(instruction)
        if reason:
            findings.append(f"{address}: {' '.join(instruction.split())} ({reason})")
    if count == 0:
        findings.append("no instructions found in the disassembly")
    return findings, count, pentium_pro


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--objdump", required=True)
    parser.add_argument("binaries", nargs="+", metavar="BINARY")
    arguments = parser.parse_args(argv)
    failed = False
    for binary in arguments.binaries:
        listing = subprocess.run([arguments.objdump, "-d", binary], capture_output=True, text=True)
        if listing.returncode != 0:
            print(f"{binary}: {arguments.objdump} failed: {listing.stderr.strip()}")
            failed = True
            continue
        findings, count, pentium_pro = scan(listing.stdout)
        for finding in findings:
            print(f"{binary}: {finding}")
        failed = failed or bool(findings)
        if not findings:
            print(f"{binary}: {count} instructions, {pentium_pro} of them CMOV, FCMOV or FCOMI; "
                  "none beyond the Pentium Pro")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
