// uChoiceFolder - the shell's folder browser (see uChoiceFolder.h).
#include "uChoiceFolder.h"

#include "os/OsLayer.h"
#include "os/WindowsSupport.h"

#include <shlobj.h>

#include <vector>

namespace {

using os::win::Narrow;
using os::win::Widen;

// What the shell hands out has an owner: an interface gives itself back
// with Release(), an item id list goes back to the COM task allocator the
// shell took it from.
template <typename Interface>
struct ComInterfaceTraits {
  using Type = Interface*;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type p) { return p != nullptr; }
  static void Close(Type p) { p->Release(); }
};
struct ItemIdListTraits {
  using Type = LPITEMIDLIST;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type p) { return p != nullptr; }
  static void Close(Type p) { CoTaskMemFree(p); }
};
using ScopedShellFolder = os::win::ScopedResource<ComInterfaceTraits<IShellFolder>>;
using ScopedItemIdList = os::win::ScopedResource<ItemIdListTraits>;

// Once the browser is up, it is asked to select the start folder.
int CALLBACK BrowseCallback(HWND Browser, UINT Message, LPARAM, LPARAM Data) {
  if (Message == BFFM_INITIALIZED) SendMessageW(Browser, BFFM_SETSELECTIONW, TRUE, Data);
  return 0;
}

// Disables the enabled, visible windows of this thread while the browser is
// up and enables them again when the object goes, whatever the way out.
class DisabledThreadWindows {
public:
  DisabledThreadWindows() {
    EnumThreadWindows(GetCurrentThreadId(), &Collect, reinterpret_cast<LPARAM>(&windows_));
    for (HWND w : windows_) EnableWindow(w, FALSE);
  }
  ~DisabledThreadWindows() {
    for (HWND w : windows_) EnableWindow(w, TRUE);
  }
  DisabledThreadWindows(const DisabledThreadWindows&) = delete;
  DisabledThreadWindows& operator=(const DisabledThreadWindows&) = delete;

private:
  static BOOL CALLBACK Collect(HWND w, LPARAM list) {
    if (IsWindowVisible(w) && IsWindowEnabled(w)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(w);
    return TRUE;
  }
  std::vector<HWND> windows_;
};

// A critical error (a drive without a disk) fails quietly instead of
// showing the system's box, until the object goes.
class QuietCriticalErrors {
public:
  QuietCriticalErrors() : previous_(SetErrorMode(SEM_FAILCRITICALERRORS)) {}
  ~QuietCriticalErrors() { SetErrorMode(previous_); }
  QuietCriticalErrors(const QuietCriticalErrors&) = delete;
  QuietCriticalErrors& operator=(const QuietCriticalErrors&) = delete;

private:
  UINT previous_;
};

// The main window of this thread: the browser's owner.
BOOL CALLBACK FindMainWindow(HWND w, LPARAM out) {
  if (GetWindow(w, GW_OWNER) == nullptr && IsWindowVisible(w)) {
    *reinterpret_cast<HWND*>(out) = w;
    return FALSE;
  }
  return TRUE;
}

HWND MainWindowOfThread() {
  HWND found = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), &FindMainWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

} // namespace

bool ChooseFolder(const std::string& Caption, const std::string& Root, std::string& Folder) {
  if (!Folder.empty() && !os::Sys().DirectoryExists(Folder)) Folder.clear();

  ScopedItemIdList rootItem;
  if (!Root.empty()) {
    ScopedShellFolder desktop;
    if (SUCCEEDED(SHGetDesktopFolder(desktop.Receive())) && desktop.Valid()) {
      std::wstring root = Widen(Root);
      desktop.Get()->ParseDisplayName(nullptr, nullptr, root.data(), nullptr, rootItem.Receive(), nullptr);
    }
  }

  wchar_t buffer[MAX_PATH] = {};
  const std::wstring title = Widen(Caption);
  const std::wstring start = Widen(Folder);
  BROWSEINFOW request{};
  request.hwndOwner = MainWindowOfThread();
  request.pidlRoot = rootItem.Get();
  request.pszDisplayName = buffer;
  request.lpszTitle = title.c_str();
  request.ulFlags = BIF_RETURNONLYFSDIRS;
  if (!start.empty()) {
    request.lpfn = &BrowseCallback;
    request.lParam = reinterpret_cast<LPARAM>(start.c_str());
  }

  ScopedItemIdList chosen;
  {
    DisabledThreadWindows disabled;
    QuietCriticalErrors quiet;
    chosen = ScopedItemIdList(SHBrowseForFolderW(&request));
  }

  if (!chosen.Valid() || !SHGetPathFromIDListW(chosen.Get(), buffer)) return false;
  Folder = Narrow(buffer, wcslen(buffer));
  return true;
}
