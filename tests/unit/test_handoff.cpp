// Hand-over of a whole call to a second copy of the library named by ZEBEXTCA60000.
#include "zebtest.h"

namespace {

ZebActionProc Export(HMODULE hLib, const char* name) {
    return (ZebActionProc)(void*)GetProcAddress(hLib, name);
}

class HandOver : public ZebTest {
  protected:
    void SetUp() override {
        ZebTest::SetUp();
        winsim::fs::MapModule("C:\\Ext\\zebiwicn.dll", ZEB_NATIVE_LIBRARY);
    }
};

TEST_F(HandOver, SecondCopyRunsTheActionAndRecognisesItself) {
    winsim::msi::SetProperty("ZEBEXTCA60000", "C:\\Ext\\");
    EXPECT_EQ(iwiERROR(h), ZEB_RC_FAILURE);
    std::vector<std::string> texts = Texts();
    EXPECT_TRUE(
        TextsInOrder({"Executing 'C:\\Ext\\zebiwicn.dll(iwiERROR)'", "External invocation of 'zebiwicn.dll'",
                      "***Returning an error to provoke a rollback"}));
    // Only the second copy ran the body, and only it answers the failure with a message.
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "***Returning an error to provoke a rollback"), 1);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "Returning with rc 1603"), 2);
    // The second copy is unloaded and the mutex closed at the exit.
    EXPECT_EQ(FrameDepth(), 0);
    EXPECT_EQ(GetModuleHandleA("C:\\Ext\\zebiwicn.dll"), nullptr);
    EXPECT_FALSE(winsim::NamedObjectExists("ZEB_HexlineInstallation"));

    // Nothing is left unbalanced for the next call in this copy.
    winsim::msi::ClearMessages();
    winsim::msi::SetProperty("ZEBEXTCA60000", "");
    EXPECT_EQ(iwiUserExit(h), ZEB_RC_CANCEL);
    EXPECT_FALSE(HasTextContaining("Invalid depth count"));
}

TEST_F(HandOver, FolderWithoutCopyRunsLocally) {
    winsim::fs::MakeDirs("C:\\Empty");
    winsim::msi::SetProperty("ZEBEXTCA60000", "C:\\Empty");
    EXPECT_EQ(iwiUserExit(h), ZEB_RC_CANCEL);
    EXPECT_TRUE(HasText("Can't find 'C:\\Empty\\zebiwicn.dll'"));
    EXPECT_NE(Lines().back().find("HXCA iwiUserExit info: Returning with rc 1602"), std::string::npos);
}

TEST_F(HandOver, FolderTooLongForAnyCopyRunsLocally) {
    std::string folder = "C:\\" + std::string(250, 'd');
    winsim::msi::SetProperty("ZEBEXTCA60000", folder);
    EXPECT_EQ(iwiUserExit(h), ZEB_RC_CANCEL);
    EXPECT_TRUE(HasText("Can't find '" + folder + "\\zebiwicn.dll'"));
    EXPECT_EQ(winsim::CallCount("LoadLibraryExA"), 0);
}

TEST_F(HandOver, MissingExportAndBadModule) {
    winsim::msi::SetProperty("ZEBEXTCA60000", "C:\\Ext");
    EXPECT_EQ(test(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("Can't find proc 'C:\\Ext\\zebiwicn.dll(Test CA)'"));
    EXPECT_EQ(GetModuleHandleA("zebiwicn.dll"), nullptr);

    Reload();
    winsim::fs::WriteFile("C:\\Bad\\zebiwicn.dll", "not a module");
    winsim::msi::SetProperty("ZEBEXTCA60000", "C:\\Bad");
    EXPECT_EQ(iwiUserExit(h), ZEB_RC_CANCEL);
    EXPECT_TRUE(HasText("LoadLibraryEx(C:\\Bad\\zebiwicn.dll) failed 193."));
}

TEST_F(HandOver, EveryLoadedCopyHasItsOwnState) {
    // The engine loads the library afresh around actions: each copy starts clean.
    winsim::fs::MapModule("C:\\Windows\\Installer\\MSI1.tmp", ZEB_NATIVE_LIBRARY);
    HMODULE hLib = LoadLibraryExA("C:\\Windows\\Installer\\MSI1.tmp", nullptr, 0);
    ASSERT_NE(hLib, nullptr);
    ZebActionProc userExit = Export(hLib, "iwiUserExit");
    ASSERT_NE(userExit, nullptr);
    EXPECT_EQ(userExit(h), ZEB_RC_CANCEL);
    EXPECT_EQ(userExit(h), ZEB_RC_CANCEL);
    EXPECT_TRUE(HasText("Invalid depth count entering 'iwiUserExit' from 'iwiUserExit': 0"));
    EXPECT_TRUE(FreeLibrary(hLib));

    winsim::msi::ClearMessages();
    hLib = LoadLibraryExA("C:\\Windows\\Installer\\MSI1.tmp", nullptr, 0);
    userExit = Export(hLib, "iwiUserExit");
    EXPECT_EQ(userExit(h), ZEB_RC_CANCEL);
    EXPECT_FALSE(HasText("Invalid depth count entering 'iwiUserExit' from 'iwiUserExit': 0"));
    EXPECT_TRUE(FreeLibrary(hLib));
    EXPECT_EQ(GetProcAddress(hLib, "NoSuchAction"), nullptr);
}

// Windows shares the CANCEL section between processes that map the same file, and drops it when
// the last one unmaps it; the engine's fresh copy per action therefore starts uncancelled.
TEST_F(HandOver, CancelFlagIsSharedByTheLoadsOfOnePathOnly) {
    const char kTemp[] = "C:\\Windows\\Installer\\MSI1.tmp";
    winsim::fs::MapModule(kTemp, ZEB_NATIVE_LIBRARY);
    HMODULE first = LoadLibraryExA(kTemp, nullptr, 0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(Export(first, "iwiCancel")(h), ZEB_RC_CANCEL);
    EXPECT_FALSE(winsim::fs::Exists("C:\\Temp\\zebcancl.txt")) << "no ZEBTEMP, no marker";
    EXPECT_FALSE(IsCancelFlagSet()) << "the copy linked into the test is another file";

    // A second process maps the same file while the first still has it: it sees the cancel.
    HMODULE second = LoadLibraryExA(kTemp, nullptr, 0);
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_EQ(Export(second, "iwiPause")(h), ZEB_RC_CANCEL);
    // A copy at another path has a flag of its own.
    HMODULE other = LoadLibraryExA("C:\\Ext\\zebiwicn.dll", nullptr, 0);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(Export(other, "iwiPause")(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(FreeLibrary(other));
    EXPECT_TRUE(FreeLibrary(second));

    // The last release dropped it: the engine's next fresh copy runs iwiPause to success.
    winsim::msi::ClearMessages();
    winsim::ClearEvents();
    HMODULE fresh = LoadLibraryExA(kTemp, nullptr, 0);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(Export(fresh, "iwiPause")(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("Returning with rc 0"));
    EXPECT_EQ(MessageBoxes(), std::vector<std::string>{"Pause"});
    EXPECT_TRUE(FreeLibrary(fresh));
}

TEST_F(HandOver, StaticCopyStartsEachTestUncancelled) {
    EXPECT_EQ(iwiCancel(h), ZEB_RC_CANCEL);
    EXPECT_TRUE(IsCancelFlagSet());
    TearDown();
    SetUp();
    EXPECT_FALSE(IsCancelFlagSet());
}

} // namespace
