// ConsoleUpdateTest - Updater_Console.exe updates the same kind of
// installation under Wine as the window does, with the exit codes it gives
// natively: 1 for an update the server refuses before anything is changed,
// 0 for a whole update. It finds the server in the registry and loads the
// client the administrator names, the one in the server's bin folder.
#include "E2ESupport.h"

#include "TestHosts.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace e2e;

// Runs the console in Folder with Arguments; its exit code, what it wrote
// in Output.
DWORD RunConsole(const fs::path& Folder, const std::wstring& Arguments, std::string& Output) {
  const fs::path out = Folder / "output.txt";
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  os::win::ScopedHandle file(CreateFileW(out.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                         CREATE_ALWAYS, 0, nullptr));
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = nullptr;
  si.hStdOutput = file.Get();
  si.hStdError = file.Get();
  const fs::path exe = Folder / "Updater_Console.exe";
  std::wstring command = L"\"" + exe.wstring() + L"\" " + Arguments;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(exe.wstring().c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                      Folder.wstring().c_str(), &si, &pi)) {
    ADD_FAILURE() << "the console cannot be started: error " << GetLastError();
    return 0xFFFFFFFF;
  }
  WaitForSingleObject(pi.hProcess, 900000);
  DWORD code = 0xFFFFFFFF;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  file.Reset();
  Output = ReadFile(out);
  return code;
}

TEST(ConsoleUpdate, ExitsWithOneWhenTheServerRefusesAndWithZeroAfterAWholeUpdate) {
  TempDir dir;
  FirebirdInstance server;
  ASSERT_TRUE(server.Ready());
  const fs::path console = fs::u8path(dir.Path()) / "console";
  fs::create_directories(console);
  fs::copy_file(fs::u8path(CONSOLE_EXE), console / "Updater_Console.exe");
  fs::copy_file(fs::u8path(SQLSCRIPT_DLL), console / "sqlscript.dll");
  const fs::path root = fs::u8path(dir.Path()) / "TAMBER_RU";
  ASSERT_EQ(MakeInstallation(root), "");
  const fs::path db = root / "DB_Data" / "Tamber.fdb";
  const std::wstring common = L"update --project TAMBER --location \"" + root.wstring() +
                              L"\" --yes --language 3 --client-lib \"" +
                              os::win::Widen(FirebirdInstance::Root()) + L"bin\\fbclient.dll\"";
  std::string output;

  // A wrong password: the server refuses the first connection.
  WriteFile(console / "password", "wrong\n");
  EXPECT_EQ(RunConsole(console, common + L" --password-file \"" + (console / "password").wstring() + L"\"", output), 1u)
      << output;
  EXPECT_NE(output.find("Your user name and password are not defined"), std::string::npos) << output;
  EXPECT_EQ(output.find("wrong"), std::string::npos) << "the password is never shown";
  EXPECT_EQ(QueryValue(db, "select version_no || '.' || release_no from project_info;"), "106.1");
  for (const auto& e : fs::directory_iterator(root))
    EXPECT_NE(e.path().filename().string().rfind("Tmp$", 0), 0u) << "nothing is changed: " << e.path().string();

  // The whole update.
  EXPECT_EQ(RunConsole(console, common, output), 0u) << output;
  EXPECT_NE(output.find("The updating passed successfully"), std::string::npos) << output;
  EXPECT_EQ(QueryValue(db, "select version_no || '.' || release_no from project_info;"), "107.0");
  EXPECT_EQ(QueryValue(db, "select mon$shutdown_mode from mon$database;"), "0") << "online";
  EXPECT_TRUE(ReadFile(root / "Program" / "Tamber.exe") == ReadFile(fs::u8path(NEW_TAMBER_EXE)));
}

} // namespace
