// WindowWaitsTest - the waits of a busy window (uMainWaits.h) through the
// real system: a wait lasts at least as long as asked, the messages that
// arrive meanwhile are processed before it returns, and a call moved to a
// thread of its own gives the result the plain call gives.
#include <gtest/gtest.h>

#include "uMainWaits.h"

#include "os/WindowsSupport.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;

// A window of the test's thread that counts the WM_APP messages it gets,
// and a pump that processes what waits for the thread, as the main window's
// does.
class Messages {
public:
  Messages() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &Messages::Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"WindowWaitsTest";
    RegisterClassW(&wc);
    window_ = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~Messages() { DestroyWindow(window_); }
  Messages(const Messages&) = delete;
  Messages& operator=(const Messages&) = delete;

  HWND Window() const { return window_; }
  int Processed() const { return processed_; }
  void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }

private:
  static LRESULT CALLBACK Proc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
    if (Message == WM_APP)
      if (auto* self = reinterpret_cast<Messages*>(GetWindowLongPtrW(Window, GWLP_USERDATA))) ++self->processed_;
    return DefWindowProcW(Window, Message, WParam, LParam);
  }
  HWND window_ = nullptr;
  int processed_ = 0;
};

// Posts WM_APP to Window from a thread of its own, every 20 ms, for as long
// as the object lives.
class Poster {
public:
  explicit Poster(HWND Window)
      : thread_([this, Window] {
          while (!stop_) {
            PostMessageW(Window, WM_APP, 0, 0);
            Sleep(20);
          }
        }) {}
  ~Poster() {
    stop_ = true;
    thread_.join();
  }

private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class WindowWaits : public ::testing::Test {
protected:
  Messages messages;
  TWindowWaits waits{[this] { messages.Pump(); }};
};

TEST_F(WindowWaits, ASleepLastsItsTimeAndProcessesTheMessagesMeanwhile) {
  Poster poster(messages.Window());
  const ULONGLONG start = GetTickCount64();
  waits.Sleep(700);
  const ULONGLONG took = GetTickCount64() - start;
  EXPECT_GE(took, 700u) << "a wait may be longer, never shorter";
  EXPECT_GT(messages.Processed(), 0) << "no message was processed during the wait";
}

// The window tests hold a payload program to see the messages processed
// while a process runs; here the result of the wait.
TEST_F(WindowWaits, AProcessWaitGivesTheExitCode) {
  os::ScopedApi use(waits);
  const std::string cmd = os::Sys().SystemFolder() + "\\cmd.exe";
  os::Process child = os::Sys().StartProcess(cmd, " /c exit 7", os::Sys().SystemFolder(), SW_HIDE);
  ASSERT_TRUE(child) << os::Describe(child.Why().Failure());
  EXPECT_EQ(os::Sys().WaitForExit(child), 7u);
}

TEST_F(WindowWaits, ACopyOrMoveOnItsOwnThreadGivesTheResultOfThePlainCall) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const fs::path dir = fs::path(temp) / ("window-waits-" + std::to_string(GetCurrentProcessId()));
  fs::create_directories(dir);
  const std::string source = (dir / "source.bin").string(), copy = (dir / "copy.bin").string(),
                    moved = (dir / "moved.bin").string();
  const std::string data(4 << 20, 'x');
  std::ofstream(source, std::ios::binary) << data;

  EXPECT_TRUE(waits.FileCopy(source, copy, false));
  EXPECT_EQ(fs::file_size(copy), data.size());
  EXPECT_TRUE(waits.FileMove(copy, moved));
  EXPECT_TRUE(fs::exists(moved));
  EXPECT_FALSE(fs::exists(copy));

  // A failure comes back with the failed call and its path.
  const os::Status missing = waits.FileCopy((dir / "missing.bin").string(), copy, false);
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.Failure().Call, os::Api().FileCopy((dir / "missing.bin").string(), copy, false).Failure().Call);
  const os::Status refused = waits.FileMove(source, moved); // an existing target is never replaced
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.Failure().Code, os::Api().FileMove(source, moved).Failure().Code);
  fs::remove_all(dir);
}

} // namespace
