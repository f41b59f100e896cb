// The sweep's own parts: the invariants of a run, the .def reader, the sample and the fault table.
#include "zebsweep.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <set>

namespace {

using zebsweep::Invariant;

hxca::ActionRun Ran(unsigned status, std::vector<std::string> texts) {
    hxca::ActionRun run;
    run.name = "iwiX";
    run.ran = true;
    run.status = status;
    for (const std::string& t : texts)
        run.trace.push_back("10:00:00 HXCA iwiX info: " + t);
    return run;
}

std::vector<Invariant> BrokenBy(const hxca::ActionRun& run) {
    std::vector<Invariant> out;
    for (const auto& b : zebsweep::CheckRun(run))
        out.push_back(b.invariant);
    return out;
}

const char kGenericBox[] = "HXCA iwiX MB *** error: The installation failed.";

TEST(CheckRun, FailureNeedsAMarkedLineOrAnUnmarkedFailureTextWithTheGenericMessage) {
    EXPECT_TRUE(BrokenBy(Ran(1603, {"***Can't read 'C:\\a'", kGenericBox})).empty());
    EXPECT_TRUE(BrokenBy(Ran(1603, {"Can't open 'C:\\Temp\\v.txt'", kGenericBox})).empty());
    EXPECT_TRUE(BrokenBy(Ran(1603, {"Can't allocate property value list (12)", kGenericBox})).empty());
    EXPECT_TRUE(BrokenBy(Ran(1602, {"Returning with rc 1602"})).empty()) << "a cancel needs no report";
    EXPECT_TRUE(BrokenBy(Ran(0, {})).empty());

    const std::vector<Invariant> silent = {Invariant::silent};
    EXPECT_EQ(BrokenBy(Ran(1603, {kGenericBox, "Returning with rc 1603"})), silent)
        << "the generic message alone says nothing of the cause";
    EXPECT_EQ(BrokenBy(Ran(1603, {"Can't open 'C:\\Temp\\v.txt'"})), silent) << "no message shown either";
    EXPECT_EQ(BrokenBy(Ran(1603, {"Text with ***inside", kGenericBox})), silent);

    // The installer log lost a line: the generic message reports the failure.
    const hxca::ActionRun lostLine = Ran(1603, {kGenericBox, "Returning with rc 1603"});
    for (const char* carrier : {"MsiCreateRecord", "MsiRecordSetStringA", "MsiProcessMessage"})
        EXPECT_TRUE(zebsweep::CheckRun(lostLine, carrier).empty()) << carrier;
    EXPECT_EQ(zebsweep::CheckRun(lostLine, "MsiGetPropertyA").size(), 1u);
    EXPECT_EQ(zebsweep::CheckRun(Ran(1603, {"Returning with rc 1603"}), "MsiProcessMessage").size(), 1u)
        << "not even the generic message";

    // A refusal the action showed itself is its report; the frame's text in another box is not.
    EXPECT_TRUE(BrokenBy(Ran(1603, {"HXCA iwiX MB *** error: Supplied InstallationName 'a' does not match "
                                    "actual name 'A' (ZEB4774)"}))
                    .empty());
    EXPECT_EQ(BrokenBy(Ran(1603, {"HXCA iwiX MB *** error: Language DLL has not yet been created, unable to "
                                  "load NLS string."})),
              silent);

    hxca::ActionRun unprefixed = Ran(1603, {});
    unprefixed.trace = {"***a line without the layout"};
    EXPECT_TRUE(BrokenBy(unprefixed).empty()) << "a line of another layout is its own text";
}

TEST(CheckRun, StatusLeaksAndRunsThatNeverHappened) {
    EXPECT_EQ(BrokenBy(Ran(1627, {"***x"})), std::vector<Invariant>{Invariant::status});
    EXPECT_EQ(BrokenBy(Ran(1604, {})), std::vector<Invariant>{Invariant::status});

    hxca::ActionRun leaky = Ran(1603, {"***x"});
    leaky.leaked = {0, 0, 1, 0};
    auto broken = zebsweep::CheckRun(leaky);
    ASSERT_EQ(broken.size(), 1u);
    EXPECT_EQ(broken[0].invariant, Invariant::leak);
    EXPECT_EQ(broken[0].what, "1 registry key left open");
    leaky.leaked = {0, 0, 0, 2};
    EXPECT_EQ(zebsweep::CheckRun(leaky)[0].what, "2 modules left open");

    hxca::ActionRun missing;
    missing.error = "the library has no export 'iwiX'";
    broken = zebsweep::CheckRun(missing);
    ASSERT_EQ(broken.size(), 1u);
    EXPECT_EQ(broken[0].invariant, Invariant::crash);
    EXPECT_EQ(broken[0].what, "not run: the library has no export 'iwiX'");
}

TEST(TraceText, StripsTheLinePrefixWhateverTheActionName) {
    EXPECT_EQ(zebsweep::TraceText("10:00:00 HXCA Test CA info: ***x"), "***x");
    EXPECT_EQ(zebsweep::TraceText("10:00:00 HXCA iwiX(CaProlog) info: a: b"), "a: b");
    EXPECT_EQ(zebsweep::TraceText("no prefix"), "no prefix");
}

TEST(ReadDefExports, TakesTheExportedNamesOnly) {
    EXPECT_EQ(
        zebsweep::ReadDefExports("LIBRARY zebiwicn\r\nEXPORTS\r\n    test\r\n    iwiERROR @2 ; the second\r\n"
                                 "; iwiCommented\r\n  iwiAlias=iwiInternal\r\n  iwiStd@4 PRIVATE\r\n"
                                 "  test\r\n\r\n"),
        (std::vector<std::string>{"test", "iwiERROR", "iwiAlias", "iwiStd"}));
    EXPECT_TRUE(zebsweep::ReadDefExports("LIBRARY zebiwicn\n").empty()) << "no EXPORTS section";
}

TEST(SampleCases, AFixedSeedPicksAFixedSortedSubset) {
    const std::vector<size_t> all = zebsweep::SampleCases(5, 9, 1);
    EXPECT_EQ(all, (std::vector<size_t>{0, 1, 2, 3, 4})) << "a budget beyond the cases takes them all";

    const std::vector<size_t> a = zebsweep::SampleCases(1000, 100, 7);
    EXPECT_EQ(a, zebsweep::SampleCases(1000, 100, 7));
    EXPECT_NE(a, zebsweep::SampleCases(1000, 100, 8));
    ASSERT_EQ(a.size(), 100u);
    EXPECT_TRUE(std::is_sorted(a.begin(), a.end()));
    EXPECT_EQ(std::set<size_t>(a.begin(), a.end()).size(), 100u);
    EXPECT_LT(a.back(), 1000u);
    EXPECT_GT(a.back(), 500u) << "drawn from the whole range, not its start";
}

TEST(ErrorsFor, ReleasesAreNeverFailedAndEveryOtherFunctionIs) {
    for (const char* release : {"CloseHandle", "RegCloseKey", "MsiCloseHandle", "FreeLibrary", "Sleep"}) {
        EXPECT_TRUE(zebsweep::ErrorsFor(release).errors.empty()) << release;
        EXPECT_FALSE(zebsweep::ErrorsFor(release).note.empty()) << release;
    }
    EXPECT_EQ(zebsweep::ErrorsFor("CreateFileA").errors,
              (std::vector<uint32_t>{ERROR_FILE_NOT_FOUND, ERROR_SHARING_VIOLATION, ERROR_ACCESS_DENIED}));
    EXPECT_EQ(zebsweep::ErrorsFor("MsiGetPropertyA").errors, std::vector<uint32_t>{ERROR_FUNCTION_FAILED});
    EXPECT_EQ(zebsweep::ErrorsFor("MsiGetPropertyA").note, "");
    EXPECT_EQ(zebsweep::ErrorsFor("RegNotifyChangeKeyValue").errors,
              std::vector<uint32_t>{ERROR_ACCESS_DENIED});
    EXPECT_EQ(zebsweep::ErrorsFor("StartServiceA").note, zebsweep::kNotInTable) << "named for the table";
}

} // namespace
