"""iwiProcessUserInstallationName in Wine's installer engine: the driver on registries seeded with
hxrecord's installation records (both views), and msiexec's own maintenance run of an installed
package, where the engine sets Installed and ProductCode."""

import shutil

from zebwine import expect, hx_records, lit, scenario

ACTION = "iwiProcessUserInstallationName"
IDENTITY = ["ZEBINSTALLINSTANCENAME", "ZEBOLDINSTALLINSTANCENAME", "ZEBINSTALLINSTANCEDESC", "ZEBINSTANCEID",
            "ZEBOLDSERVER", "ZEBOLDCLIENT"]
CODE_A = "{6F1A5C0E-1B2C-4D3E-8F90-A1B2C3D4E5F1}"
CODE_B = "{6F1A5C0E-1B2C-4D3E-8F90-A1B2C3D4E5F2}"
TEXT_2115 = "Cannot change installation name (ZEB4785)"


def seed(t, *words):
    """The product's keys of both views replaced by these records."""
    t.prefix.reg_import(hx_records("reset", *words))


def run_action(t, properties, code=0):
    """The action run by the driver with these properties; returns its result, with the identity
    properties read back."""
    ops = [a for k, v in properties.items() for a in ("--set", f"{k}={v}")] + ["--do", ACTION]
    ops += [a for p in IDENTITY for a in ("--get", p)]
    d = t.driver(t.package(), ops)
    d.expect_ok()
    expect(d.actions == [(ACTION, code)], f"{ACTION} returned {d.actions}, expected {code}:\n{d.stdout}")
    return d


def identity(d):
    return [d.properties.get(p) for p in IDENTITY]


def language_library(t):
    """The built zebircan.dll unpacked as the package does, so that messages come from it."""
    built = t.run.windows_build / "zebircan.dll"
    expect(built.exists(), f"{built} is missing (cmake --build --preset windows)")
    temp = t.folder("temp")
    shutil.copy2(built, t.unix(temp) / "zebl0001.dll")
    return {"ZEBTEMP": temp, "ZEBTEMPFILENUM": "0001", "ZEBLANGDLLCREATED": "1"}


@scenario()
def empty_machine_gives_identifier_one(t):
    seed(t)
    d = run_action(t, {})
    expect(identity(d) == ["", "", "", "1", "", ""], f"identity {identity(d)}")
    d.trace.expect_order(lit("Not installed, and no user name supplied - skipping."),
                         lit("INFO: registry key not found 'SOFTWARE\\Corvane\\Skyloft HX\\Installation'"),
                         lit("Returning installation id 1"), lit("Returning with rc 0"))


@scenario()
def record_only_in_the_32_bit_view(t):
    # What a 32-bit release wrote: reg import puts it under Wow6432Node, the 64-bit library reads it
    # through the 32-bit view.
    seed(t, "installation", "Legacy32", "description=Old one", "identifier=1", "vrmf=9.1.0.4",
         f"productcode={CODE_A}", "folder=C:\\Program Files (x86)\\Corvane\\HX", "view=32")
    expect(t.prefix.reg_values(r"HKLM\SOFTWARE\Wow6432Node\Corvane\Skyloft HX\Installation\Legacy32") is not None,
           "the record is not under Wow6432Node")
    d = run_action(t, {})
    expect(identity(d)[3] == "2", f"identity {identity(d)}: identifier 1 of the 32-bit view not taken")
    d.trace.expect_order(lit("Found subkey 'Legacy32'"), lit("Identifier value is '1' (1)"),
                         lit("Returning installation id 2"))

    d = run_action(t, {"INSTALLATIONNAME": "Legacy32", "ZEBOLDSERVER": f"{CODE_B};{CODE_A}",
                       "PGMFOLDER": "c:\\program files (x86)\\corvane\\hx"})
    expect(identity(d) == ["Legacy32", "Legacy32", "Old one", "1", CODE_A, ""], f"identity {identity(d)}")
    d.trace.expect_order(lit("Not found in normal tree, try 32 bit tree"),
                         lit(f"Found: {CODE_A}, 1, 9.1.0.4, Old one"),
                         lit("Not found in 64 bit tree, lets check 32 bit"),
                         lit(f"product 'Legacy32' code is an upgradable server '{CODE_A}'"))


@scenario()
def refusals_show_their_texts(t):
    seed(t, "installation", "Inst1", "description=Accounts", "identifier=1", "vrmf=9.4.0.0",
         f"productcode={CODE_A}", "folder=C:\\HX\\Inst1")
    props = language_library(t)
    props.update({"INSTALLATIONNAME": "Inst1,Other", "ZEBOLDSERVER": CODE_A})
    d = run_action(t, props, 1603)
    d.trace.expect(lit(f"HXCA {ACTION} MB *** error: {TEXT_2115}"))
    expect(identity(d)[0] == "", f"identity {identity(d)}")
    # The engine's own log has the message line too.
    expect(TEXT_2115 in d.log_path.read_bytes().decode("latin-1"), f"no 2115 text in {d.log_path}")

    props.update({"INSTALLATIONNAME": "Fresh", "PGMFOLDER": "c:\\hx\\inst1\\"})
    d = run_action(t, props, 1603)
    text = ("Invalid Installation Path. The path 'c:\\hx\\inst1' is already in use and cannot be specified for the "
            "installation path, select a different path. (ZEB4780)")
    d.trace.expect_order(lit("provided name 'Fresh' does not exist, assuming new installation"),
                         lit(f"HXCA {ACTION} MB *** error: {text}"), lit("Freeing NLS library"))
    d.trace.expect_not(r"\(ZEB4701\)|LoadLibrary\(")
    log = d.log_path.read_bytes().decode("latin-1")
    expect(text in log, f"the 2112 text is not in the engine's log {d.log_path}")


@scenario()
def maintenance_run_of_the_installed_package(t):
    seed(t)
    pkg = t.package(sequence=[(ACTION, None, 1450)])
    r = t.msiexec("/i", pkg)
    r.expect_code(0)
    r.action_trace(ACTION).expect(lit("Not already installed"))
    code = r.properties["ProductCode"]

    folder = t.folder("hx")
    seed(t, "installation", "Inst7", "description=Payments", "identifier=7", "vrmf=9.4.0.0", f"productcode={code}",
         f"folder={folder}")
    try:
        r = t.msiexec("/i", pkg, {"ZEBOLDSERVER": CODE_A})
        r.expect_code(0)
        trace = r.action_trace(ACTION)
        trace.expect_order(lit("Product installed - uninstalling / modifying"),
                           lit(f"Looking for product code '{code}'"), lit("Retrieved Inst7 (VRMF 9.4.0.0, id 7)"),
                           lit("No installation name supplied but we have calculated it to be 'Inst7'"))
        for name, value in zip(IDENTITY, ["Inst7", "Inst7", "Payments", "7", "", ""]):
            trace.expect(lit(f"Property '{name}' value set to '{value}'"))

        r = t.msiexec("/i", pkg, {"PGMFOLDER": "C:\\Elsewhere"})
        r.expect_code(1603)
        r.action_trace(ACTION).expect(lit(
            f"HXCA {ACTION} MB *** error: Supplied installation path 'C:\\Elsewhere' does not match actual "
            f"installed path '{folder}' (ZEB4783)"))
    finally:
        r = t.msiexec("/x", pkg)
        r.expect_code(0)
        seed(t)
