#pragma once
// What the core host does with each command of its pipe. The pipe server calls the handler on its
// own thread, one command at a time.
#include <windows.h>

#include <string>

#include "core_command.h"
#include "core_texts.h"
#include "product.h"

class LuaObject;

namespace orv::core {

class CoreCommandHandler {
 public:
  virtual ~CoreCommandHandler() = default;
  // `argument` is the text after "||" (no core host command uses it).
  virtual void handle(CoreCommand command, const std::u16string& argument) = 0;
};

// The core host's own handling, given its main window and engine:
// - "PopAss": when the window is minimised, asks the script "OnTrayRunCore" (synchronously, with
//   "true") and restores the window on a true answer;
// - "QuitCmd": sends WM_QUIT to the window, whose window procedure ends the process with code 0;
// - "DownLoadErrorCmd": an ownerless OK message box; returns when the user closes it;
// - "UserConfirmCmd": nothing.
class DefaultCoreCommandHandler : public CoreCommandHandler {
 public:
  DefaultCoreCommandHandler(HWND mainWindow, LuaObject* engine)
      : mainWindow_(mainWindow), engine_(engine) {}
  void handle(CoreCommand command, const std::u16string& argument) override;

 private:
  HWND mainWindow_;
  LuaObject* engine_;
};

}  // namespace orv::core
