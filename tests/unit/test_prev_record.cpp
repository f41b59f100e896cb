// The previous installation record: folders, level, components, language and origin of the old
// installation, the features it had, and the old Java add-on.
#include "zebiwicnFeatures.h"
#include "zebiwicnUtil.h"
#include "zebtest.h"

#include <climits>
#include <cstring>
#include <set>

namespace {

namespace fs = winsim::fs;
namespace msi = winsim::msi;
namespace reg = winsim::reg;

const char kQb17Upgrade[] = "{37C07B43-CAD0-11D4-B2C4-000629BE98FC}";
const char kQb17Product[] = "{0B170000-0000-0000-0000-000000000001}";
const char kQb17Key[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Corvane Hexline Product Extension QB17";
const char kComp1[] = "{C0000000-0000-0000-0000-000000000001}";
const char kComp2[] = "{C0000000-0000-0000-0000-000000000002}";
const char kComp3[] = "{C0000000-0000-0000-0000-000000000003}";

// The functions run inside an action's frame, as the actions that call them do.
class Prev : public ZebTest {
  protected:
    void SetUp() override {
        ZebTest::SetUp();
        ASSERT_FALSE(CaProlog(h, &stat, "iwiPrevTest", nullptr));
    }
    void TearDown() override {
        CaEpilog(h, stat);
        ZebTest::TearDown();
    }
    // An installation of a later release named Inst1 that this package upgrades.
    static void OldInstallation(hxrecord::Installation record) {
        record.name = "Inst1";
        AddInstallation(record);
        msi::SetProperty("ZEBOLDINSTALLINSTANCENAME", "Inst1");
    }
    static const ZebPrevRecord& R() { return PrevRecord(); }
};

// ---- Data and log folders -------------------------------------------------------------------------

TEST_F(Prev, FoldersPublishedWithoutAnOldName) {
    EXPECT_EQ(GetHxRegistryInfo(), ZEB_RC_SUCCESS);
    EXPECT_TRUE(TextsInOrder({"No previous data directory located.", "No previous log directory located."}));
    EXPECT_FALSE(msi::Property("ZEBLASTDAT").has_value());

    msi::ClearMessages();
    reg::SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Skyloft HX", "WorkPath", "C:\\HXData");
    fs::WriteFile("C:\\HXData\\config\\HXS.INI", "[Log]\r\nlogdefaultpath=C:\\HXLogs\r\n");
    EXPECT_EQ(GetHxRegistryInfo(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBLASTDAT"), "C:\\HXData");
    EXPECT_EQ(Prop("ZEBLASTLOG"), "C:\\HXLogs");
    EXPECT_EQ(R().lProduct, 0);
    EXPECT_STREQ(R().szVrmf, "0.0.0.0");
    EXPECT_TRUE(TextsInOrder({"Old Installation Name: , pre 7.1? 0",
                              "Using 7.1 previous data path of 'C:\\HXData'", "Previous product: 0"}));
    EXPECT_FALSE(HasTextContaining("Checking for 8.0+"));
}

TEST_F(Prev, PreSideBySideFoldersComeFirst) {
    reg::SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Skyloft HX", "WorkPath", "C:\\New",
                   reg::View::Wow32);
    AddOldRecord({.workPath = "C:\\OldData", .logDefaultPath = "C:\\OldLogs"});
    EXPECT_EQ(GetHxRegistryInfo(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBLASTDAT") + "|" + Prop("ZEBLASTLOG"), "C:\\OldData|C:\\OldLogs");
    EXPECT_TRUE(TextsInOrder({"Using pre 7.1 previous data path of 'C:\\OldData'",
                              "Using pre 7.1 previous log path of 'C:\\OldLogs'"}));

    // Kept once found: a later call does not look again.
    reg::DeleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Hexline", reg::View::Wow32);
    msi::SetProperty("ZEBLASTDAT", "");
    EXPECT_EQ(GetHxRegistryInfo(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBLASTDAT"), "C:\\OldData");
}

TEST_F(Prev, LogFolderFilesInOrderButAnUnreadableIniStopsTheSearch) {
    reg::SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Skyloft HX", "WorkPath", "C:\\D");
    fs::WriteFile("C:\\D\\HXS.INI", "LogDefaultPath=C:\\L1\r\n");
    fs::WriteFile("C:\\D\\config\\Config.reg", "\"LogDefaultPath\"=\"C:\\\\FromReg\"\r\n");
    fs::Lock("C:\\D\\HXS.INI");
    EXPECT_EQ(GetHxRegistryInfo(), ZEB_RC_SUCCESS);
    fs::Unlock("C:\\D\\HXS.INI");
    EXPECT_EQ(Prop("ZEBLASTLOG"), "");
    EXPECT_TRUE(HasText("No previous log directory located."));
    EXPECT_FALSE(HasTextContaining("Config.reg"));

    // Read, but without the value: the export's is next.
    fs::WriteFile("C:\\D\\HXS.INI", "Other=1\r\n");
    EXPECT_EQ(GetHxRegistryInfo(), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBLASTLOG"), "C:\\FromReg");
}

// ---- Level, record view and VRMF ------------------------------------------------------------------

TEST_F(Prev, LevelOfTheOldestReleasesAndComputed) {
    const struct {
        const char* version;
        const char* release;
        const char* vrmf; // nullptr: no value
        LONG level;
        const char* prevVrmf;
    } cases[] = {
        {"5", "21", nullptr, 50201, "5.21.0.0"},
        {"5", "1", nullptr, 50100, "5.1.0.0"},
        {"5", "2", "5.2.0.0", 50200, "5.2.0.0"},
        {"5", "3", "5.3.1.0", 50301, "5.3.1.0"},
        {"9", "3", "9.3.0.2", 90300, "9.3.0.2"},
        {"9", "4", "9.4.7.0", 90407, "9.4.7.0"},
        {"", "", nullptr, 0, "0.0.0.0"},
        {"99999999", "99", nullptr, INT_MAX, "99999999.99.0.0"},
        {"99999999999999999999", "1", nullptr, INT_MAX, "99999999999999999999.1.0.0"},
    };
    for (const auto& c : cases) {
        // Without a VRMF the 64-bit record is not taken: such records are in the 32-bit view.
        hxrecord::Installation record{
            .view32 = c.vrmf == nullptr, .serverVersion = c.version, .serverRelease = c.release};
        if (c.vrmf != nullptr)
            record.vrmf = c.vrmf;
        reg::DeleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Skyloft HX");
        reg::DeleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Skyloft HX", reg::View::Wow32);
        OldInstallation(record);
        EXPECT_EQ(GetHxRegistryInfo(), ZEB_RC_SUCCESS) << c.version << "/" << c.release;
        EXPECT_EQ(R().lProduct, c.level) << c.version << "/" << c.release;
        EXPECT_STREQ(R().szVrmf, c.prevVrmf) << c.version << "/" << c.release;
    }
    EXPECT_TRUE(HasText("Using nPrevProduct as 90300"));
}

TEST_F(Prev, InstalledPackageClearsTheLevelButPublishesFolders) {
    reg::SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Skyloft HX", "WorkPath", "C:\\HXData");
    OldInstallation({.vrmf = "9.3.0.0", .serverVersion = "9", .serverRelease = "3"});
    msi::SetProperty("Installed", "00:00:00");
    EXPECT_EQ(GetHxRegistryInfo(), ZEB_RC_SUCCESS);
    EXPECT_EQ(R().lProduct, 0);
    EXPECT_EQ(Prop("ZEBLASTDAT"), "C:\\HXData");
    EXPECT_TRUE(TextsInOrder({"Using nPrevProduct as 90300",
                              "Product is 'installed' so clearing nPrevProduct", "Previous product: 0"}));
}

TEST_F(Prev, RecordViewChosenByName) {
    OldInstallation({.vrmf = "9.0.0.0", .view32 = true, .serverVersion = "9", .serverRelease = "0"});
    EXPECT_EQ(GetHxRegistryInfo(), ZEB_RC_SUCCESS);
    EXPECT_EQ(R().lProduct, 90000);
    EXPECT_TRUE(TextsInOrder({"Checking for 8.0+ 64 bit installation",
                              "Not found, so dropping back assuming a 32 bit or non existing installation"}));

    reg::DeleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Skyloft HX", reg::View::Wow32);
    OldInstallation({.vrmf = "9.2.0.0", .serverVersion = "9", .serverRelease = "2"});
    EXPECT_EQ(GetHxRegistryInfo(), ZEB_RC_SUCCESS);
    EXPECT_EQ(R().lProduct, 90200);
    EXPECT_TRUE(HasText("Found!!"));

    AddOldRecord({.vrmf = "7.0.1.6", .serverVersion = "7", .serverRelease = "0"});
    msi::SetProperty("ZEBOLDINSTALLINSTANCENAME", "currentversion");
    EXPECT_EQ(GetHxRegistryInfo(), ZEB_RC_SUCCESS);
    EXPECT_EQ(R().lProduct, 70001);
    EXPECT_TRUE(
        TextsInOrder({"Old Installation Name: currentversion, pre 7.1? 1", "Pre-7.1 so 32 bit registry"}));
}

TEST_F(Prev, FailedReadEndsWithTheLevelSoFar) {
    winsim::FailCall("MsiGetPropertyA", ERROR_INVALID_HANDLE, 1, "ZEBOLDINSTALLINSTANCENAME");
    EXPECT_EQ(GetHxRegistryInfo(), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("Previous product: 0"));
}

// ---- Folders, language and origin -----------------------------------------------------------------

TEST_F(Prev, FoldersAndLanguageFromLevel51On) {
    OldInstallation({.vrmf = "5.0.0.0",
                     .folder = "C:\\Old HX",
                     .serverVersion = "5",
                     .serverRelease = "0",
                     .languageCode = "f",
                     .language = "Whatever",
                     .values = {{"ProgramFolder", "HX Menu"}}});
    EXPECT_EQ(GetHxRegistryInfo(), ZEB_RC_SUCCESS);
    EXPECT_STREQ(R().szProgramFolder, ""); // 50000: not read
    EXPECT_EQ(R().cLanguageCode, 'A');
    EXPECT_TRUE(TextsInOrder({"No language code", "No previous language; assuming US English"}));

    reg::SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Skyloft HX\\Installation\\Inst1",
                   "HXServerRelease", "1");
    EXPECT_EQ(GetHxRegistryInfo(), ZEB_RC_SUCCESS);
    EXPECT_STREQ(R().szProgramFolder, "C:\\Old HX");
    EXPECT_STREQ(R().szStartFolder, "HX Menu");
    EXPECT_EQ(R().cLanguageCode, 'F');
    EXPECT_STREQ(R().szLanguage, "French");
}

TEST_F(Prev, LanguageFromTheNameWhenTheCodeIsUnknown) {
    const struct {
        const char* code;
        const char* name;
        char expected;
        const char* expectedName;
        const char* trace;
    } cases[] = {
        {"x", "portugese", 'B', "Brazilian Portuguese", "Unknown language code 'X'"},
        {"", "ENGLISH", 'A', "US English", "No language code"},
        {"", "Klingon", 'A', "US English", "Unknown language 'Klingon'; assuming US English"},
        {"zh", "", 'Z', "Simplified Chinese", nullptr},
        {"t", "German", 'T', "Traditional Chinese", nullptr},
    };
    for (const auto& c : cases) {
        winsim::ClearEvents();
        msi::ClearMessages();
        reg::DeleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Skyloft HX");
        OldInstallation({.vrmf = "9.4.0.0",
                         .serverVersion = "9",
                         .serverRelease = "4",
                         .languageCode = c.code,
                         .language = c.name});
        EXPECT_EQ(GetHxRegistryInfo(), ZEB_RC_SUCCESS);
        EXPECT_EQ(R().cLanguageCode, c.expected) << c.code << "/" << c.name;
        EXPECT_STREQ(R().szLanguage, c.expectedName) << c.code << "/" << c.name;
        if (c.trace != nullptr) {
            EXPECT_TRUE(HasText(c.trace)) << c.trace;
        }
    }
}

TEST_F(Prev, OriginFromPackageTypeAndComponents) {
    const struct {
        const char* package;
        const char* type;
        std::vector<std::string> components;
        BOOL server, client;
        UINT summary;
        const char* trace;
    } cases[] = {
        {"Client", "", {}, FALSE, TRUE, 1066, "Existing installation origin is client CD"},
        {"Server", "Client", {}, FALSE, FALSE, 1068, "Existing installation origin is unknown"},
        {"server", "SERVER", {}, TRUE, FALSE, 1068, "Existing installation origin is server CD"},
        {"Client", "", {"MFT_Tools"}, TRUE, TRUE, 1066, "Existing installation origin is server CD"},
        {"", "", {"Additional Languages\\ja_jp", "JavaMsg"}, FALSE, FALSE, 1068, nullptr},
        {"", "", {"Additional Languages\\pt_br"}, TRUE, FALSE, 1068, nullptr},
        {"", "", {"GuiAdmin"}, TRUE, FALSE, 1068, nullptr},
    };
    for (const auto& c : cases) {
        ResetPrevState(); // the origin flags are cleared by the caller
        reg::DeleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Skyloft HX");
        OldInstallation({.vrmf = "9.4.0.0",
                         .package = c.package,
                         .productType = c.type,
                         .serverVersion = "9",
                         .serverRelease = "4",
                         .components = c.components});
        winsim::ClearEvents();
        msi::ClearMessages();
        EXPECT_EQ(GetHxRegistryInfo(), ZEB_RC_SUCCESS);
        EXPECT_EQ(R().bServerOrigin, c.server) << c.package << "/" << c.type;
        EXPECT_EQ(R().bClientOrigin, c.client) << c.package << "/" << c.type;
        EXPECT_EQ(R().uSummaryMessage, c.summary) << c.package << "/" << c.type;
        if (c.trace != nullptr) {
            EXPECT_TRUE(HasText(c.trace)) << c.trace;
        }
    }
    // Below 5.3 the older texts.
    ResetPrevState();
    reg::DeleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Skyloft HX");
    OldInstallation({.vrmf = "5.2.0.0", .package = "Client", .serverVersion = "5", .serverRelease = "2"});
    EXPECT_EQ(GetHxRegistryInfo(), ZEB_RC_SUCCESS);
    EXPECT_EQ(R().uSummaryMessage, 1065u);
}

TEST_F(Prev, ComponentFlagsAndTelemetry) {
    OldInstallation({.vrmf = "9.4.0.0",
                     .serverVersion = "9",
                     .serverRelease = "4",
                     .components = {"Local Clients\\Windows NT Client", "Local Clients\\Java Client",
                                    "Development Toolkit", "Internet Gateway",
                                    "Documentation\\Internet Gateway", "XR_Service", "AMQP", "JRE"}});
    reg::SetString(HKEY_LOCAL_MACHINE,
                   "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Corvane Skyloft HX Telemetry",
                   "InstallLocation", "C:\\XR\\bin", reg::View::Wow32);
    EXPECT_EQ(GetHxRegistryInfo(), ZEB_RC_SUCCESS);
    const ZebPrevRecord& r = R();
    EXPECT_EQ((std::vector<BOOL>{r.bServer, r.bWindowsClient, r.bJavaClient, r.bToolkit, r.bInternetGateway,
                                 r.bGatewayDocs, r.bTelemetryService, r.bAmqp, r.bJre, r.bWeb}),
              (std::vector<BOOL>{FALSE, TRUE, TRUE, TRUE, TRUE, TRUE, TRUE, TRUE, TRUE, FALSE}));
    EXPECT_STREQ(r.szTelemetryFolder, "C:\\XR");
    EXPECT_TRUE(HasText("Found standalone HXXR installed at 'C:\\XR'"));
    EXPECT_EQ(IsOldFeatureInstalled("Client"), 1);
    EXPECT_EQ(IsOldFeatureInstalled("JavaMsg"), 1);
    EXPECT_EQ(IsOldFeatureInstalled("Server"), 0);
    EXPECT_EQ(IsOldFeatureInstalled("Internet_gateway"), 1);
    EXPECT_TRUE(HasText("Old feature Internet_gateway is 1"));

    // A later call clears the flags and the telemetry folder first.
    reg::DeleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Skyloft HX\\Installation\\Inst1\\Components");
    reg::DeleteTree(HKEY_LOCAL_MACHINE,
                    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Corvane Skyloft HX Telemetry",
                    reg::View::Wow32);
    EXPECT_EQ(GetHxRegistryInfo(), ZEB_RC_SUCCESS);
    EXPECT_FALSE(R().bWindowsClient || R().bJre);
    EXPECT_STREQ(R().szTelemetryFolder, "");
    EXPECT_TRUE(HasText("Standalone HXXR not present"));
}

// ---- Previous features ----------------------------------------------------------------------------

int SummaryRow(const char* name) {
    for (int i = 0; i < ZEB_FEATURE_ROWS && SummaryFeature(i).pszName[0] != '\0'; i++)
        if (strcmp(SummaryFeature(i).pszName, name) == 0)
            return i;
    return -1;
}

TEST_F(Prev, JapaneseDocumentationMarkedByLanguageCode) {
    OldInstallation({.vrmf = "9.4.0.0",
                     .serverVersion = "9",
                     .serverRelease = "4",
                     .languageCode = "J",
                     .components = {"Documentation\\Library PDF", "Internet Gateway"}});
    EXPECT_EQ(GetHxRegistryInfo(), ZEB_RC_SUCCESS);
    EXPECT_TRUE(IsSummaryFeaturePrevInstalled(SummaryRow("docs_ja_jp_pdf")));
    EXPECT_TRUE(IsSummaryFeaturePrevInstalled(SummaryRow("Internet_gateway")));
    EXPECT_FALSE(IsSummaryFeaturePrevInstalled(SummaryRow("docs_ja_jp_eclipse")));
    EXPECT_FALSE(IsSummaryFeaturePrevInstalled(SummaryRow("docs_en_us_pdf")));
    EXPECT_TRUE(HasText("Previous feature 'docs_ja_jp_pdf' set installed"));
    EXPECT_EQ(IsOldFeatureInstalled("docs_ja_jp_pdf"), 1);
    EXPECT_EQ(IsOldFeatureInstalled("docs_ko_kr_pdf"), 0);
}

TEST_F(Prev, SetPrevInstalledMatchesExactly) {
    SetPrevInstalled("Nope");
    SetPrevInstalled("toolkit");
    EXPECT_TRUE(HasText("***Previous feature 'Nope' not found in table"));
    EXPECT_TRUE(HasText("***Previous feature 'toolkit' not found in table"));
    SetPrevInstalled("Toolkit");
    EXPECT_TRUE(IsSummaryFeaturePrevInstalled(SummaryRow("Toolkit")));
    EXPECT_EQ(IsOldFeatureInstalled("Toolkit"), 1); // the flag is 0, the table's mark answers
}

TEST_F(Prev, LegacyComponentStatesAnswerForDocumentation) {
    const int row = SummaryRow("docs_fr_fr_inet");
    ASSERT_GE(row, 0);
    const std::string component = SummaryFeature(row).pszLegacyComponent;
    ASSERT_FALSE(component.empty());
    for (int state :
         {INSTALLSTATE_LOCAL, INSTALLSTATE_SOURCE, INSTALLSTATE_SOURCEABSENT, INSTALLSTATE_ABSENT}) {
        msi::SetProductComponent(ZEB_LEGACY_PRODUCT_CODE, component, state, "C:\\Legacy\\x");
        EXPECT_EQ(IsOldFeatureInstalled("docs_fr_fr_inet"), state == INSTALLSTATE_ABSENT ? 0 : 1) << state;
    }
    // A row without a code and a name missing from the table answer without asking.
    const int calls = winsim::CallCount("MsiGetComponentPathA");
    EXPECT_EQ(IsOldFeatureInstalled("docs_hu_hu_inet"), 0);
    EXPECT_EQ(IsOldFeatureInstalled("NoSuchFeature"), 0);
    EXPECT_EQ(winsim::CallCount("MsiGetComponentPathA"), calls);
}

TEST_F(Prev, FeatureTablesAreWellFormed) {
    // Every documentation language the record knows has its three rows, each with a legacy code,
    // and no row name repeats within the product table.
    for (const char* lang :
         {"de_de", "en_us", "es_es", "fr_fr", "it_it", "ja_jp", "ko_kr", "pt_br", "zh_tw", "zh_cn"})
        for (const char* kind : {"eclipse", "pdf", "inet"}) {
            std::string name = std::string("docs_") + lang + "_" + kind;
            int row = SummaryRow(name.c_str());
            ASSERT_GE(row, 0) << name;
            EXPECT_NE(SummaryFeature(row).pszLegacyComponent[0], '\0') << name;
        }
    int summaryRows = 0;
    while (summaryRows < ZEB_FEATURE_ROWS && SummaryFeature(summaryRows).pszName[0] != '\0')
        summaryRows++;
    EXPECT_EQ(summaryRows, 75);
    std::set<std::string> names;
    for (int i = 0; i < ZEB_FEATURE_ROWS && ProductFeature(i).pszName[0] != '\0'; i++)
        EXPECT_TRUE(names.insert(ProductFeature(i).pszName).second) << ProductFeature(i).pszName;
    EXPECT_EQ(names.size(), 13u);
    EXPECT_STREQ(SummaryFeature(ZEB_FEATURE_ROWS).pszName, "");
    EXPECT_STREQ(SummaryFeature(-1).pszName, "");
}

// ---- The old Java add-on --------------------------------------------------------------------------

TEST_F(Prev, Qb17FolderFromTheUninstallString) {
    reg::SetString(HKEY_LOCAL_MACHINE, kQb17Key, "UninstallString", "\"C:\\Program Files\\QB17\\uninst.exe\"",
                   reg::View::Wow32);
    char java[ZEB_CCH_PATH], msiJava[ZEB_CCH_PATH];
    BOOL samples = TRUE;
    EXPECT_EQ(GetQb17Info(java, msiJava, &samples), ZEB_RC_SUCCESS);
    EXPECT_STREQ(java, "C:\\Program Files\\QB17");
    EXPECT_STREQ(msiJava, "");
    EXPECT_FALSE(samples);
    EXPECT_TRUE(HasText("Non-Msi Java path: 'C:\\Program Files\\QB17'"));

    reg::SetString(HKEY_LOCAL_MACHINE, kQb17Key, "UninstallString", "C:\\QB\\un.exe /x", reg::View::Wow32);
    EXPECT_EQ(GetQb17Info(java, msiJava, nullptr), ZEB_RC_SUCCESS);
    EXPECT_STREQ(java, "C:\\QB");
}

TEST_F(Prev, Qb17ComponentsOfTheKeptProduct) {
    msi::AddProduct("{0B170000-0000-0000-0000-000000000009}", kQb17Upgrade, INSTALLSTATE_ABSENT);
    msi::AddProduct(kQb17Product, kQb17Upgrade, INSTALLSTATE_DEFAULT, "QB17 Java");
    msi::SetProductComponent("{99999999-0000-0000-0000-000000000000}", kComp1, INSTALLSTATE_LOCAL,
                             "C:\\Other\\a");
    msi::SetProductComponent(kQb17Product, kComp2, INSTALLSTATE_LOCAL, "02:\\SOFTWARE\\QB17\\Key");
    msi::SetProductComponent(kQb17Product, kComp3, INSTALLSTATE_LOCAL, "C:\\Java\\lib\\Samples\\x.jar");
    msi::SetProductComponent(kQb17Product, "{C0000000-0000-0000-0000-000000000004}", INSTALLSTATE_LOCAL,
                             "C:\\Java\\lib\\y.jar");
    char java[ZEB_CCH_PATH], msiJava[ZEB_CCH_PATH];
    BOOL samples = FALSE;
    EXPECT_EQ(GetQb17Info(java, msiJava, &samples), ZEB_RC_SUCCESS);
    EXPECT_STREQ(msiJava, "C:\\Java\\lib\\Samples\\x.jar");
    EXPECT_TRUE(samples);
    EXPECT_TRUE(
        TextsInOrder({"Found QB17 product '{0B170000-0000-0000-0000-000000000009}'", " - not installed",
                      std::string("Found QB17 product '") + kQb17Product + "'", " - 'QB17 Java' is installed",
                      std::string("Found component '") + kComp2 + "' for '" + kQb17Product + "'",
                      "MSI Java path: '02:\\SOFTWARE\\QB17\\Key'",
                      std::string("Found component '") + kComp3 + "' for '" + kQb17Product + "'",
                      "MSI Java path: 'C:\\Java\\lib\\Samples\\x.jar'", "Java samples are installed"}));
    EXPECT_FALSE(HasTextContaining(kComp1));
    EXPECT_FALSE(HasTextContaining("{C0000000-0000-0000-0000-000000000004}")); // stopped at the first

    // Through the record: both flags.
    EXPECT_EQ(GetHxRegistryInfo(), ZEB_RC_SUCCESS);
    EXPECT_TRUE(R().bQb17Java);
    EXPECT_TRUE(R().bQb17Samples);
}

TEST_F(Prev, Qb17LibraryInTheProgramFolder) {
    fs::WriteFile("C:\\HX\\java\\lib\\com.corvane.hxjms.jar", "jar");
    msi::SetProperty("ZEBPGMFOLDER", "\"C:\\HX\\\"");
    char java[ZEB_CCH_PATH], msiJava[ZEB_CCH_PATH];
    EXPECT_EQ(GetQb17Info(java, msiJava, nullptr), ZEB_RC_SUCCESS);
    EXPECT_STREQ(msiJava, "C:\\HX\\java\\lib");
    EXPECT_TRUE(TextsInOrder(
        {"Found: 'C:\\HX\\java\\lib\\com.corvane.hxjms.jar'", "Non-MSI Java path: 'C:\\HX\\java\\lib'"}));

    // An installed server package owns the folder: not the add-on's.
    msi::AddProduct("{5E000000-0000-0000-0000-000000000001}", ZEB_UPGRADE_SERVER, INSTALLSTATE_DEFAULT);
    EXPECT_EQ(GetQb17Info(java, msiJava, nullptr), ZEB_RC_SUCCESS);
    EXPECT_STREQ(msiJava, "");
    EXPECT_TRUE(HasText("Product {5E000000-0000-0000-0000-000000000001} (Server) is installed"));

    // Looked at only while this package is not installed.
    msi::SetProperty("Installed", "1");
    EXPECT_EQ(GetQb17Info(java, msiJava, nullptr), ZEB_RC_SUCCESS);
    EXPECT_STREQ(msiJava, "C:\\HX\\java\\lib");
}

TEST_F(Prev, Qb17LibraryNotLookedForAfterLevel51OrFrom53) {
    fs::WriteFile("C:\\HX\\java\\lib\\com.corvane.hxjms.jar", "jar");
    msi::SetProperty("ZEBPGMFOLDER", "C:\\HX");
    char java[ZEB_CCH_PATH], msiJava[ZEB_CCH_PATH];
    for (LONG level : {50100, 50300, 90400}) {
        PrevRecord().lProduct = level;
        EXPECT_EQ(GetQb17Info(java, msiJava, nullptr), ZEB_RC_SUCCESS);
        EXPECT_STREQ(msiJava, "") << level;
    }
    PrevRecord().lProduct = 50200;
    EXPECT_EQ(GetQb17Info(java, msiJava, nullptr), ZEB_RC_SUCCESS);
    EXPECT_STREQ(msiJava, "C:\\HX\\java\\lib");

    // ZEBPGMFOLDER is read once per loaded copy.
    msi::SetProperty("ZEBPGMFOLDER", "C:\\Elsewhere");
    EXPECT_EQ(GetQb17Info(java, msiJava, nullptr), ZEB_RC_SUCCESS);
    EXPECT_STREQ(msiJava, "C:\\HX\\java\\lib");
}

TEST_F(Prev, Qb17FailedReadIsIgnoredByTheRecord) {
    winsim::FailCall("MsiGetPropertyA", ERROR_INVALID_HANDLE, 0, "ZEBPGMFOLDER");
    char java[ZEB_CCH_PATH], msiJava[ZEB_CCH_PATH];
    EXPECT_EQ(GetQb17Info(java, msiJava, nullptr), ZEB_RC_FAILURE);
    EXPECT_EQ(GetHxRegistryInfo(), ZEB_RC_SUCCESS);
    EXPECT_FALSE(R().bQb17Java);
}

} // namespace
