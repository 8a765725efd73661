// uUpdate - the update engine (see uUpdate.h).
#include "uUpdate.h"

#include "os/OsLayer.h"
#include "uLDM.h"
#include "uQrxRout.h"

#include <algorithm>

namespace {

using os::path::Join;
using os::path::WithDelim;

void Log(const std::string& text) { Host().SaveExceptionToLog(text); }

} // namespace

//--- Working folders -----------------------------------------------------------

TWorkingFolders UpdateInit(const std::string& ProgramLocation, const TUpdateSettings& Settings) {
  IHost& h = Host();
  os::Api& sys = os::Sys();
  Log(GetMsgText("uUpdate_UpdateInit_1"));
  h.ProcessMessages();

  TWorkingFolders wf;
  wf.RootDir = sys.FullPathName(ProgramLocation);
  if (!sys.DirectoryExists(wf.RootDir)) throw EUpdateError(GetMsgText("uUpdate_UpdateInit_2", wf.RootDir));
  std::uint32_t drive = sys.DriveType(os::path::DriveRoot(wf.RootDir));
  if (drive != os::kDriveRemovable && drive != os::kDriveFixed)
    throw EUpdateError(GetMsgText("uUpdate_UpdateInit_3", wf.RootDir));

  wf.ProgramDir = Join(wf.RootDir, "Program");
  wf.ResourcesDir = Join(wf.RootDir, "Resources");
  wf.DBDataDir = Join(wf.RootDir, "DB_Data");
  const os::LocalDateTime now = sys.Now();
  const std::string stamp = IntToStr2(now.Day) + IntToStr2(now.Month) + IntToStr2(now.Year) +
                            IntToStr2(now.Hour) + IntToStr2(now.Minute) + IntToStr2(now.Second);
  wf.TmpDir = Join(wf.RootDir, "Tmp$" + stamp);
  wf.NewDir = Join(wf.TmpDir, "New");
  wf.OldDir = Join(wf.TmpDir, "Old");
  wf.OldDBDataDir = Join(wf.OldDir, "DB_Data");
  wf.WrkDir = Join(wf.TmpDir, "Wrk");
  wf.OldProgramDir = Join(wf.OldDir, "Program");
  wf.WrkProgramDir = Join(wf.WrkDir, "Program");
  wf.OldResourcesDir = Join(wf.OldDir, "Resources");
  wf.WrkResourcesDir = Join(wf.WrkDir, "Resources");
  wf.WrkDBDataDir = Join(wf.WrkDir, "DB_Data");
  wf.OldOtherDir = Join(wf.OldDir, "Other");
  wf.DBConnect = Settings.ConnectPrefix + Join(wf.DBDataDir, Settings.DBFileName);
  wf.WrkDBConnect = Settings.ConnectPrefix + Join(wf.WrkDBDataDir, Settings.DBFileName);
  wf.ClientPartFound = sys.FileExists(Join(wf.ProgramDir, Settings.ExeFileName));
  wf.ServerPartFound = sys.FileExists(Join(wf.DBDataDir, Settings.DBFileName));

  Log(GetMsgText("uUpdate_UpdateInit_4"));
  h.ProcessMessages();
  return wf;
}

//--- Folder and file operations with backup -------------------------------------

void MyRemoveDir(const std::string& Dir) {
  os::Api& sys = os::Sys();
  // Listing a link would delete what it points to.
  if (sys.IsLink(Dir)) throw EUpdateError(GetMsgText("uUpdate_Link_1", Dir));
  // A folder that is not there is gone already.
  if (!sys.DirectoryExists(Dir)) return;
  std::vector<os::FolderEntry> entries;
  if (const os::Status listed = sys.FolderList(Dir, "*.*", entries); !listed)
    throw EUpdateError(os::WithCause(GetMsgText("uUpdate_MyRemoveDir_1", Dir), listed));
  for (const os::FolderEntry& e : entries) {
    const std::string path = Join(Dir, e.Name);
    if (e.Attributes & os::kAttrDirectory) {
      // A link to a folder goes, the folder it points to stays.
      if (e.Attributes & os::kAttrReparsePoint) {
        if (const os::Status removed = sys.DirectoryRemove(path); !removed && !sys.FileDelete(path))
          throw EUpdateError(os::WithCause(GetMsgText("uUpdate_MyRemoveDir_1", path), removed));
        continue;
      }
      MyRemoveDir(path);
      continue;
    }
    // A link to a file is deleted as it is; its target keeps its attributes.
    if (!(e.Attributes & os::kAttrReparsePoint))
      sys.WriteFileAttributes(path, (e.Attributes & ~os::kAttrReadOnly) | os::kAttrArchive);
    if (const os::Status deleted = sys.FileDelete(path); !deleted)
      throw EUpdateError(os::WithCause(GetMsgText("uUpdate_MyRemoveDir_1", path), deleted));
  }
  if (const os::Status removed = sys.DirectoryRemove(Dir); !removed)
    throw EUpdateError(os::WithCause(GetMsgText("uUpdate_MyRemoveDir_1", Dir), removed));
}

void MyCreateDir(const std::string& Dir) {
  if (const os::Status created = os::Sys().CreateFolder(Dir); !created)
    throw EUpdateError(os::WithCause(GetMsgText("uUpdate_MyCreateDir_1", Dir), created));
}

void MyCreateRunDir(const std::string& Dir) {
  if (const os::Status created = os::Sys().CreatePrivateFolder(Dir); !created)
    throw EUpdateError(os::WithCause(GetMsgText("uUpdate_MyCreateDir_1", Dir), created));
}

namespace {
void CopyTree(const std::string& SourceDir, const std::string& TargetDir, std::vector<TCopySkipped>& skipped) {
  os::Api& sys = os::Sys();
  const std::string source = WithDelim(SourceDir), target = WithDelim(TargetDir);
  if (!sys.DirectoryExists(source)) throw EUpdateError(GetMsgText("uUpdate_MyCopyDir_1", source));
  // Neither tree is entered through a link: the copy would read another
  // place, or write into one.
  for (const std::string& folder : {source, target})
    if (sys.IsLink(folder)) throw EUpdateError(GetMsgText("uUpdate_Link_1", folder));
  if (const os::Status created = sys.CreateDirectories(target); !created)
    throw EUpdateError(os::WithCause(GetMsgText("uUpdate_MyCopyDir_2", target), created));
  std::vector<os::FolderEntry> entries;
  // A folder that cannot be listed is not copied: it counts as skipped, so
  // the copy is not taken for complete.
  if (const os::Status listed = sys.FolderList(source, "*", entries); !listed) {
    skipped.push_back({source, target, listed});
    return;
  }
  for (const os::FolderEntry& e : entries) {
    // A link inside the tree leads out of it: it is skipped like a file
    // that cannot be copied.
    if (e.Attributes & os::kAttrReparsePoint)
      skipped.push_back({source + e.Name, target + e.Name, os::RefusedLink("copy", source + e.Name)});
    else if (e.Attributes & os::kAttrDirectory)
      CopyTree(source + e.Name, target + e.Name, skipped);
    else if (const os::Status copied = CopyFileDurably(source + e.Name, target + e.Name); !copied)
      skipped.push_back({source + e.Name, target + e.Name, copied});
  }
}
} // namespace

std::vector<TCopySkipped> MyCopyDir(const std::string& SourceDir, const std::string& TargetDir) {
  std::vector<TCopySkipped> skipped;
  CopyTree(SourceDir, TargetDir, skipped);
  return skipped;
}

void MyCopyDirComplete(const std::string& SourceDir, const std::string& TargetDir) {
  const std::vector<TCopySkipped> skipped = MyCopyDir(SourceDir, TargetDir);
  if (skipped.empty()) return;
  // Every file that was not copied, each with the folder it should have
  // gone to (without its delimiter) and the cause.
  std::string message;
  for (const TCopySkipped& s : skipped) {
    std::string folder = os::path::FolderOf(s.Target);
    if (!folder.empty()) folder.pop_back();
    if (!message.empty()) message += "\r";
    message += os::WithCause(GetMsgText("uUpdate_CopyFileWithBackUp_4", s.Source, folder), s.Why);
  }
  throw EUpdateError(message);
}

namespace {
// The code of the delimiter in an entry name: "{5C}" for '\', "{2F}" for '/'.
std::string DelimCode(os::path::Style Style) { return os::path::Delim(Style) == '\\' ? "{5C}" : "{2F}"; }
} // namespace

std::string EncodeBackupName(const std::string& FullPath, os::path::Style Style) {
  const std::string delim(1, os::path::Delim(Style));
  return ReplaceAll(ReplaceAll(os::path::Normalized(FullPath, Style), delim, DelimCode(Style)), ":", "{3A}");
}

std::string DecodeBackupName(const std::string& Name, os::path::Style Style) {
  const std::string delim(1, os::path::Delim(Style));
  return ReplaceAll(ReplaceAll(Name, DelimCode(Style), delim), "{3A}", ":");
}

os::Status CopyFileWithBackUp(const std::string& NewFile, const std::string& TargetFile, const std::string& BackupDir) {
  std::vector<std::string> written;
  return CopyFileWithBackUp(NewFile, TargetFile, BackupDir, written);
}

os::Status CopyFileWithBackUp(const std::string& NewFile, const std::string& TargetFile, const std::string& BackupDir,
                              std::vector<std::string>& Written) {
  os::Api& sys = os::Sys();
  if (!sys.DirectoryExists(BackupDir))
    if (const os::Status created = sys.CreateDirectories(BackupDir); !created)
      throw EUpdateError(os::WithCause(GetMsgText("uUpdate_CopyFileWithBackUp_1", BackupDir), created));
  std::string folder = os::path::FolderOf(TargetFile);
  if (folder.empty()) folder = ".";
  if (!sys.DirectoryExists(folder)) throw EUpdateError(GetMsgText("uUpdate_CopyFileWithBackUp_2", TargetFile));

  const std::string encoded = EncodeBackupName(TargetFile);
  if (sys.FileExists(TargetFile)) {
    // The rename is the test that nobody holds the file open.
    if (const os::Status moved = sys.FileMove(TargetFile, TargetFile + "_"); !moved)
      throw EUpdateError(os::WithCause(GetMsgText("uUpdate_CopyFileWithBackUp_3", TargetFile), moved));
    sys.FileMove(TargetFile + "_", TargetFile);
    if (const os::Status copied = CopyFileDurably(TargetFile, Join(BackupDir, encoded)); !copied)
      throw EUpdateError(os::WithCause(GetMsgText("uUpdate_CopyFileWithBackUp_4", TargetFile, BackupDir), copied));
    Written.push_back(encoded);
  } else {
    // The mark that there was no file: without it the rollback would keep
    // the new one.
    const std::string marker = Join(BackupDir, kDeletionMarker + encoded);
    os::Status marked = sys.WriteFile(marker, std::string(), false);
    if (marked) marked = sys.FlushFolder(BackupDir);
    if (!marked) throw EUpdateError(os::WithCause(GetMsgText("uUpdate_CopyFileWithBackUp_4", TargetFile, BackupDir), marked));
    Written.push_back(kDeletionMarker + encoded);
  }
  return CopyFileDurably(NewFile, TargetFile);
}

namespace {
// Undoes the entry Name of BackupDir: a deletion marker deletes its target,
// a copy entry is copied back over its target. A failure adds its text.
void RestoreEntry(const std::string& BackupDir, const std::string& Name, std::vector<std::string>& failed) {
  os::Api& sys = os::Sys();
  const std::string decoded = DecodeBackupName(Name);
  if (decoded.find(kDeletionMarker) != std::string::npos) {
    const std::string target = decoded.substr(kDeletionMarker.size());
    std::uint32_t a = sys.FileAttributes(target);
    if (a != os::kInvalidAttributes && (a & os::kAttrReadOnly)) sys.WriteFileAttributes(target, a & ~os::kAttrReadOnly);
    // A file the run added and that cannot be deleted is not restored:
    // it is reported like a copy that failed.
    if (const os::Status deleted = sys.FileDelete(target); !deleted && sys.FileExists(target))
      failed.push_back(os::WithCause(GetMsgText("uUpdate_RestoreFilesFromBackup_1", target), deleted));
    return;
  }
  if (const os::Status copied = CopyFileDurably(Join(BackupDir, Name), decoded); !copied)
    failed.push_back(os::WithCause(GetMsgText("uUpdate_RestoreFilesFromBackup_1", decoded), copied));
}
} // namespace

std::vector<std::string> RestoreFilesFromBackup(const std::string& BackupDir) {
  std::vector<std::string> failed;
  std::vector<os::FolderEntry> entries;
  os::Sys().FolderList(BackupDir, "*.*", entries);
  for (const os::FolderEntry& e : entries) {
    // Every file entry is restored, also one that carries the hidden or
    // system mark of its target: skipping it would lose that file.
    if (!(e.Attributes & os::kAttrDirectory)) RestoreEntry(BackupDir, e.Name, failed);
  }
  return failed;
}

std::vector<std::string> RestoreFilesFromBackup(const std::string& BackupDir, const std::vector<std::string>& Written) {
  std::vector<std::string> failed, done;
  for (const std::string& name : Written) {
    if (std::find(done.begin(), done.end(), name) != done.end()) continue;
    done.push_back(name);
    RestoreEntry(BackupDir, name, failed);
  }
  return failed;
}

namespace {
void RestoreTree(const std::string& Written, const std::string& Backup, const std::string& Live, bool CompleteBackup,
                 std::vector<std::string>& failed) {
  os::Api& sys = os::Sys();
  std::vector<os::FolderEntry> entries;
  if (const os::Status listed = sys.FolderList(Written, "*", entries); !listed) {
    failed.push_back(os::WithCause(GetMsgText("uUpdate_RestoreFilesFromBackup_1", Live), listed));
    return;
  }
  for (const os::FolderEntry& e : entries) {
    const std::string written = Join(Written, e.Name), backup = Join(Backup, e.Name), live = Join(Live, e.Name);
    if (e.Attributes & os::kAttrDirectory) {
      // A live folder that has become a link is not written through.
      if (sys.IsLink(live))
        failed.push_back(os::WithCause(GetMsgText("uUpdate_RestoreFilesFromBackup_1", live), os::RefusedLink("copy", live)));
      else
        RestoreTree(written, backup, live, CompleteBackup, failed);
      continue;
    }
    if (sys.FileExists(backup)) {
      if (const os::Status copied = CopyFileDurably(backup, live); !copied)
        failed.push_back(os::WithCause(GetMsgText("uUpdate_RestoreFilesFromBackup_1", live), copied));
      continue;
    }
    if (!CompleteBackup) {
      failed.push_back(GetMsgText("uUpdate_RestoreFilesFromBackup_1", live));
      continue;
    }
    // A file the copy added; read-only or not, it goes.
    const std::uint32_t a = sys.FileAttributes(live);
    if (a == os::kInvalidAttributes) continue;
    if (a & os::kAttrReadOnly) sys.WriteFileAttributes(live, a & ~os::kAttrReadOnly);
    if (const os::Status deleted = sys.FileDelete(live); !deleted)
      failed.push_back(os::WithCause(GetMsgText("uUpdate_RestoreFilesFromBackup_1", live), deleted));
  }
}
} // namespace

std::vector<std::string> RestoreTreeFromBackup(const std::string& WrittenDir, const std::string& BackupDir,
                                               const std::string& LiveDir, bool CompleteBackup) {
  std::vector<std::string> failed;
  if (os::Sys().DirectoryExists(WrittenDir)) RestoreTree(WrittenDir, BackupDir, LiveDir, CompleteBackup, failed);
  return failed;
}

std::string AsideName(const std::string& Live) {
  os::Api& sys = os::Sys();
  std::string aside = Live + "_";
  for (int n = 2; sys.FileExists(aside) || sys.DirectoryExists(aside); ++n) aside = Live + "_" + std::to_string(n);
  return aside;
}

os::Status MoveWithRetries(const std::string& Source, const std::string& Target, int Attempts,
                           const std::function<void()>& Note) {
  os::Status moved;
  for (int attempt = 0; attempt < Attempts; ++attempt) {
    if (attempt > 0) os::Sys().Sleep(kRenamePauseMs);
    moved = os::Sys().FileMove(Source, Target);
    if (Note) Note();
    if (moved) break;
  }
  return moved;
}

std::string WithoutDelim(std::string Path) {
  while (Path.size() > 1 && os::path::IsDelim(Path.back())) Path.pop_back();
  return Path;
}

std::string AppendExceptionMessage(const std::string& ErrorText, const std::string& Message) {
  return ErrorText.empty() ? "Exception Message: " + Message : ErrorText + "\rException Message: " + Message;
}

//--- Payloads --------------------------------------------------------------------

void ExtractFilesFromResource(const std::string& FileName, const std::string& ResName) {
  os::Api& sys = os::Sys();
  const std::string file = sys.FullPathName(FileName);
  const std::string name = ResName.empty() ? "files" : ResName;
  std::string_view data;
  os::Status done = sys.ProgramResource("EXEFILE", name, data);
  // Written to be started: POSIX wants the execute permission for that.
  if (done) done = sys.WriteFile(file, std::string(data), false);
  if (done) done = sys.MakeExecutable(file);
  if (!done) throw EUpdateError(os::WithCause(GetMsgText("uUpdate_ExtractFilesFromResource_1", name), done));
}

void RunPayload(const std::string& FileName, const std::string& ResName, std::uint16_t Show) {
  const int code = ExecAndWait(FileName, "", Show);
  if (code != 0)
    throw EUpdateError(GetMsgText("uUpdate_ExtractFilesFromResource_1", ResName.empty() ? "files" : ResName) + "\r" +
                       FileName + ": exit code " + std::to_string(code));
}
