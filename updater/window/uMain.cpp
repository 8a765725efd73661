// uMain - the main window TfrmMain (see uMain.h): its start-up, its window
// procedure and the handlers of its commands.
//
// The window procedure handles the messages of the window and those its
// containers pass on (see uMainLayout.cpp), and catches every error before
// it could reach the system.
#include "uMain.h"

#include "uChoiceFolder.h"
#include "uFbService.h"
#include "uMainIds.h"
#include "uMainText.h"
#include "uMainWaits.h"
#include "uProgramFiles.h"
#include "uUpdate.h"
#include "UpdaterResourceIds.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <stdexcept>

namespace {

using os::win::Narrow;
using os::win::Widen;

// The window's caption while a project is chosen (not translated).
const char kProjectCaption[] = "Updater ПО КЛУР ГК \"Норвел\": обновление проекта ";

std::string ProgramTitle() {
  std::string exe = os::Sys().ProgramFile();
  const size_t slash = exe.find_last_of("\\/");
  if (slash != std::string::npos) exe.erase(0, slash + 1);
  const size_t dot = exe.rfind('.');
  return dot == std::string::npos ? exe : exe.substr(0, dot);
}

// Runs a block's "finally" part on every way out.
template <typename F>
class Finally {
public:
  explicit Finally(F f) : f_(std::move(f)) {}
  ~Finally() { f_(); }
  Finally(const Finally&) = delete;
  Finally& operator=(const Finally&) = delete;

private:
  F f_;
};

// Puts Text into the busy notice Dialog, makes the box as tall as the text
// needs at its width and centres it over Owner.
void FitNotice(HWND Dialog, HWND Owner, const std::wstring& Text) {
  HWND text = GetDlgItem(Dialog, IDC_NOTICE_TEXT);
  SetWindowTextW(text, Text.c_str());
  RECT box;
  GetClientRect(text, &box);
  RECT needed{0, 0, box.right, 0};
  {
    ScopedDC dc(text);
    ScopedSelection font(dc.Get(), reinterpret_cast<HFONT>(SendMessageW(text, WM_GETFONT, 0, 0)));
    DrawTextW(dc.Get(), Text.c_str(), -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  }
  const int grow = std::max(0, static_cast<int>(needed.bottom - box.bottom));
  RECT frame;
  GetWindowRect(Dialog, &frame);
  if (grow > 0) {
    SetWindowPos(text, nullptr, 0, 0, box.right, needed.bottom, SWP_NOMOVE | SWP_NOZORDER);
    HWND ok = GetDlgItem(Dialog, IDOK);
    RECT button;
    GetWindowRect(ok, &button);
    MapWindowPoints(nullptr, Dialog, reinterpret_cast<POINT*>(&button), 2);
    SetWindowPos(ok, nullptr, button.left, button.top + grow, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    frame.bottom += grow;
  }
  RECT owner;
  GetWindowRect(Owner, &owner);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  SetWindowPos(Dialog, nullptr, (owner.left + owner.right - width) / 2, (owner.top + owner.bottom - height) / 2, width,
               height, SWP_NOZORDER);
}

} // namespace

TfrmMain::TfrmMain() = default;

TfrmMain::~TfrmMain() = default;

//--- Start-up ----------------------------------------------------------------------

void TfrmMain::Create(HINSTANCE Instance, TLDM& Ldm) {
  instance_ = Instance;
  ldm_ = &Ldm;
  programDir_ = os::ProgramFolder();

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &TfrmMain::WindowProc;
  wc.hInstance = Instance;
  wc.hIcon = LoadIconW(Instance, MAKEINTRESOURCEW(IDI_UPDATER_TAMBER));
  wc.hIconSm = wc.hIcon;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = MAIN_WINDOW_CLASS;
  RegisterClassExW(&wc);

  CreateMainWindow();
  CreateControls();

  // The translation table re-labels the controls in the active language.
  InitMainWindowTable(sill_, this);
  Ldm.LinkTable(sill_);
  linked_ = true;

  try {
    FormCreate();
  } catch (const std::exception& e) {
    AEException(e);
  }
}

void TfrmMain::FormCreate() {
  SetWhiteMenu(true);

  appTitle_ = ProgramTitle();
  SetWindowTextUtf8(hwnd_, appTitle_);

  LoadPictures();

  // The files the program and the engine need beside the program; existing
  // ones are never overwritten, missing ones are written whole.
  WriteMissingFile(programDir_, "help.chm", "HELP", "help");
  WriteMissingFile(programDir_, "fbclient.dll", "DLL", "fbclient");
  WriteMissingFile(programDir_, "sqlscript.dll", "DLL", "sqlscript");

  SetWindowTextUtf8(hwnd_, GetMsgText("uMain_FormCreate_1"));

  log_.Create(programDir_);

  ReadServerDescription();
}

void TfrmMain::ReadServerDescription() {
  try {
    TFBServParams params;
    GetFBServParams(params);
    settings_.ServParams = params;
  } catch (const std::exception& e) {
    throw std::runtime_error(std::string(e.what()) + "\r" + GetMsgText("uMain_FormCreate_2"));
  }
}

//--- The window procedure ------------------------------------------------------------

LRESULT CALLBACK TfrmMain::WindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  if (Message == WM_NCCREATE) {
    auto* self = static_cast<TfrmMain*>(reinterpret_cast<CREATESTRUCTW*>(LParam)->lpCreateParams);
    self->hwnd_ = Window;
    SetWindowLongPtrW(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<TfrmMain*>(GetWindowLongPtrW(Window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(Window, Message, WParam, LParam);
  try {
    return self->OnMessage(Message, WParam, LParam);
  } catch (const std::exception& e) {
    self->AEException(e);
  } catch (...) {
    self->AEException(std::runtime_error("Неизвестная ошибка"));
  }
  return 0;
}

LRESULT TfrmMain::OnMessage(UINT Message, WPARAM WParam, LPARAM LParam) {
  switch (Message) {
  case WM_COMMAND:
    // The control that gets the focus is the one to give it back to when
    // the window is activated again (a box that opens disables the window,
    // which takes the focus away before the window hears of it).
    if ((HIWORD(WParam) == EN_SETFOCUS || HIWORD(WParam) == BN_SETFOCUS) && LParam)
      lastFocus_ = reinterpret_cast<HWND>(LParam);
    OnCommand(HIWORD(WParam), LOWORD(WParam));
    return 0;
  case WM_CTLCOLORSTATIC:
  case WM_CTLCOLOREDIT:
  case WM_CTLCOLORBTN:
    return OnControlColor(reinterpret_cast<HDC>(WParam), reinterpret_cast<HWND>(LParam));
  case WM_DRAWITEM:
    if (DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(LParam))) return TRUE;
    break;
  case WM_ACTIVATE:
    // As a dialog does: the control that had the focus last gets it back
    // when the window is active again (after a box, say).
    if (LOWORD(WParam) != WA_INACTIVE && lastFocus_ && Usable(lastFocus_)) {
      SetFocus(lastFocus_);
      return 0;
    }
    break;
  case DM_GETDEFID:
    return DefaultButton();
  case WM_NEXTDLGCTL:
    NextControl(WParam, LParam);
    return 0;
  case WM_CLOSE:
    OnClose();
    return 0;
  case WM_QUERYENDSESSION:
    // The session waits for the run; the reason is given while busy.
    return busy_ ? FALSE : TRUE;
  case WM_DESTROY:
    if (linked_ && ldm_) ldm_->UnlinkTable(sill_);
    linked_ = false;
    sill_.SetTarget(nullptr);
    // The menu brush goes with the window.
    SetWhiteMenu(false);
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(hwnd_, Message, WParam, LParam);
}

void TfrmMain::OnCommand(int Code, int Id) {
  if (Code != 0 && Code != 1 && Code != BN_CLICKED) return; // menu, accelerator, button click
  if (busy_ && RefusedWhileBusy(Id)) return;
  switch (Id) {
  case IDM_PROJECT_ZAVUDAVADA:
    ProjectClick("ZAVUDAVADA");
    break;
  case IDM_PROJECT_TAMBER_MINI:
    ProjectClick("TAMBER_MINI");
    break;
  case IDM_PROJECT_TAMBER:
    ProjectClick("TAMBER");
    break;
  case IDM_OPERATIONS_ONLINE:
    DatabaseModeClick(true);
    break;
  case IDM_OPERATIONS_SHUTDOWN:
    DatabaseModeClick(false);
    break;
  case IDM_OPERATIONS_START:
    ServiceClick(true);
    break;
  case IDM_OPERATIONS_STOP:
    ServiceClick(false);
    break;
  case IDM_HELP:
    HelpClick();
    break;
  case IDM_LANGUAGE_BASE + Russian_Language:
  case IDM_LANGUAGE_BASE + English_Language:
  case IDM_LANGUAGE_BASE + German_Language:
  case IDM_LANGUAGE_BASE + French_Language:
    LanguageClick(Id - IDM_LANGUAGE_BASE);
    break;
  case IDC_BB_PROGRAM_LOCATION:
    ProgramLocationClick();
    break;
  case IDC_OK_BTN:
    OKBtnClick();
    break;
  case IDC_CANCEL_BTN:
  case IDCANCEL: // Esc
    PostMessageW(hwnd_, WM_CLOSE, 0, 0);
    break;
  }
}

void TfrmMain::AEException(const std::exception& E) {
  try {
    ::AEException(log_, *this, *this, E);
  } catch (...) {
    // The hook itself must never let an error out into the system.
  }
}

//--- The keyboard and the message loops ---------------------------------------------

bool TfrmMain::TranslateDialogKeys(MSG& Msg) {
  if (notice_ && IsDialogMessageW(notice_, &Msg)) return true;
  return hwnd_ && IsDialogMessageW(hwnd_, &Msg);
}

void TfrmMain::PumpMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // Left for the message loop, which ends the program.
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (TranslateDialogKeys(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// Whether Control can take the focus: visible and enabled, its containers
// included.
bool TfrmMain::Usable(HWND Control) const {
  if (!IsWindow(Control) || !IsWindowVisible(Control)) return false;
  for (HWND w = Control; w && w != hwnd_; w = GetParent(w))
    if (!IsWindowEnabled(w)) return false;
  return true;
}

// Enter presses the push button that has the focus, as in a dialog, and
// otherwise Start, the default button.
LRESULT TfrmMain::DefaultButton() const {
  HWND focus = GetFocus();
  for (const char* name : {"CancelBtn", "bbProgramLocation"})
    if (focus && focus == Control(name)) return MAKELRESULT(GetDlgCtrlID(focus), DC_HASDEFID);
  return MAKELRESULT(IDC_OK_BTN, DC_HASDEFID);
}

// WM_NEXTDLGCTL as a dialog answers it: LParam set, WParam is the control
// to focus; otherwise WParam chooses the next (0) or previous tab stop. The
// dialog manager and the log pane (Tab in a multi-line box) send it.
void TfrmMain::NextControl(WPARAM WParam, LPARAM LParam) {
  if (LOWORD(LParam)) {
    if (HWND target = reinterpret_cast<HWND>(WParam)) SetFocus(target);
    return;
  }
  HWND focus = GetFocus();
  HWND target = GetNextDlgTabItem(hwnd_, focus == hwnd_ ? nullptr : focus, WParam != 0);
  if (!target) return;
  if (SendMessageW(target, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) SendMessageW(target, EM_SETSEL, 0, -1);
  SetFocus(target);
}

//--- The busy state ----------------------------------------------------------------

class TfrmMain::BusyScope {
public:
  explicit BusyScope(TfrmMain& Form) : form_(Form), waits_([&Form] { Form.PumpMessages(); }), api_(waits_) {
    // Nothing below may fail once the window is busy.
    const std::wstring reason = WithLineBreaks(GetMsgText("uMain_OkBtn_2"));
    form_.busy_ = true;
    // A control that is about to be disabled gives the focus to the log
    // pane; a key pressed there cannot reach Start.
    HWND focus = GetFocus();
    for (const char* part : {"gbConnection", "pBtn"}) {
      HWND container = form_.Control(part);
      if (focus && (focus == container || IsChild(container, focus))) {
        focus_ = focus;
        SetFocus(form_.Control("mLog"));
      }
    }
    form_.EnableControls(false);
    EnableMenus(false);
    // Ending the Windows session waits for the run, and says why.
    ShutdownBlockReasonCreate(form_.hwnd_, reason.c_str());
  }
  ~BusyScope() {
    ShutdownBlockReasonDestroy(form_.hwnd_);
    if (form_.notice_) DestroyWindow(form_.notice_);
    EnableMenus(true);
    form_.EnableControls(true);
    const HWND focus = GetFocus();
    if (focus_ && (!focus || focus == form_.Control("mLog") || focus == form_.hwnd_) && form_.Usable(focus_))
      SetFocus(focus_);
    form_.busy_ = false;
  }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

private:
  // The Project and Service menus of the menu bar.
  void EnableMenus(bool Enable) {
    for (const char* name : {"mmProject", "mmOperations"})
      EnableMenuItem(form_.mainMenu_, form_.menu_.at(name).Position,
                     MF_BYPOSITION | (Enable ? MF_ENABLED : MF_GRAYED));
    DrawMenuBar(form_.hwnd_);
  }

  TfrmMain& form_;
  TWindowWaits waits_;
  os::ScopedApi api_;
  HWND focus_ = nullptr; // the control that had the focus, when it was disabled
};

// What the busy state refuses: everything that could start a second run or
// command or change what the running one reads. Help and Language stay.
bool TfrmMain::RefusedWhileBusy(int Command) {
  switch (Command) {
  case IDM_PROJECT_ZAVUDAVADA:
  case IDM_PROJECT_TAMBER_MINI:
  case IDM_PROJECT_TAMBER:
  case IDM_OPERATIONS_ONLINE:
  case IDM_OPERATIONS_SHUTDOWN:
  case IDM_OPERATIONS_START:
  case IDM_OPERATIONS_STOP:
  case IDC_BB_PROGRAM_LOCATION:
  case IDC_OK_BTN:
    return true;
  }
  return false;
}

// Closing ends the program, except while busy: the run would go on without a
// window to show its questions and its outcome.
void TfrmMain::OnClose() {
  if (busy_) {
    ShowBusyNotice();
    return;
  }
  DestroyWindow(hwnd_);
}

void TfrmMain::ShowBusyNotice() {
  if (!notice_)
    notice_ = CreateDialogParamW(instance_, MAKEINTRESOURCEW(IDD_BUSY_NOTICE), hwnd_, &TfrmMain::NoticeProc,
                                 reinterpret_cast<LPARAM>(this));
  if (!notice_) {
    MessageBeep(MB_ICONWARNING);
    return;
  }
  ShowWindow(notice_, SW_SHOW);
  SetForegroundWindow(notice_);
}

INT_PTR CALLBACK TfrmMain::NoticeProc(HWND Dialog, UINT Message, WPARAM WParam, LPARAM LParam) {
  try {
    switch (Message) {
    case WM_INITDIALOG: {
      auto* self = reinterpret_cast<TfrmMain*>(LParam);
      SetWindowLongPtrW(Dialog, DWLP_USER, LParam);
      SetWindowTextUtf8(Dialog, self->appTitle_);
      SendDlgItemMessageW(Dialog, IDC_NOTICE_ICON, STM_SETICON,
                          reinterpret_cast<WPARAM>(LoadIconW(nullptr, IDI_INFORMATION)), 0);
      FitNotice(Dialog, self->hwnd_, WithLineBreaks(GetMsgText("uMain_FormCloseQuery_1")));
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(WParam) == IDOK || LOWORD(WParam) == IDCANCEL) DestroyWindow(Dialog);
      return TRUE;
    case WM_DESTROY:
      if (auto* self = reinterpret_cast<TfrmMain*>(GetWindowLongPtrW(Dialog, DWLP_USER))) self->notice_ = nullptr;
      return FALSE;
    }
  } catch (...) {
    // Nothing leaves a dialog procedure into the system.
  }
  return FALSE;
}

//--- Handlers ----------------------------------------------------------------------

void TfrmMain::ProjectClick(const char* Code) {
  const TProject* project = FindProject(Code);
  if (!project) return;
  wchar_t buffer[257] = {};
  const DWORD length = GetEnvironmentVariableW(L"ALLUSERSPROFILE", buffer, 257);
  std::string base = length > 0 && length <= 256 ? Narrow(buffer, length) : std::string();

  settings_.DBFileName = project->DBFileName;
  settings_.ExeFileName = project->ExeFileName;
  SetWindowTextUtf8(Control("ePassword"), kDefaultSysPassword);
  if (base.empty() || (base.back() != '\\' && base.back() != '/')) base += '\\';
  SetWindowTextUtf8(Control("eProgramLocation"), base + project->Location);
  settings_.SpaceFactor = project->SpaceFactor;
  settings_.ProjectCode = project->Code;
  SetWindowTextUtf8(hwnd_, kProjectCaption + project->Name);
  EnableProgramLocation(true);

  // The entries are radio items of one group.
  const UINT id = project->Code == "ZAVUDAVADA" ? IDM_PROJECT_ZAVUDAVADA
                  : project->Code == "TAMBER"   ? IDM_PROJECT_TAMBER
                                                : 0;
  HMENU projects = menu_["mmProject_Tamber"].Parent;
  if (id) CheckMenuRadioItem(projects, IDM_PROJECT_ZAVUDAVADA, IDM_PROJECT_TAMBER, id, MF_BYCOMMAND);
  else CheckMenuRadioItem(projects, IDM_PROJECT_ZAVUDAVADA, IDM_PROJECT_TAMBER, 0, MF_BYCOMMAND);
}

void TfrmMain::LanguageClick(int Language) {
  if (ldm_) ldm_->SetLanguage(Language);
  RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

// The boxes and buttons inside are disabled with their containers, so that
// they also look it: a disabled container alone leaves them drawn as
// usable. The program location stays disabled until a project is chosen.
void TfrmMain::EnableControls(bool Enable) {
  EnableWindow(Control("gbConnection"), Enable);
  EnableWindow(Control("pBtn"), Enable);
  for (const char* name : {"ePassword", "OKBtn", "CancelBtn"}) EnableWindow(Control(name), Enable);
  for (const char* name : {"eProgramLocation", "bbProgramLocation"})
    EnableWindow(Control(name), Enable && locationEnabled_);
}

void TfrmMain::EnableProgramLocation(bool Enable) {
  locationEnabled_ = Enable;
  EnableWindow(Control("eProgramLocation"), Enable);
  EnableWindow(Control("bbProgramLocation"), Enable);
}

void TfrmMain::OKBtnClick() {
  if (settings_.ProjectCode.empty()) {
    ShowMessage(TMsgDlgType::Warning, GetMsgText("uMain_OkBtn_1"));
    return;
  }
  // Busy before any message is processed: a second click on Start waiting
  // in the queue must find the run going.
  BusyScope busy(*this);
  HWND captions = Control("mCaptions");
  HWND progress = Control("aProgress");
  ShowWindow(captions, SW_SHOW);
  SetWindowTextW(captions, L"");
  SetWindowTextW(captions, WithLineBreaks(GetMsgText("uMain_OkBtn_2")).c_str());
  SetCaptionsColor(kMaroon);
  ShowWindow(progress, SW_SHOW);
  SendMessageW(progress, ACM_PLAY, static_cast<WPARAM>(-1), MAKELONG(0, 0xFFFF));
  ShowWindow(Control("Image1"), SW_HIDE);
  ProcessMessages();

  Finally restore([&] {
    ProcessMessages();
    ShowWindow(progress, SW_HIDE);
    SendMessageW(progress, ACM_STOP, 0, 0);
  });
  try {
    UpdateProgramm(WindowText(Control("eProgramLocation")), WindowText(Control("ePassword")), settings_.ProjectCode);
  } catch (...) {
    ProcessMessages();
    ShowResult(false);
    throw;
  }
  ShowResult(true);
}

void TfrmMain::ShowResult(bool Success) {
  HWND captions = Control("mCaptions");
  HWND image = Control("Image1");
  HWND progress = Control("aProgress");
  SetWindowTextW(captions, L"");
  if (Success) {
    ShowPicture(image, success_);
    SetWindowTextW(captions, WithLineBreaks(GetMsgText("uMain_Finished_1")).c_str());
    SetCaptionsColor(kGreen);
    SaveExceptionToLog(GetMsgText("uMain_Finished_2"));
  } else {
    ShowPicture(image, errors_);
    SetWindowTextW(captions,
                   WithLineBreaks(GetMsgText(hadErrors_ ? "uMain_Finished_3" : "uMain_Finished_4")).c_str());
    SetCaptionsColor(kMaroon);
  }
  ShowWindow(image, SW_SHOW);
  ShowWindow(captions, SW_SHOW);
  ShowWindow(progress, SW_HIDE);
  SendMessageW(progress, ACM_STOP, 0, 0);
  RedrawWindow(captions, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void TfrmMain::ProgramLocationClick() {
  HWND location = Control("eProgramLocation");
  std::string folder = WindowText(location);
  if (ChooseFolder(GetMsgText("uMain_ProgramLocation_1"), "", folder)) SetWindowTextUtf8(location, folder);
}

void TfrmMain::DatabaseModeClick(bool Online) {
  BusyScope busy(*this);
  const std::string location = WindowText(Control("eProgramLocation"));
  const std::string password = WindowText(Control("ePassword"));
  if (Online)
    UpdateOnLine(location, password);
  else
    UpdateShutdown(location, password);
}

void TfrmMain::ServiceClick(bool Start) {
  BusyScope busy(*this);
  if (Start)
    StartFBService(settings_.ServParams, true, *this);
  else
    StopFBService(settings_.ServParams, true, *this);
}

void TfrmMain::HelpClick() {
  // The Windows folder is the system folder up to its "\system32".
  const std::string system = os::Sys().SystemFolder() + "\\";
  const size_t at = system.find("\\system32");
  const std::string windows = at == std::string::npos ? std::string() : system.substr(0, at);
  const std::wstring viewer = Widen(windows + "\\hh.exe");
  std::string help = os::path::Join(programDir_, "help.chm");
  help.insert(help.begin(), '"');
  help.push_back('"');
  ShellExecuteW(hwnd_, nullptr, viewer.c_str(), Widen(help).c_str(), nullptr, SW_SHOWNORMAL);
}

