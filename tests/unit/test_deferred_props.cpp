// Hand-over to deferred actions: the value-list file, the action data of every deferred library
// action, and the deferred updates (XADLL value, hxs.ini at removal) reading it.
#include "zebiwicnSimpleCA.h"
#include "zebtest.h"

namespace {

namespace fs = winsim::fs;
namespace msi = winsim::msi;
namespace reg = winsim::reg;

const char kList[] = "C:\\Temp\\zebp0001.txt";
const char kXadll[] = "Software\\Microsoft\\MSDTC\\XADLL";
const char kValueName[] = "Skyloft HX Client (Inst1)";
const char kLibrary[] = "C:\\HX\\bin64\\ZEBMTSXATMC.DLL";

class Handover : public ZebTest {
  protected:
    void SetUp() override {
        ZebTest::SetUp();
        SetProps({{"ZEBTEMP", "C:\\Temp"}, {"ZEBTEMPFILENUM", "0001"}});
    }

    // What a deferred action of that name reads of the list the engine hands it.
    std::string DeferredRead(const char* action, const char* name) {
        msi::EnterDeferred(action);
        std::string value = Read(name);
        msi::LeaveDeferred();
        return value;
    }
};

TEST_F(Handover, OneLineOfEntriesInListOrderThatDeferredReadsGiveBack) {
    SetProps({{"ZEBPROPERTYNAMELIST1", "ZEBA;;ZEBB"},
              {"ZEBPROPERTYNAMELIST3", "ZEBEQ;ZEBNONE;ZEBA;"},
              {"ZEBA", "1"},
              {"ZEBB", "C:\\Program Files\\HX"},
              {"ZEBEQ", "x=y"}});
    EXPECT_EQ(iwiWriteDeferredProperties(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(File(kList), "ZEBA=1;ZEBB=C:\\Program Files\\HX;ZEBEQ=x=y;ZEBNONE=;ZEBA=1;");
    EXPECT_TRUE(HasText("Can't get property name list 'ZEBPROPERTYNAMELIST2'"));

    msi::SetProperty("ZebDeferred", kList);
    EXPECT_EQ(DeferredRead("ZebDeferred", "ZEBB"), "C:\\Program Files\\HX");
    EXPECT_EQ(DeferredRead("ZebDeferred", "ZEBEQ"), "x=y");
    EXPECT_EQ(DeferredRead("ZebDeferred", "ZEBNONE"), "");
    EXPECT_EQ(stat, ZEB_RC_SUCCESS);
}

TEST_F(Handover, AllListsEmptyWriteAnEmptyFileAndAnOverlongListFails) {
    EXPECT_EQ(iwiWriteDeferredProperties(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(File(kList), "");
    EXPECT_TRUE(TextsInOrder({"Can't get property name list 'ZEBPROPERTYNAMELIST1'",
                              "Can't get property name list 'ZEBPROPERTYNAMELIST2'",
                              "Can't get property name list 'ZEBPROPERTYNAMELIST3'"}));

    fs::Remove(kList);
    Reload();
    msi::SetProperty("ZEBPROPERTYNAMELIST2", std::string(2048, 'N'));
    EXPECT_EQ(iwiWriteDeferredProperties(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***msiGetProperty('ZEBPROPERTYNAMELIST2') failed (234)"));
    EXPECT_EQ(File(kList), "<absent>");
}

TEST_F(Handover, ResponseFileGivesItsSettingsOnlyWhereThePropertyIsEmpty) {
    fs::WriteFile("C:\\Temp\\resp.ini", "[Response]\r\nPGMFOLDER=C:\\FromIni\r\nDATFOLDER=C:\\DatIni\r\n"
                                        "ZEBX=not a setting\r\n");
    SetProps({{"USEINI", "C:\\Temp\\resp.ini"},
              {"ZEBPROPERTYNAMELIST1", "PGMFOLDER;DATFOLDER;ZEBX;pgmfolder"},
              {"DATFOLDER", "C:\\Prop"}});
    EXPECT_EQ(iwiWriteDeferredProperties(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(File(kList), "PGMFOLDER=C:\\FromIni;DATFOLDER=C:\\Prop;ZEBX=;pgmfolder=;");
}

TEST_F(Handover, AValueTheListCannotCarryIsRefusedAndNoListIsLeft) {
    struct Case {
        std::string value, named;
    };
    for (const Case& c :
         {Case{"X;ZEBLEAVEQMDATAREMOVE=delete", "';'"}, Case{"C:\\a\r\nb", "carriage return"},
          Case{"C:\\a\nZEBREMOVE=1", "line feed"}, Case{"C:\\a\x1a", "end-of-file character (0x1A)"}}) {
        Reload(true);
        fs::WriteFile(kList, "ZEBDATFOLDER=C:\\Old;"); // an earlier run's list
        SetProps(
            {{"ZEBPROPERTYNAMELIST1", "ZEBINSTALLINSTANCENAME;ZEBDATFOLDER"}, {"ZEBDATFOLDER", c.value}});
        EXPECT_EQ(iwiWriteDeferredProperties(h), ZEB_RC_FAILURE) << c.named;
        EXPECT_TRUE(HasText("***Property 'ZEBDATFOLDER' value holds a " + c.named +
                            ", which the value list cannot carry; no list written"))
            << c.named;
        EXPECT_EQ(File(kList), "<absent>") << c.named;
    }
}

// ---- Action data -------------------------------------------------------------------------------

TEST_F(Handover, EveryDeferredLibraryActionAndNoOtherGetsThePath) {
    msi::DefineStandardTable("CustomAction");
    const std::vector<std::pair<std::string, int>> actions = {
        {"DllDeferred", 1025},     {"DllNoImpersonate", 3073}, {"DllRollback", 1281},
        {"DllCommit", 1537},       {"DllFileDeferred", 1041},  {"DllImmediate", 1},
        {"JScriptDeferred", 1061}, {"ExeDeferred", 1026},      {"VbsDeferred", 1030}};
    for (const auto& [name, type] : actions)
        msi::AddRow("CustomAction", {msi::Field::str(name), msi::Field::integer(type),
                                     msi::Field::str("zebiwicn.dll"), msi::Field::str("x"), msi::Field{}});
    msi::SetProperty("JScriptDeferred", "its own script data");
    EXPECT_EQ(iwiSetCustomActionData(h), ZEB_RC_SUCCESS);
    for (const auto& [name, type] : actions) {
        bool library = name.rfind("Dll", 0) == 0 && name != "DllImmediate";
        std::optional<std::string> value = msi::Property(name);
        EXPECT_EQ(value.value_or(""), library                     ? kList
                                      : name == "JScriptDeferred" ? "its own script data"
                                                                  : "")
            << name;
    }
    EXPECT_TRUE(HasText("CA Name:'DllNoImpersonate' type 0x00000c01"));
    EXPECT_TRUE(HasText("Property 'DllCommit' value set to 'C:\\Temp\\zebp0001.txt'"));

    // A row without a type stops the action: the checker reports 87.
    msi::AddRow("CustomAction", {msi::Field::str("NoType"), msi::Field{}, msi::Field::str("zebiwicn.dll"),
                                 msi::Field::str("x"), msi::Field{}});
    Reload();
    EXPECT_EQ(iwiSetCustomActionData(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***MsiRecordGetInteger('Type') failed (87)"));
}

// ---- Deferred updates ----------------------------------------------------------------------------

const std::string kValues = "ZEBINSTALLINSTANCENAME=Inst1;ZEBPGMFOLDER=C:\\HX\\;ZEBDATFOLDER=C:\\HXData;";
const std::string kIni =
    "AllQueueManagers:\r\n   DefaultPrefix=C:\\HXData\r\nQueueManager:\r\n   Name=QM1\r\n";

TEST_F(Handover, TheLibraryIsRegisteredInThe64BitViewOnlyAndRemovedWhenGone) {
    fs::WriteFile(kLibrary, "MZ");
    EXPECT_EQ(RunDeferred(iwiDeferredUpdates, kValues), ZEB_RC_SUCCESS);
    std::optional<reg::Value> value = reg::GetValue(HKEY_LOCAL_MACHINE, kXadll, kValueName);
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->type, (DWORD)REG_SZ);
    EXPECT_EQ(value->data, std::string(kLibrary) + '\0');
    EXPECT_FALSE(reg::GetValue(HKEY_LOCAL_MACHINE, kXadll, kValueName, reg::View::Wow32).has_value());
    EXPECT_TRUE(
        TextsInOrder({"Running in deferred mode", "Running on 64 bit machine.",
                      "Processing C:\\HX\\bin64\\ZEBMTSXATMC.DLL", "Client file exists - adding XADLL key",
                      "Created the value Skyloft HX Client (Inst1) -> C:\\HX\\bin64\\ZEBMTSXATMC.DLL"}));

    // Rollback of an installation whose library is gone: the value goes, another stays.
    reg::SetString(HKEY_LOCAL_MACHINE, kXadll, "Skyloft HX Client (Inst2)",
                   "C:\\HX2\\bin64\\ZEBMTSXATMC.DLL");
    fs::Remove(kLibrary);
    Reload();
    EXPECT_EQ(RunDeferred(iwiDeferredUpdates, kValues, MSIRUNMODE_ROLLBACK), ZEB_RC_SUCCESS);
    EXPECT_FALSE(reg::GetValue(HKEY_LOCAL_MACHINE, kXadll, kValueName).has_value());
    EXPECT_TRUE(reg::GetValue(HKEY_LOCAL_MACHINE, kXadll, "Skyloft HX Client (Inst2)").has_value());
    EXPECT_TRUE(TextsInOrder({"Running in rollback mode", "File does not exist - removing XADLL keys",
                              "Opened XADLL key, now removing the value if it exists",
                              "Removed the Skyloft HX Client (Inst1) value"}));
}

TEST_F(Handover, AMissingKeyIsAWarningAFailedWriteFails) {
    EXPECT_EQ(RunDeferred(iwiDeferredUpdates, kValues, MSIRUNMODE_ROLLBACK), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasTextMatching(R"(^Warning - failed to open the XADLL key, with error 2\(\d+\)$)"));
    EXPECT_FALSE(reg::KeyExists(HKEY_LOCAL_MACHINE, kXadll));

    fs::WriteFile(kLibrary, "MZ");
    winsim::FailCall("RegSetValueExA", ERROR_ACCESS_DENIED);
    Reload();
    EXPECT_EQ(RunDeferred(iwiDeferredUpdates, kValues), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasTextMatching(R"(^\*\*\*ERROR: Failed to create the value Skyloft HX Client \(Inst1\) -> )"
                                R"(C:\\HX\\bin64\\ZEBMTSXATMC.DLL, with error 5\(\d+\)$)"));
}

TEST_F(Handover, TheQueueManagersLeaveHxsIniOnlyWhenTheWholeProductGoes) {
    fs::WriteFile("C:\\HXData\\hxs.ini", kIni);
    // A modify run that still has "delete" from the dialog keeps them.
    EXPECT_EQ(RunDeferred(iwiDeferredUpdates, kValues + "ZEBLEAVEQMDATAREMOVE=delete;"), ZEB_RC_SUCCESS);
    EXPECT_EQ(File("C:\\HXData\\hxs.ini"), kIni);
    EXPECT_TRUE(HasText("Not removing the whole product (ZEBREMOVE ''), so the qmgrs stay in the ini file"));

    // Rollback never touches them.
    Reload();
    const std::string removal = kValues + "ZEBLEAVEQMDATAREMOVE=DELETE;ZEBREMOVE=1;ZEBTEMP=C:\\Temp;";
    EXPECT_EQ(RunDeferred(iwiDeferredUpdates, removal, MSIRUNMODE_ROLLBACK), ZEB_RC_SUCCESS);
    EXPECT_EQ(File("C:\\HXData\\hxs.ini"), kIni);

    Reload();
    EXPECT_EQ(RunDeferred(iwiDeferredUpdates, removal), ZEB_RC_SUCCESS);
    EXPECT_EQ(File("C:\\HXData\\hxs.ini"), "AllQueueManagers:\r\n   DefaultPrefix=C:\\HXData\r\n");
    EXPECT_EQ(File("C:\\Temp\\hxs.ini_backup"), kIni);
    EXPECT_TRUE(HasText("Removing the qmgrs from the ini file (backup will be put in temp though!)"));
}

// The whole hand-over as the engine runs it: immediate writer and distributor, then the deferred
// action reading its data through the file.
TEST_F(Handover, WrittenListReachesTheDeferredAction) {
    msi::DefineStandardTable("CustomAction");
    msi::AddRow("CustomAction",
                {msi::Field::str("iwiDeferredUpdatesDeferred"), msi::Field::integer(3073),
                 msi::Field::str("zebiwicn.dll"), msi::Field::str("iwiDeferredUpdates"), msi::Field{}});
    SetProps({{"ZEBPROPERTYNAMELIST1", "ZEBINSTALLINSTANCENAME;ZEBPGMFOLDER;ZEBDATFOLDER"},
              {"ZEBINSTALLINSTANCENAME", "Inst1"},
              {"ZEBPGMFOLDER", "C:\\HX"}});
    fs::WriteFile(kLibrary, "MZ");
    EXPECT_EQ(iwiWriteDeferredProperties(h), ZEB_RC_SUCCESS);
    Reload();
    EXPECT_EQ(iwiSetCustomActionData(h), ZEB_RC_SUCCESS);
    Reload();
    msi::EnterDeferred("iwiDeferredUpdatesDeferred", MSIRUNMODE_SCHEDULED, true);
    EXPECT_EQ(iwiDeferredUpdates(h), ZEB_RC_SUCCESS);
    msi::LeaveDeferred();
    EXPECT_TRUE(HasText("Property 'ZEBPGMFOLDER' value 'C:\\HX'; from CustomActionData"));
    EXPECT_TRUE(reg::GetValue(HKEY_LOCAL_MACHINE, kXadll, kValueName).has_value());
}

} // namespace
