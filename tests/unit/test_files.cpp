// Copying and deleting files and folders on the simulated machine.
#include "zebtest.h"

#include <algorithm>
#include <climits>

namespace {

using Files = ZebTest;
namespace fs = winsim::fs;

bool ReadOnly(const std::string& path) {
    return (fs::Attributes(path).value_or(0) & FILE_ATTRIBUTE_READONLY) != 0;
}

TEST_F(Files, RemoveReadOnlyOutcomes) {
    fs::WriteFile("C:\\D\\ro.txt", "x");
    fs::SetReadOnly("C:\\D\\ro.txt", true);
    DWORD dwCleared = *fs::Attributes("C:\\D\\ro.txt") & ~(DWORD)FILE_ATTRIBUTE_READONLY;
    EXPECT_EQ(RemoveReadOnly("C:\\D\\ro.txt", FALSE), ZEB_RC_SUCCESS);
    EXPECT_FALSE(ReadOnly("C:\\D\\ro.txt"));
    char szLine[100];
    snprintf(szLine, sizeof(szLine), "  Set attributes 0x%8.8lx 'C:\\D\\ro.txt'", (unsigned long)dwCleared);
    EXPECT_EQ(Texts(), std::vector<std::string>{szLine});
    EXPECT_EQ(RemoveReadOnly("C:\\D\\ro.txt", TRUE), ZEB_RC_SUCCESS); // nothing to do, nothing said
    EXPECT_EQ(Texts().size(), 1u);

    // Missing: a failure either way, said only when asked.
    EXPECT_EQ(RemoveReadOnly("C:\\D\\none.txt", FALSE), ZEB_RC_FAILURE);
    EXPECT_EQ(Texts().size(), 1u);
    EXPECT_EQ(RemoveReadOnly("C:\\D\\none.txt", TRUE), ZEB_RC_FAILURE);
    EXPECT_EQ(RemoveReadOnly("C:\\None\\x.txt", TRUE), ZEB_RC_FAILURE);
    EXPECT_TRUE(TextsInOrder({"RemoveReadOnly: File 'C:\\D\\none.txt' not found",
                              "RemoveReadOnly: Path 'C:\\None\\x.txt' not found"}));

    fs::DenyAccess("C:\\D", true);
    EXPECT_EQ(RemoveReadOnly("C:\\D\\ro.txt", FALSE), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***Error ERROR_ACCESS_DENIED getting attributes 'C:\\D\\ro.txt'"));
    fs::DenyAccess("C:\\D", false);
    winsim::FailCall("GetFileAttributesA", ERROR_SHARING_VIOLATION, 1);
    EXPECT_EQ(RemoveReadOnly("C:\\D\\ro.txt", FALSE), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***Error 32 getting attributes 'C:\\D\\ro.txt'"));
}

TEST_F(Files, CopyOneFileOverwritesReadOnlyTargetAndLeavesCopyWritable) {
    fs::WriteFile("C:\\Src\\a.txt", "new");
    fs::SetReadOnly("C:\\Src\\a.txt", true); // a copy takes the source's attributes
    fs::WriteFile("C:\\Dst\\a.txt", "old");
    fs::SetReadOnly("C:\\Dst\\a.txt", true);
    EXPECT_EQ(CopyOneFile(FALSE, " \"C:\\Src\\\" ", "C:\\\\Dst\\", "a.txt"), ZEB_RC_SUCCESS);
    EXPECT_EQ(File("C:\\Dst\\a.txt"), "new");
    EXPECT_FALSE(ReadOnly("C:\\Dst\\a.txt"));
    EXPECT_TRUE(ReadOnly("C:\\Src\\a.txt"));
    EXPECT_TRUE(TextsInOrder({"Copying 'a.txt' from 'C:\\Src\\' to 'C:\\Dst\\'"}));

    // By full paths: the failure names the source.
    EXPECT_EQ(CopyOneFile(FALSE, "C:\\Src\\a.txt", "C:\\Dst\\b.txt", nullptr), ZEB_RC_SUCCESS);
    EXPECT_EQ(File("C:\\Dst\\b.txt"), "new");
    EXPECT_EQ(CopyOneFile(FALSE, "C:\\Src\\a.txt", "C:\\NoDir\\b.txt", nullptr), ZEB_RC_FAILURE);
    EXPECT_TRUE(TextsInOrder({"Copying from 'C:\\Src\\a.txt' to 'C:\\Dst\\b.txt'",
                              "Copying from 'C:\\Src\\a.txt' to 'C:\\NoDir\\b.txt'",
                              "***Error ERROR_PATH_NOT_FOUND copying 'C:\\Src\\a.txt'"}));
}

TEST_F(Files, CopyOneFileMissingSourceDeniedTargetAndLongPaths) {
    EXPECT_EQ(CopyOneFile(FALSE, "C:\\Src", "C:\\Temp", "none.txt"), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("Copy bypassed; source file 'C:\\Src\\none.txt' does not exist"));
    EXPECT_EQ(CopyOneFile(TRUE, "C:\\Src", "C:\\Temp", "none.txt"), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***Error ERROR_PATH_NOT_FOUND copying 'none.txt'"));

    // A joined path that does not fit is refused, never cut into another name.
    std::string folder = "C:\\" + std::string(240, 'f');
    EXPECT_EQ(CopyOneFile(FALSE, folder.c_str(), "C:\\Dst", std::string(30, 'n').c_str()), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasTextContaining("***Path too long: '" + folder + "\\nnn"));
    EXPECT_FALSE(fs::Exists("C:\\Dst"));
}

TEST_F(Files, CopyWithTheFlagAlreadySetCopiesNothing) {
    fs::WriteFile("C:\\Src\\a.txt", "data");
    SetCancelFlag();
    EXPECT_EQ(CopyOneFile(FALSE, "C:\\Src", "C:\\Dst", "a.txt"), ZEB_RC_CANCEL);
    EXPECT_EQ(winsim::CallCount("CopyFileExA"), 0);
    EXPECT_FALSE(HasTextContaining("***"));

    // The marker file of a cancel in another process counts as well.
    winsim::SetCancelFlags(0);
    winsim::msi::SetProperty("ZEBTEMP", "C:\\Temp");
    fs::WriteFile("C:\\Temp\\zebcancl.txt", "");
    EXPECT_EQ(CopyFilePattern("C:\\Src", "C:\\Dst", "*", FALSE), ZEB_RC_CANCEL);
    EXPECT_EQ(File("C:\\Dst\\a.txt"), "<absent>");
}

TEST_F(Files, CancelDuringCopyStopsItAndIsNoFailure) {
    winsim::msi::SetProperty("UILevel", "5");
    fs::WriteFile("C:\\Src\\big.bin", std::string(300 * 1024, 'b'));
    fs::WriteFile("C:\\Src\\next.bin", "n");
    // Another process cancels while the second 64 KiB chunk is due: the copy reads our own flag.
    winsim::OnCall("CopyFileExA:chunk", 2, [] { winsim::SetCancelFlags(1); });
    UINT st = 0;
    ASSERT_FALSE(CaProlog(h, &st, "iwiDirectCopyAdminFiles", nullptr));
    UINT uiRc = CopyFilePattern("C:\\Src", "C:\\Dst", "*.bin", FALSE);
    EXPECT_EQ(uiRc, ZEB_RC_CANCEL);
    EXPECT_EQ(CaEpilog(h, uiRc), ZEB_RC_CANCEL);
    EXPECT_TRUE(HasText("***Error 1235 copying 'big.bin'"));
    EXPECT_FALSE(fs::Exists("C:\\Dst\\big.bin"));
    EXPECT_FALSE(HasTextContaining("Copying 'next.bin'")); // nothing more after a cancel
    EXPECT_TRUE(MessageBoxes().empty());                   // no failure box for a user who cancelled
}

TEST_F(Files, CopyFilePatternCopiesMatchesAndTreesIntoCreatedFolders) {
    for (const char* p :
         {"C:\\Src\\a.pdf", "C:\\Src\\b.txt", "C:\\Src\\Sub\\c.pdf", "C:\\Src\\Sub\\Deep\\d.pdf"})
        fs::WriteFile(p, p);
    fs::MakeDirs("C:\\Src\\x.pdf"); // a folder matching the pattern is no file to copy
    EXPECT_EQ(CopyFilePattern("C:\\Src\\", "C:\\New\\Flat", "*.pdf", FALSE), ZEB_RC_SUCCESS);
    EXPECT_EQ(fs::List("C:\\New\\Flat"), std::vector<std::string>{"a.pdf"});
    EXPECT_TRUE(
        TextsInOrder({"Copying pattern '*.pdf' from 'C:\\Src\\' to 'C:\\New\\Flat\\'", "Created 'C:\\New'",
                      "Created 'C:\\New\\Flat'", "Copying 'a.pdf' from 'C:\\Src\\' to 'C:\\New\\Flat\\'"}));

    EXPECT_EQ(CopyFilePattern("C:\\Src", "C:\\New\\Tree", "*.pdf", TRUE), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("Copying pattern '*.pdf' from tree 'C:\\Src\\' to 'C:\\New\\Tree\\'"));
    EXPECT_EQ(File("C:\\New\\Tree\\Sub\\Deep\\d.pdf"), "C:\\Src\\Sub\\Deep\\d.pdf");
    EXPECT_TRUE(fs::Exists("C:\\New\\Tree\\Sub\\c.pdf"));
    EXPECT_FALSE(fs::Exists("C:\\New\\Tree\\b.txt"));
    std::vector<std::string> texts = Texts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "Created 'C:\\New'"), 1); // existing: silent
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "Created 'C:\\New\\Tree\\Sub\\Deep'"), 1);
    EXPECT_EQ(CopyFilePattern("C:\\Missing", "C:\\New\\Flat", "*", TRUE), ZEB_RC_SUCCESS);
}

TEST_F(Files, CopyFilePatternFailuresKeepGoingAndGiveTheLastCode) {
    fs::WriteFile("C:\\Src\\a.pdf", "a");
    fs::WriteFile("C:\\Src\\b.pdf", "b");
    fs::Lock("C:\\Src\\a.pdf");
    EXPECT_EQ(CopyFilePattern("C:\\Src", "C:\\Dst", "*.pdf", FALSE), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***Error 32 copying 'a.pdf'"));
    EXPECT_EQ(File("C:\\Dst\\b.pdf"), "b");

    fs::MakeDirs("C:\\Shut");
    fs::DenyAccess("C:\\Shut", true);
    CopyFilePattern("C:\\Src", "C:\\Shut\\In", "b.pdf", FALSE);
    EXPECT_TRUE(HasText("***Error ERROR_ACCESS_DENIED creating 'C:\\Shut\\In'"));

    winsim::FailCall("FindFirstFileA", ERROR_NOT_READY, 1);
    EXPECT_EQ(CopyFilePattern("C:\\Src", "C:\\Dst", "*.pdf", TRUE), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***FindFirstFile(8) error 21, path 'C:\\Src\\*.pdf'"));
    fs::Unlock("C:\\Src\\a.pdf");
    winsim::FailCall("FindFirstFileA", ERROR_NOT_READY, 2);
    EXPECT_EQ(CopyFilePattern("C:\\Src", "C:\\Dst", "*.pdf", TRUE), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***FindFirstFile(9) error 21, path 'C:\\Src\\*'"));
}

TEST_F(Files, RebootDeleteOutcomes) {
    DWORD dwErr = 99;
    EXPECT_TRUE(iwiRebootDeleteFile("C:\\Temp\\a.txt", FALSE, &dwErr));
    EXPECT_EQ(dwErr, 0u);
    ASSERT_EQ(fs::PendingRenames().size(), 1u);
    EXPECT_EQ(fs::PendingRenames()[0].from, "C:\\Temp\\a.txt");
    EXPECT_EQ(fs::PendingRenames()[0].to, "");
    EXPECT_TRUE(HasText("Stacked file for deletion upon reboot: 'C:\\Temp\\a.txt'"));

    fs::SetRebootRenames(true, true); // a system that looks at the file
    EXPECT_TRUE(iwiRebootDeleteFile("C:\\Temp\\b.txt", FALSE, &dwErr));
    EXPECT_EQ(dwErr, (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(HasTextContaining("b.txt"));
    EXPECT_TRUE(iwiRebootDeleteFile("C:\\Temp\\b.txt", TRUE, nullptr));
    EXPECT_TRUE(HasText("MoveFileEx file not found: 'C:\\Temp\\b.txt'"));

    fs::SetRebootRenames(false, false); // not elevated
    EXPECT_FALSE(iwiRebootDeleteFile("C:\\Temp\\a.txt", FALSE, &dwErr));
    EXPECT_EQ(dwErr, (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_TRUE(HasText("***MoveFileEx error: 5 'C:\\Temp\\a.txt'"));
}

TEST_F(Files, DeleteFileNowOutcomes) {
    fs::WriteFile("C:\\D\\a.txt", "x");
    DWORD dwErr = 99;
    EXPECT_TRUE(iiiDeleteFile(FALSE, TRUE, nullptr, "C:\\D\\a.txt", FALSE, &dwErr, "", 2));
    EXPECT_EQ(dwErr, 0u);
    EXPECT_FALSE(fs::Exists("C:\\D\\a.txt"));
    // Soft outcomes are successes, said only in strict mode.
    EXPECT_TRUE(iiiDeleteFile(FALSE, TRUE, nullptr, "C:\\D\\a.txt", FALSE, &dwErr, "", 2));
    EXPECT_EQ(dwErr, (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Texts(), std::vector<std::string>{"Deleted file: 'C:\\D\\a.txt'"});
    EXPECT_TRUE(iiiDeleteFile(FALSE, TRUE, nullptr, "C:\\No\\a.txt", TRUE, nullptr, "", 2));
    winsim::FailCall("DeleteFileA", ERROR_INVALID_NAME, 1);
    EXPECT_TRUE(iiiDeleteFile(FALSE, TRUE, nullptr, "C:\\D\\<a>", TRUE, nullptr, "", 2));
    EXPECT_TRUE(TextsInOrder({"Delete file not found: 'C:\\No\\a.txt'", "Invalid name: 'C:\\D\\<a>'"}));
    EXPECT_TRUE(fs::PendingRenames().empty());

    // Any other error fails, and the file still goes at restart.
    fs::WriteFile("C:\\D\\b.txt", "x");
    winsim::FailCall("DeleteFileA", ERROR_NOT_READY, 1);
    EXPECT_FALSE(iiiDeleteFile(FALSE, TRUE, nullptr, "C:\\D\\b.txt", FALSE, &dwErr, "", 2));
    EXPECT_EQ(dwErr, (DWORD)ERROR_NOT_READY);
    EXPECT_TRUE(TextsInOrder({"***Delete file error: 21 'C:\\D\\b.txt'",
                              "Stacked file for deletion upon reboot: 'C:\\D\\b.txt'"}));
}

TEST_F(Files, LockedOrDeniedFileCountsOnlyWhenRegisteredForRestart) {
    fs::WriteFile("C:\\D\\locked.dll", "x");
    fs::Lock("C:\\D\\locked.dll");
    DWORD dwErr = 0;
    EXPECT_TRUE(iiiDeleteFile(FALSE, TRUE, nullptr, "C:\\D\\locked.dll", FALSE, &dwErr, "", 2));
    EXPECT_EQ(dwErr, (DWORD)ERROR_SHARING_VIOLATION);
    EXPECT_TRUE(fs::Exists("C:\\D\\locked.dll"));
    EXPECT_TRUE(TextsInOrder({"***Delete file in use: 'C:\\D\\locked.dll'",
                              "Stacked file for deletion upon reboot: 'C:\\D\\locked.dll'"}));
    ASSERT_EQ(fs::PendingRenames().size(), 1u);
    EXPECT_EQ(fs::PendingRenames()[0].from, "C:\\D\\locked.dll");

    fs::WriteFile("C:\\D\\denied.txt", "x");
    fs::DenyAccess("C:\\D\\denied.txt", true);
    EXPECT_TRUE(iiiDeleteFile(FALSE, TRUE, nullptr, "C:\\D\\denied.txt", FALSE, nullptr, "", 2));
    EXPECT_TRUE(HasText("***Delete file access denied: 'C:\\D\\denied.txt'"));

    fs::SetRebootRenames(false, false);
    EXPECT_FALSE(iiiDeleteFile(FALSE, TRUE, nullptr, "C:\\D\\locked.dll", FALSE, nullptr, "", 2));
    EXPECT_FALSE(iiiDeleteFile(FALSE, TRUE, nullptr, "C:\\D\\denied.txt", FALSE, nullptr, "", 2));
    EXPECT_TRUE(HasText("***MoveFileEx error: 5 'C:\\D\\locked.dll'"));
    EXPECT_EQ(fs::PendingRenames().size(), 2u);
}

TEST_F(Files, CountModeOnlyAddsTicks) {
    fs::WriteFile("C:\\D\\a.txt", "x");
    fs::WriteFile("C:\\D\\Sub\\b.txt", "x");
    fs::WriteFile("C:\\D\\Sub\\c.log", "x");
    const std::vector<std::string> before = fs::Tree();
    int iTicks = 7;
    EXPECT_TRUE(iiiDeleteFile(TRUE, TRUE, &iTicks, "C:\\D\\a.txt", TRUE, nullptr, "", 2));
    EXPECT_TRUE(iiiDeleteFile(TRUE, TRUE, nullptr, "C:\\D\\a.txt", TRUE, nullptr, "", 2));
    EXPECT_TRUE(iiiDeleteDir(TRUE, TRUE, &iTicks, "C:\\D\\", TRUE, nullptr, "", 2));
    EXPECT_EQ(iTicks, 200007);
    // A walk counts every file and folder it would remove: 3 files, 2 folders.
    EXPECT_TRUE(iiiDelDirFiles(TRUE, TRUE, &iTicks, "C:\\D\\*", TRUE, TRUE, TRUE, "", 2));
    EXPECT_EQ(iTicks, 700007);
    EXPECT_TRUE(iiiDeleteFile(TRUE, TRUE, &iTicks, "C:\\D\\Sub\\*.log", TRUE, nullptr, "", 2));
    EXPECT_EQ(iTicks, 800007);
    iTicks = INT_MAX - 5;
    EXPECT_TRUE(iiiDeleteFile(TRUE, TRUE, &iTicks, "C:\\D\\a.txt", TRUE, nullptr, "", 2));
    EXPECT_EQ(iTicks, INT_MAX);
    EXPECT_EQ(fs::Tree(), before);
    EXPECT_TRUE(Texts().empty());
    EXPECT_TRUE(iiiDeleteDir(FALSE, FALSE, &iTicks, "C:\\D\\", TRUE, nullptr, "", 2));
    EXPECT_TRUE(fs::Exists("C:\\D"));
}

TEST_F(Files, DelDirFilesDeletesATreeNow) {
    for (const char* p : {"C:\\HX\\web\\a.txt", "C:\\HX\\web\\b.log", "C:\\HX\\web\\sub\\c.txt",
                          "C:\\HX\\web\\sub\\deeper\\d.txt", "C:\\HX\\keep.txt"})
        fs::WriteFile(p, "x");
    EXPECT_TRUE(iiiDelDirFiles(FALSE, TRUE, nullptr, "C:\\HX\\web\\*", TRUE, TRUE, TRUE, "", 2));
    EXPECT_EQ(fs::List("C:\\HX"), std::vector<std::string>{"keep.txt"});
    // Files in reverse order of enumeration, then the subfolders' walks, then the folder itself.
    EXPECT_TRUE(TextsInOrder({"Deleted file: 'C:\\HX\\web\\b.log'", "Deleted file: 'C:\\HX\\web\\a.txt'",
                              "Deleted file: 'C:\\HX\\web\\sub\\c.txt'",
                              "Deleted file: 'C:\\HX\\web\\sub\\deeper\\d.txt'",
                              "Deleted path: 'C:\\HX\\web\\sub\\deeper\\'",
                              "Deleted path: 'C:\\HX\\web\\sub\\'", "Deleted path: 'C:\\HX\\web\\'"}));
}

TEST_F(Files, DelDirFilesPatternsAndFoldersOnly) {
    for (const char* p : {"C:\\T\\a.log", "C:\\T\\a.txt", "C:\\T\\Full\\b.log", "C:\\T\\Full\\b.txt"})
        fs::WriteFile(p, "x");
    fs::MakeDirs("C:\\T\\Empty\\Empty2");
    EXPECT_TRUE(iiiDeleteFile(FALSE, TRUE, nullptr, "C:\\T\\*.log", TRUE, nullptr, "", 2)); // no descent
    EXPECT_TRUE(fs::Exists("C:\\T\\Full\\b.log"));
    EXPECT_TRUE(iiiDelDirFiles(FALSE, TRUE, nullptr, "C:\\T\\*.log", TRUE, FALSE, TRUE, "", 2));
    EXPECT_FALSE(fs::Exists("C:\\T\\Full\\b.log"));
    // Without a pattern only empty folders go; one that still holds a file stays quietly.
    EXPECT_TRUE(iiiDelDirFiles(FALSE, TRUE, nullptr, "C:\\T", FALSE, TRUE, TRUE, "", 2));
    EXPECT_EQ(fs::List("C:\\T"), (std::vector<std::string>{"a.txt", "Full"}));
    EXPECT_FALSE(HasTextContaining("not empty"));
}

TEST_F(Files, DelDirFilesRefusesRootsAndRelativeFolders) {
    fs::WriteFile("C:\\root.txt", "x");
    fs::WriteFile("C:\\Temp\\t.txt", "x");
    const std::vector<std::string> before = fs::Tree();
    struct Case {
        const char* path;
        BOOL pattern;
        const char* line;
    };
    for (const Case& c : std::vector<Case>{
             {"C:\\*", TRUE, "path 'C:', pattern '*', dirs 1, FilePaths 1"},
             {"\\*", TRUE, "path '', pattern '*', dirs 1, FilePaths 1"},
             {"C:\\", FALSE, "path 'C:', pattern '', dirs 1, FilePaths 0"},
             {"Temp\\*", TRUE, "path 'Temp', pattern '*', dirs 1, FilePaths 1"},
             {"\\Temp\\*", TRUE, "path '\\Temp', pattern '*', dirs 1, FilePaths 1"},
             {"C:\\Temp\\..\\*", TRUE, "path 'C:\\Temp\\..', pattern '*', dirs 1, FilePaths 1"},
             {"C:\\Temp\\. .", FALSE, "path 'C:\\Temp\\. .', pattern '', dirs 1, FilePaths 0"},
             {"\\\\server\\share\\*", TRUE, "path '\\\\server\\share', pattern '*', dirs 1, FilePaths 1"},
         }) {
        EXPECT_FALSE(iiiDelDirFiles(FALSE, TRUE, nullptr, c.path, c.pattern, TRUE, TRUE, "", 2)) << c.path;
        EXPECT_TRUE(HasText(std::string("***Invalid file pattern; ") + c.line)) << c.path;
    }
    EXPECT_TRUE(iiiDelDirFiles(FALSE, TRUE, nullptr, "\\\\server\\share\\dir\\*", TRUE, TRUE, TRUE, "", 2));
    std::string tooLong = "C:\\Temp\\" + std::string(260, 'x') + "\\*";
    EXPECT_FALSE(iiiDelDirFiles(FALSE, TRUE, nullptr, tooLong.c_str(), TRUE, FALSE, FALSE, "", 2));
    EXPECT_TRUE(HasTextContaining("***Invalid file pattern; path '" + tooLong + "', pattern ''"));
    EXPECT_EQ(fs::Tree(), before);
}

TEST_F(Files, DelDirFilesEnumerationErrors) {
    fs::WriteFile("C:\\D\\a.txt", "x");
    fs::WriteFile("C:\\D\\Sub\\b.txt", "x");
    // Access denied to the folder's files: its subfolders are left alone, no failure.
    winsim::FailCall("FindFirstFileA", ERROR_ACCESS_DENIED, 1, "C:\\D\\*.txt");
    EXPECT_TRUE(iiiDelDirFiles(FALSE, TRUE, nullptr, "C:\\D\\*.txt", TRUE, FALSE, TRUE, "", 2));
    EXPECT_TRUE(fs::Exists("C:\\D\\Sub\\b.txt"));
    EXPECT_FALSE(HasTextContaining("FindFirstFile"));

    winsim::FailCall("FindFirstFileA", ERROR_NOT_READY, 1);
    EXPECT_FALSE(iiiDelDirFiles(FALSE, TRUE, nullptr, "C:\\D\\*.txt", TRUE, FALSE, FALSE, "", 2));
    EXPECT_TRUE(HasText("***FindFirstFile(6) error 21, path 'C:\\D\\*.txt'"));
    winsim::FailCall("FindFirstFileA", ERROR_NOT_READY, 1);
    EXPECT_FALSE(iiiDelDirFiles(FALSE, TRUE, nullptr, "C:\\D", FALSE, FALSE, TRUE, "", 2));
    EXPECT_TRUE(HasText("***FindFirstFile(7) error 21, path 'C:\\D\\*'"));
    EXPECT_TRUE(fs::Exists("C:\\D\\a.txt"));
}

TEST_F(Files, DeleteDirMissingNotEmptyAndErrors) {
    DWORD dwErr = 0;
    EXPECT_TRUE(iiiDeleteDir(FALSE, TRUE, nullptr, "C:\\Nope\\", FALSE, &dwErr, "", 2));
    EXPECT_EQ(dwErr, (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(Texts().empty());
    EXPECT_FALSE(iiiDeleteDir(FALSE, TRUE, nullptr, "C:\\Nope\\", TRUE, nullptr, "", 2));
    EXPECT_EQ(Texts(),
              (std::vector<std::string>{kBanner1, kBanner2, "***Delete path not found: 'C:\\Nope\\'"}));

    fs::WriteFile("C:\\Full\\f.txt", "x");
    EXPECT_TRUE(iiiDeleteDir(FALSE, TRUE, nullptr, "C:\\Full", FALSE, &dwErr, "", 2));
    EXPECT_EQ(dwErr, (DWORD)ERROR_DIR_NOT_EMPTY);
    EXPECT_FALSE(iiiDeleteDir(FALSE, TRUE, nullptr, "C:\\Full", TRUE, nullptr, "", 2));
    EXPECT_TRUE(HasText("***Delete path not empty: 'C:\\Full'"));

    fs::MakeDirs("C:\\E");
    for (DWORD e : {ERROR_INVALID_NAME, ERROR_ACCESS_DENIED, ERROR_NOT_READY}) {
        winsim::FailCall("RemoveDirectoryA", e, 1);
        EXPECT_EQ(iiiDeleteDir(FALSE, TRUE, nullptr, "C:\\E", FALSE, &dwErr, "", 2),
                  (BOOL)(e == ERROR_INVALID_NAME));
        EXPECT_EQ(dwErr, e);
    }
    EXPECT_FALSE(HasTextContaining("not valid"));
    EXPECT_TRUE(TextsInOrder({"***Delete path access denied: 'C:\\E'", "***Delete path error: 21 'C:\\E'"}));
    winsim::FailCall("RemoveDirectoryA", ERROR_INVALID_NAME, 1);
    EXPECT_FALSE(iiiDeleteDir(FALSE, TRUE, nullptr, "C:\\E", TRUE, nullptr, "", 2));
    EXPECT_TRUE(HasText("***Delete path not valid: 'C:\\E'"));
}

TEST_F(Files, DeleteDirWaitsForAFolderInUse) {
    fs::MakeDirs("C:\\Busy");
    fs::Lock("C:\\Busy");
    winsim::AtTime(3000, [] { fs::Unlock("C:\\Busy"); });
    EXPECT_TRUE(iiiDeleteDir(FALSE, TRUE, nullptr, "C:\\Busy", FALSE, nullptr, "", 2));
    EXPECT_EQ(winsim::NowMs(), 3000u);
    std::vector<std::string> texts = Texts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "Delete path in use; waiting: 'C:\\Busy'"), 3);
    EXPECT_EQ(texts.back(), "Deleted path: 'C:\\Busy'");
    EXPECT_FALSE(fs::Exists("C:\\Busy"));

    // Held for good: twenty tries, then a failure.
    fs::MakeDirs("C:\\Held");
    fs::Lock("C:\\Held");
    DWORD dwErr = 0;
    EXPECT_FALSE(iiiDeleteDir(FALSE, TRUE, nullptr, "C:\\Held", FALSE, &dwErr, "", 2));
    EXPECT_EQ(dwErr, (DWORD)ERROR_SHARING_VIOLATION);
    EXPECT_EQ(winsim::NowMs(), 23000u);
    texts = Texts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "Delete path in use; waiting: 'C:\\Held'"), 20);
    EXPECT_EQ(texts.back(), "***Delete path in use: 'C:\\Held'");
}

TEST_F(Files, DeleteEmptyFolderOutcomes) {
    fs::MakeDirs("C:\\E");
    fs::WriteFile("C:\\Full\\f.txt", "x");
    EXPECT_TRUE(DeleteEmptyFolder("C:\\E"));
    EXPECT_TRUE(DeleteEmptyFolder("C:\\E"));
    EXPECT_TRUE(DeleteEmptyFolder("C:\\Full"));
    fs::Lock("C:\\Full");
    EXPECT_FALSE(DeleteEmptyFolder("C:\\Full"));
    winsim::FailCall("RemoveDirectoryA", ERROR_INVALID_NAME, 1);
    EXPECT_FALSE(DeleteEmptyFolder("C:\\<x>"));
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Deleted path: 'C:\\E'", "Delete path not found: 'C:\\E'",
                                                 "Delete path not empty: 'C:\\Full'", kBanner1, kBanner2,
                                                 "***Delete path in use: 'C:\\Full'", kBanner1, kBanner2,
                                                 "***Delete path not valid: 'C:\\<x>'"}));
}

TEST_F(Files, DeletingNowShowsEachItemInTheDeferredScript) {
    fs::WriteFile("C:\\D\\a.txt", "x");
    winsim::msi::SetProperty("iwiStackCleanUpFinal", "");
    winsim::msi::EnterDeferred("iwiStackCleanUpFinal");
    EXPECT_TRUE(iiiDelDirFiles(FALSE, TRUE, nullptr, "C:\\D\\*", TRUE, TRUE, FALSE, "", 2));
    winsim::msi::LeaveDeferred();
    std::vector<std::string> shown;
    for (const winsim::msi::Message& m : winsim::msi::Messages()) {
        if (m.type == INSTALLMESSAGE_ACTIONDATA)
            shown.push_back("data " + m.fields.at(1));
        else if (m.type == INSTALLMESSAGE_PROGRESS)
            shown.push_back("bar " + m.fields.at(1) + " " + m.fields.at(2));
    }
    EXPECT_EQ(shown, (std::vector<std::string>{"data C:\\D\\a.txt", "bar 2 100000", "data C:\\D\\",
                                               "bar 2 100000"}));
}

} // namespace

namespace {

// The RemoveFile rows added, as "FileName | DirProperty's folder | InstallMode".
std::vector<std::string> StackedRows() {
    std::vector<std::string> out;
    for (const winsim::msi::Row& row : winsim::msi::Rows("RemoveFile"))
        out.push_back(row.fields[2].s + " | " + winsim::msi::Property(row.fields[3].s).value_or("?") + " | " +
                      std::to_string(row.fields[4].i));
    return out;
}

TEST_F(Files, StackModeAddsRowsForWhatExists) {
    winsim::msi::DefineStandardTable("RemoveFile");
    fs::WriteFile("C:\\HX\\web\\a.txt", "x");
    fs::WriteFile("C:\\HX\\web\\sub\\b.txt", "x");
    EXPECT_TRUE(iiiDeleteFile(TRUE, FALSE, nullptr, "C:\\HX\\web\\a.txt", TRUE, nullptr, "Comp", 1));
    EXPECT_TRUE(iiiDeleteFile(FALSE, FALSE, nullptr, "C:\\HX\\web\\gone.txt", TRUE, nullptr, "Comp", 1));
    EXPECT_TRUE(iiiDeleteDir(FALSE, FALSE, nullptr, "C:\\HX\\web\\", TRUE, nullptr, "Comp", 1)); // nothing
    EXPECT_EQ(StackedRows(), std::vector<std::string>{"a.txt | C:\\HX\\web | 1"});

    // A walk: each folder's files, its subfolders' rows, then its own row.
    EXPECT_TRUE(iiiDelDirFiles(TRUE, FALSE, nullptr, "C:\\HX\\web\\*", TRUE, TRUE, TRUE, "Comp", 2));
    EXPECT_EQ(StackedRows(), (std::vector<std::string>{"a.txt | C:\\HX\\web | 1", "a.txt | C:\\HX\\web | 2",
                                                       "b.txt | C:\\HX\\web\\sub | 2",
                                                       " | C:\\HX\\web\\sub | 2", " | C:\\HX\\web | 2"}));
    EXPECT_TRUE(fs::Exists("C:\\HX\\web\\sub\\b.txt"));

    // A row that cannot be added fails the item.
    winsim::FailCall("MsiViewModify", ERROR_FUNCTION_FAILED);
    EXPECT_FALSE(iiiDeleteFile(FALSE, FALSE, nullptr, "C:\\HX\\web\\a.txt", TRUE, nullptr, "Comp", 2));
    EXPECT_FALSE(iiiDeleteDir(TRUE, FALSE, nullptr, "C:\\HX\\web\\", TRUE, nullptr, "Comp", 2));
    EXPECT_FALSE(iiiDelDirFiles(TRUE, FALSE, nullptr, "C:\\HX\\web\\*", TRUE, FALSE, FALSE, "Comp", 2));
}

} // namespace
