// uRunJournal - the run journal: a small file in the installation folder in
// which an update run records, before each step that changes the live
// installation, what it is about to do. The record is on the disk before the
// step begins, so a run that dies half-way (a power cut, the task manager, a
// crash) leaves a journal that tells the next start what may have changed
// and where the run's backup is. A run that ends, whatever its outcome,
// removes its journal. The journal holds paths and names, never a password.
//
// The file is UTF-8 text, a record per line: the step's name, then its
// values, each after a tab; CR LF ends a line. A record cut short by a crash
// (a last line without its CR LF) is not a record.
#pragma once

#include "os/OsLayer.h"

#include <functional>
#include <string>
#include <vector>

enum class TJournalStep {
  Run,        // the run has begun; Value: its temporary tree (Tmp$...)
  Shutdown,   // the live database is about to be shut down
  Lock,       // the installation folder is about to be renamed to Value for the lock check
  Unlock,     // the installation folder has its name back
  ServerFile, // the server file Value is about to be replaced; Extra: its entry in the backup folder
  Grids,      // the client's settings file grids.ini is about to be deleted (its copy is in the backup)
  DbAside,    // the live database is about to be renamed to Value
  DbIn,       // the updated database is about to be moved in under the live name
  CopyBack,   // the updated program and resources are about to be copied back
  Done,       // the swap is complete: only the clean-up is left
  Undo,       // the run has failed and is about to undo what it changed
};

struct TJournalRecord {
  TJournalStep Step = TJournalStep::Run;
  std::string Value, Extra;
};

// The journal's file in the installation folder RootDir.
std::string JournalFileName(const std::string& RootDir);

// The name the finished mark of a run's temporary tree has: a run writes it
// into its Tmp$ folder when it ends, so a tree without it is one whose run
// did not end.
inline const char kFinishedMark[] = "Finished";

// The journal of one run.
class TRunJournal {
public:
  explicit TRunJournal(std::string FileName) : fileName_(std::move(FileName)) {}

  // Appends the record and puts it on the disk before returning; the first
  // record creates the file. A record that cannot be written fails: the step
  // it announces must then not be taken.
  os::Status Record(TJournalStep Step, const std::string& Value = "", const std::string& Extra = "");
  // The journal's file moves with the installation folder (the lock check
  // renames it): the name it has from now on.
  void Moved(std::string FileName) { fileName_ = std::move(FileName); }
  // Removes the file; a journal that is gone already is no failure.
  os::Status Remove();

  const std::string& FileName() const { return fileName_; }
  int Records() const { return records_; }

  // Called with the record's number (1 for the first) before each record is
  // written; a test build of the console ends the program there, to prove
  // that a run killed at any step is made whole at the next start.
  static void SetStepHook(std::function<void(int)> Hook);

private:
  std::string fileName_;
  int records_ = 0;
};

// Reads the journal FileName into Records: false, with Records empty, when
// the file cannot be read or holds anything that is not a journal record.
bool ReadJournal(const std::string& FileName, std::vector<TJournalRecord>& Records);

// The step's name in the file ("run", "shutdown", ...).
const char* JournalStepName(TJournalStep Step);
