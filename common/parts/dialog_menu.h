#pragma once
// What the programs' dialogs share around their About box: the system-menu item, the About box
// itself, and the icon a minimised dialog paints.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace orv {

// Appends a separator and `command` with the text of string resource `textId` of the program to
// the dialog's system menu; nothing when the string is missing or empty.
void addAboutMenuItem(HWND dialog, UINT textId, UINT command);

// Runs the About box of dialog template `templateId` modally over `owner`, centred as
// centreWindow() places it, with each control of `texts` (control id, text) set when it opens.
// OK and Cancel close it.
using AboutTexts = std::vector<std::pair<int, std::wstring>>;
void showAboutBox(HWND owner, UINT templateId, const AboutTexts& texts);

// Centres `window` over `owner` when the owner is shown, else in the work area of the monitor
// (the notifier's owner is hidden, of no size, at the screen's corner); kept inside that
// monitor's work area.
void centreWindow(HWND window, HWND owner);

// Paints `icon` centred in the client area of a minimised dialog (its WM_PAINT).
void paintMinimisedIcon(HWND dialog, HICON icon);

}  // namespace orv
