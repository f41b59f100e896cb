// Modules: simulated files mapped to host shared objects (each load of a path its own copy),
// string-table data files, and the system's own modules.
#include "fsinternal.h"

#include "winsim/kernel32.h"
#include "winsim/user32.h"
#include "winsim/sim_fs.h"
#include "winsim/sspi.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>

namespace winsim {
namespace {

using detail::Guard;

constexpr char kStringsMagic[] = "WINSIM-STRINGS";
constexpr uintptr_t kExeBase = 0x140000000u;
constexpr char kExePath[] = "C:\\Windows\\System32\\msiexec.exe";

typedef BOOL (*DllMainProc)(HINSTANCE, DWORD, LPVOID);

struct Module {
    std::string path; // simulated full path
    bool datafile = false;
    int refs = 1;
    void* dl = nullptr;
    int fd = -1; // the memfd behind dl: kept open, as the loader knows copies by their path
    std::map<unsigned, std::string> strings;
};

struct SystemModule {
    uintptr_t base = 0;
    std::map<std::string, FARPROC> overrides; // nullptr: export removed
    bool counted = false; // loads of it count in ModuleLoads (a module the library must free)
    int loads = 0;
};

struct State {
    std::map<uintptr_t, Module> modules;
    uintptr_t nextBase = 0x180000000u;
    std::map<std::string, SystemModule> system; // by lower-case file name
    uintptr_t nextSystemBase = 0x7FF800000000u;
};

State MakeInitial() {
    State s;
    for (const char* name : {"kernel32.dll", "advapi32.dll", "user32.dll"}) {
        s.system[name].base = s.nextSystemBase;
        s.nextSystemBase += 0x1000000;
    }
    SystemModule& schannel = s.system["schannel.dll"];
    schannel.base = s.nextSystemBase;
    s.nextSystemBase += 0x1000000;
    schannel.overrides[SECURITY_ENTRYPOINT_ANSIA] = detail::SchannelEntryPoint();
    schannel.counted = true;
    return s;
}

State& S() {
    static State state = MakeInitial();
    return state;
}

const bool kRegistered = detail::ResetTo<S, MakeInitial>();

// The library's exported cancel flag (its CANCEL section on Windows).
constexpr char kCancelSymbol[] = "g_lCancel";

volatile LONG* ProgramFlag() {
    return static_cast<volatile LONG*>(dlsym(RTLD_DEFAULT, kCancelSymbol));
}

// A fresh process: the copy linked into the program starts with the flag clear.
const bool kProgramFlagRegistered = [] {
    detail::OnReset([] {
        if (volatile LONG* flag = ProgramFlag())
            *flag = 0;
    });
    return true;
}();

std::string Unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
    }
    return out;
}

bool ParseStrings(const std::string& text, std::map<unsigned, std::string>& out) {
    if (text.compare(0, sizeof(kStringsMagic) - 1, kStringsMagic) != 0)
        return false;
    size_t pos = text.find('\n');
    while (pos != std::string::npos && pos < text.size()) {
        size_t end = text.find('\n', pos + 1);
        std::string line = text.substr(pos + 1, end == std::string::npos ? std::string::npos : end - pos - 1);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t tab = line.find('\t');
        if (tab != std::string::npos && tab > 0)
            out[static_cast<unsigned>(std::strtoul(line.substr(0, tab).c_str(), nullptr, 10))] =
                Unescape(line.substr(tab + 1));
        pos = end;
    }
    return true;
}

// "kernel32" and "KERNEL32.DLL" name the same module; a name without extension gets ".dll".
std::string ModuleFileName(std::string name) {
    const size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos)
        name = name.substr(slash + 1);
    if (name.find('.') == std::string::npos)
        name += ".dll";
    else if (!name.empty() && name.back() == '.')
        name.pop_back(); // a trailing dot means "no extension"
    return detail::Lower(name);
}

bool HasPath(const std::string& name) {
    return name.find_first_of("\\/:") != std::string::npos;
}

// Where a module name leads: a path as it stands, a bare name through the search path.
std::vector<std::string> Candidates(const std::string& name) {
    std::string file = name;
    const size_t slash = file.find_last_of("\\/");
    if (file.find('.', slash == std::string::npos ? 0 : slash) == std::string::npos)
        file += ".dll";
    if (HasPath(name))
        return {file};
    return {"C:\\Windows\\System32\\" + file, "C:\\Windows\\" + file, "C:\\Windows\\System32\\" + file};
}

void* SelfHandle() {
    static void* self = [] {
        Dl_info info{};
        if (!dladdr(reinterpret_cast<void*>(&ModuleFileName), &info) || !info.dli_fname)
            return static_cast<void*>(nullptr);
        return dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
    }();
    return self;
}

HMODULE ToHandle(uintptr_t base) {
    return reinterpret_cast<HMODULE>(base);
}

Module* FindModule(HMODULE h) {
    auto it = S().modules.find(reinterpret_cast<uintptr_t>(h));
    return it == S().modules.end() ? nullptr : &it->second;
}

SystemModule* FindSystem(HMODULE h, std::string* name = nullptr) {
    for (auto& [n, m] : S().system)
        if (m.base == reinterpret_cast<uintptr_t>(h)) {
            if (name)
                *name = n;
            return &m;
        }
    return nullptr;
}

void* OpenCopy(const std::string& host, const std::string& simPath, int& fdOut, std::string& why) {
    const int in = ::open(host.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (in < 0 || ::fstat(in, &st) != 0) {
        if (in >= 0)
            ::close(in);
        why = "cannot read " + host;
        return nullptr;
    }
    const int fd = memfd_create(ModuleFileName(simPath).c_str(), MFD_CLOEXEC);
    if (fd < 0) {
        ::close(in);
        why = "memfd_create failed";
        return nullptr;
    }
    // Copied in the kernel: tests load a fresh copy for every action they run.
    off_t done = 0;
    while (done < st.st_size) {
        const ssize_t n = ::sendfile(fd, in, &done, static_cast<size_t>(st.st_size - done));
        if (n <= 0) {
            ::close(in);
            ::close(fd);
            why = "cannot copy " + host;
            return nullptr;
        }
    }
    ::close(in);
    const std::string proc = "/proc/self/fd/" + std::to_string(fd);
    void* dl = dlopen(proc.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!dl) {
        why = dlerror();
        ::close(fd);
        return nullptr;
    }
    fdOut = fd;
    return dl;
}

void CallDllMain(uintptr_t base, void* dl, DWORD reason, LPVOID reserved, BOOL* result = nullptr) {
    if (auto entry = reinterpret_cast<DllMainProc>(dlsym(dl, "DllMain"))) {
        const BOOL r = entry(reinterpret_cast<HINSTANCE>(base), reason, reserved);
        if (result)
            *result = r;
    }
}

HMODULE LoadDataFile(const std::string& name) {
    detail::fsys::FileImage image;
    DWORD error = ERROR_FILE_NOT_FOUND;
    for (const auto& path : Candidates(name)) {
        error = detail::fsys::ReadImage(path.c_str(), image);
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
            break;
    }
    if (error) {
        detail::SetError(error);
        return nullptr;
    }
    Module m;
    m.path = image.fullPath;
    m.datafile = true;
    if (!ParseStrings(image.data, m.strings) && image.data.compare(0, 2, "MZ") != 0) {
        detail::SetError(ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    const uintptr_t base = S().nextBase;
    S().nextBase += 0x100000;
    S().modules[base | 1] = std::move(m);
    return ToHandle(base | 1);
}

HMODULE LoadCode(const std::string& name) {
    if (!HasPath(name)) {
        auto sys = S().system.find(ModuleFileName(name));
        if (sys != S().system.end()) {
            if (sys->second.counted)
                ++sys->second.loads;
            return ToHandle(sys->second.base);
        }
    }
    detail::fsys::FileImage image;
    DWORD error = ERROR_FILE_NOT_FOUND;
    for (const auto& path : Candidates(name)) {
        // Already loaded from that path (or, for a bare name, under that name): one more reference.
        const std::string full = detail::fsys::FullPath(path.c_str());
        for (auto& [base, m] : S().modules)
            if (!m.datafile && (detail::IEquals(m.path, full) ||
                                (!HasPath(name) && ModuleFileName(m.path) == ModuleFileName(name)))) {
                ++m.refs;
                return ToHandle(base);
            }
        error = detail::fsys::ReadImage(path.c_str(), image);
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
            break;
    }
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        error = ERROR_MOD_NOT_FOUND;
    if (error) {
        detail::SetError(error);
        return nullptr;
    }
    if (image.hostModule.empty()) {
        detail::SetError(ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    std::string why;
    int fd = -1;
    void* dl = OpenCopy(image.hostModule, image.fullPath, fd, why);
    if (!dl) {
        std::fprintf(stderr, "winsim: cannot load %s as %s: %s\n", image.hostModule.c_str(),
                     image.fullPath.c_str(), why.c_str());
        detail::SetError(ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    const uintptr_t base = S().nextBase;
    S().nextBase += 0x100000;
    Module m;
    m.path = image.fullPath;
    m.dl = dl;
    m.fd = fd;
    if (auto text = static_cast<const char*>(dlsym(dl, "winsim_resource_strings")))
        ParseStrings(text, m.strings);
    S().modules[base] = std::move(m);
    BOOL ok = TRUE;
    CallDllMain(base, dl, DLL_PROCESS_ATTACH, nullptr, &ok);
    if (!ok) {
        S().modules.erase(base);
        dlclose(dl);
        ::close(fd);
        detail::SetError(ERROR_DLL_INIT_FAILED);
        return nullptr;
    }
    return ToHandle(base);
}

} // namespace

namespace detail {

void UnloadAllModules() {
    std::map<uintptr_t, Module> modules;
    {
        Guard g(MachineLock());
        modules = std::move(S().modules);
        S().modules.clear();
    }
    // As at process exit: DllMain(DETACH) with a non-null reserved pointer, then unmapped.
    for (auto& [base, m] : modules)
        if (m.dl) {
            CallDllMain(base, m.dl, DLL_PROCESS_DETACH, reinterpret_cast<LPVOID>(1));
            dlclose(m.dl);
            ::close(m.fd);
        }
}

bool ModuleFileInUse(const std::string& fullPath) {
    for (const auto& [base, m] : S().modules)
        if (detail::IEquals(m.path, fullPath))
            return true;
    return false;
}

} // namespace detail

namespace fs {

std::string MakeStringTable(const std::map<unsigned, std::string>& strings) {
    std::string out = std::string(kStringsMagic) + "\n";
    for (const auto& [id, text] : strings) {
        out += std::to_string(id) + "\t";
        for (char c : text) {
            switch (c) {
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                out += c;
            }
        }
        out += "\n";
    }
    return out;
}

} // namespace fs

volatile LONG* CancelFlag(const std::string& modulePath) {
    Guard g(detail::MachineLock());
    const std::string full = detail::fsys::FullPath(modulePath.c_str());
    for (const auto& [base, m] : S().modules)
        if (m.dl && detail::IEquals(m.path, full))
            return static_cast<volatile LONG*>(dlsym(m.dl, kCancelSymbol));
    return nullptr;
}

volatile LONG* ProgramCancelFlag() {
    return ProgramFlag();
}

int SetCancelFlags(LONG value) {
    Guard g(detail::MachineLock());
    int set = 0;
    for (const auto& [base, m] : S().modules)
        if (m.dl)
            if (auto flag = static_cast<volatile LONG*>(dlsym(m.dl, kCancelSymbol))) {
                *flag = value;
                ++set;
            }
    if (volatile LONG* flag = ProgramFlag()) {
        *flag = value;
        ++set;
    }
    return set;
}

namespace fs {

int ModuleLoads() {
    Guard g(detail::MachineLock());
    int loads = 0;
    for (const auto& [base, m] : S().modules)
        loads += m.refs;
    for (const auto& [name, sys] : S().system)
        loads += sys.loads;
    return loads;
}

void SetSystemExport(const std::string& module, const std::string& name, FARPROC fn) {
    Guard g(detail::MachineLock());
    auto& sys = S().system;
    const std::string key = ModuleFileName(module);
    auto it = sys.find(key);
    if (it == sys.end()) {
        it = sys.emplace(key, SystemModule{}).first;
        it->second.base = S().nextSystemBase;
        S().nextSystemBase += 0x1000000;
    }
    it->second.overrides[name] = fn;
}

} // namespace fs
} // namespace winsim

using namespace winsim;

static HMODULE Load(LPCSTR lpLibFileName, DWORD dwFlags) {
    if (!lpLibFileName || !*lpLibFileName) {
        detail::SetError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (dwFlags &
        (LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE | LOAD_LIBRARY_AS_IMAGE_RESOURCE))
        return LoadDataFile(lpLibFileName);
    return LoadCode(lpLibFileName);
}

HMODULE WINAPI LoadLibraryExA(LPCSTR lpLibFileName, HANDLE, DWORD dwFlags) {
    Guard g(detail::MachineLock());
    if (detail::Fail("LoadLibraryExA", lpLibFileName))
        return nullptr;
    return Load(lpLibFileName, dwFlags);
}

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
    Guard g(detail::MachineLock());
    if (detail::Fail("LoadLibraryA", lpLibFileName))
        return nullptr;
    return Load(lpLibFileName, 0);
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
    Guard g(detail::MachineLock());
    if (detail::Fail("FreeLibrary"))
        return FALSE;
    if (SystemModule* sys = FindSystem(hLibModule)) {
        if (sys->counted && sys->loads > 0)
            --sys->loads;
        return TRUE;
    }
    Module* m = FindModule(hLibModule);
    if (!m) {
        const bool datafile = reinterpret_cast<uintptr_t>(hLibModule) & 1;
        detail::SetError(datafile ? ERROR_INVALID_ADDRESS : ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    if (--m->refs > 0)
        return TRUE;
    const uintptr_t base = reinterpret_cast<uintptr_t>(hLibModule);
    if (m->dl) {
        // DllMain(DETACH) runs while the module is still known (GetModuleFileNameA works in it).
        void* dl = m->dl;
        const int fd = m->fd;
        CallDllMain(base, dl, DLL_PROCESS_DETACH, nullptr);
        S().modules.erase(base);
        dlclose(dl);
        ::close(fd);
    } else {
        S().modules.erase(base);
    }
    return TRUE;
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    Guard g(detail::MachineLock());
    const bool byName = reinterpret_cast<uintptr_t>(lpProcName) > 0xFFFF;
    if (detail::Fail("GetProcAddress", byName ? lpProcName : nullptr))
        return nullptr;
    if (!byName) {
        detail::SetError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    if (!hModule || reinterpret_cast<uintptr_t>(hModule) == kExeBase) {
        detail::SetError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    if (SystemModule* sys = FindSystem(hModule)) {
        auto o = sys->overrides.find(lpProcName);
        FARPROC fn = nullptr;
        if (o != sys->overrides.end())
            fn = o->second;
        else if (SelfHandle())
            fn = reinterpret_cast<FARPROC>(dlsym(SelfHandle(), lpProcName));
        // Only the three built-in modules export the simulated functions.
        std::string name;
        FindSystem(hModule, &name);
        if (o == sys->overrides.end() && name != "kernel32.dll" && name != "advapi32.dll" &&
            name != "user32.dll")
            fn = nullptr;
        if (!fn)
            detail::SetError(ERROR_PROC_NOT_FOUND);
        return fn;
    }
    Module* m = FindModule(hModule);
    if (!m) {
        detail::SetError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    FARPROC fn = m->dl ? reinterpret_cast<FARPROC>(dlsym(m->dl, lpProcName)) : nullptr;
    if (!fn)
        detail::SetError(ERROR_PROC_NOT_FOUND);
    return fn;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
    Guard g(detail::MachineLock());
    if (detail::Fail("GetModuleHandleA", lpModuleName))
        return nullptr;
    if (!lpModuleName)
        return ToHandle(kExeBase);
    const std::string file = ModuleFileName(lpModuleName);
    if (!HasPath(lpModuleName)) {
        if (file == "msiexec.exe")
            return ToHandle(kExeBase);
        auto sys = S().system.find(file);
        if (sys != S().system.end())
            return ToHandle(sys->second.base);
    }
    const std::string full = detail::fsys::FullPath(lpModuleName);
    for (const auto& [base, m] : S().modules)
        if (!m.datafile &&
            (HasPath(lpModuleName) ? detail::IEquals(m.path, full) : ModuleFileName(m.path) == file))
            return ToHandle(base);
    detail::SetError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
    Guard g(detail::MachineLock());
    if (detail::Fail("GetModuleFileNameA"))
        return 0;
    std::string path;
    std::string sysName;
    if (!hModule || reinterpret_cast<uintptr_t>(hModule) == kExeBase) {
        path = kExePath;
    } else if (FindSystem(hModule, &sysName)) {
        path = "C:\\Windows\\system32\\" + sysName;
    } else if (Module* m = FindModule(hModule); m && !m->datafile) {
        path = m->path;
    } else {
        detail::SetError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (!lpFilename || nSize == 0) {
        detail::SetError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() + 1 > nSize) {
        // Vista and later: cut, terminated, and the full size returned with 122.
        std::memcpy(lpFilename, path.data(), nSize - 1);
        lpFilename[nSize - 1] = '\0';
        detail::SetError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    std::memcpy(lpFilename, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

BOOL WINAPI DisableThreadLibraryCalls(HMODULE hLibModule) {
    Guard g(detail::MachineLock());
    if (!FindModule(hLibModule)) {
        detail::SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

int WINAPI LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
    Guard g(detail::MachineLock());
    if (detail::Fail("LoadStringA"))
        return 0;
    if (!lpBuffer || cchBufferMax <= 0) {
        detail::SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::map<unsigned, std::string>* strings = nullptr;
    if (Module* m = FindModule(hInstance)) {
        strings = &m->strings;
    } else if (!hInstance || reinterpret_cast<uintptr_t>(hInstance) == kExeBase) {
        // The program's own table: a library linked straight into a test finds its strings here.
        static const std::map<unsigned, std::string> program = [] {
            std::map<unsigned, std::string> table;
            if (auto text = static_cast<const char*>(dlsym(RTLD_DEFAULT, "winsim_resource_strings")))
                ParseStrings(text, table);
            return table;
        }();
        strings = &program;
    } else if (!FindSystem(hInstance)) {
        lpBuffer[0] = '\0';
        detail::SetError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return 0;
    }
    auto it = strings ? strings->find(uID) : std::map<unsigned, std::string>::const_iterator();
    if (!strings || it == strings->end()) {
        lpBuffer[0] = '\0';
        detail::SetError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    const size_t n = std::min(it->second.size(), static_cast<size_t>(cchBufferMax - 1));
    std::memcpy(lpBuffer, it->second.data(), n);
    lpBuffer[n] = '\0';
    return static_cast<int>(n);
}
