// Registry reads and writes, product levels, dotted versions and numeric text.
#include "zebtest.h"

#include <cstdlib>

namespace {

using winsim::reg::View;

const char kKey[] = "SOFTWARE\\Corvane\\Skyloft HX\\Installation\\Installation1";

class Reg : public ZebTest {
  protected:
    static void Raw(const char* name, DWORD type, const std::string& data, View view = View::Native) {
        winsim::reg::SetValue(HKEY_LOCAL_MACHINE, kKey, name, {type, data}, view);
    }
    static std::string Text(const char* name, BOOL view32 = FALSE, DWORD cch = ZEB_CCH_PATH) {
        std::vector<char> out(cch + 1, '#');
        if (!GetRegistryText(kKey, name, out.data(), cch, view32))
            return out[0] == '\0' ? "<false>" : "<false, output not emptied>";
        EXPECT_EQ(out[cch], '#') << "written past the capacity";
        return out.data();
    }
    static std::string Stored(const char* name, View view = View::Native) {
        auto v = winsim::reg::GetValue(HKEY_LOCAL_MACHINE, kKey, name, view);
        return v ? std::to_string(v->type) + ":" + v->data : "<absent>";
    }
};

TEST_F(Reg, TextReadGivesStringsAndNumbersOnly) {
    winsim::reg::SetString(HKEY_LOCAL_MACHINE, kKey, "Name", "Installation1");
    Raw("Path", REG_EXPAND_SZ, std::string("%windir%\\x\0", 12));
    winsim::reg::SetDword(HKEY_LOCAL_MACHINE, kKey, "Identifier", 16);
    winsim::reg::SetDword(HKEY_LOCAL_MACHINE, kKey, "Big", 4294967295u);
    Raw("Multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5));
    Raw("AllowUpgrade", REG_SZ, "1"); // one byte, no terminator
    Raw("Empty", REG_SZ, "");
    Raw("Bytes", REG_BINARY, "\x01\x02");
    EXPECT_EQ(Text("Name"), "Installation1");
    EXPECT_EQ(Text("Path"), "%windir%\\x");
    EXPECT_EQ(Text("Identifier"), "16");
    EXPECT_EQ(Text("Big"), "4294967295");
    EXPECT_EQ(Text("Multi"), "");
    EXPECT_EQ(Text("AllowUpgrade"), "1");
    EXPECT_EQ(Text("Empty"), "");
    EXPECT_EQ(Text("Bytes"), "");
    EXPECT_EQ(Text("Missing"), "<false>");
    EXPECT_EQ(Text("Name", FALSE, 6), "Insta"); // cut at the caller's capacity
    EXPECT_TRUE(Texts().empty());

    LPSTR text = reinterpret_cast<LPSTR>(1);
    EXPECT_TRUE(GetRegistryValue(NULL, kKey, "Multi", &text, FALSE));
    EXPECT_EQ(text, nullptr);
    EXPECT_TRUE(GetRegistryValue(HKEY_LOCAL_MACHINE, kKey, "Name", nullptr, FALSE));
    EXPECT_FALSE(GetRegistryValue(NULL, "SOFTWARE\\Corvane\\None", "Name", &text, FALSE));
}

TEST_F(Reg, ViewFlagReadsAndWritesTheThirtyTwoBitView) {
    winsim::reg::SetString(HKEY_LOCAL_MACHINE, kKey, "Name", "in32", View::Wow32);
    winsim::reg::SetString(HKEY_LOCAL_MACHINE, kKey, "Name", "in64");
    EXPECT_EQ(Text("Name", TRUE), "in32");
    EXPECT_EQ(Text("Name", FALSE), "in64");
    EXPECT_TRUE(SetRegistryValueWithStatus(NULL, kKey, "W", REG_SZ, "v", -1, &stat, TRUE));
    EXPECT_EQ(Stored("W", View::Wow32), std::string("1:v\0", 4));
    EXPECT_EQ(Stored("W"), "<absent>");
    EXPECT_EQ(stat, 0u);
}

TEST_F(Reg, RawReadReportsOnlyUnexpectedFailures) {
    Raw("Bytes", REG_BINARY, std::string("\x00\xff\x10", 3));
    LPBYTE data = nullptr;
    DWORD size = 0;
    UINT st = 0;
    ASSERT_TRUE(GetRegistryRaw(NULL, kKey, "Bytes", &data, &size, &st, FALSE));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), size), std::string("\x00\xff\x10", 3));
    free(data);
    EXPECT_TRUE(GetRegistryRaw(NULL, kKey, "Bytes", nullptr, &size, nullptr, FALSE));
    EXPECT_EQ(size, 3u);

    EXPECT_FALSE(GetRegistryRaw(NULL, kKey, "Missing", &data, &size, &st, FALSE));
    EXPECT_FALSE(GetRegistryRaw(NULL, "SOFTWARE\\Corvane\\None", "Bytes", &data, &size, &st, FALSE));
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(st, 0u);
    EXPECT_TRUE(Texts().empty());

    winsim::reg::DenyAccess(HKEY_LOCAL_MACHINE, kKey, true);
    EXPECT_FALSE(GetRegistryRaw(NULL, kKey, "Bytes", &data, &size, &st, FALSE));
    EXPECT_EQ(st, ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText(std::string("***Can't open key '") + kKey + "' 5"));
    winsim::reg::DenyAccess(HKEY_LOCAL_MACHINE, kKey, false);

    st = 0;
    winsim::FailCall("RegQueryValueExA", ERROR_INVALID_PARAMETER, 2);
    EXPECT_FALSE(GetRegistryRaw(NULL, kKey, "Bytes", &data, &size, &st, FALSE));
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(st, ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText(std::string("***Can't query value 'Bytes' key '") + kKey + "' 87"));
}

TEST_F(Reg, WriteSizesAndTracedFailures) {
    winsim::reg::CreateKey(HKEY_LOCAL_MACHINE, kKey);
    DWORD dw = 42;
    EXPECT_TRUE(SetRegistryValue(NULL, kKey, "S", REG_SZ, "abc", -1));
    EXPECT_TRUE(SetRegistryValue(NULL, kKey, "E", REG_EXPAND_SZ, "%x%", -1));
    EXPECT_TRUE(SetRegistryValue(NULL, kKey, "D", REG_DWORD, &dw, 1));
    EXPECT_TRUE(SetRegistryValue(NULL, kKey, "B", REG_BINARY, "\x01\x02\x03", 2));
    EXPECT_FALSE(SetRegistryValue(NULL, kKey, "X", REG_BINARY, "\x01", -1));
    EXPECT_FALSE(SetRegistryValue(NULL, kKey, "M", REG_MULTI_SZ, "a", -1));
    EXPECT_EQ(Stored("S"), std::string("1:abc\0", 6));
    EXPECT_EQ(Stored("E"), std::string("2:%x%\0", 6));
    EXPECT_EQ(Stored("D"), std::string("4:*\0\0\0", 6));
    EXPECT_EQ(Stored("B"), "3:\x01\x02");
    EXPECT_EQ(Stored("X"), "<absent>");
    EXPECT_EQ(Stored("M"), "<absent>");
    EXPECT_TRUE(Texts().empty());

    EXPECT_FALSE(SetRegistryValue(NULL, "SOFTWARE\\Corvane\\None", "S", REG_SZ, "a", -1));
    winsim::FailCall("RegSetValueExA", ERROR_ACCESS_DENIED, 1);
    EXPECT_FALSE(SetRegistryValue(NULL, kKey, "S", REG_SZ, "new", -1));
    EXPECT_EQ(Texts(),
              (std::vector<std::string>{"Error 2 opening key 'SOFTWARE\\Corvane\\None'",
                                        std::string("Error 5 setting key '") + kKey + "' value 'S'"}));
    EXPECT_EQ(Stored("S"), std::string("1:abc\0", 6));
}

TEST_F(Reg, WriteWithStatusIsSilentOnlyForAMissingKey) {
    winsim::reg::CreateKey(HKEY_LOCAL_MACHINE, kKey);
    UINT st = 0;
    EXPECT_FALSE(
        SetRegistryValueWithStatus(NULL, "SOFTWARE\\Corvane\\None", "S", REG_SZ, "a", -1, &st, FALSE));
    EXPECT_EQ(st, 0u);
    EXPECT_TRUE(Texts().empty());

    winsim::FailCall("RegSetValueExA", ERROR_ACCESS_DENIED, 1);
    EXPECT_FALSE(SetRegistryValueWithStatus(NULL, kKey, "S", REG_SZ, "a", -1, &st, FALSE));
    EXPECT_EQ(st, ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText(std::string("***Can't set value 'S' key '") + kKey + "' 5"));

    st = 0;
    winsim::reg::DenyAccess(HKEY_LOCAL_MACHINE, kKey, true);
    EXPECT_FALSE(SetRegistryValueWithStatus(NULL, kKey, "S", REG_SZ, "a", -1, &st, FALSE));
    EXPECT_EQ(st, ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText(std::string("***Can't open key '") + kKey + "' 5"));
    winsim::reg::DenyAccess(HKEY_LOCAL_MACHINE, kKey, false);
    EXPECT_EQ(Stored("S"), "<absent>");
}

using Versions = ZebTest;

TEST_F(Versions, DottedComparisonIsNumericFieldByField) {
    struct {
        const char *a, *b;
        int expected;
    } cases[] = {
        {"9.3", "9.3.0.0", 0},
        {"9.10", "9.9", 1},
        {"9.3.0.1", "9.3", 1},
        {"9.3.1", "9.3.1.0.7", 0},
        {"", "0.0", 0},
        {"1", "0.9.9.9", 1},
        {"9..3", "9.0.3", 0},
        {"10a.2", "10.2", 0},
        {"99999999999999999999999", "9223372036854775807", 0}, // clamped, never overflowing
        {"-1", "0", -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CompareDottedVersions(c.a, c.b), c.expected) << c.a << " vs " << c.b;
        EXPECT_EQ(CompareDottedVersions(c.b, c.a), -c.expected) << c.b << " vs " << c.a;
    }
}

TEST_F(Versions, TokenComparisonNeverPutsAVersionBelowAZeroFirstField) {
    struct {
        const char *a, *b;
        int expected;
    } cases[] = {
        {"9.3.0.5", "9,3,0,5", 0}, {"9.2", "9.3", -1},        {"9.3.2", "9.3.10", -1}, {"9.4", "9.3.9.9", 1},
        {"9.3", "9.3.0.0", 0},     {"0.0.0.1", "0.0.0.0", 1}, {"1", "0.0.0.0", 1},     {"0.0.0.0", "0", 0},
        {"0.0.0.1", "0.1", 1},     {"0", "0.0.0.1", 1},       {"8", "9", -1},          {"10", "9", 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CompareVersionTokens(c.a, c.b), c.expected) << c.a << " vs " << c.b;
}

TEST_F(Versions, LevelsToAndFromText) {
    EXPECT_STREQ(LevelToText(80000), "8.0");
    EXPECT_STREQ(LevelToText(90300), "9.3");
    EXPECT_STREQ(LevelToText(90301), "9.3.1");
    EXPECT_STREQ(LevelToText(90310), "9.3.10");
    EXPECT_STREQ(LevelToText(100000), "10.0");
    EXPECT_EQ(LevelFromFields("9", "3", "1"), 90301);
    EXPECT_EQ(LevelFromFields("8", "0", "0"), 80000);
    EXPECT_EQ(LevelFromFields(" 10", "05", "x"), 100500);
    EXPECT_EQ(LevelFromFields("99999999999", "1", "1"), 2147483647); // clamped, not overflowed
}

TEST_F(Versions, FieldsOfDottedVersions) {
    EXPECT_STREQ(DottedVersionField("9.3.0", 4), "0");
    EXPECT_STREQ(DottedVersionField("9.3", 3), "0");
    EXPECT_STREQ(DottedVersionField("9", 2), "0");
    EXPECT_STREQ(DottedVersionField("09.003.007.010", 1), "9");
    EXPECT_STREQ(DottedVersionField("09.003.007.010", 2), "3");
    EXPECT_STREQ(DottedVersionField("09.003.007.010", 3), "7");
    EXPECT_STREQ(DottedVersionField("09.003.007.010", 4), "10");
    EXPECT_STREQ(DottedVersionField("9.3.1a.2", 3), "1a");
    EXPECT_STREQ(DottedVersionField("9.0.1.2", 2), "0");
    EXPECT_STREQ(DottedVersionField("99999999999.3", 1), "99999999999"); // out of range: kept as text
    // Each field keeps its own text.
    LPCSTR f1 = DottedVersionField("7.5.3.1", 1);
    LPCSTR f2 = DottedVersionField("7.5.3.1", 2);
    EXPECT_STREQ(f1, "7");
    EXPECT_STREQ(f2, "5");
}

TEST_F(Versions, NumericTextTidying) {
    auto tidy = [](std::string s) {
        s.resize(s.size() + 1);
        return std::string(TidyNumericText(&s[0]));
    };
    auto lead = [](std::string s, DWORD cch) {
        s.resize(cch);
        return std::string(LeadingSignificantDigits(&s[0], cch));
    };
    auto trim = [](std::string s) { return std::string(TrimBlanksAndQuotes(&s[0])); };
    EXPECT_EQ(tidy(" \"007\" "), "7");
    EXPECT_EQ(tidy("0"), "0");
    EXPECT_EQ(tidy("12a"), "12a");
    EXPECT_EQ(tidy("-5"), "-5");
    EXPECT_EQ(tidy(""), "");
    EXPECT_EQ(tidy("99999999999"), "99999999999");
    EXPECT_EQ(lead("  007", 6), "7");
    EXPECT_EQ(lead("0.5", 4), "5");
    EXPECT_EQ(lead("000", 4), "0");
    EXPECT_EQ(lead("", 2), "0");
    EXPECT_EQ(trim(" \t\"a b\" \" "), "a b");
    EXPECT_EQ(trim("\"\"x\"\""), "\"x");
}

TEST_F(Versions, HexTextNeverOverrunsItsOutput) {
    const BYTE bytes[] = {0x00, 0xAB, 0x1F};
    char out[7];
    EXPECT_STREQ(HexText(out, sizeof(out), bytes, 3), "00AB1F");
    EXPECT_EQ(HexText(out, 6, bytes, 3), nullptr);
    EXPECT_STREQ(out, "");
    EXPECT_STREQ(HexText(out, 1, bytes, 0), "");
}

} // namespace
