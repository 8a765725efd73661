// uMainWaits - the long waits with the window alive (see uMainWaits.h).
#include "uMainWaits.h"

#include "os/WindowsSupport.h"

#include <exception>

void TWindowWaits::WaitFor(void* Object, unsigned long long Deadline) {
  HANDLE handles[1] = {Object};
  const DWORD count = Object ? 1 : 0;
  for (;;) {
    DWORD timeout = INFINITE;
    if (Deadline) {
      const ULONGLONG now = GetTickCount64();
      if (now >= Deadline) return;
      timeout = static_cast<DWORD>(Deadline - now);
    }
    const DWORD woken = MsgWaitForMultipleObjectsEx(count, handles, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (count && woken == WAIT_OBJECT_0) return;
    if (woken == WAIT_OBJECT_0 + count) {
      pump_();
    } else if (woken == WAIT_FAILED) {
      // The system cannot wait for messages as well: wait as a plain call
      // would, rather than spin.
      if (Object) WaitForSingleObject(Object, INFINITE);
      else if (timeout != INFINITE) ::Sleep(timeout);
      return;
    }
  }
}

void TWindowWaits::Sleep(std::uint32_t Milliseconds) {
  if (Milliseconds == 0) ::Sleep(0);
  else WaitFor(nullptr, GetTickCount64() + Milliseconds);
}

std::uint32_t TWindowWaits::ProcessWait(os::ProcessHandle Process) {
  WaitFor(reinterpret_cast<HANDLE>(Process), 0);
  // The process has ended: this returns its exit code at once.
  return os::Api::ProcessWait(Process);
}

namespace {

// A call to run on a thread of its own, and what came of it.
struct Job {
  const std::function<os::Status()>& Work;
  os::Status Result;
  std::exception_ptr Failure;
};

DWORD WINAPI RunJob(LPVOID Context) {
  auto* job = static_cast<Job*>(Context);
  try {
    job->Result = job->Work();
  } catch (...) {
    job->Failure = std::current_exception();
  }
  return 0;
}

} // namespace

os::Status TWindowWaits::OnOwnThread(const std::function<os::Status()>& Work) {
  Job job{Work, {}, nullptr};
  os::win::ScopedHandle thread(CreateThread(nullptr, 0, &RunJob, &job, 0, nullptr));
  // Without a thread the call blocks here, as it would anyway.
  if (!thread.Valid()) return Work();
  WaitFor(thread.Get(), 0);
  if (job.Failure) std::rethrow_exception(job.Failure);
  return job.Result;
}

os::Status TWindowWaits::FileCopy(const std::string& Source, const std::string& Target, bool FailIfExists) {
  return OnOwnThread([&] { return os::Api::FileCopy(Source, Target, FailIfExists); });
}

os::Status TWindowWaits::FileMove(const std::string& Source, const std::string& Target) {
  return OnOwnThread([&] { return os::Api::FileMove(Source, Target); });
}

os::Status TWindowWaits::ServiceStartRequest(os::ServiceHandle Service) {
  return OnOwnThread([&] { return os::Api::ServiceStartRequest(Service); });
}

os::Status TWindowWaits::ServiceStopRequest(os::ServiceHandle Service, os::ServiceStatus& Status, bool& HasStatus) {
  return OnOwnThread([&] { return os::Api::ServiceStopRequest(Service, Status, HasStatus); });
}
