#!/usr/bin/env python3
"""Size benchmark: the saver's bytes against the bytes of the assets it carries.

The baseline is what the pictures, sounds and icon weigh on their own (a bitmap resource is
its .bmp file without the 14-byte file header); everything above it is what the program's
code, data, import tables, headers and the resource tree add. Target: at most 12 KB added.
Also breaks the executable down by section and the resource section by kind, so a miss can
be traced to where the bytes went.

usage: size.py rolvanta.scr assets_dir
"""
import glob
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "windows", "assets"))
import peres  # noqa: E402  (the resource reader the resource checks use)

TARGET_ADDED = 12 * 1024
BITMAP_FILE_HEADER = 14
RESOURCE_TYPES = {1: "cursor", 2: "bitmap", 3: "icon", 4: "menu", 5: "dialog", 6: "string table",
                  14: "icon group", 16: "version", 24: "manifest"}


def asset_bytes(assets_dir):
    sizes = {}
    for pattern in ("*.bmp", "*.wav", "*.ico"):
        for path in sorted(glob.glob(os.path.join(assets_dir, pattern))):
            size = os.path.getsize(path)
            if path.endswith(".bmp"):
                size -= BITMAP_FILE_HEADER
            sizes[os.path.basename(path)] = size
    return sizes


def sections(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    count = struct.unpack_from("<H", data, pe + 6)[0]
    optional = struct.unpack_from("<H", data, pe + 20)[0]
    headers = struct.unpack_from("<I", data, pe + 24 + 60)[0]
    first = pe + 24 + optional
    out = [("headers", headers)]
    for i in range(count):
        entry = first + 40 * i
        name = data[entry:entry + 8].rstrip(b"\0").decode("latin-1")
        raw_size = struct.unpack_from("<I", data, entry + 16)[0]
        out.append((name, raw_size))
    return out


def main():
    scr_path, assets_dir = sys.argv[1], sys.argv[2]
    with open(scr_path, "rb") as scr:
        data = scr.read()
    assets = asset_bytes(assets_dir)
    if not assets:
        print("size: no assets found in %s" % assets_dir, file=sys.stderr)
        return 1
    baseline = sum(assets.values())
    added = len(data) - baseline

    print("size of %s against the assets it carries:" % os.path.basename(scr_path))
    for name, size in assets.items():
        print("  %-16s %8d bytes" % (name, size))
    print("  %-16s %8d bytes" % ("assets in all", baseline))
    print()
    print("  sections of the executable:")
    section_list = sections(data)
    for name, size in section_list:
        print("  %-16s %8d bytes" % (name, size))
    tail = len(data) - sum(size for _, size in section_list)
    if tail:
        print("  %-16s %8d bytes" % ("after sections", tail))

    by_kind = {}
    for resource in peres.read_resources(data):
        kind = RESOURCE_TYPES.get(resource.type, str(resource.type))
        by_kind[kind] = by_kind.get(kind, 0) + len(resource.data)
    rsrc = dict(section_list).get(".rsrc", 0)
    print()
    print("  resources by kind:")
    for kind, size in sorted(by_kind.items(), key=lambda item: -item[1]):
        print("  %-16s %8d bytes" % (kind, size))
    print("  %-16s %8d bytes" % ("tree, padding", rsrc - sum(by_kind.values())))

    code = len(data) - rsrc
    print()
    print("size: .scr %d bytes, assets %d bytes, ratio %.3f; code and runtime add %d bytes (%.1f KB): "
          "%d outside the resource section, %d in it beside the assets (dialog, strings, version, tree) "
          "(target <= %d KB: %s)" % (len(data), baseline, len(data) / baseline, added, added / 1024.0, code,
                                      rsrc - baseline, TARGET_ADDED // 1024,
                                      "met" if added <= TARGET_ADDED else "MISSED"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
