// OsLayer - the one narrow operating-system interface.
// Everything the updater asks of the operating system goes through os::Api.
// There is one implementation per platform (Windows/OsLayer.inc for the
// product, Unix/OsLayer.inc for native builds), chosen at build time. A test
// that must inject a fault or control the system derives from the native
// implementation, overrides single calls and installs itself with
// os::ScopedApi for the duration of the test.
//
// All texts are UTF-8; the Windows implementation converts to UTF-16 at the
// call of each W function.
//
// A call that can fail returns a Status: true on success, otherwise the
// Error the failing system call recorded at once (the call, the path, the
// system's error number and its text), so that no later call can overwrite
// the cause before the caller shows it. Handles come back as move-only
// owners (Service, Process, Library) that close themselves.
#pragma once

#include "os/Path.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace os {

//--- Errors -------------------------------------------------------------------

// What a failed call recorded: the system call, the path (or name) it was
// about, the system's error number (GetLastError on Windows, errno
// elsewhere) and the system's text for it.
struct Error {
  std::string Call;
  std::string Path;
  std::uint32_t Code = 0;
  std::string Text;
};

// The system's text for an error number of this platform, without a final
// line break or full stop left as the system gives it.
std::string SystemErrorText(std::uint32_t Code);

// How a failure is named in a log entry or a message: the call, the path in
// quotes (when there is one), the system's text and, when the system gave
// one, its error number: MoveFileW "C:\Tamber\DB_Data": Access is denied (5).
std::string Describe(const Error& Failure);

// The outcome of a call that can fail. It converts to bool (true: success),
// so a caller that only needs yes or no reads it as such; a caller that
// reports the failure takes the Error.
class Status {
public:
  Status() = default; // success
  Status(Error Failure) : failed_(true), error_(std::move(Failure)) {}
  // A failure of Call about Path with the system's error Code.
  static Status Failed(std::string Call, std::string Path, std::uint32_t Code) {
    return Status(Error{std::move(Call), std::move(Path), Code, SystemErrorText(Code)});
  }
  operator bool() const { return !failed_; }
  const Error& Failure() const { return error_; }

private:
  bool failed_ = false;
  Error error_;
};

// Text, then on a line of its own (after a CR, the line break of the
// program's texts) the failure Why describes; Text alone when Why is a
// success. The message of an error whose cause is an operating-system call.
std::string WithCause(const std::string& Text, const Status& Why);

// The refusal of Call to go through the link Path (a symbolic link,
// junction or hard link) to another place.
Status RefusedLink(const std::string& Call, const std::string& Path);

// A local calendar date and wall-clock time, read from the system clock.
struct LocalDateTime {
  int Year = 0;    // four digits
  int Month = 0;   // 1..12
  int Day = 0;     // 1..31
  int Hour = 0;    // 0..23
  int Minute = 0;  // 0..59
  int Second = 0;  // 0..59
};

// Attribute bits of a file or folder, with the values Windows gives them.
// POSIX knows only read-only (no write permission) and folder.
constexpr std::uint32_t kAttrReadOnly = 0x01;
constexpr std::uint32_t kAttrHidden = 0x02;
constexpr std::uint32_t kAttrSystem = 0x04;
constexpr std::uint32_t kAttrDirectory = 0x10;
constexpr std::uint32_t kAttrArchive = 0x20;
constexpr std::uint32_t kAttrNormal = 0x80;
// A symbolic link or junction: a folder entry that points elsewhere.
constexpr std::uint32_t kAttrReparsePoint = 0x400;
// What FileAttributes answers for a path that does not exist.
constexpr std::uint32_t kInvalidAttributes = 0xFFFFFFFF;

// Service states as the Windows service control manager codes them.
constexpr std::uint32_t kServiceStopped = 1;
constexpr std::uint32_t kServiceStartPending = 2;
constexpr std::uint32_t kServiceStopPending = 3;
constexpr std::uint32_t kServiceRunning = 4;

// The part of a service's status the updater looks at.
struct ServiceStatus {
  std::uint32_t State = 0;
  std::uint32_t CheckPoint = 0;
  std::uint32_t WaitHint = 0; // milliseconds
};

// What a service handle is opened for; status queries are always allowed.
enum class ServiceAccess { Query, Start, Stop };

// The raw handles behind the owners below, as the implementations and the
// test doubles see them; 0 is no handle.
using ServiceHandle = std::uintptr_t;
using ProcessHandle = std::uintptr_t;
using LibraryHandle = void*;

class Api;

// A handle that the Api which opened it closes when the owner goes.
// Move-only; empty when the opening failed, and then Why() tells the cause.
template <typename Kind>
class Owned {
public:
  using Handle = typename Kind::Handle;
  Owned() = default;
  Owned(Api& Opener, Handle H) : api_(&Opener), h_(H) {}
  explicit Owned(Status Why) : why_(std::move(Why)) {}
  ~Owned() { Reset(); }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  Owned(Owned&& O) noexcept : api_(O.api_), h_(std::exchange(O.h_, Handle{})), why_(std::move(O.why_)) {}
  Owned& operator=(Owned&& O) noexcept {
    if (this != &O) {
      Reset();
      api_ = O.api_;
      h_ = std::exchange(O.h_, Handle{});
      why_ = std::move(O.why_);
    }
    return *this;
  }
  explicit operator bool() const { return h_ != Handle{}; }
  Handle Get() const { return h_; }
  // Why the handle could not be opened (success while it is held).
  const Status& Why() const { return why_; }
  void Reset() noexcept {
    if (h_ != Handle{}) Kind::Close(*api_, h_);
    h_ = Handle{};
  }

private:
  Api* api_ = nullptr;
  Handle h_{};
  Status why_;
};

struct ServiceKind {
  using Handle = ServiceHandle;
  static void Close(Api& A, Handle H) noexcept;
};
struct ProcessKind {
  using Handle = ProcessHandle;
  static void Close(Api& A, Handle H) noexcept;
};
struct LibraryKind {
  using Handle = LibraryHandle;
  static void Close(Api& A, Handle H) noexcept;
};

// An open service manager or service.
using Service = Owned<ServiceKind>;
// A started child process that has not been waited for.
using Process = Owned<ProcessKind>;
// A loaded dynamic library.
using Library = Owned<LibraryKind>;

// One process of a process snapshot.
struct ProcessEntry {
  std::uint32_t Id = 0;
  std::string ExeFile; // the executable's file name or full path
  // The full path of the program file the process runs, as the system
  // tells it; empty when it does not (a process the caller may not query).
  std::string ImagePath;
};

// One entry of a folder listing ("." and ".." are left out).
struct FolderEntry {
  std::string Name;
  std::uint32_t Attributes = 0;
  std::uint64_t Size = 0;
};

// Whether a registry key exists and can be read.
enum class RegKeyState { Missing, Readable, Unreadable };

// Drive types as GetDriveType codes them.
constexpr std::uint32_t kDriveUnknown = 0;
constexpr std::uint32_t kDriveNoRootDir = 1;
constexpr std::uint32_t kDriveRemovable = 2;
constexpr std::uint32_t kDriveFixed = 3;
constexpr std::uint32_t kDriveRemote = 4;
constexpr std::uint32_t kDriveCdRom = 5;
constexpr std::uint32_t kDriveRamDisk = 6;

class Api {
public:
  virtual ~Api() = default;

  // The system's default language identifier (a Windows LANGID: the low
  // 10 bits hold the primary language, e.g. 0x19 Russian, 0x07 German).
  virtual std::uint16_t SystemDefaultLangId();

  // The current local date and time.
  virtual LocalDateTime Now();
  // The date in the system's short date format and the time in its long
  // time format (the regional settings; on POSIX the locale's %x and %X).
  virtual std::string FormatShortDate(const LocalDateTime& t);
  virtual std::string FormatLongTime(const LocalDateTime& t);

  // Full path of the running program's own file.
  virtual std::string ProgramFile();

  virtual bool DirectoryExists(const std::string& path);
  virtual bool FileExists(const std::string& path);
  // Creates the folder and any missing parents (below the server and share
  // of a network path); succeeds when it exists afterwards.
  virtual Status CreateDirectories(const std::string& path);
  // Writes Data to the file: Append adds it at the end (the file must exist),
  // otherwise the file is created or emptied first. Opened and closed here.
  virtual Status WriteFile(const std::string& path, const std::string& data, bool append);
  // Puts what was written to the file on the disk: after a power cut it is
  // there as written, or the call failed.
  virtual Status FlushFile(const std::string& path);
  // Puts the folder's entries on the disk (a file created, renamed or
  // deleted in it); where the system keeps them safe itself, nothing.
  virtual Status FlushFolder(const std::string& path);
  // Lets the file be started as a program: POSIX wants the execute
  // permission for that; Windows starts any file it can read.
  virtual Status MakeExecutable(const std::string& path);
  // Size bytes of the file from Offset on, read while others may read and
  // write it (a running program's own file included); fails when fewer
  // bytes are there.
  virtual Status ReadFile(const std::string& path, std::uint64_t offset, std::uint64_t size, std::string& data);
  // The size of a file, opened as ReadFile opens it.
  virtual Status FileSize(const std::string& path, std::uint64_t& size);

  // Suspends the calling thread.
  virtual void Sleep(std::uint32_t milliseconds);

  //--- Services ------------------------------------------------------------
  // The service control manager of MachineName (empty: this computer),
  // opened with connect access only.
  Service OpenServiceManager(const std::string& machineName);
  // The service Name of an open manager, with the right Access needs and the
  // right to query its status.
  Service OpenServiceOf(const Service& manager, const std::string& name, ServiceAccess access);
  // Asks the service to start, without arguments. Fails for a service that
  // is running already.
  virtual Status ServiceStartRequest(ServiceHandle service);
  // Sends the stop control. HasStatus tells whether the system reported a
  // status in Status; it does so also when it refuses the control because
  // the service is not running.
  virtual Status ServiceStopRequest(ServiceHandle service, ServiceStatus& status, bool& hasStatus);
  virtual Status ServiceQuery(ServiceHandle service, ServiceStatus& status);

  //--- Processes -----------------------------------------------------------
  // A snapshot of every process of the system, each with the full path of
  // its program where the system tells it; fails when the system offers no
  // snapshot.
  virtual Status ProcessSnapshot(std::vector<ProcessEntry>& processes);
  // Terminates the process with ExitCode; fails when it cannot be opened for
  // termination or the termination fails.
  virtual Status ProcessTerminate(std::uint32_t processId, std::uint32_t exitCode);
  // Enables (Attributes with the enabled bit) or changes the attributes of
  // the named privilege in the own process's access token; succeeds when the
  // system reports the change as fully applied.
  virtual Status AdjustOwnPrivilege(const std::string& name, std::uint32_t attributes);
  // Starts Program (a full path) with Params appended to its command line
  // as they stand, in WorkDir, its window shown with Show; no handles are
  // inherited and the child gets a console of its own. Empty, with the
  // cause, when the process cannot be created.
  Process StartProcess(const std::string& program, const std::string& params, const std::string& workDir,
                       std::uint16_t show);
  // Waits without time limit for the process to end, releases it and
  // returns its exit code.
  std::uint32_t WaitForExit(Process& process);

  //--- Files and folders ---------------------------------------------------
  // The attributes of the entry Path; a link answers for what it points to,
  // with kAttrReparsePoint added.
  virtual std::uint32_t FileAttributes(const std::string& path);
  // Changes the attributes of the entry Path itself: a link's target is
  // never changed through it.
  virtual Status WriteFileAttributes(const std::string& path, std::uint32_t attributes);
  // Whether the entry Path (a trailing delimiter ignored) is a link to
  // another place: a symbolic link, or on Windows any reparse point
  // (symbolic link, junction, mount point). Not followed; false when there
  // is no such entry.
  virtual bool IsLink(const std::string& path);
  // Copies Source to Target, with its attributes; an existing Target is
  // replaced unless FailIfExists. A read-only Target is never replaced, nor
  // is a Target that is a link (symbolic link, junction, or a file with
  // further hard links): nothing is written through a link planted there.
  virtual Status FileCopy(const std::string& source, const std::string& target, bool failIfExists);
  // Moves or renames a file or folder; an existing Target is never replaced.
  virtual Status FileMove(const std::string& source, const std::string& target);
  // Renames the file Source over Target in one step, replacing it even when
  // it is read-only, hidden or a system file; the rename is on the disk when
  // the call returns.
  virtual Status FileReplace(const std::string& source, const std::string& target);
  // Deletes a file; a read-only file is refused.
  virtual Status FileDelete(const std::string& path);
  // The size of a file opened for reading with nobody else allowed to share
  // it; fails when that open fails (missing, or held open by another).
  virtual Status FileSizeExclusive(const std::string& path, std::uint64_t& size);
  // Removes an empty folder.
  virtual Status DirectoryRemove(const std::string& path);
  // The entries of Folder whose names match Pattern ("*" and "?" wildcards,
  // letter case ignored on Windows); fails when the folder cannot be read.
  virtual Status FolderList(const std::string& folder, const std::string& pattern,
                            std::vector<FolderEntry>& entries);
  // Path made absolute against the current folder, "." and ".." resolved.
  virtual std::string FullPathName(const std::string& path);
  // The kind of the drive whose root folder is Root (kDrive...).
  virtual std::uint32_t DriveType(const std::string& root);
  // The total number of free bytes of the disk that holds Path (not only the
  // part available to the caller); fails when the system cannot tell.
  virtual Status DiskFreeBytes(const std::string& path, std::uint64_t& freeBytes);
  // The system folder without a trailing delimiter; empty on failure.
  virtual std::string SystemFolder();
  // Creates the one folder Path; its parent must exist, and an existing
  // folder is a failure.
  virtual Status CreateFolder(const std::string& path);
  // Whether others than the file's owner, the system and the administrators
  // may read it (POSIX: read permission for the group or the others; on
  // Windows an access list that lets anybody else read, or none at all).
  virtual Status ReadableByOthers(const std::string& path, bool& readable);
  // Creates the one folder Path as CreateFolder does, where only the running
  // user and the administrators may enter it (on Windows also the system
  // account, which services such as the database server run as; what is
  // created in it inherits that): POSIX mode 0700, on Windows a protected
  // access list. Any entry of that name fails, a link or a file too; a
  // file system that keeps no access rights gets the folder as it allows.
  virtual Status CreatePrivateFolder(const std::string& path);

  //--- Registry (read only, HKEY_LOCAL_MACHINE) ---------------------------
  virtual RegKeyState LocalMachineKey(const std::string& subKey);
  // Reads a text value without expanding environment references; a missing
  // value reads as the empty text. Fails when the key cannot be opened.
  virtual Status LocalMachineString(const std::string& subKey, const std::string& valueName, std::string& data);

  //--- The program's own resources -----------------------------------------
  // The bytes of the resource Name of type Type (such as "EXEFILE", "DLL",
  // "HELP", "IMAGES") linked into the program, letter case of both ignored;
  // fails when there is none. The bytes live as long as the program.
  virtual Status ProgramResource(const std::string& type, const std::string& name, std::string_view& data);

  //--- Dynamic libraries -----------------------------------------------------
  // Loads a library. A plain name (no folder) is looked for in the
  // program's own folder first, then by the system's search. Empty, with
  // the cause, when it cannot be loaded.
  Library LoadSharedLibrary(const std::string& name);
  // The address of an export of a loaded library, nullptr when it has none
  // of that name.
  void* Symbol(const Library& library, const std::string& name);

protected:
  // The calls behind the owners. Test doubles override them; everybody
  // else goes through the owners, which close what they hold.
  friend struct ServiceKind;
  friend struct ProcessKind;
  friend struct LibraryKind;
  virtual ServiceHandle ServiceManagerOpen(const std::string& machineName, Status& why);
  virtual ServiceHandle ServiceOpen(ServiceHandle manager, const std::string& name, ServiceAccess access,
                                    Status& why);
  virtual void ServiceClose(ServiceHandle handle);
  virtual Status ProcessStart(const std::string& program, const std::string& params, const std::string& workDir,
                              std::uint16_t show, ProcessHandle& process);
  // Waits for the process and returns its exit code; the handle stays open.
  virtual std::uint32_t ProcessWait(ProcessHandle process);
  virtual void ProcessClose(ProcessHandle process);
  virtual LibraryHandle OpenLibrary(const std::string& name, Status& why);
  virtual void* LibrarySymbol(LibraryHandle library, const std::string& name);
  virtual void CloseLibrary(LibraryHandle library);
};

// The implementation in force: the native one unless a test installed another.
// Natively one copy of the layer (liboslayer.so) serves the whole process,
// the project's libraries it loads included; on Windows a DLL carries a copy
// of its own, with its own implementation in force.
Api& Sys();

// The native implementation of this platform.
Api& Native();

// The folder of the running program's own file (Sys().ProgramFile()),
// without a trailing delimiter; "." when the system gave a bare file name.
std::string ProgramFolder();

// Installs Replacement for the lifetime of this object (tests only).
class ScopedApi {
public:
  explicit ScopedApi(Api& replacement);
  ~ScopedApi();
  ScopedApi(const ScopedApi&) = delete;
  ScopedApi& operator=(const ScopedApi&) = delete;

private:
  Api* previous_;
};

// The file name of the shared library Base on this platform: "Base.dll" on
// Windows, "libBase.so" elsewhere.
std::string SharedLibraryFileName(const std::string& Base);
// The suffix of a loadable module's file: ".dll" on Windows, ".so" elsewhere.
const char* SharedLibrarySuffix();

// Text in the code page the system reads file names and the other texts of
// its narrow (byte) calls in: on Windows the ANSI code page, without any
// best-fit replacement; elsewhere UTF-8, unchanged. Fails at the first
// character the code page cannot hold (an invalid UTF-8 byte as U+FFFD),
// giving it in Failed. CodePage is the code page's number (65001: UTF-8).
bool ToSystemCodePage(std::string_view Utf8, std::string& Out, char32_t& Failed, unsigned& CodePage);

// The way back: text in the code page of the system's narrow calls (what a
// Windows library that knows no other character set gives, such as the
// Firebird client's messages) as UTF-8. On Windows it is read in the ANSI
// code page; elsewhere it is UTF-8 already. The result is always
// well-formed: a byte that cannot be read becomes U+FFFD.
std::string FromSystemCodePage(std::string_view Text);

// Dispatches the messages waiting for the calling thread's windows; a
// WM_QUIT is left for the message loop. Nothing where there are no windows.
// The hosts with windows call it when the units let them process messages.
void PumpWindowMessages();

//--- Console programs ----------------------------------------------------------

// The program's command-line arguments after its own name, in UTF-8 (on
// Windows read from the system's UTF-16 command line, not from Argv).
std::vector<std::string> CommandLineArguments(int Argc, char** Argv);
// Whether standard input is a terminal a person can answer at.
bool StandardInputIsTerminal();

// Reads the environment variable Name into Value and removes it from the
// process's environment (the C runtime's copy and the system's), so that no
// program started afterwards inherits it; where the system goes on showing
// the environment the process was started with (Linux: /proc/PID/environ),
// the value's bytes there are overwritten. False when it was not set.
bool TakeEnvironmentVariable(const std::string& Name, std::string& Value);
// Lets the console show UTF-8 output as it stands.
void UseUtf8Console();

//--- Resources a host registers ----------------------------------------------

// Bytes a host embedded itself (see embed_file), registered under the type
// and name a Windows resource would have; ProgramResource finds them before
// the program's own resources. A POSIX program has only these.
void RegisterResource(const std::string& type, const std::string& name, std::string_view data);

//--- Services given by commands ------------------------------------------------

// Whether the system keeps a registry of installed services (Windows). Where
// it does not, a host gives each service as shell commands: Start and Stop
// ask the service to start and stop, Query exits with 0 while it runs. A
// service that was not defined does not exist.
bool HasServiceRegistry();
struct ServiceCommands {
  std::string Start;
  std::string Stop;
  std::string Query;
};
// Where the system has a service registry, its services are the system's
// and these calls change nothing.
void DefineService(const std::string& name, const ServiceCommands& commands);
void ForgetService(const std::string& name);

} // namespace os
