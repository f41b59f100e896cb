"""The end of a silent installation in Wine's installer engine: iwiCleanUpSuccess after
InstallFinalize removes the deferred-property file and the dialogs' log file, and its nested
iwiTestAndLaunchConfig traces into the data folder's zebmjpse.txt; a rollback row of iwiCleanUp
removes the deferred-property file of a failed installation."""

import re
import shutil

from zebwine import expect, lit, scenario

NAMES = "ZEBTEMP;ZEBTEMPFILENUM;ZEBDATFOLDER;UILevel"
CA_ROWS = ["iwiCleanUpRollback\t3329\tzebiwicn.dll\tiwiCleanUp\t", "iwiERRORDeferred\t3073\tzebiwicn.dll\tiwiERROR\t"]
CA_HEADER = ["Action\tType\tSource\tTarget\tExtendedType", "s72\ti2\tS72\tS255\tI4", "CustomAction\tAction"]


def machine(t):
    root = t.prefix.winpath(t.root)
    data, temp = t.folder("Data"), t.folder("temp")
    bin64 = t.folder("HX/bin64")
    shutil.copy2(t.run.windows_build / "zebexit.exe", t.unix(bin64 + "\\zebmjpse.exe"))
    t.write(bin64 + "\\zebmjpse.exe.args", "exit=0\n")
    # A dialogs' log left by an earlier run of the same temporary number.
    t.write(temp + "\\zebg0001.txt", "left over\r\n")
    props = {"ZEBPGMFOLDER": root + "\\HX", "ZEBDATFOLDER": data, "ZEBTEMP": temp, "ZEBTEMPFILENUM": "0001",
             "ZEBINSTALLINSTANCENAME": "Inst1", "ZEBPRODUCT": "server", "ZEBPROPERTYNAMELIST1": NAMES}
    return data, temp, props


@scenario(clean_machine=True)
def silent_success_leaves_no_temporary_file(t):
    data, temp, props = machine(t)
    seq = [("iwiWriteDeferredProperties", None, 1580), ("iwiCleanUpSuccess", None, 6650)]
    pkg = t.package(sequence=seq, properties=props)
    try:
        r = t.msiexec("/i", pkg, {"LAUNCHWIZ": "1"})
        r.expect_code(0)
        r.action_trace("iwiWriteDeferredProperties").expect(
            r"^Wrote \d+ characters to '" + re.escape(f"{temp}\\zebp0001.txt") + "'$")
        trace = r.action_trace("iwiCleanUpSuccess")
        trace.expect_order(lit("iwiCleanUp returned 0"), lit("iwiTestAndLaunchConfig returned 0"))
        trace.expect_not("Invalid depth count")
        for name in ("zebp0001.txt", "zebg0001.txt"):
            expect(not t.unix(f"{temp}\\{name}").exists(), f"{name} was left in the temporary folder")
        # Wine's engine never sets UpdateStarted (Windows does once the script changes the machine):
        # iwiCleanUpFinal's "nothing changed yet" case is tested natively.
        expect("UpdateStarted" not in r.properties, f"Wine set UpdateStarted={r.properties.get('UpdateStarted')!r}")
        wizard_trace = t.read(data + "\\zebmjpse.txt")
        expect("iwiTestAndLaunchConfig" in wizard_trace, f"zebmjpse.txt: {wizard_trace[:400]!r}")
    finally:
        t.msiexec("/x", pkg)


@scenario(clean_machine=True)
def rollback_removes_the_property_file(t):
    data, temp, props = machine(t)
    seq = [("iwiWriteDeferredProperties", None, 1580), ("iwiSetCustomActionData", None, 1590),
           ("iwiCleanUpRollback", None, 1591), ("iwiERRORDeferred", None, 6000)]
    pkg = t.package(sequence=seq, properties=props, tables={"CustomAction": CA_HEADER + CA_ROWS})
    r = t.msiexec("/i", pkg)
    r.expect_code(1603)
    trace = r.action_trace("iwiCleanUpRollback")
    trace.expect(lit("Property 'UILevel' value '2'; from CustomActionData"))
    expect(not t.unix(f"{temp}\\zebp0001.txt").exists(), "the rollback left the deferred-property file")
