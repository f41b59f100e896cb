"""The stacked clean-up of a removal in Wine's installer engine: iwiStackCleanUpLastInstall,
iwiStackDeleteCsds and iwiStackCleanUpFinal before RemoveFiles stack what the product's uninstall
list and a maintenance level's control file name, keep hxs.ini in Config and write
Config\\LastInstall.reg; a failed removal keeps hxs.ini in Config and the rollback run deletes
LastInstall.reg again. The rollback row sits after InstallInitialize: only the script's rows are
rolled back."""

from zebwine import expect, hx_records, lit, scenario

NAMES = "ZEBINSTALLINSTANCENAME;ZEBPGMFOLDER;ZEBDATFOLDER;ZEBREMOVE"
SEQUENCE = [("iwiStackCleanUpLastInstall", 'REMOVE="ALL"', 1450),
            ("iwiStackDeleteCsds", 'REMOVE="ALL"', 1452),
            ("iwiStackCleanUpFinal", 'REMOVE="ALL"', 1455),
            ("iwiWriteDeferredProperties", None, 1460),
            ("iwiSetCustomActionData", None, 1470),
            ("iwiStackCleanUpFinalRollback", 'REMOVE="ALL"', 1597)]
KEY = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Skyloft HX\\Installation\\Installation1]"
MAINT_KEY = "HKLM\\SOFTWARE\\Corvane\\Skyloft HX\\Installation\\Installation1\\Maintenance Applied"
LANGS = ("en_us", "de_de", "cs_cz")


def seed(t, extra_sequence=()):
    """Installation1, the only one on the machine, with its folders and uninstall list; the
    package installed, ready for /x."""
    pgm, data, log = t.folder("pgm"), t.folder("data"), t.folder("log")
    t.prefix.reg_import(hx_records("reset", "installation", "Installation1", "identifier=1",
                                   "description=Mine", "shipped=1.0", f"maint=1.2:{pgm}\\maint\\1.2"))
    # A maintenance level: its control file names a file below the installation's own subfolder.
    t.write(f"{pgm}\\maint\\1.2\\backup.csd", "file;a;b;c;d;e;pgm\\+INSTALLATIONNAME+\\fix.dll\r\n")
    t.write(f"{pgm}\\Installation1\\fix.dll", "fix")
    t.write(f"{pgm}\\BackUp\\u2001\\old.dll", "old")
    t.write(f"{pgm}\\uninst\\lastinstall.u03", "; listed files\r\npgm\\bin\\-lang1-\\x.txt\r\n")
    for lang in LANGS:
        t.write(f"{pgm}\\bin\\{lang}\\x.txt", lang)
    t.write(f"{data}\\hxs.ini", "AllQueueManagers:\r\n")
    t.folder("data/Config")
    props = {"ZEBINSTALLINSTANCENAME": "Installation1", "ZEBPGMFOLDER": pgm, "ZEBDATFOLDER": data,
             "ZEBLOGFOLDER": log, "ZEBSTARTFOLDER": "HX Installation1", "ZEBPROPERTYNAMELIST1": NAMES}
    msi = t.package(sequence=SEQUENCE + list(extra_sequence), properties=props)
    t.msiexec("/i", msi).expect_code(0)
    return msi, pgm, data


@scenario(clean_machine=True)
def removal_takes_what_was_listed_and_keeps_hxs_ini_and_the_key(t):
    msi, pgm, data = seed(t)
    r = t.msiexec("/x", msi, {"ZEBREMOVE": "1"})
    r.expect_code(0)
    r.action_trace("iwiStackCleanUpLastInstall").expect(
        lit(f"Stacking files in '{pgm}\\uninst\\lastinstall.u03' for deletion (lastinstall.u03)"))
    for lang in LANGS:
        expect(not t.unix(f"{pgm}\\bin\\{lang}").exists(), f"{pgm}\\bin\\{lang} survived /x; log {r.log_path}")
    expect(not t.unix(f"{pgm}\\bin").exists(), f"{pgm}\\bin survived /x; log {r.log_path}")
    expect(not t.unix(f"{data}\\hxs.ini").exists(), f"{data}\\hxs.ini survived /x; log {r.log_path}")
    expect(t.read(f"{data}\\Config\\hxs.ini") == "AllQueueManagers:\r\n", "hxs.ini was not kept in Config")
    saved = t.read(f"{data}\\Config\\LastInstall.reg")
    expect(KEY in saved and '"Description"="Mine"' in saved, f"LastInstall.reg: {saved!r}")
    # The maintenance level: what its control file names, its folder's files, the backups, its key.
    r.action_trace("iwiStackDeleteCsds").expect(lit("Delete CSD stuff in data directory"))
    for gone in (f"{pgm}\\Installation1", f"{pgm}\\maint\\1.2", f"{pgm}\\BackUp"):
        expect(not t.unix(gone).exists(), f"{gone} survived /x; log {r.log_path}")
    expect(t.prefix.reg_values(MAINT_KEY) is None, f"{MAINT_KEY} survived /x")


@scenario(clean_machine=True)
def failed_removal_keeps_hxs_ini_and_rollback_deletes_last_install(t):
    msi, pgm, data = seed(t, [("iwiERRORDeferred", 'REMOVE="ALL"', 6510)])
    r = t.msiexec("/x", msi, {"ZEBREMOVE": "1"})
    r.expect_code(1603)
    # Wine's rollback does not give back what its RemoveFiles deleted (Windows restores the files
    # from its rollback copies): the listed files and hxs.ini stay gone here.
    for lang in LANGS:
        expect(not t.unix(f"{pgm}\\bin\\{lang}\\x.txt").exists(), f"Wine restored the {lang} file; log {r.log_path}")
    expect(not t.unix(f"{data}\\hxs.ini").exists(), f"Wine restored hxs.ini; log {r.log_path}")
    # The user's configuration survives all the same, in Config.
    expect(t.read(f"{data}\\Config\\hxs.ini") == "AllQueueManagers:\r\n", "hxs.ini was not kept in Config")
    back = r.action_trace("iwiStackCleanUpFinalRollback")
    back.expect(lit("Running iwiStackCleanUpFinal in ROLLBACK mode"))
    back.expect(lit(f"Delete file '{data}\\Config\\LastInstall.reg' - SUCCESS"))
    expect(not t.unix(f"{data}\\Config\\LastInstall.reg").exists(), "LastInstall.reg survived the rollback")
