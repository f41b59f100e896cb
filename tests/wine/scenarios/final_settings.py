"""The final settings in Wine's installer engine: the reboot request of a removal after
InstallFinalize and the exit code it gives, whether a deferred action may set the reboot mode, and
the registry flags and readme of the programs list written before RegisterProduct."""

import re

from zebwine import expect, lit, scenario

def launched(program, parameters):
    """The launcher's trace line of a start, whatever its working folder."""
    return "^" + re.escape(f"Launching process '{program}' '{parameters}'; dir ")


UNINSTALL = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"

# After InstallFinalize, removal only; the deferred run says whether the engine takes MsiSetMode.
REMOVAL_SEQUENCE = [("SetiwiSetEnvironmentDeferred", 'REMOVE="ALL"', 1560),
                    ("iwiSetEnvironmentDeferred", 'REMOVE="ALL"', 5100),
                    ("iwiSetEnvironment", 'REMOVE="ALL"', 6605),
                    ("iwiSetZebBoot", 'REMOVE="ALL"', 6606)]


@scenario()
def removal_with_the_reboot_marker_asks_for_a_reboot(t):
    temp = t.folder("temp")
    t.write(temp + "\\zebreboot.txt", "")
    values = temp + "\\values.txt"
    t.write(values, f"ZEBREMOVE=1;ZEBTEMP={temp};\n")
    # /norestart is REBOOT=ReallySuppress: the run ends with 3010 instead of restarting.
    removal = {"ZEBREMOVE": "1", "ZEBTEMP": temp, "REBOOT": "ReallySuppress"}
    for bypass, code in (("", 3010), ("1", 0)):
        # Wine takes a deferred action's MsiSetMode: the bypass run has no deferred row to set it.
        sequence = REMOVAL_SEQUENCE[2:] if bypass else REMOVAL_SEQUENCE
        pkg = t.package(sequence=sequence, properties={"ZEBVALUELIST": values})
        t.msiexec("/i", pkg).expect_code(0)
        props = dict(removal, ZEBBYPASSREBOOTCHECK=bypass) if bypass else removal
        r = t.msiexec("/x", pkg, props, timeout=120)
        r.expect_code(code)
        env = r.action_trace("iwiSetEnvironment")
        env.expect_order(lit("broadcasting environment update message"), lit("Broadcast successful"))
        boot = r.action_trace("iwiSetZebBoot")
        boot.expect(lit("Executing in script generation"))
        if bypass:
            boot.expect_not("Reboot is scheduled")
            expect(r.properties.get("ZEBBOOT", "") == "", f"ZEBBOOT {r.properties.get('ZEBBOOT')!r}")
            continue
        boot.expect(lit("Reboot is scheduled"))
        expect(r.properties.get("ZEBBOOT") == "1", f"ZEBBOOT {r.properties.get('ZEBBOOT')!r}; log {r.log_path}")
        deferred = r.action_trace("iwiSetEnvironmentDeferred")
        refused = deferred.has("^\\*\\*\\*MsiSetMode\\(MSIRUNMODE_REBOOTATEND\\) failed")
        print(f"OBSERVED MsiSetMode in a deferred action: {'refused' if refused else 'accepted'}", flush=True)


def install_with_settings(t, sequence, readme_seeded):
    props = {"ZEBINSTALLINSTANCENAME": "Inst1", "ZEBPROPERTYNAMELIST1": "ProductCode", "ZEBLANGUAGECODE": "a",
             "ZEBTEMP": t.folder("temp")}
    pkg = t.package(sequence=sequence, properties=props)
    readme = pkg.parent.parent / "readmes" / "en_us" / "readme.txt"
    if readme_seeded:
        readme.parent.mkdir(parents=True, exist_ok=True)
        readme.write_text("readme\r\n")
    r = t.msiexec("/i", pkg, timeout=120)
    return pkg, r, t.prefix.winpath(readme)


@scenario()
def programs_list_entry_gets_no_modify_and_the_readme(t):
    seq = [("iwiWriteDeferredProperties", None, 1460), ("iwiSetCustomActionData", None, 1470),
           ("iwiSetARPREADME", None, 1440), ("iwiFinalizeRegistryDeferred", None, 6090)]
    pkg, r, readme = install_with_settings(t, seq, True)
    try:
        r.expect_code(0)
        code = r.properties.get("ProductCode", "")
        expect(code.startswith("{"), f"ProductCode {code!r}")
        arp = r.action_trace("iwiSetARPREADME")
        arp.expect(lit(f"Readme path '{readme}' (found)"))
        deferred = r.action_trace("iwiFinalizeRegistryDeferred")
        deferred.expect(lit("Windows version is Vista or later, so attempting to set the DONT_VIRTUALIZE flag on "
                            "the HX registry entry"))
        # Wine's reg.exe has no FLAGS (exit 1): only the launch line can be checked.
        deferred.expect(launched("reg.exe", 'FLAGS "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Hexline" '
                                 "set DONT_VIRTUALIZE /s"))
        add = f'ADD "{UNINSTALL}{code}"  /v NoModify /t REG_DWORD /d "1" /f'
        deferred.expect(launched("reg.exe", add))
        values = t.prefix.reg_values(UNINSTALL + code)
        expect(values is not None, f"no programs list entry for {code}")
        expect(values.get("NoModify") == "0x1", f"NoModify {values.get('NoModify')!r}")
        expect(values.get("ReadMe") == readme, f"ReadMe {values.get('ReadMe')!r}, expected {readme!r}")
    finally:
        t.msiexec("/x", pkg).expect_code(0)

    pkg, r, _ = install_with_settings(t, [], False)
    try:
        r.expect_code(0)
        values = t.prefix.reg_values(UNINSTALL + r.properties.get("ProductCode", "")) or {}
        # Wine's RegisterProduct writes ReadMe empty without ARPREADME.
        expect(values.get("ReadMe", "") == "" and "NoModify" not in values, f"control install: {values}")
    finally:
        t.msiexec("/x", pkg).expect_code(0)
