// Access tokens and SIDs (advapi32): the process token, threads' impersonation tokens, and SIDs
// laid out in memory as Windows lays them out.
#include "internal.h"

#include "winsim/advapi32.h"
#include "winsim/kernel32.h"
#include "winsim/sim_token.h"

#include <cstddef>
#include <cstring>
#include <map>
#include <stdexcept>
#include <vector>

namespace winsim {
namespace {

using detail::Guard;
using detail::MachineLock;

const char kDomain[] = "S-1-5-21-1004336348-1177238915-682003330";
const char kLocalSystem[] = "S-1-5-18";

// Revision, sub-authority count and the six bytes of the identifier authority.
constexpr size_t kSidHeader = 8;

struct State {
    token::Token process = token::Make(token::Preset::ElevatedAdministrator);
    bool runningAsSystem = false;
    std::map<DWORD, token::Token> threads; // impersonation tokens by thread id
};

State MakeInitial() {
    return State();
}

State& S() {
    static State state = MakeInitial();
    return state;
}

const bool kRegistered = detail::ResetTo<S, MakeInitial>();

// "S-1-5-32-544" as SID bytes; empty when the text is not a SID.
std::vector<BYTE> SidBytes(const std::string& text) {
    std::vector<uint64_t> parts;
    if (text.size() < 4 || (text[0] != 'S' && text[0] != 's') || text[1] != '-')
        return {};
    size_t i = 2;
    while (i <= text.size()) {
        size_t end = text.find('-', i);
        if (end == std::string::npos)
            end = text.size();
        if (end == i || end - i > 15 || text.find_first_not_of("0123456789", i) < end)
            return {};
        parts.push_back(std::stoull(text.substr(i, end - i)));
        i = end + 1;
    }
    // Revision 1, an authority below 2^48, then up to 15 sub-authorities of 32 bits.
    if (parts.size() < 2 || parts.size() - 2 > SID_MAX_SUB_AUTHORITIES || parts[0] != SID_REVISION ||
        parts[1] >= (uint64_t(1) << 48))
        return {};
    const size_t count = parts.size() - 2;
    std::vector<BYTE> sid(kSidHeader + count * sizeof(DWORD));
    sid[0] = SID_REVISION;
    sid[1] = static_cast<BYTE>(count);
    for (int b = 0; b < 6; ++b)
        sid[2 + b] = static_cast<BYTE>(parts[1] >> (8 * (5 - b))); // big-endian, as Windows stores it
    for (size_t k = 0; k < count; ++k) {
        if (parts[2 + k] > 0xFFFFFFFFu)
            return {};
        const DWORD sub = static_cast<DWORD>(parts[2 + k]);
        std::memcpy(&sid[kSidHeader + k * sizeof(DWORD)], &sub, sizeof(sub));
    }
    return sid;
}

bool IsValid(const void* sid) {
    const BYTE* p = static_cast<const BYTE*>(sid);
    return p != nullptr && p[0] == SID_REVISION && p[1] <= SID_MAX_SUB_AUTHORITIES;
}

size_t SidLength(const void* sid) {
    return kSidHeader + static_cast<const BYTE*>(sid)[1] * sizeof(DWORD);
}

void CheckSids(const token::Token& token) {
    if (SidBytes(token.user).empty())
        throw std::invalid_argument("not a SID: '" + token.user + "'");
    for (const token::Group& g : token.groups)
        if (SidBytes(g.sid).empty())
            throw std::invalid_argument("not a SID: '" + g.sid + "'");
}

token::Token EffectiveProcessToken() {
    Guard g(MachineLock());
    return S().runningAsSystem ? token::Make(token::Preset::LocalSystem) : S().process;
}

// An open token: what the token was when it was opened, and the access granted.
struct TokenObject : detail::KernelObject {
    token::Token token;
    DWORD access = 0;
};

BOOL OpenToken(const token::Token& token, DWORD access, PHANDLE out) {
    auto obj = std::make_shared<TokenObject>();
    obj->token = token;
    obj->access = access;
    *out = detail::AddHandle(obj);
    return TRUE;
}

} // namespace

namespace detail {

void SetRunningAsSystem(bool on) {
    Guard g(MachineLock());
    S().runningAsSystem = on;
}

std::optional<std::string> TokenUserName() {
    Guard g(MachineLock());
    auto it = S().threads.find(GetCurrentThreadId());
    const token::Token effective = it != S().threads.end() ? it->second : EffectiveProcessToken();
    if (effective.name.empty())
        return std::nullopt;
    return effective.name;
}

} // namespace detail

namespace token {

Token Make(Preset preset) {
    const DWORD kDefault = SE_GROUP_MANDATORY | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_ENABLED;
    const DWORD kIntegrity = SE_GROUP_INTEGRITY | SE_GROUP_INTEGRITY_ENABLED;
    Token t;
    if (preset == Preset::LocalSystem) {
        t.user = kLocalSystem;
        t.name = "SYSTEM";
        t.groups = {{"S-1-5-32-544", SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_ENABLED | SE_GROUP_OWNER},
                    {"S-1-1-0", kDefault},
                    {"S-1-5-11", kDefault},
                    {"S-1-16-16384", kIntegrity}};
        return t;
    }
    const bool admin = preset != Preset::StandardUser;
    const bool elevated = preset == Preset::ElevatedAdministrator;
    t.user = std::string(kDomain) + (admin ? "-500" : "-1001");
    t.groups.push_back({std::string(kDomain) + "-513", kDefault});
    t.groups.push_back({"S-1-1-0", kDefault});
    if (admin) {
        // A filtered token keeps the administrators' groups for deny only.
        t.groups.push_back({"S-1-5-114", elevated ? kDefault : DWORD(SE_GROUP_USE_FOR_DENY_ONLY)});
        const DWORD kFiltered = SE_GROUP_MANDATORY | SE_GROUP_OWNER | SE_GROUP_USE_FOR_DENY_ONLY;
        t.groups.push_back({"S-1-5-32-544", elevated ? kDefault | DWORD(SE_GROUP_OWNER) : kFiltered});
    }
    t.groups.push_back({"S-1-5-32-545", kDefault});
    t.groups.push_back({"S-1-5-4", kDefault});
    t.groups.push_back({"S-1-2-1", kDefault});
    t.groups.push_back({"S-1-5-11", kDefault});
    t.groups.push_back({"S-1-5-15", kDefault});
    t.groups.push_back({"S-1-5-113", kDefault});
    t.groups.push_back({"S-1-5-5-0-181764", SE_GROUP_LOGON_ID | kDefault});
    t.groups.push_back({"S-1-2-0", kDefault});
    t.groups.push_back({"S-1-5-64-10", kDefault});
    t.groups.push_back({elevated ? "S-1-16-12288" : "S-1-16-8192", kIntegrity});
    return t;
}

void SetProcessToken(const Token& token) {
    CheckSids(token);
    Guard g(MachineLock());
    S().process = token;
}

Token ProcessToken() {
    return EffectiveProcessToken();
}

void Impersonate(const Token& token) {
    CheckSids(token);
    Guard g(MachineLock());
    S().threads[GetCurrentThreadId()] = token;
}

void StopImpersonating() {
    Guard g(MachineLock());
    S().threads.erase(GetCurrentThreadId());
}

std::optional<Token> ThreadToken() {
    Guard g(MachineLock());
    auto it = S().threads.find(GetCurrentThreadId());
    if (it == S().threads.end())
        return std::nullopt;
    return it->second;
}

std::string SidText(const void* sid) {
    if (!IsValid(sid))
        return "";
    const BYTE* p = static_cast<const BYTE*>(sid);
    uint64_t authority = 0;
    for (int b = 0; b < 6; ++b)
        authority = (authority << 8) | p[2 + b];
    std::string text = "S-1-" + std::to_string(authority);
    for (size_t k = 0; k < p[1]; ++k) {
        DWORD sub;
        std::memcpy(&sub, p + kSidHeader + k * sizeof(DWORD), sizeof(sub));
        text += "-" + std::to_string(sub);
    }
    return text;
}

} // namespace token
} // namespace winsim

using namespace winsim;

// ---- advapi32: tokens --------------------------------------------------------------------------

// Every access asked for is granted, so OpenAsSelf changes nothing here.
BOOL WINAPI OpenThreadToken(HANDLE ThreadHandle, DWORD DesiredAccess, BOOL, PHANDLE TokenHandle) {
    Guard g(MachineLock());
    if (detail::Fail("OpenThreadToken"))
        return FALSE;
    if (ThreadHandle != GetCurrentThread()) {
        detail::SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!TokenHandle) {
        detail::SetError(ERROR_NOACCESS);
        return FALSE;
    }
    auto it = S().threads.find(GetCurrentThreadId());
    if (it == S().threads.end()) {
        detail::SetError(ERROR_NO_TOKEN);
        return FALSE;
    }
    return OpenToken(it->second, DesiredAccess, TokenHandle);
}

BOOL WINAPI OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle) {
    Guard g(MachineLock());
    if (detail::Fail("OpenProcessToken"))
        return FALSE;
    if (ProcessHandle != GetCurrentProcess()) {
        detail::SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!TokenHandle) {
        detail::SetError(ERROR_NOACCESS);
        return FALSE;
    }
    return OpenToken(EffectiveProcessToken(), DesiredAccess, TokenHandle);
}

// The answer is self-contained: the fixed part (TOKEN_USER, or TOKEN_GROUPS with its whole
// array), then the SIDs it points to, in the caller's buffer.
BOOL WINAPI GetTokenInformation(HANDLE TokenHandle, TOKEN_INFORMATION_CLASS TokenInformationClass,
                                LPVOID TokenInformation, DWORD TokenInformationLength, PDWORD ReturnLength) {
    Guard g(MachineLock());
    if (detail::Fail("GetTokenInformation"))
        return FALSE;
    auto token = detail::Lookup<TokenObject>(TokenHandle);
    if (!token) {
        detail::SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!(token->access & TOKEN_QUERY)) {
        detail::SetError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (TokenInformationClass != TokenUser && TokenInformationClass != TokenGroups) {
        detail::SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!ReturnLength) {
        detail::SetError(ERROR_NOACCESS);
        return FALSE;
    }

    std::vector<std::pair<std::vector<BYTE>, DWORD>> entries; // SID and attributes
    size_t fixed;
    size_t entriesAt;
    if (TokenInformationClass == TokenUser) {
        entries.emplace_back(SidBytes(token->token.user), 0);
        fixed = sizeof(TOKEN_USER);
        entriesAt = offsetof(TOKEN_USER, User);
    } else {
        for (const token::Group& group : token->token.groups)
            entries.emplace_back(SidBytes(group.sid), group.attributes);
        entriesAt = offsetof(TOKEN_GROUPS, Groups);
        fixed = entriesAt + entries.size() * sizeof(SID_AND_ATTRIBUTES);
    }
    size_t needed = fixed;
    for (const auto& entry : entries)
        needed += entry.first.size();
    *ReturnLength = static_cast<DWORD>(needed);
    if (!TokenInformation || TokenInformationLength < needed) {
        detail::SetError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }

    BYTE* base = static_cast<BYTE*>(TokenInformation);
    std::memset(base, 0, needed);
    if (TokenInformationClass == TokenGroups) {
        const DWORD count = static_cast<DWORD>(entries.size());
        std::memcpy(base + offsetof(TOKEN_GROUPS, GroupCount), &count, sizeof(count));
    }
    size_t sidAt = fixed;
    for (size_t k = 0; k < entries.size(); ++k) {
        BYTE* sid = base + sidAt;
        std::memcpy(sid, entries[k].first.data(), entries[k].first.size());
        SID_AND_ATTRIBUTES sa{sid, entries[k].second};
        std::memcpy(base + entriesAt + k * sizeof(SID_AND_ATTRIBUTES), &sa, sizeof(sa));
        sidAt += entries[k].first.size();
    }
    return TRUE;
}

// ---- advapi32: SIDs ----------------------------------------------------------------------------

// Sets revision, count and authority; the sub-authorities are the caller's to fill.
BOOL WINAPI InitializeSid(PSID Sid, PSID_IDENTIFIER_AUTHORITY pIdentifierAuthority, BYTE nSubAuthorityCount) {
    if (detail::Fail("InitializeSid"))
        return FALSE;
    if (!Sid || !pIdentifierAuthority || nSubAuthorityCount > SID_MAX_SUB_AUTHORITIES) {
        detail::SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    BYTE* p = static_cast<BYTE*>(Sid);
    p[0] = SID_REVISION;
    p[1] = nSubAuthorityCount;
    std::memcpy(p + 2, pIdentifierAuthority->Value, 6);
    return TRUE;
}

// Cannot fail (counted, so hooks can act on it).
DWORD WINAPI GetSidLengthRequired(UCHAR nSubAuthorityCount) {
    (void)Faulted("GetSidLengthRequired");
    return static_cast<DWORD>(kSidHeader + nSubAuthorityCount * sizeof(DWORD));
}

// Windows leaves the result undefined for an index past the SID's count; here it is NULL (87).
PDWORD WINAPI GetSidSubAuthority(PSID pSid, DWORD nSubAuthority) {
    if (detail::Fail("GetSidSubAuthority"))
        return nullptr;
    if (!IsValid(pSid) || nSubAuthority >= static_cast<BYTE*>(pSid)[1]) {
        detail::SetError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    detail::SetError(ERROR_SUCCESS);
    return reinterpret_cast<PDWORD>(static_cast<BYTE*>(pSid) + kSidHeader + nSubAuthority * sizeof(DWORD));
}

BOOL WINAPI EqualSid(PSID pSid1, PSID pSid2) {
    if (detail::Fail("EqualSid"))
        return FALSE;
    if (!IsValid(pSid1) || !IsValid(pSid2)) {
        detail::SetError(ERROR_INVALID_SID);
        return FALSE;
    }
    detail::SetError(ERROR_SUCCESS);
    return SidLength(pSid1) == SidLength(pSid2) && std::memcmp(pSid1, pSid2, SidLength(pSid1)) == 0;
}
