// uRecovery - the start after a run that died half-way (see uRecovery.h).
#include "uRecovery.h"

#include "os/OsLayer.h"
#include "uFbService.h"
#include "uLDM.h"
#include "uQrxRout.h"
#include "uSqlScript.h"
#include "uUpdateRun.h"

#include <algorithm>

namespace {

using os::path::Join;

std::string Msg(const std::string& Number, const std::string& A0 = kNullArg, const std::string& A1 = kNullArg) {
  return GetMsgText("uUpdate_RecoverInstallation_" + Number, A0, A1);
}

bool Has(const std::vector<TJournalRecord>& Records, TJournalStep Step) {
  return std::any_of(Records.begin(), Records.end(), [&](const TJournalRecord& r) { return r.Step == Step; });
}

const TJournalRecord* Last(const std::vector<TJournalRecord>& Records, TJournalStep Step) {
  for (auto it = Records.rbegin(); it != Records.rend(); ++it)
    if (it->Step == Step) return &*it;
  return nullptr;
}

// Every thing that is not where it belongs, in the message that says so.
class TWhereThingsAre {
public:
  void Add(const std::string& Line) { lines_ += "\r\n" + Line; }
  bool Empty() const { return lines_.empty(); }
  const std::string& Text() const { return lines_; }

private:
  std::string lines_;
};

// Putting one installation in order; each step raises EUpdateNeedsUser with
// what is where when it cannot be taken.
class TRecovery {
public:
  TRecovery(IHost& Host, const TUpdateSettings& Settings, const TUnfinishedRun& Found, const std::string& Password)
      : host_(Host), settings_(Settings), found_(Found), root_(Found.RootDir),
        live_(Join(Join(root_, "DB_Data"), settings_.DBFileName)) {
    if (!found_.Records.empty()) tmp_ = found_.Records.front().Value;
    db_ = TDBParams{settings_.ClientLibName, settings_.ConnectPrefix + live_, "SYSDBA", Password, ""};
  }

  void Run() {
    if (found_.FolderAside) RenameFolderBack();
    if (found_.JournalFile.empty()) {
      // Without a journal only the folder's name is sure; a database renamed
      // aside may be anybody's.
      if (!found_.DatabaseAside.empty()) {
        TWhereThingsAre where;
        where.Add(Msg("4", found_.DatabaseAside));
        Fail(where);
      }
      return;
    }
    const std::vector<TJournalRecord>& r = found_.Records;
    // The swap begins with the database's rename, or, without a server
    // part, with the copy-back.
    const bool swapBegun =
        Has(r, TJournalStep::DbAside) || Has(r, TJournalStep::CopyBack) || Has(r, TJournalStep::Done);
    if (swapBegun && !Has(r, TJournalStep::Undo)) {
      Log(Msg("5"));
      Finish();
    } else {
      Log(Msg("6"));
      Undo();
    }
    // The run has ended now: its tree gets the mark a finished run leaves,
    // and the journal goes.
    os::Api& sys = os::Sys();
    if (!tmp_.empty() && sys.DirectoryExists(tmp_)) sys.WriteFile(Join(tmp_, kFinishedMark), std::string(), false);
    TRunJournal journal(JournalFileName(root_));
    if (const os::Status removed = journal.Remove(); !removed)
      Log(os::WithCause(GetMsgText("uUpdate_UpdateProgramm_73", journal.FileName()), removed));
    Log(Msg("7"));
  }

private:
  void Log(const std::string& Text) {
    try {
      host_.SaveExceptionToLog(Text);
    } catch (...) {
      // The run log is not what puts the installation in order.
    }
  }

  [[noreturn]] void Fail(const TWhereThingsAre& Where) {
    const std::string text = Msg("8", Where.Text());
    Log(text);
    throw EUpdateNeedsUser(text);
  }

  void RenameFolderBack() {
    if (const os::Status back = MoveWithRetries(root_ + "_", root_, 11, nullptr); !back) {
      TWhereThingsAre where;
      where.Add(os::WithCause(GetMsgText("uUpdate_UpdateProgramm_70", root_ + "_", root_), back));
      Fail(where);
    }
  }

  // Whether the run worked on the server part: the database, the server.
  bool ServerPart() const {
    const std::vector<TJournalRecord>& r = found_.Records;
    return Has(r, TJournalStep::Shutdown) || Has(r, TJournalStep::ServerFile) || Has(r, TJournalStep::DbAside);
  }
  // Whether the server's service is known (the window and the console's
  // update always know it; the console's mode commands when they are told).
  bool ServiceKnown() const { return !settings_.ServParams.ServiceName.empty(); }

  void StopServer() {
    if (!ServerPart() || !ServiceKnown()) return;
    try {
      StopFBService(settings_.ServParams, false, host_);
    } catch (const std::exception& e) {
      Log(e.what()); // a server file it holds then fails to be restored, and says so
    }
  }

  // The server running and the database online, as every ending of a run
  // leaves them.
  void BringOnline(TWhereThingsAre& Where) {
    if (!ServerPart() || !os::Sys().FileExists(live_)) return;
    try {
      if (ServiceKnown()) StartFBService(settings_.ServParams, false, host_);
      DatabaseOnline(db_);
    } catch (const std::exception& e) {
      // The run may have died before its shutdown: a database online already.
      if (std::string(e.what()).find("Target shutdown mode is invalid for database") != std::string::npos) return;
      Where.Add(GetMsgText("uUpdate_UpdateProgramm_50") + "\r\nOriginal Message: " + e.what());
    }
  }

  // The run had passed every check and script: its swap is done now.
  void Finish() {
    os::Api& sys = os::Sys();
    const std::vector<TJournalRecord>& r = found_.Records;
    const std::string updated = Join(Join(Join(tmp_, "Wrk"), "DB_Data"), settings_.DBFileName);
    const TJournalRecord* asideRecord = Last(r, TJournalStep::DbAside);
    std::string aside = asideRecord ? asideRecord->Value : std::string();
    TWhereThingsAre where;
    StopServer();
    if (!Has(r, TJournalStep::Done) && asideRecord) {
      // The database: under the live name must be the updated one, with the
      // one from before the run aside.
      const bool liveThere = sys.FileExists(live_), asideThere = sys.FileExists(aside),
                 updatedThere = sys.FileExists(updated);
      if (!asideThere && liveThere && updatedThere) {
        // The run died before it renamed the live database.
        aside = AsideName(live_);
        if (const os::Status moved = MoveWithRetries(live_, aside, 3, nullptr); !moved) {
          where.Add(os::WithCause(GetMsgText("uUpdate_CopyFileWithBackUp_3", live_), moved));
          Fail(where);
        }
      }
      if (!sys.FileExists(live_)) {
        if (!updatedThere) {
          // Neither under its name nor in the working tree: the two
          // databases are where they are, and the user decides.
          if (sys.FileExists(aside)) where.Add(GetMsgText("uUpdate_UpdateProgramm_71", aside));
          where.Add(Msg("4", updated));
          Fail(where);
        }
        if (const os::Status moved = MoveFileClearAttr(updated, live_); !moved) {
          where.Add(os::WithCause(GetMsgText("uUpdate_CopyFileWithBackUp_4", updated, Join(root_, "DB_Data")), moved));
          where.Add(GetMsgText("uUpdate_UpdateProgramm_71", aside));
          Fail(where);
        }
      }
    }
    if (!Has(r, TJournalStep::Done)) {
      // The program and its resources: copied back from the working tree
      // again, whatever part of it was copied before.
      try {
        const std::string wrk = Join(tmp_, "Wrk");
        if (sys.DirectoryExists(Join(wrk, "Program"))) MyCopyDirComplete(Join(wrk, "Program"), Join(root_, "Program"));
        if (sys.DirectoryExists(Join(wrk, "Resources")))
          MyCopyDirComplete(Join(wrk, "Resources"), Join(root_, "Resources"));
      } catch (const std::exception& e) {
        where.Add(e.what());
        where.Add(GetMsgText("uUpdate_UpdateProgramm_61", Join(tmp_, "Wrk"), root_));
        Fail(where);
      }
    }
    if (!aside.empty() && sys.FileExists(aside))
      if (const os::Status deleted = sys.FileDelete(aside); !deleted)
        Log(os::WithCause("Deleting file error: " + aside, deleted));
    BringOnline(where);
    if (!where.Empty()) Fail(where);
  }

  // The run had not begun its swap, or had begun to undo itself: everything
  // it changed gets its state from before the run.
  void Undo() {
    os::Api& sys = os::Sys();
    const std::vector<TJournalRecord>& r = found_.Records;
    const std::string old = Join(tmp_, "Old"), wrk = Join(tmp_, "Wrk");
    TWhereThingsAre where;
    StopServer();
    // The database: the one from before the run back under its name.
    if (const TJournalRecord* aside = Last(r, TJournalStep::DbAside); aside && sys.FileExists(aside->Value)) {
      const std::string updated = Join(Join(wrk, "DB_Data"), settings_.DBFileName);
      os::Status moved;
      if (sys.FileExists(live_)) moved = MoveWithRetries(live_, updated, 3, nullptr);
      if (moved) moved = MoveWithRetries(aside->Value, live_, 3, nullptr);
      if (!moved) {
        where.Add(os::WithCause(GetMsgText("uUpdate_RestoreFilesFromBackup_1", live_), moved));
        where.Add(GetMsgText("uUpdate_UpdateProgramm_71", aside->Value));
      }
    }
    // The program and its resources, when the copy-back had begun.
    if (Has(r, TJournalStep::CopyBack)) {
      for (const char* folder : {"Program", "Resources"})
        for (const std::string& failure :
             RestoreTreeFromBackup(Join(wrk, folder), Join(old, folder), Join(root_, folder), true))
          where.Add(failure);
    }
    // The server files the run had begun to replace, each from its own
    // backup entry; one whose entry is missing had not been touched yet.
    for (const TJournalRecord& rec : r) {
      if (rec.Step != TJournalStep::ServerFile) continue;
      const std::string entry = Join(Join(old, "Other"), rec.Extra);
      if (!sys.FileExists(entry)) continue;
      if (rec.Extra.rfind(kDeletionMarker, 0) == 0) {
        if (sys.FileExists(rec.Value))
          if (const os::Status deleted = sys.FileDelete(rec.Value); !deleted)
            where.Add(os::WithCause(GetMsgText("uUpdate_RestoreFilesFromBackup_1", rec.Value), deleted));
      } else if (const os::Status copied = CopyFileDurably(entry, rec.Value); !copied) {
        where.Add(os::WithCause(GetMsgText("uUpdate_RestoreFilesFromBackup_1", rec.Value), copied));
      }
    }
    // The client's settings file.
    if (Has(r, TJournalStep::Grids)) {
      const std::string grids = Join(Join(root_, "Program"), "grids.ini"), saved = Join(Join(old, "Program"), "grids.ini");
      if (sys.FileExists(saved) && !sys.FileExists(grids))
        if (const os::Status copied = CopyFileDurably(saved, grids); !copied)
          where.Add(os::WithCause(GetMsgText("uUpdate_RestoreFilesFromBackup_1", grids), copied));
    }
    // The run's new files and working copies are of no use any more; its
    // backup stays.
    for (const std::string& dir : {Join(tmp_, "New"), wrk}) {
      try {
        MyRemoveDir(dir);
      } catch (const std::exception& e) {
        Log(e.what());
      }
    }
    BringOnline(where);
    if (!where.Empty()) Fail(where);
  }

  IHost& host_;
  const TUpdateSettings& settings_;
  const TUnfinishedRun& found_;
  const std::string root_, live_;
  std::string tmp_;
  TDBParams db_;
};

// Whether every value of the journal names what a run of this installation
// writes: its own temporary tree (a folder, not a link), its own folder's
// lock check name, the server files of the server found, their backup
// entries, the database's own aside names. A journal is a file in a folder
// others may write to, and putting an installation in order copies,
// renames and deletes where it says: one that names anything else is not
// followed.
bool FitsInstallation(const TUnfinishedRun& Found, const TUpdateSettings& Settings) {
  os::Api& sys = os::Sys();
  const std::string root = Found.RootDir;
  const std::string live = Join(Join(root, "DB_Data"), Settings.DBFileName);
  const std::string serverDir = os::path::WithDelim(Settings.ServParams.ServerDir);
  auto digits = [](const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  for (const TJournalRecord& r : Found.Records) {
    switch (r.Step) {
    case TJournalStep::Run: {
      const std::string prefix = Join(root, "Tmp$");
      if (r.Value.rfind(prefix, 0) != 0 || r.Value.size() != prefix.size() + 12 ||
          !digits(r.Value.substr(prefix.size())) || sys.IsLink(r.Value))
        return false;
      break;
    }
    case TJournalStep::Lock:
      if (r.Value != root + "_") return false;
      break;
    case TJournalStep::ServerFile: {
      bool known = false;
      for (const auto& file : ServerFiles()) known = known || r.Value == serverDir + file.second;
      const std::string entry = EncodeBackupName(r.Value);
      if (Settings.ServParams.ServerDir.empty() || !known || (r.Extra != entry && r.Extra != kDeletionMarker + entry))
        return false;
      break;
    }
    case TJournalStep::DbAside:
      if (r.Value.rfind(live + "_", 0) != 0 || !digits(r.Value.substr(live.size() + 1))) return false;
      break;
    default:
      if (!r.Value.empty() || !r.Extra.empty()) return false;
    }
  }
  return true;
}

} // namespace

TUnfinishedRun FindUnfinishedRun(const std::string& ProgramLocation, const TUpdateSettings& Settings) {
  os::Api& sys = os::Sys();
  TUnfinishedRun found;
  found.RootDir = WithoutDelim(sys.FullPathName(ProgramLocation));
  const std::string root = found.RootDir;
  found.FolderAside = !sys.DirectoryExists(root) && sys.DirectoryExists(root + "_");
  const std::string folder = found.FolderAside ? root + "_" : root;
  if (!sys.DirectoryExists(folder)) return found;
  const std::string journal = JournalFileName(folder);
  if (sys.FileExists(journal)) {
    found.JournalFile = journal;
    found.JournalReadable = ReadJournal(journal, found.Records);
    return found;
  }
  // Without a journal: what a run of an older updater, or one killed before
  // its first record, may have left.
  const std::string live = Join(Join(folder, "DB_Data"), Settings.DBFileName);
  if (!Settings.DBFileName.empty() && !sys.FileExists(live) && sys.FileExists(live + "_")) found.DatabaseAside = live + "_";
  std::vector<os::FolderEntry> entries;
  sys.FolderList(folder, "Tmp$*", entries);
  for (const os::FolderEntry& e : entries)
    if ((e.Attributes & os::kAttrDirectory) && !sys.FileExists(Join(Join(folder, e.Name), kFinishedMark)))
      found.UnfinishedTrees.push_back(Join(folder, e.Name));
  return found;
}

void RecoverUnfinishedRun(const std::string& ProgramLocation, const TUpdateSettings& Settings,
                          const std::string& Password) {
  IHost& host = Host();
  const TUnfinishedRun found = FindUnfinishedRun(ProgramLocation, Settings);
  for (const std::string& tree : found.UnfinishedTrees) {
    try {
      host.SaveExceptionToLog(Msg("9", tree));
    } catch (...) {
    }
  }
  if (!found.NeedsRecovery()) return;
  if (!found.JournalFile.empty() && (!found.JournalReadable || !FitsInstallation(found, Settings))) {
    // A journal that is not one, or not this installation's: nothing is
    // touched.
    TWhereThingsAre where;
    where.Add(Msg("2", found.JournalFile));
    if (found.FolderAside) where.Add(Msg("3", found.RootDir + "_"));
    const std::string text = Msg("8", where.Text());
    host.SaveExceptionToLog(text);
    throw EUpdateNeedsUser(text);
  }
  std::string left;
  auto add = [&](const std::string& line) { left += (left.empty() ? "" : "\r\n") + line; };
  if (!found.JournalFile.empty()) add(Msg("2", found.JournalFile));
  if (found.FolderAside) add(Msg("3", found.RootDir + "_"));
  if (!found.DatabaseAside.empty()) add(Msg("4", found.DatabaseAside));
  const std::string question = Msg("1", found.RootDir, left);
  host.SaveExceptionToLog(question);
  if (!host.AskYesNo(TMsgDlgType::Warning, question, TDefaultButton::Yes)) throw EUnfinishedRunLeft(Msg("10"));
  TRecovery(host, Settings, found, Password).Run();
}
