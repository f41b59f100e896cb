#include "logdiff.h"
#include "logtest.h"

#include <random>

using namespace hxca;
using namespace hxca::test;

TEST(LogNormalise, FoldersByTheirPropertyLongestFirst) {
    Normaliser n;
    n.AddFolder("ProgramFiles64Folder", "C:\\Program Files\\");
    n.AddFolder("INSTALLDIR", "C:\\Program Files\\Corvane\\HX\\");
    n.AddFolder("TempFolder", "C:\\users\\root\\Temp\\");
    n.AddFolder("ZEBTEMP", "C:\\users\\root\\Temp"); // the same folder: the package's name wins
    n.AddFolder("TARGETDIR", "C:\\");                // a root says nothing about the machine
    n.AddFolder("ProductName", "HX");                // no path
    EXPECT_EQ(n.Text("Copy 'C:\\Program Files\\Corvane\\HX\\bin64\\a.exe' from 'C:\\Program Files\\x'"),
              "Copy '<INSTALLDIR>\\bin64\\a.exe' from '<ProgramFiles64Folder>\\x'");
    EXPECT_EQ(n.Text("Allocated 'c:\\USERS\\root\\temp\\zebt0001.log'"),
              "Allocated '<ZEBTEMP>\\zebtXXXX.log'");
    EXPECT_EQ(n.Text("'C:\\users\\root\\Temporary' and C:\\users\\root\\Temp.old"),
              "'C:\\users\\root\\Temporary' and C:\\users\\root\\Temp.old")
        << "only whole folder names";
    EXPECT_EQ(n.Text("'C:\\users\\root\\Temp'."), "'<ZEBTEMP>'.");
    EXPECT_EQ(n.Text("Root C:\\ stays"), "Root C:\\ stays");
    auto used = n.UsedFolders();
    EXPECT_EQ(used.count("<ZEBTEMP>"), 1u);
    EXPECT_EQ(used.count("<TempFolder>"), 0u);
    EXPECT_EQ(used.count("<TARGETDIR>"), 0u);
}

TEST(LogNormalise, FoldersOnlyTheOtherLogNamesTakeTheirNames) {
    LogSummary own, other;
    own.engineProperties["ProgramFiles64Folder"] = "C:\\Program Files\\";
    other.engineProperties["ProgramFiles64Folder"] = "D:\\Apps\\"; // this log's own value stays
    other.engineProperties["CorvaneFolder"] = "C:\\Program Files\\Corvane\\";
    Normaliser n;
    n.Learn(own);
    n.LearnMissing(other, own);
    EXPECT_EQ(n.Text("'C:\\Program Files\\Corvane\\HX' 'C:\\Program Files\\x' 'D:\\Apps\\y'"),
              "'<CorvaneFolder>\\HX' '<ProgramFiles64Folder>\\x' 'D:\\Apps\\y'");
}

TEST(LogNormalise, TimesTemporaryNamesAndTheMachine) {
    Normaliser n;
    EXPECT_EQ(n.Text("Action ended 1:48:14: X. at [10:00:02:001] version 9.4.0.0"),
              "Action ended hh:mm:ss: X. at [hh:mm:ss] version 9.4.0.0");
    EXPECT_EQ(n.Text("zebiwicn.dll Built on Dec  7 2026 at 01:43:34; version 9.4.0.0, build p940"),
              "zebiwicn.dll Built on <date> at hh:mm:ss; version 9.4.0.0, build p940");
    EXPECT_EQ(n.Text("User name is 'root'"), n.Text("User name is 'Administrator'"));
    EXPECT_EQ(n.Text("Property 'ZEBTEMPFILENUM' value set to '00a1'"),
              "Property 'ZEBTEMPFILENUM' value set to 'XXXX'");
    EXPECT_EQ(
        n.Text("zebp0042.txt zebcancl.txt zebilogn.txt xzebt0001.log C:\\Windows\\Installer\\MSI1A2B.tmp"),
        "zebpXXXX.txt zebcancl.txt zebilogn.txt xzebt0001.log C:\\Windows\\Installer\\MSIXXXX.tmp");
    EXPECT_EQ(n.Line("01:48:14 HXCA iwiERROR(iiiIsCancelled) info: x 12:00:00"),
              "HXCA iwiERROR(iiiIsCancelled) info: x hh:mm:ss");
    EXPECT_EQ(n.Line(">>09:00:00 HXCA iwiStartLogs info: y"), ">>HXCA iwiStartLogs info: y");
}

namespace {

size_t Lcs(const std::vector<uint64_t>& a, const std::vector<uint64_t>& b) {
    std::vector<std::vector<size_t>> t(a.size() + 1, std::vector<size_t>(b.size() + 1, 0));
    for (size_t i = 1; i <= a.size(); ++i)
        for (size_t j = 1; j <= b.size(); ++j)
            t[i][j] = a[i - 1] == b[j - 1] ? t[i - 1][j - 1] + 1 : std::max(t[i - 1][j], t[i][j - 1]);
    return t[a.size()][b.size()];
}

// The script must walk both sequences in order; it returns how many lines it keeps.
size_t Replay(const std::vector<DiffOp>& ops, const std::vector<uint64_t>& a,
              const std::vector<uint64_t>& b) {
    size_t i = 0, j = 0, same = 0;
    for (const DiffOp& op : ops) {
        if (op.kind != DiffOp::Added) {
            EXPECT_EQ(op.a, i);
            ++i;
        }
        if (op.kind != DiffOp::Removed) {
            EXPECT_EQ(op.b, j);
            ++j;
        }
        if (op.kind == DiffOp::Same) {
            EXPECT_EQ(a.at(op.a), b.at(op.b));
            ++same;
        }
    }
    EXPECT_EQ(i, a.size());
    EXPECT_EQ(j, b.size());
    return same;
}

} // namespace

TEST(LogDiff, ShortestEditScriptAgainstTheTable) {
    std::mt19937 rng(22);
    for (int round = 0; round < 300; ++round) {
        std::vector<uint64_t> a(rng() % 14), b(rng() % 14);
        for (auto& x : a)
            x = rng() % 4;
        for (auto& x : b)
            x = rng() % 4;
        bool tooMany = true;
        auto ops = DiffSequences(a, b, 100, tooMany);
        EXPECT_FALSE(tooMany);
        EXPECT_EQ(Replay(ops, a, b), Lcs(a, b)) << "round " << round;
    }
}

TEST(LogDiff, TooManyEditsStillDescribeBothSides) {
    std::vector<uint64_t> a = {1, 2, 3, 4, 5, 6, 9}, b = {1, 7, 8, 9};
    bool tooMany = false;
    auto ops = DiffSequences(a, b, 2, tooMany);
    EXPECT_TRUE(tooMany);
    EXPECT_EQ(Replay(ops, a, b), 2u) << "the common ends are kept";
    ops = DiffSequences({}, {}, 0, tooMany);
    EXPECT_TRUE(ops.empty());
    EXPECT_FALSE(tooMany);
}
