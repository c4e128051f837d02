#pragma once
// ModalDialog: the plumbing of a program's main dialog that an object runs modally.
// DialogBoxParamW hands the object to the dialog procedure, which keeps it in the dialog's
// DWLP_USER slot and passes each message on to it.
#include <windows.h>

namespace orv {

class ModalDialog {
 public:
  ModalDialog(const ModalDialog&) = delete;
  ModalDialog& operator=(const ModalDialog&) = delete;

  // Runs the program's dialog template modally; the result of EndDialog, or -1 when the dialog
  // could not be created.
  INT_PTR DoModal();

 protected:
  explicit ModalDialog(UINT templateId) : templateId_(templateId) {}
  virtual ~ModalDialog() = default;

  // WM_INITDIALOG, with hwnd_ already set; TRUE lets the dialog manager set the focus.
  virtual INT_PTR OnInitDialog() = 0;
  // Every later message; FALSE leaves it to the default handling.
  virtual INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;

  HWND hwnd_ = nullptr;

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  UINT templateId_;
};

}  // namespace orv
