// Services: the service table, its fixture API and the service control manager's calls.
#include "procinternal.h"

#include "winsim/kernel32.h"
#include "winsim/sim_svc.h"
#include "winsim/winsvc.h"

#include <map>

namespace winsim {
namespace {

using detail::Guard;
using detail::MachineLock;

struct Entry {
    std::string name; // as added
    svc::Service service;
    uint64_t generation = 0; // a new stop or start makes a pending stop stale
};

struct State {
    std::map<std::string, std::shared_ptr<Entry>, detail::ILess> services;
    bool elevated = true;
};

State& S() {
    static State state;
    return state;
}

State MakeInitial() {
    return State();
}

const bool kRegistered = detail::ResetTo<S, MakeInitial>();

void HoldFiles(const Entry& e) {
    for (const std::string& f : e.service.files)
        detail::procs::HoldFile(f);
}

void ReleaseFiles(const Entry& e) {
    for (const std::string& f : e.service.files)
        detail::procs::ReleaseFile(f);
}

void SetState(Entry& e, DWORD state) {
    const bool wasStopped = e.service.state == SERVICE_STOPPED;
    e.service.state = state;
    if (wasStopped && state != SERVICE_STOPPED)
        HoldFiles(e);
    else if (!wasStopped && state == SERVICE_STOPPED)
        ReleaseFiles(e);
}

struct ManagerHandle : detail::KernelObject {
    DWORD access = 0;
    std::string Describe() const override { return "the service control manager"; }
};

struct ServiceHandle : detail::KernelObject {
    std::shared_ptr<Entry> entry;
    DWORD access = 0;
    std::string Describe() const override { return "service '" + entry->name + "'"; }
};

void Fill(const Entry& e, LPSERVICE_STATUS status) {
    if (!status)
        return;
    *status = SERVICE_STATUS{};
    status->dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status->dwCurrentState = e.service.state;
    status->dwControlsAccepted = e.service.state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
}

} // namespace

namespace svc {

void AddService(const std::string& name, const Service& service) {
    Guard g(MachineLock());
    RemoveService(name);
    auto e = std::make_shared<Entry>();
    e->name = name;
    e->service = service;
    if (service.state != SERVICE_STOPPED)
        HoldFiles(*e);
    S().services[name] = e;
}

void RemoveService(const std::string& name) {
    Guard g(MachineLock());
    auto it = S().services.find(name);
    if (it == S().services.end())
        return;
    SetState(*it->second, SERVICE_STOPPED);
    ++it->second->generation;
    S().services.erase(it);
}

std::optional<DWORD> State(const std::string& name) {
    Guard g(MachineLock());
    auto it = S().services.find(name);
    if (it == S().services.end())
        return std::nullopt;
    return it->second->service.state;
}

bool Start(const std::string& name) {
    Guard g(MachineLock());
    auto it = S().services.find(name);
    if (it == S().services.end() || it->second->service.state != SERVICE_STOPPED)
        return false;
    ++it->second->generation;
    SetState(*it->second, SERVICE_RUNNING);
    RecordEvent("service", "start '" + it->second->name + "'");
    return true;
}

void SetElevated(bool elevated) {
    Guard g(MachineLock());
    S().elevated = elevated;
}

} // namespace svc
} // namespace winsim

using namespace winsim;

// ---- advapi32 ----------------------------------------------------------------------------------

SC_HANDLE WINAPI OpenSCManagerA(LPCSTR lpMachineName, LPCSTR, DWORD dwDesiredAccess) {
    Guard g(MachineLock());
    if (detail::Fail("OpenSCManagerA", lpMachineName))
        return nullptr;
    if (lpMachineName && *lpMachineName) {
        detail::SetError(1722); // RPC_S_SERVER_UNAVAILABLE: only this machine is simulated
        return nullptr;
    }
    const DWORD kUnelevated =
        SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS;
    if (!S().elevated && (dwDesiredAccess & ~(kUnelevated | 0x20000u)) != 0) { // READ_CONTROL allowed
        detail::SetError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    auto h = std::make_shared<ManagerHandle>();
    h->access = dwDesiredAccess;
    detail::SetError(ERROR_SUCCESS);
    return reinterpret_cast<SC_HANDLE>(detail::AddHandle(h));
}

SC_HANDLE WINAPI OpenServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName, DWORD dwDesiredAccess) {
    Guard g(MachineLock());
    if (detail::Fail("OpenServiceA", lpServiceName))
        return nullptr;
    if (!detail::Lookup<ManagerHandle>(reinterpret_cast<HANDLE>(hSCManager))) {
        detail::SetError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!lpServiceName) {
        detail::SetError(ERROR_INVALID_ADDRESS);
        return nullptr;
    }
    auto it = S().services.find(lpServiceName);
    if (it == S().services.end()) {
        detail::SetError(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    if (!S().elevated && (dwDesiredAccess & (SERVICE_STOP | SERVICE_START | SERVICE_CHANGE_CONFIG)) != 0) {
        detail::SetError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    auto h = std::make_shared<ServiceHandle>();
    h->entry = it->second;
    h->access = dwDesiredAccess;
    detail::SetError(ERROR_SUCCESS);
    return reinterpret_cast<SC_HANDLE>(detail::AddHandle(h));
}

BOOL WINAPI QueryServiceStatus(SC_HANDLE hService, LPSERVICE_STATUS lpServiceStatus) {
    Guard g(MachineLock());
    if (detail::Fail("QueryServiceStatus"))
        return FALSE;
    auto h = detail::Lookup<ServiceHandle>(reinterpret_cast<HANDLE>(hService));
    if (!h) {
        detail::SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!(h->access & SERVICE_QUERY_STATUS)) {
        detail::SetError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!lpServiceStatus) {
        detail::SetError(ERROR_INVALID_ADDRESS);
        return FALSE;
    }
    Fill(*h->entry, lpServiceStatus);
    return TRUE;
}

BOOL WINAPI ControlService(SC_HANDLE hService, DWORD dwControl, LPSERVICE_STATUS lpServiceStatus) {
    Guard g(MachineLock());
    if (detail::Fail("ControlService"))
        return FALSE;
    auto h = detail::Lookup<ServiceHandle>(reinterpret_cast<HANDLE>(hService));
    if (!h) {
        detail::SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (dwControl != SERVICE_CONTROL_STOP) {
        detail::SetError(ERROR_INVALID_PARAMETER); // only stops are simulated
        return FALSE;
    }
    if (!(h->access & SERVICE_STOP)) {
        detail::SetError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    std::shared_ptr<Entry> e = h->entry;
    RecordEvent("service", "stop '" + e->name + "'");
    if (e->service.state == SERVICE_STOPPED) {
        detail::SetError(ERROR_SERVICE_NOT_ACTIVE);
        return FALSE;
    }
    if (e->service.state == SERVICE_STOP_PENDING) {
        detail::SetError(ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
        return FALSE;
    }
    if (e->service.stop == svc::Service::Stop::Exception) {
        detail::SetError(ERROR_EXCEPTION_IN_SERVICE);
        return FALSE;
    }
    SetState(*e, SERVICE_STOP_PENDING);
    Fill(*e, lpServiceStatus);
    const uint64_t generation = ++e->generation;
    if (e->service.stop == svc::Service::Stop::AfterMs) {
        if (e->service.stopMs == 0) {
            SetState(*e, SERVICE_STOPPED);
        } else {
            std::weak_ptr<Entry> weak = e;
            AtTime(NowMs() + e->service.stopMs, [weak, generation] {
                auto entry = weak.lock();
                if (entry && entry->generation == generation && entry->service.state == SERVICE_STOP_PENDING)
                    SetState(*entry, SERVICE_STOPPED);
            });
        }
    }
    detail::SetError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI CloseServiceHandle(SC_HANDLE hSCObject) {
    Guard g(MachineLock());
    if (detail::Fail("CloseServiceHandle"))
        return FALSE;
    HANDLE h = reinterpret_cast<HANDLE>(hSCObject);
    if (!detail::Lookup<ManagerHandle>(h) && !detail::Lookup<ServiceHandle>(h)) {
        detail::SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    detail::RemoveHandle(h);
    return TRUE;
}
