// iwiCalculatePrimary: maintenance, upgrade and new-installation decisions, the default choice and
// the properties left after failures.
#include "zebiwicnUtil.h"
#include "zebtest.h"

#include <algorithm>

namespace {

class Primary : public ZebTest {
  protected:
    // The two results as "make/allow".
    std::string Run() {
        FrameSetSession(h);
        iwiCalculatePrimary();
        return Prop("ZEBMAKEPRIMARY") + "/" + Prop("ZEBALLOWPRIMARY");
    }
};

TEST_F(Primary, MaintenanceKeepsRecordedRoleWhateverTheSetting) {
    AddInstallation({.name = "Inst1", .identifier = "1", .productCode = kCode1});
    Registry(hxrecord::RegFile(hxrecord::Primary("Inst1")));
    SetProps({{"Installed", "1"}, {"ZEBINSTALLINSTANCENAME", "Inst1"}, {"MAKEPRIMARY", "0"}});
    EXPECT_EQ(Run(), "1/");
    EXPECT_TRUE(TextsInOrder({"Existing Primary (64 bit tree) is 'Inst1'",
                              "Loop 0 Found installation directory (Inst1) so other installations!",
                              "We are already installed, so primary nature is fixed",
                              "We are already installed as primary"}));
    EXPECT_FALSE(HasText("Working out the default primary setting."));

    // Case matters: another installation whose name differs only in case is not primary.
    SetProps({{"ZEBINSTALLINSTANCENAME", "INST1"}, {"MAKEPRIMARY", "1"}});
    EXPECT_EQ(Run(), "/");
    EXPECT_TRUE(HasText("We are already installed but not as primary."));
}

TEST_F(Primary, UpgradeFollowsTheOldInstallation) {
    Registry(hxrecord::RegFile(hxrecord::Primary("Old1", true)));
    SetProps({{"MAKEPRIMARY", "0"}, {"ZEBOLDINSTALLINSTANCENAME", "Old1"}});
    EXPECT_EQ(Run(), "1/");
    EXPECT_TRUE(TextsInOrder({"Existing Primary (32 bit tree) is 'Old1'", "We are performing an upgrade.",
                              "We were the primary, so default to being a primary, no changing it."}));

    winsim::msi::SetProperty("ZEBOLDINSTALLINSTANCENAME", "old1");
    EXPECT_EQ(Run(), "/");
    EXPECT_TRUE(HasText("We were not the primary, so default to not being a primary, no changing it."));

    // An old single-record release was the only installation, hence primary, but may give it up.
    for (const char* reserved : {"installation0", "CURRENTVERSION"}) {
        winsim::msi::SetProperty("ZEBOLDINSTALLINSTANCENAME", reserved);
        EXPECT_EQ(Run(), "1/1") << reserved;
    }
    EXPECT_TRUE(HasText("We were (7.0.1) primary, so default to being a primary, but allow changing it."));
}

TEST_F(Primary, NewInstallationBesideAnInstalledPrimaryCannotBePrimary) {
    AddInstallation({.name = "Inst1", .identifier = "1", .productCode = kCode1, .view32 = true});
    Registry(hxrecord::RegFile(hxrecord::Primary("Inst1", true)));
    SetProps({{"ZEBINSTALLINSTANCENAME", "Inst2"}, {"MAKEPRIMARY", "1"}});
    EXPECT_EQ(Run(), "/");
    EXPECT_TRUE(
        TextsInOrder({"Loop 0 Installation tree does not exist - nothing to enumerate",
                      "Loop 1 Found installation directory (Inst1) so other installations!",
                      "Running alongside existing primary (32 bit), hence we cannot be make primary."}));

    AddInstallation({.name = "Inst1", .identifier = "1", .productCode = kCode1});
    EXPECT_EQ(Run(), "/");
    EXPECT_TRUE(HasText("Running alongside existing primary, hence we cannot be make primary."));
}

TEST_F(Primary, OldSingleRecordWithoutMirroredNameBlocksPrimary) {
    AddOldRecord({.productCode = kCode2, .vrmf = "7.0.1.0"});
    winsim::msi::SetProperty("MAKEPRIMARY", "1");
    EXPECT_EQ(Run(), "/");
    EXPECT_TRUE(HasText("Running alongside v7.0.1 install!! We cannot be made primary."));

    // A 7.0.1 record that mirrors a named installation does not block.
    AddOldRecord({.productCode = kCode2, .vrmf = "7.0.1.0", .name = "Inst1"});
    EXPECT_EQ(Run(), "1/1");
    EXPECT_TRUE(HasText("No primary yet - do default logic."));
}

TEST_F(Primary, PrimaryNotInstalledLeavesTheChoiceToTheDefault) {
    AddInstallation({.name = "Gone", .identifier = "1"}); // no ProductCode in either view
    AddInstallation({.name = "Other", .identifier = "2", .productCode = kCode1});
    Registry(hxrecord::RegFile(hxrecord::Primary("Gone")));
    EXPECT_EQ(Run(), "/1");
    EXPECT_TRUE(TextsInOrder({"There is a primary which is not installed.",
                              "Working out the default primary setting.",
                              "Other installs exist - default to non-primary."}));

    winsim::msi::SetProperty("MAKEPRIMARY", "1yes");
    EXPECT_EQ(Run(), "1/1");
    EXPECT_TRUE(HasText("User requested this to be primary"));
}

TEST_F(Primary, EmptyMachineDefaultsToPrimaryUnlessRefused) {
    EXPECT_EQ(Run(), "1/1");
    EXPECT_TRUE(TextsInOrder(
        {"No existing primary", "Loop 0 Installation tree does not exist - nothing to enumerate",
         "Loop 1 Installation tree does not exist - nothing to enumerate",
         "No primary yet - do default logic.", "No other installs exist - default to primary."}));

    winsim::msi::SetProperty("MAKEPRIMARY", "0");
    EXPECT_EQ(Run(), "/1");
    EXPECT_TRUE(HasText("User requested this to be non primary"));

    // An empty installation key is no other installation.
    winsim::msi::SetProperty("MAKEPRIMARY", "");
    Registry("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Skyloft HX\\Installation]\n");
    EXPECT_EQ(Run(), "1/1");
    EXPECT_TRUE(HasText("Loop 0 Found no installation directories found"));
}

TEST_F(Primary, UnreadableInstallationKeyCountsAsOthers) {
    Registry("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Skyloft HX\\Installation]\n");
    winsim::reg::DenyAccess(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Skyloft HX\\Installation", true);
    EXPECT_EQ(Run(), "/1");
    EXPECT_TRUE(
        TextsInOrder({"Loop 0 Failed to open Installation tree, unexpected reason - assume other 7.1s",
                      "Other installs exist - default to non-primary."}));
    EXPECT_FALSE(HasTextContaining("Loop 1"));
}

TEST_F(Primary, FailedReadsLeaveThisInstallationNotPrimary) {
    winsim::FailCall("MsiGetPropertyA", ERROR_INVALID_HANDLE, 0, "MAKEPRIMARY");
    EXPECT_EQ(Run(), "/1");
    EXPECT_FALSE(HasText("No other installs exist - default to primary."));

    winsim::ClearFaults();
    winsim::FailCall("MsiGetPropertyA", ERROR_INVALID_HANDLE, 0, "ZEBINSTALLINSTANCENAME");
    EXPECT_EQ(Run(), "/");
    std::vector<std::string> texts = Texts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "No existing primary"), 1); // the first run's

    // A refused first write ends the calculation: the second is not tried.
    winsim::ClearFaults();
    SetProps({{"ZEBMAKEPRIMARY", "old"}, {"ZEBALLOWPRIMARY", "old"}});
    winsim::FailCall("MsiSetPropertyA", ERROR_INVALID_HANDLE, 1);
    EXPECT_EQ(Run(), "old/old");
}

TEST_F(Primary, DeferredRunWritesNothing) {
    SetProps({{"ZEBMAKEPRIMARY", "old"}, {"ZEBALLOWPRIMARY", "old"}});
    winsim::msi::EnterDeferred("iwiX");
    EXPECT_EQ(Run(), "old/old");
    winsim::msi::LeaveDeferred();
    EXPECT_TRUE(HasTextContaining("ignored during deferred execution"));
}

} // namespace
