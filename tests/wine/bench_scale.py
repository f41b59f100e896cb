#!/usr/bin/env python3
"""Removal of a large queue manager's data in Wine's installer engine, two ways: the rows stacked
by iwiStackDeleteQMgrs at /x, and the same rows as the package's own RemoveFile table. Never part
of the test run; scripts/bench-wine-scale.sh builds what it needs and runs it.

Each case gets a machine of its own (a component goes at /x only when no other product has it):
the queue manager QM1 of hxs.ini with --files files in --folders folders (its data folder, its
subfolders and its log folder), a package installing the queue-manager component, /i, then /x
with verbose log. The times come from the log's "Action start/ended" lines (whole seconds) and,
finer, from watching the log grow while msiexec runs.
"""

import argparse
import importlib.util
import re
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

sys.dont_write_bytecode = True
HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import zebwine  # noqa: E402


def load_handover():
    """The hand-over scenarios' package tables: the queue-manager component and its file."""
    found = importlib.util.spec_from_file_location("scenarios_handover", HERE / "scenarios" / "handover.py")
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


handover = load_handover()

SEQUENCE = [("iwiStackDeleteQMgrs", 'REMOVE="ALL"', 1450)]
WATCHED = ("iwiStackDeleteQMgrs", "RemoveFiles")
STANZA = "QueueManager:\r\n   Name=QM1\r\n   Directory=QM1\r\n   InstallationName=Inst1\r\n\r\n"


def layout(t, files, folders):
    """The queue manager's folders (Windows paths), files spread evenly over them; returns the
    data folder, the folders and the Unix roots to count afterwards."""
    data, log = t.folder("data"), t.folder("log")
    t.write(f"{data}\\hxs.ini", handover.QM_INI.format(data=data, log=log) + STANZA)
    qm = f"{data}\\qmgrs\\QM1"
    qm_log = f"{log}\\QM1"
    subfolders = [f"{qm}\\q{i:05d}" for i in range(1, folders - 1)]
    all_folders = [qm, *subfolders, qm_log]
    t.write(f"{qm}\\qm.ini", f"Log:\r\n   LogPath={qm_log}\\\r\n")
    for n, folder in enumerate(all_folders):
        count = files // folders + (1 if n < files % folders else 0) - (1 if folder == qm else 0)
        target = t.unix(folder)
        target.mkdir(parents=True, exist_ok=True)
        for i in range(count):
            (target / f"f{i:05d}.dat").write_bytes(b"x")
    return data, qm, qm_log, subfolders, [t.unix(qm), t.unix(qm_log)]


def static_rows(qm, qm_log, subfolders):
    """The rows iwiStackDeleteQMgrs stacks, in its order: a folder's "*" row, its subfolders',
    then its own row (RemoveFile rows, and a Property row per folder)."""
    removes, props = [], []

    def add(folder, name):
        prop = f"ZEBSCALEDIR{len(props) if folder not in seen else seen[folder]}"
        if folder not in seen:
            seen[folder] = len(props)
            props.append(f"{prop}\t{folder}")
        removes.append(f"ZebScale{len(removes):06d}\t{handover.QM_COMPONENT}\t{name}\t{prop}\t2")

    seen = {}
    add(qm, "*")
    for sub in subfolders:
        add(sub, "*")
        add(sub, "")
    add(qm, "")
    add(qm_log, "*")
    add(qm_log, "")
    tables = {
        "RemoveFile": ["FileKey\tComponent_\tFileName\tDirProperty\tInstallMode", "s72\ts72\tL255\ts72\ti2",
                       "RemoveFile\tFileKey", *removes],
        "Property": ["Property\tValue", "s72\tl0", "Property\tProperty", *props],
    }
    return tables, len(removes)


def count(roots):
    files = folders = 0
    for root in roots:
        if root.exists():
            folders += 1
            for p in root.rglob("*"):
                if p.is_dir():
                    folders += 1
                else:
                    files += 1
    return files, folders


class LogWatch(threading.Thread):
    """Notes when each watched action's start and end lines appear in a growing verbose log."""

    def __init__(self, path):
        super().__init__(daemon=True)
        self.path = path
        # (action, "start"|"ended") -> monotonic time of the last sighting: the script's run of an
        # action comes after its scheduling run
        self.seen = {}
        self.stop = threading.Event()
        self.rx = re.compile(rf"^Action (start|ended) [\d:]+: ({'|'.join(WATCHED)})\.")

    def run(self):
        offset, pending = 0, b""
        while True:
            done = self.stop.is_set()
            if self.path.exists():
                with open(self.path, "rb") as f:
                    f.seek(offset)
                    chunk = f.read()
                offset += len(chunk)
                now = time.monotonic()
                lines = (pending + chunk).split(b"\n")
                pending = lines.pop()
                for line in lines:
                    m = self.rx.match(line.decode("latin-1"))
                    if m:
                        self.seen[(m.group(2), m.group(1))] = now
            if done:
                return
            time.sleep(0.01)

    def span(self, action):
        start, end = self.seen.get((action, "start")), self.seen.get((action, "ended"))
        return end - start if start is not None and end is not None else None


def msiexec(t, mode, package, properties=None, timeout=1800):
    """msiexec with its wall time and the watched actions' times."""
    log = t.root / "logs" / f"msiexec-{mode[1:]}.log"
    log.parent.mkdir(parents=True, exist_ok=True)
    args = ["msiexec", mode, t.prefix.winpath(package), "/qn", "/l*v", t.prefix.winpath(log)]
    args += [f"{k}={v}" for k, v in (properties or {}).items()]
    watch = LogWatch(log)
    watch.start()
    with tempfile.TemporaryFile() as out:
        started = time.monotonic()
        proc = subprocess.Popen([str(zebwine.WINE), *args], env=t.prefix.env, stdin=subprocess.DEVNULL,
                                stdout=out, stderr=out)
        try:
            rc = proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
            raise zebwine.EngineHang(f"msiexec {mode} did not end within {timeout}s") from None
        wall = time.monotonic() - started
    watch.stop.set()
    watch.join()
    result = zebwine.MsiexecResult(zebwine.windows_code(rc), log)
    result.expect_code(0)
    return result, wall, watch


def log_seconds(result, action):
    """An action's time from its log lines, whole seconds (the last run of it). Wine writes the
    hour on a 12-hour clock."""
    start = end = None
    for line in result.log_lines:
        m = re.match(rf"^Action (start|ended) (\d+):(\d\d):(\d\d): {re.escape(action)}\.", line)
        if m:
            secs = int(m.group(2)) * 3600 + int(m.group(3)) * 60 + int(m.group(4))
            if m.group(1) == "start":
                start = secs
            else:
                end = secs
    return (end - start) % 43200 if start is not None and end is not None else None


def removal_rows(result):
    """Folders of the RemoveFile rows the engine took, the queue manager's own."""
    return [line.split("Directory: ", 1)[1] for line in result.action_lines("RemoveFiles")
            if line.startswith("File: ") and "Directory: " in line and "\\zebtest\\" in line]


def run_case(run, packages, case, files, folders, keep, trace_files):
    prefix = run.new_prefix(f"scale-{case}")
    try:
        t = zebwine.Scenario(run, "scale", prefix, packages)
        data, qm, qm_log, subfolders, roots = layout(t, files, folders)
        props = {"ZEBINSTALLINSTANCENAME": "Inst1", "ZEBDATFOLDER": data, "ZEBPREVDAT": data}
        if trace_files:
            # As the kit's logging set-up leaves them: every line also goes to both files.
            logs = t.folder("logs")
            props.update(ZEBUSERTRACEPATH=f"{logs}\\zebtrace.log", ZEBUSERLOGPATH=f"{logs}\\zeblog.log")
        tables = handover.tables()
        if case == "static":
            extra, expected_rows = static_rows(qm, qm_log, subfolders)
            tables.update(extra)
        msi = t.package(sequence=SEQUENCE, properties=props, tables=tables)
        for source in (msi.parent / "Corvane" / "HX" / "bin64", msi.parent):
            source.mkdir(parents=True, exist_ok=True)
            (source / "ZEBMTSXATMC.DLL").write_bytes(handover.DUMMY.encode("latin-1"))
        msiexec(t, "/i", msi)
        before = count(roots)
        removal = {"ZEBLEAVEQMDATAREMOVE": "delete"} if case == "stacked" else {}
        result, wall, watch = msiexec(t, "/x", msi, removal)
        after = count(roots)
        stack = result.action_trace("iwiStackDeleteQMgrs")
        stacked = stack.count(r"^Stacking file\(s\) for deletion: ") + stack.count(r"^Stacking folder for deletion: ")
        zebwine.expect(not stack.has(r"^\*\*\*"), f"iwiStackDeleteQMgrs failed:\n{stack.dump()}")
        if case == "stacked":
            expected_rows = stacked
        else:
            zebwine.expect(stacked == 0, f"the static package stacked {stacked} rows")
        taken = removal_rows(result)
        zebwine.expect(len(taken) == expected_rows,
                       f"{case}: RemoveFiles took {len(taken)} rows of the queue manager, expected {expected_rows}")
        return {
            "case": case, "rows": expected_rows, "wall": wall, "folders_taken": sorted(set(taken)),
            "remove_log": log_seconds(result, "RemoveFiles"), "remove_seen": watch.span("RemoveFiles"),
            "stack_log": log_seconds(result, "iwiStackDeleteQMgrs"), "stack_seen": watch.span("iwiStackDeleteQMgrs"),
            "before": before, "after": after, "log": result.log_path, "trace_lines": len(stack),
            "trace_files": trace_files,
        }
    finally:
        prefix.close(remove=not keep)


def fmt(value, unit="s"):
    return "-" if value is None else f"{value:.2f} {unit}"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--windows-build", default=str(HERE.parents[1] / "build" / "windows"))
    parser.add_argument("--work", default="/tmp/zeb-bench-scale")
    parser.add_argument("--files", type=int, default=10000)
    parser.add_argument("--folders", type=int, default=500)
    parser.add_argument("--no-trace-files", action="store_true",
                        help="leave ZEBUSERTRACEPATH and ZEBUSERLOGPATH empty: lines go to the installer log alone")
    parser.add_argument("--keep", action="store_true", help="keep the prefixes (logs under C:\\zebtest)")
    args = parser.parse_args()
    if args.folders < 2 or args.files < args.folders:
        parser.error("--folders must be at least 2 and --files at least --folders")

    run = zebwine.Run(args.windows_build, args.work)
    missing = run.missing()
    if missing:
        print("SKIP: missing " + "; ".join(missing))
        return zebwine.SKIP
    t0 = time.monotonic()
    run.setup(fresh=False)
    packages = zebwine.Packages(run.library, run.work / "packages")
    results = [run_case(run, packages, case, args.files, args.folders, args.keep,
                        not args.no_trace_files) for case in ("stacked", "static")]
    stacked, static = results
    zebwine.expect(stacked["folders_taken"] == static["folders_taken"],
                   "the static rows name other folders than the stacked ones")

    print(f"Removal of {args.files} files in {args.folders} folders under Wine ({time.strftime('%Y-%m-%d')})")
    print(f"{'case':8} {'rows':>5} {'msiexec /x':>11} {'RemoveFiles':>12} {'(log)':>6} "
          f"{'iwiStackDeleteQMgrs':>20} {'(log)':>6} {'files left':>11} {'folders left':>13}")
    for r in results:
        print(f"{r['case']:8} {r['rows']:>5} {fmt(r['wall']):>11} {fmt(r['remove_seen']):>12} "
              f"{r['remove_log'] if r['remove_log'] is not None else '-':>5}s {fmt(r['stack_seen']):>20} "
              f"{r['stack_log'] if r['stack_log'] is not None else '-':>5}s "
              f"{r['after'][0]:>5}/{r['before'][0]:<5} {r['after'][1]:>6}/{r['before'][1]:<6}")
    print(f"ratio stacked/static: msiexec /x {stacked['wall'] / static['wall']:.2f}", end="")
    if stacked["remove_seen"] and static["remove_seen"]:
        print(f", RemoveFiles {stacked['remove_seen'] / static['remove_seen']:.2f}", end="")
    print(" (goal: at most 2)")
    if stacked["stack_seen"] is not None and static["stack_seen"] is not None and stacked["rows"]:
        # The static case runs the same action without stacking: what it takes is the engine's
        # start of a custom action and the library's reading of hxs.ini.
        per = 1e6 / stacked["rows"]
        print(f"library: iwiStackDeleteQMgrs {stacked['stack_seen'] * per:.0f} ms per 1000 rows "
              f"({stacked['rows']} rows in {stacked['stack_seen']:.2f} s); "
              f"less its run without stacking ({static['stack_seen']:.2f} s): "
              f"{(stacked['stack_seen'] - static['stack_seen']) * per:.0f} ms per 1000 rows; "
              f"{(stacked['trace_lines'] - static['trace_lines']) / stacked['rows']:.1f} trace lines per row, each a "
              "message to the engine's log"
              + (" and a line in each trace file" if stacked["trace_files"] else " (no trace files)"))
    for r in results:
        gone = (r["before"][0] - r["after"][0], r["before"][1] - r["after"][1])
        if gone == (0, 0):
            # Wine takes "*" literally and removes a folder only when its row finds it empty.
            print(f"{r['case']}: RemoveFiles removed nothing (Windows would remove every file and folder)")
        else:
            print(f"{r['case']}: RemoveFiles removed {gone[0]} files and {gone[1]} folders")
    print(f"whole run {time.monotonic() - t0:.0f} s; logs: {stacked['log']}, {static['log']}"
          + ("" if args.keep else " (removed with the prefixes; --keep keeps them)"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
