#include "cli.h"
#include "hostfiles.h"
#include "machine.h"
#include "scenario.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <winsim/sim.h>

#include <filesystem>
#include <fstream>

using namespace hxca;

namespace {

std::string ErrorOf(const std::string& json) {
    try {
        ParseScenario(json, "s.json");
    } catch (const ScenarioError& e) {
        return e.what();
    }
    return "";
}

} // namespace

TEST(Scenario, ReadsEverySetting) {
    Scenario s = ParseScenario(R"({
      "description": "d",
      "properties": {"ProductName": "HX", "ZEBTEMP": "C:\\Temp"},
      "uiLevel": 5,
      "modes": ["MAINTENANCE", "MSIRUNMODE_REBOOTATEND", 4],
      "localTime": "2026-03-01 23:59:58",
      "userName": "alice", "computerName": "BOX", "token": "FilteredAdmin",
      "environment": {"TEMP": "C:\\Temp"},
      "drives": {"d": {"type": "cdrom", "label": "MEDIA"}},
      "files": {"C:\\a.txt": "x"},
      "features": {"Server": {"installed": "absent", "action": "local"}},
      "components": {"C1": {"installed": 3}},
      "products": [{"code": "{P}", "upgradeCode": "{U}", "state": 5, "info": {"InstalledProductName": "n"},
                    "features": {"Server": "local"}}],
      "summary": {"9": "{PKG}"},
      "messageBoxReply": "cancel",
      "keepLoaded": true,
      "actions": ["test",
                  {"name": "iwiX", "mode": "deferred", "customActionData": "C:\\p.txt",
                   "properties": {"A": "1", "B": null},
                   "replies": [{"type": "info", "nth": 2, "reply": "cancel"}],
                   "faults": [{"function": "CreateFileA", "error": 5, "match": "zeb"}],
                   "hooks": [{"call": "DeleteFileA", "nth": 2, "lock": "C:\\x"}, {"atMs": 500, "cancel": true}],
                   "messageBoxReply": 7,
                   "expect": {"status": 0, "trace": ["a", {"regex": "^b"}], "noTrace": ["***"]}}]
    })");
    EXPECT_EQ(s.properties.at("ZEBTEMP"), "C:\\Temp");
    EXPECT_EQ(s.uiLevel, 5);
    EXPECT_EQ(s.modes, (std::vector<int>{2, 6, 4}));
    EXPECT_EQ(*s.localTime, (std::vector<int>{2026, 3, 1, 23, 59, 58}));
    EXPECT_EQ(s.token, 1);
    ASSERT_EQ(s.drives.size(), 1u);
    EXPECT_EQ(s.drives[0].letter, 'D');
    EXPECT_EQ(s.drives[0].type, 5u);
    EXPECT_EQ(s.features.at("Server"), std::make_pair(2, 3));
    EXPECT_EQ(s.components.at("C1"), std::make_pair(3, -1));
    EXPECT_EQ(s.products.at(0).features.at("Server"), 3);
    EXPECT_EQ(s.summary.at(9), "{PKG}");
    EXPECT_EQ(s.messageBoxReply, 2);
    EXPECT_TRUE(s.keepLoaded);
    ASSERT_EQ(s.actions.size(), 2u);
    EXPECT_EQ(s.actions[0].name, "test");
    EXPECT_EQ(s.actions[0].mode, Mode::Immediate);
    const ActionStep& a = s.actions[1];
    EXPECT_EQ(a.mode, Mode::Deferred);
    EXPECT_EQ(a.customActionData, "C:\\p.txt");
    EXPECT_EQ(a.properties.at("A"), "1");
    EXPECT_FALSE(a.properties.at("B").has_value());
    EXPECT_EQ(a.replies.at(0).type, 0x04000000);
    EXPECT_EQ(a.replies.at(0).reply, 2);
    EXPECT_EQ(a.faults.at(0).nth, 0);
    EXPECT_EQ(a.faults.at(0).match, "zeb");
    EXPECT_EQ(a.hooks.at(0).op, Hook::Op::Lock);
    EXPECT_EQ(a.hooks.at(1).op, Hook::Op::Cancel);
    EXPECT_EQ(a.hooks.at(1).atMs, 500u);
    EXPECT_EQ(a.messageBoxReply, 7);
    EXPECT_EQ(a.expect.status, 0u);
    EXPECT_TRUE(a.expect.trace[1].regex);
}

TEST(Scenario, ErrorsNameThePlace) {
    EXPECT_NE(ErrorOf("{").find("s.json"), std::string::npos);
    EXPECT_EQ(ErrorOf(R"({"action": []})"), "s.json: unknown key 'action'");
    EXPECT_EQ(ErrorOf(R"({"actions": [{"name": "x", "mode": "later"}]})"),
              "s.json.actions[0].mode: must be immediate, deferred, rollback or commit");
    EXPECT_EQ(
        ErrorOf(R"({"actions": [{"name": "x", "customActionData": "p"}]})"),
        "s.json.actions[0].customActionData: only deferred, rollback and commit runs get CustomActionData");
    EXPECT_EQ(ErrorOf(R"({"localTime": "2026-13-01 00:00:00"})"), "s.json.localTime: is not a valid time");
    EXPECT_EQ(ErrorOf(R"({"modes": ["SCHEDULED"]})"),
              "s.json.modes[0]: deferred modes belong to an action's 'mode'");
    EXPECT_NE(ErrorOf(R"({"modes": ["FAST"]})").find("must be a number or one of ADMIN"), std::string::npos);
    EXPECT_EQ(
        ErrorOf(R"({"expect": {"trace": [{"regex": "("}]}})").rfind("s.json.expect.trace[0].regex: bad", 0),
        0u);
    EXPECT_EQ(ErrorOf(R"({"expect": {"registry": [{"key": "HKXX\\A"}]}})"),
              "s.json.expect.registry[0].key: must begin with HKLM, HKCU, HKCR, HKU or their long names");
    EXPECT_EQ(
        ErrorOf(R"({"actions": [{"name": "x", "hooks": [{"call": "F", "lock": "a", "remove": "b"}]}]})"),
        "s.json.actions[0].hooks[0]: needs exactly one of write, append, remove, lock, unlock, cancel");
    EXPECT_EQ(ErrorOf(R"({"actions": [{"name": "x", "hooks": [{"remove": "b"}]}]})"),
              "s.json.actions[0].hooks[0]: needs either 'call' (a function name) or 'atMs'");
    EXPECT_EQ(ErrorOf(R"({"properties": {"A": 1}})"), "s.json.properties.A: must be a string");
    EXPECT_EQ(ErrorOf(R"({"drives": {"DD": {}}})"), "s.json.drives.DD: must be a drive letter");
    EXPECT_EQ(ErrorOf(R"({"token": 1})"),
              "s.json.token: must be one of elevatedAdmin, filteredAdmin, standardUser, localSystem");
    EXPECT_EQ(ErrorOf(R"({"expect": {"leakedHandles": -1}})"),
              "s.json.expect.leakedHandles: must be a count of handles (0: none left open)");
    EXPECT_EQ(ErrorOf(R"({"summary": {"18446744073709551617": "x"}})"),
              "s.json.summary.18446744073709551617: must be a summary property number");
}

TEST(Scenario, Programs) {
    Scenario s = ParseScenario(R"({"programs": {
      "C:\\HX\\bin64\\endhxm.exe": {"exitCode": 5, "runMs": 1500, "stdout": "o", "stderr": "e"},
      "reg.exe": {"neverEnds": true}, "bad.exe": {"launchError": 193}}})",
                               "s.json");
    ASSERT_EQ(s.programs.size(), 3u);
    EXPECT_EQ(s.programs[0].program, "C:\\HX\\bin64\\endhxm.exe");
    EXPECT_EQ(s.programs[0].exitCode, 5u);
    EXPECT_EQ(s.programs[0].runMs, 1500u);
    EXPECT_EQ(s.programs[0].out + s.programs[0].err, "oe");
    EXPECT_EQ(s.programs[1].program, "reg.exe");
    EXPECT_EQ(s.programs[1].runMs, std::nullopt);
    EXPECT_EQ(s.programs[2].launchError, 193u);
    EXPECT_EQ(s.programs[2].runMs, 0u);

    EXPECT_EQ(ErrorOf(R"({"programs": {"a.exe": {"exit": 1}}})"),
              "s.json.programs.a.exe: unknown key 'exit'");
    EXPECT_EQ(ErrorOf(R"({"programs": {"a.exe": {"runMs": 5, "neverEnds": true}}})"),
              "s.json.programs.a.exe: 'runMs' and 'neverEnds' exclude each other");
    EXPECT_EQ(ErrorOf(R"({"programs": {"a.exe": {"runMs": -1}}})"),
              "s.json.programs.a.exe.runMs: must be 0 to 4294967295 milliseconds");
    try {
        Scenario bad = ParseScenario(R"({"programs": {"Q:\\x.exe": {}}})", "s.json");
        CheckScenarioPaths(bad);
        ADD_FAILURE() << "a program on a missing drive was taken";
    } catch (const ScenarioError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("s.json.programs.Q:\\x.exe: is on drive Q:", 0), 0u)
            << e.what();
    }
}

namespace {

std::string PathErrorOf(const std::string& json, const std::string& dir = "") {
    try {
        Scenario s = ParseScenario(json, "s.json");
        s.dir = dir;
        CheckScenarioPaths(s);
    } catch (const ScenarioError& e) {
        return e.what();
    }
    return "";
}

} // namespace

TEST(Scenario, PathsTheRunWritesAreChecked) {
    EXPECT_EQ(PathErrorOf(R"({"files": {"C:\\Temp\\a.txt": "", "c:/b.txt": ""}})"), "");
    EXPECT_EQ(
        PathErrorOf(R"({"files": {"Q:\\a.txt": "x"}})"),
        "s.json.files.Q:\\a.txt: is on drive Q:, which the machine does not have (add it under 'drives' "
        "or as drives/Q/)");
    EXPECT_EQ(PathErrorOf(R"({"files": {"a.txt": "x"}})"),
              "s.json.files.a.txt: must be a full path such as C:\\Temp\\a.txt");
    EXPECT_EQ(PathErrorOf(R"({"files": {"C:\\Temp\\": "x"}})"),
              "s.json.files.C:\\Temp\\: names a folder, not a file");
    EXPECT_EQ(PathErrorOf(R"({"files": {"C:\\": "x"}})"), "s.json.files.C:\\: names a folder, not a file");
    // A drive comes from the drives block or from a drives/<letter> folder of the scenario.
    EXPECT_EQ(PathErrorOf(R"({"drives": {"q": {"type": "cdrom"}}, "files": {"Q:\\a.txt": "x"}})"), "");
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("hxca_drives_" + std::to_string(::getpid()));
    fs::create_directories(dir / "drives" / "E");
    EXPECT_EQ(PathErrorOf(R"({"files": {"E:\\a.txt": "x"}})", dir.string()), "");
    fs::remove_all(dir);

    // Hooks that need no path, or may name a folder, pass; the third one's path is checked.
    auto withHook = [](const std::string& hook) {
        return PathErrorOf(R"({"actions": ["test", {"name": "x", "hooks": [{"atMs": 1, "lock": "C:\\Temp"},
                           {"atMs": 1, "cancel": true}, {"atMs": 2, )" +
                           hook + "}]}]}");
    };
    EXPECT_EQ(withHook(R"("remove": "C:\\Temp\\")"), "");
    EXPECT_EQ(withHook(R"("write": "Q:\\x.txt")"),
              "s.json.actions[1].hooks[2].write: 'Q:\\x.txt' is on drive Q:, which the machine does not have "
              "(add it under 'drives' or as drives/Q/)");
    EXPECT_EQ(withHook(R"("append": "C:\\Temp\\")"),
              "s.json.actions[1].hooks[2].append: 'C:\\Temp\\' names a folder, not a file");
    EXPECT_EQ(withHook(R"("unlock": "Temp\\x")"),
              "s.json.actions[1].hooks[2].unlock: 'Temp\\x' must be a full path such as C:\\Temp\\a.txt");
}

TEST(Scenario, ExpectBlock) {
    Scenario s = ParseScenario(R"({"expect": {
      "status": {"iwiERROR": 1603},
      "properties": {"A": "x", "B": null, "C": {"regex": "^C:"}},
      "files": {"C:\\a": true, "C:\\b": false, "C:\\c": "text", "C:\\d": {"contains": "zz"}},
      "registry": [{"key": "HKLM\\SOFTWARE\\X\\", "view": "32", "name": "V", "value": "1"},
                   {"key": "HKEY_CURRENT_USER\\K", "exists": false},
                   {"key": "HKLM\\K", "name": "Gone", "value": null}],
      "tempRows": {"Registry": 3}, "leakedHandles": 0}})");
    const Expect& e = s.expect;
    EXPECT_EQ(e.status, (std::vector<std::pair<std::string, unsigned>>{{"iwiERROR", 1603}}));
    ASSERT_EQ(e.properties.size(), 3u);
    EXPECT_EQ(e.properties[0].value, "x");
    EXPECT_FALSE(e.properties[1].value || e.properties[1].match);
    EXPECT_TRUE(e.properties[2].match->regex);
    ASSERT_EQ(e.files.size(), 4u);
    EXPECT_FALSE(e.files[1].exists);
    EXPECT_EQ(e.files[2].content, "text");
    ASSERT_EQ(e.registry.size(), 3u);
    EXPECT_EQ(e.registry[0].key, "HKEY_LOCAL_MACHINE\\SOFTWARE\\X");
    EXPECT_TRUE(e.registry[0].wow32);
    EXPECT_FALSE(e.registry[1].exists);
    EXPECT_FALSE(e.registry[2].exists);
    EXPECT_EQ(e.tempRows, (std::vector<std::pair<std::string, int>>{{"Registry", 3}}));
    EXPECT_EQ(e.leakedHandles, 0);
    EXPECT_FALSE(e.Empty());
    EXPECT_FALSE(ParseScenario(R"({"expect": {"leakedHandles": 0}})").expect.Empty());
    EXPECT_FALSE(ParseScenario(R"({"expect": {"rows": {"ListBox": 1}}})").expect.Empty());
    // Keys are written as elsewhere and kept as physical paths; files as they are.
    Expect removes =
        ParseScenario(R"({"expect": {"engineRemoves": ["hklm\\SOFTWARE\\Wow6432Node\\X", "C:\\a"]}})").expect;
    EXPECT_EQ(removes.engineRemoves,
              (std::vector<std::string>{"HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\X", "C:\\a"}));
    EXPECT_FALSE(removes.Empty());
    EXPECT_THROW(ParseScenario(R"({"expect": {"engineRemoves": ["HKXX\\K"]}})"), ScenarioError);
    EXPECT_THROW(ParseScenario(R"({"expect": {"engineRemoves": "C:\\a"}})"), ScenarioError);
}

TEST(Scenario, TextMatch) {
    TextMatch sub{"a.b", false}, re{"^a.b$", true};
    EXPECT_TRUE(sub.Matches("xa.by"));
    EXPECT_FALSE(sub.Matches("axb"));
    EXPECT_TRUE(re.Matches("axb"));
    EXPECT_FALSE(re.Matches("xaxb"));
}

TEST(Scenario, RegistryPaths) {
    EXPECT_EQ(FullRegistryPath("hklm\\Software\\A"), "HKEY_LOCAL_MACHINE\\Software\\A");
    EXPECT_EQ(FullRegistryPath("HKU"), "HKEY_USERS");
    EXPECT_FALSE(FullRegistryPath("HKLMX\\A"));
    EXPECT_EQ(Wow32Path("HKEY_LOCAL_MACHINE\\Software\\A"), "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\A");
    EXPECT_EQ(Wow32Path("HKEY_LOCAL_MACHINE\\SOFTWARE"), "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node");
    // Already physical, or outside the redirected tree: unchanged.
    EXPECT_EQ(Wow32Path("HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\A"),
              "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\A");
    EXPECT_EQ(Wow32Path("HKEY_LOCAL_MACHINE\\SOFTWAREX\\A"), "HKEY_LOCAL_MACHINE\\SOFTWAREX\\A");
    EXPECT_EQ(Wow32Path("HKEY_CURRENT_USER\\SOFTWARE\\A"), "HKEY_CURRENT_USER\\SOFTWARE\\A");
}

TEST(HostFiles, DecodeText) {
    // regedit's export: UTF-16LE with a byte-order mark, here with an e-acute and a surrogate pair.
    std::string utf16("\xFF\xFE"
                      "W\0i\0\xE9\0\x3D\xD8\x00\xDE\r\0\n\0",
                      16);
    EXPECT_EQ(DecodeText(utf16), "Wi\xC3\xA9\xF0\x9F\x98\x80\r\n");
    EXPECT_EQ(DecodeText("\xEF\xBB\xBFREGEDIT4"), "REGEDIT4");
    EXPECT_EQ(DecodeText("REGEDIT4\r\n"), "REGEDIT4\r\n");
}

TEST(HostFiles, IdtTableName) {
    EXPECT_EQ(IdtTableName("Registry\tRoot\r\ns72\ti2\r\nRegistry\tRegistry\r\nr1\t2\r\n"), "Registry");
    EXPECT_EQ(IdtTableName("Property\tValue\ns72\tl0\nProperty\tProperty\n"), "Property");
    EXPECT_FALSE(IdtTableName("a\tb\ns72\n"));
}

TEST(HostFiles, DriveTreeAndSuffixes) {
    namespace fs = std::filesystem;
    fs::path root = fs::temp_directory_path() / ("hxca_tree_" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "Temp" / "Sub");
    fs::create_directories(root / "Empty");
    std::ofstream(root / "Empty" / ".gitkeep") << "";
    std::ofstream(root / "Temp" / "a.txt") << "a";
    std::ofstream(root / "Temp" / "Sub" / "b.reg") << "b";
    std::ofstream(root / "x.REG") << "x";
    EXPECT_EQ(DriveTree(root.string()),
              (std::vector<std::string>{"Empty\\", "Temp\\", "Temp\\Sub\\", "Temp\\Sub\\b.reg", "Temp\\a.txt",
                                        "x.REG"}));
    EXPECT_EQ(FilesEndingIn(root.string(), ".reg"), (std::vector<std::string>{"x.REG"}));
    EXPECT_TRUE(FilesEndingIn((root / "none").string(), ".reg").empty());
    fs::remove_all(root);
}

TEST(Machine, ASavedMachineIsTheNextScenariosMachine) {
    namespace fs = std::filesystem;
    namespace reg = winsim::reg;
    fs::path dir = fs::temp_directory_path() / ("hxca_saved_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "drives" / "C" / "Stale");
    winsim::Reset();
    winsim::fs::WriteFile("C:\\HX\\bin64\\a.exe", std::string("MZ\0\x90", 4));
    winsim::fs::MakeDirs("C:\\HX\\Empty");
    reg::SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\HX", "Name", "Installation1");
    reg::SetDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\HX", "Id", 2, reg::View::Wow32);
    reg::SetString(HKEY_CURRENT_USER, "Software\\HX", "", "x");
    SaveMachine(dir.string());

    SetUpMachine(LoadScenario(dir.string()), {});
    EXPECT_EQ(winsim::fs::ReadFile("C:\\HX\\bin64\\a.exe"), std::string("MZ\0\x90", 4));
    EXPECT_TRUE(winsim::fs::IsDir("C:\\HX\\Empty"));
    EXPECT_FALSE(winsim::fs::Exists("C:\\Stale")) << "what the folder held before is replaced";
    EXPECT_EQ(reg::GetValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\HX", "Name")->data,
              std::string("Installation1", 14));
    EXPECT_EQ(reg::GetValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\HX", "Id", reg::View::Wow32)->type,
              static_cast<DWORD>(REG_DWORD));
    EXPECT_TRUE(reg::GetValue(HKEY_CURRENT_USER, "Software\\HX", ""));
    fs::remove_all(dir);
}

TEST(Cli, ParseArgs) {
    Options o = ParseArgs({"dir", "--action", "a", "--action", "b", "--mode", "commit", "-p", "X=1=2",
                           "--json", "--keep-loaded", "--library", "lib.so"});
    EXPECT_EQ(o.scenarioDir, "dir");
    EXPECT_EQ(o.actions, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(o.mode, Mode::Commit);
    EXPECT_EQ(o.properties.at("X"), "1=2");
    EXPECT_TRUE(o.json && o.keepLoaded);
    EXPECT_EQ(o.library, "lib.so");
    EXPECT_TRUE(ParseArgs({"--action", "test"}).scenarioDir.empty());
    EXPECT_THROW(ParseArgs({}), UsageError);
    EXPECT_THROW(ParseArgs({"d", "--mode", "deferred"}), UsageError);
    EXPECT_THROW(ParseArgs({"d", "-p", "=v"}), UsageError);
    EXPECT_THROW(ParseArgs({"d", "e"}), UsageError);
    EXPECT_THROW(ParseArgs({"d", "--library"}), UsageError);
    EXPECT_THROW(ParseArgs({"d", "--frob"}), UsageError);
}

TEST(Cli, ChosenActionsTakeTheScenarioSettings) {
    Scenario s = ParseScenario(R"({"actions": [
        {"name": "a", "mode": "deferred", "customActionData": "p", "expect": {"status": 0}}, "b"]})");
    Options o;
    EXPECT_EQ(StepsToRun(s, o).size(), 2u);
    o.actions = {"a", "c"};
    auto steps = StepsToRun(s, o);
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0].mode, Mode::Deferred);
    EXPECT_EQ(steps[0].customActionData, "p");
    EXPECT_FALSE(steps[0].expect.status); // expectations belong to the scenario's own run
    EXPECT_EQ(steps[1].name, "c");
    o.mode = Mode::Rollback;
    EXPECT_EQ(StepsToRun(s, o)[1].mode, Mode::Rollback);
}
