// Byte-range locks of the simulated file system, as LockFile and UnlockFile show them.
#include <gtest/gtest.h>
#include <windows.h>
#include <winsim/sim.h>

namespace {

class Locks : public ::testing::Test {
  protected:
    void SetUp() override {
        winsim::Reset();
        winsim::fs::WriteFile("C:\\Temp\\a.log", "abc");
    }
    void TearDown() override { EXPECT_EQ(winsim::OpenHandleCount(), 0); }

    static HANDLE Open(DWORD access) {
        return CreateFileA("C:\\Temp\\a.log", access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    static DWORD ErrorOf(BOOL ok) { return ok ? 0 : GetLastError(); }
};

TEST_F(Locks, OverlappingRangesExcludeEachOtherUntilUnlockOrClose) {
    HANDLE a = Open(GENERIC_READ);
    HANDLE b = Open(FILE_READ_DATA | FILE_APPEND_DATA);
    ASSERT_NE(a, INVALID_HANDLE_VALUE);
    ASSERT_NE(b, INVALID_HANDLE_VALUE);
    // Far beyond the end of the file is allowed.
    EXPECT_EQ(ErrorOf(LockFile(a, 0, 0x7FFFFFFF, 1, 0)), 0u);
    EXPECT_EQ(ErrorOf(LockFile(b, 0, 0x7FFFFFFF, 1, 0)), ERROR_LOCK_VIOLATION);
    EXPECT_EQ(ErrorOf(LockFile(a, 0, 0x7FFFFFFF, 1, 0)), ERROR_LOCK_VIOLATION); // not re-entrant
    EXPECT_EQ(ErrorOf(LockFile(b, 0xFFFFFFFF, 0x7FFFFFFE, 2, 0)), ERROR_LOCK_VIOLATION);
    EXPECT_EQ(ErrorOf(LockFile(b, 1, 0x7FFFFFFF, 1, 0)), 0u); // the next byte is free
    // Only the owner releases, and only the exact range.
    EXPECT_EQ(ErrorOf(UnlockFile(b, 0, 0x7FFFFFFF, 1, 0)), ERROR_NOT_LOCKED);
    EXPECT_EQ(ErrorOf(UnlockFile(a, 0, 0x7FFFFFFF, 2, 0)), ERROR_NOT_LOCKED);
    EXPECT_EQ(ErrorOf(UnlockFile(a, 0, 0x7FFFFFFF, 1, 0)), 0u);
    EXPECT_EQ(ErrorOf(LockFile(b, 0, 0x7FFFFFFF, 1, 0)), 0u);
    // Closing a handle drops its locks.
    CloseHandle(b);
    EXPECT_EQ(ErrorOf(LockFile(a, 0, 0x7FFFFFFF, 2, 0)), 0u);
    CloseHandle(a);
}

TEST_F(Locks, NeedReadOrWriteAccessAndAValidHandle) {
    HANDLE append = Open(FILE_APPEND_DATA);
    EXPECT_EQ(ErrorOf(LockFile(append, 0, 0, 1, 0)), ERROR_ACCESS_DENIED);
    CloseHandle(append);
    HANDLE write = Open(GENERIC_WRITE);
    EXPECT_EQ(ErrorOf(LockFile(write, 0, 0, 1, 0)), 0u);
    CloseHandle(write);
    EXPECT_EQ(ErrorOf(LockFile(INVALID_HANDLE_VALUE, 0, 0, 1, 0)), ERROR_INVALID_HANDLE);
    EXPECT_EQ(ErrorOf(UnlockFile(INVALID_HANDLE_VALUE, 0, 0, 1, 0)), ERROR_INVALID_HANDLE);
}

} // namespace
