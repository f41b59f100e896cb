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
    # "test" traces its frame and fails by design.
    expect(d.actions == [("iwiStartLogs", 0), ("iwiSetTempLogPath", 0), ("test", 1603), ("iwiUnSetTempLogPath", 0)],
           f"actions: {d.actions}\n{d.stdout}")
    props = d.properties
    expect((props.get("ZEBLANGUAGECODE"), props.get("ZEBLANGUAGE"), props.get("ZEBLANGDLLCREATED"))
           == ("a", "English", "1"), f"language properties: {props}")
    unpacked = t.unix(f"{temp}\\zebl0001.dll")
    expect(unpacked.read_bytes() == built, "the unpacked language library differs from the Binary row")
    d.trace.expect_order(lit("UI text key 'ZEB__setup_language': 'A'"),
                         lit("Unpacking binary Name: 'zebircan.dll'"), lit("successfully created language DLL."))

    # Two ZEBTEMPLOGPATH reads: the file while the dialogs run, then empty.
    reads = [line for line in d.stdout.splitlines() if line.startswith("PROPERTY ZEBTEMPLOGPATH=")]
    expect(reads == [f"PROPERTY ZEBTEMPLOGPATH={temp}\\zebg0001.txt", "PROPERTY ZEBTEMPLOGPATH="],
           f"ZEBTEMPLOGPATH reads: {reads}")

    # The lines written while the log was open come back once each after ">>", in their order: the
    # merged block repeats a stretch of the trace just before it.
    infos = [text for kind, text in d.messages if kind == "INFO"]
    first = next((i for i, text in enumerate(infos) if text.startswith(">>")), None)
    expect(first is not None, "no merged lines:\n" + "\n".join(infos))
    merged = [text[2:] for text in infos[first:] if text.startswith(">>")]
    expect(infos[first:first + len(merged)] == [">>" + m for m in merged], "the merged lines are not one block")
    expect(merged[0] == f"{merged[0][:8]} HXCA iwiSetTempLogPath(iwiSetTempLogPath) info: Property 'ZEBTEMPLOGPATH' "
           f"value set to '{temp}\\zebg0001.txt'", f"first merged line: {merged[0]}")
    library = [text for text in infos[:first] if " HXCA " in text]  # without the engine's own lines
    starts = [i for i in range(len(library) - len(merged) + 1) if library[i:i + len(merged)] == merged]
    expect(len(starts) == 1, "the merged lines are not the trace's lines of the open log, once:\n" + "\n".join(merged))
    expect(any(" HXCA Test CA " in m for m in merged), "the test action's lines were not merged")
    d.trace.expect(lit("End of messages from temporary log file."))
    expect(not t.unix(f"{temp}\\zebg0001.txt").exists(), "the temporary log was not deleted")
