#!/usr/bin/env python3
"""Writes the CRC-32 of each file (that of ZIP and PNG), four bytes each,
least significant first, in the order given: what the program that carries
the files checks each one against before it writes it.
    package-sums.py OUT FILE..."""
import struct
import sys
import zlib


def main(out, *files):
    sums = b""
    for name in files:
        with open(name, "rb") as f:
            sums += struct.pack("<I", zlib.crc32(f.read()))
    with open(out, "wb") as f:
        f.write(sums)


if __name__ == "__main__":
    if len(sys.argv) < 3:
        print(__doc__.strip().splitlines()[-1].strip(), file=sys.stderr)
        sys.exit(2)
    main(*sys.argv[1:])
