// C runtime stdio on the simulated file system: Microsoft mode letters, text-mode translation,
// sharing, and the Microsoft string helpers.
#include <gtest/gtest.h>
#include <windows.h>
#include <winsim/sim.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace {

// The error a call leaves when it fails, 0 when it succeeds.
template <class T> DWORD ErrorOf(T result) {
    return result ? 0 : GetLastError();
}

class Crt : public ::testing::Test {
  protected:
    void SetUp() override { winsim::Reset(); }

    static std::string ReadAll(const char* path, const char* mode) {
        FILE* fp = fopen(path, mode);
        if (!fp)
            return "<open failed>";
        std::string out;
        char buf[7]; // small, so reads cross CR LF pairs and buffer ends
        size_t n;
        while ((n = fread(buf, 1, sizeof(buf), fp)) > 0)
            out.append(buf, n);
        EXPECT_TRUE(feof(fp));
        EXPECT_FALSE(ferror(fp));
        fclose(fp);
        return out;
    }
};

TEST_F(Crt, TextModeWritesCrLfAndBinaryModeWritesBytes) {
    FILE* fp = fopen("C:\\Temp\\t.txt", "wtN");
    ASSERT_NE(fp, nullptr);
    fprintf(fp, "line %d\n", 1);
    fputs("two\r\nthree", fp); // an explicit CR stays, so "\r\n" becomes "\r\r\n"
    EXPECT_EQ(fclose(fp), 0);
    EXPECT_EQ(winsim::fs::ReadFile("C:\\Temp\\t.txt"), "line 1\r\ntwo\r\r\nthree");

    fp = fopen("C:\\Temp\\b.bin", "wbN");
    ASSERT_NE(fp, nullptr);
    EXPECT_EQ(fwrite("a\nb\r\n", 1, 5, fp), 5u);
    fclose(fp);
    EXPECT_EQ(winsim::fs::ReadFile("C:\\Temp\\b.bin"), "a\nb\r\n");

    fp = fopen("C:\\Temp\\d.txt", "w"); // no letter: text
    fputs("x\n", fp);
    fclose(fp);
    EXPECT_EQ(winsim::fs::ReadFile("C:\\Temp\\d.txt"), "x\r\n");
}

TEST_F(Crt, TextModeReadsCrLfAsLfAndStopsAtCtrlZ) {
    winsim::fs::WriteFile("C:\\Temp\\r.txt", "one\r\ntwo\rthree\r\n\r\nlast\x1Ahidden\r\n");
    EXPECT_EQ(ReadAll("C:\\Temp\\r.txt", "rtN"), "one\ntwo\rthree\n\nlast");
    EXPECT_EQ(ReadAll("C:\\Temp\\r.txt", "rb"), "one\r\ntwo\rthree\r\n\r\nlast\x1Ahidden\r\n");

    FILE* fp = fopen("C:\\Temp\\r.txt", "r");
    char line[64];
    ASSERT_NE(fgets(line, sizeof(line), fp), nullptr);
    EXPECT_STREQ(line, "one\n");
    ASSERT_NE(fgets(line, 5, fp), nullptr);
    EXPECT_STREQ(line, "two\r");
    fclose(fp);
}

TEST_F(Crt, AppendModeAddsAtTheEndOfEachOpen) {
    winsim::fs::WriteFile("C:\\Temp\\log.txt", "old\r\n\x1A");
    for (const char* text : {"first", "second"}) {
        FILE* fp = fopen("C:\\Temp\\log.txt", "a+N");
        ASSERT_NE(fp, nullptr);
        fprintf(fp, "%s\n", text);
        fclose(fp);
        winsim::fs::AppendFile("C:\\Temp\\log.txt", "other\r\n"); // another process in between
    }
    EXPECT_EQ(winsim::fs::ReadFile("C:\\Temp\\log.txt"), "old\r\nfirst\r\nother\r\nsecond\r\nother\r\n")
        << "a+ drops the final Ctrl-Z before appending";

    FILE* fp = fopen("C:\\Temp\\new.log", "a");
    ASSERT_NE(fp, nullptr);
    fputs("x", fp);
    fseek(fp, 0, SEEK_SET);
    fputs("y", fp); // still at the end
    fclose(fp);
    EXPECT_EQ(winsim::fs::ReadFile("C:\\Temp\\new.log"), "xy");
}

TEST_F(Crt, OpenFailuresSetErrnoAndTheLastError) {
    errno = 0;
    EXPECT_EQ(fopen("C:\\Temp\\absent.txt", "rtN"), nullptr);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(GetLastError(), 2u);
    EXPECT_EQ(ErrorOf(fopen("C:\\NoDir\\x.txt", "w")), 3u);

    winsim::fs::WriteFile("C:\\Temp\\held.txt", "x");
    winsim::fs::Lock("C:\\Temp\\held.txt");
    EXPECT_EQ(fopen("C:\\Temp\\held.txt", "a+N"), nullptr);
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(GetLastError(), 32u);
    winsim::fs::Unlock("C:\\Temp\\held.txt");

    // Held by this process without sharing, as CreateFileA with share 0 does.
    HANDLE h = CreateFileA("C:\\Temp\\held.txt", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(fopen("C:\\Temp\\held.txt", "r"), nullptr);
    EXPECT_EQ(errno, EACCES);
    CloseHandle(h);
    FILE* reader = fopen("C:\\Temp\\held.txt", "r");
    ASSERT_NE(reader, nullptr);
    FILE* writer = fopen("C:\\Temp\\held.txt", "a");
    EXPECT_NE(writer, nullptr) << "fopen shares reading and writing";
    fclose(writer);
    HANDLE excl = CreateFileA("C:\\Temp\\held.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(excl, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), 32u);
    fclose(reader);

    winsim::fs::SetReadOnly("C:\\Temp\\held.txt", true);
    EXPECT_EQ(fopen("C:\\Temp\\held.txt", "w"), nullptr);
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(GetLastError(), 5u);

    errno = 0;
    EXPECT_EQ(fopen("C:\\Temp\\x.txt", "q"), nullptr);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(fopen("C:\\Temp\\x.txt", "wtb"), nullptr);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(fopen("C:\\Temp\\held.txt", "wx"), nullptr);
    EXPECT_EQ(errno, EEXIST);
}

TEST_F(Crt, UpdateModesReadAndWrite) {
    winsim::fs::WriteFile("C:\\Temp\\u.bin", "abcdef");
    FILE* fp = fopen("C:\\Temp\\u.bin", "rb+");
    ASSERT_NE(fp, nullptr);
    char buf[4] = {};
    ASSERT_EQ(fread(buf, 1, 3, fp), 3u);
    EXPECT_STREQ(buf, "abc");
    fseek(fp, 1, SEEK_SET);
    fputs("XY", fp);
    fclose(fp);
    EXPECT_EQ(winsim::fs::ReadFile("C:\\Temp\\u.bin"), "aXYdef");

    fp = fopen("C:\\Temp\\u.bin", "w+N");
    ASSERT_NE(fp, nullptr);
    EXPECT_EQ(winsim::fs::ReadFile("C:\\Temp\\u.bin"), "") << "w truncates at open";
    fclose(fp);
}

TEST_F(Crt, WriteErrorsReachFerror) {
    winsim::fs::SetFreeSpace('C', 4);
    FILE* fp = fopen("C:\\Temp\\full.txt", "wb");
    ASSERT_NE(fp, nullptr);
    fputs("0123456789", fp);
    EXPECT_NE(fflush(fp), 0);
    EXPECT_TRUE(ferror(fp));
    fclose(fp);

    // Injected faults reach only the file they name.
    winsim::fs::SetFreeSpace('C', 1000);
    winsim::FailCall("fwrite", 112, 0, "\\inj.txt");
    winsim::FailCall("fread", 13, 0, "\\inj.txt");
    FILE* other = fopen("C:\\Temp\\other.txt", "w+");
    fp = fopen("C:\\Temp\\inj.txt", "w+");
    fputs("x", fp);
    fputs("y", other);
    EXPECT_NE(fflush(fp), 0);
    EXPECT_TRUE(ferror(fp));
    EXPECT_EQ(fflush(other), 0);
    rewind(fp);
    char c[2];
    EXPECT_EQ(fread(c, 1, 1, fp), 0u);
    EXPECT_TRUE(ferror(fp));
    fclose(fp);
    fclose(other);
    EXPECT_EQ(winsim::fs::ReadFile("C:\\Temp\\other.txt"), "y");
}

TEST_F(Crt, MicrosoftStringHelpers) {
    EXPECT_EQ(_stricmp("HexLine", "hEXlINE"), 0);
    EXPECT_LT(_stricmp("a_b", "aB"), 0) << "compares lower case: '_' before letters";
    EXPECT_GT(_stricmp("b", "A"), 0);
    EXPECT_EQ(_strnicmp("ZEBTEMP1", "zebtemp2", 7), 0);
    EXPECT_NE(_strnicmp("ZEBTEMP1", "zebtemp2", 8), 0);
    char s[] = "MiXeD 1";
    EXPECT_STREQ(_strlwr(s), "mixed 1");
    EXPECT_STREQ(_strupr(s), "MIXED 1");

    char buf[8];
    std::memset(buf, '#', sizeof(buf));
    EXPECT_EQ(_snprintf(buf, 4, "%s", "abcdef"), -1);
    EXPECT_EQ(std::string(buf, 5), "abcd#") << "cut and not terminated";
    EXPECT_EQ(_snprintf(buf, 3, "%d", 123), 3);
    EXPECT_EQ(std::string(buf, 4), "123d") << "exact fit: not terminated";
    EXPECT_EQ(_snprintf(buf, sizeof(buf), "%lu", 7ul), 1);
    EXPECT_STREQ(buf, "7");
}

TEST_F(Crt, DirectoryAndAccessHelpers) {
    EXPECT_EQ(_mkdir("C:\\Temp\\M"), 0);
    EXPECT_EQ(_mkdir("C:\\Temp\\M"), -1);
    EXPECT_EQ(errno, EEXIST);
    winsim::fs::WriteFile("C:\\Temp\\M\\f", "");
    EXPECT_EQ(_rmdir("C:\\Temp\\M"), -1);
    EXPECT_EQ(errno, ENOTEMPTY);
    EXPECT_EQ(_access("C:\\Temp\\M\\f", 2), 0);
    winsim::fs::SetReadOnly("C:\\Temp\\M\\f", true);
    EXPECT_EQ(_access("C:\\Temp\\M\\f", 2), -1);
    EXPECT_EQ(_unlink("C:\\Temp\\M\\f"), -1);
    EXPECT_EQ(errno, EACCES);
}

} // namespace
