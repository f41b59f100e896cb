// The service control manager, processes that hold files or live until an event is set, and the
// RunOnce key every machine has.
#include <gtest/gtest.h>
#include <windows.h>
#include <winsim/sim.h>

#include <string>

namespace {

using winsim::proc::Behaviour;
using winsim::svc::Service;

class Services : public ::testing::Test {
  protected:
    void SetUp() override {
        winsim::Reset();
        winsim::fs::WriteFile("C:\\HX\\bin64\\zebxssvn.exe", "MZ");
    }
    void TearDown() override { EXPECT_EQ(winsim::OpenHandleCount(), 0); }

    // Opens the service, sends the stop, closes both; the error (0 when sent).
    static DWORD Stop(const char* name) {
        SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
        if (!manager)
            return GetLastError();
        SC_HANDLE service = OpenServiceA(manager, name, SERVICE_STOP);
        DWORD error = service ? 0 : GetLastError();
        SERVICE_STATUS status;
        if (service && !ControlService(service, SERVICE_CONTROL_STOP, &status))
            error = GetLastError();
        if (service)
            CloseServiceHandle(service);
        CloseServiceHandle(manager);
        return error;
    }
    static bool Locked(const std::string& path) {
        HANDLE h =
            CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
        if (h == INVALID_HANDLE_VALUE)
            return GetLastError() == ERROR_SHARING_VIOLATION;
        CloseHandle(h);
        return false;
    }
};

TEST_F(Services, StopReleasesTheFilesAfterItsTimeAndErrorsAreWines) {
    winsim::svc::AddService("HX_Inst1", Service{.stopMs = 2000, .files = {"C:\\HX\\bin64\\zebxssvn.exe"}});
    EXPECT_TRUE(Locked("C:\\HX\\bin64\\zebxssvn.exe"));
    EXPECT_EQ(Stop("hx_inst1"), 0u);
    EXPECT_EQ(winsim::svc::State("HX_Inst1"), (DWORD)SERVICE_STOP_PENDING);
    EXPECT_EQ(Stop("HX_Inst1"), (DWORD)ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
    winsim::Advance(1999);
    EXPECT_TRUE(Locked("C:\\HX\\bin64\\zebxssvn.exe"));
    winsim::Advance(1);
    EXPECT_EQ(winsim::svc::State("HX_Inst1"), (DWORD)SERVICE_STOPPED);
    EXPECT_FALSE(Locked("C:\\HX\\bin64\\zebxssvn.exe"));
    EXPECT_EQ(Stop("HX_Inst1"), (DWORD)ERROR_SERVICE_NOT_ACTIVE);
    EXPECT_EQ(Stop("Nope"), (DWORD)ERROR_SERVICE_DOES_NOT_EXIST);

    // Started again (its start program), it holds its files again; a stale stop does not end it.
    EXPECT_TRUE(winsim::svc::Start("HX_Inst1"));
    EXPECT_FALSE(winsim::svc::Start("HX_Inst1"));
    EXPECT_TRUE(Locked("C:\\HX\\bin64\\zebxssvn.exe"));

    winsim::svc::AddService("Hung", Service{.stop = Service::Stop::Never});
    winsim::svc::AddService("Crash", Service{.stop = Service::Stop::Exception});
    EXPECT_EQ(Stop("Hung"), 0u);
    winsim::Advance(1000000);
    EXPECT_EQ(winsim::svc::State("Hung"), (DWORD)SERVICE_STOP_PENDING);
    EXPECT_EQ(Stop("Crash"), (DWORD)ERROR_EXCEPTION_IN_SERVICE);
    EXPECT_EQ(winsim::svc::State("Crash"), (DWORD)SERVICE_RUNNING);
}

TEST_F(Services, WithoutElevationOnlyQueriesSucceedAndHandlesCount) {
    winsim::svc::AddService("HX_Inst1", Service{});
    winsim::svc::SetElevated(false);
    EXPECT_EQ(OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    ASSERT_NE(manager, nullptr);
    EXPECT_EQ(OpenServiceA(manager, "HX_Inst1", SERVICE_ALL_ACCESS), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_EQ(OpenServiceA(manager, "HX_Inst1", SERVICE_STOP), nullptr);
    SC_HANDLE service = OpenServiceA(manager, "HX_Inst1", SERVICE_QUERY_STATUS);
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(winsim::OpenHandleCount(), 2);
    SERVICE_STATUS status;
    ASSERT_TRUE(QueryServiceStatus(service, &status));
    EXPECT_EQ(status.dwCurrentState, (DWORD)SERVICE_RUNNING);
    EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &status)) << "opened without stop access";
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_TRUE(CloseServiceHandle(service));
    EXPECT_FALSE(CloseServiceHandle(service));
    EXPECT_TRUE(CloseServiceHandle(manager));
}

TEST_F(Services, ProcessesHoldFilesAndEndWhenTheirEventIsSet) {
    const std::string qm = "C:\\HX\\bin64\\zebzxma0.exe";
    winsim::fs::WriteFile(qm, "MZ");
    const int a = winsim::proc::Run({.program = qm}, Behaviour{.runMs = std::nullopt, .locks = {qm}});
    winsim::proc::Run({.program = qm}, Behaviour{.runMs = 500, .locks = {qm}});
    winsim::Advance(500);
    EXPECT_TRUE(Locked(qm)) << "one holder still runs";
    winsim::proc::End(a, 0);
    EXPECT_FALSE(Locked(qm));

    const int bar = winsim::proc::Run({.program = "C:\\HX\\bin64\\zebmtbrn.exe"},
                                      Behaviour{.exitCode = 3, .untilEvent = "Global\\ZEBMTBRN.EVENT.1"});
    EXPECT_TRUE(winsim::NamedObjectExists("Global\\ZEBMTBRN.EVENT.1"));
    EXPECT_FALSE(winsim::NamedObjectExists("ZEBMTBRN.EVENT.1"));
    HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, "Global\\ZEBMTBRN.EVENT.1");
    ASSERT_NE(event, nullptr);
    ASSERT_TRUE(SetEvent(event));
    CloseHandle(event);
    ASSERT_EQ(winsim::proc::Processes()[static_cast<size_t>(bar - 1)].running, false);
    EXPECT_EQ(winsim::proc::Processes()[static_cast<size_t>(bar - 1)].exitCode, 3u);
    EXPECT_FALSE(winsim::NamedObjectExists("Global\\ZEBMTBRN.EVENT.1")) << "gone with its last holder";

    winsim::proc::Run({.program = "C:\\HX\\bin64\\zebmtbrn.exe"}, Behaviour{.untilEvent = "Global\\E"});
    winsim::SignalEvent("Global\\E");
    EXPECT_TRUE(winsim::proc::Running().empty());
}

TEST(MachineKeys, RunOnceKeyExistsAfterReset) {
    winsim::Reset();
    EXPECT_TRUE(
        winsim::reg::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce"));
    EXPECT_FALSE(winsim::reg::KeyExists(HKEY_LOCAL_MACHINE,
                                        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                                        winsim::reg::View::Wow32));
}

} // namespace
