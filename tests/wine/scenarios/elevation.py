"""The elevation check inside Wine: the process token, a restricted token inherited by msiexec
and its custom-action server, and a restricted token impersonated by the calling thread."""

from zebwine import MsiexecResult, expect, lit, scenario, windows_code

BELONGS = lit("User id belongs to local Administrators")
NOT_ENABLED = lit("Group Attributes show it is not enabled (0x00000019)")
REFUSED = lit("***Error -> User does not have the required administrator privileges (ZEB4353)")
SUCCESS = lit("Success -> User has the required administrator privileges")


def launcher(t):
    path = t.run.windows_build / "zebrestrict.exe"
    expect(path.exists(), f"{path} is missing (cmake --build --preset windows)")
    return path


@scenario()
def process_token_passes(t):
    r = t.msiexec("/i", t.package(sequence=[("iwiCheckIfElevated", None, 1450)]))
    r.expect_code(0)
    trace = r.action_trace("iwiCheckIfElevated")
    trace.expect_order(BELONGS, SUCCESS, lit("Returning with rc 0"))
    trace.expect_not("not enabled|SYSTEM SID|^Error ->")


def restricted_msiexec(t, pkg, name):
    """msiexec /i started by the launcher with the restricted token."""
    log = t.root / "logs" / f"{name}.log"
    log.parent.mkdir(parents=True, exist_ok=True)
    proc = t.prefix.run([launcher(t), "msiexec", "/i", t.prefix.winpath(pkg), "/qn", "/l*v",
                         t.prefix.winpath(log)])
    out = proc.stdout.decode("latin-1")
    expect("RESTRICT ADMINISTRATORS 0x00000019" in out, f"the launcher's token is not the filtered one:\n{out}")
    return MsiexecResult(windows_code(proc.returncode), log)


@scenario()
def restricted_msiexec_fails(t):
    r = restricted_msiexec(t, t.package(sequence=[("iwiCheckIfElevated", None, 1450)]), "restricted")
    r.expect_code(1603)
    trace = r.action_trace("iwiCheckIfElevated")
    trace.expect_order(BELONGS, NOT_ENABLED, REFUSED, lit("Returning with rc 1603"))
    trace.expect_not("SYSTEM SID|^Success ->")
    # The text's own line end: the log shows the line, then an empty one.
    lines = r.action_lines("iwiCheckIfElevated")
    at = next(i for i, line in enumerate(lines) if line.endswith("(ZEB4353)"))
    expect(at + 1 < len(lines) and lines[at + 1] == "",
           f"no empty line after the ZEB4353 line: {lines[at:at + 2]!r}")


@scenario()
def impersonating_thread_fails(t):
    # Two copies: each call is the outermost entry of a fresh frame.
    first = t.library_copy("lib1") + "\\zebiwicn.dll"
    second = t.library_copy("lib2") + "\\zebiwicn.dll"
    d = t.driver(t.package(), ["--call", first, "iwiCheckIfElevated",
                               "--impersonate-restricted",
                               "--call", second, "iwiCheckIfElevated"])
    d.expect_ok()
    expect("IMPERSONATE ADMINISTRATORS 0x00000019" in d.stdout,
           f"the thread's token is not the filtered one:\n{d.stdout}")
    expect(d.calls == [("iwiCheckIfElevated", 0), ("iwiCheckIfElevated", 1603)],
           f"calls: {d.calls}\n{d.stdout}")
    # The driver prints the line end inside the text as a backslash and "n".
    refused = lit("***Error -> User does not have the required administrator privileges (ZEB4353)\\n")
    d.trace.expect_order(BELONGS, SUCCESS, lit("Returning with rc 0"),
                         BELONGS, NOT_ENABLED, refused, lit("Returning with rc 1603"))


@scenario()
def deferred_without_impersonation_keeps_the_token(t):
    # Windows runs this action as LocalSystem, which passes; Wine keeps the user's token.
    r = restricted_msiexec(t, t.package(sequence=[("iwiCheckIfElevatedDeferred", None, 5100)]), "deferred")
    r.expect_code(1603)
    trace = r.action_trace("iwiCheckIfElevatedDeferred")
    trace.expect(lit("MSIRUNMODE_SCHEDULED"))
    trace.expect_order(BELONGS, NOT_ENABLED, REFUSED, lit("Returning with rc 1603"))
    trace.expect_not("SYSTEM SID")
