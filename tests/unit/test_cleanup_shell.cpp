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

// ---- Features' uninstall lists and libraries --------------------------------------------------

class CleanUpFeatures : public CleanUpShell {
  protected:
    void SetUp() override {
        CleanUpShell::SetUp();
        SetProps({{"ZEBPGMFOLDER", "C:\\HX\\"}, {"ZEBPGMREGPATH", "C:\\HX"}});
        fs::MapModule("C:\\HX\\uninst\\srvca.dll", ZEB_UNINST_LIBRARY);
        fs::MapModule("C:\\HX\\uninst\\noca.dll", ZEB_UNINST_NOCA_LIBRARY);
        fs::WriteFile("C:\\HX\\uninst\\Server.u02", "; the server's leftovers\r\n"
                                                    "# kept apart\r\n"
                                                    "  file ; <PGMDIR>\\bin64\\a.dll  \r\n"
                                                    "folder;<PGMDIR>\\web\r\n"
                                                    "\r\n"
                                                    "dll;<PGMDIR>\\uninst\\srvca.dll\r\n"
                                                    "C:\\HX\\plain.txt\r\n");
    }
    static std::string Prop(const std::string& name) { return msi::Property(name).value_or("<unset>"); }
};

TEST_F(CleanUpFeatures, ListOfAFeatureBeingRemovedStacksItsItemsAndRunsItsLibrary) {
    msi::DefineFeatures({{"Server", INSTALLSTATE_LOCAL, INSTALLSTATE_ABSENT}});
    EXPECT_EQ(CleanUpOneFeature("Server", "Server_base_Instance1"), 0u);
    EXPECT_EQ(TempRows("RemoveFile"),
              (std::vector<std::string>{
                  "ZEB_Record_0 | Server_base_Instance1 | a.dll | ZEBPATHPROPERTY0 | 2",
                  "ZEB_Record_1 | Server_base_Instance1 |  | ZEBPATHPROPERTY1 | 2",
                  "ZEB_Record_2 | Server_base_Instance1 | plain.txt | ZEBPATHPROPERTY2 | 2",
                  "ZEB_Record_3 | Server_base_Instance1 | Server.u02 | ZEBPATHPROPERTY3 | 2",
              }));
    EXPECT_EQ(Props({"ZEBPATHPROPERTY1", "ZEBTESTCASAW", "ZEBUNINSTFEATURE"}),
              (std::vector<std::string>{"C:\\HX\\web", "Server", "Server"}));
    EXPECT_EQ(fs::ModuleLoads(), 0);
    EXPECT_TRUE(TextsInOrder(
        {"Checking feature 'Server' (Server_base_Instance1)", "Feature 'Server' is being uninstalled",
         "Processing 'C:\\HX\\uninst\\Server.u02'", "Type: 'file'", "Line: 'C:\\HX\\bin64\\a.dll'",
         "Type: 'folder'", "Line: 'C:\\HX\\web'", "Type: 'dll'", "Line: 'C:\\HX\\uninst\\srvca.dll'",
         "Executing 'C:\\HX\\uninst\\srvca.dll(Server)'"}));
    EXPECT_FALSE(HasTextContaining("leftovers"));

    // The library's failure fails the feature; the list is stacked all the same.
    msi::SetProperty("ZEBTESTCARESULT", "1603");
    EXPECT_EQ(CleanUpOneFeature("Server", "Server_base_Instance1"), ZEB_RC_FAILURE);
    EXPECT_EQ(TempRows("RemoveFile").size(), 8u);
}

TEST_F(CleanUpFeatures, LibrariesThatCannotRunAreSkippedButAFailedPropertyFails) {
    fs::WriteFile("C:\\HX\\uninst\\bad.dll", "MZ");
    EXPECT_EQ(InvokeUninstDll("C:\\HX\\uninst\\noca.dll", "Server"), 0u);
    EXPECT_EQ(InvokeUninstDll("C:\\HX\\uninst\\missing.dll", "Server"), 0u);
    EXPECT_EQ(InvokeUninstDll("C:\\HX\\uninst\\bad.dll", "Server"), 0u);
    EXPECT_TRUE(TextsInOrder({"***Unable to get 'C:\\HX\\uninst\\noca.dll(CA)'; code 127.",
                              "***LoadLibraryEx(C:\\HX\\uninst\\missing.dll) failed 126.",
                              "***LoadLibraryEx(C:\\HX\\uninst\\bad.dll) failed 193."}));
    EXPECT_EQ(Prop("ZEBUNINSTFEATURE"), "<unset>");
    winsim::FailCall("MsiSetPropertyA", ERROR_FUNCTION_FAILED, 0, "ZEBUNINSTFEATURE");
    EXPECT_EQ(InvokeUninstDll("C:\\HX\\uninst\\srvca.dll", "Server"), ZEB_RC_FAILURE);
    EXPECT_EQ(Prop("ZEBTESTCASAW"), "<unset>");
    EXPECT_EQ(fs::ModuleLoads(), 0);
    // Unloaded: the library's file can go.
    EXPECT_TRUE(DeleteFileA("C:\\HX\\uninst\\srvca.dll"));
}

TEST_F(CleanUpFeatures, OnlyRemovedOrAdvertisedFeaturesAreCleanedAndStateErrorsFail) {
    fs::WriteFile("C:\\HX\\uninst\\Toolkit_1.u02", "file;<PGMDIR>\\tk.jar\r\n");
    msi::DefineFeatures({{"Server", INSTALLSTATE_LOCAL, INSTALLSTATE_UNKNOWN},
                         {"Toolkit", INSTALLSTATE_ADVERTISED, INSTALLSTATE_UNKNOWN}});
    EXPECT_EQ(CleanUpOneFeature("Server", "Server_base_Instance1"), 0u);
    EXPECT_EQ(CleanUpOneFeature("Nope", "Nope_base_Instance1"), 0u);
    EXPECT_EQ(CleanUpOneFeature("Toolkit", "Toolkit_base_Instance1"), 0u);
    EXPECT_FALSE(HasTextContaining("'Server' is being uninstalled"));
    EXPECT_FALSE(HasTextContaining("'Nope' is being uninstalled"));
    EXPECT_EQ(TempRows("RemoveFile").size(), 2u);
    winsim::FailCall("MsiGetFeatureStateA", ERROR_INVALID_HANDLE, 1);
    EXPECT_EQ(CleanUpOneFeature("Server", "Server_base_Instance1"), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("Error 6 from MsiGetFeatureState(Server)"));
    winsim::FailCall("FindFirstFileA", ERROR_ACCESS_DENIED, 1);
    EXPECT_EQ(CleanUpOneFeature("Toolkit", "Toolkit_base_Instance1"), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***FindFirstFile(10) error 5, path 'C:\\HX\\uninst\\Toolkit*.u02'"));
    // An overlong line is skipped whole, not read as two.
    fs::WriteFile("C:\\HX\\uninst\\Toolkit_2.u02",
                  "file;C:\\HX\\" + std::string(600, 'x') + "\r\nfile;C:\\HX\\b\r\n");
    EXPECT_EQ(CleanUpOneFeature("Toolkit", "Toolkit_base_Instance1"), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasTextContaining("***Line too long in 'C:\\HX\\uninst\\Toolkit_2.u02'"));
    EXPECT_TRUE(HasText("Line: 'C:\\HX\\b'"));
    EXPECT_FALSE(HasTextContaining("Line: 'xxx"));
}

TEST_F(CleanUpFeatures, FeaturesActionGoesOnOverAllFeaturesAndFailsWhenOneFailed) {
    fs::WriteFile("C:\\HX\\uninst\\Client.u02", "file;<PGMDIR>\\c.dll\r\n");
    msi::DefineFeatures({{"Server", INSTALLSTATE_LOCAL, INSTALLSTATE_ABSENT},
                         {"Client", INSTALLSTATE_LOCAL, INSTALLSTATE_ABSENT}});
    msi::SetProperty("ZEBTESTCARESULT", "1");
    EXPECT_EQ(iwiStackCleanUpFeatures(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***Clean-up of feature 'Server' failed"));
    EXPECT_TRUE(HasText("Checking feature 'Client' (Client_base_Instance1)"));
    EXPECT_EQ(TempRows("RemoveFile").back(),
              "ZEB_Record_5 | Client_base_Instance1 | Client.u02 | ZEBPATHPROPERTY3 | 2");
    msi::SetProperty("ZEBTESTCARESULT", "0");
    EXPECT_EQ(iwiStackCleanUpFeatures(h), 0u);
    winsim::FailCall("MsiGetActiveDatabase", ERROR_INVALID_HANDLE);
    EXPECT_EQ(iwiStackCleanUpFeatures(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***MsiGetActiveDatabase() failed"));
}

TEST_F(CleanUpFeatures, ServerActionDropsThePrepWizardAndStacksTheDesktopShortcut) {
    Registry("Windows Registry Editor Version 5.00\r\n\r\n"
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce]\r\n"
             "\"HXPrepWiz\"=\"C:\\\\HX\\\\bin64\\\\prep.exe\"\r\n\"Other\"=\"x.exe\"\r\n");
    fs::WriteShortcut(desktop + "\\HX.lnk", "C:\\HX\\bin64\\zebmjpse.exe");
    fs::WriteShortcut(desktop + "\\Other.lnk", "C:\\Other\\tool.exe");
    EXPECT_EQ(iwiStackCleanUpServer(h), 0u);
    const char kRunOnce[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
    EXPECT_FALSE(winsim::reg::GetValue(HKEY_LOCAL_MACHINE, kRunOnce, "HXPrepWiz"));
    EXPECT_TRUE(winsim::reg::GetValue(HKEY_LOCAL_MACHINE, kRunOnce, "Other"));
    EXPECT_EQ(
        TempRows("RemoveFile"),
        (std::vector<std::string>{"ZEB_Record_0 | Server_base_Instance1 | HX.lnk | ZEBPATHPROPERTY0 | 2"}));
    // Again, the value gone: the same rows, no failure.
    EXPECT_EQ(iwiStackCleanUpServer(h), 0u);
    EXPECT_EQ(RunDeferred(iwiStackCleanUpServer, ""), ZEB_RC_FAILURE);
    EXPECT_EQ(TempRows("RemoveFile").size(), 2u);
}

} // namespace
