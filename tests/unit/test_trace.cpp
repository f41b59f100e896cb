// Trace writers: line layout, cutting, error banner, targets and the temporary-log rule.
#include "zebtest.h"

namespace {

using Trace = ZebTest;

// The line of the installer log that ends with a text.
std::string LineEndingWith(const std::string& text) {
    for (const std::string& line : winsim::msi::LogLines())
        if (line.size() >= text.size() && line.compare(line.size() - text.size(), text.size(), text) == 0)
            return line;
    return "<no line ends with '" + text + "'>";
}

TEST_F(Trace, LineLayoutNamesActionAndFunction) {
    winsim::SetLocalTime(2026, 3, 4, 7, 8, 9);
    WriteTrace(nullptr, "before %d", 1);
    UINT st = 0;
    ASSERT_FALSE(CaProlog(h, &st, "iwiOuter", nullptr));
    WriteTrace("Fn", "outer %s", "x");
    ASSERT_FALSE(CaProlog(h, &st, "iwiNested", nullptr));
    WriteTraceText("nested", nullptr);
    EXPECT_EQ(LineEndingWith("before 1"), "07:08:09 HXCA (CaProlog) info: before 1");
    EXPECT_EQ(LineEndingWith("outer x"), "07:08:09 HXCA iwiOuter(Fn) info: outer x");
    EXPECT_EQ(LineEndingWith("nested"), "07:08:09 HXCA iwiNested info: nested");
    CaEpilog(h, 0);
    CaEpilog(h, 0);
}

TEST_F(Trace, LongTextCutByFormatWriterButWholeThroughTextWriter) {
    std::string text(600, 'a');
    WriteTrace(nullptr, "%s", text.c_str());
    WriteTraceText(text.c_str(), nullptr);
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), 515u);
    EXPECT_EQ(lines[1].size(), std::string("00:00:00 HXCA (CaProlog) info: ").size() + 600);
}

TEST_F(Trace, ErrorTextGetsBannerOnlyThroughTextWriter) {
    WriteTraceText("***Can't read 'C:\\x.txt'", nullptr);
    WriteTrace(nullptr, "***Can't read '%s'", "C:\\x.txt");
    std::vector<std::string> texts = Texts();
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[0], kBanner1);
    // The second banner line has 14 blanks after the colon.
    EXPECT_NE(Lines()[1].find("info:" + std::string(14, ' ') + "vvvv"), std::string::npos);
    EXPECT_EQ(texts[2], "***Can't read 'C:\\x.txt'");
    EXPECT_EQ(texts[3], "***Can't read 'C:\\x.txt'");
}

TEST_F(Trace, BannerAndErrorLineShareOneTime) {
    winsim::SetLocalTime(2026, 3, 4, 7, 8, 59);
    // The clock moves on while the first banner line is delivered.
    winsim::OnCall("MsiProcessMessage", 1, [] { winsim::Advance(1500); });
    WriteTraceText("***Failed", nullptr);
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 3u);
    for (const std::string& line : lines)
        EXPECT_EQ(line.substr(0, 9), "07:08:59 ") << line;
    WriteTraceText("later", nullptr);
    EXPECT_EQ(Lines().back().substr(0, 9), "07:09:00 ");
}

TEST_F(Trace, WithoutTargetsLinesReachOnlyTheInstallerLog) {
    std::vector<std::string> before = winsim::fs::Tree();
    WriteTrace(nullptr, "hello");
    EXPECT_EQ(Lines().size(), 1u);
    EXPECT_EQ(winsim::fs::Tree(), before);
}

TEST_F(Trace, TargetsAreAppendedLineByLineWithWindowsNewlines) {
    SetProps({{"ZEBUSERTRACEPATH", "  \"C:\\Logs\\trace.txt\"  "},
              {"ZEBUSERLOGPATH", "C:\\Logs\\user.log"},
              {"ZEBTEMPLOGPATH", "C:\\Temp\\zebg0001.txt"}});
    winsim::fs::MakeDirs("C:\\Logs");
    WriteTrace(nullptr, "one");
    // Another process appends between two lines; nothing is lost.
    winsim::fs::AppendFile("C:\\Logs\\trace.txt", "other\r\n");
    WriteTrace(nullptr, "two");
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(File("C:\\Logs\\trace.txt"), lines[0] + "\r\nother\r\n" + lines[1] + "\r\n");
    EXPECT_EQ(File("C:\\Logs\\user.log"), lines[0] + "\r\n" + lines[1] + "\r\n");
    EXPECT_EQ(File("C:\\Temp\\zebg0001.txt"), lines[0] + "\r\n" + lines[1] + "\r\n");
}

TEST_F(Trace, TargetKeptOnceReadAndLockedFileSkippedSilently) {
    winsim::msi::SetProperty("ZEBUSERTRACEPATH", "C:\\Temp\\t.txt");
    WriteTrace(nullptr, "one");
    winsim::msi::SetProperty("ZEBUSERTRACEPATH", "C:\\Temp\\other.txt");
    winsim::fs::Lock("C:\\Temp\\t.txt");
    WriteTrace(nullptr, "lost in the file");
    winsim::fs::Unlock("C:\\Temp\\t.txt");
    WriteTrace(nullptr, "three");
    EXPECT_FALSE(winsim::fs::Exists("C:\\Temp\\other.txt"));
    std::string content = File("C:\\Temp\\t.txt");
    EXPECT_NE(content.find("one"), std::string::npos);
    EXPECT_EQ(content.find("lost"), std::string::npos);
    EXPECT_NE(content.find("three"), std::string::npos);
    EXPECT_EQ(Lines().size(), 3u);
}

TEST_F(Trace, TemporaryLogFollowsDataFolderAndClosedSwitches) {
    SetProps({{"ZEBTEMPLOGPATH", "C:\\Temp\\zebg0001.txt"}, {"ZEBDATFOLDER", "C:\\Data\\"}});
    winsim::fs::MakeDirs("C:\\Data");
    WriteTrace(nullptr, "to temp log");
    SetTempLogClosedSwitch(TRUE);
    WriteTrace(nullptr, "nowhere");
    SetTraceDataFolderSwitch(TRUE);
    WriteTrace(nullptr, "to data folder");
    EXPECT_NE(File("C:\\Temp\\zebg0001.txt").find("to temp log"), std::string::npos);
    EXPECT_EQ(File("C:\\Temp\\zebg0001.txt").find("nowhere"), std::string::npos);
    std::string data = File("C:\\Data\\zebmjpse.txt");
    EXPECT_NE(data.find("to data folder"), std::string::npos);
    EXPECT_EQ(data.find("nowhere"), std::string::npos);
}

TEST_F(Trace, FailedTargetReadLosesLineForFilesOnly) {
    winsim::msi::SetProperty("ZEBUSERTRACEPATH", std::string(300, 'x'));
    EXPECT_EQ(WriteTrace(nullptr, "still logged"), ZEB_RC_FAILURE);
    EXPECT_EQ(Texts(), std::vector<std::string>{"still logged"});
}

TEST_F(Trace, LineTheInstallerLogRefusesStillReachesTheFiles) {
    winsim::msi::SetProperty("ZEBUSERTRACEPATH", "C:\\Temp\\t.txt");
    winsim::FailCall("MsiCreateRecord", ERROR_FUNCTION_FAILED, 1);
    EXPECT_EQ(WriteTrace(nullptr, "***no record"), ZEB_RC_FAILURE);
    winsim::FailCall("MsiRecordSetStringA", ERROR_FUNCTION_FAILED, 2);
    EXPECT_EQ(WriteTrace(nullptr, "***no text"), ZEB_RC_FAILURE);
    EXPECT_TRUE(Lines().empty());
    const std::string file = File("C:\\Temp\\t.txt");
    EXPECT_NE(file.find("HXCA (CaProlog) info: ***no record\r\n"), std::string::npos) << file;
    EXPECT_NE(file.find("HXCA (CaProlog) info: ***no text\r\n"), std::string::npos) << file;
}

TEST_F(Trace, CancelReplyToLineSetsSharedFlag) {
    winsim::msi::ReplyTo(INSTALLMESSAGE_INFO, 1, IDCANCEL);
    EXPECT_EQ(WriteTrace(nullptr, "line"), ZEB_RC_CANCEL);
    EXPECT_TRUE(IsCancelFlagSet());
    UINT st = 0;
    EXPECT_EQ(CheckMsiPmRc("INSTALLMESSAGE_PROGRESS", IDOK, &st), ZEB_RC_SUCCESS);
    EXPECT_EQ(st, 0u);
}

TEST_F(Trace, FormatMessageInsertsAndFailureFallback) {
    char out[ZEB_CCH_MSG];
    EXPECT_TRUE(iwiFormatMsgBuffer(out, "%2 then %1", "a", "b", nullptr, nullptr));
    EXPECT_STREQ(out, "b then a");
    winsim::FailCall("FormatMessageA", ERROR_INSUFFICIENT_BUFFER);
    EXPECT_FALSE(iwiFormatMsgBuffer(out, "text %1", "a", nullptr, nullptr, nullptr));
    EXPECT_STREQ(out, "text %1");
    EXPECT_TRUE(HasText("***Error 122 from FormatMessage(), 'text %1'"));
}

TEST_F(Trace, FormatMessageWithLongInsertsIsCutNotLeftUnfilled) {
    char out[ZEB_CCH_MSG];
    const std::string name(600, 'n');
    EXPECT_TRUE(iwiFormatMsgBuffer(out, "The name '%1' is invalid", name.c_str(), nullptr, nullptr, nullptr));
    EXPECT_EQ(std::string(out), ("The name '" + name).substr(0, ZEB_CCH_MSG - 1));
    EXPECT_FALSE(HasTextContaining("FormatMessage"));
}

} // namespace
