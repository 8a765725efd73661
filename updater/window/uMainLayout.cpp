// uMainLayout - how the main window TfrmMain looks: the window and its menu,
// the controls with their places and sizes, their fonts and colours, the
// pictures, and what the window paints itself.
//
// The two groups and the button panel are containers: their children's
// notifications and colour requests go on to the main window, and they paint
// their background in the panel colour.
//
// Every place and size below is the window's design at 96 DPI; the window
// multiplies them by the system's DPI (Scaled), as the fonts grow with it,
// and stretches its pictures to match.
#include "uMain.h"

#include "uMainIds.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

using os::win::Widen;

// The fixed client size of the window at 96 DPI.
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

// The outcome pictures are square, this wide at 96 DPI.
constexpr int kOutcomeSize = 41;

// The system's find-computer animation in the shell library.
constexpr int kFindComputerAnimation = 152;

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

// Picture at Width x Height: itself when it has that size, else a copy
// stretched with the system's halftone filter.
ScopedBitmap Stretched(ScopedBitmap Picture, int Width, int Height) {
  BITMAP info{};
  GetObjectW(Picture.Get(), sizeof info, &info);
  if ((info.bmWidth == Width && info.bmHeight == Height) || Width <= 0 || Height <= 0) return Picture;
  ScopedDC screen(nullptr);
  ScopedBitmap copy(CreateCompatibleBitmap(screen.Get(), Width, Height));
  ScopedMemoryDC from(CreateCompatibleDC(screen.Get())), to(CreateCompatibleDC(screen.Get()));
  if (!copy.Valid() || !from.Valid() || !to.Valid()) return Picture;
  {
    ScopedSelection source(from.Get(), Picture.Get()), target(to.Get(), copy.Get());
    SetStretchBltMode(to.Get(), HALFTONE);
    SetBrushOrgEx(to.Get(), 0, 0, nullptr);
    StretchBlt(to.Get(), 0, 0, Width, Height, from.Get(), 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
  }
  return copy;
}

// Paints the menu bar and every submenu with Brush (nullptr: the system's).
void SetMenuBackground(HMENU Menu, HBRUSH Brush) {
  MENUINFO mi{};
  mi.cbSize = sizeof mi;
  mi.fMask = MIM_BACKGROUND | MIM_APPLYTOSUBMENUS;
  mi.hbrBack = Brush;
  SetMenuInfo(Menu, &mi);
}

} // namespace

//--- The window, its menu and controls ---------------------------------------------

// A fixed size (single border, only the system-menu box), centred on the
// desktop's work area, or at its top left when it is larger.
void TfrmMain::CreateMainWindow() {
  dpi_ = GetDeviceCaps(ScopedDC(nullptr).Get(), LOGPIXELSY);
  if (dpi_ <= 0) dpi_ = 96;
  ScopedMenu menu = CreateMainMenu();
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  const int clientWidth = Scaled(kClientWidth), clientHeight = Scaled(kClientHeight);
  RECT frame{0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&frame, style, TRUE, 0);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  // A window larger than the work area (a high DPI on a small screen) keeps
  // its caption and its left edge on the screen.
  const int x = std::max<int>(work.left, work.left + (work.right - work.left - width) / 2);
  const int y = std::max<int>(work.top, work.top + (work.bottom - work.top - height) / 2);
  CreateWindowExW(0, MAIN_WINDOW_CLASS, Widen(appTitle_).c_str(), style, x, y, width, height, nullptr, menu.Get(),
                  instance_, this);
  if (!hwnd_) throw std::runtime_error("Не удалось создать главное окно программы");
  mainMenu_ = menu.Release(); // the window destroys its menu
  // The menu bar may take two lines on a narrow screen: the client area
  // keeps its size.
  RECT client;
  GetClientRect(hwnd_, &client);
  if (client.bottom != clientHeight)
    SetWindowPos(hwnd_, nullptr, 0, 0, width, height + clientHeight - client.bottom, SWP_NOMOVE | SWP_NOZORDER);
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
  // Places and sizes at 96 DPI.
  auto make = [this](const char* name, const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w,
                     int h, HWND parent, int id, DWORD exStyle = 0) {
    // The edges are scaled, so that neighbours still meet.
    HWND c = CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, Scaled(x), Scaled(y),
                             Scaled(x + w) - Scaled(x), Scaled(y + h) - Scaled(y), parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    if (!c) throw std::runtime_error(std::string("Не удалось создать элемент окна ") + name);
    controls_[name] = c;
    return c;
  };
  // Containers pass their children's notifications on to the main window;
  // the dialog manager goes into them for Tab and the Alt shortcuts.
  auto container = [](HWND c) {
    SetWindowLongPtrW(c, GWL_EXSTYLE, GetWindowLongPtrW(c, GWL_EXSTYLE) | WS_EX_CONTROLPARENT);
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
  make("bbProgramLocation", WC_BUTTONW, L"...", BS_PUSHBUTTON | BS_NOTIFY | WS_TABSTOP, 443, 30, 24, 24, gb,
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
  make("OKBtn", WC_BUTTONW, L"&Старт", BS_DEFPUSHBUTTON | BS_NOTIFY | WS_TABSTOP, 332, 8, 68, 25, panel, IDC_OK_BTN);
  make("CancelBtn", WC_BUTTONW, L"Выход", BS_PUSHBUTTON | BS_NOTIFY | WS_TABSTOP, 404, 8, 68, 25, panel, IDC_CANCEL_BTN);

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

// The window procedure of the containers, in front of their own.
LRESULT CALLBACK TfrmMain::ContainerProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  try {
    switch (Message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
    // The dialog manager's messages from a multi-line box inside: Tab and
    // Enter there ask the parent for the next control and the default
    // button, and Esc closes the parent, which here is the main window.
    case DM_GETDEFID:
    case WM_NEXTDLGCTL:
    case WM_CLOSE:
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

HWND TfrmMain::Control(const std::string& Name) const {
  auto it = controls_.find(Name);
  return it == controls_.end() ? nullptr : it->second;
}

//--- Fonts -------------------------------------------------------------------------

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

//--- Colours and pictures ----------------------------------------------------------

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

// The logo lies under the labels of the connection group, which paint their
// background with the matching part of it; the outcome pictures wait for
// the end of a run.
void TfrmMain::LoadPictures() {
  // The logo fills its control; the outcome pictures grow with the DPI.
  RECT img;
  GetClientRect(Control("Img"), &img);
  logo_ = Stretched(LoadImagesBitmap("logotype"), img.right, img.bottom);
  ShowPicture(Control("Img"), logo_);
  logoBrush_ = ScopedBrush(CreatePatternBrush(logo_.Get()));
  InvalidateRect(Control("gbConnection"), nullptr, TRUE);
  success_ = Stretched(LoadImagesBitmap("Success"), Scaled(kOutcomeSize), Scaled(kOutcomeSize));
  errors_ = Stretched(LoadImagesBitmap("Errors"), Scaled(kOutcomeSize), Scaled(kOutcomeSize));
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

void TfrmMain::SetCaptionsColor(COLORREF Color) {
  captionsColor_ = Color;
  InvalidateRect(Control("mCaptions"), nullptr, TRUE);
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
    RECT r, logo;
    GetWindowRect(Control, &r);
    GetWindowRect(this->Control("Img"), &logo);
    SetBrushOrgEx(Dc, logo.left - r.left, logo.top - r.top, nullptr);
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

// Bevel1: an etched line along the bottom of its strip. False for an item
// the window does not draw itself.
bool TfrmMain::DrawItem(const DRAWITEMSTRUCT& Item) {
  if (Item.CtlID != IDC_BEVEL1) return false;
  RECT r = Item.rcItem;
  FillRect(Item.hDC, &r, GetSysColorBrush(COLOR_WINDOW));
  DrawEdge(Item.hDC, &r, EDGE_ETCHED, BF_BOTTOM);
  return true;
}
