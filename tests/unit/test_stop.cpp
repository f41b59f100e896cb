// Stopping an installation's programs: the probes, the service helpers, the taskbar signal and
// both runs of iwiStopAllHx with their progress accounting.
#include "zebtest.h"

#include "zebiwicnStop.h"
#include "zebiwicnUninstall.h"

#include <algorithm>

namespace {

using winsim::proc::Behaviour;
using winsim::svc::Service;

const char kQm[] = "C:\\HX\\bin64\\zebzxma0.exe";
const char kValues[] = "ZEBPGMFOLDER=C:\\HX\\;ZEBDATFOLDER=C:\\HXData;ZEBINSTALLINSTANCENAME=Inst1;"
                       "ZEBSERVICENAME=HX_Inst1;ZEBTEMP=C:\\Temp;";

class Stop : public ZebTest {
  protected:
    void SetUp() override {
        ZebTest::SetUp();
        SetProps({{"ZEBPGMFOLDER", "C:\\HX\\"},
                  {"ZEBDATFOLDER", "C:\\HXData"},
                  {"ZEBINSTALLINSTANCENAME", "Inst1"},
                  {"ZEBSERVICENAME", "HX_Inst1"},
                  {"ZEBTEMP", "C:\\Temp"}});
        winsim::fs::MakeDirs("C:\\HX\\bin64");
        winsim::fs::WriteFile(kQm, "MZ");
    }

    // Queue managers in hxs.ini, each with its folder; owner "" is another installation.
    static void QueueManagers(const std::vector<std::pair<std::string, std::string>>& qms) {
        std::string ini =
            hxrecord::IniStanza(hxrecord::QmDefaults{.prefix = "C:\\HXData", .logPath = "C:\\Log"});
        for (const auto& [name, owner] : qms) {
            ini += hxrecord::IniStanza(hxrecord::QueueManager{.name = name, .installation = owner});
            winsim::fs::MakeDirs("C:\\HXData\\qmgrs\\" + name);
            winsim::fs::MakeDirs("C:\\Log\\" + name);
        }
        winsim::fs::WriteFile("C:\\HXData\\hxs.ini", ini);
    }
    // The machine of the acceptance runs: the service running, endhxm present, QM1 and QM2 of this
    // installation, QM3 of another.
    static void RunningInstallation(uint32_t serviceStopMs = 0) {
        winsim::svc::AddService("HX_Inst1", Service{.stopMs = serviceStopMs});
        winsim::proc::InstallProgram("C:\\HX\\bin64\\endhxm.exe");
        QueueManagers({{"QM1", "Inst1"}, {"QM2", "INST1"}, {"QM3", "Inst2"}});
    }
    static std::vector<std::string> Started(const std::string& program) {
        std::vector<std::string> out;
        for (const auto& p : winsim::proc::Processes())
            if (p.start.program.size() >= program.size() &&
                p.start.program.compare(p.start.program.size() - program.size(), program.size(), program) ==
                    0)
                out.push_back(p.start.parameters);
        return out;
    }
    static std::vector<winsim::msi::Message> MessagesOf(int type) {
        std::vector<winsim::msi::Message> out;
        for (const auto& m : winsim::msi::Messages())
            if (m.type == type)
                out.push_back(m);
        return out;
    }
    // Ticks moved by progress messages (2, ticks, 0); and the sum reserved by (3, total, 0, 0).
    static long long Ticks(int kind) {
        long long sum = 0;
        for (const auto& m : MessagesOf(INSTALLMESSAGE_PROGRESS))
            if (m.fields.size() > 2 && m.fields[1] == std::to_string(kind))
                sum += std::stoll(m.fields[2]);
        return sum;
    }
    static int EventCount(const std::string& kind, const std::string& text) {
        int n = 0;
        for (const auto& e : winsim::Events())
            n += e.kind == kind && e.text == text;
        return n;
    }
};

TEST_F(Stop, FileProbeClearsReadOnlyAndTellsLockedFromMissing) {
    winsim::fs::WriteFile("C:\\HX\\a.dll", "x");
    winsim::fs::SetReadOnly("C:\\HX\\a.dll", true);
    EXPECT_FALSE(IsFileLocked("C:\\HX\\a.dll"));
    EXPECT_TRUE(HasText("'C:\\HX\\a.dll' is not in use"));
    EXPECT_EQ(*winsim::fs::Attributes("C:\\HX\\a.dll") & FILE_ATTRIBUTE_READONLY, 0u);

    EXPECT_FALSE(IsFileLocked("C:\\HX\\missing.dll"));
    EXPECT_TRUE(HasText("'C:\\HX\\missing.dll' is not in use"));
    EXPECT_FALSE(HasTextContaining("Attribues"));

    winsim::fs::Lock("C:\\HX\\a.dll");
    EXPECT_TRUE(IsFileLocked("C:\\HX\\a.dll"));
    EXPECT_TRUE(HasText("'C:\\HX\\a.dll' is in use"));

    // Attributes that cannot be read are reported and never taken as read-only.
    winsim::fs::Unlock("C:\\HX\\a.dll");
    winsim::fs::SetReadOnly("C:\\HX\\a.dll", true);
    winsim::FailCall("GetFileAttributesA", ERROR_ACCESS_DENIED, 1);
    EXPECT_FALSE(IsFileLocked("C:\\HX\\a.dll"));
    EXPECT_TRUE(HasText("GetFileAttribues() failed 5 'C:\\HX\\a.dll'"));
    EXPECT_EQ(winsim::CallCount("SetFileAttributesA"), 1);
    winsim::FailCall("SetFileAttributesA", ERROR_ACCESS_DENIED, 1);
    IsFileLocked("C:\\HX\\a.dll");
    EXPECT_TRUE(HasText("SetFileAttribues() failed 5 'C:\\HX\\a.dll'"));
}

TEST_F(Stop, ProgramProbesFollowTheLockHolders) {
    FrameSetSession(h);
    EXPECT_FALSE(AreQmsRunning());
    EXPECT_TRUE(HasText("No queue managers running"));
    winsim::proc::Run({.program = kQm, .parameters = "-m QM1"},
                      Behaviour{.runMs = std::nullopt, .locks = {kQm}});
    const int second =
        winsim::proc::Run({.program = kQm, .parameters = "-m QM2"}, Behaviour{.runMs = 1000, .locks = {kQm}});
    EXPECT_TRUE(AreQmsRunning());
    EXPECT_TRUE(HasText("'C:\\HX\\bin64\\zebzxma0.exe' is locked"));
    winsim::Advance(1000);
    EXPECT_FALSE(winsim::proc::Running().empty());
    EXPECT_TRUE(AreQmsRunning()) << "a file stays locked while any holder runs";
    winsim::proc::End(second - 1, 0);
    EXPECT_FALSE(AreQmsRunning());

    winsim::fs::WriteFile("C:\\HX\\bin\\zebxcs2.dll", "x");
    winsim::fs::Lock("C:\\HX\\bin\\zebxcs2.dll");
    EXPECT_EQ(iwiIsHxRunning(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(winsim::msi::Property("ZEBHXISRUNNING"), "1");
    EXPECT_TRUE(TextsInOrder(
        {"'C:\\HX\\bin64\\zebxssvn.exe' is not in use", "'C:\\HX\\bin\\zebxssvn.exe' is not in use",
         "'C:\\HX\\bin64\\zebsvc.exe' is not in use", "'C:\\HX\\bin\\zebsvc.exe' is not in use",
         "'C:\\HX\\bin64\\zebxcs2.dll' is not in use", "'C:\\HX\\bin\\zebxcs2.dll' is in use"}));
}

TEST_F(Stop, EmptyOrOverlongProgramFolderNamesNoProgram) {
    winsim::msi::SetProperty("ZEBPGMFOLDER", "");
    RunningInstallation();
    EXPECT_EQ(iwiIsHxRunning(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(iwiStopAllHx(h), ZEB_RC_SUCCESS);
    EXPECT_FALSE(HasTextContaining("in use"));
    EXPECT_TRUE(winsim::proc::Processes().empty());
    EXPECT_TRUE(HasText("Not found endhxlsr"));

    winsim::msi::SetProperty("ZEBPGMFOLDER", "C:\\" + std::string(250, 'p'));
    SetStopProgramFolder(("C:\\" + std::string(250, 'p')).c_str());
    char szPath[ZEB_CCH_PATH];
    EXPECT_FALSE(MakeProgramPath(szPath, "bin64", "zebzxma0.exe"));
    EXPECT_STREQ(szPath, "");
}

TEST_F(Stop, ServiceQueriesNeedNoElevationButStopsDo) {
    FrameSetSession(h);
    winsim::svc::AddService("HX_Inst1", Service{.stopMs = 5000});
    winsim::svc::SetElevated(false);
    EXPECT_TRUE(icsIsServiceRunning("hx_inst1"));
    EXPECT_TRUE(HasText("Service 'hx_inst1' is running"));
    EXPECT_TRUE(HxServiceExists("HX_Inst1"));
    EXPECT_TRUE(icsStopService("HX_Inst1", TRUE)) << "a service that cannot be opened to stop";
    EXPECT_EQ(EventCount("service", "stop 'HX_Inst1'"), 0);

    winsim::svc::SetElevated(true);
    EXPECT_TRUE(icsStopService("HX_Inst1", TRUE));
    EXPECT_EQ(winsim::svc::State("HX_Inst1"), (DWORD)SERVICE_STOP_PENDING);
    EXPECT_FALSE(icsStopService("HX_Inst1", FALSE));
    EXPECT_TRUE(HasText("Service 'HX_Inst1' already stopping"));
    winsim::Advance(5000);
    EXPECT_FALSE(icsIsServiceRunning("HX_Inst1"));
    EXPECT_FALSE(icsStopService("HX_Inst1", FALSE));
    EXPECT_TRUE(HasText("Service 'HX_Inst1' not running"));

    winsim::svc::AddService("Bad", Service{.stop = Service::Stop::Exception});
    EXPECT_FALSE(icsStopService("Bad", FALSE));
    EXPECT_TRUE(HasText("***Exception in service 'Bad'"));
    winsim::FailCall("ControlService", ERROR_ACCESS_DENIED, 1);
    EXPECT_FALSE(icsStopService("Bad", FALSE));
    EXPECT_TRUE(HasText("***Error 5 stopping service 'Bad'"));
    winsim::FailCall("OpenSCManagerA", ERROR_ACCESS_DENIED, 1);
    EXPECT_FALSE(icsStopService("Bad", FALSE));
    EXPECT_TRUE(HasText("***Error 5 opening service 'Bad'"));

    EXPECT_FALSE(HxServiceExists("Nope"));
    EXPECT_TRUE(HasText("Service 'Nope' not found"));
    EXPECT_FALSE(icsIsServiceRunning("Nope"));
    winsim::FailCall("OpenServiceA", ERROR_ACCESS_DENIED, 1);
    EXPECT_FALSE(HxServiceExists("Bad"));
    EXPECT_TRUE(HasText("Couldn't open service 'Bad' 5"));
}

TEST_F(Stop, ServiceStartProgram) {
    FrameSetSession(h);
    EXPECT_EQ(StartHxServiceAndGo(), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***Can't find 'C:\\HX\\bin64\\strhxsvc.exe'"));
    winsim::svc::AddService("HX_Inst1", Service{.state = SERVICE_STOPPED});
    winsim::proc::InstallProgram("C:\\HX\\bin64\\strhxsvc.exe", Behaviour{.atStart = [](const auto&, auto&) {
                                     winsim::svc::Start("HX_Inst1");
                                 }});
    EXPECT_EQ(StartHxServiceAndGo(), ZEB_RC_SUCCESS);
    EXPECT_EQ(winsim::svc::State("HX_Inst1"), (DWORD)SERVICE_RUNNING);
    EXPECT_EQ(winsim::proc::Processes().back().start.show, SW_HIDE);
    winsim::proc::InstallProgram("C:\\HX\\bin64\\strhxsvc.exe", Behaviour::FailsToStart(ERROR_ACCESS_DENIED));
    EXPECT_EQ(StartHxServiceAndGo(), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***Unable to launch 'C:\\HX\\bin64\\strhxsvc.exe'"));
}

TEST_F(Stop, TaskbarIsSignalledThroughItsInstallationsEvent) {
    FrameSetSession(h);
    EXPECT_TRUE(icsStopTaskbars("Inst1"));
    EXPECT_TRUE(
        HasText("WARNING: Could not open key SOFTWARE\\Corvane\\Skyloft HX\\Installation\\Inst1, value "
                "Identifier - Ignoring but may give files in use."));
    AddInstallation({.name = "Inst1", .identifier = "7", .view32 = true});
    EXPECT_TRUE(icsStopTaskbars("Inst1"));
    EXPECT_TRUE(
        HasText("Could not open event Global\\ZEBMTBRN.EVENT.7 gle(2) - should mean no taskbars running"));
    EXPECT_EQ(winsim::NowMs(), 0u);

    winsim::proc::Run({.program = "C:\\HX\\bin64\\zebmtbrn.exe"},
                      Behaviour{.untilEvent = "Global\\ZEBMTBRN.EVENT.7"});
    ASSERT_EQ(winsim::proc::Running().size(), 1u);
    EXPECT_TRUE(icsStopTaskbars("Inst1"));
    EXPECT_TRUE(
        TextsInOrder({"Posting handle to close all outstanding zebmtbrns, then sleeping for 10 seconds.",
                      "Continuing after 10 second sleep.... zebmtbrn should now be gone!"}));
    EXPECT_TRUE(winsim::proc::Running().empty());
    EXPECT_EQ(winsim::NowMs(), 10000u);
}

TEST_F(Stop, ImmediateRunRequestsTheStopsAndReservesTheTicks) {
    RunningInstallation();
    EXPECT_EQ(iwiStopAllHx(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("Executing in script generation"));
    EXPECT_EQ(EventCount("service", "stop 'HX_Inst1'"), 1);
    std::vector<std::string> ended = Started("endhxm.exe");
    std::sort(ended.begin(), ended.end());
    EXPECT_EQ(ended, (std::vector<std::string>{"-i QM1", "-i QM2"}));
    EXPECT_TRUE(HasText("Not stopping Qmgr QM3 as its another installation"));
    EXPECT_TRUE(Started("endhxlsr.exe").empty());
    EXPECT_TRUE(HasText("Total ticks = 61200000"));
    const auto progress = MessagesOf(INSTALLMESSAGE_PROGRESS);
    ASSERT_EQ(progress.size(), 1u);
    EXPECT_EQ(std::vector<std::string>(progress[0].fields.begin() + 1, progress[0].fields.end()),
              (std::vector<std::string>{"3", "61200000", "0", "0"}));
    EXPECT_TRUE(MessagesOf(INSTALLMESSAGE_ACTIONDATA).empty());
    EXPECT_EQ(winsim::NowMs(), 0u);
    EXPECT_EQ(isuQmCount(), 0) << "the list is released";
}

TEST_F(Stop, DeferredRunWaitsOnlyWhileSomethingRunsAndMovesTheReservedTicks) {
    RunningInstallation(5000);
    AddInstallation({.name = "Inst1", .identifier = "7"});
    winsim::proc::InstallProgram("C:\\HX\\bin64\\endhxlsr.exe");
    ASSERT_EQ(iwiStopAllHx(h), ZEB_RC_SUCCESS);
    winsim::msi::ClearMessages();
    winsim::proc::Run({.program = kQm}, Behaviour{.runMs = 2000, .locks = {kQm}});
    winsim::proc::Run({.program = "C:\\HX\\bin64\\zebmtbrn.exe"},
                      Behaviour{.untilEvent = "Global\\ZEBMTBRN.EVENT.7"});

    EXPECT_EQ(RunDeferred(iwiStopAllHx, kValues), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("Deferred execution"));
    EXPECT_EQ(EventCount("service", "stop 'HX_Inst1'"), 1) << "already stopping: not sent again";
    EXPECT_TRUE(TextsInOrder({"Waited 5 seconds", "Waited 0 seconds", "Stopping Qmgr QM1 listeners",
                              "Closing the taskbar if it is still active", "Waited 0 seconds"}));
    EXPECT_TRUE(HasText("Not stopping Qmgr QM3 listeners as its another installation"));
    std::vector<std::string> listeners = Started("endhxlsr.exe");
    std::sort(listeners.begin(), listeners.end());
    EXPECT_EQ(listeners, (std::vector<std::string>{"-m QM1", "-m QM2"}));
    EXPECT_TRUE(Started("endhxm.exe").size() == 2u) << "no second request";
    EXPECT_TRUE(winsim::proc::Running().empty());
    // The queue managers had ended (2 s) while the service stopped (5 s); two pauses, the taskbar.
    EXPECT_EQ(winsim::NowMs(), 5000u + 3000u + 10000u + 3000u);
    EXPECT_EQ(Ticks(2), 61200000);
    const auto first = MessagesOf(INSTALLMESSAGE_PROGRESS).front();
    EXPECT_EQ(std::vector<std::string>(first.fields.begin() + 1, first.fields.begin() + 4),
              (std::vector<std::string>{"1", "1", "0"}));
    // The service wait shows the name and the seconds left, once per whole second while it runs.
    const auto data = MessagesOf(INSTALLMESSAGE_ACTIONDATA);
    ASSERT_FALSE(data.empty());
    EXPECT_EQ(data[0].fields[1], "HX_Inst1");
    EXPECT_EQ(data[0].fields[2], "120");
}

TEST_F(Stop, DeferredRunStopsAServiceTheImmediateRunCouldNotReach) {
    RunningInstallation(5000);
    winsim::svc::SetElevated(false);
    ASSERT_EQ(iwiStopAllHx(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("Total ticks = 61200000")) << "a running service is seen without elevation";
    EXPECT_EQ(EventCount("service", "stop 'HX_Inst1'"), 0);
    winsim::svc::SetElevated(true);
    EXPECT_EQ(RunDeferred(iwiStopAllHx, kValues), ZEB_RC_SUCCESS);
    EXPECT_EQ(EventCount("service", "stop 'HX_Inst1'"), 1);
    EXPECT_TRUE(HasText("Waited 5 seconds"));
}

TEST_F(Stop, CancelStopsAtOnce) {
    RunningInstallation(5000);
    winsim::proc::InstallProgram("C:\\HX\\bin64\\endhxlsr.exe");
    winsim::msi::ReplyTo(INSTALLMESSAGE_ACTIONDATA, 2, IDCANCEL);
    EXPECT_EQ(RunDeferred(iwiStopAllHx, kValues), ZEB_RC_CANCEL);
    EXPECT_TRUE(Started("endhxlsr.exe").empty());
    EXPECT_EQ(winsim::NowMs(), 500u) << "one step slept before the second message";
    EXPECT_EQ(isuQmCount(), 0);
}

TEST_F(Stop, ManyQueueManagersClampTheTotal) {
    RunningInstallation();
    std::vector<std::pair<std::string, std::string>> qms;
    for (int i = 0; i < 200; i++)
        qms.push_back({"QM" + std::to_string(i), "Inst1"});
    QueueManagers(qms);
    EXPECT_EQ(iwiStopAllHx(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("Total ticks = 2147483647"));
    EXPECT_EQ(Started("endhxm.exe").size(), 200u);
}

TEST_F(Stop, AFailedLaunchIsNotHiddenByALaterOne) {
    RunningInstallation();
    winsim::FailCall("ShellExecuteExA", ERROR_ACCESS_DENIED, 1);
    EXPECT_EQ(iwiStopAllHx(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("Unable to launch 'C:\\HX\\bin64\\endhxm.exe'"));
    EXPECT_EQ(Started("endhxm.exe").size(), 1u) << "the other queue manager is still ended";
    EXPECT_TRUE(HasText("Total ticks = 61200000"));
}

TEST_F(Stop, OldLevelsServiceIsStoppedAndWaitedForAtTheEnd) {
    winsim::msi::SetProperty("ZEBOLDINSTALLINSTANCENAME", "CurrentVersion");
    winsim::svc::AddService("HexlineServices", Service{.stop = Service::Stop::Never});
    winsim::svc::AddService("HX_Inst1", Service{});
    EXPECT_EQ(iwiStopAllHx(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(EventCount("service", "stop 'HexlineServices'"), 1);
    EXPECT_EQ(EventCount("service", "stop 'HX_Inst1'"), 0);
    EXPECT_TRUE(TextsInOrder({"Total ticks = 37200000", "Wait timed out after 120 seconds"}));
    EXPECT_EQ(winsim::NowMs(), 120000u);
    EXPECT_EQ(MessagesOf(INSTALLMESSAGE_PROGRESS).size(), 1u);
    EXPECT_TRUE(MessagesOf(INSTALLMESSAGE_ACTIONDATA).empty());
}

TEST_F(Stop, RemovalLeavesARebootMarkerWhenTheDisplayToolAsks) {
    winsim::proc::InstallProgram("C:\\HX\\bin64\\dsphx.exe", Behaviour::Exits(5, 1500));
    winsim::proc::InstallProgram("C:\\HX\\bin64\\endhxtrc.exe", Behaviour::Exits(0, 700000));
    const std::string values = std::string(kValues) + "ZEBREMOVE=1;";
    EXPECT_EQ(RunDeferred(iwiStopAllHx, values + "ZEBBYPASSREBOOTCHECK=x;"), ZEB_RC_SUCCESS);
    EXPECT_TRUE(Started("dsphx.exe").empty());
    EXPECT_EQ(File("C:\\Temp\\zebreboot.txt"), "<absent>");
    EXPECT_TRUE(HasText("***'C:\\HX\\bin64\\endhxtrc.exe' did not end within 600 seconds"));

    Reload();
    EXPECT_EQ(RunDeferred(iwiStopAllHx, values), ZEB_RC_SUCCESS);
    EXPECT_EQ(Started("dsphx.exe"), std::vector<std::string>{"-a"});
    EXPECT_TRUE(HasText("Created reboot file 'C:\\Temp\\zebreboot.txt'"));
    EXPECT_EQ(File("C:\\Temp\\zebreboot.txt"), "");

    // A display tool that hangs is given up on and says nothing about a restart.
    winsim::fs::Remove("C:\\Temp\\zebreboot.txt");
    winsim::proc::InstallProgram("C:\\HX\\bin64\\dsphx.exe", Behaviour::Exits(5, std::nullopt));
    Reload();
    EXPECT_EQ(RunDeferred(iwiStopAllHx, values), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("***'C:\\HX\\bin64\\dsphx.exe' did not end within 600 seconds"));
    EXPECT_EQ(File("C:\\Temp\\zebreboot.txt"), "<absent>");
}

TEST_F(Stop, RunModesOfTheSmallActions) {
    EXPECT_EQ(RunDeferred(iwiStopAllHx, kValues, MSIRUNMODE_ROLLBACK), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("CA bypassed; run mode must not be 'MSIRUNMODE_ROLLBACK'."));
    EXPECT_FALSE(HasText("Deferred execution"));

    EXPECT_EQ(iwiStartStopping(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(RunDeferred(iwiStartStopping, kValues, MSIRUNMODE_COMMIT), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***CA execute error; run mode must not be 'MSIRUNMODE_COMMIT'."));

    SetProps({{"ONLYINI", "C:\\Temp\\r.ini"}, {"UILevel", "5"}});
    EXPECT_EQ(iwiStopIfOnlyIni(h), ZEB_RC_SUCCESS);
    winsim::msi::SetProperty("UILevel", "2");
    EXPECT_EQ(iwiStopIfOnlyIni(h), ZEB_RC_CANCEL);
    winsim::msi::SetProperty("ONLYINI", "");
    EXPECT_EQ(iwiStopIfOnlyIni(h), ZEB_RC_SUCCESS);
}

} // namespace
