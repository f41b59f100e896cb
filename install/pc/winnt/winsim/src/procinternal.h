// Processes of the simulated machine, shared by the process table (processes.cpp) and the
// simulated command interpreter (cmd.cpp).
#pragma once

#include "fsinternal.h"

#include "winsim/sim_proc.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace winsim::detail::procs {

// Where a standard stream goes: a file opened by a redirection, or nowhere (the console, NUL).
struct Sink {
    std::shared_ptr<fsys::OpenFile> file;
};

// Starts a program that was found (program is its full path): runs its behaviour's atStart,
// writes its output to the sinks and plans its end. Returns the process id. mask: the
// SEE_MASK_* flags of the start, kept in its event.
int Launch(const proc::Start& start, int parent, const Sink& out, const Sink& err, ULONG mask = 0,
           const proc::Behaviour* behaviour = nullptr);
// A file held open by a process or service: locked while any holder keeps it.
void HoldFile(const std::string& path);
void ReleaseFile(const std::string& path);
// The process whose atStart runs now (0 when none): the parent of what it starts.
int Current();
// The error ShellExecuteExA or cmd gets when starting the program (0: it starts).
DWORD LaunchError(const std::string& fullPath);
// Whether the process still runs, and its exit code once ended.
bool IsRunning(int id);
DWORD ExitCode(int id);
// The parent ends when the child does, with its exit code (cmd waiting for its program).
void EndWithChild(int child, int parent);

// Writes text as a text-mode stream does ("\n" as "\r\n"); nothing for a sink without a file.
void Write(const Sink& sink, const std::string& text);
// A full path of an existing file (not a folder).
bool IsFile(const std::string& fullPath);
// The full path with each existing name in the case it has on the drive.
std::string ActualCase(const std::string& path);
// folder + "\" + name, or name itself when it already has a drive or starts at a root.
std::string Join(const std::string& folder, const std::string& name);
// Whether the file name (after the last separator) has an extension.
bool HasExtension(const std::string& name);
// The folders of PATH, in order, empty entries left out.
std::vector<std::string> PathFolders();

// cmd.exe's behaviour: "/c <command>" (winsim/sim_proc.h).
proc::Behaviour CommandInterpreter();
// reg.exe's behaviour: ADD of one REG_SZ or REG_DWORD value, FLAGS of an existing key.
proc::Behaviour RegistryTool();

} // namespace winsim::detail::procs
