// Clean-up lists and the stacking actions: uninstall lists with language expansion, maintenance
// control files, registry trees, the kept configuration files and LastInstall.reg.
#include "zebiwicnCleanUp.h"
#include "zebiwicnDelete.h"
#include "zebtest.h"

#include <algorithm>
#include <shlobj.h>

namespace {

namespace fs = winsim::fs;
namespace msi = winsim::msi;
namespace reg = winsim::reg;

const char kComp[] = "Base_base_Instance1";
const char kList[] = "C:\\HX\\uninst\\lastinstall.u03";
// The language folders in the order they are removed: names descending.
const std::vector<std::string> kCodesDescending = {"zh_tw", "zh_cn", "ru_ru", "pt_br", "pl_pl",
                                                   "ko_kr", "ja_jp", "it_it", "hu_hu", "fr_fr",
                                                   "es_es", "en_us", "de_de", "cs_cz"};

class CleanUp : public ZebTest {
  protected:
    void SetUp() override {
        ZebTest::SetUp();
        for (const char* table : {"RemoveFile", "RemoveRegistry", "Registry"})
            msi::DefineStandardTable(table);
    }

    static BOOL List(BOOL bAct, BOOL bNow, int kind, const std::string& text, int* ticks = nullptr,
                     const char* name = nullptr) {
        fs::WriteFile(kList, text);
        return DeleteFileList(bAct, bNow, ticks, kind, "lastinstall.u03", kList, "C:\\HX", "C:\\HXData",
                              kComp, 2, name);
    }

    // The texts of the rows' stacking lines of one kind, in order.
    static std::vector<std::string> Stacked(const std::string& prefix) {
        std::vector<std::string> out;
        for (const std::string& text : Texts())
            if (text.rfind(prefix, 0) == 0)
                out.push_back(text.substr(prefix.size(), text.size() - prefix.size() - 1));
        return out;
    }
};

TEST_F(CleanUp, LanguageLinesStackFourteenFilesThenTheirFoldersDeepestFirst) {
    for (const std::string& code : kCodesDescending)
        fs::WriteFile("C:\\HX\\bin\\" + code + "\\x.txt", "x");
    fs::WriteFile("C:\\HX\\doc\\Setupde\\g0007.txt", "x");
    fs::WriteFile("C:\\Other\\y.txt", "y");
    // A line leading out through ".." names a file the list must not reach: refused, the rest goes on.
    EXPECT_FALSE(List(TRUE, FALSE, ZEB_LIST_UNINSTALL,
                      "; comment\r\n#another\nnofolder.txt\nPGM\\bin\\-LANG1-\\x.txt\r\n"
                      "dat\\..\\..\\Other\\y.txt\npgm\\doc\\-lang6-\\-lang3--lang4-.txt\n"));
    EXPECT_TRUE(HasText("***Relative part in path: 'C:\\HXData\\..\\..\\Other\\y.txt'"));

    std::vector<std::string> files = Stacked("Stacking file(s) for deletion: '");
    ASSERT_EQ(files.size(), 15u);
    EXPECT_EQ(files[0], "c:\\hx\\bin\\en_us\\x.txt"); // expanded paths are lower-cased
    EXPECT_EQ(files[14], "c:\\hx\\doc\\Setupde\\g0007.txt");
    // Every folder a line names is removed when empty, listed or not; zh_cn and zh_tw share one.
    std::vector<std::string> expected;
    for (const std::string& code : kCodesDescending)
        if (code != "zh_cn")
            expected.push_back("c:\\hx\\doc\\setup" + code.substr(0, 2) + "\\");
    expected.push_back("c:\\hx\\doc\\");
    for (const std::string& code : kCodesDescending)
        expected.push_back("c:\\hx\\bin\\" + code + "\\");
    expected.push_back("c:\\hx\\bin\\");
    // Neither the program folder itself nor anything reached through ".." is removed.
    std::vector<std::string> folders = Stacked("Stacking folder for deletion: '");
    std::transform(folders.begin(), folders.end(), folders.begin(), [](std::string s) {
        std::transform(s.begin(), s.end(), s.begin(), ::tolower);
        return s;
    });
    EXPECT_EQ(folders, expected);
    EXPECT_EQ(TempRows("RemoveFile").size(), 15u + 29u);
    EXPECT_TRUE(TextsInOrder({"Stacking files in '" + std::string(kList) + "' for deletion (lastinstall.u03)",
                              "Finished processing '" + std::string(kList) + "'"}));
}

TEST_F(CleanUp, ListModesCountDeleteAndNothing) {
    fs::WriteFile("C:\\HX\\bin\\a.txt", "a");
    fs::WriteFile("C:\\HX\\bin\\keep.txt", "k");
    int ticks = 50;
    EXPECT_TRUE(List(TRUE, TRUE, ZEB_LIST_UNINSTALL, "pgm\\bin\\a.txt\n", &ticks));
    EXPECT_EQ(ticks, 50 + 2 * ZEB_DELETE_TICKS); // the file and its folder
    EXPECT_TRUE(HasText("Ticks count is now 200050"));
    EXPECT_TRUE(TempRows("RemoveFile").empty());

    EXPECT_TRUE(List(FALSE, TRUE, ZEB_LIST_UNINSTALL, "pgm\\bin\\a.txt\n"));
    EXPECT_EQ(File("C:\\HX\\bin\\a.txt"), "<absent>");
    EXPECT_TRUE(TextsInOrder({"Deleting files in '" + std::string(kList) + "' (lastinstall.u03)",
                              "Deleted file: 'C:\\HX\\bin\\a.txt'"}));
    EXPECT_TRUE(fs::Exists("C:\\HX\\bin")); // not empty: left

    size_t before = Texts().size();
    EXPECT_TRUE(List(FALSE, FALSE, ZEB_LIST_UNINSTALL, "pgm\\bin\\keep.txt\n"));
    EXPECT_EQ(Texts().size(), before);
    EXPECT_EQ(File("C:\\HX\\bin\\keep.txt"), "k");

    EXPECT_FALSE(DeleteFileList(TRUE, FALSE, nullptr, 0, "x", "C:\\none.u03", "C:\\HX", "C:\\HXData", kComp,
                                2, nullptr));
    EXPECT_TRUE(HasText("***Can't open 'C:\\none.u03'"));
}

TEST_F(CleanUp, LongExpansionsAndLinesAreRefusedNeverCut) {
    // 27 characters for pt_br's text: that one no longer fits, the shorter ones do.
    std::string deep = std::string(215, 'd');
    std::string program = "C:\\" + deep;
    for (const char* code : {"en_us", "pt_br"})
        fs::WriteFile(program + "\\" + code + "\\x.txt", "x");
    fs::WriteFile(kList, "pgm\\-lang1-\\" + std::string(10, 'n') + "-lang2-.txt\n" + std::string(300, 'L') +
                             "\npgm\\-lang1-\\x.txt\n");
    EXPECT_FALSE(DeleteFileList(TRUE, FALSE, nullptr, 0, "u03", kList, program.c_str(), "C:\\HXData", kComp,
                                2, nullptr));
    EXPECT_TRUE(HasTextContaining("***Path too long: '"));
    EXPECT_TRUE(HasTextContaining("' for 'pt_br'"));
    EXPECT_TRUE(HasTextContaining("***Line too long in '"));
    // The line after the long one is read as itself.
    std::vector<std::string> files = Stacked("Stacking file(s) for deletion: '");
    EXPECT_EQ(files.size(), 2u);
    for (const std::string& file : files)
        EXPECT_LT(file.size(), 260u);

    // 259 characters are a whole line.
    fs::WriteFile(kList, "#" + std::string(258, 'c') + "\r\n#" + std::string(258, 'c'));
    EXPECT_TRUE(
        DeleteFileList(TRUE, FALSE, nullptr, 0, "u03", kList, "C:\\HX", "C:\\HXData", kComp, 2, nullptr));
}

TEST_F(CleanUp, ControlFileTakesFileLinesWithTheirRootsAndInstallationName) {
    for (const char* path :
         {"C:\\HX\\Installation2\\bin\\one.dll", "C:\\HXData\\svc.exe", "C:\\Windows\\sys\\w.dll",
          "C:\\HX\\other\\o.dll", "C:\\HX\\top.dll", "C:\\HX\\skip.dll"})
        fs::WriteFile(path, "x");
    EXPECT_TRUE(List(TRUE, FALSE, ZEB_LIST_CSD,
                     "file;a;b;c;d;e;pgm\\+INSTALLATIONNAME+\\bin\\one.dll;z\n"
                     " FileService ;a;b;c;d;e; dat\\svc.exe \n"
                     "file;a;b;c;d;e;win\\sys\\w.dll\n"
                     "file;a;b;c;d;e;other\\o.dll\n"
                     "file;a;b;c;d;e;top.dll\n"
                     "registry;a;b;c;d;e;pgm\\skip.dll\n",
                     nullptr, "Installation2"));
    EXPECT_EQ(
        Stacked("Stacking file(s) for deletion: '"),
        (std::vector<std::string>{"C:\\HX\\Installation2\\bin\\one.dll", "C:\\HXData\\svc.exe",
                                  "C:\\Windows\\sys\\w.dll", "C:\\HX\\other\\o.dll", "C:\\HX\\top.dll"}));
    EXPECT_TRUE(
        TextsInOrder({"Stacking CSD files in '" + std::string(kList) + "' for deletion (lastinstall.u03)",
                      "Substitute installation name into destination 'pgm\\+INSTALLATIONNAME+\\bin'",
                      "Destination string replaced with 'pgm\\Installation2\\bin'"}));
    // Folders outside the program and data folders (the Windows folder's) are kept.
    EXPECT_EQ(Stacked("Stacking folder for deletion: '"),
              (std::vector<std::string>{"C:\\HX\\other\\", "C:\\HX\\Installation2\\bin\\",
                                        "C:\\HX\\Installation2\\"}));
}

TEST_F(CleanUp, RegistryTreeNowTakesEverySiblingAndKeepsTheParentOfAKeptKey) {
    for (const char* sub : {"A", "B\\Deep", "C", "D", "E"})
        reg::CreateKey(HKEY_LOCAL_MACHINE, std::string("SOFTWARE\\T\\") + sub);
    EXPECT_TRUE(DeleteRegistryTree(FALSE, TRUE, nullptr, "SOFTWARE\\T", nullptr, TRUE, kComp, 2));
    EXPECT_FALSE(reg::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\T"));
    EXPECT_TRUE(TextsInOrder({"Deleted key 'SOFTWARE\\T\\A'", "Deleted key 'SOFTWARE\\T\\B\\Deep'",
                              "Deleted key 'SOFTWARE\\T\\E'", "Deleted key 'SOFTWARE\\T'"}));

    for (const char* sub : {"A", "Keep", "B\\Keep", "C\\X"})
        reg::CreateKey(HKEY_LOCAL_MACHINE, std::string("SOFTWARE\\U\\") + sub);
    // Stacked: a Registry row per key, subkeys first; counted: 100000 ticks each.
    EXPECT_TRUE(DeleteRegistryTree(TRUE, FALSE, nullptr, "SOFTWARE\\U\\C", nullptr, TRUE, kComp, 2));
    const std::string comp = kComp;
    EXPECT_EQ(TempRows("Registry"),
              (std::vector<std::string>{"ZEBRECORD0 | 2 | SOFTWARE\\U\\C\\X | - |  | " + comp,
                                        "ZEBRECORD1 | 2 | SOFTWARE\\U\\C | - |  | " + comp}));
    int ticks = 0;
    EXPECT_TRUE(DeleteRegistryTree(TRUE, TRUE, &ticks, "SOFTWARE\\U", "Keep", TRUE, kComp, 2));
    EXPECT_EQ(ticks, 3 * ZEB_DELETE_TICKS); // A, C\X and C

    EXPECT_TRUE(DeleteRegistryTree(FALSE, TRUE, nullptr, "SOFTWARE\\U", "keep", TRUE, kComp, 2));
    EXPECT_EQ(reg::SubKeys(HKEY_LOCAL_MACHINE, "SOFTWARE\\U"), (std::vector<std::string>{"B", "Keep"}));
    EXPECT_TRUE(reg::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\U\\B\\Keep"));
    EXPECT_TRUE(HasText("Not deleting key 'SOFTWARE\\U\\B'; it has subkeys"));
    EXPECT_TRUE(HasText("Not deleting key 'SOFTWARE\\U'; it has subkeys"));

    reg::DenyAccess(HKEY_LOCAL_MACHINE, "SOFTWARE\\U\\B", true);
    EXPECT_FALSE(DeleteRegistryTree(FALSE, TRUE, nullptr, "SOFTWARE\\U\\B", nullptr, TRUE, kComp, 2));
    EXPECT_TRUE(HasTextContaining("***Can't enumerate key: 'SOFTWARE\\U\\B' 5"));
}

TEST_F(CleanUp, CsdsStackLevelsBackupsAndTheirKey) {
    SetProps({{"ZEBINSTALLINSTANCENAME", "Installation1"},
              {"ZEBPGMFOLDER", "C:\\HX"},
              {"ZEBDATFOLDER", "C:\\HXData"}});
    EXPECT_TRUE(DeleteCsds(FALSE, FALSE, "C:\\HX", kComp, 2));
    EXPECT_TRUE(HasText("Returning, nothing to do"));
    EXPECT_TRUE(DeleteCsds(TRUE, FALSE, "C:\\HX", kComp, 2)); // no key: only traced
    EXPECT_TRUE(HasTextContaining("***Open key error 2 (ERROR_FILE_NOT_FOUND) '"));
    EXPECT_TRUE(TempRows("Registry").empty());

    AddInstallation({.name = "Installation1",
                     .identifier = "1",
                     .folder = "C:\\HX",
                     .shipped = "1.0",
                     .maintenance = {{"1.2", "C:\\HX\\maint\\1.2"}}});
    fs::WriteFile("C:\\HX\\maint\\1.2\\backup.csd", "file;a;b;c;d;e;pgm\\bin\\fix.dll\n");
    for (const char* path : {"C:\\HX\\bin\\fix.dll", "C:\\HX\\BackUp\\u2001\\f.txt",
                             "C:\\HX\\BackUp\\other\\g.txt", "C:\\HX\\bin64\\deinst.exe"})
        fs::WriteFile(path, "x");
    EXPECT_TRUE(DeleteCsds(TRUE, FALSE, "C:\\HX", kComp, 2));
    std::vector<std::string> files = Stacked("Stacking file(s) for deletion: '");
    for (const char* path : {"C:\\HX\\bin\\fix.dll", "C:\\HX\\maint\\1.2\\backup.csd",
                             "C:\\HX\\BackUp\\u2001\\f.txt", "C:\\HX\\bin64\\deinst.exe"})
        EXPECT_NE(std::find(files.begin(), files.end(), path), files.end()) << path;
    EXPECT_EQ(std::find(files.begin(), files.end(), "C:\\HX\\BackUp\\other\\g.txt"), files.end());
    EXPECT_TRUE(
        TextsInOrder({"Stacking all CSD info for deletion", "Shipped CSD level is '1.0'",
                      "Processing 'Maint_1.2'", "Rollback directory is 'C:\\HX\\maint\\1.2'",
                      "Stacking CSD files in 'C:\\HX\\maint\\1.2\\backup.csd' for deletion (backup.csd)"}));
    // The key after the files, once: the 32-bit view has none.
    std::vector<std::string> keys = TempRows("Registry");
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_NE(
        keys[0].find(
            " | 2 | SOFTWARE\\Corvane\\Skyloft HX\\Installation\\Installation1\\Maintenance Applied | - |"),
        std::string::npos);
}

TEST_F(CleanUp, DeleteCsdsActionStacksBothFoldersAndTheShortcutWithReducedLogging) {
    SetProps({{"ZEBINSTALLINSTANCENAME", "Installation1"},
              {"ZEBPGMFOLDER", "C:\\HX\\"},
              {"ZEBDATFOLDER", "C:\\HXData"},
              {"ZEBSTARTFOLDER", "HX Installation1"}});
    AddInstallation({.name = "Installation1",
                     .identifier = "1",
                     .folder = "C:\\HX",
                     .maintenance = {{"1.2", "C:\\HX\\maint\\1.2"}}});
    fs::WriteFile("C:\\HXData\\BackUp\\u2001\\f.txt", "x");
    const std::string sub = fs::SpecialFolder(CSIDL_COMMON_PROGRAMS) + "\\HX Installation1";
    fs::WriteShortcut(sub + "\\Remove Latest Service.lnk", "C:\\HX\\bin64\\zebilaunchelevated.exe");
    EXPECT_EQ(iwiStackDeleteCsds(h), ZEB_RC_SUCCESS);
    EXPECT_FALSE(IsReducedLogging());
    EXPECT_TRUE(TextsInOrder({"Delete CSD stuff in pgm directory", "Delete CSD stuff in data directory",
                              "Delete 'Remove Latest Service' shortcut"}));
    EXPECT_FALSE(HasTextContaining("Stacking file(s) for deletion"));
    EXPECT_TRUE(HasTextMatching("^Reduced logging - Number of files processed = [1-9]"));
    std::vector<std::string> rows = TempRows("RemoveFile");
    EXPECT_TRUE(std::any_of(rows.begin(), rows.end(), [](const std::string& row) {
        return row.find(" | Remove Latest Service.lnk | ") != std::string::npos;
    }));

    // A key that cannot be read fails the first folder: the rest is not tried.
    winsim::FailCall("RegOpenKeyExA", ERROR_INVALID_HANDLE, 1);
    EXPECT_EQ(iwiStackDeleteCsds(h), ZEB_RC_FAILURE);
    EXPECT_EQ(Texts().back(), "Returning with rc 1603");
    EXPECT_TRUE(HasTextContaining("***Open key error 6 '"));
}

TEST_F(CleanUp, CopyDataFileStacksTheOriginalOnlyAfterAGoodCopy) {
    fs::WriteFile("C:\\HXData\\hxs.ini", "mine");
    fs::WriteFile("C:\\HXData\\Config\\hxs.ini_migrated", "old");
    CopyDataFile("hxs.ini", "C:\\HXData");
    EXPECT_EQ(File("C:\\HXData\\Config\\hxs.ini"), "mine");
    EXPECT_EQ(File("C:\\HXData\\Config\\hxs.ini_migrated"), "<absent>");
    EXPECT_EQ(
        TempRows("RemoveFile"),
        (std::vector<std::string>{"ZEB_Record_0 | Base_base_Instance1 | hxs.ini | ZEBPATHPROPERTY0 | 2"}));
    EXPECT_TRUE(TextsInOrder({"Checking for hxs.ini at C:\\HXData",
                              "Copying C:\\HXData\\hxs.ini to C:\\HXData\\Config\\hxs.ini",
                              "Deleting C:\\HXData\\Config\\hxs.ini_migrated"}));

    CopyDataFile("hxclient.ini", "C:\\HXData");
    EXPECT_TRUE(HasText("..Not found"));
    fs::WriteFile("C:\\Lost\\hxs.ini", "mine");
    CopyDataFile("hxs.ini", "C:\\Lost"); // no Config folder: the copy fails
    EXPECT_TRUE(HasText("..Failed with 3"));
    EXPECT_EQ(TempRows("RemoveFile").size(), 1u);
    EXPECT_EQ(File("C:\\Lost\\hxs.ini"), "mine");
}

TEST_F(CleanUp, LastInstallActionStacksTheListLogAndSocketsOnlyForTheLastInstallation) {
    SetProps({{"ZEBREMOVE", "1"},
              {"ZEBINSTALLINSTANCENAME", "Installation1"},
              {"ZEBPGMFOLDER", "C:\\HX\\"},
              {"ZEBDATFOLDER", "C:\\HXData"},
              {"ZEBLOGFOLDER", "C:\\HXLog"}});
    AddInstallation({.name = "Installation1", .identifier = "1", .folder = "C:\\HX"});
    fs::WriteFile("C:\\HXData\\hxs.ini", "mine");
    fs::MakeDirs("C:\\HXData\\Config");
    fs::WriteFile("C:\\HXData\\sockets\\s1\\sock", "s");
    fs::WriteFile("C:\\HX\\bin\\a.exe", "a");
    fs::WriteFile(kList, "pgm\\bin\\a.exe\n");
    EXPECT_EQ(iwiStackCleanUpLastInstall(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(File("C:\\HXData\\Config\\hxs.ini"), "mine");
    EXPECT_EQ(Stacked("Stacking file(s) for deletion: '"),
              (std::vector<std::string>{"C:\\HXData\\hxs.ini", "C:\\HX\\bin\\a.exe", "C:\\HXData\\sockets\\*",
                                        "C:\\HXData\\sockets\\s1\\*"}));
    EXPECT_TRUE(TextsInOrder(
        {"Stacking up delete of C:\\HXLog\\", "Stacking up recursive delete of 'C:\\HXData\\sockets\\*'"}));

    // Another installation on the machine: nothing is stacked.
    size_t rows = TempRows("RemoveFile").size();
    AddInstallation({.name = "Installation2", .identifier = "2", .folder = "C:\\HX2"});
    EXPECT_EQ(iwiStackCleanUpLastInstall(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(TempRows("RemoveFile").size(), rows);
}

TEST_F(CleanUp, FinalActionWritesLastInstallAndItsRollbackDeletesIt) {
    SetProps({{"ZEBINSTALLINSTANCENAME", "Installation1"}, {"ZEBDATFOLDER", "C:\\HXData"}});
    AddInstallation({.name = "Installation1", .description = "Mine", .identifier = "1", .folder = "C:\\HX"});
    fs::MakeDirs("C:\\HXData\\Config");
    fs::WriteFile("C:\\HXData\\exits64\\Installation1\\zebrspin.dll", "x");
    EXPECT_EQ(iwiStackCleanUpFinal(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Stacked("Stacking file(s) for deletion: '"),
              (std::vector<std::string>{"C:\\HXData\\exits64\\Installation1\\zebrspin.dll"}));
    EXPECT_EQ(Stacked("Stacking folder for deletion: '").size(), 8u);
    std::string saved = File("C:\\HXData\\Config\\LastInstall.reg");
    EXPECT_NE(saved.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Skyloft HX\\Installation\\Installation1]"),
              std::string::npos);
    EXPECT_NE(saved.find("\"Description\"=\"Mine\""), std::string::npos);

    const std::string values = "ZEBDATFOLDER=C:\\HXData;";
    EXPECT_EQ(RunDeferred(iwiStackCleanUpFinal, values, MSIRUNMODE_ROLLBACK), ZEB_RC_SUCCESS);
    EXPECT_EQ(File("C:\\HXData\\Config\\LastInstall.reg"), "<absent>");
    EXPECT_EQ(RunDeferred(iwiStackCleanUpFinal, values, MSIRUNMODE_ROLLBACK), ZEB_RC_SUCCESS);
    EXPECT_TRUE(
        TextsInOrder({"Running iwiStackCleanUpFinal in ROLLBACK mode",
                      "File 'C:\\HXData\\Config\\LastInstall.reg' exists so must be deleted at rollback",
                      "Delete file 'C:\\HXData\\Config\\LastInstall.reg' - SUCCESS",
                      "File 'C:\\HXData\\Config\\LastInstall.reg' does not exist.  Nothing to do."}));
    EXPECT_EQ(RunDeferred(iwiStackCleanUpFinal, values), ZEB_RC_FAILURE); // scheduled: refused

    msi::SetProperty("ZEBINSTALLINSTANCENAME", "");
    EXPECT_EQ(iwiStackCleanUpFinal(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("Ignoring failure to get logdir or installation name"));
}

TEST_F(CleanUp, HighContrastAddsOneRegistryRowForOneOrZero) {
    SetProps({{"ZEBINSTALLINSTANCENAME", "Installation1"}, {"ZEBSETHIGHCONTRAST", "1"}});
    EXPECT_EQ(iwiStackSetHighContrast(h), ZEB_RC_SUCCESS);
    msi::SetProperty("ZEBSETHIGHCONTRAST", "0");
    EXPECT_EQ(iwiStackSetHighContrast(h), ZEB_RC_SUCCESS);
    msi::SetProperty("ZEBSETHIGHCONTRAST", "yes");
    EXPECT_EQ(iwiStackSetHighContrast(h), ZEB_RC_SUCCESS);
    const std::string key = "SOFTWARE\\Corvane\\Skyloft HX\\Installation\\Installation1";
    EXPECT_EQ(TempRows("Registry"),
              (std::vector<std::string>{
                  "Base_base_Instance10 | 2 | " + key + " | HighContrastMode | Yes | Base_base_Instance1",
                  "Base_base_Instance11 | 2 | " + key + " | HighContrastMode | No | Base_base_Instance1"}));
    winsim::FailCall("MsiGetPropertyA", ERROR_MORE_DATA, 1);
    EXPECT_EQ(iwiStackSetHighContrast(h), ZEB_RC_FAILURE);
}

} // namespace
