// uUpdate - the update engine: the projects, the working folders of an
// operation, the folder and file operations with backup, the payload
// extraction, the update run with its stages, and the database mode
// commands. The "My" routines (MyCopyDir, MyRemoveDir, MyCreateDir) are the
// engine's own versions of the system's folder calls; UpdateProgramm is the
// whole update run.
//
// Failures are errors carrying a message text (catalog texts, the fixed
// texts of the stages, or the messages of the units below). The engine
// reaches the main window only through the host in force (uHost).
#pragma once

#include "os/Path.h"
#include "uHost.h"
#include "uSqlScript.h"

#include <cstdint>
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

//--- Projects ----------------------------------------------------------------

// What choosing a project puts into the main window's settings.
struct TProject {
  std::string Code;        // "TAMBER", "ZAVUDAVADA", "TAMBER_MINI"
  std::string Name;        // "Tamber", ... as the Project menu shows it
  std::string DBFileName;  // "Tamber.fdb", ...
  std::string ExeFileName; // "Tamber.exe", ...
  std::string Location;    // proposed location under the all-users profile folder
  std::uint8_t SpaceFactor = 0;
};

// The three projects, in the order of the Project menu.
const std::vector<TProject>& Projects();
// The project of Code (letter case ignored); nullptr for an unknown code.
const TProject* FindProject(const std::string& Code);
// Base with the project's settings (ProjectCode, DBFileName, ExeFileName,
// SpaceFactor) filled in; raises std::invalid_argument for an unknown code.
TUpdateSettings ProjectSettings(const std::string& Code, TUpdateSettings Base = {});

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
// A file that MyCopyDir could not copy.
struct TCopySkipped {
  std::string Source, Target;
};
// Copies the tree SourceDir into TargetDir (created with its parents),
// merging with what is there. A single file that fails to copy is skipped
// and the walk goes on; the skipped files are returned, in walk order.
std::vector<TCopySkipped> MyCopyDir(const std::string& SourceDir, const std::string& TargetDir);
// MyCopyDir, failing with uUpdate_CopyFileWithBackUp_4 (the file and the
// folder it should have gone to) when a file was skipped.
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

// Runs a payload program written into NewDir (no parameters, its own folder
// as working folder, Show as its window's show command) and waits for it.
// Fails with uUpdate_ExtractFilesFromResource_1 naming ResName when the
// program exits with a code other than 0: its files cannot be trusted.
void RunPayload(const std::string& FileName, const std::string& ResName, std::uint16_t Show);

//--- The update run ------------------------------------------------------------

// The names of the files the stages take from NewDir.
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

// One whole update of the installation at ProgramLocation (see uUpdate.cpp
// and uUpdateRun.cpp). Returns when the installation was updated. Otherwise
// raises: EAbort when the user answered No; EUpdateNeedsUser when the
// installation needs the user; any other error when nothing is left
// changed (its message is empty when the log already holds the details).
// The host's HadErrors tells a failed run from an interrupted one.
void UpdateProgramm(const std::string& ProgramLocation, const std::string& Password, const std::string& ProjectCode);

// The stages of the run, in the order it calls them; each reads WF and the
// host's settings. Buffer is the run's output buffer.
void UpdateServerPart(const std::string& Password, TScriptLog& Buffer);
void UpdateClientPart();
// Puts the updated database and folders in place; raises when it could not
// (see uUpdateRun.cpp). ErrorText is the run's error report.
void FinalSwap(std::string& ErrorText);
// Undoes what the main stage changed; always raises (an empty message when
// everything was restored).
[[noreturn]] void Rollback(std::string& ErrorText);

//--- Database mode commands ----------------------------------------------------

// Switch the installation's database online (multi-user) or to shutdown
// (single-user). A database already in that mode is reported and is no
// failure; every other failure is raised as it came.
void UpdateOnLine(const std::string& ProgramLocation, const std::string& SysPassword);
void UpdateShutdown(const std::string& ProgramLocation, const std::string& SysPassword);
