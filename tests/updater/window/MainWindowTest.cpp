// MainWindowTest - the updater program's main window, driven from outside as
// a user drives it: the real Updater_Tamber.exe runs in a folder of its own on the virtual
// desktop that window-test.sh starts; the test finds its window and
// controls, reads their texts, sends menu commands and button clicks, and
// answers the program's message boxes.
//
// Texts are compared with the message catalog and the window's translation
// table, loaded here in the language the program starts in.
#include <gtest/gtest.h>

#include "Pictures.h"
#include "TestHosts.h"
#include "uLDM.h"
#include "uLangTable.h"
#include "uMainIds.h"

#include "os/WindowsSupport.h"

#include <commctrl.h>
#include <tlhelp32.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using os::win::Narrow;
using os::win::Widen;

//--- The desktop the program runs on ----------------------------------------------

// window-test.sh names the virtual desktop in WINDOW_TEST_DESKTOP; the test's
// thread joins it, so that it sees the program's windows.
struct TestDesktop {
  std::wstring Name;
  TestDesktop() {
    wchar_t name[256] = {};
    if (!GetEnvironmentVariableW(L"WINDOW_TEST_DESKTOP", name, 256)) return;
    Name = name;
    for (int i = 0; i < 150; ++i) {
      if (HDESK d = OpenDesktopW(name, 0, FALSE, GENERIC_ALL)) {
        Joined = SetThreadDesktop(d) != FALSE;
        return;
      }
      Sleep(100);
    }
    // Now and then the virtual desktop does not come up. A plain desktop of
    // that name serves as well; only closing windows takes longer there.
    std::fprintf(stderr, "note: no virtual desktop; the tests run on a plain one\n");
    if (HDESK d = CreateDesktopW(name, nullptr, nullptr, 0, GENERIC_ALL, nullptr)) Joined = SetThreadDesktop(d) != FALSE;
  }
  bool Joined = false;
};
const TestDesktop& Desktop() {
  static TestDesktop desktop;
  return desktop;
}

//--- Waiting and reading windows ----------------------------------------------------

bool WaitFor(const std::function<bool()>& Condition, DWORD Milliseconds = 30000) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (Condition()) return true;
    if (GetTickCount() - start > Milliseconds) return false;
    Sleep(50);
  }
}

// A window's text. The program's thread may just have come back from a long
// wait, which the system takes for a hang: the call waits for it all the same.
std::string TextOf(HWND Window) {
  std::vector<wchar_t> buffer(65536);
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(Window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                           SMTO_NORMAL, 10000, &length))
    return "<no answer>";
  return Narrow(buffer.data(), length);
}

std::string ClassOf(HWND Window) {
  wchar_t name[256];
  const int n = GetClassNameW(Window, name, 256);
  return Narrow(name, static_cast<size_t>(n));
}

// The window's rectangle in its parent's client coordinates.
RECT RectInParent(HWND Window) {
  RECT r;
  GetWindowRect(Window, &r);
  MapWindowPoints(nullptr, GetParent(Window), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// CR LF for every line break, as multi-line boxes hold them.
std::string WithCrLf(const std::string& Text) {
  std::string out;
  for (size_t i = 0; i < Text.size(); ++i) {
    if (Text[i] == '\r' || Text[i] == '\n') {
      out += "\r\n";
      if (Text[i] == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
    } else {
      out += Text[i];
    }
  }
  return out;
}

// The whole content of a file, or "<missing>"; the path is opened as it is,
// whatever letters it holds.
std::string ReadFile(const fs::path& Path) {
  std::ifstream f(Path, std::ios::binary);
  if (!f) return "<missing>";
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}
void WriteFile(const fs::path& Path, const std::string& Data) {
  fs::create_directories(Path.parent_path());
  std::ofstream(Path, std::ios::binary) << Data;
}

//--- The system's DPI ------------------------------------------------------------------

// The DPI the program starts with in this run: WINDOW_TEST_DPI (the runs at
// 120 and 144 DPI set it), else 96.
int TestDpi() {
  wchar_t value[16] = {};
  const int dpi = GetEnvironmentVariableW(L"WINDOW_TEST_DPI", value, 16) ? _wtoi(value) : 0;
  return dpi > 0 ? dpi : 96;
}

// A length of the window's design (made at 96 DPI) at the run's DPI, and
// the extent from Start to Start + Length, as the window scales its edges.
int Scaled(int Length) { return MulDiv(Length, TestDpi(), 96); }
int ScaledExtent(int Start, int Length) { return Scaled(Start + Length) - Scaled(Start); }

// The DPI that programs read when they start (the user's LogPixels): the
// run's while the object lives, 96 again when it goes. Every test sets it,
// so a run that ended half-way at another DPI leaves nothing behind.
class RunDpi {
public:
  RunDpi() { Set(TestDpi()); }
  ~RunDpi() { Set(96); }
  RunDpi(const RunDpi&) = delete;
  RunDpi& operator=(const RunDpi&) = delete;

private:
  static void Set(int Dpi) {
    os::win::ScopedRegKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        key.Receive(), nullptr) != ERROR_SUCCESS)
      return;
    const DWORD value = static_cast<DWORD>(Dpi);
    RegSetValueExW(key.Get(), L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  }
};

//--- The program -----------------------------------------------------------------------

// One run of the program: a copy of it in Folder, started with the
// environment variables of Env added, on the test desktop.
class Updater {
public:
  explicit Updater(const fs::path& Folder, const std::map<std::wstring, std::wstring>& Env = {}) {
    fs::create_directories(Folder);
    exe_ = Folder / "Updater_Tamber.exe";
    fs::copy_file(fs::u8path(UPDATER_EXE), exe_, fs::copy_options::overwrite_existing);

    // The test's environment with Env replacing variables of the same names.
    std::wstring block;
    wchar_t* env = GetEnvironmentStringsW();
    for (const wchar_t* p = env; *p; p += wcslen(p) + 1) {
      std::wstring entry = p;
      const std::wstring name = entry.substr(0, entry.find(L'=', 1));
      bool replaced = false;
      for (const auto& [n, v] : Env) replaced = replaced || _wcsicmp(n.c_str(), name.c_str()) == 0;
      if (!replaced) block += entry + L'\0';
    }
    FreeEnvironmentStringsW(env);
    for (const auto& [n, v] : Env) block += n + L"=" + v + L'\0';
    block += L'\0';

    STARTUPINFOW si{};
    si.cb = sizeof si;
    std::wstring desktop = Desktop().Name;
    if (!desktop.empty()) si.lpDesktop = desktop.data();
    std::wstring command = L"\"" + exe_.wstring() + L"\"";
    if (!CreateProcessW(exe_.wstring().c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                        block.data(), Folder.wstring().c_str(), &si, &process_))
      ADD_FAILURE() << "the program cannot be started: error " << GetLastError();
  }

  ~Updater() {
    if (!process_.hProcess) return;
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
      if (window_) PostMessageW(window_, WM_CLOSE, 0, 0);
      if (WaitForSingleObject(process_.hProcess, 10000) == WAIT_TIMEOUT) {
        TerminateProcess(process_.hProcess, 1);
        // Gone for sure: the next test starts a copy of its own.
        WaitForSingleObject(process_.hProcess, 10000);
      }
    }
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
  }

  Updater(const Updater&) = delete;
  Updater& operator=(const Updater&) = delete;

  // A visible top-level window of the program's process with the class
  // Class, or nullptr.
  HWND VisibleWindow(const wchar_t* Class) {
    HWND w = nullptr;
    while ((w = FindWindowExW(nullptr, w, Class, nullptr))) {
      DWORD pid = 0;
      GetWindowThreadProcessId(w, &pid);
      if (pid == process_.dwProcessId && IsWindowVisible(w)) return w;
    }
    return nullptr;
  }

  // The main window, once it is shown.
  HWND Window() {
    if (window_) return window_;
    WaitFor([&] { return (window_ = VisibleWindow(MAIN_WINDOW_CLASS)) != nullptr; });
    return window_;
  }

  // The control with the identifier Id, at any depth.
  HWND Control(int Id) {
    Search s{Id, nullptr};
    EnumChildWindows(Window(), &FindControl, reinterpret_cast<LPARAM>(&s));
    return s.Found;
  }
  std::string Text(int Id) { return TextOf(Control(Id)); }

  // A menu command or a button click, posted as the system posts them.
  void Command(int Id) { PostMessageW(Window(), WM_COMMAND, MAKEWPARAM(Id, 0), 0); }

  // The program's visible message box, or nullptr after Milliseconds.
  HWND Box(DWORD Milliseconds = 30000) {
    HWND found = nullptr;
    WaitFor([&] { return (found = VisibleWindow(L"#32770")) != nullptr; }, Milliseconds);
    return found;
  }
  // Every visible box of the program.
  std::vector<HWND> Boxes() {
    std::vector<HWND> found;
    HWND w = nullptr;
    while ((w = FindWindowExW(nullptr, w, L"#32770", nullptr))) {
      DWORD pid = 0;
      GetWindowThreadProcessId(w, &pid);
      if (pid == process_.dwProcessId && IsWindowVisible(w)) found.push_back(w);
    }
    return found;
  }
  // The texts of the visible boxes, for a failure message.
  std::string BoxTexts() {
    std::string texts = "the program's boxes:";
    for (HWND box : Boxes()) texts += "\n" + BoxText(box);
    return texts;
  }
  // The program's visible box saying Text, or nullptr after Milliseconds.
  HWND BoxSaying(const std::string& Text, DWORD Milliseconds = 30000) {
    HWND found = nullptr;
    WaitFor(
        [&] {
          for (HWND box : Boxes())
            if (WithCrLf(BoxText(box)) == WithCrLf(Text)) found = box;
          return found != nullptr;
        },
        Milliseconds);
    return found;
  }
  // The message of a box (its static text has the id 0xFFFF).
  static std::string BoxText(HWND Box) { return TextOf(GetDlgItem(Box, 0xFFFF)); }
  // Presses a button of the box (IDOK, IDYES, IDNO) and waits until it is gone.
  static void Answer(HWND Box, int Button) {
    PostMessageW(GetDlgItem(Box, Button), BM_CLICK, 0, 0);
    WaitFor([&] { return !IsWindow(Box) || !IsWindowVisible(Box); }, 10000);
  }

  // The password box's text. The system does not give it to other programs
  // while the box hides its characters, so they are shown for the moment.
  std::string Password() {
    HWND box = Control(IDC_E_PASSWORD);
    SendMessageW(box, EM_SETPASSWORDCHAR, 0, 0);
    std::string text = TextOf(box);
    SendMessageW(box, EM_SETPASSWORDCHAR, L'*', 0);
    return text;
  }

  bool Exited(DWORD Milliseconds) { return WaitForSingleObject(process_.hProcess, Milliseconds) == WAIT_OBJECT_0; }
  DWORD ExitCode() {
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process_.hProcess, &code);
    return code;
  }

  // The keyboard: the control with the focus on the program's thread, the
  // focus put on a control as the dialog manager puts it, and keys posted
  // as the system posts them to the focus.
  HWND Focus() {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(process_.dwThreadId, &info) ? info.hwndFocus : nullptr;
  }
  void FocusOn(int Id) { SendMessageW(Window(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Control(Id)), TRUE); }
  static void Key(HWND Target, WPARAM Key) {
    PostMessageW(Target, WM_KEYDOWN, Key, 1);
    // A key is held for a moment: a push button takes the mouse capture on
    // Space down, and Wine needs a moment for that before it can release it.
    Sleep(200);
    PostMessageW(Target, WM_KEYUP, Key, 1 | (1u << 30) | (1u << 31));
  }
  // Alt with Letter, as TranslateMessage gives it to the focus.
  static void AltKey(HWND Target, wchar_t Letter) { PostMessageW(Target, WM_SYSCHAR, Letter, 1 | (1u << 29)); }

  // The run log files the program wrote beside itself.
  std::vector<fs::path> LogFiles() const {
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(exe_.parent_path() / "Logs", ec)) files.push_back(e.path());
    return files;
  }

private:
  struct Search {
    int Id;
    HWND Found;
  };
  static BOOL CALLBACK FindControl(HWND w, LPARAM p) {
    auto* s = reinterpret_cast<Search*>(p);
    if (GetDlgCtrlID(w) != s->Id) return TRUE;
    s->Found = w;
    return FALSE;
  }

  fs::path exe_;
  PROCESS_INFORMATION process_{};
  HWND window_ = nullptr;
};

//--- Pictures of the window ---------------------------------------------------------------

// A path as UTF-8, for a message.
std::string Utf8(const fs::path& Path) {
  const std::u8string text = Path.u8string();
  return std::string(text.begin(), text.end());
}

// The rectangle of a control in the picture of the window Window.
RECT InPicture(HWND Window, HWND Control) {
  RECT window, r;
  GetWindowRect(Window, &window);
  GetWindowRect(Control, &r);
  OffsetRect(&r, -window.left, -window.top);
  return r;
}

// Takes a picture of the program's window, keeps it as ARTIFACT_DIR/Name.png
// (with the DPI in the name at another DPI than 96) and compares it with
// the reference picture of that name in REFERENCE_DIR, leaving out the
// controls Masked (their content changes from run to run: times, temporary
// folders, the animation). A picture that differs, or has no reference,
// fails the test; the reference and a picture of the differences are then
// kept beside the new one. WINDOW_TEST_UPDATE_REFERENCES=1 makes the new
// pictures the references instead.
void Screenshot(Updater& updater, const std::string& Shown, const std::vector<int>& Masked = {IDC_M_LOG}) {
  const std::string name = TestDpi() == 96 ? Shown : Shown + "-" + std::to_string(TestDpi()) + "dpi";
  HWND window = updater.Window();
  // The window on top and painted.
  SetForegroundWindow(window);
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Sleep(500);
  RECT frame;
  GetWindowRect(window, &frame);
  const Picture shot = CaptureScreen(frame);
  ASSERT_FALSE(shot.Empty()) << "no picture of the window";
  std::vector<RECT> masks;
  for (int id : Masked) masks.push_back(InPicture(window, updater.Control(id)));

  const fs::path artifacts = fs::u8path(ARTIFACT_DIR);
  fs::create_directories(artifacts);
  const fs::path taken = artifacts / (name + ".png");
  ASSERT_TRUE(WritePng(taken, shot)) << Utf8(taken);
  const fs::path reference = fs::u8path(REFERENCE_DIR) / (name + ".png");
  wchar_t update[4] = {};
  if (GetEnvironmentVariableW(L"WINDOW_TEST_UPDATE_REFERENCES", update, 4) && update[0] == L'1') {
    fs::create_directories(reference.parent_path());
    ASSERT_TRUE(WritePng(reference, WithMasks(shot, masks))) << Utf8(reference);
    return;
  }
  Picture expected;
  if (!ReadPng(reference, expected)) {
    ADD_FAILURE() << "no reference picture " << Utf8(reference) << "; the window looks as in "
                  << Utf8(taken);
    return;
  }
  const Comparison c = Compare(expected, shot, masks);
  // The tolerance is for noise only: a changed word changes more pixels.
  const long allowed = 16 + c.Compared / 5000;
  if (c.SameSize && c.Differing <= allowed) return;
  const fs::path kept = artifacts / (name + ".reference.png"), difference = artifacts / (name + ".diff.png");
  WritePng(kept, expected);
  if (c.SameSize) WritePng(difference, c.Difference);
  ADD_FAILURE() << "the window differs from its reference " << Utf8(reference) << ": "
                << (c.SameSize ? std::to_string(c.Differing) + " of " + std::to_string(c.Compared) + " pixels"
                               : std::to_string(shot.Width) + "x" + std::to_string(shot.Height) + " instead of " +
                                     std::to_string(expected.Width) + "x" + std::to_string(expected.Height))
                << "; see " << Utf8(taken) << ", " << Utf8(kept) << " and " << Utf8(difference);
}

// Keeps a picture of Window as ARTIFACT_DIR/Name.png for a person to look
// at; nothing compares it.
void KeepPicture(HWND Window, const std::string& Name) {
  RECT frame;
  GetWindowRect(Window, &frame);
  fs::create_directories(fs::u8path(ARTIFACT_DIR));
  WritePng(fs::u8path(ARTIFACT_DIR) / (Name + ".png"), CaptureScreen(frame));
}

// Which outcome picture the outcome area shows: the one of the two bitmap
// files (images/Success.bmp and images/Errors.bmp) that the pixels on the
// screen match, or "neither".
std::string OutcomePicture(Updater& updater) {
  HWND image = updater.Control(IDC_IMAGE1);
  RECT area;
  GetWindowRect(image, &area);
  const Picture shown = CaptureScreen(area);
  std::string best = "neither";
  double bestDifference = 16; // a match is closer than this
  for (const char* name : {"Success", "Errors"}) {
    const Picture picture = ReadBmp(fs::u8path(IMAGES_DIR) / (std::string(name) + ".bmp"));
    if (picture.Empty()) return std::string("no ") + name + ".bmp";
    // The control centres the picture; look at every place it could be.
    for (int y = 0; y + picture.Height <= shown.Height; ++y)
      for (int x = 0; x + picture.Width <= shown.Width; ++x) {
        const double d = MeanDifference(
            picture, Crop(shown, RECT{x, y, x + picture.Width, y + picture.Height}));
        if (d < bestDifference) bestDifference = d, best = name;
      }
  }
  return best;
}

// The catalog and the window's translation table, in the language the
// program starts in on this system.
class Texts {
public:
  Texts() : ldm_(host_, BuiltInMessageCatalog()) {
    ldm_.DataModuleCreate();
    sill_.LoadFromStored(BuiltInMainWindowTable());
  }
  int StartLanguage() const { return ldm_.Sil.ActiveLanguage(); }
  void SetLanguage(int Language) { ldm_.SetLanguage(Language); }
  // The caption of a control or menu entry in the translation table.
  std::string Caption(const std::string& Key, int Language) const {
    for (const TLangRow& r : sill_.Rows(TSection::stCaptions))
      if (r.Key == Key) return r.Text(Language);
    return "<no row " + Key + ">";
  }

private:
  RecordingHost host_;
  TLDM ldm_;
  TLangTable sill_{"frmMain", "Sill"};
};

// A fresh folder for the program and an all-users profile folder beside it;
// the programs start at the run's DPI.
class WindowTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (!Desktop().Name.empty()) {
      ASSERT_TRUE(Desktop().Joined) << "the test desktop did not come up";
    }
    program_ = fs::u8path(dir_.Path()) / "program";
    profile_ = fs::u8path(dir_.Path()) / "profile";
    fs::create_directories(profile_);
  }
  std::map<std::wstring, std::wstring> ProfileEnv() const { return {{L"ALLUSERSPROFILE", profile_.wstring()}}; }

  // Chooses Language in the menu and waits until every translated control
  // reads as the table has it; the warning about empty catalog texts, which
  // leaving some languages shows, is answered on the way.
  bool SwitchLanguage(Updater& updater, int Language);

  RunDpi dpi_;
  TempDir dir_;
  fs::path program_, profile_;
  Texts texts_;
};

//--- Start-up --------------------------------------------------------------------------

const char* const kWrittenFiles[] = {"help.chm", "fbclient.dll", "sqlscript.dll"};

TEST_F(WindowTest, StartUpInAnEmptyFolderWritesTheThreeFilesBeforeTheLogAndOpensTheWindow) {
  Updater updater(program_);
  HWND window = updater.Window();
  ASSERT_NE(window, nullptr) << "the main window did not open";
  EXPECT_EQ(TextOf(window), GetMsgText("uMain_FormCreate_1"));

  const std::map<std::string, std::string> builtFrom = {
      {"help.chm", HELP_CHM}, {"fbclient.dll", FBCLIENT_DLL}, {"sqlscript.dll", SQLSCRIPT_DLL}};
  const std::vector<fs::path> logs = updater.LogFiles();
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(fs::file_size(logs[0]), 0u) << "the run log of a start without any work is empty";
  for (const char* name : kWrittenFiles) {
    SCOPED_TRACE(name);
    const fs::path file = program_ / name;
    ASSERT_TRUE(fs::exists(file));
    EXPECT_TRUE(ReadFile(file) == ReadFile(fs::u8path(builtFrom.at(name)))) << "not the embedded file";
    EXPECT_LE(fs::last_write_time(file), fs::last_write_time(logs[0])) << "written after the log file";
  }
}

TEST_F(WindowTest, StartUpLeavesTheThreeFilesThatAreThereUntouched) {
  for (const char* name : kWrittenFiles) WriteFile(program_ / name, std::string("own ") + name);
  Updater updater(program_);
  ASSERT_NE(updater.Window(), nullptr);
  for (const char* name : kWrittenFiles) EXPECT_EQ(ReadFile(program_ / name), std::string("own ") + name);
  EXPECT_EQ(updater.LogFiles().size(), 1u);
}

TEST_F(WindowTest, AFileThatCannotBeWrittenIsShownAndTheRestOfTheStartUpIsSkipped) {
  // A folder where the client library should go cannot be written as a file.
  fs::create_directories(program_ / "fbclient.dll");
  Updater updater(program_);
  HWND box = updater.Box();
  ASSERT_NE(box, nullptr);
  EXPECT_NE(Updater::BoxText(box).find("fbclient.dll"), std::string::npos) << Updater::BoxText(box);
  Updater::Answer(box, IDOK);
  HWND window = updater.Window();
  ASSERT_NE(window, nullptr) << "the window did not open after the error";
  // Written before the failure: help.chm; skipped after it: sqlscript.dll,
  // the catalog caption and the log file.
  EXPECT_TRUE(fs::exists(program_ / "help.chm"));
  EXPECT_FALSE(fs::exists(program_ / "sqlscript.dll"));
  EXPECT_EQ(TextOf(window), "Updater_Tamber");
  EXPECT_TRUE(updater.LogFiles().empty());
}

TEST_F(WindowTest, ALogFolderThatCannotBeCreatedIsShownWithTheFileItWasToHold) {
  // A file where the log folder should be.
  WriteFile(program_ / "Logs", "not a folder");
  Updater updater(program_);
  HWND box = updater.Box();
  ASSERT_NE(box, nullptr);
  const std::string text = Updater::BoxText(box);
  const std::string logs = (program_ / "Logs").string() + "\\";
  // The failed creation and the error hook's own failed entry both name
  // the file.
  const size_t created = text.find("the log file " + logs);
  ASSERT_NE(created, std::string::npos) << text;
  EXPECT_NE(text.find("the log file " + logs, created + 1), std::string::npos) << text;
  EXPECT_EQ(text.find("file  "), std::string::npos) << text;
  Updater::Answer(box, IDOK);
  HWND window = updater.Window();
  ASSERT_NE(window, nullptr) << "the window did not open after the error";
  EXPECT_EQ(TextOf(window), GetMsgText("uMain_FormCreate_1"));
  EXPECT_TRUE(fs::is_regular_file(program_ / "Logs"));
}

TEST_F(WindowTest, ACyrillicProgramFolderAndProfileFolderCarryAClientUpdateThrough) {
  const fs::path program = fs::u8path(dir_.Path()) / fs::u8path("Программа обновления");
  const fs::path profile = fs::u8path(dir_.Path()) / fs::u8path("Общие данные");
  const fs::path root = profile / "NorvelSoft" / "TAMBER_RU";
  WriteFile(root / "Program" / "Tamber.exe", "the old Tamber.exe");
  WriteFile(root / "Resources" / "Logo.bmp", "the old logo");
  Updater updater(program, {{L"ALLUSERSPROFILE", profile.wstring()}});
  ASSERT_NE(updater.Window(), nullptr);
  for (const char* name : kWrittenFiles) EXPECT_TRUE(fs::exists(program / name)) << name;
  ASSERT_EQ(updater.LogFiles().size(), 1u);

  updater.Command(IDM_PROJECT_TAMBER);
  ASSERT_TRUE(WaitFor([&] { return updater.Text(IDC_E_PROGRAM_LOCATION) == Utf8(root); }))
      << updater.Text(IDC_E_PROGRAM_LOCATION);
  updater.Command(IDC_OK_BTN);
  HWND question = updater.Box();
  ASSERT_NE(question, nullptr);
  Updater::Answer(question, IDYES);
  ASSERT_TRUE(WaitFor([&] { return updater.Text(IDC_M_CAPTIONS) == WithCrLf(GetMsgText("uMain_Finished_1")); }, 120000))
      << updater.Text(IDC_M_CAPTIONS) << "\n" << updater.Text(IDC_M_LOG) << "\n" << updater.BoxTexts();
  EXPECT_TRUE(ReadFile(root / "Program" / "Tamber.exe") == ReadFile(fs::u8path(NEW_TAMBER_EXE)))
      << updater.Text(IDC_M_LOG);
  // The log file names the installation as it is spelled.
  EXPECT_NE(ReadFile(updater.LogFiles().at(0)).find(Utf8(root)), std::string::npos);
}

//--- Layout ------------------------------------------------------------------------------

struct ControlLayout {
  int Id;
  const char* Name;
  const char* Class;
  int X, Y, Width, Height; // in the parent's client area; -1: not fixed
  const char* Russian;     // the default caption; nullptr: not compared
};

// Positions and sizes in the parent (the window, a group or the panel), at
// 96 DPI; at another DPI the edges scale with it.
const ControlLayout kControls[] = {
    {IDC_GB_CONNECTION, "gbConnection", "Button", 0, 0, 476, 161, " Подключение  "},
    {IDC_IMG, "Img", "Static", -1, -1, -1, -1, nullptr},
    {IDC_L_PROGRAM_LOCATION, "lProgramLocation", "Static", 8, 17, -1, -1, "Путь к обновляемой программе:"},
    {IDC_E_PROGRAM_LOCATION, "eProgramLocation", "Edit", 8, 32, 430, -1, ""},
    {IDC_BB_PROGRAM_LOCATION, "bbProgramLocation", "Button", 443, 30, 24, 24, "..."},
    {IDC_L_PASSWORD, "lPassword", "Static", 8, 99, -1, -1, "Системный пароль: (требуется при обновлении "},
    {IDC_LABEL1, "Label1", "Static", 8, 111, -1, -1, "сервера; как правило, не редактируется)"},
    {IDC_E_PASSWORD, "ePassword", "Edit", 8, 127, 177, -1, ""},
    {IDC_GB_LOG, "gbLog", "Button", 0, 161, 476, 264, " Лог работы "},
    {IDC_M_LOG, "mLog", "Edit", -1, -1, -1, -1, ""},
    {IDC_BEVEL1, "Bevel1", "Static", 0, 425, 476, 6, nullptr},
    {IDC_P_BTN, "pBtn", "Static", 0, 431, 476, 42, nullptr},
    {IDC_IMAGE1, "Image1", "Static", 0, 0, 49, 42, nullptr},
    {IDC_A_PROGRESS, "aProgress", "SysAnimate32", 0, 0, 41, 41, nullptr},
    {IDC_M_CAPTIONS, "mCaptions", "Edit", 49, 5, 280, 32, ""},
    {IDC_OK_BTN, "OKBtn", "Button", 332, 8, 68, 25, "&Старт"},
    {IDC_CANCEL_BTN, "CancelBtn", "Button", 404, 8, 68, 25, "Выход"},
};

TEST_F(WindowTest, TheWindowAndItsControlsHaveTheirClassesPlacesSizesAndRussianCaptions) {
  Updater updater(program_);
  HWND window = updater.Window();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(SwitchLanguage(updater, Russian_Language));

  RECT client;
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, Scaled(476));
  EXPECT_EQ(client.bottom, Scaled(473));
  const LONG style = GetWindowLongW(window, GWL_STYLE);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME)) << "only the system-menu box, fixed size";
  RECT frame, work;
  GetWindowRect(window, &frame);
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  // Centred on the work area, or at its edge where the window is larger
  // (the run at 144 DPI on a small screen): the caption stays on the screen.
  if (frame.bottom - frame.top <= work.bottom - work.top) {
    EXPECT_NEAR((frame.top + frame.bottom) / 2, (work.top + work.bottom) / 2, 1) << "centred";
  } else {
    EXPECT_EQ(frame.top, work.top) << "the caption is off the screen";
  }
  EXPECT_NEAR((frame.left + frame.right) / 2, (work.left + work.right) / 2, 1) << "centred";

  for (const ControlLayout& c : kControls) {
    SCOPED_TRACE(c.Name);
    HWND w = updater.Control(c.Id);
    ASSERT_NE(w, nullptr);
    EXPECT_STRCASEEQ(ClassOf(w).c_str(), c.Class);
    const RECT r = RectInParent(w);
    if (c.X >= 0) { EXPECT_EQ(r.left, Scaled(c.X)); }
    if (c.Y >= 0) { EXPECT_EQ(r.top, Scaled(c.Y)); }
    if (c.Width >= 0) { EXPECT_EQ(r.right - r.left, ScaledExtent(std::max(c.X, 0), c.Width)); }
    if (c.Height >= 0) { EXPECT_EQ(r.bottom - r.top, ScaledExtent(std::max(c.Y, 0), c.Height)); }
    if (c.Russian) { EXPECT_EQ(TextOf(w), c.Russian); }
  }

  // The state before any project is chosen.
  EXPECT_FALSE(IsWindowEnabled(updater.Control(IDC_E_PROGRAM_LOCATION)));
  EXPECT_FALSE(IsWindowEnabled(updater.Control(IDC_BB_PROGRAM_LOCATION)));
  EXPECT_FALSE(IsWindowVisible(updater.Control(IDC_IMAGE1)));
  EXPECT_FALSE(IsWindowVisible(updater.Control(IDC_A_PROGRESS)));
  EXPECT_EQ(SendMessageW(updater.Control(IDC_E_PASSWORD), EM_GETPASSWORDCHAR, 0, 0), L'*');
  const LONG logStyle = GetWindowLongW(updater.Control(IDC_M_LOG), GWL_STYLE);
  EXPECT_TRUE((logStyle & (ES_MULTILINE | ES_READONLY | WS_VSCROLL | WS_HSCROLL)) ==
              (ES_MULTILINE | ES_READONLY | WS_VSCROLL | WS_HSCROLL));
  EXPECT_FALSE(logStyle & ES_WANTRETURN);
}

//--- Texts that fit ---------------------------------------------------------------------------

// The status area's lines, read from the control itself after a text is
// put in: the lines it breaks the text into, their height and the first
// line's top.
struct StatusLines {
  int Count, Height, Top;
};
StatusLines LinesOf(HWND Captions, const std::string& Text) {
  auto top = [&](int line) {
    const LRESULT index = SendMessageW(Captions, EM_LINEINDEX, line, 0);
    return static_cast<int>(static_cast<short>(HIWORD(SendMessageW(Captions, EM_POSFROMCHAR, index, 0))));
  };
  SendMessageW(Captions, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"A\r\nA"));
  const int height = top(1) - top(0);
  SendMessageW(Captions, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Widen(WithCrLf(Text)).c_str()));
  return {static_cast<int>(SendMessageW(Captions, EM_GETLINECOUNT, 0, 0)), height, top(0)};
}

struct FontTraits {
  using Type = HFONT;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { DeleteObject(h); }
};

// The window's font ("Microsoft Sans Serif", 8 points) at the run's DPI in
// the character set of Language, as the translation table gives it.
os::win::ScopedResource<FontTraits> WindowFont(int Language, bool Bold) {
  LOGFONTW lf{};
  lf.lfHeight = -MulDiv(8, TestDpi(), 72);
  lf.lfWeight = Bold ? FW_BOLD : FW_NORMAL;
  lf.lfCharSet = Language == Russian_Language ? RUSSIAN_CHARSET : ANSI_CHARSET;
  wcscpy(lf.lfFaceName, L"Microsoft Sans Serif");
  return os::win::ScopedResource<FontTraits>(CreateFontIndirectW(&lf));
}

// The size Text needs in Font: wrapped at Width when Width > 0, on one line
// otherwise; an ampersand underlines the next letter, as in the controls.
SIZE Needed(HFONT Font, const std::string& Text, int Width) {
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ previous = SelectObject(dc, Font);
  RECT r{0, 0, Width > 0 ? Width : 10000, 0};
  const std::wstring text = Widen(Text);
  DrawTextW(dc, text.c_str(), -1, &r, DT_CALCRECT | DT_EXPANDTABS | (Width > 0 ? DT_WORDBREAK : DT_SINGLELINE));
  SelectObject(dc, previous);
  DeleteDC(dc);
  return {r.right, r.bottom};
}

TEST_F(WindowTest, EveryTextOfTheStatusAreaLabelsAndButtonsFitsInEveryLanguage) {
  Updater updater(program_);
  ASSERT_NE(updater.Window(), nullptr);
  // What the status area can show: the run going, its three endings, and the
  // run's own notice of a rollback.
  const char* const status[] = {"uMain_OkBtn_2", "uMain_Finished_1", "uMain_Finished_3", "uMain_Finished_4",
                                "uUpdate_UpdateProgramm_43"};
  // The labels wrap within their box; the buttons and the groups' captions
  // keep their text on one line, with room for the frame.
  const struct {
    int Id;
    bool Bold, Wraps;
  } controls[] = {
      {IDC_L_PROGRAM_LOCATION, true, true}, {IDC_L_PASSWORD, true, true}, {IDC_LABEL1, true, true},
      {IDC_OK_BTN, false, false},          {IDC_CANCEL_BTN, false, false}, {IDC_BB_PROGRAM_LOCATION, false, false},
      {IDC_GB_CONNECTION, true, false},    {IDC_GB_LOG, true, false},
  };
  for (int language : {Russian_Language, English_Language, German_Language, French_Language}) {
    SCOPED_TRACE("language " + std::to_string(language));
    ASSERT_TRUE(SwitchLanguage(updater, language));
    texts_.SetLanguage(language);

    HWND captions = updater.Control(IDC_M_CAPTIONS);
    RECT box;
    GetClientRect(captions, &box);
    for (const char* key : status) {
      const StatusLines lines = LinesOf(captions, GetMsgText(key));
      EXPECT_GT(lines.Height, 0);
      EXPECT_LE(lines.Top + lines.Count * lines.Height, box.bottom)
          << key << " needs " << lines.Count << " lines of " << lines.Height << " pixels";
    }
    SetWindowTextW(captions, L"");

    for (const auto& c : controls) {
      HWND control = updater.Control(c.Id);
      const std::string text = updater.Text(c.Id);
      RECT r;
      GetClientRect(control, &r);
      const auto font = WindowFont(language, c.Bold);
      if (c.Wraps) {
        EXPECT_LE(Needed(font.Get(), text, r.right).cy, r.bottom) << text << " wraps beyond its box";
      } else {
        EXPECT_LE(Needed(font.Get(), text, 0).cx + Scaled(6), r.right) << text << " is wider than its control";
      }
    }
  }
}

//--- Languages ---------------------------------------------------------------------------

// The controls whose captions the translation table sets.
const std::pair<int, const char*> kTranslatedControls[] = {
    {IDC_GB_CONNECTION, "gbConnection"}, {IDC_L_PROGRAM_LOCATION, "lProgramLocation"},
    {IDC_BB_PROGRAM_LOCATION, "bbProgramLocation"}, {IDC_L_PASSWORD, "lPassword"},
    {IDC_LABEL1, "Label1"}, {IDC_GB_LOG, "gbLog"}, {IDC_OK_BTN, "OKBtn"}, {IDC_CANCEL_BTN, "CancelBtn"},
};

bool WindowTest::SwitchLanguage(Updater& updater, int Language) {
  updater.Command(IDM_LANGUAGE_BASE + Language);
  return WaitFor([&] {
    if (HWND box = updater.Box(0)) Updater::Answer(box, IDOK);
    for (const auto& [id, name] : kTranslatedControls)
      if (updater.Text(id) != texts_.Caption(name, Language)) return false;
    return true;
  });
}

TEST_F(WindowTest, TheLanguageMenuRelabelsEveryControlAndTheCaptionInEachLanguage) {
  Updater updater(program_);
  ASSERT_NE(updater.Window(), nullptr);
  // At start-up the controls read in the system's language.
  for (const auto& [id, name] : kTranslatedControls)
    EXPECT_EQ(updater.Text(id), texts_.Caption(name, texts_.StartLanguage())) << name << " at start-up";

  // Each language in turn, the one the program started in last: choosing the
  // active language again changes nothing.
  std::vector<std::pair<int, const char*>> languages = {
      {Russian_Language, "russian"}, {English_Language, "english"}, {German_Language, "german"},
      {French_Language, "french"}};
  std::stable_partition(languages.begin(), languages.end(),
                        [&](const auto& l) { return l.first != texts_.StartLanguage(); });
  for (const auto& [language, file] : languages) {
    SCOPED_TRACE(file);
    ASSERT_TRUE(SwitchLanguage(updater, language));
    for (const auto& [id, name] : kTranslatedControls) EXPECT_EQ(updater.Text(id), texts_.Caption(name, language)) << name;
    EXPECT_EQ(TextOf(updater.Window()), "Updater");
    // At another DPI one language shows how the window scales: German,
    // whose texts are the longest.
    if (TestDpi() == 96 || language == German_Language) Screenshot(updater, std::string("main-window-") + file);
  }
}

// The program takes its start language and its caption from the system's
// locale. Under Wine a started program has the locale of the program that
// starts it, which has the host locale of its environment; the runs under a
// Russian and an English locale (tests/CMakeLists.txt) name the language
// they expect in WINDOW_TEST_SYSTEM_LANGUAGE.
TEST_F(WindowTest, TheCaptionAndTheControlsStartInTheLanguageOfTheSystem) {
  wchar_t expected[16] = {};
  if (GetEnvironmentVariableW(L"WINDOW_TEST_SYSTEM_LANGUAGE", expected, 16)) {
    const int language = std::wstring(expected) == L"russian" ? Russian_Language : English_Language;
    ASSERT_EQ(texts_.StartLanguage(), language)
        << "the system is not in the locale of the run; the host needs it (scripts/install-deps.sh generates it)";
  }
  Updater updater(program_);
  HWND window = updater.Window();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(TextOf(window), GetMsgText("uMain_FormCreate_1"));
  for (const auto& [id, name] : kTranslatedControls)
    EXPECT_EQ(updater.Text(id), texts_.Caption(name, texts_.StartLanguage())) << name;
}

//--- Closing and the keyboard -------------------------------------------------------------

TEST_F(WindowTest, ExitClosingAndEscEndTheProgram) {
  const struct {
    const char* Way;
    std::function<void(Updater&)> Close;
  } ways[] = {
      {"Exit", [](Updater& u) { u.Command(IDC_CANCEL_BTN); }},
      {"the close box", [](Updater& u) { PostMessageW(u.Window(), WM_SYSCOMMAND, SC_CLOSE, 0); }},
      {"WM_CLOSE", [](Updater& u) { PostMessageW(u.Window(), WM_CLOSE, 0, 0); }},
      {"Esc in the password box",
       [](Updater& u) {
         u.FocusOn(IDC_E_PASSWORD);
         Updater::Key(u.Control(IDC_E_PASSWORD), VK_ESCAPE);
       }},
      // A multi-line box closes its parent on Esc: that must be the window,
      // not the group around the log pane.
      {"Esc in the log pane",
       [](Updater& u) {
         u.FocusOn(IDC_M_LOG);
         WaitFor([&] { return u.Focus() == u.Control(IDC_M_LOG); });
         Updater::Key(u.Control(IDC_M_LOG), VK_ESCAPE);
       }},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.Way);
    Updater updater(program_);
    ASSERT_NE(updater.Window(), nullptr);
    way.Close(updater);
    EXPECT_TRUE(updater.Exited(10000));
    EXPECT_EQ(updater.ExitCode(), 0u);
  }
}

TEST_F(WindowTest, TabAltShortcutsEnterAndEscReachTheControlsInsideTheGroups) {
  Updater updater(program_, ProfileEnv());
  ASSERT_NE(updater.Window(), nullptr);
  const int language = texts_.StartLanguage();

  // Alt with the underlined letter of Start presses it: without a project,
  // that is the warning.
  const std::string start = texts_.Caption("OKBtn", language);
  const std::wstring letter = Widen(start.substr(start.find('&') + 1)).substr(0, 1);
  updater.FocusOn(IDC_E_PASSWORD);
  Updater::AltKey(updater.Control(IDC_E_PASSWORD), letter[0]);
  HWND box = updater.BoxSaying(GetMsgText("uMain_OkBtn_1"));
  ASSERT_NE(box, nullptr) << "Alt+" << Narrow(letter) << " did not press Start";
  Updater::Answer(box, IDOK);
  // The focus comes back to where it was when the box opened: on Start,
  // which took it as it was pressed.
  EXPECT_TRUE(WaitFor([&] { return updater.Focus() == updater.Control(IDC_OK_BTN); }));

  // Tab goes through every control that takes the focus, into the groups
  // and the panel and round again.
  updater.Command(IDM_PROJECT_TAMBER);
  ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(updater.Control(IDC_E_PROGRAM_LOCATION)) != FALSE; }));
  updater.FocusOn(IDC_E_PROGRAM_LOCATION);
  for (int next : {IDC_BB_PROGRAM_LOCATION, IDC_E_PASSWORD, IDC_M_LOG, IDC_OK_BTN, IDC_CANCEL_BTN,
                   IDC_E_PROGRAM_LOCATION}) {
    SCOPED_TRACE(next - IDC_MAIN_BASE);
    HWND from = updater.Focus();
    Updater::Key(from, VK_TAB);
    EXPECT_TRUE(WaitFor([&] { return updater.Focus() == updater.Control(next); }, 5000));
  }

  // Enter in a box presses Start, the default button.
  updater.FocusOn(IDC_E_PASSWORD);
  Updater::Key(updater.Control(IDC_E_PASSWORD), VK_RETURN);
  // There is no installation at the location: the run says so.
  box = updater.Box(10000);
  ASSERT_NE(box, nullptr) << "Enter did not press Start";
  EXPECT_NE(updater.Text(IDC_M_LOG).find(GetMsgText("uUpdate_UpdateInit_1")), std::string::npos)
      << updater.Text(IDC_M_LOG);
  Updater::Answer(box, IDOK);
  ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(updater.Control(IDC_P_BTN)) && updater.Boxes().empty(); }));

  // Enter on a push button with the focus presses that one: Exit.
  updater.FocusOn(IDC_CANCEL_BTN);
  ASSERT_TRUE(WaitFor([&] { return updater.Focus() == updater.Control(IDC_CANCEL_BTN); }));
  Updater::Key(updater.Control(IDC_CANCEL_BTN), VK_RETURN);
  EXPECT_TRUE(updater.Exited(10000));
}

//--- Projects ------------------------------------------------------------------------------

TEST_F(WindowTest, EachProjectEntryFillsTheLocationPasswordAndCaptionAndEnablesTheLocation) {
  Updater updater(program_, ProfileEnv());
  ASSERT_NE(updater.Window(), nullptr);
  const struct {
    int Command;
    const char* Folder;
    const char* Name;
  } projects[] = {
      {IDM_PROJECT_ZAVUDAVADA, "NorvelSoft\\ZAVUDAVADA_RU", "Zavudavada"},
      {IDM_PROJECT_TAMBER_MINI, "NorvelSoft\\TAMBER_MINI_RU", "Tamber_Mini"},
      {IDM_PROJECT_TAMBER, "NorvelSoft\\TAMBER_RU", "Tamber"},
  };
  for (const auto& p : projects) {
    SCOPED_TRACE(p.Name);
    // Edits the user made are discarded by the next click.
    SetWindowTextW(updater.Control(IDC_E_PROGRAM_LOCATION), L"C:\\edited");
    const std::string expected = profile_.string() + "\\" + p.Folder;
    updater.Command(p.Command);
    ASSERT_TRUE(WaitFor([&] { return updater.Text(IDC_E_PROGRAM_LOCATION) == expected; }))
        << updater.Text(IDC_E_PROGRAM_LOCATION);
    EXPECT_EQ(updater.Password(), "qelvormask");
    EXPECT_EQ(TextOf(updater.Window()), std::string("Updater ПО КЛУР ГК \"Норвел\": обновление проекта ") + p.Name);
    EXPECT_TRUE(IsWindowEnabled(updater.Control(IDC_E_PROGRAM_LOCATION)));
    EXPECT_TRUE(IsWindowEnabled(updater.Control(IDC_BB_PROGRAM_LOCATION)));
  }
}

TEST_F(WindowTest, AfterALanguageSwitchTheProjectEntryGivesTheProjectCaptionAgain) {
  Updater updater(program_, ProfileEnv());
  ASSERT_NE(updater.Window(), nullptr);
  const std::string tamber = "Updater ПО КЛУР ГК \"Норвел\": обновление проекта Tamber";
  updater.Command(IDM_PROJECT_TAMBER);
  ASSERT_TRUE(WaitFor([&] { return TextOf(updater.Window()) == tamber; }));
  const int other = texts_.StartLanguage() == Russian_Language ? English_Language : Russian_Language;
  ASSERT_TRUE(SwitchLanguage(updater, other));
  EXPECT_EQ(TextOf(updater.Window()), "Updater");
  updater.Command(IDM_PROJECT_TAMBER);
  EXPECT_TRUE(WaitFor([&] { return TextOf(updater.Window()) == tamber; })) << TextOf(updater.Window());
}

TEST_F(WindowTest, StartWithoutAProjectShowsOnlyTheWarning) {
  Updater updater(program_);
  ASSERT_NE(updater.Window(), nullptr);
  updater.Command(IDC_OK_BTN);
  HWND box = updater.Box();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(Updater::BoxText(box), GetMsgText("uMain_OkBtn_1"));
  Updater::Answer(box, IDOK);
  EXPECT_EQ(updater.Box(1000), nullptr) << "a second box";
  EXPECT_EQ(updater.Text(IDC_M_LOG), "");
  EXPECT_EQ(updater.Text(IDC_M_CAPTIONS), "");
  EXPECT_FALSE(IsWindowVisible(updater.Control(IDC_IMAGE1)));
  EXPECT_EQ(fs::file_size(updater.LogFiles().at(0)), 0u);
}

//--- An update through the window -------------------------------------------------------------

// A client-only installation of Tamber below the all-users profile folder.
class ClientOnlyUpdate : public WindowTest {
protected:
  void SetUp() override {
    WindowTest::SetUp();
    root_ = profile_ / "NorvelSoft" / "TAMBER_RU";
    WriteFile(root_ / "Program" / "Tamber.exe", "the old Tamber.exe");
    WriteFile(root_ / "Program" / "grids.ini", "[grids]");
    WriteFile(root_ / "Resources" / "Logo.bmp", "the old logo");
  }
  // Chooses Tamber, presses Start and returns the first question.
  HWND StartTamber(Updater& updater) {
    updater.Command(IDM_PROJECT_TAMBER);
    WaitFor([&] { return !updater.Text(IDC_E_PROGRAM_LOCATION).empty(); });
    updater.Command(IDC_OK_BTN);
    return updater.Box();
  }
  std::string Location() const { return root_.string(); }

  fs::path root_;
};

// The colour of the status text: whether any pixel of the status area on
// the screen has it.
bool StatusAreaShows(HWND Captions, COLORREF Color) {
  RECT r;
  GetWindowRect(Captions, &r);
  HDC screen = GetDC(nullptr);
  bool found = false;
  for (int y = r.top; y < r.bottom && !found; ++y)
    for (int x = r.left; x < r.right && !found; ++x) found = GetPixel(screen, x, y) == Color;
  ReleaseDC(nullptr, screen);
  return found;
}

TEST_F(ClientOnlyUpdate, YesUpdatesTheClientAndShowsSuccessInGreen) {
  Updater updater(program_, ProfileEnv());
  ASSERT_NE(updater.Window(), nullptr);
  HWND question = StartTamber(updater);
  ASSERT_NE(question, nullptr);
  EXPECT_EQ(WithCrLf(Updater::BoxText(question)),
            WithCrLf(GetMsgText("uUpdate_UpdateProgramm_05", Location(), GetMsgText("uUpdate_UpdateProgramm_02"),
                                "TAMBER")));
  Updater::Answer(question, IDYES);

  const std::string finished = WithCrLf(GetMsgText("uMain_Finished_1"));
  ASSERT_TRUE(WaitFor(
      [&] {
        if (HWND box = updater.Box(0)) {
          ADD_FAILURE() << "unexpected box: " << Updater::BoxText(box);
          Updater::Answer(box, IDOK);
        }
        return updater.Text(IDC_M_CAPTIONS) == finished;
      },
      180000))
      << updater.Text(IDC_M_CAPTIONS) << "\n" << updater.Text(IDC_M_LOG);

  // The new client program came out of the program's own client payload.
  EXPECT_TRUE(ReadFile(root_ / "Program" / "Tamber.exe") == ReadFile(fs::u8path(NEW_TAMBER_EXE)));
  EXPECT_TRUE(IsWindowVisible(updater.Control(IDC_IMAGE1)));
  EXPECT_FALSE(IsWindowVisible(updater.Control(IDC_A_PROGRESS)));
  EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(updater.Control(IDC_P_BTN)) != FALSE; }));
  Sleep(300);
  EXPECT_TRUE(StatusAreaShows(updater.Control(IDC_M_CAPTIONS), RGB(0, 128, 0))) << "green";
  EXPECT_FALSE(StatusAreaShows(updater.Control(IDC_M_CAPTIONS), RGB(128, 0, 0))) << "no maroon";
  EXPECT_EQ(OutcomePicture(updater), "Success");
  Screenshot(updater, "main-window-updated", {IDC_M_LOG, IDC_E_PROGRAM_LOCATION});

  // The log pane and the log file end with the success line.
  const std::string pane = updater.Text(IDC_M_LOG);
  const std::string last = GetMsgText("uMain_Finished_2");
  EXPECT_EQ(pane.substr(pane.size() - std::min(pane.size(), last.size())), last);
  const std::string file = ReadFile(updater.LogFiles().at(0));
  EXPECT_EQ(file.substr(file.size() - std::min(file.size(), last.size() + 2)), last + "\r\n");
}

TEST_F(ClientOnlyUpdate, NoAtTheFirstQuestionShowsInterruptedAndNoErrorBox) {
  Updater updater(program_, ProfileEnv());
  ASSERT_NE(updater.Window(), nullptr);
  HWND question = StartTamber(updater);
  ASSERT_NE(question, nullptr);
  // While the run asks, the connection group and the button panel are
  // disabled and the status area says the update is in progress.
  EXPECT_FALSE(IsWindowEnabled(updater.Control(IDC_GB_CONNECTION)));
  EXPECT_FALSE(IsWindowEnabled(updater.Control(IDC_P_BTN)));
  EXPECT_TRUE(IsWindowVisible(updater.Control(IDC_A_PROGRESS)));
  EXPECT_FALSE(IsWindowVisible(updater.Control(IDC_IMAGE1)));
  EXPECT_EQ(updater.Text(IDC_M_CAPTIONS), WithCrLf(GetMsgText("uMain_OkBtn_2")));
  Updater::Answer(question, IDNO);
  ASSERT_TRUE(WaitFor([&] { return updater.Text(IDC_M_CAPTIONS) == WithCrLf(GetMsgText("uMain_Finished_4")); }))
      << updater.Text(IDC_M_CAPTIONS);
  EXPECT_EQ(updater.Box(2000), nullptr) << "an error box after No";
  EXPECT_TRUE(IsWindowVisible(updater.Control(IDC_IMAGE1)));
  Sleep(300);
  EXPECT_TRUE(StatusAreaShows(updater.Control(IDC_M_CAPTIONS), RGB(128, 0, 0))) << "maroon";
  EXPECT_EQ(OutcomePicture(updater), "Errors");
  Screenshot(updater, "main-window-interrupted", {IDC_M_LOG, IDC_E_PROGRAM_LOCATION});
  EXPECT_EQ(ReadFile(root_ / "Program" / "Tamber.exe"), "the old Tamber.exe");
  const std::string file = ReadFile(updater.LogFiles().at(0));
  EXPECT_EQ(file.find(GetMsgText("uUpdate_UpdateProgramm_06")), std::string::npos) << "the abort was logged";
}

// A run of the console's test build on the installation, killed just
// before it writes the K-th record of its journal (as the task manager ends
// a process): the exit code.
DWORD KillConsoleRunAt(int K, const std::string& Location) {
  std::wstring block;
  wchar_t* env = GetEnvironmentStringsW();
  for (const wchar_t* p = env; *p; p += wcslen(p) + 1) block += std::wstring(p) + L'\0';
  FreeEnvironmentStringsW(env);
  block += L"UPDATER_TEST_KILL_AT=" + std::to_wstring(K) + L'\0';
  block += L'\0';
  const std::wstring exe = fs::u8path(CONSOLE_TEST_EXE).wstring();
  std::wstring command = L"\"" + exe + L"\" update --project TAMBER --yes --language 3 --location \"" +
                         fs::u8path(Location).wstring() + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE,
                      CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, block.data(), nullptr, &si, &process))
    return GetLastError();
  DWORD code = 0;
  if (WaitForSingleObject(process.hProcess, 300000) == WAIT_TIMEOUT) TerminateProcess(process.hProcess, 1);
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return code;
}

TEST_F(ClientOnlyUpdate, ARunKilledHalfWayIsPutInOrderWhenStartIsPressedNext) {
  // A client update's journal: run, lock, unlock, grids, copy-back, done.
  // Killed after the lock check (3) and after grids.ini was deleted (5),
  // the run is undone; killed after the program was copied back (6), it
  // is finished.
  struct Case {
    int KillAt;
    bool Forward;
  };
  for (const Case& c : {Case{3, false}, Case{5, false}, Case{6, true}}) {
    SCOPED_TRACE("killed before journal record " + std::to_string(c.KillAt));
    ASSERT_EQ(KillConsoleRunAt(c.KillAt, Location()), 137u);
    const fs::path journal = root_ / "Updater.journal";
    ASSERT_TRUE(fs::exists(journal));
    SCOPED_TRACE("the journal:\n" + ReadFile(journal));

    // A program folder of its own for each case: one log file in it.
    Updater updater(program_ / std::to_string(c.KillAt), ProfileEnv());
    ASSERT_NE(updater.Window(), nullptr);
    HWND question = StartTamber(updater);
    ASSERT_NE(question, nullptr);
    // The window asks before it recovers: the question names the journal.
    const std::string asked = Updater::BoxText(question);
    const std::string opening = GetMsgText("uUpdate_RecoverInstallation_1", "", "");
    EXPECT_EQ(WithCrLf(asked).substr(0, 20), WithCrLf(opening).substr(0, 20)) << asked;
    EXPECT_NE(asked.find("Updater.journal"), std::string::npos) << asked;
    Updater::Answer(question, IDYES);
    // Then the run that was asked for begins with its own question.
    HWND next = updater.Box();
    ASSERT_NE(next, nullptr) << updater.Text(IDC_M_LOG);
    EXPECT_EQ(WithCrLf(Updater::BoxText(next)),
              WithCrLf(GetMsgText("uUpdate_UpdateProgramm_05", Location(), GetMsgText("uUpdate_UpdateProgramm_02"),
                                  "TAMBER")));
    Updater::Answer(next, IDNO);
    ASSERT_TRUE(WaitFor([&] { return updater.Text(IDC_M_CAPTIONS) == WithCrLf(GetMsgText("uMain_Finished_4")); }))
        << updater.Text(IDC_M_CAPTIONS) << "\n" << updater.Text(IDC_M_LOG);

    const std::string log = ReadFile(updater.LogFiles().at(0));
    EXPECT_NE(log.find(GetMsgText(c.Forward ? "uUpdate_RecoverInstallation_5" : "uUpdate_RecoverInstallation_6")),
              std::string::npos)
        << log;
    EXPECT_NE(log.find(GetMsgText("uUpdate_RecoverInstallation_7")), std::string::npos) << log;
    // Whole again: no journal, no folder aside, the program all old or all
    // new, and the user's grids.ini back (a finished update copies it back
    // with the working program folder).
    EXPECT_FALSE(fs::exists(journal));
    EXPECT_FALSE(fs::exists(root_.string() + "_"));
    EXPECT_EQ(ReadFile(root_ / "Program" / "grids.ini"), "[grids]");
    if (c.Forward) {
      EXPECT_TRUE(ReadFile(root_ / "Program" / "Tamber.exe") == ReadFile(fs::u8path(NEW_TAMBER_EXE)));
    } else {
      EXPECT_EQ(ReadFile(root_ / "Program" / "Tamber.exe"), "the old Tamber.exe");
      EXPECT_EQ(ReadFile(root_ / "Resources" / "Logo.bmp"), "the old logo");
    }
    // The next case starts from the installation as it was.
    WriteFile(root_ / "Program" / "Tamber.exe", "the old Tamber.exe");
    WriteFile(root_ / "Program" / "grids.ini", "[grids]");
    WriteFile(root_ / "Resources" / "Logo.bmp", "the old logo");
  }
}

TEST_F(ClientOnlyUpdate, AnErrorBeforeTheMainStageIsLoggedShownAndTheRunEndsInterrupted) {
  // The lock test renames the installation's folder aside and back; a
  // folder of that name already there makes it fail.
  fs::create_directories(root_.string() + "_");
  Updater updater(program_, ProfileEnv());
  ASSERT_NE(updater.Window(), nullptr);
  HWND question = StartTamber(updater);
  ASSERT_NE(question, nullptr);
  Updater::Answer(question, IDYES);

  const std::string message = GetMsgText("uUpdate_UpdateProgramm_33", Location());
  HWND box = updater.Box(60000);
  ASSERT_NE(box, nullptr) << updater.Text(IDC_M_LOG);
  // The message names the refused rename on a line of its own.
  EXPECT_EQ(WithoutCause(WithCrLf(Updater::BoxText(box)), Location()), WithCrLf(message));
  // The outcome is shown before the error box.
  EXPECT_EQ(updater.Text(IDC_M_CAPTIONS), WithCrLf(GetMsgText("uMain_Finished_4")));
  EXPECT_TRUE(IsWindowVisible(updater.Control(IDC_IMAGE1)));
  Updater::Answer(box, IDOK);
  EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(updater.Control(IDC_P_BTN)) != FALSE; }));
  const std::string file = ReadFile(updater.LogFiles().at(0));
  EXPECT_NE(file.find(message), std::string::npos) << "not logged";
  EXPECT_EQ(ReadFile(root_ / "Program" / "Tamber.exe"), "the old Tamber.exe");
}

// The process ids of the running programs named ExeName.
std::vector<DWORD> ProgramIds(const wchar_t* ExeName) {
  std::vector<DWORD> ids;
  os::win::ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry))
    if (_wcsicmp(entry.szExeFile, ExeName) == 0) ids.push_back(entry.th32ProcessID);
  return ids;
}

// Stops every running program named ExeName; whether one was found. The
// updater's KillTask does the same but ends the programs with exit code 0,
// which a run takes for a payload program that finished its work.
bool StopPrograms(const wchar_t* ExeName) {
  bool found = false;
  for (DWORD id : ProgramIds(ExeName)) {
    os::win::ScopedHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, id));
    found = process.Valid() && TerminateProcess(process.Get(), 1);
  }
  return found;
}

// Suspends or resumes every thread of the running programs named ExeName;
// how many programs there were. A suspended payload program keeps the run
// waiting for it as long as the test needs.
int SuspendPrograms(const wchar_t* ExeName, bool Suspend) {
  const std::vector<DWORD> ids = ProgramIds(ExeName);
  if (ids.empty()) return 0;
  os::win::ScopedHandle threads(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  THREADENTRY32 thread{};
  thread.dwSize = sizeof thread;
  for (BOOL more = Thread32First(threads.Get(), &thread); more; more = Thread32Next(threads.Get(), &thread)) {
    if (std::find(ids.begin(), ids.end(), thread.th32OwnerProcessID) == ids.end()) continue;
    os::win::ScopedHandle h(OpenThread(THREAD_SUSPEND_RESUME, FALSE, thread.th32ThreadID));
    if (!h.Valid()) continue;
    if (Suspend) SuspendThread(h.Get());
    else ResumeThread(h.Get());
  }
  return static_cast<int>(ids.size());
}

// Sends the window a message every 200 ms for Milliseconds; how many of them
// it left unanswered for longer than Limit. The limit is generous: a window
// that processes no messages during a wait leaves them unanswered for the
// whole wait.
int SlowAnswers(HWND Window, DWORD Milliseconds, DWORD Limit) {
  int slow = 0;
  const DWORD start = GetTickCount();
  do {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(Window, WM_NULL, 0, 0, SMTO_NORMAL, Limit, &result)) ++slow;
    Sleep(200);
  } while (GetTickCount() - start < Milliseconds);
  return slow;
}

TEST_F(ClientOnlyUpdate, WhileARunAsksStartProjectServiceAndTheFolderChooserAreRefused) {
  Updater updater(program_, ProfileEnv());
  ASSERT_NE(updater.Window(), nullptr);
  // A second copy starts in the language of the system.
  const std::string secondCopy = GetMsgText("uMain_SingleCopy_1");
  // Russian first: leaving it shows no warning about empty texts.
  ASSERT_TRUE(SwitchLanguage(updater, Russian_Language));
  texts_.SetLanguage(Russian_Language);
  updater.Command(IDM_PROJECT_TAMBER);
  ASSERT_TRUE(WaitFor([&] { return !updater.Text(IDC_E_PROGRAM_LOCATION).empty(); }));
  const std::string caption = TextOf(updater.Window());

  // Start from the keyboard: Space on the button with the focus.
  updater.FocusOn(IDC_OK_BTN);
  ASSERT_TRUE(WaitFor([&] { return updater.Focus() == updater.Control(IDC_OK_BTN); }));
  Updater::Key(updater.Control(IDC_OK_BTN), VK_SPACE);
  const std::string question =
      GetMsgText("uUpdate_UpdateProgramm_05", Location(), GetMsgText("uUpdate_UpdateProgramm_02"), "TAMBER");
  HWND box = updater.BoxSaying(question);
  ASSERT_NE(box, nullptr) << updater.BoxTexts();

  // While the question waits for an answer, the commands that could start
  // a second run or change what this one reads come to nothing, whoever
  // sends them: the menu, the buttons, Space on Start.
  for (int command : {IDM_PROJECT_ZAVUDAVADA, IDM_PROJECT_TAMBER_MINI, IDM_OPERATIONS_ONLINE, IDM_OPERATIONS_SHUTDOWN,
                      IDM_OPERATIONS_STOP, IDC_BB_PROGRAM_LOCATION, IDC_OK_BTN})
    updater.Command(command);
  Updater::Key(updater.Control(IDC_OK_BTN), VK_SPACE);
  Sleep(1500);
  EXPECT_EQ(updater.Boxes(), std::vector<HWND>{box}) << "a second box";
  EXPECT_EQ(TextOf(updater.Window()), caption);
  EXPECT_EQ(updater.Text(IDC_E_PROGRAM_LOCATION), Location());
  EXPECT_NE(updater.Focus(), updater.Control(IDC_OK_BTN));

  // Ending the Windows session waits for the run.
  DWORD_PTR endSession = TRUE;
  ASSERT_TRUE(SendMessageTimeoutW(updater.Window(), WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 10000, &endSession));
  EXPECT_EQ(endSession, static_cast<DWORD_PTR>(FALSE));

  // A second copy of the program says that one is running, and ends.
  {
    Updater second(fs::u8path(dir_.Path()) / "second");
    HWND refusal = second.BoxSaying(secondCopy);
    ASSERT_NE(refusal, nullptr);
    Updater::Answer(refusal, IDOK);
    EXPECT_TRUE(second.Exited(10000));
    EXPECT_EQ(second.ExitCode(), 2u);
    EXPECT_FALSE(fs::exists(fs::u8path(dir_.Path()) / "second" / "Logs")) << "the second copy wrote its log";
  }

  // Help and the language menu stay usable.
  updater.Command(IDM_LANGUAGE_BASE + English_Language);
  EXPECT_TRUE(WaitFor([&] { return updater.Text(IDC_OK_BTN) == texts_.Caption("OKBtn", English_Language); }));
  texts_.SetLanguage(English_Language);
  updater.Command(IDM_HELP);
  HWND viewer = nullptr;
  EXPECT_TRUE(WaitFor([&] { return (viewer = FindWindowW(L"HH Parent", nullptr)) != nullptr; }));
  if (viewer) PostMessageW(viewer, WM_CLOSE, 0, 0);

  // The run goes on as answered, and afterwards everything works again.
  Updater::Answer(box, IDNO);
  ASSERT_TRUE(WaitFor([&] { return updater.Text(IDC_M_CAPTIONS) == WithCrLf(GetMsgText("uMain_Finished_4")); }))
      << updater.Text(IDC_M_CAPTIONS) << "\n" << updater.BoxTexts();
  EXPECT_TRUE(WaitFor([&] { return updater.Focus() == updater.Control(IDC_OK_BTN); })) << "the focus is not back";
  ASSERT_TRUE(SendMessageTimeoutW(updater.Window(), WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 10000, &endSession));
  EXPECT_EQ(endSession, static_cast<DWORD_PTR>(TRUE));
  updater.Command(IDM_PROJECT_ZAVUDAVADA);
  EXPECT_TRUE(WaitFor([&] { return TextOf(updater.Window()) != caption; }));
}

TEST_F(ClientOnlyUpdate, WhileThePayloadProgramRunsTheWindowAnswersAndCannotBeClosed) {
  Updater updater(program_, ProfileEnv());
  ASSERT_NE(updater.Window(), nullptr);
  HWND question = StartTamber(updater);
  ASSERT_NE(question, nullptr);
  Updater::Answer(question, IDYES);
  int held = 0;
  const DWORD start = GetTickCount();
  while (!held && GetTickCount() - start < 180000) {
    held = SuspendPrograms(L"files_g.exe", true);
    if (!held && IsWindowEnabled(updater.Control(IDC_P_BTN))) break; // the run has ended
    Sleep(1);
  }
  ASSERT_EQ(held, 1) << "the client payload program was not seen running\n" << updater.Text(IDC_M_LOG);
  struct Resume {
    ~Resume() { SuspendPrograms(L"files_g.exe", false); }
  } resume;

  // Longer than the five seconds after which the system takes a window
  // that processes no messages for hung.
  EXPECT_EQ(SlowAnswers(updater.Window(), 6000, 3000), 0);
  EXPECT_FALSE(IsHungAppWindow(updater.Window()));
  EXPECT_FALSE(IsWindowEnabled(updater.Control(IDC_P_BTN)));
  EXPECT_NE(updater.Focus(), updater.Control(IDC_OK_BTN));
  // Greyed Project and Service menus, the disabled controls, the status.
  Screenshot(updater, "main-window-busy", {IDC_M_LOG, IDC_E_PROGRAM_LOCATION, IDC_A_PROGRESS});

  // Closing the window is refused with a notice, and the run goes on under it.
  PostMessageW(updater.Window(), WM_CLOSE, 0, 0);
  HWND notice = updater.BoxSaying(GetMsgText("uMain_FormCloseQuery_1"));
  ASSERT_NE(notice, nullptr);
  Sleep(300);
  KeepPicture(notice, "busy-notice");
  EXPECT_EQ(SlowAnswers(updater.Window(), 1000, 3000), 0);
  SuspendPrograms(L"files_g.exe", false);
  ASSERT_TRUE(WaitFor([&] { return updater.Text(IDC_M_CAPTIONS) == WithCrLf(GetMsgText("uMain_Finished_1")); }, 120000))
      << updater.Text(IDC_M_CAPTIONS) << "\n" << updater.Text(IDC_M_LOG);
  // The notice goes with the run; the window stays with the outcome.
  EXPECT_TRUE(WaitFor([&] { return !IsWindow(notice); }));
  EXPECT_FALSE(updater.Exited(1000));
  EXPECT_TRUE(ReadFile(root_ / "Program" / "Tamber.exe") == ReadFile(fs::u8path(NEW_TAMBER_EXE)));
}

TEST_F(ClientOnlyUpdate, AFailedMainStageIsRolledBackAndEndsWithErrorsWithoutABox) {
  // The client payload program is stopped while it unpacks, as a program
  // guarding the computer might stop it: the main stage fails.
  Updater updater(program_, ProfileEnv());
  ASSERT_NE(updater.Window(), nullptr);
  HWND question = StartTamber(updater);
  ASSERT_NE(question, nullptr);
  Updater::Answer(question, IDYES);
  const std::string rolledBack = WithCrLf(GetMsgText("uMain_Finished_3"));
  bool stopped = false;
  const DWORD start = GetTickCount();
  while (!stopped && GetTickCount() - start < 180000) {
    stopped = StopPrograms(L"files_g.exe");
    if (!stopped && IsWindowEnabled(updater.Control(IDC_P_BTN))) break; // the run has ended
    Sleep(1);
  }
  ASSERT_TRUE(stopped) << "the client payload program was not seen running\n" << updater.Text(IDC_M_LOG);

  ASSERT_TRUE(WaitFor([&] { return updater.Text(IDC_M_CAPTIONS) == rolledBack; }, 120000))
      << updater.Text(IDC_M_CAPTIONS) << "\n" << updater.Text(IDC_M_LOG);
  EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(updater.Control(IDC_P_BTN)) != FALSE; }));
  EXPECT_EQ(updater.Box(2000), nullptr) << "an error box after the rollback";
  EXPECT_TRUE(IsWindowVisible(updater.Control(IDC_IMAGE1)));
  Sleep(300);
  EXPECT_TRUE(StatusAreaShows(updater.Control(IDC_M_CAPTIONS), RGB(128, 0, 0))) << "maroon";
  EXPECT_EQ(OutcomePicture(updater), "Errors");
  Screenshot(updater, "main-window-rolled-back", {IDC_M_LOG, IDC_E_PROGRAM_LOCATION});

  // The installation is as it was; the run's backup is kept, its working
  // trees are gone.
  EXPECT_EQ(ReadFile(root_ / "Program" / "Tamber.exe"), "the old Tamber.exe");
  EXPECT_EQ(ReadFile(root_ / "Program" / "grids.ini"), "[grids]");
  EXPECT_EQ(ReadFile(root_ / "Resources" / "Logo.bmp"), "the old logo");
  std::vector<fs::path> runs;
  for (const auto& e : fs::directory_iterator(root_))
    if (e.path().filename().string().rfind("Tmp$", 0) == 0) runs.push_back(e.path());
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(ReadFile(runs[0] / "Old" / "Program" / "Tamber.exe"), "the old Tamber.exe");
  EXPECT_FALSE(fs::exists(runs[0] / "New")) << ReadFile(updater.LogFiles().at(0));
  EXPECT_FALSE(fs::exists(runs[0] / "Wrk"));

  // The log says what failed and that the changes were undone, and not that
  // the update succeeded.
  const std::string file = ReadFile(updater.LogFiles().at(0));
  for (const std::string& logged : {GetMsgText("uUpdate_ExtractFilesFromResource_1", "files_g"),
                                    GetMsgText("uUpdate_UpdateProgramm_44"), GetMsgText("uUpdate_UpdateProgramm_45")})
    EXPECT_NE(file.find(logged), std::string::npos) << logged << "\n" << file;
  EXPECT_EQ(file.find(GetMsgText("uMain_Finished_2")), std::string::npos);
}

TEST_F(ClientOnlyUpdate, OnlineAndShutdownFailWithTheirTextsThroughTheErrorBox) {
  const struct {
    int Command;
    const char* Key;
  } commands[] = {{IDM_OPERATIONS_ONLINE, "uUpdate_UpdateOnLine_02"}, {IDM_OPERATIONS_SHUTDOWN, "uUpdate_UpdateShutdown_2"}};
  Updater updater(program_, ProfileEnv());
  ASSERT_NE(updater.Window(), nullptr);
  updater.Command(IDM_PROJECT_TAMBER);
  for (const auto& c : commands) {
    SCOPED_TRACE(c.Key);
    updater.Command(c.Command);
    HWND box = updater.Box();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(WithCrLf(Updater::BoxText(box)), WithCrLf(GetMsgText(c.Key)));
    Updater::Answer(box, IDOK);
    EXPECT_NE(ReadFile(updater.LogFiles().at(0)).find(GetMsgText(c.Key)), std::string::npos) << "not logged";
    EXPECT_TRUE(IsWindowEnabled(updater.Control(IDC_GB_CONNECTION))) << "the controls stay disabled";
  }
}

//--- The folder chooser ----------------------------------------------------------------------

BOOL CALLBACK CollectStaticText(HWND w, LPARAM texts) {
  if (_wcsicmp(Widen(ClassOf(w)).c_str(), L"Static") == 0)
    reinterpret_cast<std::vector<std::string>*>(texts)->push_back(TextOf(w));
  return TRUE;
}

// Texts of the static controls of a window.
std::vector<std::string> StaticTexts(HWND Window) {
  std::vector<std::string> texts;
  EnumChildWindows(Window, &CollectStaticText, reinterpret_cast<LPARAM>(&texts));
  return texts;
}

bool SameFolder(const std::string& a, const std::string& b) { return _wcsicmp(Widen(a).c_str(), Widen(b).c_str()) == 0; }

TEST_F(ClientOnlyUpdate, TheFolderChooserOpensAtTheLocationAndConfirmingPutsTheFolderThere) {
  // A folder near the top of the drive: Wine's browser does not always
  // find its way down to a deep one.
  TempDir shallow("C:\\");
  Updater updater(program_, ProfileEnv());
  ASSERT_NE(updater.Window(), nullptr);
  updater.Command(IDM_PROJECT_TAMBER);
  ASSERT_TRUE(WaitFor([&] { return SameFolder(updater.Text(IDC_E_PROGRAM_LOCATION), Location()); }));
  SetWindowTextW(updater.Control(IDC_E_PROGRAM_LOCATION), Widen(shallow.Path()).c_str());
  updater.Command(IDC_BB_PROGRAM_LOCATION);
  HWND browser = updater.Box();
  ASSERT_NE(browser, nullptr);
  const std::vector<std::string> texts = StaticTexts(browser);
  EXPECT_NE(std::find(texts.begin(), texts.end(), GetMsgText("uMain_ProgramLocation_1")), texts.end());
  EXPECT_FALSE(IsWindowEnabled(updater.Window())) << "the main window stays usable under the browser";
  // Confirmed as it opened: with the location selected. The selection is
  // made once the browser is up; it is there when the tree's selected item
  // lies below the tree's top.
  HWND tree = FindWindowExW(browser, nullptr, WC_TREEVIEWW, nullptr);
  ASSERT_NE(tree, nullptr);
  EXPECT_TRUE(WaitFor([&] {
    const LRESULT item = SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0);
    return item && SendMessageW(tree, TVM_GETNEXTITEM, TVGN_PARENT, item);
  }));
  SetWindowTextW(updater.Control(IDC_E_PROGRAM_LOCATION), L"");
  Updater::Answer(browser, IDOK);
  ASSERT_TRUE(WaitFor([&] { return !updater.Text(IDC_E_PROGRAM_LOCATION).empty(); }));
  EXPECT_TRUE(SameFolder(updater.Text(IDC_E_PROGRAM_LOCATION), shallow.Path())) << updater.Text(IDC_E_PROGRAM_LOCATION);
  EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(updater.Window()) != FALSE; }));
}

TEST_F(ClientOnlyUpdate, CancellingTheFolderChooserKeepsTheLocation) {
  Updater updater(program_, ProfileEnv());
  ASSERT_NE(updater.Window(), nullptr);
  updater.Command(IDM_PROJECT_TAMBER);
  ASSERT_TRUE(WaitFor([&] { return !updater.Text(IDC_E_PROGRAM_LOCATION).empty(); }));
  const char* const locations[] = {"C:\\no such folder\\anywhere", ""};
  for (const char* location : locations) {
    SCOPED_TRACE(location);
    SetWindowTextW(updater.Control(IDC_E_PROGRAM_LOCATION), Widen(location).c_str());
    updater.Command(IDC_BB_PROGRAM_LOCATION);
    HWND browser = updater.Box();
    ASSERT_NE(browser, nullptr);
    Updater::Answer(browser, IDCANCEL);
    EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(updater.Window()) != FALSE; }));
    EXPECT_EQ(updater.Text(IDC_E_PROGRAM_LOCATION), location);
  }
}

//--- Help -----------------------------------------------------------------------------------

TEST_F(WindowTest, HelpOpensTheHelpViewer) {
  Updater updater(program_);
  ASSERT_NE(updater.Window(), nullptr);
  updater.Command(IDM_HELP);
  HWND viewer = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (viewer = FindWindowW(L"HH Parent", nullptr)) != nullptr; }))
      << "no help viewer window";
  // The viewer has the program's help open: its window bears the title of
  // the help project. The viewer reads the title in the system's code page,
  // not in the help file's (Russian), so only its Latin beginning, up to
  // the dash, is the same everywhere.
  std::string title;
  std::ifstream project(fs::u8path(HELP_PROJECT));
  for (std::string line; std::getline(project, line);)
    if (line.rfind("Title=", 0) == 0) title = line.substr(6, line.find(" \xE2\x80\x94") - 6);
  ASSERT_FALSE(title.empty());
  EXPECT_TRUE(WaitFor([&] { return TextOf(viewer).rfind(title + " ", 0) == 0; }, 10000)) << TextOf(viewer);
  DWORD pid = 0;
  GetWindowThreadProcessId(viewer, &pid);
  PostMessageW(viewer, WM_CLOSE, 0, 0);
  if (HANDLE p = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid)) {
    if (WaitForSingleObject(p, 10000) == WAIT_TIMEOUT) TerminateProcess(p, 1);
    CloseHandle(p);
  }
}

//--- A damaged server registration ------------------------------------------------------------

// The maker's server service registered with a command line that names no
// known server program; removed again when the test ends.
class DamagedServerRegistration : public WindowTest {
protected:
  static constexpr const wchar_t* kKey = L"SYSTEM\\CurrentControlSet\\Services\\NorvelRaruRIvizServer";
  void SetUp() override {
    WindowTest::SetUp();
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kKey);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::wstring image = L"C:\\Firebird\\bin\\unknown.exe";
    RegSetValueExW(key, L"ImagePath", 0, REG_SZ, reinterpret_cast<const BYTE*>(image.c_str()),
                   static_cast<DWORD>((image.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
  void TearDown() override { RegDeleteTreeW(HKEY_LOCAL_MACHINE, kKey); }
};

TEST_F(DamagedServerRegistration, StartUpShowsTheErrorWithTheAdviceAndStillOpensTheWindow) {
  Updater updater(program_);
  HWND box = updater.Box();
  ASSERT_NE(box, nullptr) << "no error box at start-up";
  const std::string expected = std::string("Тип сервера FireBird определить не удалось.\r") +
                               GetMsgText("uMain_FormCreate_2");
  EXPECT_EQ(WithCrLf(Updater::BoxText(box)), WithCrLf(expected));
  Updater::Answer(box, IDOK);

  HWND window = updater.Window();
  ASSERT_NE(window, nullptr) << "the window did not open after the error";
  EXPECT_EQ(TextOf(window), GetMsgText("uMain_FormCreate_1"));
  EXPECT_NE(ReadFile(updater.LogFiles().at(0)).find(expected), std::string::npos) << "not logged";

  // Without a server description the service commands fail with their own
  // messages, and the refused call of the service control manager on a line
  // of its own.
  const struct {
    int Command;
    const char* Message;
  } commands[] = {
      {IDM_OPERATIONS_START, "Невозможно запустить службу сервера FireBird. Попробуйте перезагрузить компьютер и "
                             "снова запустить приложение."},
      {IDM_OPERATIONS_STOP, "Невозможно остановить службу сервера FireBird. Попробуйте перезагрузить компьютер и "
                            "снова запустить приложение."},
  };
  for (const auto& c : commands) {
    SCOPED_TRACE(c.Command - IDM_MAIN_BASE);
    updater.Command(c.Command);
    HWND error = updater.Box(90000);
    ASSERT_NE(error, nullptr);
    const std::string text = Updater::BoxText(error);
    EXPECT_EQ(text.substr(0, text.find('\r')), c.Message);
    EXPECT_EQ(text.substr(text.find('\r') + 1, 13), "\nOpenServiceW") << text;
    Updater::Answer(error, IDOK);
  }
}

//--- The maker's server service ---------------------------------------------------------------

// The test service program registered as the maker's server service, its
// program lying in the "bin" folder of a server folder as the maker's server
// program; unregistered again when the test ends.
class MakerServerService : public WindowTest {
protected:
  static constexpr const wchar_t* kName = L"NorvelRaruRIvizServer";
  void SetUp() override {
    WindowTest::SetUp();
    Remove();
    const fs::path server = fs::u8path(dir_.Path()) / "Firebird" / "bin" / "FBSRVVSKR.EXE";
    fs::create_directories(server.parent_path());
    fs::copy_file(fs::u8path(TEST_SERVICE_EXE), server);
    os::win::ScopedServiceHandle scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    ASSERT_TRUE(scm.Valid()) << GetLastError();
    // Unquoted, as the server folder is read from it up to "\bin\".
    os::win::ScopedServiceHandle svc(CreateServiceW(scm.Get(), kName, kName, SERVICE_ALL_ACCESS,
                                                    SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                                    SERVICE_ERROR_NORMAL, server.wstring().c_str(), nullptr, nullptr,
                                                    nullptr, nullptr, nullptr));
    ASSERT_TRUE(svc.Valid()) << GetLastError();
  }
  void TearDown() override { Remove(); }

  static DWORD State() {
    os::win::ScopedServiceHandle scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    os::win::ScopedServiceHandle svc(OpenServiceW(scm.Get(), kName, SERVICE_QUERY_STATUS));
    SERVICE_STATUS ss{};
    return svc.Valid() && QueryServiceStatus(svc.Get(), &ss) ? ss.dwCurrentState : 0;
  }

private:
  static void Remove() {
    os::win::ScopedServiceHandle scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    os::win::ScopedServiceHandle svc(OpenServiceW(scm.Get(), kName, SERVICE_ALL_ACCESS));
    if (!svc.Valid()) return;
    SERVICE_STATUS ss{};
    if (ControlService(svc.Get(), SERVICE_CONTROL_STOP, &ss))
      WaitFor([&] { return QueryServiceStatus(svc.Get(), &ss) && ss.dwCurrentState == SERVICE_STOPPED; }, 10000);
    DeleteService(svc.Get());
  }
};

TEST_F(MakerServerService, TheServiceMenuStartsAndStopsTheServerFoundAtStartUp) {
  Updater updater(program_);
  ASSERT_NE(updater.Window(), nullptr);
  EXPECT_EQ(updater.Box(1000), nullptr) << "the registration was not accepted";

  // Each command waits as the server needs it (about a minute to start,
  // a quarter of a minute to stop) and then says so in a box of its own.
  const struct {
    int Command;
    const char* Message;
    DWORD State;
  } commands[] = {
      {IDM_OPERATIONS_START, "Служба сервера FireBird запущена.", SERVICE_RUNNING},
      {IDM_OPERATIONS_STOP, "Служба сервера FireBird остановлена.", SERVICE_STOPPED},
  };
  for (const auto& c : commands) {
    SCOPED_TRACE(c.Message);
    updater.Command(c.Command);
    // Start is refused while the command goes: without a project it would
    // say so in a box of its own.
    updater.Command(IDC_OK_BTN);
    // The window answers all through the command's waits.
    int slow = 0;
    HWND box = nullptr;
    const DWORD start = GetTickCount();
    while (!(box = updater.Box(0)) && GetTickCount() - start < 180000) slow += SlowAnswers(updater.Window(), 1000, 3000);
    EXPECT_EQ(slow, 0);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(Updater::BoxText(box), c.Message);
    EXPECT_EQ(State(), c.State);
    Updater::Answer(box, IDOK);
    EXPECT_EQ(updater.Box(1000), nullptr) << "a box after the command";
  }
}

} // namespace
