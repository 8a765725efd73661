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

#include "os/OsLayer.h"

#include <cstdio>
#include <stdexcept>
#include <string>

namespace {

using payload::ArchiveError;

// The system's words for a failure, for the message on standard error.
std::string Why(const os::Status& s) { return s.Failure().Text; }

std::string ReadAt(const std::string& file, std::uint64_t at, std::uint64_t size) {
  if (size > (std::uint64_t{1} << 40)) throw ArchiveError("the payload archive is damaged (impossible size)");
  std::string buf;
  if (!os::Sys().ReadFile(file, at, size, buf))
    throw ArchiveError("the payload archive is truncated (cannot read its data)");
  return buf;
}

void WriteChecked(const std::string& path, const std::string& data, std::uint32_t crc) {
  os::Api& sys = os::Sys();
  const std::string part = path + ".partial";
  if (os::Status written = sys.WriteFile(part, data, false); !written) {
    sys.FileDelete(part);
    throw std::runtime_error("cannot write " + part + ": " + Why(written));
  }
  if (os::Status replaced = sys.FileReplace(part, path); !replaced) {
    sys.FileDelete(part);
    throw std::runtime_error("cannot replace " + path + ": " + Why(replaced));
  }
  std::uint64_t size = 0;
  std::string back;
  if (!sys.FileSize(path, size) || size != data.size() || !sys.ReadFile(path, 0, size, back) ||
      payload::Crc32(back) != crc)
    throw std::runtime_error("the written file " + path + " does not read back as it was written");
}

int Extract() {
  os::Api& sys = os::Sys();
  const std::string self = sys.ProgramFile();
  std::string folder = os::path::FolderOf(self);
  if (folder.empty()) folder = ".";

  std::uint64_t size = 0;
  if (os::Status found = sys.FileSize(self, size); !found)
    throw std::runtime_error("cannot open the program file " + self + ": " + Why(found));
  if (size < payload::kTrailerSize) throw ArchiveError("the file holds no payload archive (it is too short)");
  // The trailer says where the index starts; read from there to the end.
  std::string trailer = ReadAt(self, size - payload::kTrailerSize, payload::kTrailerSize);
  std::uint64_t indexStart = 0;
  if (trailer.compare(0, 8, payload::kMagic, 8) == 0)
    for (int i = 7; i >= 0; --i) indexStart = (indexStart << 8) | static_cast<unsigned char>(trailer[16 + static_cast<size_t>(i)]);
  if (indexStart > size - payload::kTrailerSize) indexStart = size - payload::kTrailerSize;
  payload::Index ix = payload::ReadIndex(ReadAt(self, indexStart, size - indexStart), size);

  // Every entry is unpacked and checked once before the first file is
  // written, so a damaged archive leaves the folder as it was.
  for (const payload::Entry& e : ix.Entries) payload::Unpack(e, ReadAt(self, ix.ArchiveStart + e.Offset, e.PackedSize));

  for (const payload::Entry& e : ix.Entries) {
    std::string data = payload::Unpack(e, ReadAt(self, ix.ArchiveStart + e.Offset, e.PackedSize));
    // Names use '/' between folders; each folder is made as it is reached.
    std::string target = folder;
    for (size_t at = 0;;) {
      size_t next = e.Name.find('/', at);
      target = os::path::Join(target, e.Name.substr(at, next == std::string::npos ? std::string::npos : next - at));
      if (next == std::string::npos) break;
      if (!sys.DirectoryExists(target))
        if (os::Status made = sys.CreateFolder(target); !made && !sys.DirectoryExists(target))
          throw std::runtime_error("cannot create the folder " + target + ": " + Why(made));
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
