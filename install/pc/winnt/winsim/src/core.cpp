// Core of the simulated machine: last error, reset, virtual clock, faults, hooks, events,
// environment and identity.
#include "internal.h"

#include "winsim/kernel32.h"
#include "winsim/advapi32.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

namespace winsim {
namespace {

// FILETIME ticks per millisecond, and milliseconds from 1601-01-01 to 1970-01-01.
constexpr uint64_t kTicksPerMs = 10000;
constexpr int64_t kDays1601To1970 = 134774;
constexpr uint64_t kMsPerDay = 86400000;
// The machine booted five minutes before Reset: GetTickCount is never near zero.
constexpr uint64_t kBootMs = 5 * 60 * 1000;

int64_t DaysFromCivil(int y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& y, unsigned& m, unsigned& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int>(yoe + era * 400) + (m <= 2);
}

SYSTEMTIME SystemTimeFromMs(uint64_t ms) {
    const int64_t days = static_cast<int64_t>(ms / kMsPerDay);
    uint64_t rest = ms % kMsPerDay;
    int y;
    unsigned m, d;
    CivilFromDays(days - kDays1601To1970, y, m, d);
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(y);
    st.wMonth = static_cast<WORD>(m);
    st.wDay = static_cast<WORD>(d);
    st.wDayOfWeek = static_cast<WORD>((days + 1) % 7); // 1601-01-01 was a Monday
    st.wHour = static_cast<WORD>(rest / 3600000);
    rest %= 3600000;
    st.wMinute = static_cast<WORD>(rest / 60000);
    rest %= 60000;
    st.wSecond = static_cast<WORD>(rest / 1000);
    st.wMilliseconds = static_cast<WORD>(rest % 1000);
    return st;
}

struct Fault {
    std::string function;
    DWORD error;
    int nth;
    std::string match;
    int seen = 0;
};

struct CallHook {
    std::string function;
    int fireAt; // value of the function's call count at which it runs
    std::function<void()> fn;
};

struct TimeHook {
    uint64_t atMs;
    uint64_t seq; // keeps hooks of the same time in the order they were set
    std::function<void()> fn;
};

struct Core {
    uint64_t nowMs = 0;
    uint64_t wallBaseMs = 0; // local wall clock (ms since 1601) when nowMs was wallBaseAt
    uint64_t wallBaseAt = 0;
    int utcOffsetMinutes = 60;
    std::string userName = "Administrator";
    std::string computerName = "WINSIM";
    std::vector<std::pair<std::string, std::string>> env;
    std::vector<Fault> faults;
    std::map<std::string, int> callCounts;
    std::vector<CallHook> callHooks;
    std::vector<TimeHook> timeHooks;
    uint64_t timeHookSeq = 0;
    std::vector<Event> events;
    WindowsVersion version;

    Core() {
        SYSTEMTIME st{2026, 1, 0, 15, 10, 0, 0, 0};
        wallBaseMs = *detail::MsFromSystemTime(st);
        env = {
            {"ALLUSERSPROFILE", "C:\\ProgramData"},
            {"CommonProgramFiles", "C:\\Program Files\\Common Files"},
            {"COMPUTERNAME", computerName},
            {"ComSpec", "C:\\Windows\\system32\\cmd.exe"},
            {"NUMBER_OF_PROCESSORS", "2"},
            {"OS", "Windows_NT"},
            {"Path", "C:\\Windows\\system32;C:\\Windows;C:\\Windows\\System32\\Wbem"},
            {"PATHEXT", ".COM;.EXE;.BAT;.CMD;.VBS;.VBE;.JS;.JSE;.WSF;.WSH;.MSC"},
            {"PROCESSOR_ARCHITECTURE", "AMD64"},
            {"ProgramData", "C:\\ProgramData"},
            {"ProgramFiles", "C:\\Program Files"},
            {"ProgramFiles(x86)", "C:\\Program Files (x86)"},
            {"ProgramW6432", "C:\\Program Files"},
            {"PUBLIC", "C:\\Users\\Public"},
            {"SystemDrive", "C:"},
            {"SystemRoot", "C:\\Windows"},
            {"TEMP", "C:\\Temp"},
            {"TMP", "C:\\Temp"},
            {"USERDOMAIN", computerName},
            {"USERNAME", userName},
            {"USERPROFILE", "C:\\Users\\" + userName},
            {"windir", "C:\\Windows"},
        };
    }
};

Core& C() {
    static Core core;
    return core;
}

std::vector<void (*)()>& ResetHooks() {
    static std::vector<void (*)()> hooks;
    return hooks;
}

thread_local DWORD t_lastError = 0;
int g_messageBoxReply = 1; // IDOK

std::vector<std::pair<std::string, std::string>>::iterator FindEnv(const std::string& name) {
    auto& env = C().env;
    return std::find_if(env.begin(), env.end(),
                        [&](const auto& kv) { return detail::IEquals(kv.first, name); });
}

void ResetMessageBoxReply() {
    g_messageBoxReply = 1;
}

} // namespace

// ---- detail ----------------------------------------------------------------------------------

namespace detail {

// Milliseconds since 1601-01-01 of a calendar time; nullopt when a field is out of range.
std::optional<uint64_t> MsFromSystemTime(const SYSTEMTIME& st) {
    static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (st.wYear < 1601 || st.wYear > 30827 || st.wMonth < 1 || st.wMonth > 12 || st.wHour > 23 ||
        st.wMinute > 59 || st.wSecond > 59 || st.wMilliseconds > 999)
        return std::nullopt;
    const bool leap = (st.wYear % 4 == 0 && st.wYear % 100 != 0) || st.wYear % 400 == 0;
    const unsigned maxDay = kDays[st.wMonth - 1] + (st.wMonth == 2 && leap ? 1 : 0);
    if (st.wDay < 1 || st.wDay > maxDay)
        return std::nullopt;
    const int64_t days = DaysFromCivil(st.wYear, st.wMonth, st.wDay) + kDays1601To1970;
    return static_cast<uint64_t>(days) * kMsPerDay + st.wHour * 3600000ull + st.wMinute * 60000ull +
           st.wSecond * 1000ull + st.wMilliseconds;
}

void OnReset(void (*fn)()) {
    Guard g(MachineLock());
    ResetHooks().push_back(fn);
}

void SetError(DWORD error) {
    t_lastError = error;
}

std::recursive_mutex& MachineLock() {
    static std::recursive_mutex lock;
    return lock;
}

bool Fail(const char* function, const char* arg) {
    if (auto error = Faulted(function, arg)) {
        SetError(*error);
        return true;
    }
    return false;
}

std::optional<uint64_t> NextTimedHook() {
    Guard g(MachineLock());
    std::optional<uint64_t> next;
    for (const auto& h : C().timeHooks)
        if (!next || h.atMs < *next)
            next = h.atMs;
    return next;
}

uint64_t LocalFileTime() {
    Guard g(MachineLock());
    const Core& c = C();
    return (c.wallBaseMs + (c.nowMs - c.wallBaseAt)) * kTicksPerMs;
}

uint64_t SystemFileTime() {
    Guard g(MachineLock());
    const int64_t bias =
        static_cast<int64_t>(C().utcOffsetMinutes) * 60000 * static_cast<int64_t>(kTicksPerMs);
    return static_cast<uint64_t>(static_cast<int64_t>(LocalFileTime()) - bias);
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = Lower(c);
    return out;
}

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = Upper(c);
    return out;
}

int ICompare(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = static_cast<unsigned char>(Upper(a[i]));
        const unsigned char y = static_cast<unsigned char>(Upper(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool IEquals(std::string_view a, std::string_view b) {
    return a.size() == b.size() && ICompare(a, b) == 0;
}

bool IContains(std::string_view haystack, std::string_view needle) {
    return Lower(haystack).find(Lower(needle)) != std::string::npos;
}

FILETIME ToFileTime(uint64_t ticks) {
    return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

bool CopyOut(const std::string& text, char* buffer, size_t capacity) {
    if (!buffer || text.size() + 1 > capacity)
        return false;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
}

} // namespace detail

// ---- fixture API -----------------------------------------------------------------------------

void Reset() {
    // Modules first: their DllMain(DETACH) may still call into the machine as it was.
    detail::UnloadAllModules();
    std::vector<void (*)()> hooks;
    {
        detail::Guard g(detail::MachineLock());
        C() = Core();
        ResetMessageBoxReply();
        hooks = ResetHooks();
    }
    for (auto fn : hooks)
        fn();
    t_lastError = 0;
}

void SetLocalTime(int year, int month, int day, int hour, int minute, int second) {
    detail::Guard g(detail::MachineLock());
    SYSTEMTIME st{static_cast<WORD>(year),
                  static_cast<WORD>(month),
                  0,
                  static_cast<WORD>(day),
                  static_cast<WORD>(hour),
                  static_cast<WORD>(minute),
                  static_cast<WORD>(second),
                  0};
    auto ms = detail::MsFromSystemTime(st);
    if (!ms)
        return;
    C().wallBaseMs = *ms;
    C().wallBaseAt = C().nowMs;
}

SYSTEMTIME LocalTime() {
    return SystemTimeFromMs(detail::LocalFileTime() / kTicksPerMs);
}

uint64_t NowMs() {
    detail::Guard g(detail::MachineLock());
    return C().nowMs;
}

void Advance(uint32_t ms) {
    detail::Guard g(detail::MachineLock());
    const uint64_t target = C().nowMs + ms;
    for (;;) {
        auto& hooks = C().timeHooks;
        auto due = hooks.end();
        for (auto it = hooks.begin(); it != hooks.end(); ++it)
            if (it->atMs <= target &&
                (due == hooks.end() || std::tie(it->atMs, it->seq) < std::tie(due->atMs, due->seq)))
                due = it;
        if (due == hooks.end())
            break;
        C().nowMs = std::max(C().nowMs, due->atMs);
        auto fn = std::move(due->fn);
        hooks.erase(due);
        fn();
    }
    C().nowMs = std::max(C().nowMs, target);
}

void SetUserName(const std::string& name) {
    detail::Guard g(detail::MachineLock());
    C().userName = name;
}

void SetComputerName(const std::string& name) {
    detail::Guard g(detail::MachineLock());
    C().computerName = name;
}

void SetEnv(const std::string& name, const std::string& value) {
    detail::Guard g(detail::MachineLock());
    auto it = FindEnv(name);
    if (it != C().env.end())
        it->second = value;
    else
        C().env.emplace_back(name, value);
}

void UnsetEnv(const std::string& name) {
    detail::Guard g(detail::MachineLock());
    auto it = FindEnv(name);
    if (it != C().env.end())
        C().env.erase(it);
}

std::optional<std::string> Env(const std::string& name) {
    detail::Guard g(detail::MachineLock());
    auto it = FindEnv(name);
    if (it == C().env.end())
        return std::nullopt;
    return it->second;
}

void FailCall(const std::string& function, DWORD error, int nth, const std::string& match) {
    detail::Guard g(detail::MachineLock());
    C().faults.push_back(Fault{function, error, nth, match});
}

void ClearFaults() {
    detail::Guard g(detail::MachineLock());
    C().faults.clear();
}

int CallCount(const std::string& function) {
    detail::Guard g(detail::MachineLock());
    auto it = C().callCounts.find(function);
    return it == C().callCounts.end() ? 0 : it->second;
}

std::map<std::string, int> CallCounts() {
    detail::Guard g(detail::MachineLock());
    return C().callCounts;
}

std::optional<DWORD> Faulted(const char* function, const char* arg) {
    detail::Guard g(detail::MachineLock());
    const std::string name(function);
    const int count = ++C().callCounts[name];

    // Hooks first: "another process" acts before the call does its work. A hook may add hooks.
    for (;;) {
        auto& hooks = C().callHooks;
        auto it = std::find_if(hooks.begin(), hooks.end(),
                               [&](const CallHook& h) { return h.function == name && h.fireAt == count; });
        if (it == hooks.end())
            break;
        auto fn = std::move(it->fn);
        hooks.erase(it);
        fn();
    }

    for (auto& f : C().faults) {
        if (f.function != name)
            continue;
        if (!f.match.empty() && (!arg || !detail::IContains(arg, f.match)))
            continue;
        ++f.seen;
        if (f.nth == 0 || f.seen == f.nth)
            return f.error;
    }
    return std::nullopt;
}

void OnCall(const std::string& function, int nth, std::function<void()> fn) {
    detail::Guard g(detail::MachineLock());
    C().callHooks.push_back(CallHook{function, CallCount(function) + std::max(nth, 1), std::move(fn)});
}

void AtTime(uint64_t atMs, std::function<void()> fn) {
    detail::Guard g(detail::MachineLock());
    C().timeHooks.push_back(TimeHook{atMs, C().timeHookSeq++, std::move(fn)});
}

void RecordEvent(const std::string& kind, const std::string& text) {
    RecordEvent(Event{kind, text, "", 0, 0});
}

void RecordEvent(const Event& event) {
    detail::Guard g(detail::MachineLock());
    C().events.push_back(event);
}

const std::vector<Event>& Events() {
    return C().events;
}

void ClearEvents() {
    detail::Guard g(detail::MachineLock());
    C().events.clear();
}

void SetMessageBoxReply(int reply) {
    detail::Guard g(detail::MachineLock());
    g_messageBoxReply = reply;
}

int MessageBoxReply() {
    detail::Guard g(detail::MachineLock());
    return g_messageBoxReply;
}

void SetWindowsVersion(const WindowsVersion& version) {
    detail::Guard g(detail::MachineLock());
    C().version = version;
}

void SetUtcOffset(int minutes) {
    detail::Guard g(detail::MachineLock());
    C().utcOffsetMinutes = minutes;
}

} // namespace winsim

using namespace winsim;

// ---- kernel32: errors and time ---------------------------------------------------------------

DWORD WINAPI GetLastError(void) {
    return t_lastError;
}

void WINAPI SetLastError(DWORD dwErrCode) {
    t_lastError = dwErrCode;
}

void WINAPI Sleep(DWORD dwMilliseconds) {
    (void)Faulted("Sleep"); // counted, so hooks can act on the n-th Sleep; it cannot fail
    Advance(dwMilliseconds);
}

DWORD WINAPI GetTickCount(void) {
    return static_cast<DWORD>(kBootMs + NowMs());
}

ULONGLONG WINAPI GetTickCount64(void) {
    return kBootMs + NowMs();
}

void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime) {
    if (lpSystemTime)
        *lpSystemTime = SystemTimeFromMs(detail::LocalFileTime() / kTicksPerMs);
}

void WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime) {
    if (lpSystemTime)
        *lpSystemTime = SystemTimeFromMs(detail::SystemFileTime() / kTicksPerMs);
}

static uint64_t FromFileTime(const FILETIME& ft) {
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

void WINAPI GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime) {
    if (lpSystemTimeAsFileTime)
        *lpSystemTimeAsFileTime = detail::ToFileTime(detail::SystemFileTime());
}

void WINAPI GetSystemTimePreciseAsFileTime(LPFILETIME lpSystemTimeAsFileTime) {
    GetSystemTimeAsFileTime(lpSystemTimeAsFileTime);
}

BOOL WINAPI FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime) {
    if (detail::Fail("FileTimeToSystemTime"))
        return FALSE;
    if (!lpFileTime || !lpSystemTime || (lpFileTime->dwHighDateTime & 0x80000000u)) {
        detail::SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *lpSystemTime = SystemTimeFromMs(FromFileTime(*lpFileTime) / kTicksPerMs);
    return TRUE;
}

BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime) {
    if (detail::Fail("SystemTimeToFileTime"))
        return FALSE;
    auto ms = lpSystemTime ? detail::MsFromSystemTime(*lpSystemTime) : std::nullopt;
    if (!ms || !lpFileTime) {
        detail::SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *lpFileTime = detail::ToFileTime(*ms * kTicksPerMs);
    return TRUE;
}

static int64_t BiasTicks() {
    detail::Guard g(detail::MachineLock());
    return static_cast<int64_t>(C().utcOffsetMinutes) * 60000 * static_cast<int64_t>(kTicksPerMs);
}

BOOL WINAPI FileTimeToLocalFileTime(const FILETIME* lpFileTime, LPFILETIME lpLocalFileTime) {
    if (!lpFileTime || !lpLocalFileTime) {
        detail::SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *lpLocalFileTime = detail::ToFileTime(
        static_cast<uint64_t>(static_cast<int64_t>(FromFileTime(*lpFileTime)) + BiasTicks()));
    return TRUE;
}

BOOL WINAPI LocalFileTimeToFileTime(const FILETIME* lpLocalFileTime, LPFILETIME lpFileTime) {
    if (!lpFileTime || !lpLocalFileTime) {
        detail::SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *lpFileTime = detail::ToFileTime(
        static_cast<uint64_t>(static_cast<int64_t>(FromFileTime(*lpLocalFileTime)) - BiasTicks()));
    return TRUE;
}

// ---- kernel32: environment and identity ------------------------------------------------------

DWORD WINAPI GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize) {
    if (detail::Fail("GetEnvironmentVariableA", lpName))
        return 0;
    auto value = lpName ? Env(lpName) : std::nullopt;
    if (!value) {
        detail::SetError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    if (!detail::CopyOut(*value, lpBuffer, nSize))
        return static_cast<DWORD>(value->size() + 1);
    if (value->empty())
        detail::SetError(ERROR_SUCCESS);
    return static_cast<DWORD>(value->size());
}

BOOL WINAPI SetEnvironmentVariableA(LPCSTR lpName, LPCSTR lpValue) {
    if (detail::Fail("SetEnvironmentVariableA", lpName))
        return FALSE;
    if (!lpName || !*lpName || std::strchr(lpName + 1, '=')) {
        detail::SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (lpValue) {
        SetEnv(lpName, lpValue);
    } else {
        if (!Env(lpName)) {
            detail::SetError(ERROR_ENVVAR_NOT_FOUND);
            return FALSE;
        }
        UnsetEnv(lpName);
    }
    return TRUE;
}

// "%NAME%" becomes the variable's value. A '%' that does not start a known name is copied and
// the scan goes on right after it (so "50%\\%TEMP%" still expands TEMP), as ntdll does.
static std::string ExpandEnv(const std::string& src) {
    std::string out;
    size_t i = 0;
    while (i < src.size()) {
        if (src[i] == '%') {
            const size_t close = src.find('%', i + 1);
            if (close != std::string::npos && close > i + 1) {
                if (auto value = Env(src.substr(i + 1, close - i - 1))) {
                    out += *value;
                    i = close + 1;
                    continue;
                }
            }
        }
        out += src[i++];
    }
    return out;
}

DWORD WINAPI ExpandEnvironmentStringsA(LPCSTR lpSrc, LPSTR lpDst, DWORD nSize) {
    if (detail::Fail("ExpandEnvironmentStringsA", lpSrc))
        return 0;
    if (!lpSrc) {
        detail::SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::string out = ExpandEnv(lpSrc);
    const DWORD needed = static_cast<DWORD>(out.size() + 1);
    if (!detail::CopyOut(out, lpDst, nSize))
        return needed;
    return needed;
}

BOOL WINAPI GetComputerNameA(LPSTR lpBuffer, LPDWORD nSize) {
    if (detail::Fail("GetComputerNameA"))
        return FALSE;
    if (!nSize) {
        detail::SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string name;
    {
        detail::Guard g(detail::MachineLock());
        name = C().computerName;
    }
    if (!detail::CopyOut(name, lpBuffer, *nSize)) {
        *nSize = static_cast<DWORD>(name.size() + 1);
        detail::SetError(ERROR_BUFFER_OVERFLOW);
        return FALSE;
    }
    *nSize = static_cast<DWORD>(name.size());
    return TRUE;
}

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation) {
    if (detail::Fail("GetVersionExA"))
        return FALSE;
    if (!lpVersionInformation) {
        detail::SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD size = lpVersionInformation->dwOSVersionInfoSize;
    if (size != sizeof(OSVERSIONINFOA) && size != sizeof(OSVERSIONINFOEXA)) {
        detail::SetError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    WindowsVersion v;
    {
        detail::Guard g(detail::MachineLock());
        v = C().version;
    }
    lpVersionInformation->dwMajorVersion = v.major;
    lpVersionInformation->dwMinorVersion = v.minor;
    lpVersionInformation->dwBuildNumber = v.build;
    lpVersionInformation->dwPlatformId = VER_PLATFORM_WIN32_NT;
    std::snprintf(lpVersionInformation->szCSDVersion, sizeof(lpVersionInformation->szCSDVersion), "%s",
                  v.servicePack.c_str());
    if (size == sizeof(OSVERSIONINFOEXA)) {
        auto* ex = reinterpret_cast<LPOSVERSIONINFOEXA>(lpVersionInformation);
        ex->wServicePackMajor = v.servicePackMajor;
        ex->wServicePackMinor = v.servicePackMinor;
        ex->wSuiteMask = v.suiteMask;
        ex->wProductType = v.productType;
        ex->wReserved = 0;
    }
    return TRUE;
}

// ---- advapi32: identity ----------------------------------------------------------------------

BOOL WINAPI GetUserNameA(LPSTR lpBuffer, LPDWORD pcbBuffer) {
    if (detail::Fail("GetUserNameA"))
        return FALSE;
    if (!pcbBuffer) {
        detail::SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string name;
    {
        detail::Guard g(detail::MachineLock());
        name = detail::TokenUserName().value_or(C().userName);
    }
    const DWORD capacity = *pcbBuffer;
    *pcbBuffer = static_cast<DWORD>(name.size() + 1);
    if (!detail::CopyOut(name, lpBuffer, capacity)) {
        detail::SetError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    return TRUE;
}
