// Access tokens of the simulated machine: the process token, the impersonation token of a thread,
// and LocalSystem for deferred actions the engine runs without impersonation
// (msi::EnterDeferred). SIDs are written as text ("S-1-5-32-544").
#pragma once

#include "winsim/wintypes.h"

#include <optional>
#include <string>
#include <vector>

namespace winsim::token {

struct Group {
    std::string sid;
    DWORD attributes = 0; // SE_GROUP_* flags
};

struct Token {
    std::string user; // the user's SID
    // The account name GetUserNameA gives while the token is in effect; empty: the machine's
    // user name (SetUserName).
    std::string name;
    std::vector<Group> groups; // in the order TokenGroups lists them
};

enum class Preset {
    ElevatedAdministrator, // the default: Administrators enabled (0x0000000F)
    FilteredAdministrator, // Administrators for deny only (0x00000019, as a restricted token shows it)
    StandardUser,          // not a member of Administrators
    LocalSystem,           // user S-1-5-18, name "SYSTEM"
};
// A token as Windows gives it for such an account: the administrators' user is RID 500 of the
// machine's domain, the standard user RID 1001; Administrators comes fourth among the groups.
Token Make(Preset preset);

// The process token; Reset makes it Make(Preset::ElevatedAdministrator).
void SetProcessToken(const Token& token);
// What OpenProcessToken gives now: LocalSystem inside a deferred run without impersonation.
Token ProcessToken();

// The calling thread impersonates a token until StopImpersonating (Reset ends every thread's
// impersonation). Without one, OpenThreadToken fails with 1008.
void Impersonate(const Token& token);
void StopImpersonating();
std::optional<Token> ThreadToken();

// "S-1-5-18" for a SID in memory; "" for NULL or a SID that is not valid.
std::string SidText(const void* sid);

} // namespace winsim::token
