#include "logread.h"
#include "logtest.h"

using namespace hxca;
using namespace hxca::test;

namespace {

struct Read {
    std::vector<RawLine> lines;
    Encoding encoding = Encoding::Ansi;
    bool bom = false;
};

Read ReadAll(const std::string& path) {
    Read r;
    LogReader reader;
    std::string error;
    EXPECT_TRUE(reader.Open(path, error)) << error;
    RawLine line;
    while (reader.Next(line))
        r.lines.push_back(line);
    r.encoding = reader.encoding();
    r.bom = reader.bom();
    return r;
}

std::vector<std::string> Texts(const Read& r) {
    std::vector<std::string> t;
    for (const auto& l : r.lines)
        t.push_back(l.text);
    return t;
}

std::string Utf16BE(const std::string& ascii) {
    std::string out("\xFE\xFF", 2);
    for (char c : ascii) {
        out += '\0';
        out += c;
    }
    return out;
}

} // namespace

TEST(LogRead, EveryEncodingGivesTheSameLines) {
    TempDir dir;
    const std::vector<std::string> want = {"01:48:14 HXCA iwiERROR info: ***x", "",
                                           "Action ended 1:48:14: X."};
    const std::string text = Lines(want, "\r\n");
    struct Case {
        std::string bytes;
        Encoding encoding;
        bool bom;
    } cases[] = {
        {Lines(want), Encoding::Ansi, false},          {text, Encoding::Ansi, false},
        {"\xEF\xBB\xBF" + text, Encoding::Utf8, true}, {Utf16LE(text), Encoding::Utf16LE, true},
        {Utf16BE(text), Encoding::Utf16BE, true},      {Utf16LE(text, false), Encoding::Utf16LE, false}};
    int n = 0;
    for (const Case& c : cases) {
        Read r = ReadAll(dir.Write("f" + std::to_string(n++), c.bytes));
        EXPECT_EQ(Texts(r), want) << EncodingName(c.encoding);
        EXPECT_EQ(r.encoding, c.encoding);
        EXPECT_EQ(r.bom, c.bom);
        for (const auto& l : r.lines)
            EXPECT_FALSE(l.binary || l.cut || l.unterminated) << l.number;
    }
}

TEST(LogRead, AnsiIsWindows1252UnlessItIsUtf8) {
    TempDir dir;
    Read r = ReadAll(dir.Write("a", "caf\xE9 \x80\nd\xC3\xA9j\xC3\xA0\nnul\x01here\n"));
    ASSERT_EQ(r.lines.size(), 3u);
    EXPECT_EQ(r.lines[0].text, "caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_FALSE(r.lines[0].binary);
    EXPECT_EQ(r.lines[1].text, "d\xC3\xA9j\xC3\xA0");
    EXPECT_EQ(r.lines[2].text, "nul\xEF\xBF\xBDhere");
    EXPECT_TRUE(r.lines[2].binary);
}

TEST(LogRead, LongLinesAreCutAndTheNextLineIsWhole) {
    TempDir dir;
    const std::string big(LogReader::kMaxLineBytes + 100, 'x');
    for (bool utf16 : {false, true}) {
        std::string bytes = big + "\nnext\n";
        Read r = ReadAll(dir.Write(utf16 ? "w" : "a", utf16 ? Utf16LE(bytes) : bytes));
        ASSERT_EQ(r.lines.size(), 2u);
        EXPECT_TRUE(r.lines[0].cut);
        EXPECT_EQ(r.lines[0].text.size(), utf16 ? LogReader::kMaxLineBytes / 2 : LogReader::kMaxLineBytes);
        EXPECT_EQ(r.lines[1].text, "next");
        EXPECT_FALSE(r.lines[1].cut);
        EXPECT_EQ(r.lines[1].number, 2u);
    }
}

TEST(LogRead, FileEnds) {
    TempDir dir;
    EXPECT_TRUE(ReadAll(dir.Write("empty", "")).lines.empty());
    EXPECT_TRUE(ReadAll(dir.Write("bom", "\xFF\xFE")).lines.empty());
    Read cut = ReadAll(dir.Write("cut", "one\ntw"));
    ASSERT_EQ(cut.lines.size(), 2u);
    EXPECT_FALSE(cut.lines[0].unterminated);
    EXPECT_TRUE(cut.lines[1].unterminated);
    EXPECT_EQ(cut.lines[1].text, "tw");
    Read blank = ReadAll(dir.Write("blank", "\n"));
    ASSERT_EQ(blank.lines.size(), 1u);
    EXPECT_EQ(blank.lines[0].text, "");
    // Half a UTF-16 unit at the end.
    Read odd = ReadAll(dir.Write("odd", Utf16LE("ab\n") + "c"));
    ASSERT_EQ(odd.lines.size(), 2u);
    EXPECT_TRUE(odd.lines[1].binary && odd.lines[1].unterminated);
}

TEST(LogRead, Utf16Surrogates) {
    TempDir dir;
    // U+1F600 as a pair, then a high surrogate with no low one.
    std::string bytes =
        std::string("\xFF\xFE", 2) + std::string("a\0\x3D\xD8\x00\xDE\n\0\x3D\xD8z\0\n\0", 14);
    Read r = ReadAll(dir.Write("s", bytes));
    ASSERT_EQ(r.lines.size(), 2u);
    EXPECT_EQ(r.lines[0].text, "a\xF0\x9F\x98\x80");
    EXPECT_FALSE(r.lines[0].binary);
    EXPECT_EQ(r.lines[1].text, "\xEF\xBF\xBDz");
    EXPECT_TRUE(r.lines[1].binary);
}

TEST(LogRead, SeekReadsALineAgain) {
    TempDir dir;
    for (bool utf16 : {false, true}) {
        std::string text = "first\r\nsecond line\r\nthird\r\n";
        std::string path = dir.Write(utf16 ? "w" : "a", utf16 ? Utf16LE(text) : text);
        Read all = ReadAll(path);
        ASSERT_EQ(all.lines.size(), 3u);
        LogReader reader;
        std::string error;
        ASSERT_TRUE(reader.Open(path, error));
        RawLine line;
        ASSERT_TRUE(reader.Seek(all.lines[1].offset, all.lines[1].number));
        ASSERT_TRUE(reader.Next(line));
        EXPECT_EQ(line.text, "second line");
        EXPECT_EQ(line.number, 2u);
        ASSERT_TRUE(reader.Next(line));
        EXPECT_EQ(line.text, "third");
    }
}

TEST(LogRead, WhatCannotBeOpenedSaysWhy) {
    TempDir dir;
    LogReader missing, folder;
    std::string error;
    EXPECT_FALSE(missing.Open(dir.Write("x", "") + ".none", error));
    EXPECT_NE(error.find(".none"), std::string::npos);
    error.clear();
    EXPECT_FALSE(folder.Open(std::filesystem::temp_directory_path().string(), error));
    EXPECT_FALSE(error.empty());
}
