// ConsolePasswordTest - the console updater's password: read from a file as
// editors save it, taken out of the environment so that no child program
// inherits it, and what the user is told (never the password).
#include "ConsolePassword.h"
#include "TestHosts.h"
#include "uQrxRout.h"
#include "uUpdate.h"

#ifdef _WIN32
#include "os/WindowsSupport.h"

#include <sddl.h>
#endif

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

void SetVariable(const std::string& name, const std::string& value) {
#ifdef _WIN32
  _wputenv_s(os::win::Widen(name).c_str(), os::win::Widen(value).c_str());
  SetEnvironmentVariableW(os::win::Widen(name).c_str(), os::win::Widen(value).c_str());
#else
  setenv(name.c_str(), value.c_str(), 1);
#endif
}

// What a child program started now finds in its environment for Name.
std::string ChildSees(const std::string& name) {
  TempDir dir;
  ExecAndWait(PROCESS_PROBE, " env " + name + " \"" + dir.File("env.txt") + "\"", 0);
  return ReadFileBytes(dir.File("env.txt"));
}

// Writes a file only its owner (and, on Windows, the system) may read. Wine
// takes access rights of a file only when it is created.
void WritePrivateFile(const std::string& path, const std::string& bytes) {
#ifdef _WIN32
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  unsigned char user[256];
  DWORD size = 0;
  ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, sizeof user, &size));
  CloseHandle(token);
  wchar_t* sid = nullptr;
  ASSERT_TRUE(ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &sid));
  const std::wstring sddl = L"D:P(A;;FA;;;" + std::wstring(sid) + L")(A;;FA;;;SY)";
  LocalFree(sid);
  PSECURITY_DESCRIPTOR sd = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &sd, nullptr));
  SECURITY_ATTRIBUTES sa{sizeof sa, sd, FALSE};
  HANDLE h = CreateFileW(os::win::Widen(path).c_str(), GENERIC_WRITE, 0, &sa, CREATE_ALWAYS, 0, nullptr);
  LocalFree(sd);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
#else
  ASSERT_TRUE(os::Sys().WriteFile(path, bytes, false));
  fs::permissions(fs::u8path(path), fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace);
#endif
}

} // namespace

TEST(PasswordFile, TheFirstLineWithoutTheMarksEditorsAdd) {
  const std::pair<std::string, std::string> cases[] = {
      {"qelvormask", "qelvormask"},
      {"qelvormask\n", "qelvormask"},
      {"qelvormask\r\n", "qelvormask"},              // saved by a Windows editor
      {"qelvormask\rsecond", "qelvormask"},          // a lone CR ends the line too
      {"\xEF\xBB\xBFqelvormask\r\n", "qelvormask"},  // UTF-8 with its byte-order mark
      {"\xEF\xBB\xBF\xD0\xBF\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C\n", "пароль"},
      {std::string("\xFF\xFE\x3F\x04\x30\x04\x40\x04\x3E\x04\x3B\x04\x4C\x04\r\0\n\0", 18), "пароль"}, // UTF-16LE
      {std::string("\xFE\xFF\0p\0w\xD8\x3D\xDE\x00\0\n", 12), "pw\xF0\x9F\x98\x80"},                   // UTF-16BE
      {" pass word \nsecond line", " pass word "},   // blanks belong to it
      {"\xEF\xBB\xBF", ""},
      {"\n", ""},
  };
  for (const auto& [bytes, password] : cases) EXPECT_EQ(PasswordFromFileBytes(bytes), password) << bytes;
}

// The variable is gone from the environment once read, whichever source
// wins: a program started afterwards does not see it.
TEST(ConsolePassword, TheVariableReachesNoChildProgram) {
  TempDir dir;
  SetVariable(kPasswordVariable, "from the environment");
  ASSERT_EQ(ChildSees(kPasswordVariable), std::string(kPasswordVariable) + "=from the environment")
      << "a child inherits what is left in the environment";
  TConsolePassword p = ConsolePassword("");
  EXPECT_EQ(p.Password, "from the environment");
  EXPECT_EQ(p.Warning, "");
  EXPECT_EQ(std::getenv(kPasswordVariable), nullptr);
  EXPECT_EQ(ChildSees(kPasswordVariable), std::string(kPasswordVariable) + " unset");
#ifndef _WIN32
  // Nor does the process show it any more where others look.
  EXPECT_EQ(ReadFileBytes("/proc/self/environ").find("from the environment"), std::string::npos);
#endif

  WritePrivateFile(dir.File("pw"), "from the file\r\n");
  SetVariable(kPasswordVariable, "from the environment");
  p = ConsolePassword(dir.File("pw"));
  EXPECT_EQ(p.Password, "from the file");
  EXPECT_EQ(p.Warning, "");
  EXPECT_EQ(ChildSees(kPasswordVariable), std::string(kPasswordVariable) + " unset");
}

TEST(ConsolePassword, TellsTheUserOnceWithoutThePassword) {
  TempDir dir;
  const std::string file = dir.File("pw");
  struct Case {
    const char* What;
    std::string File;
    const char* Variable; // nullptr: unset
    std::string Password, Warning, Error;
  } cases[] = {
      {"no file, no variable: the default, said so", "", nullptr, kDefaultSysPassword,
       "no password given (--password-file or UPDATER_PASSWORD): the default system password is used", ""},
      {"an empty variable counts as none", "", "", kDefaultSysPassword,
       "no password given (--password-file or UPDATER_PASSWORD): the default system password is used", ""},
      {"a file others can read", file, nullptr, "secret",
       "the password file " + file + " can be read by other users; make it readable by you (and the administrators) alone",
       ""},
      {"a file that cannot be read", dir.File("none"), "x", "", "", "cannot read the password file " + dir.File("none")},
  };
  ASSERT_TRUE(os::Sys().WriteFile(file, "secret\n", false));
#ifndef _WIN32
  fs::permissions(fs::u8path(file), fs::perms::others_read, fs::perm_options::add);
#endif
  for (const Case& c : cases) {
    if (c.Variable) SetVariable(kPasswordVariable, c.Variable);
    const TConsolePassword p = ConsolePassword(c.File);
    EXPECT_EQ(p.Password, c.Password) << c.What;
    EXPECT_EQ(p.Warning, c.Warning) << c.What;
    EXPECT_EQ(p.Error, c.Error) << c.What;
    EXPECT_EQ(std::getenv(kPasswordVariable), nullptr) << c.What;
  }
}
