"""Feature selection and upgrade discovery in Wine's installer engine: iwiRuntimeMVChanges before
costing in msiexec /i, with the engine registering the rewritten component codes of two instances
side by side; iwiListAvailableUpgrades fed by the engine's FindRelatedProducts; the minimum preset
and the Java-runtime dependants after the engine's costing (driver)."""

import re
from pathlib import Path

from zebwine import expect, hx_records, lit, scenario, squashed

IDS_SOURCE = Path(__file__).resolve().parents[3] / "install/pc/winnt/msi/zebiwicnFeaturesIds.cpp"
WXS = Path(__file__).resolve().parents[1] / "package/hx.wxs"
SERVER_UPGRADE = "{8D1C5EA1-A4C5-4967-97FA-77FE6D4B5EA7}"
COMPONENTS_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Installer\UserData\S-1-5-18\Components"
LISTBOX = ["Property\tOrder\tValue\tText", "s72\ti2\ts64\tL64", "ListBox\tProperty\tOrder"]


def identity_codes():
    """{component: [code of instance 1, ..., 127]}, the first row of a name winning."""
    text = IDS_SOURCE.read_text()
    codes = {}
    for name, body in re.findall(r'\{"([^"]+)", \{\n(.*?)\}\},', text, re.S):
        codes.setdefault(name, re.findall(r'"(\{[0-9A-F-]{36}\})"', body))
    return codes


def package_components():
    return re.findall(r'<Component Id="([^"]*_Instance1[^"]*)"', WXS.read_text())


@scenario(clean_machine=True)
def instances_install_under_codes_of_their_own(t):
    codes = identity_codes()
    names = package_components()
    expect(len(names) > 0, "no per-instance component in hx.wxs")
    installs = {}
    for instance in (2, 3):
        pkg = t.package(sequence=[("iwiRuntimeMVChanges", None, 790)])
        r = t.msiexec("/i", pkg, {"ZEBINSTANCEID": str(instance)})
        r.expect_code(0)
        trace = r.action_trace("iwiRuntimeMVChanges")
        for name in names:
            expect(trace.count("^" + re.escape(f"Updating guid for {name} to ")) == 1,
                   f"instance {instance}: {name} not rewritten exactly once:\n{trace.dump()}")
            trace.expect(lit(f"Updating guid for {name} to {codes[name][instance - 1]} ({instance})"))
            # Wine's cursor steps back with the deleted row and meets the re-inserted one again.
            expect(trace.count(lit(f"Component {name} already updated - skipping")) == 1,
                   f"instance {instance}: {name} not met again once:\n{trace.dump()}")
        installs[instance] = squashed(r.properties["ProductCode"])

    for instance, product in installs.items():
        other = installs[5 - instance]
        for name in names:
            own = t.prefix.reg_values(rf"{COMPONENTS_KEY}\{squashed(codes[name][instance - 1])}")
            expect(own is not None and product in own and other not in own,
                   f"instance {instance}: {name} registered as {own}, product {product}")
            built = t.prefix.reg_values(rf"{COMPONENTS_KEY}\{squashed(codes[name][0])}")
            expect(built is None or product not in built,
                   f"instance {instance}: {name} also registered under the package's own code: {built}")


def related_package(t):
    """A package whose FindRelatedProducts puts every installed server package's code in
    ZEBOLDSERVER."""
    upgrade = ["UpgradeCode\tVersionMin\tVersionMax\tLanguage\tAttributes\tRemove\tActionProperty",
               "s38\tS20\tS20\tS255\ti4\tS255\ts72", "Upgrade\tUpgradeCode\tVersionMin\tVersionMax\tLanguage\tAttributes",
               f"{SERVER_UPGRADE}\t0.0.1\t\t\t258\t\tZEBOLDSERVER"]
    return t.package(tables={"Upgrade": upgrade, "ListBox": LISTBOX})


@scenario(clean_machine=True)
def upgrades_found_by_the_engine(t):
    earlier = []
    for n in (1, 2):
        r = t.msiexec("/i", t.package())
        r.expect_code(0)
        earlier.append(r.properties["ProductCode"])
    t.prefix.reg_import(hx_records("reset", "installation", "Inst1", "description=First", "identifier=1",
                                   "vrmf=9.4.0.1", f"productcode={earlier[0]}", "installation", "Inst2",
                                   "identifier=2", "vrmf=9.4.0.2", f"productcode={earlier[1]}"))
    pkg = related_package(t)
    d = t.driver(pkg, ["--do", "FindRelatedProducts", "--get", "ZEBOLDSERVER"])
    d.expect_ok()
    found = d.properties.get("ZEBOLDSERVER", "")
    # Wine 8's FindRelatedProducts stops at the first related product it enumerates: one code, no
    # separator, whichever of the two installed products its registry lists first.
    expect(found in earlier, f"ZEBOLDSERVER {found!r}, installed {earlier}")

    # The list as Windows gives it for both products, joined by ";".
    d = t.driver(pkg, ["--set", "ZEBOLDSERVER=" + ";".join(earlier), "--do", "iwiListAvailableUpgrades",
                       "--get", "ZEBNUMUPGRADEABLES", "--get", "ZEBSELECTUPGRADELISTBOX", "--table", "ListBox"])
    d.expect_ok()
    expect(("iwiListAvailableUpgrades", 0) in d.actions, f"iwiListAvailableUpgrades failed:\n{d.stdout}")
    rows = [r for r in d.tables.get("ListBox", []) if r and r[0] == "ZEBSELECTUPGRADELISTBOX"]
    values = [r[2] for r in rows]
    expect(values == ["**NEW**"] + earlier, f"list box values {values}:\n{d.stdout}")
    expect(d.properties.get("ZEBNUMUPGRADEABLES") == "3", f"count {d.properties.get('ZEBNUMUPGRADEABLES')}")
    expect("Skipping panel" not in d.stdout, "a default was chosen with three entries")
    texts = [r[3] for r in rows]
    expect("9.4.0.1" in texts[1] and "'Inst1' - First" in texts[1], f"entry texts {texts}")

    # One code only, and the new entry refused by a legacy record below the coexistence level:
    # that code is the choice without the dialog.
    t.prefix.reg_import(hx_records("reset", "installation", "Inst1", "identifier=1", "vrmf=9.4.0.1",
                                   f"productcode={earlier[0]}", "old", f"productcode={{00000000-0000-0000-0000-000000007015}}",
                                   "vrmf=7.0.1.5"))
    d = t.driver(pkg, ["--set", f"ZEBOLDSERVER={earlier[0]}", "--do", "iwiListAvailableUpgrades",
                       "--get", "ZEBSELECTUPGRADELISTBOX", "--get", "ZEBDENYCOEXIST"])
    d.expect_ok()
    expect(("iwiListAvailableUpgrades", 0) in d.actions, f"iwiListAvailableUpgrades failed:\n{d.stdout}")
    expect(d.properties.get("ZEBSELECTUPGRADELISTBOX") == earlier[0],
           f"default {d.properties.get('ZEBSELECTUPGRADELISTBOX')}, expected {earlier[0]}")
    expect(d.properties.get("ZEBDENYCOEXIST") == "1", f"ZEBDENYCOEXIST {d.properties.get('ZEBDENYCOEXIST')}")
    d.trace.expect(lit("VRMF 7.0.1.5 cannot coexist - Skipping"))


def features(d):
    """{feature: (installed, action)} from the driver's FEATURE lines."""
    out = {}
    for m in re.finditer(r"^FEATURE (\S+) (-?\d+) (-?\d+)\r?$", d.stdout, re.M):
        out[m.group(1)] = (int(m.group(2)), int(m.group(3)))
    return out


COSTING = ["--do", "CostInitialize", "--do", "FileCost", "--do", "CostFinalize"]
FEATURES = ["Base", "JRE", "Server", "Toolkit", "JavaMsg", "Web", "Client"]


@scenario()
def minimum_preset_after_costing(t):
    pkg = t.package(tables={"ListBox": LISTBOX})
    ops = ["--set", "ZEBPRODUCT=server"] + COSTING + ["--do", "iwiSetFeaturesMinimum"]
    ops += [a for f in FEATURES for a in ("--feature", f)] + ["--get", "INSTALLLEVEL"]
    d = t.driver(pkg, ops)
    d.expect_ok()
    expect(("iwiSetFeaturesMinimum", 0) in d.actions, f"iwiSetFeaturesMinimum failed:\n{d.stdout}")
    states = features(d)
    want = {"Base": 3, "JRE": 3, "Server": 3, "Toolkit": 2, "JavaMsg": 2, "Web": 2, "Client": 2}
    got = {f: states.get(f, (None, None))[1] for f in want}
    expect(got == want, f"action states {got}, expected {want}:\n{d.stdout}")
    expect(d.properties.get("INSTALLLEVEL") == "100", f"INSTALLLEVEL {d.properties.get('INSTALLLEVEL')}")
    d.trace.expect(lit("MsiSetInstallLevel(100) rc=0"))

    # Wine reports the action a feature was asked for (ADDLOCAL, REMOVE, MsiSetFeatureState), not one
    # its install level chose: with REMOVE=JRE alone every action reads INSTALLSTATE_UNKNOWN, so the
    # run asks for every feature and leaves the Java runtime out.
    pkg = t.package(sequence=[("iwiAddFeaturesNeedingJRE", None, 1001)], tables={"ListBox": LISTBOX})
    r = t.msiexec("/i", pkg, {"ADDLOCAL": "ALL", "REMOVE": "JRE"})
    r.expect_code(0)
    trace = r.action_trace("iwiAddFeaturesNeedingJRE")
    # Without the language library the feature's own name stands for its display name.
    trace.expect_order(lit("feature 'MFT_Agent' will be installed (or already is) and prereqs JRE"),
                       lit("Add (NLS) 'MFT_Agent' to ListBox"))
    trace.expect(lit("'MFT_Agent' Feature - Installed: INSTALLSTATE_ABSENT Action: INSTALLSTATE_LOCAL"))
    trace.expect_not(lit("Add (NLS) 'JRE' to ListBox"))
