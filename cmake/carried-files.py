#!/usr/bin/env python3
"""Writes what the program that carries the package keeps of each file beside
its bytes, twelve bytes a file in the order given, least significant first:
its CRC-32 (that of ZIP and PNG), which the program checks the file against
before it writes it, and its last-modification time, rounded down to an even
second (as a zip entry holds it), as a FILETIME (100-nanosecond intervals
since 1601), which the program gives the file it writes.
    carried-files.py OUT FILE..."""
import os
import struct
import sys
import zlib

FILETIME_OF_1970 = 116444736000000000  # 1970-01-01 in 100-nanosecond intervals since 1601


def main(out, *files):
    record = b""
    for name in files:
        with open(name, "rb") as f:
            crc = zlib.crc32(f.read())
        seconds = int(os.stat(name).st_mtime)
        seconds -= seconds % 2
        record += struct.pack("<IQ", crc, FILETIME_OF_1970 + seconds * 10000000)
    with open(out, "wb") as f:
        f.write(record)


if __name__ == "__main__":
    if len(sys.argv) < 3:
        print(__doc__.strip().splitlines()[-1].strip(), file=sys.stderr)
        sys.exit(2)
    main(*sys.argv[1:])
