#include "core_command_handler.h"

#include "Kavrel.h"
#include "window_restore.h"

namespace orv::core {

void DefaultCoreCommandHandler::popAss(const std::u16string&) {
  if (::IsIconic(mainWindow_) && engine_ != nullptr &&
      engine_->KavrelFunc(1, "OnTrayRunCore", "true"))
    restoreMinimisedWindow(mainWindow_);
}

void DefaultCoreCommandHandler::quit(const std::u16string&) {
  ::SendMessageW(mainWindow_, WM_QUIT, 0, 0);
}

void DefaultCoreCommandHandler::downloadError(const std::u16string&) {
  ::MessageBoxW(nullptr, kDownloadFailedText, kProductName, MB_OK);
}

void DefaultCoreCommandHandler::userConfirm(const std::u16string&) {}

}  // namespace orv::core
