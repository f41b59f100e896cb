// The engine's registry and removal steps (WriteRegistryValues, RemoveRegistryValues, RemoveFiles) over the
// package's rows, and the key index that temporary inserts are checked against.
#include <gtest/gtest.h>
#include <msiquery.h>
#include <winsim/sim.h>

#include <string>
#include <vector>

namespace {

namespace msi = winsim::msi;
namespace fs = winsim::fs;
namespace reg = winsim::reg;
using msi::Field;

class MsiEngine : public ::testing::Test {
  protected:
    void SetUp() override {
        winsim::Reset();
        for (const char* t : {"RemoveFile", "RemoveRegistry", "Registry"})
            msi::DefineStandardTable(t);
        msi::AddComponent("Installed", INSTALLSTATE_ABSENT, INSTALLSTATE_LOCAL);
        msi::AddComponent("Removed", INSTALLSTATE_LOCAL, INSTALLSTATE_ABSENT);
        msi::AddComponent("Untouched", INSTALLSTATE_LOCAL, INSTALLSTATE_UNKNOWN);
    }

    static void FileRow(const std::string& key, const std::string& component, const char* name,
                        const std::string& dirProperty, int mode) {
        msi::AddRow("RemoveFile",
                    {Field::str(key), Field::str(component), name ? Field::str(name) : Field::null(),
                     Field::str(dirProperty), Field::integer(mode)});
    }
};

TEST_F(MsiEngine, RemoveFilesMatchesWildcardsForTheComponentsModes) {
    for (const char* f : {"a.log", "b.LOG", "keep.txt", "data1.dat", "data22.dat"})
        fs::WriteFile(std::string("C:\\HX\\") + f, "x");
    fs::WriteFile("C:\\HX\\sub.log\\inner.txt", "x"); // a folder whose name matches stays
    fs::SetReadOnly("C:\\HX\\a.log", true);
    msi::SetProperty("P1", "C:\\HX");
    FileRow("r1", "Installed", "*.log", "P1", 1);
    FileRow("r2", "Installed", "data?.dat", "P1", 3);
    FileRow("r3", "Removed", "keep.txt", "P1", 1);   // mode 1 but the component goes
    FileRow("r4", "Untouched", "keep.txt", "P1", 3); // no action: nothing
    FileRow("r5", "Unknown", "keep.txt", "P1", 3);   // not a component of the session
    msi::RunRemovalSteps();
    EXPECT_EQ(fs::List("C:\\HX"), (std::vector<std::string>{"data22.dat", "keep.txt", "sub.log"}));

    FileRow("r6", "Removed", "KEEP.TXT", "P1", 2);
    FileRow("r7", "Removed", "DATA22~1.DAT|data22.dat", "P1", 2);
    msi::RunRemovalSteps();
    EXPECT_EQ(fs::List("C:\\HX"), (std::vector<std::string>{"sub.log"}));
}

TEST_F(MsiEngine, RowsAreTakenInRowOrderAndFoldersGoOnlyWhenEmptyThen) {
    fs::WriteFile("C:\\T\\parent\\child\\f.txt", "x");
    fs::WriteFile("C:\\T\\busy\\f.txt", "x");
    fs::Lock("C:\\T\\busy\\f.txt");
    msi::SetProperty("PARENT", "C:\\T\\parent");
    msi::SetProperty("CHILD", "C:\\T\\parent\\child");
    msi::SetProperty("BUSY", "C:\\T\\busy");
    FileRow("r1", "Removed", nullptr, "PARENT", 2); // before its subfolder: still full then
    FileRow("r2", "Removed", nullptr, "CHILD", 2);  // before the row of its file: full too
    FileRow("r3", "Removed", "f.txt", "CHILD", 2);
    FileRow("r4", "Removed", nullptr, "CHILD", 2); // after it: empty now
    FileRow("r5", "Removed", "*", "BUSY", 2);      // a file held open stays, and so its folder
    FileRow("r6", "Removed", nullptr, "BUSY", 2);
    FileRow("r7", "Removed", nullptr, "NOPROP", 2);
    msi::RunRemovalSteps();
    EXPECT_FALSE(fs::Exists("C:\\T\\parent\\child"));
    EXPECT_TRUE(fs::IsDir("C:\\T\\parent"));
    EXPECT_TRUE(fs::Exists("C:\\T\\busy\\f.txt"));

    // The folder comes from the property when the step runs.
    msi::SetProperty("CHILD", "C:\\T\\parent");
    msi::RunRemovalSteps();
    EXPECT_FALSE(fs::Exists("C:\\T\\parent"));
}

TEST_F(MsiEngine, AFolderRowBeforeItsFilesRowLeavesTheFolder) {
    fs::WriteFile("C:\\T\\f.txt", "x");
    msi::SetProperty("T", "C:\\T");
    FileRow("r1", "Removed", nullptr, "T", 2);
    FileRow("r2", "Removed", "f.txt", "T", 2);
    msi::RunRemovalSteps();
    EXPECT_FALSE(fs::Exists("C:\\T\\f.txt"));
    EXPECT_TRUE(fs::IsDir("C:\\T"));
}

TEST_F(MsiEngine, RemoveRegistryValuesActsOnInstallAndRemovalRows) {
    reg::SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\A\\Sub", "v", "1");
    reg::SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\B", "one", "1");
    reg::SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\B", "two", "2");
    reg::SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\C", "x", "1", reg::View::Wow32);
    reg::SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\C", "x", "1");
    reg::SetString(HKEY_CURRENT_USER, "Software\\HX", "x", "1");
    reg::SetString(HKEY_USERS, ".DEFAULT\\Software\\HX", "x", "1");
    reg::SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\D", "x", "1");
    msi::SetProperty("SUB", "Sub");
    auto removeRow = [](const char* key, int root, const std::string& path, const char* name,
                        const char* comp) {
        msi::AddRow("RemoveRegistry", {Field::str(key), Field::integer(root), Field::str(path),
                                       name ? Field::str(name) : Field::null(), Field::str(comp)});
    };
    auto registryRow = [](const char* key, int root, const std::string& path, const char* name,
                          const char* value, const char* comp) {
        msi::AddRow("Registry", {Field::str(key), Field::integer(root), Field::str(path), Field::str(name),
                                 value ? Field::str(value) : Field::null(), Field::str(comp)});
    };
    removeRow("a", 2, "SOFTWARE\\Corvane\\A\\[SUB]", "-", "Installed");
    removeRow("b", 2, "SOFTWARE\\Corvane\\B", "one", "Installed");
    removeRow("c", 2, "SOFTWARE\\Wow6432Node\\Corvane\\C", "-", "Installed");
    removeRow("d", 2, "SOFTWARE\\Corvane\\D", "-", "Removed"); // RemoveRegistry acts only on install
    registryRow("e", 1, "Software\\HX", "-", nullptr, "Removed");
    registryRow("f", 3, ".DEFAULT\\Software\\HX", "+", nullptr, "Removed"); // "+" keeps the key
    registryRow("g", 2, "SOFTWARE\\Corvane\\B", "two", "2", "Removed");
    reg::SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\E\\Sub", "x", "1");
    registryRow("i", 2, "SOFTWARE\\Corvane\\E\\Sub", "x", "1", "Removed");  // the emptied keys go
    registryRow("h", 2, "SOFTWARE\\Corvane\\D", "-", nullptr, "Installed"); // Registry acts only on removal
    ASSERT_EQ(MsiDoActionA(msi::SessionHandle(), "RemoveRegistryValues"), 0u);

    EXPECT_FALSE(reg::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\A\\Sub"));
    EXPECT_TRUE(reg::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\A"));
    EXPECT_TRUE(reg::Values(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\B").empty());
    EXPECT_FALSE(reg::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\C", reg::View::Wow32));
    EXPECT_TRUE(reg::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\C"));
    EXPECT_TRUE(reg::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\D"));
    EXPECT_FALSE(reg::KeyExists(HKEY_CURRENT_USER, "Software\\HX"));
    EXPECT_TRUE(reg::KeyExists(HKEY_USERS, ".DEFAULT\\Software\\HX"));
    EXPECT_FALSE(reg::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\E"));
    EXPECT_TRUE(reg::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane"));
    EXPECT_EQ(msi::ActionsDone(), (std::vector<std::string>{"RemoveRegistryValues"}));
}

TEST_F(MsiEngine, WriteRegistryValuesWritesRowsOfInstalledComponentsWithTheirTypes) {
    msi::SetProperty("NAME", "Installation1");
    auto row = [](const char* key, const std::string& path, const char* name, const char* value,
                  const char* comp) {
        msi::AddRow("Registry", {Field::str(key), Field::integer(2), Field::str(path),
                                 name ? Field::str(name) : Field::null(),
                                 value ? Field::str(value) : Field::null(), Field::str(comp)});
    };
    const std::string key = "SOFTWARE\\Corvane\\[NAME]";
    row("sz", key, "Name", "[NAME]", "Installed");
    row("dw", key, "Count", "#42", "Installed");
    row("ex", key, "Path", "#%%TEMP%\\x", "Installed");
    row("bin", key, "Bytes", "#x0aff", "Installed");
    row("badhex", key, "Typo", "#x0aZZ", "Installed"); // the pairs before the typo
    row("hash", key, "Hash", "##1", "Installed");
    row("multi", key, "List", "a[~]b", "Installed");
    row("def", key, nullptr, "d", "Installed");
    row("wow", "SOFTWARE\\Wow6432Node\\Corvane\\[NAME]", "Name", "[NAME]", "Installed");
    row("plus", "SOFTWARE\\Corvane\\Empty", "+", nullptr, "Installed");
    row("minus", "SOFTWARE\\Corvane\\Minus", "-", nullptr, "Installed"); // acts only on removal
    row("gone", "SOFTWARE\\Corvane\\Gone", "x", "1", "Removed");
    row("same", "SOFTWARE\\Corvane\\Same", "x", "1", "Untouched");
    ASSERT_EQ(MsiDoActionA(msi::SessionHandle(), "WriteRegistryValues"), 0u);

    const std::string k = "SOFTWARE\\Corvane\\Installation1";
    auto value = [&](const char* name) {
        return reg::GetValue(HKEY_LOCAL_MACHINE, k, name).value_or(reg::Value{});
    };
    EXPECT_EQ(value("Name").type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(value("Name").data, std::string("Installation1", 14));
    EXPECT_EQ(value("Count").type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(value("Count").data, std::string("\x2a\0\0\0", 4));
    EXPECT_EQ(value("Path").type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(value("Path").data, std::string("%TEMP%\\x", 9));
    EXPECT_EQ(value("Bytes").data, "\x0a\xff");
    EXPECT_EQ(value("Typo").data, "\x0a");
    EXPECT_EQ(value("Hash").data, std::string("#1", 3));
    EXPECT_EQ(value("List").type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(value("List").data, std::string("a\0b\0\0", 5));
    EXPECT_EQ(value("").data, std::string("d", 2));
    EXPECT_TRUE(
        reg::GetValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Installation1", "Name", reg::View::Wow32));
    EXPECT_TRUE(reg::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Empty"));
    for (const char* absent : {"Minus", "Gone", "Same"})
        EXPECT_FALSE(reg::KeyExists(HKEY_LOCAL_MACHINE, std::string("SOFTWARE\\Corvane\\") + absent))
            << absent;
}

TEST_F(MsiEngine, KeyIndexFollowsDeletesAndFetchesSeeOnlyRowsOfTheirExecute) {
    msi::DefineStandardTable("ListBox");
    msi::AddRow("ListBox", {Field::str("L"), Field::integer(1), Field::str("a"), Field::str("t")});
    MSIHANDLE db = MsiGetActiveDatabase(msi::SessionHandle());
    MSIHANDLE view = 0;
    ASSERT_EQ(MsiDatabaseOpenViewA(db, "SELECT * FROM ListBox", &view), 0u);
    ASSERT_EQ(MsiViewExecute(view, 0), 0u);
    MSIHANDLE rec = 0;
    ASSERT_EQ(MsiViewFetch(view, &rec), 0u);
    // The same key is refused while the row is there and taken again once it was deleted; the
    // row inserted while the view is walked does not come round.
    EXPECT_EQ(MsiViewModify(view, MSIMODIFY_INSERT_TEMPORARY, rec), static_cast<UINT>(ERROR_FUNCTION_FAILED));
    ASSERT_EQ(MsiViewModify(view, MSIMODIFY_DELETE, rec), 0u);
    EXPECT_EQ(MsiViewModify(view, MSIMODIFY_INSERT_TEMPORARY, rec), 0u);
    MsiCloseHandle(rec);
    EXPECT_EQ(MsiViewFetch(view, &rec), static_cast<UINT>(ERROR_NO_MORE_ITEMS));
    ASSERT_EQ(MsiViewExecute(view, 0), 0u);
    ASSERT_EQ(MsiViewFetch(view, &rec), 0u);
    MsiCloseHandle(rec);
    EXPECT_EQ(MsiViewFetch(view, &rec), static_cast<UINT>(ERROR_NO_MORE_ITEMS));
    MsiCloseHandle(view);
    MsiCloseHandle(db);
    ASSERT_EQ(msi::Rows("ListBox").size(), 1u);
    EXPECT_TRUE(msi::Rows("ListBox")[0].temporary);
    EXPECT_EQ(msi::LeakedHandles(), 0);
}

} // namespace
