// Handle table, named kernel objects (mutexes, events) and waits against the virtual clock.
#include "internal.h"

#include "winsim/kernel32.h"

#include <atomic>
#include <functional>
#include <map>

namespace winsim {
namespace {

using detail::Guard;
using detail::KernelObject;

struct Named : KernelObject {
    std::string name;
};

struct MutexObject : Named {
    DWORD owner = 0; // thread id holding it, 0 when free
    int recursion = 0;
    bool Waitable() const override { return true; }
    bool Signaled() const override { return owner == 0 || owner == GetCurrentThreadId(); }
    void Acquire() override {
        owner = GetCurrentThreadId();
        ++recursion;
    }
};

struct EventObject : Named {
    bool manualReset = true;
    bool signaled = false;
    bool Waitable() const override { return true; }
    bool Signaled() const override { return signaled; }
    void Acquire() override {
        if (!manualReset)
            signaled = false;
    }
};

struct Table {
    std::map<uintptr_t, std::shared_ptr<KernelObject>> handles;
    uintptr_t next = 0x100;
    // Named objects live while any handle (or another process's hold) refers to them.
    std::map<std::string, std::weak_ptr<Named>> names;
    std::map<std::string, std::shared_ptr<Named>> heldByOthers;
};

Table& T() {
    static Table table;
    return table;
}

// "Local\X" is X in the session's namespace; "Global\X" stays apart. Names are case-sensitive.
std::string Canonical(const char* name) {
    std::string n(name);
    if (n.rfind("Local\\", 0) == 0)
        n = n.substr(6);
    return n;
}

std::shared_ptr<Named> FindNamed(const std::string& name) {
    auto it = T().names.find(name);
    if (it == T().names.end())
        return nullptr;
    auto obj = it->second.lock();
    if (!obj)
        T().names.erase(it);
    return obj;
}

const bool kRegistered = [] {
    detail::OnReset([] { T() = Table(); });
    return true;
}();

// A new object of type Obj under a name, registered as such.
template <class Obj>
std::shared_ptr<Obj> NewNamed(const std::string& name, const std::function<void(Obj&)>& init) {
    auto obj = std::make_shared<Obj>();
    obj->name = name;
    init(*obj);
    T().names[name] = obj;
    return obj;
}

// Another process holds a named object (made with init when nobody has it yet).
template <class Obj> void HoldForOther(const std::string& name, const std::function<void(Obj&)>& init) {
    const std::string n = Canonical(name.c_str());
    std::shared_ptr<Named> held = FindNamed(n);
    if (!held)
        held = NewNamed<Obj>(n, init);
    T().heldByOthers[n] = held;
}

// Creates or opens a named object of type T; answers the handle, and 183 in lastError when it existed.
template <class Obj>
HANDLE CreateNamed(const char* function, LPCSTR lpName, const std::function<void(Obj&)>& init) {
    Guard g(detail::MachineLock());
    if (detail::Fail(function, lpName))
        return nullptr;
    if (lpName && *lpName) {
        const std::string name = Canonical(lpName);
        if (auto existing = FindNamed(name)) {
            auto typed = std::dynamic_pointer_cast<Obj>(existing);
            if (!typed) {
                detail::SetError(ERROR_INVALID_HANDLE);
                return nullptr;
            }
            HANDLE h = detail::AddHandle(typed);
            detail::SetError(ERROR_ALREADY_EXISTS);
            return h;
        }
        HANDLE h = detail::AddHandle(NewNamed<Obj>(name, init));
        detail::SetError(ERROR_SUCCESS);
        return h;
    }
    auto obj = std::make_shared<Obj>();
    init(*obj);
    HANDLE h = detail::AddHandle(obj);
    detail::SetError(ERROR_SUCCESS);
    return h;
}

template <class Obj> HANDLE OpenNamed(const char* function, LPCSTR lpName) {
    Guard g(detail::MachineLock());
    if (detail::Fail(function, lpName))
        return nullptr;
    if (!lpName) {
        detail::SetError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto existing = FindNamed(Canonical(lpName));
    if (!existing) {
        detail::SetError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    auto typed = std::dynamic_pointer_cast<Obj>(existing);
    if (!typed) {
        detail::SetError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return detail::AddHandle(typed);
}

} // namespace

// ---- handle table ----------------------------------------------------------------------------

namespace detail {

HANDLE AddHandle(std::shared_ptr<KernelObject> object) {
    Guard g(MachineLock());
    const uintptr_t value = T().next;
    T().next += 4;
    T().handles[value] = std::move(object);
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
    Guard g(MachineLock());
    auto it = T().handles.find(reinterpret_cast<uintptr_t>(handle));
    return it == T().handles.end() ? nullptr : it->second;
}

bool RemoveHandle(HANDLE handle) {
    std::shared_ptr<KernelObject> last; // destroyed after the table entry is gone
    Guard g(MachineLock());
    auto it = T().handles.find(reinterpret_cast<uintptr_t>(handle));
    if (it == T().handles.end())
        return false;
    last = std::move(it->second);
    T().handles.erase(it);
    return true;
}

} // namespace detail

// ---- fixture API -----------------------------------------------------------------------------

void HoldMutex(const std::string& name) {
    Guard g(detail::MachineLock());
    HoldForOther<MutexObject>(name, [](MutexObject& m) {
        m.owner = 0xFFFFFFFFu; // owned by a thread of the other process
        m.recursion = 1;
    });
}

void HoldEvent(const std::string& name, bool manualReset, bool signaled) {
    Guard g(detail::MachineLock());
    HoldForOther<EventObject>(name, [&](EventObject& e) {
        e.manualReset = manualReset;
        e.signaled = signaled;
    });
}

void ReleaseNamed(const std::string& name) {
    Guard g(detail::MachineLock());
    const std::string n = Canonical(name.c_str());
    auto it = T().heldByOthers.find(n);
    if (it == T().heldByOthers.end())
        return;
    if (auto m = std::dynamic_pointer_cast<MutexObject>(it->second); m && m->owner == 0xFFFFFFFFu) {
        m->owner = 0;
        m->recursion = 0;
    }
    T().heldByOthers.erase(it);
}

bool NamedObjectExists(const std::string& name) {
    Guard g(detail::MachineLock());
    return FindNamed(Canonical(name.c_str())) != nullptr;
}

std::optional<bool> EventSignaled(const std::string& name) {
    Guard g(detail::MachineLock());
    auto e = std::dynamic_pointer_cast<EventObject>(FindNamed(Canonical(name.c_str())));
    if (!e)
        return std::nullopt;
    return e->signaled;
}

void SignalEvent(const std::string& name) {
    Guard g(detail::MachineLock());
    if (auto e = std::dynamic_pointer_cast<EventObject>(FindNamed(Canonical(name.c_str())))) {
        e->signaled = true;
        detail::EventWasSet(e->name);
    }
}

int OpenHandleCount() {
    Guard g(detail::MachineLock());
    return static_cast<int>(T().handles.size()) + detail::ShellObjectCount();
}

} // namespace winsim

using namespace winsim;

// ---- kernel32 --------------------------------------------------------------------------------

BOOL WINAPI CloseHandle(HANDLE hObject) {
    if (detail::Fail("CloseHandle"))
        return FALSE;
    if (hObject == GetCurrentProcess() || hObject == GetCurrentThread())
        return TRUE; // the pseudo handles: closing them is a no-op
    if (!detail::RemoveHandle(hObject)) {
        detail::SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCSTR lpName) {
    return CreateNamed<MutexObject>("CreateMutexA", lpName, [&](MutexObject& m) {
        if (bInitialOwner)
            m.Acquire();
    });
}

HANDLE WINAPI OpenMutexA(DWORD, BOOL, LPCSTR lpName) {
    return OpenNamed<MutexObject>("OpenMutexA", lpName);
}

BOOL WINAPI ReleaseMutex(HANDLE hMutex) {
    Guard g(detail::MachineLock());
    if (detail::Fail("ReleaseMutex"))
        return FALSE;
    auto m = detail::Lookup<MutexObject>(hMutex);
    if (!m) {
        detail::SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (m->owner != GetCurrentThreadId() || m->recursion == 0) {
        detail::SetError(ERROR_NOT_OWNER);
        return FALSE;
    }
    if (--m->recursion == 0)
        m->owner = 0;
    return TRUE;
}

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCSTR lpName) {
    return CreateNamed<EventObject>("CreateEventA", lpName, [&](EventObject& e) {
        e.manualReset = bManualReset != FALSE;
        e.signaled = bInitialState != FALSE;
    });
}

HANDLE WINAPI OpenEventA(DWORD, BOOL, LPCSTR lpName) {
    return OpenNamed<EventObject>("OpenEventA", lpName);
}

static BOOL SetEventState(const char* function, HANDLE hEvent, bool state) {
    Guard g(detail::MachineLock());
    if (detail::Fail(function))
        return FALSE;
    auto e = detail::Lookup<EventObject>(hEvent);
    if (!e) {
        detail::SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    e->signaled = state;
    if (state)
        detail::EventWasSet(e->name);
    return TRUE;
}

BOOL WINAPI SetEvent(HANDLE hEvent) {
    return SetEventState("SetEvent", hEvent, true);
}
BOOL WINAPI ResetEvent(HANDLE hEvent) {
    return SetEventState("ResetEvent", hEvent, false);
}

// Waiting never blocks: the clock jumps to the next timed hook ("another process" acting) until
// the object is signalled or the time-out is reached.
DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    Guard g(detail::MachineLock());
    if (detail::Fail("WaitForSingleObject"))
        return WAIT_FAILED;
    const uint64_t deadline =
        dwMilliseconds == INFINITE ? UINT64_MAX : NowMs() + static_cast<uint64_t>(dwMilliseconds);
    for (;;) {
        auto obj = detail::LookupHandle(hHandle);
        if (!obj || !obj->Waitable()) {
            detail::SetError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        if (obj->Signaled()) {
            obj->Acquire();
            return WAIT_OBJECT_0;
        }
        const auto next = detail::NextTimedHook();
        const uint64_t now = NowMs();
        if (next && *next <= deadline) {
            Advance(static_cast<uint32_t>(*next > now ? *next - now : 0));
            continue;
        }
        if (deadline == UINT64_MAX) {
            // Nothing can ever signal it: on Windows this would hang for good.
            RecordEvent("deadlock",
                        "WaitForSingleObject(INFINITE) on " + obj->Describe() + " that nothing will signal");
            detail::SetError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        uint64_t left = deadline - now;
        while (left > 0) {
            const uint32_t step = left > 0x7FFFFFFFu ? 0x7FFFFFFFu : static_cast<uint32_t>(left);
            Advance(step);
            left -= step;
        }
        return WAIT_TIMEOUT;
    }
}

HANDLE WINAPI GetCurrentProcess(void) {
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
}
HANDLE WINAPI GetCurrentThread(void) {
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2));
}
DWORD WINAPI GetCurrentProcessId(void) {
    return 4242;
}

DWORD WINAPI GetCurrentThreadId(void) {
    static std::atomic<DWORD> next{1000};
    thread_local DWORD id = next.fetch_add(4);
    return id;
}
