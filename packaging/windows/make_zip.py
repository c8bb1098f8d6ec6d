#!/usr/bin/env python3
"""Writes a zip of the named files, in the order given, the same bytes every time.

Every entry carries the time of SOURCE_DATE_EPOCH (or 1980-01-01), fixed permissions
and no extra fields beyond one: a name outside ASCII is stored in GBK, as Windows'
own zip folder reads names on a Chinese system, with the Info-ZIP Unicode Path field
(UTF-8) beside it for every other unpacker.

    make_zip.py <zip file> <file> ...
"""
import os
import struct
import sys
import time
import zipfile
import zlib


class GbkZipInfo(zipfile.ZipInfo):
    def _encodeFilenameFlags(self):
        try:
            return self.filename.encode("ascii"), self.flag_bits
        except UnicodeEncodeError:
            return self.filename.encode("gbk"), self.flag_bits


def entry(name, stamp):
    info = GbkZipInfo(name, date_time=stamp)
    info.compress_type = zipfile.ZIP_DEFLATED
    info.create_system = 0  # MS-DOS: no Unix owner or mode
    info.external_attr = 0x20  # archive
    if not name.isascii():
        stored = name.encode("gbk")
        utf8 = name.encode("utf-8")
        field = struct.pack("<BI", 1, zlib.crc32(stored)) + utf8
        info.extra = struct.pack("<HH", 0x7075, len(field)) + field
    return info


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH", "315532800"))
    stamp = time.gmtime(max(epoch, 315532800))[:6]
    with zipfile.ZipFile(sys.argv[1], "w") as archive:
        for name in sys.argv[2:]:
            with open(name, "rb") as f:
                archive.writestr(entry(name, stamp), f.read(), compresslevel=9)


if __name__ == "__main__":
    main()
