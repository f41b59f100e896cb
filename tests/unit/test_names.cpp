// Installation names and identifiers, and iwiProcessUserInstallationName: each row of the state
// table, each refusal with its message, and the properties that stay set after a failure.
#include "zebiwicnUtil.h"
#include "zebtest.h"

#include <functional>

namespace {

using Names = ZebTest;

// ---- The name rule, identifiers and default names -------------------------------------------------

TEST_F(Names, NameRule) {
    EXPECT_FALSE(iwiIsInstallNameInvalid("Abcdefghijklmn16"));
    EXPECT_TRUE(HasText("The contents of the name 'Abcdefghijklmn16' are valid"));
    EXPECT_FALSE(iwiIsInstallNameInvalid("Z9"));
    EXPECT_TRUE(iwiIsInstallNameInvalid("Abcdefghijklmn17x"));
    EXPECT_TRUE(HasText("***The length of the name 'Abcdefghijklmn17x' is invalid (17 chars)"));
    EXPECT_TRUE(iwiIsInstallNameInvalid(""));
    EXPECT_TRUE(HasText("***The length of the name '' is invalid (0 chars)"));
    for (const char* bad : {"Inst 1", "Inst_1", "Inst\xe9", "Inst-1", "Inst\\1"}) {
        EXPECT_TRUE(iwiIsInstallNameInvalid(bad)) << bad;
        EXPECT_TRUE(HasText(std::string("***The contents of the name '") + bad + "' is invalid")) << bad;
    }
}

TEST_F(Names, LowestFreeIdentifierAcrossBothViews) {
    AddInstallation(Inst("A", "1", kCode1, "C:\\A"));
    AddInstallation(Inst("B", "2", kCode2, "C:\\B", true));
    AddInstallation(Inst("C", "4", kCode3, "C:\\C"));
    EXPECT_EQ(GetNewInstallationIdentifier("X"), 3);
    EXPECT_TRUE(TextsInOrder(
        {"Found subkey 'A'", "Identifier value is '1' (1)", "Found subkey 'C'", "Identifier value is '4' (4)",
         "Found subkey 'B'", "Identifier value is '2' (2)", "1 installation id in use? (1)",
         "2 installation id in use? (1)", "3 installation id in use? (0)", "Returning installation id 3"}));
    EXPECT_FALSE(HasTextContaining("4 installation id in use?"));
}

TEST_F(Names, IdentifiersOutOfRangeOrNotNumbersBlockNothing) {
    const char* const ids[] = {"200", "abc", "", "-1", "128", "123456789012345678901234567890"};
    int i = 0;
    for (const char* id : ids)
        AddInstallation(Inst("I" + std::to_string(i++), id, kCode1, "C:\\I"));
    EXPECT_EQ(GetNewInstallationIdentifier("X"), 1);
    EXPECT_TRUE(HasText("Identifier value is '200' (128)"));
    EXPECT_TRUE(HasText("Identifier value is '123456789012345678901234567890' (128)"));
    EXPECT_TRUE(HasText("Identifier value is 'abc' (0)"));
    EXPECT_TRUE(HasText("Identifier value is '-1' (-1)"));

    // "7x" is read as atoi would read it.
    AddInstallation(Inst("Seven", "1x", kCode1, "C:\\7"));
    EXPECT_EQ(GetNewInstallationIdentifier("X"), 2);
}

TEST_F(Names, NoFreeIdentifierShowsMessage2109) {
    for (int id = 1; id <= 127; id++)
        winsim::reg::SetString(
            HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Skyloft HX\\Installation\\I" + std::to_string(id),
            "Identifier", std::to_string(id), id % 2 ? winsim::reg::View::Native : winsim::reg::View::Wow32);
    EXPECT_EQ(GetNewInstallationIdentifier("Inst9"), -1);
    EXPECT_TRUE(HasText("127 installation id in use? (1)"));
    EXPECT_EQ(MessageBoxes(),
              std::vector<std::string>{"Failed to assign installation identifier to installation "
                                       "'Inst9', perhaps too many installations already? (ZEB4777)"});
}

TEST_F(Names, DefaultNameSkipsTakenOnes) {
    AddInstallation(Inst("Installation1", "1", kCode1, "C:\\A"));
    AddInstallation(Inst("Installation2", "2", kCode2, "C:\\B", true));
    char name[ZEB_CCH_INSTNAME] = "unset";
    GetUniqueDefaultInstallationName(name, "1");
    EXPECT_STREQ(name, "Installation3");
    EXPECT_TRUE(TextsInOrder(
        {"Supplied instance id 1", "Checking for existance of Installation1",
         "Checking for existance of Installation2", "Not found in normal tree, try 32 bit tree",
         "Checking for existance of Installation3", "Not found - we shall use that for our name"}));
    GetUniqueDefaultInstallationName(name, "5");
    EXPECT_STREQ(name, "Installation5");
    for (const char* id : {"0", "1000", "", "99999999999999999999", "-3"}) {
        lstrcpynA(name, "unset", sizeof(name));
        GetUniqueDefaultInstallationName(name, id);
        EXPECT_STREQ(name, "unset") << id;
    }
    EXPECT_TRUE(HasText("Supplied instance id 1000"));
    GetUniqueDefaultInstallationName(name, "999");
    EXPECT_STREQ(name, "Installation999");
}

// ---- iwiProcessUserInstallationName ---------------------------------------------------------------

class Action : public ZebTest {
  protected:
    void SetUp() override {
        ZebTest::SetUp();
        SetProps({{"ZEBOLDSERVER", std::string(kCode1) + ";" + kCode2}, {"ZEBOLDCLIENT", kCode3}});
    }
    UINT Run() {
        registry_ = winsim::reg::Export(HKEY_LOCAL_MACHINE, "SOFTWARE");
        UINT rc = iwiProcessUserInstallationName(h);
        EXPECT_EQ(winsim::reg::Export(HKEY_LOCAL_MACHINE, "SOFTWARE"), registry_)
            << "the action wrote the registry";
        return rc;
    }
    // The identity properties: name, old name, description, identifier, old server, old client.
    static std::vector<std::string> Identity() {
        return {Prop("ZEBINSTALLINSTANCENAME"), Prop("ZEBOLDINSTALLINSTANCENAME"),
                Prop("ZEBINSTALLINSTANCEDESC"), Prop("ZEBINSTANCEID"),
                Prop("ZEBOLDSERVER"),           Prop("ZEBOLDCLIENT")};
    }
    // Fails with 1603 and exactly this message box.
    ::testing::AssertionResult Refused(const std::string& box) {
        UINT rc = Run();
        std::vector<std::string> boxes = MessageBoxes();
        if (rc == ZEB_RC_FAILURE && boxes == std::vector<std::string>{box})
            return ::testing::AssertionSuccess();
        ::testing::AssertionResult r = ::testing::AssertionFailure();
        r << "rc " << rc << ", boxes:";
        for (const std::string& b : boxes)
            r << "\n  " << b;
        return r;
    }
    std::string registry_;
};

TEST_F(Action, MaintenanceTakesTheInstalledRecord) {
    AddInstallation(Inst("Inst1", "4", kCode1, "C:\\HX1"));
    SetProps({{"Installed", "00:00:00"},
              {"ProductCode", kCode1},
              {"INSTALLATIONNAME", "Inst1"},
              {"PGMFOLDER", " \"c:\\hx1\\\" "}});
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Identity(), (std::vector<std::string>{"Inst1", "Inst1", "Inst1 description", "4", "", ""}));
    EXPECT_TRUE(
        TextsInOrder({"Product installed - uninstalling / modifying", "Retrieved Inst1 (VRMF 9.4.0.0, id 4)",
                      "Supplied name Inst1, found name Inst1", "Supplied path c:\\hx1, found path C:\\HX1",
                      "No installation name supplied but we have calculated it to be 'Inst1'"}));
    EXPECT_FALSE(HasText("Not already installed"));

    // A supplied description replaces the recorded one.
    winsim::msi::SetProperty("INSTALLATIONDESC", "New text");
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBINSTALLINSTANCEDESC"), "New text");
}

TEST_F(Action, MaintenanceRefusals) {
    AddInstallation(Inst("Inst1", "4", kCode1, "C:\\HX1"));
    AddInstallation(Inst("Inst2", "5", kCode2, "C:\\HX2", true));
    winsim::msi::SetProperty("Installed", "1");
    winsim::msi::SetProperty("ProductCode", kCode2); // looked for in the 64-bit view only
    EXPECT_TRUE(
        Refused("Cannot proceed as installed product has no associated HX Installation name (ZEB4778)"));

    winsim::ClearEvents();
    winsim::msi::SetProperty("ProductCode", kCode1);
    winsim::msi::SetProperty("INSTALLATIONNAME", "inst1"); // case matters here
    EXPECT_TRUE(Refused("Supplied InstallationName 'inst1' does not match actual name 'Inst1' (ZEB4774)"));
    EXPECT_EQ(Prop("ZEBINSTALLINSTANCENAME"), "");

    winsim::ClearEvents();
    SetProps({{"INSTALLATIONNAME", ""}, {"PGMFOLDER", "C:\\HX9"}});
    EXPECT_TRUE(Refused("Supplied installation path 'C:\\HX9' does not match actual installed path 'C:\\HX1' "
                        "(ZEB4783)"));
}

TEST_F(Action, NamedUpgradeNarrowsTheListToItsCode) {
    AddInstallation(Inst("Inst1", "3", kCode2, "C:\\HX1"));
    SetProps({{"INSTALLATIONNAME", "inst1,Inst1"}, {"PGMFOLDER", "C:\\hx1"}});
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Identity(), (std::vector<std::string>{"Inst1", "inst1", "Inst1 description", "3", kCode2, ""}));
    EXPECT_TRUE(TextsInOrder({"Not already installed", "user installation name supplied and is 'inst1,Inst1'",
                              "Nothing installed yet, check for 'inst1' in registry",
                              "Supplied path C:\\hx1, found path C:\\HX1",
                              std::string("product 'inst1' code is an upgradable server '") + kCode2 + "'"}));

    // A client's code narrows the client list; a record only in the 32-bit view is found there.
    AddInstallation(Inst("Cli", "6", kCode3, "C:\\CLI", true));
    SetProps({{"INSTALLATIONNAME", "Cli"},
              {"PGMFOLDER", "C:\\CLI"},
              {"ZEBOLDCLIENT", std::string(kCode1) + kCode3}});
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Identity(), (std::vector<std::string>{"Cli", "Cli", "Cli description", "6", "", kCode3}));
    EXPECT_TRUE(TextsInOrder({"Not found in normal tree, try 32 bit tree",
                              "Not found in 64 bit tree, lets check 32 bit",
                              "Supplied path C:\\CLI, found path C:\\CLI"}));
}

TEST_F(Action, NamedUpgradeRefusals) {
    AddInstallation(Inst("Inst1", "3", "{99999999-9999-9999-9999-999999999999}", "C:\\HX1"));
    winsim::msi::SetProperty("INSTALLATIONNAME", "Inst1");
    EXPECT_TRUE(Refused("This installation is not permitted to upgrade installation 'Inst1' (ZEB4776) (2)"));

    // A record without a product code is in every list as "", but upgrades nothing.
    hxrecord::Installation noCode = Inst("Inst2", "4", "", "C:\\HX2");
    AddInstallation(noCode);
    winsim::ClearEvents();
    winsim::msi::SetProperty("INSTALLATIONNAME", "Inst2");
    EXPECT_TRUE(Refused("This installation is not permitted to upgrade installation 'Inst2' (ZEB4776) (2)"));
    EXPECT_TRUE(HasText("***Installation 'Inst2' has no product code"));
    EXPECT_EQ(Prop("ZEBOLDSERVER"), std::string(kCode1) + ";" + kCode2);

    AddInstallation(Inst("Inst3", "5", kCode1, "C:\\HX3"));
    winsim::ClearEvents();
    SetProps({{"INSTALLATIONNAME", "Inst3"}, {"PGMFOLDER", "C:\\Elsewhere"}});
    EXPECT_TRUE(
        Refused("Supplied installation path 'C:\\Elsewhere' does not match actual installed path 'C:\\HX3' "
                "(ZEB4783)"));
}

TEST_F(Action, NameRefusals) {
    const std::pair<const char*, std::string> cases[] = {
        {"Abcdefghijklmn17x",
         "Invalid InstallationName. The name 'Abcdefghijklmn17x' is invalid, it must be a "
         "maximum of 16, a-z, A-Z, 0-9 characters only (ZEB4769)"},
        {"Old,",
         "Invalid InstallationName. The name '' is invalid, it must be a maximum of 16, a-z, A-Z, 0-9 "
         "characters only (ZEB4769)"},
        {"Inst 1",
         "Invalid InstallationName. The name 'Inst 1' is invalid, it must be a maximum of 16, a-z, A-Z, "
         "0-9 characters only (ZEB4769)"},
        {"Old,Inst_1",
         "Invalid InstallationName. The name 'Inst_1' is invalid, it must be a maximum of 16, a-z, "
         "A-Z, 0-9 characters only (ZEB4769)"},
        {"Caf\xe9",
         "Invalid InstallationName. The name 'Caf\xe9' is invalid, it must be a maximum of 16, a-z, "
         "A-Z, 0-9 characters only (ZEB4769)"},
        {"CURRENTVERSION",
         "Invalid Installation Name. The name 'CURRENTVERSION' is reserved and cannot be specified "
         "for the Installation Name. (ZEB4770)"},
        {"Inst1,installation0",
         "Invalid Installation Name. The name 'installation0' is reserved and cannot be "
         "specified for the Installation Name. (ZEB4770)"},
        {"Inst1,Inst2", "Cannot change installation name (ZEB4785)"},
        // A reserved old name without the old record.
        {"CurrentVersion,Inst1",
         "This installation is not permitted to upgrade installation 'CurrentVersion' (ZEB4776) (3)"},
    };
    for (const auto& [supplied, box] : cases) {
        winsim::ClearEvents();
        winsim::msi::SetProperty("INSTALLATIONNAME", supplied);
        EXPECT_TRUE(Refused(box)) << supplied;
    }
    EXPECT_EQ(Prop("ZEBINSTANCEID"), "");
}

TEST_F(Action, LongNameIsRefusedWholeNeverCut) {
    // Cut to 16 characters it would be the valid name of an installation.
    AddInstallation(Inst("Abcdefghijklmnop", "1", kCode1, "C:\\HX1"));
    winsim::msi::SetProperty("INSTALLATIONNAME", "Abcdefghijklmnopqrst");
    EXPECT_TRUE(
        Refused("Invalid InstallationName. The name 'Abcdefghijklmnopqrst' is invalid, it must be a maximum "
                "of 16, a-z, A-Z, 0-9 characters only (ZEB4769)"));
    EXPECT_TRUE(HasText("***The length of the name 'Abcdefghijklmnopqrst' is invalid (20 chars)"));

    std::string longest(515, 'a');
    winsim::ClearEvents();
    winsim::msi::SetProperty("INSTALLATIONNAME", "Abcdefghijklmnop," + longest.substr(17));
    EXPECT_EQ(Run(), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***The length of the name '" + longest.substr(17) + "' is invalid (498 chars)"));
    EXPECT_EQ(Prop("ZEBINSTALLINSTANCENAME"), "");
}

TEST_F(Action, NewNamedInstallation) {
    AddInstallation(Inst("Inst1", "1", kCode1, "C:\\HX1"));
    SetProps({{"INSTALLATIONNAME", "Fresh"}, {"INSTALLATIONDESC", "Mine"}, {"PGMFOLDER", "C:\\Fresh"}});
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Identity(), (std::vector<std::string>{"Fresh", "", "Mine", "2", "", ""}));
    EXPECT_TRUE(
        TextsInOrder({"Looking for installation name 'Fresh'", "Not Found: Results - , , , ",
                      "provided name 'Fresh' does not exist, assuming new installation",
                      "Looking for installation directory 'C:\\Fresh'", "Returning installation id 2"}));
}

TEST_F(Action, NewNamedInstallationInAFolderInUse) {
    AddOldRecord({.productCode = kOldCode, .vrmf = "7.0.1.6", .folder = "C:\\Hexline"});
    SetProps({{"INSTALLATIONNAME", "Fresh"}, {"PGMFOLDER", "c:\\hexline\\"}});
    EXPECT_TRUE(
        Refused("Invalid Installation Path. The path 'c:\\hexline' is already in use and cannot be specified "
                "for the installation path, select a different path. (ZEB4780)"));
    EXPECT_EQ(Prop("ZEBOLDSERVER"), std::string(kCode1) + ";" + kCode2);
}

TEST_F(Action, UnnamedNewInstallations) {
    AddInstallation(Inst("Inst1", "1", kCode1, "C:\\HX1"));
    winsim::msi::SetProperty("INSTALLATIONDESC", "Desc");
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    // The name is chosen later; the lists stay as they are.
    EXPECT_EQ(Identity(),
              (std::vector<std::string>{"", "", "Desc", "2", std::string(kCode1) + ";" + kCode2, kCode3}));
    EXPECT_TRUE(HasText("Not installed, and no user name supplied - skipping."));

    winsim::msi::SetProperty("PGMFOLDER", "C:\\Alongside");
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Identity(), (std::vector<std::string>{"", "", "Desc", "2", "", ""}));
    EXPECT_TRUE(HasText("install alongside"));
}

TEST_F(Action, UnnamedRunInAnInstallationsFolderUpgradesIt) {
    AddInstallation(Inst("Inst1", "7", kCode3, "C:\\HX1", true));
    winsim::msi::SetProperty("PGMFOLDER", "C:\\HX1");
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Identity(), (std::vector<std::string>{"Inst1", "Inst1", "Inst1 description", "7", "", kCode3}));
    EXPECT_TRUE(TextsInOrder({"Although no name supplied we have calculated it to be 'Inst1'",
                              std::string("upgrade client '") + kCode3 + "'"}));

    SetProps({{"ZEBOLDCLIENT", ""}, {"INSTALLATIONDESC", "Kept"}});
    EXPECT_TRUE(Refused("This installation is not permitted to upgrade installation 'Inst1' (ZEB4776) (4)"));
    // What was settled before the refusal stays.
    EXPECT_EQ(Identity(), (std::vector<std::string>{"Inst1", "Inst1", "Kept", "7", "", ""}));
}

TEST_F(Action, OldRecordUpgrades) {
    AddOldRecord({.productCode = kCode1, .vrmf = "7.0.1.6", .folder = "C:\\Hexline"});
    AddInstallation(Inst("Inst1", "1", kCode2, "C:\\HX1"));
    // Found by its folder: a new identifier, the name chosen later.
    winsim::msi::SetProperty("PGMFOLDER", "C:\\Hexline");
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Identity(), (std::vector<std::string>{"", "Installation0", "", "2", kCode1, ""}));
    EXPECT_TRUE(
        TextsInOrder({"Could not find match in new location - lets try the old place",
                      "Although no name supplied we have calculated it to be 'Installation0'",
                      "Returning installation id 2", std::string("upgrade server '") + kCode1 + "'"}));

    // Named: "Installation0,New".
    SetProps({{"ZEBOLDSERVER", std::string(kCode2) + kCode1}, {"INSTALLATIONNAME", "installation0,Renamed"}});
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Identity(), (std::vector<std::string>{"Renamed", "installation0", "", "2", kCode1, ""}));
    EXPECT_TRUE(TextsInOrder({"upgrading from pre-7.1", "Looking for installation name 'Renamed'",
                              "Not found in 64 bit tree, lets check 32 bit",
                              "Supplied path C:\\Hexline, found path C:\\Hexline"}));

    // The new name taken: refused, with the new identifier already set.
    SetProps({{"ZEBINSTANCEID", ""}, {"INSTALLATIONNAME", "Installation0,Inst1"}});
    EXPECT_TRUE(
        Refused("Invalid Installation Name. The name 'Inst1' is already in use and cannot be specified for "
                "the Installation Name, select a new unique name. (ZEB4771)"));
    EXPECT_EQ(Prop("ZEBINSTANCEID"), "2");
}

TEST_F(Action, DescriptionOfMoreThan64Characters) {
    winsim::msi::SetProperty("INSTALLATIONDESC", std::string(64, 'd'));
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    winsim::msi::SetProperty("INSTALLATIONDESC", std::string(65, 'd'));
    EXPECT_TRUE(Refused("Invalid Installation Description. The description is longer than the 64 characters "
                        "permitted."));
    EXPECT_TRUE(HasText("***Error Invalid Installation Description. The description is larger than the 64 "
                        "characters permitted."));
}

TEST_F(Action, SettingsComeFromTheResponseFile) {
    AddInstallation(Inst("Inst1", "3", kCode2, "C:\\HX1"));
    winsim::fs::WriteFile("C:\\Temp\\r.ini",
                          "[Response]\r\nINSTALLATIONNAME=Inst1\r\nPGMFOLDER=\"C:\\\\HX1\"\r\n");
    winsim::msi::SetProperty("USEINI", "C:\\Temp\\r.ini");
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Identity(), (std::vector<std::string>{"Inst1", "Inst1", "Inst1 description", "3", kCode2, ""}));
    EXPECT_TRUE(HasText("Supplied path C:\\HX1, found path C:\\HX1"));
}

TEST_F(Action, UnreadableSettingsOrAFailedWriteFail) {
    winsim::FailCall("MsiGetPropertyA", ERROR_FUNCTION_FAILED, 1, "PGMFOLDER");
    EXPECT_EQ(Run(), ZEB_RC_FAILURE);
    EXPECT_EQ(Prop("ZEBINSTANCEID"), "");

    winsim::msi::SetProperty("PGMFOLDER", "C:\\" + std::string(300, 'p'));
    EXPECT_EQ(Run(), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasTextContaining("is too long (303 characters)"));

    winsim::msi::SetProperty("PGMFOLDER", "");
    winsim::FailCall("MsiSetPropertyA", ERROR_FUNCTION_FAILED, 1, "ZEBINSTALLINSTANCENAME");
    EXPECT_EQ(Run(), ZEB_RC_FAILURE);
    EXPECT_EQ(Prop("ZEBINSTANCEID"), "1");
    EXPECT_EQ(Prop("ZEBINSTALLINSTANCEDESC"), "");
}

TEST_F(Action, LanguageLibraryTextsAreTheFallbackTexts) {
    // Each refusal once with the fallback text and once with the built language library's string:
    // the same box.
    AddInstallation(Inst("Inst1", "1", "{99999999-9999-9999-9999-999999999999}", "C:\\HX1"));
    AddInstallation(Inst("Inst2", "2", kCode2, "C:\\HX2"));
    AddOldRecord({.productCode = kCode1, .vrmf = "7.0.1.6", .folder = "C:\\Hexline"});
    UnpackLanguageLibrary();
    typedef std::vector<std::pair<const char*, std::string>> Settings;
    const Settings refusals[] = {
        {{"INSTALLATIONNAME", "Bad_Name"}},                                           // 2100
        {{"INSTALLATIONNAME", "Installation0"}},                                      // 2101
        {{"INSTALLATIONNAME", "Installation0,Inst2"}},                                // 2102
        {{"INSTALLATIONDESC", std::string(70, 'd')}},                                 // 2103
        {{"Installed", "1"}, {"ProductCode", kCode2}, {"INSTALLATIONNAME", "inst2"}}, // 2106
        {{"INSTALLATIONNAME", "Inst1"}},                                              // 2108 (2)
        {{"INSTALLATIONNAME", "CurrentVersion"}, {"PGMFOLDER", "C:\\HX1"}},           // 2101 first
        {{"PGMFOLDER", "C:\\HX1"}},                                                   // 2108 (4)
        {{"Installed", "1"}, {"ProductCode", kCode3}},                                // 2110
        {{"INSTALLATIONNAME", "Fresh"}, {"PGMFOLDER", "C:\\HX2"}},                    // 2112
        {{"Installed", "1"}, {"ProductCode", kCode2}, {"PGMFOLDER", "C:\\Other"}},    // 2113
        {{"INSTALLATIONNAME", "Inst1,Inst2"}},                                        // 2115
    };
    std::vector<std::string> boxes[2];
    for (int library = 0; library < 2; library++) {
        for (const Settings& settings : refusals) {
            for (const char* p :
                 {"INSTALLATIONNAME", "INSTALLATIONDESC", "PGMFOLDER", "Installed", "ProductCode"})
                winsim::msi::SetProperty(p, "");
            for (const auto& [name, value] : settings)
                winsim::msi::SetProperty(name, value);
            winsim::msi::SetProperty("ZEBLANGDLLCREATED", library ? "1" : "");
            winsim::ClearEvents();
            EXPECT_EQ(Run(), ZEB_RC_FAILURE) << settings[0].second;
            std::vector<std::string> shown = MessageBoxes();
            boxes[library].push_back(shown.empty() ? "<none>" : shown[0]);
        }
    }
    // The description's string is the validation dialog's text; this refusal's fallback stays its own.
    EXPECT_EQ(boxes[1][3], TableStrings("zebircan").at(2103));
    EXPECT_EQ(boxes[0][3],
              "Invalid Installation Description. The description is longer than the 64 characters "
              "permitted.");
    boxes[1][3] = boxes[0][3];
    EXPECT_EQ(boxes[1], boxes[0]);
    EXPECT_FALSE(HasTextContaining("(ZEB4701)"));
    EXPECT_EQ(boxes[0][9],
              "Invalid Installation Path. The path 'C:\\HX2' is already in use and cannot be specified "
              "for the installation path, select a different path. (ZEB4780)");
}

} // namespace
