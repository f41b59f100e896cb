#!/usr/bin/env python3
"""Writes an hxca scenario folder for a road step from the package author's kit: the execute
sequence's rows of zebiwicn.dll in the order a silent run of the engine calls them (immediate
rows in sequence order, the script's deferred and commit rows at InstallFinalize, then what
follows it), each with its row's condition, which hxca decides when it reaches the step. The
package is the server package the Wine road builds (tests/wine/road/builder.py): its features,
properties and deferred name lists. A step is one run of the road: "first" a first installation,
silent, with a response file; "second" a second installation beside it; "remove2" the removal of
the second with its queue-manager data; "maintain1" the maintenance of the first, a feature
removed. A later step runs on the machine an earlier one left: hxca --save-machine writes it into
the step's folder before this script adds the scenario, and the installations the earlier steps
registered are given as the machine's products. A deferred row's condition is decided when the
script runs, not when the engine schedules it: the same unless an immediate action after the row
changes what it tests."""
import argparse
import json
import re
import shutil
import sys
from dataclasses import dataclass, field
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "packaging"))
sys.path.insert(0, str(ROOT / "tests" / "wine" / "road"))
import builder  # noqa: E402
import genkit  # noqa: E402

EXECUTE = "InstallExecuteSequence"
INSTALL_FINALIZE = 6600
# The server package's features; every one has level 1, so the engine requests them all.
FEATURES = [f for f, kinds in builder.FEATURES if "s" in kinds]
# Where the response file and the trace files of the first installation are.
RESPONSE_FILE = "C:\\HXMedia\\first.ini"
TRACE_FOLDER = "C:\\HXTrace"
PROGRAM_FILES = "C:\\Program Files\\Corvane\\"
INSTALLATION1 = "{9E4D3A10-94A0-4C1E-8F00-0000000000A1}"
INSTALLATION2 = "{9E4D3A10-94A0-4C1E-8F00-0000000000A2}"


@dataclass
class Step:
    description: str
    product: str  # the package's ProductCode
    folder: str  # the program folder under PROGRAM_FILES, as costing resolves it
    response: str = ""  # the response file's lines; empty: no response file
    properties: dict = field(default_factory=dict)  # the command line's, and the engine's for the run
    installed: tuple = ()  # products the machine has before the run
    removed: tuple = ()  # the features the run removes (of an installed product)
    expect: dict = field(default_factory=dict)


STEPS = {
    "first": Step("Road, first installation: the server package's execute sequence as the kit schedules it, run "
                  "silently on a new machine", INSTALLATION1, "HX",
                  f"INSTALLTRACE={TRACE_FOLDER}\\install.trc\r\nINSTALLLOG={TRACE_FOLDER}\\install.log\r\n",
                  expect={"ZEBINSTALLINSTANCENAME": "Installation1", "ZEBPGMFOLDER": {"regex": "^C:\\\\"},
                          "ZEBDATFOLDER": {"regex": "^C:\\\\"}, "ZEBUSERTRACEPATH": f"{TRACE_FOLDER}\\install.trc"}),
    "second": Step("Road, second installation: a new package of the server beside Installation1, named by its "
                   "response file", INSTALLATION2, "HX_1", "INSTALLATIONNAME=Installation2\r\n",
                   installed=(INSTALLATION1,),
                   expect={"ZEBINSTALLINSTANCENAME": "Installation2", "ZEBINSTANCEID": "2",
                           "ZEBPGMFOLDER": PROGRAM_FILES + "HX_1", "ZEBMAKEPRIMARY": None}),
    "remove2": Step("Road, removal of Installation2 with its queue-manager data, as the dialogs choose it",
                    INSTALLATION2, "HX_1",
                    properties={"KEEPQMDATA": "delete", "ZEBUISEQ": "1", "REMOVE": "ALL", "Preselected": "1"},
                    installed=(INSTALLATION1, INSTALLATION2), removed=tuple(FEATURES),
                    expect={"ZEBINSTALLINSTANCENAME": "Installation2", "ZEBREMOVE": "1"}),
    "maintain1": Step("Road, maintenance of Installation1 from its own package: one feature removed",
                      INSTALLATION1, "HX", properties={"REMOVE": "AMS", "Preselected": "1"},
                      installed=(INSTALLATION1,), removed=("AMS",),
                      expect={"ZEBINSTALLINSTANCENAME": "Installation1", "ZEBOLDINSTALLINSTANCENAME": "Installation1",
                              "ZEBINSTANCEID": "1", "ZEBPGMFOLDER": PROGRAM_FILES + "HX"}),
}


def script_order(rows):
    """(row, mode) in the order a successful silent run calls them."""
    # Exit-sequence rows (negative numbers) run only when the installation fails or is cancelled.
    chosen = sorted((r for r in rows if r.sequence.get(EXECUTE, 0) > 0), key=lambda r: r.sequence[EXECUTE])
    before = [(r, "immediate") for r in chosen if not r.in_script and r.sequence[EXECUTE] < INSTALL_FINALIZE]
    script = [(r, r.run) for r in chosen if r.run in ("deferred", "commit")]
    after = [(r, "immediate") for r in chosen if not r.in_script and r.sequence[EXECUTE] > INSTALL_FINALIZE]
    # Commit rows run once the whole script has succeeded.
    script = [s for s in script if s[1] == "deferred"] + [s for s in script if s[1] == "commit"]
    return before + script + after


def idt(name, header, types, keys, rows):
    return "\r\n".join(["\t".join(header), "\t".join(types), "\t".join([name] + keys)] +
                       ["\t".join(r) for r in rows]) + "\r\n"


def write(out, language_library, step_name="first"):
    run = STEPS[step_name]
    rows = genkit.parse((ROOT / "packaging" / "actions.txt").read_text(encoding="utf-8"))
    names = builder.DEFERRED_NAMES
    properties = {
        "ProductName": "Skyloft HX server", "ProductCode": run.product,
        "UpgradeCode": builder.UPGRADE_CODES["server"], "ProductVersion": "9.4.0.0", "ProductLanguage": "1033",
        "Manufacturer": "Corvane", "ZEBPRODUCTKIND": "server", "ZEBDISKFOLDERNAME": "HX",
        **{f"ZEBPROPERTYNAMELIST{i + 1}": ";".join(names[i * 10:i * 10 + 10]) for i in range(3)},
        # What the engine sets: the machine (Windows 10), the package's place, the standard folders.
        "VersionNT": "603", "VersionNT64": "603", "TempFolder": "C:\\Temp\\",
        "SystemLanguageID": "1033", "ProgramFiles64Folder": "C:\\Program Files\\",
        "ProgramFilesFolder": "C:\\Program Files (x86)\\", "CommonAppDataFolder": "C:\\ProgramData\\",
        "WindowsFolder": "C:\\Windows\\", "System64Folder": "C:\\Windows\\System32\\",
        "ProgramMenuFolder": "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\",
        "ACTION": "INSTALL", "EXECUTEACTION": "INSTALL", "ComputerName": "HXHOST",
        "DATABASE": "C:\\Windows\\Installer\\1f2e.msi", "OriginalDatabase": "D:\\Server\\hx-server.msi",
        # The package's own folders, as costing resolves them.
        "CorvaneFolder": PROGRAM_FILES, "BIN64": f"{PROGRAM_FILES}{run.folder}\\bin64\\",
        **({"USEINI": RESPONSE_FILE} if run.response else {}),
        # The engine's for a run of an installed product.
        **({"Installed": "2026/12/07 10:00:00", "ProductState": "5"} if run.product in run.installed else {}),
        **run.properties,
    }
    # FindRelatedProducts, which runs only for a product not yet installed: the other servers.
    related = [code for code in run.installed if code != run.product]
    if related and run.product not in run.installed:
        properties["ZEBOLDSERVER"] = ";".join(related)
    order = script_order(rows)

    out.mkdir(parents=True, exist_ok=True)
    tables = out / "tables"
    if tables.exists():
        shutil.rmtree(tables)
    (tables / "Binary").mkdir(parents=True)
    shutil.copy2(language_library, tables / "Binary" / "zebircan.dll")
    (tables / "Property.idt").write_text(idt("Property", ["Property", "Value"], ["s72", "l0"], ["Property"],
                                             sorted(properties.items())), encoding="latin-1")
    (tables / "Binary.idt").write_text(idt("Binary", ["Name", "Data"], ["s72", "v0"], ["Name"],
                                           [("zebircan.dll", "zebircan.dll")]), encoding="latin-1")
    (tables / "UIText.idt").write_text(idt("UIText", ["Key", "Text"], ["s72", "L255"], ["Key"],
                                           [("ZEB__setup_language", "A")]), encoding="latin-1")
    (tables / "ListBox.idt").write_text(idt("ListBox", ["Property", "Order", "Value", "Text"],
                                            ["s72", "i2", "s64", "L64"], ["Property", "Order"], []),
                                        encoding="latin-1")
    for name in ("CustomAction", "InstallExecuteSequence", "InstallUISequence"):
        shutil.copy2(ROOT / "packaging" / "idt" / f"{name}.idt", tables / f"{name}.idt")
    (tables / "Shortcut.idt").write_text(
        idt("Shortcut", ["Shortcut", "Directory_", "Name", "Component_", "Target", "Arguments", "Description",
                         "Hotkey", "Icon_", "IconIndex", "ShowCmd", "WkDir"],
            ["s72", "s72", "l128", "s72", "s72", "S255", "L255", "I2", "S72", "I2", "I2", "S72"], ["Shortcut"], []),
        encoding="latin-1")
    # The package's Registry rows: the record in both views, and the Components values of the
    # installation's features.
    record = [(f"HxRecord{32 if view else 64}_{i}", "2", builder.RECORD_KEY.format(view), name,
               value.format(version="9", release="4"), "Base_base_Instance1")
              for view in ("", "Wow6432Node\\") for i, (name, value) in enumerate(builder.RECORD)]
    record += [(f"HxComponent{32 if view else 64}_{f}", "2", builder.RECORD_KEY.format(view) + "\\Components", value,
                "1", f"{f}_base_Instance1")
               for view in ("", "Wow6432Node\\") for f, value in builder.COMPONENT_VALUES.items() if f in FEATURES]
    (tables / "Registry.idt").write_text(
        idt("Registry", ["Registry", "Root", "Key", "Name", "Value", "Component_"],
            ["s72", "i2", "l255", "L255", "L0", "s72"], ["Registry"], record), encoding="latin-1")
    # wixl's package has the table, empty, for the rows the library stacks.
    (tables / "RemoveFile.idt").write_text(
        idt("RemoveFile", ["FileKey", "Component_", "FileName", "DirProperty", "InstallMode"],
            ["s72", "s72", "L255", "s72", "i2"], ["FileKey"], []), encoding="latin-1")
    (tables / "Feature.idt").write_text(
        idt("Feature", ["Feature", "Feature_Parent", "Title", "Description", "Display", "Level", "Directory_",
                        "Attributes"], ["s38", "S38", "L64", "L255", "I2", "i2", "S72", "i2"], ["Feature"],
            [(f, "", f, "", str(2 * i + 1), "1", "", "0") for i, f in enumerate(FEATURES)]), encoding="latin-1")
    (tables / "Component.idt").write_text(
        idt("Component", ["Component", "ComponentId", "Directory_", "Attributes", "Condition", "KeyPath"],
            ["s72", "S38", "s72", "i2", "S255", "S72"], ["Component"],
            [(f"{f}_base_Instance1", builder.COMPONENT_CODE.format(i + 1), "INSTALLDIR", "256", "", "")
             for i, (f, _) in enumerate(builder.FEATURES) if f in FEATURES]), encoding="latin-1")

    actions = []
    finalized = False
    for row, mode in order:
        if mode == "immediate" and row.sequence[EXECUTE] > INSTALL_FINALIZE and not finalized:
            actions.append({"name": "InstallFinalize", "engine": "InstallFinalize"})
            finalized = True
        step = {"name": row.name}
        if row.export != row.name:
            step["entry"] = row.export
        if mode != "immediate":
            step["mode"] = mode
        if row.condition:
            step["condition"] = row.condition
        actions.append(step)
    # An installed product's features are local; the run removes some and leaves the rest.
    maintenance = run.product in run.installed
    states = {f: ("local", "absent" if f in run.removed else "unknown") if maintenance else ("absent", "local")
              for f in FEATURES}
    files = {"D:\\Server\\hx-server.msi": "package"}
    if run.response:
        files[RESPONSE_FILE] = "[Response]\r\n" + run.response
    if step_name == "first":
        files[f"{TRACE_FOLDER}\\readme.txt"] = "the trace files' folder"
    scenario = {
        "description": f"{run.description} (generated by tools/road/road_scenario.py).",
        "uiLevel": 2,
        "computerName": "HXHOST",
        "drives": {"D": {"type": "cdrom", "label": "HXMEDIA"}},
        # The engine's: a run of an installed product is maintenance.
        "modes": ["LOGENABLED", "ROLLBACKENABLED"] + (["MAINTENANCE"] if run.product in run.installed else []),
        "summary": {"9": "{5D0C83E2-3B7A-4F11-9A1E-00000000C0DE}"},
        # The package's stand-in programs, installed by the engine before the launches run.
        "programs": {f"{properties['BIN64']}{p}": {} for p in builder.STAND_INS},
        "files": files,
        "features": {f: {"installed": i, "action": a} for f, (i, a) in states.items()},
        "components": {f"{f}_base_Instance1": {"installed": i, "action": a} for f, (i, a) in states.items()},
        "products": [{"code": code, "upgradeCode": builder.UPGRADE_CODES["server"], "name": properties["ProductName"],
                      "features": {f: "local" for f in FEATURES}} for code in run.installed],
        "actions": actions,
        "expect": {
            "status": {step["name"]: 0 for step in actions if "condition" not in step and "engine" not in step},
            "noTrace": ["Invalid depth count"],
            # Nothing of the library's own is left in the temporary folder.
            "files": {"C:\\Temp\\zebp0001.txt": False, "C:\\Temp\\zebg0001.txt": False,
                      "C:\\Temp\\zebl0001.dll": False, "C:\\Temp\\zebs0001.txt": False},
            "properties": run.expect,
            # A removal leaves no record of the installation, in either view.
            **({"engineRemoves": [f"HKLM\\{builder.RECORD_KEY.format(view)}".replace(
                "[ZEBINSTALLINSTANCENAME]", run.expect["ZEBINSTALLINSTANCENAME"]) for view in ("", "Wow6432Node\\")]}
               if set(run.removed) == set(FEATURES) else {}),
            "leakedHandles": 0,
        },
    }
    (out / "scenario.json").write_text(json.dumps(scenario, indent=2) + "\n", encoding="utf-8")
    return order


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("out", type=Path, help="the scenario folder to write")
    ap.add_argument("--language-library", type=Path, required=True, help="the built zebircan.dll")
    ap.add_argument("--step", choices=list(STEPS), default="first", help="the road's step (default: first)")
    args = ap.parse_args()
    order = write(args.out, args.language_library, args.step)
    print(f"road_scenario: {len(order)} actions into {args.out}")


if __name__ == "__main__":
    main()
