// The shell and COM: special folders and their item lists, shortcut files through the shortcut
// object, COM initialisation and what counts as left open.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>
#include <winsim/sim.h>

#include <string>

namespace {

class Shell : public ::testing::Test {
  protected:
    void SetUp() override { winsim::Reset(); }
};

TEST_F(Shell, SpecialFolderItemListsAreFreedThroughTheShellAllocator) {
    LPITEMIDLIST pidl = nullptr;
    ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_COMMON_DESKTOPDIRECTORY, &pidl), S_OK);
    char path[MAX_PATH];
    ASSERT_TRUE(SHGetPathFromIDListA(pidl, path));
    EXPECT_STREQ(path, "C:\\Users\\Public\\Desktop");
    EXPECT_EQ(winsim::OpenHandleCount(), 1) << "an item list not yet freed";
    IMalloc* malloc = nullptr;
    ASSERT_EQ(SHGetMalloc(&malloc), S_OK);
    malloc->Free(pidl);
    malloc->Release();
    EXPECT_EQ(winsim::OpenHandleCount(), 0);
    // A user folder not there, an unknown type.
    EXPECT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOPDIRECTORY, &pidl), HRESULT_FROM_WIN32(2));
    EXPECT_EQ(SHGetSpecialFolderLocation(nullptr, 0x7F, &pidl), E_INVALIDARG);
    EXPECT_EQ(pidl, nullptr);
    SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHA, "C:\\Users\\Public\\Desktop", nullptr);
    ASSERT_EQ(winsim::Events().size(), 1u);
    EXPECT_EQ(winsim::Events()[0].kind + " " + winsim::Events()[0].text,
              "shellnotify C:\\Users\\Public\\Desktop");
}

TEST_F(Shell, ShortcutsSavedAndLoadedThroughTheShortcutObject) {
    IShellLinkA* link = nullptr;
    EXPECT_EQ(
        CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void**)&link),
        CO_E_NOTINITIALIZED);
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    ASSERT_EQ(
        CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void**)&link),
        S_OK);
    IPersistFile* file = nullptr;
    ASSERT_EQ(link->QueryInterface(IID_IPersistFile, (void**)&file), S_OK);
    EXPECT_EQ(link->SetPath("C:\\HX\\bin64\\a.exe"), S_OK);
    EXPECT_EQ(file->Save(L"C:\\Users\\Public\\Desktop\\a.lnk", TRUE), S_OK);

    winsim::fs::WriteShortcut("C:\\Temp\\b.lnk", "C:\\Other\\b.exe");
    winsim::fs::WriteFile("C:\\Temp\\c.lnk", "plain text");
    EXPECT_EQ(file->Load(L"C:\\Temp\\b.lnk", STGM_READ), S_OK);
    char target[MAX_PATH];
    EXPECT_EQ(link->GetPath(target, 8, nullptr, 0), S_OK);
    EXPECT_STREQ(target, "C:\\Othe");
    EXPECT_EQ(file->Load(L"C:\\Temp\\c.lnk", STGM_READ), E_FAIL);
    EXPECT_EQ(file->Load(L"C:\\Temp\\none.lnk", STGM_READ), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(file->Load(L"C:\\Users\\Public\\Desktop\\a.lnk", STGM_READ), S_OK);
    EXPECT_EQ(link->GetPath(target, MAX_PATH, nullptr, 0), S_OK);
    EXPECT_STREQ(target, "C:\\HX\\bin64\\a.exe");
    EXPECT_EQ(winsim::OpenHandleCount(), 3) << "one object, two initialisations";
    file->Release();
    link->Release();
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(winsim::OpenHandleCount(), 0);

    WCHAR wide[4];
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, wide, 4), 4);
    EXPECT_EQ(wide[2], L'c');
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcd", -1, wide, 4), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
}

} // namespace
