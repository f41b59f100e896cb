"""The deferred hand-over and the removal of queue-manager data in Wine's installer engine: the
value list written in the immediate phase and read by iwiDeferredUpdates through its action data;
the transaction-manager library's XADLL value of a file the package installs; and a removal that
stacks the queue managers' folders for the engine's RemoveFiles step and takes their stanzas out of
hxs.ini."""

from zebwine import expect, hx_records, lit, scenario

# The component whose removal takes the queue managers' data along; here it also carries the dummy
# transaction-manager library.
QM_COMPONENT = "_base_Instance1.37CF6887_5575_4370_9A34_F127CACF7D9A"
XADLL_KEY = "HKLM\\Software\\Microsoft\\MSDTC\\XADLL"
VALUE_NAME = "Skyloft HX Client (Inst1)"
NAMES = "ZEBINSTALLINSTANCENAME;ZEBPGMFOLDER;ZEBDATFOLDER;ZEBLEAVEQMDATAREMOVE;ZEBREMOVE"
# The library's actions are rows of the package's CustomAction.idt; the program folder is known
# only once costing has resolved INSTALLDIR.
CA_ROWS = ["SetZEBPGMFOLDER\t51\tZEBPGMFOLDER\t[INSTALLDIR]\t"]
# The rollback action comes before InstallFiles so that the library is gone again when it runs:
# Windows undoes the script backwards; Wine runs the sequence again as a removal, RemoveFiles first.
SEQUENCE = [("SetZEBPGMFOLDER", None, 1010),
            ("iwiStackDeleteQMgrs", 'REMOVE="ALL"', 1450),
            ("iwiWriteDeferredProperties", None, 1460),
            ("iwiSetCustomActionData", None, 1470),
            ("iwiDeferredUpdatesRollback", None, 3990),
            ("InstallFiles", None, 4000),
            ("iwiDeferredUpdates", None, 6500)]


def tables():
    """Tables for the dummy library, installed uncompressed from beside the package, in the
    queue-manager component."""
    return {
        "CustomAction": ["Action\tType\tSource\tTarget\tExtendedType", "s72\ti2\tS72\tS255\tI4",
                         "CustomAction\tAction", *CA_ROWS],
        "Directory": ["Directory\tDirectory_Parent\tDefaultDir", "s72\tS72\tl255", "Directory\tDirectory",
                      "ZebBin64\tINSTALLDIR\tbin64"],
        "Component": ["Component\tComponentId\tDirectory_\tAttributes\tCondition\tKeyPath",
                      "s72\tS38\ts72\ti2\tS255\tS72", "Component\tComponent",
                      f"{QM_COMPONENT}\t{{6B0E4C1A-53D2-4F7E-9E11-0A1B2C3D4E1F}}\tZebBin64\t256\t\tZebXaDll"],
        "FeatureComponents": ["Feature_\tComponent_", "s38\ts72", "FeatureComponents\tFeature_\tComponent_",
                              f"Base\t{QM_COMPONENT}"],
        "File": ["File\tComponent_\tFileName\tFileSize\tVersion\tLanguage\tAttributes\tSequence",
                 "s72\ts72\tl255\ti4\tS72\tS20\tI2\ti4", "File\tFile",
                 f"ZebXaDll\t{QM_COMPONENT}\tZEBMTS~1.DLL|ZEBMTSXATMC.DLL\t{len(DUMMY)}\t\t\t8192\t1"],
        "Media": ["DiskId\tLastSequence\tDiskPrompt\tCabinet\tVolumeLabel\tSource", "i2\ti4\tL64\tS255\tS32\tS72",
                  "Media\tDiskId", "1\t1\t\t\t\t"],
    }


DUMMY = "not a library: only its presence counts\r\n"


def package(t, extra_sequence=(), properties=None):
    props = {"ZEBINSTALLINSTANCENAME": "Inst1", "ZEBPROPERTYNAMELIST1": NAMES}
    props.update(properties or {})
    msi = t.package(sequence=SEQUENCE + list(extra_sequence), properties=props, tables=tables())
    # Uncompressed, in a package marked compressed: Windows takes the file from its folder's source
    # path, Wine from beside the package.
    for source in (msi.parent / "Corvane" / "HX" / "bin64", msi.parent):
        source.mkdir(parents=True, exist_ok=True)
        (source / "ZEBMTSXATMC.DLL").write_bytes(DUMMY.encode("latin-1"))
    return msi


def xadll(t, view=None):
    """The XADLL key's values in the 64-bit view (or with view="32" the 32-bit one), None without
    the key."""
    if view is None:
        return t.prefix.reg_values(XADLL_KEY)
    proc = t.prefix.run(["reg", "query", XADLL_KEY, "/reg:32"])
    if proc.returncode != 0:
        return None
    return {line.split("    ")[1]: line.split("    ")[-1]
            for line in proc.stdout.decode("latin-1").splitlines() if line.startswith("    ")}


def program_folder(r):
    folder = r.properties.get("ZEBPGMFOLDER", "")
    expect(folder.upper().endswith("\\CORVANE\\HX\\") or folder.upper().endswith("\\CORVANE\\HX"),
           f"ZEBPGMFOLDER: {folder!r}")
    return folder.rstrip("\\")


def value_list(t, r):
    """The value list's path as iwiSetCustomActionData handed it to the deferred action."""
    path = r.properties.get("iwiDeferredUpdates", "")
    expect(path.lower().endswith(".txt") and "\\zebp" in path.lower(), f"action data path: {path!r}")
    return path


@scenario(clean_machine=True)
def handover_registers_the_library_and_removal_takes_it_away(t):
    t.prefix.reg_import(f"[-HKEY_LOCAL_MACHINE\\{XADLL_KEY[5:]}]")
    msi = package(t, properties={"ZEBDATFOLDER": t.folder("data")})
    r = t.msiexec("/i", msi)
    r.expect_code(0)
    pgm = program_folder(r)
    library = f"{pgm}\\bin64\\ZEBMTSXATMC.DLL"
    expect(t.unix(library).exists(), f"the engine did not install {library}")

    # The value list: one line, no line end, every name in list order.
    path = value_list(t, r)
    expect(t.unix(path).exists(), f"no value list {path}")
    data = t.folder("data")
    expect(t.read(path) == f"ZEBINSTALLINSTANCENAME=Inst1;ZEBPGMFOLDER={r.properties['ZEBPGMFOLDER']};"
           f"ZEBDATFOLDER={data};ZEBLEAVEQMDATAREMOVE=;ZEBREMOVE=;", f"value list: {t.read(path)!r}")
    sca = r.action_trace("iwiSetCustomActionData")
    sca.expect(lit("CA Name:'iwiDeferredUpdates' type 0x00000c01"))
    sca.expect(lit("CA Name:'iwiDeferredUpdatesRollback' type 0x00000d01"))
    # The type-51 setter is no library action: its data stays its own.
    expect(r.properties.get("SetZEBPGMFOLDER") is None, f"SetZEBPGMFOLDER got {r.properties.get('SetZEBPGMFOLDER')!r}")

    deferred = r.action_trace("iwiDeferredUpdates")
    deferred.expect(lit("Running in deferred mode"))
    deferred.expect("^Property 'ZEBINSTALLINSTANCENAME' value 'Inst1'; from CustomActionData$")
    deferred.expect(lit("Running on 64 bit machine."))
    deferred.expect(lit(f"Created the value {VALUE_NAME} -> {library}"))
    values = xadll(t)
    expect(values is not None and values.get(VALUE_NAME) == library, f"XADLL key: {values}")
    wow = xadll(t, "32")
    expect(wow is None or VALUE_NAME not in wow, f"the value reached the 32-bit view: {wow}")

    # /x: the engine removes the library first, then the deferred run takes the value away.
    r = t.msiexec("/x", msi)
    r.expect_code(0)
    expect(not t.unix(library).exists(), f"{library} survived /x")
    deferred = r.action_trace("iwiDeferredUpdates")
    deferred.expect(lit("File does not exist - removing XADLL keys"))
    deferred.expect(lit(f"Removed the {VALUE_NAME} value"))
    values = xadll(t)
    expect(values is None or VALUE_NAME not in values, f"XADLL value still there after /x: {values}")


@scenario(clean_machine=True)
def rollback_of_the_install_removes_the_value(t):
    t.prefix.reg_import(f"[-HKEY_LOCAL_MACHINE\\{XADLL_KEY[5:]}]")
    msi = package(t, extra_sequence=[("iwiERRORDeferred", None, 6510)],
                  properties={"ZEBDATFOLDER": t.folder("data")})
    r = t.msiexec("/i", msi)
    r.expect_code(1603)
    pgm = program_folder(r)
    library = f"{pgm}\\bin64\\ZEBMTSXATMC.DLL"
    runs = r.action_trace("iwiDeferredUpdatesRollback")
    runs.expect(lit("Running in rollback mode"))
    # What Wine leaves of the file decides which branch the rollback run takes; either way the
    # value must be gone afterwards when the file is.
    if t.unix(library).exists():
        runs.expect(lit("Client file exists - adding XADLL key"))
        raise AssertionError(f"Wine kept {library} after the rollback: the XADLL value stays with it")
    runs.expect(lit("File does not exist - removing XADLL keys"))
    values = xadll(t)
    expect(values is None or VALUE_NAME not in values, f"XADLL value still there after the rollback: {values}")


QM_INI = "AllQueueManagers:\r\n   DefaultPrefix={data}\r\n\r\nLogDefaults:\r\n   LogDefaultPath={log}\r\n\r\n"
STANZAS = ("QueueManager:\r\n   Name=QM1\r\n   Directory=QM1\r\n   InstallationName=Inst1\r\n\r\n"
           "QueueManager:\r\n   # QM2 came with the upgrade\r\n   Name=QM2\r\n   Directory=QM2\r\n\r\n")


def seed_queue_managers(t):
    """Two queue managers of hxs.ini in a data folder, with their files and log folders."""
    data, log = t.folder("data"), t.folder("log")
    head = QM_INI.format(data=data, log=log)
    t.write(f"{data}\\hxs.ini", head + STANZAS)
    t.write(f"{data}\\qmgrs\\QM1\\qm.ini", f"Log:\r\n   LogPath={log}\\QM1\\\r\n")
    t.write(f"{data}\\qmgrs\\QM1\\queues\\SYSTEM.QUEUE\\q", "x")
    t.folder("data/qmgrs/QM1/queues/EMPTY.QUEUE")
    t.write(f"{data}\\qmgrs\\QM2\\qm.ini", f"Log:\r\n   LogPath={log}\\QM2\r\n")
    t.write(f"{log}\\QM1\\active\\S0000000.LOG", "x")
    t.write(f"{log}\\QM2\\S0000000.LOG", "x")
    return data, log, head


def removal(t, seed_other_server):
    t.prefix.reg_import(hx_records("reset", *(["installation", "Inst2", "identifier=2", "component=Server"]
                                               if seed_other_server else [])))
    data, log, head = seed_queue_managers(t)
    temp = t.folder("temp")
    # The deferred run needs the temporary folder for hxs.ini's copy and backup: a second list.
    props = {"ZEBDATFOLDER": data, "ZEBPREVDAT": data, "ZEBTEMP": temp, "ZEBPROPERTYNAMELIST2": "ZEBTEMP"}
    msi = package(t, properties=props)
    r = t.msiexec("/i", msi)
    r.expect_code(0)
    r = t.msiexec("/x", msi, {"ZEBLEAVEQMDATAREMOVE": "delete", "ZEBREMOVE": "1"})
    r.expect_code(0)
    return r, data, log, temp, head


FOLDERS = ["data\\qmgrs\\QM1", "data\\qmgrs\\QM2", "log\\QM1", "log\\QM2"]


@scenario(clean_machine=True)
def removal_deletes_queue_manager_data_and_stanzas(t):
    r, data, log, temp, head = removal(t, seed_other_server=False)
    stack = r.action_trace("iwiStackDeleteQMgrs")
    stack.expect(lit("No other server installs exist, so it's fine!"))
    for folder in (f"{data}\\qmgrs\\QM1", f"{data}\\qmgrs\\QM2", f"{log}\\QM1", f"{log}\\QM2"):
        stack.expect(lit(f"Stacking folder/files for deletion: '{folder}\\*'"))
    stack.expect_not("^\\*\\*\\*")
    # The engine's RemoveFiles takes a row for every folder of both queue managers.
    removed = set()
    inside = False
    for line in r.log_lines:
        if line.startswith("Action start") and line.endswith(": RemoveFiles."):
            inside = True
        elif line.startswith("Action ended") and ": RemoveFiles." in line:
            inside = False
        elif inside and line.startswith("File: ZEB_Record_"):
            removed.add(line.split("Directory: ", 1)[1])
    expected = {f"{t.prefix.winpath(t.root)}\\{sub}" for sub in FOLDERS + ["data\\qmgrs\\QM1\\queues",
                                                                       "data\\qmgrs\\QM1\\queues\\SYSTEM.QUEUE",
                                                                       "data\\qmgrs\\QM1\\queues\\EMPTY.QUEUE",
                                                                       "log\\QM1\\active"]}
    expect(removed == expected, f"RemoveFiles rows for {sorted(removed)}, expected {sorted(expected)}")
    # A folder row empties nothing, but an empty folder goes with its row.
    expect(not (t.root / "data/qmgrs/QM1/queues/EMPTY.QUEUE").exists(), "RemoveFiles left the empty EMPTY.QUEUE")
    # Wine's RemoveFiles takes the "*" of a row literally and removes no file, so the folders,
    # never empty, stay; Windows removes them all.
    for sub in FOLDERS:
        expect((t.root / sub.replace("\\", "/")).exists(),
               f"RemoveFiles took {sub}: Wine now honours wildcards, expect the folders to go")
    deferred = r.action_trace("iwiDeferredUpdates")
    deferred.expect(lit("Removing the qmgrs from the ini file (backup will be put in temp though!)"))
    ini = t.read(f"{data}\\hxs.ini")
    expect(ini == head, f"hxs.ini after removal: {ini!r}")
    expect(t.read(f"{temp}\\hxs.ini_backup") == head + STANZAS, "the backup is not the old hxs.ini")
    expect(not t.unix(f"{temp}\\hxs.ini").exists(), "the temporary copy of hxs.ini was left behind")


@scenario(clean_machine=True)
def removal_keeps_everything_while_another_server_installation_exists(t):
    r, data, log, temp, head = removal(t, seed_other_server=True)
    stack = r.action_trace("iwiStackDeleteQMgrs")
    stack.expect(lit("Cannot delete qmgr data as other server installs exist"))
    stack.expect_not("^Stacking folder/files for deletion")
    for sub in FOLDERS:
        expect((t.root / sub.replace("\\", "/")).exists(), f"{sub} went though another server installation exists")
    deferred = r.action_trace("iwiDeferredUpdates")
    deferred.expect_not("^Removing the qmgrs from the ini file")
    expect(t.read(f"{data}\\hxs.ini") == head + STANZAS, "hxs.ini changed though another server installation exists")
    t.prefix.reg_import(hx_records("reset"))
