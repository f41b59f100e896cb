#!/usr/bin/env python3
"""Merges the kit's .idt tables into a package with msitools: rows of the kit replace rows of the
same key (first column), every other row of the package stays. Stream columns (Binary) are read
from a folder named after the table beside the .idt file, as msibuild expects.

    merge_idt.py PACKAGE.msi packaging/idt/*.idt
"""
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path


def run(args, cwd=None):
    result = subprocess.run(args, cwd=cwd, capture_output=True, text=True, encoding="latin-1")
    if result.returncode != 0:
        raise SystemExit(f"merge_idt: {' '.join(map(str, args))} failed ({result.returncode}): "
                         f"{result.stderr.strip()}")
    return result.stdout


def merge(msi, idt):
    lines = idt.read_text(encoding="latin-1").splitlines()
    header, rows = lines[:3], [r for r in lines[3:] if r.strip()]
    table = header[2].split("\t", 1)[0]
    if table in run(["msiinfo", "tables", str(msi)]).split():
        exported = run(["msiinfo", "export", str(msi), table]).splitlines()
        if exported[:1] != header[:1]:
            raise SystemExit(f"merge_idt: the package's {table} has columns {exported[:1]}, the kit's {header[:1]}")
        keys = {r.split("\t", 1)[0] for r in rows}
        rows = [r for r in exported[3:] if r and r.split("\t", 1)[0] not in keys] + rows
    with tempfile.TemporaryDirectory() as work:
        work = Path(work)
        (work / idt.name).write_text("\r\n".join(header + rows) + "\r\n", encoding="latin-1")
        streams = idt.parent / table
        if streams.is_dir():
            shutil.copytree(streams, work / table)
        run(["msibuild", str(msi.resolve()), "-i", idt.name], cwd=work)


def main(argv):
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    msi = Path(argv[1])
    for name in argv[2:]:
        merge(msi, Path(name))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
