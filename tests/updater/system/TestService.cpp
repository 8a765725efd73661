// TestService - A minimal Windows service for the service-control tests: it reports start
// and stop progress with check-points and wait hints, as real servers do.
#include "os/WindowsSupport.h"

namespace {

SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE stopEvent = nullptr;
SERVICE_STATUS status{};

void Report(DWORD state, DWORD checkPoint, DWORD waitHint) {
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  status.dwWin32ExitCode = NO_ERROR;
  status.dwCheckPoint = checkPoint;
  status.dwWaitHint = waitHint;
  SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI Handler(DWORD control, DWORD, void*, void*) {
  if (control == SERVICE_CONTROL_STOP) {
    Report(SERVICE_STOP_PENDING, 1, 500);
    SetEvent(stopEvent);
  }
  return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, wchar_t**) {
  statusHandle = RegisterServiceCtrlHandlerExW(L"", Handler, nullptr);
  if (!statusHandle) return;
  stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  Report(SERVICE_START_PENDING, 1, 500);
  Sleep(200);
  Report(SERVICE_START_PENDING, 2, 500);
  Sleep(200);
  Report(SERVICE_RUNNING, 0, 0);
  WaitForSingleObject(stopEvent, INFINITE);
  Sleep(200);
  Report(SERVICE_STOP_PENDING, 2, 500);
  Sleep(200);
  Report(SERVICE_STOPPED, 0, 0);
}

} // namespace

int main() {
  wchar_t name[] = L"";
  SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
