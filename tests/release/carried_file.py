#!/usr/bin/env python3
"""Prints where a program carries a file: the file offset and the size of its
RCDATA resource of that name (#N for the number N), or of the resource of
that type number, read from the PE image's resource directory; with OUT,
also writes the resource's bytes there (- for standard output, instead of
the offset and size). Exit status 1 when the program carries no such file.
    carried_file.py [--type N] EXE NAME [OUT]"""
import struct
import sys


def main(exe, name, out=None, wanted=10):
    with open(exe, "rb") as f:
        image = f.read()
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    sections, optional = struct.unpack_from("<H12xH", image, pe + 6)
    # The resource table is the third data directory of a PE32 optional header.
    resources = struct.unpack_from("<I", image, pe + 24 + 96 + 2 * 8)[0]
    table = pe + 24 + optional
    spans = [struct.unpack_from("<8xIIII", image, table + 40 * i) for i in range(sections)]

    def offset(rva):
        for size, address, raw_size, raw in spans:
            if address <= rva < address + max(size, raw_size):
                return raw + rva - address
        raise SystemExit(f"{exe}: address {rva:#x} is in no section")

    root = offset(resources)

    def entries(directory):
        named, numbered = struct.unpack_from("<12xHH", image, directory)
        for i in range(named + numbered):
            key, target = struct.unpack_from("<II", image, directory + 16 + 8 * i)
            if key & 0x80000000:
                length = struct.unpack_from("<H", image, root + (key & 0x7FFFFFFF))[0]
                start = root + (key & 0x7FFFFFFF) + 2
                key = image[start:start + 2 * length].decode("utf-16-le")
            yield key, target

    key = int(name[1:]) if name.startswith("#") else name.upper()
    for kind, types in entries(root):
        if kind != wanted or not types & 0x80000000:  # RT_RCDATA unless told
            continue
        for named, languages in entries(root + (types & 0x7FFFFFFF)):
            if named != key:
                continue
            for _, data in entries(root + (languages & 0x7FFFFFFF)):
                rva, size = struct.unpack_from("<II", image, root + data)
                bytes_ = image[offset(rva):offset(rva) + size]
                if out == "-":
                    sys.stdout.buffer.write(bytes_)
                    return 0
                print(offset(rva), size)
                if out:
                    with open(out, "wb") as f:
                        f.write(bytes_)
                return 0
    print(f"{exe} carries no {name}", file=sys.stderr)
    return 1


if __name__ == "__main__":
    arguments = sys.argv[1:]
    kind = 10
    if arguments[:1] == ["--type"] and len(arguments) > 1 and arguments[1].isdigit():
        kind = int(arguments[1])
        arguments = arguments[2:]
    if len(arguments) not in (2, 3):
        print(__doc__.strip().splitlines()[-1].strip(), file=sys.stderr)
        sys.exit(2)
    sys.exit(main(*arguments, wanted=kind))
