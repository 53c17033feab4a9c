#!/usr/bin/env python3
"""Checks that a Windows program loads on every Windows it is for.

check_imports.py --arch x86|x64 --data DIR PROGRAM.exe...

Reads each program's import tables (and delay-load tables) and PE header and
compares them with the lists in DIR: one file per DLL naming, for each function
the programs may import, the first system of each Windows family that exports
it. Fails, naming the function and the oldest target system that lacks it,
when a program imports a function or a DLL that a target system does not have,
or when its header asks for a newer Windows than the oldest target.
"""
import argparse
import os
import struct
import sys

# The systems each program must load on, oldest first within each family.
TARGETS = {
    "x86": [("9x", "98"), ("9x", "98SE"), ("9x", "Me"), ("nt", "4.0SP6"), ("nt", "2000"), ("nt", "XP")],
    "x64": [("nt", "XP x64")],
}
# Versions of each family in the order they appeared, as the data files name them.
ORDER = {
    "9x": ["95", "98", "98SE", "Me"],
    "nt": ["3.1", "3.5", "3.51", "4.0", "4.0SP3", "4.0SP6", "2000", "XP", "XP x64", "2003",
           "Vista", "7", "8", "8.1", "10"],
}
LABEL = {"98": "Windows 98", "98SE": "Windows 98 SE", "Me": "Windows Me", "4.0SP6": "Windows NT 4.0 SP6",
         "2000": "Windows 2000", "XP": "Windows XP", "XP x64": "Windows XP x64"}
# Header versions (subsystem and OS) the programs must carry.
HEADER_VERSION = {"x86": (4, 0), "x64": (5, 2)}
MACHINE = {"x86": 0x14C, "x64": 0x8664}


class PeError(Exception):
    pass


class Pe:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        d = self.data
        if len(d) < 0x40 or d[:2] != b"MZ":
            raise PeError("not an MZ file")
        pe = struct.unpack_from("<I", d, 0x3C)[0]
        if pe + 24 > len(d) or d[pe:pe + 4] != b"PE\0\0":
            raise PeError("no PE header")
        self.machine, sections, _, _, _, opt_size, _ = struct.unpack_from("<HHIIIHH", d, pe + 4)
        opt = pe + 24
        magic = struct.unpack_from("<H", d, opt)[0]
        if magic == 0x10B:
            self.pe32_plus = False
            dirs = opt + 96
        elif magic == 0x20B:
            self.pe32_plus = True
            dirs = opt + 112
        else:
            raise PeError("unknown optional header magic %#x" % magic)
        self.os_version = struct.unpack_from("<HH", d, opt + 40)
        self.subsystem_version = struct.unpack_from("<HH", d, opt + 48)
        self.directories = [struct.unpack_from("<II", d, dirs + 8 * i) for i in range(16)]
        self.sections = []
        table = opt + opt_size
        for i in range(sections):
            _, vsize, vaddr, rsize, roff = struct.unpack_from("<8sIIII", d, table + 40 * i)
            self.sections.append((vaddr, max(vsize, rsize), roff, rsize))

    def offset(self, rva):
        for vaddr, size, roff, rsize in self.sections:
            if vaddr <= rva < vaddr + size:
                if rva - vaddr >= rsize:
                    raise PeError("RVA %#x lies in uninitialised data" % rva)
                return roff + rva - vaddr
        raise PeError("RVA %#x is in no section" % rva)

    def cstring(self, rva):
        start = self.offset(rva)
        end = self.data.index(b"\0", start)
        return self.data[start:end].decode("ascii")

    def thunks(self, rva):
        """Names (or '#ordinal') of one import lookup table."""
        size, fmt, flag = (8, "<Q", 1 << 63) if self.pe32_plus else (4, "<I", 1 << 31)
        pos = self.offset(rva)
        while True:
            value = struct.unpack_from(fmt, self.data, pos)[0]
            if value == 0:
                return
            if value & flag:
                yield "#%d" % (value & 0xFFFF)
            else:
                yield self.cstring((value & 0x7FFFFFFF) + 2)
            pos += size

    def imports(self):
        """{dll name (lower case): set of function names}, normal and delay-loaded."""
        result = {}
        rva, _ = self.directories[1]
        if rva:
            pos = self.offset(rva)
            while True:
                lookup, _, _, name, first = struct.unpack_from("<IIIII", self.data, pos)
                if name == 0:
                    break
                dll = self.cstring(name).lower()
                result.setdefault(dll, set()).update(self.thunks(lookup or first))
                pos += 20
        rva, _ = self.directories[13]
        if rva:
            pos = self.offset(rva)
            while True:
                fields = struct.unpack_from("<8I", self.data, pos)
                if fields[1] == 0:
                    break
                dll = self.cstring(fields[1]).lower()
                result.setdefault(dll, set()).update(self.thunks(fields[4]))
                pos += 32
        return result


def load_lists(folder):
    """{dll: {function: {"9x": version or None, "nt": version or None}}}"""
    lists = {}
    for entry in sorted(os.listdir(folder)):
        if not entry.endswith(".txt"):
            continue
        dll = entry[:-4].lower()
        functions = lists.setdefault(dll, {})
        with open(os.path.join(folder, entry), encoding="utf-8") as f:
            for number, line in enumerate(f, 1):
                line = line.split("#", 1)[0].strip()
                if not line:
                    continue
                fields = [x.strip() for x in line.split("|")]
                if len(fields) != 3:
                    raise SystemExit("%s:%d: expected 'function | 9x | nt'" % (entry, number))
                name, first_9x, first_nt = fields
                since = {}
                for family, version in (("9x", first_9x), ("nt", first_nt)):
                    version = version.rstrip("*")
                    if version == "-":
                        since[family] = None
                    elif version in ORDER[family]:
                        since[family] = version
                    else:
                        raise SystemExit("%s:%d: unknown %s version %r" % (entry, number, family, version))
                functions[name] = since
    return lists


def has(since, family, system):
    first = since[family]
    return first is not None and ORDER[family].index(first) <= ORDER[family].index(system)


def check(path, arch, lists):
    faults = []
    try:
        pe = Pe(path)
        imports = pe.imports()
    except (PeError, struct.error, ValueError) as e:
        return ["%s: cannot read the PE file: %s" % (path, e)]
    name = os.path.basename(path)
    if pe.machine != MACHINE[arch]:
        faults.append("%s: machine %#x is not %s" % (name, pe.machine, arch))
    want = HEADER_VERSION[arch]
    for label, got in (("subsystem version", pe.subsystem_version), ("OS version", pe.os_version)):
        if tuple(got) != want:
            faults.append("%s: %s %d.%d, expected %d.%d" % (name, label, got[0], got[1], *want))
    for dll in sorted(imports):
        if dll not in lists:
            faults.append("%s: imports %s, which is not a DLL of Windows listed here" % (name, dll))
            continue
        for function in sorted(imports[dll]):
            since = lists[dll].get(function)
            if since is None:
                faults.append("%s: %s!%s is not in the list (add it with its documented first systems)"
                              % (name, dll, function))
                continue
            for family, system in TARGETS[arch]:
                if not has(since, family, system):
                    faults.append("%s: %s!%s is missing on %s" % (name, dll, function, LABEL.get(system, system)))
                    break
    return faults


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--arch", choices=sorted(TARGETS), required=True)
    parser.add_argument("--data", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "dlls"))
    parser.add_argument("--list", action="store_true", help="print the imports and exit")
    parser.add_argument("programs", nargs="+")
    args = parser.parse_args()
    if args.list:
        for path in args.programs:
            for dll, functions in sorted(Pe(path).imports().items()):
                for function in sorted(functions):
                    print(dll, function)
        return 0
    lists = load_lists(args.data)
    faults = []
    for path in args.programs:
        faults += check(path, args.arch, lists)
    for fault in faults:
        print(fault)
    if faults:
        return 1
    systems = ", ".join(LABEL[s] for _, s in TARGETS[args.arch])
    print("imports: %s load on %s" % (", ".join(os.path.basename(p) for p in args.programs), systems))
    return 0


if __name__ == "__main__":
    sys.exit(main())
