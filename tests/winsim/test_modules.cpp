// Modules: simulated files mapped to the native library (one copy per path), reference counts,
// string-table data files, system modules and the loader's error codes.
#include <gtest/gtest.h>
#include <windows.h>
#include <winsim/sim.h>

#include <string>

namespace {

// The error a call leaves when it fails, 0 when it succeeds.
template <class T> DWORD ErrorOf(T result) {
    return result ? 0 : GetLastError();
}

class Modules : public ::testing::Test {
  protected:
    void SetUp() override {
        winsim::Reset();
        winsim::fs::MapModule("C:\\Ext\\zebiwicn.dll", ZEB_NATIVE_LIBRARY);
        winsim::fs::MapModule("C:\\Windows\\Installer\\MSI1A.tmp", ZEB_NATIVE_LIBRARY);
    }
};

TEST_F(Modules, EachPathIsACopyOfItsOwnAndLoadsAreCounted) {
    HMODULE a = LoadLibraryExA("C:\\Ext\\zebiwicn.dll", nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    ASSERT_NE(a, nullptr) << GetLastError();
    HMODULE again = LoadLibraryExA("c:/ext/ZEBIWICN.DLL", nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    EXPECT_EQ(again, a);
    HMODULE b = LoadLibraryExA("C:\\Windows\\Installer\\MSI1A.tmp", nullptr, 0);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(winsim::fs::ModuleLoads(), 3) << "two references to one copy, one to the other";
    EXPECT_NE(b, a);

    FARPROC fa = GetProcAddress(a, "iwiERROR");
    FARPROC fb = GetProcAddress(b, "iwiERROR");
    ASSERT_NE(fa, nullptr);
    ASSERT_NE(fb, nullptr);
    EXPECT_NE(fa, fb) << "a different path gets its own copy of the code and globals";
    EXPECT_EQ(ErrorOf(GetProcAddress(a, "NoSuchExport")), 127u);

    char path[MAX_PATH];
    ASSERT_EQ(GetModuleFileNameA(a, path, sizeof(path)), 19u);
    EXPECT_STREQ(path, "C:\\Ext\\zebiwicn.dll") << "the path the first load gave";
    EXPECT_EQ(GetModuleFileNameA(a, path, 8), 8u);
    EXPECT_STREQ(path, "C:\\Ext\\");
    EXPECT_EQ(GetLastError(), 122u);
    EXPECT_EQ(GetModuleHandleA("zebiwicn.dll"), a);
    EXPECT_EQ(GetModuleHandleA("C:\\Windows\\Installer\\msi1a.tmp"), b);

    // Two loads, two releases; the third fails as on Windows, and the module is gone.
    EXPECT_TRUE(FreeLibrary(a));
    EXPECT_TRUE(FreeLibrary(a));
    EXPECT_EQ(ErrorOf(FreeLibrary(a)), 126u);
    EXPECT_EQ(GetModuleFileNameA(a, path, sizeof(path)), 0u);
    EXPECT_EQ(GetModuleHandleA("zebiwicn"), nullptr);
    EXPECT_TRUE(FreeLibrary(b));
    EXPECT_EQ(winsim::fs::ModuleLoads(), 0);
}

TEST_F(Modules, CancelFlagOfEachPathLivesWhileThePathIsLoaded) {
    const std::string ext = "C:\\Ext\\zebiwicn.dll";
    const std::string tmp = "C:\\Windows\\Installer\\MSI1A.tmp";
    EXPECT_EQ(winsim::CancelFlag(ext), nullptr);
    EXPECT_EQ(winsim::ProgramCancelFlag(), nullptr) << "no library is linked into these tests";
    HMODULE a = LoadLibraryExA(ext.c_str(), nullptr, 0);
    HMODULE again = LoadLibraryExA("c:/ext/ZEBIWICN.DLL", nullptr, 0);
    HMODULE b = LoadLibraryExA(tmp.c_str(), nullptr, 0);
    ASSERT_TRUE(a && again && b);
    volatile LONG* flagA = winsim::CancelFlag(ext);
    volatile LONG* flagB = winsim::CancelFlag(tmp);
    ASSERT_NE(flagA, nullptr);
    ASSERT_NE(flagB, nullptr);
    EXPECT_NE(flagA, flagB);
    EXPECT_EQ(winsim::CancelFlag("C:\\EXT\\.\\zebiwicn.dll"), flagA) << "the path as the loader resolves it";

    // The library's own iwiCancel sets its copy's flag and no other.
    typedef UINT(__stdcall * Action)(unsigned long);
    auto cancel = reinterpret_cast<Action>(reinterpret_cast<void*>(GetProcAddress(a, "iwiCancel")));
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel(winsim::msi::SessionHandle()), 1602u);
    EXPECT_EQ(*flagA, 1);
    EXPECT_EQ(*flagB, 0);

    // Another process cancelling reaches every copy loaded.
    EXPECT_EQ(winsim::SetCancelFlags(), 2);
    EXPECT_EQ(*flagB, 1);

    // Released once of twice: still there; released last: gone, and a new load starts at 0.
    EXPECT_TRUE(FreeLibrary(a));
    EXPECT_EQ(winsim::CancelFlag(ext), flagA);
    EXPECT_TRUE(FreeLibrary(again));
    EXPECT_EQ(winsim::CancelFlag(ext), nullptr);
    a = LoadLibraryExA(ext.c_str(), nullptr, 0);
    ASSERT_NE(winsim::CancelFlag(ext), nullptr);
    EXPECT_EQ(*winsim::CancelFlag(ext), 0);
    EXPECT_TRUE(FreeLibrary(a));

    winsim::Reset();
    EXPECT_EQ(winsim::CancelFlag(tmp), nullptr) << "Reset unloads every copy";
}

TEST_F(Modules, LoaderErrors) {
    EXPECT_EQ(ErrorOf(LoadLibraryExA("C:\\Ext\\missing.dll", nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)), 126u);
    EXPECT_EQ(ErrorOf(LoadLibraryExA("C:\\NoDir\\zebiwicn.dll", nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)),
              126u);
    winsim::fs::WriteFile("C:\\Ext\\text.dll", "not a module");
    EXPECT_EQ(ErrorOf(LoadLibraryExA("C:\\Ext\\text.dll", nullptr, 0)), 193u);
    winsim::fs::Lock("C:\\Ext\\zebiwicn.dll");
    EXPECT_EQ(ErrorOf(LoadLibraryExA("C:\\Ext\\zebiwicn.dll", nullptr, 0)), 32u);
    winsim::fs::Unlock("C:\\Ext\\zebiwicn.dll");
    winsim::FailCall("LoadLibraryExA", 5, 0, "\\Ext\\");
    EXPECT_EQ(ErrorOf(LoadLibraryExA("C:\\Ext\\zebiwicn.dll", nullptr, 0)), 5u);

    // Writing the file anew makes it ordinary bytes; copying it keeps it a module.
    winsim::ClearFaults();
    ASSERT_TRUE(CopyFileA("C:\\Ext\\zebiwicn.dll", "C:\\Temp\\copy.dll", FALSE));
    HMODULE copy = LoadLibraryA("C:\\Temp\\copy.dll");
    EXPECT_NE(copy, nullptr);
    EXPECT_TRUE(FreeLibrary(copy));
    winsim::fs::WriteFile("C:\\Temp\\copy.dll", "MZ replaced");
    EXPECT_EQ(ErrorOf(LoadLibraryA("C:\\Temp\\copy.dll")), 193u);
}

TEST_F(Modules, StringTableDataFiles) {
    const std::string table = winsim::fs::MakeStringTable(
        {{2027, "Corvane Skyloft HX"}, {2041, "Line one\nLine\ttwo \\n"}, {5, ""}, {7, "0123456789"}});
    winsim::fs::WriteFile("C:\\Temp\\zebl0001.dll", table);
    HMODULE lang = LoadLibraryExA("C:\\Temp\\zebl0001.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(lang, nullptr);

    char buf[516];
    EXPECT_EQ(LoadStringA(lang, 2027, buf, sizeof(buf)), 18);
    EXPECT_STREQ(buf, "Corvane Skyloft HX");
    EXPECT_EQ(LoadStringA(lang, 2041, buf, sizeof(buf)), 20);
    EXPECT_STREQ(buf, "Line one\nLine\ttwo \\n");
    EXPECT_EQ(LoadStringA(lang, 7, buf, 5), 4) << "cut to the buffer";
    EXPECT_STREQ(buf, "0123");
    SetLastError(0);
    EXPECT_EQ(ErrorOf(LoadStringA(lang, 9999, buf, sizeof(buf))), 1814u);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(GetProcAddress(lang, "iwiERROR"), nullptr);

    // Each load maps the file again; every handle is released once, then the release fails.
    HMODULE again = LoadLibraryExA("C:\\Temp\\zebl0001.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    EXPECT_NE(again, lang);
    EXPECT_EQ(winsim::fs::ModuleLoads(), 2) << "each data-file load counts";
    EXPECT_TRUE(FreeLibrary(again));
    EXPECT_TRUE(FreeLibrary(lang));
    EXPECT_FALSE(FreeLibrary(lang));
    EXPECT_EQ(LoadStringA(lang, 2027, buf, sizeof(buf)), 0);

    EXPECT_EQ(ErrorOf(LoadLibraryExA("C:\\Temp\\none.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE)), 2u);
    winsim::fs::WriteFile("C:\\Temp\\junk.dll", "junk");
    EXPECT_EQ(ErrorOf(LoadLibraryExA("C:\\Temp\\junk.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE)), 193u);
    EXPECT_EQ(ErrorOf(LoadLibraryExA("C:\\Temp\\zebl0001.dll", nullptr, 0)), 193u) << "data, not code";
}

TEST_F(Modules, SystemModulesAndTheirExports) {
    HMODULE k32 = GetModuleHandleA("kernel32");
    ASSERT_NE(k32, nullptr);
    EXPECT_EQ(LoadLibraryA("KERNEL32.DLL"), k32);
    typedef void(WINAPI * PreciseTime)(LPFILETIME);
    auto precise = reinterpret_cast<PreciseTime>(
        reinterpret_cast<void*>(GetProcAddress(k32, "GetSystemTimePreciseAsFileTime")));
    ASSERT_NE(precise, nullptr);
    FILETIME a, b;
    precise(&a);
    GetSystemTimeAsFileTime(&b);
    EXPECT_EQ(a.dwLowDateTime, b.dwLowDateTime);

    // An older Windows without the export.
    winsim::fs::SetSystemExport("kernel32", "GetSystemTimePreciseAsFileTime", nullptr);
    EXPECT_EQ(ErrorOf(GetProcAddress(k32, "GetSystemTimePreciseAsFileTime")), 127u);
    EXPECT_TRUE(FreeLibrary(k32)) << "system modules stay loaded";
    EXPECT_EQ(GetModuleHandleA("kernel32.dll"), k32);

    // The secure channel is a system module too, but the library must free each load of it.
    HMODULE own = LoadLibraryA("schannel");
    ASSERT_NE(own, nullptr);
    EXPECT_NE(GetProcAddress(own, "InitSecurityInterfaceA"), nullptr);
    EXPECT_EQ(winsim::fs::ModuleLoads(), 1);
    EXPECT_TRUE(FreeLibrary(own));
    EXPECT_EQ(winsim::fs::ModuleLoads(), 0);
    static int called = 0;
    winsim::fs::SetSystemExport("schannel.dll", "InitSecurityInterfaceA", [] {
        ++called;
        return intptr_t{0};
    });
    HMODULE sc = LoadLibraryA("schannel");
    ASSERT_NE(sc, nullptr);
    FARPROC init = GetProcAddress(sc, "InitSecurityInterfaceA");
    ASSERT_NE(init, nullptr);
    init();
    EXPECT_EQ(called, 1);
    EXPECT_EQ(GetProcAddress(sc, "GetLastError"), nullptr)
        << "only kernel32, advapi32 and user32 export the machine";
    EXPECT_TRUE(FreeLibrary(sc));

    char path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, path, sizeof(path)), 0u);
    EXPECT_STREQ(path, "C:\\Windows\\System32\\msiexec.exe");
}

} // namespace
