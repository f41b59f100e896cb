#!/usr/bin/env python3
"""Writes an hxca scenario folder for a road step from the package author's kit: the execute
sequence's rows of zebiwicn.dll in the order a silent run of the engine calls them (immediate
rows in sequence order, the script's deferred and commit rows at InstallFinalize, then what
follows it), with each row's condition decided against the step's starting properties and
feature requests. The machine and package are the server package of a first installation."""
import argparse
import json
import re
import shutil
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "packaging"))
import genkit  # noqa: E402

EXECUTE = "InstallExecuteSequence"
INSTALL_FINALIZE = 6600
FEATURES = ["Base", "Server", "Client", "JavaMsg", "Toolkit", "JRE", "Web", "XR_Service", "MFT_Service",
            "MFT_Logger", "MFT_Agent", "MFT_Tools", "AMS", "AMQP"]
# The typical selection of a first server installation.
TYPICAL = {"Base", "Server", "Client", "JavaMsg", "Toolkit", "JRE"}
# Everything a deferred row of the library reads travels in the deferred-property file.
DEFERRED_NAMES = [
    "ProductName;ProductCode;UILevel;ZEBTEMP;ZEBTEMPFILENUM;ZEBDATFOLDER;ZEBPGMFOLDER;ZEBLOGFOLDER",
    "ZEBINSTALLINSTANCENAME;ZEBINSTANCEID;ZEBREMOVE;ZEBPRODUCT;ZEBLEAVEQMDATAREMOVE;ZEBSTARTFOLDER",
    "ZEBUSERTRACEPATH;ZEBUSERLOGPATH;SourceDir;TARGETDIR;ZEBVRMF;ZEBLANGDLLCREATED;ZEBLANGUAGECODE",
]
INSTALL_STATES = {2: "absent", 3: "local"}


class Condition:
    """The kit's condition forms: NAME, NOT NAME, NAME="v", NAME~="v", &F=n, !F=n, joined by AND."""

    def __init__(self, properties, requests, installed):
        self.properties, self.requests, self.installed = properties, requests, installed

    def term(self, text):
        text = text.strip()
        if text.startswith("NOT "):
            return not self.term(text[4:])
        m = re.fullmatch(r'([&!])(\w+)=(\d)', text)
        if m:
            table = self.requests if m.group(1) == "&" else self.installed
            return table.get(m.group(2), 2) == int(m.group(3))
        m = re.fullmatch(r'(\w+)(~?)="([^"]*)"', text)
        if m:
            value = self.properties.get(m.group(1), "")
            return value.lower() == m.group(3).lower() if m.group(2) else value == m.group(3)
        if re.fullmatch(r"\w+", text):
            return self.properties.get(text, "") != ""
        raise ValueError(f"condition form not known: {text!r}")

    def holds(self, condition):
        return all(self.term(t) for t in condition.split(" AND ")) if condition.strip() else True


def script_order(rows, condition):
    """(row, mode) in the order a successful silent run calls them."""
    execute = sorted((r for r in rows if EXECUTE in r.sequence), key=lambda r: r.sequence[EXECUTE])
    chosen = [r for r in execute if condition.holds(r.condition)]
    before = [(r, "immediate") for r in chosen if not r.in_script and r.sequence[EXECUTE] < INSTALL_FINALIZE]
    script = [(r, r.run) for r in chosen if r.run in ("deferred", "commit")]
    after = [(r, "immediate") for r in chosen if not r.in_script and r.sequence[EXECUTE] > INSTALL_FINALIZE]
    # Commit rows run once the whole script has succeeded.
    script = [s for s in script if s[1] == "deferred"] + [s for s in script if s[1] == "commit"]
    return before + script + after


def idt(name, header, types, keys, rows):
    return "\r\n".join(["\t".join(header), "\t".join(types), "\t".join([name] + keys)] +
                       ["\t".join(r) for r in rows]) + "\r\n"


def write(out, language_library):
    rows = genkit.parse((ROOT / "packaging" / "actions.txt").read_text(encoding="utf-8"))
    properties = {
        "ProductName": "HX Server", "ProductCode": "{9E4D3A10-94A0-4C1E-8F00-0000000000A1}",
        "UpgradeCode": "{8D1C5EA1-A4C5-4967-97FA-77FE6D4B5EA7}", "ProductVersion": "9.4.0.0",
        "ProductLanguage": "1033", "Manufacturer": "Corvane", "ZEBPRODUCTKIND": "server",
        "VersionNT": "603", "VersionNT64": "603", "TempFolder": "C:\\Temp\\", "SourceDir": "D:\\Server\\",
        "SystemLanguageID": "1033", "ZEBINSTALLINSTANCENAME": "Installation1",
        # The engine's folder properties.
        "ProgramFiles64Folder": "C:\\Program Files\\", "ProgramFilesFolder": "C:\\Program Files (x86)\\",
        "CommonAppDataFolder": "C:\\ProgramData\\", "WindowsFolder": "C:\\Windows\\",
        "System64Folder": "C:\\Windows\\System32\\", "ProgramMenuFolder": "C:\\ProgramData\\Microsoft\\"
        "Windows\\Start Menu\\Programs\\",
    }
    for i, names in enumerate(DEFERRED_NAMES, 1):
        properties[f"ZEBPROPERTYNAMELIST{i}"] = names
    requests = {f: (3 if f in TYPICAL else 2) for f in FEATURES}
    order = script_order(rows, Condition(properties, requests, {}))

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
    (tables / "Feature.idt").write_text(
        idt("Feature", ["Feature", "Feature_Parent", "Title", "Description", "Display", "Level", "Directory_",
                        "Attributes"], ["s38", "S38", "L64", "L255", "I2", "i2", "S72", "i2"], ["Feature"],
            [(f, "", f, "", str(2 * i + 1), "1", "", "0") for i, f in enumerate(FEATURES)]), encoding="latin-1")
    (tables / "Component.idt").write_text(
        idt("Component", ["Component", "ComponentId", "Directory_", "Attributes", "Condition", "KeyPath"],
            ["s72", "S38", "s72", "i2", "S255", "S72"], ["Component"],
            [(f"{f}_base_Instance1", "{6B0E4C1A-53D2-4F7E-9E11-0A1B2C3D4E%02X}" % (i + 1), "INSTALLDIR", "256",
              "", "") for i, f in enumerate(FEATURES)]), encoding="latin-1")

    actions = []
    for row, mode in order:
        step = {"name": row.name}
        if row.export != row.name:
            step["entry"] = row.export
        if mode != "immediate":
            step["mode"] = mode
        actions.append(step)
    scenario = {
        "description": "Road, first installation: the server package's execute sequence as the kit schedules "
                       "it, run silently on a new machine (generated by tools/road/road_scenario.py).",
        "uiLevel": 2,
        "computerName": "HXHOST",
        "drives": {"D": {"type": "cdrom", "label": "HXMEDIA"}},
        "files": {"D:\\Server\\HX.msi": "package"},
        "features": {f: {"installed": "absent", "action": INSTALL_STATES[requests[f]]} for f in FEATURES},
        "components": {f"{f}_base_Instance1": {"installed": "absent", "action": INSTALL_STATES[requests[f]]}
                       for f in FEATURES},
        "actions": actions,
        "expect": {
            "status": {step["name"]: 0 for step in actions},
            "noTrace": ["Invalid depth count"],
            # Nothing of the library's own is left in the temporary folder.
            "files": {"C:\\Temp\\zebp0001.txt": False, "C:\\Temp\\zebg0001.txt": False,
                      "C:\\Temp\\zebl0001.dll": False, "C:\\Temp\\zebs0001.txt": False},
            "properties": {"ZEBINSTALLINSTANCENAME": "Installation1", "ZEBPGMFOLDER": {"regex": "^C:\\\\"},
                           "ZEBDATFOLDER": {"regex": "^C:\\\\"}},
            "leakedHandles": 0,
        },
    }
    (out / "scenario.json").write_text(json.dumps(scenario, indent=2) + "\n", encoding="utf-8")
    return order


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("out", type=Path, help="the scenario folder to write")
    ap.add_argument("--language-library", type=Path, required=True, help="the built zebircan.dll")
    args = ap.parse_args()
    order = write(args.out, args.language_library)
    print(f"road_scenario: {len(order)} actions into {args.out}")


if __name__ == "__main__":
    main()
