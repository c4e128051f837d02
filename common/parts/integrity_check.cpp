#include "integrity_check.h"

#include <windows.h>

#include "file_manifest.h"
#include "process_util.h"
#include "product.h"

namespace orv {

const wchar_t kIncompleteInstallationText[] = L"助手文件不完整，请联网后更新!";

bool verifyInstallation() {
  FileManifest manifest(moduleDirectory());
  if (manifest.verifyAndLoad() && manifest.checkFiles()) return true;
  // No owner window: nothing of the program is shown yet.
  MessageBoxW(nullptr, kIncompleteInstallationText, kProductName, MB_ICONEXCLAMATION | MB_OK);
  return false;
}

}  // namespace orv
