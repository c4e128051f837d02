#pragma once
// Owners of GDI objects, device contexts and menus: each is deleted or destroyed exactly once.
#include <windows.h>

#include "scoped_handle.h"

namespace orv {

struct GdiObjectTraits {
  static HGDIOBJ empty() { return nullptr; }
  static bool valid(HGDIOBJ h) { return h != nullptr; }
  static void close(HGDIOBJ h) { ::DeleteObject(h); }
};
struct MenuTraits {
  static HMENU empty() { return nullptr; }
  static bool valid(HMENU h) { return h != nullptr; }
  static void close(HMENU h) { ::DestroyMenu(h); }
};

// A font, bitmap, brush or pen (DeleteObject); never one selected into a device context.
using ScopedGdiObject = ScopedGeneric<HGDIOBJ, GdiObjectTraits>;
// A loaded menu (DestroyMenu); its submenus go with it.
using ScopedMenu = ScopedGeneric<HMENU, MenuTraits>;

// A window's device context (GetDC on null: the screen's), released when the owner goes.
class ScopedWindowDC {
 public:
  explicit ScopedWindowDC(HWND window) : window_(window), dc_(::GetDC(window)) {}
  ~ScopedWindowDC() {
    if (dc_) ::ReleaseDC(window_, dc_);
  }
  ScopedWindowDC(const ScopedWindowDC&) = delete;
  ScopedWindowDC& operator=(const ScopedWindowDC&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

}  // namespace orv
