// Shared plumbing of the simulated machine's implementation files (not installed, not for tests).
#pragma once

#include "winsim/sim_core.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace winsim::detail {

// Registers a function that Reset() calls to bring one part of the machine back to its initial
// state. Callable from static initialisers of any file. The part's state must also start in its
// initial state by itself (Reset is not run at load time); hooks run in registration order.
void OnReset(void (*fn)());

// OnReset for a part whose whole state is `state()` and whose initial state is `make()`; use it
// to initialise a namespace-scope constant, so the hook is registered at load time.
template <auto state, auto make> bool ResetTo() {
    OnReset([] { state() = make(); });
    return true;
}

// Sets the calling thread's last error (what GetLastError returns).
void SetError(DWORD error);

// One lock for the whole machine. Every simulated call holds it while it touches machine state;
// it is recursive because hooks ("another process") run inside calls and call back in.
std::recursive_mutex& MachineLock();
using Guard = std::lock_guard<std::recursive_mutex>;

// Counts the call, runs due hooks and, if a fault is injected, sets the last error and returns
// true: the caller then returns its failure value.
bool Fail(const char* function, const char* arg = nullptr);

// Virtual time of the earliest pending AtTime hook, if any (waits advance the clock to it).
std::optional<uint64_t> NextTimedHook();

// Windows' FILETIME scale (100 ns since 1601-01-01) of the simulated clock.
uint64_t LocalFileTime();
uint64_t SystemFileTime();
FILETIME ToFileTime(uint64_t ticks);
// Milliseconds since 1601-01-01 of a calendar time; nullopt when a field is out of range.
std::optional<uint64_t> MsFromSystemTime(const SYSTEMTIME& st);

// Case-insensitive (ASCII) text helpers shared by the file system, registry and environment.
// Ordering folds to upper case, as NTFS and registry hives sort ("A_" after "AB").
char Lower(char c);
char Upper(char c);
std::string Lower(std::string_view s);
std::string Upper(std::string_view s);
bool IEquals(std::string_view a, std::string_view b);
bool IContains(std::string_view haystack, std::string_view needle);
int ICompare(std::string_view a, std::string_view b);
struct ILess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return ICompare(a, b) < 0; }
};

// Copies text into a caller's buffer the way most "A" functions do: returns false (and leaves
// the buffer alone) when text plus terminator does not fit in capacity.
bool CopyOut(const std::string& text, char* buffer, size_t capacity);

// Kernel objects behind HANDLE values (files, searches, mutexes, events, ...). Handle values are
// small multiples of 4, never NULL or INVALID_HANDLE_VALUE; one table for the whole machine.
struct KernelObject {
    virtual ~KernelObject() = default;
    // Waitable objects answer whether a wait is satisfied now, and take ownership when it is.
    virtual bool Waitable() const { return false; }
    virtual bool Signaled() const { return false; }
    virtual void Acquire() {}
    // What a wait names when nothing can ever signal the object.
    virtual std::string Describe() const { return "an object"; }
};
HANDLE AddHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);
template <class T> std::shared_ptr<T> Lookup(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}
bool RemoveHandle(HANDLE handle); // false when the handle is not open

// A named event was set: processes living until it end (processes.cpp).
void EventWasSet(const std::string& canonicalName);

// The secure-channel package's InitSecurityInterfaceA (sspi.cpp), exported by "schannel".
FARPROC SchannelEntryPoint();

// Unloads every loaded module (the first step of Reset).
void UnloadAllModules();
// True while a module (code or data file) is loaded from that full path: the file cannot be
// deleted until its last release.
bool ModuleFileInUse(const std::string& fullPath);

// Shell objects not yet released (shell.cpp): item lists, COM objects, COM initialisations.
int ShellObjectCount();

// Deferred runs without impersonation: the process token is LocalSystem's while on.
void SetRunningAsSystem(bool on);
// The account name of the token in effect for the calling thread, when it names one.
std::optional<std::string> TokenUserName();

} // namespace winsim::detail
