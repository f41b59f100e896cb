// Install summaries: the summary list box and its file, the "@" block of the trace, the feature
// and component dump, the service reminder.
#include "zebiwicnSimpleCA.h"
#include "zebtest.h"

namespace {

namespace msi = winsim::msi;
using Strings = std::vector<std::string>;

const char kCode[] = "{5A1C0DE0-0000-4000-8000-000000000001}";

class Summary : public ZebTest {
  protected:
    void SetUp() override {
        ZebTest::SetUp();
        msi::DefineStandardTable("ListBox");
        UnpackLanguageLibrary();
        s = TableStrings("zebircan");
        winsim::SetComputerName("HXHOST");
        SetProps({{"ZEBPRODUCT", "server"},
                  {"VersionNT", "1000"},
                  {"ZEBINSTALLINSTANCENAME", "Inst1"},
                  {"ZEBINSTALLINSTANCEDESC", "Accounts"},
                  {"ZEBPGMFOLDER", "C:\\HX"},
                  {"ZEBDATFOLDER", "C:\\HXData"},
                  {"ZEBLOGFOLDER", "C:\\HXLog"},
                  {"ZEBSTARTFOLDER", "Skyloft HX (Inst1)"}});
    }
    // A removal of the server installation Inst1 that holds two queue managers.
    void ServerRemoval() {
        SetProps({{"Installed", "1"},
                  {"_IsMaintenance", "Change"},
                  {"ZEBREMOVE", "1"},
                  {"ZEBLEAVEQMDATAREMOVE", "delete"}});
        msi::DefineFeatures({{"Server", INSTALLSTATE_LOCAL, INSTALLSTATE_ABSENT}});
        AddInstallation({.name = "Inst1", .identifier = "1", .productCode = kCode, .components = {"Server"}});
        AddQueueManager({.name = "QM1", .prefix = "C:\\HXData"}, QmSource::Ini);
        AddQueueManager({.name = "QM2", .prefix = "C:\\HXData"}, QmSource::Ini);
    }
    std::string In(unsigned id) { return "     " + s[id]; }
    std::map<unsigned, std::string> s;
};

TEST_F(Summary, ServerRemovalListsTheQueueManagersToDeleteNewestFirstAndWritesTheFile) {
    ServerRemoval();
    EXPECT_EQ(iwiListInstallSummary(h), 0u);
    Strings rows = ListBox("ZEBSUMMARYLIST");
    Strings head = {"Skyloft HX Installation Summary for Computer 'HXHOST'",
                    " ",
                    s[1054],
                    In(1056),
                    " ",
                    s[573],
                    "     'QM2'",
                    "     'QM1'",
                    " ",
                    s[591],
                    "     Inst1 (Accounts)",
                    " ",
                    s[550],
                    "     C:\\HX\\",
                    " ",
                    s[552],
                    "     Skyloft HX (Inst1)",
                    " ",
                    s[1031]};
    ASSERT_GE(rows.size(), head.size());
    EXPECT_EQ(Strings(rows.begin(), rows.begin() + head.size()), head);
    // Removal: no data or log folder, no features added, none reinstalled or unchanged.
    for (unsigned id : {551u, 553u, 1032u, 1035u, 1036u, 1051u})
        EXPECT_EQ(std::count(rows.begin(), rows.end(), s[id]), 0) << id;
    EXPECT_TRUE(HasText("No other server installs exist, and qmgrs being removed"));
    std::string file;
    for (const std::string& row : rows)
        file += row + "\r\n";
    EXPECT_EQ(File("C:\\Temp\\zebs0001.txt"), file);
    EXPECT_TRUE(HasText("Writing summary file 'C:\\Temp\\zebs0001.txt'"));
}

TEST_F(Summary, AnotherServerInstallationKeepsTheDataAndHidesTheQueueManagers) {
    ServerRemoval();
    AddInstallation({.name = "Inst2", .identifier = "2", .components = {"Server"}});
    EXPECT_EQ(iwiListInstallSummary(h), 0u);
    EXPECT_EQ(msi::Property("ZEBLEAVEQMDATAINSTALL"), "keep");
    EXPECT_EQ(msi::Property("ZEBLEAVEQMDATAREMOVE"), "keep");
    Strings rows = ListBox("ZEBSUMMARYLIST");
    EXPECT_EQ(std::count(rows.begin(), rows.end(), s[573]), 0);
    EXPECT_EQ(std::count(rows.begin(), rows.end(), "     'QM1'"), 0);
    EXPECT_TRUE(
        HasText("Other server installs exist or requested to keep the data, so hiding qmgr information"));
}

TEST_F(Summary, NewServerInstallationShowsFoldersFeaturesAndKeptQueueManagers) {
    SetProps({{"ZEBPREVSTARTFOLDER", "SKYLOFT HX (INST1)"},
              {"USEINI", "C:\\resp\\in.ini\\"},
              {"ZEBLOSINGJAVA", "1"}});
    msi::DefineFeatures({{"Server", INSTALLSTATE_ABSENT, INSTALLSTATE_LOCAL}});
    AddQueueManager({.name = "QMOLD", .prefix = "C:\\HXData"}, QmSource::Ini);
    EXPECT_EQ(iwiListInstallSummary(h), 0u);
    Strings rows = ListBox("ZEBSUMMARYLIST");
    Strings want = {
        In(1055), In(1063), " ",           s[1037], "     Settings are read from 'C:\\resp\\in.ini'",
        " ",      s[574],   "     'QMOLD'"};
    ASSERT_GE(rows.size(), 3 + want.size());
    EXPECT_EQ(Strings(rows.begin() + 3, rows.begin() + 3 + want.size()), want);
    EXPECT_TRUE(TextsInOrder({"'Server' Installed: 2 Action: 3", "'Client' Installed: -1 Action: -1",
                              "No other server installs exist, so show discovered qmgrs"}));
    // Kept server: data and log folders; the start folder differs in case only: no 1051.
    for (unsigned id : {551u, 553u, 582u, 1032u})
        EXPECT_EQ(std::count(rows.begin(), rows.end(), s[id]), 1) << id;
    EXPECT_EQ(std::count(rows.begin(), rows.end(), s[1051]), 0);
    EXPECT_EQ(std::count(rows.begin(), rows.end(), s[1031]), 0); // nothing installed before
    auto log = std::find(rows.begin(), rows.end(), s[553]);
    ASSERT_NE(log, rows.end());
    EXPECT_EQ(*(log + 1), "     C:\\HXLog");
}

TEST_F(Summary, FailedRowsAndFailedReads) {
    msi::DefineFeatures({{"Client", INSTALLSTATE_ABSENT, INSTALLSTATE_LOCAL}});
    SetProps({{"ZEBCLIENT", "1"}, {"ZEBPREVSTARTFOLDER", "Old HX"}});
    winsim::FailCall("MsiViewModify", ERROR_FUNCTION_FAILED, 2);
    EXPECT_EQ(iwiListInstallSummary(h), 0u);
    EXPECT_TRUE(HasText("***Summary line ' ' not added (1627)"));
    Strings rows = ListBox("ZEBSUMMARYLIST");
    EXPECT_EQ(rows[1], s[1054]); // the blank row is the one missing
    EXPECT_EQ(std::count(rows.begin(), rows.end(), s[1051]), 1);
    EXPECT_EQ(std::count(rows.begin(), rows.end(), s[553]), 0); // a client has no log folder row
    EXPECT_FALSE(HasTextContaining("qmgr"));

    winsim::ClearFaults();
    winsim::FailCall("MsiGetPropertyA", ERROR_INVALID_HANDLE, 0, "ZEBREMOVE");
    EXPECT_EQ(iwiListInstallSummary(h), ZEB_RC_FAILURE);
}

TEST_F(Summary, FirstInstallationOverAnOlderProductNamesIt) {
    msi::SetProperty("ZEBOLDINSTALLINSTANCENAME", "Inst1");
    msi::DefineFeatures({{"Server", INSTALLSTATE_ABSENT, INSTALLSTATE_LOCAL}});
    AddInstallation({.name = "Inst1",
                     .identifier = "1",
                     .vrmf = "7.5.0.2",
                     .productCode = kCode,
                     .serverVersion = "7",
                     .serverRelease = "5",
                     .components = {"Server"}});
    UnpackLanguageLibrary(winsim::fs::MakeStringTable(
        {{1054, "Type:"}, {1065, "HX 7.5"}, {1066, "HX 7.5"}, {1067, "HX 7.5"}, {1068, "HX 7.5"}}));
    EXPECT_EQ(iwiListInstallSummary(h), 0u);
    Strings rows = ListBox("ZEBSUMMARYLIST");
    ASSERT_GE(rows.size(), 4u);
    // Neither the title nor 1060 in this library: their fallbacks.
    EXPECT_EQ(rows[0], "Skyloft HX Installation Summary for Computer 'HXHOST'");
    EXPECT_EQ(rows[3], "     Migrating from HX 7.5 V7.5.0.2");
}

// ---- The "@" block ------------------------------------------------------------------------------

class Helpful : public Summary {
  protected:
    // The block's lines, "@" lines only.
    static Strings Block() {
        Strings out;
        for (const std::string& t : Texts())
            if (t.rfind("@", 0) == 0)
                out.push_back(t);
        return out;
    }
};

TEST_F(Helpful, ServerMinorUpgradeBlockAndAnUnknownProduct) {
    SetProps({{"IS_MINOR_UPGRADE", "Yes"},
              {"ProductVersion", "9.4.0.0"},
              {"ZEBREMOVE", "1"},
              {"ComputerName", "HXHOST"}});
    msi::DefineFeatures({{"Base", INSTALLSTATE_LOCAL, INSTALLSTATE_DEFAULT}});
    AddInstallation({.name = "Inst1", .identifier = "1", .view32 = true, .productType = "Server"});
    EXPECT_EQ(iwiDisplayHelpfulSummary(h), 0u);
    Strings block = Block();
    ASSERT_EQ(block.size(), 26u);
    EXPECT_EQ(block.front(), std::string(72, '@'));
    EXPECT_EQ(block.back(), std::string(72, '@'));
    EXPECT_EQ(block[4],
              "@ SUMMARY: MSI Minor upgrade of HX Server version 0.0.0.0 to HX server version 9.4.0.0");
    EXPECT_EQ(block[7], "@ Server or Client:          'server'");
    EXPECT_EQ(block[8], "@ Program Directory:         'C:\\HX'");
    EXPECT_EQ(block[15], "@ Upgrade type:              Minor");
    EXPECT_EQ(block[16], "@ ***Server minor upgrades ARE NOT SUPPORTED, use the server fix pack instead.");
    EXPECT_EQ(block[18], "@ Removing HX?:              yes");
    EXPECT_EQ(block[24], "@ ComputerName:              'HXHOST'");
    EXPECT_TRUE(TextsInOrder({"nPrevProduct = 0",
                              "Looking up value in 'SOFTWARE\\Corvane\\Skyloft HX\\Installation\\Inst1'",
                              "Original ProductProperty value (x86): Server",
                              "Feature Base - Installed: INSTALLSTATE_LOCAL Action: INSTALLSTATE_DEFAULT"}));

    msi::SetProperty("ZEBPRODUCT", "web");
    msi::ClearMessages();
    EXPECT_EQ(iwiDisplayHelpfulSummary(h), 0u);
    block = Block();
    ASSERT_EQ(block.size(), 25u);
    EXPECT_EQ(block[7], "@ Server or Client:          '<unknown>'");
    EXPECT_EQ(block[15], "@ Upgrade type:              Minor");
    EXPECT_EQ(block[16], "@ ");
}

TEST_F(Helpful, BothUpgradeFlagsOnAClientAndAFailedBaseQuery) {
    SetProps({{"ZEBPRODUCT", "CLIENT"},
              {"ZEBCLIENT", "1"},
              {"IS_MINOR_UPGRADE", "1"},
              {"IS_MAJOR_UPGRADE", "yes"}});
    const std::string longFolder = "C:\\" + std::string(300, 'p');
    msi::SetProperty("ZEBPGMFOLDER", longFolder);
    EXPECT_EQ(iwiDisplayHelpfulSummary(h), 0u);
    Strings block = Block();
    ASSERT_EQ(block.size(), 26u);
    EXPECT_EQ(block[8], "@ Program Directory:         '" + longFolder + "'"); // never cut
    EXPECT_EQ(block[4], "@ SUMMARY: <unable to parse properties> ");
    EXPECT_EQ(block[7], "@ Server or Client:          'CLIENT'");
    EXPECT_EQ(block[15], "@ Upgrade type:              Both Major and Minor???");
    EXPECT_EQ(block[16],
              "@ ***Installer properties claim this is both major and minor upgrade, which is nonsense.");
    EXPECT_TRUE(HasText("Feature Base - Unknown? Odd!"));
    EXPECT_TRUE(HasText("Original ProductProperty value: <unknown>"));

    winsim::FailCall("MsiGetPropertyA", ERROR_INVALID_HANDLE, 0, "ZEBBUILDDATE");
    EXPECT_EQ(iwiDisplayHelpfulSummary(h), ZEB_RC_FAILURE);
}

// ---- Dump, service reminder, print ----------------------------------------------------------------

TEST_F(Summary, DumpListsFeaturesAndComponentsAndAlwaysSucceeds) {
    msi::DefineFeatures({{"Base", INSTALLSTATE_ABSENT, INSTALLSTATE_LOCAL}, {"Ghost"}});
    msi::DefineStandardTable("Component");
    msi::AddRow("Component",
                {msi::Field::str("Base_base"), msi::Field::str("{C0}"), msi::Field::str("INSTALLDIR"),
                 msi::Field::integer(0), msi::Field::null(), msi::Field::null()});
    msi::AddRow("Component", {msi::Field::str("Lost"), msi::Field::str("{C1}"), msi::Field::str("INSTALLDIR"),
                              msi::Field::integer(0), msi::Field::null(), msi::Field::null()});
    msi::AddComponent("Base_base", INSTALLSTATE_ABSENT, INSTALLSTATE_LOCAL);
    winsim::FailCall("MsiGetFeatureStateA", ERROR_UNKNOWN_FEATURE, 0, "Ghost");
    EXPECT_EQ(iwiDumpDiagnostics(h), 0u);
    EXPECT_TRUE(TextsInOrder({"General information", "Level Information: " + std::string(ZebBuildLevel()),
                              "   Feature Base - Installed: INSTALLSTATE_ABSENT Action: INSTALLSTATE_LOCAL",
                              "   Feature Ghost - Unknown? Odd!", "Component information",
                              "   Component Base_base({C0}) - Installed: INSTALLSTATE_ABSENT Action: "
                              "INSTALLSTATE_LOCAL",
                              "   Component Lost({C1}) - Unknown? Odd!"}));

    // Deferred: no database.
    msi::ClearMessages();
    EXPECT_EQ(RunDeferred(iwiDumpDiagnostics, "ZEBTEMP=C:\\Temp;"), 0u);
    EXPECT_TRUE(HasText("***MsiGetActiveDatabase() failed"));
    EXPECT_FALSE(HasTextContaining("   Feature"));
}

TEST_F(Summary, ServiceReminderNeedsItsText) {
    SetProps({{"UILevel", "5"}, {"ZEBREAPPLYSERVICE", "9.4.0.3"}});
    EXPECT_EQ(iwiDisplayApplyService(h), 0u);
    ASSERT_EQ(MessageBoxes().size(), 1u);
    EXPECT_NE(MessageBoxes()[0].find("9.4.0.3"), std::string::npos);

    UnpackLanguageLibrary(winsim::fs::MakeStringTable({{1, "x"}}));
    EXPECT_EQ(iwiDisplayApplyService(h), 0u);
    EXPECT_EQ(MessageBoxes().size(), 1u);
    EXPECT_TRUE(HasText("***Unable to load message 247"));
    EXPECT_EQ(iwiPrintSummary(h), 0u);
    EXPECT_STREQ(TempFolder(), "C:\\Temp");
}

TEST_F(Summary, PrintNeedsTheTemporaryFolderAndAnImmediateRun) {
    winsim::FailCall("MsiGetPropertyA", ERROR_INVALID_HANDLE, 0, "ZEBTEMP");
    EXPECT_EQ(iwiPrintSummary(h), ZEB_RC_FAILURE);
    EXPECT_STREQ(TempFolder(), "");
    winsim::ClearFaults();
    EXPECT_EQ(RunDeferred(iwiPrintSummary, "ZEBTEMP=C:\\Temp;"), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasTextContaining("***CA execute error; run mode must not be 'MSIRUNMODE_"));
}

} // namespace
