// Updater_Console - a console host of the updater's portable units.
//
// It starts the way the program starts (message catalog in the system's
// language, the run log beside the program), and writes what the window
// would show to standard output: the log pane's lines and the dialogs.
//
//   Updater_Console [LANGUAGE [DATABASE [SCRIPT]]]
//
// LANGUAGE is 2 Russian, 3 English, 4 German or 5 French; 0 or no argument
// takes the system's default language, as the program does. With DATABASE
// (a connection string such as "localhost/3051:/data/Tamber.fdb") it goes
// through the database steps of an update on a live server: the attached
// users, shutdown, online, online once more (the database is online already),
// and, with SCRIPT, a script run against the database.
#include "uHost.h"
#include "uLDM.h"
#include "uRunLog.h"
#include "uSqlScript.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char* KindName(TMsgDlgType t) {
  switch (t) {
  case TMsgDlgType::Warning: return "Warning";
  case TMsgDlgType::Error: return "Error";
  case TMsgDlgType::Information: return "Information";
  case TMsgDlgType::Confirmation: return "Confirm";
  case TMsgDlgType::Custom: return "Message";
  }
  return "";
}

// CR and CR LF breaks of dialog texts shown as line ends on a terminal.
std::string ForTerminal(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

// Boxes become lines on the terminal; questions are answered No.
class ConsoleHost : public IHost {
public:
  void ShowMessage(TMsgDlgType Type, const std::string& Text) override {
    std::printf("[%s] %s\n", KindName(Type), ForTerminal(Text).c_str());
  }
  bool AskYesNo(TMsgDlgType Type, const std::string& Text, TDefaultButton) override {
    ShowMessage(Type, Text);
    return false;
  }
  void ProcessMessages() override {}
  [[noreturn]] void EndProgram() override { std::exit(1); }
  const TUpdateSettings& Settings() const override { return settings_; }
  bool HadErrors() const override { return false; }
  void SetHadErrors(bool) override {}
  void SaveExceptionToLog(const std::string& Text) override { std::printf("  | %s\n", Text.c_str()); }
  void SetStatusText(const std::string&) override {}

private:
  TUpdateSettings settings_;
};

class ConsolePane : public ILogPane {
public:
  void AddLine(const std::string& Line) override { std::printf("  | %s\n", Line.c_str()); }
};

// The program's folder: where its run log goes.
std::string ProgramDir() {
  std::string exe = os::Sys().ProgramFile();
  size_t slash = exe.find_last_of("/\\");
  return slash == std::string::npos ? std::string(".") : exe.substr(0, slash);
}

#ifdef _WIN32
const char kClientLib[] = "fbclient.dll";
#else
const char kClientLib[] = "libfbclient.so.2";
#endif
const char kUser[] = "SYSDBA";
const char kPassword[] = "qelvormask";

// The database steps of an update run, each logged as the run logs it.
void DatabaseSteps(const TRunLog& log, ILogPane& pane, const std::string& db, const std::string& script) {
  log.SaveExceptionToLog(pane, GetMsgText("uUpdate_UpdateProgramm_08"));
  std::vector<std::string> users;
  GetAttachedUsers(kClientLib, db, kUser, kPassword, "", users);
  std::string list;
  for (const std::string& u : users) list += (list.empty() ? "" : ", ") + u;
  log.SaveExceptionToLog(pane, GetMsgText("uUpdate_UpdateProgramm_10") + (list.empty() ? "-" : list));

  log.SaveExceptionToLog(pane, GetMsgText("uUpdate_UpdateProgramm_18"));
  DatabaseShutdown(kClientLib, db, kUser, kPassword);
  log.SaveExceptionToLog(pane, GetMsgText("uUpdate_UpdateProgramm_19"));

  if (!script.empty()) {
    TScriptLog lines;
    RunScriptFile(kClientLib, db, kUser, "WIN1251", kPassword, "", script, &lines, 0);
    for (const std::string& l : lines) log.SaveExceptionToLog(pane, l);
    if (!ScriptErrorText.empty()) log.SaveExceptionToLog(pane, GetMsgText("uUpdate_UpdateProgramm_40"));
  }

  log.SaveExceptionToLog(pane, GetMsgText("uUpdate_UpdateProgramm_28"));
  DatabaseOnline(kClientLib, db, kUser, kPassword);
  log.SaveExceptionToLog(pane, GetMsgText("uUpdate_UpdateProgramm_29"));

  // Once more: the server says the database is online already.
  log.SaveExceptionToLog(pane, GetMsgText("uUpdate_UpdateOnLine_01"));
  try {
    DatabaseOnline(kClientLib, db, kUser, kPassword);
    log.SaveExceptionToLog(pane, GetMsgText("uUpdate_UpdateOnLine_03"));
  } catch (const std::exception& e) {
    log.SaveExceptionToLog(pane, GetMsgText("uUpdate_UpdateOnLine_05") + "\r" + e.what());
  }
}

} // namespace

int main(int argc, char** argv) {
  ConsoleHost dialogs;
  SetHost(dialogs);
  ConsolePane pane;
  TLDM ldm(dialogs, BuiltInMessageCatalog());
  ldm.DataModuleCreate();
  if (argc > 1 && std::atoi(argv[1]) != 0) ldm.SetLanguage(std::atoi(argv[1]));

  TLangTable sill("frmMain", "Sill");
  InitMainWindowTable(sill, nullptr);
  ldm.LinkTable(sill);

  std::printf("Language %d. Main window captions:\n", ldm.Sil.ActiveLanguage());
  for (const TLangRow& r : sill.Rows(TSection::stCaptions))
    std::printf("  %-26s %s\n", r.Key.c_str(), r.Text(sill.ActiveLanguage()).c_str());

  TRunLog log;
  try {
    log.Create(ProgramDir());
  } catch (const EInOutError& e) {
    AEException(log, pane, dialogs, e);
    return 1;
  }
  std::printf("\nRun log %s:\n", log.FileName().c_str());
  const std::string location = "C:\\ProgramData\\NorvelSoft\\TAMBER_RU";
  for (const std::string& text : {
           GetMsgText("uMain_FormCreate_1"),
           GetMsgText("uUpdate_UpdateInit_1"),
           GetMsgText("uUpdate_UpdateProgramm_05", location, GetMsgText("uUpdate_UpdateProgramm_01"), "Tamber"),
           GetMsgText("uUpdate_UpdateInit_4"),
           GetMsgText("uMain_Finished_4"),
       })
    log.SaveExceptionToLog(pane, text);
  if (argc > 2) {
    try {
      DatabaseSteps(log, pane, argv[2], argc > 3 ? argv[3] : "");
    } catch (const std::exception& e) {
      AEException(log, pane, dialogs, e);
      return 1;
    }
    return 0;
  }
  // The error hook: an error with an empty message has been logged already
  // and shows nothing; any other is logged and shown.
  AEException(log, pane, dialogs, std::runtime_error(""));
  AEException(log, pane, dialogs, std::runtime_error(GetMsgText("uUpdate_MyCreateDir_1", location)));
  return 0;
}
