#include "integrity_check.h"

#include <windows.h>

#include "ansi_text.h"
#include "file_manifest.h"
#include "file_system.h"
#include "log_file.h"
#include "process_util.h"
#include "product.h"

namespace orv {

const wchar_t kIncompleteInstallationText[] = L"助手文件不完整，请联网后更新!";
const wchar_t kManifestRefusedCode[] = L"C-1";
const wchar_t kFileChangedCode[] = L"C-2";

namespace {

// At most this many files are named one by one; the rest are counted on one line.
constexpr int kNamedChangedFiles = 20;

// Why Digest.xml was refused: missing, its signature, or nothing in it that may be checked.
void logManifestRefused(const FileManifest& manifest) {
  const std::wstring& path = manifest.manifestPath(kMainManifestName);
  if (!pathExists(path))
    logLine(kManifestRefusedCode, path + L" is missing");
  else if (!manifest.verifyManifestSignature(toNarrow(path)))
    logLine(kManifestRefusedCode, L"the signature of " + path + L" does not verify");
  else
    logLine(kManifestRefusedCode, path + L" lists no file that can be checked");
}

void logChangedFiles(const FileManifest& manifest) {
  int changed = 0;
  for (const auto& [key, entry] : manifest.entries()) {
    if (entry.status != EntryStatus::Changed) continue;
    if (++changed > kNamedChangedFiles) continue;
    const std::wstring path = manifest.localPath(key);
    logLine(kFileChangedCode,
            path + (pathExists(path) ? L" differs from its listed digest" : L" is missing"));
  }
  if (changed > kNamedChangedFiles)
    logLine(kFileChangedCode,
            L"and " + std::to_wstring(changed - kNamedChangedFiles) + L" more files");
}

}  // namespace

bool verifyInstallation() {
  FileManifest manifest(moduleDirectory());
  if (!manifest.verifyAndLoad()) {
    logManifestRefused(manifest);
  } else if (!manifest.checkFiles()) {
    logChangedFiles(manifest);
  } else {
    logLine(L"-", L"installation intact: " + std::to_wstring(manifest.entries().size()) +
                      L" files checked against " + manifest.manifestPath(kMainManifestName));
    return true;
  }
  // No owner window: nothing of the program is shown yet.
  MessageBoxW(nullptr, kIncompleteInstallationText, kProductName, MB_ICONEXCLAMATION | MB_OK);
  return false;
}

}  // namespace orv
