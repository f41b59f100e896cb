"""Response-file lookups inside Wine's engine: settings and feature lists given to the session
reach iwiGetIniProperty and iwiGetIniFeature, called through the test-only library zebitest.dll."""

import shutil

from zebwine import expect, lit, scenario


def test_library(t):
    built = t.run.windows_build / "zebitest.dll"
    expect(built.exists(), f"{built} is missing (cmake --build --preset windows)")
    lib = t.folder("lib") + "\\zebitest.dll"
    shutil.copy2(built, t.unix(lib))
    return lib


def values_of(result, name):
    """Every value the driver printed for a property, in order."""
    prefix = f"PROPERTY {name}="
    return [line[len(prefix):] for line in result.stdout.splitlines() if line.startswith(prefix)]


@scenario()
def session_properties_and_response_file_reach_the_lookups(t):
    lib = test_library(t)
    ini = t.folder("ini") + "\\response.ini"
    t.write(ini, "; written by hand\r\n[Response]\r\nPGMFOLDER=%ProgramFiles%\\Corvane\r\n"
                 "INSTALLATIONNAME=FromFile\r\nADDLOCAL=Server\r\nREMOVE=Base\r\n")
    call = ["--call", lib, "tstIniLookups", "--get", "ZEBTESTINIVALUE", "--get", "ZEBTESTINISOURCE"]
    r = t.driver(t.package(), [
        "--set", f"USEINI=  {ini}\\", "--set", "ADDLOCAL=Client", "--set", "INSTALLATIONNAME=FromSession",
        "--set", "ZEBTESTINIPROPERTY=PGMFOLDER",
        "--set", "ZEBTESTINIFEATURES=Server,Client,Docs:Base,Other", *call, "--get", "ZEBTESTINISTATES",
        # The same loaded copy: a setting the session has wins over the file.
        "--set", "ZEBTESTINIPROPERTY=INSTALLATIONNAME", "--set", "ZEBTESTINIFEATURES=", *call])
    r.expect_ok()
    expect(r.calls == [("tstIniLookups", 0), ("tstIniLookups", 0)], f"calls: {r.calls}")
    expect(values_of(r, "ZEBTESTINIVALUE") == ["C:\\Program Files\\Corvane", "FromSession"],
           f"values: {values_of(r, 'ZEBTESTINIVALUE')}")
    expect(values_of(r, "ZEBTESTINISOURCE") == [ini, ""],
           f"sources: {values_of(r, 'ZEBTESTINISOURCE')}")
    expect(r.properties.get("ZEBTESTINISTATES") == "Server=3;Client=3;Docs=2;Other=-1;",
           f"states: {r.properties.get('ZEBTESTINISTATES')}")
    r.trace.expect_order(
        lit(f"Property 'USEINI' value '  {ini}\\' from property table"),
        lit("Property 'PGMFOLDER', value 'C:\\Program Files\\Corvane' from response file"),
        lit("Property 'ADDLOCAL' value 'Client' from property table"),
        lit("Feature 'Server' specified in response file ADDLOCAL"),
        lit("Feature 'Client' specified in property ADDLOCAL"),
        lit("Feature 'Docs' parent 'Base' specified in response file REMOVE"),
        lit("Property 'INSTALLATIONNAME' value 'FromSession' from property table"))
    # The lists and USEINI are read once per loaded copy.
    expect(r.trace.count(r"^Property 'ADDLOCAL' value") == 1, "ADDLOCAL was read twice")


@scenario()
def error_line_fails_the_lookup_once(t):
    lib = test_library(t)
    ini = t.folder("ini") + "\\broken.ini"
    t.write(ini, "A=1\r\n[Response]\r\nB=2\r\n")
    ops = ["--set", f"USEINI={ini}", "--set", "ZEBTESTINIPROPERTY=B"]
    r = t.driver(t.package(), ops + ["--call", lib, "tstIniLookups", "--call", lib, "tstIniLookups",
                                     "--get", "ZEBTESTINIVALUE"])
    expect(r.calls == [("tstIniLookups", 1603), ("tstIniLookups", 0)], f"calls: {r.calls}")
    expect(r.properties.get("ZEBTESTINIVALUE") == "", "a setting after the error line was stored")
    r.trace.expect_order(lit("***No stanza"), r"^HXCA tstIniLookups MB \*\*\* error: ",
                         lit("Returning with rc 1603"),
                         lit("Property 'B' not defined in response file"), lit("Returning with rc 0"))
    expect(r.trace.count(r" MB \*\*\* error: ") == 1, "the message was shown twice")
    no_stanza = [line for line in r.trace.lines if line.text == "***No stanza"]
    expect(no_stanza and no_stanza[0].function == "iwiBuildIniTable",
           f"the error is not traced under iwiBuildIniTable: {no_stanza}")


@scenario(clean_machine=True)
def written_response_file_reads_back_the_same_settings(t):
    ini = t.folder("out") + "\\saved.ini"
    props = {"SAVEINI": ini, "ZEBINSTALLINSTANCENAME": "Inst1", "ZEBINSTALLINSTANCEDESC": "Accounts QM",
             "ZEBPGMFOLDER": "C:\\HX\\", "ZEBDATFOLDER": "C:\\HXData", "ZEBLOGFOLDER": "C:\\HXData\\log",
             "ZEBPRODUCT": "server"}
    pkg = t.package(sequence=[("iwiWriteResponseFile", None, 1010)], properties=props)
    r = t.msiexec("/i", pkg, {"ADDLOCAL": "Server,Client", "REMOVE": "AMS"})
    r.expect_code(0)
    r.action_trace("iwiWriteResponseFile").expect(lit(f"Writing response file '{ini}'"))
    # Features the command line does not name stay absent and go to REMOVE; the summary table's
    # rows the package lacks (Explorer, Internet_gateway, the documentation) are left out.
    expected = ("[Response]\r\nINSTALLATIONNAME=\"Inst1\"\r\nINSTALLATIONDESC=\"Accounts QM\"\r\n"
                "MAKEPRIMARY=\"0\"\r\nPGMFOLDER=\"C:\\HX\"\r\nDATFOLDER=\"C:\\HXData\"\r\n"
                "LOGFOLDER=\"C:\\HXData\\log\"\r\nADDLOCAL=\"Server,Client\"\r\n"
                "REMOVE=\"XR_Service,AMS,AMQP,MFT_Service,MFT_Logger,MFT_Agent,MFT_Tools,JavaMsg,Web,JRE,Toolkit\"\r\n"
                ";REMOVEFEATURES=\"yes\"\r\n")
    data = t.read(ini)
    expect(data == expected, f"response file: {data!r}")

    lib = test_library(t)
    r = t.driver(t.package(), [
        "--set", f"USEINI={ini}", "--set", "ZEBTESTINIPROPERTY=INSTALLATIONDESC",
        "--set", "ZEBTESTINIFEATURES=Server,Client,AMS", "--call", lib, "tstIniLookups",
        "--get", "ZEBTESTINIVALUE", "--get", "ZEBTESTINISTATES"])
    r.expect_ok()
    expect(r.properties.get("ZEBTESTINIVALUE") == "Accounts QM", f"value: {r.properties.get('ZEBTESTINIVALUE')}")
    expect(r.properties.get("ZEBTESTINISTATES") == "Server=3;Client=3;AMS=2;",
           f"states: {r.properties.get('ZEBTESTINISTATES')}")
