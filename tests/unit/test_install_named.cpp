// iwiInstallInitNamed and iwiInstallInitScript: the user-interface choice, default and saved names,
// coexistence with an old release, version, title, service-level and account properties, the
// upgrade permission written in both views, and the maintenance consistency check.
#include "zebiwicnInstall.h"
#include "zebtest.h"

namespace {

namespace reg = winsim::reg;

const char kInst1Key[] = "SOFTWARE\\Corvane\\Skyloft HX\\Installation\\Inst1";
const char kOldKey[] = "SOFTWARE\\Corvane\\Hexline\\CurrentVersion";

hxrecord::Installation Inst1(bool view32 = false) {
    return {.name = "Inst1",
            .description = "Accounts",
            .identifier = "4",
            .vrmf = "9.2.0.5",
            .productCode = kCode1,
            .folder = "C:\\HX1",
            .view32 = view32,
            .serverVersion = "9",
            .serverRelease = "2"};
}

class Named : public ZebTest {
  protected:
    void SetUp() override {
        ZebTest::SetUp();
        UnpackLanguageLibrary();
        SetProps({{"ProductVersion", "9.3.0.0"},
                  {"ZEBPRODUCT", "server"},
                  {"VersionNT", "603"},
                  {"UILevel", "5"},
                  {"ZEBINSTANCEID", "1"}});
    }
    UINT Run() { return iwiInstallInitNamed(h); }
    static std::string Filled(unsigned id, const std::string& insert) {
        std::string text = TableStrings("zebircan").at(id);
        size_t at = text.find_first_of('%');
        if (at != std::string::npos)
            text.replace(at, 2, insert);
        return text;
    }
};

// ---- The name ------------------------------------------------------------------------------------

TEST_F(Named, OneCharacterChoiceIsNoChoice) {
    winsim::msi::SetProperty("ZEBSELECTUPGRADELISTBOX", "x");
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_FALSE(HasTextContaining("User chose"));
    EXPECT_EQ(Prop("ZEBINSTALLINSTANCENAME"), "Installation1");
    EXPECT_EQ(Prop("ZEBOLDINSTALLINSTANCENAME"), "");
    // Once named, a later run without a choice keeps the name.
    winsim::msi::SetProperty("ZEBINSTALLINSTANCENAME", "Mine");
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBINSTALLINSTANCENAME"), "Mine");
}

TEST_F(Named, NewEntryReusesSavedNameElseFirstFreeDefault) {
    AddInstallation(Inst1());
    SaveLastInstall("C:\\HXData", {.name = "Saved1", .description = "Saved desc"});
    SetProps({{"ZEBOLDSERVER", kCode1}, {"ZEBSELECTUPGRADELISTBOX", "**NEW**"}});
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_TRUE(TextsInOrder({"User chose: '**NEW**'", "Request to install alongside!"}));
    EXPECT_EQ(Props({"ZEBINSTALLINSTANCENAME", "ZEBINSTALLINSTANCEDESC", "ZEBOLDSERVER",
                     "ZEBOLDINSTALLINSTANCENAME"}),
              (std::vector<std::string>{"Saved1", "Saved desc", "", ""}));

    // The user's description wins; without a saved name the saved description goes too.
    winsim::fs::WriteFile("C:\\HXData\\Config\\LastInstall.reg", "");
    AddInstallation({.name = "Installation3",
                     .description = "",
                     .identifier = "3",
                     .vrmf = "9.3.0.0",
                     .productCode = kCode2,
                     .folder = "C:\\HX3"});
    SetProps({{"ZEBINSTANCEID", "3"}, {"ZEBINSTALLINSTANCEDESC", ""}});
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBINSTALLINSTANCENAME"), "Installation4");
    EXPECT_EQ(Prop("ZEBINSTALLINSTANCEDESC"), "");
    winsim::msi::SetProperty("ZEBINSTALLINSTANCEDESC", "Typed");
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBINSTALLINSTANCEDESC"), "Typed");
}

TEST_F(Named, SavedNameThatBreaksTheNameRuleIsIgnored) {
    for (const char* saved : {"Name With Blanks", "A&B", "Abcdefghijklmnopq", "installation0"}) {
        SCOPED_TRACE(saved);
        SaveLastInstall("C:\\HXData", {.name = saved, .description = "Saved desc"});
        SetProps({{"ZEBINSTALLINSTANCENAME", ""}, {"ZEBINSTALLINSTANCEDESC", ""}});
        EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
        EXPECT_EQ(Prop("ZEBINSTALLINSTANCENAME"), "Installation1");
        EXPECT_EQ(Prop("ZEBINSTALLINSTANCEDESC"), "");
        EXPECT_TRUE(HasTextContaining(std::string("***LastInstall.reg previous name '") + saved));
    }
}

TEST_F(Named, ChoiceOfAnInstallationNarrowsTheLists) {
    AddInstallation(Inst1(/*view32=*/true));
    SetProps({{"ZEBOLDSERVER", std::string(kCode2) + ";" + kCode1},
              {"ZEBOLDCLIENT", kOldCode},
              {"ZEBSELECTUPGRADELISTBOX", kCode1}});
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("Request to upgrade installation Inst1"));
    EXPECT_EQ(Props({"ZEBINSTALLINSTANCENAME", "ZEBOLDINSTALLINSTANCENAME", "ZEBINSTANCEID",
                     "ZEBINSTALLINSTANCEDESC", "ZEBOLDSERVER", "ZEBOLDCLIENT"}),
              (std::vector<std::string>{"Inst1", "Inst1", "4", "Accounts", kCode1, ""}));
}

TEST_F(Named, ChoiceOutsideTheListsOrTheRegistryFails) {
    AddInstallation(Inst1());
    SetProps({{"ZEBOLDSERVER", kCode2}, {"ZEBSELECTUPGRADELISTBOX", kCode1}});
    EXPECT_EQ(Run(), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***Selected upgrade isnt in the list of upgradeables!"));

    winsim::msi::SetProperty("ZEBSELECTUPGRADELISTBOX", kCode2);
    EXPECT_EQ(Run(), ZEB_RC_FAILURE);
    EXPECT_TRUE(
        TextsInOrder({"***User selected option in GUI which isnt in registry",
                      "***dont know how this happened - iwiListAvailableUpgrades should have caught this."}));
}

TEST_F(Named, ChoiceOfAnOldSingleRecordRelease) {
    AddOldRecord({.productCode = kOldCode, .vrmf = "7.0.1.6", .folder = "C:\\Hexline"});
    AddInstallation({.name = "Installation1",
                     .description = "",
                     .identifier = "1",
                     .vrmf = "9.3.0.0",
                     .productCode = kCode2,
                     .folder = "C:\\HX"});
    SetProps({{"ZEBOLDCLIENT", kOldCode}, {"ZEBSELECTUPGRADELISTBOX", kOldCode}});
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_TRUE(
        TextsInOrder({std::string("Found key: '") + kOldCode + "'", "Request to upgrade earlier release!"}));
    EXPECT_EQ(Props({"ZEBINSTALLINSTANCENAME", "ZEBOLDINSTALLINSTANCENAME", "ZEBOLDCLIENT"}),
              (std::vector<std::string>{"Installation2", "Installation0", kOldCode}));
}

TEST_F(Named, WithoutChoiceMoreThanOneUpgradableFails) {
    for (auto lists : {std::pair<std::string, std::string>{std::string(kCode1) + ";" + kCode2, ""},
                       {"", std::string(kCode1) + ";" + kCode2},
                       {kCode1, kCode2}}) {
        winsim::ClearEvents();
        SetProps({{"ZEBOLDSERVER", lists.first}, {"ZEBOLDCLIENT", lists.second}});
        EXPECT_EQ(Run(), ZEB_RC_FAILURE);
        ASSERT_FALSE(MessageBoxes().empty());
        EXPECT_EQ(MessageBoxes()[0], TableStrings("zebircan").at(2116));
    }
}

TEST_F(Named, WithoutChoiceTheSingleUpgradableIsTaken) {
    AddInstallation(Inst1());
    winsim::msi::SetProperty("ZEBOLDSERVER", kCode1);
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_TRUE(
        TextsInOrder({"Single upgradable product so lets just upgrade it!", "Found details from registry!"}));
    EXPECT_EQ(Props({"ZEBINSTALLINSTANCENAME", "ZEBOLDINSTALLINSTANCENAME", "ZEBINSTANCEID"}),
              (std::vector<std::string>{"Inst1", "Inst1", "4"}));

    // The old single record keeps its reserved name as the old name; this one gets a default.
    SetProps({{"ZEBINSTALLINSTANCENAME", ""}, {"ZEBINSTANCEID", "1"}, {"ZEBOLDSERVER", kOldCode}});
    AddOldRecord({.productCode = kOldCode, .vrmf = "7.0.1.6", .folder = "C:\\Hexline"});
    SaveLastInstall("C:\\HXData", {.name = "Saved1"});
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBINSTALLINSTANCENAME"), "Installation1") << "a saved name is not for an upgrade";
    EXPECT_EQ(Prop("ZEBOLDINSTALLINSTANCENAME"), "Installation0");
}

// ---- Coexistence -------------------------------------------------------------------------------------

TEST_F(Named, SilentRunBesideAnOldReleaseBelowTheCoexistenceLevel) {
    winsim::msi::SetProperty("UILevel", "2");
    AddOldRecord({.productCode = kOldCode, .vrmf = "7.0.1.5"});
    EXPECT_EQ(Run(), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("Cannot coexist with '7.0.1.5'"));
    EXPECT_TRUE(HasText("HXCA iwiInstallInitNamed MB *** error: The existing installation does not support "
                        "coexistence with this installation (ZEB4784)"));

    SetProps({{"ZEBINSTALLINSTANCENAME", ""}, {"ZEBCOEXISTANY", "1"}});
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("Coexisting with '7.0.1.5' due to 'ZEBCOEXISTANY'"));

    reg::SetString(HKEY_LOCAL_MACHINE, kOldKey, "VRMF", "7.0.1.6", reg::View::Wow32);
    winsim::msi::SetProperty("ZEBCOEXISTANY", "");
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
}

// ---- Versions, title, taskbar and service level -----------------------------------------------

TEST_F(Named, VersionPropertiesAndTitles) {
    const struct {
        const char* version;
        const char* shown;
    } titles[] = {{"9.3.0.0", "9.3"}, {"9.0.0.0", "9.0"}, {"9.3.1.0", "9.3.1"}, {"09.03.0.1", "09.03.0.1"}};
    for (const auto& title : titles) {
        SCOPED_TRACE(title.version);
        winsim::msi::SetProperty("ProductVersion", title.version);
        EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
        EXPECT_EQ(Prop("ZEBSETUPTITLE"), Filled(2001, title.shown));
    }
    EXPECT_EQ(Props({"ZEBVERSION", "ZEBRELEASE", "ZEBNORMALVERSION", "ZEBVRMF", "ZEBSERVICESHIPLEVEL"}),
              (std::vector<std::string>{"9", "3", "93000", "09.03.0.1", "0.1"}));

    SetProps({{"ProductVersion", "9.3.0.0"}, {"ZEBPRODUCT", "client"}});
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBSETUPTITLE"), Filled(2004, "9.3"));
    EXPECT_EQ(Prop("ZEBSTARTTASKBAR"), "");
    winsim::msi::SetProperty("PATCH", "C:\\p.msp");
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBSETUPTITLE"), Filled(2005, "9.3"));
}

TEST_F(Named, TitleTextIsFilledNeverUsedAsAFormat) {
    UnpackLanguageLibrary(winsim::fs::MakeStringTable({{2001, "Setup %d %s %n %s"}}));
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBSETUPTITLE"), "Setup %d 9.3 %n %s");
    // Without the string: the built-in title.
    UnpackLanguageLibrary(winsim::fs::MakeStringTable({{2041, "Failed"}}));
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBSETUPTITLE"), "HX V9.3 Setup");
}

TEST_F(Named, ShippedServiceLevelForm) {
    const struct {
        const char* level;
        const char* failure;
    } levels[] = {{"1.2.3", "***Invalid Modification.Fix Level 'ZEBSERVICESHIPLEVEL'"},
                  {"1A.5", "***Modification Level '1A' must be all numeric or all alphabetic"},
                  {"1.B", "***Fix Level 'B' must be numeric"},
                  {"15", "***Fix Level '' must be numeric"},
                  {".5", "***Modification Level '' must be all numeric or all alphabetic"},
                  {"A.5", nullptr},
                  {"007.000", nullptr}};
    for (const auto& level : levels) {
        SCOPED_TRACE(level.level);
        winsim::msi::SetProperty("ZEBSERVICESHIPLEVEL", level.level);
        EXPECT_EQ(Run(), level.failure ? ZEB_RC_FAILURE : ZEB_RC_SUCCESS);
        if (level.failure)
            EXPECT_TRUE(HasText(level.failure));
        else // the package's own level replaces it
            EXPECT_EQ(Prop("ZEBSERVICESHIPLEVEL"), "0.0");
    }
    EXPECT_TRUE(HasText("Shipped level '7.0' is valid"));
}

TEST_F(Named, TaskbarFromSettingOrOldProgramState) {
    winsim::msi::SetProperty("STARTTASKBAR", "no");
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBSTARTTASKBAR"), "");
    winsim::msi::SetProperty("STARTTASKBAR", "whatever");
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBSTARTTASKBAR"), "1");

    // An upgrade: the old taskbar program left alone unless something holds it open.
    SetProps({{"STARTTASKBAR", ""}, {"ZEBINSTALLINSTANCENAME", ""}});
    AddInstallation(Inst1());
    winsim::fs::WriteFile("C:\\HX1\\bin64\\zebmtbrn.exe", "MZ");
    winsim::msi::SetProperty("ZEBOLDSERVER", kCode1);
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBSTARTTASKBAR"), "");
    winsim::fs::Lock("C:\\HX1\\bin64\\zebmtbrn.exe");
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBSTARTTASKBAR"), "1");
    winsim::fs::Unlock("C:\\HX1\\bin64\\zebmtbrn.exe");
}

// ---- Upgrade permission and accounts ------------------------------------------------------------

TEST_F(Named, UpgradeOfANamedInstallationIsAllowedInBothViews) {
    AddInstallation(Inst1());
    AddInstallation(Inst1(/*view32=*/true));
    winsim::msi::SetProperty("ZEBOLDSERVER", kCode1);
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("Permitting an upgrade to occur"));
    for (reg::View view : {reg::View::Native, reg::View::Wow32}) {
        auto value = reg::GetValue(HKEY_LOCAL_MACHINE, kInst1Key, "AllowUpgrade", view);
        ASSERT_TRUE(value.has_value());
        EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(value->data, "1") << "one byte, no terminator";
    }
    // Previous level of the upgraded installation in the welcome text.
    EXPECT_EQ(Prop("ZEBSERVICELEVELMESSAGE"), Filled(2092, "9.2.0.5"));
}

TEST_F(Named, MissingKeyIsTracedAndNeverCreated) {
    AddInstallation(Inst1());
    winsim::msi::SetProperty("ZEBOLDSERVER", kCode1);
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText(std::string("***Can't open key '") + kInst1Key + "' 2"));
    EXPECT_FALSE(reg::KeyExists(HKEY_LOCAL_MACHINE, kInst1Key, reg::View::Wow32));

    winsim::FailCall("RegSetValueExA", ERROR_ACCESS_DENIED, 1);
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText(std::string("***Can't set value 'AllowUpgrade' key '") + kInst1Key + "' 5"));

    // A new installation touches nothing.
    SetProps({{"ZEBOLDSERVER", ""}, {"ZEBINSTALLINSTANCENAME", ""}});
    reg::RemoveValue(HKEY_LOCAL_MACHINE, kInst1Key, "AllowUpgrade");
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_FALSE(reg::GetValue(HKEY_LOCAL_MACHINE, kInst1Key, "AllowUpgrade").has_value());
}

TEST_F(Named, CreatedAccounts) {
    AddInstallation(Inst1());
    reg::SetString(HKEY_LOCAL_MACHINE, kInst1Key, "CreatedAccount", "17");
    SetProps({{"Installed", "1"}, {"ZEBINSTALLINSTANCENAME", "Inst1"}});
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("Found CreatedAccount value: '17'"));
    EXPECT_EQ(Prop("ZEBCREATEDACCOUNTNUMBER"), "17");
    EXPECT_TRUE(HasText("Get Installed service level info for an installed product"));

    // The old single record's account: a 32-bit number only.
    SetProps({{"Installed", ""}, {"ZEBINSTALLINSTANCENAME", ""}, {"ZEBOLDSERVER", kOldCode}});
    AddOldRecord({.productCode = kOldCode, .vrmf = "7.0.1.6", .folder = "C:\\Hexline"});
    reg::SetDword(HKEY_LOCAL_MACHINE, kOldKey, "CreatedAccount", 42, reg::View::Wow32);
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBUPGRADEDACCOUNTNUMBER"), "42");

    SetProps({{"ZEBUPGRADEDACCOUNTNUMBER", ""}, {"ZEBINSTALLINSTANCENAME", ""}});
    for (const reg::Value& odd :
         {reg::Value{REG_SZ, std::string("42\0", 3)}, reg::Value{REG_DWORD, std::string("\x2a\0", 2)},
          reg::Value{REG_BINARY, std::string("\x2a\0\0\0", 4)}}) {
        reg::SetValue(HKEY_LOCAL_MACHINE, kOldKey, "CreatedAccount", odd, reg::View::Wow32);
        EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
        EXPECT_EQ(Prop("ZEBUPGRADEDACCOUNTNUMBER"), "") << odd.type;
        winsim::msi::SetProperty("ZEBINSTALLINSTANCENAME", "");
    }
}

// ---- Script check ----------------------------------------------------------------------------------

class Script : public Named {
  protected:
    void SetUp() override {
        Named::SetUp();
        AddInstallation(Inst1());
        SetProps({{"Installed", "1"},
                  {"ProductCode", kCode1},
                  {"ZEBPGMFOLDER", "c:\\hx1\\"},
                  {"ZEBINSTALLINSTANCENAME", "INST1"}});
    }
};

TEST_F(Script, NamesAndFoldersDifferingInCaseOnlyPass) {
    EXPECT_EQ(iwiInstallInitScript(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(MessageBoxes().empty());
}

TEST_F(Script, AnotherFolderOrNameFails) {
    reg::SetString(HKEY_LOCAL_MACHINE, kInst1Key, "FilePath", "C:\\Elsewhere");
    EXPECT_EQ(iwiInstallInitScript(h), ZEB_RC_FAILURE);
    ASSERT_FALSE(MessageBoxes().empty());
    EXPECT_EQ(MessageBoxes()[0], "Supplied installation path 'c:\\hx1' does not match actual installed path "
                                 "'C:\\Elsewhere' (ZEB4783)");

    reg::SetString(HKEY_LOCAL_MACHINE, kInst1Key, "FilePath", "C:\\HX1");
    winsim::msi::SetProperty("ZEBINSTALLINSTANCENAME", "Inst2");
    winsim::ClearEvents();
    EXPECT_EQ(iwiInstallInitScript(h), ZEB_RC_FAILURE);
    ASSERT_FALSE(MessageBoxes().empty());
    EXPECT_NE(MessageBoxes()[0].find("'Inst2' does not match actual name 'Inst1'"), std::string::npos);

    winsim::msi::SetProperty("ProductCode", kCode2);
    winsim::ClearEvents();
    EXPECT_EQ(iwiInstallInitScript(h), ZEB_RC_FAILURE);
    ASSERT_FALSE(MessageBoxes().empty());
    EXPECT_EQ(MessageBoxes()[0], TableStrings("zebircan").at(2110));
}

TEST_F(Script, OnlyFullInterfaceMaintenance) {
    reg::SetString(HKEY_LOCAL_MACHINE, kInst1Key, "FilePath", "C:\\Elsewhere");
    winsim::msi::SetProperty("UILevel", "3");
    EXPECT_EQ(iwiInstallInitScript(h), ZEB_RC_SUCCESS);
    SetProps({{"UILevel", "5"}, {"Installed", ""}});
    EXPECT_EQ(iwiInstallInitScript(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(MessageBoxes().empty());
}

} // namespace
