// The simulated machine's core: last error, reset, virtual clock, faults, hooks, environment,
// identity, message formatting, named objects and message boxes.
#include <gtest/gtest.h>
#include <windows.h>
#include <winsim/sim.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

// The error a call leaves when it fails, 0 when it succeeds.
template <class T> DWORD ErrorOf(T result) {
    return result ? 0 : GetLastError();
}

class Core : public ::testing::Test {
  protected:
    void SetUp() override { winsim::Reset(); }
};

// FormatMessageA as the library calls it: from a string, with an argument array.
DWORD Format(const char* text, std::vector<DWORD_PTR> args, char* out, DWORD size) {
    return FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, text, 0, 0, out, size,
                          args.empty() ? nullptr : reinterpret_cast<va_list*>(args.data()));
}

TEST_F(Core, LastErrorBelongsToEachThread) {
    SetLastError(77);
    DWORD seen = 0;
    std::thread other([&] {
        seen = GetLastError();
        SetLastError(5);
    });
    other.join();
    EXPECT_EQ(ErrorOf(seen), 77u);
}

TEST_F(Core, ResetBringsEveryPartBack) {
    winsim::Advance(5000);
    winsim::SetEnv("ZEBX", "1");
    winsim::FailCall("DeleteFileA", 5);
    winsim::fs::WriteFile("C:\\Temp\\a.txt", "x");
    winsim::reg::SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane", "A", "b");
    HANDLE m = CreateMutexA(nullptr, FALSE, "ZEB_X");
    ASSERT_NE(m, nullptr);

    winsim::Reset();
    EXPECT_EQ(winsim::NowMs(), 0u);
    EXPECT_FALSE(winsim::Env("ZEBX"));
    EXPECT_FALSE(winsim::fs::Exists("C:\\Temp\\a.txt"));
    EXPECT_TRUE(winsim::fs::IsDir("C:\\Temp"));
    EXPECT_FALSE(winsim::reg::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane"));
    EXPECT_FALSE(winsim::NamedObjectExists("ZEB_X"));
    EXPECT_EQ(winsim::OpenHandleCount(), 0);
    winsim::fs::WriteFile("C:\\Temp\\b.txt", "x");
    EXPECT_TRUE(DeleteFileA("C:\\Temp\\b.txt")) << "faults must be cleared";
    EXPECT_EQ(winsim::CallCount("DeleteFileA"), 1);
}

TEST_F(Core, ClockStartsAtTheFixedLocalTimeAndFollowsSleep) {
    SYSTEMTIME st;
    GetLocalTime(&st);
    EXPECT_EQ(st.wYear, 2026);
    EXPECT_EQ(st.wMonth, 1);
    EXPECT_EQ(st.wDay, 15);
    EXPECT_EQ(st.wDayOfWeek, 4); // a Thursday
    EXPECT_EQ(st.wHour, 10);
    EXPECT_EQ(st.wMinute, 0);

    const DWORD ticks = GetTickCount();
    Sleep(61500);
    GetLocalTime(&st);
    EXPECT_EQ(st.wMinute, 1);
    EXPECT_EQ(st.wSecond, 1);
    EXPECT_EQ(st.wMilliseconds, 500);
    EXPECT_EQ(GetTickCount() - ticks, 61500u);
    EXPECT_EQ(winsim::NowMs(), 61500u);

    // UTC is an hour behind the local time; FILETIME and SYSTEMTIME agree.
    SYSTEMTIME utc, back;
    GetSystemTime(&utc);
    EXPECT_EQ(utc.wHour, 9);
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
    EXPECT_EQ(back.wHour, 9);
    EXPECT_EQ(back.wSecond, 1);

    winsim::SetLocalTime(2024, 2, 29, 23, 59, 59);
    Sleep(1000);
    GetLocalTime(&st);
    EXPECT_EQ(st.wMonth, 3);
    EXPECT_EQ(st.wDay, 1);
    EXPECT_EQ(st.wHour, 0);
}

TEST_F(Core, TimeConversionsRejectWhatWindowsRejects) {
    FILETIME bad{0, 0x80000000u};
    SYSTEMTIME st;
    EXPECT_EQ(ErrorOf(FileTimeToSystemTime(&bad, &st)), 87u);
    SYSTEMTIME feb30{2026, 2, 0, 30, 0, 0, 0, 0};
    FILETIME ft;
    EXPECT_EQ(ErrorOf(SystemTimeToFileTime(&feb30, &ft)), 87u);
    SYSTEMTIME epoch{1601, 1, 0, 1, 0, 0, 0, 0};
    ASSERT_TRUE(SystemTimeToFileTime(&epoch, &ft));
    EXPECT_EQ(ft.dwLowDateTime, 0u);
    EXPECT_EQ(ft.dwHighDateTime, 0u);
}

TEST_F(Core, TimedHooksRunInOrderAtTheirTime) {
    std::vector<std::pair<int, uint64_t>> ran;
    winsim::AtTime(3000, [&] { ran.push_back({3, winsim::NowMs()}); });
    winsim::AtTime(1000, [&] {
        ran.push_back({1, winsim::NowMs()});
        winsim::AtTime(2000, [&] { ran.push_back({2, winsim::NowMs()}); });
    });
    Sleep(2500);
    ASSERT_EQ(ran.size(), 2u);
    EXPECT_EQ(ran[0], std::make_pair(1, uint64_t{1000}));
    EXPECT_EQ(ran[1], std::make_pair(2, uint64_t{2000}));
    EXPECT_EQ(winsim::NowMs(), 2500u);
    Sleep(500);
    ASSERT_EQ(ran.size(), 3u);
    EXPECT_EQ(ran[2].second, 3000u);

    // A time already past runs at the next Sleep, even Sleep(0).
    winsim::AtTime(10, [&] { ran.push_back({4, winsim::NowMs()}); });
    Sleep(0);
    ASSERT_EQ(ran.size(), 4u);
    EXPECT_EQ(ran[3].second, 3000u);
}

TEST_F(Core, FaultsCountFromWhenTheyAreSetAndCanMatchAnArgument) {
    winsim::fs::WriteFile("C:\\Temp\\a.txt", "");
    GetFileAttributesA("C:\\Temp\\a.txt"); // before the fault: not counted for it
    winsim::FailCall("GetFileAttributesA", 5, 2);
    EXPECT_NE(GetFileAttributesA("C:\\Temp\\a.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA("C:\\Temp\\a.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), 5u);
    EXPECT_NE(GetFileAttributesA("C:\\Temp\\a.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(winsim::CallCount("GetFileAttributesA"), 4);
    const std::map<std::string, int> counts = winsim::CallCounts();
    EXPECT_EQ(counts.at("GetFileAttributesA"), 4);
    EXPECT_EQ(counts.count("DeleteFileA"), 0u) << "only functions that were called";

    // A match limits the fault, and its n-th counts only the matching calls.
    winsim::FailCall("CreateDirectoryA", 112, 2, "target");
    EXPECT_TRUE(CreateDirectoryA("C:\\Temp\\Target1", nullptr));
    EXPECT_TRUE(CreateDirectoryA("C:\\Temp\\other", nullptr));
    EXPECT_EQ(ErrorOf(CreateDirectoryA("C:\\Temp\\TARGET2", nullptr)), 112u);
    EXPECT_FALSE(winsim::fs::Exists("C:\\Temp\\TARGET2"));

    winsim::FailCall("GetUserNameA", 1008);
    char name[64];
    DWORD n = sizeof(name);
    EXPECT_FALSE(GetUserNameA(name, &n));
    EXPECT_FALSE(GetUserNameA(name, &n));
    winsim::ClearFaults();
    n = sizeof(name);
    EXPECT_TRUE(GetUserNameA(name, &n));
}

TEST_F(Core, CallHooksActBeforeTheNthCallDoesItsWork) {
    winsim::fs::WriteFile("C:\\Temp\\gone.txt", "x");
    winsim::OnCall("GetFileAttributesA", 2, [] { winsim::fs::Remove("C:\\Temp\\gone.txt"); });
    EXPECT_NE(GetFileAttributesA("C:\\Temp\\gone.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA("C:\\Temp\\gone.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), 2u);

    // A hook may call simulated functions itself.
    winsim::OnCall("Sleep", 1, [] { CreateDirectoryA("C:\\Temp\\made", nullptr); });
    Sleep(10);
    EXPECT_TRUE(winsim::fs::IsDir("C:\\Temp\\made"));
}

TEST_F(Core, EnvironmentVariablesAndExpansion) {
    char buf[64];
    EXPECT_EQ(GetEnvironmentVariableA("WINDIR", buf, sizeof(buf)), 10u);
    EXPECT_STREQ(buf, "C:\\Windows");
    EXPECT_EQ(GetEnvironmentVariableA("windir", buf, 10), 11u) << "needed size with terminator";
    EXPECT_EQ(ErrorOf(GetEnvironmentVariableA("NOPE", buf, sizeof(buf))), 203u);

    ASSERT_TRUE(SetEnvironmentVariableA("ZebDir", "D:\\x"));
    EXPECT_EQ(winsim::Env("ZEBDIR"), "D:\\x");
    const char* src = "%ZEBDIR%\\%Unknown%\\50%\\%TEMP%";
    const std::string want = "D:\\x\\%Unknown%\\50%\\C:\\Temp";
    EXPECT_EQ(ExpandEnvironmentStringsA(src, buf, 5), want.size() + 1) << "needed size, nothing written";
    EXPECT_EQ(ExpandEnvironmentStringsA(src, buf, sizeof(buf)), want.size() + 1);
    EXPECT_EQ(std::string(buf), want);
    ASSERT_TRUE(SetEnvironmentVariableA("ZebDir", nullptr));
    EXPECT_FALSE(winsim::Env("ZebDir"));
}

TEST_F(Core, NamesTooLongForTheBufferReportTheirSize) {
    winsim::SetUserName("svc_installer");
    char buf[64];
    DWORD n = 5;
    EXPECT_EQ(ErrorOf(GetUserNameA(buf, &n)), 122u);
    EXPECT_EQ(n, 14u);
    EXPECT_TRUE(GetUserNameA(buf, &n));
    EXPECT_STREQ(buf, "svc_installer");
    EXPECT_EQ(n, 14u) << "with the terminator";

    n = 3;
    EXPECT_EQ(ErrorOf(GetComputerNameA(buf, &n)), 111u);
    EXPECT_EQ(n, 7u);
    EXPECT_TRUE(GetComputerNameA(buf, &n));
    EXPECT_STREQ(buf, "WINSIM");
    EXPECT_EQ(n, 6u) << "without the terminator";
}

TEST_F(Core, FormatMessageInsertsAndEscapes) {
    char out[516];
    const char* a = "alpha";
    const char* b = "beta";
    ASSERT_GT(Format("[%2] [%1!s!] %%1 100%% %3!d! %4!5.5lu!%n%.x% y%!",
                     {DWORD_PTR(a), DWORD_PTR(b), DWORD_PTR(-7), 42}, out, sizeof(out)),
              0u);
    EXPECT_STREQ(out, "[beta] [alpha] %1 100% -7 00042\r\n.x y!");
    EXPECT_EQ(Format("one%0two", {}, out, sizeof(out)), 3u);
    EXPECT_STREQ(out, "one");

    std::vector<DWORD_PTR> many(12);
    for (size_t i = 0; i < many.size(); ++i)
        many[i] = i + 1;
    ASSERT_GT(Format("%10!u!-%1!u!%12!x!", many, out, sizeof(out)), 0u);
    EXPECT_STREQ(out, "10-1c");

    // A missing argument array is a parameter error; inserts can be left alone instead.
    EXPECT_EQ(ErrorOf(Format("x %1 y", {}, out, sizeof(out))), 87u);
    ASSERT_GT(FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_IGNORE_INSERTS, "x %1!d! y", 0, 0,
                             out, sizeof(out), nullptr),
              0u);
    EXPECT_STREQ(out, "x %1!d! y");
}

TEST_F(Core, FormatMessageFailsWhenTheOutputDoesNotFit) {
    char out[516];
    const std::string fits(515, 'a');
    EXPECT_EQ(Format(fits.c_str(), {}, out, sizeof(out)), 515u);
    const std::string tooLong(500, 'b');
    const std::string insert(16, 'c');
    EXPECT_EQ(ErrorOf(Format((tooLong + "%1").c_str(), {DWORD_PTR(insert.c_str())}, out, sizeof(out))), 122u);
    winsim::FailCall("FormatMessageA", 8, 0, "special");
    EXPECT_EQ(ErrorOf(Format("a special text", {}, out, sizeof(out))), 8u);
    EXPECT_EQ(Format("another text", {}, out, sizeof(out)), 12u);
}

TEST_F(Core, SecondMutexOfANameReportsAlreadyExistsUntilTheLastHandleCloses) {
    SetLastError(99);
    HANDLE first = CreateMutexA(nullptr, FALSE, "ZEB_HexlineInstallation");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), 0u);
    HANDLE second = CreateMutexA(nullptr, FALSE, "ZEB_HexlineInstallation");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), 183u);
    EXPECT_NE(first, second);
    HANDLE other = CreateMutexA(nullptr, FALSE, "zeb_hexlineinstallation");
    EXPECT_EQ(GetLastError(), 0u) << "object names are case-sensitive";
    EXPECT_TRUE(CloseHandle(other));
    EXPECT_TRUE(CloseHandle(first));
    EXPECT_TRUE(winsim::NamedObjectExists("ZEB_HexlineInstallation"));
    EXPECT_TRUE(CloseHandle(second));
    EXPECT_FALSE(winsim::NamedObjectExists("ZEB_HexlineInstallation"));
    EXPECT_EQ(ErrorOf(CloseHandle(second)), 6u);

    // Held by another process: our first create is already the second one.
    winsim::HoldMutex("ZEB_HexlineInstallation");
    HANDLE h = CreateMutexA(nullptr, FALSE, "Local\\ZEB_HexlineInstallation");
    EXPECT_EQ(GetLastError(), 183u);
    CloseHandle(h);
    winsim::ReleaseNamed("ZEB_HexlineInstallation");
    EXPECT_FALSE(winsim::NamedObjectExists("ZEB_HexlineInstallation"));
}

TEST_F(Core, EventsOpenedByNameAndWaitsAgainstTheVirtualClock) {
    EXPECT_EQ(ErrorOf(OpenEventA(EVENT_MODIFY_STATE, FALSE, "Global\\ZEBMTBRN.EVENT.Inst1")), 2u);
    winsim::HoldEvent("Global\\ZEBMTBRN.EVENT.Inst1");
    HANDLE e = OpenEventA(EVENT_MODIFY_STATE, FALSE, "Global\\ZEBMTBRN.EVENT.Inst1");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(winsim::EventSignaled("Global\\ZEBMTBRN.EVENT.Inst1"), false);
    EXPECT_TRUE(SetEvent(e));
    EXPECT_EQ(winsim::EventSignaled("Global\\ZEBMTBRN.EVENT.Inst1"), true);
    EXPECT_FALSE(winsim::EventSignaled("ZEBMTBRN.EVENT.Inst1")) << "Global\\ is a namespace of its own";
    CloseHandle(e);

    HANDLE w = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    EXPECT_EQ(WaitForSingleObject(w, 1500), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(winsim::NowMs(), 1500u);
    winsim::AtTime(2000, [w] { SetEvent(w); });
    EXPECT_EQ(WaitForSingleObject(w, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(winsim::NowMs(), 2000u);
    EXPECT_EQ(WaitForSingleObject(w, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "auto-reset";
    CloseHandle(w);
}

TEST_F(Core, MessageBoxesAreRecordedAndAnswered) {
    winsim::SetMessageBoxReply(IDCANCEL);
    EXPECT_EQ(MessageBoxExA(GetForegroundWindow(), "Text", "Title", MB_OK | MB_ICONERROR, 1031), IDCANCEL);
    EXPECT_EQ(MessageBoxA(nullptr, "Pause", "Debug", MB_OK), IDCANCEL);
    ASSERT_EQ(winsim::Events().size(), 2u);
    const winsim::Event& e = winsim::Events()[0];
    EXPECT_EQ(e.kind, "messagebox");
    EXPECT_EQ(e.text, "Text");
    EXPECT_EQ(e.title, "Title");
    EXPECT_EQ(e.flags, 16u);
    EXPECT_EQ(e.language, 1031u);
    EXPECT_EQ(winsim::Events()[1].language, 0u);

    winsim::FailCall("MessageBoxExA", 1400);
    EXPECT_EQ(ErrorOf(MessageBoxExA(nullptr, "x", "y", MB_OK, 1033)), 1400u);
    EXPECT_EQ(winsim::Events().size(), 2u);
}

TEST_F(Core, WindowsCloseOnRequestAfterTheirDelay) {
    EXPECT_EQ(FindWindowA("ZEBHexlineSplash", nullptr), nullptr);
    winsim::OpenWindow("ZEBHexlineSplash", "HX", 600);
    HWND splash = FindWindowA("ZEBHexlineSplash", nullptr);
    ASSERT_NE(splash, nullptr);
    ASSERT_TRUE(PostMessageA(splash, WM_CLOSE, 0, 0));
    ASSERT_TRUE(PostMessageA(splash, WM_CLOSE, 0, 0)) << "a second request changes nothing";
    int looks = 0;
    while (FindWindowA("ZEBHexlineSplash", nullptr)) {
        Sleep(250);
        ++looks;
    }
    EXPECT_EQ(looks, 3);
    EXPECT_EQ(winsim::NowMs(), 750u);
    EXPECT_FALSE(IsWindow(splash));
    EXPECT_EQ(ErrorOf(PostMessageA(splash, WM_CLOSE, 0, 0)), 1400u);
    ASSERT_EQ(winsim::Events().size(), 2u);
    EXPECT_EQ(winsim::Events()[0].kind, "message");
    EXPECT_EQ(winsim::Events()[0].text, "ZEBHexlineSplash");
    EXPECT_EQ(winsim::Events()[0].flags, static_cast<unsigned>(WM_CLOSE));

    winsim::OpenWindow("Stubborn", "", -1);
    PostMessageA(FindWindowA("Stubborn", nullptr), WM_CLOSE, 0, 0);
    Sleep(100000);
    EXPECT_TRUE(winsim::WindowExists("Stubborn"));
}

TEST_F(Core, SettingsBroadcastAndDisplaySettings) {
    DWORD_PTR result = 7;
    EXPECT_NE(SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0,
                                  reinterpret_cast<LPARAM>("Environment"), SMTO_ABORTIFHUNG, 10000, &result),
              0);
    ASSERT_EQ(winsim::Events().size(), 1u);
    EXPECT_EQ(winsim::Events()[0].kind, "broadcast");
    EXPECT_EQ(winsim::Events()[0].text, "Environment");
    winsim::FailCall("SendMessageTimeoutA", 1460);
    EXPECT_EQ(SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0,
                                  reinterpret_cast<LPARAM>("Environment"), SMTO_ABORTIFHUNG, 10000, &result),
              0);
    EXPECT_EQ(GetLastError(), 1460u);
    EXPECT_EQ(winsim::NowMs(), 10000u) << "a time-out takes the whole time";

    HIGHCONTRASTA hc{sizeof(hc), 0xFF, nullptr};
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETHIGHCONTRAST, sizeof(hc), &hc, 0));
    EXPECT_EQ(hc.dwFlags, 0u);
    winsim::SetHighContrast(true);
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETHIGHCONTRAST, sizeof(hc), &hc, 0));
    EXPECT_EQ(hc.dwFlags & HCF_HIGHCONTRASTON, 1u);
    EXPECT_EQ(GetSysColor(COLOR_WINDOWTEXT), 0u);
    winsim::SetSysColor(COLOR_WINDOWTEXT, RGB(255, 128, 0));
    const COLORREF c = GetSysColor(COLOR_WINDOWTEXT);
    EXPECT_EQ(c, 0x000080FFu) << "COLORREF is 0x00BBGGRR";
    EXPECT_EQ(GetRValue(c), 255);
    EXPECT_EQ(GetGValue(c), 128);
    EXPECT_EQ(GetBValue(c), 0);
}

TEST_F(Core, VersionInformationInBothLayouts) {
    OSVERSIONINFOEXA ex{};
    ex.dwOSVersionInfoSize = sizeof(ex);
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&ex)));
    EXPECT_EQ(ex.dwMajorVersion, 10u);
    EXPECT_EQ(ex.dwPlatformId, 2u);
    EXPECT_EQ(ex.wProductType, VER_NT_WORKSTATION);

    winsim::WindowsVersion nt4;
    nt4.major = 4;
    nt4.build = 1381;
    nt4.servicePack = "Service Pack 6";
    nt4.servicePackMajor = 6;
    nt4.suiteMask = VER_SUITE_ENTERPRISE | VER_SUITE_TERMINAL;
    winsim::SetWindowsVersion(nt4);
    OSVERSIONINFOA basic{};
    basic.dwOSVersionInfoSize = sizeof(basic);
    basic.szCSDVersion[0] = 'x';
    ASSERT_TRUE(GetVersionExA(&basic));
    EXPECT_EQ(basic.dwMajorVersion, 4u);
    EXPECT_STREQ(basic.szCSDVersion, "Service Pack 6");
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&ex)));
    EXPECT_EQ(ex.wSuiteMask, VER_SUITE_ENTERPRISE | VER_SUITE_TERMINAL);
    EXPECT_EQ(ex.wServicePackMajor, 6);

    basic.dwOSVersionInfoSize = 12;
    EXPECT_EQ(ErrorOf(GetVersionExA(&basic)), 122u);
}

} // namespace
