"""File operations whose outcome is the system's own, through the test-only library zebitest.dll:
deleting a file held open (sharing violation, then a delete at restart) and a copy during which
another process cancels through the shared CANCEL section, CopyFileExA's abort flag."""

import os
import shutil
import subprocess

import zebwine
from zebwine import expect, lit, scenario

SESSION_MANAGER = r"HKLM\System\CurrentControlSet\Control\Session Manager"
BIG_BYTES = 1024 * 1024 * 1024  # a copy of several seconds: long enough for another process to cancel


def test_library(t, sub):
    built = t.run.windows_build / "zebitest.dll"
    expect(built.exists(), f"{built} is missing (cmake --build --preset windows)")
    lib = t.folder(sub) + "\\zebitest.dll"
    shutil.copy2(built, t.unix(lib))
    return lib


@scenario()
def held_file_is_deleted_at_restart(t):
    lib = test_library(t, "lib")
    path = t.folder("data") + "\\held.txt"
    t.write(path, "held")
    d = t.driver(t.package(), ["--set", "ZEBTESTOP=deletelocked", "--set", f"ZEBTESTPATH={path}",
                               "--call", lib, "tstFileOperations"])
    d.expect_ok()
    expect(d.calls == [("tstFileOperations", 0)], f"calls: {d.calls}\n{d.stdout}")
    d.trace.expect_order(lit(f"***Delete file in use: '{path}'"),
                         lit(f"Stacked file for deletion upon reboot: '{path}'"),
                         lit("Delete result 1 error 32"))
    expect(t.unix(path).exists(), "the held file was deleted at once")
    # Wine keeps the request where Windows does: PendingFileRenameOperations.
    pending = (t.prefix.reg_values(SESSION_MANAGER) or {}).get("PendingFileRenameOperations", "")
    expect(path.lower() in pending.lower(), f"no restart request for {path}: {pending!r}")
    print(f"PENDING {pending}", flush=True)


@scenario()
def copy_cancelled_by_another_process(t):
    lib = test_library(t, "lib")
    source = t.folder("src") + "\\big.bin"
    target = t.folder("dst") + "\\big.bin"
    with open(t.unix(source), "wb") as f:
        f.truncate(BIG_BYTES)  # sparse on the host: quick to make, a real copy to write
    pkg = t.package()
    logs = t.root / "logs"
    logs.mkdir(parents=True, exist_ok=True)
    copier_out = logs / "copier.out"
    args = [str(zebwine.WINE), str(t.run.driver), t.prefix.winpath(pkg), "--set", "ZEBTESTOP=copy",
            "--set", f"ZEBTESTPATH={source}", "--set", f"ZEBTESTTARGET={target}",
            "--call", lib, "tstFileOperations"]
    try:
        with open(copier_out, "wb") as out:
            copier = subprocess.Popen(args, env=t.prefix.env, stdin=subprocess.DEVNULL, stdout=out,
                                      stderr=subprocess.STDOUT)
        try:
            # The second process loads the same file, so it shares the flag, and sets it once
            # the copy has begun.
            canceller = t.driver(pkg, ["--wait-file", target, "--set", "ZEBTESTOP=cancel",
                                       "--call", lib, "tstFileOperations"])
            expect(copier.poll() is None, "the copy ended before the other process cancelled")
            copier.wait(timeout=300)
        except subprocess.TimeoutExpired:
            raise zebwine.EngineHang("the copy did not end") from None
        finally:
            if copier.poll() is None:
                copier.kill()
                copier.wait()
        result = zebwine.DriverResult(copier_out.read_bytes().decode("latin-1"), copier.returncode)
        expect(canceller.calls == [("tstFileOperations", 1602)], f"canceller:\n{canceller.stdout}")
        expect(result.calls == [("tstFileOperations", 1602)], f"copier:\n{result.stdout}")
        # Windows stops the copy (1235, "***Error 1235 copying ..."). Wine 8 does not: the copy
        # completes, and the frame's cancel test turns the action's 0 into 1602.
        result.trace.expect_order(lit(f"Copying from '{source}' to '{target}'"), lit("Returning with rc 1602"))
        result.trace.expect_not(r"^\*\*\*Error")
        left = os.path.getsize(t.unix(target)) if t.unix(target).exists() else None
        expect(left == BIG_BYTES, f"the target after the cancel: {left} bytes")
        print(f"TARGET after the cancel: {left} bytes (the whole copy)", flush=True)
    finally:
        for p in (t.unix(source), t.unix(target)):
            if p.exists():
                p.unlink()
