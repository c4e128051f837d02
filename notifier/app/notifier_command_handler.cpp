#include "notifier_command_handler.h"

#include "notifier_rules.h"
#include "product.h"
#include "scoped_handle.h"
#include "tray_icon.h"

namespace orv::notifier {

void DefaultNotifierCommandHandler::quit(const std::u16string&) {
  // The dialog's window procedure ends the process on its own thread.
  SendMessageW(dialog_, WM_QUIT, 0, 0);
}

void DefaultNotifierCommandHandler::userConfirm(const std::u16string&) {
  // Modal on this thread: the next client waits until the user has answered. A question the user
  // must answer comes to the front rather than inactive behind other windows.
  const bool yes =
      MessageBoxW(dialog_, kUserConfirmText, kProductName, MB_OKCANCEL | MB_SETFOREGROUND) == IDOK;
  ScopedHandle event(OpenEventW(EVENT_ALL_ACCESS, FALSE, confirmEventName(yes)));
  if (event) SetEvent(event.get());  // nobody waiting: the answer is dropped
}

void DefaultNotifierCommandHandler::updatePop(const std::u16string&) {
  showUpdateBalloon(dialog_);  // fails silently without an icon
}

}  // namespace orv::notifier
