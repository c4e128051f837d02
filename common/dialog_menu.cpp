#include "dialog_menu.h"

namespace orv {

void addAboutMenuItem(HWND dialog, UINT textId, UINT command) {
  wchar_t text[128] = {};
  if (::LoadStringW(::GetModuleHandleW(nullptr), textId, text, 128) <= 0 || text[0] == L'\0')
    return;
  HMENU menu = ::GetSystemMenu(dialog, FALSE);
  if (!menu) return;
  ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  ::AppendMenuW(menu, MF_STRING, command, text);
}

}  // namespace orv
