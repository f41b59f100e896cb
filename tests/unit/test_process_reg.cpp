// Registry content: the installation's Registry rows, the rows' refusals and escapes, the
// LastInstall.reg export and the folder tokens of the uninstall lists.
#include "zebhold.h"
#include "zebiwicnProcessReg.h"
#include "zebiwicnUtil.h"
#include "zebtest.h"

namespace {

namespace msi = winsim::msi;
namespace reg = winsim::reg;

const char kComp[] = "Base_base_Instance1";
const char kInst64[] = "SOFTWARE\\Corvane\\Skyloft HX\\Installation\\Installation1";
const char kInst32[] = "SOFTWARE\\Wow6432Node\\Corvane\\Skyloft HX\\Installation\\Installation1";
const char kProduct64[] = "SOFTWARE\\Corvane\\Skyloft HX";
const char kProduct32[] = "SOFTWARE\\Wow6432Node\\Corvane\\Skyloft HX";

class ProcessReg : public ZebTest {
  protected:
    void SetUp() override {
        ZebTest::SetUp();
        for (const char* table : {"Registry", "RemoveFile"})
            msi::DefineStandardTable(table);
    }

    static std::string Row(int n, const std::string& key, const std::string& name, const std::string& value) {
        return std::string(kComp) + std::to_string(n) + " | 2 | " + key + " | " + name + " | " + value +
               " | " + kComp;
    }

    static std::string Prop(const std::string& name) { return msi::Property(name).value_or("<unset>"); }

    static void ServerRun() {
        SetProps({{"ZEBINSTALLINSTANCENAME", "Installation1"},
                  {"ZEBPRODUCT", "SERVER"},
                  {"VersionNT", "603"},
                  {"ZEBDATFOLDER", "C:\\HXData\\"},
                  {"ZEBLOGFOLDER", "C:\\HXData\\log"}});
    }

    // The export of a key of the 64-bit view into a LastInstall.reg, as the clean-up writes it.
    static BOOL Export(const std::string& key,
                       const std::string& file = "C:\\HXData\\Config\\LastInstall.reg") {
        winsim::fs::MakeDirs("C:\\HXData\\Config");
        ZebRegKey hKey;
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, hKey.Out()), ERROR_SUCCESS);
        // The test's C++ headers undefine the fopen macro that leads the library to the machine.
        ZebFile fp(winsim_fopen(file.c_str(), "w+N"));
        EXPECT_TRUE(fp.IsValid());
        return SaveKeysAndValues(hKey.Get(), key.c_str(), fp.Get());
    }

    std::string Substitute(const std::string& line, UINT* puiRc) {
        char szLine[ZEB_CCH_MSG];
        lstrcpynA(szLine, line.c_str(), sizeof(szLine));
        *puiRc = SubstituteLine(szLine);
        return szLine;
    }
};

// ---- iwiStackRegistryUpdates -------------------------------------------------------------------

TEST_F(ProcessReg, ServerInstallationGetsIdentityAndFolderRowsInBothViews) {
    ServerRun();
    winsim::fs::WriteFile("C:\\HXData\\Config\\LastInstall.reg", "stale");
    EXPECT_EQ(iwiStackRegistryUpdates(h), ZEB_RC_SUCCESS);
    std::string hklm = "HKEY_LOCAL_MACHINE\\";
    EXPECT_EQ(TempRows("Registry"), (std::vector<std::string>{
                                        Row(0, kInst64, "Package", "Server"),
                                        Row(1, kInst32, "Package", "Server"),
                                        Row(2, kInst64, "ProductType", "Server"),
                                        Row(3, kInst32, "ProductType", "Server"),
                                        Row(4, kProduct64, "WorkPath", "C:\\HXData"),
                                        Row(5, kProduct64, "LogDefaultPath", "C:\\HXData\\log"),
                                        Row(6, kProduct32, "WorkPath", "C:\\HXData"),
                                        Row(7, kProduct32, "LogDefaultPath", "C:\\HXData\\log"),
                                    }));
    // The stale record of an earlier installation goes when the component is installed.
    EXPECT_EQ(TempRows("RemoveFile"), std::vector<std::string>{"ZEB_Record_8 | " + std::string(kComp) +
                                                               " | LastInstall.reg | "
                                                               "ZEBPATHPROPERTY0 | 1"});
    EXPECT_EQ(Prop("ZEBRECORDCOUNTER"), "9");
    EXPECT_TRUE(TextsInOrder({"UpdateRegistryTable() key: '" + hklm + kInst64 + "' name 'Package'",
                              "                         value: 'Server'", "Registry table record added:",
                              "ID 'Base_base_Instance10'; root '2'; subkey '" + std::string(kInst64) +
                                  "' name 'Package'; value 'Server'; component 'Base_base_Instance1'",
                              "WorkPath value is ''", "Updating / Creating WorkPath (old value )",
                              "Updating / Creating LogDefaultPath (old value )"}));
}

TEST_F(ProcessReg, FolderRowsOnlyWhereNeeded) {
    // An equal WorkPath drops its row; ZEBNO32BIT the 32-bit view's rows.
    ServerRun();
    SetProps({{"ZEBNO32BIT", "1"}, {"Installed", "00:00:00"}});
    winsim::fs::WriteFile("C:\\HXData\\Config\\LastInstall.reg", "kept");
    reg::SetString(HKEY_LOCAL_MACHINE, kProduct64, "WorkPath", "C:\\HXData");
    reg::SetString(HKEY_LOCAL_MACHINE, kProduct64, "LogDefaultPath", "C:\\HXData\\LOG");
    EXPECT_EQ(iwiStackRegistryUpdates(h), ZEB_RC_SUCCESS);
    std::vector<std::string> rows = TempRows("Registry");
    ASSERT_EQ(rows.size(), 5u);
    // The comparison is exact: a folder differing in case is written.
    EXPECT_EQ(rows[4], Row(4, kProduct64, "LogDefaultPath", "C:\\HXData\\log"));
    EXPECT_TRUE(HasText("WorkPath value is 'C:\\HXData'"));
    EXPECT_FALSE(HasTextContaining("Updating / Creating WorkPath"));
    EXPECT_TRUE(TempRows("RemoveFile").empty()); // maintenance: the record is this installation's
}

TEST_F(ProcessReg, ClientPackageWritesNoLogFolderAndRemovalNoFolders) {
    ServerRun();
    SetProps({{"ZEBPRODUCT", "client"}, {"ZEBLOGFOLDER", "C:\\Unused"}});
    EXPECT_EQ(iwiStackRegistryUpdates(h), ZEB_RC_SUCCESS);
    std::vector<std::string> rows = TempRows("Registry");
    EXPECT_EQ(rows, (std::vector<std::string>{
                        Row(0, kInst64, "Package", "Client"),
                        Row(1, kInst32, "Package", "Client"),
                        Row(2, kInst64, "ProductType", "Client"),
                        Row(3, kInst32, "ProductType", "Client"),
                        Row(4, kProduct64, "WorkPath", "C:\\HXData"),
                        Row(5, kProduct32, "WorkPath", "C:\\HXData"),
                    }));
    EXPECT_FALSE(HasTextContaining("LogDefaultPath"));

    msi::SetProperty("ZEBREMOVE", "1");
    EXPECT_EQ(iwiStackRegistryUpdates(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(TempRows("Registry").size(), 10u); // only the four identity rows again
    EXPECT_TRUE(HasText("Not updating WorkPath / LogDefaultPath as uninstalling"));
}

TEST_F(ProcessReg, FirstFailedRowEndsTheAction) {
    ServerRun();
    winsim::FailCall("MsiViewModify", ERROR_FUNCTION_FAILED, 3);
    EXPECT_EQ(iwiStackRegistryUpdates(h), ZEB_RC_FAILURE);
    EXPECT_EQ(TempRows("Registry").size(), 2u);
    EXPECT_EQ(Prop("ZEBRECORDCOUNTER"), "2");
    EXPECT_TRUE(HasText("***MsiViewModify('MSIMODIFY_INSERT_TEMPORARY') failed (1627)"));
    EXPECT_FALSE(HasTextContaining("WorkPath value is"));
}

TEST_F(ProcessReg, ActionRefusesDeferredRunsAndAMissingName) {
    ServerRun();
    EXPECT_EQ(RunDeferred(iwiStackRegistryUpdates, "ZEBINSTALLINSTANCENAME=Installation1;"), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasTextContaining("***CA execute error; run mode must not be"));
    msi::SetProperty("ZEBINSTALLINSTANCENAME", "");
    EXPECT_EQ(iwiStackRegistryUpdates(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(TempRows("Registry").empty());
}

// ---- UpdateRegistryTable -----------------------------------------------------------------------

TEST_F(ProcessReg, RowRootsAndRefusedKeys) {
    FrameSetSession(h);
    msi::SetProperty("ZEBRECORDCOUNTER", "7");
    EXPECT_EQ(UpdateRegistryTable("HKEY_USERS\\x", kComp, "N", "v"), ZEB_RC_SUCCESS);
    EXPECT_EQ(UpdateRegistryTable("hkey_classes_root\\.hxq", kComp, "N", "v"), ZEB_RC_SUCCESS);
    EXPECT_EQ(UpdateRegistryTable("hklm\\x", kComp, "N", "v"), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***Invalid root key in 'hklm\\x'"));
    EXPECT_EQ(UpdateRegistryTable("HKEY_LOCAL_MACHINE", kComp, "N", "v"), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***Invalid subkey in 'HKEY_LOCAL_MACHINE'"));
    EXPECT_EQ(UpdateRegistryTable("HKEY_LOCAL_MACHINE\\", kComp, "N", "v"), ZEB_RC_FAILURE);
    EXPECT_EQ(TempRows("Registry"),
              (std::vector<std::string>{"Base_base_Instance17 | 3 | x | N | v | " + std::string(kComp),
                                        "Base_base_Instance18 | 0 | .hxq | N | v | " + std::string(kComp)}));
    EXPECT_EQ(Prop("ZEBRECORDCOUNTER"), "9");
}

TEST_F(ProcessReg, ValuesAreEscapedForTheEngineButTracedAsGiven) {
    FrameSetSession(h);
    EXPECT_EQ(UpdateRegistryTable("HKEY_LOCAL_MACHINE\\K", kComp, "A", "C:\\zebtest\\d[1]"), ZEB_RC_SUCCESS);
    EXPECT_EQ(UpdateRegistryTable("HKEY_LOCAL_MACHINE\\K", kComp, "B", "#12#"), ZEB_RC_SUCCESS);
    std::vector<std::string> rows = TempRows("Registry");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0],
              "Base_base_Instance10 | 2 | K | A | C:\\zebtest\\d[\\[]1[\\]] | " + std::string(kComp));
    EXPECT_EQ(rows[1], "Base_base_Instance11 | 2 | K | B | ##12# | " + std::string(kComp));
    EXPECT_TRUE(HasText("                         value: 'C:\\zebtest\\d[1]'"));
    EXPECT_TRUE(HasTextContaining("name 'B'; value '#12#'"));
}

// ---- Export ------------------------------------------------------------------------------------

TEST_F(ProcessReg, ExportWritesEveryTypeValuesBeforeSubkeys) {
    const std::string key = kInst64;
    reg::SetString(HKEY_LOCAL_MACHINE, key, "Name", "O'Brien\\x");
    reg::SetDword(HKEY_LOCAL_MACHINE, key, "Count", 255);
    reg::SetValue(HKEY_LOCAL_MACHINE, key, "Bin", {REG_BINARY, std::string("\x0A\xFF", 2)});
    reg::SetValue(HKEY_LOCAL_MACHINE, key, "Multi", {REG_MULTI_SZ, std::string("a\0b\0\0", 5)});
    reg::SetValue(HKEY_LOCAL_MACHINE, key, "None", {REG_NONE, std::string("\x01", 1)});
    reg::SetValue(HKEY_LOCAL_MACHINE, key, "Exp",
                  {REG_EXPAND_SZ, std::string("%P%\\\"q\"")}); // no terminator
    reg::SetString(HKEY_LOCAL_MACHINE, key, "FilePath", "C:\\HX");
    reg::SetString(HKEY_LOCAL_MACHINE, key, "", "default");
    reg::SetString(HKEY_LOCAL_MACHINE, key + "\\Components", "Server", "");
    reg::SetString(HKEY_LOCAL_MACHINE, key + "\\Components\\Deep", "D", "1");
    EXPECT_TRUE(Export(key));
    EXPECT_EQ(File("C:\\HXData\\Config\\LastInstall.reg"), "\r\n[HKEY_LOCAL_MACHINE\\" + key +
                                                               "]\r\n"
                                                               "\"Name\"=\"O\\'Brien\\\\x\"\r\n"
                                                               "\"Count\"=dword:000000ff\r\n"
                                                               "\"Bin\"=hex:0AFF\r\n"
                                                               "\"Multi\"=hex(7):6100620000\r\n"
                                                               "\"None\"=hex(0):01\r\n"
                                                               "\"Exp\"=\"%P%\\\\\\\"q\\\"\"\r\n"
                                                               "@=\"default\"\r\n"
                                                               "\r\n[HKEY_LOCAL_MACHINE\\" +
                                                               key +
                                                               "\\Components]\r\n"
                                                               "\"Server\"=\"\"\r\n"
                                                               "\r\n[HKEY_LOCAL_MACHINE\\" +
                                                               key +
                                                               "\\Components\\Deep]\r\n\"D\"=\"1\"\r\n");
    EXPECT_TRUE(HasText("Skipping processing of FilePath for lastinstall.reg"));
    EXPECT_TRUE(HasText("Key '[HKEY_LOCAL_MACHINE\\" + key + "]'"));
    EXPECT_TRUE(HasText("    \"Count\"=dword:000000ff"));

    // The reader gives the saved name back as it was stored: only doubled backslashes and escaped
    // quotes are folded.
    char szValue[ZEB_CCH_PATH];
    EXPECT_TRUE(GetStringFromRegFile("C:\\HXData\\Config\\LastInstall.reg", "Name", szValue, TRUE));
    EXPECT_STREQ(szValue, "O'Brien\\x");
}

TEST_F(ProcessReg, ExportStopsAtAnUnsupportedTypeOrADeniedSubkey) {
    const std::string key = "SOFTWARE\\T";
    reg::SetString(HKEY_LOCAL_MACHINE, key, "A", "1");
    reg::SetValue(HKEY_LOCAL_MACHINE, key, "Q", {REG_QWORD, std::string(8, '\1')});
    reg::SetString(HKEY_LOCAL_MACHINE, key, "B", "2");
    reg::SetString(HKEY_LOCAL_MACHINE, key + "\\Sub", "C", "3");
    EXPECT_FALSE(Export(key));
    EXPECT_TRUE(HasText("***Unsupported value type Q 0x0000000b"));
    EXPECT_EQ(File("C:\\HXData\\Config\\LastInstall.reg"),
              "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\T]\r\n\"A\"=\"1\"\r\n");

    reg::RemoveValue(HKEY_LOCAL_MACHINE, key, "Q");
    reg::DenyAccess(HKEY_LOCAL_MACHINE, key + "\\Sub", true);
    reg::SetString(HKEY_LOCAL_MACHINE, key + "\\Tail", "E", "5");
    EXPECT_FALSE(Export(key));
    EXPECT_TRUE(HasText("***ERROR_ACCESS_DENIED subKey: 'SOFTWARE\\T\\Sub'"));
    EXPECT_EQ(File("C:\\HXData\\Config\\LastInstall.reg").find("Tail"), std::string::npos);
}

TEST_F(ProcessReg, ExportWriteFailuresAreReported) {
    reg::SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\T", "A", "1");
    winsim::FailCall("fwrite", ERROR_DISK_FULL, 0, "LastInstall.reg");
    EXPECT_FALSE(Export("SOFTWARE\\T"));
    EXPECT_TRUE(HasTextContaining("***Can't write to .reg file "));

    winsim::ClearFaults();
    reg::SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\T", "B", "2");
    winsim::OnCall("fwrite", 2, [] { winsim::FailCall("fwrite", ERROR_DISK_FULL, 0, "LastInstall.reg"); });
    EXPECT_FALSE(Export("SOFTWARE\\T"));
    EXPECT_TRUE(HasTextContaining("***Can't write value to .reg file "));
}

// ---- SubstituteLine ----------------------------------------------------------------------------

TEST_F(ProcessReg, TokensTakeFolderValuesDoubledInsideQuotes) {
    FrameSetSession(h);
    SetProps({{"ZEBPGMREGPATH", "C:\\Program Files\\HX"}, {"ZEBDATREGPATH", "D:\\Data"}, {"MYPROP", "mine"}});
    UINT uiRc = 1;
    EXPECT_EQ(Substitute("%PGMDIR%\\bin", &uiRc), "C:\\Program Files\\HX\\bin");
    EXPECT_EQ(uiRc, 0u);
    EXPECT_EQ(Substitute("\"Path\"=\"%PGMDIR%\\bin\" %PGMDIR%", &uiRc),
              "\"Path\"=\"C:\\\\Program Files\\\\HX\\bin\" C:\\Program Files\\HX");
    EXPECT_EQ(Substitute("<DATDIR>\\x;<ZEBMPECN.H>;<MYPROP>;<NOSUCH>;<LOGDIR>", &uiRc),
              "D:\\Data\\x;ZEBMPECN.H;mine;;");
    // An escaped quote does not open a string.
    EXPECT_EQ(Substitute("\\\"<DATDIR>", &uiRc), "\\\"D:\\Data");
    EXPECT_EQ(Substitute("100% sure <not closed", &uiRc), "100% sure <not closed");
    EXPECT_EQ(uiRc, 0u);
}

TEST_F(ProcessReg, SubstitutionFailuresNeverCutTheLine) {
    FrameSetSession(h);
    msi::SetProperty("ZEBDATREGPATH", "D:\\Data");
    winsim::FailCall("MsiGetPropertyA", ERROR_INVALID_HANDLE, 0, "ZEBPGMREGPATH");
    UINT uiRc = 0;
    EXPECT_EQ(Substitute("<DATDIR>;<PGMDIR>\\bin", &uiRc), "D:\\Data;");
    EXPECT_EQ(uiRc, ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***msiGetProperty('ZEBPGMREGPATH') failed (6)"));

    winsim::ClearFaults();
    // 259 characters, one backslash: 260 once doubled inside quotes.
    std::string folder = std::string(200, 'p') + "\\" + std::string(58, 'q');
    std::string doubled = std::string(200, 'p') + "\\\\" + std::string(58, 'q');
    msi::SetProperty("ZEBPGMREGPATH", folder);
    EXPECT_EQ(Substitute("\"<PGMDIR>\"" + std::string(253, 'x'), &uiRc),
              "\"" + doubled + "\"" + std::string(253, 'x'));
    EXPECT_EQ(uiRc, 0u) << "515 characters fit";
    std::string line = "\"<PGMDIR>\"" + std::string(254, 'x');
    EXPECT_EQ(Substitute(line, &uiRc), line);
    EXPECT_EQ(uiRc, ZEB_RC_FAILURE);
    EXPECT_TRUE(HasTextContaining("***Line too long after substitution: "));
}

} // namespace
