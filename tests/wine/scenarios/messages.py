"""The language library, message boxes, the splash actions and the wait with progress inside
Wine's installer engine (no display: no splash window, message boxes return at once)."""

import re
import shutil
import time
from pathlib import Path

from zebwine import expect, lit, scenario

TABLE = Path(__file__).resolve().parents[3] / "install" / "pc" / "winnt" / "msi" / "zebstrings.txt"
NO_LIBRARY = "Language DLL has not yet been created, unable to load NLS string."


def table_strings(module):
    """The texts of one module of the string table, escapes undone."""
    escapes = {"n": "\n", "r": "\r", "t": "\t", "\\": "\\"}
    out = {}
    for line in TABLE.read_text(encoding="ascii").splitlines():
        m = re.match(rf"^{module} (\d+) (.+)$", line)
        if m:
            out[int(m.group(1))] = re.sub(r"\\(.)", lambda e: escapes[e.group(1)], m.group(2))
    return out


def unpack_language_library(t, sub):
    """What the package's unpacking leaves: the built zebircan.dll as ZEBTEMP\\zebl0001.dll.
    Returns the properties that tell the library about it."""
    built = t.run.windows_build / "zebircan.dll"
    expect(built.exists(), f"{built} is missing (cmake --build --preset windows)")
    temp = t.folder(sub)
    shutil.copy2(built, t.unix(temp) / "zebl0001.dll")
    return {"ZEBTEMP": temp, "ZEBTEMPFILENUM": "0001", "ZEBLANGDLLCREATED": "1"}


@scenario()
def failure_message_comes_from_the_language_library(t):
    strings = table_strings("zebircan")
    props = unpack_language_library(t, "temp")
    r = t.msiexec("/i", t.package(sequence=[("iwiERROR", None, 1450)]), props)
    r.expect_code(1603)
    trace = r.action_trace("iwiERROR")
    # Every line from the failure on, in order and adjacent.
    texts = trace.texts()
    start = texts.index("***Returning an error to provoke a rollback")
    expect(texts[start:] == [
        "***Returning an error to provoke a rollback",
        "Property 'ZEBLANGDLLCREATED' value '1' from property table",
        f"Property 'ZEBTEMP' value '{props['ZEBTEMP']}' from property table",
        "Property 'ZEBTEMPFILENUM' value '0001' from property table",
        "Splash bitmap not running",
        f"HXCA iwiERROR MB *** error: {strings[2041]}",
        "Property 'UILevel' value '2' from property table",
        "Freeing NLS library",
        "Returning with rc 1603",
    ], "iwiERROR's lines after the failure:\n" + "\n".join(texts[start:]))
    trace.expect_not(r"\(ZEB470[12]\)|LoadLibrary\(")

    # Without ZEBLANGDLLCREATED "1" the library file is there but not used.
    props["ZEBLANGDLLCREATED"] = "0"
    r = t.msiexec("/i", t.package(sequence=[("iwiERROR", None, 1450)]), props)
    r.expect_code(1603)
    trace = r.action_trace("iwiERROR")
    trace.expect_order(lit("Splash bitmap not running"), lit(f"HXCA iwiERROR MB *** error: {NO_LIBRARY}"),
                       lit("Returning with rc 1603"))
    trace.expect_not(lit("Freeing NLS library"))


@scenario()
def wait_for_splash_times_out_after_ten_seconds(t):
    d = t.driver(t.package(), ["--do", "iwiWaitForSplash"])
    d.expect_ok()
    expect(d.actions == [("iwiWaitForSplash", 0)], f"iwiWaitForSplash: {d.stdout}")
    d.trace.expect_order(lit("Waiting for splash window to start (class ZEBHexlineSplash)"),
                         lit("Timed out waiting for splash window"), lit("Returning with rc 0"))
    # The trace's own clock: the wait spans about 10 s (whole seconds, so 9 to 11).
    lines = d.trace.lines
    began = next(x for x in lines if x.text.startswith("Waiting for splash window"))
    ended = next(x for x in lines if x.text == "Timed out waiting for splash window")
    seconds = [int(p) for p in began.time.split(":")], [int(p) for p in ended.time.split(":")]
    span = (seconds[1][0] * 3600 + seconds[1][1] * 60 + seconds[1][2]
            - seconds[0][0] * 3600 - seconds[0][1] * 60 - seconds[0][2]) % 86400
    expect(9 <= span <= 11, f"the wait took {span} s by the trace's clock")


@scenario()
def stop_splash_immediate_only(t):
    r = t.msiexec("/i", t.package(sequence=[("iwiStopSplash", None, 1450)]))
    r.expect_code(0)
    trace = r.action_trace("iwiStopSplash")
    trace.expect_order(lit("Splash bitmap not running"), lit("Returning with rc 0"))

    values = t.folder("deferred") + "\\values.txt"
    t.write(values, "ProductName=HX;\n")
    pkg = t.package(sequence=[("SetiwiStopSplashDeferred", None, 1560), ("iwiStopSplashDeferred", None, 5100)],
                    properties={"ZEBVALUELIST": values})
    r = t.msiexec("/i", pkg)
    r.expect_code(1603)
    trace = r.action_trace("iwiStopSplashDeferred")
    trace.expect(lit("MSIRUNMODE_SCHEDULED"))
    # The guard stops the body; the only look for a splash is the failure message's.
    trace.expect_order(lit("***CA execute error; run mode must not be 'MSIRUNMODE_SCHEDULED'."),
                       lit("Splash bitmap not running"),
                       lit(f"HXCA iwiStopSplash MB *** error: {NO_LIBRARY}"),
                       lit("Returning with rc 1603"))
    expect(trace.count(lit("Splash bitmap not running")) == 1, "the deferred body looked for the splash")


@scenario()
def action_wait_reaches_the_progress_dialog(t):
    built = t.run.windows_build / "zebitest.dll"
    expect(built.exists(), f"{built} is missing (cmake --build --preset windows)")
    lib = t.folder("lib") + "\\zebitest.dll"
    shutil.copy2(built, t.unix(lib))
    strings = table_strings("zebircan")
    props = unpack_language_library(t, "temp")
    ops = [a for k, v in props.items() for a in ("--set", f"{k}={v}")]
    started = time.monotonic()
    d = t.driver(t.package(), ops + ["--call", lib, "tstActionWait"])
    elapsed = time.monotonic() - started
    d.expect_ok()
    expect(d.calls == [("tstActionWait", 0)], f"tstActionWait: {d.stdout}")
    expect(elapsed >= 10, f"twenty half-second steps took {elapsed:.1f} s")

    starts = [text for kind, text in d.messages if kind == "ACTIONSTART"]
    data = [text for kind, text in d.messages if kind == "ACTIONDATA"]
    progress = [text for kind, text in d.messages if kind == "PROGRESS"]
    print(f"OBSERVED ACTIONSTART {starts!r}; first ACTIONDATA {data[:2]!r}; PROGRESS {progress[:1]!r}",
          flush=True)
    expect(len(starts) == 1 and "tstActionWait" in starts[0] and strings[1146] in starts[0],
           f"the action start does not carry the action and text 1146: {starts!r}")
    # The engine formats each data record with the template (1018) of the action start.
    template = strings[1018]
    expected = [template.replace("[1]", str(n)) for n in range(10, -1, -1)]
    expect(data == expected, f"ACTIONDATA {data!r}, expected {expected!r}")
    expect(len(progress) == 20, f"{len(progress)} progress messages, expected 20")
