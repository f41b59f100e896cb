"""The install summary's list box inside Wine's installer engine: the rows of a removal read back
from the session's ListBox table, temporary rows included."""

from pathlib import Path

from zebwine import expect, lit, scenario

STRINGS = Path(__file__).resolve().parents[3] / "install/pc/winnt/msi/zebstrings.txt"

UITEXT = ["Key\tText", "s72\tL255", "UIText\tKey", "ZEB__setup_language\tA"]
LISTBOX = ["Property\tOrder\tValue\tText", "s72\ti2\ts64\tL64", "ListBox\tProperty\tOrder"]
COSTING = ["--do", "CostInitialize", "--do", "FileCost", "--do", "CostFinalize"]
QUERY = "SELECT `Order`, `Text` FROM `ListBox` WHERE `Property` = 'ZEBSUMMARYLIST' ORDER BY `Order`"


def strings():
    """{number: text} of the language library's lines in the string table."""
    out = {}
    for line in STRINGS.read_text().splitlines():
        parts = line.split(" ", 2)
        if len(parts) == 3 and parts[0] == "zebircan":
            out[int(parts[1])] = parts[2]
    return out


@scenario()
def removal_summary_rows(t):
    # iwiSetZebRemove decides the removal from REMOVE=ALL and, the dialogs not having chosen it,
    # sets the install level 0.
    built = (t.run.windows_build / "zebircan.dll").read_bytes()
    package = t.package(tables={"UIText": UITEXT, "ListBox": LISTBOX})
    t.add_binary_rows(package, {"zebircan.dll": built})
    temp = t.folder("temp")
    d = t.driver(package, [
        "--set", f"ZEBTEMP={temp}", "--set", "SystemLanguageID=1033", "--set", "REMOVE=ALL",
        "--set", "ZEBPRODUCT=server", "--set", "ZEBINSTALLINSTANCENAME=Inst1",
        "--set", "ZEBPGMFOLDER=C:\\HX", "--set", "ZEBSTARTFOLDER=Skyloft HX",
        "--do", "iwiStartLogs"] + COSTING + [
        "--do", "iwiSetZebRemove", "--get", "ZEBREMOVE",
        "--do", "iwiListInstallSummary", "--view", QUERY])
    d.expect_ok()
    expect(("iwiSetZebRemove", 0) in d.actions and ("iwiListInstallSummary", 0) in d.actions,
           f"actions: {d.actions}\n{d.stdout}")
    expect(d.properties.get("ZEBREMOVE") == "1", f"ZEBREMOVE {d.properties.get('ZEBREMOVE')!r}")
    d.trace.expect(lit("MsiSetInstallLevel(0) rc=0"))
    s = strings()
    rows = [fields[1] for fields in d.tables.get("VIEW", [])]
    orders = [int(fields[0]) for fields in d.tables.get("VIEW", [])]
    expect(orders == list(range(1, len(rows) + 1)), f"row orders {orders}")
    expect(rows[2:4] == [s[1054], "     " + s[1056]], "rows:\n" + "\n".join(rows))
    expect(s[1032] not in rows, "features added are listed in a removal:\n" + "\n".join(rows))
    expect(rows[0].startswith("Skyloft HX Installation Summary for Computer '"), f"title {rows[0]!r}")
    # The summary file holds the same lines.
    summary = t.unix(f"{temp}\\zebs0001.txt").read_bytes().decode("latin-1")
    expect(summary == "".join(r + "\r\n" for r in rows), f"summary file:\n{summary}")
    d.trace.expect(lit(f"Writing summary file '{temp}\\zebs0001.txt'"))
