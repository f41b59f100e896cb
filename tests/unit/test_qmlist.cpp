// The queue-manager inventory: its three sources and their order, duplicates, overlong values,
// the queue-manager stanzas of hxs.ini, and the stacked removal of queue-manager data.
#include "zebiwicnUninstall.h"
#include "zebtest.h"

namespace {

namespace fs = winsim::fs;
namespace msi = winsim::msi;

const std::string kData = "C:\\HXData";
const std::string kQmKey =
    "SOFTWARE\\Wow6432Node\\Corvane\\Hexline\\CurrentVersion\\Configuration\\QueueManager";

// Each entry as "name | data folder | log folder | installation", most recent first.
std::vector<std::string> Entries() {
    std::vector<std::string> out;
    char szName[ZEB_CCH_MSG], szData[ZEB_CCH_PATH], szLog[ZEB_CCH_PATH], szInstallation[ZEB_CCH_MSG];
    for (BOOL b = isuGetFirstQm(&szName, &szData, &szLog, &szInstallation); b;
         b = isuGetNextQm(&szName, &szData, &szLog, &szInstallation))
        out.push_back(std::string(szName) + " | " + szData + " | " + szLog + " | " + szInstallation);
    return out;
}

typedef std::vector<std::string> Strings;

class QmList : public ZebTest {};

TEST_F(QmList, IniDefaultPrefixCountsFromWhereItIsReadAndTheFirstNameWins) {
    for (const char* folder : {"C:\\Old\\qmgrs\\QM0", "C:\\HXData\\qmgrs\\QM1", "C:\\HXLog\\QM1"})
        fs::MakeDirs(folder);
    fs::WriteFile(kData + "\\hxs.ini",
                  "#comment: ignored\r\n"
                  "QueueManager:\r\n   Name=QM0\r\n   Directory=QM0\r\n\r\n"
                  "AllQueueManagers:\r\n   DefaultPrefix=C:\\HXData\r\n\r\n"
                  "QueueManager:\r\n   Name=QM1\r\n   Directory=QM1\r\n"
                  "   InstallationName=Inst1\r\n   Prefix=\r\n\r\n"
                  "QueueManager:\r\n   Name=QM1\r\n   Prefix=C:\\Other\r\n   Directory=X\r\n");
    fs::WriteFile("C:\\HXData\\qmgrs\\QM1\\QM.INI", hxrecord::QmIni("C:\\HXLog\\QM1\\"));
    AddQmDefaults({.prefix = "C:\\Old"}, QmSource::Registry);

    EXPECT_FALSE(isuBuildQmList("C:\\HXData\\")); // QM0 has no log folder
    EXPECT_EQ(Entries(), (Strings{"QM1 | C:\\HXData\\qmgrs\\QM1 | C:\\HXLog\\QM1 | Inst1",
                                  "QM0 | C:\\Old\\qmgrs\\QM0 |  | "}));
    EXPECT_STREQ(isuQmDataFolder(), "C:\\HXData");
    EXPECT_TRUE(TextsInOrder(
        {"Scanning pre-7.1 registry for queue managers (coexisting)",
         "Scanning 'C:\\HXData\\HXS.INI' for queue managers", "Creating QM entry for 'QM0'",
         "Using default prefix for 'QM0'", "***No log directory for 'QM0'", "DefaultPrefix is 'C:\\HXData'",
         "Scanning 'C:\\HXData\\qmgrs\\QM1\\QM.INI'", "Duplicate QM list entry for 'QM1' ignored",
         "Got qmgrs from HXS.INI - Ignoring possible CONFIG.REG"}));

    // Without the registry's default the first queue manager has no data folder at all: never
    // "\qmgrs\QM0", below the root of whatever drive is current.
    winsim::reg::DeleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Wow6432Node\\Corvane\\Hexline");
    msi::ClearMessages();
    EXPECT_FALSE(isuBuildQmList(kData.c_str()));
    EXPECT_EQ(Entries()[1], "QM0 |  |  | ");
    EXPECT_TRUE(HasText("***No QM directory for 'QM0'"));
    EXPECT_TRUE(HasText("No queue managers defined in registry"));
    EXPECT_EQ(isuQmCount(), 2);
}

TEST_F(QmList, ConfigRegIsReadOnlyWithoutHxsIniAndGivesTheDefaultLogFolder) {
    fs::MakeDirs("C:\\HXData\\qmgrs\\QM!A");
    fs::MakeDirs("C:\\HXLog");
    AddQmDefaults({.prefix = kData, .logPath = "C:\\HXLog\\"}, QmSource::ConfigReg);
    // Its QM.INI names another log folder: the export's queue managers never read it.
    AddQueueManager(
        {.name = "QM.A", .directory = "QM!A", .installation = "Inst1", .logPath = "C:\\HXLog\\QM!A"},
        QmSource::ConfigReg);
    AddQueueManager({.name = "QM.B", .prefix = "C:\\HX B", .installation = "Inst2"}, QmSource::ConfigReg);

    EXPECT_TRUE(isuBuildQmList(kData.c_str()));
    EXPECT_EQ(Entries(), (Strings{"QM.B | C:\\HX B\\qmgrs\\QM.B | C:\\HXLog | Inst2",
                                  "QM.A | C:\\HXData\\qmgrs\\QM!A | C:\\HXLog | Inst1"}));
    EXPECT_TRUE(
        TextsInOrder({"No .ini file 'C:\\HXData\\HXS.INI'", "No .ini file 'C:\\HXData\\config\\HXS.INI'",
                      "Scanning 'C:\\HXData\\config\\Config.reg' for queue managers",
                      "LogDefaultPath is 'C:\\HXLog'", "Using default QM log path for 'QM.A'"}));
    EXPECT_FALSE(HasTextContaining("QM.INI"));

    // An hxs.ini in the config subfolder wins, and the export is not even opened.
    AddQueueManager({.name = "QM2", .prefix = kData}, QmSource::Ini, kData + "\\config");
    msi::ClearMessages();
    EXPECT_FALSE(isuBuildQmList(kData.c_str())); // QM2 has no log folder
    EXPECT_EQ(Entries(), (Strings{"QM2 | C:\\HXData\\qmgrs\\QM2 |  | "}));
    EXPECT_TRUE(HasText("Scanning 'C:\\HXData\\config\\HXS.INI' for queue managers"));
    EXPECT_FALSE(HasTextContaining("Config.reg"));
}

TEST_F(QmList, OldRegistryDefinitionsComeFirstAndWin) {
    AddQmDefaults({.prefix = "C:\\Old"}, QmSource::Registry);
    AddQueueManager(
        {.name = "QMR1", .prefix = "C:\\Old", .installation = "Inst0", .logPath = "C:\\OldLog\\QMR1"},
        QmSource::Registry);
    AddQueueManager({.name = "QMR2", .directory = "QMR2", .dataPath = "C:\\Old\\qmgrs\\QMR2"},
                    QmSource::Registry);
    fs::WriteFile("C:\\Old\\qmgrs\\QMR2\\QM.INI", hxrecord::QmIni("C:\\OldLog\\FromQmIni"));
    fs::MakeDirs("C:\\OldLog\\FromQmIni");
    // A later registry key of the same name overwrites; the file's definition is ignored.
    AddQueueManager({.name = "QMR2", .prefix = "C:\\Old", .directory = "QMR2", .key = "ZDup"},
                    QmSource::Registry);
    AddQueueManager({.name = "QMR1", .prefix = kData, .installation = "Inst1"}, QmSource::Ini);

    EXPECT_FALSE(isuBuildQmList(kData.c_str())); // the overwriting QMR2 has no log folder
    EXPECT_EQ(Entries(), (Strings{"QMR2 | C:\\Old\\qmgrs\\QMR2 |  | ",
                                  "QMR1 | C:\\Old\\qmgrs\\QMR1 | C:\\OldLog\\QMR1 | Inst0"}));
    EXPECT_TRUE(TextsInOrder(
        {"Reading LogPath from registry '" + std::string("SOFTWARE\\Corvane\\Hexline\\CurrentVersion") +
             "\\Configuration\\QueueManager\\QMR1\\Log'",
         "LogPath = 'C:\\OldLog\\QMR1'", "Reading LogPath from file 'C:\\Old\\qmgrs\\QMR2\\QM.INI'",
         "LogPath = 'C:\\OldLog\\FromQmIni'", "Overwriting duplicate QM list entry for 'QMR2'",
         "Duplicate QM list entry for 'QMR1' ignored"}));

    // The registry key that cannot be read: denied is no failure, any other error is.
    winsim::reg::DenyAccess(HKEY_LOCAL_MACHINE, kQmKey, true);
    msi::ClearMessages();
    EXPECT_FALSE(isuBuildQmList(kData.c_str()));
    EXPECT_TRUE(HasTextContaining("access denied"));
    EXPECT_EQ(Entries(), (Strings{"QMR1 | C:\\HXData\\qmgrs\\QMR1 |  | Inst1"}));
    winsim::reg::DenyAccess(HKEY_LOCAL_MACHINE, kQmKey, false);
    winsim::FailCall("RegEnumKeyExA", ERROR_INVALID_HANDLE, 2);
    msi::ClearMessages();
    EXPECT_FALSE(isuBuildQmList(kData.c_str()));
    EXPECT_TRUE(HasTextMatching(R"(^\*\*\*Can't enumerate key: '.*\\QueueManager' 6, index 1$)"));
}

TEST_F(QmList, OverlongValuesNeverNameAnotherQueueManagerOrFolder) {
    const std::string longPrefix = "C:\\" + std::string(250, 'p');
    fs::MakeDirs("C:\\HXData\\qmgrs\\QM1");
    fs::WriteFile(kData + "\\hxs.ini",
                  "QueueManager:\r\n   Name=QM1\r\n   Prefix=C:\\HXData\r\n   Directory=QM1\r\n"
                  "   InstallationName=Installation12345\r\n" // one more than an installation name has
                  "   Directory=" +
                      std::string(520, 'd') +
                      "Name=Forged\r\n" // the rest of a long line is no line
                      "QueueManager:\r\n   Name=QM2\r\n   Prefix=" +
                      longPrefix + "\r\n   Directory=QM2\r\n");
    AddQueueManager({.name = std::string(600, 'n'), .directory = "QM9", .key = "Long"}, QmSource::Registry);

    EXPECT_FALSE(isuBuildQmList(kData.c_str()));
    // The long directory value was cut at the line's 515 characters: QM1's data folder is too long.
    EXPECT_EQ(Entries(), (Strings{"QM2 |  |  | ", "QM1 |  |  | Installation12345"}));
    EXPECT_TRUE(HasText("***Can't find QM directory '" + longPrefix + "\\qmgrs\\QM2' for 'QM2'"));
    EXPECT_TRUE(HasTextMatching(R"(^\*\*\*Value 'Name' of key '.*' is too long$)"));
    EXPECT_FALSE(HasTextContaining("Forged"));
}

TEST_F(QmList, LogFolderOfQmIniComesFromItsLogStanzaOnly) {
    char szLog[ZEB_CCH_MSG];
    fs::WriteFile("C:\\Q\\QM.INI",
                  "Channels:\r\n   LogPath=C:\\Wrong\r\nlog:\r\n   LogPath=\r\n   LogPath= C:\\Right\\ \r\n"
                  "Log:\r\n   LogPath=C:\\Later\r\n");
    EXPECT_TRUE(isuGetLogDirFromIni("C:\\Q\\QM.INI", szLog));
    EXPECT_STREQ(szLog, "C:\\Right");
    fs::WriteFile("C:\\Q\\QM.INI", "Log:\r\n   LogPrimaryFiles=3\r\n");
    EXPECT_TRUE(isuGetLogDirFromIni("C:\\Q\\QM.INI", szLog));
    EXPECT_STREQ(szLog, "");
    EXPECT_TRUE(HasText("No logpath found"));
    EXPECT_FALSE(isuGetLogDirFromIni("C:\\Q\\NONE.INI", szLog));
    EXPECT_TRUE(HasText("***Can't find 'C:\\Q\\NONE.INI'"));
    winsim::FailCall("fopen", ERROR_SHARING_VIOLATION, 0, "QM.INI");
    EXPECT_FALSE(isuGetLogDirFromIni("C:\\Q\\QM.INI", szLog));
    EXPECT_TRUE(HasText("***Can't open 'C:\\Q\\QM.INI'"));
}

// ---- hxs.ini -----------------------------------------------------------------------------------

const std::string kLongLine = "   Comment=" + std::string(700, 'c') + "\r\n";
const std::string kIni = "#Product configuration\r\n"
                         "AllQueueManagers:\r\n   DefaultPrefix=C:\\HXData\r\n\r\n"
                         "QueueManager:\r\n   Name=QM1\r\n# QM1's own comment\r\n   Directory=QM1\r\n\r\n"
                         "LogDefaults:\r\n\tLogDefaultPath=C:\\HXLog\r\n" +
                         kLongLine +
                         "  QueueManager: ; second\r\n   Name=QM2\r\n"
                         "QueueManager :\r\n   Name=Kept\r\n"
                         "QueueManager:\r\n   Name=QM3"; // no line end at the end
const std::string kIniWithoutQms = "#Product configuration\r\n"
                                   "AllQueueManagers:\r\n   DefaultPrefix=C:\\HXData\r\n\r\n"
                                   "LogDefaults:\r\n\tLogDefaultPath=C:\\HXLog\r\n" +
                                   kLongLine + "QueueManager :\r\n   Name=Kept\r\n";

class HxsIni : public ZebTest {
  protected:
    void SetUp() override {
        ZebTest::SetUp();
        msi::SetProperty("ZEBTEMP", "C:\\Temp");
        fs::WriteFile(kData + "\\hxs.ini", kIni);
    }
};

TEST_F(HxsIni, QueueManagerStanzasLeaveWithTheirCommentsOtherBytesStay) {
    fs::WriteFile("C:\\Temp\\hxs.ini_backup", "an older backup");
    EXPECT_TRUE(RemoveQMgrsFromIni(kData.c_str()));
    EXPECT_EQ(File(kData + "\\hxs.ini"), kIniWithoutQms);
    EXPECT_EQ(File("C:\\Temp\\hxs.ini_backup"), kIni);
    EXPECT_EQ(File("C:\\Temp\\hxs.ini"), "<absent>");
    EXPECT_TRUE(TextsInOrder({"Opened C:\\HXData\\hxs.ini", "Opened C:\\Temp\\hxs.ini",
                              "Found stanza key AllQueueManagers", "Found stanza key QueueManager",
                              "Found stanza key QueueManager ",
                              "Replacing C:\\HXData\\hxs.ini with C:\\Temp\\hxs.ini"}));
}

TEST_F(HxsIni, AnIncompleteCopyOrNoTemporaryFolderChangesNothing) {
    winsim::FailCall("fwrite", ERROR_DISK_FULL, 0, "C:\\Temp\\hxs.ini");
    EXPECT_FALSE(RemoveQMgrsFromIni(kData.c_str()));
    EXPECT_TRUE(HasText("***Can't write 'C:\\Temp\\hxs.ini'"));
    EXPECT_TRUE(HasText("***'C:\\HXData\\hxs.ini' stays unchanged"));
    EXPECT_EQ(File(kData + "\\hxs.ini"), kIni);
    EXPECT_EQ(File("C:\\Temp\\hxs.ini"), "<absent>");
    EXPECT_FALSE(HasTextContaining("Replacing"));

    winsim::ClearFaults();
    winsim::FailCall("CopyFileA", ERROR_ACCESS_DENIED, 1, "C:\\HXData\\hxs.ini");
    EXPECT_FALSE(RemoveQMgrsFromIni(kData.c_str()));
    EXPECT_TRUE(HasText(
        "***Can't back up 'C:\\HXData\\hxs.ini' to 'C:\\Temp\\hxs.ini_backup' (5); it stays unchanged"));
    EXPECT_EQ(File(kData + "\\hxs.ini"), kIni);

    // The replacing copy fails: the backup is put back.
    winsim::ClearFaults();
    winsim::FailCall("CopyFileA", ERROR_SHARING_VIOLATION, 1, "C:\\Temp\\hxs.ini");
    EXPECT_FALSE(RemoveQMgrsFromIni(kData.c_str()));
    EXPECT_TRUE(
        HasText("***Can't replace 'C:\\HXData\\hxs.ini' (32); restoring it from 'C:\\Temp\\hxs.ini_backup'"));
    EXPECT_EQ(File(kData + "\\hxs.ini"), kIni);
    EXPECT_EQ(File("C:\\Temp\\hxs.ini"), "<absent>");

    // Without ZEBTEMP the copy would go to the drive's root.
    winsim::ClearFaults();
    Reload();
    msi::SetProperty("ZEBTEMP", "");
    EXPECT_FALSE(RemoveQMgrsFromIni(kData.c_str()));
    EXPECT_TRUE(HasText("***No temporary folder for the copy of 'C:\\HXData\\hxs.ini'; it stays unchanged"));
    EXPECT_EQ(File(kData + "\\hxs.ini"), kIni);
    EXPECT_EQ(File("C:\\hxs.ini"), "<absent>");
    EXPECT_EQ(File("C:\\hxs.ini_backup"), "<absent>");

    // No file is nothing to do.
    msi::SetProperty("ZEBTEMP", "C:\\Temp");
    EXPECT_TRUE(RemoveQMgrsFromIni("C:\\Nowhere"));
    EXPECT_TRUE(HasText("Unable to open C:\\Nowhere\\hxs.ini"));
}

// ---- Removal of queue-manager data ---------------------------------------------------------------

const char kComponent[] = "_base_Instance1.37CF6887_5575_4370_9A34_F127CACF7D9A";

class QmData : public ZebTest {
  protected:
    void SetUp() override {
        ZebTest::SetUp();
        msi::DefineStandardTable("RemoveFile");
        SetProps({{"ZEBPREVDAT", "C:\\HXData\\"},
                  {"ZEBINSTALLINSTANCENAME", "Inst1"},
                  {"ZEBLEAVEQMDATAREMOVE", "Delete"}});
        AddInstallation({.name = "Inst1", .identifier = "1", .components = {"Server"}});
        AddQueueManager(
            {.name = "QM1", .prefix = kData, .installation = "Inst1", .logPath = "C:\\HXLog\\QM1"},
            QmSource::Ini);
        fs::WriteFile("C:\\HXData\\qmgrs\\QM1\\queues\\q1", "m");
        // Of another installation, and without a log folder.
        AddQueueManager({.name = "QM2", .prefix = kData, .installation = "Inst9"}, QmSource::Ini);
    }

    // RemoveFile rows as "folder | file name | component | mode", the folder taken from the row's
    // path property.
    static std::vector<std::string> Rows() {
        std::vector<std::string> out;
        for (const msi::Row& row : msi::Rows("RemoveFile"))
            out.push_back(msi::Property(row.fields[3].s).value_or("?") + " | " + row.fields[2].s + " | " +
                          row.fields[1].s + " | " + std::to_string(row.fields[4].i));
        return out;
    }
};

TEST_F(QmData, DeleteStacksEveryDataAndLogFolderAndNeverAnEmptyOne) {
    EXPECT_EQ(iwiStackDeleteQMgrs(h), ZEB_RC_SUCCESS);
    const std::string c = std::string(" | ") + kComponent + " | 2";
    EXPECT_EQ(Rows(), (Strings{
                          "C:\\HXData\\qmgrs\\QM2 | *" + c,
                          "C:\\HXData\\qmgrs\\QM2 | " + c,
                          "C:\\HXData\\qmgrs\\QM1 | *" + c,
                          "C:\\HXData\\qmgrs\\QM1\\queues | *" + c,
                          "C:\\HXData\\qmgrs\\QM1\\queues | " + c,
                          "C:\\HXData\\qmgrs\\QM1 | " + c,
                          "C:\\HXLog\\QM1 | *" + c,
                          "C:\\HXLog\\QM1 | " + c,
                      }));
    EXPECT_TRUE(TextsInOrder(
        {"No other server installs exist, so it's fine!", "Deleting all queue manager registry entries",
         "Deleting all queue manager files",
         "Stacking folder/files for deletion: 'C:\\HXData\\qmgrs\\QM2\\*'",
         "***Queue manager 'QM2' has no log folder to stack",
         "Stacking folder/files for deletion: 'C:\\HXData\\qmgrs\\QM1\\*'", "Returning with rc 0"}));
    EXPECT_EQ(isuQmCount(), 0); // released by the action
}

TEST_F(QmData, ARootOrRelativeFolderIsNeverStacked) {
    fs::WriteFile(kData + "\\hxs.ini",
                  "QueueManager:\r\n   Name=QM3\r\n   Prefix=C:\\HXData\r\n   Directory=QM3\r\n");
    fs::WriteFile("C:\\HXData\\qmgrs\\QM3\\QM.INI", hxrecord::QmIni("C:\\"));
    fs::MakeDirs("C:\\HXData\\qmgrs\\QM4");
    fs::AppendFile(kData + "\\hxs.ini",
                   "QueueManager:\r\n   Name=QM4\r\n   Prefix=HXData\r\n   Directory=QM4\r\n");
    // Without its own directory name the folder would be every queue manager's "qmgrs", or the
    // data folder above it.
    fs::AppendFile(kData + "\\hxs.ini",
                   "QueueManager:\r\n   Name=QM5\r\n   Prefix=C:\\HXData\r\n"
                   "QueueManager:\r\n   Name=QM6\r\n   Prefix=C:\\HXData\r\n   Directory=\\\r\n"
                   "QueueManager:\r\n   Name=QM7\r\n   Prefix=C:\\HXData\r\n   Directory=..\r\n");
    EXPECT_EQ(iwiStackDeleteQMgrs(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("***Invalid path: 'C:\\*'"));
    EXPECT_TRUE(HasText("***Invalid path: 'HXData\\qmgrs\\QM4\\*'"));
    EXPECT_TRUE(HasText("***Queue manager 'QM5' has no data folder to stack"));
    EXPECT_TRUE(HasText("***Directory '..' of 'QM7' names no folder of its own"));
    for (const char* qm : {"QM6", "QM7"})
        EXPECT_TRUE(HasText(std::string("***Queue manager '") + qm + "' has no data folder to stack"));
    EXPECT_EQ(Rows(), (Strings{"C:\\HXData\\qmgrs\\QM3 | * | " + std::string(kComponent) + " | 2",
                               "C:\\HXData\\qmgrs\\QM3 |  | " + std::string(kComponent) + " | 2"}));
}

TEST_F(QmData, AClientOnlyInstallationDoesNotKeepTheData) {
    AddInstallation({.name = "Inst2", .identifier = "2", .view32 = true, .components = {"Client"}});
    EXPECT_EQ(iwiStackDeleteQMgrs(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(msi::Property("ZEBLEAVEQMDATAREMOVE"), "Delete");
    EXPECT_EQ(Rows().size(), 8u);
}

TEST_F(QmData, AnotherServerInstallationKeepsTheData) {
    AddInstallation({.name = "Inst3", .identifier = "3", .components = {"Server"}});
    msi::SetProperty("ZEBLEAVEQMDATAINSTALL", "DELETE");
    EXPECT_EQ(iwiStackDeleteQMgrs(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(msi::Property("ZEBLEAVEQMDATAINSTALL"), "keep");
    EXPECT_EQ(msi::Property("ZEBLEAVEQMDATAREMOVE"), "keep");
    EXPECT_TRUE(Rows().empty());
    EXPECT_TRUE(TextsInOrder({"User requesting qmgr data removal, but only valid for final uninstall.",
                              "Cannot delete qmgr data as other server installs exist",
                              "Deleting all queue manager registry entries"}));
    EXPECT_FALSE(HasText("Deleting all queue manager files"));
}

TEST_F(QmData, NoDeleteNoRowsAndANestedFailureFailsTheCaller) {
    msi::SetProperty("ZEBLEAVEQMDATAREMOVE", "keep");
    EXPECT_EQ(iwiStackDeleteQMgrs(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("Not attempting to remove the Qmgr data, so nothing to do."));
    EXPECT_TRUE(Rows().empty());

    msi::SetProperty("ZEBLEAVEQMDATAREMOVE", "delete");
    AddInstallation({.name = "Inst3", .identifier = "3", .components = {"Server"}});
    winsim::FailCall("MsiSetPropertyA", ERROR_FUNCTION_FAILED, 0, "ZEBLEAVEQMDATA");
    msi::SetProperty("UILevel", "5");
    Reload();
    msi::ClearMessages();
    EXPECT_EQ(iwiStackDeleteQMgrs(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***msiSetProperty('ZEBLEAVEQMDATAINSTALL') value('keep') failed (1627)"));
    EXPECT_FALSE(HasTextContaining("Deleting all queue manager"));
    EXPECT_EQ(MessageBoxes().size(), 1u); // the outer action's alone

    winsim::ClearFaults();
    msi::ClearMessages();
    Reload();
    EXPECT_EQ(RunDeferred(iwiStackDeleteQMgrs, "ZEBLEAVEQMDATAREMOVE=delete;"), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasTextContaining("***CA execute error; run mode must not be"));
    EXPECT_TRUE(Rows().empty());
}

} // namespace
