// The final settings: registry flags through reg.exe, the environment broadcast and reboot
// request, ZEBBOOT, ARPREADME, ZEBREMOVE, the cluster resource type and the admin image files.
#include "zebilogn.h"
#include "zebiwicnSimpleCA.h"
#include "zebtest.h"

namespace {

namespace fs = winsim::fs;
namespace msi = winsim::msi;
using winsim::proc::Behaviour;

const char kCode[] = "{11111111-2222-3333-4444-555555555555}";
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

class FinalSettings : public ZebTest {
  protected:
    static std::vector<winsim::proc::Process> Started() { return winsim::proc::Processes(); }
    static std::string State(const char* feature) {
        auto f = msi::Feature(feature);
        return f ? std::to_string(f->second) : "?";
    }
};

// ---- iwiFinalizeRegistry -------------------------------------------------------------------------

TEST_F(FinalSettings, FinalizeRegistryRunsBothRegCommandsFromVistaOnAndNoneBefore) {
    winsim::reg::CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Hexline");
    msi::SetProperty("ProductCode", kCode);
    EXPECT_EQ(iwiFinalizeRegistry(h), ZEB_RC_SUCCESS);
    ASSERT_EQ(Started().size(), 2u);
    EXPECT_EQ(Started()[0].start.program, "C:\\Windows\\System32\\reg.exe");
    EXPECT_EQ(Started()[0].start.parameters,
              "FLAGS \"HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Hexline\" set DONT_VIRTUALIZE /s");
    const std::string add = std::string("ADD \"HKEY_LOCAL_MACHINE\\") + kUninstallKey + kCode +
                            "\"  /v NoModify /t REG_DWORD /d \"1\" /f";
    EXPECT_EQ(Started()[1].start.parameters, add);
    EXPECT_EQ(Started()[1].start.show, SW_HIDE);
    EXPECT_TRUE(HasText(
        "Disabling \"Change\" in ADD\\REMOVE PROGRAMS by setting the following registry flag: " + add));
    auto v = winsim::reg::GetValue(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + kCode, "NoModify");
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(v->type, (DWORD)REG_DWORD);

    // The status is the second launch's: a first failure does not count, a second does.
    Reload(true);
    winsim::FailCall("ShellExecuteExA", ERROR_FILE_NOT_FOUND, 1);
    EXPECT_EQ(iwiFinalizeRegistry(h), ZEB_RC_SUCCESS);
    Reload(true);
    winsim::FailCall("ShellExecuteExA", ERROR_FILE_NOT_FOUND, 2);
    EXPECT_EQ(iwiFinalizeRegistry(h), ZEB_RC_FAILURE);

    // No product code: the key would end in an escaped quote, so no ADD.
    Reload(true);
    msi::RemoveProperty("ProductCode");
    size_t before = Started().size();
    EXPECT_EQ(iwiFinalizeRegistry(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Started().size(), before + 1);
    EXPECT_TRUE(HasTextContaining("***No product code"));

    Reload(true);
    winsim::WindowsVersion server2003;
    server2003.major = 5;
    server2003.minor = 2;
    winsim::SetWindowsVersion(server2003);
    before = Started().size();
    EXPECT_EQ(iwiFinalizeRegistry(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Started().size(), before);
    EXPECT_TRUE(HasText("Windows version is earlier than Vista so no need to set the DONT_VIRTUALIZE flag on "
                        "the HX registry entry"));
    EXPECT_EQ(RunDeferred(iwiFinalizeRegistry, "", MSIRUNMODE_COMMIT), ZEB_RC_FAILURE);
}

// ---- iwiSetEnvironment and iwiSetZebBoot -----------------------------------------------------------

TEST_F(FinalSettings, SetEnvironmentAsksForARebootOnlyForARemovalWithTheMarkerAndNoBypass) {
    fs::WriteFile("C:\\Temp\\zebreboot.txt", "");
    SetProps({{"ZEBTEMP", "C:\\Temp\\"}, {"ZEBREMOVE", "1"}, {"ZEBBYPASSREBOOTCHECK", "1"}});
    EXPECT_EQ(iwiSetEnvironment(h), ZEB_RC_SUCCESS);
    EXPECT_FALSE(msi::Mode(MSIRUNMODE_REBOOTATEND));
    ASSERT_FALSE(winsim::Events().empty());
    EXPECT_TRUE(TextsInOrder({"broadcasting environment update message", "Broadcast successful"}));

    msi::RemoveProperty("ZEBBYPASSREBOOTCHECK");
    EXPECT_EQ(iwiSetEnvironment(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(msi::Mode(MSIRUNMODE_REBOOTATEND));
    EXPECT_EQ(iwiSetZebBoot(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("Reboot is scheduled"));
    EXPECT_EQ(Read("ZEBBOOT"), "1");

    // Deferred, Windows refuses the mode (Wine takes it): said, not lost silently.
    msi::SetMode(MSIRUNMODE_REBOOTATEND, false);
    EXPECT_EQ(RunDeferred(iwiSetEnvironment, "ZEBREMOVE=1;ZEBTEMP=C:\\Temp;"), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("***MsiSetMode(MSIRUNMODE_REBOOTATEND) failed rc=6"));
    EXPECT_FALSE(msi::Mode(MSIRUNMODE_REBOOTATEND));

    // A hung window: the whole 10 s, traced, and the action still succeeds.
    winsim::FailCall("SendMessageTimeoutA", ERROR_TIMEOUT);
    uint64_t start = winsim::NowMs();
    EXPECT_EQ(iwiSetEnvironment(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(winsim::NowMs() - start, 10000u);
    EXPECT_TRUE(TextsInOrder({"***Broadcast failure",
                              "***Broadcast of environment change message failed rc=1460 (ERROR_TIMEOUT)"}));
}

TEST_F(FinalSettings, ZebBootFollowsReplacedFilesAndIsRefusedInRollback) {
    EXPECT_EQ(iwiSetZebBoot(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Read("ZEBBOOT"), "");
    EXPECT_TRUE(HasText("Executing in script generation"));
    EXPECT_FALSE(HasText("Reboot is scheduled"));
    msi::SetProperty("ReplacedInUseFiles", "1");
    EXPECT_EQ(iwiSetZebBoot(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Read("ZEBBOOT"), "1");
    EXPECT_EQ(RunRollbackAsWine(iwiSetZebBoot, ""), ZEB_RC_FAILURE);
}

// ---- iwiSetARPREADME ---------------------------------------------------------------------------

TEST_F(FinalSettings, ArpReadmeIsTheMediaReadme) {
    fs::AddDrive('D', 5, "HXMEDIA");
    SetProps({{"SourceDir", "D:\\windows\\server\\"}, {"ZEBLANGUAGECODE", "a"}});
    fs::WriteFile("D:\\windows\\readmes\\en_us\\readme.txt", "r");
    EXPECT_EQ(iwiSetARPREADME(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Read("ARPREADME"), "D:\\windows\\readmes\\en_us\\readme.txt");
    EXPECT_TRUE(HasText("Readme path 'D:\\windows\\readmes\\en_us\\readme.txt' (found)"));
}

// ---- iwiSetZebRemove ---------------------------------------------------------------------------

TEST_F(FinalSettings, ZebRemoveFromFeatureStatesRemoveAllAndASilentRemoval) {
    msi::DefineFeatures({{"Server", INSTALLSTATE_LOCAL, INSTALLSTATE_UNKNOWN},
                         {"Client", INSTALLSTATE_ABSENT, INSTALLSTATE_ABSENT}});
    SetProps({{"Installed", "1"}, {"ZEBCLIENT", ""}, {"ZEBPRODUCT", "server"}, {"VersionNT", "1000"}});
    EXPECT_EQ(iwiSetZebRemove(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Read("ZEBREMOVE"), "0");
    EXPECT_TRUE(HasText("'Server' Installed: 3 Action: -1"));

    // REMOVE=All wins over a feature still selected; the user chose it in the dialogs.
    Reload(true);
    SetProps({{"REMOVE", "All"}, {"ZEBUISEQ", "1"}});
    EXPECT_EQ(iwiSetZebRemove(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Read("ZEBREMOVE"), "1");
    EXPECT_STREQ(UiSeqValue(), "1");
    EXPECT_EQ(State("Server"), "-1");

    // Not chosen in the dialogs: level 0 and every feature absent.
    Reload(true);
    msi::SetProperty("ZEBUISEQ", "");
    EXPECT_EQ(iwiSetZebRemove(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Read("INSTALLLEVEL"), "0");
    EXPECT_EQ(State("Server"), "2");
    EXPECT_EQ(State("Client"), "2");
    EXPECT_STREQ(UiSeqValue(), "");

    // A state that cannot be read counts as present; a patch leaves ZEBREMOVE alone.
    Reload(true);
    msi::RemoveProperty("REMOVE");
    msi::DefineFeatures({{"Server", INSTALLSTATE_ABSENT, INSTALLSTATE_ABSENT}});
    winsim::FailCall("MsiGetFeatureStateA", ERROR_INVALID_HANDLE, 0, "Server");
    EXPECT_EQ(iwiSetZebRemove(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Read("ZEBREMOVE"), "0");
    EXPECT_TRUE(HasText("Error 6 from MsiGetFeatureState(Server)"));
    Reload(true);
    SetProps({{"ZEBREMOVE", "x"}, {"PATCH", "C:\\fix.msp"}});
    EXPECT_EQ(iwiSetZebRemove(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Read("ZEBREMOVE"), "x");
}

TEST_F(FinalSettings, ZebRemoveAsksToReapplyServiceOnlyWhenAValidLevelIsAboveTheShippedOne) {
    SetProps({{"Installed", "1"}, {"ZEBINSTALLINSTANCENAME", "Inst1"}});
    msi::DefineFeatures({{"Server", INSTALLSTATE_LOCAL, INSTALLSTATE_UNKNOWN},
                         {"Client", INSTALLSTATE_ABSENT, INSTALLSTATE_LOCAL}});
    AddInstallation({.name = "Inst1",
                     .vrmf = "9.4.0.7",
                     .folder = "C:\\HX1",
                     .shipped = "0.0",
                     .maintenance = {{"0.7", "C:\\HX1\\maint\\0.7", false}}});
    EXPECT_EQ(iwiSetZebRemove(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Read("ZEBREAPPLYSERVICE"), "");
    fs::WriteFile("C:\\HX1\\maint\\0.7\\Valid.csd", "");
    EXPECT_EQ(iwiSetZebRemove(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Read("ZEBREAPPLYSERVICE"), "9.4.0.7");
}

// ---- iwiServerClusterSupport -------------------------------------------------------------------

TEST_F(FinalSettings, ClusterToolRunsOnEnterpriseEditionsOnlyWhenPresent) {
    msi::SetProperty("ZEBPGMFOLDER", "C:\\HX\\");
    winsim::proc::InstallProgram("C:\\HX\\bin64\\haregtyp.exe", Behaviour::Exits(0));
    EXPECT_EQ(iwiServerClusterSupport(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("Not an Enterprise version of Windows, so no need to set up the MSCS environment"));
    EXPECT_TRUE(Started().empty());

    winsim::WindowsVersion enterprise;
    enterprise.suiteMask = 0x2; // VER_SUITE_ENTERPRISE
    enterprise.productType = 3;
    winsim::SetWindowsVersion(enterprise);
    msi::SetProperty("ZEBREMOVE", "1");
    EXPECT_EQ(iwiServerClusterSupport(h), ZEB_RC_SUCCESS);
    ASSERT_EQ(Started().size(), 1u);
    EXPECT_EQ(Started()[0].start.parameters, "/u");
    EXPECT_EQ(Started()[0].start.show, SW_HIDE);

    fs::Remove("C:\\HX\\bin64\\haregtyp.exe");
    EXPECT_EQ(iwiServerClusterSupport(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("Skipping haregtyp call as haregtyp.exe not found"));
    EXPECT_EQ(Started().size(), 1u);
}

// ---- iwiDirectCopyAdminFiles -------------------------------------------------------------------

class AdminFiles : public FinalSettings {
  protected:
    void SetUp() override {
        FinalSettings::SetUp();
        fs::AddDrive('D', 3, "");
        fs::AddDrive('E', 3, "");
        for (const char* f :
             {"HXLaunch.exe", "Response.ini", "setup.exe", "sethxipw.exe", "guide.pdf", "a.sms",
              "Prereqs\\x\\p.txt", "Readmes\\r.txt", "server\\hx.msi", "server\\t.mst"})
            fs::WriteFile(std::string("D:\\media\\") + f, "m");
    }
    static constexpr const char* kValues =
        "SourceDir=D:\\media\\server\\;TARGETDIR=E:\\image\\server\\;ZEBPRODUCT=server;VersionNT=1000;";
};

TEST_F(AdminFiles, CopyInOrderGoesOnAfterAFailureAndClientsSkipThePasswordTool) {
    fs::MakeDirs("E:\\image\\server");
    winsim::FailCall("CopyFileExA", ERROR_ACCESS_DENIED, 1);
    EXPECT_EQ(RunDeferred(iwiDirectCopyAdminFiles, kValues), ZEB_RC_FAILURE);
    EXPECT_TRUE(
        TextsInOrder({"Deferred execution", "Copying pattern 'HX*' from 'D:\\media\\' to 'E:\\image\\'",
                      "Copying pattern 'Response*' from 'D:\\media\\' to 'E:\\image\\'",
                      "Copying 'setup.exe' from 'D:\\media\\' to 'E:\\image\\'",
                      "Copying 'sethxipw.exe' from 'D:\\media\\' to 'E:\\image\\'",
                      "Copying pattern '*.pdf' from 'D:\\media\\' to 'E:\\image\\'",
                      "Copying pattern '*.sms' from 'D:\\media\\' to 'E:\\image\\'",
                      "Copying pattern '*.*' from tree 'D:\\media\\Prereqs\\' to 'E:\\image\\Prereqs\\'",
                      "Copying pattern '*.mst' from 'D:\\media\\server\\' to 'E:\\image\\server\\'"}));
    EXPECT_FALSE(fs::Exists("E:\\image\\HXLaunch.exe")); // the failed one
    EXPECT_TRUE(fs::Exists("E:\\image\\Prereqs\\x\\p.txt"));
    EXPECT_TRUE(fs::Exists("E:\\image\\server\\t.mst"));

    Reload(true);
    EXPECT_EQ(RunDeferred(iwiDirectCopyAdminFiles, kValues + std::string("ZEBCLIENT=1;")), ZEB_RC_SUCCESS);
    EXPECT_FALSE(HasTextContaining("sethxipw.exe"));
}

TEST_F(AdminFiles, RollbackDeletesOnlyWhatTheMediaHasAndNothingBesideARoot) {
    for (const char* f : {"setup.exe", "HXLaunch.exe", "notes.pdf", "guide.pdf", "Prereqs\\x\\p.txt",
                          "Prereqs\\own.txt", "server\\t.mst"})
        fs::WriteFile(std::string("E:\\image\\") + f, "c");
    EXPECT_EQ(RunRollbackAsWine(iwiDirectCopyAdminFiles, kValues), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("Executing in rollback"));
    EXPECT_FALSE(HasText("Deferred execution"));
    for (const char* f : {"setup.exe", "HXLaunch.exe", "guide.pdf", "Prereqs\\x\\p.txt", "server\\t.mst"})
        EXPECT_FALSE(fs::Exists(std::string("E:\\image\\") + f)) << f;
    EXPECT_FALSE(fs::Exists("E:\\image\\Prereqs\\x"));
    EXPECT_TRUE(fs::Exists("E:\\image\\notes.pdf"));
    EXPECT_TRUE(fs::Exists("E:\\image\\Prereqs\\own.txt"));

    Reload(true);
    fs::WriteFile("E:\\setup.exe", "c");
    EXPECT_EQ(RunRollbackAsWine(iwiDirectCopyAdminFiles, "SourceDir=D:\\media\\server;TARGETDIR=E:\\;"),
              ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("***No parent folder of 'E:'"));
    EXPECT_TRUE(fs::Exists("E:\\setup.exe"));
}

} // namespace
