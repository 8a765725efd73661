// WinServiceTest - the Win32 implementation with real objects: a test service registered with
// the service control manager, and a file held open by another handle.
#include "SystemDoubles.h"
#include "TestHosts.h"
#include "os/WindowsSupport.h"
#include "uQrxRout.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

// The native system; the 30-second wait before a service start is only
// recorded, the service's own wait hints are waited. What the service
// control manager answered is kept, so a failed start says why.
struct ShortWaitSys : RecordedSleepSys {
  ShortWaitSys() { WaitBelow = 30000; }
  os::Status ServiceStartRequest(os::ServiceHandle service) override {
    return Note("start", os::Api::ServiceStartRequest(service));
  }
  os::Status ServiceQuery(os::ServiceHandle service, os::ServiceStatus& status) override {
    os::Status result = Note("query", os::Api::ServiceQuery(service, status));
    if (result)
      Answers += "query: state " + std::to_string(status.State) + ", check-point " +
                 std::to_string(status.CheckPoint) + ", wait hint " + std::to_string(status.WaitHint) + "\n";
    return result;
  }
  os::Status Note(const char* what, os::Status result) {
    if (!result)
      Answers += std::string(what) + ": " + result.Failure().Call + " failed with " +
                 std::to_string(result.Failure().Code) + " " + result.Failure().Text + "\n";
    return result;
  }
  std::string Answers;
};

class TestService : public ::testing::Test {
protected:
  void SetUp() override {
    name_ = "UpdaterTestService" + std::to_string(GetCurrentProcessId());
    std::string exe = os::Sys().ProgramFile();
    exe = exe.substr(0, exe.find_last_of('\\') + 1) + "UpdaterTestService.exe";
    ASSERT_TRUE(os::Sys().FileExists(exe)) << exe;
    os::win::ScopedServiceHandle scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    ASSERT_TRUE(scm.Valid()) << GetLastError();
    std::wstring path = L"\"" + os::win::Widen(exe) + L"\"";
    os::win::ScopedServiceHandle svc(CreateServiceW(scm.Get(), os::win::Widen(name_).c_str(),
                                                    os::win::Widen(name_).c_str(), SERVICE_ALL_ACCESS,
                                                    SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                                    SERVICE_ERROR_NORMAL, path.c_str(), nullptr, nullptr, nullptr,
                                                    nullptr, nullptr));
    ASSERT_TRUE(svc.Valid()) << GetLastError();
  }
  void TearDown() override {
    os::win::ScopedServiceHandle scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    os::win::ScopedServiceHandle svc(OpenServiceW(scm.Get(), os::win::Widen(name_).c_str(), SERVICE_ALL_ACCESS));
    if (!svc.Valid()) return;
    SERVICE_STATUS ss{};
    if (ControlService(svc.Get(), SERVICE_CONTROL_STOP, &ss)) {
      for (int i = 0; i < 50 && QueryServiceStatus(svc.Get(), &ss) && ss.dwCurrentState != SERVICE_STOPPED; ++i)
        ::Sleep(100);
    }
    DeleteService(svc.Get());
  }
  std::string name_;
};

} // namespace

TEST_F(TestService, StartsStopsAndReportsItsState) {
  ShortWaitSys sys;
  os::ScopedApi use(sys);
  EXPECT_EQ(ServiceGetStatus("", name_), 1);
  EXPECT_TRUE(ServiceStop("", name_)) << "a stopped service counts as stopped";

  ASSERT_TRUE(ServiceStart("", name_)) << sys.Answers;
  ASSERT_FALSE(sys.Sleeps.empty());
  EXPECT_EQ(sys.Sleeps[0], 30000u);
  EXPECT_EQ(ServiceGetStatus("", name_), 4);

  sys.Sleeps.clear();
  EXPECT_FALSE(ServiceStart("", name_)) << "a running service cannot be started";
  EXPECT_EQ(sys.Sleeps, std::vector<std::uint32_t>{30000});
  EXPECT_EQ(ServiceGetStatus("", name_), 4);

  EXPECT_TRUE(ServiceStop("", name_));
  EXPECT_EQ(ServiceGetStatus("", name_), 1);
  sys.Sleeps.clear();
  EXPECT_TRUE(ServiceStop("", name_));
  EXPECT_TRUE(sys.Sleeps.empty()) << "no wait for a service that is stopped";
}

TEST(ServiceRoutines, AMissingServiceReadsAsStopped) {
  ShortWaitSys sys;
  os::ScopedApi use(sys);
  EXPECT_EQ(ServiceGetStatus("", "UpdaterNoSuchService"), 1);
  EXPECT_FALSE(ServiceStop("", "UpdaterNoSuchService"));
  EXPECT_FALSE(ServiceStart("", "UpdaterNoSuchService"));
  EXPECT_EQ(sys.Sleeps, std::vector<std::uint32_t>{30000});
}

TEST(GetFileSizeScaled, GivesMinusOneWhileAnotherHandleHoldsTheFile) {
  TempDir dir;
  const std::string file = dir.File("TAMBER.FDB");
  ASSERT_TRUE(os::Sys().WriteFile(file, std::string(2u << 20, 'x'), false));
  {
    os::win::ScopedHandle held(CreateFileW(os::win::Widen(file).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held.Valid());
    EXPECT_EQ(GetFileSizeScaled(file, 20), -1);
  }
  EXPECT_EQ(GetFileSizeScaled(file, 20), 2);
}

TEST(SetDebugPrivilege, IsGrantedToTheAdministratorAndTakenBack) {
  EXPECT_TRUE(SetDebugPrivilege(true));
  EXPECT_TRUE(SetDebugPrivilege(false));
}

namespace {
int delivered = 0;
LRESULT CALLBACK CountingProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_APP + 7) {
    ++delivered;
    return 0;
  }
  return DefWindowProcW(w, msg, wp, lp);
}
} // namespace

// A host whose windows are real: it pumps their messages as the window does.
struct PumpingHost : RecordingHost {
  void ProcessMessages() override { os::PumpWindowMessages(); }
};

TEST(CheckFreeSize, LetsTheWindowsProcessTheirPendingMessagesFirst) {
  PumpingHost host;
  ScopedHost use(host);
  WNDCLASSW wc{};
  wc.lpfnWndProc = CountingProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"UpdaterPumpProbe";
  RegisterClassW(&wc);
  HWND w = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  ASSERT_NE(w, nullptr);
  delivered = 0;
  PostMessageW(w, WM_APP + 7, 0, 0);
  TempDir dir;
  std::ofstream(dir.File("small.fdb")) << "db";
  EXPECT_NO_THROW(CheckFreeSize(dir.File("small.fdb"), dir.Path().substr(0, 3), 2));
  EXPECT_EQ(delivered, 1);
  DestroyWindow(w);
}
