"""The product's unpack script run by Wine's cmd from a deferred action: a program folder whose name
holds '&' and '(' (the command after "/c" keeps its quotes only inside an outer pair), the script's
log kept in the temporary folder, and the rollback that deletes what was unpacked when a later
deferred action fails. The script is a test double: it echoes its arguments and its folder (in
quotes, or the folder's '&' would end its own echo), unpacks one file and ends with the exit code
the scenario gives it."""

from zebwine import expect, lit, scenario

NAMES = "ProductVersion;ZEBTEMP;ZEBINSTALLINSTANCENAME;ZEBPGMFOLDER"
SEQUENCE = [("iwiWriteDeferredProperties", None, 1460),
            ("iwiSetCustomActionData", None, 1470),
            ("iwiUnzipJRERollback", None, 6400),
            ("iwiUnzipJREDeferred", None, 6401)]


def machine(t, exit_code):
    """P = <root>\\R&D (x)\\HX with the archive, the script and an empty java folder; the temporary
    folder <root>\\temp. Returns (P, temp)."""
    pgm = t.folder("R&D (x)/HX")
    temp = t.folder("temp")
    t.folder("R&D (x)/HX/java")
    t.write(f"{pgm}\\zips\\hx_jre64.zip", "PK not really an archive")
    t.write(f"{pgm}\\zips\\UnpackFeature.cmd",
            "@echo off\r\n"
            "echo args %1 %2\r\n"
            "echo dir \"%CD%\"\r\n"
            "mkdir jre\\bin\r\n"
            "echo x> jre\\bin\\x.txt\r\n"
            f"exit /b {exit_code}\r\n")
    return pgm, temp


def package(t, pgm, temp, extra=()):
    props = {"ZEBPROPERTYNAMELIST1": NAMES, "ZEBINSTALLINSTANCENAME": "Inst1", "ZEBPGMFOLDER": pgm,
             "ZEBTEMP": temp}
    return t.package(sequence=SEQUENCE + list(extra), properties=props)


@scenario(clean_machine=True)
def unpack_in_a_special_folder_and_rollback(t):
    pgm, temp = machine(t, 0)
    r = t.msiexec("/i", package(t, pgm, temp, [("iwiERRORDeferred", None, 6500)]))
    r.expect_code(1603)
    unzip = r.action_trace("iwiUnzipJREDeferred")
    unzip.expect(lit("calling iwiUnzipJRE CA in mode: MSIRUNMODE_SCHEDULED"))
    unzip.expect(lit(f"cmd parms   : /c \"\"{pgm}\\zips\\UnpackFeature.cmd\" ..\\java hx_jre64.zip "
                     ">UnpackFeatureJRE.log 2>&1\""))
    unzip.expect(lit("UnpackFeature return code - dwExitCode=0"))
    unzip.expect(lit("Successful return from JRE feature unzip function"))
    log = f"{temp}\\HXv94-UnpackJREFeature-Inst1.log"
    expect(t.unix(log).exists(), f"no log copy {log}")
    text = t.read(log)
    expect("args ..\\java hx_jre64.zip" in text, f"log copy: {text!r}")
    expect(f"dir \"{pgm}\\java\"" in text, f"log copy: {text!r}")

    back = r.action_trace("iwiUnzipJRERollback")
    back.expect(lit("calling iwiUnzipJRE CA in mode: MSIRUNMODE_ROLLBACK"))
    back.expect(lit(f"ROLLBACK: deleting the JRE feature files from '{pgm}\\java'"))
    back.expect(lit("JRE feature zip files deleted successfully (or not present)"))
    expect(not t.unix(f"{pgm}\\java\\jre").exists(), "the rollback left java\\jre")
    print("OBSERVED cmd /c with the outer pair of quotes runs a script in 'R&D (x)'", flush=True)


@scenario(clean_machine=True)
def script_failing_with_1001_fails_the_installation(t):
    pgm, temp = machine(t, 1001)
    r = t.msiexec("/i", package(t, pgm, temp))
    r.expect_code(1603)
    unzip = r.action_trace("iwiUnzipJREDeferred")
    unzip.expect(lit("UnpackFeature return code - dwExitCode=1001"))
    unzip.expect(lit("***ERROR: unzip program successfully launched but failed with dwExitCode 1001"))
    unzip.expect(lit("***ERROR: powershell.exe not found on the system PATH"))
    unzip.expect(lit(f"***check file '{temp}\\HXv94-UnpackJREFeature-Inst1.log'"))
    unzip.expect(lit("***Error unzipping JRE feature zip file"))
