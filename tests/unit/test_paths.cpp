// Path tidy-up and existence helpers.
#include "zebtest.h"

namespace {

using Paths = ZebTest;

std::string Normalized(const std::string& in, BOOL sep) {
    char buf[ZEB_CCH_PATH];
    lstrcpynA(buf, in.c_str(), sizeof(buf));
    return NormalizePath(sep, buf);
}

TEST(NormalizePathCases, TidiesQuotesBlanksAndSeparators) {
    EXPECT_EQ(Normalized("  \"C:\\Program Files\\HX\\\"  ", FALSE), "C:\\Program Files\\HX");
    EXPECT_EQ(Normalized("C:\\\\a\\\\\\b", TRUE), "C:\\a\\b\\");
    EXPECT_EQ(Normalized("\\\\server\\\\share\\", FALSE), "\\\\server\\share");
    EXPECT_EQ(Normalized("C:\\a\\", TRUE), "C:\\a\\");
    EXPECT_EQ(Normalized("   ", TRUE), "");
    EXPECT_EQ(Normalized("\"", FALSE), "");
    EXPECT_EQ(Normalized("\"C:\\x", FALSE), "C:\\x");
    EXPECT_EQ(Normalized("C:\\", FALSE), "C:");
}

TEST_F(Paths, CreateFolderPathCreatesPartsEndingAtBackslash) {
    EXPECT_FALSE(CreateFolderPath("C:\\A\\B\\C"));
    EXPECT_TRUE(winsim::fs::IsDir("C:\\A\\B"));
    EXPECT_FALSE(winsim::fs::Exists("C:\\A\\B\\C"));
    EXPECT_TRUE(HasText("Created 'C:\\A'"));
    EXPECT_TRUE(HasText("Created 'C:\\A\\B'"));
    EXPECT_TRUE(CreateFolderPath("C:\\A\\B\\"));
    EXPECT_FALSE(CreateFolderPath("C:\\A\\B\\C\\"));
    winsim::fs::WriteFile("C:\\F", "file in the way");
    EXPECT_TRUE(CreateFolderPath("C:\\F\\G\\"));
    EXPECT_FALSE(HasText("Couldn't create 'C:\\F' 183"));
    EXPECT_TRUE(HasText("Couldn't create 'C:\\F\\G' 3"));
}

TEST_F(Paths, FileExistsWantsAFileOfExactlyThatName) {
    winsim::fs::WriteFile("C:\\Dir\\Name.txt", "x");
    EXPECT_TRUE(FileExists("c:\\dir\\NAME.TXT"));
    EXPECT_FALSE(FileExists("C:\\Dir"));
    EXPECT_FALSE(FileExists("Name.txt"));
    EXPECT_FALSE(FileExists("C:\\Dir\\Name.tx?"));
    EXPECT_FALSE(FileExists("C:\\Nowhere\\Name.txt"));
    EXPECT_TRUE(Texts().empty());
    EXPECT_TRUE(IsFileFound("C:\\Dir\\Name.txt"));
    EXPECT_FALSE(IsFileFound("C:\\Dir\\Other.txt"));
    EXPECT_EQ(Texts(),
              (std::vector<std::string>{"Found 'C:\\Dir\\Name.txt'", "Can't find 'C:\\Dir\\Other.txt'"}));
    winsim::FailCall("FindFirstFileA", ERROR_ACCESS_DENIED);
    EXPECT_FALSE(FileExists("C:\\Dir\\Name.txt"));
    EXPECT_TRUE(HasText("***FindFirstFile(1) error 5, path 'C:\\Dir\\Name.txt'"));
}

TEST_F(Paths, TryCreateNewFileLeavesExistingFileAlone) {
    winsim::fs::WriteFile("C:\\Temp\\a.txt", "keep");
    EXPECT_FALSE(TryCreateNewFile("C:\\Temp\\a.txt"));
    EXPECT_EQ(File("C:\\Temp\\a.txt"), "keep");
    EXPECT_TRUE(TryCreateNewFile("C:\\Temp\\b.txt"));
    EXPECT_FALSE(winsim::fs::Exists("C:\\Temp\\b.txt"));
    EXPECT_FALSE(TryCreateNewFile("C:\\NoFolder\\b.txt"));
    EXPECT_EQ(Texts(), (std::vector<std::string>{"'C:\\Temp\\a.txt' already exists",
                                                 "Allocated 'C:\\Temp\\b.txt'", kBanner1, kBanner2,
                                                 "***Error 3 (0x00000003) creating 'C:\\NoFolder\\b.txt'"}));
}

TEST_F(Paths, DirectoryAndFolderTests) {
    winsim::fs::WriteFile("C:\\Data\\Sub\\f.txt", "x");
    winsim::fs::MakeDirs("C:\\Data\\Empty");
    char path[ZEB_CCH_PATH] = "C:\\data\\SUB\\";
    EXPECT_TRUE(IsExistingDirectory(path));
    EXPECT_STREQ(path, "C:\\data\\SUB");
    char file[ZEB_CCH_PATH] = "C:\\Data\\Sub\\f.txt";
    EXPECT_FALSE(IsExistingDirectory(file));
    EXPECT_TRUE(HasText("Found file: 'f.txt'"));
    EXPECT_TRUE(IsFolderEmpty("C:\\Data\\Empty"));
    EXPECT_TRUE(IsFolderEmpty("C:\\Data\\Missing"));
    EXPECT_FALSE(IsFolderEmpty("C:\\Data"));

    char name[ZEB_CCH_PATH] = "";
    EXPECT_TRUE(FindFirstFileName("C:\\Data\\Sub\\*.txt", name, sizeof(name)));
    EXPECT_STREQ(name, "f.txt");
    EXPECT_FALSE(FindFirstFileName("C:\\Data\\Sub\\*.log", name, sizeof(name)));
    EXPECT_FALSE(FindFirstFileName("C:\\Data\\Nope\\*.log", nullptr, 0));
    EXPECT_TRUE(HasText("File not found: 'C:\\Data\\Sub\\*.log'"));
    EXPECT_TRUE(HasText("Path not found:: 'C:\\Data\\Nope\\*.log'"));
}

std::string Parent(BOOL sep, const std::string& in) {
    char buf[ZEB_CCH_PATH];
    lstrcpynA(buf, in.c_str(), sizeof(buf));
    return GetParentFolder(sep, buf);
}

TEST_F(Paths, ParentFolderWithAndWithoutSeparator) {
    EXPECT_EQ(Parent(TRUE, "\"C:\\Data\\Sub\\\""), "C:\\Data\\");
    EXPECT_EQ(Parent(FALSE, "C:\\Data\\Sub"), "C:\\Data");
    EXPECT_EQ(Parent(TRUE, "\\x.txt"), "\\");
    EXPECT_EQ(Parent(FALSE, "\\x.txt"), "");
    EXPECT_EQ(Parent(TRUE, "x.txt"), "x.txt\\");
    EXPECT_EQ(Parent(TRUE, ""), "");
    EXPECT_EQ(Texts(), (std::vector<std::string>{"parent directory is 'C:\\Data\\'",
                                                 "parent directory is 'C:\\Data'", "parent directory is '\\'",
                                                 "parent directory is ''", "parent directory is 'x.txt\\'"}));
}

} // namespace
