// iwiInstallInitPri and CheckValidFeatures: package identity, the Windows check, high contrast,
// removal and its upgrade permission, the response file, the feature lists and the closing checks.
#include "zebiwicnInstall.h"
#include "zebiwicnUtil.h"
#include "zebtest.h"

namespace {

namespace fs = winsim::fs;
namespace msi = winsim::msi;
namespace reg = winsim::reg;

const char kCode[] = "{AAAAAAAA-1111-2222-3333-444444444444}";
const char kInstKey[] = "SOFTWARE\\Corvane\\Skyloft HX\\Installation\\Inst1";

class InitPri : public ZebTest {
  protected:
    void SetUp() override {
        ZebTest::SetUp();
        SetProps({{"UpgradeCode", ZEB_UPGRADE_CLIENT},
                  {"ProductVersion", "9.4.0.0"},
                  {"TempFolder", "C:\\Temp\\"},
                  {"VersionNT", "601"}});
        msi::DefineFeatures({{"Server"}, {"Client"}, {"Toolkit", 2, -1, "Client"}});
        winsim::SetSysColor(COLOR_WINDOWTEXT, RGB(0, 0, 0));
    }
    UINT Run() { return iwiInstallInitPri(h); }
    // This package installed, its installation recorded with these further values.
    void Installed(const std::vector<std::pair<std::string, std::string>>& values) {
        AddInstallation({.name = "Inst1",
                         .description = "First",
                         .identifier = "1",
                         .vrmf = "9.4.0.0",
                         .productCode = kCode,
                         .folder = "C:\\HX1",
                         .values = values});
        SetProps({{"Installed", "00:00:00"}, {"ProductCode", kCode}});
    }
};

// ---- Package identity and kind --------------------------------------------------------------------

TEST_F(InitPri, PackageIdentityFromSummaryInformation) {
    winsim::SetWindowsVersion({.major = 6,
                               .minor = 1,
                               .build = 7601,
                               .servicePack = "Service Pack 1",
                               .servicePackMajor = 1,
                               .suiteMask = 0x0110});
    FILETIME ft;
    const unsigned long long time = 133541212200000000ULL; // 2024-03-05 14:07 UTC
    ft.dwLowDateTime = (DWORD)time;
    ft.dwHighDateTime = (DWORD)(time >> 32);
    msi::SetSummaryTime(12, ft);
    msi::SetSummaryString(9, "{PACKAGE0-CODE-0000-0000-000000000001}");
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBBUILDDATE"), std::string("Packaged on Mar 05 2024 at 14:07; version ") +
                                        ZebProductVersion() + ", build " + ZebBuildLevel());
    EXPECT_EQ(Prop("ZEBBUILDTIME"), "133541212200000000");
    EXPECT_EQ(Prop("ZEBPACKAGECODE"), "{PACKAGE0-CODE-0000-0000-000000000001}");
    EXPECT_EQ(Prop("BRANDHXS") + "/" + Prop("BRANDHXV"), "HX/Corvane");
    EXPECT_EQ(Prop("ZEBPRODUCT"), "client");
    EXPECT_TRUE(TextsInOrder({std::string(38, '-'), "Running from a 64 bit HX install image",
                              std::string(38, '-'), "Windows version 6.1.7601 platform 2 'Service Pack 1'",
                              "Service pack 1.0 reserved 0x0110", "Build Time is '133541212200000000'",
                              "GetSystemTimePreciseAsFileTime is available"}));
}

TEST_F(InitPri, NoCreationTimeTakesTheLibraryBuildDate) {
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBBUILDDATE"), std::string("Packaged* on ") + ZebBuildDate() + " at " + ZebBuildTime() +
                                        "; version " + ZebProductVersion() + ", build " + ZebBuildLevel());
    EXPECT_EQ(Prop("ZEBBUILDTIME"), "");
    EXPECT_FALSE(HasTextContaining("Build Time is"));
}

TEST_F(InitPri, PackageKindByUpgradeCode) {
    msi::SetProperty("UpgradeCode", ZEB_UPGRADE_TEST);
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBPRODUCT"), "test");
    EXPECT_TRUE(HasText("TEST EXECUTION"));
    EXPECT_EQ(Prop("ZEBCLIENT"), "1"); // not the server package

    TearDown();
    SetUp();
    SetProps({{"UpgradeCode", "{00000000-0000-0000-0000-000000000000}"}, {"ZEBPRODUCT", "server"}});
    EXPECT_EQ(Run(), ZEB_RC_FAILURE);
    EXPECT_EQ(Prop("ZEBPRODUCT"), "");
    EXPECT_TRUE(HasText("***Unknown product"));
    EXPECT_EQ(Prop("ZEBTEMP"), ""); // stopped there
}

TEST_F(InitPri, ListsInstalledServerAndClientProducts) {
    msi::AddProduct("{10000000-0000-0000-0000-000000000001}", ZEB_UPGRADE_SERVER, INSTALLSTATE_DEFAULT);
    msi::AddProduct("{10000000-0000-0000-0000-000000000002}", ZEB_UPGRADE_SERVER, INSTALLSTATE_ADVERTISED);
    msi::AddProduct("{20000000-0000-0000-0000-000000000003}", ZEB_UPGRADE_CLIENT, INSTALLSTATE_BADCONFIG);
    msi::AddProduct("{20000000-0000-0000-0000-000000000004}", ZEB_UPGRADE_CLIENT, 7);
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_TRUE(TextsInOrder(
        {"Listing of existing Server installations:",
         "Product {10000000-0000-0000-0000-000000000001} (Server) state is INSTALLSTATE_DEFAULT",
         "Product {10000000-0000-0000-0000-000000000002} (Server) state is INSTALLSTATE_ADVERTISED",
         "Listing of existing Client installations:",
         "***Product {20000000-0000-0000-0000-000000000003} (Client) state is INSTALLSTATE_BADCONFIG",
         "***Product {20000000-0000-0000-0000-000000000004} (Client) state is 00000007"}));
}

// ---- Windows check --------------------------------------------------------------------------------

TEST_F(InitPri, WindowsWithoutPreciseTimeIsRefused) {
    fs::SetSystemExport("kernel32", "GetSystemTimePreciseAsFileTime", nullptr);
    EXPECT_EQ(Run(), ZEB_RC_FAILURE);
    EXPECT_TRUE(
        TextsInOrder({"***GetSystemTimePreciseAsFileTime not available",
                      "***This Windows version is not supported by Corvane HX and HX will not function"}));
    EXPECT_TRUE(HasTextContaining("https://www.corvane.example/hx/sysreq"));
    EXPECT_EQ(MessageBoxes(), std::vector<std::string>{"Install Cannot proceed as the Windows version is "
                                                       "unsupported and HX would not function (ZEB4752)"});
    EXPECT_EQ(Prop("ZEBTEMP"), "");
}

TEST_F(InitPri, MissingKernel32IsTracedAndPassed) {
    winsim::FailCall("GetModuleHandleA", ERROR_MOD_NOT_FOUND, 0, "kernel32");
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("***kernel32 not available"));
    EXPECT_FALSE(HasTextContaining("GetSystemTimePreciseAsFileTime"));
    EXPECT_EQ(Prop("ZEBTEMP"), "C:\\Temp");
}

// ---- Temporary folder, high contrast, user choice -------------------------------------------------

TEST_F(InitPri, TemporaryFolderKeptWhenSet) {
    SetProps({{"ZEBTEMP", "\"C:\\Mine\\\""}, {"ONLYINI", "1"}});
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBTEMP"), "\"C:\\Mine\\\""); // read normalised, not written back
    EXPECT_EQ(Prop("SAVEINI"), "C:\\Mine\\Hexline.ini");
}

TEST_F(InitPri, HighContrastFromTextColourAndSystem) {
    winsim::SetSysColor(COLOR_WINDOWTEXT, RGB(127, 127, 128)); // 382: still dark text
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBHIGHCONTRAST"), "0");
    EXPECT_EQ(Prop("ZEBSETHIGHCONTRAST"), "");
    EXPECT_TRUE(
        TextsInOrder({"Checking operating system for high contrast mode",
                      "Accessibility high contrast mode is off", "Text colour is R:127 G:127 B:128"}));

    msi::RemoveProperty("ZEBHIGHCONTRAST");
    winsim::SetSysColor(COLOR_WINDOWTEXT, RGB(127, 128, 128)); // 383: light text
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBHIGHCONTRAST"), "1");
    EXPECT_TRUE(HasText("Setting high contrast mode because of text colour"));

    winsim::ClearEvents();
    msi::ClearMessages();
    msi::RemoveProperty("ZEBHIGHCONTRAST");
    winsim::SetSysColor(COLOR_WINDOWTEXT, RGB(0, 0, 0));
    winsim::SetHighContrast(true);
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBHIGHCONTRAST"), "1");
    EXPECT_TRUE(HasText("Accessibility high contrast mode is on"));
    EXPECT_FALSE(HasTextContaining("Text colour is"));
}

TEST_F(InitPri, HighContrastSettingWins) {
    const struct {
        const char* setting;
        const char* high;
        const char* chosen;
    } cases[] = {{"no", "0", "0"},  {"NO", "0", "0"}, {"0", "0", "0"},
                 {"yes", "1", "1"}, {"1", "1", "1"},  {"maybe", "1", ""}};
    winsim::SetHighContrast(true);
    for (const auto& c : cases) {
        msi::SetProperty("HIGHCONTRAST", c.setting);
        EXPECT_EQ(Run(), ZEB_RC_SUCCESS) << c.setting;
        EXPECT_EQ(Prop("ZEBHIGHCONTRAST"), c.high) << c.setting;
        EXPECT_EQ(Prop("ZEBSETHIGHCONTRAST"), c.chosen) << c.setting;
    }
    EXPECT_FALSE(HasText("Checking operating system for high contrast mode"));
}

TEST_F(InitPri, MaintenanceTakesTheRecordedHighContrast) {
    Installed({{"HighContrastMode", "Yes"}});
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBHIGHCONTRAST"), "1");
    EXPECT_TRUE(TextsInOrder(
        {"Product installed - uninstalling / modifying", "HX registry high contrast flag is 'Yes'"}));
    EXPECT_FALSE(HasText("Checking operating system for high contrast mode"));

    // "No" leaves it to the system and the text colour.
    reg::SetString(HKEY_LOCAL_MACHINE, kInstKey, "HighContrastMode", "No");
    msi::RemoveProperty("ZEBHIGHCONTRAST");
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBHIGHCONTRAST"), "0");
    EXPECT_TRUE(HasText("Checking operating system for high contrast mode"));

    reg::RemoveValue(HKEY_LOCAL_MACHINE, kInstKey, "HighContrastMode");
    msi::RemoveProperty("ZEBHIGHCONTRAST");
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("Can't find HX registry high contrast flag"));
}

TEST_F(InitPri, MaintenanceWithoutRecordShows2110) {
    SetProps({{"Installed", "00:00:00"}, {"ProductCode", kCode}});
    EXPECT_EQ(Run(), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***Could not retrieve installation details - cannot continue"));
    EXPECT_EQ(MessageBoxes(),
              std::vector<std::string>{"Cannot proceed as installed product has no associated "
                                       "HX Installation name (ZEB4778)"});
    EXPECT_EQ(Prop("ZEBHIGHCONTRAST"), "");
}

TEST_F(InitPri, ChoicesOfTheUser) {
    const struct {
        const char* keep;
        const char* leave;
    } keeps[] = {{"DELETE", "delete"}, {"remove", "keep"}, {"", "keep"}};
    for (const auto& k : keeps) {
        SetProps({{"KEEPQMDATA", k.keep}, {"USERCHOICE", *k.keep ? "no" : ""}});
        EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
        EXPECT_EQ(Prop("ZEBLEAVEQMDATAINSTALL"), k.leave) << k.keep;
        EXPECT_EQ(Prop("ZEBLEAVEQMDATAREMOVE"), k.leave) << k.keep;
        EXPECT_EQ(Prop("ZEBUSERCHOICE"), *k.keep ? "" : "1") << k.keep;
    }
    EXPECT_EQ(Prop("ALLUSERS") + Prop("ZEBDISKFOLDERNAME"), "1HX");
    EXPECT_EQ(Prop("ZEBREINSTALLOPTIONS") + "|" + Prop("ZEBHXISRUNNING") + "|" + Prop("ZEBPRODUCTPREREQ") +
                  "|" + Prop("ZEBENDUI"),
              "refresh||0|0");
    EXPECT_EQ(Prop("ZEBSTARTFOLDER"), "Corvane Skyloft HX");
}

TEST_F(InitPri, CancelMarkerDeletedAndStartFolderFromLanguageLibrary) {
    UnpackLanguageLibrary(fs::MakeStringTable({{406, "Own Start Folder"}}));
    fs::WriteFile("C:\\Temp\\zebcancl.txt", "1");
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_FALSE(fs::Exists("C:\\Temp\\zebcancl.txt"));
    EXPECT_EQ(Prop("ZEBSTARTFOLDER"), "Own Start Folder");
}

TEST_F(InitPri, ReinstallMode) {
    msi::SetProperty("VersionNT", "400");
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("REINSTALLMODE"), "omus");
    SetProps({{"REINSTALLMODE", ""}, {"VersionNT", "601"}});
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("REINSTALLMODE"), "amus");
    SetProps({{"REINSTALLMODE", "vomus"}, {"VersionNT", "400"}});
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("REINSTALLMODE"), "vomus");
}

TEST_F(InitPri, AdministrativeRunSkipsTheUserSteps) {
    msi::SetMode(MSIRUNMODE_ADMIN, true);
    SetProps({{"SAVEINI", "C:\\Out\\resp.ini"}, {"KEEPQMDATA", "delete"}});
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("LAUNCHWIZ"), "0");
    for (const char* name : {"ZEBLEAVEQMDATAINSTALL", "ZEBLEAVEQMDATAREMOVE", "ZEBSTARTFOLDER",
                             "REINSTALLMODE", "ZEBREINSTALLOPTIONS"})
        EXPECT_EQ(Prop(name), "") << name;
    EXPECT_EQ(Prop("ZEBENDUI"), "0");
    EXPECT_FALSE(fs::Exists("C:\\Out"));
}

// ---- Removal and the upgrade permission -----------------------------------------------------------

TEST_F(InitPri, RemovalByAnUpgradingPackageNeedsAllowUpgrade) {
    Installed({});
    SetProps({{"HIGHCONTRAST", "no"},
              {"REMOVE", "All"},
              {"UPGRADINGPRODUCTCODE", "{BBBBBBBB-0000-0000-0000-000000000000}"}});
    const std::string refused =
        "This installation is not permitted to upgrade installation 'Inst1' (ZEB4776) (1)";

    EXPECT_EQ(Run(), ZEB_RC_FAILURE); // no value
    EXPECT_TRUE(TextsInOrder({"Upgrade occurring - checking we are allowed to be upgraded",
                              "***AllowUpgrade value not found???"}));
    EXPECT_EQ(MessageBoxes(), std::vector<std::string>{refused});
    EXPECT_EQ(Prop("ZEBREMOVE"), "1");

    winsim::ClearEvents();
    reg::SetString(HKEY_LOCAL_MACHINE, kInstKey, "AllowUpgrade", "0");
    EXPECT_EQ(Run(), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("AllowUpgrade value is '0'"));
    EXPECT_EQ(MessageBoxes(), std::vector<std::string>{refused});

    // As an installer writes it: one byte, no terminator.
    winsim::ClearEvents();
    reg::SetValue(HKEY_LOCAL_MACHINE, kInstKey, "AllowUpgrade", reg::Value{REG_SZ, "1"});
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("AllowUpgrade value is '1'"));
    EXPECT_TRUE(MessageBoxes().empty());

    winsim::ClearEvents();
    reg::SetString(HKEY_LOCAL_MACHINE, kInstKey, "AllowUpgrade", "0");
    msi::SetProperty("ZEBBYPASSUPGRADECHECK", "1");
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("Permitting upgrade skipping AllowUpgrade check"));
    EXPECT_TRUE(MessageBoxes().empty());
}

TEST_F(InitPri, RemoveIsReadOncePerLoadedCopy) {
    msi::SetProperty("REMOVE", "ALL");
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS); // not installed: nothing upgrades it
    EXPECT_EQ(Prop("ZEBREMOVE"), "1");
    EXPECT_FALSE(HasTextContaining("Upgrade occurring"));
    msi::SetProperty("REMOVE", "Server");
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBREMOVE"), "1");

    // A failed first read is not kept: the next action reads again.
    TearDown();
    SetUp();
    msi::SetProperty("REMOVE", "Server");
    winsim::FailCall("MsiGetPropertyA", ERROR_INVALID_HANDLE, 1, "REMOVE");
    EXPECT_EQ(Run(), ZEB_RC_FAILURE);
    EXPECT_EQ(Prop("ZEBREMOVE"), "");
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBREMOVE"), "0");
}

// ---- Feature lists --------------------------------------------------------------------------------

TEST_F(InitPri, FeatureListsOfKnownNamesPass) {
    for (const char* list : {"Server,Client", "Server, Client", "all", "ALL", "Toolkit Client"}) {
        msi::SetProperty("ADDLOCAL", list);
        EXPECT_EQ(Run(), ZEB_RC_SUCCESS) << list;
    }
    EXPECT_TRUE(MessageBoxes().empty());
}

TEST_F(InitPri, UnknownFeaturesShow2038) {
    const struct {
        const char* property;
        const char* list;
        const char* left;
    } cases[] = {{"ADDLOCAL", "Server,Clinet", "Clinet"},
                 {"ADDLOCAL", "Serv", "Serv"},
                 {"REMOVE", "Server,", ","},
                 {"ADVERTISE", "server", "server"},
                 {"REINSTALL", "Client,XServer", "XServer"},
                 {"ADDSOURCE", "Server,Client ,", " ,"},
                 {"ADDLOCAL", "Server,,Client", ","}};
    for (const auto& c : cases) {
        TearDown();
        SetUp();
        msi::SetProperty(c.property, c.list);
        EXPECT_EQ(Run(), ZEB_RC_FAILURE) << c.list;
        EXPECT_EQ(MessageBoxes(),
                  std::vector<std::string>{std::string("Unknown feature(s) '") + c.left +
                                           "' in command-line property '" + c.property + "'. (ZEB4740)"})
            << c.list;
        EXPECT_TRUE(HasText("***Stopping because of unknown features")) << c.list;
    }
}

TEST_F(InitPri, FeatureListsCheckedInOrderUntilOneFails) {
    SetProps({{"ADDDEFAULT", "Nope"}, {"ADVERTISE", "Neither"}});
    EXPECT_EQ(Run(), ZEB_RC_FAILURE);
    ASSERT_EQ(MessageBoxes().size(), 1u);
    EXPECT_NE(MessageBoxes()[0].find("'Nope' in command-line property 'ADDDEFAULT'"), std::string::npos);
}

TEST_F(InitPri, UnknownFeatureInResponseFileShows2037) {
    fs::WriteFile("C:\\Cfg\\resp.ini", "[Response]\r\nADDLOCAL=Server,Gateway\r\n");
    msi::SetProperty("USEINI", "C:\\Cfg\\resp.ini");
    EXPECT_EQ(Run(), ZEB_RC_FAILURE);
    EXPECT_EQ(MessageBoxes(),
              std::vector<std::string>{"Unknown feature(s) 'Gateway' in property 'ADDLOCAL' in "
                                       "'C:\\Cfg\\resp.ini'. (ZEB4742)"});
}

TEST_F(InitPri, FeatureTableUnreadable) {
    msi::SetProperty("ADDLOCAL", "Server");
    winsim::FailCall("MsiGetActiveDatabase", 0, 0);
    EXPECT_EQ(Run(), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***MsiGetActiveDatabase() failed"));
    // An empty list needs no table.
    TearDown();
    SetUp();
    msi::DropTable("Feature");
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
}

// ---- The response file to save --------------------------------------------------------------------

TEST_F(InitPri, SaveIniCreatedWithItsFolders) {
    fs::WriteFile("C:\\Old\\resp.ini", "stale");
    msi::SetProperty("SAVEINI", "C:\\Out\\A\\B\\resp.ini");
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(File("C:\\Out\\A\\B\\resp.ini"), "");
    msi::SetProperty("SAVEINI", "\"C:\\Old\\resp.ini\"");
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(File("C:\\Old\\resp.ini"), ""); // another file is replaced
}

TEST_F(InitPri, SaveIniLockedShows2035) {
    fs::WriteFile("C:\\Out\\resp.ini", "x");
    fs::Lock("C:\\Out\\resp.ini");
    msi::SetProperty("SAVEINI", "C:\\Out\\resp.ini");
    EXPECT_EQ(Run(), ZEB_RC_FAILURE);
    EXPECT_EQ(MessageBoxes(),
              std::vector<std::string>{
                  "Cannot create the response file 'C:\\Out\\resp.ini' (error 32). (ZEB4735)"});
    EXPECT_EQ(Prop("REINSTALLMODE"), "");
    fs::Unlock("C:\\Out\\resp.ini");
}

TEST_F(InitPri, SaveIniThatIsTheResponseFileInUseKeepsItsContent) {
    const std::string content = "[Response]\r\nKEEPQMDATA=delete\r\nADDLOCAL=Server\r\n";
    fs::WriteFile("C:\\Cfg\\resp.ini", content);
    SetProps({{"USEINI", "C:\\Cfg\\resp.ini"}, {"SAVEINI", "\"c:\\cfg\\RESP.INI\""}});
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_EQ(File("C:\\Cfg\\resp.ini"), content);
    // A later action still reads its settings from it.
    UINT st = 0;
    ASSERT_FALSE(CaProlog(h, &st, "iwiLater", nullptr));
    char value[ZEB_CCH_MSG];
    EXPECT_EQ(iwiGetIniProperty("KEEPQMDATA", value, nullptr), ZEB_RC_SUCCESS);
    EXPECT_STREQ(value, "delete");
    EXPECT_EQ(CaEpilog(h, st), ZEB_RC_SUCCESS);
}

// ---- Closing checks -------------------------------------------------------------------------------

TEST_F(InitPri, ServerRunWithMissingWizardFileAndOldDotNetClient) {
    SetProps({{"UpgradeCode", ZEB_UPGRADE_SERVER}, {"WIZPARMFILE", "C:\\Cfg\\wiz.ini"}});
    reg::CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Sendrill for .NET", reg::View::Wow32);
    EXPECT_EQ(Run(), ZEB_RC_FAILURE);
    auto boxes = MessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], "Can't open file 'C:\\Cfg\\wiz.ini'. (ZEB4734)");
    EXPECT_NE(boxes[1].find("(ZEB4787)"), std::string::npos);
    EXPECT_EQ(Prop("ZEBPRODUCT"), "server");

    // The key in the 64-bit view only, the wizard file present: nothing to refuse.
    TearDown();
    SetUp();
    msi::SetProperty("UpgradeCode", ZEB_UPGRADE_SERVER);
    fs::WriteFile("C:\\Cfg\\wiz.ini", "");
    msi::SetProperty("WIZPARMFILE", "C:\\Cfg\\wiz.ini");
    reg::CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Sendrill for .NET");
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_TRUE(MessageBoxes().empty());
}

TEST_F(InitPri, ClientRunDoesNotCheckTheWizardFile) {
    msi::SetProperty("WIZPARMFILE", "C:\\Cfg\\wiz.ini");
    EXPECT_EQ(Run(), ZEB_RC_SUCCESS);
    EXPECT_TRUE(MessageBoxes().empty());
}

TEST_F(InitPri, RefusedInDeferredModes) {
    EXPECT_EQ(RunDeferred(iwiInstallInitPri, "ProductName=HX;"), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***CA execute error; run mode must not be 'MSIRUNMODE_SCHEDULED'."));
    EXPECT_FALSE(HasTextContaining("Running from a 64 bit HX install image"));
}

} // namespace
