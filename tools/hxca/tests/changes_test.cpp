#include "report.h"
#include "run.h"
#include "snapshot.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>

using namespace hxca;
using Kind = Change::Kind;

namespace {

std::string Describe(const std::vector<Change>& changes) {
    std::string out;
    for (const auto& c : changes) {
        out += (c.kind == Kind::Added     ? "+"
                : c.kind == Kind::Removed ? "-"
                                          : "~") +
               c.category + " " + c.name;
        if (!c.before.empty())
            out += " <" + c.before + ">";
        if (!c.after.empty())
            out += " >" + c.after + "<";
        out += c.temporary ? " T\n" : "\n";
    }
    return out;
}

RegValue Sz(const std::string& s) {
    return {1, s + std::string(1, '\0')};
}

} // namespace

TEST(Diff, Properties) {
    Snapshot a, b;
    a.properties = {{"Keep", "1"}, {"Change", "old"}, {"Gone", "x"}};
    b.properties = {{"Keep", "1"}, {"Change", "new"}, {"New", "n"}, {"change", "case differs"}};
    EXPECT_EQ(Describe(Diff(a, b)), "~property Change <old> >new<\n"
                                    "+property New >n<\n"
                                    "+property change >case differs<\n"
                                    "-property Gone <x>\n");
}

TEST(Diff, RowsAsMultisets) {
    Snapshot a, b;
    a.rows["Registry"] = {{{"r1", "2"}, false}, {{"r1", "2"}, false}, {{"r2", "2"}, false}};
    b.rows["Registry"] = {
        {{"r1", "2"}, false}, {{"r2", "2"}, false}, {{"r3", "2"}, true}, {{"r3", "2"}, true}};
    b.rows["ListBox"] = {{{"L", "1", "x"}, true}};
    EXPECT_EQ(Describe(Diff(a, b)), "+row ListBox >L | 1 | x< T\n"
                                    "+row Registry >r3 | 2< T\n"
                                    "+row Registry >r3 | 2< T\n"
                                    "-row Registry <r1 | 2>\n");
}

TEST(Diff, RegistryKeysAndValues) {
    Snapshot a, b;
    a.registry["HKEY_LOCAL_MACHINE\\SOFTWARE\\A"] = {
        {"Keep", Sz("k")}, {"Change", {4, std::string("\1\0\0\0", 4)}}, {"Gone", Sz("g")}};
    a.registry["HKEY_LOCAL_MACHINE\\SOFTWARE\\Old"] = {{"", Sz("d")}};
    b.registry["HKEY_LOCAL_MACHINE\\software\\a"] = {
        {"keep", Sz("k")}, {"Change", {4, std::string("\2\0\0\0", 4)}}, {"New", {3, "\x01\xff"}}};
    b.registry["HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\B"] = {};
    EXPECT_EQ(Describe(Diff(a, b)),
              "~value HKEY_LOCAL_MACHINE\\software\\a\\[Change] <dword:00000001> >dword:00000002<\n"
              "+value HKEY_LOCAL_MACHINE\\software\\a\\[New] >hex:01,ff<\n"
              "-value HKEY_LOCAL_MACHINE\\software\\a\\[Gone] <\"g\">\n"
              "+key HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\B\n"
              "-key HKEY_LOCAL_MACHINE\\SOFTWARE\\Old\n"
              "-value HKEY_LOCAL_MACHINE\\SOFTWARE\\Old\\[@] <\"d\">\n");
}

TEST(Diff, FilesAndFolders) {
    Snapshot a, b;
    a.files = {{"C:\\", std::nullopt},  {"C:\\Temp", std::nullopt}, {"C:\\Temp\\log.txt", "one\n"},
               {"C:\\Temp\\same", "s"}, {"C:\\Temp\\gone", ""},     {"C:\\Temp\\x", "file"}};
    b.files = {{"C:\\", std::nullopt},  {"C:\\TEMP", std::nullopt}, {"C:\\Temp\\log.txt", "one\ntwo\n"},
               {"C:\\Temp\\same", "s"}, {"C:\\Temp\\new", ""},      {"C:\\Temp\\x", std::nullopt}};
    EXPECT_EQ(Describe(Diff(a, b)), "~file C:\\Temp\\log.txt <one\n> >one\ntwo\n<\n"
                                    "+file C:\\Temp\\new\n"
                                    "-file C:\\Temp\\x <file>\n"
                                    "+folder C:\\Temp\\x\n"
                                    "-file C:\\Temp\\gone\n");
}

TEST(RegValues, Formats) {
    EXPECT_EQ(FormatRegValue(Sz("a\"b\\c")), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(FormatRegValue({1, "no terminator"}), "\"no terminator\"");
    // A string with inner terminators only round-trips as hex.
    EXPECT_EQ(FormatRegValue({1, std::string("a\0b\0", 4)}), "hex(1):61,00,62,00");
    EXPECT_EQ(FormatRegValue({4, std::string("\x2a\0\0\0", 4)}), "dword:0000002a");
    EXPECT_EQ(FormatRegValue({4, "\x2a"}), "hex(4):2a");
    EXPECT_EQ(FormatRegValue({2, std::string("%T%\0", 4)}), "hex(2):25,54,25,00");
    EXPECT_EQ(PlainRegValue({2, std::string("%T%\0", 4)}), "%T%");
    EXPECT_EQ(PlainRegValue({7, std::string("a\0bc\0\0", 6)}), "a\nbc");
    EXPECT_EQ(PlainRegValue({4, std::string("\xff\xff\xff\xff", 4)}), "dword:ffffffff");
    EXPECT_EQ(RegTypeName(7), "REG_MULTI_SZ");
    EXPECT_EQ(RegTypeName(99), "REG_99");
}

TEST(Report, LogicalKeys) {
    EXPECT_EQ(LogicalKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Corvane"),
              std::make_pair(true, std::string("HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane")));
    EXPECT_EQ(LogicalKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432NodeX"),
              std::make_pair(false, std::string("HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432NodeX")));
}

TEST(Report, TextAndJson) {
    RunResult r;
    ActionRun a;
    a.name = "iwiX";
    a.mode = Mode::Deferred;
    a.ran = true;
    a.status = 1603;
    a.leaked = {2, 0, 1, 1};
    a.trace = {"10:00:00 HXCA iwiX info: ***bad"};
    a.messages = {{0x01000000, "oops"}};
    r.actions.push_back(a);
    ActionRun missing;
    missing.name = "nope";
    missing.error = "the library has no export 'nope'";
    r.actions.push_back(missing);
    Snapshot before;
    before.files["C:\\t.log"] = "l1\n";
    r.after.files["C:\\t.log"] = "l1\nl2\n";
    r.after.files["C:\\bin"] = std::string("\0\1", 2);
    r.after.registry["HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\K"] = {{"V", Sz("v")}};
    r.changes = Diff(before, r.after);
    r.events.push_back({"iwiX", "messagebox", "Debug: Pause"});
    CheckResult check{3, {"property A: expected 'x', got (not set)"}};

    std::ostringstream text;
    for (const auto& run : r.actions)
        PrintAction(text, run);
    PrintSummary(text, r, check);
    std::string t = text.str();
    EXPECT_NE(t.find("== iwiX (deferred)\n10:00:00 HXCA iwiX info: ***bad\n[ERROR] oops\n-> status 1603 (2 "
                     "installer handles, 1 registry key, 1 module left open)\n"),
              std::string::npos);
    EXPECT_NE(t.find("-> not run: the library has no export 'nope'"), std::string::npos);
    EXPECT_NE(t.find("Registry (32-bit view)\n  + [HKEY_LOCAL_MACHINE\\SOFTWARE\\K]\n"
                     "  + HKEY_LOCAL_MACHINE\\SOFTWARE\\K\\[V] = \"v\"\n"),
              std::string::npos);
    EXPECT_NE(t.find("  ~ C:\\t.log (3 -> 6 bytes), appended:\n      | l2\n"), std::string::npos);
    EXPECT_NE(t.find("  + C:\\bin (2 bytes)\n      (binary)\n"), std::string::npos);
    EXPECT_NE(t.find("  iwiX: messagebox: Debug: Pause"), std::string::npos);
    EXPECT_NE(t.find("== Expectations: 1 of 3 failed\n  FAIL property A"), std::string::npos);

    auto doc = nlohmann::json::parse(ReportJson(r, check));
    EXPECT_EQ(doc["actions"][0]["status"], 1603);
    EXPECT_EQ(doc["actions"][0]["leakedHandles"]["installer"], 2);
    EXPECT_EQ(doc["actions"][0]["leakedHandles"]["kernel"], 0);
    EXPECT_EQ(doc["actions"][0]["leakedHandles"]["registry"], 1);
    EXPECT_EQ(doc["actions"][0]["leakedHandles"]["modules"], 1);
    EXPECT_EQ(doc["actions"][0]["messages"][0]["type"], "ERROR");
    EXPECT_FALSE(doc["actions"][1]["ran"].get<bool>());
    EXPECT_EQ(doc["expect"]["failures"].size(), 1u);
    bool sawBinary = false, sawValue = false;
    for (const auto& c : doc["changes"]) {
        if (c.value("name", "") == "C:\\bin") {
            sawBinary = true;
            EXPECT_EQ(c["afterSize"], 2);
            EXPECT_FALSE(c.contains("after"));
        }
        if (c["category"] == "value") {
            sawValue = true;
            EXPECT_EQ(c["view"], "32");
            EXPECT_EQ(c["key"], "HKEY_LOCAL_MACHINE\\SOFTWARE\\K");
            EXPECT_EQ(c["value"], "V");
            EXPECT_EQ(c["after"], "\"v\"");
        }
    }
    EXPECT_TRUE(sawBinary && sawValue);
}
