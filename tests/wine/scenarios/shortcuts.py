"""Desktop shortcuts in Wine's shell and installer engine: shortcuts made through the shell's
shortcut object (IShellLinkA, the test-only tstMakeShortcuts), then iwiStackCleanUpServer in a
removal before RemoveFiles: the shortcut to the installation's taskbar program is stacked and
removed with Server_base_Instance1; a foreign shortcut and the desktop stay, and the RunOnce start
of the preparation wizard goes."""

import shutil

from zebwine import expect, lit, scenario

RUN_ONCE = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\RunOnce"
REMOVE_FILE = ["FileKey\tComponent_\tFileName\tDirProperty\tInstallMode", "s72\ts72\tL255\ts72\ti2",
               "RemoveFile\tFileKey"]


def test_library(t):
    """The test-only library copied into the scenario's folder, for the driver's --call."""
    built = t.run.windows_build / "zebitest.dll"
    expect(built.exists(), f"{built} is missing (cmake --build --preset windows)")
    lib = t.folder("lib") + "\\zebitest.dll"
    shutil.copy2(built, t.unix(lib))
    return lib


@scenario(clean_machine=True)
def hx_desktop_shortcut_removed_with_the_server_foreign_one_kept(t):
    pgm = t.folder("pgm")
    target = f"{pgm}\\bin64\\zebmjpse.exe"
    other = f"{t.folder('other')}\\tool.exe"
    for program in (target, other):
        t.write(program, "MZ")
    name = t.name[:20]

    # The desktop as Wine's shell names it, and the two shortcuts made there.
    d = t.driver(t.package(), ["--set", "ZEBTESTSHORTCUTS=", "--call", test_library(t),
                               "tstMakeShortcuts", "--get", "ZEBTESTDESKTOP"])
    d.expect_ok()
    desktop = d.properties.get("ZEBTESTDESKTOP", "")
    expect(desktop != "", f"no common desktop from SHGetSpecialFolderLocation:\n{d.stdout}")
    hx_link = f"{desktop}\\{name} HX.lnk"
    other_link = f"{desktop}\\{name} Other.lnk"
    d = t.driver(t.package(), ["--set", f"ZEBTESTSHORTCUTS={hx_link}|{target};{other_link}|{other}",
                               "--call", test_library(t), "tstMakeShortcuts"])
    d.expect_ok()
    expect(d.calls == [("tstMakeShortcuts", 0)], f"calls: {d.calls}\n{d.trace.dump()}")
    for link in (hx_link, other_link):
        expect(t.unix(link).exists(), f"{link} was not made:\n{d.trace.dump()}")

    # A file that only looks like a shortcut: the shell object's Load refuses it.
    broken = f"{desktop}\\{name} Broken.lnk"
    t.write(broken, "not a shortcut")

    t.prefix.reg_import(f"[{RUN_ONCE.replace('HKLM', 'HKEY_LOCAL_MACHINE')}]\n\"HXPrepWiz\"=\"{name}.exe\"\n")
    pkg = t.package(sequence=[("iwiStackCleanUpServer", "REMOVE", 1541)], properties={"ZEBPGMFOLDER": pgm},
                    tables={"RemoveFile": REMOVE_FILE})
    r = t.msiexec("/i", pkg)
    r.expect_code(0)
    expect(t.unix(hx_link).exists(), "the shortcut went at the installation")

    x = t.msiexec("/x", pkg)
    x.expect_code(0)
    trace = x.action_trace("iwiStackCleanUpServer")
    trace.expect_order(lit(f"Folder type 25 is '{desktop}'"), lit(f"Checking '{hx_link}'"))
    trace.expect(lit(f"Non-HX target: '{other}'"))
    trace.expect(lit(f"Can't read shortcut '{broken}'; error 0x80004005"))
    trace.expect(lit("Returning with rc 0"))
    expect(not t.unix(hx_link).exists(), f"{hx_link} is still there; log {x.log_path}")
    expect(t.unix(other_link).exists() and t.unix(broken).exists(), f"a foreign file went too; log {x.log_path}")
    expect(t.unix(desktop).is_dir(), f"the desktop {desktop} went")
    values = t.prefix.reg_values(RUN_ONCE) or {}
    expect("HXPrepWiz" not in values, f"RunOnce after /x: {values}")
