// Installer database helpers: temporary rows and the result check.
#include "zebtest.h"

namespace {

namespace msi = winsim::msi;

using Db = ZebTest;

const ULONG_PTR kListRow[] = {(ULONG_PTR) "LIST", 5, (ULONG_PTR) "v", (ULONG_PTR) "Text"};

TEST_F(Db, RowGoesInWithIntegersTextsAndNullsAsTheBitsSay) {
    msi::DefineStandardTable("Registry");
    const ULONG_PTR values[] = {(ULONG_PTR) "R1", (ULONG_PTR)(unsigned)-1, (ULONG_PTR) "SOFTWARE\\HX",
                                (ULONG_PTR) "",   (ULONG_PTR)NULL,         (ULONG_PTR) "Comp"};
    EXPECT_EQ(AddTableRecord("Registry", 6, 0x2, values), 0u);
    auto rows = msi::Rows("Registry");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_TRUE(rows[0].temporary);
    EXPECT_EQ(rows[0].fields[1].kind, msi::Field::Int);
    EXPECT_EQ(rows[0].fields[1].i, -1);
    EXPECT_EQ(rows[0].fields[2].s, "SOFTWARE\\HX");
    EXPECT_EQ(rows[0].fields[3].kind, msi::Field::Null);
    EXPECT_EQ(rows[0].fields[4].kind, msi::Field::Null);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Table 'Registry' row added; 6 fields"}));

    iiiSetReducedCSDLogging(TRUE);
    const ULONG_PTR second[] = {(ULONG_PTR) "R2",  2, (ULONG_PTR) "K", (ULONG_PTR) "N", (ULONG_PTR) "V",
                                (ULONG_PTR) "Comp"};
    EXPECT_EQ(AddTableRecord("Registry", 6, 0x2, second), 0u);
    EXPECT_EQ(msi::Rows("Registry").size(), 2u);
    EXPECT_EQ(Texts().size(), 1u);
}

TEST_F(Db, MissingTableIsExplainedAndIgnored) {
    EXPECT_EQ(AddTableRecord("ListBox", 4, 0x2, kListRow), 0u);
    EXPECT_EQ(Texts(),
              (std::vector<std::string>{
                  "AddTableRecord: MsiDatabaseOpenView failed, rc=1615,",
                  "AddTableRecord: Table=ListBox, fields=4, fieldBits=2, SQL query=\"SELECT * FROM ListBox\"",
                  "AddTableRecord: MsiDatabaseOpenView(...) Extended Error: \"1: 2228 2:  3: ListBox 4: "
                  "SELECT * FROM ListBox \"",
                  "AddTableRecord: Ignoring extended error 2228 (required table is empty - or missing).",
              }));
    EXPECT_FALSE(msi::HasTable("ListBox"));
}

TEST_F(Db, OpenFailureWithoutTheMissingTableRecordFails) {
    // Wine's engine answers a missing table with 1615 and no error record at all.
    winsim::FailCall("MsiGetLastErrorRecord", ERROR_FUNCTION_FAILED);
    EXPECT_EQ(AddTableRecord("ListBox", 4, 0x2, kListRow), ZEB_RC_FAILURE);
    EXPECT_TRUE(
        TextsInOrder({"AddTableRecord: MsiDatabaseOpenView failed, rc=1615,",
                      "AddTableRecord: Formatting MsiDatabaseOpenView(...) extended error failed (rc=6)",
                      kBanner1, "***MsiDatabaseOpenView('SELECT * FROM ListBox') failed (1615)"}));
    EXPECT_FALSE(HasTextContaining("Ignoring extended error"));
}

TEST_F(Db, AFieldThatFailsToSetLeavesNoRowAndGivesItsCode) {
    msi::DefineStandardTable("ListBox");
    winsim::FailCall("MsiRecordSetStringA", ERROR_INVALID_PARAMETER, 1, "v");
    EXPECT_EQ(AddTableRecord("ListBox", 4, 0x2, kListRow), (UINT)ERROR_INVALID_PARAMETER);
    // Texts count fields from 1, integers from 0.
    EXPECT_TRUE(HasText("***MsiRecordSetString('Field 3 'v'') failed (87)"));
    winsim::ClearFaults();
    winsim::FailCall("MsiRecordSetInteger", ERROR_INVALID_HANDLE);
    EXPECT_EQ(AddTableRecord("ListBox", 4, 0x2, kListRow), (UINT)ERROR_INVALID_HANDLE);
    EXPECT_TRUE(HasText("***MsiRecordSetInteger('Field 1 '0x00000005'') failed (6)"));
    winsim::ClearFaults();
    winsim::FailCall("MsiRecordSetStringA", ERROR_INVALID_HANDLE, 3); // the third text field
    const ULONG_PTR nullText[] = {(ULONG_PTR) "LIST", 5, (ULONG_PTR) "v", (ULONG_PTR)NULL};
    EXPECT_EQ(AddTableRecord("ListBox", 4, 0x2, nullText), (UINT)ERROR_INVALID_HANDLE);
    EXPECT_TRUE(HasText("***MsiRecordSetString('Field 4 NULL') failed (6)"));
    EXPECT_TRUE(msi::Rows("ListBox").empty());
    EXPECT_FALSE(HasTextContaining("row added"));
}

TEST_F(Db, EachOtherInstallerCallFailsTheRowWithItsOwnLine) {
    msi::DefineStandardTable("ListBox");
    // The calls that return a handle fail with 0, and the row with 1603.
    struct Case {
        const char* call;
        UINT rc;
        const char* line;
    } cases[] = {
        {"MsiGetActiveDatabase", ZEB_RC_FAILURE, "***MsiGetActiveDatabase(ListBox) failed"},
        {"MsiViewExecute", ERROR_INVALID_HANDLE, "***MsiViewExecute('SELECT * FROM ListBox') failed (6)"},
        {"MsiCreateRecord", ZEB_RC_FAILURE, "***MsiCreateRecord(ListBox, 4) failed"},
        {"MsiViewModify", ERROR_INVALID_HANDLE, "***MsiViewModify('MSIMODIFY_INSERT_TEMPORARY') failed (6)"},
    };
    for (const Case& c : cases) {
        winsim::FailCall(c.call, ERROR_INVALID_HANDLE, 1);
        EXPECT_EQ(AddTableRecord("ListBox", 4, 0x2, kListRow), c.rc) << c.call;
        EXPECT_TRUE(HasText(c.line)) << c.call;
        winsim::ClearFaults();
    }
    EXPECT_TRUE(msi::Rows("ListBox").empty());
    // A view that will not close after the row went in: the row stays, the code is the result.
    winsim::FailCall("MsiViewClose", ERROR_INVALID_HANDLE);
    EXPECT_EQ(AddTableRecord("ListBox", 4, 0x2, kListRow), (UINT)ERROR_INVALID_HANDLE);
    EXPECT_TRUE(HasText("***MsiViewClose('ListBox') failed (6)"));
    EXPECT_EQ(msi::Rows("ListBox").size(), 1u);
}

} // namespace

namespace {

namespace msi = winsim::msi;

using DbHelpers = ZebTest;

TEST_F(DbHelpers, FeatureStatesIgnoreAMissingFeatureOnly) {
    msi::AddFeature("Server", INSTALLSTATE_ABSENT, INSTALLSTATE_UNKNOWN);
    EXPECT_EQ(SetFeatureState("Server", INSTALLSTATE_SOURCE), 0u);
    EXPECT_EQ(msi::Feature("Server")->second, INSTALLSTATE_SOURCE);
    EXPECT_EQ(SetFeatureState("Nope", INSTALLSTATE_ABSENT), 0u);
    winsim::FailCall("MsiSetFeatureStateA", ERROR_INVALID_HANDLE, 1);
    EXPECT_EQ(SetFeatureState("Server", INSTALLSTATE_DEFAULT), ZEB_RC_FAILURE);
    EXPECT_EQ(
        Texts(),
        (std::vector<std::string>{
            "'Server' feature state set to INSTALLSTATE_SOURCE",
            "Ignoring MsiSetFeatureState(Nope, INSTALLSTATE_ABSENT) rc: 0x00000646 due to missing feature",
            kBanner1, kBanner2, "***MsiSetFeatureState(Server, 00000005) rc: 0x00000006"}));

    UINT uiStat = 0;
    EXPECT_EQ(SwitchFeature("Server", TRUE, &uiStat), 0u);
    EXPECT_EQ(msi::Feature("Server")->second, INSTALLSTATE_LOCAL);
    EXPECT_EQ(SwitchFeature("Server", FALSE, &uiStat), 0u);
    EXPECT_EQ(msi::Feature("Server")->second, INSTALLSTATE_ABSENT);
    EXPECT_EQ(uiStat, 0u);
    winsim::FailCall("MsiSetFeatureStateA", ERROR_INVALID_HANDLE, 1);
    EXPECT_EQ(SwitchFeature("Server", TRUE, &uiStat), ZEB_RC_FAILURE);
    EXPECT_EQ(uiStat, ZEB_RC_FAILURE);
    // The names other Parts trace: the whole range, and the others by number.
    EXPECT_STREQ(InstallStateName(-6), "INSTALLSTATE_BADCONFIG");
    EXPECT_STREQ(InstallStateName(6), "Unknown(6)");
}

TEST_F(DbHelpers, ProductComparisonReadsTheCodesOnceAndIgnoresCase) {
    SetProps({{"UpgradeCode", "{5A8B5D80-6DCC-4317-9922-99EC0093BF24}"}, {"ProductVersion", "9.4.0.0"}});
    int iMatch = -1;
    EXPECT_EQ(iwiCompareProduct("{5a8b5d80-6dcc-4317-9922-99ec0093bf24}", &iMatch), 0u);
    EXPECT_EQ(iMatch, 1);
    msi::SetProperty("UpgradeCode", "{00000000-0000-0000-0000-000000000000}");
    EXPECT_EQ(iwiCompareProduct("{8D1C5EA1-A4C5-4967-97FA-77FE6D4B5EA7}", &iMatch), 0u);
    EXPECT_EQ(iMatch, 0);
    EXPECT_STREQ(CachedProductVersion(), "9.4.0.0");
    EXPECT_EQ(Texts().size(), 2u); // each property read once

    EXPECT_STREQ(iwiGetProductStaticData(3, NULL), "HX Client");
    EXPECT_STREQ(iwiGetProductStaticData(2, "0.0.1"), "HX");
    EXPECT_STREQ(iwiGetProductStaticData(3, "9.4"), "static data error");
    EXPECT_STREQ(iwiGetProductStaticData(7, NULL), "");
    EXPECT_TRUE(HasText("Type 3 product data is 'HX Client' (version '0.0')"));
}

TEST_F(DbHelpers, ProductComparisonFailsWhenTheCodeCannotBeRead) {
    msi::SetProperty("UpgradeCode", std::string(64, 'x'));
    int iMatch = -1;
    EXPECT_EQ(iwiCompareProduct("x", &iMatch), ZEB_RC_FAILURE);
    EXPECT_EQ(iMatch, 0);
    EXPECT_STREQ(iwiGetProductStaticData(2, NULL), "static data error");
}

TEST_F(DbHelpers, ClearedListBoxTakesValuesOneTwoThree) {
    Tables("Property\tOrder\tValue\tText\ns72\ti2\ts64\tL64\nListBox\tProperty\tOrder\n"
           "ZEBSUMMARYLIST\t1\told\tOld line\nZEBSUMMARYLISTX\t1\tx\tOther list\n");
    AddListboxItemValue("ZEBSUMMARYLIST", "before", NULL);
    EXPECT_EQ(ClearListbox("ZEBSUMMARYLIST"), 0u);
    EXPECT_EQ(msi::Property("ZEBSUMMARYLIST").value_or(""), " ");
    for (const char* text : {"first", "second", "third"})
        EXPECT_EQ(AddListboxItemValue("ZEBSUMMARYLIST", text, NULL), 0u);
    EXPECT_EQ(AddListboxItemValue("ZEBSUMMARYLIST", "chosen", "{CODE}"), 0u);
    std::vector<std::string> rows;
    for (const msi::Row& row : msi::Rows("ListBox"))
        rows.push_back(row.fields[0].s + " " + std::to_string(row.fields[1].i) + " " + row.fields[2].s + " " +
                       row.fields[3].s);
    EXPECT_EQ(rows, (std::vector<std::string>{"ZEBSUMMARYLISTX 1 x Other list", "ZEBSUMMARYLIST 1 1 first",
                                              "ZEBSUMMARYLIST 2 2 second", "ZEBSUMMARYLIST 3 3 third",
                                              "ZEBSUMMARYLIST 4 {CODE} chosen"}));
    EXPECT_TRUE(HasText("Listbox line added: 'ZEBSUMMARYLIST' order: 4 item: 'chosen' value: '{CODE}'"));
}

TEST_F(DbHelpers, ListBoxFailuresNameTheirCall) {
    msi::DefineStandardTable("ListBox");
    winsim::FailCall("MsiGetActiveDatabase", ERROR_INVALID_HANDLE, 1);
    EXPECT_EQ(AddListboxItemValue("P", "text", NULL), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***MsiGetActiveDatabase(P, text) failed"));
    winsim::FailCall("MsiCreateRecord", ERROR_INVALID_HANDLE, 1);
    EXPECT_EQ(AddListboxItemValue("P", "text", NULL), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***MsiCreateRecord(P, text) failed"));
    winsim::FailCall("MsiViewModify", ERROR_FUNCTION_FAILED, 1);
    EXPECT_EQ(AddListboxItemValue("P", "text", NULL), (UINT)ERROR_FUNCTION_FAILED);
    EXPECT_TRUE(msi::Rows("ListBox").empty());

    winsim::FailCall("MsiGetActiveDatabase", ERROR_INVALID_HANDLE, 1);
    EXPECT_EQ(ClearListbox("P"), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***MsiGetActiveDatabase() failed"));
    EXPECT_EQ(AddListboxItemValue("P", "text", NULL), 0u);
    winsim::FailCall("MsiViewModify", ERROR_FUNCTION_FAILED, 1);
    EXPECT_EQ(ClearListbox("P"), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***MsiViewModify('MSIMODIFY_DELETE') failed (1627)"));
    winsim::FailCall("MsiSetPropertyA", ERROR_FUNCTION_FAILED, 1);
    EXPECT_EQ(ClearListbox("P"), ZEB_RC_FAILURE);
    EXPECT_EQ(msi::Rows("ListBox").size(), 1u);
}

TEST_F(DbHelpers, InstallingComponentIsTheFirstLocalOneAndKept) {
    Tables("Component\tComponentId\tDirectory_\tAttributes\tCondition\tKeyPath\n"
           "s72\tS38\ts72\ti2\tS255\tS72\nComponent\tComponent\n"
           "Docs\t\tINSTALLDIR\t0\t\t\nBase_base_Instance2\t\tINSTALLDIR\t0\t\t\n"
           "Server_base_Instance2\t\tINSTALLDIR\t0\t\t\n");
    msi::AddComponent("Docs", INSTALLSTATE_LOCAL, INSTALLSTATE_UNKNOWN);
    msi::AddComponent("Base_base_Instance2", INSTALLSTATE_ABSENT, INSTALLSTATE_LOCAL);
    msi::AddComponent("Server_base_Instance2", INSTALLSTATE_ABSENT, INSTALLSTATE_LOCAL);
    EXPECT_STREQ(GetInstallingComponent("Base_base_Instance1"), "Base_base_Instance2");
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Component 'Docs' Installed: 3 Action: -1",
                                                 "Component 'Base_base_Instance2' Installed: 2 Action: 3"}));
    msi::AddComponent("Base_base_Instance2", INSTALLSTATE_ABSENT, INSTALLSTATE_ABSENT);
    EXPECT_STREQ(GetInstallingComponent("Other"), "Base_base_Instance2");
    EXPECT_EQ(Texts().size(), 2u);
}

TEST_F(DbHelpers, InstallingComponentDefaultsWhenNoneIsInstalledAndKeepsThatToo) {
    msi::DefineStandardTable("Component");
    EXPECT_STREQ(GetInstallingComponent("Base_base_Instance1"), "Base_base_Instance1");
    EXPECT_STREQ(GetInstallingComponent("Other"), "Base_base_Instance1");
}

class Binary : public ZebTest {
  protected:
    void SetUp() override {
        ZebTest::SetUp();
        msi::DefineStandardTable("Binary");
    }
    static std::string Bytes(size_t n) {
        std::string s(n, '\0');
        for (size_t i = 0; i < n; i++)
            s[i] = (char)(i * 7 + 1);
        return s;
    }
    static void Row(const char* name, const std::string& bytes) {
        msi::AddRow("Binary", {msi::Field::str(name), msi::Field::stream(bytes)});
    }
};

TEST_F(Binary, StreamsArriveWholeWhateverTheirSize) {
    for (size_t size : {0u, 255u, 256u, 257u, 512u, 1000u}) {
        msi::DefineStandardTable("Binary");
        Row("zebircan.dll", Bytes(size));
        char szSuffix[ZEB_CCH_MSG] = "stale";
        EXPECT_TRUE(iwiGetFileFromBinary("zebircan", ".dll", "C:\\Temp\\out.dll", &szSuffix)) << size;
        EXPECT_EQ(File("C:\\Temp\\out.dll"), Bytes(size)) << size;
        EXPECT_STREQ(szSuffix, "");
        EXPECT_TRUE(HasText("Written " + std::to_string(size) + " bytes to 'C:\\Temp\\out.dll'")) << size;
    }
    EXPECT_TRUE(HasText("No component suffix"));
}

TEST_F(Binary, NameMatchesPrefixThenDotOrContinuationAndTheLastMatchWins) {
    Row("zebiprqnA", Bytes(3));      // another letter after the prefix: no match
    Row("ZEBIPRQN.x64", Bytes(10));  // prefix and a dot: the suffix follows it
    Row("zebiprqn.ia64", Bytes(20)); // a later match overwrites
    char szSuffix[ZEB_CCH_MSG];
    EXPECT_TRUE(iwiGetFileFromBinary("zebiprqn", NULL, "C:\\Temp\\p.dll", &szSuffix));
    EXPECT_STREQ(szSuffix, "ia64");
    EXPECT_EQ(File("C:\\Temp\\p.dll"), Bytes(20));
    EXPECT_TRUE(TextsInOrder({"Unpacking binary Name: 'zebiprqn'", "Component suffix is: 'x64'",
                              "Written 10 bytes to 'C:\\Temp\\p.dll'", "Component suffix is: 'ia64'"}));
    EXPECT_FALSE(HasText("Written 3 bytes to 'C:\\Temp\\p.dll'"));

    // A continuation must follow the prefix; a dot after both starts the suffix.
    EXPECT_TRUE(iwiGetFileFromBinary("zebiprq", "n.X64", "C:\\Temp\\q.dll", NULL));
    EXPECT_EQ(File("C:\\Temp\\q.dll"), Bytes(10));
    EXPECT_FALSE(iwiGetFileFromBinary("zebiprqnB", NULL, "C:\\Temp\\r.dll", &szSuffix));
    EXPECT_TRUE(HasText("***Can't find binary Name: 'zebiprqnB'"));
    EXPECT_EQ(File("C:\\Temp\\r.dll"), "<absent>");
}

TEST_F(Binary, OutputAndStreamFailuresAreFalse) {
    Row("zebircan.dll", Bytes(600));
    EXPECT_FALSE(iwiGetFileFromBinary("zebircan", NULL, "C:\\NoSuchFolder\\out.dll", NULL));
    EXPECT_TRUE(HasText("***Can't open output: 'C:\\NoSuchFolder\\out.dll'"));
    winsim::FailCall("MsiRecordReadStream", ERROR_INVALID_HANDLE, 2);
    EXPECT_FALSE(iwiGetFileFromBinary("zebircan", NULL, "C:\\Temp\\out.dll", NULL));
    EXPECT_TRUE(HasText("***MsiRecordReadStream('zebircan.dll') failed (6)"));
    winsim::FailCall("fwrite", ERROR_DISK_FULL, 0, "out.dll");
    EXPECT_FALSE(iwiGetFileFromBinary("zebircan", NULL, "C:\\Temp\\out.dll", NULL));
    EXPECT_TRUE(HasText("***Error writing 'C:\\Temp\\out.dll'"));
    winsim::ClearFaults();
    winsim::FailCall("MsiGetActiveDatabase", ERROR_INVALID_HANDLE, 1);
    EXPECT_FALSE(iwiGetFileFromBinary("zebircan", NULL, "C:\\Temp\\out.dll", NULL));
    EXPECT_TRUE(HasText("***MsiGetActiveDatabase() failed"));
}

} // namespace
