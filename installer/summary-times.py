#!/usr/bin/python3
"""Sets every time of a package's summary information to one moment.

    summary-times.py <package.msi> <epoch>

wixl and msibuild write the clock's time as the package's creation and
last-saved times; a release needs the same bytes from every build, so each
FILETIME property of the summary information stream (a property set) is
rewritten in place as <epoch>, seconds since 1970 in UTC. The stream keeps
its size, so it is replaced within the compound file as it lies.
"""
import struct
import sys

import olefile

STREAM = "\x05SummaryInformation"
VT_FILETIME = 64
# 100-nanosecond intervals between 1601-01-01 and 1970-01-01.
EPOCH_1601 = 116444736000000000


def pinned(data, filetime):
    data = bytearray(data)
    sections = struct.unpack_from("<I", data, 24)[0]
    count = 0
    for index in range(sections):
        start = struct.unpack_from("<I", data, 28 + index * 20 + 16)[0]
        properties = struct.unpack_from("<I", data, start + 4)[0]
        for number in range(properties):
            _, offset = struct.unpack_from("<II", data, start + 8 + number * 8)
            kind = struct.unpack_from("<I", data, start + offset)[0]
            if kind == VT_FILETIME:
                struct.pack_into("<Q", data, start + offset + 4, filetime)
                count += 1
    return bytes(data), count


def main(path, epoch):
    filetime = EPOCH_1601 + int(epoch) * 10000000
    package = olefile.OleFileIO(path, write_mode=True)
    try:
        data, count = pinned(package.openstream(STREAM).read(), filetime)
        if count == 0:
            print("summary-times: %s holds no time in its summary information" % path)
            return 1
        package.write_stream(STREAM, data)
    finally:
        package.close()
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        print(__doc__.strip().splitlines()[2].strip())
        sys.exit(2)
    sys.exit(main(sys.argv[1], sys.argv[2]))
