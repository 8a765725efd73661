// SystemDoubles - doubles of the operating-system layer for the service and process
// routines: simulated services and processes whose calls are recorded, and
// sleeps that are recorded instead of waited.
#pragma once

#include "os/OsLayer.h"

#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <string>
#include <vector>

// The failure a double injects into Call about Path: access denied, marked
// as injected so that a message that shows it is recognised.
inline os::Status Injected(const std::string& Call, const std::string& Path) {
  return os::Status(os::Error{Call, Path, 5, "Access is denied (injected)"});
}

// The file a copy is meant for: a durable copy writes "<Target>.$upd" beside
// its target first and then renames it over the target, so a double that
// fails "the copy to Target" looks at the name without that ending.
inline std::string CopyTarget(const std::string& Path) {
  const std::string ending = ".$upd";
  return Path.size() > ending.size() && Path.compare(Path.size() - ending.size(), ending.size(), ending) == 0
             ? Path.substr(0, Path.size() - ending.size())
             : Path;
}

// What such a failure adds to a message: a line naming the call and path.
inline std::string InjectedCause(const std::string& Call, const std::string& Path) {
  return "\r" + os::Describe(Injected(Call, Path).Failure());
}

// The native system, except that every sleep is recorded and only those
// shorter than WaitBelow milliseconds are waited (none by default): the
// fixed waits of the updater are recorded, a service's own short wait hints
// can be waited for real.
class RecordedSleepSys : public os::Api {
public:
  std::vector<std::uint32_t> Sleeps;
  std::uint32_t WaitBelow = 0;
  void Sleep(std::uint32_t milliseconds) override {
    Sleeps.push_back(milliseconds);
    if (milliseconds < WaitBelow) os::Api::Sleep(milliseconds);
  }
};

// A simulated service of ServiceDoubleSys.
struct FakeService {
  std::uint32_t State = os::kServiceStopped;
  // Statuses the next queries report (start or stop in progress); once
  // they are used up a query reports State.
  std::deque<os::ServiceStatus> Pending;
  // The status the stop control itself reports for a running service.
  os::ServiceStatus StopReply{os::kServiceStopPending, 0, 1000};
  bool StartFails = false;     // the start request is refused
  bool StopStaysRunning = false; // the stop is accepted but the service runs on
  bool StopReportsNothing = false; // a refused stop comes without a status
  bool QueryFails = false;
};

// Services, processes and the privilege simulated; everything else native.
// Calls is the sequence of calls in a short form ("start FB", "sleep 30000").
class ServiceDoubleSys : public os::Api {
public:
  std::map<std::string, FakeService> Services;
  bool ManagerFails = false;
  std::vector<os::ProcessEntry> Processes;
  bool RealProcesses = false; // the system's own processes instead of Processes
  bool SnapshotFails = false;
  std::vector<std::uint32_t> TerminateFailsFor; // process ids
  std::vector<std::string> Calls;
  std::vector<std::uint32_t> Sleeps;
  int OpenHandles = 0;

  os::ServiceHandle ServiceManagerOpen(const std::string& machine, os::Status& why) override {
    Calls.push_back("manager " + machine);
    if (ManagerFails) {
      why = Injected("OpenSCManagerW", machine);
      return 0;
    }
    ++OpenHandles;
    return 1;
  }
  os::ServiceHandle ServiceOpen(os::ServiceHandle, const std::string& name, os::ServiceAccess,
                                os::Status& why) override {
    Calls.push_back("open " + name);
    auto it = Services.find(name);
    if (it == Services.end()) {
      why = Injected("OpenServiceW", name);
      return 0;
    }
    handles_[next_] = name;
    ++OpenHandles;
    return next_++;
  }
  void ServiceClose(os::ServiceHandle h) override {
    handles_.erase(h);
    --OpenHandles;
  }
  os::Status ServiceStartRequest(os::ServiceHandle h) override {
    FakeService& s = Of(h, "start");
    if (s.State == os::kServiceRunning || s.StartFails) return Injected("StartServiceW", "");
    s.State = os::kServiceRunning;
    return {};
  }
  os::Status ServiceStopRequest(os::ServiceHandle h, os::ServiceStatus& status, bool& hasStatus) override {
    FakeService& s = Of(h, "stop");
    hasStatus = false;
    if (s.State != os::kServiceRunning) {
      if (!s.StopReportsNothing) {
        status = {s.State, 0, 0};
        hasStatus = true;
      }
      return Injected("ControlService", "");
    }
    if (!s.StopStaysRunning) s.State = os::kServiceStopped;
    status = s.StopReply;
    hasStatus = true;
    return {};
  }
  os::Status ServiceQuery(os::ServiceHandle h, os::ServiceStatus& status) override {
    FakeService& s = Of(h, "query");
    if (s.QueryFails) return Injected("QueryServiceStatus", "");
    if (!s.Pending.empty()) {
      status = s.Pending.front();
      s.Pending.pop_front();
    } else {
      status = {s.State, 0, 0};
    }
    return {};
  }
  os::Status ProcessSnapshot(std::vector<os::ProcessEntry>& processes) override {
    Calls.push_back("snapshot");
    if (SnapshotFails) return Injected("CreateToolhelp32Snapshot", "");
    if (RealProcesses) return os::Api::ProcessSnapshot(processes);
    processes = Processes;
    return {};
  }
  os::Status ProcessTerminate(std::uint32_t id, std::uint32_t exitCode) override {
    Calls.push_back("terminate " + std::to_string(id) + " " + std::to_string(exitCode));
    if (RealProcesses) return os::Api::ProcessTerminate(id, exitCode);
    for (std::uint32_t f : TerminateFailsFor)
      if (f == id) return Injected("TerminateProcess", std::to_string(id));
    return {};
  }
  os::Status AdjustOwnPrivilege(const std::string& name, std::uint32_t attributes) override {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X", attributes);
    Calls.push_back("privilege " + name + " " + buf);
    return {};
  }
  void Sleep(std::uint32_t ms) override {
    Calls.push_back("sleep " + std::to_string(ms));
    Sleeps.push_back(ms);
  }

private:
  FakeService& Of(os::ServiceHandle h, const char* what) {
    const std::string& name = handles_.at(h);
    Calls.push_back(std::string(what) + " " + name);
    return Services.at(name);
  }
  std::map<os::ServiceHandle, std::string> handles_;
  os::ServiceHandle next_ = 100;
};
