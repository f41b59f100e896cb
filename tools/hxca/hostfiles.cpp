#include "hostfiles.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace hxca {

std::optional<std::string> ReadHostFile(const std::string& path) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

namespace {

void AppendUtf8(std::string& out, uint32_t cp) {
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

} // namespace

std::string DecodeText(const std::string& bytes) {
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return bytes.substr(3);
    if (bytes.size() < 2 || bytes.compare(0, 2, "\xFF\xFE") != 0)
        return bytes;
    std::string out;
    auto unit = [&](size_t i) {
        return static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) |
               static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    };
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        uint32_t cp = unit(i);
        if (cp >= 0xD800 && cp < 0xDC00 && i + 3 < bytes.size()) {
            uint32_t low = unit(i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        AppendUtf8(out, cp);
    }
    return out;
}

std::optional<std::string> IdtTableName(const std::string& idtText) {
    std::istringstream in(idtText);
    std::string line;
    for (int i = 0; i < 3; ++i) {
        if (!std::getline(in, line))
            return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    std::string name = line.substr(0, line.find('\t'));
    if (name.empty())
        return std::nullopt;
    return name;
}

std::vector<std::string> DriveTree(const std::string& hostDir) {
    std::vector<std::string> out;
    std::error_code ec;
    if (!fs::is_directory(hostDir, ec))
        return out;
    for (auto it = fs::recursive_directory_iterator(hostDir, ec); it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (ec)
            break;
        std::string rel = fs::relative(it->path(), hostDir, ec).generic_string();
        std::replace(rel.begin(), rel.end(), '/', '\\');
        if (it->is_directory(ec))
            out.push_back(rel + "\\");
        else if (it->path().filename() != ".gitkeep")
            out.push_back(rel);
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> FilesEndingIn(const std::string& hostDir, const std::string& suffix) {
    std::vector<std::string> out;
    std::error_code ec;
    if (!fs::is_directory(hostDir, ec))
        return out;
    auto lower = [](std::string s) {
        for (char& c : s)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    for (const auto& entry : fs::directory_iterator(hostDir, ec)) {
        std::string name = entry.path().filename().string();
        if (entry.is_regular_file(ec) && name.size() > suffix.size() &&
            lower(name).compare(name.size() - suffix.size(), suffix.size(), lower(suffix)) == 0)
            out.push_back(name);
    }
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace hxca
