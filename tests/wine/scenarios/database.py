"""Stacked removal rows carried out by Wine's engine, and the installer database helpers there:
list boxes, Binary streams, the missing-table answer. The helpers are called through the test-only
library zebitest.dll: from a package built around it (msiexec runs its actions in sequence) or by
the driver's --call."""

import shutil

import zebwine
from zebwine import expect, lit, scenario

COMPONENT = "Base_base_Instance1"

REMOVE_FILE = ["FileKey\tComponent_\tFileName\tDirProperty\tInstallMode", "s72\ts72\tL255\ts72\ti2",
               "RemoveFile\tFileKey"]
REMOVE_REGISTRY = ["RemoveRegistry\tRoot\tKey\tName\tComponent_", "s72\ti2\tl255\tL255\ts72",
                   "RemoveRegistry\tRemoveRegistry"]
LIST_BOX = ["Property\tOrder\tValue\tText", "s72\ti2\ts64\tL64", "ListBox\tProperty\tOrder"]
CUSTOM_ACTION = ["Action\tType\tSource\tTarget\tExtendedType", "s72\ti2\tS72\tS255\tI4", "CustomAction\tAction"]

_TEST_PACKAGES = {}


def test_library(t):
    """The test-only library copied into the scenario's folder, for the driver's --call."""
    built = t.run.windows_build / "zebitest.dll"
    expect(built.exists(), f"{built} is missing (cmake --build --preset windows)")
    lib = t.folder("lib") + "\\zebitest.dll"
    shutil.copy2(built, t.unix(lib))
    return lib


def stacking_package(t, condition=None):
    """A package around zebitest.dll with the removal tables (empty) and tstStackRemovals as an
    immediate action after costing, before the engine's removal steps."""
    built = t.run.windows_build / "zebitest.dll"
    expect(built.exists(), f"{built} is missing (cmake --build --preset windows)")
    key = str(t.packages.work)
    if key not in _TEST_PACKAGES:
        _TEST_PACKAGES[key] = zebwine.Packages(built, t.packages.work / "testdll")
    tables = {"RemoveFile": REMOVE_FILE, "RemoveRegistry": REMOVE_REGISTRY,
              "CustomAction": CUSTOM_ACTION + ["tstStackRemovals\t1\tzebiwicn.dll\ttstStackRemovals\t"]}
    return t.package(sequence=[("tstStackRemovals", condition, 1450)], tables=tables,
                     packages=_TEST_PACKAGES[key])


def ops(*items):
    return ";".join("|".join(str(f) for f in item) for item in items)


def seed_key(t, key):
    """A key with a value and a subkey, in the view its path names (Wow6432Node: 32-bit)."""
    t.prefix.reg_import(f"[HKEY_LOCAL_MACHINE\\{key}]\n\"Name\"=\"x\"\n\n"
                        f"[HKEY_LOCAL_MACHINE\\{key}\\Sub]\n\"Inner\"=\"y\"\n")
    expect(t.prefix.reg_values(f"HKLM\\{key}") is not None, f"could not seed {key}")


def exists(t, win_path):
    return t.unix(win_path).exists()


@scenario()
def install_mode_rows_are_carried_out_by_the_install(t):
    data = t.folder("data")
    for name in ("a.txt", "b.log", "c.log", "keep.txt", "sub\\d.txt"):
        t.write(f"{data}\\{name}", "x")
    keys = [f"SOFTWARE\\Corvane\\ZebWineStack\\{t.name}", f"SOFTWARE\\Wow6432Node\\Corvane\\ZebWineStack\\{t.name}"]
    for key in keys:
        seed_key(t, key)
    stack = ops(("file", f"{data}\\a.txt", COMPONENT, 1), ("file", f"{data}\\*.log", COMPONENT, 1),
                ("file", f"{data}\\sub\\d.txt", COMPONENT, 1), ("folder", f"{data}\\sub\\", COMPONENT, 1),
                *[("key", f"HKEY_LOCAL_MACHINE\\{key}", COMPONENT, 1) for key in keys])

    # The rows as the session holds them, the pattern row among them.
    d = t.driver(t.package(tables={"RemoveFile": REMOVE_FILE, "RemoveRegistry": REMOVE_REGISTRY}),
                 ["--set", f"ZEBTESTSTACK={stack}", "--call", test_library(t), "tstStackRemovals",
                  "--table", "RemoveFile", "--table", "RemoveRegistry", "--get", "ZEBRECORDCOUNTER",
                  "--get", "ZEBPATHPROPERTY0", "--get", "ZEBPATHPROPERTY1"])
    d.expect_ok()
    expect(d.calls == [("tstStackRemovals", 0)], f"calls: {d.calls}\n{d.trace.dump()}")
    expect(d.tables.get("RemoveFile") == [
        ["ZEB_Record_0", COMPONENT, "a.txt", "ZEBPATHPROPERTY0", "1"],
        ["ZEB_Record_1", COMPONENT, "*.log", "ZEBPATHPROPERTY0", "1"],
        ["ZEB_Record_2", COMPONENT, "d.txt", "ZEBPATHPROPERTY1", "1"],
        ["ZEB_Record_3", COMPONENT, "", "ZEBPATHPROPERTY1", "1"]], f"RemoveFile: {d.tables.get('RemoveFile')}")
    expect(d.tables.get("RemoveRegistry") == [[f"ZEBRECORD{4 + i}", "2", key, "-", COMPONENT]
                                              for i, key in enumerate(keys)],
           f"RemoveRegistry: {d.tables.get('RemoveRegistry')}")
    expect(d.properties.get("ZEBRECORDCOUNTER") == "6", f"counter: {d.properties}")
    expect(d.properties.get("ZEBPATHPROPERTY0") == data and d.properties.get("ZEBPATHPROPERTY1") == f"{data}\\sub",
           f"path properties: {d.properties}")

    # The same rows in an installation: the engine removes them with its own steps.
    r = t.msiexec("/i", stacking_package(t), {"ZEBTESTSTACK": stack})
    r.expect_code(0)
    r.action_trace("tstStackRemovals").expect(lit("Returning with rc 0"))
    expect(not exists(t, f"{data}\\a.txt"), "a.txt was not removed")
    expect(not exists(t, f"{data}\\sub"), "the folder sub was not removed after its file")
    expect(exists(t, f"{data}\\keep.txt"), "keep.txt went too")
    for key in keys:
        expect(t.prefix.reg_values(f"HKLM\\{key}") is None, f"HKLM\\{key} is still there")
    # Wine's RemoveFiles takes the name literally: "*.log" removes no file (Windows would).
    expect(exists(t, f"{data}\\b.log") and exists(t, f"{data}\\c.log"),
           "Wine removed files by the pattern: wildcards are now honoured; the substitute already does")


# A machine of its own: the test package's components are shared by every product built from it,
# and the engine removes a component at /x only when no other product still has it.
@scenario(clean_machine=True)
def removal_mode_rows_act_at_uninstall_only(t):
    data = t.folder("data")
    t.write(f"{data}\\gone.txt", "x")
    key = f"SOFTWARE\\Corvane\\ZebWineStack\\{t.name}"
    seed_key(t, key)
    stack = ops(("file", f"{data}\\gone.txt", COMPONENT, 2), ("file", f"{data}\\kept.txt", COMPONENT, 1),
                ("key", f"HKEY_LOCAL_MACHINE\\{key}", COMPONENT, 2))
    package = stacking_package(t)
    r = t.msiexec("/i", package, {"ZEBTESTSTACK": stack})
    r.expect_code(0)
    expect(exists(t, f"{data}\\gone.txt"), "a removal-mode row acted at install")
    expect(t.prefix.reg_values(f"HKLM\\{key}") is not None, "the key went at install")
    t.write(f"{data}\\kept.txt", "x")

    # At removal the library runs again (its rows are gone with the session) and stacks anew.
    r = t.msiexec("/x", package, {"ZEBTESTSTACK": stack})
    r.expect_code(0)
    r.action_trace("tstStackRemovals").expect(lit("Returning with rc 0"))
    expect(not exists(t, f"{data}\\gone.txt"), "the removal-mode file stayed")
    expect(exists(t, f"{data}\\kept.txt"), "an install-mode row acted at removal")
    expect(t.prefix.reg_values(f"HKLM\\{key}") is None, "the removal-mode key stayed")


@scenario()
def rows_are_taken_in_row_order(t):
    parent_first = t.folder("parent-first")
    t.folder("parent-first/child")
    folder_first = t.folder("folder-first")
    t.write(f"{folder_first}\\f.txt", "x")
    # Only folders: Wine takes the scan's "*" rows literally, so files would keep them full.
    tree = t.folder("tree")
    for sub in ("q1/sub", "q2"):
        t.folder(f"tree/{sub}")
    stack = ops(("folder", f"{parent_first}\\", COMPONENT, 1), ("folder", f"{parent_first}\\child\\", COMPONENT, 1),
                ("folder", f"{folder_first}\\", COMPONENT, 1), ("file", f"{folder_first}\\f.txt", COMPONENT, 1),
                ("scan", f"{tree}\\*", COMPONENT, 1, 1, 1))
    r = t.msiexec("/i", stacking_package(t), {"ZEBTESTSTACK": stack})
    r.expect_code(0)
    # The scan stacks each folder after its subfolders: the whole tree goes.
    expect(not exists(t, tree), f"the scanned tree is still there: {sorted(p.name for p in t.unix(tree).rglob('*'))}")
    # Rows are taken one by one in row order: a folder is removed only when it is empty as its own
    # row is taken. A parent stacked before its subfolder stays, and so does a folder stacked before
    # its files.
    expect(not exists(t, f"{parent_first}\\child") and exists(t, parent_first),
           "the parent stacked before its subfolder went: Wine no longer takes folder rows in row order")
    expect(not exists(t, f"{folder_first}\\f.txt") and exists(t, folder_first),
           "the folder stacked before its file went: Wine no longer takes the rows in row order")


@scenario()
def missing_table_fails_without_the_2228_record(t):
    # The package has no RemoveRegistry table. Windows explains that with error 2228, which
    # AddTableRecord ignores (0, no row); Wine gives no error record, so the row fails.
    key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\ZebWineStack\\none"
    d = t.driver(t.package(), ["--set", f"ZEBTESTSTACK={ops(('key', key, COMPONENT, 1))}",
                               "--call", test_library(t), "tstStackRemovals"])
    d.expect_ok()
    expect(d.calls == [("tstStackRemovals", 1603)], f"calls: {d.calls}")
    d.trace.expect_order(lit("AddTableRecord: MsiDatabaseOpenView failed, rc=1615,"),
                         lit("AddTableRecord: Table=RemoveRegistry, fields=5, fieldBits=2, "
                             "SQL query=\"SELECT * FROM RemoveRegistry\""),
                         r"^AddTableRecord: Formatting MsiDatabaseOpenView\(\.\.\.\) extended error failed \(rc=\d+\)$",
                         lit("***MsiDatabaseOpenView('SELECT * FROM RemoveRegistry') failed (1615)"),
                         lit("Returning with rc 1603"))
    d.trace.expect_not(r"Ignoring extended error 2228")


@scenario()
def cleared_list_box_takes_values_one_two_three(t):
    tables = {"ListBox": LIST_BOX + ["ZEBTESTLIST\t1\told\tOld line", "ZEBTESTLIST\t2\tolder\tOlder line",
                                     "OTHERLIST\t1\tx\tOther list"]}
    d = t.driver(t.package(tables=tables),
                 ["--set", "ZEBTESTLISTPROPERTY=ZEBTESTLIST", "--set", "ZEBTESTLISTTEXTS=first|second|third",
                  "--call", test_library(t), "tstListbox", "--table", "ListBox", "--get", "ZEBTESTLIST"])
    d.expect_ok()
    expect(d.calls == [("tstListbox", 0)], f"calls: {d.calls}\n{d.trace.dump()}")
    rows = sorted(d.tables.get("ListBox", []))
    expect(rows == [["OTHERLIST", "1", "x", "Other list"], ["ZEBTESTLIST", "1", "1", "first"],
                    ["ZEBTESTLIST", "2", "2", "second"], ["ZEBTESTLIST", "3", "3", "third"]],
           f"ListBox: {d.tables.get('ListBox')}")
    expect(d.properties.get("ZEBTESTLIST") == " ", f"list property: {d.properties.get('ZEBTESTLIST')!r}")
    d.trace.expect(lit("Listbox line added: 'ZEBTESTLIST' order: 3 item: 'third' value: '3'"))


@scenario()
def binary_rows_are_written_byte_for_byte(t):
    built = (t.run.windows_build / "zebircan.dll").read_bytes()
    padded = built + b"\0" * (-len(built) % 512)  # a multiple of 512: the last read gets no byte
    package = t.package()
    t.add_binary_rows(package, {"zebircan.dll": built, "zebirpad.x64": padded, "zebirpadA": b"other"})
    out = t.folder("out")
    d = t.driver(package, [
        "--set", "ZEBTESTBINARYPREFIX=zebircan", "--set", "ZEBTESTBINARYCONT=.dll",
        "--set", f"ZEBTESTBINARYOUT={out}\\lang.dll", "--call", test_library(t), "tstBinaryFile",
        "--set", "ZEBTESTBINARYPREFIX=ZEBIRPAD", "--set", "ZEBTESTBINARYCONT=",
        "--set", f"ZEBTESTBINARYOUT={out}\\pad.bin", "--call", test_library(t), "tstBinaryFile",
        "--get", "ZEBTESTBINARYSUFFIX"])
    d.expect_ok()
    expect(d.calls == [("tstBinaryFile", 0), ("tstBinaryFile", 0)], f"calls: {d.calls}\n{d.trace.dump()}")
    expect(t.unix(f"{out}\\lang.dll").read_bytes() == built, "zebircan.dll differs from the Binary row")
    expect(t.unix(f"{out}\\pad.bin").read_bytes() == padded, "the padded row differs")
    expect(d.properties.get("ZEBTESTBINARYSUFFIX") == "x64", f"suffix: {d.properties.get('ZEBTESTBINARYSUFFIX')}")
    d.trace.expect_order(lit("No component suffix"), lit(f"Written {len(built)} bytes to '{out}\\lang.dll'"),
                         lit("Component suffix is: 'x64'"), lit(f"Written {len(padded)} bytes to '{out}\\pad.bin'"))
