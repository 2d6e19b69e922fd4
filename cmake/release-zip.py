#!/usr/bin/env python3
"""The release ZIP, the same bytes from every build of the same sources.

    release-zip.py <zip> <epoch> <name>=<file> ...

Entries in name order, each dated <epoch> (UTC; no earlier than 1980, the
first time a ZIP entry can carry), with mode 644 and no other attribute of
the file, deflated at level 9.
"""
import os
import sys
import time
import zipfile


def main(argv):
    if len(argv) < 3:
        print(__doc__.strip().splitlines()[2])
        return 2
    path, epoch = argv[0], max(int(argv[1]), 315532800)
    date_time = time.gmtime(epoch)[:6]
    entries = sorted(word.split("=", 1) for word in argv[2:])
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with zipfile.ZipFile(path + ".part", "w") as archive:
        for name, source in entries:
            info = zipfile.ZipInfo(name, date_time)
            info.create_system = 3  # Unix, so that the mode below is what unzip applies
            info.external_attr = 0o100644 << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(source, "rb") as f:
                archive.writestr(info, f.read(), compresslevel=9)
    # Whole or not at all: a build stopped half-way leaves no ZIP.
    os.replace(path + ".part", path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
