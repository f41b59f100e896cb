// The test-only export that the concurrent-trace test under Wine relies on.
#include "zebitest.h"
#include "zebiwicnDelete.h"
#include "zebtest.h"

namespace {

using TestExports = ZebTest;

TEST_F(TestExports, WritesExactlyTheLinesAskedForAndNothingElse) {
    winsim::SetLocalTime(2026, 1, 15, 10, 0, 0);
    winsim::msi::SetProperty("ZEBUSERTRACEPATH", "C:\\Temp\\shared.log");
    winsim::msi::SetProperty("ZEBTESTLINES", "3");
    winsim::msi::SetProperty("ZEBTESTTAG", "A");
    EXPECT_EQ(tstWriteTraceLines(h), ZEB_RC_SUCCESS);
    // Another process's line in between is kept, and the second call starts afresh.
    winsim::fs::AppendFile("C:\\Temp\\shared.log", "other\r\n");
    winsim::msi::SetProperty("ZEBTESTLINES", "1");
    winsim::msi::SetProperty("ZEBTESTTAG", "");
    EXPECT_EQ(tstWriteTraceLines(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(File("C:\\Temp\\shared.log"), "10:00:00 HXCA tstWriteTraceLines info: A line 1 of 3\r\n"
                                            "10:00:00 HXCA tstWriteTraceLines info: A line 2 of 3\r\n"
                                            "10:00:00 HXCA tstWriteTraceLines info: A line 3 of 3\r\n"
                                            "other\r\n"
                                            "10:00:00 HXCA tstWriteTraceLines info: line 1 of 1\r\n");
    EXPECT_EQ(Lines().size(), 4u);
    EXPECT_STREQ(FrameOuterAction(), "");
}

TEST_F(TestExports, BadCountFailsWithAnErrorLine) {
    for (const char* count : {"", "0", "-5", "12x", "1000001"}) {
        winsim::msi::ClearMessages();
        winsim::msi::SetProperty("ZEBTESTLINES", count);
        EXPECT_EQ(tstWriteTraceLines(h), ZEB_RC_FAILURE) << count;
        EXPECT_TRUE(HasText(std::string("***Invalid line count '") + count + "'")) << count;
        EXPECT_EQ(Lines().size(), 3u) << count; // the banner pair and the error
    }
    winsim::msi::SetProperty("ZEBTESTLINES", "5");
    winsim::FailCall("MsiGetPropertyA", ERROR_FUNCTION_FAILED, 1, "ZEBTESTLINES");
    EXPECT_EQ(tstWriteTraceLines(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***Can't read ZEBTESTLINES or ZEBTESTTAG"));
}

TEST_F(TestExports, CancelReplyStopsTheLoop) {
    winsim::msi::SetProperty("ZEBTESTLINES", "10");
    winsim::msi::ReplyTo(INSTALLMESSAGE_INFO, 4, IDCANCEL);
    EXPECT_EQ(tstWriteTraceLines(h), ZEB_RC_CANCEL);
    EXPECT_TRUE(HasText("line 4 of 10"));
    EXPECT_FALSE(HasText("line 5 of 10"));
}

TEST_F(TestExports, ActionWaitCountsDownTheStepsAsked) {
    winsim::msi::SetProperty("ZEBTESTSTEPS", "4");
    EXPECT_EQ(tstActionWait(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(winsim::NowMs(), 2000u);
    std::vector<std::string> shown;
    for (const winsim::msi::Message& m : winsim::msi::Messages()) {
        if (m.type == INSTALLMESSAGE_ACTIONSTART) {
            EXPECT_EQ(m.fields.at(1), "tstActionWait");
        }
        if (m.type == INSTALLMESSAGE_ACTIONDATA)
            shown.push_back(m.fields.at(1));
    }
    EXPECT_EQ(shown, (std::vector<std::string>{"2", "1", "0"}));

    // Not set: twenty steps. A cancel reply: 1602 from the action too.
    winsim::msi::RemoveProperty("ZEBTESTSTEPS");
    winsim::msi::ReplyTo(INSTALLMESSAGE_PROGRESS, 1, IDCANCEL);
    EXPECT_EQ(tstActionWait(h), ZEB_RC_CANCEL);
}

TEST_F(TestExports, ActionWaitRefusesABadStepCount) {
    for (const char* steps : {"0", "x", "3s", "1201"}) {
        winsim::msi::ClearMessages();
        winsim::msi::SetProperty("ZEBTESTSTEPS", steps);
        EXPECT_EQ(tstActionWait(h), ZEB_RC_FAILURE) << steps;
        EXPECT_TRUE(HasText(std::string("***Invalid step count '") + steps + "'")) << steps;
    }
    EXPECT_EQ(winsim::NowMs(), 0u);
}

TEST_F(TestExports, IniLookupsAnswerFromPropertiesAndTheResponseFile) {
    winsim::fs::WriteFile("C:\\Temp\\r.ini",
                          "[Response]\nINSTALLATIONNAME=Inst2\nADDLOCAL=Server\nREMOVE=Base\n");
    winsim::msi::SetProperty("USEINI", "C:\\Temp\\r.ini");
    winsim::msi::SetProperty("ADDLOCAL", "Client");
    winsim::msi::SetProperty("ZEBTESTINIPROPERTY", "INSTALLATIONNAME");
    winsim::msi::SetProperty("ZEBTESTINIFEATURES", "Server,Client,Docs:Base,Other");
    EXPECT_EQ(tstIniLookups(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(winsim::msi::Property("ZEBTESTINIVALUE").value_or(""), "Inst2");
    EXPECT_EQ(winsim::msi::Property("ZEBTESTINISOURCE").value_or(""), "C:\\Temp\\r.ini");
    EXPECT_EQ(winsim::msi::Property("ZEBTESTINISTATES").value_or(""), "Server=3;Client=3;Docs=2;Other=-1;");
    EXPECT_TRUE(HasText("Feature 'Client' specified in property ADDLOCAL"));
    EXPECT_TRUE(HasText("Feature 'Server' specified in response file ADDLOCAL"));
}

TEST_F(TestExports, IniLookupFailureIsTheCallsStatus) {
    winsim::fs::WriteFile("C:\\Temp\\r.ini", "A=1\n");
    winsim::msi::SetProperty("USEINI", "C:\\Temp\\r.ini");
    winsim::msi::SetProperty("ZEBTESTINIPROPERTY", "A");
    EXPECT_EQ(tstIniLookups(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***No stanza"));
    EXPECT_FALSE(winsim::msi::Property("ZEBTESTINIVALUE").has_value());
}

TEST_F(TestExports, StackRemovalsRunsTheListedOperationsInOrder) {
    for (const char* table : {"RemoveFile", "RemoveRegistry", "Registry"})
        winsim::msi::DefineStandardTable(table);
    winsim::msi::SetProperty("ZEBTESTSTACK", "file|C:\\D\\a.txt|Comp|1;folder|C:\\D\\|Comp|2;"
                                             "key|HKEY_USERS\\X|Comp|3;scan|C:\\E\\*.log|Comp|2|1|0");
    EXPECT_EQ(tstStackRemovals(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(winsim::msi::Rows("RemoveFile").size(), 4u);
    EXPECT_EQ(winsim::msi::Rows("Registry").size(), 1u);
    EXPECT_EQ(winsim::msi::Property("ZEBRECORDCOUNTER").value_or(""), "6");

    winsim::msi::SetProperty("ZEBTESTSTACK", "file|C:\\D\\b.txt|Comp|1;bogus|x;file|C:\\D\\c.txt|Comp|1");
    EXPECT_EQ(tstStackRemovals(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***Unknown stacking operation 'bogus'"));
    EXPECT_EQ(winsim::msi::Rows("RemoveFile").size(), 5u);
}

TEST_F(TestExports, ListboxAndBinaryFilePassTheHelpersOn) {
    winsim::msi::DefineStandardTable("ListBox");
    winsim::msi::SetProperty("ZEBTESTLISTPROPERTY", "L");
    winsim::msi::SetProperty("ZEBTESTLISTTEXTS", "one|two");
    EXPECT_EQ(tstListbox(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(winsim::msi::Rows("ListBox").size(), 2u);
    EXPECT_EQ(winsim::msi::Property("L").value_or(""), " ");

    winsim::msi::DefineStandardTable("Binary");
    winsim::msi::AddRow("Binary",
                        {winsim::msi::Field::str("zebiprqn.x64"), winsim::msi::Field::stream("abc")});
    winsim::msi::SetProperty("ZEBTESTBINARYPREFIX", "zebiprqn");
    winsim::msi::SetProperty("ZEBTESTBINARYOUT", "C:\\Temp\\p.dll");
    EXPECT_EQ(tstBinaryFile(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(File("C:\\Temp\\p.dll"), "abc");
    EXPECT_EQ(winsim::msi::Property("ZEBTESTBINARYSUFFIX").value_or(""), "x64");
    winsim::msi::SetProperty("ZEBTESTBINARYCONT", ".x86");
    EXPECT_EQ(tstBinaryFile(h), ZEB_RC_FAILURE);
}

} // namespace

namespace {

TEST_F(TestExports, LaunchRunsTheLauncherAskedForAndKeepsItsResult) {
    winsim::fs::MakeDirs("C:\\HX\\bin64");
    winsim::proc::InstallProgram("C:\\HX\\bin64\\zebexit.exe", winsim::proc::Behaviour::Exits(5, 3000));
    winsim::msi::SetProperty("ZEBTESTLAUNCH", "wait");
    winsim::msi::SetProperty("ZEBTESTPROGRAM", "C:\\HX\\bin64\\zebexit.exe");
    winsim::msi::SetProperty("ZEBTESTPARAMETERS", "exit=5");
    EXPECT_EQ(tstLaunch(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(winsim::msi::Property("ZEBTESTEXITCODE"), "0x00000005");

    // A time-out is the status; the code stays unknown.
    winsim::msi::SetProperty("ZEBTESTTIMEOUT", "1000");
    EXPECT_EQ(tstLaunch(h), ZEB_RC_SUSPEND);
    EXPECT_TRUE(HasText("Returning with rc 1604"));
    EXPECT_EQ(winsim::msi::Property("ZEBTESTEXITCODE"), "0xffffffff");

    winsim::msi::SetProperty("ZEBTESTTIMEOUT", "10s");
    EXPECT_EQ(tstLaunch(h), ZEB_RC_FAILURE);
    winsim::msi::SetProperty("ZEBTESTTIMEOUT", "");
    winsim::msi::SetProperty("ZEBTESTLAUNCH", "run");
    EXPECT_EQ(tstLaunch(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(TextsInOrder({"***Invalid time-out '10s'", "***Invalid launch 'run'"}));
}

TEST_F(TestExports, FileOperationsDeleteAHeldFileCopyAndCancel) {
    winsim::fs::WriteFile("C:\\T\\held.txt", "x");
    winsim::msi::SetProperty("ZEBTESTOP", "deletelocked");
    winsim::msi::SetProperty("ZEBTESTPATH", "C:\\T\\held.txt");
    EXPECT_EQ(tstFileOperations(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(TextsInOrder({"***Delete file in use: 'C:\\T\\held.txt'",
                              "Stacked file for deletion upon reboot: 'C:\\T\\held.txt'",
                              "Delete result 1 error 32"}));
    EXPECT_TRUE(winsim::fs::Exists("C:\\T\\held.txt"));

    winsim::msi::SetProperty("ZEBTESTOP", "copy");
    winsim::msi::SetProperty("ZEBTESTTARGET", "C:\\T\\copy.txt");
    EXPECT_EQ(tstFileOperations(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(File("C:\\T\\copy.txt"), "x");

    winsim::msi::SetProperty("ZEBTESTOP", "cancel");
    EXPECT_EQ(tstFileOperations(h), ZEB_RC_CANCEL);
    EXPECT_TRUE(IsCancelFlagSet());
    winsim::msi::SetProperty("ZEBTESTOP", "copy");
    winsim::msi::SetProperty("ZEBTESTTARGET", "C:\\T\\second.txt");
    EXPECT_EQ(tstFileOperations(h), ZEB_RC_CANCEL);
    EXPECT_FALSE(winsim::fs::Exists("C:\\T\\second.txt"));

    winsim::msi::SetProperty("ZEBTESTOP", "move");
    EXPECT_EQ(tstFileOperations(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***Unknown operation 'move'"));
}

TEST_F(TestExports, HxRegistryInfoReportsTheJavaAddOn) {
    winsim::msi::AddProduct("{0B170000-0000-4000-8000-000000000001}",
                            "{37C07B43-CAD0-11D4-B2C4-000629BE98FC}", 5, "QB17");
    winsim::msi::SetProductComponent("{0B170000-0000-4000-8000-000000000001}",
                                     "{0B170000-0000-4000-8000-0000000000C0}", 3,
                                     "C:\\Q\\java\\lib\\samples\\x.jar");
    EXPECT_EQ(tstHxRegistryInfo(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(winsim::msi::Property("ZEBTESTQB17"), "java=1 samples=1 level=0");
    EXPECT_TRUE(HasText("Java samples are installed"));
}

TEST_F(TestExports, ShortcutsMadeThroughTheShellAreWhatTheCleanUpReads) {
    winsim::msi::DefineStandardTable("RemoveFile");
    winsim::msi::SetProperty("ZEBTESTSHORTCUTS", "C:\\Users\\Public\\Desktop\\HX.lnk|C:\\HX\\a.exe;"
                                                 "C:\\Users\\Public\\Desktop\\Other.lnk|C:\\B\\b.exe;broken");
    EXPECT_EQ(tstMakeShortcuts(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***Not 'link|target': 'broken'"));
    EXPECT_EQ(winsim::msi::Property("ZEBTESTDESKTOP").value_or(""), "C:\\Users\\Public\\Desktop");
    EXPECT_TRUE(DeleteShortcut(TRUE, FALSE, nullptr, "C:\\HX\\a.exe", 25, nullptr, "C", 2));
    EXPECT_EQ(TempRows("RemoveFile"),
              (std::vector<std::string>{"ZEB_Record_0 | C | HX.lnk | ZEBPATHPROPERTY0 | 2"}));
    EXPECT_TRUE(HasText("Non-HX target: 'C:\\B\\b.exe'"));
}

} // namespace
