// The simulated file system as kernel32 shows it: paths, creation, sharing, deletion, folders,
// attributes, enumeration, copy, move and the drive queries.
#include <gtest/gtest.h>
#include <windows.h>
#include <winsim/sim.h>

#include <string>
#include <vector>

namespace {

class Files : public ::testing::Test {
  protected:
    void SetUp() override { winsim::Reset(); }

    static HANDLE Open(const char* path, DWORD access, DWORD share, DWORD disposition) {
        return CreateFileA(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    }

    // Names FindFirstFileA/FindNextFileA give for a pattern, or "error N".
    static std::vector<std::string> Find(const char* pattern) {
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA(pattern, &fd);
        if (h == INVALID_HANDLE_VALUE)
            return {"error " + std::to_string(GetLastError())};
        std::vector<std::string> names{fd.cFileName};
        while (FindNextFileA(h, &fd))
            names.push_back(fd.cFileName);
        EXPECT_EQ(GetLastError(), 18u);
        EXPECT_TRUE(FindClose(h));
        return names;
    }

    static DWORD ErrorOf(BOOL ok) { return ok ? 0 : GetLastError(); }
    // The error of an open, 0 when it succeeds (the handle is then closed).
    static DWORD OpenError(const char* path, DWORD access, DWORD share, DWORD disposition) {
        HANDLE h = Open(path, access, share, disposition);
        return h == INVALID_HANDLE_VALUE ? GetLastError() : (CloseHandle(h), 0u);
    }
};

using Names = std::vector<std::string>;

TEST_F(Files, CreationDispositionsAndTheirErrors) {
    SetLastError(99);
    HANDLE h = Open("C:\\Temp\\New.txt", GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), 0u);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(h, "hello", 5, &written, nullptr));
    EXPECT_EQ(written, 5u);
    CloseHandle(h);
    EXPECT_EQ(winsim::fs::ReadFile("C:\\temp\\new.TXT"), "hello");

    EXPECT_EQ(OpenError("C:\\Temp\\new.txt", GENERIC_WRITE, 0, CREATE_NEW), 80u);

    h = Open("C:\\Temp\\new.txt", GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), 183u) << "CREATE_ALWAYS over an existing file";
    CloseHandle(h);
    EXPECT_EQ(winsim::fs::ReadFile("C:\\Temp\\New.txt"), "");
    EXPECT_EQ(winsim::fs::List("C:\\Temp"), Names{"New.txt"}) << "the first spelling stays";

    h = Open("C:\\Temp\\other.txt", GENERIC_READ, 0, OPEN_ALWAYS);
    EXPECT_EQ(GetLastError(), 0u);
    CloseHandle(h);

    EXPECT_EQ(OpenError("C:\\Temp\\absent.txt", GENERIC_READ, 0, OPEN_EXISTING), 2u);
    EXPECT_EQ(OpenError("C:\\Temp\\NoDir\\a.txt", GENERIC_READ, 0, OPEN_EXISTING), 3u);
    EXPECT_EQ(OpenError("C:\\Temp\\a<b.txt", GENERIC_WRITE, 0, CREATE_ALWAYS), 123u);
    EXPECT_EQ(OpenError("C:\\Temp\\a?.txt", GENERIC_WRITE, 0, CREATE_ALWAYS), 123u);
    EXPECT_EQ(OpenError("Q:\\a.txt", GENERIC_WRITE, 0, CREATE_ALWAYS), 3u);
    EXPECT_EQ(OpenError("\\\\server\\share\\a.txt", GENERIC_READ, 0, OPEN_EXISTING), 3u);
    EXPECT_EQ(OpenError("C:\\Temp", GENERIC_READ, 0, OPEN_EXISTING), 5u) << "a folder";

    winsim::fs::SetReadOnly("C:\\Temp\\New.txt", true);
    EXPECT_EQ(OpenError("C:\\Temp\\New.txt", GENERIC_WRITE, 0, OPEN_EXISTING), 5u);
    h = Open("C:\\Temp\\New.txt", GENERIC_READ, 0, OPEN_EXISTING);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_EQ(winsim::OpenHandleCount(), 0);
}

TEST_F(Files, PathsAcceptBothSeparatorsDotsAndRelativeForms) {
    winsim::fs::WriteFile("C:\\Temp\\Sub\\f.txt", "x");
    EXPECT_NE(GetFileAttributesA("C:/Temp/Sub/f.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesA("C:\\Temp\\.\\Other\\..\\Sub\\\\f.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesA("C:\\Temp\\Sub\\f.txt. . "), INVALID_FILE_ATTRIBUTES)
        << "trailing dots/blanks";
    EXPECT_NE(GetFileAttributesA("..\\..\\Temp\\Sub\\f.txt"), INVALID_FILE_ATTRIBUTES)
        << "from C:\\Windows\\System32";
    EXPECT_NE(GetFileAttributesA("\\Temp\\Sub\\f.txt"), INVALID_FILE_ATTRIBUTES);

    char full[MAX_PATH];
    char* part = nullptr;
    ASSERT_EQ(GetFullPathNameA("..\\a/b.txt", MAX_PATH, full, &part), 18u);
    EXPECT_STREQ(full, "C:\\Windows\\a\\b.txt");
    EXPECT_STREQ(part, "b.txt");
    EXPECT_EQ(GetFullPathNameA("..\\a/b.txt", 5, full, nullptr), 19u) << "size needed with terminator";

    const std::string longName(MAX_PATH, 'a');
    EXPECT_EQ(GetFileAttributesA(("C:\\" + longName).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), 206u);
}

TEST_F(Files, SharingModesDecideWhoMayOpenDeleteOrRename) {
    winsim::fs::WriteFile("C:\\Temp\\v.txt", "data");
    SetLastError(0);
    HANDLE excl = Open("C:\\Temp\\v.txt", GENERIC_READ, 0, OPEN_EXISTING);
    ASSERT_NE(excl, INVALID_HANDLE_VALUE);
    EXPECT_EQ(OpenError("C:\\Temp\\v.txt", GENERIC_WRITE, 0, OPEN_EXISTING), 32u);
    EXPECT_EQ(Open("C:\\Temp\\v.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(ErrorOf(DeleteFileA("C:\\Temp\\v.txt")), 32u);
    EXPECT_EQ(ErrorOf(MoveFileExA("C:\\Temp\\v.txt", "C:\\Temp\\w.txt", 0)), 32u);
    CloseHandle(excl);

    HANDLE reader = Open("C:\\Temp\\v.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    HANDLE reader2 = Open("C:\\Temp\\v.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_NE(reader2, INVALID_HANDLE_VALUE);
    EXPECT_EQ(OpenError("C:\\Temp\\v.txt", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING),
              32u);
    CloseHandle(reader);
    CloseHandle(reader2);

    // Another process holds it: opens, deletes and renames fail, attributes can still be read.
    winsim::fs::Lock("C:\\Temp\\v.txt");
    EXPECT_EQ(OpenError("C:\\Temp\\v.txt", GENERIC_WRITE, 0, OPEN_EXISTING), 32u);
    EXPECT_NE(GetFileAttributesA("C:\\Temp\\v.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(ErrorOf(DeleteFileA("C:\\Temp\\v.txt")), 32u);
    EXPECT_EQ(ErrorOf(CopyFileA("C:\\Temp\\v.txt", "C:\\Temp\\copy.txt", FALSE)), 32u);
    winsim::fs::MakeDirs("C:\\Temp\\Busy");
    winsim::fs::Lock("C:\\Temp\\Busy");
    EXPECT_EQ(ErrorOf(RemoveDirectoryA("C:\\Temp\\Busy")), 32u);
    winsim::fs::Unlock("C:\\Temp\\Busy");
    winsim::fs::Unlock("C:\\Temp\\v.txt");
    EXPECT_TRUE(DeleteFileA("C:\\Temp\\v.txt"));
    EXPECT_TRUE(RemoveDirectoryA("C:\\Temp\\Busy"));
}

TEST_F(Files, ReadWriteSeekAndSize) {
    HANDLE h = Open("C:\\Temp\\rw.bin", GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(h, "0123456789", 10, &n, nullptr));
    EXPECT_EQ(GetFileSize(h, nullptr), 10u);
    EXPECT_EQ(SetFilePointer(h, -4, nullptr, FILE_END), 6u);
    char buf[16] = {};
    ASSERT_TRUE(ReadFile(h, buf, sizeof(buf), &n, nullptr));
    EXPECT_EQ(n, 4u);
    EXPECT_STREQ(buf, "6789");
    ASSERT_TRUE(ReadFile(h, buf, sizeof(buf), &n, nullptr));
    EXPECT_EQ(n, 0u) << "end of file is success with no bytes";
    EXPECT_EQ(SetFilePointer(h, -1, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), 131u);
    EXPECT_EQ(SetFilePointer(h, 12, nullptr, FILE_BEGIN), 12u);
    ASSERT_TRUE(WriteFile(h, "X", 1, &n, nullptr));
    EXPECT_EQ(winsim::fs::ReadFile("C:\\Temp\\rw.bin"), std::string("0123456789\0\0X", 13));
    CloseHandle(h);

    h = Open("C:\\Temp\\rw.bin", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_EQ(ErrorOf(WriteFile(h, "x", 1, &n, nullptr)), 5u);
    CloseHandle(h);
    EXPECT_EQ(GetFileSize(h, nullptr), INVALID_FILE_SIZE);
    EXPECT_EQ(GetLastError(), 6u);
}

TEST_F(Files, WritesBeyondTheFreeSpaceFailWithDiskFull) {
    winsim::fs::SetFreeSpace('C', 8);
    HANDLE h = Open("C:\\Temp\\big.txt", GENERIC_WRITE, 0, CREATE_ALWAYS);
    DWORD n = 0;
    EXPECT_TRUE(WriteFile(h, "12345", 5, &n, nullptr));
    EXPECT_EQ(ErrorOf(WriteFile(h, "6789", 4, &n, nullptr)), 112u);
    EXPECT_EQ(n, 0u);
    EXPECT_TRUE(WriteFile(h, "678", 3, &n, nullptr));
    CloseHandle(h);
    EXPECT_EQ(winsim::fs::ReadFile("C:\\Temp\\big.txt"), "12345678");
}

TEST_F(Files, DeleteFileErrors) {
    winsim::fs::WriteFile("C:\\Temp\\ro.txt", "x");
    winsim::fs::SetReadOnly("C:\\Temp\\ro.txt", true);
    winsim::fs::WriteFile("C:\\Temp\\Denied\\d.txt", "x");
    winsim::fs::DenyAccess("C:\\Temp\\Denied", true);
    EXPECT_EQ(ErrorOf(DeleteFileA("C:\\Temp\\none.txt")), 2u);
    EXPECT_EQ(ErrorOf(DeleteFileA("C:\\Temp\\NoDir\\none.txt")), 3u);
    EXPECT_EQ(ErrorOf(DeleteFileA("C:\\Temp\\*.txt")), 123u);
    EXPECT_EQ(ErrorOf(DeleteFileA("C:\\Temp")), 5u);
    EXPECT_EQ(ErrorOf(DeleteFileA("C:\\Temp\\ro.txt")), 5u);
    EXPECT_EQ(ErrorOf(DeleteFileA("C:\\Temp\\Denied\\d.txt")), 5u);
    ASSERT_TRUE(SetFileAttributesA("C:\\Temp\\ro.txt", GetFileAttributesA("C:\\Temp\\ro.txt") & ~1u));
    EXPECT_TRUE(DeleteFileA("C:\\Temp\\RO.TXT"));
    EXPECT_FALSE(winsim::fs::Exists("C:\\Temp\\ro.txt"));
}

TEST_F(Files, FolderCreationAndRemoval) {
    EXPECT_TRUE(CreateDirectoryA("C:\\Temp\\A", nullptr));
    EXPECT_EQ(ErrorOf(CreateDirectoryA("C:\\temp\\a\\", nullptr)), 183u);
    EXPECT_EQ(ErrorOf(CreateDirectoryA("C:\\Temp\\X\\Y", nullptr)), 3u);
    EXPECT_EQ(ErrorOf(CreateDirectoryA("C:\\", nullptr)), 5u);
    EXPECT_EQ(ErrorOf(CreateDirectoryA("C:\\Temp\\bad|name", nullptr)), 123u);
    winsim::fs::WriteFile("C:\\Temp\\file", "x");
    EXPECT_EQ(ErrorOf(CreateDirectoryA("C:\\Temp\\file", nullptr)), 183u);
    EXPECT_EQ(ErrorOf(CreateDirectoryA("C:\\Temp\\file\\sub", nullptr)), 3u);

    winsim::fs::WriteFile("C:\\Temp\\A\\inner.txt", "");
    EXPECT_EQ(ErrorOf(RemoveDirectoryA("C:\\Temp\\A")), 145u);
    EXPECT_EQ(ErrorOf(RemoveDirectoryA("C:\\Temp\\Absent")), 2u);
    EXPECT_EQ(ErrorOf(RemoveDirectoryA("C:\\Temp\\file")), 267u);
    EXPECT_EQ(ErrorOf(RemoveDirectoryA("C:\\Windows")), 32u) << "holds the current folder";
    winsim::fs::DenyAccess("C:\\Temp\\A", true);
    EXPECT_EQ(ErrorOf(RemoveDirectoryA("C:\\Temp\\A")), 5u);
    EXPECT_EQ(ErrorOf(CreateDirectoryA("C:\\Temp\\A\\B", nullptr)), 5u);
    winsim::fs::DenyAccess("C:\\Temp\\A", false);
    EXPECT_TRUE(DeleteFileA("C:\\Temp\\A\\inner.txt"));
    EXPECT_TRUE(RemoveDirectoryA("C:\\Temp\\A\\"));
}

TEST_F(Files, AttributesAndTheirErrors) {
    winsim::fs::WriteFile("C:\\Temp\\f.txt", "x");
    EXPECT_EQ(GetFileAttributesA("C:\\Temp\\f.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(GetFileAttributesA("C:\\Temp"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(GetFileAttributesA("C:\\"), 0x16u);
    ASSERT_TRUE(SetFileAttributesA("C:\\Temp\\f.txt", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributesA("C:\\Temp\\f.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
    ASSERT_TRUE(SetFileAttributesA("C:\\Temp\\f.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(winsim::fs::Attributes("C:\\Temp\\f.txt"), 3u);

    const struct {
        const char* path;
        DWORD error;
    } cases[] = {{"C:\\Temp\\none", 2}, {"C:\\None\\x", 3}, {"C:\\Temp\\*", 123}, {"C:\\Temp\\f.txt\\", 123}};
    for (const auto& c : cases) {
        EXPECT_EQ(GetFileAttributesA(c.path), INVALID_FILE_ATTRIBUTES) << c.path;
        EXPECT_EQ(GetLastError(), c.error) << c.path;
    }
    winsim::fs::DenyAccess("C:\\Temp\\f.txt", true);
    EXPECT_EQ(GetFileAttributesA("C:\\Temp\\f.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), 5u);
}

TEST_F(Files, EnumerationOrderDotsAndWildcards) {
    for (const char* f : {"b.TXT", "A.txt", "a_b", "ab", "HXdata.sms", "readme", "x.txtx"})
        winsim::fs::WriteFile(std::string("C:\\Temp\\E\\") + f, "");
    winsim::fs::MakeDirs("C:\\Temp\\E\\Zeta");
    EXPECT_EQ(Find("C:\\Temp\\E\\*"),
              (Names{".", "..", "A.txt", "ab", "a_b", "b.TXT", "HXdata.sms", "readme", "x.txtx", "Zeta"}));
    EXPECT_EQ(Find("C:\\Temp\\E\\*.*"), Find("C:\\Temp\\E\\*"));
    // "x.txtx" has the short name X~1.TXT, which "*.txt" matches, as on Windows.
    EXPECT_EQ(Find("C:/Temp/E/*.txt"), (Names{"A.txt", "b.TXT", "x.txtx"}));
    EXPECT_EQ(Find("C:\\Temp\\E\\hx*"), (Names{"HXdata.sms"}));
    EXPECT_EQ(Find("C:\\Temp\\E\\*."), (Names{".", "..", "ab", "a_b", "readme", "Zeta"}));
    EXPECT_EQ(Find("C:\\Temp\\E\\a?"), (Names{"ab"}));
    EXPECT_EQ(Find("C:\\Temp\\E\\?.txt"), (Names{"A.txt", "b.TXT"}));
    EXPECT_EQ(Find("C:\\Temp\\E\\readme.*"), (Names{"readme"}));

    // The bare path finds the entry itself, with its stored case.
    EXPECT_EQ(Find("C:\\TEMP\\e\\ZETA"), (Names{"Zeta"}));
    EXPECT_EQ(Find("C:\\Temp\\E\\Zeta\\*"), (Names{".", ".."}));
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA("C:\\Temp\\E\\Zeta", &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    FindClose(h);

    EXPECT_EQ(Find("C:\\*").front(), "Program Files") << "a root has no dot entries";
}

TEST_F(Files, EnumerationErrors) {
    winsim::fs::MakeDirs("C:\\Temp\\Empty");
    winsim::fs::WriteFile("C:\\Temp\\Locked\\f.txt", "");
    EXPECT_EQ(Find("C:\\Temp\\Empty\\*.txt"), (Names{"error 2"}));
    EXPECT_EQ(Find("C:\\Temp\\Nope\\*"), (Names{"error 3"}));
    EXPECT_EQ(Find("C:\\Temp\\Nope"), (Names{"error 2"}));
    EXPECT_EQ(Find("C:\\Temp\\a|b\\*"), (Names{"error 123"}));
    EXPECT_EQ(Find("C:\\Temp\\Empty\\"), (Names{"error 2"}));
    EXPECT_EQ(Find("\\\\server\\share\\*"), (Names{"error 3"}));
    winsim::fs::DenyAccess("C:\\Temp\\Locked", true);
    EXPECT_EQ(Find("C:\\Temp\\Locked\\*"), (Names{"error 5"}));
    EXPECT_EQ(ErrorOf(FindClose(INVALID_HANDLE_VALUE)), 6u);
}

TEST_F(Files, ShortNamesAreGeneratedAndMatched) {
    char out[MAX_PATH];
    ASSERT_EQ(GetShortPathNameA("C:\\Program Files", out, sizeof(out)), 11u);
    EXPECT_STREQ(out, "C:\\PROGRA~1");
    winsim::fs::MakeDirs("C:\\Program Data Two");
    ASSERT_GT(GetShortPathNameA("c:\\program data two\\", out, sizeof(out)), 0u);
    EXPECT_STREQ(out, "C:\\PROGRA~3\\"); // ProgramData, there from the start, is PROGRA~2
    EXPECT_EQ(GetShortPathNameA("C:\\Program Files", out, 5), 12u);
    EXPECT_EQ(ErrorOf(GetShortPathNameA("C:\\Nowhere", out, sizeof(out))), 2u);
    EXPECT_NE(GetFileAttributesA("C:\\PROGRA~1"), INVALID_FILE_ATTRIBUTES);

    // Patterns also match the short name, as on Windows: "*.htm" finds "page.html".
    winsim::fs::WriteFile("C:\\Temp\\page.html", "");
    EXPECT_EQ(Find("C:\\Temp\\*.htm"), (Names{"page.html"}));
}

TEST_F(Files, CopyKeepsBytesAndAttributesAndHonoursItsFlags) {
    winsim::fs::WriteFile("C:\\Temp\\src.txt", "payload");
    winsim::fs::SetReadOnly("C:\\Temp\\src.txt", true);
    EXPECT_TRUE(CopyFileA("C:\\Temp\\src.txt", "C:\\Temp\\dst.txt", TRUE));
    EXPECT_EQ(winsim::fs::ReadFile("C:\\Temp\\dst.txt"), "payload");
    EXPECT_EQ(winsim::fs::Attributes("C:\\Temp\\dst.txt"),
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | 0x20));
    EXPECT_EQ(ErrorOf(CopyFileA("C:\\Temp\\src.txt", "C:\\Temp\\dst.txt", TRUE)), 80u);
    EXPECT_EQ(ErrorOf(CopyFileA("C:\\Temp\\src.txt", "C:\\Temp\\dst.txt", FALSE)), 5u) << "read-only target";
    winsim::fs::SetReadOnly("C:\\Temp\\dst.txt", false);
    winsim::fs::WriteFile("C:\\Temp\\src.txt", "new");
    EXPECT_TRUE(CopyFileExA("C:\\Temp\\src.txt", "C:\\Temp\\dst.txt", nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(winsim::fs::ReadFile("C:\\Temp\\dst.txt"), "new");
    EXPECT_EQ(ErrorOf(CopyFileA("C:\\Temp\\none.txt", "C:\\Temp\\x.txt", FALSE)), 2u);
    EXPECT_EQ(ErrorOf(CopyFileA("C:\\Temp\\src.txt", "C:\\Temp\\NoDir\\x.txt", FALSE)), 3u);
    EXPECT_EQ(ErrorOf(CopyFileA("C:\\Temp\\src.txt", "C:\\Temp", FALSE)), 5u);

    // Each function counts and fails on its own, whatever it shares inside.
    winsim::FailCall("CopyFileExA", 5);
    EXPECT_TRUE(CopyFileA("C:\\Temp\\src.txt", "C:\\Temp\\dst2.txt", FALSE));
    EXPECT_EQ(winsim::CallCount("CopyFileExA"), 1);
}

TEST_F(Files, CopyRereadsTheCancelFlagBetweenChunks) {
    const std::string big(200 * 1024, 'z'); // four chunks of 64 KiB
    winsim::fs::WriteFile("C:\\Temp\\big.bin", big);
    BOOL cancel = FALSE;
    winsim::OnCall("CopyFileExA:chunk", 3, [&] { cancel = TRUE; });
    EXPECT_EQ(ErrorOf(CopyFileExA("C:\\Temp\\big.bin", "C:\\Temp\\out.bin", nullptr, nullptr, &cancel, 0)),
              1235u);
    EXPECT_FALSE(winsim::fs::Exists("C:\\Temp\\out.bin")) << "a cancelled copy leaves no target";
    EXPECT_EQ(winsim::CallCount("CopyFileExA:chunk"), 3);

    // A flag already set stops the copy at once; the error is configurable.
    winsim::fs::SetCopyCancelError(1223);
    cancel = TRUE;
    EXPECT_EQ(ErrorOf(CopyFileExA("C:\\Temp\\big.bin", "C:\\Temp\\out.bin", nullptr, nullptr, &cancel, 0)),
              1223u);

    // A disk filling up part-way.
    winsim::FailCall("CopyFileExA:chunk", 112, 2);
    EXPECT_EQ(ErrorOf(CopyFileExA("C:\\Temp\\big.bin", "C:\\Temp\\out.bin", nullptr, nullptr, nullptr, 0)),
              112u);
    EXPECT_TRUE(CopyFileExA("C:\\Temp\\big.bin", "C:\\Temp\\out.bin", nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(winsim::fs::ReadFile("C:\\Temp\\out.bin"), big);
}

TEST_F(Files, MoveRenamesReplacesAndQueuesRestartDeletes) {
    winsim::fs::WriteFile("C:\\Temp\\a.txt", "A");
    winsim::fs::WriteFile("C:\\Temp\\b.txt", "B");
    EXPECT_EQ(ErrorOf(MoveFileExA("C:\\Temp\\a.txt", "C:\\Temp\\b.txt", 0)), 183u);
    EXPECT_TRUE(MoveFileExA("C:\\Temp\\a.txt", "C:\\Temp\\b.txt", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(winsim::fs::ReadFile("C:\\Temp\\b.txt"), "A");
    EXPECT_FALSE(winsim::fs::Exists("C:\\Temp\\a.txt"));
    EXPECT_TRUE(MoveFileExA("C:\\Temp\\b.txt", "C:\\Temp\\B.TXT", 0)) << "a change of case only";
    EXPECT_EQ(winsim::fs::List("C:\\Temp"), Names{"B.TXT"});
    EXPECT_EQ(ErrorOf(MoveFileExA("C:\\Temp\\none", "C:\\Temp\\x", 0)), 2u);
    winsim::fs::AddDrive('D');
    EXPECT_EQ(ErrorOf(MoveFileExA("C:\\Temp\\B.TXT", "D:\\b.txt", 0)), 17u);
    EXPECT_TRUE(MoveFileA("C:\\Temp\\B.TXT", "D:\\b.txt"));
    EXPECT_EQ(winsim::fs::ReadFile("D:\\b.txt"), "A");

    // Restart requests are recorded without looking at the file, unless configured otherwise.
    EXPECT_TRUE(MoveFileExA("c:/temp/gone.txt", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    EXPECT_TRUE(MoveFileExA("D:\\b.txt", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_EQ(winsim::fs::PendingRenames().size(), 2u);
    EXPECT_EQ(winsim::fs::PendingRenames()[0].from, "C:\\temp\\gone.txt");
    EXPECT_EQ(winsim::fs::PendingRenames()[0].to, "");
    winsim::fs::SetRebootRenames(true, true);
    EXPECT_EQ(ErrorOf(MoveFileExA("C:\\Temp\\gone.txt", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)), 2u);
    EXPECT_EQ(ErrorOf(MoveFileExA("C:\\Temp\\g<o.txt", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)), 123u);
    winsim::fs::SetRebootRenames(false, false);
    EXPECT_EQ(ErrorOf(MoveFileExA("D:\\b.txt", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)), 5u);
    winsim::fs::ApplyPendingRenames();
    EXPECT_FALSE(winsim::fs::Exists("D:\\b.txt"));
    EXPECT_TRUE(winsim::fs::PendingRenames().empty());
}

TEST_F(Files, DrivesTypesLabelsAndMedia) {
    winsim::fs::AddDrive('E', DRIVE_CDROM, "HX_MEDIA");
    winsim::fs::AddDrive('D', DRIVE_REMOVABLE);
    char buf[64];
    EXPECT_EQ(GetLogicalDriveStringsA(sizeof(buf), buf), 12u);
    EXPECT_EQ(std::string(buf, 13), std::string("C:\\\0D:\\\0E:\\\0", 13));
    EXPECT_EQ(GetLogicalDriveStringsA(12, buf), 13u) << "size needed with the final terminator";
    winsim::fs::SetDriveStringsLength(600);
    EXPECT_EQ(GetLogicalDriveStringsA(516, buf), 600u);

    EXPECT_EQ(GetDriveTypeA("C:\\"), static_cast<UINT>(DRIVE_FIXED));
    EXPECT_EQ(GetDriveTypeA("e:"), static_cast<UINT>(DRIVE_CDROM));
    EXPECT_EQ(GetDriveTypeA("Q:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
    EXPECT_EQ(GetDriveTypeA("C:\\Temp\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR));

    char label[32], fsName[16];
    ASSERT_TRUE(GetVolumeInformationA("E:\\", label, sizeof(label), nullptr, nullptr, nullptr, fsName,
                                      sizeof(fsName)));
    EXPECT_STREQ(label, "HX_MEDIA");
    EXPECT_STREQ(fsName, "CDFS");
    ASSERT_TRUE(GetVolumeInformationA("C:\\", label, sizeof(label), nullptr, nullptr, nullptr, nullptr, 0));
    EXPECT_STREQ(label, "");
    winsim::fs::SetMediaPresent('E', false);
    EXPECT_EQ(
        ErrorOf(GetVolumeInformationA("E:\\", label, sizeof(label), nullptr, nullptr, nullptr, nullptr, 0)),
        21u);
    EXPECT_EQ(GetFileAttributesA("E:\\setup.exe"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), 21u);
    EXPECT_EQ(
        ErrorOf(GetVolumeInformationA("Q:\\", label, sizeof(label), nullptr, nullptr, nullptr, nullptr, 0)),
        3u);
}

TEST_F(Files, TemporaryAndSystemFolders) {
    char buf[MAX_PATH];
    EXPECT_EQ(GetTempPathA(sizeof(buf), buf), 8u);
    EXPECT_STREQ(buf, "C:\\Temp\\");
    winsim::SetEnv("TMP", "D:/tmp/dir");
    EXPECT_EQ(GetTempPathA(sizeof(buf), buf), 11u);
    EXPECT_STREQ(buf, "D:\\tmp\\dir\\");
    EXPECT_EQ(GetTempPathA(5, buf), 12u);
    EXPECT_EQ(GetWindowsDirectoryA(buf, sizeof(buf)), 10u);
    EXPECT_STREQ(buf, "C:\\Windows");
    EXPECT_EQ(GetWindowsDirectoryA(buf, 10), 11u);
}

} // namespace
