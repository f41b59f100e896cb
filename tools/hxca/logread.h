// Reading log files line by line: msiexec verbose logs (ANSI or UTF-16), the library's trace files
// and the runner's output. Memory stays bounded whatever the file holds.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace hxca {

enum class Encoding { Ansi, Utf8, Utf16LE, Utf16BE };
const char* EncodingName(Encoding e);

struct RawLine {
    std::string text;          // UTF-8, without the line end; control characters replaced by U+FFFD
    uint64_t number = 0;       // 1-based
    uint64_t offset = 0;       // byte offset of the line's start in the file
    bool cut = false;          // longer than the reader keeps; the rest of the line was skipped
    bool binary = false;       // held NUL or other control characters, or bytes that are no text
    bool unterminated = false; // the last line of a file that does not end with a line end
};

class LogReader {
  public:
    // Lines longer than this (in bytes of the file) are cut: a binary file without line ends
    // must not grow one line without bound.
    static constexpr size_t kMaxLineBytes = 64 * 1024;

    LogReader() = default;
    LogReader(const LogReader&) = delete;
    LogReader& operator=(const LogReader&) = delete;
    ~LogReader();

    // False with a message when the file cannot be opened or read.
    bool Open(const std::string& path, std::string& error);
    bool Next(RawLine& line);
    // Back to a line start that Next reported, to read it (and what follows) again.
    bool Seek(uint64_t offset, uint64_t number);

    Encoding encoding() const { return encoding_; }
    bool bom() const { return bom_; }
    uint64_t size() const { return size_; }
    // A read error after Open (the lines read so far stand).
    const std::string& error() const { return error_; }

  private:
    bool Fill();
    int Get(); // next byte, or -1 at the end
    bool ReadUnit(uint32_t& unit, bool& partial);

    std::FILE* file_ = nullptr;
    std::string path_;
    Encoding encoding_ = Encoding::Ansi;
    bool bom_ = false;
    uint64_t size_ = 0;
    uint64_t pos_ = 0; // file offset of buf_[at_]
    std::vector<unsigned char> buf_;
    size_t at_ = 0, end_ = 0;
    uint64_t number_ = 0;
    std::string error_;
    std::string raw_; // one line's bytes (8-bit) or code units as UTF-8 (UTF-16)
};

// The 8-bit text of a line as UTF-8: kept when it is valid UTF-8, else read as Windows-1252.
// Control characters other than tab become U+FFFD; binary is set when there were any.
std::string AnsiToUtf8(const std::string& bytes, bool& binary);

} // namespace hxca
