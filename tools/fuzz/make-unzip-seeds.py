#!/usr/bin/env python3
"""Writes the unzip fuzz target's seed archives into the folder given: small archives of
the shapes that have gone wrong before or that readers take differently (NUL bytes in
names and link targets, link chains, climbing names, entries sharing data, end records
that miscount or disagree, deep paths, zip64 fields). Records are written by hand, as no
archiver makes most of these."""
import os
import struct
import sys
import zlib

UNIX_FILE = 0o100644 << 16
UNIX_DIR = (0o40755 << 16) | 0x10
UNIX_LINK = 0o120777 << 16
DOS_DATE = 0x5021  # 2020-01-01


class Zip:
    def __init__(self):
        self.body = b""
        self.central = b""
        self.count = 0

    def local(self, name, data, deflate=False, declared=None):
        """A local header and its data; returns what a central header needs."""
        stored = zlib.compress(data, 9)[2:-4] if deflate else data
        crc = zlib.crc32(data)
        packed = len(stored) if declared is None else declared
        size = len(data) if declared is None else declared
        method = 8 if deflate else 0
        at = len(self.body)
        self.body += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0x800, method, 0, DOS_DATE, crc, packed, size,
                                 len(name), 0) + name + stored
        return (at, crc, packed, size, method)

    def header(self, name, body, attr=UNIX_FILE, made_by=0x031E, extra=b"", sizes=None, offset=None):
        at, crc, packed, size, method = body
        if sizes is not None:
            packed, size = sizes
        self.central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, made_by, 20, 0x800, method, 0, DOS_DATE, crc,
                                    packed, size, len(name), len(extra), 0, 0, 0, attr,
                                    at if offset is None else offset) + name + extra
        self.count += 1

    def entry(self, name, data, attr=UNIX_FILE, deflate=False):
        self.header(name, self.local(name, data, deflate), attr)

    def finish(self, count=None, comment=b""):
        n = self.count if count is None else count
        return (self.body + self.central +
                struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, n, n, len(self.central), len(self.body), len(comment)) +
                comment)


def archive(*entries):
    """An archive of entries (name, data[, attributes]), in that order."""
    z = Zip()
    for e in entries:
        z.entry(*e)
    return z.finish()


def climbing_names():
    return archive(*((name, b"n") for name in (b"../../x.txt", b"a/../../b.txt", b"/abs/c.txt", b"a\\..\\..\\d.txt",
                                                b"./././e.txt", b"..", b"")))


def deep_path():
    return archive((b"/".join(b"d%d" % i for i in range(14)) + b"/deep.txt", b"deep"))


def deeper_than_a_path():
    """22 folders of 250-character names: the whole path is longer than the system takes."""
    folder = b"/".join(b"%c" % (ord("a") + i) * 250 for i in range(22))
    return archive((folder + b"/deep.txt", b"deep"), (folder + b"/link", b"deep.txt", UNIX_LINK),
                   (folder + b"/up", b"../" * 21, UNIX_LINK))


def shared_body():
    z = Zip()
    body = z.local(b"f10", b"\0" * 20000, deflate=True)
    for i in range(10, 15):
        z.header(b"f%d" % i, body)
    return z.finish()


def nested_entry():
    inner = Zip()
    inner_body = inner.local(b"in.txt", b"inner")
    z = Zip()
    outer = z.local(b"outer.bin", b"pre" + inner.body + b"post")
    z.header(b"outer.bin", outer)
    z.header(b"in.txt", (outer[0] + 30 + 9 + 3,) + inner_body[1:])
    return z.finish()


def miscounted():
    z = Zip()
    for c in b"abcde":
        name = bytes([c]) + b".txt"
        body = z.local(name, name * 3)
        if c <= ord("c"):
            z.header(name, body)
    return [("counts-more", z.finish(5)), ("counts-fewer", z.finish(2))]


def zeroed_header():
    z = Zip()
    for c in b"abcde":
        z.entry(bytes([c]) + b".txt", b"x")
    size = 46 + 5
    z.central = z.central[:2 * size] + b"\0" * size + z.central[3 * size:]
    return z.finish()


def hidden_zip64_locator():
    z = Zip()
    z.entry(b"a.txt", b"listed")
    hidden = z.local(b"e.txt", b"hidden")
    fake = Zip()
    fake.header(b"e.txt", hidden)
    comment_at = len(z.body) + len(z.central) + 22
    zip64_at = comment_at + len(fake.central)
    comment = (fake.central +
               struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 0x031E, 45, 0, 0, 1, 1, len(fake.central), comment_at) +
               struct.pack("<IIQI", 0x07064B50, 0, zip64_at, 1))
    return z.finish(comment=comment)


def zip64_entries():
    """Central headers leaving sizes and offsets to zip64 fields, with zip64 end records."""
    z = Zip()
    for name, data in ((b"a.txt", b"alpha"), (b"dir/b.txt", b"b" * 300)):
        body = z.local(name, data)
        extra = struct.pack("<HHQQQ", 1, 24, body[3], body[2], body[0])
        z.header(name, body, extra=extra, sizes=(0xFFFFFFFF, 0xFFFFFFFF), offset=0xFFFFFFFF)
    out = z.body + z.central
    zip64_at = len(out)
    out += struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 0x031E, 45, 0, 0, z.count, z.count, len(z.central),
                       len(z.body))
    out += struct.pack("<IIQI", 0x07064B50, 0, zip64_at, 1)
    out += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0)
    return out


def cut_short():
    z = Zip()
    z.header(b"short.bin", z.local(b"short.bin", b"s" * 50, declared=5000))
    return z.finish()


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    seeds = [
        ("plain", archive((b"dir/", b"", UNIX_DIR), (b"dir/a.txt", b"alpha" * 20, UNIX_FILE, True), (b"dir/link", b"a.txt", UNIX_LINK),
                          (b"b.txt", b"bravo"))),
        ("nul-in-name", archive((b"\xb0\xa1\x00/..\x00/..\x00/escaped.txt", b"x"),
                                (b"\xb0\xa1\x00/..\x00/..\x00/made/", b"", UNIX_DIR))),
        ("nul-in-link", archive((b"up", b"..\x00x", UNIX_LINK), (b"up/out.txt", b"x"))),
        ("link-chain", archive((b"a", b"..\x00", UNIX_LINK), (b"b", b"a/..\x00", UNIX_LINK), (b"b/out.txt", b"x"))),
        ("link-inside-chain", archive((b"sub/", b"", UNIX_DIR), (b"d", b"sub", UNIX_LINK), (b"e", b"d", UNIX_LINK),
                                      (b"e/in.txt", b"through two links"))),
        # The link replaces the folder after the file in it was written; the dates come last.
        ("dated-through-link", archive((b"d/sentinel.txt", b"s"), (b"d", b"..\x00", UNIX_LINK))),
        ("climbing-names", climbing_names()), ("deep-path", deep_path()),
        ("deeper-than-a-path", deeper_than_a_path()), ("shared-body", shared_body()),
        ("nested-entry", nested_entry()), ("zeroed-header", zeroed_header()),
        ("hidden-zip64-locator", hidden_zip64_locator()), ("zip64-entries", zip64_entries()), ("cut-short", cut_short())] + miscounted()
    for name, data in seeds:
        with open(os.path.join(folder, name + ".zip"), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
