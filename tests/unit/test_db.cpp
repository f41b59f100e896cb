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

TEST_F(Db, CheckMsiRcKeepsTheCodeOfAFailure) {
    UINT uiStat = 0;
    EXPECT_EQ(CheckMsiRc("MsiViewFetch", "SELECT * FROM X", 0, &uiStat), 0u);
    EXPECT_EQ(uiStat, 0u);
    EXPECT_TRUE(Texts().empty());
    EXPECT_EQ(CheckMsiRc("MsiViewFetch", "SELECT * FROM X", 1627, &uiStat), 1627u);
    EXPECT_EQ(uiStat, 1627u);
    EXPECT_TRUE(HasText("***MsiViewFetch('SELECT * FROM X') failed (1627)"));
}

} // namespace
