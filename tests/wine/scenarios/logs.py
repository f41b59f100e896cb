"""The installation language and its library, and the dialogs' temporary log merged into the trace,
inside Wine's installer engine."""

from zebwine import expect, lit, scenario

UITEXT = ["Key\tText", "s72\tL255", "UIText\tKey", "ZEB__other\tx", "ZEB__setup_language\tA"]


@scenario()
def language_library_and_temporary_log(t):
    built = (t.run.windows_build / "zebircan.dll").read_bytes()
    package = t.package(tables={"UIText": UITEXT})
    t.add_binary_rows(package, {"zebircan.dll": built})
    temp = t.folder("temp")
    d = t.driver(package, [
        "--set", f"ZEBTEMP={temp}", "--set", "SystemLanguageID=1033",
        "--do", "iwiStartLogs",
        "--get", "ZEBLANGUAGECODE", "--get", "ZEBLANGUAGE", "--get", "ZEBLANGDLLCREATED",
        "--do", "iwiSetTempLogPath", "--get", "ZEBTEMPLOGPATH",
        "--do", "test",
        "--do", "iwiUnSetTempLogPath", "--get", "ZEBTEMPLOGPATH"])
    d.expect_ok()
    expect(d.actions == [("iwiStartLogs", 0), ("iwiSetTempLogPath", 0), ("test", 0), ("iwiUnSetTempLogPath", 0)],
           f"actions: {d.actions}\n{d.stdout}")
    props = d.properties
    expect((props.get("ZEBLANGUAGECODE"), props.get("ZEBLANGUAGE"), props.get("ZEBLANGDLLCREATED"))
           == ("a", "English", "1"), f"language properties: {props}")
    library = t.unix(f"{temp}\\zebl0001.dll")
    expect(library.read_bytes() == built, "the unpacked language library differs from the Binary row")
    d.trace.expect_order(lit("UI text key 'ZEB__setup_language': 'A'"),
                         lit("Unpacking binary Name: 'zebircan.dll'"), lit("successfully created language DLL."))

    # Two ZEBTEMPLOGPATH reads: the file while the dialogs run, then empty.
    reads = [line for line in d.stdout.splitlines() if line.startswith("PROPERTY ZEBTEMPLOGPATH=")]
    expect(reads == [f"PROPERTY ZEBTEMPLOGPATH={temp}\\zebg0001.txt", "PROPERTY ZEBTEMPLOGPATH="],
           f"ZEBTEMPLOGPATH reads: {reads}")

    # Every line written while the log was open comes back once after ">>", the test action's
    # lines among them, and the merge ends.
    infos = [text for kind, text in d.messages if kind == "INFO"]
    merged = [text[2:] for text in infos if text.startswith(">>")]
    expect(merged, "no merged lines:\n" + "\n".join(infos))
    expect(len(merged) == len(set(merged)), "a merged line appears twice:\n" + "\n".join(merged))
    before = infos[:infos.index(">>" + merged[0])]
    missing = [m for m in merged if m not in before]
    expect(not missing, "merged lines never traced before:\n" + "\n".join(missing))
    expect(any(" HXCA test " in m for m in merged), "the test action's lines were not merged")
    d.trace.expect(lit("End of messages from temporary log file."))
    expect(not t.unix(f"{temp}\\zebg0001.txt").exists(), "the temporary log was not deleted")
