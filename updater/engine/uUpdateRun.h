// uUpdateRun - one update run as an object: the working folders, a copy of
// the window's settings taken when the run starts, the database parameters
// built once, the run's error report and output buffer; the stages are its
// methods, called by Run in the run's order. Nothing of a run lives outside
// its object, so a command of the window during the run cannot change what
// the run reads.
#pragma once

#include "uRunJournal.h"
#include "uUpdate.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

//--- Names and texts of the run --------------------------------------------------

// The server's files, in the order they are replaced: (file in NewDir,
// target below the server's folder, with the platform's delimiter).
const std::vector<std::pair<std::string, std::string>>& ServerFiles();
// The six pictures of the client's Resources folder.
const std::vector<std::string>& ClientBitmaps();

// The run's script arguments and checks.
std::string ProjectCheckScript(const std::string& ProjectCode);
inline const std::string kVersionCheckScript = "execute procedure Check_Versio(106, 1); commit;";
inline const std::string kParamsSyncScript =
    "update rdb$character_sets set rdb$default_collate_name = 'UNICODE' where rdb$character_set_name = 'UTF8' "
    "and rdb$default_collate_name = 'UTF8'; commit;";

// The whole text of an output buffer: every line followed by CR LF.
std::string BufferText(const TScriptLog& Buffer);
// CR, Header, CR and the buffer's whole text: how a script's report is logged.
std::string OutputBlock(const std::string& Header, const TScriptLog& Buffer);
// The text between the first two "~" of Text; empty with fewer than two.
std::string TextBetweenTildes(const std::string& Text);

//--- The run ---------------------------------------------------------------------------

class TUpdateRun {
public:
  // A run of Host for the installation at ProgramLocation; Host's settings
  // are copied here and never read again.
  TUpdateRun(IHost& Host, std::string ProgramLocation, const std::string& Password, std::string ProjectCode);
  TUpdateRun(const TUpdateRun&) = delete;
  TUpdateRun& operator=(const TUpdateRun&) = delete;

  // The whole run; ends as UpdateProgramm does. A run log that could not
  // be written is reported once at the end, in a warning box.
  void Run();

  const TWorkingFolders& Folders() const { return wf_; }

private:
  struct TServerScript;

  void RunStages();

  // Before anything is changed.
  void AskToStart();
  void CheckLiveDatabase();
  void DisconnectUsersAndShutdown();
  void CheckFreeSpace();
  // From the lock check on.
  void CheckLocks();
  void PrepareTrees();
  void RunClientPayload();
  void UpdateServerPart();
  void RunServerScript(const TServerScript& Step);
  void ReplaceServerFiles();
  void UpdateClientPart();
  // Puts the updated database and folders in place; when it cannot, undoes
  // itself and raises: an empty message when everything is as before the
  // run, EUpdateNeedsUser naming what could not be put back otherwise.
  void FinalSwap();
  // Undoes what the main stage changed; always raises (an empty message when
  // everything was restored).
  [[noreturn]] void Rollback();
  // The restores of the rollback and of a swap that undoes itself. Each
  // gives the list of failures as the rollback reports it: a line per file
  // (empty when everything was restored or there was nothing to restore).
  // The server's files from their backups:
  std::string RestoreServerFiles();
  // The client's folders: after the copy-back (CopiedBack) every file the
  // working trees wrote, else only the settings file the client stage deleted.
  std::string RestoreClientFolders(bool CopiedBack);
  // The database from before the run back under its live name (Live), from
  // where the swap renamed it (Aside); the updated one back to the working
  // tree.
  std::string PutLiveDatabaseBack(const std::string& Live, const std::string& Aside);
  // Brings the server part back into use: always after the lock check began.
  // Ending is the message of the failure that ended the run, if any; it stays
  // in the message when this step fails too.
  void FinalStep(const std::string& Ending);

  void Log(const std::string& Text);
  void ReportLogFailure();

  // Records Step in the run's journal before the step is taken (the run's
  // own record first); raises when the record cannot be written, so the
  // step is not taken.
  void Journal(TJournalStep Step, const std::string& Value = "", const std::string& Extra = "");
  // Records that the run undoes itself; a record that cannot be written does
  // not stop the undoing.
  void JournalUndo();
  // The end of the run, whatever its outcome: the journal goes and the
  // temporary tree gets its finished mark.
  void FinishJournal();

  IHost& host_;
  const TUpdateSettings settings_;
  const std::string location_;
  const std::string projectCode_;
  TWorkingFolders wf_;
  TDBParams live_; // the live database
  TDBParams work_; // its working copy in the temporary tree
  std::string errorText_;
  // What the run could not clean up (a working folder, the old database
  // beside the new one), logged as it happened; a run that ends needing the
  // user names it in its message too, for a log that could not be written.
  std::string leftovers_;
  TScriptLog buffer_;
  TRunJournal journal_{""};
  bool treeMade_ = false;          // the run made its temporary tree itself
  bool resourcesBackedUp_ = false; // the backup of Resources is complete
  // The entries this run wrote into the backup folder of the server's
  // files, in order: the rollback restores these and nothing else.
  std::vector<std::string> backupEntries_;
  std::string logFailure_;         // the first log entry that could not be written
};
