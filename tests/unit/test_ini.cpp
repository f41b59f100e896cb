// Response file: the stanza table, the setting and feature lookups, list membership.
#include "zebtest.h"

#include <map>

namespace {

const char kIni[] = "C:\\Temp\\resp.ini";

class Ini : public ZebTest {
  protected:
    static void File(const std::string& content) {
        winsim::fs::WriteFile(kIni, content);
        winsim::msi::SetProperty("USEINI", kIni);
    }
    static std::string Value(const char* stanza, const char* keyword, BOOL exact = TRUE) {
        LPCSTR value = nullptr;
        if (!FindIniValue(exact, stanza, keyword, &value))
            return "<none>";
        return value;
    }
    static BOOL Build() {
        BOOL openFailed = TRUE;
        BOOL ok = iwiBuildIniTable(kIni, &openFailed);
        EXPECT_FALSE(openFailed);
        return ok;
    }
    // The language library with the two response-file messages.
    static void Language(const std::string& text2032, const std::string& text2034) {
        winsim::fs::WriteFile("C:\\Temp\\zebl0001.dll",
                              winsim::fs::MakeStringTable({{2032, text2032}, {2034, text2034}}));
        SetProps({{"ZEBLANGDLLCREATED", "1"},
                  {"ZEBTEMP", "C:\\Temp"},
                  {"ZEBTEMPFILENUM", "0001"},
                  {"UILevel", "5"}});
    }
    static int ErrorLines() {
        int n = 0;
        for (const std::string& t : Texts())
            n += t.rfind("***", 0) == 0;
        return n;
    }
    static std::string Property(const char* name, UINT expected = ZEB_RC_SUCCESS,
                                std::string* source = nullptr) {
        char value[ZEB_CCH_MSG];
        char from[ZEB_CCH_PATH] = "unchanged";
        EXPECT_EQ(iwiGetIniProperty(name, value, &from), expected) << name;
        if (source != nullptr)
            *source = from;
        return value;
    }
    static int Feature(const char* feature, const char* parent = nullptr, UINT expected = ZEB_RC_SUCCESS) {
        int state = 99;
        EXPECT_EQ(iwiGetIniFeature(feature, parent, &state), expected) << feature;
        return state;
    }
};

TEST_F(Ini, LinesBecomeStanzasSettingsAndSwitches) {
    File("; comment\r\n"
         "# another\r\n"
         "   \r\n"
         "  [Response]  \r\n"
         "  PGMFOLDER =  \"C:\\Program Files\\HX\" \" \r\n"
         "Quoted=\"\"x\"\"\r\n"
         "/q\r\n"
         "-l  \"C:\\log.txt\"\r\n"
         "/\r\n"
         "Empty=\r\n"
         "a=b=c\r\n"
         "Key=first\r\n"
         "Key=second\r\n"
         "key=lower\r\n"
         "Cut=one\rtwo\r\n"
         "[Other\r\n"
         "Key=other");
    EXPECT_TRUE(Build());
    EXPECT_EQ(Value("RESPONSE", "PGMFOLDER"), "C:\\Program Files\\HX");
    EXPECT_EQ(Value("Response", "Quoted"), "\"x");
    EXPECT_EQ(Value("Response", "-q"), "");
    EXPECT_EQ(Value("Response", "-l"), "C:\\log.txt");
    EXPECT_EQ(Value("Response", "-"), ""); // a lone switch character reads nothing beyond the line
    EXPECT_EQ(Value("Response", "Empty"), "");
    EXPECT_EQ(Value("Response", "a"), "b=c");
    // The later of two settings is found; exact and case-ignoring lookups differ.
    EXPECT_EQ(Value("Response", "Key"), "second");
    EXPECT_EQ(Value("Response", "KEY"), "<none>");
    EXPECT_EQ(Value("Response", "KEY", FALSE), "lower");
    EXPECT_EQ(Value("Response", "Cut"), "one");
    EXPECT_EQ(Value("other", "Key"), "other");
    EXPECT_EQ(Value("Missing", "Key"), "<none>");
    EXPECT_EQ(ErrorLines(), 0);
}

TEST_F(Ini, LaterStanzaOfTheSameNameHidesTheEarlier) {
    File("[Response]\nA=1\nB=1\n[response]\nA=2\n");
    EXPECT_TRUE(Build());
    EXPECT_EQ(Value("Response", "A"), "2");
    EXPECT_EQ(Value("Response", "B"), "<none>");
    // Built once per copy: a changed file is not read again.
    File("[Response]\nA=3\n");
    EXPECT_TRUE(Build());
    EXPECT_EQ(Value("Response", "A"), "2");
}

TEST_F(Ini, FirstErrorStopsStoringButNotStanzas) {
    File("A=1\n[Response]\nB=2\n[Second]\n");
    EXPECT_FALSE(Build());
    EXPECT_TRUE(HasText("***No stanza"));
    EXPECT_EQ(Value("Response", "B"), "<none>");
    EXPECT_EQ(Value("Second", "X"), "<none>");
    EXPECT_EQ(ErrorLines(), 1);
    // The table as built stands for later builds, without their tracing anything.
    size_t lines = Lines().size();
    EXPECT_TRUE(Build());
    EXPECT_EQ(Lines().size(), lines);
}

TEST_F(Ini, EachKindOfErrorLineIsTracedUnderTheBuildFunction) {
    File("[Response]\nGood=1\njust words\n=x\n-\n[]\nLate=2\n");
    EXPECT_FALSE(Build());
    EXPECT_TRUE(TextsInOrder({"***No parameter definition in line", "***No keyword in line",
                              "***No keyword in line", "***No stanza name"}));
    EXPECT_EQ(ErrorLines(), 4);
    for (const std::string& line : Lines()) {
        if (line.find("***") != std::string::npos) {
            EXPECT_NE(line.find("(iwiBuildIniTable) info: ***"), std::string::npos) << line;
        }
    }
    EXPECT_EQ(Value("Response", "Good"), "1");
    EXPECT_EQ(Value("", "Late"), "<none>"); // the unnamed stanza is opened, nothing stored in it
}

TEST_F(Ini, LongestWrittenFeatureListReadsBackAndLongerIsOneError) {
    // The writer's longest line: ADDLOCAL="..." around a 2047-character list.
    std::string list;
    for (int i = 1000; list.size() + 12 < 2047; i++)
        list += "Feature" + std::to_string(i) + ",";
    const std::string last(2047 - list.size(), 'L');
    list += last;
    // Past the limit, the tail "B=22..." of the line would pass for a setting if read in pieces.
    std::string longLine = std::string(2111, 'C') + "B=" + std::string(83, '2');
    File("[Response]\nADDLOCAL=\"" + list + "\"\n" + longLine + "\nD=4\n");
    EXPECT_FALSE(Build());
    EXPECT_EQ(Value("Response", "ADDLOCAL"), list);
    EXPECT_EQ(Value("Response", "B"), "<none>");
    EXPECT_EQ(Value("Response", "D"), "<none>");
    EXPECT_TRUE(HasText("***Line longer than 2111 characters"));
    EXPECT_EQ(ErrorLines(), 1);
    EXPECT_EQ(Feature(last.c_str()), INSTALLSTATE_LOCAL);
}

TEST_F(Ini, ValuesWithReferencesAreExpanded) {
    winsim::SetEnv("BIG", std::string(300, 'b')); // beyond the first buffer of length + 128
    File("[Response]\nPGM=%ProgramFiles%\\x\nBIG=%BIG%\\y\nUNSET=%NOSUCHVAR%\nPCT=100%\n");
    EXPECT_TRUE(Build());
    EXPECT_EQ(Value("Response", "PGM"), "C:\\Program Files\\x");
    EXPECT_EQ(Value("Response", "BIG"), std::string(300, 'b') + "\\y");
    EXPECT_EQ(Value("Response", "UNSET"), "%NOSUCHVAR%");
    EXPECT_EQ(Value("Response", "PCT"), "100%");
}

TEST_F(Ini, ExpansionFailureIsAnError) {
    File("[Response]\nA=%TEMP%\nB=2\n");
    winsim::FailCall("ExpandEnvironmentStringsA", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_FALSE(Build());
    EXPECT_TRUE(HasText("***Unable to expand environment strings (code 8) for '%TEMP%'"));
    EXPECT_EQ(Value("Response", "A"), "<none>");
    EXPECT_EQ(Value("Response", "B"), "<none>");
}

TEST_F(Ini, ListMembership) {
    EXPECT_TRUE(IsItemInList("Server", "Server, Client"));
    EXPECT_TRUE(IsItemInList("Client", "Server, Client"));
    EXPECT_TRUE(IsItemInList("Client", " Server,,\tClient "));
    EXPECT_FALSE(IsItemInList("Serv", "Server,Client"));
    EXPECT_FALSE(IsItemInList("server", "Server"));
    EXPECT_FALSE(IsItemInList("", "Server, ,"));
    EXPECT_TRUE(IsItemInList("all", "Server,ALL"));
    EXPECT_TRUE(IsItemInList("All", "all"));
    EXPECT_FALSE(IsItemInList("Server", "ALL"));
    EXPECT_FALSE(IsItemInList("all", "Allx"));
}

TEST_F(Ini, PropertyFirstThenExactKeywordOfResponse) {
    File("[Response]\nINSTALLATIONNAME=FromFile\ninstallationname=lower\nPGMFOLDER=C:\\HX\n");
    winsim::msi::SetProperty("INSTALLATIONNAME", "FromCommandLine");
    std::string source;
    EXPECT_EQ(Property("INSTALLATIONNAME", ZEB_RC_SUCCESS, &source), "FromCommandLine");
    EXPECT_EQ(source, "");
    EXPECT_FALSE(HasTextContaining("response file")); // the file is not needed yet

    winsim::msi::SetProperty("INSTALLATIONNAME", "");
    EXPECT_EQ(Property("INSTALLATIONNAME", ZEB_RC_SUCCESS, &source), "FromFile");
    EXPECT_EQ(source, kIni);
    EXPECT_TRUE(HasText("Property 'INSTALLATIONNAME', value 'FromFile' from response file"));
    EXPECT_EQ(Property("installationName", ZEB_RC_SUCCESS, &source), "");
    EXPECT_EQ(source, "");
    EXPECT_TRUE(HasText("Property 'installationName' not defined in response file"));
}

TEST_F(Ini, UseIniIsNormalisedAndReadOnce) {
    winsim::fs::WriteFile(kIni, "[Response]\nA=1\n");
    winsim::msi::SetProperty("USEINI", std::string("  \"") + kIni + "\"  ");
    std::string source;
    EXPECT_EQ(Property("A", ZEB_RC_SUCCESS, &source), "1");
    EXPECT_EQ(source, kIni);
    winsim::msi::SetProperty("USEINI", "C:\\Temp\\other.ini");
    EXPECT_EQ(Property("A"), "1");
    EXPECT_FALSE(HasTextContaining("other.ini"));
}

TEST_F(Ini, EmptyUseIniStopsEveryLaterFileLookup) {
    EXPECT_EQ(Property("A"), "");
    File("[Response]\nA=1\nADDLOCAL=Server\n");
    EXPECT_EQ(Property("A"), "");
    EXPECT_EQ(Feature("Server"), ZEB_FEATURE_UNSPECIFIED);
    EXPECT_FALSE(HasTextContaining("response file"));
    EXPECT_FALSE(HasTextContaining("Response file"));
}

TEST_F(Ini, BrokenFileShowsMessage2032OnceThenServesWhatWasStored) {
    Language("Errors in %s; 100%% of %d kept", "Cannot open %s");
    File("[Response]\nA=1\nno equals sign\nB=2\n");
    EXPECT_EQ(Property("B", ZEB_RC_FAILURE), "");
    ASSERT_EQ(MessageBoxes().size(), 1u);
    // The template is filled, never used as a format.
    EXPECT_EQ(MessageBoxes()[0], std::string("Errors in ") + kIni + "; 100% of %d kept");
    EXPECT_TRUE(HasText(std::string("HXCA  MB *** error: Errors in ") + kIni + "; 100% of %d kept"));
    EXPECT_EQ(Property("A"), "1");
    EXPECT_EQ(Property("B"), "");
    EXPECT_EQ(MessageBoxes().size(), 1u);
}

TEST_F(Ini, UnopenableFileShowsMessage2034) {
    Language("Errors in %s", "Cannot open %s");
    winsim::msi::SetProperty("USEINI", "C:\\Temp\\none.ini");
    int state = 0;
    EXPECT_EQ(iwiGetIniFeature("Server", nullptr, &state), ZEB_RC_FAILURE);
    EXPECT_EQ(state, ZEB_FEATURE_UNSPECIFIED);
    EXPECT_EQ(MessageBoxes(), std::vector<std::string>{"Cannot open C:\\Temp\\none.ini"});
    EXPECT_TRUE(HasText("***Can't open 'C:\\Temp\\none.ini'"));
    EXPECT_EQ(Property("A"), "");
    EXPECT_EQ(MessageBoxes().size(), 1u);
}

TEST_F(Ini, ExpandedValueThatDoesNotFitIsRefused) {
    // A line holds at most 515 characters; only an expansion makes a value longer.
    winsim::SetEnv("FITS", std::string(515, 'f'));
    winsim::SetEnv("LONGDIR", std::string(516, 'd'));
    File("[Response]\nFIT=%FITS%\nPGMFOLDER=%LONGDIR%\n");
    EXPECT_EQ(Property("FIT"), std::string(515, 'f'));
    std::string source;
    EXPECT_EQ(Property("PGMFOLDER", ZEB_RC_FAILURE, &source), "");
    EXPECT_EQ(source, "");
    EXPECT_TRUE(HasText("***Property 'PGMFOLDER' value from response file too long (516 characters)"));
}

TEST_F(Ini, FailedReadsFailTheLookup) {
    File("[Response]\nA=1\n");
    winsim::FailCall("MsiGetPropertyA", ERROR_FUNCTION_FAILED, 1, "A");
    EXPECT_EQ(Property("A", ZEB_RC_FAILURE), "");
    winsim::FailCall("MsiGetPropertyA", ERROR_FUNCTION_FAILED, 1, "USEINI");
    EXPECT_EQ(Property("A", ZEB_RC_FAILURE), "");
    EXPECT_EQ(Property("A"), "1"); // nothing was cached by the failed read
    winsim::FailCall("MsiGetPropertyA", ERROR_FUNCTION_FAILED, 1, "ADDSOURCE");
    EXPECT_EQ(Feature("Server", nullptr, ZEB_RC_FAILURE), ZEB_FEATURE_UNSPECIFIED);
    EXPECT_TRUE(HasText("***msiGetProperty('ADDSOURCE') failed (1627)"));
}

TEST_F(Ini, FeatureListPropertiesInOrderLaterMatchWins) {
    struct Case {
        std::map<std::string, std::string> properties;
        std::vector<int> states; // Server, Client, Docs (whose parent is Client)
        std::string trace;
    };
    const std::vector<Case> cases = {
        {{{"ADDLOCAL", "Server, Client"}}, {3, 3, -1}, "Feature 'Client' specified in property ADDLOCAL"},
        {{{"ADDLOCAL", "ALL"}}, {3, 3, 3}, "Feature 'Docs' specified in property ADDLOCAL"},
        {{{"ADDLOCAL", "Server"}, {"ADDSOURCE", "Server"}},
         {4, -1, -1},
         "Feature 'Server' specified in property ADDSOURCE"},
        {{{"ADDSOURCE", "Server"}, {"ADDDEFAULT", "all"}},
         {5, 5, 5},
         "Feature 'Server' specified in property ADDDEFAULT"},
        {{{"REMOVE", "Client"}}, {-1, 2, 2}, "Feature 'Docs' parent 'Client' specified in property REMOVE"},
        {{{"ADDLOCAL", "all"}, {"ADVERTISE", "Docs"}},
         {3, 3, 1},
         "Feature 'Docs' specified in property ADVERTISE"},
        {{{"ADDLOCAL", "Server,Docs"}, {"REINSTALL", "Docs,Server"}},
         {-1, -1, -1},
         "Feature 'Docs' specified in property REINSTALL"},
    };
    const char* const parents[] = {nullptr, "", "Client"};
    const char* const features[] = {"Server", "Client", "Docs"};
    for (const Case& c : cases) {
        for (const char* name : {"ADDLOCAL", "REMOVE", "ADDSOURCE", "ADDDEFAULT", "REINSTALL", "ADVERTISE"})
            winsim::msi::RemoveProperty(name);
        for (const auto& [name, value] : c.properties)
            winsim::msi::SetProperty(name, value);
        Reload(true);
        for (int i = 0; i < 3; i++)
            EXPECT_EQ(Feature(features[i], parents[i]), c.states[i]) << features[i] << ", " << c.trace;
        EXPECT_TRUE(HasText(c.trace)) << c.trace;
    }
}

TEST_F(Ini, ReinstallPropertyLeavesTheFeatureUnspecifiedAndTheFileUnread) {
    Language("Errors in %s", "Cannot open %s");
    SetProps({{"USEINI", "C:\\Temp\\none.ini"}, {"ADDLOCAL", "Server"}, {"REINSTALL", "ALL"}});
    EXPECT_EQ(Feature("Server"), ZEB_FEATURE_UNSPECIFIED);
    EXPECT_TRUE(TextsInOrder({"Feature 'Server' specified in property ADDLOCAL",
                              "Feature 'Server' specified in property REINSTALL"}));
    EXPECT_TRUE(MessageBoxes().empty());
    EXPECT_FALSE(HasTextContaining("none.ini"));
}

TEST_F(Ini, FeatureListsAreReadOncePerCopy) {
    winsim::msi::SetProperty("ADDLOCAL", "Server");
    EXPECT_EQ(Feature("Server"), INSTALLSTATE_LOCAL);
    SetProps({{"ADDLOCAL", ""}, {"REMOVE", "Server"}});
    EXPECT_EQ(Feature("Server"), INSTALLSTATE_LOCAL);
    Reload(true);
    EXPECT_EQ(Feature("Server"), INSTALLSTATE_ABSENT);
}

TEST_F(Ini, ResponseFileListsWhenNoPropertyNamesTheFeature) {
    File("[Response]\nADDLOCAL=Server, Client\nREMOVE=Client\nREINSTALL=Tools\nADVERTISE=Client,Docs\n");
    winsim::msi::SetProperty("ADDSOURCE", "Other");
    EXPECT_EQ(Feature("Server"), INSTALLSTATE_LOCAL);
    EXPECT_TRUE(TextsInOrder(
        {"Response file ADDLOCAL value is 'Server, Client'",
         "Feature 'Server' specified in response file ADDLOCAL", "Response file REMOVE value is 'Client'",
         "Response file ADDSOURCE value is ''", "Response file ADDDEFAULT value is ''",
         "Response file REINSTALL value is 'Tools'", "Response file ADVERTISE value is 'Client,Docs'"}));
    EXPECT_EQ(Feature("Client"), INSTALLSTATE_ADVERTISED); // the last of three matches
    EXPECT_EQ(Feature("Tools"), INSTALLSTATE_LOCAL);       // REINSTALL in the file installs
    EXPECT_EQ(Feature("Docs", "Client"), INSTALLSTATE_ADVERTISED);
    EXPECT_EQ(Feature("Help", "Client"), INSTALLSTATE_ABSENT);
    EXPECT_TRUE(HasText("Feature 'Help' parent 'Client' specified in response file REMOVE"));
    EXPECT_EQ(Feature("Other"), INSTALLSTATE_SOURCE); // the property answers; the file is not consulted
    EXPECT_EQ(Feature("Nothing"), ZEB_FEATURE_UNSPECIFIED);
}

} // namespace
