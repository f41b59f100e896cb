"""HX's client package on the road under Wine's installer engine, on one machine: a silent first
installation from the client package, the server package installed beside it, the client package
refused over the server installation, and the removal of the client, which must leave the server
installation, its shared data folder and its queue managers' data as they were. The machine
helpers (snapshots, comparisons, component codes) are road.py's."""

import importlib.util
import re
from pathlib import Path

import zebwine
from zebwine import expect, lit, scenario, squashed

# road.py's helpers without its scenarios: they register themselves when the file is loaded.
_registered = len(zebwine.SCENARIOS)
_spec = importlib.util.spec_from_file_location("road_steps", Path(__file__).resolve().parent / "road.py")
road_steps = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(road_steps)
del zebwine.SCENARIOS[_registered:]

builder = road_steps.builder
Road, compare, foreign_changes = road_steps.Road, road_steps.compare, road_steps.foreign_changes
expect_properties, instance_code = road_steps.expect_properties, road_steps.instance_code

PROGRAM_FILES = road_steps.PROGRAM_FILES
UNINSTALL_KEY = road_steps.UNINSTALL_KEY
CLIENT_PGM = PROGRAM_FILES + "\\HX"
SERVER_PGM = PROGRAM_FILES + "\\HX_1"
DAT = "C:\\ProgramData\\Corvane\\HX"
CLIENT_FEATURES = [f for f, kinds in builder.FEATURES if "c" in kinds]
WINDOWS_CLIENT = builder.COMPONENT_VALUES["Client"]

STEPS = {}


def needs(key):
    expect(key in STEPS, f"an earlier step did not finish ({key} missing)")
    return STEPS[key]


def record_row_added(name, value):
    """iwiStackRegistryUpdates's trace of a temporary Registry row for a value of Installation1's
    record (64-bit view)."""
    return (r"^ID '[^']*'; root '2'; subkey 'SOFTWARE\\Corvane\\Skyloft HX\\Installation\\Installation1' "
            rf"name '{re.escape(name)}'; value '{re.escape(value)}'; component 'Base_base_Instance1'$")


def response_lines(text):
    """The name=value lines of a written response file, values unquoted."""
    lines = {}
    for line in text.splitlines():
        name, eq, value = line.partition("=")
        if eq and not line.startswith(";"):
            lines[name] = value.strip('"')
    return lines


@scenario()
def step1_client_first_installation(t):
    """The client package, silent with a response file: a client run with the first name,
    identifier and default folders; its record says Client; no log folder is made machine-wide
    or saved in the response file it writes."""
    road = Road(t)
    msi = road.package(kind="client")
    traces = t.folder("trace")
    saved = t.folder("saved") + "\\saved.ini"
    ini = road.response_file("first", {"INSTALLTRACE": traces + "\\install.trc"})
    r = road.install(msi, ini, {"SAVEINI": saved})
    r.expect_code(0)
    expect_properties(r, ZEBPRODUCT="client", ZEBCLIENT="1", ZEBINSTALLINSTANCENAME="Installation1",
                      ZEBINSTANCEID="1", ZEBMAKEPRIMARY="1", ZEBPGMFOLDER=CLIENT_PGM, ZEBDATFOLDER=DAT,
                      ZEBSTARTSERVICE=None)
    code = r.properties["ProductCode"]
    stack = r.action_trace("iwiStackRegistryUpdates")
    stack.expect(record_row_added("Package", "Client"))
    stack.expect(record_row_added("ProductType", "Client"))
    stack.expect(r"^Updating / Creating WorkPath ")
    stack.expect_not(r"LogDefaultPath")
    for view32 in (False, True):
        rec = road.record("Installation1", view32)
        got = rec and tuple(rec.get(k) for k in ("Identifier", "FilePath", "ProductCode", "Package", "ProductType"))
        expect(got == ("1", CLIENT_PGM, code, "Client", "Client"), f"record ({32 if view32 else 64}-bit view): {rec}")
        components = road.record("Installation1\\Components", view32) or {}
        expect(WINDOWS_CLIENT in components and "Server" not in components, f"record's components: {components}")
    machine = t.prefix.reg_values(r"HKLM\SOFTWARE\Corvane\Skyloft HX") or {}
    expect(machine.get("WorkPath") == DAT and "LogDefaultPath" not in machine, f"machine-wide values: {machine}")
    expect(t.unix(CLIENT_PGM + "\\bin64\\zebicdir.exe").exists(), "the engine did not install the program files")

    written = response_lines(t.read(saved))
    expect(written.get("INSTALLATIONNAME") == "Installation1" and written.get("PGMFOLDER") == CLIENT_PGM
           and written.get("DATFOLDER") == DAT and "LOGFOLDER" not in written, f"response file written: {written}")
    # The typical client choice: every feature of the client package (Base has no display text).
    chosen = set(written.get("ADDLOCAL", "").split(","))
    expect(chosen == set(CLIENT_FEATURES) - {"Base"} and written.get("REMOVE") == "",
           f"features of the response file: {written}")

    expect(road.launched("zebicdir.exe") == ["-i -f  "], f"zebicdir: {road.launched('zebicdir.exe')}")
    expect(road.launched("sethxinst.exe") == ["-i -n Installation1  "], f"sethxinst: {road.launched('sethxinst.exe')}")
    # A silent client installation starts no configuration wizard (the launch checks come first,
    # so that a wizard started without a wait would have written its line by now).
    for wizard in ("zebmjpce.exe", "zebmjpse.exe"):
        expect(not road.launched(wizard, wait=0), f"{wizard} ran after a client installation")
    road_steps.expect_no_temporary_files(road, "client installation")
    STEPS.update(client=code, client_package=msi)


@scenario()
def step2_server_beside_the_client(t):
    """The server package on the client's machine, named Installation2: it sees the client but
    does not take it over; identifier 2, the next program folder, the client's data folder (now
    shared), and the log folder the client never had."""
    client = needs("client")
    road = Road(t)
    before = {view32: road.record("Installation1", view32) for view32 in (False, True)}
    msi = road.package()
    r = road.install(msi, road.response_file("server", {"INSTALLATIONNAME": "Installation2"}))
    r.expect_code(0)
    server = r.properties["ProductCode"]
    expect_properties(r, ZEBPRODUCT="server", ZEBCLIENT=None, ZEBINSTALLINSTANCENAME="Installation2",
                      ZEBINSTANCEID="2", ZEBMAKEPRIMARY=None, ZEBPGMFOLDER=SERVER_PGM, ZEBDATFOLDER=DAT,
                      ZEBLOGFOLDER=DAT + "\\log", ZEBOLDCLIENT=None, ZEBOLDSERVER=None)
    r.action_trace("iwiInstallInitPri").expect_order(lit("Listing of existing Client installations:"),
                                                      lit(f"Product {client} (Client) state is INSTALLSTATE_DEFAULT"))
    r.trace.expect(lit("provided name 'Installation2' does not exist, assuming new installation"))
    r.trace.expect(lit("Other installation(s) exist, cannot move the data directory"))
    rec = road.record("Installation2")
    got = rec and tuple(rec.get(k) for k in ("Identifier", "FilePath", "ProductCode", "Package", "ProductType"))
    expect(got == ("2", SERVER_PGM, server, "Server", "Server"), f"record of Installation2: {rec}")
    for view32 in (False, True):
        expect(road.record("Installation1", view32) == before[view32],
               f"the server installation changed the client's record: {road.record('Installation1', view32)}")
    machine = t.prefix.reg_values(r"HKLM\SOFTWARE\Corvane\Skyloft HX") or {}
    expect(machine.get("WorkPath") == DAT and machine.get("LogDefaultPath") == DAT + "\\log",
           f"machine-wide values: {machine}")
    # The client feature of each installation under its own instance's code.
    for instance, code in ((1, client), (2, server)):
        owners = road_steps.registered_products(t, "Client_base_Instance1", instance)
        expect(set(owners) == {squashed(code)}, f"Client_base_Instance1 of instance {instance} registered for {owners}")
    expect(road.launched("zebmjpse.exe") == ["-s"], f"wizard: {road.launched('zebmjpse.exe')}")
    STEPS.update(server=server)


@scenario()
def step3_client_package_refused_over_the_server(t):
    """The client package told to upgrade the server installation: the upgrade is allowed by
    name, then refused because the installation came from the server package (message 270);
    nothing on the machine changes."""
    needs("server")
    road = Road(t)
    msi = road.package(kind="client")
    before = road.snapshot()
    r = road.install(msi, road.response_file("over", {"INSTALLATIONNAME": "Installation2"}))
    r.expect_code(1603)
    expect_properties(r, ZEBCLIENT="1", ZEBOLDINSTALLINSTANCENAME="Installation2")
    init = r.action_trace("iwiInstallInitSec")
    init.expect_order(lit("Existing installation origin is server CD"),
                      r"MB \*\*\* error: You cannot install the Windows Client from the client CD .*\(ZEB4729\)$",
                      lit("Returning with rc 1603"))
    compare(before, road.snapshot(), "after the refused client package")


@scenario()
def step4_removal_of_the_client(t):
    """The removal of the client with queue-manager data deletion requested: refused for the data
    (a server installation still uses the shared data folder), the client's record, files,
    components and product registration go, and nothing else on the machine changes."""
    client, msi = needs("client"), needs("client_package")
    needs("server")
    road = Road(t)
    # A queue manager of the server installation in the shared data folder.
    qm_ini = DAT + "\\qmgrs\\QM1\\qm.ini"
    t.write(DAT + "\\hxs.ini", f"QueueManager:\r\n   Name=QM1\r\n   Prefix={DAT}\r\n   Directory=QM1\r\n"
            "   InstallationName=Installation2\r\n")
    t.write(qm_ini, f"Log:\r\n   LogPath={DAT}\\log\\QM1\\\r\n")
    t.write(DAT + "\\log\\QM1\\active\\S0000000.LOG", "log extent\r\n")
    before = road.snapshot()
    r = t.msiexec("/x", msi, {"KEEPQMDATA": "delete", "ZEBUISEQ": "1"}, timeout=240)
    r.expect_code(0)
    expect_properties(r, ZEBINSTALLINSTANCENAME="Installation1", ZEBREMOVE="1", ZEBLEAVEQMDATAREMOVE="keep")
    r.action_trace("iwiStackDeleteQMgrs").expect_order(lit("Cannot delete qmgr data as other server installs exist"),
                                                        lit("Returning with rc 0"))
    for view32 in (False, True):
        expect(road.record("Installation1", view32) is None, "the client's record is still there")
    expect(not t.unix(CLIENT_PGM + "\\bin64").exists(), "the client's program files are still there")
    expect(t.prefix.reg_values(rf"{UNINSTALL_KEY}\{client}") is None, "the client is still registered")
    expect(t.unix(qm_ini).exists(), "the server's queue-manager data went with the client")
    # Every difference belongs to the client: its record, product, family upgrade code,
    # instance-1 component codes and program folder (snapshot paths below a folder use "/").
    marks = [client, squashed(client), squashed(builder.UPGRADE_CODES["client"]), "Installation1", CLIENT_PGM + "/"]
    marks += [squashed(instance_code(f"{f}_base_Instance1", 1)) for f in CLIENT_FEATURES]
    foreign = [f for f in foreign_changes(before, road.snapshot(), marks) if f != CLIENT_PGM]
    # The engine's cached copy of the removed package goes (its name is the engine's choice).
    cached = [f for f in foreign if f.startswith("C:\\windows\\Installer\\") and f.lower().endswith(".msi")]
    expect(len(cached) <= 1, f"cached packages changed: {cached}")
    rest = [f for f in foreign if f not in cached]
    expect(not rest, f"the removal of the client changed more than the client: {rest[:12]}")
