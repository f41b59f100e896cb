"""Two processes appending to one user trace file at the same time, through the test-only
library zebitest.dll (the library's own trace writer, called by the driver)."""

import re
import shutil
import subprocess
import time

import zebwine
from zebwine import expect, scenario

LINES = 10000
TAGS = ("A", "B")
LINE_RE = re.compile(rf"^\d\d:\d\d:\d\d HXCA tstWriteTraceLines info: ([AB]) line (\d+) of {LINES}$")


def start_driver(t, package, ops, out_path):
    """A driver started without waiting for it; its output goes to a file."""
    args = [str(zebwine.WINE), str(t.run.driver), t.prefix.winpath(package), *ops]
    with open(out_path, "wb") as out:
        return subprocess.Popen(args, env=t.prefix.env, stdin=subprocess.DEVNULL, stdout=out,
                                stderr=subprocess.STDOUT)


def wait_for_text(path, text, deadline):
    while time.monotonic() < deadline:
        if path.exists() and text in path.read_bytes():
            return True
        time.sleep(0.05)
    return False


@scenario()
def two_processes_append_to_one_trace_file(t):
    built = t.run.windows_build / "zebitest.dll"
    expect(built.exists(), f"{built} is missing (cmake --build --preset windows)")
    lib = t.folder("lib") + "\\zebitest.dll"
    shutil.copy2(built, t.unix(lib))
    trace_file = t.folder("trace") + "\\shared.log"
    go = t.folder("sync") + "\\go"
    pkg = t.package()
    logs = t.root / "logs"
    logs.mkdir(parents=True, exist_ok=True)

    procs, outs = [], []
    try:
        for tag in TAGS:
            out = logs / f"driver-{tag}.out"
            ops = ["--set", f"ZEBUSERTRACEPATH={trace_file}", "--set", f"ZEBTESTLINES={LINES}",
                   "--set", f"ZEBTESTTAG={tag}", "--wait-file", go,
                   "--call", lib, "tstWriteTraceLines"]
            procs.append(start_driver(t, pkg, ops, out))
            outs.append(out)
        # Both sessions are open before either writes a line, so the writes overlap.
        deadline = time.monotonic() + 120
        for out in outs:
            if not wait_for_text(out, b"OPEN 0", deadline):
                raise zebwine.EngineHang(f"a driver did not open the package: {out.read_bytes()[-500:]!r}")
        t.write(go, "")
        started = time.monotonic()
        for p in procs:
            try:
                p.wait(timeout=max(1, deadline + 60 - time.monotonic()))
            except subprocess.TimeoutExpired:
                raise zebwine.EngineHang("a driver writing trace lines did not end") from None
        elapsed = time.monotonic() - started
    finally:
        for p in procs:
            if p.poll() is None:
                p.kill()
                p.wait()

    for tag, p, out in zip(TAGS, procs, outs):
        text = out.read_bytes().decode("latin-1")
        expect(p.returncode == 0 and "CALL tstWriteTraceLines 0" in text,
               f"driver {tag} failed ({p.returncode}):\n{text[-2000:]}")

    data = t.unix(trace_file).read_bytes().decode("latin-1")
    expect(data.endswith("\r\n"), f"the file does not end with a whole line: {data[-100:]!r}")
    lines = data[:-2].split("\r\n")
    broken = [line for line in lines if not LINE_RE.match(line)]
    expect(not broken, f"{len(broken)} lines not whole or not in the layout, first: {broken[:3]!r}")
    expect(len(lines) == 2 * LINES, f"{len(lines)} lines in the file, expected {2 * LINES}")
    for tag in TAGS:
        numbers = [int(m.group(2)) for m in map(LINE_RE.match, lines) if m.group(1) == tag]
        expect(numbers == list(range(1, LINES + 1)),
               f"the lines of process {tag} are missing, doubled or out of order")
    tags = [LINE_RE.match(line).group(1) for line in lines]
    switches = sum(1 for a, b in zip(tags, tags[1:]) if a != b)
    print(f"THROUGHPUT {2 * LINES} lines in {elapsed:.1f}s ({2 * LINES / elapsed:.0f} lines/s, "
          f"the two processes' lines interleaved {switches} times)", flush=True)
