// Hand-over of a whole call to a second copy of the library named by ZEBEXTCA60000.
#include "zebtest.h"

namespace {

typedef UINT(__stdcall* ActionProc)(MSIHANDLE);

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
    int executing = IndexOf("Executing 'C:\\Ext\\zebiwicn.dll(iwiERROR)'");
    int external = IndexOf("External invocation of 'zebiwicn.dll'");
    int body = IndexOf("***Returning an error to provoke a rollback");
    ASSERT_GE(executing, 0);
    EXPECT_GT(external, executing);
    EXPECT_GT(body, external);
    // Only the second copy ran the body, and only it answers the failure with a message.
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "***Returning an error to provoke a rollback"), 1);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "Returning with rc 1603"), 2);
    EXPECT_EQ(g_zebFrame.lDepth, 0);
    EXPECT_EQ(g_zebFrame.hExternal, nullptr);
    EXPECT_EQ(g_zebFrame.hMutex, nullptr);

    // Nothing is left unbalanced for the next call in this copy.
    winsim::msi::ClearMessages();
    winsim::msi::SetProperty("ZEBEXTCA60000", "");
    EXPECT_EQ(iwiUserExit(h), ZEB_RC_CANCEL);
    for (const std::string& t : Texts())
        EXPECT_EQ(t.find("Invalid depth count"), std::string::npos) << t;
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
    EXPECT_EQ(g_zebFrame.hExternal, nullptr);
}

TEST_F(HandOver, MissingExportAndBadModule) {
    winsim::msi::SetProperty("ZEBEXTCA60000", "C:\\Ext");
    EXPECT_EQ(test(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("Can't find proc 'C:\\Ext\\zebiwicn.dll(Test CA)'"));
    EXPECT_EQ(g_zebFrame.hExternal, nullptr);

    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
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
    ActionProc userExit = (ActionProc)(void*)GetProcAddress(hLib, "iwiUserExit");
    ASSERT_NE(userExit, nullptr);
    EXPECT_EQ(userExit(h), ZEB_RC_CANCEL);
    EXPECT_EQ(userExit(h), ZEB_RC_CANCEL);
    EXPECT_TRUE(HasText("Invalid depth count entering 'iwiUserExit' from 'iwiUserExit': 0"));
    EXPECT_TRUE(FreeLibrary(hLib));

    winsim::msi::ClearMessages();
    hLib = LoadLibraryExA("C:\\Windows\\Installer\\MSI1.tmp", nullptr, 0);
    userExit = (ActionProc)(void*)GetProcAddress(hLib, "iwiUserExit");
    EXPECT_EQ(userExit(h), ZEB_RC_CANCEL);
    EXPECT_FALSE(HasText("Invalid depth count entering 'iwiUserExit' from 'iwiUserExit': 0"));
    EXPECT_TRUE(FreeLibrary(hLib));
    EXPECT_EQ(GetProcAddress(hLib, "NoSuchAction"), nullptr);
}

} // namespace
