// The helper-script actions: unpacking the runtimes and deleting them (each the other's
// rollback), stopping the web server, and the .NET and web server configuration fix-ups.
#include "zebiobjn.h"
#include "zebiwicnSimpleCA.h"
#include "zebtest.h"

namespace {

namespace fs = winsim::fs;
namespace msi = winsim::msi;
using winsim::proc::Behaviour;

const char kCmd[] = "C:\\Windows\\System32\\cmd.exe";

class Scripts : public ZebTest {
  protected:
    void SetUp() override {
        ZebTest::SetUp();
        fs::MakeDirs("C:\\Temp");
    }

    // The value list of a deferred run with the program folder P.
    static std::string Values(const std::string& program) {
        return "ProductVersion=9.4.0.0;ZEBTEMP=C:\\Temp\\;ZEBINSTALLINSTANCENAME=Inst1;ZEBPGMFOLDER=" +
               program + "\\;ZEBDATFOLDER=C:\\HXData;";
    }

    // A test double of the unpack script: writes its arguments and folder to its output and
    // unpacks a small tree into its working folder.
    static void InstallUnpackScript(const std::string& program, DWORD exitCode = 0) {
        Behaviour b = Behaviour::Exits(exitCode, 2000);
        b.atStart = [](const winsim::proc::Start& start, Behaviour& self) {
            self.out = "args " + start.parameters + "\ndir " + start.directory + "\n";
            fs::WriteFile(start.directory + "\\jre\\bin\\x.txt", "x");
        };
        winsim::proc::InstallProgram(program + "\\zips\\UnpackFeature.cmd", b);
    }

    static std::vector<winsim::proc::Process> Started() { return winsim::proc::Processes(); }
};

// ---- Unpacking ---------------------------------------------------------------------------------

TEST_F(Scripts, UnzipRunsTheScriptQuotedWholeInTheTargetFolderAndKeepsItsLog) {
    // A program folder with characters cmd would otherwise take the quotes off for.
    const std::string p = "C:\\R&D (x)\\HX";
    fs::WriteFile(p + "\\zips\\hx_jre64.zip", "PK");
    fs::MakeDirs(p + "\\java");
    InstallUnpackScript(p);
    UnpackLanguageLibrary();

    EXPECT_EQ(RunDeferred(iwiUnzipJRE, Values(p) + "ZEBLANGDLLCREATED=1;ZEBTEMPFILENUM=0001;"),
              ZEB_RC_SUCCESS);
    const std::string params =
        "/c \"\"" + p + "\\zips\\UnpackFeature.cmd\" ..\\java hx_jre64.zip >UnpackFeatureJRE.log 2>&1\"";
    EXPECT_TRUE(TextsInOrder(
        {"calling iwiUnzipJRE CA in mode: MSIRUNMODE_SCHEDULED",
         "Unzipping JRE zip file into '" + p + "\\java'", "unzipping JRE feature zip",
         "cmd to run  : \"" + std::string(kCmd) + "\"", "cmd parms   : " + params,
         "current dir : " + p + "\\java", "UnpackFeature return code - dwExitCode=0",
         "copy file '" + p + "\\java\\UnpackFeatureJRE.log' to 'C:\\Temp\\HXv94-UnpackJREFeature-Inst1.log'",
         "copy successful", "unzip program successfully executed (or skipped as appropriate)",
         "Successful return from JRE feature unzip function"}));
    ASSERT_EQ(Started().size(), 2u); // cmd and the script
    EXPECT_EQ(Started()[0].start.parameters, params);
    EXPECT_EQ(Started()[0].start.directory, p + "\\java");
    EXPECT_EQ(Started()[0].start.show, SW_HIDE);
    EXPECT_EQ(Started()[1].start.program, p + "\\zips\\UnpackFeature.cmd");
    EXPECT_EQ(Started()[1].start.parameters, "..\\java hx_jre64.zip");
    EXPECT_TRUE(fs::Exists(p + "\\java\\jre\\bin\\x.txt"));
    EXPECT_EQ(File("C:\\Temp\\HXv94-UnpackJREFeature-Inst1.log"),
              "args ..\\java hx_jre64.zip\r\ndir " + p + "\\java\r\n");
    // Shown while it runs.
    bool bShown = false;
    for (const msi::Message& m : msi::Messages())
        bShown =
            bShown || (m.fields.size() > 2 && m.fields[2] == TableStrings("zebircan").at(ZEB_MSG_UNPACKING));
    EXPECT_TRUE(bShown);
}

TEST_F(Scripts, UnzipWithoutArchiveOrTargetFolderHasNothingToDo) {
    fs::MakeDirs("C:\\HX\\web");
    EXPECT_EQ(RunDeferred(iwiUnzipRZL, Values("C:\\HX")), ZEB_RC_SUCCESS);
    EXPECT_TRUE(
        TextsInOrder({"INFO: zips directory does not exist", "web directory exists",
                      "INFO: UnpackFeature.cmd does not exist", "INFO: UnpackFeature.ps1 does not exist",
                      "INFO: 'C:\\HX\\zips\\hx_rzl.zip' does not exist, so will not be unzipped",
                      "Successful return from Web feature unzip function"}));

    fs::WriteFile("C:\\HX\\zips\\hx_jre64.zip", "PK");
    EXPECT_EQ(RunDeferred(iwiUnzipJRE, Values("C:\\HX")), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("Not attempting to unzip JRE feature zip as java directory is not present"));
    fs::Remove("C:\\HX\\web");
    fs::WriteFile("C:\\HX\\zips\\hx_rzl.zip", "PK");
    EXPECT_EQ(RunDeferred(iwiUnzipRZL, Values("C:\\HX")), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("Not attempting to unzip Web feature zip as web directory is not present"));
    EXPECT_TRUE(Started().empty());
}

TEST_F(Scripts, UnzipScriptFailuresFailTheInstallation) {
    fs::WriteFile("C:\\HX\\zips\\hx_rzl.zip", "PK");
    fs::MakeDirs("C:\\HX\\web");
    InstallUnpackScript("C:\\HX", 1001);
    EXPECT_EQ(RunDeferred(iwiUnzipRZL, Values("C:\\HX")), ZEB_RC_FAILURE);
    const std::string log = "C:\\Temp\\HXv94-UnpackWebFeature-Inst1.log";
    EXPECT_TRUE(TextsInOrder({"UnpackFeature return code - dwExitCode=1001", "copy successful",
                              "***ERROR: unzip program successfully launched but failed with dwExitCode 1001",
                              "***ERROR: powershell.exe not found on the system PATH",
                              "***check file '" + log + "'", "***Error unzipping Web feature zip file"}));
    EXPECT_NE(File(log), "<absent>");

    // A missing script: cmd's 9009, without the PowerShell line.
    fs::Remove("C:\\HX\\zips\\UnpackFeature.cmd");
    msi::ClearMessages();
    EXPECT_EQ(RunDeferred(iwiUnzipRZL, Values("C:\\HX")), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***ERROR: unzip program successfully launched but failed with dwExitCode 9009"));
    EXPECT_FALSE(HasText("***ERROR: powershell.exe not found on the system PATH"));

    // cmd itself not started: no log to copy.
    winsim::FailCall("ShellExecuteExA", ERROR_ACCESS_DENIED);
    msi::ClearMessages();
    EXPECT_EQ(RunDeferred(iwiUnzipRZL, Values("C:\\HX")), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***ERROR: unzip program launch failed with retVal 1603"));
    EXPECT_FALSE(HasTextContaining("copy file"));
}

TEST_F(Scripts, PathsTooLongAreRefusedNotCut) {
    // The archive's path would be 262 characters.
    const std::string p = "C:\\" + std::string(242, 'p');
    EXPECT_EQ(RunDeferred(iwiUnzipJRE, Values(p)), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***Path too long: '" + p + "\\zips\\hx_jre64.zip'"));
    EXPECT_TRUE(Started().empty());

    // The log copy's name in a temporary folder too long for it (a fresh load reads the new list).
    Reload();
    const std::string temp = "C:\\" + std::string(240, 't');
    fs::WriteFile("C:\\HX\\zips\\hx_jre64.zip", "PK");
    fs::MakeDirs("C:\\HX\\java");
    msi::ClearMessages();
    EXPECT_EQ(RunDeferred(iwiUnzipJRE, "ProductVersion=9.4;ZEBTEMP=" + temp +
                                           ";ZEBINSTALLINSTANCENAME=Inst1;ZEBPGMFOLDER=C:\\HX;"),
              ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***Path too long: '" + temp + "\\HXv94-UnpackJREFeature-Inst1.log'"));
    EXPECT_TRUE(Started().empty());
}

// ---- Deleting ----------------------------------------------------------------------------------

void MakeJre(const std::string& p) {
    fs::WriteFile(p + "\\java\\jre\\bin\\java.exe", "x");
    fs::WriteFile(p + "\\java\\jre\\lib\\rt.jar", "x");
    fs::WriteFile(p + "\\java\\docs\\index.html", "x");
    fs::WriteFile(p + "\\java\\notices.txt", "x");
    fs::WriteFile(p + "\\java\\UnpackFeatureJRE.log", "x");
    fs::WriteFile(p + "\\java\\keep.txt", "x");
}

TEST_F(Scripts, DeleteJreRemovesTheTreesAndTheFiveFilesOnly) {
    MakeJre("C:\\HX");
    EXPECT_EQ(RunDeferred(iwiDeleteJREFiles, Values("C:\\HX")), ZEB_RC_SUCCESS);
    EXPECT_TRUE(
        TextsInOrder({"calling iwiDeleteJREFiles CA in mode: MSIRUNMODE_SCHEDULED",
                      "erase the files extracted from the zip in 'C:\\HX\\java'",
                      "attempting to delete unzipped JRE feature files and folders...",
                      "Deleting directory: C:\\HX\\java\\jre", "Deleted directory 'C:\\HX\\java\\jre'",
                      "Deleting directory: C:\\HX\\java\\docs", "Deleted directory 'C:\\HX\\java\\docs'",
                      "Deleted file: 'C:\\HX\\java\\notices.txt'",
                      "File 'C:\\HX\\java\\copyright' does not exist, no deletion required",
                      "Deleted file: 'C:\\HX\\java\\UnpackFeatureJRE.log'",
                      "Deletion of JRE feature directories, reports successful completion (or was bypassed)",
                      "JRE feature files deleted successfully (or not present)"}));
    EXPECT_FALSE(fs::Exists("C:\\HX\\java\\jre"));
    EXPECT_FALSE(fs::Exists("C:\\HX\\java\\docs"));
    EXPECT_FALSE(fs::Exists("C:\\HX\\java\\notices.txt"));
    EXPECT_TRUE(fs::Exists("C:\\HX\\java\\keep.txt"));
}

TEST_F(Scripts, DeleteJreLockedFileGoesAtRestartAndAFailedTreeSkipsDocs) {
    MakeJre("C:\\HX");
    fs::Lock("C:\\HX\\java\\jre\\bin\\java.exe");
    EXPECT_EQ(RunDeferred(iwiDeleteJREFiles, Values("C:\\HX")), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("***Delete file in use: 'C:\\HX\\java\\jre\\bin\\java.exe'"));
    ASSERT_EQ(fs::PendingRenames().size(), 1u);
    EXPECT_FALSE(fs::Exists("C:\\HX\\java\\docs"));
    fs::Unlock("C:\\HX\\java\\jre\\bin\\java.exe");

    // A folder that cannot be removed fails the tree; docs is then left alone.
    MakeJre("C:\\HX");
    winsim::FailCall("RemoveDirectoryA", ERROR_ACCESS_DENIED, 0, "C:\\HX\\java\\jre\\lib");
    msi::ClearMessages();
    EXPECT_EQ(RunDeferred(iwiDeleteJREFiles, Values("C:\\HX")), ZEB_RC_FAILURE);
    EXPECT_TRUE(TextsInOrder({"***ERROR: Failed to delete directory 'C:\\HX\\java\\jre'",
                              "'C:\\HX\\java\\docs' does not exist or previous delete failed",
                              "***Error in JRE feature files deletion, see preceding message(s)",
                              "***ERROR: Error deleting unzipped JRE feature files"}));
    EXPECT_TRUE(fs::Exists("C:\\HX\\java\\docs\\index.html"));
    EXPECT_FALSE(fs::Exists("C:\\HX\\java\\notices.txt")); // the files still go
}

TEST_F(Scripts, DeletersCheckTheProgramFolderFirst) {
    EXPECT_FALSE(icsDeleteJREFiles(""));
    EXPECT_FALSE(icsDeleteWebFiles(""));
    EXPECT_TRUE(HasText("***ERROR: program folder property not set, will not delete any files"));
    EXPECT_TRUE(icsDeleteJREFiles("C:\\Nowhere"));
    EXPECT_TRUE(HasText("Program folder not found, skipping file deletion"));
    fs::MakeDirs("C:\\HX");
    EXPECT_TRUE(icsDeleteJREFiles("C:\\HX"));
    EXPECT_TRUE(HasText("'C:\\HX\\java\\jre' does not exist - skipping"));
    EXPECT_TRUE(icsDeleteWebFiles("C:\\HX"));
    EXPECT_TRUE(HasText("Directory to delete ('C:\\HX\\web') does not exist - skipping"));
    EXPECT_FALSE(fs::Exists("C:\\HX\\web"));
}

TEST_F(Scripts, DeleteWebRemovesListedContentAndRecreatesTheFolder) {
    fs::WriteFile("C:\\HX\\web\\readme.txt", "x");
    fs::WriteFile("C:\\HX\\web\\server.jar", "x");
    EXPECT_EQ(RunDeferred(iwiDeleteWebFiles, Values("C:\\HX")), ZEB_RC_SUCCESS);
    EXPECT_TRUE(TextsInOrder(
        {"Deleting contents of directory: C:\\HX\\web\\*", "Deleted conents of directory 'C:\\HX\\web\\*'",
         "Deleting contents of directory: C:\\HX\\web\\templates\\*",
         "(re)creating web directory ('C:\\HX\\web')",
         "Deletion of Web feature directories, reports successful completion (or was bypassed)",
         "Web feature files deleted successfully (or not present)"}));
    EXPECT_TRUE(fs::IsDir("C:\\HX\\web"));
    EXPECT_TRUE(fs::List("C:\\HX\\web").empty());

    // Listed folders go with all they hold; others stay, and so does the folder.
    fs::WriteFile("C:\\HX\\web\\bin\\sub\\a.dll", "x");
    fs::WriteFile("C:\\HX\\web\\installations\\Inst1\\user.xml", "x");
    msi::ClearMessages();
    EXPECT_EQ(RunDeferred(iwiDeleteWebFiles, Values("C:\\HX")), ZEB_RC_SUCCESS);
    EXPECT_FALSE(fs::Exists("C:\\HX\\web\\bin"));
    EXPECT_TRUE(fs::Exists("C:\\HX\\web\\installations\\Inst1\\user.xml"));
    EXPECT_TRUE(HasText("web directory itself is still present ('C:\\HX\\web')"));

    // A folder that cannot be made again fails the deletion.
    fs::Remove("C:\\HX\\web\\installations");
    winsim::FailCall("CreateDirectoryA", ERROR_ACCESS_DENIED);
    msi::ClearMessages();
    EXPECT_EQ(RunDeferred(iwiDeleteWebFiles, Values("C:\\HX")), ZEB_RC_FAILURE);
    EXPECT_TRUE(TextsInOrder({"***ERROR: Can't (re)create web directory ('C:\\HX\\web')",
                              "***Error in web feature files deletion, see preceding message(s)",
                              "***ERROR: Error deleting unzipped Web feature files"}));
}

// ---- Rollback and run modes --------------------------------------------------------------------

TEST_F(Scripts, RollbackDoesTheReverseWorkAndOnlyTracesFailures) {
    MakeJre("C:\\HX");
    EXPECT_EQ(RunRollbackAsWine(iwiUnzipJRE, Values("C:\\HX")), ZEB_RC_SUCCESS);
    EXPECT_TRUE(TextsInOrder({"calling iwiUnzipJRE CA in mode: MSIRUNMODE_ROLLBACK",
                              "ROLLBACK: deleting the JRE feature files from 'C:\\HX\\java'",
                              "JRE feature zip files deleted successfully (or not present)"}));
    EXPECT_FALSE(fs::Exists("C:\\HX\\java\\jre"));
    EXPECT_TRUE(Started().empty());

    MakeJre("C:\\HX");
    winsim::FailCall("RemoveDirectoryA", ERROR_ACCESS_DENIED, 0, "C:\\HX\\java\\jre\\");
    msi::ClearMessages();
    EXPECT_EQ(RunDeferred(iwiUnzipJRE, Values("C:\\HX"), MSIRUNMODE_ROLLBACK), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("***Error deleting unzipped JRE feature files"));
    winsim::ClearFaults();

    // The delete action's rollback unpacks again; its failure is only traced.
    fs::WriteFile("C:\\HX\\zips\\hx_jre64.zip", "PK");
    InstallUnpackScript("C:\\HX", 3);
    msi::ClearMessages();
    EXPECT_EQ(RunRollbackAsWine(iwiDeleteJREFiles, Values("C:\\HX")), ZEB_RC_SUCCESS);
    EXPECT_TRUE(TextsInOrder({"ROLLBACK: Unzipping JRE zip file back into 'C:\\HX\\java'",
                              "***ERROR: unzip program successfully launched but failed with dwExitCode 3",
                              "***Error unzipping JRE feature zip file"}));
    EXPECT_TRUE(fs::Exists("C:\\HX\\java\\jre\\bin\\x.txt"));
}

TEST_F(Scripts, AnUnexpectedModeIsTracedAndTheNormalWorkDone) {
    fs::MakeDirs("C:\\HX\\web");
    fs::WriteFile("C:\\HX\\web\\a.txt", "x");
    SetProps({{"ProductVersion", "9.4.0.0"},
              {"ZEBTEMP", "C:\\Temp"},
              {"ZEBINSTALLINSTANCENAME", "Inst1"},
              {"ZEBPGMFOLDER", "C:\\HX"}});
    EXPECT_EQ(iwiDeleteWebFiles(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(TextsInOrder({"***calling iwiDeleteWebFiles CA in UNEXPECTED runmode",
                              "erase the files extracted from the zip in 'C:\\HX\\web'"}));
    EXPECT_FALSE(fs::Exists("C:\\HX\\web\\a.txt"));
}

// ---- Stopping the web server -------------------------------------------------------------------

TEST_F(Scripts, StopScriptExitCodesAreJudgedAndTheStatusStaysZero) {
    fs::MakeDirs("C:\\HX\\web");
    const std::string stop = "C:\\HX\\bin\\endhxweb.bat";
    struct Case {
        Behaviour behaviour;
        std::string line;
        std::string outcome;
    } cases[] = {
        {Behaviour::Exits(0), "RZL server successfuly stopped (dwExitCode=0)",
         "Successfully stoppped the RZL Server"},
        {Behaviour::Exits(1), "RZL server not running, stop returned without action (dwExitCode=1)",
         "Successfully stoppped the RZL Server"},
        {Behaviour::Exits(2),
         "***ERROR unrecognised/bad return code from RZL server shutdown (dwExitCode=2, retVal=0)",
         "***ERROR: Unable to stop the RZL server. This may cause 'file in use' errors and possibly require "
         "a reboot."},
        {Behaviour::Exits(0, 300001), "***ERROR invoking RZL server shutdown (retVal=1604, dwExitCode=-1)",
         "***ERROR: Unable to stop the RZL server. This may cause 'file in use' errors and possibly require "
         "a reboot."},
    };
    for (const Case& c : cases) {
        winsim::proc::InstallProgram(stop, c.behaviour);
        msi::ClearMessages();
        EXPECT_EQ(RunDeferred(iwiStopRZLServer, Values("C:\\HX")), ZEB_RC_SUCCESS);
        EXPECT_TRUE(TextsInOrder({"Stop the RZL server before uninstalling", "Stopping RZL server",
                                  "cmd parms   : /c \"\"C:\\HX\\bin\\endhxweb.bat\" >NUL 2>&1\"",
                                  "current dir : C:\\HX\\web", c.line, c.outcome}))
            << c.line;
    }
    EXPECT_EQ(Started().front().start.show, SW_HIDE);
    EXPECT_EQ(Started().front().start.directory, "C:\\HX\\web");

    fs::Remove("C:\\HX\\web");
    const size_t before = Started().size();
    EXPECT_EQ(RunDeferred(iwiStopRZLServer, Values("C:\\HX")), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("Not attempting to stop RZL server as web directory is not present"));
    EXPECT_EQ(Started().size(), before);
}

// ---- Configuration fix-ups ---------------------------------------------------------------------

TEST_F(Scripts, DotnetFixupRunsTheToolOnExistingFilesInOrderAndStopsAtALaunchFailure) {
    const std::string base = "C:\\HX\\tools\\dotnet\\samples\\cs\\base\\";
    fs::WriteFile(base + "nhxsput.exe.config", "<c/>");
    fs::WriteFile(base + "NonPrimaryRedirect.config", "<c/>");
    fs::WriteFile("C:\\HX\\bin\\WhxDotnetXAMonitor.exe.config", "<c/>");
    winsim::proc::InstallProgram("C:\\HX\\bin64\\zebicvar.exe");
    EXPECT_EQ(RunDeferred(iwiFixupDotnetConfigs, Values("C:\\HX")), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText(".NET config files updated"));
    std::vector<std::string> params;
    for (const auto& p : Started()) {
        EXPECT_EQ(p.start.program, "C:\\HX\\bin64\\zebicvar.exe");
        EXPECT_EQ(p.start.show, SW_HIDE);
        params.push_back(p.start.parameters);
    }
    EXPECT_EQ(
        params,
        (std::vector<std::string>{
            "-t -w -f \"" + base + "nhxsput.exe.config\" -i HX_INSTALLATION_PATH=\"C:\\HX\"",
            "-t -w -f \"" + base + "NonPrimaryRedirect.config\" -i HX_INSTALLATION_PATH=\"C:\\HX\"",
            "-t -w -f \"C:\\HX\\bin\\WhxDotnetXAMonitor.exe.config\" -i HX_INSTALLATION_PATH=\"C:\\HX\""}));

    winsim::FailCall("ShellExecuteExA", ERROR_ACCESS_DENIED, 2);
    msi::ClearMessages();
    const size_t before = Started().size();
    EXPECT_EQ(RunDeferred(iwiFixupDotnetConfigs, Values("C:\\HX")), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("***Unable to update .NET config files (1603)"));
    EXPECT_EQ(Started().size(), before + 1); // the third is not tried
}

TEST_F(Scripts, WebConfigAppendsOnItsOwnLines) {
    const std::string env = "C:\\HX\\web\\etc\\server.env";
    fs::WriteFile(env, "A=1\r\nB=2");
    EXPECT_EQ(RunDeferred(iwiFixupWebConfig, Values("C:\\HX")), ZEB_RC_SUCCESS);
    EXPECT_TRUE(TextsInOrder({"Fixup Web config.  pgm=C:\\HX, dat=C:\\HXData, InstallationName=Inst1",
                              "Web config file updated"}));
    const std::string added =
        "JAVA_HOME=C:\\HX\\java\\jre\r\nRZL_USER_DIR=C:\\HXData\\web\\installations\\Inst1\r\n";
    EXPECT_EQ(File(env), "A=1\r\nB=2\r\n" + added);

    // A file that ends its last line gets no empty line.
    fs::WriteFile(env, "A=1\r\n");
    EXPECT_EQ(RunDeferred(iwiFixupWebConfig, Values("C:\\HX")), ZEB_RC_SUCCESS);
    EXPECT_EQ(File(env), "A=1\r\n" + added);

    fs::Remove("C:\\HX\\web");
    msi::ClearMessages();
    EXPECT_EQ(RunDeferred(iwiFixupWebConfig, Values("C:\\HX")), ZEB_RC_SUCCESS);
    EXPECT_TRUE(TextsInOrder(
        {"***Unable to open config file '" + env + "' for append", "***Unable to update Web config file"}));
}

} // namespace
