// uHost - the one seam between the units and the program running them.
// The portable units never touch a window or a terminal. Everything they ask
// of the program that runs them goes through IHost: the main window's
// settings that an operation reads, the run log, the status area, modal
// boxes and questions, "let the window process pending messages", and ending
// the program. The main window, the console updater and the test hosts
// implement it.
//
// The kinds of error that end a handler are told apart here too, in one
// place (ErrorKindOf), for every host's error hook.
#pragma once

#include "uServParams.h"

#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>

// Custom is a plain box: no icon, the program's title as caption.
enum class TMsgDlgType { Warning, Error, Information, Confirmation, Custom };

// Which answer of a Yes/No question has the focus when the box opens (and is
// taken by Enter).
enum class TDefaultButton { Yes, No };

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

class IHost {
public:
  virtual ~IHost() = default;

  //--- Boxes, questions and the message loop ------------------------------
  // A modal box with a single OK button; returns when it is closed.
  virtual void ShowMessage(TMsgDlgType Type, const std::string& Text) = 0;
  // A modal question with Yes and No; true only for Yes (No, Esc and
  // closing the box are all "not Yes").
  virtual bool AskYesNo(TMsgDlgType Type, const std::string& Text, TDefaultButton Default) = 0;
  // Lets the program's windows process the messages waiting for them
  // (repaint, menu); a host without windows does nothing.
  virtual void ProcessMessages() = 0;
  // Ends the program at once; never returns to the caller.
  [[noreturn]] virtual void EndProgram() = 0;

  //--- The main window as an operation sees it ----------------------------
  virtual const TUpdateSettings& Settings() const = 0;
  // The error flag of the last run, read by the outcome display.
  virtual bool HadErrors() const = 0;
  virtual void SetHadErrors(bool Value) = 0;
  // Adds an entry to the log pane and the log file; fails with EInOutError
  // when the file cannot take it.
  virtual void SaveExceptionToLog(const std::string& Text) = 0;
  // The status area below the log.
  virtual void SetStatusText(const std::string& Text) = 0;
};

// The host of every unit that needs one; it must outlive their calls. A
// program sets it once, before its first operation.
void SetHost(IHost& Host);
// The host in force; raises std::logic_error when none is set.
IHost& Host();
// The host's ProcessMessages, or nothing when no host is set (a unit used
// on its own, as the script runs of a test).
void ProcessMessages();

// Installs Host for the lifetime of this object, then restores the previous
// one (tests, and hosts that live shorter than the program).
class ScopedHost {
public:
  explicit ScopedHost(IHost& Host);
  ~ScopedHost();
  ScopedHost(const ScopedHost&) = delete;
  ScopedHost& operator=(const ScopedHost&) = delete;

private:
  IHost* previous_;
};

//--- How an error that ends a handler is treated ----------------------------

// The silent abort: the user answered No. It carries a text for the
// debugger's sake, but no host ever logs or shows it.
class EAbort : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

enum class TErrorKind {
  Shown,         // an error with a message: logged and shown in the error box
  AlreadyLogged, // an error with an empty message: its details are in the log
  SilentAbort,   // EAbort: neither logged nor shown
};

TErrorKind ErrorKindOf(const std::exception& E);
