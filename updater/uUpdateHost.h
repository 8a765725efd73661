// uUpdateHost - what the update engine asks of the program's main window.
//
// The engine never touches a window. It reads the window's settings, writes
// every log line, shows its status text and asks its questions through this
// interface; the main window implements it, tests implement it with
// recorded log lines and scripted answers.
#pragma once

#include "uDialogs.h"
#include "uFbService.h"

#include <cstdint>
#include <string>

// The main window's settings that an operation reads.
struct TUpdateSettings {
  std::string ClientLibName; // the Firebird client library the script engine loads
  std::string ConnectPrefix; // first element of every connection string, e.g. "localhost/3051:"
  std::string DBFileName;    // the project's database file name
  std::string ExeFileName;   // the project's client program file name
  std::uint8_t SpaceFactor = 0;
  TFBServParams ServParams;
  std::string ProjectCode; // "TAMBER", "ZAVUDAVADA", "TAMBER_MINI" or empty
};

class IUpdateHost {
public:
  virtual ~IUpdateHost() = default;

  virtual const TUpdateSettings& Settings() const = 0;

  // The error flag of the last run, read by the window's outcome display.
  virtual bool HadErrors() const = 0;
  virtual void SetHadErrors(bool Value) = 0;

  // Adds an entry to the log pane and the log file (the window's
  // SaveExceptionToLog); fails with EInOutError when the file cannot take it.
  virtual void SaveExceptionToLog(const std::string& Text) = 0;

  // The status area below the log (the window's mCaptions).
  virtual void SetStatusText(const std::string& Text) = 0;

  // A modal box with a single OK button.
  virtual void ShowMessage(TMsgDlgType Type, const std::string& Text) = 0;
  // A modal question with Yes and No; true for Yes.
  virtual bool AskYesNo(TMsgDlgType Type, const std::string& Text) = 0;

  // Lets the window process pending messages (repaint, menu).
  virtual void ProcessMessages() = 0;
};
