// The frame: registration and depth count, hand-over to a second copy, cancel, generic message.
#include "zebtest.h"

namespace {

using Frame = ZebTest;

TEST_F(Frame, OutermostEntryTracesBannerSessionAndResult) {
    winsim::msi::SetProperty("ProductName", "HX Server");
    winsim::SetUserName("installer");
    winsim::msi::SetMode(MSIRUNMODE_MAINTENANCE, true);
    winsim::msi::SetMode(MSIRUNMODE_LOGENABLED, true);
    EXPECT_EQ(iwiUserExit(h), ZEB_RC_CANCEL);
    std::vector<std::string> texts = Texts();
    ASSERT_GE(texts.size(), 7u);
    EXPECT_EQ(texts[0], ZebBanner());
    EXPECT_EQ(texts[0].rfind("zebiwicn.dll Built on ", 0), 0u);
    EXPECT_EQ(texts[1], "Property 'ProductName' value 'HX Server' from property table");
    EXPECT_EQ(texts[2], "Property 'ZEBEXTCA60000' not defined in property table");
    EXPECT_EQ(texts[3], "User name is 'installer'");
    EXPECT_EQ(texts[4], "MSIRUNMODE_LOGENABLED");
    EXPECT_EQ(texts[5], "MSIRUNMODE_MAINTENANCE");
    EXPECT_EQ(texts.back(), "Returning with rc 1602");
    // Lines before registration name the prolog; the result names the action.
    EXPECT_NE(Lines()[0].find(" HXCA (CaProlog) info: "), std::string::npos);
    EXPECT_NE(Lines()[1].find(" HXCA (CaProlog)(CaProlog) info: "), std::string::npos);
    EXPECT_NE(Lines().back().find(" HXCA iwiUserExit info: "), std::string::npos);
}

TEST_F(Frame, DepthCountNestingAndInvalidCounts) {
    UINT st = 0;
    ASSERT_FALSE(CaProlog(h, &st, "iwiOuter", nullptr));
    ASSERT_FALSE(CaProlog(h, &st, "iwiInner", nullptr));
    EXPECT_EQ(FrameDepth(), 2);
    WriteTrace(nullptr, "inside");
    EXPECT_NE(Lines().back().find("HXCA iwiInner info: inside"), std::string::npos);
    EXPECT_EQ(CaEpilog(h, 0), 0u);
    EXPECT_EQ(CaEpilog(h, 0), 0u);
    EXPECT_EQ(FrameDepth(), 0);
    EXPECT_FALSE(HasTextContaining("Invalid depth count"));

    // The copy stayed loaded: the next top-level call counts as nested with a count of 0.
    ASSERT_FALSE(CaProlog(h, &st, "iwiNext", nullptr));
    EXPECT_TRUE(HasText("Invalid depth count entering 'iwiNext' from 'iwiOuter': 0"));
    EXPECT_EQ(FrameDepth(), 2);
    CaEpilog(h, 0);

    // An epilog without its prolog unbalances a fresh copy; the next outermost entry says so.
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
    CaEpilog(h, 0);
    ASSERT_FALSE(CaProlog(h, &st, "iwiFresh", nullptr));
    EXPECT_TRUE(HasText("Invalid depth count entering 'iwiFresh': -1"));
    EXPECT_EQ(FrameDepth(), 1);
    CaEpilog(h, 0);
}

TEST_F(Frame, ErrorActionShowsGenericMessageOnlyWhenOutermost) {
    winsim::msi::SetProperty("UILevel", "5");
    EXPECT_EQ(iwiERROR(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(TextsInOrder({"***Returning an error to provoke a rollback", "Returning with rc 1603"}));
    ASSERT_EQ(MessageBoxes().size(), 1u);
    EXPECT_NE(MessageBoxes()[0].find("Language DLL has not yet been created, unable to load NLS string."),
              std::string::npos);
    EXPECT_TRUE(
        HasText("HXCA iwiERROR MB *** error: Language DLL has not yet been created, unable to load NLS "
                "string."));

    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
    winsim::msi::ClearMessages();
    UINT st = 0;
    ASSERT_FALSE(CaProlog(h, &st, "iwiOuter", nullptr));
    EXPECT_EQ(iwiERROR(h), ZEB_RC_FAILURE);
    EXPECT_EQ(MessageBoxes().size(), 1u); // none added by the nested failure
    // The outer action failing too shows it once.
    EXPECT_EQ(CaEpilog(h, ZEB_RC_FAILURE), ZEB_RC_FAILURE);
    EXPECT_EQ(MessageBoxes().size(), 2u);
}

TEST_F(Frame, SilentRunTracesMessageWithoutBox) {
    winsim::msi::SetProperty("UILevel", "2");
    EXPECT_EQ(iwiERROR(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(MessageBoxes().empty());
    EXPECT_TRUE(
        HasText("HXCA iwiERROR MB *** error: Language DLL has not yet been created, unable to load NLS "
                "string."));

    // An error the action showed itself, even unseen, is the only one: no generic message follows.
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
    winsim::msi::ClearMessages();
    UINT st = 0;
    ASSERT_FALSE(CaProlog(h, &st, "iwiOwnError", nullptr));
    EXPECT_EQ(iiiDisplayMsgBox("Own error", MB_ICONERROR), 0);
    EXPECT_EQ(CaEpilog(h, ZEB_RC_FAILURE), ZEB_RC_FAILURE);
    std::vector<std::string> texts = Texts();
    EXPECT_EQ(
        std::count_if(texts.begin(), texts.end(),
                      [](const std::string& t) { return t.find(" MB *** error: ") != std::string::npos; }),
        1);
    EXPECT_TRUE(HasText("HXCA iwiOwnError MB *** error: Own error"));
}

TEST_F(Frame, CancelMarkerTurnsSuccessIntoUserExit) {
    winsim::msi::SetProperty("ZEBTEMP", "C:\\Temp\\");
    EXPECT_EQ(iwiCancel(h), ZEB_RC_CANCEL);
    EXPECT_EQ(File("C:\\Temp\\zebcancl.txt"), "");
    EXPECT_TRUE(IsCancelFlagSet());

    // Another process: a fresh one, which only the marker file tells.
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    winsim::Reset();
    winsim::fs::WriteFile("C:\\Temp\\zebcancl.txt", "");
    winsim::msi::SetProperty("ZEBTEMP", "C:\\Temp");
    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
    h = winsim::msi::SessionHandle();
    EXPECT_FALSE(IsCancelFlagSet());
    UINT st = 0;
    ASSERT_FALSE(CaProlog(h, &st, "iwiWork", nullptr));
    EXPECT_EQ(CaEpilog(h, 0), ZEB_RC_CANCEL);
    EXPECT_TRUE(HasText("Returning with rc 1602"));
    EXPECT_TRUE(IsCancelFlagSet());
    // A failure stays a failure.
    ASSERT_FALSE(CaProlog(h, &st, "iwiWork", nullptr));
    EXPECT_EQ(CaEpilog(h, ZEB_RC_FAILURE), ZEB_RC_FAILURE);
}

TEST_F(Frame, CancelWithoutTempFolderLeavesNoMarker) {
    std::vector<std::string> before = winsim::fs::Tree();
    EXPECT_EQ(iwiCancel(h), ZEB_RC_CANCEL);
    EXPECT_EQ(winsim::fs::Tree(), before);
    EXPECT_TRUE(IsCancelFlagSet());
    EXPECT_NE(Lines()[0].find("HXCA iwiCancel(iwiCancel) info: Property 'ZEBTEMP' not defined"),
              std::string::npos);
}

TEST_F(Frame, UnreadableSessionFailsActionAndKeepsCountBalanced) {
    winsim::msi::SetProperty("ZEBEXTCA60000", std::string(300, 'x'));
    UINT st = 0;
    EXPECT_TRUE(CaProlog(h, &st, "iwiAny", nullptr));
    EXPECT_EQ(st, ZEB_RC_FAILURE);
    EXPECT_EQ(FrameDepth(), 1);
    EXPECT_EQ(CaEpilog(h, st), ZEB_RC_FAILURE);
    EXPECT_EQ(FrameDepth(), 0);
    EXPECT_TRUE(HasText("***msiGetProperty('ZEBEXTCA60000') failed (234)"));
}

TEST_F(Frame, RunModeGuardsInTheirOrder) {
    winsim::msi::SetProperty("iwiGuarded", "");
    winsim::msi::EnterDeferred("iwiGuarded", MSIRUNMODE_ROLLBACK);
    UINT st = 0;
    EXPECT_FALSE(RunModeGuard(h, ZEB_FORBID_DEFERRED, &st));
    EXPECT_EQ(st, ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***CA execute error; run mode must not be 'MSIRUNMODE_ROLLBACK'."));
    st = 0;
    EXPECT_TRUE(RunModeGuard(h, ZEB_FORBID_COMMIT, &st));
    EXPECT_FALSE(RunModeBypass(h, ZEB_FORBID_ROLLBACK));
    EXPECT_EQ(st, 0u);
    EXPECT_TRUE(HasText("CA bypassed; run mode must not be 'MSIRUNMODE_ROLLBACK'."));
}

TEST_F(Frame, MutexFailureRunsLocally) {
    // A second copy is there and would take the call, if the mutex could be made.
    winsim::fs::MapModule("C:\\Ext\\zebiwicn.dll", ZEB_NATIVE_LIBRARY);
    winsim::msi::SetProperty("ZEBEXTCA60000", "C:\\Ext");
    winsim::FailCall("CreateMutexA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(iwiERROR(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(TextsInOrder(
        {"Can't create mutex 5", "***Returning an error to provoke a rollback", "Returning with rc 1603"}));
    EXPECT_FALSE(HasTextContaining("Executing"));
    EXPECT_EQ(winsim::CallCount("LoadLibraryExA"), 0);
    EXPECT_NE(Lines().back().find(" HXCA iwiERROR info: "), std::string::npos);
}

} // namespace
