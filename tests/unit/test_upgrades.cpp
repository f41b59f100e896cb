// iwiListAvailableUpgrades: the new entry and the legacy coexistence test, registered and legacy
// installations in both lists, the default entry, the traces of long lists and the refusals.
#include "zebiwicnPrereq.h"
#include "zebtest.h"

#include <algorithm>

namespace {

namespace msi = winsim::msi;

const char kLegacyCode[] = "{00000000-0000-0000-0000-000000000007}";

// Unlike Prop, tells an unset property from an empty one.
std::string PropOrUnset(const char* name) {
    return msi::Property(name).value_or("<unset>");
}

class Upgrades : public ZebTest {
  protected:
    void SetUp() override {
        ZebTest::SetUp();
        msi::DefineStandardTable("ListBox");
        UnpackLanguageLibrary();
        strings = TableStrings("zebircan");
    }
    // "value=text" of each row of the list, in order.
    static std::vector<std::string> Entries() {
        std::vector<std::string> out;
        for (const msi::Row& row : msi::Rows("ListBox"))
            if (row.fields[0].s == "ZEBSELECTUPGRADELISTBOX")
                out.push_back(row.fields[2].s + "=" + row.fields[3].s);
        return out;
    }
    std::string Entry(const std::string& value, const std::string& level, const std::string& description) {
        std::string text = strings[2105];
        text.replace(text.find("%1"), 2, level);
        text.replace(text.find("%2"), 2, description);
        return value + "=" + text;
    }
    std::string NewEntry() { return std::string("**NEW**=") + strings[2104]; }
    std::map<unsigned, std::string> strings;
};

TEST_F(Upgrades, NothingInstalledOffersOnlyANewInstallation) {
    EXPECT_EQ(iwiListAvailableUpgrades(h), 0u);
    EXPECT_EQ(Entries(), std::vector<std::string>{NewEntry()});
    EXPECT_EQ(Props({"ZEBNUMUPGRADEABLES", "ZEBSELECTUPGRADELISTBOX", "ZEBDENYCOEXIST"}),
              (std::vector<std::string>{"1", "**NEW**", "0"}));
    EXPECT_TRUE(HasText("Skipping panel, using default of '**NEW**'"));
}

TEST_F(Upgrades, RegisteredInstallationsOfBothListsInOrderWithoutDefault) {
    AddInstallation({.name = "Inst1",
                     .description = "Accounts %1 %s [ProductName]",
                     .identifier = "1",
                     .vrmf = "9.4.0.0",
                     .productCode = kCode1});
    AddInstallation({.name = "Inst2",
                     .description = "",
                     .identifier = "2",
                     .vrmf = "9.3.1.0",
                     .productCode = kCode2,
                     .view32 = true});
    SetProps({{"ZEBOLDSERVER", std::string(kCode1) + ";;"}, {"ZEBOLDCLIENT", std::string(";") + kCode2}});
    EXPECT_EQ(iwiListAvailableUpgrades(h), 0u);
    // The description is shown as it is: never a format, never a property reference.
    EXPECT_EQ(Entries(), (std::vector<std::string>{
                             NewEntry(), Entry(kCode1, "9.4.0.0", "'Inst1' - Accounts %1 %s [ProductName]"),
                             Entry(kCode2, "9.3.1.0", "'Inst2'")}));
    EXPECT_EQ(Prop("ZEBNUMUPGRADEABLES"), "3");
    EXPECT_EQ(Prop("ZEBSELECTUPGRADELISTBOX"), " ");
    EXPECT_FALSE(HasTextContaining("Skipping panel"));
    EXPECT_TRUE(TextsInOrder({std::string("Remaining list is: '") + kCode1 + ";;'",
                              std::string("Processing code: '") + kCode1 + "'", "Remaining list is: ';'",
                              std::string("Remaining list is: ';") + kCode2 + "'",
                              std::string("Remaining list is: '") + kCode2 + "'"}));
    EXPECT_FALSE(HasText("Processing code: ''"));
    EXPECT_TRUE(MessageBoxes().empty());
}

TEST_F(Upgrades, LegacyLevelBelowCoexistenceRefusesTheNewEntry) {
    AddOldRecord({.productCode = kLegacyCode, .vrmf = "7.0.1.5"});
    msi::SetProperty("ZEBOLDSERVER", kLegacyCode);
    EXPECT_EQ(iwiListAvailableUpgrades(h), 0u);
    EXPECT_TRUE(TextsInOrder({"VRMF 7.0.1.5 cannot coexist - Skipping", "Coexisting is not allowed.",
                              std::string("Found key: '") + kLegacyCode + "',7.0.1.5"}));
    EXPECT_EQ(Entries(), std::vector<std::string>{Entry(kLegacyCode, "7.0.1.5", "")});
    EXPECT_EQ(Prop("ZEBDENYCOEXIST"), "1");
    EXPECT_EQ(Prop("ZEBSELECTUPGRADELISTBOX"), kLegacyCode);

    // An old server found by the package stops the run.
    msi::SetProperty("ZEBOLDSERVERINSTALLED", kLegacyCode);
    EXPECT_EQ(iwiListAvailableUpgrades(h), ZEB_RC_FAILURE);
    ASSERT_EQ(MessageBoxes().size(), 1u);
    EXPECT_NE(MessageBoxes()[0].find(strings[2114]), std::string::npos);
    EXPECT_EQ(Prop("ZEBDENYCOEXIST"), "1");

    // The coexistence setting lets the new installation in after all.
    msi::SetProperty("ZEBCOEXISTANY", "yes");
    EXPECT_EQ(iwiListAvailableUpgrades(h), 0u);
    EXPECT_TRUE(HasText("VRMF 7.0.1.5 cannot coexist - but permitted by use of ZEBCOEXISTANY"));
    EXPECT_EQ(Entries(), (std::vector<std::string>{NewEntry(), Entry(kLegacyCode, "7.0.1.5", "")}));
    EXPECT_EQ(Prop("ZEBDENYCOEXIST"), "0");
}

TEST_F(Upgrades, LegacyLevelAtCoexistenceCanCoexist) {
    AddOldRecord({.productCode = kLegacyCode, .vrmf = "7.0.1.6"});
    msi::SetProperty("ZEBOLDSERVERINSTALLED", "1");
    EXPECT_EQ(iwiListAvailableUpgrades(h), 0u);
    EXPECT_TRUE(HasText("VRMF 7.0.1.6 can coexist"));
    EXPECT_EQ(Entries(), std::vector<std::string>{NewEntry()});
}

TEST_F(Upgrades, UnknownCodeStopsWith2110) {
    AddOldRecord({.productCode = kLegacyCode, .vrmf = "7.0.1.6"});
    msi::SetProperty("ZEBOLDCLIENT", std::string(kCode2) + ";" + kLegacyCode);
    EXPECT_EQ(iwiListAvailableUpgrades(h), ZEB_RC_FAILURE);
    ASSERT_EQ(MessageBoxes().size(), 1u);
    EXPECT_NE(MessageBoxes()[0].find(strings[2110]), std::string::npos);
    EXPECT_FALSE(HasText(std::string("Processing code: '") + kLegacyCode + "'"));
    EXPECT_EQ(PropOrUnset("ZEBNUMUPGRADEABLES"), "<unset>");

    // The legacy code is compared without regard to case.
    std::string lower = kLegacyCode;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    msi::SetProperty("ZEBOLDCLIENT", lower);
    EXPECT_EQ(iwiListAvailableUpgrades(h), 0u);
    EXPECT_EQ(Entries(), (std::vector<std::string>{NewEntry(), Entry(kLegacyCode, "7.0.1.6", "")}));
}

TEST_F(Upgrades, LongListsAreTracedByTheirEnds) {
    std::string list300(300, 'x');
    msi::SetProperty("ZEBOLDSERVER", list300);
    EXPECT_EQ(iwiListAvailableUpgrades(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("Remaining list is: '" + list300 + "'"));

    std::string list301 = "A" + std::string(299, 'x') + "Z";
    msi::SetProperty("ZEBOLDSERVER", list301);
    EXPECT_EQ(iwiListAvailableUpgrades(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(TextsInOrder({"Remaining list starts with: '" + list301.substr(0, 300) + "'",
                              "Remaining list ends with  : '" + list301.substr(1) + "'",
                              "Processing code: '" + list301 + "'"}));
}

TEST_F(Upgrades, ListBoxFailuresEndTheRun) {
    winsim::FailCall("MsiGetActiveDatabase", ERROR_INVALID_HANDLE, 1);
    EXPECT_EQ(iwiListAvailableUpgrades(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("*** Failed to clear the listbox"));

    // An empty list box is cleared without a modify: the new entry's row is the first.
    winsim::ClearFaults();
    winsim::FailCall("MsiViewModify", ERROR_FUNCTION_FAILED, 1);
    EXPECT_EQ(iwiListAvailableUpgrades(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("*** Failed to add 'new' entry: '1627'"));
    EXPECT_EQ(PropOrUnset("ZEBDENYCOEXIST"), "<unset>");
}

TEST_F(Upgrades, LegacyEntryThatCannotBeAddedShows273) {
    AddOldRecord({.productCode = kLegacyCode, .vrmf = "7.0.1.6"});
    msi::SetProperty("ZEBOLDSERVER", kLegacyCode);
    winsim::FailCall("MsiViewModify", ERROR_FUNCTION_FAILED, 2); // after the new entry
    EXPECT_EQ(iwiListAvailableUpgrades(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("*** Failed to add pre 7.1 entry: '1627'"));
    ASSERT_EQ(MessageBoxes().size(), 1u);
    EXPECT_NE(MessageBoxes()[0].find(strings[273]), std::string::npos);
}

} // namespace
