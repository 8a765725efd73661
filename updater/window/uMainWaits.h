// uMainWaits - the long waits of a run or a Service command with the window
// alive: the operating-system calls that block for seconds or minutes (the
// fixed pauses around the server's service, a payload program running, a
// copy or move of a large database file, a service that is slow to take a
// start or stop request) keep exactly their length and their result, but
// the window's messages are processed while they last, so that it repaints,
// animates and answers, and the system never takes it for hung. The main
// window installs it (os::ScopedApi) while it is busy; its busy state
// refuses every command that a message processed here could carry.
//
// A script statement the script engine runs, and a request to the database
// server, still block: they are calls of the libraries themselves.
#pragma once

#include "os/OsLayer.h"

#include <functional>

class TWindowWaits final : public os::Api {
public:
  // Pump processes the messages waiting for the thread's windows and
  // returns; it is called whenever one arrives during a wait.
  explicit TWindowWaits(std::function<void()> Pump) : pump_(std::move(Pump)) {}

  // Returns when Milliseconds have passed, never earlier.
  void Sleep(std::uint32_t Milliseconds) override;
  // The call itself runs on a thread of its own; this thread waits for it
  // and takes its result.
  os::Status FileCopy(const std::string& Source, const std::string& Target, bool FailIfExists) override;
  os::Status FileMove(const std::string& Source, const std::string& Target) override;
  os::Status ServiceStartRequest(os::ServiceHandle Service) override;
  os::Status ServiceStopRequest(os::ServiceHandle Service, os::ServiceStatus& Status, bool& HasStatus) override;

protected:
  std::uint32_t ProcessWait(os::ProcessHandle Process) override;

private:
  // Waits until Object (nullptr: nothing) is signalled or Deadline (a
  // GetTickCount64 value; 0: none) has come, processing messages meanwhile.
  void WaitFor(void* Object, unsigned long long Deadline);
  // Runs Work on a thread of its own and waits for it.
  os::Status OnOwnThread(const std::function<os::Status()>& Work);

  std::function<void()> pump_;
};
