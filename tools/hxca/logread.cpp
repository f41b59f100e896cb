#include "logread.h"

#include <cerrno>
#include <cstring>

namespace hxca {

namespace {

constexpr size_t kBufferBytes = 1 << 20;
const char kReplacement[] = "\xEF\xBF\xBD"; // U+FFFD

// Windows-1252 bytes 0x80-0x9F; the five unassigned ones become U+FFFD.
const uint16_t kCp1252High[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                  0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

void PutUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool IsControl(uint32_t cp) {
    return (cp < 0x20 && cp != '\t') || cp == 0x7F;
}

// Length of the valid UTF-8 sequence at s[i], or 0.
size_t Utf8Sequence(const std::string& s, size_t i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n;
    uint32_t cp;
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + n > s.size())
        return 0;
    for (size_t k = 1; k < n; ++k) {
        unsigned char t = static_cast<unsigned char>(s[i + k]);
        if ((t & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (t & 0x3F);
    }
    if ((n == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
        (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
        return 0;
    return n;
}

} // namespace

const char* EncodingName(Encoding e) {
    switch (e) {
    case Encoding::Ansi:
        return "ANSI";
    case Encoding::Utf8:
        return "UTF-8";
    case Encoding::Utf16LE:
        return "UTF-16LE";
    case Encoding::Utf16BE:
        return "UTF-16BE";
    }
    return "?";
}

std::string AnsiToUtf8(const std::string& bytes, bool& binary) {
    bool plain = true, valid = true;
    size_t start = 0;
    while (start < bytes.size() && static_cast<unsigned char>(bytes[start]) >= 0x20 &&
           static_cast<unsigned char>(bytes[start]) < 0x7F)
        ++start;
    if (start == bytes.size())
        return bytes;
    for (size_t i = start; i < bytes.size();) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (IsControl(c))
            plain = false;
        if (c < 0x80) {
            ++i;
            continue;
        }
        plain = false;
        size_t n = Utf8Sequence(bytes, i);
        if (n == 0) {
            valid = false;
            break;
        }
        i += n;
    }
    if (plain)
        return bytes;
    std::string out;
    out.reserve(bytes.size() + 16);
    for (size_t i = 0; i < bytes.size();) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (IsControl(c)) {
            binary = true;
            out += kReplacement;
            ++i;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
        } else if (valid) {
            size_t n = Utf8Sequence(bytes, i);
            out.append(bytes, i, n);
            i += n;
        } else {
            PutUtf8(out, c < 0xA0 ? kCp1252High[c - 0x80] : c);
            ++i;
        }
    }
    return out;
}

LogReader::~LogReader() {
    if (file_)
        std::fclose(file_);
}

bool LogReader::Open(const std::string& path, std::string& error) {
    path_ = path;
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    if (fseeko(file_, 0, SEEK_END) != 0 || (size_ = static_cast<uint64_t>(ftello(file_))) == uint64_t(-1) ||
        fseeko(file_, 0, SEEK_SET) != 0) {
        // A pipe or a folder: the reader needs a file it can read twice.
        error = path + ": not a regular file that can be read";
        return false;
    }
    unsigned char head[4] = {0, 0, 0, 0};
    size_t n = std::fread(head, 1, 4, file_);
    if (std::ferror(file_)) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    uint64_t start = 0;
    if (n >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) {
        encoding_ = Encoding::Utf8;
        bom_ = true;
        start = 3;
    } else if (n >= 2 && head[0] == 0xFF && head[1] == 0xFE) {
        encoding_ = Encoding::Utf16LE;
        bom_ = true;
        start = 2;
    } else if (n >= 2 && head[0] == 0xFE && head[1] == 0xFF) {
        encoding_ = Encoding::Utf16BE;
        bom_ = true;
        start = 2;
    } else if (n == 4 && head[0] != 0 && head[1] == 0 && head[2] != 0 && head[3] == 0) {
        // Text as UTF-16 without a byte-order mark: two ASCII characters each followed by NUL.
        encoding_ = Encoding::Utf16LE;
    }
    buf_.resize(kBufferBytes);
    return Seek(start, 1);
}

bool LogReader::Seek(uint64_t offset, uint64_t number) {
    if (!file_ || fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0)
        return false;
    pos_ = offset;
    at_ = end_ = 0;
    number_ = number - 1;
    return true;
}

bool LogReader::Fill() {
    pos_ += end_;
    at_ = end_ = 0;
    size_t n = std::fread(buf_.data(), 1, buf_.size(), file_);
    if (n == 0 && std::ferror(file_) && error_.empty())
        error_ = path_ + ": read error: " + std::strerror(errno);
    end_ = n;
    return n > 0;
}

int LogReader::Get() {
    if (at_ == end_ && !Fill())
        return -1;
    return buf_[at_++];
}

bool LogReader::ReadUnit(uint32_t& unit, bool& partial) {
    int a = Get();
    if (a < 0)
        return false;
    int b = Get();
    if (b < 0) {
        partial = true; // an odd byte at the end
        unit = 0xFFFD;
        return true;
    }
    unit = encoding_ == Encoding::Utf16LE ? static_cast<uint32_t>(a | (b << 8))
                                          : static_cast<uint32_t>((a << 8) | b);
    return true;
}

bool LogReader::Next(RawLine& line) {
    if (!file_)
        return false;
    line.text.clear();
    line.cut = line.binary = line.unterminated = false;
    if (at_ == end_ && !Fill())
        return false;
    line.offset = pos_ + at_;
    raw_.clear();
    size_t taken = 0; // bytes of the file in this line
    bool newline = false;

    if (encoding_ == Encoding::Ansi || encoding_ == Encoding::Utf8) {
        while (!newline) {
            if (at_ == end_ && !Fill())
                break;
            const unsigned char* from = buf_.data() + at_;
            size_t avail = end_ - at_;
            const void* nl = std::memchr(from, '\n', avail);
            size_t chunk = nl ? static_cast<size_t>(static_cast<const unsigned char*>(nl) - from) : avail;
            size_t keep = taken < kMaxLineBytes ? std::min(chunk, kMaxLineBytes - taken) : 0;
            raw_.append(reinterpret_cast<const char*>(from), keep);
            if (keep < chunk)
                line.cut = true;
            taken += chunk;
            at_ += chunk;
            if (nl) {
                ++at_;
                newline = true;
            }
        }
        while (!raw_.empty() && raw_.back() == '\r')
            raw_.pop_back();
        bool ascii = true;
        for (char c : raw_)
            ascii &= static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F;
        if (ascii)
            line.text.swap(raw_); // most lines: nothing to convert
        else
            line.text = AnsiToUtf8(raw_, line.binary);
    } else {
        uint32_t pendingHigh = 0;
        for (;;) {
            uint32_t unit;
            bool partial = false;
            if (!ReadUnit(unit, partial))
                break;
            if (partial)
                line.binary = true;
            taken += 2;
            if (unit == '\n') {
                newline = true;
                break;
            }
            if (taken > kMaxLineBytes) {
                line.cut = true;
                continue;
            }
            uint32_t cp = unit;
            if (pendingHigh) {
                if (unit >= 0xDC00 && unit <= 0xDFFF) {
                    cp = 0x10000 + ((pendingHigh - 0xD800) << 10) + (unit - 0xDC00);
                    pendingHigh = 0;
                    PutUtf8(raw_, cp);
                    continue;
                }
                pendingHigh = 0;
                line.binary = true;
                raw_ += kReplacement;
            }
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                pendingHigh = unit;
                continue;
            }
            if ((unit >= 0xDC00 && unit <= 0xDFFF) || (IsControl(unit) && unit != '\r')) {
                line.binary = true;
                raw_ += kReplacement;
                continue;
            }
            PutUtf8(raw_, cp);
        }
        if (pendingHigh) {
            line.binary = true;
            raw_ += kReplacement;
        }
        while (!raw_.empty() && raw_.back() == '\r')
            raw_.pop_back();
        // A carriage return inside the line is a control character like any other.
        for (size_t i = raw_.find('\r'); i != std::string::npos; i = raw_.find('\r', i)) {
            raw_.replace(i, 1, kReplacement);
            line.binary = true;
        }
        line.text.swap(raw_);
    }
    if (!newline && taken == 0)
        return false;
    line.unterminated = !newline;
    line.number = ++number_;
    return true;
}

} // namespace hxca
