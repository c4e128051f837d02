#pragma once
// The notifier's own handling of its pipe's commands, on the main dialog.
#include <windows.h>

#include <string>

#include "notifier_command.h"

namespace orv::notifier {

// - "QuitCmd": sends WM_QUIT to the dialog, whose window procedure ends the process there;
// - "UserConfirmCmd": asks the user and sets the answer's event when it exists;
// - "UpdatePopCmd": shows the update balloon.
class DefaultNotifierCommandHandler : public NotifierCommandHandler {
 public:
  explicit DefaultNotifierCommandHandler(HWND dialog) : dialog_(dialog) {}
  void quit(const std::u16string& argument) override;
  void userConfirm(const std::u16string& argument) override;
  void updatePop(const std::u16string& argument) override;

 private:
  HWND dialog_;
};

}  // namespace orv::notifier
