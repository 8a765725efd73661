// Updater_Tamber - the updater program: the message catalog, the main window
// and the message loop.
#include "uLDM.h"
#include "uMain.h"
#include "uMainClient.h"

#include "os/WindowsSupport.h"

#include <commctrl.h>
#include <objbase.h>

#include <exception>

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
    frmMain.Create(Instance, ldm);
    ChooseClientLibrary(frmMain.Values(), frmMain);
    frmMain.Values().ConnectPrefix = "localhost/3051:";
    frmMain.EnableProgramLocation(false);
    ShowWindow(frmMain.Handle(), Show);
    UpdateWindow(frmMain.Handle());

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      if (IsDialogMessageW(frmMain.Handle(), &msg)) continue;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    exitCode = static_cast<int>(msg.wParam);
  } catch (const std::exception& e) {
    frmMain.ShowMessage(TMsgDlgType::Error, e.what());
    exitCode = 1;
  }
  CoUninitialize();
  return exitCode;
}
