// user32: message boxes answered by the simulated user, top-level windows found by class, the
// settings broadcast, and the few display settings the library reads.
#include "internal.h"

#include "winsim/user32.h"

#include <map>
#include <vector>

using namespace winsim;

namespace {

constexpr uintptr_t kForegroundWindow = 0x10010;
constexpr uintptr_t kDesktopWindow = 0x10008;
constexpr uintptr_t kFirstWindow = 0x20020;

struct Window {
    std::string className;
    std::string title;
    int closesAfterMs = 0;
    bool closing = false;
};

struct Desktop {
    std::map<uintptr_t, Window> windows; // by HWND value, in opening order
    uintptr_t next = kFirstWindow;
    bool highContrast = false;
    std::map<int, COLORREF> colors{{COLOR_WINDOW, 0xFFFFFF}};
    char scheme[32] = "";
};

Desktop& D() {
    static Desktop desktop;
    return desktop;
}

const bool kRegistered = [] {
    detail::OnReset([] { D() = Desktop(); });
    return true;
}();

int Show(const char* function, LPCSTR lpText, LPCSTR lpCaption, UINT uType, WORD language) {
    detail::Guard g(detail::MachineLock());
    if (detail::Fail(function, lpText))
        return 0;
    Event e;
    e.kind = "messagebox";
    e.text = lpText ? lpText : "";
    e.title = lpCaption ? lpCaption : "Error"; // Windows' default caption
    e.flags = uType;
    e.language = language;
    RecordEvent(e);
    return MessageBoxReply();
}

void CloseNow(uintptr_t hwnd) {
    D().windows.erase(hwnd);
}

} // namespace

namespace winsim {

void OpenWindow(const std::string& className, const std::string& title, int closesAfterMs) {
    detail::Guard g(detail::MachineLock());
    D().windows[D().next] = Window{className, title, closesAfterMs, false};
    D().next += 0x10;
}

void CloseWindow(const std::string& className) {
    detail::Guard g(detail::MachineLock());
    for (auto it = D().windows.begin(); it != D().windows.end();)
        it = detail::IEquals(it->second.className, className) ? D().windows.erase(it) : std::next(it);
}

bool WindowExists(const std::string& className) {
    detail::Guard g(detail::MachineLock());
    for (const auto& [h, w] : D().windows)
        if (detail::IEquals(w.className, className))
            return true;
    return false;
}

void SetHighContrast(bool on) {
    detail::Guard g(detail::MachineLock());
    D().highContrast = on;
}

void SetSysColor(int index, COLORREF color) {
    detail::Guard g(detail::MachineLock());
    D().colors[index] = color;
}

} // namespace winsim

int WINAPI MessageBoxA(HWND, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    return Show("MessageBoxA", lpText, lpCaption, uType, 0);
}

int WINAPI MessageBoxExA(HWND, LPCSTR lpText, LPCSTR lpCaption, UINT uType, WORD wLanguageId) {
    return Show("MessageBoxExA", lpText, lpCaption, uType, wLanguageId);
}

HWND WINAPI GetForegroundWindow(void) {
    if (detail::Fail("GetForegroundWindow"))
        return nullptr;
    return reinterpret_cast<HWND>(kForegroundWindow);
}

HWND WINAPI GetDesktopWindow(void) {
    return reinterpret_cast<HWND>(kDesktopWindow);
}

HWND WINAPI FindWindowA(LPCSTR lpClassName, LPCSTR lpWindowName) {
    detail::Guard g(detail::MachineLock());
    if (detail::Fail("FindWindowA", lpClassName))
        return nullptr;
    for (const auto& [h, w] : D().windows)
        if ((!lpClassName || detail::IEquals(w.className, lpClassName)) &&
            (!lpWindowName || w.title == lpWindowName))
            return reinterpret_cast<HWND>(h);
    detail::SetError(ERROR_SUCCESS); // not found is not an error
    return nullptr;
}

BOOL WINAPI IsWindow(HWND hWnd) {
    detail::Guard g(detail::MachineLock());
    return D().windows.count(reinterpret_cast<uintptr_t>(hWnd)) ? TRUE : FALSE;
}

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM, LPARAM) {
    detail::Guard g(detail::MachineLock());
    if (detail::Fail("PostMessageA"))
        return FALSE;
    const uintptr_t h = reinterpret_cast<uintptr_t>(hWnd);
    auto it = D().windows.find(h);
    if (it == D().windows.end()) {
        detail::SetError(1400); // ERROR_INVALID_WINDOW_HANDLE
        return FALSE;
    }
    Event e;
    e.kind = "message";
    e.text = it->second.className;
    e.title = it->second.title;
    e.flags = Msg;
    RecordEvent(e);
    Window& w = it->second;
    if (Msg == WM_CLOSE && !w.closing && w.closesAfterMs >= 0) {
        w.closing = true;
        if (w.closesAfterMs == 0)
            CloseNow(h);
        else
            AtTime(NowMs() + static_cast<uint64_t>(w.closesAfterMs), [h] { CloseNow(h); });
    }
    return TRUE;
}

LRESULT WINAPI SendMessageTimeoutA(HWND hWnd, UINT Msg, WPARAM, LPARAM lParam, UINT, UINT uTimeout,
                                   PDWORD_PTR lpdwResult) {
    detail::Guard g(detail::MachineLock());
    if (auto e = Faulted("SendMessageTimeoutA")) {
        if (*e == ERROR_TIMEOUT)
            Advance(uTimeout); // a hung window makes the caller wait the whole time-out
        detail::SetError(*e);
        return 0;
    }
    if (hWnd != HWND_BROADCAST && !D().windows.count(reinterpret_cast<uintptr_t>(hWnd))) {
        detail::SetError(1400); // ERROR_INVALID_WINDOW_HANDLE
        return 0;
    }
    Event e;
    e.kind = hWnd == HWND_BROADCAST ? "broadcast" : "message";
    // WM_SETTINGCHANGE carries the name of the changed area as text.
    e.text = Msg == WM_SETTINGCHANGE && lParam ? reinterpret_cast<const char*>(lParam) : "";
    e.flags = Msg;
    RecordEvent(e);
    if (lpdwResult)
        *lpdwResult = 0;
    return 1;
}

BOOL WINAPI SystemParametersInfoA(UINT uiAction, UINT uiParam, PVOID pvParam, UINT) {
    detail::Guard g(detail::MachineLock());
    if (detail::Fail("SystemParametersInfoA"))
        return FALSE;
    if (uiAction != SPI_GETHIGHCONTRAST || !pvParam || uiParam != sizeof(HIGHCONTRASTA)) {
        detail::SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto* hc = static_cast<HIGHCONTRASTA*>(pvParam);
    hc->dwFlags = D().highContrast ? HCF_HIGHCONTRASTON : 0;
    hc->lpszDefaultScheme = D().scheme;
    return TRUE;
}

DWORD WINAPI GetSysColor(int nIndex) {
    detail::Guard g(detail::MachineLock());
    auto it = D().colors.find(nIndex);
    return it == D().colors.end() ? 0 : it->second;
}
