#!/usr/bin/env python3
"""Marks a Windows image to be run from the page file when it is started from a network share or
from removable media, and keeps its header check sum right.

    run_from_swap.py IMAGE

Windows normally pages an image in from the file it was started from, for as long as the program
runs. If the share drops or the CD or USB stick is taken away meanwhile, the program faults on the
first page that it had not read yet. With IMAGE_FILE_NET_RUN_FROM_SWAP and
IMAGE_FILE_REMOVABLE_RUN_FROM_SWAP in its COFF file header, Windows copies the whole image to the
page file when it starts from such a place. GNU ld has no option for these bits, so the build sets
them after linking. The bits are part of what an Authenticode signature covers, so an image that is
signed already is refused: mark first, then sign.

The header check sum, when the linker wrote one, is computed again over the changed file; an image
without one keeps none. The change is made in a copy that then replaces the image, and marking an
image twice gives the same bytes as marking it once.
"""
import os
import struct
import sys

NET_RUN_FROM_SWAP = 0x0800
REMOVABLE_RUN_FROM_SWAP = 0x0400
PE32_MAGIC = 0x10B
PE32_PLUS_MAGIC = 0x20B
CERTIFICATE_DIRECTORY = 4


def header_offsets(image):
    """The offsets of the file header's Characteristics, the optional header's CheckSum and the
    certificate table's data directory entry; ValueError when image is no PE image."""
    if len(image) < 0x40 or image[:2] != b"MZ":
        raise ValueError("not a PE image (no MZ header)")
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if pe + 24 + 2 > len(image) or image[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE image (no PE signature)")
    optional = pe + 24
    magic = struct.unpack_from("<H", image, optional)[0]
    if magic not in (PE32_MAGIC, PE32_PLUS_MAGIC):
        raise ValueError("unknown optional header magic %#x" % magic)
    directories = optional + (96 if magic == PE32_MAGIC else 112)
    certificate = directories + 8 * CERTIFICATE_DIRECTORY
    if certificate + 8 > len(image):
        raise ValueError("the optional header is cut short")
    return pe + 22, optional + 64, certificate


def pe_checksum(image, checksum_offset):
    """The image check sum: the file's 16-bit little-endian words added with their carries folded
    back, the check sum field itself taken as zero, plus the file's length."""
    data = bytearray(image)
    data[checksum_offset:checksum_offset + 4] = b"\0\0\0\0"
    if len(data) % 2:
        data.append(0)
    total = sum(struct.unpack("<%dH" % (len(data) // 2), data))
    while total > 0xFFFF:
        total = (total & 0xFFFF) + (total >> 16)
    return (total + len(image)) & 0xFFFFFFFF


def mark(image):
    """The image with both run-from-swap bits set and its check sum, if it had one, made right."""
    characteristics, checksum, certificate = header_offsets(image)
    if struct.unpack_from("<II", image, certificate)[1] != 0:
        raise ValueError("the image is signed already; the bits must be set before signing")
    marked = bytearray(image)
    flags = struct.unpack_from("<H", marked, characteristics)[0]
    struct.pack_into("<H", marked, characteristics,
                     flags | NET_RUN_FROM_SWAP | REMOVABLE_RUN_FROM_SWAP)
    if struct.unpack_from("<I", marked, checksum)[0] != 0:
        struct.pack_into("<I", marked, checksum, pe_checksum(marked, checksum))
    return bytes(marked)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: run_from_swap.py IMAGE\n")
        return 2
    path = argv[1]
    with open(path, "rb") as handle:
        image = handle.read()
    try:
        marked = mark(image)
    except ValueError as error:
        sys.stderr.write("run_from_swap.py: %s: %s\n" % (path, error))
        return 1
    if marked != image:
        temporary = path + ".swap.tmp"
        with open(temporary, "wb") as handle:
            handle.write(marked)
        os.chmod(temporary, os.stat(path).st_mode)
        os.replace(temporary, path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
