// iwiTestLosingFeatures: the separately installed Java support, the legacy documentation, and the
// question about the queue managers' data.
#include "zebiwicnFeatures.h"
#include "zebtest.h"

namespace {

namespace msi = winsim::msi;

const char kQb17Upgrade[] = "{37C07B43-CAD0-11D4-B2C4-000629BE98FC}";
const char kQb17Product[] = "{0B170000-0000-0000-0000-000000000001}";
const char kQb17Component[] = "{C0000000-0000-0000-0000-000000000003}";
const char kLegacyEclipseEn[] = "{C5210D0C-0001-4D0C-9A5E-521000000001}";
const char kLegacyPdfDe[] = "{C5210D0C-0000-4D0C-9A5E-521000000002}";

class Losing : public ZebTest {
  protected:
    void SetUp() override {
        ZebTest::SetUp();
        msi::DefineStandardTable("ListBox");
        UnpackLanguageLibrary();
        strings = TableStrings("zebircan");
        SetProps({{"ZEBPGMFOLDER", "C:\\HX\\"}, {"ZEBINSTALLINSTANCENAME", "Inst2"}});
    }
    static std::vector<std::string> List() {
        std::vector<std::string> out;
        for (const msi::Row& row : msi::Rows("ListBox"))
            if (row.fields[0].s == "ZEBLOSEFEATURESLIST")
                out.push_back(row.fields[3].s);
        return out;
    }
    std::string Reason(unsigned id) {
        std::string text = strings[1022];
        text.replace(text.find("%1"), 2, strings[id]);
        return "     " + text;
    }
    static void MsiJava(const std::string& path) {
        msi::AddProduct(kQb17Product, kQb17Upgrade, INSTALLSTATE_DEFAULT, "QB17 Java");
        msi::SetProductComponent(kQb17Product, kQb17Component, INSTALLSTATE_LOCAL, path);
    }
    std::map<unsigned, std::string> strings;
};

TEST_F(Losing, NothingToLose) {
    msi::DefineFeatures({{"Server", INSTALLSTATE_LOCAL, INSTALLSTATE_UNKNOWN}});
    msi::SetProperty("ZEBHAVEQMS", "1");
    EXPECT_EQ(iwiTestLosingFeatures(h), 0u);
    EXPECT_TRUE(TextsInOrder({"Java SupportPac is not installed", "'Server' Installed: 3 Action: -1"}));
    EXPECT_EQ(Props({"ZEBWARNFEATURES", "ZEBLOSINGJAVA", "ZEBQUERYQMDATA"}),
              (std::vector<std::string>{"0", "", ""}));
    EXPECT_TRUE(List().empty());
}

TEST_F(Losing, JavaSupportInTheProgramFolderAndLegacyDocumentation) {
    MsiJava("C:\\HX\\java\\lib\\Samples\\x.jar");
    msi::SetProductComponent(ZEB_LEGACY_PRODUCT_CODE, kLegacyEclipseEn, INSTALLSTATE_SOURCEABSENT,
                             "C:\\D\\e");
    msi::SetProductComponent(ZEB_LEGACY_PRODUCT_CODE, kLegacyPdfDe, INSTALLSTATE_ABSENT, "C:\\D\\p");
    EXPECT_EQ(iwiTestLosingFeatures(h), 0u);
    EXPECT_TRUE(TextsInOrder({"MSI Java SupportPac is installed; same path",
                              "V5.2.1 feature 'docs_de_de_pdf' is not installed",
                              "V5.2.1 feature 'docs_en_us_eclipse' is installed (state '-4')"}));
    EXPECT_EQ(Prop("ZEBLOSINGJAVA"), "1");
    EXPECT_EQ(Prop("ZEBWARNFEATURES"), "1");
    // The eclipse row has no text of its own in the table: its feature name is shown.
    EXPECT_EQ(List(), (std::vector<std::string>{strings[1130], Reason(1024), " ", "docs_en_us_eclipse",
                                                Reason(1023)}));
}

TEST_F(Losing, JavaSupportElsewhereAndFlaggedFeatures) {
    MsiJava("C:\\HXjava\\lib\\x.jar"); // shares the start of the name only
    SetSummaryFeaturePrevInstalled(0); // Server, with a display text
    EXPECT_EQ(iwiTestLosingFeatures(h), 0u);
    EXPECT_TRUE(HasText("MSI Java SupportPac is installed; different path"));
    EXPECT_TRUE(HasText("V5.2.1 feature 'Server' flag set"));
    EXPECT_TRUE(HasText("V5.2.1 feature 'Server' is installed (state '3')"));
    EXPECT_EQ(List(),
              (std::vector<std::string>{strings[1130], Reason(1024), " ", strings[10000], Reason(1023)}));
}

TEST_F(Losing, QueueManagerQuestionOnlyWithoutOtherServers) {
    msi::SetProperty("ZEBHAVEQMS", "1");
    msi::DefineFeatures({{"Server", INSTALLSTATE_LOCAL, INSTALLSTATE_ABSENT}});
    EXPECT_EQ(iwiTestLosingFeatures(h), 0u);
    EXPECT_EQ(Prop("ZEBQUERYQMDATA"), "1");
    EXPECT_TRUE(HasText("Permitting querying of whether to remove the QMgr data"));

    // Another server installation keeps the data out of the question, even when Server goes.
    AddInstallation({.name = "Other", .identifier = "1", .components = {"Server"}});
    EXPECT_EQ(iwiTestLosingFeatures(h), 0u);
    EXPECT_EQ(Prop("ZEBQUERYQMDATA"), "");
    EXPECT_TRUE(HasText("Disallowing querying of whether to remove the QMgr data - other servers exist."));
}

TEST_F(Losing, RemovalTestsAndRefusals) {
    msi::SetProperty("ZEBHAVEQMS", "yes");
    msi::DefineFeatures({{"Server", INSTALLSTATE_LOCAL, INSTALLSTATE_UNKNOWN}});
    for (const char* prop : {"ZEBREMOVE", "_IsMaintenance"}) {
        msi::SetProperty(prop, prop[0] == 'Z' ? "1" : "Remove");
        EXPECT_EQ(iwiTestLosingFeatures(h), 0u);
        EXPECT_EQ(Prop("ZEBQUERYQMDATA"), "yes") << prop;
        msi::SetProperty(prop, "");
    }
    EXPECT_EQ(iwiTestLosingFeatures(h), 0u);
    EXPECT_EQ(Prop("ZEBQUERYQMDATA"), "");

    EXPECT_EQ(RunDeferred(iwiTestLosingFeatures, "ZEBHAVEQMS=1;", MSIRUNMODE_SCHEDULED), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasTextContaining("***CA execute error; run mode must not be 'MSIRUNMODE_"));
}

} // namespace
