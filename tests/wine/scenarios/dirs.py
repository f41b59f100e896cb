"""The program, data and log folders in Wine's installer engine: iwiSetDirs before costing, with the
engine's own ProgramFiles64Folder and CommonAppDataFolder, beside seeded installation records; a
recommended data folder on a drive Wine does not have; and iwiSetupDynamicPaths before
CreateShortcuts renaming the first instance's shortcut."""

from zebwine import expect, hx_records, lit, scenario

SET_DIRS = [("iwiSetDirs", "NOT Installed", 990)]  # CostFinalize is 1000
PROPERTIES = {"ZEBDISKFOLDERNAME": "HX"}
PGM = "C:\\Program Files\\Corvane\\HX"
DAT = "C:\\ProgramData\\Corvane\\HX"


def installed(t, stem):
    """The package of that run id is installed: its Registry.idt value is there."""
    return stem in (t.prefix.reg_values(r"HKLM\SOFTWARE\Corvane\ZebWineTest") or {})


def expect_property(r, name, value):
    got = r.properties.get(name)
    expect(got == value, f"{name} is {got!r}, expected {value!r}; log {r.log_path}")


def drives(trace):
    return [line.text for line in trace.lines if line.text.startswith("Valid Drive ")]


@scenario(clean_machine=True)
def first_installation_and_taken_defaults(t):
    pkg = t.package(sequence=SET_DIRS, properties=PROPERTIES)
    r = t.msiexec("/i", pkg)
    try:
        r.expect_code(0)
        expect_property(r, "ZEBPGMFOLDER", PGM)
        expect_property(r, "ZEBDATFOLDER", DAT)
        expect_property(r, "ZEBLOGFOLDER", DAT + "\\log")
        # The engine resolves the directory from the property at CostFinalize.
        expect(r.properties.get("INSTALLDIR", "").rstrip("\\") == PGM,
               f"INSTALLDIR {r.properties.get('INSTALLDIR')!r}; log {r.log_path}")
        trace = r.action_trace("iwiSetDirs")
        trace.expect(lit("Nothing is installed - candidate for data/log/pgm path modifications"))
        trace.expect_not("In use by legacy installation")
    finally:
        t.msiexec("/x", pkg).expect_code(0)

    t.prefix.reg_import(hx_records("reset", "installation", "Inst1", "identifier=1", f"folder={PGM}",
                                   "installation", "Inst2", "identifier=2", f"folder={PGM}_10"))
    pkg = t.package(sequence=SET_DIRS, properties=PROPERTIES)
    try:
        r = t.msiexec("/i", pkg)
        r.expect_code(0)
        expect_property(r, "ZEBPGMFOLDER", PGM + "_1")
        trace = r.action_trace("iwiSetDirs")
        trace.expect(lit(f"In use by installation Inst1 with path {PGM}\\ - skipping"))
        trace.expect_not("In use by installation Inst2")
        trace.expect(lit("Other installation(s) exist, cannot move the data directory"))
    finally:
        t.msiexec("/x", pkg).expect_code(0)
        t.prefix.reg_import(hx_records("reset"))


@scenario()
def recommended_data_folder_on_a_missing_drive(t):
    t.prefix.reg_import(hx_records("reset", "workpath", "Q:\\HXData", "view=32"))
    pkg = t.package(sequence=SET_DIRS, properties=PROPERTIES)
    try:
        r = t.msiexec("/i", pkg)
        r.expect_code(1603)
        trace = r.action_trace("iwiSetDirs")
        print("DRIVES", drives(trace), flush=True)
        trace.expect(r"^HXCA iwiSetDirs MB \*\*\* error: The data folder 'Q:\\HXData' recommended by an earlier")
        trace.expect(lit("Returning with rc 1603"))
        expect(not installed(t, pkg.stem), f"{pkg.stem} was installed after iwiSetDirs failed")

        t.prefix.reg_import(hx_records("reset", "workpath", "C:\\HXData", "view=32"))
        r = t.msiexec("/i", pkg)
        r.expect_code(0)
        expect_property(r, "ZEBDATFOLDER", "C:\\HXData")
        r.action_trace("iwiSetDirs").expect(lit("Setting dat recommendation from last install"))
        t.msiexec("/x", pkg).expect_code(0)
    finally:
        t.prefix.reg_import(hx_records("reset"))


SHORTCUT = ["Shortcut\tDirectory_\tName\tComponent_\tTarget\tArguments\tDescription\tHotkey\tIcon_\tIconIndex\t"
            "ShowCmd\tWkDir",
            "s72\ts72\tl128\ts72\ts72\tS255\tL255\tI2\tS72\tI2\tI2\tS72", "Shortcut\tShortcut",
            "Explorer\tINSTALLDIR\tHXEXPL~1|HX Explorer\tBase_base_Instance1\t[INSTALLDIR]\t\t\t\t\t\t\t",
            "Docs\tINSTALLDIR\tDocs\tDocs\t[INSTALLDIR]\t\t\t\t\t\t\t"]
COMPONENT = ["Component\tComponentId\tDirectory_\tAttributes\tCondition\tKeyPath",
             "s72\tS38\ts72\ti2\tS255\tS72", "Component\tComponent",
             "Docs\t{6B0E4C1A-53D2-4F7E-9E11-0A1B2C3D4E10}\tINSTALLDIR\t256\t\t"]
FEATURE = ["Feature\tFeature_Parent\tTitle\tDescription\tDisplay\tLevel\tDirectory_\tAttributes",
           "s38\tS38\tL64\tL255\tI2\ti2\tS72\ti2", "Feature\tFeature", "Docs\t\tDocs\t\t2\t1\t\t0"]
FEATURE_COMPONENTS = ["Feature_\tComponent_", "s38\ts72", "FeatureComponents\tFeature_\tComponent_",
                      "Docs\tDocs"]


@scenario(clean_machine=True)
def shortcut_of_the_first_instance_carries_the_name(t):
    # Before RemoveShortcuts too, so that removal looks for the name the installation gave.
    sequence = [("iwiSetupDynamicPaths", None, 3190), ("RemoveShortcuts", None, 3200),
                ("CreateShortcuts", None, 4500)]
    tables = {"Shortcut": SHORTCUT, "Component": COMPONENT, "Feature": FEATURE,
              "FeatureComponents": FEATURE_COMPONENTS}
    pkg = t.package(sequence=sequence, tables=tables)
    name = {"ZEBINSTALLINSTANCENAME": "Installation2"}
    r = t.msiexec("/i", pkg, name)
    folder = t.unix(PGM)
    try:
        r.expect_code(0)
        trace = r.action_trace("iwiSetupDynamicPaths")
        trace.expect(lit("Found shortcut (component Base_base_Instance1) so updating its name to "
                         "HXEXPL~1|HX Explorer (Installation2)"))
        trace.expect(lit("Found shortcut Docs"))
        trace.expect_not("so updating its name to Docs")
        # Wine's fetch reaches the row put back as a temporary one: renamed once all the same.
        expect(trace.count("so updating its name to") == 1, f"renamed more than once; log {r.log_path}")
        made = sorted(p.name for p in folder.glob("*.lnk")) if folder.exists() else []
        print("SHORTCUT FILES", made, flush=True)
        expect("HX Explorer (Installation2).lnk" in made and "Docs.lnk" in made,
               f"shortcut files {made} in {folder}; log {r.log_path}")
    finally:
        t.msiexec("/x", pkg, name).expect_code(0)
    left = sorted(p.name for p in folder.glob("*.lnk")) if folder.exists() else []
    expect(left == [], f"shortcut files {left} left after removal")
