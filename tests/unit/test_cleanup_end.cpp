// End of an installation: temporary files, the dialogs' log merged once, the deferred-property
// file kept only for a full dialog sequence, and the launch after a silent success.
#include "zebiwicnCleanUp.h"
#include "zebiwicnSimpleCA.h"
#include "zebtest.h"

#include <algorithm>

namespace {

namespace fs = winsim::fs;
namespace msi = winsim::msi;

const char kPropertyFile[] = "C:\\Temp\\zebp0001.txt";
const char kUiLog[] = "C:\\Temp\\zebg0001.txt";

class CleanUpEnd : public ZebTest {
  protected:
    void SetUp() override {
        ZebTest::SetUp();
        fs::MakeDirs("C:\\Temp");
        fs::MakeDirs("C:\\HXData");
        SetProps({{"ZEBTEMP", "C:\\Temp"}, {"ZEBTEMPFILENUM", "0001"}, {"ZEBDATFOLDER", "C:\\HXData"}});
        fs::WriteFile(kPropertyFile, "ZEBDATFOLDER=C:\\HXData\r\n");
    }
    static int MergedLines() {
        int n = 0;
        for (const std::string& text : Lines())
            n += text.rfind(">>", 0) == 0;
        return n;
    }
};

TEST_F(CleanUpEnd, SilentSuccessLaunchesAndLeavesNoTemporaryFile) {
    SetProps({{"UILevel", "2"}, {"ZEBPRODUCT", "server"}, {"VersionNT", "603"}, {"ZEBTEMPLOGPATH", kUiLog}});
    fs::WriteFile(kUiLog, "dialogs\r\n");
    EXPECT_EQ(iwiCleanUpSuccess(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(File(kPropertyFile), "<absent>");
    EXPECT_EQ(File(kUiLog), "<absent>");
    EXPECT_TRUE(TextsInOrder({"iwiCleanUp returned 0", "iwiTestAndLaunchConfig returned 0"}));
    EXPECT_FALSE(HasText("iwiUninstallCleanUp returned 0"));
    EXPECT_TRUE(HasText(">>dialogs"));
    EXPECT_FALSE(HasTextContaining("Invalid depth count"));
}

TEST_F(CleanUpEnd, FullDialogsKeepThePropertyFileUnlessRolledBack) {
    msi::SetProperty("UILevel", "5");
    EXPECT_EQ(iwiCleanUpSuccess(h), ZEB_RC_SUCCESS);
    EXPECT_NE(File(kPropertyFile), "<absent>");
    EXPECT_FALSE(HasTextContaining("iwiTestAndLaunchConfig returned"));

    EXPECT_EQ(iwiCleanUp(h), ZEB_RC_SUCCESS);
    EXPECT_NE(File(kPropertyFile), "<absent>");

    EXPECT_EQ(RunDeferred(iwiCleanUp,
                          "ZEBTEMP=C:\\Temp;ZEBTEMPFILENUM=0001;ZEBDATFOLDER=C:\\HXData;UILevel=5;",
                          MSIRUNMODE_ROLLBACK),
              ZEB_RC_SUCCESS);
    EXPECT_EQ(File(kPropertyFile), "<absent>");
}

TEST_F(CleanUpEnd, RemovalRunsTheUninstallCleanUpAndNoLaunch) {
    SetProps({{"UILevel", ""}, {"ZEBREMOVE", "1"}, {"ZEBPGMFOLDER", "C:\\HX\\"}});
    EXPECT_EQ(iwiCleanUpSuccess(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("iwiUninstallCleanUp returned 0"));
    EXPECT_FALSE(HasTextContaining("iwiTestAndLaunchConfig returned"));
    EXPECT_EQ(File(kPropertyFile), "<absent>"); // empty UILevel is 0
}

TEST_F(CleanUpEnd, DialogLogMergesOnceAndTheMergeEnds) {
    SetProps({{"UILevel", "5"}, {"ZEBKEEPTEMPLOG", "1"}, {"ZEBTEMPLOGPATH", kUiLog}});
    fs::WriteFile(kUiLog, "one\r\ntwo\r\nthree\r\n");
    EXPECT_EQ(iwiCleanUp(h), ZEB_RC_SUCCESS);
    // DeleteTempFiles merges it; the explicit end of the log finds it merged already. Each line of
    // the kept file was merged exactly once: nothing was appended while or after it was read.
    std::string kept = File(kUiLog);
    ASSERT_EQ(kept.rfind("one\r\ntwo\r\nthree\r\n", 0), 0u);
    EXPECT_EQ(MergedLines(), std::count(kept.begin(), kept.end(), '\n'));
    EXPECT_TRUE(HasText("Temporary log file 'C:\\Temp\\zebg0001.txt' already merged"));

    EXPECT_EQ(iwiUninstallCleanUp(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(File(kUiLog), kept);
}

TEST_F(CleanUpEnd, FailedReadEndsWith1603AndClosesTheLog) {
    SetProps({{"UILevel", "2"}, {"ZEBTEMPLOGPATH", kUiLog}});
    winsim::FailCall("MsiGetPropertyA", ERROR_INVALID_HANDLE, 0, "UILevel");
    EXPECT_EQ(iwiCleanUp(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasTextContaining("UILevel"));
    std::string before = File(kUiLog);
    iwiUninstallCleanUp(h);
    EXPECT_EQ(File(kUiLog), before);

    winsim::FailCall("MsiGetPropertyA", ERROR_INVALID_HANDLE, 0, "ZEBPGMFOLDER");
    EXPECT_EQ(iwiUninstallCleanUp(h), ZEB_RC_FAILURE);
}

TEST_F(CleanUpEnd, FinalRemovesEverythingOnlyBeforeTheMachineChanged) {
    const char* family[] = {"C:\\Temp\\zebcancl.txt", "C:\\Temp\\zebreboot.txt",  "C:\\Temp\\zebt0001.txt",
                            "C:\\Temp\\zebs0001.txt", "C:\\HXData\\zebilogn.txt", "C:\\Temp\\zebl0001.dll"};
    for (const char* path : family)
        fs::WriteFile(path, "x");
    msi::SetProperty("UpdateStarted", "1");
    // The cancel marker makes the frame report the run's cancel.
    EXPECT_EQ(iwiCleanUpFinal(h), ZEB_RC_CANCEL);
    EXPECT_EQ(File(kPropertyFile), "<absent>");
    for (const char* path : family)
        EXPECT_EQ(File(path), "x") << path;

    msi::SetProperty("UpdateStarted", "");
    EXPECT_EQ(iwiCleanUpFinal(h), ZEB_RC_CANCEL);
    for (const char* path : family)
        EXPECT_EQ(File(path), "<absent>") << path;
}

} // namespace
