// hxca log on real logs of Wine's msiexec and of the runner, whole and damaged.
#include "logreport.h"
#include "logtest.h"

#include <nlohmann/json.hpp>

#include <random>
#include <regex>
#include <sstream>

using namespace hxca;
using namespace hxca::test;
using json = nlohmann::json;

namespace {

std::string Data(const std::string& name) {
    return std::string(HXCA_LOG_DATA) + "/" + name;
}

struct Outcome {
    int code = -1;
    std::string out, err;
    json doc;
};

Outcome RunLogArgs(const std::vector<std::string>& args) {
    Outcome o;
    std::ostringstream out, err;
    o.code = RunLog(ParseLogArgs(args), out, err);
    o.out = out.str();
    o.err = err.str();
    if (std::find(args.begin(), args.end(), "--json") != args.end() && !o.out.empty())
        o.doc = json::parse(o.out);
    return o;
}

const json& OnlyFile(const Outcome& o) {
    return o.doc.at("files").at(0);
}

std::string Replace(std::string s, const std::string& from, const std::string& to) {
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
    return s;
}

// The fields of the runs that say what happened, for comparing two readings of one installation.
std::string RunsOf(const json& file) {
    std::string out;
    for (const json& r : file.at("actions"))
        out += r.at("action").get<std::string>() + " " + r.at("mode").get<std::string>() + " " +
               r.at("status").dump() + " " + std::to_string(r.at("lines").get<int>()) + " " +
               r.value("handedTo", "") + " " + std::to_string(r.at("secondCopyLines").get<int>()) + "\n";
    return out;
}

} // namespace

TEST(LogCli, ImmediateFailureUnderWine) {
    Outcome o = RunLogArgs({Data("wine-immediate-error.log"), "--json"});
    EXPECT_EQ(o.code, 1);
    const json& f = OnlyFile(o);
    EXPECT_EQ(f.at("run").at("properties").at("UILevel").at("value"), "2");
    EXPECT_EQ(f.at("run").at("properties").at("Installed"), nullptr);
    EXPECT_TRUE(f.at("run").at("result").at("failed").get<bool>());
    ASSERT_EQ(f.at("actions").size(), 1u);
    const json& r = f.at("actions").at(0);
    EXPECT_EQ(r.at("action"), "iwiERROR");
    EXPECT_EQ(r.at("mode"), "immediate");
    EXPECT_EQ(r.at("status"), 1603);
    EXPECT_EQ(r.at("engineValue"), 0);
    EXPECT_EQ(r.at("firstError").at("text"), "***Returning an error to provoke a rollback");
    EXPECT_EQ(f.at("unattributed").at("count"), 0);

    const json& d = f.at("details").at(0);
    EXPECT_EQ(d.at("before").back().at("text"), "Action start 1:48:14: iwiERROR.");
    EXPECT_EQ(d.at("after").at(0).at("text"), "Action ended 1:48:14: iwiERROR. Return value 0.");
    EXPECT_EQ(d.at("lines").size(), r.at("lines").get<size_t>());
    int marked = 0;
    for (const json& l : d.at("lines"))
        marked += l.at("mark") == "!";
    EXPECT_EQ(marked, 3) << "the error line and its two banner lines";
    bool readUiLevel = false;
    for (const json& p : d.at("propertiesRead"))
        readUiLevel |=
            p.at("name") == "UILevel" && p.at("value") == "2" && p.at("source") == "property table";
    EXPECT_TRUE(readUiLevel);

    // The text report says the same.
    Outcome text = RunLogArgs({Data("wine-immediate-error.log")});
    EXPECT_TRUE(std::regex_search(
        text.out, std::regex(R"(\n  1 +01:48:14 +iwiERROR +immediate +1603 +rv 0 +14 +\*\*\*Returning)")))
        << text.out;
    EXPECT_NE(text.out.find("== First failing action: #1 iwiERROR (immediate)"), std::string::npos);
}

TEST(LogCli, DeferredFailureAndRollbackAfterTheEnd) {
    Outcome o = RunLogArgs({Data("wine-deferred-rollback.log"), "--json"});
    EXPECT_EQ(o.code, 1);
    const json& f = OnlyFile(o);
    EXPECT_EQ(RunsOf(f), "iwiERROR deferred 1603 17  0\niwiPause rollback 0 13  0\n");
    EXPECT_EQ(f.at("actions").at(0).at("engineAction"), "iwiERRORDeferred");
    EXPECT_EQ(f.at("actions").at(1).at("engineAction"), "iwiPauseRollback");
    EXPECT_EQ(f.at("firstFailing"), 1);
    EXPECT_NE(
        f.at("run").at("result").at("text").get<std::string>().find("INSTALL ended with return value 0"),
        std::string::npos);
}

TEST(LogCli, OneHandOverReadFromTheUnicodeLogAndFromTheTraceFile) {
    Outcome log = RunLogArgs({Data("wine-handover-utf16.log"), "--json"});
    Outcome trace = RunLogArgs({Data("handover-trace.txt"), "--json"});
    const json& l = OnlyFile(log);
    EXPECT_NE(l.at("format").get<std::string>().find("UTF-16LE with BOM"), std::string::npos);
    EXPECT_EQ(
        RunsOf(l),
        "iwiERROR immediate 1603 21 C:\\zebtest\\second_copy_takes_the_call\\second\\zebiwicn.dll 12\n");
    EXPECT_EQ(RunsOf(OnlyFile(trace)), RunsOf(l));
    EXPECT_EQ(OnlyFile(trace).at("format").get<std::string>().substr(0, 10), "trace file");
    int second = 0;
    for (const json& line : l.at("details").at(0).at("lines"))
        second += line.at("mark").get<std::string>().substr(0, 1) == "2";
    EXPECT_EQ(second, 12) << "from its banner to its return";
}

TEST(LogCli, CancelAndAFramelessAction) {
    const json f = OnlyFile(RunLogArgs({Data("wine-cancel.log"), "--json"}));
    EXPECT_EQ(RunsOf(f), "iwiCancel ? null 1  0\niwiPause immediate 1602 8  0\n");
    EXPECT_EQ(f.at("firstFailing"), 2);
    EXPECT_FALSE(f.at("actions").at(0).at("banner").get<bool>());
}

TEST(LogCli, RunnerOutputAgreesWithItsOwnStatuses) {
    const json f = OnlyFile(RunLogArgs({Data("runner-first-install.txt"), "--json"}));
    ASSERT_EQ(f.at("actions").size(), 5u);
    for (const json& r : f.at("actions")) {
        ASSERT_FALSE(r.at("engineCode").is_null()) << r;
        if (!r.at("status").is_null()) {
            EXPECT_EQ(r.at("status"), r.at("engineCode")) << r;
        }
    }
    EXPECT_EQ(f.at("actions").at(2).at("mode"), "deferred");
    EXPECT_EQ(f.at("actions").at(0).at("engineAction"), "test");
    EXPECT_EQ(f.at("actions").at(0).at("action"), "Test CA");
}

TEST(LogCli, DamagedInputGetsAClearAnswer) {
    TempDir dir;
    const std::string log = ReadFile(Data("wine-deferred-rollback.log"));
    const json whole = OnlyFile(RunLogArgs({Data("wine-deferred-rollback.log"), "--json"}));

    Outcome empty = RunLogArgs({dir.Write("empty.log", "")});
    EXPECT_EQ(empty.code, 2);
    EXPECT_NE(empty.err.find("empty file"), std::string::npos);

    std::mt19937 rng(7);
    std::string garbage(64 * 1024, '\0');
    for (char& c : garbage)
        c = static_cast<char>(rng());
    Outcome binary = RunLogArgs({dir.Write("garbage.bin", garbage)});
    EXPECT_EQ(binary.code, 2);
    EXPECT_NE(binary.err.find("binary data"), std::string::npos) << binary.err;

    // Cut in the middle of the failing action's error line.
    size_t at = log.find("***Returning an error") + 12;
    Outcome cut = RunLogArgs({dir.Write("cut.log", log.substr(0, at)), "--json"});
    const json& c = OnlyFile(cut);
    EXPECT_TRUE(c.at("endsMidLine").get<bool>());
    ASSERT_EQ(c.at("actions").size(), 1u);
    EXPECT_TRUE(c.at("actions").at(0).at("status").is_null());
    EXPECT_EQ(c.at("actions").at(0).at("firstError").at("text"), "***Returning");
    EXPECT_EQ(cut.code, 0) << "nothing in what is left failed";
    Outcome cutText = RunLogArgs({dir.Write("cut2.log", log.substr(0, at))});
    EXPECT_NE(cutText.out.find("The file ends in the middle of line"), std::string::npos);

    // Binary data in the middle and a line far too long: the runs are those of the whole log.
    size_t mid = log.find("Action 1:48:15: iwiERRORDeferred.");
    std::string spoilt = log.substr(0, mid) + garbage.substr(0, 4096) + "\n" + std::string(3 << 20, 'x') +
                         "\n" + log.substr(mid);
    const json s = OnlyFile(RunLogArgs({dir.Write("spoilt.log", spoilt), "--json"}));
    EXPECT_EQ(RunsOf(s), RunsOf(whole));
    EXPECT_GT(s.at("damaged").at("count").get<int>(), 1);
    EXPECT_EQ(s.at("unattributed").at("count"), 0);
}

TEST(LogCli, ChosenActions) {
    Outcome o = RunLogArgs({Data("wine-deferred-rollback.log"), "--action", "iwiPauseRollback", "--json"});
    const json& d = OnlyFile(o).at("details");
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d.at(0).at("run"), 2);
    Outcome none = RunLogArgs({Data("wine-deferred-rollback.log"), "--action", "iwiNothing"});
    EXPECT_EQ(none.code, 2);
    EXPECT_NE(none.out.find("No run of action 'iwiNothing'"), std::string::npos);
}

TEST(LogCli, DiffOfTheEngineAndTheSimulatedMachine) {
    Outcome o = RunLogArgs(
        {Data("wine-immediate-error.log"), "--diff", Data("runner-immediate-error.txt"), "--json"});
    EXPECT_EQ(o.code, 1);
    ASSERT_EQ(o.doc.at("runs").size(), 1u);
    const json& r = o.doc.at("runs").at(0);
    EXPECT_EQ(r.at("result"), "differs");
    std::vector<std::string> changes;
    for (const json& c : r.at("changes"))
        changes.push_back(c.at("side").get<std::string>() + " " + c.at("text").get<std::string>());
    EXPECT_EQ(changes, (std::vector<std::string>{"a HXCA (CaProlog) info: MSIRUNMODE_LOGENABLED",
                                                 "a HXCA (CaProlog) info: MSIRUNMODE_ROLLBACKENABLED"}));
}

TEST(LogCli, DiffGivesARunWithoutItsModeTheOtherLogsMode) {
    TempDir dir;
    // The simulated run's trace lines alone: no header says iwiERROR ran immediate.
    std::istringstream runner(ReadFile(Data("runner-immediate-error.txt")));
    std::string trace;
    for (std::string line; std::getline(runner, line);)
        if (line.find(" HXCA ") != std::string::npos)
            trace += line + "\n";
    Outcome o =
        RunLogArgs({Data("wine-immediate-error.log"), "--diff", dir.Write("trace.log", trace), "--json"});
    ASSERT_EQ(o.doc.at("runs").size(), 1u) << o.out;
    EXPECT_EQ(o.doc.at("runs").at(0).at("result"), "differs");
}

TEST(LogCli, DiffJsonListsEveryChangedLine) {
    TempDir dir;
    auto trace = [](const char* value) {
        std::string t =
            "01:00:00 HXCA (CaProlog) info: zebiwicn.dll Built on Dec  7 2026 at 01:43:34; version 9\n";
        for (int i = 0; i < 45; ++i)
            t += "01:00:00 HXCA iwiPause info: line " + std::to_string(i) + " " + value + "\n";
        return t;
    };
    const std::string a = dir.Write("a.log", trace("a")), b = dir.Write("b.log", trace("b"));
    Outcome o = RunLogArgs({a, "--diff", b, "--json"});
    size_t changes = 0;
    for (const json& run : o.doc.at("runs"))
        changes += run.contains("changes") ? run.at("changes").size() : 0;
    EXPECT_EQ(changes, 90u) << o.out;
    EXPECT_NE(RunLogArgs({a, "--diff", b}).out.find("... 50 more changed lines"), std::string::npos);
}

TEST(LogCli, DiffIgnoresTimesFoldersAndEncoding) {
    TempDir dir;
    std::string log = ReadFile(Data("wine-handover-utf16.log"));
    // Back to 8-bit text, then another machine: other times, another folder for the second copy.
    std::string ansi;
    for (size_t i = 2; i + 1 < log.size(); i += 2)
        ansi += log[i];
    std::string other = Replace(Replace(Replace(ansi, "01:48:2", "23:59:5"), "1:48:2", "23:59:5"),
                                "C:\\zebtest\\second_copy_takes_the_call\\second", "D:\\Elsewhere\\copy two");
    ASSERT_NE(other, ansi);
    Outcome same = RunLogArgs({Data("wine-handover-utf16.log"), "--diff", dir.Write("other.log", other)});
    EXPECT_EQ(same.code, 0) << same.out;
    EXPECT_NE(same.out.find(
                  "<ZEBEXTCA60000>  A: C:\\zebtest\\second_copy_takes_the_call\\second  B: D:\\Elsewhere"),
              std::string::npos)
        << same.out;

    // A changed value is a difference, and a run only one side has is named.
    std::string changed = Replace(other, "Property 'UILevel' value '2'", "Property 'UILevel' value '5'");
    changed +=
        "01:00:00 HXCA (CaProlog) info: zebiwicn.dll Built on Dec  7 2026 at 01:43:34; version 9, build b\n"
        "01:00:00 HXCA iwiPause info: Returning with rc 0\n";
    Outcome diff = RunLogArgs({Data("wine-handover-utf16.log"), "--diff", dir.Write("changed.log", changed)});
    EXPECT_EQ(diff.code, 1);
    EXPECT_NE(diff.out.find("+ B 48: HXCA iwiERROR(iiiDisplayMsgBox) info: Property 'UILevel' value '5'"),
              std::string::npos)
        << diff.out;
    EXPECT_NE(diff.out.find("+ iwiPause (?): only in B #2"), std::string::npos) << diff.out;
}

TEST(LogCli, Arguments) {
    EXPECT_THROW(ParseLogArgs({}), LogUsageError);
    EXPECT_THROW(ParseLogArgs({"a", "b", "--diff", "c"}), LogUsageError);
    EXPECT_THROW(ParseLogArgs({"a", "--action"}), LogUsageError);
    EXPECT_THROW(ParseLogArgs({"a", "--bogus"}), LogUsageError);
    EXPECT_TRUE(ParseLogArgs({"--help"}).help);
    Outcome missing = RunLogArgs({"/nonexistent/hx.log"});
    EXPECT_EQ(missing.code, 2);
    EXPECT_NE(missing.err.find("/nonexistent/hx.log"), std::string::npos);
}

// Random damage to real logs: never a crash, and every trace line is counted once at most.
TEST(LogCli, RandomDamage) {
    TempDir dir;
    std::mt19937 rng(2026);
    const std::vector<std::string> sources = {"wine-deferred-rollback.log", "wine-handover-utf16.log",
                                              "handover-trace.txt", "runner-first-install.txt"};
    const std::vector<std::string> inserts = {">>",
                                              "\n>>",
                                              "\nAction ended 1:2:3: X. Return value 3.\n",
                                              "\n== x (deferred)\n",
                                              "\n-> status 7\n",
                                              std::string(2, '\0'),
                                              "Invalid depth count entering 'a' from 'b': 0",
                                              "Executing 'x(y)'"};
    for (int round = 0; round < 60; ++round) {
        std::string data = ReadFile(Data(sources[rng() % sources.size()]));
        for (int k = 0, n = 1 + static_cast<int>(rng() % 12); k < n && !data.empty(); ++k) {
            size_t at = rng() % data.size();
            switch (rng() % 5) {
            case 0:
                data[at] = static_cast<char>(rng());
                break;
            case 1:
                data.insert(at, inserts[rng() % inserts.size()]);
                break;
            case 2:
                data.resize(at);
                break;
            case 3:
                data.insert(at, data.substr(rng() % data.size(), rng() % 2000));
                break;
            default:
                data.erase(at, rng() % 200);
            }
        }
        std::string path = dir.Write("damaged.log", data);
        Outcome o = RunLogArgs({path});
        EXPECT_TRUE(o.code == 0 || o.code == 1 || (o.code == 2 && !o.err.empty())) << round;
        LogSummary s;
        std::string error;
        if (!ParseLogFile(path, s, error))
            continue;
        uint64_t attributed = 0;
        for (const ActionRunInfo& r : s.runs) {
            attributed += r.lines;
            EXPECT_LE(r.firstLine, r.lastLine) << round;
            EXPECT_TRUE(!r.status || (r.statusLine >= r.firstLine && r.statusLine <= r.lastLine)) << round;
        }
        EXPECT_LE(attributed + s.unattributed, s.trace + s.merged) << round;
    }
}
