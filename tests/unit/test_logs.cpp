// Logs and language: the installation language and its library, the user trace files, the dialogs'
// temporary log and its merge, the log folder that follows the data folder, and the removal of the
// temporary files.
#include "zebiwicnPrereq.h"
#include "zebiwicnSimpleCA.h"
#include "zebtest.h"

namespace {

namespace fs = winsim::fs;
namespace msi = winsim::msi;

const char kUiTextHeader[] = "Key\tText\ns72\tL255\nUIText\tKey\n";

class Logs : public ZebTest {
  protected:
    void SetUp() override {
        ZebTest::SetUp();
        fs::MakeDirs("C:\\Temp");
        SetProps({{"TempFolder", "C:\\Temp\\"}, {"SystemLanguageID", "1033"}});
    }
    static void UiLanguage(const std::string& letter) {
        Tables(std::string(kUiTextHeader) + "ZEB__other\tx\nZEB__setup_language\t" + letter + "\n");
    }
    static void LanguageBinary(const std::string& name) {
        msi::DefineStandardTable("Binary");
        msi::AddRow("Binary", {msi::Field::str(name), msi::Field::stream(BuiltLanguageLibrary())});
    }
    static int MergedLines() {
        int n = 0;
        for (const std::string& line : Lines())
            n += line.rfind(">>", 0) == 0;
        return n;
    }
};

// ---- Language -------------------------------------------------------------------------------------

TEST_F(Logs, SystemLanguageLetters) {
    UiLanguage("a");
    const struct {
        const char* id;
        const char* letter;
    } cases[] = {{"3082", "s"}, {"20490", "s"}, {"1032", "a"}, {"1053", "a"}, {"2052", "z"}, {"", "a"}};
    for (const auto& c : cases) {
        msi::SetProperty("SystemLanguageID", c.id);
        EXPECT_EQ(iwiStartLogs(h), ZEB_RC_SUCCESS) << c.id;
        EXPECT_EQ(Prop("ZEBSYSTEMLANGUAGECODE"), c.letter) << c.id;
    }
}

TEST_F(Logs, TransformLetterIsLowerCasedAndItsLibraryUnpacked) {
    UiLanguage("G");
    LanguageBinary("zebircgn.dll");
    EXPECT_EQ(iwiStartLogs(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Props({"ZEBLANGUAGECODE", "ZEBLANGUAGE", "ZEBLANGDLLCREATED"}),
              (std::vector<std::string>{"g", "German", "1"}));
    EXPECT_TRUE(
        TextsInOrder({"UI text key 'ZEB__setup_language': 'G'", "Unpacking binary Name: 'zebircgn.dll'",
                      "successfully created language DLL."}));
    EXPECT_EQ(File("C:\\Temp\\zebl0001.dll"), BuiltLanguageLibrary());
}

TEST_F(Logs, UnknownLetterFallsBackToEnglish) {
    UiLanguage("x");
    LanguageBinary("zebircgn.dll");
    EXPECT_EQ(iwiStartLogs(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("Unknown language code 'x'; using English"));
    EXPECT_EQ(Prop("ZEBLANGUAGECODE"), "a");
    EXPECT_EQ(Prop("ZEBLANGUAGE"), "English");
    EXPECT_TRUE(HasText("***Can't find binary Name: 'zebircan.dll'"));
    EXPECT_EQ(Prop("ZEBLANGDLLCREATED"), "");
}

// Without the transform's row the message comes in the system's language, then the run ends.
TEST_F(Logs, MissingOrEmptyTransformRowStopsWith2031) {
    Tables(std::string(kUiTextHeader) + "ZEB__other\tx\n");
    msi::SetProperty("SystemLanguageID", "1031");
    LanguageBinary("zebircgn.dll");
    EXPECT_EQ(iwiStartLogs(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(
        HasText("***Can't find key 'ZEB__setup_language' in UIText table. No UI language transform."));
    EXPECT_EQ(Prop("ZEBLANGUAGECODE"), "g");
    ASSERT_EQ(MessageBoxes().size(), 1u);
    EXPECT_NE(MessageBoxes()[0].find(TableStrings("zebircan").at(2031)), std::string::npos);
    EXPECT_EQ(Prop("ZEBUSERTRACEPATH"), ""); // the files are not chosen

    UiLanguage("");
    EXPECT_EQ(iwiStartLogs(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***No UI language transform found."));
}

TEST_F(Logs, RefusedInTheScript) {
    UiLanguage("a");
    EXPECT_EQ(RunDeferred(iwiStartLogs, "ProductName=HX;"), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***CA execute error; run mode must not be 'MSIRUNMODE_SCHEDULED'."));
    EXPECT_EQ(Prop("ZEBLANGUAGECODE"), "");
}

// ---- User trace and log files ---------------------------------------------------------------------

TEST_F(Logs, TraceAndLogFilesFromTheirSettings) {
    UiLanguage("a");
    SetProps({{"INSTALLTRACE", "  NoNe \r\nX=1"}, {"INSTALLLOG", ""}});
    EXPECT_EQ(iwiStartLogs(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBUSERTRACEPATH"), "");
    EXPECT_EQ(Prop("ZEBUSERLOGPATH"), "C:\\Temp\\zebl0001.log");
    // The next lines go to the log file chosen.
    EXPECT_NE(File("C:\\Temp\\zebl0001.log").find("Returning with rc 0"), std::string::npos);
}

TEST_F(Logs, GivenTracePathIsTriedThenUsed) {
    UiLanguage("a");
    fs::MakeDirs("C:\\Logs");
    msi::SetProperty("INSTALLTRACE", " C:\\Logs\\hx.trc ");
    EXPECT_EQ(iwiStartLogs(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBUSERTRACEPATH"), "C:\\Logs\\hx.trc");
    EXPECT_TRUE(HasText("Allocated 'C:\\Logs\\hx.trc'"));
    EXPECT_NE(File("C:\\Logs\\hx.trc").find("Returning with rc 0"), std::string::npos);

    // A folder that cannot be written is only traced: the path stays chosen.
    msi::SetProperty("INSTALLTRACE", "Q:\\nowhere\\hx.trc");
    EXPECT_EQ(iwiStartLogs(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBUSERTRACEPATH"), "Q:\\nowhere\\hx.trc");
    EXPECT_TRUE(HasTextMatching("^\\*\\*\\*Error 3 \\(0x00000003\\) creating 'Q:\\\\nowhere\\\\hx.trc'"));
}

TEST_F(Logs, TracePathTooLongForAPathTakesATemporaryFile) {
    UiLanguage("a");
    std::string longPath = "C:\\" + std::string(300, 'a');
    msi::SetProperty("INSTALLTRACE", longPath);
    EXPECT_EQ(iwiStartLogs(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBUSERTRACEPATH"), "C:\\Temp\\zebt0001.log");
    EXPECT_TRUE(HasText("***INSTALLTRACE '" + longPath + "' is too long for a path; using a temporary file"));
}

// ---- Temporary log of the dialogs -----------------------------------------------------------------

TEST_F(Logs, TemporaryLogCollectsThenMergesAndGoes) {
    fs::WriteFile("C:\\Temp\\zebg0001.txt", "stale\r\n");
    msi::SetProperty("ZEBTEMPFILENUM", "0001");
    EXPECT_EQ(iwiSetTempLogPath(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBTEMPLOGPATH"), "C:\\Temp\\zebg0001.txt");
    std::string collected = File("C:\\Temp\\zebg0001.txt");
    EXPECT_EQ(collected.find("stale"), std::string::npos);
    EXPECT_NE(collected.find("Returning with rc 0"), std::string::npos);

    EXPECT_EQ(iwiUnSetTempLogPath(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBTEMPLOGPATH"), "");
    EXPECT_TRUE(TextsInOrder({"Messages from temporary log file 'C:\\Temp\\zebg0001.txt':",
                              "End of messages from temporary log file."}));
    EXPECT_GT(MergedLines(), 0);
    EXPECT_EQ(File("C:\\Temp\\zebg0001.txt"), "<absent>");
}

// The merged file was the trace's own target until just before: nothing may be written into it
// while it is read, or the merge would never end.
TEST_F(Logs, MergeNeverWritesIntoTheFileItReads) {
    SetProps({{"ZEBTEMPFILENUM", "0001"}, {"ZEBKEEPTEMPLOG", "1"}});
    ASSERT_EQ(iwiSetTempLogPath(h), ZEB_RC_SUCCESS);
    ASSERT_EQ(iwiUnSetTempLogPath(h), ZEB_RC_SUCCESS);
    std::string kept = File("C:\\Temp\\zebg0001.txt");
    EXPECT_EQ(kept.find(">>"), std::string::npos);
    EXPECT_EQ(kept.find("Messages from temporary log file"), std::string::npos);

    // The user trace file merged into itself: the same rule.
    fs::WriteFile("C:\\Logs\\own.trc", "one\r\ntwo\r\n");
    msi::SetProperty("ZEBUSERTRACEPATH", "C:\\Logs\\own.trc");
    iiiProcessTempLogFile(FALSE, "C:\\Logs\\own.trc");
    std::string own = File("C:\\Logs\\own.trc");
    EXPECT_EQ(own.find(">>"), std::string::npos);
    EXPECT_NE(own.find("End of messages from temporary log file."), std::string::npos);
}

TEST_F(Logs, LongLinesMergeInPiecesAndLineEndsAreCut) {
    fs::WriteFile("C:\\Temp\\t.txt", std::string(600, 'x') + "\r\nshort\rtail\n\nlast");
    iiiProcessTempLogFile(TRUE, "C:\\Temp\\t.txt");
    EXPECT_TRUE(HasText(">>" + std::string(515, 'x')));
    EXPECT_TRUE(HasText(">>" + std::string(85, 'x')));
    EXPECT_TRUE(HasText(">>short"));
    EXPECT_TRUE(HasText(">>last"));
    EXPECT_EQ(MergedLines(), 5); // the empty line too
    EXPECT_EQ(File("C:\\Temp\\t.txt"), "<absent>");
}

TEST_F(Logs, MergeWithoutFileOrFolder) {
    iiiProcessTempLogFile(TRUE, "");
    EXPECT_TRUE(HasText("No log file available"));
    msi::SetProperty("ZEBDATFOLDER", "C:\\HXData\\");
    iiiProcessTempLogFile(TRUE, NULL);
    EXPECT_TRUE(HasText("Can't find 'C:\\HXData\\zebilogn.txt'"));
    EXPECT_EQ(MergedLines(), 0);
}

// ---- Log folder -----------------------------------------------------------------------------------

TEST_F(Logs, RecalcTakesPreviousThenConfigurationThenLastThenDataLog) {
    msi::SetProperty("ZEBDATFOLDER", "C:\\HXData");
    EXPECT_EQ(iwiRecalcLogFolder(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBLOGFOLDER"), "C:\\HXData\\log");

    msi::SetProperty("ZEBLASTLOG", "D:\\LastLogs");
    EXPECT_EQ(iwiRecalcLogFolder(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBLOGFOLDER"), "D:\\LastLogs");

    fs::WriteFile("C:\\HXData\\config\\HXS.INI", "[LogDefaults]\r\nLogDefaultPath=E:\\HX Logs\\\r\n");
    EXPECT_EQ(iwiRecalcLogFolder(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBLOGFOLDER"), "E:\\HX Logs");

    msi::SetProperty("ZEBPREVLOG", "F:\\Prev\\");
    EXPECT_EQ(iwiRecalcLogFolder(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBLOGFOLDER"), "F:\\Prev");
    EXPECT_EQ(WorkingFolders().szLog, std::string("F:\\Prev"));

    // A previous folder too long for a log folder is passed over.
    msi::SetProperty("ZEBPREVLOG", "C:\\" + std::string(240, 'p'));
    EXPECT_EQ(iwiRecalcLogFolder(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBLOGFOLDER"), "E:\\HX Logs");
}

TEST_F(Logs, RecalcFailsOnUnreadableConfigurationAndKeepsFolderWithoutData) {
    msi::SetProperty("ZEBLOGFOLDER", "C:\\Kept");
    EXPECT_EQ(iwiRecalcLogFolder(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("***No data folder to place the log folder in; log folder unchanged"));
    EXPECT_EQ(Prop("ZEBLOGFOLDER"), "C:\\Kept");

    msi::SetProperty("ZEBDATFOLDER", "C:\\HXData");
    fs::WriteFile("C:\\HXData\\HXS.INI", "LogDefaultPath=E:\\X\r\n");
    fs::DenyAccess("C:\\HXData\\HXS.INI", true);
    EXPECT_EQ(iwiRecalcLogFolder(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***Can't read the log folder recorded in 'C:\\HXData\\HXS.INI'"));
    EXPECT_EQ(Prop("ZEBLOGFOLDER"), "C:\\Kept");
}

TEST_F(Logs, FindExistingFromConfigRegOrLeftAlone) {
    SetProps({{"ZEBDATFOLDER", "C:\\HXData\\"}, {"ZEBLOGFOLDER", "C:\\Kept"}});
    EXPECT_EQ(iwiFindExistingLogFolder(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBLOGFOLDER"), "C:\\Kept");

    fs::WriteFile("C:\\HXData\\config\\Config.reg",
                  "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\X]\r\n\"LogDefaultPath\"=\"G:\\\\Logs\\\\\"\r\n");
    EXPECT_EQ(iwiFindExistingLogFolder(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBLOGFOLDER"), "G:\\Logs");
    EXPECT_EQ(WorkingFolders().szLog, std::string("G:\\Logs"));
}

// ---- Temporary files --------------------------------------------------------------------------------

TEST_F(Logs, DeleteTempFilesReleasesAndRemovesTheLanguageLibrary) {
    UnpackLanguageLibrary();
    msi::SetProperty("ZEBDATFOLDER", "C:\\HXData");
    for (const char* path : {"C:\\Temp\\zebcancl.txt", "C:\\Temp\\zebreboot.txt", "C:\\Temp\\zebt0001.txt",
                             "C:\\Temp\\zebs0001.txt", "C:\\HXData\\zebilogn.txt", "C:\\Temp\\zebg0001.txt"})
        fs::WriteFile(path, "x\r\n");
    char szText[ZEB_CCH_MSG];
    ASSERT_TRUE(iwiLoadNlsString(szText, 2041));
    ASSERT_EQ(fs::ModuleLoads(), 1);
    // Loaded, the library's file cannot go.
    EXPECT_FALSE(DeleteFileA("C:\\Temp\\zebl0001.dll"));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);

    EXPECT_EQ(DeleteTempFiles(), ZEB_RC_SUCCESS);
    EXPECT_EQ(fs::ModuleLoads(), 0);
    EXPECT_TRUE(HasText("Freeing NLS library"));
    for (const char* path : {"C:\\Temp\\zebcancl.txt", "C:\\Temp\\zebreboot.txt", "C:\\Temp\\zebt0001.txt",
                             "C:\\Temp\\zebs0001.txt", "C:\\HXData\\zebilogn.txt", "C:\\Temp\\zebg0001.txt",
                             "C:\\Temp\\zebl0001.dll"})
        EXPECT_EQ(File(path), "<absent>") << path;
    EXPECT_TRUE(HasText(">>x")); // the dialogs' log was merged first
}

TEST_F(Logs, DeleteTempFilesGoesOnPastFilesThatStay) {
    SetProps({{"ZEBTEMP", "C:\\Temp"}, {"ZEBTEMPFILENUM", "0001"}});
    fs::WriteFile("C:\\Temp\\zebcancl.txt", "x");
    fs::WriteFile("C:\\Temp\\zebreboot.txt", "x");
    fs::Lock("C:\\Temp\\zebreboot.txt");
    EXPECT_EQ(DeleteTempFiles(), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("***Delete file in use: 'C:\\Temp\\zebreboot.txt'"));
    EXPECT_EQ(File("C:\\Temp\\zebcancl.txt"), "<absent>");
    fs::Unlock("C:\\Temp\\zebreboot.txt");
}

} // namespace
