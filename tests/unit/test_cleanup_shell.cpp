// Shortcuts to the product's programs (DeleteShortcut), the features' uninstall lists and
// libraries (CleanUpOneFeature, InvokeUninstDll) and the clean-up actions built on them.
#include "zebiwicnCleanUp.h"
#include "zebiwicnDelete.h"
#include "zebtest.h"

#include <shlobj.h>

namespace {

namespace fs = winsim::fs;
namespace msi = winsim::msi;

const char kTarget[] = "C:\\HX\\bin64\\zebmjpse.exe";

class CleanUpShell : public ZebTest {
  protected:
    void SetUp() override {
        ZebTest::SetUp();
        for (const char* table : {"RemoveFile", "RemoveRegistry", "Registry"})
            msi::DefineStandardTable(table);
        desktop = fs::SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
        programs = fs::SpecialFolder(CSIDL_COMMON_PROGRAMS);
    }
    static std::vector<std::string> ShellNotifications() {
        std::vector<std::string> out;
        for (const winsim::Event& e : winsim::Events())
            if (e.kind == "shellnotify")
                out.push_back(e.text + " " + std::to_string(e.flags));
        return out;
    }
    std::string desktop, programs;
};

TEST_F(CleanUpShell, StacksOnlyShortcutsToTheTargetAndNeverTheSpecialFolder) {
    fs::WriteShortcut(desktop + "\\HX.lnk", "c:\\hx\\BIN64\\zebmjpse.exe");
    fs::WriteShortcut(desktop + "\\Other.lnk", "C:\\Other\\tool.exe");
    fs::WriteFile(desktop + "\\Broken.lnk", "not a shortcut");
    fs::WriteFile(desktop + "\\readme.txt", "x");
    EXPECT_TRUE(DeleteShortcut(TRUE, FALSE, nullptr, kTarget, CSIDL_COMMON_DESKTOPDIRECTORY, nullptr,
                               "Server_base_Instance1", 2));
    EXPECT_EQ(
        TempRows("RemoveFile"),
        (std::vector<std::string>{"ZEB_Record_0 | Server_base_Instance1 | HX.lnk | ZEBPATHPROPERTY0 | 2"}));
    EXPECT_EQ(msi::Property("ZEBPATHPROPERTY0").value_or(""), desktop);
    EXPECT_TRUE(TextsInOrder({"Folder type 25 is '" + desktop + "'", "Checking '" + desktop + "\\Broken.lnk'",
                              "Can't read shortcut '" + desktop + "\\Broken.lnk'; error 0x80004005",
                              "Checking '" + desktop + "\\HX.lnk'", "Checking '" + desktop + "\\Other.lnk'",
                              "Non-HX target: 'C:\\Other\\tool.exe'"}));
    EXPECT_FALSE(HasTextContaining("readme"));
    // Neither mode: nothing at all.
    EXPECT_TRUE(
        DeleteShortcut(FALSE, FALSE, nullptr, kTarget, CSIDL_COMMON_DESKTOPDIRECTORY, nullptr, "C", 2));
    EXPECT_EQ(TempRows("RemoveFile").size(), 1u);
}

TEST_F(CleanUpShell, NamedSubfolderGoesAfterItsShortcutsAndCountsToo) {
    const std::string sub = programs + "\\HX Inst1";
    fs::WriteShortcut(sub + "\\Remove.lnk", kTarget);
    fs::WriteShortcut(programs + "\\Elsewhere.lnk", kTarget); // not in the subfolder
    EXPECT_TRUE(DeleteShortcut(TRUE, FALSE, nullptr, kTarget, CSIDL_COMMON_PROGRAMS, "HX Inst1", "Base", 2));
    EXPECT_EQ(TempRows("RemoveFile"),
              (std::vector<std::string>{"ZEB_Record_0 | Base | Remove.lnk | ZEBPATHPROPERTY0 | 2",
                                        "ZEB_Record_1 | Base |  | ZEBPATHPROPERTY0 | 2"}));
    EXPECT_EQ(msi::Property("ZEBPATHPROPERTY0").value_or(""), sub);
    int iTicks = 0;
    EXPECT_TRUE(DeleteShortcut(TRUE, TRUE, &iTicks, kTarget, CSIDL_COMMON_PROGRAMS, "HX Inst1", "Base", 2));
    EXPECT_EQ(iTicks, 200000);
    // A subfolder holding no shortcut of ours is left alone; a missing one is nothing to do.
    fs::WriteShortcut(programs + "\\Theirs\\x.lnk", "C:\\Other\\tool.exe");
    EXPECT_TRUE(DeleteShortcut(TRUE, FALSE, nullptr, kTarget, CSIDL_COMMON_PROGRAMS, "Theirs", "Base", 2));
    EXPECT_TRUE(DeleteShortcut(TRUE, FALSE, nullptr, kTarget, CSIDL_COMMON_PROGRAMS, "Gone", "Base", 2));
    EXPECT_EQ(TempRows("RemoveFile").size(), 2u);
}

TEST_F(CleanUpShell, DeletingNowTellsTheShellAndKeepsTheDesktop) {
    fs::WriteShortcut(desktop + "\\HX.lnk", kTarget);
    EXPECT_TRUE(DeleteShortcut(FALSE, TRUE, nullptr, kTarget, CSIDL_COMMON_DESKTOPDIRECTORY, "", "C", 2));
    EXPECT_FALSE(fs::Exists(desktop + "\\HX.lnk"));
    EXPECT_TRUE(fs::IsDir(desktop));
    const std::string sub = programs + "\\HX";
    fs::WriteShortcut(sub + "\\Remove.lnk", kTarget);
    fs::WriteShortcut(programs + "\\Other.lnk", "C:\\Other\\tool.exe");
    EXPECT_TRUE(DeleteShortcut(FALSE, TRUE, nullptr, kTarget, CSIDL_COMMON_PROGRAMS, "HX", "C", 2));
    EXPECT_FALSE(fs::Exists(sub));
    EXPECT_TRUE(fs::Exists(programs + "\\Other.lnk"));
    EXPECT_EQ(ShellNotifications(), (std::vector<std::string>{desktop + " 4096", programs + " 4096"}));
    EXPECT_TRUE(TempRows("RemoveFile").empty());
}

TEST_F(CleanUpShell, FailedShellCallsFailTheWalk) {
    fs::WriteShortcut(desktop + "\\HX.lnk", kTarget);
    struct Case {
        const char* function;
        DWORD error;
        std::string text;
    };
    for (const Case& c : std::vector<Case>{
             {"SHGetMalloc", (DWORD)E_OUTOFMEMORY, "***SHGetMalloc error"},
             {"SHGetSpecialFolderLocation", (DWORD)E_FAIL, "***SHGetSpecialFolderLocation error"},
             {"SHGetPathFromIDListA", ERROR_FILE_NOT_FOUND, "***SHGetPathFromIDList error"},
             {"FindFirstFileA", ERROR_ACCESS_DENIED,
              "***FindFirstFile(11) error 5, path '" + desktop + "\\*.lnk'"},
             {"CoInitializeEx", (DWORD)E_OUTOFMEMORY, "***CoInitializeEx error 0x8007000E"},
             {"CoCreateInstance", (DWORD)REGDB_E_CLASSNOTREG,
              "***Shortcut object error 0x80040154, path '" + desktop + "\\HX.lnk'"},
             {"IShellLinkA::QueryInterface", (DWORD)E_NOINTERFACE,
              "***Shortcut object error 0x80004002, path '" + desktop + "\\HX.lnk'"},
         }) {
        winsim::ClearFaults();
        winsim::FailCall(c.function, c.error);
        EXPECT_FALSE(
            DeleteShortcut(TRUE, FALSE, nullptr, kTarget, CSIDL_COMMON_DESKTOPDIRECTORY, nullptr, "C", 2))
            << c.function;
        EXPECT_TRUE(HasText(c.text)) << c.function;
    }
    // A shortcut that cannot be read is someone else's trouble; an unknown folder type fails.
    winsim::ClearFaults();
    winsim::FailCall("IPersistFile::Load", (DWORD)HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(
        DeleteShortcut(TRUE, FALSE, nullptr, kTarget, CSIDL_COMMON_DESKTOPDIRECTORY, nullptr, "C", 2));
    EXPECT_TRUE(HasText("Can't read shortcut '" + desktop + "\\HX.lnk'; error 0x80070020"));
    winsim::ClearFaults();
    EXPECT_FALSE(DeleteShortcut(TRUE, FALSE, nullptr, kTarget, 0x7F, nullptr, "C", 2));
    EXPECT_TRUE(TempRows("RemoveFile").empty());
}

} // namespace
