"""The action frame, the trace and the property reader inside Wine's installer engine."""

import re
import time

from zebwine import expect, lit, scenario

MARKER_KEY = r"HKLM\SOFTWARE\Corvane\ZebWineTest"
UNINSTALL_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall"
# Time, tag, action ("(CaProlog)" before one is registered), optional "(function)", level.
LAYOUT = re.compile(r"^\d\d:\d\d:\d\d HXCA (\(CaProlog\)|Test CA|\w+)(\(\w+\))? info: ")


def seconds_of_day(hms):
    h, m, s = (int(x) for x in hms.split(":"))
    return h * 3600 + m * 60 + s


def expect_times_between(trace, started, ended):
    """Every trace time lies within the wall-clock span of the run (local time, 2 s slack)."""
    lo, hi = seconds_of_day(started) - 2, seconds_of_day(ended) + 2
    if lo < 0 or hi >= 86400:
        return  # the run crossed midnight; nothing sensible to compare
    for line in trace.lines:
        expect(lo <= seconds_of_day(line.time) <= hi,
               f"trace time {line.time} outside the run ({started}..{ended}): {line.raw}")


def hx_lines(lines):
    return [line for line in lines if " HXCA " in line]


@scenario()
def immediate_trace_reaches_log_and_trace_file(t):
    trace_file = t.folder("trace") + "\\user.log"
    pkg = t.package(sequence=[("testContinue", None, 1450)])
    started = time.strftime("%H:%M:%S")
    r = t.msiexec("/i", pkg, {"ZEBUSERTRACEPATH": trace_file})
    ended = time.strftime("%H:%M:%S")
    r.expect_code(0)

    section = r.action_lines("testContinue")
    for line in hx_lines(section):
        expect(LAYOUT.match(line), f"line not in the trace layout: {line!r}")
    trace = r.action_trace("testContinue")
    version = t.run.build_setting("ZEB_PRODUCT_VERSION", r"\S+")
    build = t.run.build_setting("ZEB_BUILD_LEVEL", r"\S+")
    banner = trace.lines[0]
    expect(banner.action == "(CaProlog)" and banner.function is None,
           f"the banner is not the first line, before any action is registered: {banner.raw}")
    expect(re.match(rf"^zebiwicn\.dll Built on \w{{3}} [ \d]\d \d{{4}} at \d\d:\d\d:\d\d; "
                    rf"version {re.escape(version)}, build {re.escape(build)}$", banner.text),
           f"banner: {banner.raw}")
    trace.expect(lit("Property 'ProductName' value 'HX' from property table"))
    trace.expect(lit(f"User name is '{r.properties['LogonUser']}'"))
    trace.expect(lit("MSIRUNMODE_LOGENABLED"))
    trace.expect_not("^MSIRUNMODE_(SCHEDULED|ROLLBACK|COMMIT)$")
    last = trace.lines[-1]
    expect(last.action == "Test CA" and last.text == "Returning with rc 1603",
           f"the action does not end as 'Test CA' with 1603: {last.raw}")
    expect_times_between(trace, started, ended)

    # The user trace file holds the same lines, in the same order, and nothing else.
    in_file = t.read(trace_file).splitlines()
    expect(in_file == [line.raw for line in trace.lines],
           "the user trace file differs from the installer log:\n" + "\n".join(in_file))

    # The installation went through: the engine wrote its registry row and registered the product.
    expect(pkg.stem in (t.prefix.reg_values(MARKER_KEY) or {}),
           "the package's registry row was not written")
    expect(t.prefix.reg_values(f"{UNINSTALL_KEY}\\{r.properties['ProductCode']}") is not None,
           "the product was not registered")


@scenario()
def error_fails_silently_and_rolls_back(t):
    # Immediate, outermost, silent: 1603 and the generic message only in the trace.
    r = t.msiexec("/i", t.package(sequence=[("iwiERROR", None, 1450)]))
    r.expect_code(1603)
    trace = r.action_trace("iwiERROR")
    trace.expect_order(
        lit("=============|||| Error, failure, problem, warning ||||============="),
        lit("             vvvv                                  vvvv             "),
        lit("***Returning an error to provoke a rollback"),
        r"^HXCA iwiERROR MB \*\*\* error: .+",
        lit("Property 'UILevel' value '2' from property table"),
        lit("Returning with rc 1603"))
    expect(r.properties.get("UILevel") == "2", "msiexec /qn did not run with UILevel 2")
    # With UILevel 2 the box is never prepared: its language is not even looked up.
    trace.expect_not("ZEBLANGUAGECODE")
    expect(trace.count(r"^HXCA iwiERROR MB ") == 1, "the failure message was traced more than once")

    # Deferred, after the engine wrote its registry row: the engine rolls back, runs the rollback
    # action and removes the row again.
    values = t.folder("deferred") + "\\values.txt"
    t.write(values, "ProductName=HX;ZEBEXTCA60000=;\n")
    pkg = t.package(sequence=[("iwiPauseRollback", None, 1550), ("SetiwiERRORDeferred", None, 1560),
                              ("iwiERRORDeferred", None, 5100)],
                    properties={"ZEBVALUELIST": values})
    r = t.msiexec("/i", pkg)
    r.expect_code(1603)
    expect(any(re.match(rf"^Key: HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\ZebWineTest, "
                        rf"Name: {re.escape(pkg.stem)}, Value:", line) for line in r.log_lines),
           "WriteRegistryValues did not write the row before the failure")
    failed = r.action_trace("iwiERRORDeferred")
    failed.expect(lit("MSIRUNMODE_SCHEDULED"))
    failed.expect_order(lit("***Returning an error to provoke a rollback"),
                        lit("Returning with rc 1603"))
    rollback = r.action_trace("iwiPauseRollback")
    rollback.expect(lit("MSIRUNMODE_ROLLBACK"))
    rollback.expect(lit("Returning with rc 0"))
    expect(pkg.stem not in (t.prefix.reg_values(MARKER_KEY) or {}),
           "the registry row written before the failure is still there")
    expect(t.prefix.reg_values(f"{UNINSTALL_KEY}\\{r.properties['ProductCode']}") is None,
           "the failed product is registered")


@scenario()
def deferred_reads_from_value_list(t):
    values = t.folder("deferred") + "\\values.txt"
    # A ProductName unlike the property table's "HX" shows where the answer came from.
    t.write(values, "ProductName=HX from=list;ZEBTEMP=C:\\nowhere;\n")
    pkg = t.package(sequence=[("SetiwiUserExitDeferred", None, 1560),
                              ("iwiUserExitDeferred", None, 1570)],
                    properties={"ZEBVALUELIST": values})
    r = t.msiexec("/i", pkg)
    r.expect_code(0)  # the deferred action's 1602 is ignored by its type
    expect(r.properties.get("iwiUserExitDeferred") == values,
           "the engine did not hand the value-list path over as CustomActionData")
    trace = r.action_trace("iwiUserExitDeferred")
    trace.expect(lit("MSIRUNMODE_SCHEDULED"))
    trace.expect_order(lit("Property 'ProductName' value 'HX from=list'; from CustomActionData"),
                       lit("Property 'ZEBEXTCA60000' not defined in CustomActionData"),
                       lit("Returning with rc 1602"))
    trace.expect_not("from property table$")


@scenario()
def deferred_write_is_traced_as_ignored(t):
    # The generic failure message of a deferred iwiERROR needs the language library, whose name
    # is the first temporary name of the run: choosing it sets ZEBTEMPFILENUM, a deferred write.
    temp = t.folder("temp")
    values = t.folder("deferred") + "\\values.txt"
    t.write(values, f"ProductName=HX;ZEBLANGDLLCREATED=1;ZEBTEMP={temp};\n")
    pkg = t.package(sequence=[("SetiwiERRORDeferredContinue", None, 1560),
                              ("iwiERRORDeferredContinue", None, 1570)],
                    properties={"ZEBVALUELIST": values})
    r = t.msiexec("/i", pkg)
    r.expect_code(0)
    trace = r.action_trace("iwiERRORDeferredContinue")
    trace.expect_order(lit(f"Allocated '{temp}\\zebt0001.log'"),
                       lit("SETPROPERTY('ZEBTEMPFILENUM', '0001') ignored during deferred execution"),
                       lit("Returning with rc 1603"))
    expect("ZEBTEMPFILENUM" not in r.properties,
           f"the engine has ZEBTEMPFILENUM={r.properties.get('ZEBTEMPFILENUM')!r}")
    left = sorted(p.name for p in t.unix(temp).iterdir())
    expect(left == [], f"the probe files of the temporary name were left behind: {left}")

    # The same choice made by an immediate action does reach the session.
    temp = t.folder("immediate-temp")
    d = t.driver(t.package(), ["--set", "ZEBLANGDLLCREATED=1", "--set", f"ZEBTEMP={temp}",
                               "--do", "iwiERROR", "--get", "ZEBTEMPFILENUM"])
    d.expect_ok()
    expect(d.actions == [("iwiERROR", 1603)], f"immediate iwiERROR: {d.stdout}")
    d.trace.expect(lit("Property 'ZEBTEMPFILENUM' value set to '0001'"))
    expect(d.properties.get("ZEBTEMPFILENUM") == "0001",
           f"the engine has ZEBTEMPFILENUM={d.properties.get('ZEBTEMPFILENUM')!r}")


@scenario()
def cancel_marker_turns_success_into_user_exit(t):
    # Without a cancel, iwiPause succeeds and so does the installation.
    temp = t.folder("control")
    r = t.msiexec("/i", t.package(sequence=[("iwiPause", None, 1460)]), {"ZEBTEMP": temp})
    r.expect_code(0)
    r.action_trace("iwiPause").expect(lit("Returning with rc 0"))

    temp = t.folder("temp")
    pkg = t.package(sequence=[("iwiCancelContinue", None, 1450), ("iwiPause", None, 1460)])
    r = t.msiexec("/i", pkg, {"ZEBTEMP": temp})
    r.expect_code(1602)
    expect((t.unix(temp) / "zebcancl.txt").is_file(), "iwiCancel left no zebcancl.txt")
    r.action_trace("iwiPause").expect(lit("Returning with rc 1602"))

    # A later session (a new custom-action process, a fresh copy of the library) sees the marker.
    later = t.driver(t.package(), ["--set", f"ZEBTEMP={temp}", "--do", "iwiPause"])
    later.expect_ok()
    expect(later.actions == [("iwiPause", 1602)], f"iwiPause after the marker: {later.stdout}")
    later.trace.expect(lit("Returning with rc 1602"))


@scenario()
def cancel_flag_does_not_reach_the_next_action(t):
    # Without ZEBTEMP iwiCancel leaves no marker, so only its flag could tell iwiPause; the engine
    # loads a fresh copy of the library for each action, whose flag starts clear.
    pkg = t.package(sequence=[("iwiCancelContinue", None, 1450), ("iwiPause", None, 1460)])
    r = t.msiexec("/i", pkg)
    r.expect_code(0)
    r.action_trace("iwiCancelContinue").expect(lit("Property 'ZEBTEMP' not defined in property table"))
    r.action_trace("iwiPause").expect(lit("Returning with rc 0"))


@scenario()
def cancel_flag_is_shared_between_processes(t):
    # The first process loads the library and cancels; while it keeps the library loaded, two
    # children call iwiPause with a temporary folder that has no marker: one through the same file,
    # one through a copy at another path (which has a section of its own).
    lib = t.library_copy("lib") + "\\zebiwicn.dll"
    copy = t.library_copy("copy") + "\\zebiwicn.dll"
    cancel_temp, clean_temp = t.folder("cancel-temp"), t.folder("clean-temp")
    pkg = t.package()
    child_ops = ["--set", f"ZEBTEMP={clean_temp}", "--call"]
    r = t.driver(pkg, ["--set", f"ZEBTEMP={cancel_temp}", "--call", lib, "iwiCancel",
                       "--spawn", t.driver_command(pkg, child_ops + [lib, "iwiPause"]),
                       "--spawn", t.driver_command(pkg, child_ops + [copy, "iwiPause"])])
    r.expect_ok()
    expect((t.unix(cancel_temp) / "zebcancl.txt").is_file(), "iwiCancel left no marker")
    expect(not (t.unix(clean_temp) / "zebcancl.txt").exists(), "a marker reached the clean folder")
    expect(r.calls[0] == ("iwiCancel", 1602), f"iwiCancel: {r.stdout}")
    expect(r.spawns == [0, 0], f"children: {r.stdout}")
    expect(len(r.calls) == 3, f"not every call ran: {r.stdout}")
    expect(r.calls[1] == ("iwiPause", 1602),
           "Wine did not share the CANCEL section of one DLL file between two processes: "
           f"iwiPause in the second process returned {r.calls[1][1]}\n{r.stdout}")
    expect(r.calls[2] == ("iwiPause", 0),
           f"a copy of the library at another path saw the cancel: {r.calls[2][1]}")


@scenario()
def second_copy_takes_the_call(t):
    second = t.library_copy("second")
    trace_file = t.folder("trace") + "\\user.log"
    pkg = t.package(sequence=[("iwiERRORContinue", None, 1450)])
    r = t.msiexec("/i", pkg, {"ZEBEXTCA60000": second, "ZEBUSERTRACEPATH": trace_file})
    r.expect_code(0)
    trace = r.action_trace("iwiERRORContinue")
    trace.expect_order(lit(f"Executing '{second}\\zebiwicn.dll(iwiERROR)'"),
                       lit("External invocation of 'zebiwicn.dll'"),
                       lit("***Returning an error to provoke a rollback"),
                       lit("Returning with rc 1603"),
                       lit("Returning with rc 1603"))
    expect(trace.count(r"^\*\*\*Returning an error") == 1, "the body ran in both copies")
    in_file = t.read(trace_file)
    for text in ("Executing '", "External invocation of 'zebiwicn.dll'"):
        expect(text in in_file, f"{text!r} is missing from the user trace file")

    # A folder without the library (given with a trailing backslash): the action runs here.
    empty = t.folder("empty") + "\\"
    r = t.msiexec("/i", t.package(sequence=[("iwiERRORContinue", None, 1450)]),
                  {"ZEBEXTCA60000": empty})
    r.expect_code(0)
    trace = r.action_trace("iwiERRORContinue")
    trace.expect_order(lit(f"Can't find '{empty}zebiwicn.dll'"),
                       lit("***Returning an error to provoke a rollback"),
                       lit("Returning with rc 1603"))
    trace.expect_not("^External invocation")


@scenario()
def engine_cancel_reply_cancels_the_action(t):
    # The user presses Cancel while a trace line is shown: the engine answers the informational
    # message with IDCANCEL, and the action that would have succeeded ends with 1602.
    pkg = t.package()
    temp = t.folder("temp")
    r = t.driver(pkg, ["--set", f"ZEBTEMP={temp}", "--do", "iwiPause"],
                 options=["--reply-cancel", "User name is"])
    r.expect_ok()
    expect(r.actions == [("iwiPause", 1602)], f"iwiPause after a cancel reply: {r.stdout}")
    r.trace.expect(lit("Returning with rc 1602"))
    expect(not (t.unix(temp) / "zebcancl.txt").exists(), "the cancel reply left a marker file")

    control = t.driver(pkg, ["--set", f"ZEBTEMP={temp}", "--do", "iwiPause"])
    expect(control.actions == [("iwiPause", 0)], f"iwiPause without a cancel: {control.stdout}")
