// uMainHost - TfrmMain as the update engine's host (boxes, questions,
// pending messages, the run log and the status area) and as the log pane.
#include "uMain.h"

#include "uMainText.h"

namespace {

using os::win::Widen;

// The system's icon for each kind of box.
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

//--- IHost -------------------------------------------------------------------------

void TfrmMain::ShowMessage(TMsgDlgType Type, const std::string& Text) {
  MessageBoxW(hwnd_, WithLineBreaks(Text).c_str(), Widen(appTitle_).c_str(), MB_OK | IconOf(Type));
}

bool TfrmMain::AskYesNo(TMsgDlgType Type, const std::string& Text, TDefaultButton Default) {
  const UINT defaultButton = Default == TDefaultButton::No ? MB_DEFBUTTON2 : MB_DEFBUTTON1;
  return MessageBoxW(hwnd_, WithLineBreaks(Text).c_str(), Widen(appTitle_).c_str(),
                     MB_YESNO | IconOf(Type) | defaultButton) == IDYES;
}

void TfrmMain::ProcessMessages() { PumpMessages(); }

void TfrmMain::EndProgram() { ExitProcess(1); }

void TfrmMain::SaveExceptionToLog(const std::string& Text) { log_.SaveExceptionToLog(*this, Text); }

void TfrmMain::SetStatusText(const std::string& Text) {
  HWND captions = Control("mCaptions");
  SetWindowTextW(captions, WithLineBreaks(Text).c_str());
  ShowWindow(captions, SW_SHOW);
  UpdateWindow(captions);
}

//--- ILogPane ---------------------------------------------------------------------

void TfrmMain::AddLine(const std::string& Line) {
  HWND log = Control("mLog");
  const int end = GetWindowTextLengthW(log);
  SendMessageW(log, EM_SETSEL, end, end);
  const std::wstring text = (end > 0 ? L"\r\n" : L"") + Widen(Line);
  SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
  // The new line is in view from its start, with the date and time.
  SendMessageW(log, WM_HSCROLL, SB_LEFT, 0);
}
