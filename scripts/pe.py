#!/usr/bin/env python3
"""Reads what the release checks need from a PE file (DLL or EXE), on every
architecture alike.

Usage: pe.py facts FILE          one fact a line:
           machine HEX | magic HEX | dllcharacteristics HEX
           section NAME CHARACTERISTICS_HEX
           export-base N | export ORDINAL NAME ("-" for a slot with no name,
                                               "empty" for one with no address)
       pe.py field FILE OFFSET   what the byte at OFFSET belongs to
"""
import struct
import sys

COFF_FIELDS = [("Machine", 2), ("NumberOfSections", 2), ("TimeDateStamp", 4),
               ("PointerToSymbolTable", 4), ("NumberOfSymbols", 4),
               ("SizeOfOptionalHeader", 2), ("Characteristics", 2)]
# The optional header up to the data directories; 32-bit images have
# BaseOfData and 4-byte sizes.
OPTIONAL_FIELDS = [("Magic", 2), ("MajorLinkerVersion", 1), ("MinorLinkerVersion", 1),
                   ("SizeOfCode", 4), ("SizeOfInitializedData", 4), ("SizeOfUninitializedData", 4),
                   ("AddressOfEntryPoint", 4), ("BaseOfCode", 4), ("BaseOfData", 4), ("ImageBase", 8),
                   ("SectionAlignment", 4), ("FileAlignment", 4), ("MajorOperatingSystemVersion", 2),
                   ("MinorOperatingSystemVersion", 2), ("MajorImageVersion", 2), ("MinorImageVersion", 2),
                   ("MajorSubsystemVersion", 2), ("MinorSubsystemVersion", 2), ("Win32VersionValue", 4),
                   ("SizeOfImage", 4), ("SizeOfHeaders", 4), ("CheckSum", 4), ("Subsystem", 2),
                   ("DllCharacteristics", 2), ("SizeOfStackReserve", 8), ("SizeOfStackCommit", 8),
                   ("SizeOfHeapReserve", 8), ("SizeOfHeapCommit", 8), ("LoaderFlags", 4),
                   ("NumberOfRvaAndSizes", 4)]
DIRECTORIES = ["Export", "Import", "Resource", "Exception", "Security", "BaseReloc", "Debug",
               "Architecture", "GlobalPtr", "TLS", "LoadConfig", "BoundImport", "IAT",
               "DelayImport", "CLRRuntime", "Reserved"]
SECTION_FIELDS = [("Name", 8), ("VirtualSize", 4), ("VirtualAddress", 4), ("SizeOfRawData", 4),
                  ("PointerToRawData", 4), ("PointerToRelocations", 4), ("PointerToLinenumbers", 4),
                  ("NumberOfRelocations", 2), ("NumberOfLinenumbers", 2), ("Characteristics", 4)]
EXPORT_FIELDS = [("Characteristics", 4), ("TimeDateStamp", 4), ("MajorVersion", 2),
                 ("MinorVersion", 2), ("Name", 4), ("Base", 4), ("NumberOfFunctions", 4),
                 ("NumberOfNames", 4), ("AddressOfFunctions", 4), ("AddressOfNames", 4),
                 ("AddressOfNameOrdinals", 4)]


class NotPE(Exception):
    pass


class PE:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ" or len(data) < 64:
            raise NotPE("no MZ header")
        (self.pe,) = struct.unpack_from("<I", data, 60)
        if data[self.pe:self.pe + 4] != b"PE\0\0":
            raise NotPE("no PE signature")
        self.coff = self.pe + 4
        self.machine, nsections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, self.coff)
        self.optional = self.coff + 20
        (self.magic,) = struct.unpack_from("<H", data, self.optional)
        self.wide = self.magic == 0x20B
        self.layout = []  # (offset, size, name) of every header field
        at = self.optional
        for name, size in OPTIONAL_FIELDS:
            if self.wide and name == "BaseOfData":
                continue
            if not self.wide and size == 8:
                size = 4
            self.layout.append((at, size, "optional header " + name))
            at += size
        self.directories = at
        self.sections_at = self.optional + optional_size
        self.sections = []
        for i in range(nsections):
            base = self.sections_at + 40 * i
            name = data[base:base + 8].rstrip(b"\0").decode("latin-1")
            vsize, va, rsize, raw = struct.unpack_from("<IIII", data, base + 8)
            (flags,) = struct.unpack_from("<I", data, base + 36)
            self.sections.append((name, vsize, va, rsize, raw, flags))
            field_at = base
            for fname, size in SECTION_FIELDS:
                self.layout.append((field_at, size, f"section header {name} {fname}"))
                field_at += size
        at = self.coff
        for name, size in COFF_FIELDS:
            self.layout.append((at, size, "COFF header " + name))
            at += size
        self.layout.append((60, 4, "DOS header e_lfanew"))
        for i, name in enumerate(DIRECTORIES):
            self.layout.append((self.directories + 8 * i, 8, f"data directory {name}"))
        export = self.export_directory()
        if export is not None:
            at = export
            for name, size in EXPORT_FIELDS:
                self.layout.append((at, size, "export directory " + name))
                at += size

    def u16(self, at):
        return struct.unpack_from("<H", self.data, at)[0]

    def u32(self, at):
        return struct.unpack_from("<I", self.data, at)[0]

    def offset(self, rva):
        for _, vsize, va, rsize, raw, _ in self.sections:
            if va <= rva < va + max(vsize, rsize):
                return rva - va + raw
        raise NotPE(f"RVA 0x{rva:x} is in no section")

    def dll_characteristics(self):
        for at, _, name in self.layout:
            if name == "optional header DllCharacteristics":
                return self.u16(at)

    def export_directory(self):
        rva, size = struct.unpack_from("<II", self.data, self.directories)
        return self.offset(rva) if rva and size else None

    def exports(self):
        """(ordinal base, [(ordinal, name or None, address RVA)])."""
        at = self.export_directory()
        if at is None:
            return None, []
        base, functions, names, eat, ent, eot = struct.unpack_from("<IIIIII", self.data, at + 16)
        named = {}
        for i in range(names):
            index = self.u16(self.offset(eot) + 2 * i)
            name_at = self.offset(self.u32(self.offset(ent) + 4 * i))
            named[index] = self.data[name_at:self.data.index(b"\0", name_at)].decode("latin-1")
        return base, [(base + i, named.get(i), self.u32(self.offset(eat) + 4 * i)) for i in range(functions)]

    def field(self, offset):
        """(name, start, size) of the header field holding a byte of the file;
        size 0 where the byte is in a section's data or elsewhere."""
        for at, size, name in self.layout:
            if at <= offset < at + size:
                return name, at, size
        for name, _, va, rsize, raw, _ in self.sections:
            if raw <= offset < raw + rsize:
                return f"section {name} +0x{offset - raw:x} (RVA 0x{va + offset - raw:x})", offset, 0
        headers = offset < self.sections_at + 40 * len(self.sections)
        return ("the headers" if headers else "past the sections"), offset, 0


def facts(pe):
    yield f"machine {pe.machine:04x}"
    yield f"magic {pe.magic:x}"
    yield f"dllcharacteristics {pe.dll_characteristics():04x}"
    for name, _, _, _, _, flags in pe.sections:
        yield f"section {name} {flags:08x}"
    base, exports = pe.exports()
    if base is not None:
        yield f"export-base {base}"
    for ordinal, name, address in exports:
        yield f"export {ordinal} {name or '-'}" if address else f"export {ordinal} empty"


def main():
    if len(sys.argv) < 3 or sys.argv[1] not in ("facts", "field"):
        sys.exit(__doc__.strip())
    try:
        with open(sys.argv[2], "rb") as f:
            pe = PE(f.read())
        if sys.argv[1] == "facts":
            print("\n".join(facts(pe)))
        else:
            print(pe.field(int(sys.argv[3], 0))[0])
    except (NotPE, struct.error, ValueError) as e:
        sys.exit(f"{sys.argv[2]}: not a PE file we can read ({e})")


if __name__ == "__main__":
    main()
