// TestHosts - test doubles of the seams the portable units talk through: the host, the
// log pane, the clock, and a temporary folder that is removed afterwards.
#pragma once

#include "os/OsLayer.h"
#include "uHost.h"
#include "uLangTable.h"
#include "uRunLog.h"

#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

// A window of named controls whose properties are plain texts.
class FakeWindow : public ITranslationTarget {
public:
  std::map<std::string, std::string> Props; // "Control.Property" -> value
  std::map<std::string, std::vector<std::string>> Lines;
  std::map<std::string, std::pair<std::string, std::string>> Fonts;
  int Writes = 0;

  std::string ClassName() const override { return "TfrmTest"; }
  bool GetText(const std::string& c, const std::string& p, std::string& v) const override {
    auto it = Props.find(c + "." + p);
    if (it == Props.end()) return false;
    v = it->second;
    return true;
  }
  void SetText(const std::string& c, const std::string& p, const std::string& v) override {
    Props[c + "." + p] = v;
    ++Writes;
  }
  bool GetLines(const std::string& c, std::vector<std::string>& l) const override {
    auto it = Lines.find(c);
    if (it == Lines.end()) return false;
    l = it->second;
    return true;
  }
  void SetLines(const std::string& c, const std::vector<std::string>& l) override {
    Lines[c] = l;
    ++Writes;
  }
  bool GetFont(const std::string& c, std::string& n, std::string& cs) const override {
    auto it = Fonts.find(c);
    if (it == Fonts.end()) return false;
    n = it->second.first;
    cs = it->second.second;
    return true;
  }
  void SetFont(const std::string& c, const std::string& n, const std::string& cs) override {
    Fonts[c] = {n, cs};
    ++Writes;
  }
};


// Thrown by RecordingHost::EndProgram, so a test sees "the program ends".
struct ProgramEnded {};

// The program as the units see it: settings set by the test, boxes, log
// lines and status texts recorded, questions answered from a script (Yes
// when the script has run out), the moments the window may process messages
// counted.
class RecordingHost : public IHost {
public:
  TUpdateSettings Values;
  bool Errors = false;
  std::vector<std::string> Log, Status, Questions;
  std::vector<std::pair<TMsgDlgType, std::string>> Shown;
  std::vector<TDefaultButton> Defaults; // the default button of each question
  std::vector<bool> Answers;
  int PendingMessageCalls = 0;

  RecordingHost() {
    Values.ClientLibName = "fbclient.dll";
    Values.ConnectPrefix = "localhost/3051:";
    Values.DBFileName = "Tamber.fdb";
    Values.ExeFileName = "Tamber.exe";
    Values.SpaceFactor = 2;
    Values.ProjectCode = "TAMBER";
  }
  void ShowMessage(TMsgDlgType Type, const std::string& Text) override { Shown.emplace_back(Type, Text); }
  bool AskYesNo(TMsgDlgType, const std::string& Text, TDefaultButton Default) override {
    Questions.push_back(Text);
    Defaults.push_back(Default);
    if (Answers.empty()) return true;
    bool a = Answers.front();
    Answers.erase(Answers.begin());
    return a;
  }
  void ProcessMessages() override { ++PendingMessageCalls; }
  [[noreturn]] void EndProgram() override { throw ProgramEnded{}; }
  const TUpdateSettings& Settings() const override { return Values; }
  bool HadErrors() const override { return Errors; }
  void SetHadErrors(bool Value) override { Errors = Value; }
  void SaveExceptionToLog(const std::string& Text) override {
    if (logFailing_) throw std::runtime_error(kLogFailure);
    Log.push_back(Text);
    logFailing_ = !failAfter_.empty() && Text.find(failAfter_) != std::string::npos;
  }
  static constexpr const char* kLogFailure = "I/O error: the log file cannot be written (injected)";
  // From now on: once an entry that holds Text has been logged, every later
  // entry fails as a log file that cannot be written does (empty: never).
  void FailLogAfter(const std::string& Text) {
    failAfter_ = Text;
    logFailing_ = false;
  }
  void SetStatusText(const std::string& Text) override { Status.push_back(Text); }

private:
  std::string failAfter_;
  bool logFailing_ = false;
};

class RecordingPane : public ILogPane {
public:
  std::vector<std::string> Lines;
  void AddLine(const std::string& Line) override { Lines.push_back(Line); }
};

// The native system with a clock that stands still at Time and fixed date and
// time formats, so entries can be compared byte for byte.
class FixedClockSys : public os::Api {
public:
  os::LocalDateTime Time{2025, 12, 9, 14, 30, 5};
  os::LocalDateTime Now() override { return Time; }
  std::string FormatShortDate(const os::LocalDateTime&) override { return "09.12.2025"; }
  std::string FormatLongTime(const os::LocalDateTime&) override { return "14:30:05"; }
};

// The native system with the default language identifier set by the test.
class LanguageSys : public os::Api {
public:
  std::uint16_t Id = 0;
  std::uint16_t SystemDefaultLangId() override { return Id; }
};

// A fresh, empty folder below Base (the system's temporary folder when
// empty); removed with everything in it when the object goes.
class TempDir {
public:
  explicit TempDir(const std::string& Base = "");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // The folder as a UTF-8 path in the platform's own spelling.
  const std::string& Path() const { return path_; }
  std::string File(const std::string& Name) const { return path_ + os::path::Delim() + Name; }

private:
  std::string path_;
};

// The message of the error of type E that F raises, or "<no error>".
template <typename E, typename F>
std::string MessageOf(F&& f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  }
  return "<no error>";
}

// Message without its last line when that line names a failed system call
// about Path or a path that begins with it (the call, then the path in
// quotes: the cause os::WithCause adds, whose wording is the system's);
// otherwise "<no cause naming PATH>" and the message, so that a comparison
// shows what is missing.
std::string WithoutCause(const std::string& Message, const std::string& Path);

// The whole content of a file, or "<missing>" when it cannot be read.
std::string ReadFileBytes(const std::string& Path);

// Makes Link a symbolic link to the folder or file Target, as a user who
// plants one would: natively with symlink; on Windows with
// CreateSymbolicLinkW, and under Wine, which makes none that way, as the
// Linux link that stands for it (made with ln, started from the Windows
// side). False when no link could be made. Under Wine a link to a folder
// shows as a reparse point; a link to a file shows as the file itself.
bool MakeLink(const std::string& Target, const std::string& Link);
// Removes a link MakeLink made, the link itself.
void RemoveLink(const std::string& Link);
