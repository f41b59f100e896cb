// Processes: program behaviours, the process table, ShellExecuteExA and GetExitCodeProcess.
#include "procinternal.h"

#include "files_model.h"

#include "winsim/kernel32.h"
#include "winsim/shell32.h"
#include "winsim/sim_fs.h"

#include <map>
#include <utility>

namespace winsim {
namespace {

using detail::Guard;
using detail::MachineLock;
namespace fsys = detail::fsys;
namespace procs = detail::procs;

struct Record {
    proc::Process info;
    std::function<void(const proc::Start&, DWORD)> atExit;
    int endsParent = 0; // a cmd waiting for this process
    std::vector<std::string> locks;
    std::string untilEvent; // canonical name
    DWORD eventExitCode = 0;
};

struct State {
    // Full paths and bare file names.
    std::map<std::string, proc::Behaviour, detail::ILess> behaviours;
    std::vector<std::shared_ptr<Record>> records; // index id - 1
    int current = 0;
    std::map<std::string, int, detail::ILess> holders; // file full path -> processes and services holding it
};

State MakeInitial() {
    State s;
    s.behaviours["cmd.exe"] = procs::CommandInterpreter();
    s.behaviours["reg.exe"] = procs::RegistryTool();
    return s;
}

State& S() {
    static State state = MakeInitial();
    return state;
}

const bool kRegistered = detail::ResetTo<S, MakeInitial>();

bool HasFolder(const std::string& s) {
    return s.find_first_of("\\/:") != std::string::npos;
}

std::string FileName(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Key(const std::string& pathOrName) {
    if (!HasFolder(pathOrName))
        return pathOrName;
    std::string full = fsys::FullPath(pathOrName.c_str());
    return full.empty() ? pathOrName : full;
}

proc::Behaviour BehaviourOf(const std::string& fullPath) {
    const auto& known = S().behaviours;
    auto it = known.find(Key(fullPath));
    if (it == known.end())
        it = known.find(FileName(fullPath));
    return it == known.end() ? proc::Behaviour() : it->second;
}

std::shared_ptr<Record> FindRecord(int id) {
    const auto& records = S().records;
    return id >= 1 && static_cast<size_t>(id) <= records.size() ? records[static_cast<size_t>(id) - 1]
                                                                : nullptr;
}

void EndRecord(Record& r, DWORD exitCode) {
    if (!r.info.running)
        return;
    r.info.running = false;
    r.info.exitCode = exitCode;
    r.info.endedMs = NowMs();
    for (const std::string& f : r.locks)
        procs::ReleaseFile(f);
    if (!r.untilEvent.empty()) {
        bool others = false;
        for (const auto& other : S().records)
            others = others || (other->info.running && other->untilEvent == r.untilEvent);
        if (!others)
            ReleaseNamed(r.untilEvent);
    }
    auto atExit = std::move(r.atExit);
    if (atExit)
        atExit(r.info.start, exitCode);
    if (auto parent = FindRecord(r.endsParent))
        EndRecord(*parent, exitCode);
}

struct ProcessHandle : detail::KernelObject {
    std::shared_ptr<Record> record;
    bool Waitable() const override { return true; }
    bool Signaled() const override { return !record->info.running; }
    std::string Describe() const override { return "process '" + record->info.start.program + "'"; }
};

// A name with a folder must be there; a bare name is searched for as Wine's shell32 searches.
DWORD FindProgram(const std::string& file, const std::string& directory, std::string& fullPath) {
    if (HasFolder(file)) {
        fsys::Path p;
        fsys::Loc loc;
        if (DWORD error = fsys::Resolve(procs::Join(directory, file).c_str(), p, loc))
            return error;
        if (!loc.node || loc.node->dir)
            return ERROR_FILE_NOT_FOUND;
        fullPath = procs::ActualCase(p.Full());
        return ERROR_SUCCESS;
    }
    const std::string name = procs::HasExtension(file) ? file : file + ".exe";
    std::vector<std::string> folders = {directory, "C:\\Windows\\System32", "C:\\Windows"};
    for (const std::string& folder : procs::PathFolders())
        folders.push_back(folder);
    for (const std::string& folder : folders) {
        const std::string candidate = procs::Join(folder, name);
        if (procs::IsFile(candidate)) {
            fullPath = procs::ActualCase(candidate);
            return ERROR_SUCCESS;
        }
    }
    return ERROR_FILE_NOT_FOUND;
}

HINSTANCE InstApp(DWORD error) {
    UINT_PTR code = 0;
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
        code = SE_ERR_FNF;
        break;
    case ERROR_PATH_NOT_FOUND:
        code = SE_ERR_PNF;
        break;
    case ERROR_ACCESS_DENIED:
        code = SE_ERR_ACCESSDENIED;
        break;
    case ERROR_BAD_EXE_FORMAT:
        code = ERROR_BAD_FORMAT;
        break;
    case ERROR_NO_ASSOCIATION:
        code = SE_ERR_NOASSOC;
        break;
    default:
        code = SE_ERR_OOM;
        break;
    }
    return reinterpret_cast<HINSTANCE>(code);
}

} // namespace

// ---- internal interface -----------------------------------------------------------------------

namespace detail::procs {

int Launch(const proc::Start& start, int parent, const Sink& out, const Sink& err, ULONG mask,
           const proc::Behaviour* behaviour) {
    Guard g(MachineLock());
    proc::Behaviour b = behaviour ? *behaviour : BehaviourOf(start.program);
    auto record = std::make_shared<Record>();
    record->info.id = static_cast<int>(S().records.size()) + 1;
    record->info.parent = parent;
    record->info.start = start;
    record->info.running = true;
    record->info.exitCode = STILL_ACTIVE;
    record->info.startedMs = NowMs();
    S().records.push_back(record);
    const int id = record->info.id;
    RecordEvent(Event{"process",
                      "'" + start.program + "' '" + start.parameters + "'; dir '" + start.directory +
                          "'; show " + std::to_string(start.show),
                      "", mask, 0});

    const int outer = S().current;
    S().current = id;
    if (b.atStart)
        b.atStart(start, b);
    S().current = outer;
    Write(out, b.out);
    Write(err, b.err);

    record->atExit = b.atExit;
    for (const std::string& f : b.locks) {
        const std::string full = Key(f);
        record->locks.push_back(full);
        HoldFile(full);
    }
    if (!b.untilEvent.empty()) {
        record->untilEvent = b.untilEvent.rfind("Local\\", 0) == 0 ? b.untilEvent.substr(6) : b.untilEvent;
        record->eventExitCode = b.exitCode;
        if (EventSignaled(record->untilEvent).value_or(false)) {
            EndRecord(*record, b.exitCode);
            return id;
        }
        HoldEvent(record->untilEvent, true, false);
        return id; // runs until the event is set
    }
    if (!b.runMs)
        return id; // runs until someone ends it
    if (*b.runMs == 0) {
        EndRecord(*record, b.exitCode);
    } else {
        std::weak_ptr<Record> weak = record;
        const DWORD exitCode = b.exitCode;
        AtTime(NowMs() + *b.runMs, [weak, exitCode] {
            if (auto r = weak.lock())
                EndRecord(*r, exitCode);
        });
    }
    return id;
}

void HoldFile(const std::string& path) {
    Guard g(MachineLock());
    if (S().holders[path]++ == 0)
        fs::Lock(path);
}

void ReleaseFile(const std::string& path) {
    Guard g(MachineLock());
    auto it = S().holders.find(path);
    if (it == S().holders.end())
        return;
    if (--it->second <= 0) {
        S().holders.erase(it);
        fs::Unlock(path);
    }
}

int Current() {
    Guard g(MachineLock());
    return S().current;
}

bool IsRunning(int id) {
    Guard g(MachineLock());
    auto r = FindRecord(id);
    return r && r->info.running;
}

DWORD ExitCode(int id) {
    Guard g(MachineLock());
    auto r = FindRecord(id);
    return r ? r->info.exitCode : STILL_ACTIVE;
}

void EndWithChild(int child, int parent) {
    Guard g(MachineLock());
    if (auto r = FindRecord(child))
        r->endsParent = parent;
}

DWORD LaunchError(const std::string& fullPath) {
    Guard g(MachineLock());
    return BehaviourOf(fullPath).launchError;
}

void Write(const Sink& sink, const std::string& text) {
    if (!sink.file || text.empty())
        return;
    std::string raw;
    raw.reserve(text.size() + text.size() / 8);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            raw += '\r';
        raw += text[i];
    }
    // A full disk loses the output, as it would for the program.
    (void)fsys::Write(*sink.file, raw.data(), raw.size());
}

bool IsFile(const std::string& fullPath) {
    Guard g(MachineLock());
    auto node = fsys::Find(fullPath);
    return node && !node->dir;
}

std::string ActualCase(const std::string& path) {
    Guard g(MachineLock());
    fsys::Path p;
    const fsys::Drive* drive = fsys::Parse(path.c_str(), p) == 0 ? fsys::DriveNamed(p.drive) : nullptr;
    if (!drive)
        return path;
    std::string out = std::string(1, p.drive) + ":";
    std::shared_ptr<fsys::Node> cur = drive->root;
    for (const std::string& part : p.parts) {
        cur = cur ? fsys::Child(*cur, part) : nullptr;
        out += "\\" + (cur ? cur->name : part);
    }
    return p.parts.empty() ? out + "\\" : out;
}

std::string Join(const std::string& folder, const std::string& name) {
    const bool rooted =
        (name.size() >= 2 && name[1] == ':') || (!name.empty() && (name[0] == '\\' || name[0] == '/'));
    if (rooted || folder.empty())
        return name;
    const char last = folder.back();
    return last == '\\' || last == '/' ? folder + name : folder + "\\" + name;
}

bool HasExtension(const std::string& name) {
    const size_t slash = name.find_last_of("\\/");
    const size_t dot = name.find_last_of('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash) && dot + 1 < name.size();
}

std::vector<std::string> PathFolders() {
    std::vector<std::string> folders;
    const std::string path = Env("PATH").value_or("");
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(';', start);
        if (end == std::string::npos)
            end = path.size();
        std::string folder = path.substr(start, end - start);
        if (folder.size() >= 2 && folder.front() == '"' && folder.back() == '"')
            folder = folder.substr(1, folder.size() - 2);
        if (!folder.empty())
            folders.push_back(folder);
        start = end + 1;
    }
    return folders;
}

} // namespace detail::procs

namespace detail {

void EventWasSet(const std::string& canonicalName) {
    Guard g(MachineLock());
    std::vector<std::shared_ptr<Record>> waiting;
    for (const auto& r : S().records)
        if (r->info.running && r->untilEvent == canonicalName)
            waiting.push_back(r);
    for (const auto& r : waiting)
        EndRecord(*r, r->eventExitCode);
}

} // namespace detail

// ---- fixture API -------------------------------------------------------------------------------

namespace proc {

void SetBehaviour(const std::string& pathOrName, const Behaviour& behaviour) {
    Guard g(MachineLock());
    S().behaviours[Key(pathOrName)] = behaviour;
}

void InstallProgram(const std::string& path, const Behaviour& behaviour) {
    Guard g(MachineLock());
    if (!fs::Exists(path))
        fs::WriteFile(path, "MZ");
    SetBehaviour(path, behaviour);
}

std::vector<Process> Processes() {
    Guard g(MachineLock());
    std::vector<Process> out;
    for (const auto& r : S().records)
        out.push_back(r->info);
    return out;
}

std::vector<Process> Running() {
    Guard g(MachineLock());
    std::vector<Process> out;
    for (const auto& r : S().records)
        if (r->info.running)
            out.push_back(r->info);
    return out;
}

int Run(const Start& start, const Behaviour& behaviour) {
    Guard g(MachineLock());
    Start full = start;
    full.program = Key(start.program);
    if (full.directory.empty()) {
        const size_t slash = full.program.find_last_of('\\');
        full.directory = slash == std::string::npos ? fsys::S().cwd : full.program.substr(0, slash);
    }
    return procs::Launch(full, 0, procs::Sink(), procs::Sink(), 0, &behaviour);
}

bool End(int id, DWORD exitCode) {
    Guard g(MachineLock());
    auto r = FindRecord(id);
    if (!r || !r->info.running)
        return false;
    EndRecord(*r, exitCode);
    return true;
}

} // namespace proc
} // namespace winsim

using namespace winsim;

// ---- shell32 and kernel32 ----------------------------------------------------------------------

BOOL WINAPI ShellExecuteExA(SHELLEXECUTEINFOA* pExecInfo) {
    Guard g(MachineLock());
    if (detail::Fail("ShellExecuteExA", pExecInfo ? pExecInfo->lpFile : nullptr)) {
        if (pExecInfo) {
            pExecInfo->hInstApp = InstApp(GetLastError());
            pExecInfo->hProcess = nullptr;
        }
        return FALSE;
    }
    if (!pExecInfo || pExecInfo->cbSize != sizeof(SHELLEXECUTEINFOA)) {
        detail::SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    SHELLEXECUTEINFOA& sei = *pExecInfo;
    sei.hProcess = nullptr;
    auto fail = [&sei](DWORD error) {
        sei.hInstApp = InstApp(error);
        detail::SetError(error);
        return FALSE;
    };
    if (sei.lpVerb && *sei.lpVerb && !detail::IEquals(sei.lpVerb, "open"))
        return fail(ERROR_NO_ASSOCIATION);

    std::string file = sei.lpFile ? sei.lpFile : "";
    if (file.size() >= 2 && file.front() == '"' && file.back() == '"')
        file = file.substr(1, file.size() - 2);
    if (file.empty())
        return fail(ERROR_FILE_NOT_FOUND);

    std::string directory = fsys::S().cwd;
    if (sei.lpDirectory && *sei.lpDirectory) {
        fsys::Path p;
        fsys::Loc loc;
        if (fsys::Resolve(sei.lpDirectory, p, loc) != 0 || !loc.node || !loc.node->dir)
            return fail(ERROR_DIRECTORY);
        directory = p.Full();
    }
    std::string program;
    if (DWORD error = FindProgram(file, directory, program))
        return fail(error);
    if (DWORD error = procs::LaunchError(program))
        return fail(error);

    const int id =
        procs::Launch(proc::Start{program, sei.lpParameters ? sei.lpParameters : "", directory, sei.nShow}, 0,
                      procs::Sink(), procs::Sink(), sei.fMask);
    if (sei.fMask & SEE_MASK_NOCLOSEPROCESS) {
        auto handle = std::make_shared<ProcessHandle>();
        handle->record = FindRecord(id);
        sei.hProcess = detail::AddHandle(handle);
    }
    sei.hInstApp = reinterpret_cast<HINSTANCE>(static_cast<UINT_PTR>(42));
    return TRUE;
}

BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
    Guard g(MachineLock());
    if (detail::Fail("GetExitCodeProcess"))
        return FALSE;
    if (hProcess == GetCurrentProcess()) {
        if (lpExitCode)
            *lpExitCode = STILL_ACTIVE;
        return lpExitCode != nullptr;
    }
    auto handle = detail::Lookup<ProcessHandle>(hProcess);
    if (!handle) {
        detail::SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!lpExitCode) {
        detail::SetError(ERROR_NOACCESS);
        return FALSE;
    }
    *lpExitCode =
        handle->record->info.running ? static_cast<DWORD>(STILL_ACTIVE) : handle->record->info.exitCode;
    return TRUE;
}
