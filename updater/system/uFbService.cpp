// uFbService - the installed Firebird server (see uFbService.h).
#include "uFbService.h"

#include "os/OsLayer.h"
#include "os/StringExtras.h"
#include "uHost.h"
#include "uQrxRout.h"

#include <stdexcept>

namespace {

const char* const kMakerService = "NorvelRaruRIvizServer";
const char* const kGuardianService = "FirebirdGuardianDefaultInstance";
const char* const kServerService = "FirebirdServerDefaultInstance";

const std::string kServicesKey = "SYSTEM\\CurrentControlSet\\Services\\";
const std::string kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
// The two product names the maker's installer enters in the programs list.
const std::string kUninstallName1 = "Firebird 2.0 для ПО ГК \"Норвел\"";
const std::string kUninstallName2 = "Firebird 2_0 server for Norvel GC";

const char* const kTypeUnknown = "Тип сервера FireBird определить не удалось.";
const char* const kDamaged =
    "Служба сервера FireBird повреждена или не адаптирована для ПО ГК \"Норвел\". Обновление прервано.";
const char* const kCannotStop =
    "Невозможно остановить службу сервера FireBird. Попробуйте перезагрузить компьютер и снова запустить "
    "приложение.";
const char* const kNotStopped = "Служба сервера FireBird не остановлена!";
const char* const kStopped = "Служба сервера FireBird остановлена.";
const char* const kCannotStart =
    "Невозможно запустить службу сервера FireBird. Попробуйте перезагрузить компьютер и снова запустить "
    "приложение.";
const char* const kNotRunning = "Служба сервера FireBird не запущена!";
const char* const kStarted = "Служба сервера FireBird запущена.";

const std::uint32_t kServiceSettleMs = 15000;

struct ExeKind {
  const char* Exe; // searched for in the upper-cased command line
  const char* Type;
};
const ExeKind kMakerExes[] = {{"FBSRVVSKR.EXE", "SUPER"}, {"FB_INET_SRVVSKR.EXE", "CLASSIC"}};
const ExeKind kDefaultExes[] = {{"FBSERVER.EXE", "SUPER"}, {"FB_INET_SERVER.EXE", "CLASSIC"}};

// Both tests run, SUPER first, so a command line naming both ends CLASSIC.
template <size_t N>
void DetectType(const std::string& imagePath, const ExeKind (&kinds)[N], TFBServParams& p) {
  const std::string upper = os::UpperAscii(imagePath);
  for (const ExeKind& k : kinds) {
    if (upper.find(k.Exe) != std::string::npos) {
      p.ServerType = k.Type;
      p.ServerExe = k.Exe;
    }
  }
}

std::string HostOf(const std::string& port) { return "localhost/" + port + ":"; }

} // namespace

std::string ServerDirOf(const std::string& ImagePath) {
  size_t at = ImagePath.find("\\bin\\");
  return at == std::string::npos ? std::string() : ImagePath.substr(0, at + 1);
}

std::string PortOf(const std::string& ImagePath, bool& Found) {
  size_t at = ImagePath.find("-p ");
  Found = at != std::string::npos;
  if (!Found) return {};
  size_t from = ImagePath.find_first_not_of(' ', at + 3);
  if (from == std::string::npos) return {};
  size_t to = ImagePath.find(' ', from);
  return ImagePath.substr(from, to == std::string::npos ? std::string::npos : to - from);
}

void GetFBServParams(TFBServParams& Params) {
  os::Api& sys = os::Sys();
  Params.ServerType.clear();
  const std::string makerKey = kServicesKey + kMakerService;
  const os::RegKeyState maker = sys.LocalMachineKey(makerKey);
  std::string imagePath;
  bool hasPort = false;

  if (maker == os::RegKeyState::Readable) {
    Params.ServiceName = kMakerService;
    sys.LocalMachineString(makerKey, "ImagePath", imagePath);
    DetectType(imagePath, kMakerExes, Params);
    if (Params.ServerType.empty()) throw std::runtime_error(kTypeUnknown);
    Params.ServerDir = ServerDirOf(imagePath);
    if (!sys.DirectoryExists(Params.ServerDir)) throw std::runtime_error(kDamaged);
    // Without "-p " the server listens on the product's port.
    std::string port = PortOf(imagePath, hasPort);
    Params.ServerHost = HostOf(hasPort ? port : "3051");
    return;
  }

  std::string uninstall;
  if (maker == os::RegKeyState::Missing) {
    if (sys.LocalMachineKey(kUninstallKey + kUninstallName1) != os::RegKeyState::Missing)
      uninstall = kUninstallKey + kUninstallName1;
    else if (sys.LocalMachineKey(kUninstallKey + kUninstallName2) != os::RegKeyState::Missing)
      uninstall = kUninstallKey + kUninstallName2;
    else
      return;
  } else {
    // The maker's service is there but cannot be read: its own uninstall
    // entry is taken as given.
    uninstall = kUninstallKey + kUninstallName1;
  }
  if (sys.LocalMachineKey(uninstall) != os::RegKeyState::Readable) throw std::runtime_error(kDamaged);

  const std::string serverKey = kServicesKey + kServerService;
  if (sys.LocalMachineKey(serverKey) != os::RegKeyState::Readable) return;
  // The guardian watches over the server and is the service to control.
  Params.ServiceName = kGuardianService;
  sys.LocalMachineString(serverKey, "ImagePath", imagePath);
  DetectType(imagePath, kDefaultExes, Params);
  if (Params.ServerType.empty()) throw std::runtime_error(kTypeUnknown);
  Params.ServerDir = ServerDirOf(imagePath);
  std::string port = PortOf(imagePath, hasPort);
  Params.ServerHost = HostOf(hasPort ? port : "3051");
}

void StopFBService(TFBServParams Params, bool ShowMsg, IHost& Host) {
  if (const os::Status stopped = ServiceStop("", Params.ServiceName); !stopped)
    throw std::runtime_error(os::WithCause(kCannotStop, stopped));
  SetDebugPrivilege(true);
  // Only the server the discovery found: another installation's server
  // whose program has the same name runs on.
  int killed = KillTaskInFolder(Params.ServerExe, Params.ServerDir);
  SetDebugPrivilege(false);
  if (killed == 0)
    throw std::runtime_error("Не удалось остановить процесс(ы):" + Params.ServerExe +
                             " сервера FireBird. \rВыполните остановку вручную и повторите попытку.");
  if (ServiceGetStatus("", Params.ServiceName) != static_cast<int>(os::kServiceStopped))
    throw std::runtime_error(kNotStopped);
  os::Sys().Sleep(kServiceSettleMs);
  if (ShowMsg) Host.ShowMessage(TMsgDlgType::Custom, kStopped);
}

void StartFBService(TFBServParams Params, bool ShowMsg, IHost& Host) {
  // A stopped or missing service must not prevent the start: whatever the
  // stop raises is dropped.
  try {
    StopFBService(Params, false, Host);
  } catch (...) {
  }
  if (const os::Status started = ServiceStart("", Params.ServiceName); !started)
    throw std::runtime_error(os::WithCause(kCannotStart, started));
  if (!IsFBServiceRunning()) throw std::runtime_error(kNotRunning);
  os::Sys().Sleep(kServiceSettleMs);
  if (ShowMsg) Host.ShowMessage(TMsgDlgType::Custom, kStarted);
}

bool IsFBServiceRunning() {
  for (const char* name : {kGuardianService, kServerService, kMakerService})
    if (ServiceGetStatus("", name) == static_cast<int>(os::kServiceRunning)) return true;
  return false;
}
