// Prerequisite checks: the probes (file versions, registry values, the system's version, the
// secure channel), the overrides, the list-box lines naming the features that need a missing
// item, and the feature-dependency checks.
#include "zebiprqn.h"
#include "zebiwicnPrereq.h"
#include "zebtest.h"

#define SECURITY_WIN32
#include <security.h>

namespace {

namespace msi = winsim::msi;
namespace fs = winsim::fs;

const char kSystem[] = "C:\\Windows\\system32\\";

struct FeatureState {
    std::string name;
    int installed = INSTALLSTATE_ABSENT;
    int action = INSTALLSTATE_UNKNOWN;
};

class Prereqs : public ZebTest {
  protected:
    void SetUp() override {
        ZebTest::SetUp();
        msi::DefineStandardTable("ListBox");
        UnpackLanguageLibrary();
        strings = TableStrings("zebircan");
        FrameSetSession(h);
        SetProps({{"VersionNT", "1000"}, {"ZEBPRODUCT", "server"}});
    }
    // The Feature table with titles of their own, and the session's states.
    static void Package(const std::vector<FeatureState>& features) {
        msi::DefineStandardTable("Feature");
        for (const FeatureState& f : features) {
            msi::AddRow("Feature",
                        {msi::Field::str(f.name), msi::Field::null(), msi::Field::str("Title " + f.name),
                         msi::Field::null(), msi::Field::integer(1), msi::Field::integer(1),
                         msi::Field::null(), msi::Field::integer(0)});
            msi::AddFeature(f.name, f.installed, f.action);
        }
    }
    // A current system: every probe but the Java machine's satisfied.
    static void CurrentSystem() {
        fs::WriteFile(std::string(kSystem) + "mmc.exe", fs::VersionImage(10, 0, 19041, 1));
        fs::WriteFile(std::string(kSystem) + "activeds.dll", fs::VersionImage(10, 0, 19041, 1));
        fs::WriteFile(std::string(kSystem) + "hhctrl.ocx", fs::VersionImage(10, 0, 19041, 1));
        Registry("Windows Registry Editor Version 5.00\n\n"
                 "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Internet Explorer]\n"
                 "\"Version\"=\"9.11.19041.0\"\n");
    }
    static void Overrides(const char* value) {
        for (const char* name : {"ZEBPREREQMMC", "ZEBPREREQADSI", "ZEBPREREQHTMLHELP", "ZEBPREREQIE",
                                 "ZEBPREREQJVM", "ZEBPREREQWTSSP", "ZEBPREREQSP", "ZEBPREREQENCRYPT"})
            msi::SetProperty(name, value);
    }
    static std::vector<FeatureState> ServerFeatures() {
        return {{"Server"}, {"Client"}, {"Toolkit"}, {"JRE"}, {"MFT_Agent"}, {"XR_Service"}};
    }
    std::string Line(const std::string& heading, const std::string& names) {
        return strings.at(heading == "hard" ? 1008 : 1009) + names + strings.at(1013);
    }
    std::map<unsigned, std::string> strings;
};

// ---- Probes and overrides -----------------------------------------------------------------------

TEST_F(Prereqs, FileVersionsAreComparedFieldByField) {
    const std::string mmc = std::string(kSystem) + "mmc.exe";
    fs::WriteFile(mmc, fs::VersionImage(5, 0, 1920, 1));
    EXPECT_FALSE(CheckPrereqMmc(TRUE));
    EXPECT_TRUE(HasText("MMC prereq satisfied"));

    fs::WriteFile(mmc, fs::VersionImage(5, 0, 1920, 0)); // below 5.00.1920.1
    EXPECT_TRUE(CheckPrereqMmc(TRUE));
    EXPECT_TRUE(HasText("MMC prereq NOT satisfied"));

    fs::WriteFile(mmc, "MZ no version resource");
    EXPECT_TRUE(CheckPrereqMmc(TRUE));
    EXPECT_TRUE(HasTextContaining("No version information in 'C:\\Windows\\system32\\mmc.exe' (1813)"));

    fs::Remove(mmc);
    EXPECT_TRUE(CheckPrereqMmc(TRUE));
    EXPECT_TRUE(HasText("No version information in 'C:\\Windows\\system32\\mmc.exe' (2)"));

    // HTML Help needs 4.74.8793.0: a newer major version with lower later fields is enough.
    fs::WriteFile(std::string(kSystem) + "hhctrl.ocx", fs::VersionImage(5, 2, 0, 0));
    EXPECT_FALSE(CheckPrereqHtml(TRUE));
    fs::WriteFile(std::string(kSystem) + "activeds.dll", fs::VersionImage(5, 0, 2172, 0));
    EXPECT_TRUE(CheckPrereqAdsi(TRUE));
}

TEST_F(Prereqs, OverridesTurnTheProbesAnswer) {
    // mmc.exe is missing: "0" makes it present, any other value forces a satisfied item missing.
    msi::SetProperty("ZEBPREREQMMC", "0");
    EXPECT_FALSE(CheckPrereqMmc(TRUE));
    EXPECT_TRUE(TextsInOrder({"MMC prereq NOT satisfied", "MMC prereq overridden"}));

    fs::WriteFile(std::string(kSystem) + "mmc.exe", fs::VersionImage(5, 0, 1920, 1));
    msi::SetProperty("ZEBPREREQMMC", "yes");
    EXPECT_TRUE(CheckPrereqMmc(TRUE));
    EXPECT_TRUE(TextsInOrder({"MMC prereq satisfied", "MMC prereq set"}));

    // Without probing the item is present until an override says otherwise.
    int sizeCalls = winsim::CallCount("GetFileVersionInfoSizeA");
    msi::SetProperty("ZEBPREREQMMC", "");
    EXPECT_FALSE(CheckPrereqMmc(FALSE));
    EXPECT_EQ(winsim::CallCount("GetFileVersionInfoSizeA"), sizeCalls);

    // An override that cannot be read leaves the probe's answer.
    winsim::FailCall("MsiGetPropertyA", ERROR_INVALID_HANDLE, 1, "ZEBPREREQJVM");
    EXPECT_TRUE(CheckPrereqJvm(TRUE));
}

TEST_F(Prereqs, RegistryProbes) {
    Registry("Windows Registry Editor Version 5.00\n\n"
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Internet Explorer]\n\"Version\"=\"4.72.3110.7\"\n\n"
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{08B0E5C0-4FCB-11CF-AAA5-00401C608500}\\"
             "InstalledVersion]\n@=\"5,0,3167,0\"\n");
    EXPECT_TRUE(CheckPrereqIe(TRUE));
    EXPECT_FALSE(CheckPrereqJvm(TRUE));
    EXPECT_TRUE(TextsInOrder({"IE prereq NOT satisfied", "JVM prereq satisfied"}));
    Registry("Windows Registry Editor Version 5.00\n\n"
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Internet Explorer]\n\"Version\"=\"4.72.3110.8\"\n");
    EXPECT_FALSE(CheckPrereqIe(TRUE));
}

TEST_F(Prereqs, ServicePacksOnEachKindOfSystem) {
    winsim::WindowsVersion nt4;
    nt4.major = 4;
    nt4.servicePack = "Service Pack 6a";
    nt4.suiteMask = ZEB_SUITE_TERMINAL;
    winsim::SetWindowsVersion(nt4);
    EXPECT_FALSE(CheckPrereqSp6(TRUE));
    EXPECT_TRUE(TextsInOrder(
        {"Microsoft Windows NT 4.0 Terminal Server Edition", "WTS service pack prereq satisfied"}));
    // The other check probes nothing on a terminal server.
    EXPECT_FALSE(CheckPrereqSp6A(TRUE));
    EXPECT_FALSE(HasTextContaining("Service pack prereq"));

    nt4.servicePack = "Service Pack 5";
    winsim::SetWindowsVersion(nt4);
    EXPECT_TRUE(CheckPrereqSp6(TRUE));

    nt4.suiteMask = 0;
    winsim::SetWindowsVersion(nt4);
    EXPECT_TRUE(CheckPrereqSp6A(TRUE)); // no hotfix recorded
    EXPECT_TRUE(HasText("Service pack prereq NOT satisfied"));
    Registry("Windows Registry Editor Version 5.00\n\n"
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009]\n"
             "\"Installed\"=dword:00000001\n");
    EXPECT_FALSE(CheckPrereqSp6A(TRUE));

    winsim::FailCall("GetVersionExA", ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(CheckPrereqSp6A(TRUE));
}

TEST_F(Prereqs, CipherStrengthOfTheSecureChannel) {
    winsim::SetCipherStrengths(40, 56);
    EXPECT_EQ(GetCipherStrength("t"), 56u);
    EXPECT_TRUE(CheckPrereqEncrypt(TRUE));
    winsim::SetCipherStrengths(128, 256);
    EXPECT_EQ(GetCipherStrength("t"), 128u);
    winsim::SetCipherStrengths(40, 168);
    EXPECT_EQ(GetCipherStrength("t"), 128u);
    EXPECT_FALSE(CheckPrereqEncrypt(TRUE));
    EXPECT_TRUE(HasText("Encryption prereq satisfied"));

    winsim::FailCall("AcquireCredentialsHandleA", (DWORD)SEC_E_SECPKG_NOT_FOUND, 1);
    EXPECT_EQ(GetCipherStrength("t"), 0u);
    EXPECT_TRUE(HasText("AcquireCredentialsHandle failed (0x80090305)"));
    winsim::FailCall("QueryCredentialsAttributesA", (DWORD)SEC_E_UNSUPPORTED_FUNCTION, 1);
    EXPECT_EQ(GetCipherStrength("t"), 0u);
    winsim::FailCall("LoadLibraryA", ERROR_MOD_NOT_FOUND, 1, "schannel");
    EXPECT_EQ(GetCipherStrength("t"), 0u);
    EXPECT_TRUE(HasText("Unable to load schannel (126)"));
    // Every credential and every load of schannel was released.
    EXPECT_EQ(winsim::OpenHandleCount(), 0);
    EXPECT_EQ(fs::ModuleLoads(), 0);
}

// ---- The list actions ---------------------------------------------------------------------------

TEST_F(Prereqs, HardItemNamesThreeFeaturesOnOneLine) {
    Package(ServerFeatures());
    Overrides("0");
    SetProps({{"ZEBPREREQSP", "1"}, {"ZEBCHECKPRODUCTPREREQS", "1"}});
    EXPECT_EQ(iwiListProductPrereqs(h), 0u);
    EXPECT_EQ(ListBox("ZEBPRODUCTPREREQLIST"),
              (std::vector<std::string>{strings.at(1005),
                                        Line("hard", "Title Server, Title Client, Title Toolkit")}));
    EXPECT_EQ(Prop("ZEBPRODUCTPREREQ"), "1");
    EXPECT_EQ(Prop("ZEBSOFTPREREQ"), "0");

    // A client installation lists only the features a client has.
    msi::SetProperty("ZEBCLIENT", "1");
    EXPECT_EQ(iwiListProductPrereqs(h), 0u);
    EXPECT_EQ(ListBox("ZEBPRODUCTPREREQLIST"),
              (std::vector<std::string>{strings.at(1005), Line("hard", "Title Client, Title Toolkit")}));
}

TEST_F(Prereqs, SoftItemsAndTheCheckSwitch) {
    Package(ServerFeatures());
    Overrides("0");
    SetProps({{"ZEBPREREQIE", "1"}, {"ZEBCHECKPRODUCTPREREQS", "1"}});
    EXPECT_EQ(iwiListProductPrereqs(h), 0u);
    EXPECT_EQ(ListBox("ZEBPRODUCTPREREQLIST"),
              (std::vector<std::string>{strings.at(1004), Line("soft", "Title Server, Title Client")}));
    EXPECT_EQ(Prop("ZEBPRODUCTPREREQ"), "1");
    EXPECT_EQ(Prop("ZEBSOFTPREREQ"), "1");

    // Not asked to count: the lines stay, the results say nothing is missing.
    msi::SetProperty("ZEBCHECKPRODUCTPREREQS", "");
    EXPECT_EQ(iwiListProductPrereqs(h), 0u);
    EXPECT_EQ(ListBox("ZEBPRODUCTPREREQLIST"),
              (std::vector<std::string>{strings.at(1004), Line("soft", "Title Server, Title Client"),
                                        strings.at(1007)}));
    EXPECT_EQ(Prop("ZEBPRODUCTPREREQ"), "0");
    EXPECT_EQ(Prop("ZEBSOFTPREREQ"), "0");
}

TEST_F(Prereqs, CurrentSystemListsNothing) {
    Package(ServerFeatures());
    CurrentSystem();
    msi::SetProperty("ZEBCHECKPRODUCTPREREQS", "1");
    EXPECT_EQ(iwiListProductPrereqs(h), 0u);
    // The Java machine is missing, but no feature needs it.
    EXPECT_TRUE(HasText("JVM prereq NOT satisfied"));
    EXPECT_EQ(ListBox("ZEBPRODUCTPREREQLIST"), std::vector<std::string>{strings.at(1007)});
    EXPECT_EQ(Prop("ZEBPRODUCTPREREQ"), "0");
    EXPECT_EQ(Prop("ZEBSOFTPREREQ"), "0");
}

TEST_F(Prereqs, WeakEncryptionShowsTheCurrentStrength) {
    Package(ServerFeatures());
    CurrentSystem();
    winsim::SetCipherStrengths(40, 56);
    msi::SetProperty("ZEBCHECKPRODUCTPREREQS", "1");
    EXPECT_EQ(iwiListProductPrereqs(h), 0u);
    EXPECT_TRUE(HasText("Current cipher strength is 56-bit"));
    std::string cipher = strings.at(1140);
    cipher.replace(cipher.find("%1"), 2, "56");
    EXPECT_EQ(
        ListBox("ZEBPRODUCTPREREQLIST"),
        (std::vector<std::string>{strings.at(1139), Line("soft", "Title Server, Title Client"), cipher}));
    EXPECT_EQ(Prop("ZEBSOFTPREREQ"), "1");
}

TEST_F(Prereqs, FeatureListCountsOnlyNewFeatures) {
    Package({{"Server", INSTALLSTATE_LOCAL, INSTALLSTATE_UNKNOWN},
             {"Client", INSTALLSTATE_ABSENT, INSTALLSTATE_LOCAL},
             {"Toolkit", INSTALLSTATE_ABSENT, INSTALLSTATE_SOURCE}});
    Overrides("0");
    msi::SetProperty("ZEBPREREQSP", "1");
    EXPECT_EQ(iwiListFeaturePrereqs(h), 0u);
    EXPECT_EQ(ListBox("ZEBFEATUREPREREQLIST"),
              (std::vector<std::string>{strings.at(1005), Line("hard", "Title Client, Title Toolkit")}));
    EXPECT_EQ(Prop("ZEBFEATUREPREREQ"), "1");
    EXPECT_EQ(Prop("ZEBSOFTPREREQ"), "0");

    // A silent run from a response file never stops at a missing prerequisite.
    msi::SetProperty("ONLYINI", "C:\\r.ini");
    EXPECT_EQ(iwiListFeaturePrereqs(h), 0u);
    EXPECT_EQ(Prop("ZEBSOFTPREREQ"), "1");

    // Nothing newly installed needs the item.
    Package({{"Server", INSTALLSTATE_LOCAL, INSTALLSTATE_UNKNOWN},
             {"Client", INSTALLSTATE_SOURCE, INSTALLSTATE_LOCAL},
             {"Toolkit", INSTALLSTATE_ABSENT, INSTALLSTATE_ABSENT}});
    msi::SetProperty("ONLYINI", "");
    EXPECT_EQ(iwiListFeaturePrereqs(h), 0u);
    EXPECT_EQ(ListBox("ZEBFEATUREPREREQLIST"), std::vector<std::string>{strings.at(1007)});
    EXPECT_EQ(Prop("ZEBFEATUREPREREQ"), "0");
}

TEST_F(Prereqs, ListFailuresEndTheAction) {
    Package(ServerFeatures());
    Overrides("0");
    msi::SetProperty("ZEBPREREQSP", "1");
    winsim::FailCall("MsiGetFeatureStateA", ERROR_INVALID_HANDLE, 1);
    EXPECT_EQ(iwiListFeaturePrereqs(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(TextsInOrder({"Error 6 from MsiGetFeatureState(Server)", "***Prerequisite 1005 not listed"}));
    EXPECT_EQ(Prop("ZEBFEATUREPREREQ"), "");

    winsim::FailCall("MsiGetActiveDatabase", ERROR_INVALID_HANDLE, 1);
    EXPECT_EQ(iwiListProductPrereqs(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***MsiGetActiveDatabase() failed"));
}

TEST_F(Prereqs, DisplayNamesComeFromTheFeatureTable) {
    msi::DefineStandardTable("Feature");
    std::string longTitle(120, 'T');
    msi::AddRow("Feature", {msi::Field::str("Server"), msi::Field::null(), msi::Field::str(longTitle),
                            msi::Field::null(), msi::Field::integer(1), msi::Field::integer(1),
                            msi::Field::null(), msi::Field::integer(0)});
    char title[ZEB_CCH_FEATURE_TITLE];
    EXPECT_EQ(GetFeatureDisplayName("Server", title), 0u);
    EXPECT_EQ(std::string(title), longTitle.substr(0, 95));
    EXPECT_EQ(GetFeatureDisplayName("server", title), 0u); // names are exact
    EXPECT_STREQ(title, "server");
}

// ---- Feature dependencies -----------------------------------------------------------------------

TEST_F(Prereqs, AgentWithoutJavaRuntimeIsIncompatibleUntilAdded) {
    Package({{"JRE", INSTALLSTATE_LOCAL, INSTALLSTATE_ABSENT},
             {"MFT_Agent", INSTALLSTATE_ABSENT, INSTALLSTATE_LOCAL},
             {"Web", INSTALLSTATE_LOCAL, INSTALLSTATE_UNKNOWN},
             {"MFT_Tools", INSTALLSTATE_ABSENT, INSTALLSTATE_UNKNOWN}});
    EXPECT_EQ(iwiCheckJREPrereqs(h), 0u);
    EXPECT_EQ(Prop("ZEBJRECOMPATIBLE"), "0");
    EXPECT_TRUE(TextsInOrder(
        {"'JRE' Feature - Installed: INSTALLSTATE_LOCAL Action: INSTALLSTATE_ABSENT",
         "checking features for dependance on 'JRE'", "Feature 'Client' does NOT prereq 'JRE'",
         "***ERROR: Unknown feature XR_Service",
         "WARNING: 'MFT_Agent' feature will be installed (or already is) but prereqs 'JRE' feature  which "
         "will NOT",
         "'MFT_Tools' Feature not selected", "The selected features are *incompatible*, they require 'JRE'",
         "The following selectable features require 'JRE': MFT_Agent,Web",
         "Generic checker for 'JRE' returns false", "Selected features are *incompatible*, requires 'JRE'"}));

    EXPECT_EQ(iwiAddJREPrereq(h), 0u);
    EXPECT_TRUE(HasText("'JRE' required but not present, adding..."));
    EXPECT_EQ(msi::Feature("JRE")->second, INSTALLSTATE_LOCAL);
    EXPECT_EQ(iwiCheckJREPrereqs(h), 0u);
    EXPECT_TRUE(HasText("'JRE' feature WILL BE installed - so no need to check dependant features"));
    EXPECT_EQ(Prop("ZEBJRECOMPATIBLE"), "1");
}

TEST_F(Prereqs, ServerDependantsOnAClientAndWhenNothingNeedsIt) {
    Package({{"Server", INSTALLSTATE_ABSENT, INSTALLSTATE_ABSENT}, {"AMS", INSTALLSTATE_LOCAL}});
    msi::SetProperty("ZEBCLIENT", "1");
    EXPECT_EQ(iwiCheckServerPrereqs(h), 0u);
    EXPECT_TRUE(HasText("Feature 'AMS' does NOT exist on client"));
    EXPECT_TRUE(
        HasText("Features are compatible, 'Server' will not be installed but no features require it"));
    EXPECT_EQ(Prop("ZEBSERVERCOMPATIBLE"), "1");
    EXPECT_EQ(iwiAddServerPrereq(h), 0u);
    EXPECT_TRUE(HasText("Nothing requires 'Server' or it is to be installed"));
    EXPECT_EQ(msi::Feature("Server")->second, INSTALLSTATE_ABSENT);

    // A server run: AMS, installed and kept, needs Server.
    msi::SetProperty("ZEBCLIENT", "");
    EXPECT_EQ(iwiAddServerPrereq(h), 0u);
    EXPECT_EQ(msi::Feature("Server")->second, INSTALLSTATE_LOCAL);

    winsim::FailCall("MsiGetFeatureStateA", ERROR_INVALID_HANDLE, 1);
    EXPECT_EQ(iwiCheckServerPrereqs(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***ERROR: Invalid handle"));
}

} // namespace
