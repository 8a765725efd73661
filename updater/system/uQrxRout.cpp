// uQrxRout - stateless system routines (see uQrxRout.h).
#include "uQrxRout.h"

#include "os/OsLayer.h"
#include "os/StringExtras.h"
#include "uHost.h"

#include <stdexcept>
#include <vector>

std::string IntToStr2(int Value) {
  std::string s = std::to_string(Value);
  if (s.size() == 1) return "0" + s;
  return s.substr(s.size() - 2);
}

int GetSystemLanguage() {
  // The primary language sits in the low bits of the identifier; the
  // languages compared here all fit into the low 8 bits.
  switch (os::Sys().SystemDefaultLangId() & 0xFF) {
  case 0x19: return 1; // Russian
  case 0x07: return 3; // German
  case 0x0C: return 4; // French
  default:   return 2; // English and every other language
  }
}

std::string ReplaceAll(const std::string& Text, const std::string& Pattern,
                       const std::string& Replacement) {
  if (Pattern.empty()) return Text;
  std::string result;
  result.reserve(Text.size());
  size_t from = 0;
  for (size_t at; (at = Text.find(Pattern, from)) != std::string::npos; from = at + Pattern.size()) {
    result.append(Text, from, at - from);
    result += Replacement;
  }
  result.append(Text, from, std::string::npos);
  return result;
}

namespace {

// Polls the service while it is not in Wanted: sleeps for its wait hint,
// queries again, and gives up when a query fails, the check-point goes down
// or the waits add up to kServiceWaitLimitMs.
void WaitForState(os::ServiceHandle service, std::uint32_t wanted, os::ServiceStatus& status) {
  std::uint32_t waited = 0;
  while (status.State != wanted && waited < kServiceWaitLimitMs) {
    std::uint32_t startCheckPoint = status.CheckPoint;
    std::uint32_t wait = status.WaitHint < kServiceMinPollMs ? kServiceMinPollMs : status.WaitHint;
    if (wait > kServiceWaitLimitMs - waited) wait = kServiceWaitLimitMs - waited;
    os::Sys().Sleep(wait);
    waited += wait;
    if (!os::Sys().ServiceQuery(service, status)) break;
    if (status.CheckPoint < startCheckPoint) break;
  }
}

// Takes the read-only and hidden bits off an existing file; a failure is
// left to the copy or move that follows.
void ClearProtection(const std::string& path) {
  std::uint32_t a = os::Sys().FileAttributes(path);
  if (a == os::kInvalidAttributes) return;
  std::uint32_t cleared = a & ~(os::kAttrReadOnly | os::kAttrHidden);
  if (cleared != a) os::Sys().WriteFileAttributes(path, cleared == 0 ? os::kAttrNormal : cleared);
}

} // namespace

namespace {
// The failure of a service left in State instead of the state Wanted: the
// call that failed on the way, or else the state itself.
os::Status NotInState(const std::string& ServiceName, const os::Status& FailedCall, std::uint32_t State,
                      const char* Wanted) {
  if (!FailedCall) return FailedCall;
  return os::Status(os::Error{"QueryServiceStatus", ServiceName, 0,
                              "the service is in state " + std::to_string(State) + ", not " + Wanted});
}
} // namespace

os::Status ServiceStart(const std::string& MachineName, const std::string& ServiceName) {
  os::Service manager = os::Sys().OpenServiceManager(MachineName);
  if (!manager) return manager.Why();
  os::Service service = os::Sys().OpenServiceOf(manager, ServiceName, os::ServiceAccess::Start);
  // The server's service needs this time after a stop before it can start
  // again; it is waited whether or not the service could be opened.
  os::Sys().Sleep(30000);
  if (!service) return service.Why();
  os::ServiceStatus status;
  status.State = os::kServiceStopped;
  os::Status call = os::Sys().ServiceStartRequest(service.Get());
  if (call) call = os::Sys().ServiceQuery(service.Get(), status);
  if (call) WaitForState(service.Get(), os::kServiceRunning, status);
  if (status.State == os::kServiceRunning) return {};
  return NotInState(ServiceName, call, status.State, "running (4)");
}

os::Status ServiceStop(const std::string& MachineName, const std::string& ServiceName) {
  os::Service manager = os::Sys().OpenServiceManager(MachineName);
  if (!manager) return manager.Why();
  os::Service service = os::Sys().OpenServiceOf(manager, ServiceName, os::ServiceAccess::Stop);
  if (!service) return service.Why();
  os::ServiceStatus status;
  bool hasStatus = false;
  // A service that is not running refuses the control but reports itself
  // stopped, which counts as success.
  os::Status call = os::Sys().ServiceStopRequest(service.Get(), status, hasStatus);
  if (call) call = os::Sys().ServiceQuery(service.Get(), status);
  if (call) WaitForState(service.Get(), os::kServiceStopped, status);
  if (hasStatus && status.State == os::kServiceStopped) return {};
  return NotInState(ServiceName, call, status.State, "stopped (1)");
}

int ServiceGetStatus(const std::string& MachineName, const std::string& ServiceName) {
  os::Service manager = os::Sys().OpenServiceManager(MachineName);
  if (!manager) return os::kServiceStopped;
  os::Service service = os::Sys().OpenServiceOf(manager, ServiceName, os::ServiceAccess::Query);
  if (!service) return os::kServiceStopped;
  os::ServiceStatus status;
  if (!os::Sys().ServiceQuery(service.Get(), status)) return os::kServiceStopped;
  return static_cast<int>(status.State);
}

int KillTask(const std::string& ExeName) {
  int result = -1;
  std::vector<os::ProcessEntry> processes;
  if (!os::Sys().ProcessSnapshot(processes)) return result;
  const std::string wanted = os::UpperAscii(ExeName);
  for (const os::ProcessEntry& p : processes) {
    // The snapshot gives a file name on Windows and a full path elsewhere.
    const std::string exe = os::UpperAscii(p.ExeFile);
    if (os::path::FileNameOf(exe, os::path::Style::windows) == wanted || exe == wanted)
      result = os::Sys().ProcessTerminate(p.Id, 0) ? 1 : 0;
  }
  return result;
}

namespace {
// Whether Path lies in Folder or below it: Folder, with a delimiter at its
// end, begins Path. Windows paths compare without regard to letter case.
bool LiesIn(const std::string& Path, const std::string& Folder) {
  const std::string path = os::path::Normalized(Path), folder = os::path::WithDelim(os::path::Normalized(Folder));
  if (path.size() <= folder.size()) return false;
  const std::string_view head(path.data(), folder.size());
  return os::path::Resolve(os::path::Style::native) == os::path::Style::windows ? os::EqualsIgnoringAsciiCase(head, folder)
                                                                               : head == folder;
}
} // namespace

int KillTaskInFolder(const std::string& ExeName, const std::string& Folder) {
  int result = -1;
  if (os::Trim(Folder).empty()) return result;
  std::vector<os::ProcessEntry> processes;
  if (!os::Sys().ProcessSnapshot(processes)) return result;
  for (const os::ProcessEntry& p : processes) {
    if (p.ImagePath.empty() || !os::EqualsIgnoringAsciiCase(os::path::FileNameOf(p.ImagePath), ExeName) ||
        !LiesIn(p.ImagePath, Folder))
      continue;
    result = os::Sys().ProcessTerminate(p.Id, 0) ? 1 : 0;
  }
  return result;
}

os::Status SetDebugPrivilege(bool Enable) {
  // Disabling keeps only the used-for-access bit, which takes the privilege
  // out of the enabled set.
  const std::uint32_t kEnabled = 0x00000002, kUsedForAccess = 0x80000000;
  return os::Sys().AdjustOwnPrivilege("SeDebugPrivilege", Enable ? kEnabled : kUsedForAccess);
}

std::string GetSystemDir() {
  std::string dir = os::Sys().SystemFolder();
  if (dir.empty()) throw std::runtime_error("Невозможно определить путь к системной папке!");
  return os::path::WithDelim(dir);
}

os::Status CopyFileClearAttr(const std::string& Source, const std::string& Target) {
  ClearProtection(Target);
  return os::Sys().FileCopy(Source, Target, false);
}

os::Status CopyFileDurably(const std::string& Source, const std::string& Target) {
  os::Api& sys = os::Sys();
  const std::string temporary = Target + ".$upd";
  // What a run that died here left is of no use.
  ClearProtection(temporary);
  if (sys.FileExists(temporary)) sys.FileDelete(temporary);
  os::Status done = sys.FileCopy(Source, temporary, true);
  if (done) {
    // A read-only copy is opened for writing to be flushed on Windows.
    const std::uint32_t a = sys.FileAttributes(temporary);
    const bool readOnly = a != os::kInvalidAttributes && (a & os::kAttrReadOnly);
    if (readOnly) sys.WriteFileAttributes(temporary, a & ~os::kAttrReadOnly);
    done = sys.FlushFile(temporary);
    if (readOnly) sys.WriteFileAttributes(temporary, a);
  }
  if (done) done = sys.FileReplace(temporary, Target);
  if (!done && sys.FileExists(temporary)) {
    ClearProtection(temporary);
    sys.FileDelete(temporary);
  }
  return done;
}

os::Status MoveFileClearAttr(const std::string& Source, const std::string& Target) {
  ClearProtection(Target);
  return os::Sys().FileMove(Source, Target);
}

int ExecAndWait(const std::string& ProgramFile, const std::string& Params, std::uint16_t ShowWindow) {
  const std::string full = os::Sys().FullPathName(ProgramFile);
  const std::string folder = os::path::FolderOf(full);
  os::Process process = os::Sys().StartProcess(full, Params, folder, ShowWindow);
  if (!process) throw std::runtime_error(os::WithCause("Невозможно запустить внешнюю программу!", process.Why()));
  ProcessMessages();
  const std::uint32_t code = os::Sys().WaitForExit(process);
  ProcessMessages();
  return static_cast<int>(code);
}

std::int64_t GetFileSizeScaled(const std::string& FileName, int Shift) {
  std::uint64_t size = 0;
  if (!os::Sys().FileSizeExclusive(FileName, size)) return -1;
  if (Shift <= 0) return static_cast<std::int64_t>(size);
  return Shift >= 64 ? 0 : static_cast<std::int64_t>(size >> Shift);
}

void CheckFreeSize(const std::string& FileName, const std::string& Drive, std::uint8_t Factor,
                   std::int64_t ExtraMb) {
  ProcessMessages();
  const std::int64_t sizeMb = GetFileSizeScaled(FileName, 20);
  if (sizeMb < 0) throw std::runtime_error("");
  const std::int64_t need = static_cast<std::int64_t>(Factor) * sizeMb + ExtraMb;
  std::uint64_t freeBytes = 0;
  if (!os::Sys().DiskFreeBytes(Drive, freeBytes)) freeBytes = 0;
  const std::int64_t freeMb = static_cast<std::int64_t>(freeBytes >> 20);
  if (freeMb < need)
    throw std::runtime_error("Для записи файла на диск \"" + Drive + "\" требуется не менее " +
                             std::to_string(need) + " МБ свободного места!");
}
