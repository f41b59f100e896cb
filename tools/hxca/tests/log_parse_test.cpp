#include "logparse.h"
#include "logtest.h"

using namespace hxca;
using namespace hxca::test;

namespace {

struct Seen {
    std::string text;
    LineKind kind;
    int run, copy;
};

struct Parsed {
    LogSummary summary;
    std::vector<Seen> lines;
    const ActionRunInfo& Run(size_t i) const { return summary.runs.at(i); }
    // The run each trace line went to, "-" when none.
    std::string Owners() const {
        std::string out;
        for (const Seen& s : lines)
            if (s.kind == LineKind::Trace || s.kind == LineKind::Merged)
                out += s.run < 0 ? "-" : std::to_string(s.run + 1);
        return out;
    }
};

Parsed Parse(const std::vector<std::string>& lines) {
    Parsed p;
    LogParser parser([&](const LineEvent& e) { p.lines.push_back({e.raw->text, e.kind, e.run, e.copy}); });
    uint64_t n = 0;
    for (const std::string& text : lines) {
        RawLine line;
        line.text = text;
        line.number = ++n;
        for (char c : text)
            line.binary |= static_cast<unsigned char>(c) < 0x20 && c != '\t';
        parser.Feed(line);
    }
    parser.Finish();
    p.summary = parser.summary();
    return p;
}

std::string T(const std::string& field, const std::string& text) {
    return "10:00:00 HXCA " + field + " info: " + text;
}

std::string Banner() {
    return T("(CaProlog)",
             "zebiwicn.dll Built on Jan 15 2026 at 10:00:00; version 9.4.0.0, build p940-L260101");
}

} // namespace

TEST(LogParse, TraceLineFields) {
    TraceFields f;
    ASSERT_TRUE(ParseTraceLine("01:48:14 HXCA (CaProlog)(CaProlog) info: Property 'A' value 'x: y'", f));
    EXPECT_EQ(f.time, "01:48:14");
    EXPECT_EQ(f.action, "(CaProlog)");
    EXPECT_EQ(f.function, "CaProlog");
    EXPECT_EQ(f.text, "Property 'A' value 'x: y'");
    ASSERT_TRUE(ParseTraceLine("01:48:14 HXCA Test CA(iwiLoadNlsString) info: t", f));
    EXPECT_EQ(f.action, "Test CA");
    EXPECT_EQ(f.function, "iwiLoadNlsString");
    ASSERT_TRUE(ParseTraceLine("01:48:14 HXCA (CaProlog) info: ", f));
    EXPECT_EQ(f.action, "(CaProlog)");
    EXPECT_EQ(f.function, "");
    EXPECT_EQ(f.text, "");
    ASSERT_TRUE(ParseTraceLine("01:48:14 HXCA iwiX info:", f)); // trailing blank trimmed by a tool
    EXPECT_EQ(f.text, "");
    for (const char* bad :
         {"01:48:1 HXCA iwiX info: t", "01:48:14 HXCA iwiX", "01:48:14 HXCA info: t",
          "01:48:14 HXCB iwiX info: t", "Action start 1:48:14: iwiX.", ">>01:48:14 HXCA iwiX info: t"})
        EXPECT_FALSE(ParseTraceLine(bad, f)) << bad;
}

TEST(LogParse, PropertyLines) {
    struct Case {
        const char* text;
        PropertyUse::Kind kind;
        const char* name;
        const char* value;
        const char* source;
    } cases[] = {
        {"Property 'ZEBTEMP' value 'C:\\it's' from property table", PropertyUse::Read, "ZEBTEMP", "C:\\it's",
         "property table"},
        {"Property 'ProductName' value 'HX'; from CustomActionData", PropertyUse::Read, "ProductName", "HX",
         "CustomActionData"},
        {"Property 'PGMFOLDER', value 'C:\\HX' from response file", PropertyUse::Read, "PGMFOLDER", "C:\\HX",
         "response file"},
        {"Property 'UILevel' not defined in CustomActionData", PropertyUse::NotDefined, "UILevel", "",
         "CustomActionData"},
        {"Property 'ZEBTEMPFILENUM' value set to '0001'", PropertyUse::Set, "ZEBTEMPFILENUM", "0001", ""},
        {"SETPROPERTY('ZEBTEMPFILENUM', '0001') ignored during deferred execution", PropertyUse::SetIgnored,
         "ZEBTEMPFILENUM", "0001", ""},
        {"***msiSetProperty('A') value('b') failed (5)", PropertyUse::SetFailed, "A", "b", ""},
        {"***msiGetProperty('A') failed (234)", PropertyUse::ReadFailed, "A", "234", ""},
    };
    for (const Case& c : cases) {
        auto use = ParsePropertyLine(c.text);
        ASSERT_TRUE(use) << c.text;
        EXPECT_EQ(use->kind, c.kind) << c.text;
        EXPECT_EQ(use->name, c.name) << c.text;
        EXPECT_EQ(use->value, c.value) << c.text;
        EXPECT_EQ(use->source, c.source) << c.text;
    }
    EXPECT_FALSE(ParsePropertyLine("Property table loaded"));
    EXPECT_FALSE(ParsePropertyLine("Property 'A' value 'b"));
}

TEST(LogParse, RunsOfATraceFile) {
    Parsed p =
        Parse({Banner(), T("(CaProlog)(CaProlog)", "Property 'ProductName' value 'HX' from property table"),
               T("(CaProlog)", "User name is 'root'"), T("(CaProlog)", "MSIRUNMODE_SCHEDULED"),
               T("(CaProlog)", "MSIRUNMODE_ROLLBACK"), T("iwiERROR", "***first"), T("iwiERROR", "***second"),
               T("iwiERROR", "Returning with rc 1603"), "", Banner(), T("(CaProlog)", "User name is 'root'"),
               T("iwiPause", "Returning with rc 0")});
    ASSERT_EQ(p.summary.runs.size(), 2u);
    const ActionRunInfo& a = p.Run(0);
    EXPECT_EQ(a.action, "iwiERROR");
    EXPECT_EQ(a.status, 1603);
    EXPECT_EQ(a.statusLine, 8u);
    EXPECT_EQ(a.mode, RunMode::Rollback); // during rollback the engine reports SCHEDULED too
    EXPECT_EQ(a.lines, 8u);
    EXPECT_EQ(a.errors, 2u);
    EXPECT_EQ(a.firstError, "***first");
    EXPECT_EQ(a.firstErrorLine, 6u);
    EXPECT_TRUE(a.banner);
    EXPECT_EQ(p.Run(1).mode, RunMode::Immediate);
    EXPECT_EQ(p.Run(1).status, 0);
    EXPECT_EQ(p.Owners(), "11111111222");
    EXPECT_EQ(p.summary.traceProperties.at("ProductName"), "HX");
    EXPECT_EQ(FirstFailingRun(p.summary), 0);
}

TEST(LogParse, HandOverToASecondCopy) {
    Parsed p =
        Parse({Banner(), T("(CaProlog)", "User name is 'root'"),
               T("(CaProlog)", "Executing 'C:\\second\\zebiwicn.dll(iwiERROR)'"), Banner(),
               T("(CaProlog)(CaProlog)", "Property 'ZEBEXTCA60000' value 'C:\\second' from property table"),
               T("(CaProlog)", "External invocation of 'zebiwicn.dll'"), T("iwiERROR", "***x"),
               T("iwiERROR", "Returning with rc 1603"),
               T("(CaProlog)(iiiIsCancelled)", "Property 'ZEBTEMP' not defined in property table"),
               T("(CaProlog)", "Returning with rc 0")});
    ASSERT_EQ(p.summary.runs.size(), 1u);
    const ActionRunInfo& r = p.Run(0);
    EXPECT_EQ(r.action, "iwiERROR");
    EXPECT_EQ(r.handedTo, "C:\\second\\zebiwicn.dll");
    EXPECT_EQ(r.status, 0) << "what the engine got is the first copy's result";
    EXPECT_EQ(r.secondCopyLines, 5u);
    EXPECT_EQ(r.lines, 10u);
    std::string copies;
    for (const Seen& s : p.lines)
        copies += std::to_string(s.copy);
    EXPECT_EQ(copies, "0001111100");
    EXPECT_EQ(p.summary.unattributed, 0u);
}

TEST(LogParse, NestedActionsStayInTheirRun) {
    // iwiA calls iwiB, which calls iwiC: after iwiC returns the frame has cleared the nested name,
    // so iwiB's own return is traced under iwiA; only iwiA's last return is the run's status.
    Parsed p = Parse({Banner(), T("iwiA", "start"), T("iwiB", "in B"), T("iwiC", "***in C"),
                      T("iwiC", "Returning with rc 1603"), T("iwiA", "Returning with rc 1603"),
                      T("iwiA", "after B"), T("iwiA", "Returning with rc 0")});
    ASSERT_EQ(p.summary.runs.size(), 1u);
    EXPECT_EQ(p.Run(0).status, 0);
    EXPECT_EQ(p.Run(0).statusLine, 8u);
    EXPECT_EQ(p.Run(0).lines, 8u);
    EXPECT_EQ(FirstFailingRun(p.summary), -1);

    // Cut before iwiA returned: the 1603 is iwiB's, not the run's.
    Parsed cut = Parse({Banner(), T("iwiA", "start"), T("iwiB", "in B"), T("iwiC", "in C"),
                        T("iwiC", "Returning with rc 0"), T("iwiA", "Returning with rc 1603")});
    EXPECT_FALSE(cut.Run(0).status);
}

TEST(LogParse, KeptLoadedCopyAndFramelessActions) {
    Parsed p = Parse({Banner(), T("iwiPause", "Returning with rc 0"),
                      // a second top-level call in the same copy
                      T("iwiPause", "Invalid depth count entering 'iwiERROR' from 'iwiPause': 0"),
                      T("iwiERROR", "Returning with rc 1603"),
                      // iwiCancel runs without the frame: no banner, no return line
                      T("iwiCancel(iwiCancel)", "Property 'ZEBTEMP' value 'C:\\Temp' from property table"),
                      // after a run has returned, "(CaProlog)" without a banner names no action
                      T("(CaProlog)", "orphan")});
    ASSERT_EQ(p.summary.runs.size(), 3u);
    EXPECT_EQ(p.Run(1).action, "iwiERROR");
    EXPECT_TRUE(p.Run(1).keptLoaded);
    EXPECT_EQ(p.Run(1).status, 1603);
    EXPECT_EQ(p.Run(2).action, "iwiCancel");
    EXPECT_FALSE(p.Run(2).banner || p.Run(2).status);
    EXPECT_EQ(p.Owners(), "11223-");
    EXPECT_EQ(p.summary.unattributed, 1u);
    EXPECT_EQ(p.summary.unattributedSample.at(0).number, 6u);
}

TEST(LogParse, MergedTemporaryLogLines) {
    const std::string longText = "x" + std::string(600, 'y');
    const std::string merged = "09:59:00 HXCA iwiStartLogs info: " + longText;
    const std::string piece1 = merged.substr(0, 515), piece2 = merged.substr(515);
    Parsed p = Parse({Banner(), T("iwiCleanUp", "Messages from temporary log file 'C:\\Temp\\zebg0001.txt':"),
                      ">>" + Banner(), ">>09:59:00 HXCA iwiStartLogs info: ***Can't find key", ">>" + piece1,
                      ">>" + piece2, ">>09:59:00 HXCA iwiStartLogs info: Returning with rc 1603", ">>garbage",
                      T("iwiCleanUp", "End of messages from temporary log file."),
                      T("iwiCleanUp", "Returning with rc 0")});
    ASSERT_EQ(p.summary.runs.size(), 2u);
    const ActionRunInfo& m = p.Run(1);
    EXPECT_EQ(m.action, "iwiStartLogs");
    EXPECT_TRUE(m.merged);
    EXPECT_EQ(m.mergedBy, 0);
    EXPECT_EQ(m.status, 1603);
    EXPECT_EQ(m.lines, 4u) << "the two pieces of the long line are one line";
    EXPECT_EQ(m.firstError, "***Can't find key");
    EXPECT_EQ(p.Run(0).status, 0);
    EXPECT_EQ(p.Run(0).lines, 4u);
    EXPECT_EQ(p.Owners(), "1122222-11") << "both pieces and their run; garbage belongs to nobody";
    EXPECT_EQ(p.summary.unattributed, 1u);
    EXPECT_EQ(FirstFailingRun(p.summary), 1) << "a merged failure counts when nothing else failed";
}

TEST(LogParse, EngineActionsBoundRuns) {
    // Wine's layout: each custom action between "Action start" and "Action ended".
    Parsed p = Parse({"=== Logging started: 1/15/2026  10:00:00 ===", "Action start 10:00:00: INSTALL.",
                      "Action 10:00:00: iwiPauseRB. ", "Action start 10:00:00: iwiPauseRB.", Banner(),
                      T("iwiPause", "***not returned"), "Action ended 10:00:00: iwiPauseRB. Return value 0.",
                      // a line after its action ended belongs to no run
                      T("iwiPause", "late"), "Action start 10:00:01: iwiNext.",
                      // a line in another engine action is another call, whatever its name
                      T("iwiPause", "a call of its own"), "Action ended 10:00:01: iwiNext. Return value 1.",
                      T("(CaProlog)", "no banner seen"), "Action ended 10:00:01: INSTALL. Return value 0.",
                      "Property(C): UILevel = 5", "Property(S): UILevel = 2", "Property(C): ClientOnly = c"});
    ASSERT_EQ(p.summary.runs.size(), 3u);
    EXPECT_EQ(p.Run(0).engineAction, "iwiPauseRB");
    EXPECT_EQ(p.Run(0).engineValue, 0);
    EXPECT_FALSE(p.Run(0).status);
    EXPECT_EQ(p.Run(1).action, "iwiPause");
    EXPECT_FALSE(p.Run(1).banner);
    EXPECT_EQ(p.Run(1).engineAction, "INSTALL") << "it ran after its own engine action had ended";
    EXPECT_EQ(p.Run(2).engineAction, "iwiNext");
    EXPECT_EQ(p.Run(2).engineValue, 1);
    EXPECT_EQ(p.Owners(), "1123-");
    EXPECT_TRUE(p.summary.engineLog);
    EXPECT_FALSE(p.summary.windowsEngine);
    EXPECT_EQ(p.summary.topLevelValue, 0);
    EXPECT_EQ(p.summary.engineProperties.at("UILevel"), "2") << "the server's dump wins";
    EXPECT_EQ(p.summary.engineProperties.at("ClientOnly"), "c");
}

TEST(LogParse, WindowsScriptActions) {
    // Deferred actions run from the script: no "Action start", an ActionStart op instead.
    Parsed p = Parse(
        {"=== Verbose logging started: 1/15/2026  10:00:00  Build type: SHIP UNICODE 5.00.10011.00 ===",
         "Action start 10:00:01: InstallFinalize.",
         "MSI (s) (7C:F4) [10:00:02:001]: Executing op: ActionStart(Name=iwiStopDeferred,,)",
         "Action 10:00:02: iwiStopDeferred. ",
         "MSI (s) (7C:F4) [10:00:02:002]: Executing op: "
         "CustomActionSchedule(Action=iwiStopDeferred,ActionType=3073,Source=BinaryData,Target=iwiStopAllHx,"
         ")",
         Banner(), T("iwiStopAllHx", "Waiting"),
         // the library's own action text, named after its outer action
         "Action 10:00:02: iwiStopAllHx. Stopping the queue managers",
         T("iwiStopAllHx", "Returning with rc 1603"),
         "CustomAction iwiStopDeferred returned actual error code 1603 (note this may not be 100% accurate)",
         "MSI (s) (7C:F4) [10:00:02:010]: Executing op: ActionStart(Name=iwiRollbackThing,,)",
         "MSI (s) (7C:F4) [10:00:02:011]: Executing op: "
         "CustomActionRollback(Action=iwiRollbackThing,ActionType=1281)",
         Banner(), T("(CaProlog)", "MSIRUNMODE_SCHEDULED"), T("iwiPause", "Returning with rc 0"),
         "Action ended 10:00:03: InstallFinalize. Return value 3.",
         "MSI (s) (7C:F4) [10:00:03:000]: Product: HX -- Installation failed.",
         "MSI (s) (7C:F4) [10:00:03:000]: Windows Installer installed the product. Product Name: HX. Product "
         "Version: 9.4.0.0. Product Language: 1033. Manufacturer: Corvane. Installation success or error "
         "status: "
         "1603.",
         "MSI (s) (7C:F4) [10:00:03:001]: MainEngineThread is returning 1603"});
    ASSERT_EQ(p.summary.runs.size(), 2u);
    EXPECT_EQ(p.Run(0).engineAction, "iwiStopDeferred");
    EXPECT_EQ(p.Run(0).action, "iwiStopAllHx");
    EXPECT_EQ(p.Run(0).mode, RunMode::Deferred) << "from the engine's op; the trace did not say";
    EXPECT_EQ(p.Run(0).engineCode, 1603);
    EXPECT_EQ(p.Run(0).status, 1603);
    EXPECT_EQ(p.Run(0).lines, 3u);
    EXPECT_EQ(p.Run(1).engineAction, "iwiRollbackThing");
    EXPECT_EQ(p.Run(1).mode, RunMode::Rollback) << "the engine's word beats the trace's SCHEDULED";
    EXPECT_TRUE(p.summary.windowsEngine);
    EXPECT_EQ(p.summary.productStatus, 1603);
    EXPECT_EQ(p.summary.mainEngine, 1603);
}

TEST(LogParse, RunnerOutput) {
    Parsed p = Parse({"== iwiERROR (deferred)", Banner(), T("iwiERROR", "Returning with rc 1603"),
                      "-> status 1603", "", "== iwiCancel (immediate)", T("iwiCancel(iwiCancel)", "x"),
                      "-> status 1602", "", "== Changes", "      | " + T("iwiERROR", "file content")});
    ASSERT_EQ(p.summary.runs.size(), 2u);
    EXPECT_TRUE(p.summary.runnerOutput);
    EXPECT_EQ(p.Run(0).mode, RunMode::Deferred);
    EXPECT_EQ(p.Run(0).engineCode, 1603);
    EXPECT_EQ(p.Run(1).engineCode, 1602);
    EXPECT_EQ(p.Run(1).mode, RunMode::Immediate);
    EXPECT_EQ(p.summary.trace, 3u) << "indented file contents are no trace lines";
}

TEST(LogParse, DamagedLinesClaimNothing) {
    Parsed p = Parse({Banner(), "10:00:00 HXCA iwiERR", std::string("\x01\x02garbage"), T("iwiERROR", "***x"),
                      T("iwiERROR", "Returning with rc 1603")});
    EXPECT_EQ(p.summary.damaged, 2u);
    EXPECT_EQ(p.summary.damagedSample.at(0).number, 2u);
    ASSERT_EQ(p.summary.runs.size(), 1u);
    EXPECT_EQ(p.Run(0).lines, 3u);
    EXPECT_EQ(p.Run(0).status, 1603);
}
