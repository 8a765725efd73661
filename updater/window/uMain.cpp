// uMain - the main window TfrmMain (see uMain.h).
//
// The window is built from plain Win32 controls. The two groups and the
// button panel are containers: their children's notifications and colour
// requests are passed on to the main window, whose one window procedure
// handles everything and catches every error before it could reach the
// system.
#include "uMain.h"

#include "uChoiceFolder.h"
#include "uFbService.h"
#include "uMainIds.h"
#include "uUpdate.h"
#include "UpdaterResourceIds.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstring>
#include <stdexcept>

namespace {

using os::win::Narrow;
using os::win::Widen;

// The fixed client size of the window.
constexpr int kClientWidth = 476;
constexpr int kClientHeight = 473;

// Heights of the parts stacked from top to bottom.
constexpr int kConnectionHeight = 161;
constexpr int kBevelHeight = 6;
constexpr int kPanelHeight = 42;

// The background of the two groups and the button panel. The window was
// drawn for the caption-text colour of the classic schemes, which is white;
// today's systems (and Wine) make it black, so the window colour (white) is
// used instead.
constexpr int kPanelColor = COLOR_WINDOW;

// Where a group's inner area begins: below its caption, inside its frame.
constexpr int kGroupInnerLeft = 2;
constexpr int kGroupInnerTop = 15;

// The window's caption while a project is chosen (not translated).
const char kProjectCaption[] = "Updater ПО КЛУР ГК \"Норвел\": обновление проекта ";

// The system's find-computer animation in the shell library.
constexpr int kFindComputerAnimation = 152;

std::string WindowText(HWND Window) {
  const int length = GetWindowTextLengthW(Window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(Window, text.data(), length + 1);
  return Narrow(text.data(), static_cast<size_t>(got > 0 ? got : 0));
}

void SetWindowTextUtf8(HWND Window, const std::string& Text) { SetWindowTextW(Window, Widen(Text).c_str()); }

// Lone CRs of the catalog texts become CR LF, the line break the system's
// boxes and multi-line edit controls show.
std::wstring WithLineBreaks(const std::string& Text) {
  std::string out;
  for (size_t i = 0; i < Text.size(); ++i) {
    out += Text[i];
    if (Text[i] == '\r' && (i + 1 >= Text.size() || Text[i + 1] != '\n')) out += '\n';
  }
  return Widen(out);
}

std::vector<std::string> SplitLines(const std::string& Text) {
  std::vector<std::string> lines = SplitLogLines(Text);
  if (lines.size() == 1 && lines.front().empty()) lines.clear();
  return lines;
}

BYTE CharSetNumber(const std::string& Name) {
  static const std::pair<const char*, BYTE> names[] = {
      {"ANSI_CHARSET", ANSI_CHARSET},         {"DEFAULT_CHARSET", DEFAULT_CHARSET},
      {"RUSSIAN_CHARSET", RUSSIAN_CHARSET},   {"EASTEUROPE_CHARSET", EASTEUROPE_CHARSET},
      {"GREEK_CHARSET", GREEK_CHARSET},       {"TURKISH_CHARSET", TURKISH_CHARSET},
      {"BALTIC_CHARSET", BALTIC_CHARSET},     {"OEM_CHARSET", OEM_CHARSET},
      {"SYMBOL_CHARSET", SYMBOL_CHARSET},
  };
  for (const auto& [name, number] : names)
    if (Name == name) return number;
  return DEFAULT_CHARSET;
}

// A picture of the resource type "IMAGES": a bitmap file (file header,
// information header, colours, pixels).
ScopedBitmap LoadImagesBitmap(const char* Name) {
  std::string_view data;
  os::Status read = os::Sys().ProgramResource("IMAGES", Name, data);
  if (!read)
    throw std::runtime_error(std::string("Не удалось прочитать рисунок ") + Name + " из ресурсов программы: " +
                             read.Failure().Text);
  BITMAPFILEHEADER file;
  BITMAPINFOHEADER info;
  if (data.size() < sizeof file + sizeof info)
    throw std::runtime_error(std::string("Рисунок ") + Name + " в ресурсах программы повреждён");
  std::memcpy(&file, data.data(), sizeof file);
  std::memcpy(&info, data.data() + sizeof file, sizeof info);
  if (file.bfType != 0x4D42 || file.bfOffBits >= data.size())
    throw std::runtime_error(std::string("Рисунок ") + Name + " в ресурсах программы повреждён");
  const auto* header = reinterpret_cast<const BITMAPINFO*>(data.data() + sizeof file);
  ScopedBitmap bitmap(CreateDIBitmap(ScopedDC(nullptr).Get(), &info, CBM_INIT, data.data() + file.bfOffBits, header,
                                     DIB_RGB_COLORS));
  if (!bitmap.Valid()) throw std::runtime_error(std::string("Рисунок ") + Name + " не удалось загрузить");
  return bitmap;
}

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

//--- Creation ----------------------------------------------------------------------

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

  ScopedMenu menu = CreateMainMenu();
  // A fixed size (single border, only the system-menu box), centred on the
  // desktop's work area.
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  RECT frame{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&frame, style, TRUE, 0);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int x = work.left + (work.right - work.left - width) / 2;
  const int y = work.top + (work.bottom - work.top - height) / 2;
  CreateWindowExW(0, MAIN_WINDOW_CLASS, Widen(appTitle_).c_str(), style, x, y, width, height, nullptr, menu.Get(),
                  Instance, this);
  if (!hwnd_) throw std::runtime_error("Не удалось создать главное окно программы");
  mainMenu_ = menu.Release(); // the window destroys its menu
  // The menu bar may take two lines on a narrow screen: the client area
  // keeps its size.
  RECT client;
  GetClientRect(hwnd_, &client);
  if (client.bottom != kClientHeight)
    SetWindowPos(hwnd_, nullptr, 0, 0, width, height + kClientHeight - client.bottom, SWP_NOMOVE | SWP_NOZORDER);

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

ScopedMenu TfrmMain::CreateMainMenu() {
  // A submenu, once inserted, goes with the menu that holds it.
  ScopedMenu mainMenu(CreateMenu());
  auto add = [this](HMENU parent, UINT position, const char* name, const wchar_t* text, UINT id, HMENU popup,
                    UINT type = MFT_STRING) {
    MENUITEMINFOW mii{};
    mii.cbSize = sizeof mii;
    mii.fMask = MIIM_STRING | MIIM_ID | MIIM_FTYPE | (popup ? MIIM_SUBMENU : 0u);
    mii.fType = type;
    mii.wID = id;
    mii.hSubMenu = popup;
    mii.dwTypeData = const_cast<wchar_t*>(text);
    InsertMenuItemW(parent, position, TRUE, &mii);
    menu_[name] = MenuEntry{parent, position, text};
  };

  ScopedMenu project(CreatePopupMenu());
  add(project.Get(), 0, "mmProject_Zavudavada", L"Zavudavada", IDM_PROJECT_ZAVUDAVADA, nullptr,
      MFT_STRING | MFT_RADIOCHECK);
  // A menu of the system has no hidden entries: the entry lives outside the
  // menu, its command stays.
  menu_["mmProject_TamberMini"] = MenuEntry{nullptr, 0, L"Tamber_Mini"};
  add(project.Get(), 1, "mmProject_Tamber", L"Tamber", IDM_PROJECT_TAMBER, nullptr, MFT_STRING | MFT_RADIOCHECK);

  ScopedMenu operations(CreatePopupMenu());
  add(operations.Get(), 0, "mmOperations_Online", L"Перевести базу данных в многопользовательский режим (Online)",
      IDM_OPERATIONS_ONLINE, nullptr);
  add(operations.Get(), 1, "mmOperations_Shutdown", L"Перевести базу данных в однопользовательский режим (Shutdown)",
      IDM_OPERATIONS_SHUTDOWN, nullptr);
  add(operations.Get(), 2, "mmOperations_StartService", L"Запустить службу Firebird-сервера", IDM_OPERATIONS_START,
      nullptr);
  add(operations.Get(), 3, "mmOperations_StopService", L"Остановить службу Firebird-сервера", IDM_OPERATIONS_STOP,
      nullptr);

  ScopedMenu language(CreatePopupMenu());
  add(language.Get(), 0, "miLang_Russian", L"Русский", IDM_LANGUAGE_BASE + Russian_Language, nullptr,
      MFT_STRING | MFT_RADIOCHECK);
  add(language.Get(), 1, "miLang_English", L"Английский", IDM_LANGUAGE_BASE + English_Language, nullptr);
  add(language.Get(), 2, "miLang_German", L"Немецкий", IDM_LANGUAGE_BASE + German_Language, nullptr);
  add(language.Get(), 3, "miLang_Franch", L"Французский", IDM_LANGUAGE_BASE + French_Language, nullptr);

  add(mainMenu.Get(), 0, "mmProject", L"Проект", 0, project.Release());
  add(mainMenu.Get(), 1, "mmOperations", L"Сервис", 0, operations.Release());
  add(mainMenu.Get(), 2, "mmHelp", L"Справка", IDM_HELP, nullptr);
  add(mainMenu.Get(), 3, "miLanguage", L"Язык", 0, language.Release());
  return mainMenu;
}

void TfrmMain::CreateControls() {
  auto make = [this](const char* name, const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w,
                     int h, HWND parent, int id, DWORD exStyle = 0) {
    HWND c = CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    if (!c) throw std::runtime_error(std::string("Не удалось создать элемент окна ") + name);
    controls_[name] = c;
    return c;
  };
  // Containers pass their children's notifications on to the main window.
  auto container = [](HWND c) {
    SetWindowLongPtrW(c, GWLP_USERDATA, GetWindowLongPtrW(c, GWLP_WNDPROC));
    SetWindowLongPtrW(c, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TfrmMain::ContainerProc));
  };

  const int bevelTop = kClientHeight - kPanelHeight - kBevelHeight;

  HWND gb = make("gbConnection", WC_BUTTONW, L" Подключение  ", BS_GROUPBOX | WS_CLIPCHILDREN, 0, 0, kClientWidth,
                 kConnectionHeight, hwnd_, IDC_GB_CONNECTION);
  container(gb);
  make("Img", WC_STATICW, L"", SS_BITMAP | SS_CENTERIMAGE, kGroupInnerLeft, kGroupInnerTop,
       kClientWidth - 2 * kGroupInnerLeft, kConnectionHeight - kGroupInnerTop - 2, gb, IDC_IMG);
  make("lProgramLocation", WC_STATICW, L"Путь к обновляемой программе:", SS_LEFT, 8, 17, 430, 13, gb,
       IDC_L_PROGRAM_LOCATION);
  HWND location = make("eProgramLocation", WC_EDITW, L"", ES_AUTOHSCROLL | WS_TABSTOP, 8, 32, 430, 21, gb,
                       IDC_E_PROGRAM_LOCATION, WS_EX_CLIENTEDGE);
  SendMessageW(location, EM_SETLIMITTEXT, MAX_PATH, 0);
  make("bbProgramLocation", WC_BUTTONW, L"...", BS_PUSHBUTTON | WS_TABSTOP, 443, 30, 24, 24, gb,
       IDC_BB_PROGRAM_LOCATION);
  make("lPassword", WC_STATICW, L"Системный пароль: (требуется при обновлении ", SS_LEFT, 8, 99, 450, 13, gb,
       IDC_L_PASSWORD);
  make("Label1", WC_STATICW, L"сервера; как правило, не редактируется)", SS_LEFT, 8, 111, 450, 13, gb, IDC_LABEL1);
  HWND password = make("ePassword", WC_EDITW, L"", ES_PASSWORD | ES_AUTOHSCROLL | WS_TABSTOP, 8, 127, 177, 21, gb,
                       IDC_E_PASSWORD, WS_EX_CLIENTEDGE);
  SendMessageW(password, EM_SETPASSWORDCHAR, L'*', 0);

  HWND gbLog = make("gbLog", WC_BUTTONW, L" Лог работы ", BS_GROUPBOX | WS_CLIPCHILDREN, 0, kConnectionHeight,
                    kClientWidth, bevelTop - kConnectionHeight, hwnd_, IDC_GB_LOG);
  container(gbLog);
  HWND log = make("mLog", WC_EDITW, L"",
                  ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP,
                  kGroupInnerLeft, kGroupInnerTop, kClientWidth - 2 * kGroupInnerLeft,
                  bevelTop - kConnectionHeight - kGroupInnerTop - 2, gbLog, IDC_M_LOG, WS_EX_CLIENTEDGE);
  SendMessageW(log, EM_SETLIMITTEXT, 0, 0);

  make("Bevel1", WC_STATICW, L"", SS_OWNERDRAW, 0, bevelTop, kClientWidth, kBevelHeight, hwnd_, IDC_BEVEL1);

  HWND panel = make("pBtn", WC_STATICW, L"", WS_CLIPCHILDREN, 0, kClientHeight - kPanelHeight, kClientWidth,
                    kPanelHeight, hwnd_, IDC_P_BTN);
  container(panel);
  HWND image = make("Image1", WC_STATICW, L"", SS_BITMAP | SS_CENTERIMAGE, 0, 0, 49, 42, panel, IDC_IMAGE1);
  ShowWindow(image, SW_HIDE);
  HWND progress =
      make("aProgress", ANIMATE_CLASSW, L"", ACS_CENTER | ACS_TRANSPARENT, 0, 0, 41, 41, panel, IDC_A_PROGRESS);
  ShowWindow(progress, SW_HIDE);
  if (HMODULE shell = GetModuleHandleW(L"shell32.dll"))
    SendMessageW(progress, ACM_OPENW, reinterpret_cast<WPARAM>(shell),
                 reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(kFindComputerAnimation)));
  make("mCaptions", WC_EDITW, L"", ES_MULTILINE | ES_READONLY, 49, 5, 280, 32, panel, IDC_M_CAPTIONS);
  make("OKBtn", WC_BUTTONW, L"&Старт", BS_DEFPUSHBUTTON | WS_TABSTOP, 332, 8, 68, 25, panel, IDC_OK_BTN);
  make("CancelBtn", WC_BUTTONW, L"Выход", BS_PUSHBUTTON | WS_TABSTOP, 404, 8, 68, 25, panel, IDC_CANCEL_BTN);

  // "Microsoft Sans Serif" at 8 points, Cyrillic; the window's own font goes
  // to the controls that have none of their own.
  auto font = [this](const char* name, bool bold) {
    FontChoice& choice = fonts_[name];
    choice = FontChoice{"Microsoft Sans Serif", "RUSSIAN_CHARSET", bold, {}};
    ApplyFont(name, choice);
  };
  font("TfrmMain", false);
  for (const char* name : {"gbConnection", "lProgramLocation", "lPassword", "Label1", "gbLog", "mCaptions"})
    font(name, true);
  for (const char* name : {"eProgramLocation", "ePassword", "mLog"}) font(name, false);
}

ScopedFont TfrmMain::MakeFont(const FontChoice& Choice) const {
  const int height = -MulDiv(8, GetDeviceCaps(ScopedDC(nullptr).Get(), LOGPIXELSY), 72);
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfWeight = Choice.Bold ? FW_BOLD : FW_NORMAL;
  lf.lfCharSet = CharSetNumber(Choice.CharSet);
  lf.lfQuality = DEFAULT_QUALITY;
  const std::wstring face = Widen(Choice.Name);
  wcsncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
  return ScopedFont(CreateFontIndirectW(&lf));
}

void TfrmMain::ApplyFont(const std::string& Name, FontChoice& Choice) {
  ScopedFont font = MakeFont(Choice);
  const auto wParam = reinterpret_cast<WPARAM>(font.Get());
  if (Name == "TfrmMain") {
    // The controls without a font of their own take the window's.
    for (const auto& [control, window] : controls_)
      if (!fonts_.count(control)) SendMessageW(window, WM_SETFONT, wParam, TRUE);
  } else {
    SendMessageW(Control(Name), WM_SETFONT, wParam, TRUE);
  }
  // The old font goes now that no control uses it.
  Choice.Font = std::move(font);
}

HWND TfrmMain::Control(const std::string& Name) const {
  auto it = controls_.find(Name);
  return it == controls_.end() ? nullptr : it->second;
}

void TfrmMain::EnableProgramLocation(bool Enable) {
  EnableWindow(Control("eProgramLocation"), Enable);
  EnableWindow(Control("bbProgramLocation"), Enable);
}

//--- Start-up work of the window --------------------------------------------------

namespace {
// Paints the menu bar and every submenu with Brush (nullptr: the system's).
void SetMenuBackground(HMENU Menu, HBRUSH Brush) {
  MENUINFO mi{};
  mi.cbSize = sizeof mi;
  mi.fMask = MIM_BACKGROUND | MIM_APPLYTOSUBMENUS;
  mi.hbrBack = Brush;
  SetMenuInfo(Menu, &mi);
}
} // namespace

// A white menu bar and submenus, or the system's colours again. The brush
// lives as long as the menu paints with it.
void TfrmMain::SetWhiteMenu(bool White) {
  if (White) {
    ScopedBrush white(CreateSolidBrush(RGB(255, 255, 255)));
    SetMenuBackground(mainMenu_, white.Get());
    menuBrush_ = std::move(white);
    DrawMenuBar(hwnd_);
  } else if (menuBrush_.Valid()) {
    SetMenuBackground(mainMenu_, nullptr);
    menuBrush_.Reset();
  }
}

// Shows Picture in the static control Image; the picture stays with its
// owner. The control answers with the picture it showed before: one of the
// window's own, or a copy the control made of a picture with alpha (the
// window's pictures have none), which is the caller's to delete.
void TfrmMain::ShowPicture(HWND Image, const ScopedBitmap& Picture) {
  const auto previous = reinterpret_cast<HBITMAP>(
      SendMessageW(Image, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(Picture.Get())));
  if (previous != logo_.Get() && previous != success_.Get() && previous != errors_.Get()) {
    ScopedBitmap copy(previous); // deleted as it goes
  }
}

void TfrmMain::FormCreate() {
  SetWhiteMenu(true);

  appTitle_ = ProgramTitle();
  SetWindowTextUtf8(hwnd_, appTitle_);

  // The logo lies under the labels of the connection group, which paint
  // their background with the matching part of it.
  logo_ = LoadImagesBitmap("logotype");
  ShowPicture(Control("Img"), logo_);
  logoBrush_ = ScopedBrush(CreatePatternBrush(logo_.Get()));
  InvalidateRect(Control("gbConnection"), nullptr, TRUE);
  success_ = LoadImagesBitmap("Success");
  errors_ = LoadImagesBitmap("Errors");

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

//--- The window procedures -----------------------------------------------------------

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

LRESULT CALLBACK TfrmMain::ContainerProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  try {
    switch (Message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
      return SendMessageW(GetAncestor(Window, GA_ROOT), Message, WParam, LParam);
    case WM_ERASEBKGND: {
      // A group box paints only its frame and caption; the rest of it is
      // the panel colour.
      RECT r;
      GetClientRect(Window, &r);
      FillRect(reinterpret_cast<HDC>(WParam), &r, GetSysColorBrush(kPanelColor));
      return 1;
    }
    }
  } catch (...) {
    return 0;
  }
  auto original = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(Window, GWLP_USERDATA));
  return CallWindowProcW(original, Window, Message, WParam, LParam);
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
  case WM_DRAWITEM: {
    // Bevel1: an etched line along the bottom of its strip.
    auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(LParam);
    if (item->CtlID != IDC_BEVEL1) break;
    RECT r = item->rcItem;
    FillRect(item->hDC, &r, GetSysColorBrush(COLOR_WINDOW));
    DrawEdge(item->hDC, &r, EDGE_ETCHED, BF_BOTTOM);
    return TRUE;
  }
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

LRESULT TfrmMain::OnControlColor(HDC Dc, HWND Control) {
  const int id = GetDlgCtrlID(Control);
  switch (id) {
  case IDC_L_PROGRAM_LOCATION:
  case IDC_L_PASSWORD:
  case IDC_LABEL1: {
    // White text on the logo: the label's background is the part of the
    // logo it stands on.
    SetTextColor(Dc, GetSysColor(COLOR_WINDOW));
    SetBkMode(Dc, TRANSPARENT);
    if (!logoBrush_.Valid()) return reinterpret_cast<LRESULT>(GetSysColorBrush(kPanelColor));
    RECT r;
    GetWindowRect(Control, &r);
    MapWindowPoints(nullptr, GetParent(Control), reinterpret_cast<POINT*>(&r), 2);
    SetBrushOrgEx(Dc, kGroupInnerLeft - r.left, kGroupInnerTop - r.top, nullptr);
    return reinterpret_cast<LRESULT>(logoBrush_.Get());
  }
  case IDC_M_CAPTIONS:
    SetTextColor(Dc, captionsColor_);
    SetBkColor(Dc, GetSysColor(kPanelColor));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(kPanelColor));
  case IDC_E_PROGRAM_LOCATION:
  case IDC_E_PASSWORD:
  case IDC_M_LOG:
    SetTextColor(Dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(Dc, GetSysColor(COLOR_WINDOW));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
  default:
    // The groups, the panel and what stands on them.
    SetBkColor(Dc, GetSysColor(kPanelColor));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(kPanelColor));
  }
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

void TfrmMain::SetCaptionsColor(COLORREF Color) {
  captionsColor_ = Color;
  InvalidateRect(Control("mCaptions"), nullptr, TRUE);
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

//--- IHost ----------------------------------------------------------------------------

namespace {
UINT IconOf(TMsgDlgType Type) {
  switch (Type) {
  case TMsgDlgType::Warning: return MB_ICONWARNING;
  case TMsgDlgType::Error: return MB_ICONERROR;
  case TMsgDlgType::Information: return MB_ICONINFORMATION;
  case TMsgDlgType::Confirmation: return MB_ICONQUESTION;
  case TMsgDlgType::Custom: return 0;
  }
  return 0;
}
} // namespace

void TfrmMain::ShowMessage(TMsgDlgType Type, const std::string& Text) {
  MessageBoxW(hwnd_, WithLineBreaks(Text).c_str(), Widen(appTitle_).c_str(), MB_OK | IconOf(Type));
}

bool TfrmMain::AskYesNo(TMsgDlgType Type, const std::string& Text, TDefaultButton Default) {
  const UINT defaultButton = Default == TDefaultButton::No ? MB_DEFBUTTON2 : MB_DEFBUTTON1;
  return MessageBoxW(hwnd_, WithLineBreaks(Text).c_str(), Widen(appTitle_).c_str(),
                     MB_YESNO | IconOf(Type) | defaultButton) == IDYES;
}

void TfrmMain::ProcessMessages() { os::PumpWindowMessages(); }

void TfrmMain::EndProgram() { ExitProcess(1); }

void TfrmMain::SaveExceptionToLog(const std::string& Text) { log_.SaveExceptionToLog(*this, Text); }

void TfrmMain::SetStatusText(const std::string& Text) {
  HWND captions = Control("mCaptions");
  SetWindowTextW(captions, WithLineBreaks(Text).c_str());
  ShowWindow(captions, SW_SHOW);
  UpdateWindow(captions);
}

void TfrmMain::AddLine(const std::string& Line) {
  HWND log = Control("mLog");
  const int end = GetWindowTextLengthW(log);
  SendMessageW(log, EM_SETSEL, end, end);
  const std::wstring text = (end > 0 ? L"\r\n" : L"") + Widen(Line);
  SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
  // The new line is in view from its start, with the date and time.
  SendMessageW(log, WM_HSCROLL, SB_LEFT, 0);
}

//--- ITranslationTarget ----------------------------------------------------------------

namespace {
bool IsEdit(const std::string& Name) {
  return Name == "eProgramLocation" || Name == "ePassword" || Name == "mLog" || Name == "mCaptions";
}
} // namespace

bool TfrmMain::GetText(const std::string& Name, const std::string& Property, std::string& Value) const {
  if (Name == ClassName()) {
    if (Property != "Caption") return false;
    Value = WindowText(hwnd_);
    return true;
  }
  if (auto m = menu_.find(Name); m != menu_.end()) {
    if (Property != "Caption") return false;
    Value = Narrow(m->second.Text);
    return true;
  }
  HWND c = Control(Name);
  if (!c) return false;
  if (Property == (IsEdit(Name) ? "Text" : "Caption")) {
    Value = WindowText(c);
    return true;
  }
  return false;
}

void TfrmMain::SetText(const std::string& Name, const std::string& Property, const std::string& Value) {
  if (Name == ClassName()) {
    if (Property == "Caption") SetWindowTextUtf8(hwnd_, Value);
    return;
  }
  if (auto m = menu_.find(Name); m != menu_.end()) {
    if (Property != "Caption") return;
    MenuEntry& entry = m->second;
    entry.Text = Widen(Value);
    if (entry.Parent) {
      MENUITEMINFOW mii{};
      mii.cbSize = sizeof mii;
      mii.fMask = MIIM_STRING;
      mii.dwTypeData = entry.Text.data();
      SetMenuItemInfoW(entry.Parent, entry.Position, TRUE, &mii);
      DrawMenuBar(hwnd_);
    }
    return;
  }
  if (HWND c = Control(Name); c && Property == (IsEdit(Name) ? "Text" : "Caption")) SetWindowTextUtf8(c, Value);
}

bool TfrmMain::GetLines(const std::string& Name, std::vector<std::string>& Lines) const {
  if (Name != "mLog" && Name != "mCaptions") return false;
  Lines = SplitLines(WindowText(Control(Name)));
  return true;
}

void TfrmMain::SetLines(const std::string& Name, const std::vector<std::string>& Lines) {
  if (Name != "mLog" && Name != "mCaptions") return;
  std::string text;
  for (size_t i = 0; i < Lines.size(); ++i) text += (i ? "\r\n" : "") + Lines[i];
  SetWindowTextUtf8(Control(Name), text);
}

bool TfrmMain::GetFont(const std::string& Name, std::string& FontName, std::string& CharSet) const {
  auto it = fonts_.find(Name);
  if (it == fonts_.end()) return false;
  FontName = it->second.Name;
  CharSet = it->second.CharSet;
  return true;
}

void TfrmMain::SetFont(const std::string& Name, const std::string& FontName, const std::string& CharSet) {
  auto it = fonts_.find(Name);
  if (it == fonts_.end()) return;
  it->second.Name = FontName;
  it->second.CharSet = CharSet;
  ApplyFont(Name, it->second);
}
