"""The installation's registry values in Wine's installer engine: iwiStackRegistryUpdates adds
temporary Registry rows before WriteRegistryValues, the engine writes them in both views (the
32-bit one through Wow6432Node) and removes the identity values with the component at /x; the
stale LastInstall.reg of the data folder goes with RemoveFiles."""

from zebwine import expect, lit, scenario

SEQUENCE = [("iwiStackRegistryUpdates", None, 1520)]
INST = r"HKLM\SOFTWARE\Corvane\Skyloft HX\Installation\Installation1"
INST32 = r"HKLM\SOFTWARE\Wow6432Node\Corvane\Skyloft HX\Installation\Installation1"
PRODUCT = r"HKLM\SOFTWARE\Corvane\Skyloft HX"
PRODUCT32 = r"HKLM\SOFTWARE\Wow6432Node\Corvane\Skyloft HX"


@scenario(clean_machine=True)
def rows_written_in_both_views_and_identity_removed_with_the_component(t):
    # Brackets in the folder would be read as a property reference by the engine's formatting.
    data = t.folder("d[1]")
    log = t.folder("log")
    stale = data + "\\Config\\LastInstall.reg"
    t.write(stale, "stale")
    props = {"ZEBINSTALLINSTANCENAME": "Installation1", "ZEBPRODUCT": "server", "ZEBDATFOLDER": data,
             "ZEBLOGFOLDER": log}
    pkg = t.package(sequence=SEQUENCE, properties=props)
    r = t.msiexec("/i", pkg)
    r.expect_code(0)
    trace = r.action_trace("iwiStackRegistryUpdates")
    trace.expect(lit("Registry table record added:"))
    trace.expect(lit(f"Updating / Creating WorkPath (old value )"))
    for key in (INST, INST32):
        values = t.prefix.reg_values(key) or {}
        expect(values.get("Package") == "Server" and values.get("ProductType") == "Server",
               f"{key}: {values}; log {r.log_path}")
    for key in (PRODUCT, PRODUCT32):
        values = t.prefix.reg_values(key) or {}
        expect(values.get("WorkPath") == data and values.get("LogDefaultPath") == log,
               f"{key}: {values}; log {r.log_path}")
    expect(not t.unix(stale).exists(), f"the stale {stale} is still there; log {r.log_path}")

    x = t.msiexec("/x", pkg, {"ZEBREMOVE": "1"})
    x.expect_code(0)
    x.action_trace("iwiStackRegistryUpdates").expect(lit("Not updating WorkPath / LogDefaultPath as uninstalling"))
    for key in (INST, INST32):
        values = t.prefix.reg_values(key) or {}
        expect("Package" not in values and "ProductType" not in values, f"{key} after /x: {values}")
    for key in (PRODUCT, PRODUCT32):
        values = t.prefix.reg_values(key) or {}
        expect(values.get("WorkPath") == data, f"{key} after /x: {values}")
