// Language strings (the library's own table and the language library), message boxes and the
// launcher's splash window.
#include "zebtest.h"

namespace {

using Strings = ZebTest;
using Boxes = ZebTest;
using Splash = ZebTest;

const char kSplashClass[] = "ZEBHexlineSplash";
const char kNoLibrary[] = "Language DLL has not yet been created, unable to load NLS string.";

std::vector<winsim::Event> EventsOfKind(const std::string& kind) {
    std::vector<winsim::Event> out;
    for (const winsim::Event& e : winsim::Events())
        if (e.kind == kind)
            out.push_back(e);
    return out;
}

int CountOf(const std::vector<std::string>& texts, const std::string& text) {
    return (int)std::count(texts.begin(), texts.end(), text);
}

// ---- Strings -----------------------------------------------------------------------------------

TEST_F(Strings, OwnTableHoldsTheLanguageCodesOfOlderInstallationsInOrder) {
    const char* const kCodes[] = {"en_us", "fr_fr", "de_de", "es_es", "it_it", "ja_jp", "pt_br",
                                  "ko_kr", "zh_cn", "zh_tw", "hu_hu", "ru_ru", "pl_pl", "cs_cz"};
    char szText[ZEB_CCH_MSG];
    for (UINT i = 0; i < 14; i++) {
        EXPECT_TRUE(LoadStringFromResource(szText, 250 + i)) << 250 + i;
        EXPECT_STREQ(szText, kCodes[i]) << 250 + i;
    }
    EXPECT_FALSE(HasTextContaining("LoadString failed"));

    // Next to the codes, and in the reserved ranges that have no texts yet: not found, empty.
    for (UINT uId : {249u, 264u, 300u, 719u, 10000u, 10335u}) {
        lstrcpynA(szText, "previous", sizeof(szText));
        EXPECT_FALSE(LoadStringFromResource(szText, uId)) << uId;
        EXPECT_STREQ(szText, "") << uId;
    }
    EXPECT_TRUE(HasText("LoadString failed (ID '264'). (ZEB4702)"));
    // The table the build made the resources from says the same.
    std::map<unsigned, std::string> own = TableStrings("zebiwicn");
    EXPECT_EQ(own.size(), 14u);
    for (UINT i = 0; i < 14; i++)
        EXPECT_EQ(own[250 + i], kCodes[i]);
}

TEST_F(Strings, LanguageLibraryFromThePackageHoldsEveryStringOfTheTable) {
    UnpackLanguageLibrary();
    std::map<unsigned, std::string> table = TableStrings("zebircan");
    for (unsigned uId : {1018u, 1146u, 2027u, 2032u, 2034u, 2041u})
        EXPECT_EQ(table.count(uId), 1u) << uId;
    char szText[ZEB_CCH_MSG];
    for (const auto& [uId, text] : table) {
        EXPECT_TRUE(iwiLoadNlsString(szText, uId)) << uId;
        EXPECT_EQ(szText, text) << uId;
    }
    // Loaded once as a data file, from the unpacked copy, for all of them.
    EXPECT_EQ(winsim::CallCount("LoadLibraryExA"), 1);
    EXPECT_FALSE(HasTextContaining("(ZEB4701)"));

    // What the callers rely on: the fallback texts, one "%s" for the path, the engine's fields.
    EXPECT_EQ(table[2027], "Corvane Skyloft HX");
    EXPECT_EQ(table[2034], "Can't open file '%s'. (ZEB4734)");
    for (unsigned uId : {2032u, 2034u}) {
        const std::string& t = table[uId];
        EXPECT_EQ(std::count(t.begin(), t.end(), '%'), 1) << t;
        EXPECT_NE(t.find("%s"), std::string::npos) << t;
    }
    EXPECT_NE(table[1018].find("[1]"), std::string::npos);
    EXPECT_FALSE(table[2041].empty());
}

TEST_F(Strings, MissingStringIsEmptyAndTraced) {
    UnpackLanguageLibrary();
    char szText[ZEB_CCH_MSG] = "previous";
    EXPECT_FALSE(iwiLoadNlsString(szText, 9999));
    EXPECT_STREQ(szText, "");
    EXPECT_TRUE(HasText("***iwiLoadNlsString() failed (ID '9999'). (ZEB4701)"));
    // The library stays usable.
    EXPECT_TRUE(iwiLoadNlsString(szText, ZEB_MSG_BOX_TITLE));
    EXPECT_EQ(winsim::CallCount("LoadLibraryExA"), 1);
}

TEST_F(Strings, WithoutTheCreatedFlagEveryStringIsTheFixedText) {
    UnpackLanguageLibrary();
    for (const char* created : {"", "0", "yes"}) {
        winsim::msi::SetProperty("ZEBLANGDLLCREATED", created);
        char szText[ZEB_CCH_MSG];
        EXPECT_FALSE(iwiLoadNlsString(szText, ZEB_MSG_BOX_TITLE)) << created;
        EXPECT_STREQ(szText, kNoLibrary) << created;
    }
    EXPECT_EQ(winsim::CallCount("LoadLibraryExA"), 0);
}

// ---- Message boxes -----------------------------------------------------------------------------

TEST_F(Boxes, TitleComesFromTheUnpackedLibrary) {
    winsim::msi::SetProperty("UILevel", "5");
    // A library of the test's own shows that the title is read from the file, not the fallback.
    UnpackLanguageLibrary(winsim::fs::MakeStringTable({{2027, "Titre de test"}}));
    EXPECT_EQ(iiiDisplayMsgBox("Text", MB_ICONINFORMATION), IDOK);
    std::vector<winsim::Event> boxes = EventsOfKind("messagebox");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "Titre de test");
    EXPECT_EQ(boxes[0].text, "Text");
    EXPECT_EQ(boxes[0].flags, (unsigned)MB_ICONINFORMATION);
}

TEST_F(Boxes, TitleFallsBackWhenTheStringIsMissing) {
    winsim::msi::SetProperty("UILevel", "5");
    UnpackLanguageLibrary(winsim::fs::MakeStringTable({{2041, "only the failure text"}}));
    iiiDisplayMsgBox("Text", MB_ICONWARNING);
    std::vector<winsim::Event> boxes = EventsOfKind("messagebox");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "Corvane Skyloft HX");
    EXPECT_TRUE(HasText("***iwiLoadNlsString() failed (ID '2027'). (ZEB4701)"));
    // Outside any action the line names none.
    EXPECT_TRUE(HasText("HXCA  MB warning: Text"));
}

// iwiERROR as the outermost action of a silent run, the language library unpacked: every line.
TEST_F(Boxes, FailingActionTracesItsWholeSequence) {
    winsim::msi::SetProperty("UILevel", "2");
    UnpackLanguageLibrary();
    EXPECT_EQ(iwiERROR(h), ZEB_RC_FAILURE);
    const std::vector<std::string> expected = {
        ZebBanner(),
        "Property 'ProductName' not defined in property table",
        "Property 'ZEBEXTCA60000' not defined in property table",
        "User name is 'Administrator'",
        kBanner1,
        kBanner2,
        "***Returning an error to provoke a rollback",
        "Property 'ZEBLANGDLLCREATED' value '1' from property table",
        "Property 'ZEBTEMP' value 'C:\\Temp' from property table",
        "Property 'ZEBTEMPFILENUM' value '0001' from property table",
        "Splash bitmap not running",
        "HXCA iwiERROR MB *** error: " + TableStrings("zebircan")[2041],
        "Property 'UILevel' value '2' from property table",
        "Freeing NLS library",
        "Returning with rc 1603",
    };
    EXPECT_EQ(Texts(), expected);
    EXPECT_TRUE(MessageBoxes().empty());
    EXPECT_EQ(FrameLanguageLibrary(), nullptr);
}

TEST_F(Boxes, LibraryThatCannotBeLoadedGivesTheFallbackTitleAndNoStringLoad) {
    winsim::msi::SetProperty("UILevel", "5");
    UnpackLanguageLibrary("not a library");
    EXPECT_EQ(iwiERROR(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***iwiLoadNlsString LoadLibrary(C:\\Temp\\zebl0001.dll) failed 193 (ID '2041')."));
    std::vector<winsim::Event> boxes = EventsOfKind("messagebox");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "");
    EXPECT_EQ(boxes[0].title, "Corvane Skyloft HX");
    EXPECT_EQ(winsim::CallCount("LoadStringA"), 0);
    EXPECT_FALSE(HasText("Freeing NLS library"));
}

// ---- Splash window -----------------------------------------------------------------------------

TEST_F(Splash, BoxWaitsForTheSplashToClose) {
    winsim::msi::SetProperty("UILevel", "5");
    winsim::OpenWindow(kSplashClass, "", 600);
    EXPECT_EQ(iiiDisplayMsgBox("Text", MB_ICONWARNING), IDOK);
    EXPECT_EQ(CountOf(Texts(), "Closing splash window (class ZEBHexlineSplash)"), 1);
    EXPECT_FALSE(HasText("Splash bitmap not running"));
    EXPECT_FALSE(winsim::WindowExists(kSplashClass));
    // One close request, then the box, once the window had gone (looks at 250, 500, 750 ms).
    const std::vector<winsim::Event>& events = winsim::Events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].kind, "message");
    EXPECT_EQ(events[0].text, kSplashClass);
    EXPECT_EQ(events[0].flags, (unsigned)WM_CLOSE);
    EXPECT_EQ(events[1].kind, "messagebox");
    EXPECT_EQ(winsim::NowMs(), 750u);
    EXPECT_TRUE(TextsInOrder({"Closing splash window (class ZEBHexlineSplash)", "HXCA  MB warning: Text"}));
}

TEST_F(Splash, NoSplashNoWait) {
    winsim::msi::SetProperty("UILevel", "5");
    iiiDisplayMsgBox("Text", MB_OK);
    EXPECT_TRUE(TextsInOrder({"Splash bitmap not running", "HXCA  MB : Text"}));
    EXPECT_TRUE(EventsOfKind("message").empty());
    EXPECT_EQ(winsim::NowMs(), 0u);
}

TEST_F(Splash, SplashThatNeverClosesHoldsTheBoxTenSecondsOnly) {
    winsim::msi::SetProperty("UILevel", "5");
    winsim::OpenWindow(kSplashClass, "", -1);
    EXPECT_EQ(iiiDisplayMsgBox("Text", MB_ICONERROR), IDOK);
    EXPECT_EQ(winsim::NowMs(), 10000u);
    EXPECT_EQ(EventsOfKind("message").size(), 1u);
    EXPECT_EQ(MessageBoxes().size(), 1u);
    EXPECT_TRUE(
        TextsInOrder({"Closing splash window (class ZEBHexlineSplash)",
                      "***Splash window (class ZEBHexlineSplash) still open after 10 seconds; going on",
                      "HXCA  MB *** error: Text"}));
    EXPECT_TRUE(winsim::WindowExists(kSplashClass));
}

TEST_F(Splash, StopSplashClosesItImmediateOnly) {
    winsim::OpenWindow(kSplashClass, "", 0);
    EXPECT_EQ(iwiStopSplash(h), ZEB_RC_SUCCESS);
    EXPECT_FALSE(winsim::WindowExists(kSplashClass));
    EXPECT_TRUE(HasText("Closing splash window (class ZEBHexlineSplash)"));

    // Deferred: the guard fails the action before its body looks for the window. The window goes
    // only with the generic failure message, whose box closes a splash as every box does.
    Reload(true);
    winsim::ClearEvents();
    winsim::OpenWindow(kSplashClass, "", 0);
    int iLooksBefore = winsim::CallCount("FindWindowA");
    EXPECT_EQ(RunDeferred(iwiStopSplash, "UILevel=2;"), ZEB_RC_FAILURE);
    EXPECT_EQ(CountOf(Texts(), "Closing splash window (class ZEBHexlineSplash)"), 1);
    EXPECT_TRUE(TextsInOrder({"***CA execute error; run mode must not be 'MSIRUNMODE_SCHEDULED'.",
                              "Closing splash window (class ZEBHexlineSplash)",
                              "HXCA iwiStopSplash MB *** error: " + std::string(kNoLibrary),
                              "Returning with rc 1603"}));
    EXPECT_EQ(winsim::CallCount("FindWindowA") - iLooksBefore, 2); // the box's: found, then gone
}

TEST_F(Splash, WaitForSplashGivesUpAfterTenSeconds) {
    EXPECT_EQ(iwiWaitForSplash(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(winsim::NowMs(), 10000u);
    EXPECT_EQ(winsim::CallCount("FindWindowA"), 40);
    EXPECT_TRUE(TextsInOrder({"Waiting for splash window to start (class ZEBHexlineSplash)",
                              "Timed out waiting for splash window", "Returning with rc 0"}));
    EXPECT_FALSE(HasText("Splash window started"));
}

TEST_F(Splash, WaitForSplashSeesOneStartingLate) {
    winsim::AtTime(3000, [] { winsim::OpenWindow(kSplashClass); });
    EXPECT_EQ(iwiWaitForSplash(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(winsim::NowMs(), 3000u);
    EXPECT_TRUE(TextsInOrder({"Waiting for splash window to start (class ZEBHexlineSplash)",
                              "Splash window started", "Returning with rc 0"}));
    EXPECT_FALSE(HasText("Timed out waiting for splash window"));
    // Waiting is not closing.
    EXPECT_TRUE(winsim::WindowExists(kSplashClass));
    EXPECT_TRUE(EventsOfKind("message").empty());
}

} // namespace
