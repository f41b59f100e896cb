"""Checks that the actions the library defines, zebiwicn.def and a built library's exports are the
same set of names. An action left out of the .def builds and passes every native test, yet the
installer engine cannot find it; an extra export in the shipped DLL is a test hook that escaped.

    check_exports.py --sources DIR --def FILE [--so LIB --nm NM] [--dll DLL]

Exit status: 0 the sets agree, 1 they differ (each difference listed), 77 the DLL to check is not
built (skipped).
"""

import argparse
import re
import struct
import subprocess
import sys
from pathlib import Path

# The native loader calls DllMain of the shared object, and finds the cancel flag of each loaded
# copy and its own string table by name (the Windows DLL has its CANCEL section and a STRINGTABLE
# resource instead).
NATIVE_EXTRAS = {"DllMain", "g_lCancel", "winsim_resource_strings"}

DEF_KEYWORDS = {"LIBRARY", "NAME", "DESCRIPTION", "STACKSIZE", "HEAPSIZE", "SECTIONS", "VERSION",
                "IMPORTS", "EXPORTS"}


def strip_comments(text):
    """C++ text without its comments; string and character literals kept as they are."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if c in "\"'":
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == "\\" else 1
            out.append(text[i:j + 1])
            i = j + 1
        elif text.startswith("//", i):
            i = text.find("\n", i)
            i = n if i < 0 else i
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            i = n if end < 0 else end + 2
            out.append(" ")
        else:
            out.append(c)
            i += 1
    return "".join(out)


ACTION_DEFINITION = re.compile(r"\bZEB_ACTION\s+(\w+)\s*\([^()]*\)\s*\{")


def defined_actions(source_texts):
    """Names of the actions defined (not only declared) with ZEB_ACTION."""
    names = set()
    for text in source_texts:
        names.update(ACTION_DEFINITION.findall(strip_comments(text)))
    return names


def def_exports(text):
    """Exported names of a module-definition file: the EXPORTS entries, "name", "name @n",
    "name=internal", with any PRIVATE, DATA or NONAME after them; ";" starts a comment."""
    names = []
    in_exports = False
    for raw in text.splitlines():
        line = raw.split(";", 1)[0].strip()
        if not line:
            continue
        word = line.split()[0]
        if word.upper() in DEF_KEYWORDS:
            in_exports = word.upper() == "EXPORTS"
            rest = line[len(word):].strip()
            if in_exports and rest:
                names.append(re.split(r"[\s=@]", rest, maxsplit=1)[0])
            continue
        if in_exports:
            names.append(re.split(r"[\s=@]", line, maxsplit=1)[0])
    return names


def pe_exports(data):
    """Names in the export directory of a PE image, and how many exports have no name."""
    if data[:2] != b"MZ":
        raise ValueError("not a PE image (no MZ header)")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE image (no PE signature)")
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + {0x10B: 96, 0x20B: 112}[magic]
    count = struct.unpack_from("<I", data, directories - 4)[0]
    if count == 0:
        return [], 0
    export_rva, export_size = struct.unpack_from("<II", data, directories)
    if export_rva == 0 or export_size == 0:
        return [], 0
    table = optional + optional_size
    spans = []
    for k in range(sections):
        vsize, va, raw_size, raw_at = struct.unpack_from("<IIII", data, table + 40 * k + 8)
        spans.append((va, max(vsize, raw_size), raw_at))

    def at(rva):
        for va, size, raw_at in spans:
            if va <= rva < va + size:
                return rva - va + raw_at
        raise ValueError("RVA 0x%x lies in no section" % rva)

    def c_string(rva):
        start = at(rva)
        return data[start:data.index(b"\0", start)].decode("ascii")

    (functions, named, functions_rva, names_rva) = struct.unpack_from("<20xIIII", data, at(export_rva))
    addresses = struct.unpack_from("<%dI" % functions, data, at(functions_rva)) if functions else ()
    names = [c_string(struct.unpack_from("<I", data, at(names_rva) + 4 * k)[0]) for k in range(named)]
    unnamed = sum(1 for a in addresses if a) - named
    return names, max(unnamed, 0)


def so_exports(nm, path):
    """Defined dynamic symbols of a shared object, as nm lists them."""
    out = subprocess.run([nm, "-D", "--defined-only", str(path)], check=True, capture_output=True,
                         text=True).stdout
    return {fields[-1] for fields in (line.split() for line in out.splitlines()) if len(fields) >= 3}


def differences(actions, exported, what, extras=frozenset()):
    """Lines describing how an export list differs from the actions (empty when it does not)."""
    lines = []
    wanted = set(actions) | set(extras)
    seen = set()
    for name in exported:
        if name in seen:
            lines.append("%s lists %s twice" % (what, name))
        seen.add(name)
    missing = sorted(wanted - seen)
    extra = sorted(seen - wanted)
    if missing:
        lines.append("%s lacks: %s" % (what, ", ".join(missing)))
    if extra:
        lines.append("%s has exports that are no action: %s" % (what, ", ".join(extra)))
    return lines


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sources", required=True, type=Path, help="folder of the library's .cpp files")
    parser.add_argument("--def", dest="def_file", required=True, type=Path,
                        help="the module-definition file")
    parser.add_argument("--so", type=Path, help="native shared object to check")
    parser.add_argument("--nm", default="nm", help="nm program for --so")
    parser.add_argument("--dll", type=Path, help="Windows DLL to check")
    args = parser.parse_args(argv)

    actions = defined_actions(p.read_text(errors="replace") for p in sorted(args.sources.glob("*.cpp")))
    if not actions:
        print("FAIL no ZEB_ACTION definitions found in %s" % args.sources)
        return 1
    listed = def_exports(args.def_file.read_text())
    problems = differences(actions, listed, args.def_file.name)
    print("%d actions defined in %s" % (len(actions), args.sources))

    if args.so:
        problems += differences(actions, so_exports(args.nm, args.so), args.so.name, NATIVE_EXTRAS)
    if args.dll:
        if not args.dll.is_file():
            print("SKIP %s is not built (cmake --preset windows && cmake --build --preset windows)"
                  % args.dll)
            return 77
        names, unnamed = pe_exports(args.dll.read_bytes())
        problems += differences(actions, names, args.dll.name)
        if unnamed:
            problems.append("%s has %d exports by ordinal only" % (args.dll.name, unnamed))
        if set(names) != set(listed):
            problems.append("%s does not export what %s lists: a stale build? "
                            "(cmake --build --preset windows)" % (args.dll.name, args.def_file.name))

    for line in problems:
        print("FAIL " + line)
    if not problems:
        print("OK " + ", ".join(str(p.name) for p in [args.def_file, args.so, args.dll] if p))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
