#!/usr/bin/env python3
"""Compares two releases (folders or files) byte for byte and names the first
difference: the file, and inside it the zip entry, the package's summary
field, table or stream, the PE header field or section, and the byte offset.

Usage: release_diff.py [--signed] A B     exit 0 when every file is the same, 1 when not
  --signed  A may be signed (scripts/sign.sh): a signed DLL or EXE matches
            when what its signature covers (osslsigncode extract-data) is the
            same as B's; a signed package, which holds signed binaries, when
            its tables (but the files' sizes), its summary (but the
            PackageCode) and its files match; the checksums in A's zip are
            checked against A's own files
"""
import hashlib
import io
import os
import struct
import subprocess
import sys
import tempfile
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pe  # noqa: E402

ZIP_FIELDS = ["filename", "date_time", "compress_type", "create_system", "create_version",
              "extract_version", "flag_bits", "internal_attr", "external_attr", "extra", "comment"]


def first_byte(a, b):
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return i
    return min(len(a), len(b))


def where(a, b):
    at = first_byte(a, b)
    text = f"byte {at} (0x{at:x})"
    if at >= min(len(a), len(b)):
        return f"{text}: one is {len(a)} bytes long, the other {len(b)}"
    return f"{text}: 0x{a[at]:02x} against 0x{b[at]:02x}"


def zip_entries(data):
    with zipfile.ZipFile(io.BytesIO(data)) as z:
        return [(info, z.read(info)) for info in z.infolist()]


def msiinfo(path, *args):
    return subprocess.run(["msiinfo", *args, path], capture_output=True, check=True).stdout


def lines_difference(what, x, y):
    """The first differing line of two texts, or None."""
    for n, (p, q) in enumerate(zip(x.splitlines(), y.splitlines())):
        if p != q:
            return f"{what}, line {n + 1}: {p.decode(errors='replace')!r} against {q.decode(errors='replace')!r}"
    return None if x == y else f"{what}: one has more lines"


def export(path, table):
    return subprocess.run(["msiinfo", "export", path, table], capture_output=True).stdout


def tables_difference(pa, pb, signed=False):
    """The first difference of two packages' summaries and tables. signed: A
    holds signed binaries, so the PackageCode, the files' sizes and their
    hashes (checked against the files instead) may differ."""
    summaries = [msiinfo(p, "suminfo") for p in (pa, pb)]
    if signed:
        summaries = [b"\n".join(l for l in x.splitlines() if not l.startswith(b"Revision number")) for x in summaries]
    difference = lines_difference("summary", *summaries)
    if difference:
        return difference
    tables = msiinfo(pa, "tables").split()
    if tables != msiinfo(pb, "tables").split():
        return "the lists of tables"
    for table in sorted(t.decode() for t in tables):
        if signed and table in ("_SummaryInformation", "MsiFileHash"):
            continue
        rows = [export(p, table) for p in (pa, pb)]
        if signed and table == "File":  # FileSize, the fourth column, grows with a signature
            rows = [b"\n".join(b"\t".join(l.split(b"\t")[:3] + l.split(b"\t")[4:]) for l in x.splitlines()) for x in rows]
        difference = lines_difference(f"table {table}", *rows)
        if difference:
            return difference
    return None


def written(work, name, data):
    path = os.path.join(work, name)
    with open(path, "wb") as f:
        f.write(data)
    return path


def msi_difference(a, b):
    with tempfile.TemporaryDirectory() as work:
        pa, pb = written(work, "a.msi", a), written(work, "b.msi", b)
        difference = tables_difference(pa, pb)
        if difference:
            return difference
        streams = msiinfo(pa, "streams").split()
        if streams != msiinfo(pb, "streams").split():
            return "the lists of streams"
        for stream in sorted(s.decode() for s in streams):
            sa, sb = (subprocess.run(["msiinfo", "extract", p, stream], capture_output=True).stdout for p in (pa, pb))
            if sa != sb:
                return f"stream {stream}, {where(sa, sb)}"
    return None


SIGNED = False


def osslsigncode(data, command):
    """osslsigncode COMMAND -in DATA -out OUT: OUT's bytes, None on failure."""
    with tempfile.TemporaryDirectory() as work:
        path = written(work, "file", data)
        if subprocess.run(["osslsigncode", command, "-in", path, "-out", path + ".out"],
                          capture_output=True).returncode != 0:
            return None
        with open(path + ".out", "rb") as f:
            return f.read()


def signed_content(data, signed_only=True):
    """What an Authenticode signature covers (or would cover, for an unsigned
    file unless signed_only), or None."""
    if signed_only and osslsigncode(data, "extract-signature") is None:
        return None
    return osslsigncode(data, "extract-data")


def unsigned(data, build):
    """A signed file without its signature, with the build's PE checksum
    (which signing changes and the signature does not cover)."""
    stripped = bytearray(osslsigncode(data, "remove-signature"))
    if stripped[:2] == b"MZ":
        checksum = struct.unpack_from("<I", stripped, 60)[0] + 24 + 64
        stripped[checksum:checksum + 4] = build[checksum:checksum + 4]
    return bytes(stripped)


def sums_match(sums, contents):
    """The first file of SHA256SUMS whose sum does not hold, or None;
    contents: name to bytes."""
    for line in sums.decode().splitlines():
        digest, name = line.split(maxsplit=1)
        if hashlib.sha256(contents.get(name, b"")).hexdigest() != digest:
            return name
    return None


def compare(name, a, b, contents=None):
    """None when the files match, else their first difference in words;
    contents: the files beside A (name to bytes), which its SHA256SUMS covers."""
    if a == b:
        return None
    if SIGNED and os.path.basename(name.split(" entry ")[-1]) == "SHA256SUMS" and contents is not None:
        wrong = sums_match(a, contents)
        return f"{name}: the sum of {wrong} is not that file's" if wrong else None
    if SIGNED and a[:2] in (b"MZ", b"\xd0\xcf"):
        content = signed_content(a)
        if content is not None:
            if content == signed_content(b, signed_only=False):
                return None
            if a[:2] == b"\xd0\xcf":
                return signed_package_difference(name, a, b)
            return f"signed, and without its signature {describe(name, unsigned(a, b), b)}"
    return describe(name, a, b)


def file_hashes_wrong(package, folder, payload):
    """The first file whose MsiFileHash row (MD5 as four signed 32-bit
    numbers) is not the packaged file's, or None."""
    by_name = {os.path.basename(rel): rel for rel in payload}
    rows = subprocess.run(["msiinfo", "export", package, "MsiFileHash"], capture_output=True).stdout
    for row in rows.decode().splitlines()[3:]:
        key, _, *parts = row.rstrip("\r").split("\t")
        with open(os.path.join(folder, by_name.get(key, key)), "rb") as f:
            digest = hashlib.md5(f.read()).digest()
        if list(struct.unpack("<4i", digest)) != [int(p) for p in parts]:
            return key
    return None


def signed_package_difference(name, a, b):
    """A package built from signed binaries against one built from unsigned
    ones: the same tables but for the files' sizes, the same summary but for
    the PackageCode, file hashes that are its own files', and payload files
    that match (compare())."""
    with tempfile.TemporaryDirectory() as work:
        pa, pb = written(work, "a.msi", unsigned(a, b)), written(work, "b.msi", b)
        difference = tables_difference(pa, pb, signed=True)
        if difference:
            return f"{name}: {difference}"
        for path in (pa, pb):
            subprocess.run(["msiextract", "-C", path + ".files", path], capture_output=True, check=True)
        fa, fb = files(pa + ".files"), files(pb + ".files")
        if fa != fb:
            return f"{name}: the packaged files"
        wrong = file_hashes_wrong(pa, pa + ".files", fa)
        if wrong:
            return f"{name}: the MsiFileHash of {wrong} is not that file's"
        for rel in fa:
            with open(os.path.join(pa + ".files", rel), "rb") as f:
                da = f.read()
            with open(os.path.join(pb + ".files", rel), "rb") as f:
                db = f.read()
            difference = compare(f"{name}: file {rel}", da, db)
            if difference:
                return difference
    return None


def describe(name, a, b):
    """The first difference of two different files, in words."""
    if a[:4] == b[:4] == b"PK\x03\x04":
        ea, eb = zip_entries(a), zip_entries(b)
        for (ia, _), (ib, _) in zip(ea, eb):
            if ia.filename != ib.filename:
                return f"{name}: entry {ia.filename} where the other has {ib.filename}"
        # Contents before attributes, and the checksums' last.
        pairs = sorted(zip(ea, eb), key=lambda p: os.path.basename(p[0][0].filename) == "SHA256SUMS")
        for (ia, da), (_, db) in pairs:
            difference = compare(f"{name}: entry {ia.filename}", da, db, {i.filename: d for i, d in ea})
            if difference:
                return difference
        for (ia, _), (ib, _) in pairs:
            for field in ZIP_FIELDS:
                if getattr(ia, field) != getattr(ib, field):
                    return f"{name}: entry {ia.filename}: {field} {getattr(ia, field)!r} against {getattr(ib, field)!r}"
        if len(ea) != len(eb):
            return f"{name}: one has {len(ea)} entries, the other {len(eb)}"
        # Signed entries are longer: the archive's offsets move with them.
        return None if SIGNED else f"{name}: the archive's own bytes, {where(a, b)}"
    if a[:8] == b[:8] == bytes.fromhex("d0cf11e0a1b11ae1"):
        inside = msi_difference(a, b)
        return f"{name}: {inside}" if inside else f"{name}: the compound file's own bytes, {where(a, b)}"
    if a[:2] == b[:2] == b"MZ":
        at = first_byte(a, b)
        try:
            field, start, size = pe.PE(a).field(at)
        except (pe.NotPE, ValueError, IndexError):
            pass
        else:
            if size:
                values = [int.from_bytes(x[start:start + size], "little") for x in (a, b)]
                return f"{name}: {field} at byte {start} (0x{start:x}): 0x{values[0]:x} against 0x{values[1]:x}"
            return f"{name}: {field}, {where(a, b)}"
    line = a[:first_byte(a, b)].count(b"\n") + 1
    return f"{name}: line {line}, {where(a, b)}"


def files(root):
    if os.path.isfile(root):
        return [""]
    found = []
    for folder, _, names in os.walk(root):
        found += [os.path.relpath(os.path.join(folder, n), root) for n in names]
    # The zip first (its binaries are the packages' too), the checksums last:
    # they differ whenever anything else does.
    return sorted(found, key=lambda rel: (os.path.basename(rel) == "SHA256SUMS", not rel.endswith(".zip"), rel))


def main():
    global SIGNED
    args = sys.argv[1:]
    if args[:1] == ["--signed"]:
        SIGNED, args = True, args[1:]
    if len(args) != 2:
        sys.exit(__doc__.strip())
    a, b = args
    fa, fb = files(a), files(b)
    for only, root in ((sorted(set(fa) - set(fb)), a), (sorted(set(fb) - set(fa)), b)):
        if only:
            print(f"release differs: {only[0]} is only in {root}")
            return 1
    for rel in fa:
        with open(os.path.join(a, rel) if rel else a, "rb") as f:
            da = f.read()
        with open(os.path.join(b, rel) if rel else b, "rb") as f:
            db = f.read()
        beside = None
        if SIGNED and os.path.basename(rel) == "SHA256SUMS":
            folder = os.path.dirname(os.path.join(a, rel))
            beside = {}
            for n in os.listdir(folder):
                with open(os.path.join(folder, n), "rb") as f:
                    beside[n] = f.read()
        difference = compare(rel or os.path.basename(a), da, db, beside)
        if difference:
            print(f"release differs: {difference}")
            return 1
    print(f"release is the same: {len(fa)} file(s), " + ("signed content and the rest byte for byte" if SIGNED else "byte for byte"))
    return 0


sys.exit(main())
