// user32: message boxes answered by the simulated user, and the few window queries the library makes.
#include "internal.h"

#include "winsim/user32.h"

using namespace winsim;

namespace {

constexpr uintptr_t kForegroundWindow = 0x10010;
constexpr uintptr_t kDesktopWindow = 0x10008;

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

} // namespace

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
