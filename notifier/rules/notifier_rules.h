#pragma once
// The tray notifier's decisions that need no window: the "-t" option, where the tray menu opens,
// the toast's text rectangle, the About box's version line and the core host's path. No Windows
// headers, so the rules are checked natively too.
#include <string>
#include <vector>

namespace orv::notifier {

// "-t" in any place after the program (token 0), compared exactly: "-T" and "/t" do not count.
bool hasQuitOption(const std::vector<std::wstring>& tokens);

// The question "UserConfirmCmd" asks, and the event that carries an answer: yes for OK, no for
// anything else (Cancel, the close box).
extern const wchar_t kUserConfirmText[];
const wchar_t* confirmEventName(bool yes);

// The balloon "UpdatePopCmd" shows, and how long it stays.
extern const wchar_t kUpdateBalloonText[];
constexpr unsigned kUpdateBalloonTimeoutMs = 10000;

// The pop-up menu opens one pixel right of and below the pointer.
struct MenuPoint {
  int x;
  int y;
};
MenuPoint trayMenuPosition(int cursorX, int cursorY);

// The toast's text rectangle for a skin of the given size (0 by 0 when it could not be loaded).
struct TextRect {
  int left;
  int top;
  int right;
  int bottom;
};
TextRect toastTextRect(int skinWidth, int skinHeight);

// The About box's texts: the product line, "版本号：" + version, and the fixed two lines.
extern const wchar_t kAboutProductText[];
extern const wchar_t kAboutFixedText[];
std::wstring aboutVersionLine(const std::wstring& version);

// The core host's program path in a folder that ends in "\", and the same path quoted for a
// command line, so that a folder with blanks cannot start a shorter program path.
std::wstring coreHostPath(const std::wstring& programFolder);
std::wstring quotedCoreHostPath(const std::wstring& programFolder);

}  // namespace orv::notifier
