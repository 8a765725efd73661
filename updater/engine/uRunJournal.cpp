// uRunJournal - the run journal (see uRunJournal.h).
#include "uRunJournal.h"

#include "os/Path.h"

#include <utility>

namespace {

struct TStepName {
  TJournalStep Step;
  const char* Name;
};
constexpr TStepName kStepNames[] = {
    {TJournalStep::Run, "run"},           {TJournalStep::Shutdown, "shutdown"}, {TJournalStep::Lock, "lock"},
    {TJournalStep::Unlock, "unlock"},     {TJournalStep::ServerFile, "server-file"},
    {TJournalStep::Grids, "grids"},       {TJournalStep::DbAside, "db-aside"},  {TJournalStep::DbIn, "db-in"},
    {TJournalStep::CopyBack, "copy-back"}, {TJournalStep::Done, "done"},   {TJournalStep::Undo, "undo"},
};

std::function<void(int)>& StepHook() {
  static std::function<void(int)> hook;
  return hook;
}

// A value never holds a tab or a line break (paths do not), so a record
// always reads back as it was written.
bool Clean(const std::string& Value) { return Value.find_first_of("\t\r\n") == std::string::npos; }

} // namespace

std::string JournalFileName(const std::string& RootDir) { return os::path::Join(RootDir, "Updater.journal"); }

const char* JournalStepName(TJournalStep Step) {
  for (const TStepName& s : kStepNames)
    if (s.Step == Step) return s.Name;
  return "?";
}

void TRunJournal::SetStepHook(std::function<void(int)> Hook) { StepHook() = std::move(Hook); }

os::Status TRunJournal::Record(TJournalStep Step, const std::string& Value, const std::string& Extra) {
  if (!Clean(Value) || !Clean(Extra))
    return os::Status(os::Error{"WriteFile", fileName_, 0, "a journal value holds a tab or a line break"});
  ++records_;
  if (StepHook()) StepHook()(records_);
  std::string line = JournalStepName(Step);
  if (!Value.empty() || !Extra.empty()) line += "\t" + Value;
  if (!Extra.empty()) line += "\t" + Extra;
  os::Api& sys = os::Sys();
  // The first record makes the file, and its entry in the folder must be on
  // the disk as well as its content.
  const bool first = records_ == 1;
  os::Status written = sys.WriteFile(fileName_, line + "\r\n", !first);
  if (written) written = sys.FlushFile(fileName_);
  if (written && first) written = sys.FlushFolder(os::path::FolderOf(fileName_));
  return written;
}

os::Status TRunJournal::Remove() {
  os::Api& sys = os::Sys();
  if (!sys.FileExists(fileName_)) return {};
  os::Status removed = sys.FileDelete(fileName_);
  if (removed) removed = sys.FlushFolder(os::path::FolderOf(fileName_));
  return removed;
}

bool ReadJournal(const std::string& FileName, std::vector<TJournalRecord>& Records) {
  Records.clear();
  os::Api& sys = os::Sys();
  std::uint64_t size = 0;
  std::string text;
  if (!sys.FileSize(FileName, size) || !sys.ReadFile(FileName, 0, size, text)) return false;
  std::vector<TJournalRecord> records;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find("\r\n", at);
    if (end == std::string::npos) break; // a record the crash cut short
    const std::string line = text.substr(at, end - at);
    at = end + 2;
    std::vector<std::string> fields;
    for (std::size_t from = 0;;) {
      const std::size_t tab = line.find('\t', from);
      fields.push_back(line.substr(from, tab == std::string::npos ? std::string::npos : tab - from));
      if (tab == std::string::npos) break;
      from = tab + 1;
    }
    TJournalRecord r;
    bool known = false;
    for (const TStepName& s : kStepNames)
      if (fields[0] == s.Name) {
        r.Step = s.Step;
        known = true;
      }
    if (!known || fields.size() > 3) return false;
    if (fields.size() > 1) r.Value = fields[1];
    if (fields.size() > 2) r.Extra = fields[2];
    records.push_back(std::move(r));
  }
  // Every journal begins with the run's own record.
  if (records.empty() || records.front().Step != TJournalStep::Run) return false;
  Records = std::move(records);
  return true;
}
