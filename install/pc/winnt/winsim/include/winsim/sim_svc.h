// Services of the simulated machine, as the service control manager sees them.
//
// Each service has a name (case-insensitive), a state from SERVICE_STOPPED (1) to SERVICE_PAUSED
// (7) and a stop behaviour. A stop control on a service in any state but stopped or stop pending
// makes it stop pending; it is stopped stopMs of virtual time later (0: at once), never (Never),
// or the control fails with 1064 and nothing changes (Exception). Errors are Wine 8's: 1060 for a
// missing service, 1062 for a stop sent to a stopped one, 1061 to one already stop pending. While
// a service is in any state but stopped its files are held open by its process (fs::Lock); the
// stop releases them, and Start takes them again.
//
// Not elevated (SetElevated(false)): OpenSCManagerA with more than connect, enumerate and lock
// status rights, and OpenServiceA with all access or stop access, fail with 5.
#pragma once

#include "winsim/wintypes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace winsim::svc {

struct Service {
    enum class Stop { AfterMs, Never, Exception };
    DWORD state = 4; // SERVICE_RUNNING
    Stop stop = Stop::AfterMs;
    uint32_t stopMs = 0;
    std::vector<std::string> files{}; // held open while the service is not stopped
};

// Adds the service, or replaces the one of that name.
void AddService(const std::string& name, const Service& service);
void RemoveService(const std::string& name);
std::optional<DWORD> State(const std::string& name); // nullopt: no such service
// Starts a stopped service (as its start program does): running, its files held. False when
// there is no such service or it is not stopped.
bool Start(const std::string& name);
void SetElevated(bool elevated);

} // namespace winsim::svc
