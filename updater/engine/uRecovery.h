// uRecovery - the start after an update run that died half-way (a power cut,
// the task manager, a crash): what the run left in the installation, told
// to the user, and the installation made whole again before the command
// goes on. What the run had begun is read from its journal (uRunJournal);
// the run's own backup (Tmp$...\Old) and working tree (Tmp$...\Wrk) are
// what it is made whole from:
//   - a run that had passed every check and script and begun its final swap
//     is finished: the updated database, program and resources are put in
//     place, as the run would have done;
//   - any other run is undone: the installation folder gets its name back,
//     the server files and the client's settings file their content from
//     before the run, and the database is brought online.
// Where the updater cannot be sure (a journal it cannot read, a database
// neither under its name nor where the journal says), it changes nothing
// and says exactly what is where.
#pragma once

#include "uHost.h"
#include "uRunJournal.h"
#include "uUpdate.h"

#include <string>
#include <vector>

// What an unfinished run left at a program location.
struct TUnfinishedRun {
  std::string RootDir;     // the installation folder, without a trailing delimiter
  bool FolderAside = false; // only "<RootDir>_" exists: the lock check's name
  std::string JournalFile; // the journal found; empty: none
  bool JournalReadable = false;
  std::vector<TJournalRecord> Records;
  // Without a journal: a database renamed aside while none lies under the
  // live name, and temporary trees without their finished mark.
  std::string DatabaseAside;
  std::vector<std::string> UnfinishedTrees;

  // Whether there is anything to put in order (an unfinished tree alone is
  // only told).
  bool NeedsRecovery() const { return FolderAside || !JournalFile.empty() || !DatabaseAside.empty(); }
};

// Looks at ProgramLocation and "<ProgramLocation>_" with the project's file
// names from Settings; changes nothing.
TUnfinishedRun FindUnfinishedRun(const std::string& ProgramLocation, const TUpdateSettings& Settings);

// The user said No to putting an unfinished run in order: the command is
// cancelled, nothing was changed. Hosts tell it apart from a plain No (the
// console exits with a code of its own).
class EUnfinishedRunLeft : public EAbort {
public:
  using EAbort::EAbort;
};

// The first step of every command that works on an installation: looks for
// what an unfinished run left at ProgramLocation and, when there is
// something, logs and asks the user through the host in force (Yes by
// default) and puts the installation in order with the command's settings
// and the system password. Working folders left by a run of an older
// updater are only logged. Returns when there was nothing to do or the
// installation is whole again; raises EUnfinishedRunLeft after a No, and
// EUpdateNeedsUser when the installation could not be put in order (the
// message says what is where).
void RecoverUnfinishedRun(const std::string& ProgramLocation, const TUpdateSettings& Settings,
                          const std::string& Password);
