// Core of the simulated machine: reset, virtual clock, identity, environment, fault injection
// and "another process" hooks.
#pragma once

#include "winsim/wintypes.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace winsim {

// Brings the whole machine back to its initial state: drive C: (fixed, empty label) with
// C:\Windows\System32, C:\Program Files, C:\Temp; a registry with only the standard top-level
// keys (see sim_reg.h); an empty installer session; the clock at 2026-01-15 10:00:00.000 local time;
// user name "Administrator", computer name "WINSIM", the usual environment of a 64-bit Windows
// (windir, SystemRoot, ProgramFiles, TEMP = TMP = C:\Temp, ...); no faults, no hooks; loaded
// modules unloaded (DllMain DETACH as at process exit), so their cancel flags are gone, and the
// program's own cancel flag 0; no kernel or key handles open.
void Reset();

// Virtual clock. Sleep and every wait advance it instantly; nothing sleeps for real.
void SetLocalTime(int year, int month, int day, int hour, int minute, int second);
SYSTEMTIME LocalTime();
uint64_t NowMs(); // virtual milliseconds since Reset (GetTickCount is 300000 more: booted 5 min before)
void Advance(uint32_t ms); // also fires the timed hooks that fall due
// Minutes the local time is ahead of UTC (60 after Reset: no daylight saving).
void SetUtcOffset(int minutes);

// Identity and environment.
void SetUserName(const std::string& name);
void SetComputerName(const std::string& name);
void SetEnv(const std::string& name, const std::string& value); // case-insensitive names
void UnsetEnv(const std::string& name);
std::optional<std::string> Env(const std::string& name);

// What GetVersionExA reports (after Reset: Windows 10 22H2 workstation, no service pack).
struct WindowsVersion {
    DWORD major = 10, minor = 0, build = 19045;
    std::string servicePack; // szCSDVersion, for example "Service Pack 1"
    WORD servicePackMajor = 0, servicePackMinor = 0;
    WORD suiteMask = 0x100; // VER_SUITE_SINGLEUSERTS
    BYTE productType = 1;   // VER_NT_WORKSTATION
};
void SetWindowsVersion(const WindowsVersion& version);

// The secure-channel package of the system module "schannel" (InitSecurityInterfaceA): the cipher
// strengths QueryCredentialsAttributesA(SECPKG_ATTR_CIPHER_STRENGTHS) reports for outbound
// credentials (after Reset: 128 to 256). Faults: "AcquireCredentialsHandleA" answers the error as
// its status (SEC_E_SECPKG_NOT_FOUND is the usual one), "QueryCredentialsAttributesA" likewise
// (SEC_E_UNSUPPORTED_FUNCTION). Open credentials count among OpenHandleCount's handles; each
// LoadLibraryA of schannel not yet freed counts in fs::ModuleLoads.
void SetCipherStrengths(DWORD minimum, DWORD maximum);

// Fault injection: make calls of a named function (for example "MsiGetPropertyA") fail with an
// error. nth = 0 fails every call from now on; nth = k fails only the k-th call counted from the
// moment the fault is set. A match, when not empty, limits the fault to calls whose first text
// argument contains it (ignoring case); nth then counts only the matching calls.
// Names are those of the simulated functions, plus "fopen", "fread" and "fwrite" for stdio on
// simulated files (matched against the file's full path; a stdio read or write may count more
// than once per call, as the stream's buffer is filled or flushed). ReadFile, WriteFile and
// GetFileSize match the path the handle was opened with.
void FailCall(const std::string& function, DWORD error, int nth = 0, const std::string& match = "");
void ClearFaults();
int CallCount(const std::string& function); // calls of a function since Reset
// Every function called since Reset, with its count ("Sleep" and "CopyFileExA:chunk" included).
std::map<std::string, int> CallCounts();

// For implementations of simulated functions: counts the call and answers whether it must
// fail, and with which error (the caller also sets the last error and returns its failure).
std::optional<DWORD> Faulted(const char* function, const char* arg = nullptr);

// "Another process" acting during a call: run fn at the nth call (1-based, counted from now) of
// a function, before the call does its work; or once the virtual clock reaches atMs (a time
// already passed runs at the next Advance, Sleep or wait). Hooks may call simulated functions.
void OnCall(const std::string& function, int nth, std::function<void()> fn);
void AtTime(uint64_t atMs, std::function<void()> fn);

// Named kernel objects: mutexes and events share one namespace with every loaded copy of the
// library ("Local\X" is X; "Global\X" is a name of its own; names are case-sensitive).
// Another process creates an object and holds it until ReleaseNamed.
void HoldMutex(const std::string& name);
void HoldEvent(const std::string& name, bool manualReset = true, bool signaled = false);
void ReleaseNamed(const std::string& name);
bool NamedObjectExists(const std::string& name);
std::optional<bool> EventSignaled(const std::string& name); // nullopt when there is no such event
void SignalEvent(const std::string& name);
// Kernel handles (files, searches, mutexes, events...) open right now, plus the shell's objects
// not yet released: item lists, COM objects and CoInitializeEx calls without CoUninitialize.
int OpenHandleCount();

// The library's cancel flag lives in the library: on Windows in its shared CANCEL section, which
// the processes that map one DLL file share; here in the variable `g_lCancel` each copy exports.
// Every load of one path is the same copy (fs::MapModule), so loads of a path share its flag, and
// a load after the last one was released starts a fresh copy with the flag at 0.
// CancelFlag(path): the flag of the copy loaded from that path; nullptr when none is loaded.
volatile LONG* CancelFlag(const std::string& modulePath);
// The flag of the library linked into the program itself (a unit test executable exporting its
// symbols); nullptr when there is none. Reset sets it back to 0, as in a freshly started process.
volatile LONG* ProgramCancelFlag();
// Another process that has the library loaded sets the flag: every copy loaded now, and the
// program's own, get the value. Returns how many flags were set.
int SetCancelFlags(LONG value = 1);

// Trace of noteworthy machine events for the runner (message boxes shown, programs started...).
// A message box is kind "messagebox" with its text, title, uType flags and language (0 when
// shown through MessageBoxA).
struct Event {
    std::string kind;
    std::string text;
    std::string title;
    unsigned flags = 0;
    unsigned language = 0;
};
void RecordEvent(const std::string& kind, const std::string& text);
void RecordEvent(const Event& event);
const std::vector<Event>& Events();
void ClearEvents();

// The desktop. A top-level window of a class (FindWindowA finds it; the first one of a class when
// there are several). After it is posted WM_CLOSE it goes away closesAfterMs later (0: at once;
// negative: never). PostMessageA and SendMessageTimeoutA record events "message" and "broadcast"
// (text: the class, or the broadcast's text parameter; flags: the message number).
void OpenWindow(const std::string& className, const std::string& title = "", int closesAfterMs = 0);
void CloseWindow(const std::string& className);
bool WindowExists(const std::string& className);
void SetHighContrast(bool on);               // SystemParametersInfoA(SPI_GETHIGHCONTRAST)
void SetSysColor(int index, COLORREF color); // GetSysColor (COLOR_WINDOWTEXT 0 after Reset)

// Message boxes: the answer the simulated user gives (IDOK by default). A box that cannot be
// shown is FailCall("MessageBoxExA", error): it returns 0 and records no event.
void SetMessageBoxReply(int reply);
int MessageBoxReply();

} // namespace winsim
