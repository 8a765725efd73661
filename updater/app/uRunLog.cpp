// uRunLog - the run log (see uRunLog.h).
#include "uRunLog.h"

#include "uQrxRout.h"

std::string LogFileName(const os::LocalDateTime& Start) {
  return IntToStr2(Start.Day) + IntToStr2(Start.Month) + IntToStr2(Start.Year) + "-" +
         IntToStr2(Start.Hour) + IntToStr2(Start.Minute) + IntToStr2(Start.Second) + "_Updater.log";
}

std::vector<std::string> SplitLogLines(const std::string& Text) {
  std::vector<std::string> lines;
  std::string cur;
  for (size_t i = 0; i < Text.size(); ++i) {
    char c = Text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
      lines.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  // A break at the very end starts no further line; the empty text is one empty line.
  if (!cur.empty() || lines.empty()) lines.push_back(cur);
  return lines;
}

namespace {
std::string Stamp() {
  os::Api& sys = os::Sys();
  os::LocalDateTime now = sys.Now();
  return sys.FormatShortDate(now) + " - " + sys.FormatLongTime(now) + ": ";
}
} // namespace

void TRunLog::Create(const std::string& ProgramDir) {
  os::Api& sys = os::Sys();
  // An empty ProgramDir is the current folder.
  const std::string dir = ProgramDir.empty() ? std::string("Logs") : os::path::Join(ProgramDir, "Logs");
  const std::string name = os::path::Join(dir, LogFileName(sys.Now()));
  // The name is kept also when the file cannot be created, so that every
  // later entry that cannot be written says which file it missed.
  fileName_ = name;
  os::Status created = sys.CreateDirectories(dir);
  if (created) created = sys.WriteFile(name, std::string(), false);
  if (!created) throw EInOutError(os::WithCause("I/O error: the log file " + name + " cannot be created", created));
}

void TRunLog::SaveExceptionToLog(ILogPane& Pane, const std::string& Text) const {
  std::vector<std::string> lines = SplitLogLines(Text);
  Pane.AddLine(Stamp() + lines.front());
  for (size_t i = 1; i < lines.size(); ++i) Pane.AddLine("\t" + lines[i]);
  if (fileName_.empty()) throw EInOutError("I/O error: the run log has no file");
  if (const os::Status written = os::Sys().WriteFile(fileName_, "\r" + Stamp() + Text + "\r\n", true); !written)
    throw EInOutError(os::WithCause("I/O error: the log file " + fileName_ + " cannot be written", written));
}

void AEException(const TRunLog& Log, ILogPane& Pane, IHost& Host, const std::exception& E) {
  if (ErrorKindOf(E) != TErrorKind::Shown) return;
  const std::string Message = E.what();
  // The user sees the error even when the log file cannot take it; the box
  // then also says why the entry is missing from the file.
  std::string shown = Message;
  try {
    Log.SaveExceptionToLog(Pane, Message);
  } catch (const EInOutError& e) {
    shown += std::string("\r") + e.what();
  }
  Host.ShowMessage(TMsgDlgType::Error, shown);
}
