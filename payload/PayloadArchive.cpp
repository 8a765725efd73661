// PayloadArchive - reading the payload archive (see PayloadArchive.h).
#include "PayloadArchive.h"

#include <cstring>
#include <zlib.h>

namespace payload {
namespace {

std::uint64_t Get(std::string_view s, std::size_t at, int bytes) {
  std::uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + static_cast<std::size_t>(i)]);
  return v;
}

} // namespace

std::uint32_t Crc32(std::string_view Bytes) {
  uLong crc = crc32(0L, Z_NULL, 0);
  const char* p = Bytes.data();
  std::size_t left = Bytes.size();
  while (left > 0) {
    uInt chunk = left > 0x40000000 ? 0x40000000u : static_cast<uInt>(left);
    crc = crc32(crc, reinterpret_cast<const Bytef*>(p), chunk);
    p += chunk;
    left -= chunk;
  }
  return static_cast<std::uint32_t>(crc);
}

namespace {

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

// Whether Windows takes the name element Part for one of its devices: the
// part before the first dot, without the blanks Windows drops at its end, is
// a device's name in any letter case ("nul.txt", "CON .log", "com1").
bool IsWindowsDeviceName(std::string_view Part) {
  std::string_view base = Part.substr(0, Part.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  for (std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
    if (SameIgnoringAsciiCase(base, device)) return true;
  // COM0..COM9 and LPT0..LPT9, and the superscript digits one to three
  // (U+00B9, U+00B2, U+00B3), which Windows takes as the digits.
  for (std::string_view port : {"COM", "LPT"}) {
    if (base.size() < 4 || !SameIgnoringAsciiCase(base.substr(0, 3), port)) continue;
    const std::string_view digit = base.substr(3);
    if (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9') return true;
    if (digit == "\xC2\xB9" || digit == "\xC2\xB2" || digit == "\xC2\xB3") return true;
  }
  return false;
}

} // namespace

bool IsSafeEntryName(std::string_view Name) {
  if (Name.empty() || Name.size() > 4096 || Name.front() == '/') return false;
  std::size_t start = 0;
  for (;;) {
    std::size_t slash = Name.find('/', start);
    std::string_view part = Name.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
    if (part.empty() || part == "." || part == "..") return false;
    for (char c : part)
      if (static_cast<unsigned char>(c) < 0x20 || c == '\\' || c == ':' || c == 0x7F) return false;
    // Windows writes a name with a final dot or blank under another name.
    if (part.back() == '.' || part.back() == ' ' || IsWindowsDeviceName(part)) return false;
    if (slash == std::string_view::npos) return true;
    start = slash + 1;
  }
}

Index ReadIndex(std::string_view Tail, std::uint64_t FileSize) {
  if (Tail.size() < kTrailerSize || FileSize < Tail.size())
    throw ArchiveError("the file holds no payload archive (it is too short)");
  std::string_view trailer = Tail.substr(Tail.size() - kTrailerSize);
  if (std::memcmp(trailer.data(), kMagic, sizeof kMagic) != 0)
    throw ArchiveError("the file holds no payload archive (no archive trailer at its end)");
  Index ix;
  ix.ArchiveStart = Get(trailer, 8, 8);
  ix.IndexStart = Get(trailer, 16, 8);
  std::uint32_t count = static_cast<std::uint32_t>(Get(trailer, 24, 4));
  std::uint32_t indexCrc = static_cast<std::uint32_t>(Get(trailer, 28, 4));
  const std::uint64_t indexEnd = FileSize - kTrailerSize;
  const std::uint64_t tailStart = FileSize - Tail.size();
  if (ix.ArchiveStart > ix.IndexStart || ix.IndexStart > indexEnd || ix.IndexStart < tailStart)
    throw ArchiveError("the payload archive is damaged or truncated (bad index position)");
  std::string_view index = Tail.substr(static_cast<std::size_t>(ix.IndexStart - tailStart),
                                       static_cast<std::size_t>(indexEnd - ix.IndexStart));
  if (Crc32(index) != indexCrc) throw ArchiveError("the payload archive is damaged (index checksum mismatch)");

  std::size_t at = 0;
  const std::uint64_t dataSize = ix.IndexStart - ix.ArchiveStart;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (index.size() - at < 2) throw ArchiveError("the payload archive is damaged (index too short)");
    std::size_t nameLen = static_cast<std::size_t>(Get(index, at, 2));
    at += 2;
    if (index.size() - at < nameLen + 28) throw ArchiveError("the payload archive is damaged (index too short)");
    Entry e;
    e.Name = std::string(index.substr(at, nameLen));
    at += nameLen;
    e.Size = Get(index, at, 8);
    e.PackedSize = Get(index, at + 8, 8);
    e.Offset = Get(index, at + 16, 8);
    e.Crc = static_cast<std::uint32_t>(Get(index, at + 24, 4));
    at += 28;
    if (!IsSafeEntryName(e.Name))
      throw ArchiveError("the payload archive holds an unsafe file name: " + e.Name);
    if (e.Offset > dataSize || e.PackedSize > dataSize - e.Offset)
      throw ArchiveError("the payload archive is damaged or truncated (data of " + e.Name + " out of bounds)");
    ix.Entries.push_back(std::move(e));
  }
  if (at != index.size()) throw ArchiveError("the payload archive is damaged (index longer than its entries)");
  return ix;
}

std::string Unpack(const Entry& E, std::string_view Packed) {
  // Sizes above what this process can hold are refused before allocating.
  if (E.Size > (std::uint64_t{1} << 40) || E.Size > std::string().max_size())
    throw ArchiveError("the payload archive is damaged (impossible size of " + E.Name + ")");
  std::string out(static_cast<std::size_t>(E.Size), '\0');
  z_stream z{};
  if (inflateInit(&z) != Z_OK) throw ArchiveError("cannot start unpacking " + E.Name);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Packed.data()));
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  std::size_t inLeft = Packed.size(), outLeft = out.size();
  int rc = Z_OK;
  // One spare byte of output shows data longer than announced.
  char spare = 0;
  bool spareUsed = false;
  while (rc == Z_OK) {
    if (z.avail_in == 0 && inLeft > 0) {
      z.avail_in = inLeft > 0x40000000 ? 0x40000000u : static_cast<uInt>(inLeft);
      inLeft -= z.avail_in;
    }
    if (z.avail_out == 0) {
      if (outLeft > 0) {
        z.avail_out = outLeft > 0x40000000 ? 0x40000000u : static_cast<uInt>(outLeft);
        outLeft -= z.avail_out;
      } else if (!spareUsed) {
        z.next_out = reinterpret_cast<Bytef*>(&spare);
        z.avail_out = 1;
        spareUsed = true;
      }
    }
    rc = inflate(&z, Z_NO_FLUSH);
    if (rc == Z_BUF_ERROR && z.avail_in == 0 && inLeft == 0) break; // input ended early
  }
  bool ended = rc == Z_STREAM_END;
  bool exact = ended && z.total_out == E.Size;
  inflateEnd(&z);
  if (!ended) throw ArchiveError("the payload archive is damaged or truncated (data of " + E.Name + ")");
  if (!exact) throw ArchiveError("the payload archive is damaged (size of " + E.Name + " differs)");
  if (Crc32(out) != E.Crc) throw ArchiveError("the payload archive is damaged (checksum of " + E.Name + " differs)");
  return out;
}

} // namespace payload
