// uUpdate - the update engine (see uUpdate.h).
#include "uUpdate.h"

#include "os/OsLayer.h"
#include "uLDM.h"
#include "uQrxRout.h"

#include <cctype>
#ifndef _WIN32
#include <sys/stat.h>
#endif

TWorkingFolders WF;

namespace {

bool IsDelim(char c) {
#ifdef _WIN32
  return c == '\\' || c == '/';
#else
  return c == '/';
#endif
}

std::string WithDelim(const std::string& path) {
  return !path.empty() && IsDelim(path.back()) ? path : path + os::PathDelim();
}

void Log(const std::string& text) { Host().SaveExceptionToLog(text); }

// A payload written from the program's resources must be startable. Windows
// starts any file it can read; POSIX needs the execute permission.
bool MakeRunnable(const std::string& file) {
#ifdef _WIN32
  (void)file;
  return true;
#else
  struct stat st {};
  return ::stat(file.c_str(), &st) == 0 && ::chmod(file.c_str(), (st.st_mode & 07777) | 0111) == 0;
#endif
}

#ifdef _WIN32
const char kDelimCode[] = "{5C}";
const char kDelimText[] = "\\";
#else
const char kDelimCode[] = "{2F}";
const char kDelimText[] = "/";
#endif

} // namespace

//--- Working folders -----------------------------------------------------------

std::string JoinPath(const std::string& Parent, const std::string& Element) {
  return WithDelim(Parent) + Element;
}

std::string DriveRootOf(const std::string& Path) {
#ifdef _WIN32
  // "\\server\share\..." : the server and the share.
  if (Path.size() >= 2 && IsDelim(Path[0]) && IsDelim(Path[1])) {
    size_t server = Path.find_first_of("\\/", 2);
    if (server == std::string::npos) return WithDelim(Path);
    size_t share = Path.find_first_of("\\/", server + 1);
    return WithDelim(Path.substr(0, share));
  }
  // "C:..." : the drive letter and colon.
  if (Path.size() >= 2 && Path[1] == ':') return Path.substr(0, 2) + "\\";
  return WithDelim(Path);
#else
  return Path;
#endif
}

void UpdateInit(const std::string& ProgramLocation) {
  IHost& h = Host();
  os::Api& sys = os::Sys();
  Log(GetMsgText("uUpdate_UpdateInit_1"));
  h.ProcessMessages();

  WF.RootDir = sys.FullPathName(ProgramLocation);
  if (!sys.DirectoryExists(WF.RootDir)) throw EUpdateError(GetMsgText("uUpdate_UpdateInit_2", WF.RootDir));
  std::uint32_t drive = sys.DriveType(DriveRootOf(WF.RootDir));
  if (drive != os::kDriveRemovable && drive != os::kDriveFixed)
    throw EUpdateError(GetMsgText("uUpdate_UpdateInit_3", WF.RootDir));

  const TUpdateSettings& s = h.Settings();
  WF.ProgramDir = JoinPath(WF.RootDir, "Program");
  WF.ResourcesDir = JoinPath(WF.RootDir, "Resources");
  WF.DBDataDir = JoinPath(WF.RootDir, "DB_Data");
  const os::LocalDateTime now = sys.Now();
  const std::string stamp = IntToStr2(now.Day) + IntToStr2(now.Month) + IntToStr2(now.Year) +
                            IntToStr2(now.Hour) + IntToStr2(now.Minute) + IntToStr2(now.Second);
  WF.TmpDir = JoinPath(WF.RootDir, "Tmp$" + stamp);
  WF.NewDir = JoinPath(WF.TmpDir, "New");
  WF.OldDir = JoinPath(WF.TmpDir, "Old");
  WF.OldDBDataDir = JoinPath(WF.OldDir, "DB_Data");
  WF.WrkDir = JoinPath(WF.TmpDir, "Wrk");
  WF.OldProgramDir = JoinPath(WF.OldDir, "Program");
  WF.WrkProgramDir = JoinPath(WF.WrkDir, "Program");
  WF.OldResourcesDir = JoinPath(WF.OldDir, "Resources");
  WF.WrkResourcesDir = JoinPath(WF.WrkDir, "Resources");
  WF.WrkDBDataDir = JoinPath(WF.WrkDir, "DB_Data");
  WF.OldOtherDir = JoinPath(WF.OldDir, "Other");
  WF.DBConnect = s.ConnectPrefix + JoinPath(WF.DBDataDir, s.DBFileName);
  WF.WrkDBConnect = s.ConnectPrefix + JoinPath(WF.WrkDBDataDir, s.DBFileName);

  WF.ClientPartFound = false;
  WF.ServerPartFound = false;
  WF.ClientPartFound = sys.FileExists(JoinPath(WF.ProgramDir, s.ExeFileName));
  WF.ServerPartFound = sys.FileExists(JoinPath(WF.DBDataDir, s.DBFileName));

  Log(GetMsgText("uUpdate_UpdateInit_4"));
  h.ProcessMessages();
}

//--- Folder and file operations with backup -------------------------------------

void MyRemoveDir(const std::string& Dir) {
  os::Api& sys = os::Sys();
  std::vector<os::FolderEntry> entries;
  sys.FolderList(Dir, "*.*", entries);
  for (const os::FolderEntry& e : entries) {
    const std::string path = JoinPath(Dir, e.Name);
    if (e.Attributes & os::kAttrDirectory) {
      // A link to a folder goes, the folder it points to stays.
      if (e.Attributes & os::kAttrReparsePoint) {
        if (!sys.DirectoryRemove(path) && !sys.FileDelete(path))
          throw EUpdateError(GetMsgText("uUpdate_MyRemoveDir_1", path));
        continue;
      }
      MyRemoveDir(path);
      continue;
    }
    // A link to a file is deleted as it is; its target keeps its attributes.
    if (!(e.Attributes & os::kAttrReparsePoint))
      sys.WriteFileAttributes(path, (e.Attributes & ~os::kAttrReadOnly) | os::kAttrArchive);
    if (!sys.FileDelete(path)) throw EUpdateError(GetMsgText("uUpdate_MyRemoveDir_1", path));
  }
  sys.DirectoryRemove(Dir);
}

void MyCreateDir(const std::string& Dir) {
  if (!os::Sys().CreateFolder(Dir)) throw EUpdateError(GetMsgText("uUpdate_MyCreateDir_1", Dir));
}

namespace {
void CopyTree(const std::string& SourceDir, const std::string& TargetDir, std::vector<TCopySkipped>& skipped) {
  os::Api& sys = os::Sys();
  const std::string source = WithDelim(SourceDir), target = WithDelim(TargetDir);
  if (!sys.DirectoryExists(source)) throw EUpdateError(GetMsgText("uUpdate_MyCopyDir_1", source));
  if (!sys.CreateDirectories(target)) throw EUpdateError(GetMsgText("uUpdate_MyCopyDir_2", target));
  std::vector<os::FolderEntry> entries;
  sys.FolderList(source, "*", entries);
  for (const os::FolderEntry& e : entries) {
    if (e.Attributes & os::kAttrDirectory)
      CopyTree(source + e.Name, target + e.Name, skipped);
    else if (!CopyFileClearAttr(source + e.Name, target + e.Name))
      skipped.push_back({source + e.Name, target + e.Name});
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
  const std::string& t = skipped.front().Target;
  size_t delim = t.size();
  while (delim > 0 && !IsDelim(t[delim - 1])) --delim;
  throw EUpdateError(GetMsgText("uUpdate_CopyFileWithBackUp_4", skipped.front().Source,
                                t.substr(0, delim > 0 ? delim - 1 : 0)));
}

std::string EncodeBackupName(const std::string& FullPath) {
  return ReplaceAll(ReplaceAll(FullPath, kDelimText, kDelimCode), ":", "{3A}");
}

std::string DecodeBackupName(const std::string& Name) {
  return ReplaceAll(ReplaceAll(Name, kDelimCode, kDelimText), "{3A}", ":");
}

bool CopyFileWithBackUp(const std::string& NewFile, const std::string& TargetFile, const std::string& BackupDir) {
  os::Api& sys = os::Sys();
  if (!sys.DirectoryExists(BackupDir) && !sys.CreateDirectories(BackupDir))
    throw EUpdateError(GetMsgText("uUpdate_CopyFileWithBackUp_1", BackupDir));
  size_t delim = TargetFile.size();
  while (delim > 0 && !IsDelim(TargetFile[delim - 1])) --delim;
  const std::string folder = delim > 0 ? TargetFile.substr(0, delim) : std::string(".");
  if (!sys.DirectoryExists(folder)) throw EUpdateError(GetMsgText("uUpdate_CopyFileWithBackUp_2", TargetFile));

  const std::string encoded = EncodeBackupName(TargetFile);
  if (sys.FileExists(TargetFile)) {
    // The rename is the test that nobody holds the file open.
    if (!sys.FileMove(TargetFile, TargetFile + "_"))
      throw EUpdateError(GetMsgText("uUpdate_CopyFileWithBackUp_3", TargetFile));
    sys.FileMove(TargetFile + "_", TargetFile);
    if (!CopyFileClearAttr(TargetFile, JoinPath(BackupDir, encoded)))
      throw EUpdateError(GetMsgText("uUpdate_CopyFileWithBackUp_4", TargetFile, BackupDir));
  } else {
    sys.WriteFile(JoinPath(BackupDir, kDeletionMarker + encoded), std::string(), false);
  }
  return CopyFileClearAttr(NewFile, TargetFile);
}

std::vector<std::string> RestoreFilesFromBackup(const std::string& BackupDir) {
  std::vector<std::string> failed;
  os::Api& sys = os::Sys();
  std::vector<os::FolderEntry> entries;
  sys.FolderList(BackupDir, "*.*", entries);
  for (const os::FolderEntry& e : entries) {
    // Every file entry is restored, also one that carries the hidden or
    // system mark of its target: skipping it would lose that file.
    if (e.Attributes & os::kAttrDirectory) continue;
    const std::string decoded = DecodeBackupName(e.Name);
    if (decoded.find(kDeletionMarker) != std::string::npos) {
      const std::string target = decoded.substr(kDeletionMarker.size());
      std::uint32_t a = sys.FileAttributes(target);
      if (a != os::kInvalidAttributes && (a & os::kAttrReadOnly))
        sys.WriteFileAttributes(target, a & ~os::kAttrReadOnly);
      sys.FileDelete(target);
      continue;
    }
    if (!CopyFileClearAttr(JoinPath(BackupDir, e.Name), decoded))
      failed.push_back(GetMsgText("uUpdate_RestoreFilesFromBackup_1", decoded));
  }
  return failed;
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
  if (!sys.ProgramResource("EXEFILE", name, data) || !sys.WriteFile(file, std::string(data), false) ||
      !MakeRunnable(file))
    throw EUpdateError(GetMsgText("uUpdate_ExtractFilesFromResource_1", name) + "\r" + sys.LastErrorText());
}

void RunPayload(const std::string& FileName, const std::string& ResName, std::uint16_t Show) {
  const int code = ExecAndWait(FileName, "", Show);
  if (code != 0)
    throw EUpdateError(GetMsgText("uUpdate_ExtractFilesFromResource_1", ResName.empty() ? "files" : ResName) + "\r" +
                       FileName + ": exit code " + std::to_string(code));
}

//--- Projects --------------------------------------------------------------------

const std::vector<TProject>& Projects() {
  static const std::vector<TProject> projects = {
      {"ZAVUDAVADA", "Zavudavada", "Zavudavada.fdb", "Zavudavada.exe", "NorvelSoft\\ZAVUDAVADA_RU", 3},
      {"TAMBER_MINI", "Tamber_Mini", "Tamber_Mini.fdb", "Tamber_Mini.exe", "NorvelSoft\\TAMBER_MINI_RU", 2},
      {"TAMBER", "Tamber", "Tamber.fdb", "Tamber.exe", "NorvelSoft\\TAMBER_RU", 2},
  };
  return projects;
}

const TProject* FindProject(const std::string& Code) {
  std::string upper = Code;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const TProject& p : Projects())
    if (p.Code == upper) return &p;
  return nullptr;
}

TUpdateSettings ProjectSettings(const std::string& Code, TUpdateSettings Base) {
  const TProject* p = FindProject(Code);
  if (!p) throw std::invalid_argument("unknown project \"" + Code + "\"");
  Base.ProjectCode = p->Code;
  Base.DBFileName = p->DBFileName;
  Base.ExeFileName = p->ExeFileName;
  Base.SpaceFactor = p->SpaceFactor;
  return Base;
}
