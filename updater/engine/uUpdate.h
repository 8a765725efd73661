// uUpdate - the update engine: the working folders of an operation, the
// folder and file operations with backup, the payload extraction, and the
// entries of the update run and of the database mode commands (the run
// itself, with its stages, is TUpdateRun in uUpdateRun.h). The "My" routines
// (MyCopyDir, MyRemoveDir, MyCreateDir) are the engine's own versions of the
// system's folder calls; UpdateProgramm is the whole update run.
//
// Failures are errors carrying a message text (catalog texts, the fixed
// texts of the stages, or the messages of the units below). The engine
// reaches the main window only through the host in force (uHost), and an
// operation reads the window's settings once, when it starts.
#pragma once

#include "os/OsLayer.h"
#include "os/Path.h"
#include "uHost.h"
#include "uProjects.h"
#include "uSqlScript.h"

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

class EUpdateError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// A failure after which the installation needs the user: the rollback could
// not restore everything, the database was left offline or missing, or the
// final swap stopped half-way. The message (possibly empty, when the log
// holds the details) says what to do.
class EUpdateNeedsUser : public EUpdateError {
public:
  using EUpdateError::EUpdateError;
};

// The system password (of the database user "SYSDBA") the window proposes
// and the console updater takes when it is given none.
inline const std::string kDefaultSysPassword = "qelvormask";

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

// Checks the program location and computes the working folders of an
// operation from it and the settings the operation took (the connection
// prefix and the project's file names); the temporary tree is named after
// the clock. Logs its start and end through the host. Fails with
// uUpdate_UpdateInit_2 when the folder does not exist and with
// uUpdate_UpdateInit_3 when it is not on a removable or fixed drive.
TWorkingFolders UpdateInit(const std::string& ProgramLocation, const TUpdateSettings& Settings);

//--- Folder and file operations with backup ---------------------------------

// Deletes Dir with everything in it, depth first; read-only files too. Stops
// with uUpdate_MyRemoveDir_1 at the first file that cannot be deleted. A
// missing Dir is no error. Links inside are removed, never followed; a Dir
// that is itself a link is refused with uUpdate_Link_1 and nothing is
// deleted.
void MyRemoveDir(const std::string& Dir);
// Creates the one folder Dir (its parent must exist); fails with
// uUpdate_MyCreateDir_1, also when it exists already.
void MyCreateDir(const std::string& Dir);
// Creates the run's own folder Dir as MyCreateDir does, so that only the
// running user and the administrators may enter it (os::CreatePrivateFolder):
// an entry of that name that exists already, a link planted there included,
// is never used; that fails with uUpdate_MyCreateDir_1 and the cause.
void MyCreateRunDir(const std::string& Dir);
// A file that MyCopyDir could not copy, and why.
struct TCopySkipped {
  std::string Source, Target;
  os::Status Why;
};
// Copies the tree SourceDir into TargetDir (created with its parents),
// merging with what is there. A single file that fails to copy is skipped
// and the walk goes on; the skipped files are returned, in walk order. A
// link inside SourceDir (to a file or a folder) is skipped the same way,
// never followed; a SourceDir, TargetDir or folder of the target tree that
// is a link is refused with uUpdate_Link_1; a link at a target file is
// never written through (that file is skipped).
std::vector<TCopySkipped> MyCopyDir(const std::string& SourceDir, const std::string& TargetDir);
// MyCopyDir, failing when a file was skipped: with uUpdate_CopyFileWithBackUp_4
// (the file and the folder it should have gone to) and the cause on the next
// line, for every file skipped.
void MyCopyDirComplete(const std::string& SourceDir, const std::string& TargetDir);

// Backup entry names: the target's full path with the path delimiter
// written "{5C}" ('\', Windows) or "{2F}" ('/', POSIX), then ":" as "{3A}".
// A Windows path is written with '\' throughout first, so that a target
// spelt with '/' gets the same entry (and the same deletion marker).
std::string EncodeBackupName(const std::string& FullPath, os::path::Style Style = os::path::Style::native);
std::string DecodeBackupName(const std::string& Name, os::path::Style Style = os::path::Style::native);
inline const std::string kDeletionMarker = "{dlt}_";

// Replaces TargetFile by NewFile and records the old state in BackupDir: a
// copy of the old file, or a deletion marker when there was none. Raises
// (uUpdate_CopyFileWithBackUp_1 to _4, with the failed call on the next
// line) before touching the target; returns the final copy's outcome.
os::Status CopyFileWithBackUp(const std::string& NewFile, const std::string& TargetFile, const std::string& BackupDir);
// The same, adding to Written the name of the entry it wrote (the copy, or
// the deletion marker, recorded even when the marker file could not be
// written), before the target is replaced.
os::Status CopyFileWithBackUp(const std::string& NewFile, const std::string& TargetFile, const std::string& BackupDir,
                              std::vector<std::string>& Written);
// Undoes every entry of BackupDir; one catalog text (with the failed call on
// its next line) per file that could not be restored or, for a deletion
// marker, deleted. Never raises, never stops early. Whoever can write into
// BackupDir chooses what it deletes and writes: a run restores from the
// list it kept instead (below).
std::vector<std::string> RestoreFilesFromBackup(const std::string& BackupDir);
// Undoes only the entries named in Written (as CopyFileWithBackUp recorded
// them), each once, in that order; an entry in BackupDir that is not named
// there is left alone. A deletion marker named there deletes its target
// also when its file is missing. Reports as the whole-folder form does.
std::vector<std::string> RestoreFilesFromBackup(const std::string& BackupDir, const std::vector<std::string>& Written);

// Undoes a copy of the tree WrittenDir into LiveDir, with BackupDir the copy
// of LiveDir taken before: every file of WrittenDir gets its old content
// back in LiveDir from BackupDir, or, when BackupDir has no such file and is
// complete (CompleteBackup), is deleted from LiveDir as one the copy added.
// One catalog text (uUpdate_RestoreFilesFromBackup_1, the cause on its next
// line) per file that could not be restored, and per live folder that has
// become a link (nothing is restored through it). A missing WrittenDir
// wrote nothing. Never raises, never stops early.
std::vector<std::string> RestoreTreeFromBackup(const std::string& WrittenDir, const std::string& BackupDir,
                                               const std::string& LiveDir, bool CompleteBackup);

// The pause between two tries of a rename that something holds for a
// moment; the database's rename is tried eleven times, so about 5 s in all.
constexpr std::uint32_t kRenamePauseMs = 500;

// Renames Source to Target, retrying while something holds it for a moment
// (a scanner, an indexer): Attempts tries with kRenamePauseMs between them;
// Note, when given, is called after each try. The last try's outcome.
os::Status MoveWithRetries(const std::string& Source, const std::string& Target, int Attempts,
                           const std::function<void()>& Note);

// The name a file is renamed to while it is swapped: "<Live>_", or "<Live>_2",
// "<Live>_3", ... when something of that name is left from earlier.
std::string AsideName(const std::string& Live);

// Path without its trailing delimiters: a folder's name to rename.
std::string WithoutDelim(std::string Path);

// "Exception Message: " + Message, after ErrorText and a CR when ErrorText
// is not empty.
std::string AppendExceptionMessage(const std::string& ErrorText, const std::string& Message);

//--- Payloads ------------------------------------------------------------------

// Writes the program's resource of type "EXEFILE" named ResName ("files"
// when empty) to FileName. Fails with uUpdate_ExtractFilesFromResource_1, a
// CR and the system's message.
void ExtractFilesFromResource(const std::string& FileName, const std::string& ResName);

// Runs a payload program written into NewDir (no parameters, its own folder
// as working folder, Show as its window's show command) and waits for it.
// Fails with uUpdate_ExtractFilesFromResource_1 naming ResName when the
// program exits with a code other than 0: its files cannot be trusted.
void RunPayload(const std::string& FileName, const std::string& ResName, std::uint16_t Show);

//--- The update run ------------------------------------------------------------

// One whole update of the installation at ProgramLocation (TUpdateRun,
// uUpdateRun.h), with the settings of the host in force as they are when it
// starts. Returns when the installation was updated. Otherwise raises:
// EAbort when the user answered No; EUpdateNeedsUser when the installation
// needs the user; any other error when nothing is left changed (its message
// is empty when the log already holds the details). The host's HadErrors
// tells a failed run from an interrupted one.
void UpdateProgramm(const std::string& ProgramLocation, const std::string& Password, const std::string& ProjectCode);

//--- Database mode commands ----------------------------------------------------

// Switch the installation's database online (multi-user) or to shutdown
// (single-user). A database already in that mode is reported and is no
// failure; every other failure is raised as it came.
void UpdateOnLine(const std::string& ProgramLocation, const std::string& SysPassword);
void UpdateShutdown(const std::string& ProgramLocation, const std::string& SysPassword);
