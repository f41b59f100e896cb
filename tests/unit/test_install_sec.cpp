// Secondary initialisation: the version checks of an upgrade, the client-over-server refusal, the
// old installation's features carried over, the preselection walk and the silent run's checks.
#include "zebiwicnFeatures.h"
#include "zebiwicnInstall.h"
#include "zebiwicnUtil.h"
#include "zebtest.h"

namespace {

namespace fs = winsim::fs;
namespace msi = winsim::msi;
namespace reg = winsim::reg;

const char* const kFeatures[] = {"Base",      "Client",    "JavaMsg",    "Toolkit",     "Server",
                                 "JRE",       "Web",       "XR_Service", "MFT_Service", "MFT_Logger",
                                 "MFT_Agent", "MFT_Tools", "AMS",        "AMQP"};

class InitSec : public ZebTest {
  protected:
    void SetUp() override {
        ZebTest::SetUp();
        UnpackLanguageLibrary();
        strings = TableStrings("zebircan");
        SetProps({{"UpgradeCode", ZEB_UPGRADE_SERVER},
                  {"ZEBPRODUCT", "server"},
                  {"ZEBVRMF", "9.4.0.0"},
                  {"ZEBBUILDTIME", "200"},
                  {"UILevel", "5"},
                  {"VersionNT", "1000"}});
        msi::DefineStandardTable("ListBox");
        std::vector<msi::FeatureSpec> specs;
        for (const char* name : kFeatures)
            specs.push_back({name});
        msi::DefineFeatures(specs);
    }
    // Inst1 of the given level is what this package upgrades.
    static void Upgrade(const std::string& vrmf, std::vector<std::string> components = {},
                        const std::string& package = "Server") {
        std::string v = vrmf.substr(0, vrmf.find('.'));
        std::string rest = vrmf.substr(vrmf.find('.') + 1);
        AddInstallation({.name = "Inst1",
                         .identifier = "1",
                         .vrmf = vrmf,
                         .package = package,
                         .productType = package,
                         .serverVersion = v,
                         .serverRelease = rest.substr(0, rest.find('.')),
                         .components = std::move(components)});
        SetProps({{"ZEBOLDINSTALLINSTANCENAME", "Inst1"},
                  {"ZEBOLDSERVER", "{11111111-1111-1111-1111-111111111111}"}});
    }
    static int Action(const char* feature) { return msi::Feature(feature)->second; }
    std::map<unsigned, std::string> strings;
};

// ---- Versions ---------------------------------------------------------------------------------------

TEST_F(InitSec, HigherVersionIsRefusedOnlyWhenAsked) {
    Upgrade("9.5.0.0");
    EXPECT_EQ(iwiInstallInitSec(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(TextsInOrder({"***This is Downlevel VR compared to installed product",
                              "Ignoring down-level/unsupported product version"}));
    EXPECT_EQ(Prop("ZEBPREVVERSION"), "90500");

    msi::SetProperty("ZEBCHECKVERSION", "1");
    EXPECT_EQ(iwiInstallInitSec(h), ZEB_RC_FAILURE);
    ASSERT_EQ(MessageBoxes().size(), 1u);
    EXPECT_NE(MessageBoxes()[0].find(strings.at(210)), std::string::npos);
}

// A level too large to count is the largest: never below the installed one, never an overflow.
TEST_F(InitSec, HugePackageLevelIsNotDownLevel) {
    SetProps({{"ZEBVRMF", "99999999999.1.0.0"}, {"ZEBCHECKVERSION", "1"}});
    Upgrade("9.5.0.0");
    EXPECT_EQ(iwiInstallInitSec(h), ZEB_RC_SUCCESS);
    EXPECT_FALSE(HasTextContaining("Downlevel"));
}

TEST_F(InitSec, MigrationFromFiveThreeIsUnsupportedButNotAboveIt) {
    msi::SetProperty("ZEBCHECKVERSION", "1");
    Upgrade("5.3.0.0");
    EXPECT_EQ(iwiInstallInitSec(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***Unsupported VR as migration from 5.3 or earlier is unsupported"));
    ASSERT_EQ(MessageBoxes().size(), 1u);
    EXPECT_NE(MessageBoxes()[0].find(strings.at(273)), std::string::npos);

    Upgrade("5.3.1.0");
    msi::ClearMessages();
    EXPECT_EQ(iwiInstallInitSec(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBPREVVERSION"), "50301");
}

TEST_F(InitSec, LowerFixLevel) {
    // A server package over a client installation of a slightly higher fix level re-applies it.
    Upgrade("9.4.0.5");
    msi::SetProperty("ZEBOLDCLIENT", "{22222222-2222-2222-2222-222222222222}");
    EXPECT_EQ(iwiInstallInitSec(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBREAPPLYSERVICE"), "9.4.0.5");
    EXPECT_TRUE(HasText("I'm a server product upgrading a client, which is slightly backlevel."));

    // Otherwise it is down-level, refused with the two levels when the service level is checked.
    SetProps({{"ZEBOLDCLIENT", ""}, {"ZEBREAPPLYSERVICE", ""}, {"ZEBCHECKSERVICELEVEL", "1"}});
    EXPECT_EQ(iwiInstallInitSec(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***Downlevel MF compared to installed product"));
    ASSERT_EQ(MessageBoxes().size(), 1u);
    EXPECT_NE(MessageBoxes()[0].find("'9.4.0.5' with Version '9.4.0.0'"), std::string::npos);
    EXPECT_EQ(Prop("ZEBREAPPLYSERVICE"), "");
}

TEST_F(InitSec, SameLevelComparesBuildTimes) {
    const char kKey[] = "SOFTWARE\\Corvane\\Skyloft HX\\Installation\\Inst1";
    Upgrade("9.4.0.0");
    EXPECT_EQ(iwiInstallInitSec(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(
        TextsInOrder({"Installed and this have an equal VRMF", "***Installed build time not available."}));

    reg::SetString(HKEY_LOCAL_MACHINE, kKey, "BuildTime", "200");
    EXPECT_EQ(iwiInstallInitSec(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(TextsInOrder({"Installed BuildTime is '200'", "New BuildTime is '200'",
                              "***Installed version not earlier than current version",
                              "Ignoring down-level/unsupported product version"}));

    // A number works too; a later package is an upgrade.
    reg::SetDword(HKEY_LOCAL_MACHINE, kKey, "BuildTime", 150);
    msi::ClearMessages();
    EXPECT_EQ(iwiInstallInitSec(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(
        TextsInOrder({"Installed BuildTime is '150'", "Installed version is earlier than current version"}));
    EXPECT_FALSE(HasText("Ignoring down-level/unsupported product version"));

    // The same build over a client installation: the server package may.
    reg::SetString(HKEY_LOCAL_MACHINE, kKey, "BuildTime", "200");
    SetProps({{"ZEBOLDSERVER", ""},
              {"ZEBOLDCLIENT", "{22222222-2222-2222-2222-222222222222}"},
              {"ZEBCHECKVERSION", "1"}});
    msi::ClearMessages();
    EXPECT_EQ(iwiInstallInitSec(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(TextsInOrder({"Installed version not earlier than current version",
                              " - allowed because server overwrites client"}));

    // Text that is no number is no build time.
    reg::SetString(HKEY_LOCAL_MACHINE, kKey, "BuildTime", "12x");
    msi::ClearMessages();
    EXPECT_EQ(iwiInstallInitSec(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("***Installed build time not available."));
}

TEST_F(InitSec, ClientPackageOverServerInstallationIsRefused) {
    SetProps({{"UpgradeCode", ZEB_UPGRADE_CLIENT}, {"ZEBPRODUCT", "client"}});
    Upgrade("9.3.0.0", {}, "Server");
    EXPECT_EQ(iwiInstallInitSec(h), ZEB_RC_FAILURE);
    ASSERT_EQ(MessageBoxes().size(), 1u);
    EXPECT_NE(MessageBoxes()[0].find(strings.at(270)), std::string::npos);
}

// ---- Features -----------------------------------------------------------------------------------------

// Typical runs first: what the old installation had stays, what it lacked stays away.
TEST_F(InitSec, OldFeaturesAreCarriedOverAfterTypical) {
    Upgrade("9.3.0.0", {"Server", "Local Clients\\Windows NT Client", "AMQP"});
    EXPECT_EQ(iwiInstallInitSec(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Action("Base"), INSTALLSTATE_LOCAL);
    EXPECT_EQ(Action("Server"), INSTALLSTATE_LOCAL);
    EXPECT_EQ(Action("Client"), INSTALLSTATE_LOCAL);
    EXPECT_EQ(Action("AMQP"), INSTALLSTATE_LOCAL);
    EXPECT_EQ(Action("Toolkit"), INSTALLSTATE_ABSENT);
    EXPECT_EQ(Action("Web"), INSTALLSTATE_ABSENT);
    EXPECT_EQ(Action("JRE"), INSTALLSTATE_ABSENT);
    EXPECT_TRUE(
        HasText("Previous install was version '9.3.0.0' (9.0.2 or after) so add JRE only if previously "
                "installed (0)"));
    EXPECT_EQ(msi::InstallLevel(), 100);

    Upgrade("9.0.1.0", {"Server"});
    EXPECT_EQ(iwiInstallInitSec(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Action("JRE"), INSTALLSTATE_LOCAL);
    EXPECT_TRUE(HasText("Previous install was version '9.0.1.0' (pre-9.0.2) so add JRE at upgrade time"));
}

TEST_F(InitSec, ResponseFileChoiceWinsOverTheCarriedOverState) {
    Upgrade("9.3.0.0", {"Server", "Development Toolkit"});
    fs::WriteFile("C:\\Cfg\\resp.ini", "[Response]\r\nREMOVE=Toolkit\r\n");
    msi::SetProperty("USEINI", "C:\\Cfg\\resp.ini");
    EXPECT_EQ(iwiInstallInitSec(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Action("Toolkit"), INSTALLSTATE_ABSENT);
    EXPECT_EQ(Action("Server"), INSTALLSTATE_LOCAL);
    EXPECT_TRUE(TextsInOrder(
        {"Checking Feature ini selection for 'Toolkit'", "Feature 'Toolkit', action state '2'"}));
    EXPECT_EQ(Prop("ZEBPRESELECT"), "1");
}

TEST_F(InitSec, RemovalAndPatchSkipTheFeatureSteps) {
    Upgrade("9.3.0.0", {"Server"});
    msi::SetProperty("REMOVE", "All");
    EXPECT_EQ(iwiInstallInitSec(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBREMOVE"), "1");
    EXPECT_FALSE(HasTextContaining("Looking up existing feature state"));
    EXPECT_EQ(Action("Server"), INSTALLSTATE_UNKNOWN);
}

TEST_F(InitSec, PatchSkipsTheFeatureSteps) {
    Upgrade("9.3.0.0", {"Server"});
    msi::SetProperty("PATCH", "C:\\p.msp");
    EXPECT_EQ(iwiInstallInitSec(h), ZEB_RC_SUCCESS);
    EXPECT_FALSE(HasTextContaining("Looking up existing feature state"));
    EXPECT_EQ(Prop("ZEBREMOVE"), "");
}

// Every failed change counts, not only the last, and the walk goes on past it.
TEST_F(InitSec, PreselectFailsOnAnyFailedChangeAndGoesOn) {
    msi::SetProperty("ADDLOCAL", "Client,Toolkit");
    winsim::FailCall("MsiSetFeatureStateA", ERROR_INVALID_HANDLE_STATE, 1);
    EXPECT_EQ(ApplyPreselect(), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("Feature 'Client', caused an MsiSetFeatureState error"));
    EXPECT_EQ(Action("Toolkit"), INSTALLSTATE_LOCAL);
    EXPECT_TRUE(HasText("Feature 'Server' has no feature state set"));
}

// ---- Media and the silent run ------------------------------------------------------------------------

TEST_F(InitSec, LaunchpadBesideTheSourceFolderForServerRunsOnly) {
    fs::WriteFile("C:\\Media\\HXLaunch.exe", "MZ");
    msi::SetProperty("SourceDir", "C:\\Media\\Windows\\");
    EXPECT_EQ(iwiInstallInitSec(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBHAVELAUNCHPAD"), "1");

    msi::SetProperty("ZEBPRODUCT", "client");
    EXPECT_EQ(iwiInstallInitSec(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBHAVELAUNCHPAD"), "");
}

TEST_F(InitSec, SilentRunLosingFeaturesNeedsConsent) {
    // Documentation of the legacy product still installed: the upgrade would lose it.
    msi::SetProductComponent(ZEB_LEGACY_PRODUCT_CODE, "{C5210D0C-0001-4D0C-9A5E-521000000001}",
                             INSTALLSTATE_LOCAL, "C:\\D\\e");
    msi::SetProperty("UILevel", "2");
    EXPECT_EQ(iwiInstallInitSec(h), ZEB_RC_FAILURE);
    ASSERT_EQ(Prop("ZEBWARNFEATURES"), "1");
    EXPECT_TRUE(HasText("***Property REMOVEFEATURES is set to ''; unacceptable for silent installation"));

    msi::SetProperty("REMOVEFEATURES", "Yes");
    EXPECT_EQ(iwiInstallInitSec(h), ZEB_RC_SUCCESS);
}

TEST_F(InitSec, RefusedInTheScript) {
    EXPECT_EQ(RunDeferred(iwiInstallInitSec, "ProductName=HX;"), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***CA execute error; run mode must not be 'MSIRUNMODE_SCHEDULED'."));
}

} // namespace
