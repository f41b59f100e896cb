#include "run.h"
#include "scenario.h"

#include <gtest/gtest.h>

using namespace hxca;

namespace {

RunResult SampleRun() {
    RunResult r;
    ActionRun a;
    a.name = "iwiERROR";
    a.ran = true;
    a.status = 1603;
    a.trace = {"10:00:00 HXCA iwiERROR info: ***Returning an error to provoke a rollback",
               "10:00:00 HXCA iwiERROR info: Returning with rc 1603"};
    r.actions.push_back(a);
    ActionRun b;
    b.name = "test";
    b.ran = true;
    b.status = 0;
    b.trace = {"10:00:01 HXCA Test CA info: Returning with rc 0"};
    r.actions.push_back(b);
    r.actions.push_back(b); // the same action twice
    r.events.push_back({"iwiPause", "messagebox", "Debug: Pause"});
    r.after.properties = {{"A", "x"}, {"Empty", ""}, {"Path", "C:\\HX"}};
    r.after.files = {{"C:\\Temp", std::nullopt}, {"C:\\Temp\\t.txt", "line one\nline two\n"}};
    r.after.registry["HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Corvane"] = {
        {"Name", {1, std::string("HX\0", 3)}}, {"Count", {4, std::string("\3\0\0\0", 4)}}};
    r.after.rows["Registry"] = {{{"r1"}, false}, {{"r2"}, true}, {{"r3"}, true}};
    return r;
}

CheckResult Check(const std::string& expectJson, const RunResult& r = SampleRun()) {
    return CheckExpectations(ParseScenario("{\"expect\": " + expectJson + "}").expect, r);
}

} // namespace

TEST(Expect, MetExpectationsGiveNoFailures) {
    CheckResult c = Check(R"({
      "status": {"iwiERROR": 1603, "test": 0},
      "trace": ["provoke a rollback", {"regex": "Test CA info: Returning with rc 0$"}],
      "noTrace": ["Invalid depth count"],
      "events": [{"regex": "^messagebox: .*Pause"}],
      "properties": {"A": "x", "Empty": null, "Absent": null, "Path": {"regex": "^C:\\\\"}},
      "files": {"C:\\Temp\\t.txt": "line one\nline two\n", "c:\\temp\\": true, "C:\\Temp\\none": false,
                "C:\\Temp\\T.TXT": {"contains": "two"}},
      "registry": [{"key": "HKLM\\SOFTWARE\\Corvane", "view": "32", "name": "name", "value": "HX", "type": "REG_SZ"},
                   {"key": "HKLM\\SOFTWARE\\Corvane", "view": "32", "name": "Count", "value": "dword:00000003"},
                   {"key": "HKLM\\SOFTWARE\\Corvane", "view": "32", "name": "Other", "value": null},
                   {"key": "HKLM\\SOFTWARE\\Corvane", "exists": false},
                   {"key": "HKLM\\SOFTWARE\\Wow6432Node\\Corvane"}],
      "tempRows": {"Registry": 2, "ListBox": 0}, "rows": {"Registry": 3}})");
    EXPECT_TRUE(c.failures.empty()) << ::testing::PrintToString(c.failures);
}

// The summary's "all N met" counts what the scenario wrote: each entry below is one expectation,
// whether it asks for existence only or for a value.
TEST(Expect, EachMetExpectationCountsOnce) {
    for (
        const char* one : {
            R"({"status": {"iwiERROR": 1603}})",
            R"({"trace": ["provoke a rollback"]})",
            R"({"noTrace": ["Invalid depth count"]})",
            R"({"events": ["messagebox"]})",
            R"({"properties": {"A": "x"}})",
            R"({"properties": {"Absent": null}})",
            R"({"files": {"C:\\Temp\\t.txt": true}})",
            R"({"files": {"C:\\Temp": true}})",
            R"({"files": {"C:\\Temp\\none": false}})",
            R"({"files": {"C:\\Temp\\t.txt": {"contains": "two"}}})",
            R"({"registry": [{"key": "HKLM\\SOFTWARE\\Wow6432Node\\Corvane"}]})",
            R"({"registry": [{"key": "HKLM\\SOFTWARE\\Corvane", "view": "32", "name": "Name", "exists": true}]})",
            R"({"registry": [{"key": "HKLM\\SOFTWARE\\Corvane", "view": "32", "name": "Name", "value": "HX"}]})",
            R"({"tempRows": {"Registry": 2}})",
            R"({"leakedHandles": 0})",
        }) {
        CheckResult c = Check(one);
        EXPECT_EQ(c.checks, 1) << one;
        EXPECT_TRUE(c.failures.empty()) << one << ": " << ::testing::PrintToString(c.failures);
    }
}

TEST(Expect, LeakedHandlesNameTheLeakingActions) {
    RunResult r = SampleRun();
    r.actions[0].leaked = {1, 2, 0};
    r.actions[2].leaked = {0, 0, 1};
    EXPECT_EQ(
        Check(R"({"leakedHandles": 0})", r).failures,
        (std::vector<std::string>{"handles left open: expected 0, got 4 (iwiERROR (action 1): 1 installer "
                                  "handle, 2 kernel handles; test (action 3): 1 registry key)"}));
    EXPECT_TRUE(Check(R"({"leakedHandles": 4})", r).failures.empty());
    // Without the expectation a leak is only shown, never a failure.
    EXPECT_TRUE(Check(R"({"status": {"iwiERROR": 1603}})", r).failures.empty());
}

TEST(Expect, FailuresSayWhatDiffers) {
    CheckResult c = Check(R"({
      "status": {"iwiERROR": 0, "test": 1603, "iwiNever": 0},
      "trace": ["not there"],
      "noTrace": [{"regex": "rc 16\\d\\d"}],
      "events": ["messagebox: Other"],
      "properties": {"A": "y", "Empty": "v", "Path": null, "B": {"contains": "z"}},
      "files": {"C:\\Temp\\t.txt": "other", "C:\\Temp": "a folder has no content", "C:\\gone": true,
                "C:\\Temp\\t.txt\\": false},
      "registry": [{"key": "HKLM\\SOFTWARE\\Corvane", "view": "32", "name": "Name", "value": "HY"},
                   {"key": "HKLM\\SOFTWARE\\Corvane", "view": "32", "name": "Count", "type": "REG_SZ"},
                   {"key": "HKLM\\SOFTWARE\\Corvane", "name": "Name", "value": "HX"},
                   {"key": "HKLM\\SOFTWARE\\Corvane", "view": "32", "name": "Name", "exists": false},
                   {"key": "HKLM\\SOFTWARE\\Corvane", "view": "32", "exists": false}],
      "tempRows": {"Registry": 1}, "rows": {"Registry": 2}})");
    // Names within one kind come in alphabetical order.
    // In the order the scenario gives them.
    std::vector<std::string> want = {
        "status of iwiERROR (action 1): expected 0, got 1603",
        "status of test (action 2): expected 1603, got 0",
        "status of test (action 3): expected 1603, got 0",
        "status of iwiNever: the action did not run",
        "no trace line matches 'not there'",
        "trace line matches /rc 16\\d\\d/ but must not: 10:00:00 HXCA iwiERROR info: Returning with rc 1603",
        "no event matches 'messagebox: Other'",
        "property A: expected 'y', got 'x'",
        "property Empty: expected 'v', got (not set)",
        "property Path: expected (not set), got 'C:\\HX'",
        "property B: expected a value matching 'z', got (not set)",
        "file C:\\Temp\\t.txt: expected content 'other', got 'line one\\nline two\\n'",
        "file C:\\Temp: expected content 'a folder has no content', got a folder",
        "file C:\\gone does not exist",
        "file C:\\Temp\\t.txt\\ exists but must not",
        "registry value HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane (32-bit view)\\[Name]: expected 'HY', got 'HX'",
        "registry value HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane (32-bit view)\\[Count]: expected type REG_SZ, "
        "got "
        "REG_DWORD",
        "registry value HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\[Name] does not exist (no such key)",
        "registry value HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane (32-bit view)\\[Name] exists but must not: "
        "\"HX\"",
        "registry key HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane (32-bit view) exists but must not",
        "temporary rows of Registry: expected 1, got 2",
        "rows of Registry: expected 2, got 3"};
    EXPECT_EQ(c.failures, want);
}

TEST(Expect, PerActionExpectationsLookOnlyAtThatAction) {
    RunResult r = SampleRun();
    r.actions[0].expect = ParseScenario(R"({"actions": [{"name": "x", "expect": {
        "status": 1603, "trace": ["provoke"], "noTrace": ["Test CA"]}}]})")
                              .actions[0]
                              .expect;
    r.actions[1].expect.trace = {{"provoke", false}};
    r.actions[2].ran = false;
    r.actions[2].error = "the library has no export 'test'";
    r.actions[2].expect.status = 0;
    CheckResult c = CheckExpectations(Expect{}, r);
    EXPECT_EQ(c.checks, 5);
    EXPECT_EQ(c.failures,
              (std::vector<std::string>{
                  "no trace line of test (action 2) matches 'provoke'",
                  "status of test (action 3): expected 0, got no run (the library has no export 'test')"}));
}
