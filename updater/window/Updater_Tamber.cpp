// Updater_Tamber - the updater program: the message catalog, the main window
// and the message loop.
#include "uLDM.h"
#include "uMain.h"
#include "uMainClient.h"
#include "uMainIds.h"

#include "os/WindowsSupport.h"

#include <commctrl.h>
#include <objbase.h>

#include <exception>

namespace {

// Held by the running copy of the program; in the global namespace of the
// system, so that it reaches the copies of every session.
const wchar_t kSingleCopyMutex[] = L"Global\\Updater_Tamber.SingleCopy";

// The second copy says that the first one runs, in the active language,
// and brings its window forward.
void TellAnotherCopyRuns(TfrmMain& frmMain) {
  frmMain.ShowMessage(TMsgDlgType::Warning, GetMsgText("uMain_SingleCopy_1"));
  if (HWND first = FindWindowW(MAIN_WINDOW_CLASS, nullptr)) {
    if (IsIconic(first)) ShowWindow(first, SW_RESTORE);
    SetForegroundWindow(first);
  }
}

// Creates and shows the main window and runs the message loop until the
// window is closed; the loop's exit code.
int RunMainWindow(TfrmMain& frmMain, TLDM& ldm, HINSTANCE Instance, int Show) {
  frmMain.Create(Instance, ldm);
  ChooseClientLibrary(frmMain.Values(), frmMain);
  frmMain.Values().ConnectPrefix = "localhost/3051:";
  frmMain.EnableProgramLocation(false);
  ShowWindow(frmMain.Handle(), Show);
  UpdateWindow(frmMain.Handle());

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (frmMain.TranslateDialogKeys(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE Instance, HINSTANCE, PWSTR, int Show) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_ANIMATE_CLASS};
  InitCommonControlsEx(&controls);
  // The shell's folder browser needs COM on this thread.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  // The window is the host of every unit; it exists before the catalog, so
  // that the catalog's own boxes have a host, and gets its handle later.
  TfrmMain frmMain;
  frmMain.SetApplicationTitle("Updater_Tamber");
  SetHost(frmMain);
  int exitCode = 0;
  try {
    TLDM ldm(frmMain, BuiltInMessageCatalog());
    ldm.DataModuleCreate();
    // One copy of the program on the computer at a time: every run stops
    // and starts the one database server's service. A second copy ends
    // before it writes anything.
    os::win::ScopedHandle singleCopy(CreateMutexW(nullptr, FALSE, kSingleCopyMutex));
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
      TellAnotherCopyRuns(frmMain);
      exitCode = 2;
    } else {
      exitCode = RunMainWindow(frmMain, ldm, Instance, Show);
    }
  } catch (const std::exception& e) {
    frmMain.ShowMessage(TMsgDlgType::Error, e.what());
    exitCode = 1;
  }
  CoUninitialize();
  return exitCode;
}
