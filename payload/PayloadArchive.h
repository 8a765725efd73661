// PayloadArchive - the archive a payload program carries behind its own code.
//
// A payload program is the extractor followed by the archive:
//
//   extractor | data of entry 1 | ... | data of entry N | index | trailer
//
// All numbers are little-endian. Each entry's data is one zlib stream. The
// index holds per entry: u16 name length, the name (UTF-8, relative, '/'
// between folders), u64 size, u64 packed size, u64 offset of the data from
// the start of the archive, u32 CRC-32 of the unpacked bytes. The trailer is
// the last 32 bytes of the file: the magic "TPAYLD01", u64 offset of the
// archive in the file, u64 offset of the index in the file, u32 number of
// entries, u32 CRC-32 of the index bytes. scripts/payload-build.py writes it.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace payload {

inline constexpr char kMagic[8] = {'T', 'P', 'A', 'Y', 'L', 'D', '0', '1'};
inline constexpr std::size_t kTrailerSize = 32;

struct Entry {
  std::string Name; // relative, '/' between folders
  std::uint64_t Size = 0;
  std::uint64_t PackedSize = 0;
  std::uint64_t Offset = 0; // from the start of the archive
  std::uint32_t Crc = 0;
};

// A damaged, truncated or unsafe archive.
class ArchiveError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// True for a name that stays inside the extraction folder and names a file
// there on every system: relative, no empty, "." or ".." element, no drive,
// no backslash, no control character, no element that ends in a dot or a
// blank, and no element that Windows takes for a device (CON, PRN, AUX, NUL,
// CONIN$, CONOUT$, COM0..COM9, LPT0..LPT9, with any extension).
bool IsSafeEntryName(std::string_view Name);

// Reads the index of an archive from the file's last bytes. Tail holds the
// end of the file (at least index and trailer), FileSize the whole file's
// size. Fails with ArchiveError on anything that does not add up.
struct Index {
  std::uint64_t ArchiveStart = 0;
  std::uint64_t IndexStart = 0;
  std::vector<Entry> Entries;
};
Index ReadIndex(std::string_view Tail, std::uint64_t FileSize);

// Unpacks one entry's data and checks its size and checksum.
std::string Unpack(const Entry& E, std::string_view Packed);

std::uint32_t Crc32(std::string_view Bytes);

} // namespace payload
