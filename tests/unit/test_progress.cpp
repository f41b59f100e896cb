// Progress and action text: what the engine's progress dialog receives, and the cancel paths.
#include "zebtest.h"

namespace {

using Progress = ZebTest;

const int kStart = INSTALLMESSAGE_ACTIONSTART;
const int kData = INSTALLMESSAGE_ACTIONDATA;
const int kProgress = INSTALLMESSAGE_PROGRESS;

// The progress dialog's messages in order, without the trace (INFO) lines.
std::vector<winsim::msi::Message> DialogMessages() {
    std::vector<winsim::msi::Message> out;
    for (const winsim::msi::Message& m : winsim::msi::Messages())
        if (m.type == kStart || m.type == kData || m.type == kProgress)
            out.push_back(m);
    return out;
}

// One letter per message: S action start, D action data, P progress.
std::string Shape(const std::vector<winsim::msi::Message>& messages) {
    std::string out;
    for (const winsim::msi::Message& m : messages)
        out += m.type == kStart ? 'S' : m.type == kData ? 'D' : 'P';
    return out;
}

std::vector<std::string> Fields(const winsim::msi::Message& m) {
    return std::vector<std::string>(m.fields.begin() + 1, m.fields.end());
}

class Wait : public ZebTest {
  protected:
    // ActionWait inside an action, as the stopping actions call it.
    UINT RunWait(int iSteps) {
        UINT st = 0;
        EXPECT_FALSE(CaProlog(h, &st, "iwiStopAllHx", nullptr));
        winsim::msi::ClearMessages();
        UINT uiRc = ActionWait(iSteps);
        messages = DialogMessages();
        CaEpilog(h, uiRc);
        return uiRc;
    }
    std::vector<winsim::msi::Message> messages;
};

TEST_F(Wait, TwentyStepsCountDownTenSeconds) {
    UnpackLanguageLibrary();
    EXPECT_EQ(RunWait(20), ZEB_RC_SUCCESS);
    EXPECT_EQ(winsim::NowMs(), 10000u);
    std::map<unsigned, std::string> table = TableStrings("zebircan");
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(Fields(messages[0]), (std::vector<std::string>{"iwiStopAllHx", table[1146], table[1018]}));
    // The seconds left (steps * 500 ms) are shown when they change: 10 and 9 at steps 20 and 19,
    // then a new value at every odd step down to 0 at step 1; each step advances the bar once.
    std::string expected = "SDPDP";
    for (int i = 0; i < 9; i++)
        expected += "PDP";
    EXPECT_EQ(Shape(messages), expected);
    std::vector<std::string> shown;
    for (const winsim::msi::Message& m : messages) {
        if (m.type == kData)
            shown.push_back(Fields(m).at(0));
        if (m.type == kProgress) {
            EXPECT_EQ(Fields(m), (std::vector<std::string>{"2", "100000", "0"}));
        }
    }
    EXPECT_EQ(shown, (std::vector<std::string>{"10", "9", "8", "7", "6", "5", "4", "3", "2", "1", "0"}));
    EXPECT_FALSE(IsCancelFlagSet());
}

TEST_F(Wait, CancelReplyStopsAtOnce) {
    winsim::msi::ReplyTo(kProgress, 3, IDCANCEL);
    EXPECT_EQ(RunWait(20), ZEB_RC_CANCEL);
    EXPECT_TRUE(IsCancelFlagSet());
    // Two waits done; nothing sent after the answered message, no third wait.
    EXPECT_EQ(winsim::NowMs(), 1000u);
    EXPECT_EQ(Shape(messages), "SDPDPP");
    EXPECT_TRUE(HasText("***MsiProcessMessage('INSTALLMESSAGE_PROGRESS') cancelled (IDCANCEL)"));
}

TEST_F(Wait, CancelReplyToTheCountdownStopsToo) {
    winsim::msi::ReplyTo(kData, 2, IDCANCEL);
    EXPECT_EQ(RunWait(20), ZEB_RC_CANCEL);
    EXPECT_EQ(Shape(messages), "SDPD");
    EXPECT_EQ(winsim::NowMs(), 500u);
}

TEST_F(Wait, FlagSetByAnotherProcessStopsTheWait) {
    winsim::AtTime(4000, [] { winsim::SetCancelFlags(1); });
    EXPECT_EQ(RunWait(20), ZEB_RC_CANCEL);
    EXPECT_EQ(winsim::NowMs(), 4000u);
    // No message was answered with a cancel: the flag alone ended it, after the next message.
    EXPECT_FALSE(HasTextContaining("cancelled (IDCANCEL)"));
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(std::count_if(messages.begin(), messages.end(),
                            [](const winsim::msi::Message& m) { return m.type == kProgress; }),
              9);
}

TEST_F(Wait, WithoutRecordsTheWaitStillTakesItsTime) {
    UINT st = 0;
    ASSERT_FALSE(CaProlog(h, &st, "iwiStopAllHx", nullptr));
    winsim::msi::ClearMessages();
    winsim::FailCall("MsiCreateRecord", ERROR_FUNCTION_FAILED, 1);
    EXPECT_EQ(ActionWait(4), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("***Unable to create record"));
    EXPECT_TRUE(DialogMessages().empty());
    EXPECT_EQ(winsim::NowMs(), 2000u);

    // A flag set meanwhile still ends it.
    winsim::AtTime(winsim::NowMs() + 1000, [] { winsim::SetCancelFlags(1); });
    winsim::FailCall("MsiCreateRecord", ERROR_FUNCTION_FAILED, 2);
    uint64_t started = winsim::NowMs();
    EXPECT_EQ(ActionWait(20), ZEB_RC_CANCEL);
    EXPECT_EQ(winsim::NowMs() - started, 1000u);
    EXPECT_TRUE(DialogMessages().empty());
    CaEpilog(h, 0);
}

TEST_F(Progress, ActionTextAnnouncesTheOuterActionWithTwoStrings) {
    UnpackLanguageLibrary(winsim::fs::MakeStringTable({{1146, "Description"}, {1018, "Left: [1]"}}));
    UINT st = 0;
    ASSERT_FALSE(CaProlog(h, &st, "iwiOuter", nullptr));
    ASSERT_FALSE(CaProlog(h, &st, "iwiNested", nullptr));
    winsim::msi::ClearMessages();
    EXPECT_EQ(iwiLoadActionTextAndData(1146, 1018), ZEB_RC_SUCCESS);
    EXPECT_EQ(LoadActionTextAndData(0, 1018), ZEB_RC_SUCCESS);
    EXPECT_EQ(iwiLoadActionTextAndData(1146, 0), ZEB_RC_SUCCESS);
    std::vector<winsim::msi::Message> m = DialogMessages();
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(Fields(m[0]), (std::vector<std::string>{"iwiOuter", "Description", "Left: [1]"}));
    EXPECT_EQ(Fields(m[1]), (std::vector<std::string>{"iwiOuter", "", "Left: [1]"}));
    EXPECT_EQ(Fields(m[2]), (std::vector<std::string>{"iwiOuter", "Description", ""}));
    // A string the library lacks is an empty field, and traced.
    EXPECT_EQ(iwiLoadActionTextAndData(1147, 1018), ZEB_RC_SUCCESS);
    EXPECT_EQ(Fields(DialogMessages().back())[1], "");
    EXPECT_TRUE(HasText("***iwiLoadNlsString() failed (ID '1147'). (ZEB4701)"));

    winsim::msi::ReplyTo(kStart, 1, IDCANCEL);
    EXPECT_EQ(LoadActionTextAndData(1146, 1018), ZEB_RC_CANCEL);
    EXPECT_TRUE(IsCancelFlagSet());
    CaEpilog(h, 0);
    CaEpilog(h, 0);
}

TEST_F(Progress, BarAndActionDataOnlyDuringTheDeferredScript) {
    winsim::msi::SetProperty("iwiDeferred", "");
    EXPECT_EQ(iwiMoveProgressBar(0, 25), ZEB_RC_SUCCESS);
    EXPECT_EQ(iwiUpdateActionDataField("Copying"), ZEB_RC_SUCCESS);
    EXPECT_TRUE(DialogMessages().empty());
    EXPECT_EQ(winsim::CallCount("MsiCreateRecord"), 0);

    for (int mode : {MSIRUNMODE_SCHEDULED, MSIRUNMODE_ROLLBACK}) {
        winsim::msi::ClearMessages();
        winsim::msi::EnterDeferred("iwiDeferred", mode);
        EXPECT_EQ(iwiMoveProgressBar(0, 25), ZEB_RC_SUCCESS);
        EXPECT_EQ(iwiUpdateActionDataField("Copying"), ZEB_RC_SUCCESS);
        // A record the caller made goes as it is; the ticks are its own.
        MSIHANDLE hRec = MsiCreateRecord(3);
        MsiRecordSetInteger(hRec, 1, 1);
        MsiRecordSetInteger(hRec, 2, 1);
        MsiRecordSetInteger(hRec, 3, 0);
        EXPECT_EQ(iwiMoveProgressBar(hRec, 99), ZEB_RC_SUCCESS);
        MsiCloseHandle(hRec);
        winsim::msi::LeaveDeferred();
        std::vector<winsim::msi::Message> m = DialogMessages();
        if (mode == MSIRUNMODE_ROLLBACK) {
            EXPECT_TRUE(m.empty()); // ROLLBACK without SCHEDULED
            continue;
        }
        ASSERT_EQ(m.size(), 3u);
        EXPECT_EQ(m[0].type, kProgress);
        EXPECT_EQ(Fields(m[0]), (std::vector<std::string>{"2", "25", "0"}));
        EXPECT_EQ(m[1].type, kData);
        EXPECT_EQ(Fields(m[1]), (std::vector<std::string>{"Copying"}));
        EXPECT_EQ(Fields(m[2]), (std::vector<std::string>{"1", "1", "0"}));
    }
}

TEST_F(Progress, DeferredCancelRepliesAndMissingRecords) {
    winsim::msi::SetProperty("iwiDeferred", "");
    winsim::msi::EnterDeferred("iwiDeferred");
    winsim::msi::ReplyTo(kProgress, 1, IDCANCEL);
    EXPECT_EQ(iwiMoveProgressBar(0, 1), ZEB_RC_CANCEL);
    EXPECT_TRUE(IsCancelFlagSet());
    winsim::msi::ReplyTo(kData, 1, IDCANCEL);
    EXPECT_EQ(iwiUpdateActionDataField("x"), ZEB_RC_CANCEL);
    // Other replies are no cancel.
    winsim::msi::ReplyTo(kData, 1, IDABORT);
    EXPECT_EQ(iwiUpdateActionDataField("x"), ZEB_RC_SUCCESS);

    // The record of each fails; that of its trace line does not.
    winsim::msi::ClearMessages();
    winsim::FailCall("MsiCreateRecord", ERROR_FUNCTION_FAILED, 1);
    EXPECT_EQ(iwiMoveProgressBar(0, 1), ZEB_RC_SUCCESS);
    winsim::FailCall("MsiCreateRecord", ERROR_FUNCTION_FAILED, 1);
    EXPECT_EQ(iwiUpdateActionDataField("x"), ZEB_RC_SUCCESS);
    winsim::FailCall("MsiCreateRecord", ERROR_FUNCTION_FAILED, 1);
    EXPECT_EQ(iwiLoadActionTextAndData(1146, 1018), ZEB_RC_SUCCESS);
    winsim::msi::LeaveDeferred();
    EXPECT_TRUE(DialogMessages().empty());
    std::vector<std::string> texts = Texts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "***Unable to create record"), 3);
}

} // namespace
