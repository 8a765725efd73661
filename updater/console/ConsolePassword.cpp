// ConsolePassword - the console updater's password (see ConsolePassword.h).
#include "ConsolePassword.h"

#include "os/OsLayer.h"
#include "os/Unicode.h"
#include "uUpdate.h"

#include <cstdint>

namespace {

// UTF-16 bytes (after their mark) as UTF-8; an unpaired surrogate becomes
// U+FFFD, an odd last byte is dropped.
std::string Utf16ToUtf8(const std::string& Bytes, bool BigEndian) {
  auto unit = [&](std::size_t i) -> char32_t {
    const auto a = static_cast<unsigned char>(Bytes[i]), b = static_cast<unsigned char>(Bytes[i + 1]);
    return BigEndian ? (char32_t(a) << 8 | b) : (char32_t(b) << 8 | a);
  };
  std::string out;
  for (std::size_t i = 0; i + 1 < Bytes.size(); i += 2) {
    char32_t cp = unit(i);
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 3 < Bytes.size() && unit(i + 2) >= 0xDC00 && unit(i + 2) <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
      i += 2;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    out += os::EncodeUtf8(cp);
  }
  return out;
}

} // namespace

std::string PasswordFromFileBytes(const std::string& Bytes) {
  std::string text = Bytes;
  if (text.rfind("\xEF\xBB\xBF", 0) == 0)
    text.erase(0, 3);
  else if (text.rfind("\xFF\xFE", 0) == 0)
    text = Utf16ToUtf8(text.substr(2), false);
  else if (text.rfind("\xFE\xFF", 0) == 0)
    text = Utf16ToUtf8(text.substr(2), true);
  return text.substr(0, text.find_first_of("\r\n"));
}

TConsolePassword ConsolePassword(const std::string& PasswordFile) {
  TConsolePassword p;
  std::string fromEnvironment;
  const bool inEnvironment = os::TakeEnvironmentVariable(kPasswordVariable, fromEnvironment);
  if (!PasswordFile.empty()) {
    os::Api& sys = os::Sys();
    std::uint64_t size = 0;
    std::string bytes;
    if (!sys.FileSize(PasswordFile, size) || !sys.ReadFile(PasswordFile, 0, size, bytes) || bytes.empty()) {
      p.Error = "cannot read the password file " + PasswordFile;
      return p;
    }
    p.Password = PasswordFromFileBytes(bytes);
    bool others = false;
    if (sys.ReadableByOthers(PasswordFile, others) && others)
      p.Warning = "the password file " + PasswordFile +
                  " can be read by other users; make it readable by you (and the administrators) alone";
    return p;
  }
  if (inEnvironment && !fromEnvironment.empty()) {
    p.Password = fromEnvironment;
    return p;
  }
  p.Password = kDefaultSysPassword;
  p.Warning = std::string("no password given (--password-file or ") + kPasswordVariable +
              "): the default system password is used";
  return p;
}
