// FaultSys - the native operating-system layer with every call that can fail
// counted, and the calls a campaign picks failing as the system fails them.
//
// Counted, in the order the run makes them: file and folder writes, copies,
// moves, renames, deletes, attribute changes, listings, reads and sizes,
// free space, resources, libraries, processes and the service manager. Not
// counted, because they only read state and answer without a failure of
// their own: existence tests, attributes, full path names, drive types, the
// clock and its formats, the language, the program's and the system's
// folders, registry key tests, library symbols; nor the closing of handles,
// the wait for a started process (its exit code is the process's answer)
// and the sleeps, which are recorded and never waited.
//
// A failing call changes nothing and gives the error the native layer
// would give for it: the same system call name, the path, and a system
// error number that fits (ENOSPC for writes and copies, EBUSY for renames
// and deletes of a held file, EACCES, EIO, EAGAIN), described by the
// system's own text.
#pragma once

#include "os/OsLayer.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct CountedCall {
  std::string Call; // the os::Api method ("FileCopy")
  std::string Path; // the path or name it is about
};

class FaultSys : public os::Api {
public:
  // Starts a new count: the calls numbered FailAt fail once each, every
  // call from FailFrom on (0: none) fails. Call numbers start at 1.
  void Arm(std::vector<long> FailAt, long FailFrom);

  std::vector<CountedCall> Calls;      // every counted call since Arm
  std::vector<os::Error> Injected;     // the failures given, in order
  std::vector<std::uint32_t> Sleeps;   // every wait asked for, in milliseconds
  std::vector<std::string> Started;    // program and parameters of every process start

  //--- Counted calls ---------------------------------------------------------
  os::Status CreateDirectories(const std::string& path) override;
  os::Status WriteFile(const std::string& path, const std::string& data, bool append) override;
  os::Status MakeExecutable(const std::string& path) override;
  os::Status ReadFile(const std::string& path, std::uint64_t offset, std::uint64_t size, std::string& data) override;
  os::Status FileSize(const std::string& path, std::uint64_t& size) override;
  os::Status ServiceStartRequest(os::ServiceHandle service) override;
  os::Status ServiceStopRequest(os::ServiceHandle service, os::ServiceStatus& status, bool& hasStatus) override;
  os::Status ServiceQuery(os::ServiceHandle service, os::ServiceStatus& status) override;
  os::Status ProcessSnapshot(std::vector<os::ProcessEntry>& processes) override;
  os::Status ProcessTerminate(std::uint32_t processId, std::uint32_t exitCode) override;
  os::Status AdjustOwnPrivilege(const std::string& name, std::uint32_t attributes) override;
  os::Status WriteFileAttributes(const std::string& path, std::uint32_t attributes) override;
  os::Status FileCopy(const std::string& source, const std::string& target, bool failIfExists) override;
  os::Status FileMove(const std::string& source, const std::string& target) override;
  os::Status FileReplace(const std::string& source, const std::string& target) override;
  os::Status FileDelete(const std::string& path) override;
  os::Status FileSizeExclusive(const std::string& path, std::uint64_t& size) override;
  os::Status DirectoryRemove(const std::string& path) override;
  // The entries come sorted by name: the order of a folder's listing
  // depends on how the folder was made, and call k must be the same call in
  // every run.
  os::Status FolderList(const std::string& folder, const std::string& pattern,
                        std::vector<os::FolderEntry>& entries) override;
  os::Status DiskFreeBytes(const std::string& path, std::uint64_t& freeBytes) override;
  os::Status CreateFolder(const std::string& path) override;
  os::Status LocalMachineString(const std::string& subKey, const std::string& valueName, std::string& data) override;
  os::Status ProgramResource(const std::string& type, const std::string& name, std::string_view& data) override;

  void Sleep(std::uint32_t milliseconds) override { Sleeps.push_back(milliseconds); }

protected:
  os::ServiceHandle ServiceManagerOpen(const std::string& machineName, os::Status& why) override;
  os::ServiceHandle ServiceOpen(os::ServiceHandle manager, const std::string& name, os::ServiceAccess access,
                                os::Status& why) override;
  os::Status ProcessStart(const std::string& program, const std::string& params, const std::string& workDir,
                          std::uint16_t show, os::ProcessHandle& process) override;
  os::LibraryHandle OpenLibrary(const std::string& name, os::Status& why) override;

private:
  // Counts the call Call about Path; the failure to give instead when it
  // is one the plan picks (as the system call SysCall failing with Code).
  std::optional<os::Status> Count(const char* Call, const std::string& Path, const char* SysCall, int Code);
  // The name of the service behind an open handle, for the record.
  std::string ServiceName(os::ServiceHandle service) const;

  std::vector<long> failAt_;
  long failFrom_ = 0;
  std::vector<std::pair<os::ServiceHandle, std::string>> services_;
};
