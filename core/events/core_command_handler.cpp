#include "core_command_handler.h"

#include "Kavrel.h"
#include "window_restore.h"

namespace orv::core {

void DefaultCoreCommandHandler::handle(CoreCommand command, const std::u16string&) {
  switch (command) {
    case CoreCommand::kPopAss:
      if (::IsIconic(mainWindow_) && engine_ != nullptr &&
          engine_->KavrelFunc(1, "OnTrayRunCore", "true"))
        restoreMinimisedWindow(mainWindow_);
      break;
    case CoreCommand::kQuitCmd:
      ::SendMessageW(mainWindow_, WM_QUIT, 0, 0);
      break;
    case CoreCommand::kDownLoadErrorCmd:
      ::MessageBoxW(nullptr, kDownloadFailedText, kProductName, MB_OK);
      break;
    case CoreCommand::kUserConfirmCmd:
      break;
  }
}

}  // namespace orv::core
