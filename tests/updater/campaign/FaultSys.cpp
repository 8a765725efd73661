// FaultSys - the counting, failing operating-system layer (see FaultSys.h).
#include "FaultSys.h"

#include <algorithm>
#include <cerrno>

void FaultSys::Arm(std::vector<long> FailAt, long FailFrom) {
  failAt_ = std::move(FailAt);
  failFrom_ = FailFrom;
  Calls.clear();
  Injected.clear();
  Sleeps.clear();
  Started.clear();
}

std::optional<os::Status> FaultSys::Count(const char* Call, const std::string& Path, const char* SysCall, int Code) {
  Calls.push_back({Call, Path});
  const long k = static_cast<long>(Calls.size());
  if ((failFrom_ == 0 || k < failFrom_) && std::find(failAt_.begin(), failAt_.end(), k) == failAt_.end())
    return std::nullopt;
  const os::Status failure = os::Status::Failed(SysCall, Path, static_cast<std::uint32_t>(Code));
  Injected.push_back(failure.Failure());
  return failure;
}

std::string FaultSys::ServiceName(os::ServiceHandle service) const {
  for (const auto& [handle, name] : services_)
    if (handle == service) return name;
  return {};
}

os::Status FaultSys::CreateDirectories(const std::string& path) {
  if (auto failed = Count("CreateDirectories", path, "mkdir", ENOSPC)) return *failed;
  return os::Api::CreateDirectories(path);
}

os::Status FaultSys::WriteFile(const std::string& path, const std::string& data, bool append) {
  if (auto failed = Count("WriteFile", path, "write", ENOSPC)) return *failed;
  return os::Api::WriteFile(path, data, append);
}

os::Status FaultSys::MakeExecutable(const std::string& path) {
  if (auto failed = Count("MakeExecutable", path, "chmod", EACCES)) return *failed;
  return os::Api::MakeExecutable(path);
}

os::Status FaultSys::ReadFile(const std::string& path, std::uint64_t offset, std::uint64_t size, std::string& data) {
  if (auto failed = Count("ReadFile", path, "pread", EIO)) return *failed;
  return os::Api::ReadFile(path, offset, size, data);
}

os::Status FaultSys::FileSize(const std::string& path, std::uint64_t& size) {
  if (auto failed = Count("FileSize", path, "stat", EACCES)) return *failed;
  return os::Api::FileSize(path, size);
}

os::ServiceHandle FaultSys::ServiceManagerOpen(const std::string& machineName, os::Status& why) {
  if (auto failed = Count("ServiceManagerOpen", machineName, "service manager", EACCES)) {
    why = *failed;
    return 0;
  }
  return os::Api::ServiceManagerOpen(machineName, why);
}

os::ServiceHandle FaultSys::ServiceOpen(os::ServiceHandle manager, const std::string& name, os::ServiceAccess access,
                                        os::Status& why) {
  if (auto failed = Count("ServiceOpen", name, "service", EACCES)) {
    why = *failed;
    return 0;
  }
  const os::ServiceHandle h = os::Api::ServiceOpen(manager, name, access, why);
  if (h) services_.emplace_back(h, name);
  return h;
}

os::Status FaultSys::ServiceStartRequest(os::ServiceHandle service) {
  if (auto failed = Count("ServiceStartRequest", ServiceName(service), "service start", EIO)) return *failed;
  return os::Api::ServiceStartRequest(service);
}

os::Status FaultSys::ServiceStopRequest(os::ServiceHandle service, os::ServiceStatus& status, bool& hasStatus) {
  if (auto failed = Count("ServiceStopRequest", ServiceName(service), "service stop", EIO)) {
    hasStatus = false;
    return *failed;
  }
  return os::Api::ServiceStopRequest(service, status, hasStatus);
}

os::Status FaultSys::ServiceQuery(os::ServiceHandle service, os::ServiceStatus& status) {
  if (auto failed = Count("ServiceQuery", ServiceName(service), "service query", EIO)) return *failed;
  return os::Api::ServiceQuery(service, status);
}

os::Status FaultSys::ProcessSnapshot(std::vector<os::ProcessEntry>& processes) {
  if (auto failed = Count("ProcessSnapshot", "/proc", "opendir", EMFILE)) return *failed;
  return os::Api::ProcessSnapshot(processes);
}

os::Status FaultSys::ProcessTerminate(std::uint32_t processId, std::uint32_t exitCode) {
  if (auto failed = Count("ProcessTerminate", std::to_string(processId), "kill", EPERM)) return *failed;
  return os::Api::ProcessTerminate(processId, exitCode);
}

os::Status FaultSys::AdjustOwnPrivilege(const std::string& name, std::uint32_t attributes) {
  if (auto failed = Count("AdjustOwnPrivilege", name, "geteuid", EPERM)) return *failed;
  return os::Api::AdjustOwnPrivilege(name, attributes);
}

os::Status FaultSys::ProcessStart(const std::string& program, const std::string& params, const std::string& workDir,
                                  std::uint16_t show, os::ProcessHandle& process) {
  Started.push_back(program + params);
  if (auto failed = Count("ProcessStart", program, "fork", EAGAIN)) return *failed;
  return os::Api::ProcessStart(program, params, workDir, show, process);
}

os::Status FaultSys::WriteFileAttributes(const std::string& path, std::uint32_t attributes) {
  if (auto failed = Count("WriteFileAttributes", path, "chmod", EACCES)) return *failed;
  return os::Api::WriteFileAttributes(path, attributes);
}

os::Status FaultSys::FileCopy(const std::string& source, const std::string& target, bool failIfExists) {
  if (auto failed = Count("FileCopy", target, "copy_file_range", ENOSPC)) return *failed;
  return os::Api::FileCopy(source, target, failIfExists);
}

os::Status FaultSys::FileMove(const std::string& source, const std::string& target) {
  if (auto failed = Count("FileMove", source, "rename", EBUSY)) return *failed;
  return os::Api::FileMove(source, target);
}

os::Status FaultSys::FileReplace(const std::string& source, const std::string& target) {
  if (auto failed = Count("FileReplace", source, "rename", EBUSY)) return *failed;
  return os::Api::FileReplace(source, target);
}

os::Status FaultSys::FileDelete(const std::string& path) {
  if (auto failed = Count("FileDelete", path, "unlink", EBUSY)) return *failed;
  return os::Api::FileDelete(path);
}

os::Status FaultSys::FileSizeExclusive(const std::string& path, std::uint64_t& size) {
  if (auto failed = Count("FileSizeExclusive", path, "open", EBUSY)) return *failed;
  return os::Api::FileSizeExclusive(path, size);
}

os::Status FaultSys::DirectoryRemove(const std::string& path) {
  if (auto failed = Count("DirectoryRemove", path, "rmdir", EBUSY)) return *failed;
  return os::Api::DirectoryRemove(path);
}

os::Status FaultSys::FolderList(const std::string& folder, const std::string& pattern,
                                std::vector<os::FolderEntry>& entries) {
  if (auto failed = Count("FolderList", folder, "opendir", EIO)) {
    entries.clear();
    return *failed;
  }
  const os::Status listed = os::Api::FolderList(folder, pattern, entries);
  std::sort(entries.begin(), entries.end(),
            [](const os::FolderEntry& a, const os::FolderEntry& b) { return a.Name < b.Name; });
  return listed;
}

os::Status FaultSys::DiskFreeBytes(const std::string& path, std::uint64_t& freeBytes) {
  if (auto failed = Count("DiskFreeBytes", path, "statvfs", EIO)) return *failed;
  return os::Api::DiskFreeBytes(path, freeBytes);
}

os::Status FaultSys::CreateFolder(const std::string& path) {
  if (auto failed = Count("CreateFolder", path, "mkdir", ENOSPC)) return *failed;
  return os::Api::CreateFolder(path);
}

os::Status FaultSys::LocalMachineString(const std::string& subKey, const std::string& valueName, std::string& data) {
  if (auto failed = Count("LocalMachineString", subKey, "registry", EACCES)) return *failed;
  return os::Api::LocalMachineString(subKey, valueName, data);
}

os::Status FaultSys::ProgramResource(const std::string& type, const std::string& name, std::string_view& data) {
  if (auto failed = Count("ProgramResource", type + "/" + name, "resource", EIO)) return *failed;
  return os::Api::ProgramResource(type, name, data);
}

os::LibraryHandle FaultSys::OpenLibrary(const std::string& name, os::Status& why) {
  if (auto failed = Count("OpenLibrary", name, "dlopen", ENOMEM)) {
    why = *failed;
    return nullptr;
  }
  return os::Api::OpenLibrary(name, why);
}
