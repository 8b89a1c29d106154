#!/usr/bin/python3
"""Makes a built package's summary the same for the same contents.

Usage: msi_stamp.py PACKAGE EPOCH

wixl and msibuild write the time of the build into the summary's dates and a
random GUID into its revision (the PackageCode). Here every date becomes
EPOCH, and the PackageCode a name-based GUID of the whole package with its
revision zeroed: any change to a table, a stream or a summary field gives a
new code, the same package always the same one. Prints the code.
"""
import hashlib
import struct
import sys
import uuid

import olefile

SUMMARY = "\x05SummaryInformation"
PID_REVNUMBER = 9
VT_LPSTR, VT_FILETIME = 30, 64
ZERO_CODE = b"{00000000-0000-0000-0000-000000000000}"
# uuid5 namespace of this product's package codes (itself a uuid5 of its name).
NAMESPACE = uuid.uuid5(uuid.NAMESPACE_URL, "norvmon package code")


def properties(stream):
    """(pid, type, offset of the value) of each property of the first section."""
    (section,) = struct.unpack_from("<I", stream, 44)
    _, count = struct.unpack_from("<II", stream, section)
    for i in range(count):
        pid, at = struct.unpack_from("<II", stream, section + 8 + 8 * i)
        (kind,) = struct.unpack_from("<I", stream, section + at)
        yield pid, kind, section + at + 4


def rewrite(path, epoch, code):
    with olefile.OleFileIO(path, write_mode=True) as ole:
        stream = bytearray(ole.openstream(SUMMARY).read())
        filetime = (epoch + 11644473600) * 10_000_000
        revision = False
        for pid, kind, at in properties(stream):
            if kind == VT_FILETIME:
                struct.pack_into("<Q", stream, at, filetime)
            elif pid == PID_REVNUMBER and kind == VT_LPSTR:
                (size,) = struct.unpack_from("<I", stream, at)
                if size != len(code) + 1:
                    sys.exit(f"msi_stamp: {path}: the revision holds {size} bytes, not a GUID")
                stream[at + 4:at + 4 + len(code)] = code
                revision = True
        if not revision:
            sys.exit(f"msi_stamp: {path}: the summary has no revision")
        ole.write_stream(SUMMARY, bytes(stream))


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__.strip().splitlines()[2])
    path, epoch = sys.argv[1], int(sys.argv[2])
    rewrite(path, epoch, ZERO_CODE)
    with open(path, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    code = "{%s}" % str(uuid.uuid5(NAMESPACE, digest)).upper()
    rewrite(path, epoch, code.encode("ascii"))
    print(code)


main()
