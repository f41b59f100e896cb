// Access tokens and SIDs: which token is in effect, the self-contained answers of
// GetTokenInformation, and SIDs built and compared in place.
#include <gtest/gtest.h>
#include <msiquery.h>
#include <windows.h>
#include <winsim/sim.h>

#include <cstddef>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using winsim::token::Preset;

class Tokens : public ::testing::Test {
  protected:
    void SetUp() override { winsim::Reset(); }
    void TearDown() override { EXPECT_EQ(winsim::OpenHandleCount(), 0); }
};

// The token's information of one class, read the way callers do: size query, then the read.
std::vector<BYTE> Info(HANDLE token, TOKEN_INFORMATION_CLASS cls) {
    DWORD needed = 0;
    EXPECT_FALSE(GetTokenInformation(token, cls, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    std::vector<BYTE> buf(needed);
    DWORD got = 0;
    EXPECT_TRUE(GetTokenInformation(token, cls, buf.data(), needed, &got));
    EXPECT_EQ(got, needed);
    return buf;
}

struct Seen {
    std::string user;
    std::vector<std::pair<std::string, DWORD>> groups;
};

// The user and groups of the token in effect for the calling thread.
Seen Effective() {
    HANDLE h = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &h)) {
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_TOKEN);
        EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &h));
    }
    Seen seen;
    std::vector<BYTE> user = Info(h, TokenUser);
    seen.user = winsim::token::SidText(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid);
    std::vector<BYTE> groups = Info(h, TokenGroups);
    const auto* g = reinterpret_cast<TOKEN_GROUPS*>(groups.data());
    for (DWORD i = 0; i < g->GroupCount; i++)
        seen.groups.emplace_back(winsim::token::SidText(g->Groups[i].Sid), g->Groups[i].Attributes);
    CloseHandle(h);
    return seen;
}

DWORD AdministratorsAttributes(const Seen& seen) {
    for (const auto& [sid, attributes] : seen.groups)
        if (sid == "S-1-5-32-544")
            return attributes;
    return 0xFFFFFFFFu;
}

TEST_F(Tokens, PresetsDifferInUserAndAdministratorsGroup) {
    Seen elevated = Effective();
    EXPECT_EQ(elevated.user.rfind("S-1-5-21-", 0), 0u);
    EXPECT_EQ(elevated.user.substr(elevated.user.size() - 4), "-500");
    EXPECT_EQ(AdministratorsAttributes(elevated), 0x0Fu);
    EXPECT_NE(elevated.groups.front().first, "S-1-5-32-544") << "the walk must pass other groups first";

    winsim::token::SetProcessToken(winsim::token::Make(Preset::FilteredAdministrator));
    Seen filtered = Effective();
    EXPECT_EQ(filtered.user, elevated.user);
    EXPECT_EQ(AdministratorsAttributes(filtered), 0x19u);

    winsim::token::SetProcessToken(winsim::token::Make(Preset::StandardUser));
    Seen standard = Effective();
    EXPECT_NE(standard.user, elevated.user);
    EXPECT_EQ(AdministratorsAttributes(standard), 0xFFFFFFFFu);

    winsim::token::SetProcessToken(winsim::token::Make(Preset::LocalSystem));
    EXPECT_EQ(Effective().user, "S-1-5-18");
    char name[64];
    DWORD cch = sizeof(name);
    ASSERT_TRUE(GetUserNameA(name, &cch));
    EXPECT_STREQ(name, "SYSTEM");

    winsim::Reset();
    EXPECT_EQ(Effective().user, elevated.user);
}

TEST_F(Tokens, ThreadTokenOnlyWhileImpersonatingAndOnlyForThatThread) {
    HANDLE h = reinterpret_cast<HANDLE>(1);
    EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &h));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_TOKEN);

    winsim::token::Impersonate(winsim::token::Make(Preset::FilteredAdministrator));
    EXPECT_EQ(AdministratorsAttributes(Effective()), 0x19u);
    std::string otherUser;
    std::thread other([&] { otherUser = Effective().user; });
    other.join();
    EXPECT_EQ(otherUser, winsim::token::ProcessToken().user);
    EXPECT_EQ(AdministratorsAttributes(Effective()), 0x19u);

    winsim::token::StopImpersonating();
    EXPECT_EQ(AdministratorsAttributes(Effective()), 0x0Fu);
    EXPECT_FALSE(winsim::token::ThreadToken().has_value());
}

TEST_F(Tokens, DeferredWithoutImpersonationRunsAsLocalSystem) {
    winsim::token::SetProcessToken(winsim::token::Make(Preset::FilteredAdministrator));
    winsim::msi::EnterDeferred("X", MSIRUNMODE_SCHEDULED, true);
    EXPECT_EQ(Effective().user, "S-1-5-18");
    winsim::msi::LeaveDeferred();
    EXPECT_EQ(AdministratorsAttributes(Effective()), 0x19u);

    winsim::msi::EnterDeferred("X", MSIRUNMODE_SCHEDULED);
    EXPECT_EQ(AdministratorsAttributes(Effective()), 0x19u) << "impersonated: the user's own token";
    winsim::msi::LeaveDeferred();
}

TEST_F(Tokens, AnswersAreSelfContainedAndShortBuffersGiveTheLength) {
    HANDLE h = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &h));
    EXPECT_EQ(winsim::OpenHandleCount(), 1);
    DWORD needed = 0;
    ASSERT_FALSE(GetTokenInformation(h, TokenGroups, nullptr, 0, &needed));
    ASSERT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    std::vector<BYTE> buf(needed);
    DWORD reported = 0;
    EXPECT_FALSE(GetTokenInformation(h, TokenGroups, buf.data(), needed - 1, &reported));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(reported, needed);
    ASSERT_TRUE(GetTokenInformation(h, TokenGroups, buf.data(), needed, &reported));

    // The SIDs lie after the array, inside the buffer, one after the other.
    const auto* g = reinterpret_cast<TOKEN_GROUPS*>(buf.data());
    const BYTE* next =
        buf.data() + offsetof(TOKEN_GROUPS, Groups) + g->GroupCount * sizeof(SID_AND_ATTRIBUTES);
    for (DWORD i = 0; i < g->GroupCount; i++) {
        const BYTE* sid = static_cast<const BYTE*>(g->Groups[i].Sid);
        EXPECT_EQ(sid, next) << "group " << i;
        next = sid + GetSidLengthRequired(sid[1]);
    }
    EXPECT_EQ(next, buf.data() + needed);

    std::vector<BYTE> user = Info(h, TokenUser);
    const BYTE* userSid = static_cast<const BYTE*>(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid);
    EXPECT_EQ(userSid, user.data() + sizeof(TOKEN_USER));
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(winsim::OpenHandleCount(), 0);
    EXPECT_TRUE(CloseHandle(GetCurrentThread()));
}

TEST_F(Tokens, RefusalsAsOnWindows) {
    HANDLE h = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE, &h));
    DWORD needed = 0;
    EXPECT_FALSE(GetTokenInformation(h, TokenUser, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED) << "no TOKEN_QUERY";
    CloseHandle(h);
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &h));
    EXPECT_FALSE(GetTokenInformation(h, TokenPrivileges, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    CloseHandle(h);
    EXPECT_FALSE(GetTokenInformation(h, TokenUser, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE) << "closed";
    EXPECT_FALSE(OpenProcessToken(reinterpret_cast<HANDLE>(0x100), TOKEN_QUERY, &h));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);

    winsim::FailCall("OpenThreadToken", ERROR_ACCESS_DENIED, 1);
    EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &h));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_THROW(winsim::token::Impersonate({"S-1-x", "", {}}), std::invalid_argument);
}

TEST_F(Tokens, SidsBuiltInPlaceAndCompared) {
    DWORD admins[SECURITY_MAX_SID_SIZE / sizeof(DWORD)] = {};
    SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
    ASSERT_TRUE(InitializeSid(admins, &nt, 2));
    *GetSidSubAuthority(admins, 0) = SECURITY_BUILTIN_DOMAIN_RID;
    *GetSidSubAuthority(admins, 1) = DOMAIN_ALIAS_RID_ADMINS;
    EXPECT_EQ(winsim::token::SidText(admins), "S-1-5-32-544");
    EXPECT_EQ(GetSidSubAuthority(admins, 2), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);

    DWORD users[SECURITY_MAX_SID_SIZE / sizeof(DWORD)] = {};
    ASSERT_TRUE(InitializeSid(users, &nt, 2));
    *GetSidSubAuthority(users, 0) = SECURITY_BUILTIN_DOMAIN_RID;
    *GetSidSubAuthority(users, 1) = DOMAIN_ALIAS_RID_USERS;
    EXPECT_FALSE(EqualSid(admins, users));
    *GetSidSubAuthority(users, 1) = DOMAIN_ALIAS_RID_ADMINS;
    EXPECT_TRUE(EqualSid(admins, users));
    SID_IDENTIFIER_AUTHORITY world = {SECURITY_WORLD_SID_AUTHORITY};
    ASSERT_TRUE(InitializeSid(users, &world, 2));
    EXPECT_FALSE(EqualSid(admins, users)) << "same sub-authorities, other authority";
    ASSERT_TRUE(InitializeSid(users, &nt, 1));
    EXPECT_FALSE(EqualSid(admins, users)) << "fewer sub-authorities";

    EXPECT_EQ(GetSidLengthRequired(15), (DWORD)SECURITY_MAX_SID_SIZE);
    EXPECT_TRUE(InitializeSid(users, &nt, 15));
    EXPECT_FALSE(InitializeSid(users, &nt, 16));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
}

} // namespace
