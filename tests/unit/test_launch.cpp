// Starting programs: LaunchProcess, LaunchAndWait with its time-out and exit code, and
// LaunchAppAndWaitWithLog tracing a command's output.
#include "zebtest.h"

#include <shellapi.h>

namespace {

using winsim::proc::Behaviour;

class Launch : public ZebTest {
  protected:
    void SetUp() override {
        ZebTest::SetUp();
        winsim::fs::MakeDirs("C:\\HX\\bin64");
    }

    static const winsim::Event* LastProcessEvent() {
        const winsim::Event* found = nullptr;
        for (const winsim::Event& e : winsim::Events())
            if (e.kind == "process")
                found = &e;
        return found;
    }
    static size_t Started() { return winsim::proc::Processes().size(); }
};

// The command-output runs: ZEBPGMFOLDER C:\HX, the output file C:\Temp\zebt0001.txt.
class LaunchWithLog : public Launch {
  protected:
    void SetUp() override {
        Launch::SetUp();
        SetProps({{"ZEBPGMFOLDER", "C:\\HX\\"}, {"ZEBTEMP", "C:\\Temp"}, {"ZEBTEMPFILENUM", "0001"}});
    }
    static constexpr const char* kOutput = "C:\\Temp\\zebt0001.txt";

    // The texts traced under LaunchAppAndWaitWithLog's name after the last "Reading": the output.
    static std::vector<std::string> OutputLines() {
        std::vector<std::string> out;
        const std::vector<std::string> lines = Lines();
        const std::vector<std::string> texts = Texts();
        for (size_t i = 0; i < lines.size(); i++) {
            if (texts[i].rfind("Reading '", 0) == 0)
                out.clear();
            else if (lines[i].find("(LaunchAppAndWaitWithLog) info: ") != std::string::npos)
                out.push_back(texts[i]);
        }
        return out;
    }
};

TEST_F(Launch, ProcessRunsInTheProgramsFolderAndHandsTheHandleOut) {
    winsim::proc::InstallProgram("C:\\HX\\bin64\\zebmtbrn.exe", Behaviour::Exits(0, std::nullopt));
    HANDLE hProcess = NULL;
    EXPECT_EQ(LaunchProcess("C:\\HX\\bin64\\zebmtbrn.exe", "-x", NULL, SW_SHOW, &hProcess), ZEB_RC_SUCCESS);
    EXPECT_TRUE(TextsInOrder(
        {"Launching process 'C:\\HX\\bin64\\zebmtbrn.exe' '-x'; dir 'C:\\HX\\bin64'.", "Launched OK"}));
    ASSERT_NE(LastProcessEvent(), nullptr);
    EXPECT_EQ(LastProcessEvent()->text, "'C:\\HX\\bin64\\zebmtbrn.exe' '-x'; dir 'C:\\HX\\bin64'; show 5");
    EXPECT_EQ(LastProcessEvent()->flags, (unsigned)SEE_MASK_NOCLOSEPROCESS);
    DWORD dwCode = 0;
    ASSERT_TRUE(GetExitCodeProcess(hProcess, &dwCode));
    EXPECT_EQ(dwCode, (DWORD)STILL_ACTIVE);
    CloseHandle(hProcess);

    // No handle wanted: it is closed. A folder given is used; a bare name is not looked for first.
    EXPECT_EQ(LaunchProcess("Notepad.exe", "C:\\HX\\readme.txt", "C:\\HX", SW_SHOW, NULL), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("Launching process 'Notepad.exe' 'C:\\HX\\readme.txt'; dir 'C:\\HX'."));
    EXPECT_EQ(winsim::proc::Processes().back().start.program, "C:\\Windows\\System32\\notepad.exe");
    EXPECT_EQ(winsim::OpenHandleCount(), 0);
}

TEST_F(Launch, ProcessFailures) {
    HANDLE hProcess = INVALID_HANDLE_VALUE;
    EXPECT_EQ(LaunchProcess("C:\\HX\\bin64\\endhxm.exe", "-i QM1", NULL, SW_HIDE, &hProcess), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***Unable to find and run 'C:\\HX\\bin64\\endhxm.exe'"));
    EXPECT_FALSE(HasTextContaining("Launching process"));
    EXPECT_EQ(hProcess, (HANDLE)NULL);

    hProcess = INVALID_HANDLE_VALUE;
    EXPECT_EQ(LaunchProcess("nosuch.exe", "", NULL, SW_HIDE, &hProcess), ZEB_RC_FAILURE);
    EXPECT_TRUE(
        TextsInOrder({"Launching process 'nosuch.exe' ''; dir ''.", "***Unable to launch process; code 2."}));
    EXPECT_EQ(hProcess, (HANDLE)NULL);

    winsim::proc::InstallProgram("C:\\HX\\bin64\\dsphx.exe", Behaviour::FailsToStart(ERROR_ACCESS_DENIED));
    EXPECT_EQ(LaunchProcess("C:\\HX\\bin64\\dsphx.exe", "-a", NULL, SW_HIDE, NULL), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***Unable to launch process; code 5."));
    EXPECT_EQ(Started(), 0u);
}

TEST_F(Launch, WaitGivesTheExitCodeAsASuccess) {
    winsim::proc::InstallProgram("C:\\HX\\bin64\\dsphx.exe", Behaviour::Exits(5, 2500));
    DWORD dwCode = 0;
    EXPECT_EQ(LaunchAndWait("C:\\HX\\bin64\\dsphx.exe", "-a", NULL, SW_HIDE, &dwCode, INFINITE),
              ZEB_RC_SUCCESS);
    EXPECT_EQ(dwCode, 5u);
    EXPECT_TRUE(TextsInOrder({"Launching process 'C:\\HX\\bin64\\dsphx.exe' '-a'; dir 'C:\\HX\\bin64'.",
                              "Process 'C:\\HX\\bin64\\dsphx.exe' ended; exit code 0x00000005"}));
    EXPECT_EQ(winsim::NowMs(), 2500u);
    EXPECT_EQ(LastProcessEvent()->flags, (unsigned)(SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI));

    // An exit code of 259 cannot be told from a running process.
    winsim::proc::InstallProgram("C:\\HX\\bin64\\odd.exe", Behaviour::Exits(STILL_ACTIVE));
    EXPECT_EQ(LaunchAndWait("C:\\HX\\bin64\\odd.exe", NULL, NULL, SW_HIDE, &dwCode, 60000), ZEB_RC_SUCCESS);
    EXPECT_EQ(dwCode, 0xFFFFFFFFu);
    EXPECT_TRUE(HasText("Process 'C:\\HX\\bin64\\odd.exe' still active"));
}

TEST_F(Launch, TimeOutLeavesTheProgramRunningAndClosesItsHandle) {
    winsim::proc::InstallProgram("C:\\HX\\bin64\\sethxinst.exe", Behaviour::Exits(0, 200000));
    DWORD dwCode = 0;
    EXPECT_EQ(LaunchAndWait("C:\\HX\\bin64\\sethxinst.exe", "-x", NULL, SW_HIDE, &dwCode, 120000),
              ZEB_RC_SUSPEND);
    EXPECT_EQ(dwCode, 0xFFFFFFFFu);
    EXPECT_TRUE(HasText("Process 'C:\\HX\\bin64\\sethxinst.exe' timed out."));
    EXPECT_FALSE(HasTextContaining("***"));
    EXPECT_EQ(winsim::NowMs(), 120000u);
    EXPECT_EQ(winsim::proc::Running().size(), 1u);
    EXPECT_EQ(winsim::OpenHandleCount(), 0);
}

TEST_F(Launch, WaitRefusesAMissingProgramButRunsAnyCmdFromTheSearchPath) {
    DWORD dwCode = 0;
    EXPECT_EQ(LaunchAndWait("C:\\HX\\bin64\\endhxtrc.exe", "-a", NULL, SW_HIDE, &dwCode, INFINITE),
              ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***Unable to find and run 'C:\\HX\\bin64\\endhxtrc.exe'"));
    EXPECT_EQ(Started(), 0u);
    EXPECT_EQ(dwCode, 0xFFFFFFFFu);

    // The folder in front does not hold cmd: the system's runs, in the folder asked for.
    for (const char* cmd : {"C:\\HX\\cmd.exe", "\"C:\\nowhere\\CMD.EXE\"", "cmd", "C:\\HX\\Cmd"}) {
        winsim::msi::ClearMessages();
        EXPECT_EQ(LaunchAndWait(cmd, "/c exit", "C:\\HX\\bin64", SW_HIDE, &dwCode, 60000), ZEB_RC_SUCCESS)
            << cmd;
        EXPECT_TRUE(HasText("Launching process 'cmd' '/c exit'; dir 'C:\\HX\\bin64'.")) << cmd;
        EXPECT_EQ(winsim::proc::Processes().back().start.program, "C:\\Windows\\System32\\cmd.exe") << cmd;
    }
    // Only that name: "cmdx.exe" is an ordinary program.
    EXPECT_EQ(LaunchAndWait("C:\\HX\\cmdx.exe", "", NULL, SW_HIDE, &dwCode, 60000), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***Unable to find and run 'C:\\HX\\cmdx.exe'"));
}

TEST_F(Launch, WaitFailuresOfEachCall) {
    winsim::proc::InstallProgram("C:\\HX\\bin64\\reg.exe", Behaviour::Exits(3));
    const char* kReg = "C:\\HX\\bin64\\reg.exe";
    DWORD dwCode = 0;

    EXPECT_EQ(LaunchAndWait("nosuch", "", NULL, SW_HIDE, &dwCode, INFINITE), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***Unable to launch process 'nosuch'; code 2."));
    EXPECT_EQ(LaunchAndWait(kReg, "", "C:\\gone", SW_HIDE, &dwCode, INFINITE), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***Unable to launch process 'C:\\HX\\bin64\\reg.exe'; code 267."));

    winsim::FailCall("ShellExecuteExA", ERROR_ACCESS_DENIED, 1);
    EXPECT_EQ(LaunchAndWait(kReg, "", NULL, SW_HIDE, &dwCode, INFINITE), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***Unable to launch process 'C:\\HX\\bin64\\reg.exe'; code 5."));

    // The program ran, but its end or exit code is not known: traced, the code stays unknown.
    winsim::FailCall("WaitForSingleObject", ERROR_INVALID_HANDLE, 1);
    EXPECT_EQ(LaunchAndWait(kReg, "", NULL, SW_HIDE, &dwCode, INFINITE), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("***Process 'C:\\HX\\bin64\\reg.exe' wait error."));
    EXPECT_EQ(dwCode, 0xFFFFFFFFu);
    winsim::FailCall("GetExitCodeProcess", ERROR_ACCESS_DENIED, 1);
    EXPECT_EQ(LaunchAndWait(kReg, "", NULL, SW_HIDE, &dwCode, INFINITE), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("***Error 5 getting process 'C:\\HX\\bin64\\reg.exe' exit code."));
    EXPECT_EQ(dwCode, 0xFFFFFFFFu);

    // The existence test cannot look: the program counts as missing.
    winsim::FailCall("FindFirstFileA", ERROR_ACCESS_DENIED, 1, "reg.exe");
    EXPECT_EQ(LaunchAndWait(kReg, "", NULL, SW_HIDE, &dwCode, INFINITE), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***Unable to find and run 'C:\\HX\\bin64\\reg.exe'"));
    EXPECT_EQ(Started(), 2u); // the two the failing waits ran
}

TEST_F(LaunchWithLog, BothStreamsTracedUnderItsName) {
    Behaviour tool;
    tool.out = "Directory set\n\nDone\n";
    tool.err = "warning: no QM\n";
    tool.exitCode = 3;
    winsim::proc::InstallProgram("C:\\HX\\bin64\\zebicdir.exe", tool);
    winsim::fs::WriteFile(kOutput, "stale line\r\n");

    EXPECT_EQ(LaunchAppAndWaitWithLog("/c zebicdir.exe -i -f", 120000), ZEB_RC_SUCCESS);
    EXPECT_TRUE(
        TextsInOrder({"Launching process 'cmd' '/c zebicdir.exe -i -f 1>\"C:\\Temp\\zebt0001.txt\" 2>&1'; "
                      "dir 'C:\\HX\\bin64'.",
                      "Process 'cmd' ended; exit code 0x00000003", "Reading 'C:\\Temp\\zebt0001.txt'"}));
    EXPECT_EQ(OutputLines(), (std::vector<std::string>{"Directory set", "", "Done", "warning: no QM"}));
    EXPECT_EQ(File(kOutput), "Directory set\r\n\r\nDone\r\nwarning: no QM\r\n") << "left in place";
    EXPECT_EQ(winsim::proc::Processes()[0].start.show, SW_HIDE);

    // An unknown program: cmd's own message is the output, and the exit code is not judged.
    EXPECT_EQ(LaunchAppAndWaitWithLog("/c sethxinst.exe -x -n Installation1", 1800000), ZEB_RC_SUCCESS);
    EXPECT_TRUE(TextsInOrder({"Process 'cmd' ended; exit code 0x00002331",
                              "'sethxinst.exe' is not recognized as an internal or external command,",
                              "operable program or batch file."}));
}

TEST_F(LaunchWithLog, LongLinesComeInPiecesAndArgumentsGrow) {
    Behaviour tool;
    tool.out = std::string(600, 'a') + "\r\n" + std::string(515, 'b') + "\n" + "end";
    winsim::proc::InstallProgram("C:\\HX\\bin64\\zebicdir.exe", tool);
    const std::string arguments = "/c zebicdir.exe " + std::string(300, 'x');

    EXPECT_EQ(LaunchAppAndWaitWithLog(arguments.c_str(), 120000), ZEB_RC_SUCCESS);
    EXPECT_EQ(OutputLines(), (std::vector<std::string>{std::string(515, 'a'), std::string(85, 'a'),
                                                       std::string(515, 'b'), "", "end"}));
    EXPECT_EQ(winsim::proc::Processes()[1].start.parameters, std::string(300, 'x'));
}

TEST_F(LaunchWithLog, NoOutputFileFailsEvenWhenTheCommandRan) {
    // The output's folder is gone: cmd cannot create the file and the program never runs.
    winsim::msi::SetProperty("ZEBTEMP", "C:\\Gone");
    winsim::proc::InstallProgram("C:\\HX\\bin64\\zebicdir.exe");
    EXPECT_EQ(LaunchAppAndWaitWithLog("/c zebicdir.exe -i -f", 120000), ZEB_RC_FAILURE);
    EXPECT_TRUE(TextsInOrder(
        {"Process 'cmd' ended; exit code 0x00000001", "***Can't find 'C:\\Gone\\zebt0001.txt'"}));
    EXPECT_EQ(Started(), 1u);
}

TEST_F(LaunchWithLog, TimeOutPassedOnAfterTheOutputSoFar) {
    Behaviour hang;
    hang.out = "waiting for the queue manager\n";
    hang.runMs = std::nullopt;
    winsim::proc::InstallProgram("C:\\HX\\bin64\\sethxinst.exe", hang);
    EXPECT_EQ(LaunchAppAndWaitWithLog("/c sethxinst.exe -i -n Installation1", 1800000), ZEB_RC_SUSPEND);
    EXPECT_TRUE(TextsInOrder({"Process 'cmd' timed out.", "Reading 'C:\\Temp\\zebt0001.txt'"}));
    EXPECT_EQ(OutputLines(), (std::vector<std::string>{"waiting for the queue manager"}));
    EXPECT_EQ(winsim::proc::Running().size(), 2u) << "cmd and its program";
}

TEST_F(LaunchWithLog, FolderReadOncePerLoadAndRefusedWhenEmpty) {
    EXPECT_EQ(LaunchAppAndWaitWithLog("/c reg.exe", 60000), ZEB_RC_SUCCESS);
    winsim::msi::SetProperty("ZEBPGMFOLDER", "C:\\Other");
    EXPECT_EQ(LaunchAppAndWaitWithLog("/c reg.exe", 60000), ZEB_RC_SUCCESS);
    EXPECT_EQ(winsim::proc::Processes().back().start.directory, "C:\\HX\\bin64");

    Reload();
    winsim::msi::SetProperty("ZEBPGMFOLDER", "");
    const size_t before = Started();
    EXPECT_EQ(LaunchAppAndWaitWithLog("/c reg.exe", 60000), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***Property 'ZEBPGMFOLDER' is empty; not running '/c reg.exe'"));
    EXPECT_EQ(Started(), before);
}

TEST_F(LaunchWithLog, OutputFileFailures) {
    // Opened by nobody: traced, 1603.
    winsim::FailCall("fopen", ERROR_ACCESS_DENIED, 1, "zebt0001.txt");
    EXPECT_EQ(LaunchAppAndWaitWithLog("/c reg.exe", 60000), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***Can't open 'C:\\Temp\\zebt0001.txt'"));

    // An old file that cannot be removed would pass for this command's output.
    winsim::fs::WriteFile(kOutput, "old\r\n");
    winsim::fs::Lock(kOutput);
    const size_t before = Started();
    EXPECT_EQ(LaunchAppAndWaitWithLog("/c reg.exe", 60000), ZEB_RC_FAILURE);
    EXPECT_TRUE(TextsInOrder({"***Delete file in use: 'C:\\Temp\\zebt0001.txt'",
                              "***Can't remove the old output file 'C:\\Temp\\zebt0001.txt'"}));
    EXPECT_EQ(Started(), before);
    winsim::fs::Unlock(kOutput);

    // No temporary folder at all.
    Reload();
    SetProps({{"ZEBTEMP", ""}, {"TempFolder", ""}});
    EXPECT_EQ(LaunchAppAndWaitWithLog("/c reg.exe", 60000), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***No temporary file name for the output of '/c reg.exe'"));
    EXPECT_EQ(Started(), before);
}

} // namespace
