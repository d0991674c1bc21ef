#!/usr/bin/python3
"""Checks DLL files without running them: the PE machine, exactly the four exports of an
in-process server under their plain names, and imports from system DLLs only (the runtime is
linked in statically).

  check_pe.py DLL MACHINE [DLL MACHINE ...]      MACHINE is i386 or x86_64
"""
import struct
import sys

MACHINES = {"i386": 0x14C, "x86_64": 0x8664}
EXPORTS = ["DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer"]
SYSTEM_DLLS = {"advapi32.dll", "kernel32.dll", "msvcrt.dll", "ole32.dll", "oleaut32.dll",
               "user32.dll", "ws2_32.dll", "wsock32.dll",
               "secur32.dll", "crypt32.dll"}


class Pe:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        self.machine, sections = struct.unpack_from("<HH", data, pe + 4)
        optional_size = struct.unpack_from("<H", data, pe + 20)[0]
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        directories = optional + (96 if magic == 0x10B else 112)
        self.export_rva = struct.unpack_from("<I", data, directories)[0]
        self.import_rva = struct.unpack_from("<I", data, directories + 8)[0]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            size, rva, _, raw = struct.unpack_from("<IIII", data, table + 40 * i + 8)
            self.sections.append((rva, size, raw))

    def offset(self, rva):
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError("address %#x outside every section" % rva)

    def text(self, rva):
        at = self.offset(rva)
        return self.data[at:self.data.index(b"\0", at)].decode("ascii")

    def exports(self):
        if not self.export_rva:
            return []
        at = self.offset(self.export_rva)
        count = struct.unpack_from("<I", self.data, at + 24)[0]  # number of names
        names = struct.unpack_from("<I", self.data, at + 32)[0]  # their table
        return [self.text(struct.unpack_from("<I", self.data, self.offset(names) + 4 * i)[0])
                for i in range(count)]

    def imports(self):
        found = []
        at = self.offset(self.import_rva)
        while True:
            name_rva = struct.unpack_from("<I", self.data, at + 12)[0]
            if name_rva == 0:
                return found
            found.append(self.text(name_rva))
            at += 20


def check(path, machine):
    problems = []
    try:
        with open(path, "rb") as f:
            pe = Pe(f.read())
    except (OSError, ValueError) as error:
        return ["%s: %s" % (path, error)]
    if pe.machine != MACHINES[machine]:
        problems.append("%s: machine %#x, not %s" % (path, pe.machine, machine))
    if sorted(pe.exports()) != EXPORTS:
        problems.append("%s: exports %s" % (path, pe.exports()))
    foreign = [name for name in pe.imports() if name.lower() not in SYSTEM_DLLS]
    if foreign:
        problems.append("%s: imports from %s" % (path, foreign))
    return problems


def main(args):
    if not args or len(args) % 2:
        print(__doc__)
        return 2
    problems = []
    for path, machine in zip(args[0::2], args[1::2]):
        problems += check(path, machine)
        print("checked %s (%s)" % (path, machine))
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
