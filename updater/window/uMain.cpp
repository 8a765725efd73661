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
#include "uUpdate.h"
#include "UpdaterResourceIds.h"

#include <commctrl.h>
#include <shellapi.h>

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
  // ones are never overwritten.
  WriteMissingFile(programDir_, "help.chm", "HELP", "help");
  WriteMissingFile(programDir_, "fbclient.dll", "DLL", "fbclient");
  WriteMissingFile(programDir_, "sqlscript.dll", "DLL", "sqlscript");

  SetWindowTextUtf8(hwnd_, GetMsgText("uMain_FormCreate_1"));

  log_.Create(programDir_);

  ReadServerDescription();
}

void TfrmMain::WriteMissingFile(const std::string& Dir, const char* FileName, const char* Type, const char* Name) {
  os::Api& sys = os::Sys();
  const std::string path = os::path::Join(Dir, FileName);
  if (sys.FileExists(path)) return;
  std::string_view data;
  if (os::Status read = sys.ProgramResource(Type, Name, data); !read)
    throw std::runtime_error("Не удалось прочитать ресурс " + std::string(Name) + " программы: " + read.Failure().Text);
  if (os::Status written = sys.WriteFile(path, std::string(data), false); !written)
    throw std::runtime_error("Не удалось записать файл " + path + ": " + written.Failure().Text);
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
    OnCommand(HIWORD(WParam), LOWORD(WParam));
    return 0;
  case WM_CTLCOLORSTATIC:
  case WM_CTLCOLOREDIT:
  case WM_CTLCOLORBTN:
    return OnControlColor(reinterpret_cast<HDC>(WParam), reinterpret_cast<HWND>(LParam));
  case WM_DRAWITEM:
    if (DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(LParam))) return TRUE;
    break;
  case WM_CLOSE:
    DestroyWindow(hwnd_);
    return 0;
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
    StartFBService(settings_.ServParams, true, *this);
    break;
  case IDM_OPERATIONS_STOP:
    StopFBService(settings_.ServParams, true, *this);
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

void TfrmMain::EnableControls(bool Enable) {
  EnableWindow(Control("gbConnection"), Enable);
  EnableWindow(Control("pBtn"), Enable);
}

void TfrmMain::EnableProgramLocation(bool Enable) {
  EnableWindow(Control("eProgramLocation"), Enable);
  EnableWindow(Control("bbProgramLocation"), Enable);
}

void TfrmMain::OKBtnClick() {
  if (settings_.ProjectCode.empty()) {
    ShowMessage(TMsgDlgType::Warning, GetMsgText("uMain_OkBtn_1"));
    return;
  }
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
  EnableControls(false);

  Finally restore([&] {
    EnableControls(true);
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
  EnableControls(false);
  Finally restore([&] { EnableControls(true); });
  const std::string location = WindowText(Control("eProgramLocation"));
  const std::string password = WindowText(Control("ePassword"));
  if (Online)
    UpdateOnLine(location, password);
  else
    UpdateShutdown(location, password);
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

