#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into fuzz/corpus/<target>/. The seeds are committed;
run this again only to change them. The targets read whole numbers from the end of an input and
bytes from its front, so each seed is laid out that way.

    make_seeds.py
"""

import bz2
import os
import random
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
RECORD = 375


def write(target, name, data):
    folder = os.path.join(HERE, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def record(name, hardware_id, manufacturer):
    return (name.ljust(75, b"\0")[:75] + hardware_id.ljust(100, b"\0")[:100]
            + manufacturer.ljust(200, b"\0")[:200])


def main():
    rng = random.Random(20261208)

    # Retrieval: real bzip2 streams (900 k blocks), the number of other files before the wanted one,
    # and an even first choice; and two arbitrary tables (odd first choice).
    texts = [b"", b"<html><body>Help</body></html>\n" * 4,
             bytes(rng.randrange(256) for _ in range(300))]
    for i, text in enumerate(texts):
        write("retrieve_resource", "stream%d" % i, bz2.compress(text, 9) + bytes([i, 0]))
    for i in range(2):
        write("retrieve_resource", "tables%d" % i,
              bytes(rng.randrange(256) for _ in range(120)) + bytes([1]))

    # Feature records: a few records, the cut-off length (two bytes) and the end-record choice.
    table = (record(b"SSE2", b"CPUID.01H:EDX[26]", b"GenuineIntel")
             + record(b"AVX-512", b"CPUID.07H:EBX[16] UNKNOWN", b"GenuineIntel")
             + record(b"Only a name", b"", b"")
             + record(b"No id", b"", b"Maker")
             + record(b"N" * 75, b"I" * 100, b"M" * 200))
    write("feature_records", "with_end", table + struct.pack("<H", 0) + b"\1")
    write("feature_records", "without_end", table + struct.pack("<H", 200) + b"\0")
    write("feature_records", "empty", b"\0" * RECORD + b"\0\0\1")

    # The OS decision and the run log take all their values from the bytes.
    for i in range(3):
        write("os_decision", "facts%d" % i, b"Media Center 4.0\0Windows Vista (TM) Ultimate\0"
              + bytes(rng.randrange(256) for _ in range(64)))
    write("run_log", "success", b"Successfully ran verification utility" + bytes(40))
    write("run_log", "failure", b"Failed to extract verification utility binaries"
          + bytes(rng.randrange(256) for _ in range(40)))

    # The build step: small files to compress or store.
    write("payload_builder", "text", b"QlarHelp.htm\0" + b"<html>help</html>\n" * 5 + bytes(8))
    write("payload_builder", "binary", bytes(rng.randrange(256) for _ in range(200)))


if __name__ == "__main__":
    main()
