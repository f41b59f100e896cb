"""iwiInstallInitSec in msiexec /i after CostFinalize, over a seeded older installation: the old
features carried over, the engine's Preselected for ADDLOCAL, the launchpad beside the media, and a
refused higher level."""

from zebwine import expect, hx_records, lit, scenario

ACTION = "iwiInstallInitSec"
OLD_SERVER = "{11111111-1111-1111-1111-111111111111}"
FEATURES = ("Server", "Client", "Toolkit")
REGISTRY = ["Registry\tRoot\tKey\tName\tValue\tComponent_", "s72\ti2\tl255\tL255\tL0\ts72", "Registry\tRegistry"] + [
    f"ZebFeature{f}\t2\tSOFTWARE\\Corvane\\ZebWineTest\t[ZEBRUNID]-{f}\t1\t{f}_base_Instance1" for f in FEATURES]
LIST_BOX = ["Property\tOrder\tValue\tText", "s72\ti2\ts64\tL64", "ListBox\tProperty\tOrder"]
TABLES = {"Registry": REGISTRY, "ListBox": LIST_BOX}
TEXT_210 = "Setup cannot continue; a similar or later version of the product is already installed. (ZEB4350)"


def seed(t, vrmf):
    version, release = vrmf.split(".")[:2]
    t.prefix.reg_import(hx_records("reset", "installation", "Inst1", "identifier=1", f"vrmf={vrmf}",
                                   "package=Server", "producttype=Server", f"serverversion={version}",
                                   f"serverrelease={release}", "component=Server",
                                   "component=Local Clients\\Windows NT Client"))


def properties(**extra):
    base = {"ZEBOLDINSTALLINSTANCENAME": "Inst1", "ZEBOLDSERVER": OLD_SERVER, "ZEBPRODUCT": "server",
            "ZEBVRMF": "9.4.0.0", "ZEBBUILDTIME": "200"}
    base.update(extra)
    return base


def installed_features(t, stem):
    values = t.prefix.reg_values(r"HKLM\SOFTWARE\Corvane\ZebWineTest") or {}
    return {f for f in FEATURES if f"{stem}-{f}" in values}


@scenario(clean_machine=True)
def old_features_carried_over_after_costing(t):
    seed(t, "9.3.0.0")
    pkg = t.package(sequence=[(ACTION, None, 1010)], tables=TABLES)
    launchpad = pkg.parent.parent / "HXLaunch.exe"
    launchpad.write_bytes(b"MZ")
    try:
        r = t.msiexec("/i", pkg, properties())
        r.expect_code(0)
        expect(installed_features(t, pkg.stem) == {"Server", "Client"},
               f"installed features {installed_features(t, pkg.stem)}; log {r.log_path}")
        expect(r.properties.get("ZEBHAVELAUNCHPAD") == "1", f"ZEBHAVELAUNCHPAD {r.properties.get('ZEBHAVELAUNCHPAD')!r}")
        expect(r.properties.get("ZEBPRESELECT", "") == "", f"ZEBPRESELECT {r.properties.get('ZEBPRESELECT')!r}")
        t.msiexec("/x", pkg).expect_code(0)

        # The engine sets Preselected for a feature list on the command line.
        pkg2 = t.package(sequence=[(ACTION, None, 1010)], tables=TABLES)
        r = t.msiexec("/i", pkg2, properties(ADDLOCAL="Server"))
        r.expect_code(0)
        expect(r.properties.get("Preselected") == "1", f"Preselected {r.properties.get('Preselected')!r}")
        expect(r.properties.get("ZEBPRESELECT") == "1", f"ZEBPRESELECT {r.properties.get('ZEBPRESELECT')!r}")
        t.msiexec("/x", pkg2).expect_code(0)
    finally:
        launchpad.unlink(missing_ok=True)
        t.prefix.reg_import(hx_records("reset"))


@scenario(clean_machine=True)
def higher_level_refused_when_checked(t):
    seed(t, "9.5.0.0")
    pkg = t.package(sequence=[(ACTION, None, 1010)], tables=TABLES)
    try:
        r = t.msiexec("/i", pkg, properties(ZEBCHECKVERSION="1"))
        r.expect_code(1603)
        trace = r.action_trace(ACTION)
        trace.expect(lit("***This is Downlevel VR compared to installed product"))
        trace.expect(lit(f"HXCA {ACTION} MB *** error: {TEXT_210}"))
        expect(TEXT_210 in r.log_path.read_bytes().decode("latin-1"), f"no text 210 in {r.log_path}")
        expect(installed_features(t, pkg.stem) == set(), "features installed although the level was refused")
    finally:
        t.prefix.reg_import(hx_records("reset"))
