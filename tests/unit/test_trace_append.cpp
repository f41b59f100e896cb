// Appending trace lines to files that other processes append to as well.
#include "zebtest.h"

namespace {

// Another process that takes the library's append lock on a trace file.
class AppendLock {
  public:
    explicit AppendLock(const char* path) {
        h_ = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_TRUE(LockFile(h_, 0, 0x7FFFFFFF, 1, 0));
    }
    void Release() {
        if (h_ != INVALID_HANDLE_VALUE)
            CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
    }
    ~AppendLock() { Release(); }

  private:
    HANDLE h_ = INVALID_HANDLE_VALUE;
};

class TraceAppend : public ZebTest {
  protected:
    void SetUp() override {
        ZebTest::SetUp();
        winsim::msi::SetProperty("ZEBUSERTRACEPATH", kPath);
    }
    static constexpr const char* kPath = "C:\\Temp\\shared.log";
};

TEST_F(TraceAppend, EveryNewlineIsWrittenAsInTextMode) {
    WriteTraceRaw("\nafter a blank line");
    WriteTraceRaw("two\nrows");
    EXPECT_EQ(File(kPath), "\r\nafter a blank line\r\ntwo\r\nrows\r\n");
}

TEST_F(TraceAppend, WaitsForAnotherWriterToFinishItsLine) {
    AppendLock other(kPath);
    winsim::AtTime(winsim::NowMs() + 40, [&] {
        winsim::fs::AppendFile(kPath, "other\r\n");
        other.Release();
    });
    uint64_t started = winsim::NowMs();
    WriteTraceRaw("mine");
    EXPECT_EQ(File(kPath), "other\r\nmine\r\n");
    EXPECT_GE(winsim::NowMs() - started, 40u);
    EXPECT_LT(winsim::NowMs() - started, 100u);
}

TEST_F(TraceAppend, LockNeverFreedOrFailingDoesNotLoseTheLine) {
    {
        AppendLock stuck(kPath);
        uint64_t started = winsim::NowMs();
        WriteTraceRaw("one");
        // Bounded: about a second, then the line is written anyway.
        EXPECT_GE(winsim::NowMs() - started, 1000u);
        EXPECT_LT(winsim::NowMs() - started, 1100u);
    }
    winsim::FailCall("LockFile", ERROR_NOT_SUPPORTED);
    uint64_t started = winsim::NowMs();
    WriteTraceRaw("two");
    EXPECT_EQ(winsim::NowMs(), started); // not a lock conflict: no waiting
    EXPECT_EQ(File(kPath), "one\r\ntwo\r\n");
}

} // namespace
