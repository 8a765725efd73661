// Updater_Console - a console host of the updater's portable units.
//
// It starts the way the program starts (message catalog in the system's
// language, the run log beside the program), and writes what the window
// would show to standard output: the log pane's lines and the dialogs.
//
//   Updater_Console [LANGUAGE]   LANGUAGE 2 Russian, 3 English, 4 German, 5 French
//
// Without an argument the system's default language is used, as the program does.
#include "uDialogs.h"
#include "uLDM.h"
#include "uRunLog.h"

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

class ConsoleDialogs : public IUserDialogs {
public:
  void ShowMessage(TMsgDlgType Type, const std::string& Text) override {
    std::printf("[%s] %s\n", KindName(Type), ForTerminal(Text).c_str());
  }
  [[noreturn]] void EndProgram() override { std::exit(1); }
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

} // namespace

int main(int argc, char** argv) {
  ConsoleDialogs dialogs;
  ConsolePane pane;
  TLDM ldm(dialogs, BuiltInMessageCatalog());
  ldm.DataModuleCreate();
  if (argc > 1) ldm.SetLanguage(std::atoi(argv[1]));

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
    AEException(log, pane, dialogs, e.what());
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
  // An error with an empty message has been logged already: it shows nothing.
  AEException(log, pane, dialogs, "");
  AEException(log, pane, dialogs, GetMsgText("uUpdate_MyCreateDir_1", location));
  return 0;
}
