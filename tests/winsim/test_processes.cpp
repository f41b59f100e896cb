// Processes: how ShellExecuteExA finds a program, what a program's behaviour does over virtual
// time, exit codes and waits, and the simulated cmd /c with its redirections.
#include <gtest/gtest.h>
#include <shellapi.h>
#include <windows.h>
#include <winsim/sim.h>

#include <string>
#include <vector>

namespace {

using winsim::proc::Behaviour;

class Processes : public ::testing::Test {
  protected:
    void SetUp() override { winsim::Reset(); }
    void TearDown() override { EXPECT_EQ(winsim::OpenHandleCount(), 0); }

    // ShellExecuteExA "open" with the process handle requested; the error (0 on success).
    static DWORD Run(const char* file, const char* parameters = nullptr, const char* directory = nullptr,
                     HANDLE* process = nullptr, int show = SW_SHOW) {
        SHELLEXECUTEINFOA sei = {};
        sei.cbSize = sizeof(sei);
        sei.fMask = SEE_MASK_NOCLOSEPROCESS;
        sei.lpVerb = "Open";
        sei.lpFile = file;
        sei.lpParameters = parameters;
        sei.lpDirectory = directory;
        sei.nShow = show;
        if (!ShellExecuteExA(&sei)) {
            EXPECT_EQ(sei.hProcess, nullptr);
            EXPECT_LE(reinterpret_cast<UINT_PTR>(sei.hInstApp), 32u);
            return GetLastError();
        }
        EXPECT_GT(reinterpret_cast<UINT_PTR>(sei.hInstApp), 32u);
        if (process)
            *process = sei.hProcess;
        else
            CloseHandle(sei.hProcess);
        return 0;
    }

    // The program of the last process started.
    static std::string LastProgram() {
        auto all = winsim::proc::Processes();
        return all.empty() ? "" : all.back().start.program;
    }

    // Runs "cmd <parameters>" in a folder to its end; cmd's exit code.
    static DWORD Cmd(const std::string& parameters, const char* directory = "C:\\Temp") {
        HANDLE h = nullptr;
        EXPECT_EQ(Run("cmd", parameters.c_str(), directory, &h), 0u);
        EXPECT_EQ(WaitForSingleObject(h, 60000), WAIT_OBJECT_0);
        DWORD code = 0;
        EXPECT_TRUE(GetExitCodeProcess(h, &code));
        CloseHandle(h);
        return code;
    }

    static std::string File(const std::string& path) {
        return winsim::fs::ReadFile(path).value_or("<absent>");
    }
};

TEST_F(Processes, LookupOfPathsAndBareNames) {
    winsim::fs::MakeDirs("C:\\HX\\bin64");
    winsim::proc::InstallProgram("C:\\HX\\bin64\\tool.exe");
    winsim::proc::InstallProgram("C:\\HX\\bin64\\reg.exe"); // shadows System32's in that folder

    // A name with a folder: the file must be there.
    EXPECT_EQ(Run("C:\\HX\\bin64\\tool.exe"), 0u);
    EXPECT_EQ(LastProgram(), "C:\\HX\\bin64\\tool.exe");
    EXPECT_EQ(Run("C:\\HX\\bin64\\missing.exe"), (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Run("C:\\nowhere\\tool.exe"), (DWORD)ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(Run("C:\\HX\\bin64"), (DWORD)ERROR_FILE_NOT_FOUND) << "a folder is no program";
    EXPECT_EQ(Run("\"C:\\HX\\bin64\\tool.exe\""), 0u) << "quotes around the file are taken off";
    EXPECT_EQ(Run("bin64\\tool.exe", nullptr, "C:\\HX"), 0u) << "relative to the working folder";

    // A bare name: working folder, System32, Windows, PATH; ".exe" added.
    EXPECT_EQ(Run("reg", nullptr, "C:\\HX\\bin64"), 0u);
    EXPECT_EQ(LastProgram(), "C:\\HX\\bin64\\reg.exe");
    EXPECT_EQ(Run("reg.exe", nullptr, "C:\\Temp"), 0u);
    EXPECT_EQ(LastProgram(), "C:\\Windows\\System32\\reg.exe");
    EXPECT_EQ(Run("Notepad.exe"), 0u);
    EXPECT_EQ(winsim::proc::Processes().back().start.directory, "C:\\Windows\\System32") << "current folder";
    EXPECT_EQ(Run("tool"), (DWORD)ERROR_FILE_NOT_FOUND);
    winsim::SetEnv("PATH", "C:\\Windows\\system32;;C:\\HX\\bin64");
    EXPECT_EQ(Run("tool"), 0u);
    EXPECT_EQ(LastProgram(), "C:\\HX\\bin64\\tool.exe");

    EXPECT_EQ(Run("reg.exe", nullptr, "C:\\nowhere"), (DWORD)ERROR_DIRECTORY);
    SHELLEXECUTEINFOA sei = {};
    sei.cbSize = sizeof(sei);
    sei.lpVerb = "print";
    sei.lpFile = "reg.exe";
    EXPECT_FALSE(ShellExecuteExA(&sei));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_ASSOCIATION);
    sei.lpVerb = nullptr;
    sei.cbSize = 0;
    EXPECT_FALSE(ShellExecuteExA(&sei));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
}

TEST_F(Processes, RunTimeExitCodeAndWaits) {
    Behaviour slow;
    slow.exitCode = 5;
    slow.runMs = 3000;
    winsim::proc::InstallProgram("C:\\HX\\slow.exe", slow);
    HANDLE h = nullptr;
    ASSERT_EQ(Run("C:\\HX\\slow.exe", nullptr, nullptr, &h), 0u);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(h, &code));
    EXPECT_EQ(code, (DWORD)STILL_ACTIVE);
    EXPECT_EQ(WaitForSingleObject(h, 1000), (DWORD)WAIT_TIMEOUT);
    EXPECT_EQ(winsim::NowMs(), 1000u);
    EXPECT_EQ(WaitForSingleObject(h, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(winsim::NowMs(), 3000u) << "the wait ends when the program does";
    EXPECT_TRUE(GetExitCodeProcess(h, &code));
    EXPECT_EQ(code, 5u);
    EXPECT_EQ(winsim::OpenHandleCount(), 1) << "process handles count";
    CloseHandle(h);
    EXPECT_EQ(winsim::proc::Processes()[0].endedMs, 3000u);
    EXPECT_FALSE(GetExitCodeProcess(h, &code));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
}

TEST_F(Processes, ANeverEndingProgramOutlivesWaitsUntilEnded) {
    winsim::proc::InstallProgram("C:\\HX\\hang.exe", Behaviour::Exits(0, std::nullopt));
    HANDLE h = nullptr;
    ASSERT_EQ(Run("C:\\HX\\hang.exe", nullptr, nullptr, &h), 0u);
    EXPECT_EQ(WaitForSingleObject(h, 120000), (DWORD)WAIT_TIMEOUT);
    EXPECT_TRUE(winsim::Events().size() == 1) << "no deadlock for a limited wait";
    // A wait without limit would hang Windows: a loud setup error instead.
    EXPECT_EQ(WaitForSingleObject(h, INFINITE), WAIT_FAILED);
    ASSERT_EQ(winsim::Events().back().kind, "deadlock");
    EXPECT_NE(winsim::Events().back().text.find("process 'C:\\HX\\hang.exe'"), std::string::npos);
    ASSERT_EQ(winsim::proc::Running().size(), 1u);

    // Another process ending it, later in virtual time.
    const int id = winsim::proc::Running()[0].id;
    winsim::AtTime(200000, [id] { winsim::proc::End(id, 7); });
    EXPECT_EQ(WaitForSingleObject(h, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(winsim::NowMs(), 200000u);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(h, &code));
    EXPECT_EQ(code, 7u);
    EXPECT_FALSE(winsim::proc::End(id, 8)) << "it has ended";
    CloseHandle(h);
}

TEST_F(Processes, SideEffectsAtStartAndExit) {
    Behaviour holder;
    holder.runMs = 2000;
    holder.atStart = [](const winsim::proc::Start& s, Behaviour& self) {
        winsim::fs::Lock("C:\\HX\\data.bin");
        self.exitCode = s.parameters == "-fail" ? 3 : 0;
    };
    holder.atExit = [](const winsim::proc::Start&, DWORD code) {
        winsim::fs::Unlock("C:\\HX\\data.bin");
        winsim::fs::WriteFile("C:\\HX\\exit.txt", std::to_string(code));
    };
    winsim::fs::WriteFile("C:\\HX\\data.bin", "x");
    winsim::proc::InstallProgram("C:\\HX\\holder.exe", holder);
    // A behaviour of its own path wins over one of its file name.
    winsim::proc::SetBehaviour("holder.exe", Behaviour::FailsToStart(ERROR_ACCESS_DENIED));

    HANDLE h = nullptr;
    ASSERT_EQ(Run("C:\\HX\\holder.exe", "-fail", nullptr, &h), 0u);
    EXPECT_FALSE(DeleteFileA("C:\\HX\\data.bin"));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SHARING_VIOLATION);
    EXPECT_EQ(File("C:\\HX\\exit.txt"), "<absent>");
    Sleep(2000); // ends without anyone waiting for it
    EXPECT_EQ(File("C:\\HX\\exit.txt"), "3");
    EXPECT_TRUE(DeleteFileA("C:\\HX\\data.bin"));
    CloseHandle(h);
}

TEST_F(Processes, CmdRedirectsBothStreamsIntoOneFile) {
    Behaviour tool;
    tool.out = "line 1\nline 2\n";
    tool.err = "oops\n";
    tool.exitCode = 4;
    tool.atStart = [](const winsim::proc::Start& s, Behaviour&) {
        // The redirection's file is there before the program runs.
        winsim::fs::WriteFile("C:\\Temp\\seen.txt",
                              winsim::fs::Exists("C:\\Temp\\out.txt") ? s.parameters : "none");
    };
    winsim::proc::InstallProgram("C:\\HX\\bin64\\tool.exe", tool);
    winsim::fs::WriteFile("C:\\Temp\\out.txt", "stale");

    EXPECT_EQ(Cmd("/c tool.exe -i -f 1>\"C:\\Temp\\out.txt\" 2>&1", "C:\\HX\\bin64"), 4u);
    EXPECT_EQ(File("C:\\Temp\\out.txt"), "line 1\r\nline 2\r\noops\r\n");
    EXPECT_EQ(File("C:\\Temp\\seen.txt"), "-i -f");
    // cmd and its program, each a process.
    auto all = winsim::proc::Processes();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[1].start.program, "C:\\HX\\bin64\\tool.exe");
    EXPECT_EQ(all[1].parent, all[0].id);

    // Order counts: standard error copied before standard output moves goes to the console.
    EXPECT_EQ(Cmd("/c tool 2>&1 >out.txt", "C:\\HX\\bin64"), 4u);
    EXPECT_EQ(File("C:\\HX\\bin64\\out.txt"), "line 1\r\nline 2\r\n");
    EXPECT_EQ(Cmd("/c tool 2>>out.txt >NUL", "C:\\HX\\bin64"), 4u);
    EXPECT_EQ(File("C:\\HX\\bin64\\out.txt"), "line 1\r\nline 2\r\noops\r\n");
}

TEST_F(Processes, CmdFailuresAndSearch) {
    // An unknown program: the message on standard error, 9009.
    EXPECT_EQ(Cmd("/c nosuch.exe -x >\"C:\\Temp\\o.txt\" 2>&1"), 9009u);
    EXPECT_EQ(File("C:\\Temp\\o.txt"),
              "'nosuch.exe' is not recognized as an internal or external command,\r\n"
              "operable program or batch file.\r\n");
    // A redirection into a missing folder: the program does not run, exit code 1.
    EXPECT_EQ(Cmd("/c reg.exe 2>\"C:\\Temp\\e.txt\" 1>\"C:\\nowhere\\o.txt\""), 1u);
    EXPECT_EQ(File("C:\\Temp\\e.txt"), "The system cannot find the path specified.\r\n");
    EXPECT_EQ(winsim::proc::Processes().size(), 2u) << "only the two cmds ran";
    winsim::fs::Lock("C:\\Temp\\o.txt");
    EXPECT_EQ(Cmd("/c reg.exe 2>\"C:\\Temp\\e.txt\" 1>\"C:\\Temp\\o.txt\""), 1u);
    EXPECT_EQ(File("C:\\Temp\\e.txt"),
              "The process cannot access the file because it is being used by another process.\r\n");

    // The working folder before PATH, extensions of PATHEXT tried.
    winsim::proc::InstallProgram("C:\\Temp\\reg.exe", Behaviour::Exits(11));
    EXPECT_EQ(Cmd("/c reg ADD"), 11u);
    EXPECT_EQ(Cmd("/c reg ADD", "C:\\Windows"), 1u); // System32's, which wants a key
    EXPECT_EQ(Cmd("/c reg ADD HKLM\\SOFTWARE\\X /v N /t REG_DWORD /d 7 /f", "C:\\Windows"), 0u);
    EXPECT_EQ(winsim::reg::GetValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\X", "N")->data,
              std::string("\x07\0\0\0", 4));
    EXPECT_EQ(Cmd("/c reg FLAGS HKLM\\SOFTWARE\\Nowhere set DONT_VIRTUALIZE", "C:\\Windows"), 1u);
    EXPECT_EQ(Cmd("/C \"C:\\Temp\\reg.exe\""), 11u);
}

TEST_F(Processes, CmdQuoteRuleAndWaitingForItsProgram) {
    Behaviour slow;
    slow.runMs = 5000;
    slow.exitCode = 2;
    slow.atStart = [](const winsim::proc::Start& s, Behaviour&) {
        winsim::fs::WriteFile("C:\\Temp\\args.txt", s.parameters);
    };
    winsim::proc::InstallProgram("C:\\Program Files\\HX\\a b.exe", slow);

    // Two quotes around an existing program with a blank: kept.
    HANDLE h = nullptr;
    ASSERT_EQ(Run("cmd", "/c \"C:\\Program Files\\HX\\a b.exe\"", "C:\\Temp", &h), 0u);
    EXPECT_EQ(WaitForSingleObject(h, 1000), (DWORD)WAIT_TIMEOUT) << "cmd runs as long as its program";
    EXPECT_EQ(WaitForSingleObject(h, INFINITE), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(h, &code));
    EXPECT_EQ(code, 2u);
    EXPECT_EQ(winsim::NowMs(), 5000u);
    CloseHandle(h);
    EXPECT_EQ(File("C:\\Temp\\args.txt"), "");

    // More quotes: the first and last go, so a whole command in quotes runs.
    EXPECT_EQ(Cmd("/c \"\"C:\\Program Files\\HX\\a b.exe\" x \"y z\" >log.txt\""), 2u);
    EXPECT_EQ(File("C:\\Temp\\args.txt"), "x \"y z\"");
    EXPECT_TRUE(winsim::fs::Exists("C:\\Temp\\log.txt"));
    // Without the outer pair the first and last quotes are lost: the program is not found.
    EXPECT_EQ(Cmd("/c \"C:\\Program Files\\HX\\a b.exe\" \"x\""), 9009u);

    // No /c: cmd waits for input and never ends.
    ASSERT_EQ(Run("cmd", "/q", nullptr, &h), 0u);
    EXPECT_EQ(WaitForSingleObject(h, 60000), (DWORD)WAIT_TIMEOUT);
    CloseHandle(h);
    EXPECT_EQ(winsim::proc::Running().size(), 1u);
}

TEST_F(Processes, CmdExitSetsTheExitCodeAndQuotedScriptsInSpecialFolders) {
    EXPECT_EQ(Cmd("/c exit /b 1001"), 1001u);
    EXPECT_EQ(Cmd("/c EXIT 7 >NUL"), 7u);
    EXPECT_EQ(Cmd("/c exit"), 0u);
    EXPECT_EQ(winsim::proc::Processes().size(), 3u) << "exit starts no program";

    // A script in a folder holding & and ( keeps its quotes only inside an outer pair.
    winsim::proc::InstallProgram("C:\\R&D (x)\\s.cmd", winsim::proc::Behaviour::Exits(3));
    EXPECT_EQ(Cmd("/c \"\"C:\\R&D (x)\\s.cmd\" a >log.txt 2>&1\""), 3u);
    EXPECT_EQ(winsim::proc::Processes().back().start.parameters, "a");
    EXPECT_TRUE(winsim::fs::Exists("C:\\Temp\\log.txt"));
}

} // namespace
