#include "notifier_pipe.h"

#include <memory>

#include "notifier_rules.h"
#include "tray_icon.h"
#include "scoped_handle.h"

namespace orv::notifier {

PipeServerOptions notifierPipeOptions(const std::wstring& name) {
  PipeServerOptions options;
  options.name = name;
  options.framing = notifierPipeFraming();
  options.security = nullptr;  // default security
  options.rejectRemoteClients = true;
  options.disconnectBeforeCommand = false;
  options.pauseMs = 0;
  return options;
}

namespace {

// The commands act on the main dialog `dialog_`.
class DialogCommandHandler : public NotifierCommandHandler {
 public:
  explicit DialogCommandHandler(HWND dialog) : dialog_(dialog) {}

  void quit(const std::u16string&) override {
    // The dialog's window procedure ends the process on its own thread.
    SendMessageW(dialog_, WM_QUIT, 0, 0);
  }

  void userConfirm(const std::u16string&) override {
    // Modal on this thread: the next client waits until the user has answered. A question the
    // user must answer comes to the front rather than inactive behind other windows.
    const bool yes = MessageBoxW(dialog_, kUserConfirmText, kProductName,
                                 MB_OKCANCEL | MB_SETFOREGROUND) == IDOK;
    ScopedHandle event(OpenEventW(EVENT_ALL_ACCESS, FALSE, confirmEventName(yes)));
    if (event) SetEvent(event.get());  // nobody waiting: the answer is dropped
  }

  void updatePop(const std::u16string&) override {
    showUpdateBalloon(dialog_);  // fails silently without an icon
  }

 private:
  HWND dialog_;
};

}  // namespace

void runNotifierCommand(HWND dialog, const PipeMessage& message) {
  DialogCommandHandler handler(dialog);
  runPipeCommand(kNotifierCommands, handler, message);
}

PipeServerThread startNotifierPipe(HWND dialog) {
  return startPipeServerThread(std::make_unique<PipeServer>(
      notifierPipeOptions(),
      [dialog](const PipeMessage& message) { runNotifierCommand(dialog, message); }));
}

}  // namespace orv::notifier
