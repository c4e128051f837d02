// Performs the updater's loader hand-over as the updater does, for the tests; it is installed
// under the updater's file name.
//   handover BASEURL LOADERFOLDER INSTALLEDFOLDER DIGEST [occupy]
//       runs the hand-over (ends with exit code 2 on success, returns 1 on failure); "occupy"
//       puts a file under the updater's name after the old one was retired, so the copy fails.
//   version OUTFILE   writes its own version text (UTF-16) to OUTFILE.
//   ... -newloader    (the started new copy) appends its command line to newloader-calls.txt
//                     beside itself and ends.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "downloader.h"
#include "file_ops.h"
#include "path_join.h"
#include "process_util.h"
#include "product.h"
#include "self_update.h"
#include "scoped_handle.h"

namespace {

void appendText(const std::wstring& path, const std::wstring& text) {
  orv::ScopedHandle file(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                     OPEN_ALWAYS, 0, nullptr));
  if (!file) return;
  DWORD written = 0;
  WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written,
            nullptr);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::wstring commandLine = GetCommandLineW();
  if (commandLine.find(L" -newloader") != std::wstring::npos) {
    appendText(orv::moduleDirectory() + L"newloader-calls.txt", commandLine + L"\n");
    return 0;
  }
  int argc = 0;
  orv::ScopedLocalMemory argvMemory(CommandLineToArgvW(GetCommandLineW(), &argc));
  wchar_t** argv = static_cast<wchar_t**>(argvMemory.get());
  if (!argv || argc < 2) return 100;
  const std::wstring mode = argv[1];
  if (mode == L"version" && argc == 3) {
    appendText(argv[2], orv::ownVersionText());
    return 0;
  }
  if (mode == L"handover" && argc >= 6) {
    orv::updater::HandOverRequest request;
    const std::wstring url = std::wstring(argv[2]) + L"/" + orv::kProductId + L"Update.exe";
    request.fetch = [url](const std::wstring& localPath) {
      return orv::updater::DownloadOneFile(url, localPath, 3) != 0;
    };
    request.loaderFolder = argv[3];
    // The attempt's name below the work folders' parent; here beside the loader folder's files.
    request.retiredUpdater = orv::joinPath(request.loaderFolder, L"retired");
    request.updaterFileName = std::wstring(orv::kProductId) + L"Update.exe";
    request.expectedDigest = argv[5];
    const std::wstring installed = argv[4];
    request.installedFolder = [installed] { return installed; };
    if (argc >= 7 && std::wstring(argv[6]) == L"occupy") {
      const std::wstring target = orv::joinPath(installed, request.updaterFileName);
      request.beforeInstall = [target] { appendText(target, L"another program's file"); };
    }
    orv::updater::loaderHandOver(request);
    return 1;
  }
  return 100;
}
