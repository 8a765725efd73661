// FirebirdService - the Firebird service of the end-to-end tests: a Windows
// service program, registered with Wine's service control manager as a
// Firebird default instance, that starts and stops the private Firebird
// server (scripts/fbserver.sh, a Linux program) when the service is started
// and stopped. The updater's own stop, start and status calls therefore
// really stop and start the server.
//
// The program lies in the "bin" folder of the server folder, as a server's
// programs do; the server folder is the private server's root, so that the
// server files an update writes land in the folders the server uses. The
// server's port is the number after "-p " on the program's command line.
//
// A Linux program is started as "Z:\bin\sh -c ..."; Wine neither waits for
// it nor reports its exit code faithfully, so the start and the stop are
// judged by whether the server's port answers.
#include "os/WindowsSupport.h"

#include <winsock2.h>

#include <string>

namespace {

SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE stopEvent = nullptr;
SERVICE_STATUS status{};

void Report(DWORD State, DWORD ExitCode = NO_ERROR, DWORD WaitHint = 0) {
  static DWORD checkPoint = 0;
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = State;
  status.dwControlsAccepted = State == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  status.dwWin32ExitCode = ExitCode == NO_ERROR ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
  status.dwServiceSpecificExitCode = ExitCode;
  status.dwCheckPoint = State == SERVICE_RUNNING || State == SERVICE_STOPPED ? 0 : ++checkPoint;
  status.dwWaitHint = WaitHint;
  SetServiceStatus(statusHandle, &status);
}

// The server folder's Linux path: the folder above the program's own, as
// Wine maps it.
std::string ServerRoot() {
  wchar_t exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring root = exe;
  for (int i = 0; i < 2; ++i) root.erase(root.find_last_of(L'\\'));
  using UnixNameOf = char*(CDECL*)(const wchar_t*);
  auto unixNameOf = reinterpret_cast<UnixNameOf>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!unixNameOf) return {};
  char* name = unixNameOf(root.c_str());
  if (!name) return {};
  std::string out = name;
  HeapFree(GetProcessHeap(), 0, name);
  return out;
}

// The port after "-p " on the command line; 0 without one.
int ServerPort() {
  const std::wstring line = GetCommandLineW();
  const size_t at = line.find(L"-p ");
  return at == std::wstring::npos ? 0 : _wtoi(line.c_str() + at + 3);
}

bool PortAnswers(int Port) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(Port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool answered = connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  closesocket(s);
  return answered;
}

// Starts the server script with Command ("start" or "stop"); what it prints
// goes to service.log in the server folder. Wine does not wait for a Linux
// program, so the caller waits for the script's effect. The server gets a
// UTF-8 locale, in which it reads the file names its clients send.
void StartServerScript(const std::string& Command, const std::string& Root, int Port) {
  const std::string line = "Z:\\bin\\sh -c \"PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8 "
                           "/bin/bash '" FBSERVER_SCRIPT "' " + Command + " '" + Root + "' " + std::to_string(Port) +
                           " >>'" + Root + "/service.log' 2>&1\"";
  std::wstring command = os::win::Widen(line);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return;
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
}

// Waits up to Milliseconds for the port to answer (Answers) or to fall
// silent, reporting progress in the pending State as a server does: a new
// check-point every quarter of a second, each promising the next within a
// second; whether the port did.
bool WaitForPort(int Port, bool Answers, DWORD State, DWORD Milliseconds) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (PortAnswers(Port) == Answers) return true;
    if (GetTickCount() - start > Milliseconds) return false;
    Report(State, NO_ERROR, 1000);
    Sleep(250);
  }
}

DWORD WINAPI Handler(DWORD Control, DWORD, void*, void*) {
  if (Control == SERVICE_CONTROL_STOP) {
    Report(SERVICE_STOP_PENDING, NO_ERROR, 1000);
    SetEvent(stopEvent);
  }
  return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, wchar_t**) {
  statusHandle = RegisterServiceCtrlHandlerExW(L"", Handler, nullptr);
  if (!statusHandle) return;
  stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  const std::string root = ServerRoot();
  const int port = ServerPort();
  if (root.empty() || port == 0) {
    Report(SERVICE_STOPPED, 1);
    return;
  }
  Report(SERVICE_START_PENDING, NO_ERROR, 1000);
  StartServerScript("start", root, port);
  if (!WaitForPort(port, true, SERVICE_START_PENDING, 60000)) {
    Report(SERVICE_STOPPED, 2);
    return;
  }
  Report(SERVICE_RUNNING);
  WaitForSingleObject(stopEvent, INFINITE);
  StartServerScript("stop", root, port);
  Report(SERVICE_STOPPED, WaitForPort(port, false, SERVICE_STOP_PENDING, 30000) ? NO_ERROR : 3);
}

} // namespace

int main() {
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
  wchar_t name[] = L"";
  SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
