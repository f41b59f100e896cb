// The record generator behind the fixture's AddInstallation and the hxrecord command: what its text
// puts in the registry, the command's words, and the check of files it wrote.
#include "zebtest.h"

namespace {

using winsim::reg::View;

using Records = ZebTest;

std::string Value(const std::string& key, const std::string& name, View view = View::Native) {
    auto v = winsim::reg::GetValue(HKEY_LOCAL_MACHINE, key, name, view);
    if (!v)
        return "<absent>";
    return v->type == REG_SZ ? v->data.substr(0, v->data.find('\0'))
                             : "<type " + std::to_string(v->type) + ">";
}

TEST_F(Records, CommandWordsMakeTheRecordsInTheirViews) {
    hxrecord::Output out = hxrecord::FromArgs({"reset",
                                               "installation",
                                               "Inst1",
                                               "description=Joe's \"QM\"",
                                               "identifier=1",
                                               "folder=C:\\HX 1",
                                               "component=Server",
                                               "shipped=1.0",
                                               "maint=1.2:C:\\HX 1\\m\\1.2",
                                               "value=ProductType=Client",
                                               "installation",
                                               "Inst2",
                                               "view=32",
                                               "identifier=2",
                                               "old",
                                               "productcode={0}",
                                               "name=Inst1",
                                               "component=Server",
                                               "primary",
                                               "Inst2",
                                               "view=32",
                                               "workpath",
                                               "C:\\Data"},
                                              false);
    ASSERT_EQ(out.error, "");
    Registry(out.text);
    const std::string inst = "SOFTWARE\\Corvane\\Skyloft HX\\Installation\\";
    EXPECT_EQ(Value(inst + "Inst1", "Name"), "Inst1");
    EXPECT_EQ(Value(inst + "Inst1", "Description"), "Joe's \"QM\"");
    EXPECT_EQ(Value(inst + "Inst1", "FilePath"), "C:\\HX 1");
    EXPECT_EQ(Value(inst + "Inst1", "ProductType"), "Client");
    EXPECT_EQ(Value(inst + "Inst1", "VRMF"), "<absent>"); // not given, not written
    EXPECT_EQ(Value(inst + "Inst1\\Components", "Server"), "");
    EXPECT_EQ(Value(inst + "Inst1\\Maintenance Applied", "Shipped"), "1.0");
    EXPECT_EQ(Value(inst + "Inst1\\Maintenance Applied", "Maint_1.2"), "C:\\HX 1\\m\\1.2");
    EXPECT_EQ(Value(inst + "Inst2", "Identifier", View::Wow32), "2");
    EXPECT_EQ(Value(inst + "Inst2", "Identifier"), "<absent>");
    EXPECT_EQ(Value("SOFTWARE\\Corvane\\Hexline\\CurrentVersion", "Name", View::Wow32), "Inst1");
    EXPECT_EQ(Value("SOFTWARE\\Corvane\\Hexline\\CurrentVersion\\Components", "Server", View::Wow32), "");
    EXPECT_EQ(Value("SOFTWARE\\Corvane\\Skyloft HX\\Primary", "Name", View::Wow32), "Inst2");
    EXPECT_EQ(Value("SOFTWARE\\Corvane\\Skyloft HX", "WorkPath"), "C:\\Data");

    // The file repeats its command, which makes it again; the body alone has neither.
    EXPECT_EQ(
        out.text.rfind("REGEDIT4\r\n; hxrecord reset installation Inst1 'description=Joe'\\''s \"QM\"' ", 0),
        0u);
    EXPECT_EQ(hxrecord::CheckFile(out.text), "");
    std::string body = hxrecord::FromArgs({"primary", "P"}, true).text;
    EXPECT_EQ(body, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Skyloft HX\\Primary]\n\"Name\"=\"P\"\n\n");

    // reset removes what is there, in both views.
    Registry(hxrecord::RegFile(hxrecord::Reset()));
    EXPECT_FALSE(winsim::reg::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Skyloft HX"));
    EXPECT_FALSE(winsim::reg::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Skyloft HX", View::Wow32));
    EXPECT_FALSE(winsim::reg::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Hexline\\CurrentVersion",
                                        View::Wow32));
}

TEST_F(Records, OriginFieldsOfBothRecordsAndTheOldLogDefaults) {
    hxrecord::Output out = hxrecord::FromArgs(
        {"installation", "Inst1", "package=Server", "producttype=Server", "serverversion=9",
         "serverrelease=3", "languagecode=j", "language=Japanese", "value=Package=Client", "old",
         "serverversion=5", "serverrelease=21", "logdefaultpath=C:\\Logs", "package=Client"},
        false);
    ASSERT_EQ(out.error, "");
    Registry(out.text);
    const std::string inst = "SOFTWARE\\Corvane\\Skyloft HX\\Installation\\Inst1";
    EXPECT_EQ(Value(inst, "Package"), "Client"); // a later value of the same name replaces it
    EXPECT_EQ(Value(inst, "ProductType"), "Server");
    EXPECT_EQ(Value(inst, "HXServerVersion"), "9");
    EXPECT_EQ(Value(inst, "HXServerRelease"), "3");
    EXPECT_EQ(Value(inst, "LanguageCode"), "j");
    EXPECT_EQ(Value(inst, "Language"), "Japanese");
    const std::string old = "SOFTWARE\\Corvane\\Hexline\\CurrentVersion";
    EXPECT_EQ(Value(old, "HXServerRelease", View::Wow32), "21");
    EXPECT_EQ(Value(old, "Package", View::Wow32), "Client");
    EXPECT_EQ(Value(old + "\\Configuration\\LogDefaults", "LogDefaultPath", View::Wow32), "C:\\Logs");
    EXPECT_EQ(hxrecord::FromArgs({"installation", "A", "logdefaultpath=C:\\L"}, false).error,
              "unknown field 'logdefaultpath=C:\\L' of installation");
}

TEST_F(Records, BadWordsAreRefused) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, "no records"},
        {{"installation", "view=32"}, "installation needs a name"},
        {{"installation", "A", "maint=1.2"}, "unknown field 'maint=1.2' of installation"},
        {{"lastinstall", "A", "installation", "B"},
         "lastinstall is the only record of its output; 'installation' follows it"},
    };
    for (const auto& [words, error] : cases) {
        hxrecord::Output out = hxrecord::FromArgs(words, false);
        EXPECT_EQ(out.error, error);
        EXPECT_EQ(out.text, "");
    }
}

TEST_F(Records, WordsSurviveTheirComment) {
    const std::vector<std::string> words = {"plain", "with space", "it's",     "C:\\a\\b",
                                            "",      "x=\"y\"",    "tab\there"};
    EXPECT_EQ(hxrecord::SplitArgs(hxrecord::QuoteArgs(words)), words);
    EXPECT_EQ(hxrecord::QuoteArgs({"C:\\a b"}), "'C:\\a b'");
}

TEST_F(Records, CheckFindsAFileOutOfStep) {
    std::string text = hxrecord::FromArgs({"installation", "Inst1", "identifier=1"}, false).text;
    std::string edited = text;
    edited.replace(edited.find("\"1\""), 3, "\"2\"");
    EXPECT_EQ(hxrecord::CheckFile(edited), "differs from what its command makes now, from line 6");
    EXPECT_EQ(hxrecord::CheckFile("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\r\n"),
              "no '; hxrecord ...' line");
    EXPECT_EQ(hxrecord::CheckFile("REGEDIT4\r\n; hxrecord installation\r\n"),
              "its command fails: installation needs a name");
}

} // namespace
