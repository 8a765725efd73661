// uUpdate - the update engine: the working folders of an operation, the
// folder and file operations with backup, and the payload extraction.
//
// Every failure is an EUpdateError carrying a message-catalog text. The
// engine reaches the main window only through the host in force (uHost).
#pragma once

#include "os/Path.h"
#include "uHost.h"

#include <stdexcept>
#include <string>
#include <vector>

class EUpdateError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

//--- Working folders ---------------------------------------------------------

// The paths, connection strings and part flags of one operation. RootDir
// ends in a path delimiter only when the location given ended in one; every
// other path ends without one.
struct TWorkingFolders {
  std::string RootDir;
  std::string ProgramDir, ResourcesDir, DBDataDir;
  std::string TmpDir, NewDir, OldDir, OldDBDataDir, WrkDir;
  std::string OldProgramDir, WrkProgramDir, OldResourcesDir, WrkResourcesDir, WrkDBDataDir, OldOtherDir;
  std::string DBConnect, WrkDBConnect;
  bool ClientPartFound = false;
  bool ServerPartFound = false;
};

// The working folders of the last UpdateInit.
extern TWorkingFolders WF;

// Checks the program location and fills WF from it and the host's settings.
// Fails with uUpdate_UpdateInit_2 when the folder does not exist and with
// uUpdate_UpdateInit_3 when it is not on a removable or fixed drive.
void UpdateInit(const std::string& ProgramLocation);

//--- Folder and file operations with backup ---------------------------------

// Deletes Dir with everything in it, depth first; read-only files too. Stops
// with uUpdate_MyRemoveDir_1 at the first file that cannot be deleted. A
// missing Dir is no error. Links to folders are removed, never followed.
void MyRemoveDir(const std::string& Dir);
// Creates the one folder Dir (its parent must exist); fails with
// uUpdate_MyCreateDir_1, also when it exists already.
void MyCreateDir(const std::string& Dir);
// Copies the tree SourceDir into TargetDir (created with its parents),
// merging with what is there; single files that fail to copy are skipped.
void MyCopyDir(const std::string& SourceDir, const std::string& TargetDir);

// Backup entry names: the target's full path with the path delimiter
// written "{5C}" ('\', Windows) or "{2F}" ('/', POSIX), then ":" as "{3A}".
// A Windows path is written with '\' throughout first, so that a target
// spelt with '/' gets the same entry (and the same deletion marker).
std::string EncodeBackupName(const std::string& FullPath, os::path::Style Style = os::path::Style::native);
std::string DecodeBackupName(const std::string& Name, os::path::Style Style = os::path::Style::native);
inline const std::string kDeletionMarker = "{dlt}_";

// Replaces TargetFile by NewFile and records the old state in BackupDir: a
// copy of the old file, or a deletion marker when there was none. Raises
// (uUpdate_CopyFileWithBackUp_1 to _4) before touching the target; returns
// whether the final copy succeeded.
bool CopyFileWithBackUp(const std::string& NewFile, const std::string& TargetFile, const std::string& BackupDir);
// Undoes every entry of BackupDir; one catalog text per file that could not
// be restored. Never raises, never stops early.
std::vector<std::string> RestoreFilesFromBackup(const std::string& BackupDir);

// "Exception Message: " + Message, after ErrorText and a CR when ErrorText
// is not empty.
std::string AppendExceptionMessage(const std::string& ErrorText, const std::string& Message);

//--- Payloads ------------------------------------------------------------------

// Writes the program's resource of type "EXEFILE" named ResName ("files"
// when empty) to FileName. Fails with uUpdate_ExtractFilesFromResource_1, a
// CR and the system's message.
void ExtractFilesFromResource(const std::string& FileName, const std::string& ResName);
