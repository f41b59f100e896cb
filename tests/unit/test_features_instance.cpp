// Per-instance component codes: the identity table against the test package, and
// iwiRuntimeMVChanges on both kinds of view cursor.
#include "zebiwicnFeatures.h"
#include "zebtest.h"

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

namespace {

namespace msi = winsim::msi;

bool IsGuidText(const char* text) {
    static const std::regex guid("\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}");
    return std::regex_match(text, guid);
}

int RowOf(const std::string& name) {
    for (int i = 0; i < ZEB_COMPONENT_ROWS; i++)
        if (name == g_aComponentIdentities[i].szName)
            return i;
    return -1;
}

TEST(ComponentIdentities, CodesAreWellFormedAndDistinct) {
    std::set<std::string> codes;
    std::set<std::string> names;
    int duplicates = 0;
    for (const ZebComponentIdentity& row : g_aComponentIdentities) {
        EXPECT_NE(std::string(row.szName).find("_Instance1"), std::string::npos) << row.szName;
        duplicates += names.insert(row.szName).second ? 0 : 1;
        for (const auto& code : row.aszCodes) {
            EXPECT_TRUE(IsGuidText(code)) << row.szName << " " << code;
            EXPECT_TRUE(codes.insert(code).second) << "repeated " << code;
        }
    }
    EXPECT_EQ(codes.size(), size_t(ZEB_COMPONENT_ROWS * ZEB_MAX_INSTANCE));
    EXPECT_EQ(duplicates, 1); // MFT_Service_base_Instance1, whose first row wins
}

TEST(ComponentIdentities, EveryPackageComponentInstallsAsBuiltForInstanceOne) {
    std::ifstream in(ZEB_TEST_PACKAGE_WXS);
    ASSERT_TRUE(in.good());
    std::stringstream text;
    text << in.rdbuf();
    std::string wxs = text.str();
    static const std::regex component("<Component Id=\"([^\"]*_Instance1[^\"]*)\" Guid=\"(\\{[^\"]*\\})\"");
    int found = 0;
    for (auto it = std::sregex_iterator(wxs.begin(), wxs.end(), component); it != std::sregex_iterator();
         ++it) {
        found++;
        int row = RowOf((*it)[1]);
        ASSERT_GE(row, 0) << (*it)[1];
        EXPECT_EQ(g_aComponentIdentities[row].aszCodes[0], (*it)[2].str()) << (*it)[1];
    }
    EXPECT_GT(found, 0);
}

class Instances : public ZebTest {
  protected:
    void SetUp() override {
        ZebTest::SetUp();
        msi::DefineStandardTable("Component");
        for (const char* name :
             {"Base_base_Instance1", "Docs", "Server_base_Instance1", "Web_base_Instance1"})
            msi::AddRow("Component",
                        {msi::Field::str(name), msi::Field::str("{00000000-0000-0000-0000-000000000001}"),
                         msi::Field::str("INSTALLDIR"), msi::Field::integer(0), msi::Field::null(),
                         msi::Field::null()});
    }
    static std::string CodeOf(const std::string& component) {
        for (const msi::Row& row : msi::Rows("Component"))
            if (row.fields[0].s == component)
                return row.fields[1].s;
        return "<none>";
    }
    static std::string Code(const std::string& component, int instance) {
        return g_aComponentIdentities[RowOf(component)].aszCodes[instance - 1];
    }
};

TEST_F(Instances, InvalidInstanceNumbersChangeNothing) {
    for (const char* id : {"0", "128", "99999999999999", "", "x"}) {
        msi::SetProperty("ZEBINSTANCEID", id);
        EXPECT_EQ(iwiRuntimeMVChanges(h), ZEB_RC_FAILURE) << id;
    }
    EXPECT_TRUE(HasText("***Instance id 128 is invalid (128)"));
    // Held, not wrapped into 1-127.
    EXPECT_TRUE(HasText("***Instance id 99999999999999 is invalid (128)"));
    EXPECT_TRUE(HasText("***Instance id 0 is invalid (0)"));
    EXPECT_EQ(CodeOf("Base_base_Instance1"), "{00000000-0000-0000-0000-000000000001}");
}

TEST_F(Instances, EachInstanceComponentTakesItsInstanceCode) {
    msi::SetProperty("ZEBINSTANCEID", "127");
    EXPECT_EQ(iwiRuntimeMVChanges(h), 0u);
    for (const char* name : {"Base_base_Instance1", "Server_base_Instance1", "Web_base_Instance1"})
        EXPECT_EQ(CodeOf(name), Code(name, 127)) << name;
    EXPECT_EQ(CodeOf("Docs"), "{00000000-0000-0000-0000-000000000001}");
    EXPECT_TRUE(TextsInOrder(
        {"Modifying the component GUIDs",
         "Updating guid for Base_base_Instance1 to " + Code("Base_base_Instance1", 127) + " (127)",
         "Updating guid for Server_base_Instance1 to " + Code("Server_base_Instance1", 127) + " (127)"}));
    for (const msi::Row& row : msi::Rows("Component"))
        EXPECT_EQ(row.temporary, row.fields[0].s != "Docs") << row.fields[0].s;
}

TEST_F(Instances, WineLikeCursorRewritesEachComponentOnce) {
    msi::SetWineViews(true);
    msi::SetProperty("ZEBINSTANCEID", "2");
    EXPECT_EQ(iwiRuntimeMVChanges(h), 0u);
    int updates = 0;
    for (const std::string& t : Texts())
        updates += t.rfind("Updating guid for ", 0) == 0 ? 1 : 0;
    EXPECT_EQ(updates, 3);
    EXPECT_TRUE(HasText("Component Base_base_Instance1 already updated - skipping"));
    EXPECT_EQ(CodeOf("Web_base_Instance1"), Code("Web_base_Instance1", 2));
    EXPECT_EQ(msi::Rows("Component").size(), 4u);
}

TEST_F(Instances, UnknownComponentStopsAndKeepsEarlierRewrites) {
    msi::AddRow("Component",
                {msi::Field::str("Extra_base_Instance1"),
                 msi::Field::str("{00000000-0000-0000-0000-000000000009}"), msi::Field::str("INSTALLDIR"),
                 msi::Field::integer(0), msi::Field::null(), msi::Field::null()});
    msi::SetProperty("ZEBINSTANCEID", "5");
    EXPECT_EQ(iwiRuntimeMVChanges(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***Instance id 5 is invalid (5) for component Extra_base_Instance1"));
    EXPECT_EQ(CodeOf("Web_base_Instance1"), Code("Web_base_Instance1", 5));
}

TEST_F(Instances, DatabaseFailuresNameTheirCall) {
    msi::SetProperty("ZEBINSTANCEID", "3");
    struct {
        const char* function;
        int nth;
        const char* call;
        const char* rc;
    } const cases[] = {
        {"MsiGetActiveDatabase", 1, "MsiGetActiveDatabase", "6"}, // a handle: no code of its own
        {"MsiDatabaseOpenViewA", 1, "MsiDatabaseOpenView", "1627"},
        {"MsiViewExecute", 1, "MsiViewExecute", "1627"},
        {"MsiViewFetch", 2, "MsiViewFetch", "1627"},
        {"MsiViewModify", 1, "MsiViewModify(delete)", "1627"},
        {"MsiViewModify", 2, "MsiViewModify(insert temp)", "1627"}};
    for (const auto& c : cases) {
        winsim::ClearFaults();
        winsim::FailCall(c.function, ERROR_FUNCTION_FAILED, c.nth);
        EXPECT_EQ(iwiRuntimeMVChanges(h), ZEB_RC_FAILURE) << c.call;
        EXPECT_TRUE(HasText(std::string("***") + c.call + " failed (rc " + c.rc + "); extended error: none"))
            << c.call;
    }
}

TEST_F(Instances, ExtendedErrorShowsTheInstallersRecord) {
    msi::DropTable("Component");
    msi::SetProperty("ZEBINSTANCEID", "3");
    EXPECT_EQ(iwiRuntimeMVChanges(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasTextMatching(
        "^\\*\\*\\*MsiDatabaseOpenView failed \\(rc 1615\\); extended error: '.*2228.*Component"));
}

} // namespace
