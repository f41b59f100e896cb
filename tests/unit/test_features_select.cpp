// Feature selection: the presets and the install level, the check that something stays installed,
// the Java-runtime dependants, the feature-action lister and what an upgrade would lose.
#include "zebiwicnFeatures.h"
#include "zebiwicnUtil.h"
#include "zebtest.h"

namespace {

namespace msi = winsim::msi;

class Features : public ZebTest {
  protected:
    void SetUp() override {
        ZebTest::SetUp();
        msi::DefineStandardTable("ListBox");
        UnpackLanguageLibrary();
        strings = TableStrings("zebircan");
        FrameSetSession(h);
    }
    // The package's features, every one absent and without action.
    static void PackageFeatures() {
        std::vector<msi::FeatureSpec> specs;
        for (const char* name : {"Base", "Client", "JavaMsg", "Toolkit", "Server", "JRE", "Web", "XR_Service",
                                 "MFT_Service", "MFT_Logger", "MFT_Agent", "MFT_Tools", "AMS", "AMQP"})
            specs.push_back({name});
        msi::DefineFeatures(specs);
    }
    // The features whose state was set, in order.
    static std::vector<std::string> FeaturesSet() {
        std::vector<std::string> out;
        for (const std::string& t : Texts()) {
            size_t end = t.find("' feature state set to ");
            if (t.rfind("'", 0) == 0 && end != std::string::npos)
                out.push_back(t.substr(1, end - 1));
        }
        return out;
    }
    std::map<unsigned, std::string> strings;
};

// ---- Presets and the install level --------------------------------------------------------------

TEST_F(Features, MinimumAndTypicalOnAServerRun) {
    PackageFeatures();
    SetProps({{"ZEBPRODUCT", "SERVER"}, {"VersionNT", "1000"}});
    EXPECT_EQ(iwiSetFeaturesMinimum(h), 0u);
    EXPECT_EQ(msi::InstallLevel(), 100);
    EXPECT_EQ(Prop("INSTALLLEVEL"), "100");
    EXPECT_TRUE(HasText("MsiSetInstallLevel(100) rc=0"));
    std::map<std::string, int> want = {{"Base", 3},   {"Toolkit", 2}, {"JavaMsg", 2}, {"JRE", 3},
                                       {"Server", 3}, {"Web", 2},     {"Client", 2}};
    for (const auto& [name, state] : want)
        EXPECT_EQ(msi::Feature(name)->second, state) << name;
    EXPECT_EQ(msi::Feature("XR_Service")->second, -1);

    // A second preset in the same loaded copy leaves the level alone.
    EXPECT_EQ(iwiSetFeaturesTypical(h), 0u);
    EXPECT_TRUE(HasText("Install level already set"));
    EXPECT_EQ(winsim::CallCount("MsiSetInstallLevel"), 1);
    for (const char* name : {"Toolkit", "JavaMsg", "Web", "Server", "Base", "JRE"})
        EXPECT_EQ(msi::Feature(name)->second, 3) << name;
    EXPECT_EQ(msi::Feature("Client")->second, 2);
}

TEST_F(Features, StatesAreSetInTheSpecifiedOrder) {
    PackageFeatures();
    SetProps({{"ZEBPRODUCT", "server"}, {"VersionNT", "1000"}});
    EXPECT_EQ(iwiSetFeaturesTypical(h), 0u);
    EXPECT_EQ(iwiSetFeaturesMinimum(h), 0u);
    EXPECT_EQ(FeaturesSet(),
              (std::vector<std::string>{"Base", "JavaMsg", "Toolkit", "JRE", "Server", "Web", "Client",
                                        "Base", "Toolkit", "JavaMsg", "JRE", "Server", "Web", "Client"}));
}

TEST_F(Features, ClientRunsLeaveServerFeaturesAloneOnlyFromTheClientPackage) {
    PackageFeatures();
    SetProps({{"ZEBCLIENT", "1"}, {"ZEBPRODUCT", "server"}});
    EXPECT_EQ(iwiSetFeaturesMinimum(h), 0u);
    EXPECT_EQ(msi::Feature("Server")->second, 2);
    EXPECT_EQ(msi::Feature("Web")->second, 2);
    EXPECT_EQ(msi::Feature("Client")->second, 3);

    PackageFeatures();
    msi::SetProperty("ZEBPRODUCT", "client");
    EXPECT_EQ(iwiSetFeaturesTypical(h), 0u);
    EXPECT_EQ(msi::Feature("Server")->second, -1);
    EXPECT_EQ(msi::Feature("Web")->second, -1);
    EXPECT_EQ(msi::Feature("Client")->second, 3);
    EXPECT_EQ(msi::Feature("Toolkit")->second, 3);
}

TEST_F(Features, RefusedInstallLevelFailsAndIsTriedAgain) {
    PackageFeatures();
    SetProps({{"VersionNT", "1000"}, {"ZEBPRODUCT", "server"}});
    winsim::FailCall("MsiSetInstallLevel", ERROR_INVALID_HANDLE, 1);
    EXPECT_EQ(iwiSetFeaturesMinimum(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("MsiSetInstallLevel(100) rc=6"));
    EXPECT_EQ(msi::Feature("Base")->second, -1);
    EXPECT_EQ(iwiSetFeaturesMinimum(h), 0u);
    EXPECT_EQ(msi::InstallLevel(), 100);
    EXPECT_FALSE(HasText("Install level already set"));

    // A failed state change is the action's status; the other states are still set.
    winsim::FailCall("MsiSetFeatureStateA", ERROR_FUNCTION_FAILED, 1, "Toolkit");
    EXPECT_EQ(iwiSetFeaturesTypical(h), ZEB_RC_FAILURE);
    EXPECT_EQ(msi::Feature("Client")->second, 2);
    EXPECT_EQ(msi::Feature("Web")->second, 3);
}

TEST_F(Features, PresetsRefuseDeferredModes) {
    EXPECT_EQ(RunDeferred(iwiSetFeaturesTypical, "ZEBPRODUCT=server;", MSIRUNMODE_ROLLBACK), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasTextContaining("***CA execute error; run mode must not be 'MSIRUNMODE_"))
        << ::testing::PrintToString(Texts());
    EXPECT_EQ(winsim::CallCount("MsiSetInstallLevel"), 0);
}

TEST_F(Features, AtLeastOneFeatureKeepsTheDialogOpen) {
    msi::SetProperty("ZEBREMOVE", "1,all");
    EXPECT_EQ(iwiCheckAtLeastOneFeature(h), 0u);
    EXPECT_EQ(Prop("ZEBSTAYHERE"), "1");
    ASSERT_EQ(MessageBoxes().size(), 1u);
    EXPECT_NE(MessageBoxes()[0].find(strings[231]), std::string::npos);

    msi::SetProperty("ZEBREMOVE", "0");
    EXPECT_EQ(iwiCheckAtLeastOneFeature(h), 0u);
    EXPECT_EQ(Prop("ZEBSTAYHERE"), "");
    EXPECT_EQ(MessageBoxes().size(), 1u);
}

// ---- Java-runtime dependants --------------------------------------------------------------------

TEST_F(Features, JavaDependantsThatWillBeInstalled) {
    msi::DefineFeatures({{"MFT_Agent", INSTALLSTATE_ABSENT, INSTALLSTATE_LOCAL},
                         {"MFT_Tools", INSTALLSTATE_LOCAL, INSTALLSTATE_UNKNOWN},
                         {"Web", INSTALLSTATE_LOCAL, INSTALLSTATE_ABSENT},
                         {"AMQP", INSTALLSTATE_ADVERTISED, 7},
                         {"JRE", INSTALLSTATE_LOCAL, INSTALLSTATE_ABSENT}});
    AddListboxItemValue("ZEBREMOVEJREFEATURES", "stale", NULL);
    EXPECT_EQ(iwiAddFeaturesNeedingJRE(h), 0u);
    EXPECT_EQ(ListBox("ZEBREMOVEJREFEATURES"), (std::vector<std::string>{strings[1158], strings[1161]}));
    EXPECT_TRUE(
        TextsInOrder({"Clear the listbox", "checking JRE dependant features install state",
                      "feature 'Client' does not depend on the JRE", "***ERROR: Unknown feature XR_Service",
                      "'XR_Service' Feature - Installed: INSTALLSTATE_UNKNOWN Action: INSTALLSTATE_UNKNOWN",
                      "feature 'XR_Service' will NOT be installed",
                      "'MFT_Agent' Feature - Installed: INSTALLSTATE_ABSENT Action: INSTALLSTATE_LOCAL",
                      "feature 'MFT_Agent' will be installed (or already is) and prereqs JRE",
                      "Add (NLS) '" + strings[1158] + "' to ListBox",
                      "feature 'MFT_Tools' will be installed (or already is) and prereqs JRE",
                      "'AMQP' Feature - Installed: INSTALLSTATE_ADVERTISED Action: 00000007",
                      "'Web' Feature - Installed: INSTALLSTATE_LOCAL Action: INSTALLSTATE_ABSENT",
                      "feature 'Web' will NOT be installed", "feature 'JRE' does not depend on the JRE",
                      "Found end of table"}));

    winsim::FailCall("MsiGetActiveDatabase", ERROR_INVALID_HANDLE, 1);
    EXPECT_EQ(iwiAddFeaturesNeedingJRE(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***ERROR: Failed to clear the listbox"));
}

// ---- Feature-action lister ----------------------------------------------------------------------

class Lister : public Features {
  protected:
    std::vector<std::string> List(int mode, const char* remove) {
        msi::DropTable("ListBox");
        msi::DefineStandardTable("ListBox");
        BOOL added = FALSE;
        EXPECT_EQ(ListFeatureAction(&added, mode, remove), 0u);
        std::vector<std::string> rows = ListBox("ZEBSUMMARYLIST");
        EXPECT_EQ(added != FALSE, !rows.empty());
        return rows;
    }
    std::string Line(unsigned id) { return "     " + strings[id]; }
};

TEST_F(Lister, EachModeOnAServerRun) {
    SetProps({{"VersionNT", "1000"}, {"ZEBPRODUCT", "server"}});
    msi::DefineFeatures({{"Server", INSTALLSTATE_LOCAL, INSTALLSTATE_UNKNOWN},
                         {"AMS", INSTALLSTATE_ABSENT, INSTALLSTATE_LOCAL},
                         {"AMQP", INSTALLSTATE_LOCAL, INSTALLSTATE_LOCAL},
                         {"MFT_Agent", INSTALLSTATE_LOCAL, INSTALLSTATE_ABSENT},
                         {"Toolkit", INSTALLSTATE_ADVERTISED, INSTALLSTATE_UNKNOWN},
                         {"JRE", INSTALLSTATE_SOURCE, INSTALLSTATE_UNKNOWN}});
    EXPECT_EQ(List(ZEB_LIST_ADDED, ""), std::vector<std::string>{Line(1162)});
    EXPECT_EQ(List(ZEB_LIST_ADDED, "remove"), std::vector<std::string>{});
    EXPECT_EQ(List(ZEB_LIST_REINSTALLED, ""), std::vector<std::string>{Line(1163)});
    EXPECT_EQ(List(ZEB_LIST_REINSTALLED, "REINSTALL"),
              (std::vector<std::string>{Line(10000), Line(1163), Line(1158)}));
    EXPECT_EQ(List(ZEB_LIST_REMOVED, ""), std::vector<std::string>{Line(1158)});
    EXPECT_EQ(List(ZEB_LIST_REMOVED, "Remove"),
              (std::vector<std::string>{Line(10000), Line(1163), Line(1158), Line(10001)}));
    EXPECT_EQ(List(ZEB_LIST_UNCHANGED, ""), (std::vector<std::string>{Line(10000), Line(1165), Line(10001)}));
    EXPECT_TRUE(HasText("'AMS' Installed: 2 Action: 3"));
    EXPECT_TRUE(HasText("'XR_Service' Installed: -1 Action: 2")); // unknown to the package
}

TEST_F(Lister, LegacyFeatureIsListedAsRemovedAndClientRunsSkipServerRows) {
    msi::SetProperty("ZEBCLIENT", "1");
    msi::DefineFeatures({{"Client", INSTALLSTATE_LOCAL, INSTALLSTATE_UNKNOWN},
                         {"Server", INSTALLSTATE_LOCAL, INSTALLSTATE_UNKNOWN}});
    msi::SetProductComponent(ZEB_LEGACY_PRODUCT_CODE, "{C5210D0C-0001-4D0C-9A5E-521000000002}",
                             INSTALLSTATE_SOURCEABSENT, "C:\\Docs\\x.pdf");
    std::vector<std::string> removed = List(ZEB_LIST_REMOVED, "");
    // No display text for the pdf row: the feature's own name is shown.
    EXPECT_EQ(removed, std::vector<std::string>{"     docs_en_us_pdf"});
    EXPECT_EQ(List(ZEB_LIST_UNCHANGED, ""), std::vector<std::string>{Line(10002)});
    EXPECT_FALSE(HasTextContaining("'Server' Installed"));
}

TEST_F(Lister, StateErrorsFailTheListButNotTheOtherRows) {
    msi::SetProperty("ZEBCLIENT", "1");
    msi::DefineFeatures({{"Client", INSTALLSTATE_LOCAL, INSTALLSTATE_UNKNOWN}});
    winsim::FailCall("MsiGetFeatureStateA", ERROR_INVALID_HANDLE, 0, "JavaMsg");
    BOOL added = FALSE;
    EXPECT_EQ(ListFeatureAction(&added, ZEB_LIST_UNCHANGED, NULL), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("Error 6 from MsiGetFeatureState(JavaMsg)"));
    EXPECT_TRUE(added);
    EXPECT_EQ(ListBox("ZEBSUMMARYLIST"), std::vector<std::string>{Line(10002)});
}

} // namespace
