#pragma once
// The About item the programs' dialogs add to their system menu.
#include <windows.h>

namespace orv {

// Appends a separator and `command` with the text of string resource `textId` of the program to
// the dialog's system menu; nothing when the string is missing or empty.
void addAboutMenuItem(HWND dialog, UINT textId, UINT command);

}  // namespace orv
