// Handle holders: what they hold is closed at the end of the scope unless handed on.
#include "zebhold.h"
#include "zebtest.h"

namespace {

using Hold = ZebTest;

// Opening the file exclusively fails while anything else has it open.
DWORD ExclusiveOpenError(const char* path) {
    ZebKernelHandle h(CreateFileA(path, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
    return h.IsValid() ? 0 : GetLastError();
}

TEST_F(Hold, EachKindIsClosedAtTheEndOfItsScope) {
    winsim::fs::WriteFile("C:\\Temp\\a.txt", "a");
    winsim::fs::MapModule("C:\\Ext\\zebiwicn.dll", ZEB_NATIVE_LIBRARY);
    winsim::reg::CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane");
    {
        WIN32_FIND_DATAA fd;
        ZebFindHandle hFind(FindFirstFileA("C:\\Temp\\*", &fd));
        ZebKernelHandle hMutex(CreateMutexA(NULL, FALSE, "ZEB_Hold"));
        ZebMsiHandle hRec(MsiCreateRecord(1));
        ZebRegKey hKey;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane", 0, KEY_READ, hKey.Out()),
                  ERROR_SUCCESS);
        ZebModule hLib(LoadLibraryExA("C:\\Ext\\zebiwicn.dll", NULL, 0));
        // The test's C++ headers undefine the fopen macro that leads the library to the machine.
        ZebFile fp(winsim_fopen("C:\\Temp\\a.txt", "a+N"));
        ZebHeap<char> buffer((char*)malloc(16));
        ASSERT_TRUE(hFind.IsValid() && hMutex.IsValid() && hRec.IsValid() && hLib.IsValid() && fp.IsValid() &&
                    buffer.IsValid());
        EXPECT_EQ(winsim::OpenHandleCount(), 2);
        EXPECT_EQ(winsim::msi::LeakedHandles(), 1);
        EXPECT_EQ(winsim::reg::OpenKeyHandles(), 1);
        EXPECT_EQ(GetModuleHandleA("C:\\Ext\\zebiwicn.dll"), hLib.Get());
        EXPECT_EQ(ExclusiveOpenError("C:\\Temp\\a.txt"), (DWORD)ERROR_SHARING_VIOLATION);
        fputs("b", fp.Get());
    }
    EXPECT_EQ(winsim::OpenHandleCount(), 0);
    EXPECT_EQ(winsim::msi::LeakedHandles(), 0);
    EXPECT_EQ(winsim::reg::OpenKeyHandles(), 0);
    EXPECT_FALSE(winsim::NamedObjectExists("ZEB_Hold"));
    EXPECT_EQ(GetModuleHandleA("C:\\Ext\\zebiwicn.dll"), nullptr);
    EXPECT_EQ(ExclusiveOpenError("C:\\Temp\\a.txt"), 0u);
    EXPECT_EQ(File("C:\\Temp\\a.txt"), "ab") << "the stream was flushed by its close";
}

TEST_F(Hold, HandingOnReplacingAndClosingEarly) {
    HANDLE kept;
    {
        ZebKernelHandle hMutex(CreateMutexA(NULL, FALSE, "ZEB_Kept"));
        kept = hMutex.Detach();
        EXPECT_FALSE(hMutex.IsValid());
    }
    EXPECT_TRUE(winsim::NamedObjectExists("ZEB_Kept")) << "a detached handle belongs to its new owner";
    EXPECT_TRUE(CloseHandle(kept));

    ZebKernelHandle hHeld(CreateMutexA(NULL, FALSE, "ZEB_First"));
    hHeld.Reset(CreateMutexA(NULL, FALSE, "ZEB_Second"));
    EXPECT_FALSE(winsim::NamedObjectExists("ZEB_First"));
    winsim::reg::CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\A");
    ZebRegKey hKey;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\A", 0, KEY_READ, hKey.Out()), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\A", 0, KEY_READ, hKey.Out()), ERROR_SUCCESS);
    EXPECT_EQ(winsim::reg::OpenKeyHandles(), 1) << "Out closes the key held before";

    // A failed open holds nothing; a failed close is reported and the handle is still let go.
    ZebKernelHandle hMissing(
        CreateFileA("C:\\Temp\\none.txt", GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
    EXPECT_FALSE(hMissing.IsValid());
    EXPECT_TRUE(hMissing.Close());
    ZebMsiHandle hRec(MsiCreateRecord(1));
    MSIHANDLE raw = hRec.Get();
    winsim::FailCall("MsiCloseHandle", ERROR_INVALID_HANDLE);
    EXPECT_FALSE(hRec.Close());
    EXPECT_FALSE(hRec.IsValid());
    winsim::ClearFaults();
    EXPECT_EQ(MsiCloseHandle(raw), (UINT)ERROR_SUCCESS) << "the record the failed close left open";
    hHeld.Close();
    EXPECT_FALSE(winsim::NamedObjectExists("ZEB_Second"));
}

} // namespace
