#!/usr/bin/env python3
"""Rewrites a ZIP archive in a fixed form, so that the same files always give the same bytes.

Entries are sorted by name; every entry gets the same time stamp (SOURCE_DATE_EPOCH when it is set,
else 1 January 2000, 00:00), the same permissions, and no extra fields, so no owner, access time or
change time of the machine that built it remains. File contents are compressed with deflate.

    normalize_zip.py ARCHIVE.zip
"""
import os
import sys
import time
import zipfile

DEFAULT_EPOCH = 946684800  # 2000-01-01 00:00:00 UTC


def fixed_time():
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH", DEFAULT_EPOCH))
    # ZIP times have no zone and cannot go before 1980.
    return time.gmtime(max(epoch, 315532800))[:6]


def normalize(path):
    with zipfile.ZipFile(path) as source:
        entries = [(info.filename, info.is_dir(), source.read(info)) for info in source.infolist()]
    entries.sort(key=lambda entry: entry[0])
    stamp = fixed_time()
    temporary = path + ".tmp"
    with zipfile.ZipFile(temporary, "w") as target:
        for name, is_dir, data in entries:
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.create_system = 0  # MS-DOS attributes, as Windows tools write them
            if is_dir:
                info.external_attr = 0x10  # directory
                info.compress_type = zipfile.ZIP_STORED
            else:
                info.external_attr = 0x20  # archive bit, an ordinary file
                info.compress_type = zipfile.ZIP_DEFLATED
            target.writestr(info, data, compresslevel=9)
    os.replace(temporary, path)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: normalize_zip.py ARCHIVE.zip\n")
        return 2
    normalize(argv[1])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
