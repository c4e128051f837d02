#include "modal_dialog.h"

namespace orv {

INT_PTR ModalDialog::DoModal() {
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), nullptr,
                         &ModalDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK ModalDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<ModalDialog*>(lParam);
    SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    self->hwnd_ = hwnd;
    return self->OnInitDialog();
  }
  // Messages before WM_INITDIALOG (WM_SETFONT among them) find no object yet.
  auto* self = reinterpret_cast<ModalDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  return self ? self->HandleMessage(message, wParam, lParam) : FALSE;
}

}  // namespace orv
