#include "logdiff.h"

#include "logreport.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <set>
#include <sstream>

namespace hxca {

namespace {

using sv = std::string_view;

constexpr size_t kMaxRunEdits = 1500;
constexpr size_t kMaxBlockEdits = 1500;
constexpr size_t kShownChanges = 40;

bool StartsWith(sv s, sv prefix) {
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

// ASCII only, without the C library's locale: called for every character of every line.
char LowerChar(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool Alpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool Alnum(char c) {
    return Alpha(c) || (c >= '0' && c <= '9');
}

std::string Lower(sv s) {
    std::string out(s);
    for (char& c : out)
        c = LowerChar(c);
    return out;
}

bool Digit(char c) {
    return c >= '0' && c <= '9';
}

bool Hex(char c) {
    return Digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool NameChar(char c) {
    return Alnum(c) || c == '_' || c == '-' || c == '.' || c == '$' || c == '~' ||
           static_cast<unsigned char>(c) >= 0x80;
}

bool LooksLikePath(sv v) {
    if (v.size() >= 4 && Alpha(v[0]) && v[1] == ':' && v[2] == '\\')
        return true;
    return v.size() >= 3 && v[0] == '\\' && v[1] == '\\';
}

// Which of two properties naming the same folder gives the placeholder: the package's own
// (ZEB...) before the engine's, then the shorter name, then by name, so both logs agree.
bool Preferred(const std::string& a, const std::string& b) {
    bool za = StartsWith(a, "ZEB"), zb = StartsWith(b, "ZEB");
    if (za != zb)
        return za;
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

// "zebt0001.log" -> "zebtXXXX.log": the library's temporary names differ by their number only.
void ReplaceTempNames(std::string& s) {
    for (size_t i = 0; i + 9 <= s.size(); ++i) {
        if (LowerChar(s[i]) != 'z' || LowerChar(s[i + 1]) != 'e' || LowerChar(s[i + 2]) != 'b' ||
            !Alpha(s[i + 3]) || (i > 0 && Alnum(s[i - 1])))
            continue;
        if (Hex(s[i + 4]) && Hex(s[i + 5]) && Hex(s[i + 6]) && Hex(s[i + 7]) && s[i + 8] == '.') {
            s.replace(i + 4, 4, "XXXX");
            i += 8;
        }
    }
    // The installer's temporary copies of the library: "MSI1A2B.tmp".
    for (size_t i = s.find("MSI"); i != std::string::npos; i = s.find("MSI", i + 3)) {
        size_t j = i + 3;
        while (j < s.size() && j - i - 3 < 8 && Hex(s[j]))
            ++j;
        if (j > i + 3 && s.compare(j, 4, ".tmp") == 0)
            s.replace(i + 3, j - i - 3, "XXXX");
    }
}

// Times "1:48:14", "01:48:14" and "10:00:00:123" become "hh:mm:ss".
void ReplaceTimes(std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        size_t start = i;
        if (Digit(s[i]) && (i == 0 || !Digit(s[i - 1]))) {
            size_t j = i + 1;
            if (j < s.size() && Digit(s[j]))
                ++j;
            if (j + 6 <= s.size() && s[j] == ':' && Digit(s[j + 1]) && Digit(s[j + 2]) && s[j + 3] == ':' &&
                Digit(s[j + 4]) && Digit(s[j + 5]) && (j + 6 == s.size() || !Digit(s[j + 6]))) {
                j += 6;
                if (j + 3 < s.size() && s[j] == ':' && Digit(s[j + 1]) && Digit(s[j + 2]) && Digit(s[j + 3]))
                    j += 4;
                out += "hh:mm:ss";
                i = j;
                continue;
            }
        }
        out += s[start];
        i = start + 1;
    }
    s.swap(out);
}

struct Block {
    std::string key;
    std::string title;
    int run = -1; // -1: lines no run claims
    std::vector<uint64_t> hashes, offsets, numbers;
};

struct Side {
    std::string path;
    LogSummary summary;
    Normaliser norm;
    std::vector<Block> blocks;
    uint64_t traceLines = 0;
};

std::string BlockKey(const ActionRunInfo& r) {
    return r.action + "\n" + RunModeName(r.mode) + (r.merged ? "\nmerged" : "");
}

bool LoadSide(const std::string& path, Side& side, std::string& error) {
    side.path = path;
    if (!ParseLogFile(path, side.summary, error))
        return false;
    std::string why = WhyNotALog(side.summary);
    if (!why.empty()) {
        error = path + ": " + why;
        return false;
    }
    side.norm.Learn(side.summary);
    return true;
}

// The side's lines in blocks of action runs, normalised and hashed.
bool ReadBlocks(Side& side, std::string& error) {
    const std::string& path = side.path;
    std::vector<int> blockOfRun(side.summary.runs.size(), -1);
    int loose = -1; // the block of unattributed lines being filled
    LogSummary again;
    auto sink = [&](const LineEvent& e) {
        if (e.kind != LineKind::Trace && e.kind != LineKind::Merged)
            return;
        int b;
        if (e.run >= 0 && static_cast<size_t>(e.run) < blockOfRun.size()) {
            loose = -1;
            if (blockOfRun[e.run] < 0) {
                const ActionRunInfo& r = side.summary.runs[e.run];
                Block block;
                block.key = BlockKey(r);
                block.title = DescribeRun(r);
                block.run = e.run;
                side.blocks.push_back(std::move(block));
                blockOfRun[e.run] = static_cast<int>(side.blocks.size()) - 1;
            }
            b = blockOfRun[e.run];
        } else {
            if (loose < 0) {
                Block block;
                block.key = "(unattributed)";
                block.title = "lines of no action run";
                side.blocks.push_back(std::move(block));
                loose = static_cast<int>(side.blocks.size()) - 1;
            }
            b = loose;
        }
        Block& block = side.blocks[b];
        block.hashes.push_back(HashText(side.norm.Line(e.raw->text)));
        block.offsets.push_back(e.raw->offset);
        block.numbers.push_back(e.raw->number);
        ++side.traceLines;
    };
    return ParseLogFile(path, again, error, sink);
}

// A run whose log does not tell its mode (no prolog of its own, e.g. resumed after a nested
// call) takes the mode the other log gives that action, when it gives one only.
void AdoptModes(Side& side, const Side& other) {
    for (Block& k : side.blocks) {
        if (k.run < 0)
            continue;
        const ActionRunInfo& r = side.summary.runs[k.run];
        if (r.mode != RunMode::Unknown)
            continue;
        std::set<std::string> keys;
        for (const Block& o : other.blocks) {
            if (o.run < 0)
                continue;
            const ActionRunInfo& p = other.summary.runs[o.run];
            if (p.action == r.action && p.mode != RunMode::Unknown && p.merged == r.merged)
                keys.insert(o.key);
        }
        if (keys.size() == 1)
            k.key = *keys.begin();
    }
}

std::string Count(size_t n, const char* what) {
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

std::string ReadNormalised(LogReader& reader, const Normaliser& norm, uint64_t offset, uint64_t number) {
    RawLine line;
    if (!reader.Seek(offset, number) || !reader.Next(line))
        return "(cannot read the line again)";
    return norm.Line(line.text);
}

} // namespace

uint64_t HashText(sv s) {
    uint64_t h = 1469598103934665603ull;
    for (char c : s) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ull;
    }
    return h;
}

void Normaliser::AddFolder(const std::string& property, const std::string& value) {
    if (!LooksLikePath(value))
        return;
    std::string lower = Lower(value);
    while (lower.size() > 3 && lower.back() == '\\')
        lower.pop_back();
    if (lower.size() < 4)
        return; // a drive's root says nothing about the machine
    std::string placeholder = "<" + property + ">";
    for (Folder& f : folders_) {
        if (f.lower == lower) {
            if (Preferred(property, f.placeholder.substr(1, f.placeholder.size() - 2)))
                f.placeholder = placeholder;
            return;
        }
    }
    maxLength_ = std::max(maxLength_, lower.size());
    folders_.push_back({lower, value.substr(0, lower.size()), placeholder});
}

void Normaliser::Learn(const LogSummary& summary) {
    for (const auto& [name, value] : summary.engineProperties)
        AddFolder(name, value);
    for (const auto& [name, value] : summary.traceProperties)
        AddFolder(name, value);
}

void Normaliser::LearnMissing(const LogSummary& other, const LogSummary& own) {
    for (const auto* properties : {&other.engineProperties, &other.traceProperties})
        for (const auto& [name, value] : *properties)
            if (!own.engineProperties.count(name) && !own.traceProperties.count(name))
                AddFolder(name, value);
}

std::map<std::string, std::string> Normaliser::UsedFolders() const {
    std::map<std::string, std::string> used;
    for (const Folder& f : folders_)
        if (f.used)
            used[f.placeholder] = f.value;
    return used;
}

std::string Normaliser::Text(sv text) const {
    std::string s(text);
    if (!folders_.empty() && (s.find(":\\") != std::string::npos || s.find("\\\\") != std::string::npos)) {
        if (index_.size() != folders_.size()) {
            index_.clear();
            for (size_t k = 0; k < folders_.size(); ++k)
                index_.emplace(folders_[k].lower, k);
        }
        const std::string lower = Lower(s);
        const size_t n = lower.size();
        // Whole folder names only: "C:\Temp" is no part of "C:\Temporary" or "C:\Temp.old".
        auto ends = [&](size_t e) {
            return e == n || !NameChar(lower[e]) ||
                   (lower[e] == '.' && (e + 1 == n || !NameChar(lower[e + 1])));
        };
        std::string out;
        size_t copied = 0;
        std::vector<size_t> stops;
        for (size_t i = 0; i + 3 < n;) {
            bool drive = Alpha(lower[i]) && lower[i + 1] == ':' && lower[i + 2] == '\\';
            bool unc = lower[i] == '\\' && lower[i + 1] == '\\';
            if ((drive || unc) && (i == 0 || (!Alnum(lower[i - 1]) && lower[i - 1] != '\\'))) {
                stops.clear();
                for (size_t e = i + 4; e <= std::min(n, i + maxLength_); ++e)
                    if (ends(e))
                        stops.push_back(e);
                const Folder* hit = nullptr;
                size_t end = 0;
                for (size_t k = stops.size(); k-- > 0 && !hit;) {
                    auto f = index_.find(lower.substr(i, stops[k] - i));
                    if (f != index_.end()) {
                        hit = &folders_[f->second];
                        end = stops[k];
                    }
                }
                if (hit) {
                    out.append(s, copied, i - copied);
                    out += hit->placeholder;
                    ++hit->used;
                    copied = i = end;
                    continue;
                }
            }
            ++i;
        }
        out.append(s, copied, std::string::npos);
        s.swap(out);
    }
    ReplaceTempNames(s);
    static const sv userHead = "User name is '";
    if (StartsWith(s, userHead))
        s = std::string(userHead) + "<user>'";
    size_t built = s.find(" Built on ");
    if (built != std::string::npos) {
        size_t at = s.find(" at ", built + 10);
        if (at != std::string::npos)
            s.replace(built + 10, at - built - 10, "<date>");
    }
    if (s.find("'ZEBTEMPFILENUM'") != std::string::npos) {
        for (size_t i = 0; i + 6 <= s.size(); ++i)
            if (s[i] == '\'' && Hex(s[i + 1]) && Hex(s[i + 2]) && Hex(s[i + 3]) && Hex(s[i + 4]) &&
                s[i + 5] == '\'')
                s.replace(i + 1, 4, "XXXX");
    }
    ReplaceTimes(s);
    return s;
}

std::string Normaliser::Line(sv line) const {
    bool merged = StartsWith(line, ">>");
    sv body = merged ? line.substr(2) : line;
    TraceFields t;
    std::string out = merged ? ">>" : "";
    if (ParseTraceLine(body, t)) {
        out += "HXCA ";
        out += t.action;
        if (!t.function.empty()) {
            out += "(";
            out += t.function;
            out += ")";
        }
        out += " ";
        out += t.level;
        out += ": ";
        out += Text(t.text);
    } else {
        out += Text(body);
    }
    return out;
}

std::vector<DiffOp> DiffSequences(const std::vector<uint64_t>& a, const std::vector<uint64_t>& b,
                                  size_t maxEdits, bool& tooMany) {
    tooMany = false;
    size_t pre = 0;
    while (pre < a.size() && pre < b.size() && a[pre] == b[pre])
        ++pre;
    size_t suf = 0;
    while (suf < a.size() - pre && suf < b.size() - pre && a[a.size() - 1 - suf] == b[b.size() - 1 - suf])
        ++suf;
    const long n = static_cast<long>(a.size() - pre - suf), m = static_cast<long>(b.size() - pre - suf);
    std::vector<DiffOp> ops;
    for (size_t i = 0; i < pre; ++i)
        ops.push_back({DiffOp::Same, i, i});
    auto A = [&](long i) { return a[pre + static_cast<size_t>(i)]; };
    auto B = [&](long j) { return b[pre + static_cast<size_t>(j)]; };

    std::vector<DiffOp> middle;
    const long limit = std::min<long>(n + m, static_cast<long>(maxEdits));
    const long offset = limit + 1;
    std::vector<long> v(static_cast<size_t>(2 * limit + 3), 0);
    std::vector<std::vector<long>> trace; // v before round d, for k in [-d, d]
    long found = -1;
    for (long d = 0; d <= limit && found < 0; ++d) {
        trace.emplace_back(v.begin() + (offset - d), v.begin() + (offset + d + 1));
        for (long k = -d; k <= d; k += 2) {
            long x = (k == -d || (k != d && v[offset + k - 1] < v[offset + k + 1])) ? v[offset + k + 1]
                                                                                    : v[offset + k - 1] + 1;
            long y = x - k;
            while (x < n && y < m && A(x) == B(y)) {
                ++x;
                ++y;
            }
            v[offset + k] = x;
            if (x >= n && y >= m) {
                found = d;
                break;
            }
        }
    }
    if (found < 0) {
        tooMany = true;
        for (long i = 0; i < n; ++i)
            middle.push_back({DiffOp::Removed, pre + static_cast<size_t>(i), pre});
        for (long j = 0; j < m; ++j)
            middle.push_back({DiffOp::Added, pre + static_cast<size_t>(n), pre + static_cast<size_t>(j)});
    } else {
        long x = n, y = m;
        for (long d = found; d >= 0; --d) {
            const std::vector<long>& w = trace[static_cast<size_t>(d)];
            auto at = [&](long k) { return w[static_cast<size_t>(k + d)]; };
            long k = x - y;
            long prevK = (k == -d || (k != d && at(k - 1) < at(k + 1))) ? k + 1 : k - 1;
            long prevX = d == 0 ? 0 : at(prevK);
            long prevY = prevX - prevK;
            if (d == 0)
                prevX = prevY = 0;
            while (x > prevX && y > prevY) {
                --x;
                --y;
                middle.push_back({DiffOp::Same, pre + static_cast<size_t>(x), pre + static_cast<size_t>(y)});
            }
            if (d > 0) {
                if (x == prevX)
                    middle.push_back(
                        {DiffOp::Added, pre + static_cast<size_t>(x), pre + static_cast<size_t>(prevY)});
                else
                    middle.push_back(
                        {DiffOp::Removed, pre + static_cast<size_t>(prevX), pre + static_cast<size_t>(y)});
            }
            x = prevX;
            y = prevY;
        }
        std::reverse(middle.begin(), middle.end());
    }
    ops.insert(ops.end(), middle.begin(), middle.end());
    for (size_t i = 0; i < suf; ++i)
        ops.push_back({DiffOp::Same, a.size() - suf + i, b.size() - suf + i});
    return ops;
}

int RunLogDiff(const std::string& pathA, const std::string& pathB, bool json, std::ostream& out,
               std::ostream& err) {
    Side a, b;
    std::string error;
    if (!LoadSide(pathA, a, error) || !LoadSide(pathB, b, error)) {
        err << "hxca log: " << error << "\n";
        return 2;
    }
    a.norm.LearnMissing(b.summary, a.summary);
    b.norm.LearnMissing(a.summary, b.summary);
    if (!ReadBlocks(a, error) || !ReadBlocks(b, error)) {
        err << "hxca log: " << error << "\n";
        return 2;
    }
    AdoptModes(a, b);
    AdoptModes(b, a);
    std::vector<uint64_t> keysA, keysB;
    for (const Block& k : a.blocks)
        keysA.push_back(HashText(k.key));
    for (const Block& k : b.blocks)
        keysB.push_back(HashText(k.key));
    bool tooMany = false;
    std::vector<DiffOp> blocks = DiffSequences(keysA, keysB, kMaxBlockEdits, tooMany);

    LogReader readA, readB;
    if (!readA.Open(pathA, error) || !readB.Open(pathB, error)) {
        err << "hxca log: " << error << "\n";
        return 2;
    }

    using json_t = nlohmann::ordered_json;
    json_t doc;
    doc["a"] = {{"file", pathA},
                {"format", DescribeLog(a.summary)},
                {"runs", a.summary.runs.size()},
                {"traceLines", a.traceLines}};
    doc["b"] = {{"file", pathB},
                {"format", DescribeLog(b.summary)},
                {"runs", b.summary.runs.size()},
                {"traceLines", b.traceLines}};
    json_t items = json_t::array();
    int differing = 0;
    std::ostringstream text;

    auto lineRange = [](const Block& k) {
        if (k.numbers.empty())
            return std::string();
        return k.numbers.size() == 1
                   ? std::to_string(k.numbers.front())
                   : std::to_string(k.numbers.front()) + "-" + std::to_string(k.numbers.back());
    };
    auto where = [&](const Block& k, const char* side) {
        std::string w = side;
        if (k.run >= 0)
            w += " #" + std::to_string(k.run + 1);
        return w + " lines " + lineRange(k);
    };
    for (size_t i = 0; i < blocks.size();) {
        const DiffOp& op = blocks[i];
        json_t item;
        if (op.kind == DiffOp::Same) {
            const Block& ka = a.blocks[op.a];
            const Block& kb = b.blocks[op.b];
            bool many = false;
            std::vector<DiffOp> lines = DiffSequences(ka.hashes, kb.hashes, kMaxRunEdits, many);
            size_t removed = 0, added = 0;
            for (const DiffOp& l : lines) {
                removed += l.kind == DiffOp::Removed;
                added += l.kind == DiffOp::Added;
            }
            item["action"] = ka.title;
            item["a"] = {{"run", ka.run >= 0 ? json_t(ka.run + 1) : json_t()}, {"lines", lineRange(ka)}};
            item["b"] = {{"run", kb.run >= 0 ? json_t(kb.run + 1) : json_t()}, {"lines", lineRange(kb)}};
            if (removed == 0 && added == 0) {
                item["result"] = "same";
                text << "= " << ka.title << ": " << where(ka, "A") << ", " << where(kb, "B") << ", "
                     << ka.hashes.size() << " lines alike\n";
            } else {
                ++differing;
                item["result"] = "differs";
                text << "~ " << ka.title;
                if (kb.title != ka.title)
                    text << " / " << kb.title;
                text << ": " << where(ka, "A") << ", " << where(kb, "B") << ": " << removed
                     << " lines only in A, " << added << " only in B"
                     << (many ? " (too different to align)" : "") << "\n";
                json_t changes = json_t::array();
                size_t shown = 0;
                for (const DiffOp& l : lines) {
                    if (l.kind == DiffOp::Same)
                        continue;
                    bool inA = l.kind == DiffOp::Removed;
                    const Block& k = inA ? ka : kb;
                    size_t idx = inA ? l.a : l.b;
                    // The text shows the first changes; JSON, read by programs, has them all.
                    const bool shownInText = shown++ < kShownChanges;
                    if (!shownInText && !json)
                        continue;
                    std::string line = ReadNormalised(inA ? readA : readB, inA ? a.norm : b.norm,
                                                      k.offsets[idx], k.numbers[idx]);
                    if (shownInText)
                        text << "    " << (inA ? "- A " : "+ B ") << k.numbers[idx] << ": " << line << "\n";
                    changes.push_back({{"side", inA ? "a" : "b"}, {"line", k.numbers[idx]}, {"text", line}});
                }
                if (shown > kShownChanges)
                    text << "    ... " << (shown - kShownChanges) << " more changed lines\n";
                item["changes"] = changes;
            }
            ++i;
        } else {
            bool inA = op.kind == DiffOp::Removed;
            const Block& k = inA ? a.blocks[op.a] : b.blocks[op.b];
            ++differing;
            item["action"] = k.title;
            item["result"] = inA ? "only in a" : "only in b";
            item[inA ? "a" : "b"] = {{"run", k.run >= 0 ? json_t(k.run + 1) : json_t()},
                                     {"lines", lineRange(k)}};
            text << (inA ? "- " : "+ ") << k.title << ": only in " << where(k, inA ? "A" : "B") << ", "
                 << k.hashes.size() << " lines\n";
            ++i;
        }
        items.push_back(item);
    }

    std::map<std::string, std::pair<std::string, std::string>> folders;
    for (const auto& [p, v] : a.norm.UsedFolders())
        folders[p].first = v;
    for (const auto& [p, v] : b.norm.UsedFolders())
        folders[p].second = v;
    if (json) {
        json_t f = json_t::object();
        for (const auto& [p, v] : folders)
            f[p] = {{"a", v.first}, {"b", v.second}};
        doc["folders"] = f;
        doc["runs"] = items;
        doc["differences"] = differing;
        out << doc.dump(2, ' ', false, json_t::error_handler_t::replace) << "\n";
    } else {
        out << "Comparing the library's trace lines of\n"
            << "  A: " << pathA << " (" << DescribeLog(a.summary) << ", "
            << Count(a.summary.runs.size(), "action run") << ", " << a.traceLines << " trace lines)\n"
            << "  B: " << pathB << " (" << DescribeLog(b.summary) << ", "
            << Count(b.summary.runs.size(), "action run") << ", " << b.traceLines << " trace lines)\n"
            << "with times, temporary names (zeb?XXXX.*) and folders normalised";
        if (folders.empty()) {
            out << ".\n";
        } else {
            out << ":\n";
            for (const auto& [p, v] : folders)
                out << "  " << p << "  A: " << (v.first.empty() ? "-" : v.first)
                    << "  B: " << (v.second.empty() ? "-" : v.second) << "\n";
        }
        out << "\n" << text.str() << "\n";
        if (differing == 0)
            out << "The traces agree.\n";
        else
            out << "Action runs that differ: " << differing << " of " << items.size() << ".\n";
    }
    return differing == 0 ? 0 : 1;
}

} // namespace hxca
