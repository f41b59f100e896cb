// Processes of the simulated machine: what each program does when it is started, the programs
// started so far and those still running.
//
// Finding a program (ShellExecuteExA): a name with a folder must be an existing file (2; 3 when
// its folder is missing), taken against the working folder when relative; a bare name is looked
// for in the working folder (as Wine's shell32 does), System32, Windows and each folder of PATH,
// with ".exe" added when it has no extension. A working folder that does not exist gives 267.
// Reset puts cmd.exe, reg.exe and notepad.exe in C:\Windows\System32.
//
// What a program does is its Behaviour, looked up by its full path, else by its file name; a
// program without one ends at once with exit code 0. cmd.exe runs "/c <command>" (below). reg.exe
// runs "ADD <HKLM\key> /v name [/t REG_SZ|REG_DWORD] /d data [/f]" (writing the value in the
// 64-bit view) and "FLAGS <HKLM\key> set ..." (the key must exist; exit 1 otherwise), each with
// "The operation completed successfully." on its output; anything else is "ERROR: Invalid
// syntax." with exit code 1. A
// process runs for runMs of virtual time: waits move the clock to its end, and a wait without
// limit on a program that never ends is recorded as an event "deadlock" and fails at once.
// Lock holders (Behaviour::locks) and processes living until a named event is set
// (Behaviour::untilEvent) are described with the Behaviour.
// Every start is an event "process": "'<program>' '<parameters>'; dir '<folder>'; show <n>",
// with ShellExecuteExA's SEE_MASK_* flags in its flags (0 for a program cmd starts).
//
// cmd /c: a command beginning with a quote keeps its quotes only when it has exactly two, with
// blanks and none of &<>()@^| between them, around an existing file; otherwise its first and last
// quotes go (cmd /?). Then ">f", ">>f", "1>f", "2>f", "2>&1", "1>&2" and ">NUL" are honoured in
// order, relative to the working folder, each target created (or opened to append) before the
// program runs; a target that cannot be opened gives "The system cannot find the path
// specified." (or the sharing or access message) on cmd's standard error and exit code 1. The
// program is found in the working folder, then through PATH (PATHEXT extensions tried), or by its
// path; an unknown one gives "'X' is not recognized as an internal or external command," and
// "operable program or batch file." on standard error and exit code 9009. cmd ends when its
// program ends, with its exit code. Lines cmd writes end in CRLF. The one internal command is
// "exit [/b] [N]": cmd ends with exit code N (0 without).
//
// A script (.cmd, .bat) is a program like any other: its Behaviour, by its path, gets its
// arguments and working folder in atStart, creates what it unpacks there, writes its output
// (redirected by cmd) and ends with its exit code after runMs; a wait shorter than runMs times
// out and leaves it running.
#pragma once

#include "winsim/wintypes.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace winsim::proc {

// How a process was started.
struct Start {
    std::string program{};    // full path of the file run
    std::string parameters{}; // its command line after the program
    std::string directory{};  // its working folder, a full path
    int show = 1;             // SW_* value
};

struct Behaviour {
    // ShellExecuteExA fails with this error and nothing runs (2, 5, 193 bad format, 1155...).
    DWORD launchError = 0;
    DWORD exitCode = 0;                // 259 too: then nobody can tell it from a running process
    std::optional<uint32_t> runMs = 0; // virtual run time; nullopt: runs until End
    // Written to its standard output and error as it starts, as a text-mode stream writes them
    // ("\n" becomes "\r\n"); they reach a file only through cmd's redirections.
    std::string out{};
    std::string err{};
    // Side effects. atStart runs as the process starts, before its output is written, and may
    // change exitCode, runMs, out and err from the start's arguments; it may act on the machine
    // (files, registry, locks, events) and start or end other processes. atExit runs as it ends.
    std::function<void(const Start&, Behaviour&)> atStart{};
    std::function<void(const Start&, DWORD exitCode)> atExit{};
    // Files the process holds open without sharing while it runs; a file stays locked while any
    // process (or running service) holds it.
    std::vector<std::string> locks{};
    // The process creates this named manual-reset event and runs until it is set (SetEvent or
    // SignalEvent), then ends with exitCode; runMs is then ignored.
    std::string untilEvent{};

    // Ends with this exit code after runMs (nullopt: never ends by itself).
    static Behaviour Exits(DWORD exitCode, std::optional<uint32_t> runMs = 0) {
        Behaviour b;
        b.exitCode = exitCode;
        b.runMs = runMs;
        return b;
    }
    static Behaviour FailsToStart(DWORD error) {
        Behaviour b;
        b.launchError = error;
        return b;
    }
};

// What a program does: pathOrName is a full path, or a file name ("reg.exe") for every program of
// that name that has no behaviour of its own path. Replaces an earlier one (cmd.exe's included).
void SetBehaviour(const std::string& pathOrName, const Behaviour& behaviour);
// The program file (created, with its folders, when absent) and its behaviour.
void InstallProgram(const std::string& path, const Behaviour& behaviour = Behaviour());

struct Process {
    int id = 0;
    int parent = 0; // the process that started it (cmd for its program); 0: the library's process
    Start start;
    bool running = false;
    DWORD exitCode = 259; // STILL_ACTIVE while running
    uint64_t startedMs = 0;
    uint64_t endedMs = 0;
};
// Every process started since Reset, in the order started.
std::vector<Process> Processes();
std::vector<Process> Running();
// Another party starts a process of its own (a program already running when an action starts):
// an event "process" is recorded as for any start. Returns its id.
int Run(const Start& start, const Behaviour& behaviour);
// Another party ends a running process (as TerminateProcess would); false when it is not running.
bool End(int id, DWORD exitCode);

} // namespace winsim::proc
