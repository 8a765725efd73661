#!/usr/bin/env python3
"""Builds a payload program: the extractor program followed by an archive of
every file below a folder (see payload/PayloadArchive.h for the layout).

    payload-build.py EXTRACTOR FOLDER OUTPUT

Files are stored in name order with their paths relative to FOLDER, '/'
between folders; each is one zlib stream with the CRC-32 of its bytes.
"""
import os
import struct
import sys
import zlib

MAGIC = b"TPAYLD01"


def collect(folder):
    names = []
    for root, dirs, files in os.walk(folder):
        dirs.sort()
        for f in sorted(files):
            full = os.path.join(root, f)
            names.append(os.path.relpath(full, folder).replace(os.sep, "/"))
    return names


def build(extractor, folder, output):
    with open(extractor, "rb") as f:
        stub = f.read()
    names = collect(folder)
    if not names:
        raise SystemExit(f"payload-build: {folder} holds no files")
    data = bytearray()
    index = bytearray()
    for name in names:
        with open(os.path.join(folder, *name.split("/")), "rb") as f:
            raw = f.read()
        packed = zlib.compress(raw, 9)
        encoded = name.encode("utf-8")
        index += struct.pack("<H", len(encoded)) + encoded
        index += struct.pack("<QQQI", len(raw), len(packed), len(data), zlib.crc32(raw) & 0xFFFFFFFF)
        data += packed
    archive_start = len(stub)
    index_start = archive_start + len(data)
    trailer = MAGIC + struct.pack("<QQII", archive_start, index_start, len(names), zlib.crc32(index) & 0xFFFFFFFF)
    tmp = output + ".tmp"
    with open(tmp, "wb") as f:
        f.write(stub)
        f.write(data)
        f.write(index)
        f.write(trailer)
    os.chmod(tmp, 0o755)
    os.replace(tmp, output)


if __name__ == "__main__":
    if len(sys.argv) != 4:
        raise SystemExit(__doc__)
    build(*sys.argv[1:])
