// Property patterns, CustomActionData value lists, yes/no values, path properties, temp names.
#include "zebtest.h"

namespace {

using Properties = ZebTest;

TEST_F(Properties, ReadPatternTracesEachOutcome) {
    winsim::msi::SetProperty("P", "v");
    EXPECT_EQ(Read("P"), "v");
    EXPECT_EQ(Read("Missing"), "");
    EXPECT_EQ(stat, 0u);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Property 'P' value 'v' from property table",
                                                 "Property 'Missing' not defined in property table"}));
    EXPECT_NE(Lines()[0].find("HXCA (CaProlog)(TestFn) info:"), std::string::npos);
}

TEST_F(Properties, ValueThatDoesNotFitFailsWith234) {
    winsim::msi::SetProperty("LONG", std::string(259, 'a'));
    EXPECT_EQ(Read("LONG").size(), 259u);
    EXPECT_EQ(stat, 0u);
    winsim::msi::SetProperty("LONG", std::string(260, 'a'));
    EXPECT_EQ(Read("LONG"), "");
    EXPECT_EQ(stat, ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***msiGetProperty('LONG') failed (234)"));
}

TEST_F(Properties, WritePatternImmediateFailureAndDeferred) {
    UINT st = 0;
    EXPECT_TRUE(SetPropertyValue(h, "Fn", "A", "1", &st));
    EXPECT_EQ(winsim::msi::Property("A").value_or(""), "1");
    winsim::FailCall("MsiSetPropertyA", ERROR_FUNCTION_FAILED);
    EXPECT_FALSE(SetPropertyValue(h, "Fn", "B", "2", &st));
    EXPECT_EQ(st, ZEB_RC_FAILURE);
    winsim::ClearFaults();
    winsim::msi::EnterDeferred("iwiSomething");
    st = 0;
    EXPECT_TRUE(SetPropertyValue(h, "Fn", "C", "3", &st));
    EXPECT_EQ(st, 0u);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Property 'A' value set to '1'", kBanner1, kBanner2,
                                                 "***msiSetProperty('B') value('2') failed (1627)",
                                                 "SETPROPERTY('C', '3') ignored during deferred execution"}));
}

class Deferred : public ZebTest {
  protected:
    void WithList(const std::string& content) {
        winsim::fs::WriteFile("C:\\Temp\\zebp0001.txt", content);
        winsim::msi::SetProperty("iwiDeferred", "C:\\Temp\\zebp0001.txt");
        winsim::msi::EnterDeferred("iwiDeferred");
    }
};

TEST_F(Deferred, LookupsFollowTheValueListRules) {
    WithList("A=x=y;B=2;B=3;Empty=;\r\nignored");
    EXPECT_EQ(Read("A"), "x=y");
    EXPECT_EQ(Read("B"), "2");
    EXPECT_EQ(Read("a"), "");
    EXPECT_EQ(Read("Empty"), "");
    EXPECT_EQ(Read("ignored"), "");
    EXPECT_EQ(stat, 0u);
    EXPECT_TRUE(HasText("Property 'CustomActionData' value 'C:\\Temp\\zebp0001.txt' from property table"));
    EXPECT_TRUE(HasText("Size of value list is 30"));
    EXPECT_TRUE(HasText("Property 'A' value 'x=y'; from CustomActionData"));
    EXPECT_TRUE(HasText("Property 'a' not defined in CustomActionData"));
    // The list is read once per loaded copy: a changed file is not seen.
    winsim::fs::WriteFile("C:\\Temp\\zebp0001.txt", "A=changed;");
    EXPECT_EQ(Read("A"), "x=y");
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines)
        out += line + "\r\n";
    return out;
}

TEST_F(Deferred, LoadOutsideATraceLineReachesTheTraceFileItNames) {
    WithList("ZEBUSERTRACEPATH=C:\\Temp\\t.txt;A=1;");
    EXPECT_EQ(Read("A"), "1");
    EXPECT_EQ(stat, 0u);
    // The load's first line reads the trace file's name from the list, loading it meanwhile;
    // from that line on the load's lines reach the file.
    EXPECT_TRUE(
        TextsInOrder({"Property 'CustomActionData' value 'C:\\Temp\\zebp0001.txt' from property table",
                      "Size of value list is 35", "Property 'A' value '1'; from CustomActionData"}));
    EXPECT_EQ(File("C:\\Temp\\t.txt"), Joined(Lines()));
    // The list is held once, whichever load read it: a changed file is not seen.
    winsim::fs::WriteFile("C:\\Temp\\zebp0001.txt", "A=2;");
    EXPECT_EQ(Read("A"), "1");
}

TEST_F(Deferred, ActionLoadsTheListWhileItsBannerIsWritten) {
    EXPECT_EQ(RunDeferred(iwiUserExit, "ZEBUSERTRACEPATH=C:\\Temp\\t.txt;ProductName=HX;"), ZEB_RC_CANCEL);
    // The load runs inside the banner's line, so its own lines are dropped, as in the engine.
    EXPECT_FALSE(HasTextContaining("Size of value list"));
    EXPECT_TRUE(TextsInOrder({ZebBanner(), "Property 'ProductName' value 'HX'; from CustomActionData",
                              "Property 'ZEBEXTCA60000' not defined in CustomActionData",
                              "MSIRUNMODE_SCHEDULED", "Returning with rc 1602"}));
    EXPECT_EQ(File("C:\\Temp\\t.txt"), Joined(Lines()));
}

TEST_F(Deferred, NoCustomActionDataMeansEmptyValues) {
    winsim::msi::EnterDeferred("iwiNoData");
    EXPECT_EQ(Read("A"), "");
    EXPECT_EQ(stat, 0u);
    EXPECT_TRUE(HasText("Property 'CustomActionData' not defined in property table"));
    EXPECT_TRUE(HasText("Property 'A' not defined in CustomActionData"));
}

TEST_F(Deferred, EmptyOrMissingListFileFails) {
    WithList("");
    EXPECT_EQ(Read("A"), "");
    EXPECT_EQ(stat, ZEB_RC_FAILURE);
    int size = IndexOf("***Can't get file size");
    int read = IndexOf("***Can't read 'C:\\Temp\\zebp0001.txt'");
    ASSERT_GE(size, 0);
    EXPECT_GT(read, size);
    EXPECT_TRUE(HasText("Size of value list is 512000"));

    winsim::fs::Remove("C:\\Temp\\zebp0001.txt");
    stat = 0;
    Read("A");
    EXPECT_EQ(stat, ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***Can't open 'C:\\Temp\\zebp0001.txt' (2)"));
}

TEST_F(Deferred, ValueLongerThanCallersBufferIsRefused) {
    WithList("A=" + std::string(40, 'v') + ";");
    EXPECT_EQ(Read("A", 32), "");
    EXPECT_EQ(stat, ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***msiGetProperty('A') failed (234)"));
}

TEST(YesNo, ValuesAndDefaults) {
    EXPECT_TRUE(icsIsNo("NO", nullptr));
    EXPECT_TRUE(icsIsNo("0", nullptr));
    EXPECT_FALSE(icsIsNo("Yes", "no"));
    EXPECT_FALSE(icsIsNo("maybe", nullptr));
    EXPECT_FALSE(icsIsNo("maybe", "yes"));
    EXPECT_TRUE(icsIsNo("maybe", "NO"));
    EXPECT_TRUE(icsIsNo("", "no"));
    EXPECT_TRUE(icsIsYes("yes", nullptr));
    EXPECT_FALSE(icsIsYes("", nullptr));
    EXPECT_FALSE(icsIsYes("no", "yes"));
    EXPECT_TRUE(icsIsYes("other", "Yes"));
}

TEST_F(Properties, PathPropertyReusedIgnoringCase) {
    winsim::msi::SetProperty("ZEBPROPERTYCOUNTER", "7");
    char name1[32], name2[32], name3[32];
    EXPECT_EQ(CreatePathProperty("C:\\Program Files\\HX", name1, sizeof(name1)), 0u);
    EXPECT_EQ(CreatePathProperty("c:\\program files\\hx", name2, sizeof(name2)), 0u);
    EXPECT_EQ(CreatePathProperty("C:\\Other", name3, sizeof(name3)), 0u);
    EXPECT_STREQ(name1, "ZEBPATHPROPERTY7");
    EXPECT_STREQ(name2, "ZEBPATHPROPERTY7");
    EXPECT_STREQ(name3, "ZEBPATHPROPERTY8");
    EXPECT_EQ(winsim::msi::Property("ZEBPATHPROPERTY7").value_or(""), "C:\\Program Files\\HX");
    EXPECT_EQ(winsim::msi::Property("ZEBPROPERTYCOUNTER").value_or(""), "9");
}

TEST_F(Properties, PathPropertiesStayFoundAsTheCacheGrows) {
    char name[32];
    for (int i = 0; i < 300; i++)
        ASSERT_EQ(CreatePathProperty(("C:\\Data\\Folder" + std::to_string(i)).c_str(), name, sizeof(name)),
                  0u);
    for (int i = 299; i >= 0; i--) {
        ASSERT_EQ(CreatePathProperty(("c:\\DATA\\folder" + std::to_string(i)).c_str(), name, sizeof(name)),
                  0u);
        EXPECT_EQ(std::string(name), "ZEBPATHPROPERTY" + std::to_string(i));
    }
    EXPECT_EQ(winsim::msi::Property("ZEBPROPERTYCOUNTER").value_or(""), "300");
}

TEST_F(Properties, ReducedLoggingDropsSuccessLinesAndCounts) {
    iiiSetReducedCSDLogging(TRUE);
    char name[32];
    CreatePathProperty("C:\\A", name, sizeof(name));
    CountReducedLoggingFile();
    CountReducedLoggingFolder();
    CountReducedLoggingFolder();
    iiiSetReducedCSDLogging(FALSE);
    EXPECT_EQ(Texts(),
              (std::vector<std::string>{"Property 'ZEBPROPERTYCOUNTER' not defined in property table",
                                        "Reduced logging - Number of files processed = 1",
                                        "Reduced logging - Number of folders processed = 2"}));
    EXPECT_STREQ(name, "ZEBPATHPROPERTY0");
}

TEST_F(Properties, TempFileNumberSkipsTakenNumbers) {
    winsim::msi::SetProperty("ZEBTEMP", "C:\\Temp\\");
    winsim::fs::WriteFile("C:\\Temp\\zebg0001.txt", "taken");
    std::string name = iiiGetTempFileName("zebp", ".txt");
    EXPECT_EQ(name, "C:\\Temp\\zebp0002.txt");
    EXPECT_EQ(winsim::msi::Property("ZEBTEMPFILENUM").value_or(""), "0002");
    EXPECT_TRUE(HasText("'C:\\Temp\\zebg0001.txt' already exists"));
    EXPECT_TRUE(HasText("Allocated 'C:\\Temp\\zebl0002.dll'"));
    EXPECT_FALSE(winsim::fs::Exists("C:\\Temp\\zebl0002.dll"));
    EXPECT_EQ(File("C:\\Temp\\zebg0001.txt"), "taken");
    // Later names reuse the number whether or not the file exists.
    EXPECT_STREQ(iiiGetTempFileName("zebl", ".dll"), "C:\\Temp\\zebl0002.dll");
}

TEST_F(Properties, TempFolderFallsBackToInstallersTempFolder) {
    SetProps({{"TempFolder", "C:\\Temp\\"}, {"ZEBTEMPFILENUM", "00a1"}});
    EXPECT_STREQ(iiiGetTempFileName("zebt", ".log"), "C:\\Temp\\zebt00a1.log");
    EXPECT_EQ(winsim::msi::Property("ZEBTEMP").value_or(""), "C:\\Temp");
    EXPECT_TRUE(HasText("Property 'ZEBTEMP' value set to 'C:\\Temp'"));
}

TEST_F(Properties, NoTempFolderGivesEmptyName) {
    EXPECT_STREQ(iiiGetTempFileName("zebt", ".log"), "");
    // The installer's empty TempFolder is still handed on to ZEBTEMP.
    EXPECT_TRUE(TextsInOrder({"Property 'ZEBTEMP' not defined in property table",
                              "Property 'TempFolder' not defined in property table",
                              "Property 'ZEBTEMP' value set to ''"}));
}

TEST_F(Properties, TempNameIsWholeOrRefused) {
    // A number of any length names its own file, never a cut one that could be another's.
    SetProps({{"ZEBTEMP", "C:\\Temp"}, {"ZEBTEMPFILENUM", "0123456789abcdefghij"}});
    EXPECT_STREQ(iiiGetTempFileName("zebt", ".log"), "C:\\Temp\\zebt0123456789abcdefghij.log");

    // 232 + 1 + 28 characters do not fit a path.
    Reload();
    std::string folder = "C:\\" + std::string(229, 'f');
    winsim::msi::SetProperty("ZEBTEMP", folder);
    EXPECT_STREQ(iiiGetTempFileName("zebt", ".log"), "");
    winsim::msi::SetProperty("ZEBTEMPFILENUM", "0123456789abcdefgh");
    EXPECT_EQ(iiiGetTempFileName("zebt", ".log"), folder + "\\zebt0123456789abcdefgh.log") << "259 fit";
}

} // namespace
