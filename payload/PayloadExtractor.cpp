// PayloadExtractor - the program part of a payload program.
//
// Started without parameters it writes every file of the archive behind its
// own code into its own folder (sub-folders as the names say), replacing
// files of the same names, and asks nothing. It exits with 0 only after the
// last file has been written and read back with the right checksum; on a
// damaged, truncated or unsafe archive, or a file that cannot be written, it
// says why on standard error and exits with 1. The whole archive is checked
// before the first file is written. Each file is written to a
// temporary name first and renamed over the target, so a failure never
// leaves a half-written file under the real name.
#include "PayloadArchive.h"

#include <cstdio>
#include <string>

#ifdef _WIN32
#include "os/WindowsSupport.h"
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using payload::ArchiveError;

#ifdef _WIN32
using os::win::Narrow;
using os::win::Widen;
constexpr char kDelim = '\\';
std::string OwnFile() {
  std::wstring buf(32768, L'\0');
  DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
  buf.resize(n);
  return Narrow(buf);
}
std::FILE* Open(const std::string& path, const wchar_t* mode) { return _wfopen(Widen(path).c_str(), mode); }
bool Seek(std::FILE* f, std::uint64_t at) { return _fseeki64(f, static_cast<__int64>(at), SEEK_SET) == 0; }
std::int64_t SizeOf(std::FILE* f) { return _fseeki64(f, 0, SEEK_END) == 0 ? _ftelli64(f) : -1; }
bool MakeDir(const std::string& path) {
  return CreateDirectoryW(Widen(path).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}
bool PutInPlace(const std::string& from, const std::string& to) {
  std::wstring t = Widen(to);
  DWORD a = GetFileAttributesW(t.c_str());
  if (a != INVALID_FILE_ATTRIBUTES && (a & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)))
    SetFileAttributesW(t.c_str(), FILE_ATTRIBUTE_NORMAL);
  return MoveFileExW(Widen(from).c_str(), t.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}
void Remove(const std::string& path) { DeleteFileW(Widen(path).c_str()); }
#define RB L"rb"
#define WB L"wb"
#else
constexpr char kDelim = '/';
std::string OwnFile() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}
std::FILE* Open(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }
bool Seek(std::FILE* f, std::uint64_t at) { return fseeko(f, static_cast<off_t>(at), SEEK_SET) == 0; }
std::int64_t SizeOf(std::FILE* f) { return fseeko(f, 0, SEEK_END) == 0 ? ftello(f) : -1; }
bool MakeDir(const std::string& path) {
  struct stat st {};
  return mkdir(path.c_str(), 0777) == 0 || (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
}
bool PutInPlace(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }
void Remove(const std::string& path) { std::remove(path.c_str()); }
#define RB "rb"
#define WB "wb"
#endif

class File {
public:
  explicit File(std::FILE* f) : f_(f) {}
  ~File() { Close(); }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  std::FILE* Get() const { return f_; }
  bool Close() {
    bool ok = true;
    if (f_) ok = std::fclose(f_) == 0;
    f_ = nullptr;
    return ok;
  }

private:
  std::FILE* f_;
};

std::string ReadAt(std::FILE* f, std::uint64_t at, std::uint64_t size) {
  if (size > (std::uint64_t{1} << 40)) throw ArchiveError("the payload archive is damaged (impossible size)");
  std::string buf(static_cast<size_t>(size), '\0');
  if (!Seek(f, at) || std::fread(buf.data(), 1, buf.size(), f) != buf.size())
    throw ArchiveError("the payload archive is truncated (cannot read its data)");
  return buf;
}

void WriteChecked(const std::string& path, const std::string& data, std::uint32_t crc) {
  const std::string part = path + ".partial";
  {
    File out(Open(part, WB));
    if (!out.Get()) throw std::runtime_error("cannot create " + part);
    bool ok = std::fwrite(data.data(), 1, data.size(), out.Get()) == data.size() && std::fflush(out.Get()) == 0;
    if (!out.Close() || !ok) {
      Remove(part);
      throw std::runtime_error("cannot write " + part);
    }
  }
  if (!PutInPlace(part, path)) {
    Remove(part);
    throw std::runtime_error("cannot replace " + path);
  }
  File back(Open(path, RB));
  std::int64_t size = back.Get() ? SizeOf(back.Get()) : -1;
  if (size < 0 || static_cast<std::uint64_t>(size) != data.size() ||
      payload::Crc32(ReadAt(back.Get(), 0, static_cast<std::uint64_t>(size))) != crc)
    throw std::runtime_error("the written file " + path + " does not read back as it was written");
}

int Extract() {
  const std::string self = OwnFile();
  const size_t slash = self.find_last_of("/\\");
  const std::string folder = slash == std::string::npos ? std::string(".") : self.substr(0, slash);

  File in(Open(self, RB));
  if (!in.Get()) throw std::runtime_error("cannot open the program file " + self);
  std::int64_t fileSize = SizeOf(in.Get());
  if (fileSize < static_cast<std::int64_t>(payload::kTrailerSize))
    throw ArchiveError("the file holds no payload archive (it is too short)");
  const std::uint64_t size = static_cast<std::uint64_t>(fileSize);
  // The trailer says where the index starts; read from there to the end.
  std::string trailer = ReadAt(in.Get(), size - payload::kTrailerSize, payload::kTrailerSize);
  std::uint64_t indexStart = 0;
  if (trailer.compare(0, 8, payload::kMagic, 8) == 0)
    for (int i = 7; i >= 0; --i) indexStart = (indexStart << 8) | static_cast<unsigned char>(trailer[16 + static_cast<size_t>(i)]);
  if (indexStart > size - payload::kTrailerSize) indexStart = size - payload::kTrailerSize;
  payload::Index ix = payload::ReadIndex(ReadAt(in.Get(), indexStart, size - indexStart), size);

  // Every entry is unpacked and checked once before the first file is
  // written, so a damaged archive leaves the folder as it was.
  for (const payload::Entry& e : ix.Entries)
    payload::Unpack(e, ReadAt(in.Get(), ix.ArchiveStart + e.Offset, e.PackedSize));

  for (const payload::Entry& e : ix.Entries) {
    std::string data = payload::Unpack(e, ReadAt(in.Get(), ix.ArchiveStart + e.Offset, e.PackedSize));
    std::string target = folder;
    for (size_t at = 0;;) {
      size_t next = e.Name.find('/', at);
      target += kDelim;
      target += e.Name.substr(at, next == std::string::npos ? std::string::npos : next - at);
      if (next == std::string::npos) break;
      if (!MakeDir(target)) throw std::runtime_error("cannot create the folder " + target);
      at = next + 1;
    }
    WriteChecked(target, data, e.Crc);
  }
  return 0;
}

} // namespace

int main() {
  try {
    return Extract();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "payload: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "payload: unexpected failure\n");
  }
  return 1;
}
