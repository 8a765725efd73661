// uMain - the main window TfrmMain: a thin Win32 layer over the update
// engine. It is the engine's host (settings, run log, status area, boxes and
// questions, pending messages), the target of its translation table, and the
// pane of the run log; the handlers call the engine and show what comes back.
//
// The names: TfrmMain is the main form (window) of the program; control names
// carry their kind in front: e edit box, bb button with a picture, l label,
// m multi-line box (mLog the log pane, mCaptions the status area), gb group,
// p panel, a animation; mm and mi are menu entries. Label1 is the second line
// of lPassword, Img the logo, Image1 the outcome picture, Bevel1 the line
// above the button panel.
//
// The class lives in four files, one per interface: uMain.cpp (start-up, the
// window procedure and the command handlers), uMainLayout.cpp (controls and
// their places, fonts, colours, pictures and painting), uMainTranslation.cpp
// (the translation target) and uMainHost.cpp (the engine's host and the log
// pane). While a run or a Service command goes, the window is busy (see
// BusyScope), and the waits of the system keep it alive (uMainWaits.h).
#pragma once

#include "uGdi.h"
#include "uHost.h"
#include "uLDM.h"
#include "uLangTable.h"
#include "uRunLog.h"

#include "os/WindowsSupport.h"

#include <exception>
#include <map>
#include <string>
#include <vector>

class TfrmMain : public IHost, public ITranslationTarget, public ILogPane {
public:
  TfrmMain();
  // The fonts, brushes and pictures go with their owners.
  ~TfrmMain() override;
  TfrmMain(const TfrmMain&) = delete;
  TfrmMain& operator=(const TfrmMain&) = delete;

  // Creates the window, its controls and menu, links its translation table
  // to Ldm and runs FormCreate. The window is not shown yet.
  void Create(HINSTANCE Instance, TLDM& Ldm);
  HWND Handle() const { return hwnd_; }
  void SetApplicationTitle(const std::string& Title) { appTitle_ = Title; }

  // The settings the program sets after the window is created.
  TUpdateSettings& Values() { return settings_; }
  // Enables or disables the program location box and its button.
  void EnableProgramLocation(bool Enable);

  // The keyboard of the window and of its notice, as a dialog has it: Tab
  // and Shift+Tab through the controls, Alt with an underlined letter,
  // Enter for the default button, Esc for Exit. True when Msg was taken;
  // the message loops call it before they dispatch a message.
  bool TranslateDialogKeys(MSG& Msg);
  // Processes the messages waiting for the thread's windows; a WM_QUIT is
  // left for the message loop.
  void PumpMessages();

  //--- IHost ------------------------------------------------------------------
  void ShowMessage(TMsgDlgType Type, const std::string& Text) override;
  bool AskYesNo(TMsgDlgType Type, const std::string& Text, TDefaultButton Default) override;
  void ProcessMessages() override;
  [[noreturn]] void EndProgram() override;
  const TUpdateSettings& Settings() const override { return settings_; }
  bool HadErrors() const override { return hadErrors_; }
  void SetHadErrors(bool Value) override { hadErrors_ = Value; }
  void SaveExceptionToLog(const std::string& Text) override;
  void SetStatusText(const std::string& Text) override;

  //--- ITranslationTarget -------------------------------------------------------
  std::string ClassName() const override { return "TfrmMain"; }
  bool GetText(const std::string& Control, const std::string& Property, std::string& Value) const override;
  void SetText(const std::string& Control, const std::string& Property, const std::string& Value) override;
  bool GetLines(const std::string& Control, std::vector<std::string>& Lines) const override;
  void SetLines(const std::string& Control, const std::vector<std::string>& Lines) override;
  bool GetFont(const std::string& Control, std::string& Name, std::string& CharSet) const override;
  void SetFont(const std::string& Control, const std::string& Name, const std::string& CharSet) override;

  //--- ILogPane ---------------------------------------------------------------
  void AddLine(const std::string& Line) override;

  // The program-wide error hook: logs and shows an error that left a
  // handler, unless it is a silent abort or its details are in the log.
  void AEException(const std::exception& E);

private:
  // uMain.cpp: start-up, the window procedure and the command handlers.
  static LRESULT CALLBACK WindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam);
  LRESULT OnMessage(UINT Message, WPARAM WParam, LPARAM LParam);
  void OnCommand(int Code, int Id);

  void FormCreate();
  void ReadServerDescription();

  void ProjectClick(const char* Code);
  void LanguageClick(int Language);
  void OKBtnClick();
  void ShowResult(bool Success);
  void EnableControls(bool Enable);
  void ProgramLocationClick();
  void DatabaseModeClick(bool Online);
  void ServiceClick(bool Start);
  void HelpClick();

  // The busy state, for the life of a run or a Service command: the
  // connection group and the button panel are disabled, the Project and
  // Service menus greyed, their commands and Start refused whatever sends
  // them, the keyboard focus leaves the disabled controls, the system's
  // waits keep the window alive (uMainWaits.h), closing the window is
  // refused with a notice, and ending the Windows session is blocked.
  class BusyScope;
  friend class BusyScope;
  static bool RefusedWhileBusy(int Command);
  void OnClose();
  // The notice that the window cannot close during a run: a modeless box,
  // so that the run goes on while it is shown.
  void ShowBusyNotice();
  static INT_PTR CALLBACK NoticeProc(HWND Dialog, UINT Message, WPARAM WParam, LPARAM LParam);
  // The dialog manager's questions to the window: the default button and
  // the next control.
  LRESULT DefaultButton() const;
  void NextControl(WPARAM WParam, LPARAM LParam);
  bool Usable(HWND Control) const;

  // uMainLayout.cpp: the window, its menu and controls, their fonts and
  // colours, the pictures, and what the window paints itself.
  static LRESULT CALLBACK ContainerProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam);
  // A length of the window's design, made at 96 DPI, at the system's DPI.
  int Scaled(int Length) const { return MulDiv(Length, dpi_, 96); }
  void CreateMainWindow();
  ScopedMenu CreateMainMenu();
  void CreateControls();
  void LoadPictures();
  void SetWhiteMenu(bool White);
  void ShowPicture(HWND Image, const ScopedBitmap& Picture);
  void SetCaptionsColor(COLORREF Color);
  LRESULT OnControlColor(HDC Dc, HWND Control);
  bool DrawItem(const DRAWITEMSTRUCT& Item);

  // Named parts of the window: a control, or a menu entry.
  struct MenuEntry {
    HMENU Parent = nullptr; // nullptr: not in the menu (the hidden entry)
    UINT Position = 0;
    std::wstring Text;
  };
  struct FontChoice {
    std::string Name;
    std::string CharSet;
    bool Bold = false;
    ScopedFont Font;
  };
  HWND Control(const std::string& Name) const;
  ScopedFont MakeFont(const FontChoice& Choice) const;
  void ApplyFont(const std::string& Control, FontChoice& Choice);

  // The colours of the status area: maroon while a run goes and after a
  // failed one, green after a successful one.
  static constexpr COLORREF kMaroon = RGB(128, 0, 0);
  static constexpr COLORREF kGreen = RGB(0, 128, 0);

  HINSTANCE instance_ = nullptr;
  HWND hwnd_ = nullptr;
  int dpi_ = 96; // the system's, read when the window is created
  std::map<std::string, HWND> controls_;
  std::map<std::string, MenuEntry> menu_;
  std::map<std::string, FontChoice> fonts_; // by control name; "TfrmMain" is the window's
  HMENU mainMenu_ = nullptr; // the window's: it goes with the window
  ScopedBrush menuBrush_;
  ScopedBitmap logo_, success_, errors_;
  ScopedBrush logoBrush_; // a pattern of logo_: it goes first
  COLORREF captionsColor_ = kMaroon;

  std::string appTitle_ = "Updater_Tamber";
  std::string programDir_;
  TUpdateSettings settings_;
  bool hadErrors_ = false;
  TRunLog log_;
  TLDM* ldm_ = nullptr;
  TLangTable sill_{"frmMain", "Sill"};
  bool linked_ = false;

  bool locationEnabled_ = true; // the program location box and its button, outside the busy state
  HWND lastFocus_ = nullptr; // the control that got the focus last
  bool busy_ = false;
  HWND notice_ = nullptr; // the busy notice while it is shown
};
