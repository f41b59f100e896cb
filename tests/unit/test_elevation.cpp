// The elevation check: which tokens pass, the identifiers it builds, and every way reading the
// token can fail.
#include "zebiwicnInstall.h"
#include "zebtest.h"

#include <cstring>

namespace {

using winsim::token::Preset;

using Elevation = ZebTest;

const char kRefused[] = "***Error -> User does not have the required administrator privileges (ZEB4353)\n";
const char kSuccess[] = "Success -> User has the required administrator privileges";

void RunAs(Preset preset) {
    winsim::token::SetProcessToken(winsim::token::Make(preset));
}

TEST_F(Elevation, ElevatedAdministratorPasses) {
    EXPECT_EQ(iwiCheckIfElevated(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(TextsInOrder({"User id belongs to local Administrators", kSuccess, "Returning with rc 0"}));
    EXPECT_FALSE(HasTextContaining("not enabled"));
    EXPECT_FALSE(HasText("User id matches the SYSTEM SID"));
}

TEST_F(Elevation, FilteredAdministratorFailsWithOneGenericMessage) {
    RunAs(Preset::FilteredAdministrator);
    winsim::msi::SetProperty("UILevel", "5");
    EXPECT_EQ(iwiCheckIfElevated(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(TextsInOrder({"User id belongs to local Administrators",
                              "Group Attributes show it is not enabled (0x00000019)", kBanner1, kBanner2,
                              kRefused, "Returning with rc 1603"}));
    EXPECT_FALSE(HasText(kSuccess));
    EXPECT_EQ(MessageBoxes().size(), 1u);
    // The line end stays in the text: the trace file gets an empty line after it.
    winsim::msi::SetProperty("ZEBUSERTRACEPATH", "C:\\Temp\\trace.txt");
    Reload(true);
    iwiCheckIfElevated(h);
    EXPECT_NE(File("C:\\Temp\\trace.txt").find("(ZEB4353)\r\n\r\n"), std::string::npos);
}

TEST_F(Elevation, StandardUserFailsWithoutFindingTheGroup) {
    RunAs(Preset::StandardUser);
    EXPECT_EQ(iwiCheckIfElevated(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText(kRefused));
    EXPECT_FALSE(HasText("User id belongs to local Administrators"));
    EXPECT_FALSE(HasTextContaining("not enabled"));
}

TEST_F(Elevation, LocalSystemPassesOnTheUserAloneAndClosesEverything) {
    RunAs(Preset::LocalSystem);
    EXPECT_EQ(iwiCheckIfElevated(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(TextsInOrder({"User id matches the SYSTEM SID", kSuccess}));
    EXPECT_FALSE(HasText("User id belongs to local Administrators"));
    EXPECT_EQ(winsim::CallCount("GetTokenInformation"), 2) << "the groups must not be read";
    EXPECT_EQ(winsim::OpenHandleCount(), 0); // the token; the buffers are the sanitizer build's to check
}

TEST_F(Elevation, DeferredWithoutImpersonationRunsAsSystem) {
    RunAs(Preset::FilteredAdministrator);
    winsim::msi::EnterDeferred("iwiCheckIfElevated", MSIRUNMODE_SCHEDULED, true);
    EXPECT_EQ(iwiCheckIfElevated(h), ZEB_RC_SUCCESS);
    winsim::msi::LeaveDeferred();
    EXPECT_TRUE(HasText("User id matches the SYSTEM SID"));
}

TEST_F(Elevation, ImpersonatingThreadIsJudgedByItsOwnToken) {
    winsim::token::Impersonate(winsim::token::Make(Preset::FilteredAdministrator));
    EXPECT_EQ(iwiCheckIfElevated(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("Group Attributes show it is not enabled (0x00000019)"));
    EXPECT_EQ(winsim::CallCount("OpenProcessToken"), 0);

    // And the other way round: an elevated impersonation token in a filtered process.
    winsim::token::Impersonate(winsim::token::Make(Preset::ElevatedAdministrator));
    RunAs(Preset::FilteredAdministrator);
    Reload(true);
    EXPECT_EQ(iwiCheckIfElevated(h), ZEB_RC_SUCCESS);
    winsim::token::StopImpersonating();
}

TEST_F(Elevation, ThreadTokenErrorOtherThanNoTokenFailsWithoutTheProcessToken) {
    winsim::FailCall("OpenThreadToken", ERROR_ACCESS_DENIED);
    EXPECT_EQ(iwiCheckIfElevated(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(TextsInOrder({"Error -> OpenProcessToken: 5", kRefused}));
    EXPECT_EQ(winsim::CallCount("OpenProcessToken"), 0);
}

TEST_F(Elevation, IdentifiersThatCannotBeBuiltLetTheRunThrough) {
    winsim::FailCall("InitializeSid", ERROR_INVALID_PARAMETER);
    EXPECT_EQ(iwiCheckIfElevated(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(TextsInOrder({"Error -> InitializeSid: 87", "Returning with rc 0"}));
    EXPECT_EQ(winsim::CallCount("OpenThreadToken"), 0);
    EXPECT_FALSE(HasText(kSuccess));
    EXPECT_FALSE(HasText(kRefused));
}

// Each call of the check failing once: the text it traces, and the run refused (tokens that
// cannot be read count as not elevated). An EqualSid failure reads as "not equal".
TEST_F(Elevation, EveryTokenReadFailureRefusesTheRun) {
    struct Case {
        const char* function;
        int nth;
        const char* text;
    } cases[] = {
        {"OpenProcessToken", 1, "Error -> OpenProcessToken: 5"},
        {"GetTokenInformation", 1, "Error -> GetTokenInformation:  5"}, // user size query
        {"GetTokenInformation", 2, "Error -> GetTokenInformation: 5"},  // user read
        {"GetTokenInformation", 3, "Error -> GetTokenInformation: 5"},  // groups size query
        {"GetTokenInformation", 4, "Error -> GetTokenInformation: 5"},  // groups read
        {"EqualSid", 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.function) + " #" + std::to_string(c.nth));
        Reload(true);
        winsim::ClearFaults();
        winsim::FailCall(c.function, ERROR_ACCESS_DENIED, c.nth);
        EXPECT_EQ(iwiCheckIfElevated(h), ZEB_RC_FAILURE);
        if (c.text != nullptr) {
            EXPECT_TRUE(TextsInOrder({c.text, kRefused}));
        }
        EXPECT_FALSE(HasText("User id belongs to local Administrators"));
        EXPECT_EQ(winsim::OpenHandleCount(), 0);
    }
}

TEST_F(Elevation, InitSecurityDataBuildsTheThreeIdentifiersInOrder) {
    ZebSecurityData data;
    memset(&data, 0, sizeof(data));
    EXPECT_EQ(initSecurityData(&data), 0u);
    EXPECT_EQ(data.dwFlags, 0xFu);
    EXPECT_EQ(winsim::token::SidText(data.adwSystemSid), "S-1-5-18");
    EXPECT_EQ(winsim::token::SidText(data.adwEveryoneSid), "S-1-1-0");
    EXPECT_EQ(winsim::token::SidText(data.adwAdminsSid), "S-1-5-32-544");

    // The second (everyone) fails: the first stays ready, nothing after it is built.
    memset(&data, 0, sizeof(data));
    winsim::FailCall("InitializeSid", ERROR_INVALID_PARAMETER, 2);
    EXPECT_EQ(initSecurityData(&data), 1u);
    EXPECT_EQ(data.dwFlags, (DWORD)ZEB_SEC_SYSTEM_READY);
    EXPECT_TRUE(HasText("Error -> InitializeSid: 87"));
    EXPECT_EQ(winsim::token::SidText(data.adwAdminsSid), "");

    // Called again, only the identifiers not ready are built.
    const int before = winsim::CallCount("InitializeSid");
    EXPECT_EQ(initSecurityData(&data), 0u);
    EXPECT_EQ(winsim::CallCount("InitializeSid") - before, 2);
    EXPECT_EQ(data.dwFlags, 0xFu);

    // A sub-authority that cannot be reached is a failure too, with the system's error.
    memset(&data, 0, sizeof(data));
    winsim::FailCall("GetSidSubAuthority", ERROR_INVALID_PARAMETER, 1);
    winsim::msi::ClearMessages();
    EXPECT_EQ(initSecurityData(&data), 1u);
    EXPECT_EQ(data.dwFlags, 0u);
    EXPECT_TRUE(HasText("Error -> InitializeSid: 87"));
}

TEST_F(Elevation, CheckFlagsChooseWhatIsLookedAt) {
    ZebSecurityData data;
    memset(&data, 0, sizeof(data));
    ASSERT_EQ(initSecurityData(&data), 0u);

    // User only: an elevated administrator is not LocalSystem, and the groups are not read.
    EXPECT_EQ(checkCurrentUserMemberships(&data, ZEB_CHECK_SYSTEM_USER), 1u);
    EXPECT_EQ(winsim::CallCount("GetTokenInformation"), 2);
    // Groups only: LocalSystem passes through its enabled Administrators group, not its user.
    RunAs(Preset::LocalSystem);
    EXPECT_EQ(checkCurrentUserMemberships(&data, ZEB_CHECK_ADMINS_GROUP), 0u);
    EXPECT_FALSE(HasText("User id matches the SYSTEM SID"));
    EXPECT_TRUE(HasText("User id belongs to local Administrators"));
    EXPECT_EQ(checkCurrentUserMemberships(&data, 0), 1u);
}

} // namespace
