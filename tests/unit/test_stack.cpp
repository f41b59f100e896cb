// Stacked removal rows: RemoveFile, RemoveRegistry and Registry rows, the record counter, folder
// path properties, refusals, scans of folder trees and reduced logging.
#include "zebiwicnDelete.h"
#include "zebtest.h"

namespace {

namespace msi = winsim::msi;

class Stack : public ZebTest {
  protected:
    void SetUp() override {
        ZebTest::SetUp();
        for (const char* table : {"RemoveFile", "RemoveRegistry", "Registry"})
            msi::DefineStandardTable(table);
    }

    static std::string Prop(const std::string& name) { return msi::Property(name).value_or("<unset>"); }
};

TEST_F(Stack, FilesOfOneFolderShareItsPropertyAndTakeConsecutiveRecords) {
    msi::SetProperty("ZEBRECORDCOUNTER", "5");
    EXPECT_EQ(StackDeleteFiles("C:\\HX\\data\\a.txt", "Comp", 2), 0u);
    EXPECT_EQ(StackDeleteFiles("c:\\hx\\DATA\\*.log", "Comp", 3), 0u);
    EXPECT_EQ(StackDeleteFolder("C:\\HX\\data\\", "Comp", 2), 0u);
    EXPECT_EQ(StackDeleteFiles("C:\\HX\\other\\b.txt", "Comp", 1), 0u);
    EXPECT_EQ(TempRows("RemoveFile"), (std::vector<std::string>{
                                          "ZEB_Record_5 | Comp | a.txt | ZEBPATHPROPERTY0 | 2",
                                          "ZEB_Record_6 | Comp | *.log | ZEBPATHPROPERTY0 | 3",
                                          "ZEB_Record_7 | Comp |  | ZEBPATHPROPERTY0 | 2",
                                          "ZEB_Record_8 | Comp | b.txt | ZEBPATHPROPERTY1 | 1",
                                      }));
    // The property holds the folder as published, without its backslash.
    EXPECT_EQ(Props({"ZEBPATHPROPERTY0", "ZEBPATHPROPERTY1", "ZEBRECORDCOUNTER", "ZEBPROPERTYCOUNTER"}),
              (std::vector<std::string>{"C:\\HX\\data", "C:\\HX\\other", "9", "2"}));
    EXPECT_TRUE(TextsInOrder({"Stacking file(s) for deletion: 'C:\\HX\\data\\a.txt'",
                              "Property 'ZEBRECORDCOUNTER' value '5' from property table",
                              "Table 'RemoveFile' row added; 5 fields",
                              "Property 'ZEBRECORDCOUNTER' value set to '6'",
                              "Stacking folder for deletion: 'C:\\HX\\data\\'"}));
}

TEST_F(Stack, RegistryKeysTakeTheirRootAndTheRowsOfTheirMode) {
    EXPECT_EQ(StackDeleteRegistryKey("HKEY_USERS\\S-1-5-18\\Software\\HX", "Comp", 1), 0u);
    EXPECT_EQ(StackDeleteRegistryKey("hkey_current_user\\Software\\HX", "Comp", 2), 0u);
    EXPECT_EQ(StackDeleteRegistryKey("HKEY_CLASSES_ROOT\\.hxq", "Comp", 3), 0u);
    EXPECT_EQ(StackDeleteRegistryKey("SOFTWARE\\Wow6432Node\\Corvane", "Comp", 1), 0u);
    EXPECT_EQ(StackDeleteRegistryKey("CorvaneOnly", "Comp", 1), 0u);
    EXPECT_EQ(TempRows("RemoveRegistry"), (std::vector<std::string>{
                                              "ZEBRECORD0 | 3 | S-1-5-18\\Software\\HX | - | Comp",
                                              "ZEBRECORD2 | 0 | .hxq | - | Comp",
                                              "ZEBRECORD4 | 2 | SOFTWARE\\Wow6432Node\\Corvane | - | Comp",
                                              "ZEBRECORD5 | 2 | CorvaneOnly | - | Comp",
                                          }));
    // Registry rows: no value, so the engine removes the whole key with the component.
    EXPECT_EQ(TempRows("Registry"), (std::vector<std::string>{
                                        "ZEBRECORD1 | 1 | Software\\HX | - |  | Comp",
                                        "ZEBRECORD3 | 0 | .hxq | - |  | Comp",
                                    }));
    EXPECT_EQ(Prop("ZEBRECORDCOUNTER"), "6");
    EXPECT_TRUE(HasText("StackDeleteRegistryKey 'HKEY_USERS\\S-1-5-18\\Software\\HX'"));
}

TEST_F(Stack, PathsThatNameNoFolderOrAWholeDriveOrHiveAreRefused) {
    msi::SetProperty("ZEBRECORDCOUNTER", "3");
    const std::string longPath = "C:\\" + std::string(300, 'a') + "\\x.txt";
    struct Case {
        UINT rc;
        std::string line;
    };
    std::vector<Case> cases = {
        {StackDeleteFiles("a.txt", "C", 2), "***Invalid file path: 'a.txt'"},
        {StackDeleteFiles("C:\\HX\\", "C", 2), "***Invalid file path: 'C:\\HX\\'"},
        {StackDeleteFiles("\\a.txt", "C", 2), "***Invalid file path: '\\a.txt'"},
        {StackDeleteFiles("C:\\*", "C", 2), "***Invalid file path: 'C:\\*'"},
        {StackDeleteFiles("HX\\a.txt", "C", 2), "***Invalid file path: 'HX\\a.txt'"},
        {StackDeleteFiles(longPath.c_str(), "C", 2), "***Invalid file path: '" + longPath + "'"},
        {StackDeleteFolder("C:\\HX", "C", 2), "***Invalid path: 'C:\\HX'"},
        {StackDeleteFolder("C:\\", "C", 2), "***Invalid path: 'C:\\'"},
        {StackDeleteFolder("", "C", 2), "***Invalid path: ''"},
        {StackDeleteFolder("\\\\srv\\share\\", "C", 2), "***Invalid path: '\\\\srv\\share\\'"},
        {ScanAndStackDeleteFolderFiles("C:\\*", "C", 2, TRUE, TRUE), "***Invalid path: 'C:\\*'"},
        {ScanAndStackDeleteFolderFiles("\\*", "C", 2, FALSE, TRUE), "***Invalid path: '\\*'"},
        {ScanAndStackDeleteFolderFiles("*.log", "C", 2, FALSE, FALSE), "***Invalid path: '*.log'"},
        {ScanAndStackDeleteFolderFiles("C:\\HX\\", "C", 2, FALSE, TRUE), "***Invalid path: 'C:\\HX\\'"},
        {StackDeleteRegistryKey("", "C", 3), "***Invalid path: ''"},
        {StackDeleteRegistryKey("HKEY_LOCAL_MACHINE", "C", 3), "***Invalid path: 'HKEY_LOCAL_MACHINE'"},
        {StackDeleteRegistryKey("HKEY_USERS\\", "C", 3), "***Invalid path: 'HKEY_USERS\\'"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.rc, ZEB_RC_FAILURE) << c.line;
        EXPECT_TRUE(HasText(c.line)) << c.line;
    }
    for (const char* table : {"RemoveFile", "RemoveRegistry", "Registry"})
        EXPECT_TRUE(TempRows(table).empty()) << table;
    EXPECT_EQ(Prop("ZEBRECORDCOUNTER"), "3");
    EXPECT_EQ(Prop("ZEBPROPERTYCOUNTER"), "<unset>");
    // A share's subfolder is a folder like any other.
    EXPECT_EQ(StackDeleteFolder("\\\\srv\\share\\HX\\", "C", 2), 0u);
    EXPECT_EQ(Prop("ZEBPATHPROPERTY0"), "\\\\srv\\share\\HX");
}

TEST_F(Stack, TreeScanStacksEveryFolderAfterItsSubfoldersAndTheEngineRemovesItAll) {
    for (const char* file : {"C:\\Data\\top.log", "C:\\Data\\q1\\a.log", "C:\\Data\\q1\\keep.txt",
                             "C:\\Data\\q1\\sub\\b.log", "C:\\Data\\q2\\c.log"})
        winsim::fs::WriteFile(file, "x");
    msi::SetProperty("ZEBRECORDCOUNTER", "10");
    EXPECT_EQ(ScanAndStackDeleteFolderFiles("C:\\Data\\*", "Comp", 2, TRUE, TRUE), 0u);
    EXPECT_EQ(TempRows("RemoveFile"), (std::vector<std::string>{
                                          "ZEB_Record_10 | Comp | * | ZEBPATHPROPERTY0 | 2",
                                          "ZEB_Record_11 | Comp | * | ZEBPATHPROPERTY1 | 2",
                                          "ZEB_Record_12 | Comp | * | ZEBPATHPROPERTY2 | 2",
                                          "ZEB_Record_13 | Comp |  | ZEBPATHPROPERTY2 | 2",
                                          "ZEB_Record_14 | Comp |  | ZEBPATHPROPERTY1 | 2",
                                          "ZEB_Record_15 | Comp | * | ZEBPATHPROPERTY3 | 2",
                                          "ZEB_Record_16 | Comp |  | ZEBPATHPROPERTY3 | 2",
                                          "ZEB_Record_17 | Comp |  | ZEBPATHPROPERTY0 | 2",
                                      }));
    EXPECT_EQ(Prop("ZEBRECORDCOUNTER"), "18");
    EXPECT_EQ(Prop("ZEBPATHPROPERTY2"), "C:\\Data\\q1\\sub");
    EXPECT_TRUE(TextsInOrder({"Stacking folder/files for deletion: 'C:\\Data\\*'",
                              "Stacking folder/files for deletion: 'C:\\Data\\q1\\*'",
                              "Stacking folder/files for deletion: 'C:\\Data\\q1\\sub\\*'",
                              "Stacking folder for deletion: 'C:\\Data\\q1\\sub\\'",
                              "Stacking folder for deletion: 'C:\\Data\\q1\\'"}));

    // Nothing happens while the component is installed; its removal takes the whole tree, also
    // on an engine that takes folder rows in row order.
    msi::AddComponent("Comp", INSTALLSTATE_LOCAL, INSTALLSTATE_LOCAL);
    msi::RunRemovalSteps();
    EXPECT_TRUE(winsim::fs::Exists("C:\\Data\\q1\\sub\\b.log"));
    msi::AddComponent("Comp", INSTALLSTATE_LOCAL, INSTALLSTATE_ABSENT);
    msi::RunRemovalSteps();
    EXPECT_FALSE(winsim::fs::Exists("C:\\Data"));
}

TEST_F(Stack, ScanOfAMissingFolderStacksItsRowsQuietlyAndOtherSearchErrorsFail) {
    EXPECT_EQ(ScanAndStackDeleteFolderFiles("C:\\Missing\\*.log", "Comp", 2, TRUE, TRUE), 0u);
    EXPECT_EQ(TempRows("RemoveFile"), (std::vector<std::string>{
                                          "ZEB_Record_0 | Comp | *.log | ZEBPATHPROPERTY0 | 2",
                                          "ZEB_Record_1 | Comp |  | ZEBPATHPROPERTY0 | 2",
                                      }));
    EXPECT_FALSE(HasTextContaining("***"));

    winsim::fs::MakeDirs("C:\\Denied\\sub");
    winsim::fs::DenyAccess("C:\\Denied", true);
    EXPECT_EQ(ScanAndStackDeleteFolderFiles("C:\\Denied\\*", "Comp", 2, TRUE, TRUE), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***FindFirstFile(2) error 5, path 'C:\\Denied\\*'"));
    // The folder's own row is not stacked after a failed scan of its subfolders.
    EXPECT_EQ(TempRows("RemoveFile").size(), 3u);
}

TEST_F(Stack, FailedInsertOrCounterWriteFailsAndLeavesTheCounter) {
    msi::AddRow("RemoveFile", {msi::Field::str("ZEB_Record_0"), msi::Field::str("Other"),
                               msi::Field::str("x"), msi::Field::str("P"), msi::Field::integer(1)});
    EXPECT_EQ(StackDeleteFiles("C:\\HX\\a.txt", "Comp", 2), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***MsiViewModify('MSIMODIFY_INSERT_TEMPORARY') failed (1627)"));
    EXPECT_EQ(Prop("ZEBRECORDCOUNTER"), "<unset>");

    msi::SetProperty("ZEBRECORDCOUNTER", "1");
    winsim::FailCall("MsiSetPropertyA", ERROR_FUNCTION_FAILED, 1, "ZEBRECORDCOUNTER");
    EXPECT_EQ(StackDeleteRegistryKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\HX", "Comp", 3), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***msiSetProperty('ZEBRECORDCOUNTER') value('2') failed (1627)"));
    // The second row of mode 3 is not attempted once the first one's counter could not be kept.
    EXPECT_EQ(TempRows("RemoveRegistry").size(), 1u);
    EXPECT_TRUE(TempRows("Registry").empty());
}

TEST_F(Stack, ReducedLoggingCountsRecordsAndDropsTheRowLines) {
    SetProps({{"ZEBRECORDCOUNTER", "0"}, {"ZEBPROPERTYCOUNTER", "0"}});
    iiiSetReducedCSDLogging(TRUE);
    for (int folder = 0; folder < 250; folder++) {
        std::string base = "C:\\Maint\\f" + std::to_string(folder) + "\\";
        for (int file = 0; file < 10; file++)
            ASSERT_EQ(StackDeleteFiles((base + "file" + std::to_string(file)).c_str(), "Comp", 2), 0u);
        ASSERT_EQ(StackDeleteFolder(base.c_str(), "Comp", 2), 0u);
    }
    iiiSetReducedCSDLogging(FALSE);
    EXPECT_EQ(Texts(),
              (std::vector<std::string>{"1000 file records processed", "100 folder records processed",
                                        "2000 file records processed", "200 folder records processed",
                                        "Reduced logging - Number of files processed = 2500",
                                        "Reduced logging - Number of folders processed = 250"}));
    EXPECT_EQ(TempRows("RemoveFile").size(), 2750u);
    EXPECT_EQ(Prop("ZEBRECORDCOUNTER"), "2750");
    EXPECT_EQ(Prop("ZEBPROPERTYCOUNTER"), "250");
}

} // namespace
