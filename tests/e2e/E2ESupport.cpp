// E2ESupport - what the end-to-end tests under Wine stand on (see E2ESupport.h).
#include "E2ESupport.h"

#include "TestHosts.h"
#include "uMainIds.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

namespace e2e {

using os::win::Narrow;
using os::win::Widen;

bool WaitFor(const std::function<bool()>& Condition, DWORD Milliseconds) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (Condition()) return true;
    if (GetTickCount() - start > Milliseconds) return false;
    Sleep(50);
  }
}

std::string ReadFile(const fs::path& Path) { return ReadFileBytes(Path.string()); }

std::string Utf8(const fs::path& Path) { return Narrow(Path.wstring()); }

void WriteFile(const fs::path& Path, const std::string& Data) {
  fs::create_directories(Path.parent_path());
  std::ofstream(Path, std::ios::binary) << Data;
}

//--- The Linux host -------------------------------------------------------------------

namespace {

// The Linux path of a Windows path as Wine first gives it: through the
// prefix's "dosdevices" links. Wine names only paths whose folders exist;
// the part below the deepest existing folder is added as it is.
std::string LinkedUnixPathOf(const fs::path& WindowsPath) {
  using UnixNameOf = char*(CDECL*)(const wchar_t*);
  static const auto unixNameOf = reinterpret_cast<UnixNameOf>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!unixNameOf) return {};
  fs::path existing = fs::absolute(WindowsPath);
  std::string rest;
  for (;;) {
    if (char* name = unixNameOf(existing.wstring().c_str())) {
      std::string out = name;
      HeapFree(GetProcessHeap(), 0, name);
      return out + rest;
    }
    if (!existing.has_relative_path()) return {};
    rest = "/" + Utf8(existing.filename()) + rest;
    existing = existing.parent_path();
  }
}

} // namespace

// The links resolved: a path through "dosdevices/c:" carries a colon that
// the Firebird tools take for the end of a server name.
std::string UnixPathOf(const fs::path& WindowsPath) {
  const std::string linked = LinkedUnixPathOf(WindowsPath);
  if (linked.find("/dosdevices/") == std::string::npos) return linked;
  std::string resolved = RunOnHost("realpath -m -- '" + linked + "'").Output;
  while (!resolved.empty() && resolved.back() == '\n') resolved.pop_back();
  return resolved.empty() ? linked : resolved;
}

// The command goes into a script file, so that no quoting of the Windows
// command line stands between it and the shell. Wine does not wait for a
// Linux program it started, so the script writes its exit code last, under
// a name of its own, and the caller waits for that file. The command runs
// in a UTF-8 locale, in which the Firebird tools read file names.
HostResult RunOnHost(const std::string& Command, DWORD Milliseconds) {
  HostResult result;
  TempDir dir;
  const fs::path folder = fs::u8path(dir.Path());
  const std::string unixFolder = LinkedUnixPathOf(folder);
  WriteFile(folder / "command.sh", "export LC_ALL=C.UTF-8\n( " + Command + "\n) >'" + unixFolder + "/output' 2>&1\necho $? >'" + unixFolder +
                                       "/code.part'\nmv '" + unixFolder + "/code.part' '" + unixFolder + "/code'\n");
  std::wstring line = Widen("Z:\\bin\\sh \"" + unixFolder + "/command.sh\"");
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi)) {
    result.Output = "the shell cannot be started: error " + std::to_string(GetLastError());
    return result;
  }
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  if (!WaitFor([&] { return fs::exists(folder / "code"); }, Milliseconds)) {
    result.Output = "the command did not finish: " + Command;
    return result;
  }
  result.ExitCode = std::atoi(ReadFile(folder / "code").c_str());
  result.Output = ReadFile(folder / "output");
  return result;
}

std::string Isql(const fs::path& Database, const std::string& Sql) {
  const std::string target =
      Database.empty() ? std::string() : "'localhost/" + std::to_string(SERVER_PORT) + ":" + UnixPathOf(Database) + "'";
  const HostResult r =
      RunOnHost("isql-fb -q -ch UTF8 -user SYSDBA -password qelvormask " + target + " <<'SQL'\n" + Sql + "\nSQL");
  return r.Output;
}

std::string QueryValue(const fs::path& Database, const std::string& Sql) {
  std::string out = Isql(Database, "set heading off;\n" + Sql);
  const size_t from = out.find_first_not_of(" \r\n\t");
  if (from == std::string::npos) return {};
  out = out.substr(from);
  out = out.substr(0, out.find('\n'));
  while (!out.empty() && (out.back() == ' ' || out.back() == '\r')) out.pop_back();
  return out;
}

//--- The Firebird service ----------------------------------------------------------

namespace {

const wchar_t kUninstallKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Firebird 2_0 server for Norvel GC";
const wchar_t kServicesKey[] = L"SYSTEM\\CurrentControlSet\\Services\\";
const wchar_t kMakerService[] = L"NorvelRaruRIvizServer";

std::wstring WindowsRoot() {
  std::wstring root = Widen(SERVER_ROOT);
  for (wchar_t& c : root)
    if (c == L'/') c = L'\\';
  if (root.back() != L'\\') root += L'\\';
  return root;
}

DWORD ServiceState(const wchar_t* Name) {
  os::win::ScopedServiceHandle scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  os::win::ScopedServiceHandle svc(OpenServiceW(scm.Get(), Name, SERVICE_QUERY_STATUS));
  SERVICE_STATUS ss{};
  return svc.Valid() && QueryServiceStatus(svc.Get(), &ss) ? ss.dwCurrentState : 0;
}

bool Register(SC_HANDLE Manager, const wchar_t* Name, const wchar_t* Display, const std::wstring& Command) {
  os::win::ScopedServiceHandle svc(CreateServiceW(Manager, Name, Display, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                                  SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, Command.c_str(), nullptr,
                                                  nullptr, nullptr, nullptr, nullptr));
  if (!svc.Valid()) ADD_FAILURE() << "the service " << Narrow(Name) << " cannot be registered: " << GetLastError();
  return svc.Valid();
}

void Unregister(SC_HANDLE Manager, const wchar_t* Name) {
  os::win::ScopedServiceHandle svc(OpenServiceW(Manager, Name, SERVICE_ALL_ACCESS));
  if (!svc.Valid()) return;
  SERVICE_STATUS ss{};
  if (ControlService(svc.Get(), SERVICE_CONTROL_STOP, &ss))
    WaitFor([&] { return QueryServiceStatus(svc.Get(), &ss) && ss.dwCurrentState == SERVICE_STOPPED; }, 60000);
  DeleteService(svc.Get());
}

} // namespace

std::string FirebirdInstance::Root() { return Narrow(WindowsRoot()); }

void FirebirdInstance::Remove() {
  os::win::ScopedServiceHandle scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  for (const wchar_t* name : {kGuardian, kServer, kMakerService}) Unregister(scm.Get(), name);
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, kUninstallKey);
  // A server another run left behind (its service gone with a killed test).
  RunOnHost("bash '" SOURCE_DIR "/scripts/fbserver.sh' stop '" + UnixPathOf(WindowsRoot()) + "'");
}

FirebirdInstance::FirebirdInstance() {
  Remove();
  const fs::path bin = fs::path(WindowsRoot()) / "bin";
  fs::create_directories(bin);
  fs::create_directories(fs::path(WindowsRoot()) / "udf");
  // What an earlier update wrote into the server folder goes, so that every
  // test starts from the server files of a fresh installation.
  for (const fs::path& folder : {bin, fs::path(WindowsRoot()) / "udf"})
    for (const auto& e : fs::directory_iterator(folder)) fs::remove_all(e.path());
  const auto copy = fs::copy_options::overwrite_existing;
  fs::copy_file(fs::u8path(SERVICE_EXE), bin / "fbguard.exe", copy);
  fs::copy_file(fs::u8path(SERVICE_EXE), bin / "fbserver.exe", copy);
  fs::copy_file(fs::u8path(BRIDGE_MODULE), bin / "fbclient.dll", copy);

  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    ADD_FAILURE() << "the programs list's entry cannot be made";
    return;
  }
  const std::wstring display = L"Firebird 2_0 server for Norvel GC";
  RegSetValueExW(key, L"DisplayName", 0, REG_SZ, reinterpret_cast<const BYTE*>(display.c_str()),
                 static_cast<DWORD>((display.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);

  // Unquoted, as discovery reads the server folder up to "\bin\".
  const std::wstring port = std::to_wstring(SERVER_PORT);
  os::win::ScopedServiceHandle scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!Register(scm.Get(), kServer, L"Firebird Server - DefaultInstance", (bin / "fbserver.exe").wstring() + L" -s -p " + port) ||
      !Register(scm.Get(), kGuardian, L"Firebird Guardian - DefaultInstance", (bin / "fbguard.exe").wstring() + L" -s -p " + port))
    return;
  ready_ = Start();
  if (!ready_) ADD_FAILURE() << "the Firebird service did not start: " << ReadFile(fs::path(WindowsRoot()) / "service.log");
}

FirebirdInstance::~FirebirdInstance() { Remove(); }

DWORD FirebirdInstance::GuardianState() { return ServiceState(kGuardian); }

bool FirebirdInstance::ServerAnswers() {
  return RunOnHost("bash -c 'exec 3<>/dev/tcp/127.0.0.1/" + std::to_string(SERVER_PORT) + "'").ExitCode == 0;
}

bool FirebirdInstance::Start() {
  os::win::ScopedServiceHandle scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  os::win::ScopedServiceHandle svc(OpenServiceW(scm.Get(), kGuardian, SERVICE_START | SERVICE_QUERY_STATUS));
  if (!svc.Valid()) return false;
  StartServiceW(svc.Get(), 0, nullptr);
  SERVICE_STATUS ss{};
  WaitFor([&] { return QueryServiceStatus(svc.Get(), &ss) && ss.dwCurrentState != SERVICE_START_PENDING; }, 90000);
  return ss.dwCurrentState == SERVICE_RUNNING;
}

bool FirebirdInstance::Stop() {
  os::win::ScopedServiceHandle scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  os::win::ScopedServiceHandle svc(OpenServiceW(scm.Get(), kGuardian, SERVICE_STOP | SERVICE_QUERY_STATUS));
  if (!svc.Valid()) return false;
  SERVICE_STATUS ss{};
  ControlService(svc.Get(), SERVICE_CONTROL_STOP, &ss);
  return WaitFor([&] { return QueryServiceStatus(svc.Get(), &ss) && ss.dwCurrentState == SERVICE_STOPPED; }, 60000);
}

std::string MakeInstallation(const fs::path& Folder) {
  const HostResult r = RunOnHost("bash '" SOURCE_DIR "/scripts/sample-installation.sh' '" + UnixPathOf(Folder) +
                                 "' " + std::to_string(SERVER_PORT));
  return r.ExitCode == 0 ? std::string() : "the installation was not made: " + r.Output;
}

//--- The updater's window ------------------------------------------------------------

const std::wstring& DesktopName() {
  static const std::wstring name = [] {
    wchar_t buffer[256] = {};
    GetEnvironmentVariableW(L"WINDOW_TEST_DESKTOP", buffer, 256);
    return std::wstring(buffer);
  }();
  return name;
}

bool JoinDesktop() {
  static const bool joined = [] {
    if (DesktopName().empty()) return true;
    for (int i = 0; i < 150; ++i) {
      if (HDESK d = OpenDesktopW(DesktopName().c_str(), 0, FALSE, GENERIC_ALL)) return SetThreadDesktop(d) != FALSE;
      Sleep(100);
    }
    // Now and then the virtual desktop does not come up; a plain desktop of
    // that name serves as well.
    std::fprintf(stderr, "note: no virtual desktop; the tests run on a plain one\n");
    HDESK d = CreateDesktopW(DesktopName().c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    return d && SetThreadDesktop(d) != FALSE;
  }();
  return joined;
}

// The program's thread may just have come back from one of its long fixed
// waits, which the system takes for a hang: the call waits for it anyway.
std::string TextOf(HWND Window) {
  std::vector<wchar_t> buffer(1 << 20);
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(Window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), SMTO_NORMAL,
                           30000, &length))
    return "<no answer>";
  return Narrow(buffer.data(), length);
}

Updater::Updater(const fs::path& Folder, const std::map<std::wstring, std::wstring>& Env) {
  fs::create_directories(Folder);
  exe_ = Folder / "Updater_Tamber.exe";
  fs::copy_file(fs::u8path(UPDATER_EXE), exe_, fs::copy_options::overwrite_existing);

  std::wstring block;
  wchar_t* env = GetEnvironmentStringsW();
  for (const wchar_t* p = env; *p; p += wcslen(p) + 1) {
    const std::wstring entry = p;
    const std::wstring name = entry.substr(0, entry.find(L'=', 1));
    bool replaced = false;
    for (const auto& [n, v] : Env) replaced = replaced || _wcsicmp(n.c_str(), name.c_str()) == 0;
    if (!replaced) block += entry + L'\0';
  }
  FreeEnvironmentStringsW(env);
  for (const auto& [n, v] : Env) block += n + L"=" + v + L'\0';
  block += L'\0';

  STARTUPINFOW si{};
  si.cb = sizeof si;
  std::wstring desktop = DesktopName();
  if (!desktop.empty()) si.lpDesktop = desktop.data();
  std::wstring command = L"\"" + exe_.wstring() + L"\"";
  if (!CreateProcessW(exe_.wstring().c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                      block.data(), Folder.wstring().c_str(), &si, &process_))
    ADD_FAILURE() << "the program cannot be started: error " << GetLastError();
}

Updater::~Updater() {
  if (!process_.hProcess) return;
  if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
    if (window_) PostMessageW(window_, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process_.hProcess, 10000) == WAIT_TIMEOUT) TerminateProcess(process_.hProcess, 1);
  }
  CloseHandle(process_.hProcess);
  CloseHandle(process_.hThread);
}

HWND Updater::VisibleWindow(const wchar_t* Class) {
  HWND w = nullptr;
  while ((w = FindWindowExW(nullptr, w, Class, nullptr))) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid == process_.dwProcessId && IsWindowVisible(w)) return w;
  }
  return nullptr;
}

HWND Updater::Window() {
  if (!window_) WaitFor([&] { return (window_ = VisibleWindow(MAIN_WINDOW_CLASS)) != nullptr; });
  return window_;
}

namespace {
struct Search {
  int Id;
  HWND Found;
};
BOOL CALLBACK FindControl(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<Search*>(p);
  if (GetDlgCtrlID(w) != s->Id) return TRUE;
  s->Found = w;
  return FALSE;
}
} // namespace

HWND Updater::Control(int Id) {
  Search s{Id, nullptr};
  EnumChildWindows(Window(), &FindControl, reinterpret_cast<LPARAM>(&s));
  return s.Found;
}

void Updater::Command(int Id) { PostMessageW(Window(), WM_COMMAND, MAKEWPARAM(Id, 0), 0); }

HWND Updater::Box(DWORD Milliseconds) {
  HWND found = nullptr;
  WaitFor([&] { return (found = VisibleWindow(L"#32770")) != nullptr; }, Milliseconds);
  return found;
}

std::string Updater::BoxText(HWND Box) { return TextOf(GetDlgItem(Box, 0xFFFF)); }

void Updater::Answer(HWND Box, int Button) {
  PostMessageW(GetDlgItem(Box, Button), BM_CLICK, 0, 0);
  WaitFor([&] { return !IsWindow(Box) || !IsWindowVisible(Box); }, 10000);
}

std::string Updater::LogFile() const {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(exe_.parent_path() / "Logs", ec)) return e.path().string();
  return {};
}

std::vector<std::string> LogEntries(const std::string& LogFile) {
  // Each entry: a lone CR, the date, " - ", the time, ": ", the text, CR LF.
  const std::string text = ReadFile(fs::u8path(LogFile));
  std::vector<std::string> entries;
  size_t at = 0;
  while (at < text.size() && text[at] == '\r') {
    size_t end = text.find("\r\n\r", at + 1);
    end = end == std::string::npos ? text.size() : end + 2;
    std::string entry = text.substr(at + 1, end - at - 1);
    if (entry.size() >= 2 && entry.compare(entry.size() - 2, 2, "\r\n") == 0) entry.resize(entry.size() - 2);
    const size_t dash = entry.find(" - ");
    const size_t colon = dash == std::string::npos ? std::string::npos : entry.find(": ", dash);
    entries.push_back(colon == std::string::npos ? entry : entry.substr(colon + 2));
    at = end;
  }
  return entries;
}

void Screenshot(const std::string& Name) {
  const fs::path dir = fs::u8path(ARTIFACT_DIR);
  fs::create_directories(dir);
  const std::string target = UnixPathOf(dir) + "/" + Name + ".png";
  const HostResult r = RunOnHost("import -window root 'png:" + target + "'");
  EXPECT_EQ(r.ExitCode, 0) << "no screenshot " << Name << ": " << r.Output;
}

} // namespace e2e
