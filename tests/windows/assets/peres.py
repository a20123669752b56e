"""A small reader for the resource section of a 32-bit PE executable.

Reads the resource tree (type / name / language) and returns every leaf with
its raw bytes, so the tests look at exactly what the loader would hand out.
Malformed input raises PeError instead of crashing with an index error.
"""

import struct


class PeError(Exception):
    pass


def _u16(data, off):
    if off < 0 or off + 2 > len(data):
        raise PeError("read past end at %d" % off)
    return struct.unpack_from("<H", data, off)[0]


def _u32(data, off):
    if off < 0 or off + 4 > len(data):
        raise PeError("read past end at %d" % off)
    return struct.unpack_from("<I", data, off)[0]


class Resource:
    """One leaf of the resource tree."""

    def __init__(self, rtype, name, lang, data, codepage):
        self.type = rtype      # int, or str for named types such as "WAVE"
        self.name = name       # int, or str
        self.lang = lang       # int
        self.data = data       # bytes
        self.codepage = codepage

    def __repr__(self):
        return "Resource(%r, %r, %r, %d bytes)" % (self.type, self.name, self.lang, len(self.data))


def _sections(data, pe):
    nsec = _u16(data, pe + 6)
    optsize = _u16(data, pe + 20)
    first = pe + 24 + optsize
    out = []
    for i in range(nsec):
        s = first + 40 * i
        vsize = _u32(data, s + 8)
        vaddr = _u32(data, s + 12)
        rawsize = _u32(data, s + 16)
        rawptr = _u32(data, s + 20)
        out.append((vaddr, max(vsize, rawsize), rawptr, rawsize))
    return out


def _rva_to_off(sections, rva):
    for vaddr, vsize, rawptr, rawsize in sections:
        if vaddr <= rva < vaddr + vsize:
            delta = rva - vaddr
            if delta >= rawsize:
                raise PeError("rva %#x lies in uninitialised data" % rva)
            return rawptr + delta
    raise PeError("rva %#x is in no section" % rva)


def read_resources(data):
    """Returns a list of Resource for the PE image in `data` (bytes)."""
    if len(data) < 64 or data[:2] != b"MZ":
        raise PeError("not an MZ executable")
    pe = _u32(data, 0x3C)
    if data[pe:pe + 4] != b"PE\0\0":
        raise PeError("no PE signature")
    opt = pe + 24
    magic = _u16(data, opt)
    if magic == 0x10B:
        ddir = opt + 96
    elif magic == 0x20B:
        ddir = opt + 112
    else:
        raise PeError("unknown optional header magic %#x" % magic)
    nrva = _u32(data, ddir - 4)
    if nrva < 3:
        return []
    res_rva = _u32(data, ddir + 2 * 8)
    if res_rva == 0:
        return []
    sections = _sections(data, pe)
    base = _rva_to_off(sections, res_rva)

    def name_at(entry_name):
        if entry_name & 0x80000000:
            off = base + (entry_name & 0x7FFFFFFF)
            n = _u16(data, off)
            raw = data[off + 2: off + 2 + 2 * n]
            if len(raw) != 2 * n:
                raise PeError("resource name runs past end")
            try:
                return raw.decode("utf-16-le")
            except UnicodeDecodeError as e:
                raise PeError("bad resource name: %s" % e)
        return entry_name & 0xFFFF

    def entries(dir_off):
        off = base + dir_off
        named = _u16(data, off + 12)
        ids = _u16(data, off + 14)
        if named + ids > 4096:
            raise PeError("implausible resource directory")
        for i in range(named + ids):
            e = off + 16 + 8 * i
            yield name_at(_u32(data, e)), _u32(data, e + 4)

    out = []
    for rtype, t_off in entries(0):
        if not t_off & 0x80000000:
            raise PeError("type entry is not a directory")
        for rname, n_off in entries(t_off & 0x7FFFFFFF):
            if not n_off & 0x80000000:
                raise PeError("name entry is not a directory")
            for lang, l_off in entries(n_off & 0x7FFFFFFF):
                if l_off & 0x80000000:
                    raise PeError("language entry is a directory")
                leaf = base + l_off
                rva = _u32(data, leaf)
                size = _u32(data, leaf + 4)
                cp = _u32(data, leaf + 8)
                start = _rva_to_off(sections, rva)
                blob = data[start:start + size]
                if len(blob) != size:
                    raise PeError("resource data runs past end of file")
                out.append(Resource(rtype, rname, lang, bytes(blob), cp))
    return out


RT_NAMES = {1: "RT_CURSOR", 2: "RT_BITMAP", 3: "RT_ICON", 4: "RT_MENU", 5: "RT_DIALOG",
            6: "RT_STRING", 14: "RT_GROUP_ICON", 16: "RT_VERSION", 24: "RT_MANIFEST"}


if __name__ == "__main__":
    import sys
    for r in read_resources(open(sys.argv[1], "rb").read()):
        t = RT_NAMES.get(r.type, r.type)
        print("%-14s %-16s lang %-5d %7d bytes" % (t, r.name, r.lang, len(r.data)))
