// PayloadTest - the payload program: a built payload unpacks into its own folder; damaged,
// truncated and unsafe archives are refused without touching the files.
#include "PayloadArchive.h"
#include "TestHosts.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <fstream>

namespace fs = std::filesystem;

namespace {

const std::string kSamplePayload = SAMPLE_PAYLOAD;

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream f(fs::u8path(path), std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Runs Program without parameters; its standard error goes to ErrText.
int RunProgram(const std::string& program, std::string& errText) {
  std::string err = program + ".stderr";
  std::string cmd = "\"" + program + "\" 2>\"" + err + "\"";
#ifdef _WIN32
  cmd = "\"" + cmd + "\""; // cmd /c strips the outer quotes
#endif
  int rc = std::system(cmd.c_str());
#ifndef _WIN32
  rc = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
#endif
  errText = ReadFileBytes(err);
  fs::remove(fs::u8path(err));
  return rc;
}

std::string Le(std::uint64_t v, int bytes) {
  std::string s;
  for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

// An archive written independently of the builder, for names and layouts
// the builder would never produce.
std::string Archive(const std::vector<std::pair<std::string, std::string>>& files, std::size_t stubSize) {
  std::string data, index;
  for (const auto& [name, raw] : files) {
    uLongf len = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(len, '\0');
    compress(reinterpret_cast<Bytef*>(packed.data()), &len, reinterpret_cast<const Bytef*>(raw.data()),
             static_cast<uLong>(raw.size()));
    packed.resize(len);
    index += Le(name.size(), 2) + name + Le(raw.size(), 8) + Le(packed.size(), 8) + Le(data.size(), 8) +
             Le(payload::Crc32(raw), 4);
    data += packed;
  }
  return data + index + std::string(payload::kMagic, 8) + Le(stubSize, 8) + Le(stubSize + data.size(), 8) +
         Le(files.size(), 4) + Le(payload::Crc32(index), 4);
}

// The extractor program itself: the sample payload up to its archive.
std::string ExtractorBytes() {
  std::string all = ReadFileBytes(kSamplePayload);
  std::uint64_t start = 0;
  for (int i = 7; i >= 0; --i)
    start = (start << 8) | static_cast<unsigned char>(all[all.size() - 24 + static_cast<size_t>(i)]);
  return all.substr(0, static_cast<size_t>(start));
}

std::string ProgramName() {
#ifdef _WIN32
  return "payload.exe";
#else
  return "payload";
#endif
}

} // namespace

TEST(PayloadNames, OnlyNamesInsideTheFolderAreSafe) {
  const std::pair<const char*, bool> cases[] = {
      {"a.txt", true}, {"sub/dir/a.txt", true}, {"данные.txt", true}, {"..a", true}, {"a..", false},
      {"", false}, {"/etc/passwd", false}, {"../a", false}, {"sub/../../a", false}, {"a/..", false},
      {"./a", false}, {"a//b", false}, {"a/", false}, {"C:/a", false}, {"C:a", false}, {"a\\..\\b", false},
      {"\\\\server\\share", false}, {"a\tb", false}, {"a:stream", false},
  };
  for (auto [name, safe] : cases) EXPECT_EQ(payload::IsSafeEntryName(name), safe) << name;
}

// Windows opens a device, not a file, for these names in any folder, with
// any extension and in any letter case; it drops a final dot or blank, so
// "CON." and "CON .txt" are the console too, and "a." would be written as "a".
TEST(PayloadNames, WindowsDeviceNamesAreRefusedLikeOtherHostileNames) {
  const std::pair<const char*, bool> cases[] = {
      {"CON", false}, {"con", false}, {"Nul.txt", false}, {"sub/aux.tar.gz", false}, {"PRN", false},
      {"COM1", false}, {"com9.log", false}, {"LPT1", false}, {"lpt5.dat/x", false}, {"COM\xC2\xB9", false},
      {"LPT\xC2\xB3.txt", false}, {"CONIN$", false}, {"conout$.x", false}, {"CON.", false}, {"CON .txt", false},
      {"nul ", false}, {"a.", false}, {"dir./a", false}, {"a ", false},
      {"CONSOLE.txt", true}, {"COM10", true}, {"LPT", true}, {"com", true}, {"xNUL", true}, {"NULx.txt", true},
      {"sub/CONFIG.SYS", true}, {"a.NUL", true}, {".nul", true}, {"a b.txt", true},
  };
  for (auto [name, safe] : cases) EXPECT_EQ(payload::IsSafeEntryName(name), safe) << name;
}

TEST(PayloadProgram, UnpacksEveryFileIntoItsOwnFolderReplacingOldOnes) {
  TempDir dir;
  const std::string prog = dir.File(ProgramName());
  fs::copy_file(fs::u8path(kSamplePayload), fs::u8path(prog));
  WriteBytes(dir.File("readme.txt"), "an older, longer version of the file that is replaced");
  fs::permissions(fs::u8path(dir.File("readme.txt")), fs::perms::owner_read, fs::perm_options::replace);

  std::string err;
  ASSERT_EQ(RunProgram(prog, err), 0) << err;
  EXPECT_EQ(err, "");
  for (const char* name : {"readme.txt", "empty.dat", "sub/dir/data.bin", "данные.txt"}) {
    std::string expected = ReadFileBytes(std::string(SAMPLE_FOLDER) + "/" + name);
    std::string local = name;
    for (char& c : local)
      if (c == '/') c = os::path::Delim();
    EXPECT_EQ(ReadFileBytes(dir.File(local)), expected) << name;
  }
  for (const auto& e : fs::recursive_directory_iterator(fs::u8path(dir.Path())))
    EXPECT_NE(e.path().extension(), ".partial") << "temporary file left: " << e.path();
  // Running it again gives the same files.
  ASSERT_EQ(RunProgram(prog, err), 0) << err;
}

TEST(PayloadProgram, RefusesDamagedTruncatedAndUnsafeArchives) {
  const std::string good = ReadFileBytes(kSamplePayload);
  const std::string stub = ExtractorBytes();
  ASSERT_LT(stub.size(), good.size());
  struct Case {
    const char* What;
    std::string Program;
    const char* Message;
  } cases[] = {
      {"no archive at all", stub, "no payload archive"},
      {"truncated in the middle", good.substr(0, stub.size() + (good.size() - stub.size()) / 2), "no payload archive"},
      {"truncated trailer", good.substr(0, good.size() - 5), "no payload archive"},
      {"damaged data", [&] { std::string s = good; s[stub.size() + 40] ^= 0x5A; return s; }(), "damaged"},
      {"damaged index", [&] { std::string s = good; s[s.size() - 40] ^= 0x01; return s; }(), "index checksum"},
      {"climbs out of its folder", stub + Archive({{"ok.txt", "fine"}, {"../escaped.txt", "evil"}}, stub.size()),
       "unsafe file name: ../escaped.txt"},
      {"absolute name", stub + Archive({{"/tmp/absolute.txt", "evil"}}, stub.size()), "unsafe file name"},
      {"a Windows device", stub + Archive({{"ok.txt", "fine"}, {"sub/NUL.txt", "evil"}}, stub.size()),
       "unsafe file name: sub/NUL.txt"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    fs::create_directory(fs::u8path(dir.File("inner")));
    const std::string prog = dir.File("inner") + os::path::Delim() + ProgramName();
    WriteBytes(prog, c.Program);
    fs::permissions(fs::u8path(prog), fs::perms::owner_all, fs::perm_options::add);
    std::string err;
    EXPECT_NE(RunProgram(prog, err), 0) << c.What;
    EXPECT_NE(err.find(c.Message), std::string::npos) << c.What << ": " << err;
    // Nothing was written: the index is checked before the first file.
    std::size_t files = 0;
    for (const auto& e : fs::recursive_directory_iterator(fs::u8path(dir.Path()))) files += e.is_regular_file();
    EXPECT_EQ(files, 1u) << c.What;
  }
}

TEST(PayloadProgram, TheUpdatersPayloadsDeliverTheirFiles) {
  struct Case {
    const char* Payload;
    std::vector<std::string> Files;
  } cases[] = {
      {SERVER_PAYLOAD,
       {"udf_trans_p$2_l$0.fpd", "QRX_ROUND_UDF.dll", "QRX_UDF.dll", "qrx_udf_date.dll", "QRX_UDF_Str.dll",
        "QRX_UDF_u8.dll", "script.sql", "Splash.bmp", "Logo.bmp", "Report_Header.bmp", "Label_Frame.bmp",
        "Toolbar.bmp", "About.bmp"}},
      {TAMBER_PAYLOAD, {"Tamber.exe", "clr"}},
      {ZAVUDAVADA_PAYLOAD, {"Zavudavada.exe", "clr"}},
  };
  if (std::string(UDF_LIBRARY_NAME) != "") cases[0].Files.push_back(UDF_LIBRARY_NAME);
  for (const Case& c : cases) {
    TempDir dir;
    const std::string prog = dir.File(ProgramName());
    fs::copy_file(fs::u8path(c.Payload), fs::u8path(prog));
    std::string err;
    ASSERT_EQ(RunProgram(prog, err), 0) << c.Payload << ": " << err;
    for (const std::string& f : c.Files) EXPECT_TRUE(fs::exists(fs::u8path(dir.File(f)))) << c.Payload << ": " << f;
  }
}
