// The response file writer: its exact bytes, the feature lists, failures while writing, and the
// file read back by the response-file settings.
#include "zebiwicnSimpleCA.h"
#include "zebtest.h"

namespace {

namespace msi = winsim::msi;
namespace fs = winsim::fs;

const char kFile[] = "C:\\Out\\resp.ini";

class Response : public ZebTest {
  protected:
    void SetUp() override {
        ZebTest::SetUp();
        fs::MakeDirs("C:\\Out");
        SetProps({{"SAVEINI", "\"C:\\Out\\resp.ini\""},
                  {"ZEBINSTALLINSTANCENAME", "Installation1"},
                  {"ZEBINSTALLINSTANCEDESC", "Joe's QM"},
                  {"ZEBPGMFOLDER", "C:\\Program Files\\HX\\"},
                  {"ZEBDATFOLDER", "C:\\HXData\\"},
                  {"ZEBLOGFOLDER", "C:\\HXData\\log"},
                  {"ZEBPRODUCT", "server"},
                  {"VersionNT", "603"}});
    }
};

TEST_F(Response, ServerRunWritesTheStanzaExactly) {
    msi::DefineFeatures({{"Server", INSTALLSTATE_ABSENT, INSTALLSTATE_LOCAL},
                         {"AMS", INSTALLSTATE_LOCAL, INSTALLSTATE_UNKNOWN},
                         {"AMQP", INSTALLSTATE_LOCAL, INSTALLSTATE_ABSENT},
                         {"Client", INSTALLSTATE_ABSENT, INSTALLSTATE_UNKNOWN},
                         {"JRE", INSTALLSTATE_SOURCEABSENT, INSTALLSTATE_UNKNOWN},
                         {"Toolkit", INSTALLSTATE_ABSENT, INSTALLSTATE_SOURCE}});
    SetProps({{"KEEPQMDATA", "keep"}, {"WIZPARMFILE", "C:\\w.txt"}, {"HIGHCONTRAST", "1"}});
    EXPECT_EQ(iwiWriteResponseFile(h), ZEB_RC_SUCCESS);
    // Installed without an action stays local, source-absent is from source; features the package
    // does not have are left out; no ADVERTISE line, but an empty list would still get its line.
    EXPECT_EQ(File(kFile), "[Response]\r\n"
                           "INSTALLATIONNAME=\"Installation1\"\r\n"
                           "INSTALLATIONDESC=\"Joe's QM\"\r\n"
                           "MAKEPRIMARY=\"0\"\r\n"
                           "PGMFOLDER=\"C:\\Program Files\\HX\"\r\n"
                           "DATFOLDER=\"C:\\HXData\"\r\n"
                           "LOGFOLDER=\"C:\\HXData\\log\"\r\n"
                           "ADDLOCAL=\"Server,AMS\"\r\n"
                           "REMOVE=\"AMQP,Client\"\r\n"
                           "ADDSOURCE=\"JRE,Toolkit\"\r\n"
                           ";REMOVEFEATURES=\"yes\"\r\n"
                           "KEEPQMDATA=\"keep\"\r\n"
                           ";WIZPARMFILE=\"C:\\w.txt\"\r\n"
                           "HIGHCONTRAST=\"1\"\r\n");
    EXPECT_TRUE(TextsInOrder({"Writing response file 'C:\\Out\\resp.ini'", "'Server' Installed: 2 Action: 3",
                              "'JRE' Installed: -4 Action: -1"}));
    EXPECT_TRUE(HasText("'XR_Service' Installed: -1 Action: -1"));
}

TEST_F(Response, ClientOnlyRunHasNoLogFolderAndOnlyClientFeatures) {
    SetProps({{"ZEBCLIENT", "1"}, {"ZEBMAKEPRIMARY", "1"}});
    msi::DefineFeatures({{"Server", INSTALLSTATE_LOCAL, INSTALLSTATE_UNKNOWN},
                         {"Client", INSTALLSTATE_ABSENT, INSTALLSTATE_LOCAL},
                         {"Web", INSTALLSTATE_ABSENT, INSTALLSTATE_LOCAL},
                         {"JavaMsg", INSTALLSTATE_ABSENT, INSTALLSTATE_ADVERTISED},
                         {"docs_de_de", INSTALLSTATE_ABSENT, INSTALLSTATE_LOCAL}});
    SetProps({{"STARTSERVICE", "1"}, {"STARTTASKBAR", "0"}, {"USERCHOICE", "x"}, {"LAUNCHWIZ", "0"}});
    EXPECT_EQ(iwiWriteResponseFile(h), ZEB_RC_SUCCESS);
    // Server and Web are no client rows; docs_de_de has no display text.
    EXPECT_EQ(File(kFile), "[Response]\r\n"
                           "INSTALLATIONNAME=\"Installation1\"\r\n"
                           "INSTALLATIONDESC=\"Joe's QM\"\r\n"
                           "MAKEPRIMARY=\"1\"\r\n"
                           "PGMFOLDER=\"C:\\Program Files\\HX\"\r\n"
                           "DATFOLDER=\"C:\\HXData\"\r\n"
                           "ADDLOCAL=\"Client\"\r\n"
                           "REMOVE=\"\"\r\n"
                           "ADVERTISE=\"JavaMsg\"\r\n"
                           ";REMOVEFEATURES=\"yes\"\r\n"
                           "USERCHOICE=\"x\"\r\n"
                           "LAUNCHWIZ=\"0\"\r\n"
                           "STARTSERVICE=\"1\"\r\n"
                           "STARTTASKBAR=\"0\"\r\n");
    EXPECT_FALSE(HasTextContaining("'Server' Installed"));
}

TEST_F(Response, FileReadsBackWithTheSameSettings) {
    msi::SetProperty("ZEBINSTALLINSTANCEDESC", "Line one\r\nADDLOCAL=\"Evil\"");
    msi::DefineFeatures({{"Server", INSTALLSTATE_LOCAL, INSTALLSTATE_UNKNOWN},
                         {"AMS", INSTALLSTATE_ABSENT, INSTALLSTATE_UNKNOWN},
                         {"Toolkit", INSTALLSTATE_ABSENT, INSTALLSTATE_SOURCE}});
    EXPECT_EQ(iwiWriteResponseFile(h), ZEB_RC_SUCCESS);
    // A line break in a value would start a setting of its own: the value ends there.
    EXPECT_TRUE(HasText("Value of INSTALLATIONDESC written up to its line break"));

    for (const char* name : {"ZEBINSTALLINSTANCEDESC", "ZEBPGMFOLDER", "ZEBDATFOLDER", "ZEBLOGFOLDER"})
        msi::RemoveProperty(name);
    msi::SetProperty("USEINI", kFile);
    char szValue[ZEB_CCH_MSG];
    ASSERT_EQ(iwiGetIniProperty("INSTALLATIONDESC", szValue, NULL), 0u);
    EXPECT_STREQ(szValue, "Line one");
    ASSERT_EQ(iwiGetIniProperty("PGMFOLDER", szValue, NULL), 0u);
    EXPECT_STREQ(szValue, "C:\\Program Files\\HX");
    ASSERT_EQ(iwiGetIniProperty("LOGFOLDER", szValue, NULL), 0u);
    EXPECT_STREQ(szValue, "C:\\HXData\\log");
    ASSERT_EQ(iwiGetIniProperty("MAKEPRIMARY", szValue, NULL), 0u);
    EXPECT_STREQ(szValue, "0");
    ASSERT_EQ(iwiGetIniProperty("REMOVEFEATURES", szValue, NULL), 0u);
    EXPECT_STREQ(szValue, ""); // a comment
    int iState = 0;
    for (auto [feature, state] :
         std::vector<std::pair<const char*, int>>{{"Server", INSTALLSTATE_LOCAL},
                                                  {"AMS", INSTALLSTATE_ABSENT},
                                                  {"Toolkit", INSTALLSTATE_SOURCE},
                                                  {"Evil", ZEB_FEATURE_UNSPECIFIED}}) {
        ASSERT_EQ(iwiGetIniFeature(feature, "", &iState), 0u);
        EXPECT_EQ(iState, state) << feature;
    }
}

TEST_F(Response, EachFailedLineIsReportedAndLaterLinesTried) {
    UnpackLanguageLibrary();
    winsim::OnCall("WriteFile", 4, [] { winsim::FailCall("WriteFile", ERROR_DISK_FULL, 0, "resp.ini"); });
    winsim::OnCall("WriteFile", 6, [] { winsim::ClearFaults(); });
    EXPECT_EQ(iwiWriteResponseFile(h), ZEB_RC_FAILURE);
    std::string text = TableStrings("zebircan").at(2033);
    std::string box = text;
    box.replace(box.find("%2"), 2, kFile);
    box.replace(box.find("%1"), 2, "112");
    EXPECT_EQ(MessageBoxes(), (std::vector<std::string>{box, box}));
    std::string written = File(kFile);
    EXPECT_EQ(written.find("MAKEPRIMARY"), std::string::npos);
    EXPECT_EQ(written.find("PGMFOLDER"), std::string::npos);
    EXPECT_NE(written.find("DATFOLDER=\"C:\\HXData\"\r\n"), std::string::npos);
    EXPECT_NE(written.find(";REMOVEFEATURES"), std::string::npos);
    EXPECT_TRUE(HasTextContaining("***Can't write 'MAKEPRIMARY=\"0\"' to response file"));
}

TEST_F(Response, UncreatableFileIsReportedWithoutFailing) {
    UnpackLanguageLibrary();
    fs::WriteFile(kFile, "x");
    fs::Lock(kFile);
    EXPECT_EQ(iwiWriteResponseFile(h), ZEB_RC_SUCCESS);
    ASSERT_EQ(MessageBoxes().size(), 1u);
    EXPECT_NE(MessageBoxes()[0].find("C:\\Out\\resp.ini' (error 32)"), std::string::npos);
    EXPECT_FALSE(HasTextContaining("Writing response file"));
}

TEST_F(Response, NoFileWithoutSaveIniAndNoneDeferred) {
    msi::SetProperty("SAVEINI", "");
    EXPECT_EQ(iwiWriteResponseFile(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(winsim::CallCount("CreateFileA"), 0);
    msi::SetProperty("SAVEINI", kFile);
    EXPECT_EQ(RunDeferred(iwiWriteResponseFile, "SAVEINI=C:\\Out\\resp.ini;"), ZEB_RC_FAILURE);
    EXPECT_EQ(File(kFile), "<absent>");
}

TEST_F(Response, FailedFeatureQueryFailsRatherThanDropTheFeature) {
    msi::DefineFeatures({{"Server", INSTALLSTATE_LOCAL, INSTALLSTATE_UNKNOWN}});
    winsim::FailCall("MsiGetFeatureStateA", ERROR_INVALID_HANDLE, 1);
    EXPECT_EQ(iwiWriteResponseFile(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("Error 6 from MsiGetFeatureState(Server)"));
    EXPECT_EQ(File(kFile).find("ADDLOCAL"), std::string::npos);
}

} // namespace
