// uGdi - owners of the window's GDI objects, device contexts and menus.
// Each one releases what it holds when it goes; copying is deleted and
// moving hands the object over, so a new font or brush replaces the old one
// by assignment, and the old one is deleted only then.
#pragma once

#include "os/WindowsSupport.h"

#include <utility>

// Fonts, brushes and bitmaps: CreateFontIndirect, CreateSolidBrush,
// CreatePatternBrush, CreateDIBitmap; DeleteObject releases them. A GDI
// object must not be deleted while a control or a menu still uses it: replace
// it there first, then let its owner go.
template <typename Object>
struct GdiObjectTraits {
  using Type = Object;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { DeleteObject(h); }
};
using ScopedFont = os::win::ScopedResource<GdiObjectTraits<HFONT>>;
using ScopedBrush = os::win::ScopedResource<GdiObjectTraits<HBRUSH>>;
using ScopedBitmap = os::win::ScopedResource<GdiObjectTraits<HBITMAP>>;

// A menu that no window owns yet (CreateMenu, CreatePopupMenu). Once a window
// or a menu takes it, Release() hands it over: a window destroys its menu,
// and a menu its submenus.
struct MenuTraits {
  using Type = HMENU;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { DestroyMenu(h); }
};
using ScopedMenu = os::win::ScopedResource<MenuTraits>;

// A memory device context (CreateCompatibleDC), deleted with DeleteDC.
struct MemoryDCTraits {
  using Type = HDC;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { DeleteDC(h); }
};
using ScopedMemoryDC = os::win::ScopedResource<MemoryDCTraits>;

// An object selected into a device context for the life of this owner; the
// object selected before comes back when it goes.
class ScopedSelection {
public:
  ScopedSelection(HDC Dc, HGDIOBJ Object) : dc_(Dc), previous_(SelectObject(Dc, Object)) {}
  ~ScopedSelection() {
    if (previous_) SelectObject(dc_, previous_);
  }
  ScopedSelection(const ScopedSelection&) = delete;
  ScopedSelection& operator=(const ScopedSelection&) = delete;

private:
  HDC dc_;
  HGDIOBJ previous_;
};

// The device context of a window (nullptr: the screen) from GetDC, given
// back with ReleaseDC to the same window.
class ScopedDC {
public:
  explicit ScopedDC(HWND Window) : window_(Window), dc_(GetDC(Window)) {}
  ~ScopedDC() { Reset(); }
  ScopedDC(const ScopedDC&) = delete;
  ScopedDC& operator=(const ScopedDC&) = delete;
  ScopedDC(ScopedDC&& o) noexcept : window_(o.window_), dc_(std::exchange(o.dc_, nullptr)) {}
  ScopedDC& operator=(ScopedDC&& o) noexcept {
    if (this != &o) {
      Reset();
      window_ = o.window_;
      dc_ = std::exchange(o.dc_, nullptr);
    }
    return *this;
  }
  bool Valid() const { return dc_ != nullptr; }
  HDC Get() const { return dc_; }
  void Reset() {
    if (dc_) ReleaseDC(window_, std::exchange(dc_, nullptr));
  }

private:
  HWND window_ = nullptr;
  HDC dc_ = nullptr;
};
