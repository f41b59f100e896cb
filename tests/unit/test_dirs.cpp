// Program, data and log folders: the path checks, the choice of iwiSetDirs and the folder forms,
// shortcut names and administrative target derived from it.
#include "zebiwicnPrereq.h"
#include "zebiwicnUtil.h"
#include "zebtest.h"

namespace {

namespace fs = winsim::fs;
namespace msi = winsim::msi;

const char kDefaultPgm[] = "C:\\Program Files\\Corvane\\HX";
const char kDefaultDat[] = "C:\\ProgramData\\Corvane\\HX";

// "C:\" followed by letters up to the length asked for.
std::string PathOfLength(size_t cch, const std::string& drive = "C:\\") {
    return drive + std::string(cch - drive.size(), 'a');
}

class Dirs : public ZebTest {
  protected:
    void SetUp() override {
        ZebTest::SetUp();
        SetProps({{"UpgradeCode", ZEB_UPGRADE_SERVER},
                  {"Manufacturer", "Corvane"},
                  {"ZEBDISKFOLDERNAME", "HX"},
                  {"ProgramFiles64Folder", "C:\\Program Files\\"},
                  {"ProgramFilesFolder", "C:\\Program Files (x86)\\"},
                  {"CommonAppDataFolder", "C:\\ProgramData\\"},
                  {"UILevel", "2"}});
    }
    UINT Run() { return iwiSetDirs(h); }
    void Installed(const std::string& name, const std::string& folder, bool view32 = false) {
        AddInstallation(
            {.name = name, .identifier = "1", .vrmf = "9.4.0.0", .folder = folder, .view32 = view32});
    }
};

// ---- Path checks ----------------------------------------------------------------------------------

TEST_F(Dirs, ValidPathLimitsByKind) {
    const struct {
        int kind;
        size_t limit;
    } kinds[] = {{ZEB_FOLDER_PROGRAM, 190}, {ZEB_FOLDER_DATA, 72}, {ZEB_FOLDER_LOG, 232}};
    for (const auto& k : kinds) {
        EXPECT_TRUE(IsValidPath(k.kind, PathOfLength(k.limit).c_str())) << k.kind;
        std::string tooLong = PathOfLength(k.limit + 1);
        EXPECT_FALSE(IsValidPath(k.kind, tooLong.c_str())) << k.kind;
        EXPECT_TRUE(HasText("***Path '" + tooLong + "' type " + std::to_string(k.kind) + " is not valid"));
    }
    EXPECT_TRUE(IsValidPath(3, PathOfLength(259).c_str()));
}

TEST_F(Dirs, InUseWhenEqualInsideOrEnclosingButNotASibling) {
    Installed("Inst1", "C:\\HX_10");
    Installed("Inst2", "C:\\Apps\\HX_1\\sub", true);
    EXPECT_FALSE(iwiIsInstallPathInUse("C:\\HX_1"));
    EXPECT_TRUE(HasText("..its safe!"));
    EXPECT_TRUE(iwiIsInstallPathInUse("c:\\hx_10\\"));
    EXPECT_TRUE(iwiIsInstallPathInUse("C:\\HX_10\\bin"));
    EXPECT_TRUE(iwiIsInstallPathInUse("C:\\Apps\\HX_1"));
    EXPECT_TRUE(HasText("In use by installation Inst2 with path C:\\Apps\\HX_1\\sub\\ - skipping"));
    EXPECT_TRUE(
        TextsInOrder({"Checking path C:\\Apps\\HX_1 for an HX Installation",
                      "Loop 0 (0==64 bit tree, 1==32 bit tree)", "Loop 1 (0==64 bit tree, 1==32 bit tree)",
                      "In use by installation Inst2 with path C:\\Apps\\HX_1\\sub\\ - skipping"}));
}

// A record without a program folder would otherwise claim every path (compared over length 0).
TEST_F(Dirs, RecordsWithoutProgramFolderClaimNothing) {
    AddInstallation({.name = "NoPath", .identifier = "1"});
    AddInstallation({.name = "EmptyPath", .identifier = "2", .folder = ""});
    AddOldRecord({.vrmf = "7.0.1.6", .folder = ""});
    EXPECT_FALSE(iwiIsInstallPathInUse(kDefaultPgm));
    EXPECT_FALSE(HasTextContaining("In use by"));

    AddOldRecord({.vrmf = "7.0.1.6", .folder = "C:\\Hexline"});
    EXPECT_TRUE(iwiIsInstallPathInUse("C:\\Hexline\\sub"));
    EXPECT_TRUE(HasText("In use by legacy installation with path C:\\Hexline\\ - skipping"));
}

TEST_F(Dirs, FolderAccessibleOnlyOnAnExistingDrive) {
    fs::AddDrive('D');
    EXPECT_TRUE(iwiIsFolderAccessible("d:\\Data"));
    EXPECT_TRUE(TextsInOrder({"Valid Drive 'C:\\'", "Valid Drive 'D:\\'"}));
    EXPECT_FALSE(iwiIsFolderAccessible("Q:\\Data"));
    EXPECT_FALSE(iwiIsFolderAccessible("Data"));
    winsim::FailCall("GetLogicalDriveStringsA", ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(iwiIsFolderAccessible("C:\\Data"));
}

TEST_F(Dirs, AvailableDefaultTakesTheFirstFreeSuffix) {
    Installed("Inst1", "C:\\HX");
    Installed("Inst2", "C:\\HX_1", true);
    char szPath[ZEB_CCH_PATH] = "C:\\HX";
    iwiCalcAvailableDefaultPath(szPath);
    EXPECT_STREQ(szPath, "C:\\HX_2");
    EXPECT_TRUE(TextsInOrder(
        {"Checking acceptability of path: 'C:\\HX'", "Checking acceptability of path: 'C:\\HX_1'",
         "Checking acceptability of path: 'C:\\HX_2'", "Returning default path: 'C:\\HX_2'"}));
}

// A candidate that would be cut counts as used: a cut name could be another installation's folder.
TEST_F(Dirs, AvailableDefaultNeverCutsACandidate) {
    std::string base = PathOfLength(258);
    Installed("Inst1", base);
    char szPath[ZEB_CCH_PATH];
    lstrcpynA(szPath, base.c_str(), sizeof(szPath));
    iwiCalcAvailableDefaultPath(szPath);
    EXPECT_EQ(std::string(szPath), base);
    EXPECT_TRUE(HasText("Path '" + base + "_1' is too long - skipping"));
    EXPECT_TRUE(HasText("Path '" + base + "_127' is too long - skipping"));
}

TEST_F(Dirs, LogSummaryNamesKnownLevelsAndWritesOthersDotted) {
    PrevRecord().lProduct = 50201;
    LogSummary();
    PrevRecord().lProduct = 90300;
    lstrcpynA(PrevRecord().szLanguage, "German", ZEB_CCH_PATH);
    lstrcpynA(PrevRecord().szDataFolder, "C:\\HXData", ZEB_CCH_PATH);
    LogSummary();
    EXPECT_TRUE(TextsInOrder({"Installed Hexline version is 5.2.1", "Installed Hexline version is 9.3",
                              "Installed language is 'German'", "Program files directory is ''",
                              "Data files directory is 'C:\\HXData'", "QM log files directory is ''"}));
}

// ---- iwiSetDirs: the choice ---------------------------------------------------------------------------

TEST_F(Dirs, CleanMachineGetsTheDefaults) {
    ASSERT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Props({"ZEBPGMFOLDER", "INSTALLDIR", "ZEBDATFOLDER", "ZEBLOGFOLDER", "ZEBHAVEQMS", "ZEBPREVPGM",
                     "ZEBPREVDAT"}),
              (std::vector<std::string>{kDefaultPgm, kDefaultPgm, kDefaultDat,
                                        std::string(kDefaultDat) + "\\log", "", "", ""}));
    EXPECT_FALSE(HasTextContaining("In use by legacy installation"));
    EXPECT_TRUE(TextsInOrder(
        {"Building a list of existing qmgrs", "No qmgrs already exist, CAN choose another data directory",
         "Nothing is installed - candidate for data/log/pgm path modifications", "Hexline is not installed",
         "---PROGRAM FOLDER---", "Pgm Folder still not defined, so set to default", "---DATA FOLDER---",
         "Data Folder still not defined, so set to default", "---LOG FOLDER---",
         "szLogFolder not yet set to useful value (4)"}));
    EXPECT_STREQ(WorkingFolders().szProgram, kDefaultPgm);
    EXPECT_STREQ(WorkingFolders().szData, kDefaultDat);
}

TEST_F(Dirs, TakenDefaultsGiveSuffixesInBothViews) {
    Installed("Inst1", kDefaultPgm);
    ASSERT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBPGMFOLDER"), std::string(kDefaultPgm) + "_1");
    EXPECT_TRUE(HasText("Other installation(s) exist, cannot move the data directory"));

    Installed("Inst2", std::string(kDefaultPgm) + "_1", true);
    ASSERT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBPGMFOLDER"), std::string(kDefaultPgm) + "_2");
}

TEST_F(Dirs, ProgramFolderPrecedence) {
    AddInstallation({.name = "Inst1",
                     .identifier = "1",
                     .vrmf = "9.3.0.0",
                     .folder = "C:\\HXOld\\",
                     .serverVersion = "9",
                     .serverRelease = "3"});
    SetProps({{"ZEBOLDINSTALLINSTANCENAME", "Inst1"},
              {"PGMFOLDER", "\"C:\\FromIni\\\""},
              {"ZEBLASTPGM", "C:\\Last"}});
    ASSERT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBPGMFOLDER"), "C:\\HXOld");
    EXPECT_EQ(Prop("ZEBPREVPGM"), "C:\\HXOld");
    EXPECT_FALSE(HasTextContaining("'PGMFOLDER'"));

    ResetPrevState();
    msi::SetProperty("ZEBOLDINSTALLINSTANCENAME", "");
    ASSERT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBPGMFOLDER"), "C:\\FromIni");

    msi::SetProperty("PGMFOLDER", "");
    ASSERT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBPGMFOLDER"), "C:\\Last");
    EXPECT_TRUE(HasText("Setting pgm recommendation from lastinstall.reg"));

    msi::SetProperty("ZEBLASTPGM", "C:\\HXOld\\bin");
    ASSERT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("Not using lastinstall.reg pgm recommendation as its busy."));
    EXPECT_EQ(Prop("ZEBPGMFOLDER"), kDefaultPgm);
}

TEST_F(Dirs, QueueManagersKeepThePreviousDataAndLogFolders) {
    Registry(hxrecord::RegFile(hxrecord::WorkPath("C:\\OldData")));
    AddOldRecord({.logDefaultPath = "C:\\OldLog"});
    AddQueueManager({.name = "QM1", .prefix = "C:\\OldData"}, QmSource::Ini, "C:\\OldData");
    msi::SetProperty("DATFOLDER", "C:\\IniData");
    ASSERT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBHAVEQMS"), "1");
    EXPECT_TRUE(HasText("Argh... we have qmgrs... better not let the data path change then!"));
    EXPECT_EQ(Props({"ZEBDATFOLDER", "ZEBPREVDAT", "ZEBLOGFOLDER", "ZEBPREVLOG"}),
              (std::vector<std::string>{"C:\\OldData", "C:\\OldData", "C:\\OldLog", "C:\\OldLog"}));
    EXPECT_TRUE(HasText("szPrevLogFolder 'C:\\OldLog' being used as log folder"));
    // The inventory's own data-folder value is never the chosen one.
    EXPECT_STREQ(WorkingFolders().szData, "C:\\OldData");
}

TEST_F(Dirs, WithoutQueueManagersThePreviousFoldersAreOnlyRecommendations) {
    Registry(hxrecord::RegFile(hxrecord::WorkPath("C:\\OldData")));
    AddOldRecord({.logDefaultPath = "C:\\OldLog"});
    ASSERT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("We didnt find queue managers so lets let data path and log path be moved"));
    EXPECT_EQ(Props({"ZEBPREVDAT", "ZEBPREVLOG", "ZEBDATFOLDER"}),
              (std::vector<std::string>{"", "", "C:\\OldData"}));
    EXPECT_TRUE(HasText("Setting dat recommendation from last install"));
    EXPECT_EQ(Prop("ZEBLOGFOLDER"), "C:\\OldLog");
    EXPECT_TRUE(HasText("szLogFolder now set to 'C:\\OldLog' (2)"));

    ResetPrevState();
    ResetDirsState();
    msi::SetProperty("DATFOLDER", "C:\\IniData");
    ASSERT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBDATFOLDER"), "C:\\IniData");
}

TEST_F(Dirs, ResponseFileFoldersAtTheirLimits) {
    const struct {
        const char* setting;
        const char* property;
        size_t limit;
    } cases[] = {{"PGMFOLDER", "ZEBPGMFOLDER", 190},
                 {"DATFOLDER", "ZEBDATFOLDER", 72},
                 {"LOGFOLDER", "ZEBLOGFOLDER", 232}};
    for (const auto& c : cases) {
        ResetDirsState();
        msi::SetProperty(c.setting, PathOfLength(c.limit));
        EXPECT_EQ(Run(), ZEB_RC_SUCCESS) << c.setting;
        EXPECT_EQ(Prop(c.property), PathOfLength(c.limit)) << c.setting;

        ResetDirsState();
        std::string tooLong = PathOfLength(c.limit + 1);
        msi::SetProperty(c.setting, tooLong);
        EXPECT_EQ(Run(), ZEB_RC_FAILURE) << c.setting;
        EXPECT_TRUE(HasText(std::string("***") + c.setting + " not valid: '" + tooLong + "'"));
        msi::SetProperty(c.setting, "");
    }
}

TEST_F(Dirs, DefaultTooLongFallsBackToTheFixedFolders) {
    SetProps({{"ProgramFiles64Folder", PathOfLength(185)}, {"CommonAppDataFolder", PathOfLength(250)}});
    ASSERT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("Final fallback for Pgm Folder"));
    EXPECT_EQ(Prop("ZEBPGMFOLDER"), "c:\\Program Files\\Corvane\\HX");
    EXPECT_TRUE(HasText("Final fallback for Data Folder"));
    EXPECT_EQ(Prop("ZEBDATFOLDER"), "c:\\ProgramData\\Corvane\\HX");
}

TEST_F(Dirs, RecommendedDataFolderOnAMissingDrive) {
    UnpackLanguageLibrary();
    msi::SetProperty("UILevel", "3");
    Registry(hxrecord::RegFile(hxrecord::WorkPath("Q:\\HXData")));
    EXPECT_EQ(Run(), ZEB_RC_FAILURE);
    ASSERT_EQ(MessageBoxes().size(), 1u);
    std::string text = TableStrings("zebircan").at(2122);
    EXPECT_EQ(MessageBoxes()[0], text.replace(text.find("%1"), 2, "Q:\\HXData"));
    for (const winsim::Event& e : winsim::Events()) {
        if (e.kind == "messagebox") {
            EXPECT_EQ(e.flags & 0xF0u, (unsigned)MB_ICONERROR);
        }
    }
    EXPECT_EQ(Prop("ZEBDATFOLDER"), "");

    msi::SetProperty("UILevel", "5");
    ResetPrevState();
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBINACCESSIBLELASTDAT"), "1");
    EXPECT_EQ(Prop("ZEBDATFOLDER"), kDefaultDat);
    EXPECT_EQ(MessageBoxes().size(), 1u);
}

TEST_F(Dirs, RecommendedLogFolderOnAMissingDrive) {
    AddOldRecord({.logDefaultPath = "R:\\HXLog"});
    msi::SetProperty("UILevel", "full"); // not a number: no interface, the box only traced
    EXPECT_EQ(Run(), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasTextContaining(
        "HXCA iwiSetDirs MB *** error: The log folder 'R:\\HXLog' recommended")); // fallback
    EXPECT_EQ(Prop("ZEBLOGFOLDER"), "");

    msi::SetProperty("UILevel", "5");
    ResetPrevState();
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBINACCESSIBLELASTLOG"), "1");
    EXPECT_EQ(Prop("ZEBLOGFOLDER"), std::string(kDefaultDat) + "\\log");
}

// The log-folder actions may have chosen the log folder before: it stays, and LOGFOLDER is not read.
TEST_F(Dirs, ALogFolderAlreadyChosenSurvives) {
    lstrcpynA(WorkingFolders().szLog, "C:\\KeptLog", ZEB_CCH_PATH);
    msi::SetProperty("LOGFOLDER", "C:\\IniLog");
    ASSERT_EQ(Run(), ZEB_RC_SUCCESS);
    ASSERT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBLOGFOLDER"), "C:\\KeptLog");
    EXPECT_FALSE(HasTextContaining("'LOGFOLDER'"));

    lstrcpynA(WorkingFolders().szLog, PathOfLength(233).c_str(), ZEB_CCH_PATH);
    msi::SetProperty("LOGFOLDER", PathOfLength(233));
    EXPECT_EQ(Run(), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***LOGFOLDER not valid: '" + PathOfLength(233) + "'"));
}

TEST_F(Dirs, FailedReadsEndWith1603) {
    msi::SetProperty("ZEBLASTPGM", PathOfLength(300));
    EXPECT_EQ(Run(), ZEB_RC_FAILURE);
    EXPECT_EQ(Prop("ZEBPGMFOLDER"), "");
}

// ---- Derived forms --------------------------------------------------------------------------------------

TEST_F(Dirs, RegistryFormsShortAndQuoted) {
    fs::MakeDirs(kDefaultPgm);
    SetProps({{"ZEBPGMFOLDER", std::string(kDefaultPgm) + "\\"},
              {"ZEBDATFOLDER", kDefaultDat},
              {"ZEBLOGFOLDER", "C:\\HXLog"}});
    ASSERT_EQ(iwiSetRegistryDirs(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Props({"ZEBPGMREGPATH", "ZEBPGMQUOTEPATH", "ZEBTOOLKITPATH", "ZEBSHORTPGMREGPATH",
                     "ZEBDATQUOTEPATH", "ZEBLOGREGPATH"}),
              (std::vector<std::string>{kDefaultPgm, kDefaultPgm,
                                        std::string(kDefaultPgm) + "\\tools\\c\\samples\\bin",
                                        "C:\\PROGRA~1\\Corvane\\HX", kDefaultDat, "C:\\HXLog"}));

    SetProps({{"Version9X", "490"}, {"ZEBPGMFOLDER", "C:\\Program Files\\Corvane\\Not Made"}});
    ASSERT_EQ(iwiSetRegistryDirs(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Props({"ZEBPGMQUOTEPATH", "ZEBTOOLKITPATH", "ZEBSHORTPGMREGPATH"}),
              (std::vector<std::string>{"\"C:\\Program Files\\Corvane\\Not Made\"",
                                        "\"C:\\Program Files\\Corvane\\Not Made\\tools\\c\\samples\\bin\"",
                                        "C:\\Program Files\\Corvane\\Not Made"}));
    EXPECT_EQ(Prop("ZEBDATQUOTEPATH"), kDefaultDat); // no blank
    EXPECT_EQ(Prop("ZEBDATREGPATH"), kDefaultDat);
}

TEST_F(Dirs, AdminDirOnlyInAnAdministrativeInstallation) {
    ASSERT_EQ(iwiSetAdminDir(h), ZEB_RC_SUCCESS);
    EXPECT_FALSE(msi::Property("TARGETDIR").has_value());

    msi::SetMode(MSIRUNMODE_ADMIN, true);
    ASSERT_EQ(iwiSetAdminDir(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("TARGETDIR"), "C:\\Program Files (x86)\\Corvane\\Admin\\HX");
    EXPECT_EQ(Prop("ZEBSERVERPATH"), "C:\\Program Files (x86)\\Corvane\\Admin\\HX");

    msi::SetProperty("SERVERFOLDER", "\"D:\\Images\\HX\\\"");
    ASSERT_EQ(iwiSetAdminDir(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("TARGETDIR"), "D:\\Images\\HX");
}

// ---- Shortcut names ---------------------------------------------------------------------------------

class DynamicPaths : public Dirs {
  protected:
    void SetUp() override {
        Dirs::SetUp();
        Tables("Shortcut\tDirectory_\tName\tComponent_\tTarget\r\n"
               "s72\ts72\tl128\ts72\ts72\r\n"
               "Shortcut\tShortcut\r\n"
               "Explorer\tProgramMenuDir\tHXEXPL~1|HX Explorer\tBase_base_Instance1\tExplorerFeature\r\n"
               "Docs\tProgramMenuDir\tDocs\tDocumentation\tDocsFeature\r\n");
        msi::SetProperty("ZEBINSTALLINSTANCENAME", "Installation2");
    }
    std::map<std::string, std::pair<std::string, bool>> Names() {
        std::map<std::string, std::pair<std::string, bool>> names;
        for (const msi::Row& row : msi::Rows("Shortcut"))
            names[row.fields[0].s] = {row.fields[2].s, row.temporary};
        return names;
    }
};

TEST_F(DynamicPaths, FirstInstanceShortcutsCarryTheInstallationName) {
    ASSERT_EQ(iwiSetupDynamicPaths(h), ZEB_RC_SUCCESS);
    auto names = Names();
    EXPECT_EQ(names["Explorer"], std::make_pair(std::string("HXEXPL~1|HX Explorer (Installation2)"), true));
    EXPECT_EQ(names["Docs"], std::make_pair(std::string("Docs"), false));
    EXPECT_TRUE(
        TextsInOrder({"Found shortcut Base_base_Instance1",
                      "Found shortcut (component Base_base_Instance1) so updating its name to HXEXPL~1|HX "
                      "Explorer (Installation2)"}));
    EXPECT_TRUE(HasText("Found shortcut Documentation"));

    // A second run in the same session leaves the name as it is.
    ASSERT_EQ(iwiSetupDynamicPaths(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Names()["Explorer"].first, "HXEXPL~1|HX Explorer (Installation2)");
    EXPECT_EQ(msi::Rows("Shortcut").size(), 2u);
}

TEST_F(DynamicPaths, DatabaseFailuresAreExtendedErrorLines) {
    winsim::FailCall("MsiViewModify", ERROR_FUNCTION_FAILED, 1);
    EXPECT_EQ(iwiSetupDynamicPaths(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***MsiViewModify(delete) failed (rc 1627); extended error: none"));

    winsim::ClearFaults();
    winsim::FailCall("MsiViewModify", ERROR_FUNCTION_FAILED, 2);
    EXPECT_EQ(iwiSetupDynamicPaths(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***MsiViewModify(insert temp) failed (rc 1627); extended error: none"));

    winsim::ClearFaults();
    winsim::FailCall("MsiRecordGetStringA", ERROR_MORE_DATA, 1);
    EXPECT_EQ(iwiSetupDynamicPaths(h), ZEB_RC_FAILURE); // the action's status, not the call's code
    EXPECT_TRUE(HasText("***MsiRecordGetString('SELECT * FROM Shortcut') failed (234)"));

    winsim::ClearFaults();
    msi::DropTable("Shortcut");
    EXPECT_EQ(iwiSetupDynamicPaths(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasTextMatching(
        R"(^\*\*\*MsiDatabaseOpenView failed \(rc 1615\); extended error: '1: 2228 .*Shortcut)"));
}

TEST_F(DynamicPaths, RefusedWhenDeferred) {
    EXPECT_EQ(RunDeferred(iwiSetupDynamicPaths, "ZEBINSTALLINSTANCENAME=Installation2;"), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***CA execute error; run mode must not be 'MSIRUNMODE_SCHEDULED'."));
    EXPECT_EQ(Names()["Explorer"].first, "HXEXPL~1|HX Explorer");
}

} // namespace
