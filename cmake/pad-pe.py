#!/usr/bin/env python3
"""Pads a PE file with zeros to a multiple of 8 bytes, as Authenticode signing
does before it appends the signature, and sets the header checksum anew.

    pad-pe.py <file>

So an unsigned binary is byte for byte what removing the signature from the
signed one gives back (osslsigncode remove-signature), and a published,
signed release can be compared with a rebuild.
"""
import array
import struct
import sys


def main(argv):
    if len(argv) != 1:
        print(__doc__.strip().splitlines()[3])
        return 2
    with open(argv[0], "rb") as f:
        data = bytearray(f.read())
    data += bytes(-len(data) % 8)
    checksum_at = struct.unpack_from("<I", data, 0x3C)[0] + 24 + 64
    struct.pack_into("<I", data, checksum_at, 0)
    # The file's 16-bit words, carries folded back in, plus its length.
    total = sum(array.array("H", data))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    struct.pack_into("<I", data, checksum_at, total + len(data))
    with open(argv[0], "wb") as f:
        f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
