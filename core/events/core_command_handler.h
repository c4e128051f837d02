#pragma once
// The core host's own handling of its pipe's commands, on the main window and the engine.
#include <windows.h>

#include <string>

#include "core_command.h"
#include "core_texts.h"
#include "product.h"

class LuaObject;

namespace orv::core {

// - "PopAss": when the window is minimised, asks the script "OnTrayRunCore" (synchronously, with
//   "true") and restores the window on a true answer;
// - "QuitCmd": sends WM_QUIT to the window, whose window procedure ends the process with code 0;
// - "DownLoadErrorCmd": an ownerless OK message box; returns when the user closes it;
// - "UserConfirmCmd": nothing.
class DefaultCoreCommandHandler : public CoreCommandHandler {
 public:
  DefaultCoreCommandHandler(HWND mainWindow, LuaObject* engine)
      : mainWindow_(mainWindow), engine_(engine) {}
  void popAss(const std::u16string& argument) override;
  void quit(const std::u16string& argument) override;
  void downloadError(const std::u16string& argument) override;
  void userConfirm(const std::u16string& argument) override;

 private:
  HWND mainWindow_;
  LuaObject* engine_;
};

}  // namespace orv::core
