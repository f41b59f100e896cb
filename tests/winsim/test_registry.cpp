// The simulated registry through advapi32: views, names, enumeration, value sizes, rights,
// deletion, and .reg import and export.
#include <gtest/gtest.h>
#include <windows.h>
#include <winsim/sim.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using winsim::reg::View;

const char kKey[] = "SOFTWARE\\Corvane\\Skyloft HX";

class Registry : public ::testing::Test {
  protected:
    void SetUp() override { winsim::Reset(); }
    void TearDown() override { EXPECT_EQ(winsim::reg::OpenKeyHandles(), 0) << "a test leaked a key handle"; }

    static HKEY Open(const char* path, REGSAM sam) {
        HKEY h = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, sam, &h), ERROR_SUCCESS) << path;
        return h;
    }

    static std::vector<std::string> EnumKeys(HKEY h) {
        std::vector<std::string> out;
        char name[MAX_PATH];
        for (DWORD i = 0;; ++i) {
            DWORD cch = sizeof(name);
            LONG rc = RegEnumKeyExA(h, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
            if (rc != ERROR_SUCCESS) {
                EXPECT_EQ(rc, ERROR_NO_MORE_ITEMS);
                break;
            }
            EXPECT_EQ(cch, std::strlen(name));
            out.push_back(name);
        }
        return out;
    }
};

TEST_F(Registry, TheThirtyTwoBitViewIsWow6432Node) {
    HKEY h = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY,
                              nullptr, &h, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    ASSERT_EQ(RegSetValueExA(h, "WorkPath", 0, REG_SZ, reinterpret_cast<const BYTE*>("C:\\HX"), 6),
              ERROR_SUCCESS);
    RegCloseKey(h);

    EXPECT_TRUE(
        winsim::reg::GetValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Wow6432Node\\Corvane\\Skyloft HX", "WorkPath"));
    EXPECT_TRUE(winsim::reg::GetValue(HKEY_LOCAL_MACHINE, kKey, "workpath", View::Wow32));
    EXPECT_FALSE(winsim::reg::KeyExists(HKEY_LOCAL_MACHINE, kKey));
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &h), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ | KEY_WOW64_64KEY, &h),
              ERROR_FILE_NOT_FOUND);

    // The alias path opened in the native view, and a path that names Wow6432Node in the 32-bit view.
    RegCloseKey(Open("SOFTWARE\\Wow6432Node\\Corvane\\Skyloft HX", KEY_READ));
    RegCloseKey(Open("SOFTWARE\\Wow6432Node\\Corvane", KEY_READ | KEY_WOW64_32KEY));

    // A key opened in the 32-bit view leads to its subkeys there.
    HKEY software = Open("SOFTWARE", KEY_READ | KEY_WOW64_32KEY);
    HKEY sub = nullptr;
    EXPECT_EQ(RegOpenKeyExA(software, "Corvane\\Skyloft HX", 0, KEY_QUERY_VALUE, &sub), ERROR_SUCCESS);
    RegCloseKey(sub);
    RegCloseKey(software);
}

TEST_F(Registry, NamesIgnoreCaseKeepItAndEnumerateInOrder) {
    for (const char* k : {"beta", "Alpha", "a_b", "AB", "gamma"})
        winsim::reg::CreateKey(HKEY_LOCAL_MACHINE, std::string(kKey) + "\\Installation\\" + k);
    HKEY h = Open("software\\CORVANE\\skyloft hx\\installation", KEY_READ);
    EXPECT_EQ(EnumKeys(h), (std::vector<std::string>{"AB", "Alpha", "a_b", "beta", "gamma"}));

    char name[3];
    DWORD cch = sizeof(name);
    EXPECT_EQ(RegEnumKeyExA(h, 1, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    EXPECT_EQ(RegEnumKeyA(h, 0, name, sizeof(name)), ERROR_SUCCESS);
    EXPECT_STREQ(name, "AB");
    EXPECT_EQ(RegEnumKeyA(h, 5, name, sizeof(name)), ERROR_NO_MORE_ITEMS);

    RegCloseKey(h);

    // Values keep creation order; writing one again keeps its place.
    h = Open("SOFTWARE\\Corvane\\Skyloft HX\\Installation", KEY_ALL_ACCESS);
    for (const char* v : {"Zed", "Name", "Alpha"})
        ASSERT_EQ(RegSetValueExA(h, v, 0, REG_DWORD, reinterpret_cast<const BYTE*>("\1\0\0\0"), 4),
                  ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(h, "NAME", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2), ERROR_SUCCESS);
    std::vector<std::string> names;
    char vname[32];
    for (DWORD i = 0;; ++i) {
        DWORD n = sizeof(vname);
        DWORD type = 0;
        if (RegEnumValueA(h, i, vname, &n, nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.push_back(std::string(vname) + ":" + std::to_string(type));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Zed:4", "Name:1", "Alpha:4"}));
    RegCloseKey(h);
}

TEST_F(Registry, ValueSizesAndExactBytes) {
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr),
              ERROR_SUCCESS);
    // "AllowUpgrade" is written with cb = 1: one byte, no terminator, and read back so.
    ASSERT_EQ(RegSetValueExA(h, "AllowUpgrade", 0, REG_SZ, reinterpret_cast<const BYTE*>("1"), 1),
              ERROR_SUCCESS);
    DWORD type = 0, cb = 0;
    ASSERT_EQ(RegQueryValueExA(h, "AllowUpgrade", nullptr, &type, nullptr, &cb), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(cb, 1u);
    EXPECT_EQ(winsim::reg::GetValue(HKEY_LOCAL_MACHINE, kKey, "AllowUpgrade")->data, "1");

    ASSERT_EQ(RegSetValueExA(h, "FilePath", 0, REG_EXPAND_SZ,
                             reinterpret_cast<const BYTE*>("%ProgramFiles%\\HX"), 18),
              ERROR_SUCCESS);
    char small[8];
    cb = sizeof(small);
    EXPECT_EQ(RegQueryValueExA(h, "FilePath", nullptr, &type, reinterpret_cast<BYTE*>(small), &cb),
              ERROR_MORE_DATA);
    EXPECT_EQ(cb, 18u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
    char big[32];
    cb = sizeof(big);
    ASSERT_EQ(RegQueryValueExA(h, "filepath", nullptr, nullptr, reinterpret_cast<BYTE*>(big), &cb),
              ERROR_SUCCESS);
    EXPECT_STREQ(big, "%ProgramFiles%\\HX") << "never expanded";
    EXPECT_EQ(cb, 18u);

    EXPECT_EQ(RegQueryValueExA(h, "Missing", nullptr, nullptr, nullptr, &cb), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExA(h, nullptr, nullptr, nullptr, nullptr, &cb), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(RegSetValueExA(h, "", 0, REG_SZ, reinterpret_cast<const BYTE*>("dflt"), 5), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(h, nullptr, nullptr, nullptr, nullptr, &cb), ERROR_SUCCESS);
    EXPECT_EQ(cb, 5u);

    DWORD maxName = 0, maxData = 0, values = 0, subkeys = 9;
    ASSERT_EQ(RegQueryInfoKeyA(h, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, &maxName,
                               &maxData, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 0u);
    EXPECT_EQ(values, 3u);
    EXPECT_EQ(maxName, 12u);
    EXPECT_EQ(maxData, 18u);

    ASSERT_EQ(RegDeleteValueA(h, "ALLOWUPGRADE"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(h, "AllowUpgrade"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(h);
}

TEST_F(Registry, RightsOfAHandleAndDeniedKeys) {
    winsim::reg::SetString(HKEY_LOCAL_MACHINE, std::string(kKey) + "\\Sub", "V", "x");
    HKEY h = Open(kKey, KEY_QUERY_VALUE);
    char name[64];
    DWORD cch = sizeof(name);
    EXPECT_EQ(RegEnumKeyExA(h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegSetValueExA(h, "V", 0, REG_SZ, reinterpret_cast<const BYTE*>("y"), 2), ERROR_ACCESS_DENIED);
    RegCloseKey(h);
    h = Open(kKey, KEY_SET_VALUE);
    DWORD cb = 0;
    EXPECT_EQ(RegQueryValueExA(h, "V", nullptr, nullptr, nullptr, &cb), ERROR_ACCESS_DENIED);
    RegCloseKey(h);

    winsim::reg::DenyAccess(HKEY_LOCAL_MACHINE, kKey, true);
    HKEY denied = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &denied), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Skyloft HX\\Sub", 0, KEY_READ, &denied),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Skyloft HX\\Sub"), ERROR_ACCESS_DENIED);
    h = Open("SOFTWARE\\Corvane", KEY_READ);
    EXPECT_EQ(EnumKeys(h), std::vector<std::string>{"Skyloft HX"}) << "the parent still lists it";
    RegCloseKey(h);
    EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(0x1234)), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
}

TEST_F(Registry, DeletingKeys) {
    const std::string maint = std::string(kKey) + "\\Installation\\Installation1\\Maintenance Applied";
    winsim::reg::CreateKey(HKEY_LOCAL_MACHINE, maint + "\\Shipped", View::Wow32);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Wow6432Node\\Corvane\\Skyloft HX\\Installation\\"
                                                "Installation1\\Maintenance Applied"),
              ERROR_ACCESS_DENIED)
        << "a key with subkeys";
    HKEY parent = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, maint.c_str(), 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, &parent),
              ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(parent, "shipped"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(parent, "Shipped"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyExA(HKEY_LOCAL_MACHINE, maint.c_str(), KEY_WOW64_32KEY, 0), ERROR_SUCCESS);
    // The handle outlives its key.
    EXPECT_EQ(RegSetValueExA(parent, "x", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1),
              ERROR_KEY_DELETED);
    RegCloseKey(parent);
    EXPECT_FALSE(winsim::reg::KeyExists(HKEY_LOCAL_MACHINE, maint, View::Wow32));
    EXPECT_TRUE(winsim::reg::KeyExists(HKEY_LOCAL_MACHINE,
                                       std::string(kKey) + "\\Installation\\Installation1", View::Wow32));
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED);
}

TEST_F(Registry, ClassesRootIsTheMachineClassesKey) {
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "CLSID\\{08B0E5C0-4FCB-11CF-AAA5-00401C608500}", 0, nullptr,
                              0, KEY_ALL_ACCESS, nullptr, &h, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(h);
    EXPECT_TRUE(winsim::reg::KeyExists(HKEY_LOCAL_MACHINE,
                                       "SOFTWARE\\Classes\\CLSID\\{08B0E5C0-4FCB-11CF-AAA5-00401C608500}"));
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "\\SOFTWARE", 0, KEY_READ, &h), ERROR_BAD_PATHNAME);
}

TEST_F(Registry, ExportWritesRegeditText) {
    const std::string key = std::string(kKey) + "\\Installation\\Installation1";
    winsim::reg::SetString(HKEY_LOCAL_MACHINE, key, "Name", "Inst \"one\" C:\\x");
    winsim::reg::SetDword(HKEY_LOCAL_MACHINE, key, "CreatedAccount", 0x1A);
    winsim::reg::SetValue(HKEY_LOCAL_MACHINE, key, "AllowUpgrade", {REG_SZ, "1"});
    winsim::reg::SetValue(HKEY_LOCAL_MACHINE, key, "", {REG_EXPAND_SZ, std::string("%A%\0", 4)});
    winsim::reg::CreateKey(HKEY_LOCAL_MACHINE, key + "\\Components");
    EXPECT_EQ(
        winsim::reg::Export(HKEY_LOCAL_MACHINE, key),
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Skyloft HX\\Installation\\Installation1]\r\n"
        "\"Name\"=\"Inst \\\"one\\\" C:\\\\x\"\r\n"
        "\"CreatedAccount\"=dword:0000001a\r\n"
        "\"AllowUpgrade\"=hex(1):31,00\r\n"
        "@=hex(2):25,00,41,00,25,00,00,00\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Skyloft HX\\Installation\\Installation1\\Components]\r\n"
        "\r\n");
    EXPECT_EQ(winsim::reg::Export(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nothing"), "");
}

TEST_F(Registry, ImportRoundTripsEveryValueForm) {
    const std::string key = "SOFTWARE\\Wow6432Node\\Corvane\\Hexline\\CurrentVersion";
    const std::string binary(200, '\x7f'); // long enough to wrap
    winsim::reg::SetValue(HKEY_LOCAL_MACHINE, key, "Bin", {REG_BINARY, binary});
    winsim::reg::SetValue(HKEY_LOCAL_MACHINE, key, "Multi", {REG_MULTI_SZ, std::string("a\0b\0\0", 5)});
    winsim::reg::SetValue(HKEY_LOCAL_MACHINE, key, "Q", {REG_QWORD, std::string("\1\2\3\4\5\6\7\x08", 8)});
    winsim::reg::SetValue(HKEY_LOCAL_MACHINE, key, "None", {REG_NONE, ""});
    winsim::reg::SetString(HKEY_LOCAL_MACHINE, key + "\\Components", "Server", "");
    const std::string text = winsim::reg::Export(HKEY_LOCAL_MACHINE, "SOFTWARE\\Wow6432Node\\Corvane");
    EXPECT_NE(text.find(",\\\r\n  "), std::string::npos) << "long hex data is wrapped";

    winsim::Reset();
    std::string error;
    ASSERT_TRUE(winsim::reg::Import(text, &error)) << error;
    EXPECT_EQ(winsim::reg::Export(HKEY_LOCAL_MACHINE, "SOFTWARE\\Wow6432Node\\Corvane"), text);
    EXPECT_EQ(winsim::reg::GetValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Hexline\\CurrentVersion", "Multi",
                                    View::Wow32)
                  ->data,
              std::string("a\0b\0\0", 5));
}

TEST_F(Registry, ImportDeletesAndReadsBothVersions) {
    winsim::reg::SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Old\\Sub", "x", "1");
    winsim::reg::SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Keep", "gone", "1");
    winsim::reg::SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Keep", "stays", "1");
    std::string error;
    ASSERT_TRUE(winsim::reg::Import("REGEDIT4\n\n"
                                    "; seeded by a scenario\n"
                                    "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Old]\n"
                                    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Keep]\n"
                                    "\"gone\"=-\n"
                                    "\"Path\"=hex(2):25,54,45,4d,50,25,00\n"
                                    "@=\"default\"\n"
                                    "[HKLM\\SOFTWARE\\Keep\\Child]\n"
                                    "\"D\"=dword:ffffffff\n",
                                    &error))
        << error;
    EXPECT_FALSE(winsim::reg::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Old"));
    EXPECT_FALSE(winsim::reg::GetValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Keep", "gone"));
    EXPECT_TRUE(winsim::reg::GetValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Keep", "stays"));
    auto path = winsim::reg::GetValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Keep", "Path");
    ASSERT_TRUE(path);
    EXPECT_EQ(path->type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(path->data, std::string("%TEMP%\0", 7)) << "REGEDIT4 text types are narrow bytes";
    EXPECT_EQ(winsim::reg::GetValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Keep", "")->data,
              std::string("default\0", 8));
    EXPECT_EQ(winsim::reg::GetValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Keep\\Child", "D")->data,
              "\xff\xff\xff\xff");

    // A version 5.00 file saved by regedit: UTF-16LE with a byte-order mark.
    const std::string narrow =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\U]\r\n"
        "\"E\"=hex(2):41,00,00,00\r\n";
    std::string wide = "\xFF\xFE";
    for (char c : narrow)
        wide += std::string(1, c) + std::string(1, '\0');
    ASSERT_TRUE(winsim::reg::Import(wide, &error)) << error;
    EXPECT_EQ(winsim::reg::GetValue(HKEY_CURRENT_USER, "Software\\U", "E")->data, std::string("A\0", 2));

    const struct {
        const char* text;
        const char* why;
    } bad[] = {
        {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\n", "no header"},
        {"REGEDIT4\n[HKEY_NOWHERE\\X]\n", "unknown root"},
        {"REGEDIT4\n\"v\"=\"x\"\n", "value outside a key"},
        {"REGEDIT4\n[HKLM\\SOFTWARE\\X]\n\"v\"=dword:123456789\n", "dword too long"},
        {"REGEDIT4\n[HKLM\\SOFTWARE\\X]\n\"v\"=hex:0g\n", "bad hex"},
        {"REGEDIT4\n[HKLM\\SOFTWARE\\X\n", "unterminated key"},
    };
    for (const auto& b : bad) {
        error.clear();
        EXPECT_FALSE(winsim::reg::Import(b.text, &error)) << b.why;
        EXPECT_FALSE(error.empty()) << b.why;
    }
}

} // namespace
