"""The name and folder checks and iwiInstallInitNamed in Wine's installer engine: the driver (UILevel
2) on registries seeded with hxrecord's records in both views; the upgrade permission written in
both views by the real registry."""

import shutil

from zebwine import expect, hx_records, lit, scenario

CODE_1 = "{7A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F1}"
PARMS = "iwiValidateInstallationParms"
INSTALL_PATH = "iwiValidateInstallPath"
NAMED = "iwiInstallInitNamed"


def seed(t, *words):
    t.prefix.reg_import(hx_records("reset", *words))


def language_library(t):
    built = t.run.windows_build / "zebircan.dll"
    expect(built.exists(), f"{built} is missing (cmake --build --preset windows)")
    temp = t.folder("temp")
    shutil.copy2(built, t.unix(temp) / "zebl0001.dll")
    return {"ZEBTEMP": temp, "ZEBTEMPFILENUM": "0001", "ZEBLANGDLLCREATED": "1"}


def run(t, properties, actions, gets=()):
    ops = [a for k, v in properties.items() for a in ("--set", f"{k}={v}")]
    ops += [a for action in actions for a in ("--do", action)]
    ops += [a for p in gets for a in ("--get", p)]
    d = t.driver(t.package(), ops)
    d.expect_ok()
    return d


def seed_two(t):
    seed(t, "installation", "Inst1", "description=One", "identifier=1", "vrmf=9.4.0.0", f"productcode={CODE_1}",
         "folder=C:\\zebtest\\P1", "installation", "Inst2", "description=Two", "identifier=2", "vrmf=9.4.0.0",
         "folder=C:\\zebtest\\P2", "view=32")


@scenario()
def name_in_use_in_the_32_bit_view(t):
    seed_two(t)
    props = language_library(t)
    props.update({"ZEBINSTALLINSTANCENAME": "inst2", "ZEBPGMFOLDER": "C:\\zebtest\\P9"})
    d = run(t, props, [PARMS, INSTALL_PATH], ["ZEBInstallationParmsValid"])
    expect(d.actions == [(PARMS, 1603), (INSTALL_PATH, 1603)], f"results {d.actions}:\n{d.stdout}")
    expect(d.properties.get("ZEBInstallationParmsValid", "") == "", f"properties {d.properties}")
    text = ("Invalid Installation Name. The name 'inst2' is already in use and cannot be specified for the "
            "Installation Name, select a new unique name. (ZEB4771)")
    d.trace.expect_order(lit("Loop 1 (0==64 bit tree, 1==32 bit tree)"), lit("Found other installation name 'Inst2'"),
                         lit(f"HXCA {INSTALL_PATH} MB *** error: {text}"))


@scenario()
def folder_inside_another_installation(t):
    seed_two(t)
    props = language_library(t)
    props.update({"ZEBINSTALLINSTANCENAME": "Inst9", "ZEBPGMFOLDER": "C:\\zebtest\\P1\\sub"})
    d = run(t, props, [INSTALL_PATH])
    expect(d.actions == [(INSTALL_PATH, 1603)], f"results {d.actions}")
    text = ("Invalid Installation Path. The path 'C:\\zebtest\\P1\\sub\\' is already in use and cannot be "
            "specified for the installation path, select a different path. (ZEB4780)")
    d.trace.expect_order(lit("Which is installed in 'C:\\zebtest\\P1\\'"), lit(f"HXCA {INSTALL_PATH} MB *** error: {text}"))


@scenario()
def data_folder_too_long(t):
    props = {"_BrowseProperty": "_BrowseFolder", "_BrowseFolder": "C:\\" + "d" * 70, "ZEBWhichFolder": "dat"}
    d = run(t, props, ["iwiValidatePath"], ["ZEBPathValid"])
    expect(d.actions == [("iwiValidatePath", 0)], f"results {d.actions}")
    expect(d.properties.get("ZEBPathValid", "") == "", f"ZEBPathValid {d.properties.get('ZEBPathValid')}")
    d.trace.expect(lit("***Path 'C:\\" + "d" * 70 + "' type 2 is not valid"))


@scenario()
def named_after_the_name_processing(t):
    seed(t)
    props = language_library(t)
    props["ZEBPRODUCT"] = "server"  # what iwiInstallInitPri sets for the server package
    gets = ["ZEBINSTALLINSTANCENAME", "ZEBMAKEPRIMARY", "ZEBALLOWPRIMARY", "ZEBSETUPTITLE", "ProductVersion"]
    d = run(t, props, ["iwiProcessUserInstallationName", NAMED], gets)
    expect(d.actions == [("iwiProcessUserInstallationName", 0), (NAMED, 0)], f"results {d.actions}")
    p = d.properties
    expect(p.get("ZEBINSTALLINSTANCENAME") == "Installation1", f"name {p.get('ZEBINSTALLINSTANCENAME')}")
    expect(p.get("ZEBMAKEPRIMARY") == "1" and p.get("ZEBALLOWPRIMARY") == "1", f"primary {p}")
    version = p.get("ProductVersion", "")
    while len(version) > 3 and version.endswith(".0"):
        version = version[:-2]
    expect(p.get("ZEBSETUPTITLE") == f"HX V{version} Setup", f"title {p.get('ZEBSETUPTITLE')}")

    # Another installation is primary: this one is not, whatever MAKEPRIMARY says.
    seed(t, "installation", "Inst1", "description=One", "identifier=1", "vrmf=9.4.0.0", f"productcode={CODE_1}",
         "folder=C:\\zebtest\\P1", "primary", "Inst1")
    props["MAKEPRIMARY"] = "1"
    d = run(t, props, ["iwiProcessUserInstallationName", NAMED], gets)
    expect(d.actions == [("iwiProcessUserInstallationName", 0), (NAMED, 0)], f"results {d.actions}")
    expect(d.properties.get("ZEBMAKEPRIMARY", "") == "", f"primary {d.properties}")


@scenario()
def upgrade_allowed_in_both_views(t):
    seed(t, "installation", "Inst1", "description=One", "identifier=1", "vrmf=9.3.0.0", f"productcode={CODE_1}",
         "folder=C:\\zebtest\\P1", "installation", "Inst1", "description=One", "identifier=1", "vrmf=9.3.0.0",
         f"productcode={CODE_1}", "folder=C:\\zebtest\\P1", "view=32")
    d = run(t, {"ZEBOLDSERVER": CODE_1}, [NAMED], ["ZEBOLDINSTALLINSTANCENAME"])
    expect(d.actions == [(NAMED, 0)], f"results {d.actions}:\n{d.stdout}")
    expect(d.properties.get("ZEBOLDINSTALLINSTANCENAME") == "Inst1", f"old name {d.properties}")
    d.trace.expect(lit("Permitting an upgrade to occur"))
    d.trace.expect_not(r"\*\*\*Can't (open key|set value)")
    for key in (r"HKLM\SOFTWARE\Corvane\Skyloft HX\Installation\Inst1",
                r"HKLM\SOFTWARE\Wow6432Node\Corvane\Skyloft HX\Installation\Inst1"):
        values = t.prefix.reg_values(key) or {}
        expect(values.get("AllowUpgrade") == "1", f"{key}: {values}")


def media_table(label):
    return {"Media": ["DiskId\tLastSequence\tDiskPrompt\tCabinet\tVolumeLabel\tSource", "i2\ti4\tL64\tS255\tS32\tS72",
                      "Media\tDiskId", f"1\t0\t\t\t{label}\t"]}


@scenario(clean_machine=True)
def volume_label_of_a_cd_source(t):
    # D: is a CD holding the package's folder; Wine takes the label from .windows-label and the drive
    # type from its Drives key, read when the wineserver starts.
    cd = t.root / "cd"
    (cd / "HX" / "Windows").mkdir(parents=True)
    (cd / ".windows-label").write_text("HXCD1\n")
    drive = t.prefix.path / "dosdevices" / "d:"
    if drive.is_symlink() or drive.exists():
        drive.unlink()
    drive.symlink_to(cd)
    t.prefix.reg_import('REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]\n"d:"="cdrom"\n')
    t.prefix.restart_server()

    ops = ["--set", "ZEBCHECKVOLUME=1", "--set", "SourceDir=D:\\HX\\Windows\\", "--do", "iwiCheckVolumeLabel"]
    d = t.driver(t.package(tables=media_table("HXCD1")), ops)
    d.expect_ok()
    expect(d.actions == [("iwiCheckVolumeLabel", 0)], f"results {d.actions}:\n{d.stdout}")
    d.trace.expect_order(lit("Source drive is 'D:\\'"), lit("Found source drive 'D:\\'"),
                         lit("Drive 'D:\\' is removable"), lit("Volume label is 'HXCD1'"),
                         lit("Media table volume label is 'HXCD1'"))

    # The labels are compared with their case.
    d = t.driver(t.package(tables=media_table("hxcd1")), ops)
    d.expect_ok()
    expect(d.actions == [("iwiCheckVolumeLabel", 1603)], f"results {d.actions}:\n{d.stdout}")
    d.trace.expect(lit("***CD volume label is incorrect; should be 'hxcd1'"))
