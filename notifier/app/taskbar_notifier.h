#pragma once
// CTaskbarNotifier: the toast window. The notifier creates one at start-up as a hidden popup of
// its main dialog, with its check box, skin, font, colour and text rectangle; it is never shown.
#include <windows.h>

#include "notifier_rules.h"
#include "scoped_gdi.h"

namespace orv::notifier {

class CTaskbarNotifier {
 public:
  // The check box's control id and caption.
  static constexpr int kCheckBoxId = 800800;
  static const wchar_t kCheckBoxText[];
  static const wchar_t kClassName[];

  CTaskbarNotifier() = default;
  ~CTaskbarNotifier();
  CTaskbarNotifier(const CTaskbarNotifier&) = delete;
  CTaskbarNotifier& operator=(const CTaskbarNotifier&) = delete;

  // Registers the class and creates the hidden window under `parent`, then loads the skin, the
  // font and the text colour. A skin that cannot be loaded leaves its size 0. False when the
  // window could not be created.
  bool Create(HWND parent);

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  void LoadSkin();
  void CreateTextFont();

  HWND hwnd_ = nullptr;
  HWND checkBox_ = nullptr;
  orv::ScopedGdiObject skin_;
  orv::ScopedGdiObject font_;
  int skinWidth_ = 0;
  int skinHeight_ = 0;
  COLORREF textColor_ = 0;
  TextRect textRect_ = {0, 0, 0, 0};
};

}  // namespace orv::notifier
