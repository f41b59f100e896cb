// Launch actions at the end of an installation: the wizard or the service and taskbar, the
// decision before it, the product's tools, the readme and the launchpad.
#include "zebtest.h"

#include "zebiwicnLaunch.h"

#include <cstring>

namespace {

using winsim::proc::Behaviour;
using winsim::svc::Service;

const char kProduct[] = "{6B2F6C4E-1111-4A6B-9E3A-2B6C7D8E9F01}";
const char kWizard[] = "C:\\HX\\bin64\\zebmjpse.exe";

class LaunchActions : public ZebTest {
  protected:
    void SetUp() override {
        ZebTest::SetUp();
        SetProps({{"ZEBPGMFOLDER", "C:\\HX\\"},
                  {"ZEBDATFOLDER", "C:\\HXData"},
                  {"ZEBTEMP", "C:\\Temp"},
                  {"ZEBTEMPFILENUM", "0001"},
                  {"ZEBINSTALLINSTANCENAME", "Inst1"},
                  {"ProductCode", kProduct}});
        winsim::fs::MakeDirs("C:\\HXData");
        winsim::proc::InstallProgram(kWizard);
    }
    static void ServerInstalled() {
        winsim::msi::AddProduct(kProduct, "{UPGRADE}");
        winsim::msi::SetProductFeature(kProduct, "Server", INSTALLSTATE_LOCAL);
    }
    static std::vector<winsim::proc::Process> Started() { return winsim::proc::Processes(); }
};

TEST_F(LaunchActions, SilentWizardWithoutItsParameterFileTracesIntoTheDataFolder) {
    ServerInstalled();
    SetProps({{"UILevel", "2"}, {"LAUNCHWIZ", "1"}, {"WIZPARMFILE", "C:\\Temp\\wiz.txt"}});
    EXPECT_EQ(iwiTestAndLaunchConfig(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(TextsInOrder({"Reboot not required", "'Server' Installed: 3",
                              "Launching prep wizard: 'C:\\HX\\bin64\\zebmjpse.exe'",
                              "***Can't find wizard parm file 'C:\\Temp\\wiz.txt'",
                              "Launching HX Prep Wizard with cmd: \"C:\\HX\\bin64\\zebmjpse.exe\" \"-s\""}));
    ASSERT_EQ(Started().size(), 1u);
    EXPECT_EQ(Started()[0].start.parameters, "-s");
    EXPECT_NE(File("C:\\HXData\\zebmjpse.txt").find("Launching prep wizard"), std::string::npos);

    // With the file and a security setting: quoted, in order.
    winsim::fs::WriteFile("C:\\Temp\\wiz file.txt", "x");
    SetProps({{"WIZPARMFILE", "C:\\Temp\\wiz file.txt"}, {"ZEBNCSEC", "TLS"}});
    EXPECT_EQ(iwiTestAndLaunchConfig(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Started().back().start.parameters, "-s -p \"C:\\Temp\\wiz file.txt\" -dTLS");
}

TEST_F(LaunchActions, RestartPendingSchedulesTheWizardInsteadOfStartingIt) {
    ServerInstalled();
    SetProps({{"UILevel", "2"}, {"LAUNCHWIZ", "yes"}, {"ZEBBOOT", "1"}});
    EXPECT_EQ(iwiTestAndLaunchConfig(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(Started().empty());
    auto value = winsim::reg::GetValue(HKEY_LOCAL_MACHINE, ZEB_RUNONCE_KEY, "HXPrepWiz");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, (DWORD)REG_SZ);
    EXPECT_EQ(value->data, std::string("\"C:\\HX\\bin64\\zebmjpse.exe\" -s") + '\0');
    EXPECT_TRUE(TextsInOrder({"Reboot required", "RunOnce registry value 'HXPrepWiz' added for reboot",
                              "Command line '\"C:\\HX\\bin64\\zebmjpse.exe\" -s'"}));

    // The engine's own restart, no parameters: the quoted program alone; nor service nor taskbar.
    SetProps({{"ZEBBOOT", ""}, {"UILevel", "5"}});
    winsim::msi::SetMode(MSIRUNMODE_REBOOTATEND, true);
    SetProps({{"LAUNCHWIZ", "no"}, {"ZEBSTARTSERVICE", "1"}});
    EXPECT_EQ(iwiTestAndLaunchConfig(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("Not Launching prep wizard."));
    EXPECT_TRUE(Started().empty());
}

TEST_F(LaunchActions, FailedWizardStartIsShownButTheInstallationStands) {
    ServerInstalled();
    winsim::msi::SetProperty("ZEBGUI", "1");
    winsim::proc::InstallProgram(kWizard, Behaviour::FailsToStart(ERROR_BAD_EXE_FORMAT));
    EXPECT_EQ(iwiTestAndLaunchConfig(h), ZEB_RC_SUCCESS);
    ASSERT_EQ(MessageBoxes().size(), 1u);
    EXPECT_EQ(MessageBoxes()[0], "Unable to launch program 'zebmjpse.exe'. (ZEB4733)");
}

TEST_F(LaunchActions, WithoutTheWizardTheServiceAndTaskbarStart) {
    ServerInstalled();
    SetProps({{"LAUNCHWIZ", "0"}, {"ZEBSTARTSERVICE", "1"}, {"ZEBSTARTTASKBAR", "1"}});
    winsim::svc::AddService("HX_Inst1", Service{.state = SERVICE_STOPPED});
    winsim::proc::InstallProgram("C:\\HX\\bin64\\strhxsvc.exe", Behaviour{.atStart = [](const auto&, auto&) {
                                     winsim::svc::Start("HX_Inst1");
                                 }});
    winsim::proc::InstallProgram("C:\\HX\\bin64\\zebmtbrn.exe", Behaviour::FailsToStart(ERROR_ACCESS_DENIED));
    EXPECT_EQ(iwiTestAndLaunchConfig(h), ZEB_RC_SUCCESS) << "the taskbar's launch result is not the action's";
    EXPECT_EQ(winsim::svc::State("HX_Inst1"), (DWORD)SERVICE_RUNNING);
    ASSERT_EQ(Started().size(), 1u);
    EXPECT_EQ(Started()[0].start.show, SW_HIDE);
    EXPECT_TRUE(HasText("***Unable to launch process; code 5."));

    // Nothing installed: no wizard, no service.
    winsim::msi::SetProductFeature(kProduct, "Server", INSTALLSTATE_ABSENT);
    EXPECT_EQ(iwiTestAndLaunchConfig(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("Prep wizard is not installed"));
    EXPECT_EQ(Started().size(), 1u);
}

TEST_F(LaunchActions, WizardDecisionFollowsTheFeaturesAndTheService) {
    winsim::msi::AddFeature("Server", INSTALLSTATE_ABSENT, INSTALLSTATE_LOCAL);
    winsim::msi::AddFeature("Client", INSTALLSTATE_ABSENT, INSTALLSTATE_UNKNOWN);
    winsim::svc::AddService("HX_Inst1", Service{});
    SetProps({{"ZEBPRODUCT", "server"}, {"VersionNT", "603"}});
    EXPECT_EQ(iwiSetLaunchWiz(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("'Server' Installed: 2 Action: 3"));
    EXPECT_EQ(winsim::msi::Property("ZEBGUI"), "1");
    EXPECT_EQ(winsim::msi::Property("ZEBSERVICENAME"), "HX_Inst1");
    EXPECT_EQ(winsim::msi::Property("ZEBSTARTSERVICE"), "1") << "running";
    EXPECT_FALSE(winsim::msi::Property("LAUNCHWIZ").has_value());

    winsim::msi::SetProperty("STARTSERVICE", "no");
    EXPECT_EQ(iwiSetLaunchWiz(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(winsim::msi::Property("ZEBSTARTSERVICE").value_or(""), "");

    // An old level whose service the user had stopped: the new one is not started either.
    SetProps({{"STARTSERVICE", ""}, {"ZEBOLDINSTALLINSTANCENAME", "installation0"}});
    winsim::svc::AddService("HexlineServices", Service{.state = SERVICE_STOPPED});
    EXPECT_EQ(iwiSetLaunchWiz(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(winsim::msi::Property("ZEBSTARTSERVICE").value_or(""), "");
    EXPECT_TRUE(HasText("Service 'HexlineServices' exists"));

    // Removal: neither feature is kept.
    winsim::msi::SetProperty("ZEBREMOVE", "1");
    EXPECT_EQ(iwiSetLaunchWiz(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(winsim::msi::Property("LAUNCHWIZ"), "0");
    EXPECT_TRUE(HasText("'Client' Installed: 2 Action: -1"));
    EXPECT_EQ(winsim::msi::Property("ZEBGUI").value_or(""), "");

    // A client-only installation never starts the service.
    SetProps({{"ZEBREMOVE", ""}, {"ZEBCLIENT", "1"}, {"ZEBOLDINSTALLINSTANCENAME", ""}});
    EXPECT_EQ(iwiSetLaunchWiz(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(winsim::msi::Property("ZEBSTARTSERVICE").value_or(""), "");
}

TEST_F(LaunchActions, InstallationToolsRunOnlyWithAValidName) {
    winsim::proc::InstallProgram("C:\\HX\\bin64\\sethxinst.exe", Behaviour::Exits(3));
    EXPECT_EQ(iwiLaunchSetHxInstNonPrim(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("Running 'sethxinst.exe -x -n Inst1' with 30 minute timeout"));
    ASSERT_EQ(Started().size(), 2u); // cmd and its program
    EXPECT_EQ(Started()[1].start.parameters, "-x -n Inst1");

    winsim::msi::SetProperty("ZEBINSTALLINSTANCENAME", "A&calc");
    EXPECT_EQ(iwiLaunchSetHxInstPrim(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("***Installation name 'A&calc' is not valid; not running sethxinst.exe"));
    EXPECT_EQ(Started().size(), 2u);

    // A tool that cannot run is left to the user.
    winsim::fs::Remove("C:\\HX\\bin64");
    EXPECT_EQ(iwiLaunchZebicdir(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(TextsInOrder({"Running 'zebicdir.exe -i -f' with 120 second timeout",
                              "***failed, but ok to ignore - run 'zebicdir.exe -i -f' manually to fix"}));
}

TEST_F(LaunchActions, ReadmeIsLookedForTwoLevelsUpFirstAndInTheDatabasesFolder) {
    FrameSetSession(h);
    winsim::fs::AddDrive('D', 5, "HXMEDIA");
    SetProps({{"SourceDir", "D:\\windows\\server\\"}, {"ZEBLANGUAGECODE", "j"}});
    winsim::fs::WriteFile("D:\\windows\\readmes\\ja_jp\\readme.txt", "r");
    char szPath[ZEB_CCH_PATH];
    EXPECT_TRUE(GetReadmePath(szPath, FALSE));
    EXPECT_STREQ(szPath, "D:\\windows\\readmes\\ja_jp\\readme.txt");
    EXPECT_TRUE(TextsInOrder({"Checking for readme at 'D:\\readmes\\windows\\ja_jp\\readme.txt'", "Not found",
                              "Checking for readme at 'D:\\windows\\readmes\\ja_jp\\readme.txt'"}));

    // No SourceDir after ResolveSource: the package's own folder, never past the drive.
    Reload();
    winsim::msi::RemoveProperty("SourceDir");
    winsim::msi::OnDoAction("ResolveSource", [] { return 0u; });
    SetProps({{"OriginalDatabase", "D:\\hx.msi"}, {"ZEBLANGUAGECODE", "x"}});
    EXPECT_FALSE(GetReadmePath(szPath, FALSE));
    EXPECT_TRUE(HasText("Unknown language code 'x'; using English"));
    EXPECT_TRUE(HasText("Checking for readme at 'D:\\readmes\\en_us\\readme.txt'"));

    // Installed, or media not wanted: the web page.
    EXPECT_TRUE(GetReadmePath(szPath, TRUE));
    EXPECT_STREQ(szPath, ZEB_README_WEB_PAGE);
    EXPECT_EQ(iwiLaunchReadme(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(Started().empty()) << "Notepad opens files only";

    Reload();
    SetProps({{"SourceDir", "D:\\windows\\server"}, {"ZEBLANGUAGECODE", "j"}});
    EXPECT_EQ(iwiLaunchReadme(h), ZEB_RC_SUCCESS);
    ASSERT_EQ(Started().size(), 1u);
    EXPECT_EQ(Started()[0].start.parameters, "\"D:\\windows\\readmes\\ja_jp\\readme.txt\"");
    EXPECT_EQ(Started()[0].start.directory, "D:\\windows\\readmes\\ja_jp");
}

TEST_F(LaunchActions, SourceResolutionAndTheLaunchpad) {
    winsim::msi::OnDoAction("ResolveSource", [] { return 1603u; });
    EXPECT_EQ(iwiResolveSource(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***Error 1603 from ResolveSource"));
    EXPECT_EQ(RunDeferred(iwiResolveSource, ""), ZEB_RC_FAILURE);

    Reload();
    winsim::fs::AddDrive('D', 5, "HXMEDIA");
    winsim::msi::SetProperty("SourceDir", "D:\\windows\\");
    winsim::proc::InstallProgram("D:\\HXLaunch.exe", Behaviour::Exits(0, 30000));
    EXPECT_EQ(iwiLaunchLaunchPad(h), ZEB_RC_SUCCESS);
    ASSERT_EQ(Started().size(), 1u);
    EXPECT_EQ(Started()[0].start.parameters, "INSTALL");
    EXPECT_EQ(Started()[0].start.show, SW_SHOW);
    EXPECT_EQ(winsim::NowMs(), 30000u);

    winsim::fs::Remove("D:\\HXLaunch.exe");
    UnpackLanguageLibrary();
    winsim::ClearEvents();
    EXPECT_EQ(iwiLaunchLaunchPad(h), ZEB_RC_FAILURE);
    ASSERT_EQ(MessageBoxes().size(), 1u) << "the action's own box, no generic one";
    EXPECT_EQ(MessageBoxes()[0], "Unable to launch program 'HXLaunch.exe'. (ZEB4733)");
}

TEST(LaunchParameters, WordsAreJoinedByOneBlankAndTheBufferGrows) {
    ZebParameters parameters;
    InitParameters(&parameters);
    ASSERT_TRUE(AppendParameter(&parameters, "-s"));
    ASSERT_TRUE(AppendParameter(&parameters, "-p "));
    ASSERT_TRUE(AppendParameter(&parameters, "x"));
    EXPECT_STREQ(parameters.pszText, "-s -p x");
    EXPECT_EQ(parameters.cchCapacity, (size_t)ZEB_CCH_MSG);
    const std::string longWord(600, 'w');
    ASSERT_TRUE(AppendParameter(&parameters, longWord.c_str()));
    EXPECT_EQ(std::string(parameters.pszText), "-s -p x " + longWord);
    EXPECT_EQ(parameters.cchCapacity, (size_t)(2 * ZEB_CCH_MSG));
    FreeParameters(&parameters);
    EXPECT_EQ(parameters.pszText, nullptr);
}

} // namespace
