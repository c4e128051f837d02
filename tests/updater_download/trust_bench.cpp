// The updater's half of tools/bench-tuf.sh under Wine:
//   trust_bench refresh INSTALLED BASE_URL          a refresh from the trusted state below INSTALLED
//   trust_bench fetch INSTALLED BASE_URL OUT LIST   a refresh, then every target LIST names (one
//                                                   path a line) into OUT, fetched and checked
//   trust_bench hash LIST                           SHA-256 of every file LIST names, read as the
//                                                   updater reads a fetched target back
// Exit code 0 when every step succeeded; the times are the script's.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "ansi_text.h"
#include "digests.h"
#include "scoped_handle.h"
#include "update_trust.h"

namespace {

std::vector<std::string> lines(const wchar_t* file) {
  std::ifstream in(file);
  std::vector<std::string> out;
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) out.push_back(line);
  return out;
}

bool hashFile(const std::wstring& path) {
  const orv::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
  if (!file) return false;
  // An expectation no file has: the check digests every byte, and the digest is all we need.
  orv::tuf::HashCheck check({{"sha256", std::string(64, '0')}});
  std::vector<char> chunk(64 * 1024);
  DWORD read = 0;
  while (ReadFile(file.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr) &&
         read > 0)
    check.update(chunk.data(), read);
  (void)check.matches();  // ends the digest
  return true;
}

int fail(const orv::updater::AttemptFailure& failure) {
  std::fwprintf(stderr, L"trust_bench: U-%d %ls\n", static_cast<int>(failure.reason),
                failure.subject.c_str());
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  using orv::updater::UpdateTrust;
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"hash" && argc == 3) {
    for (const std::string& path : lines(argv[2])) {
      if (!hashFile(orv::fromUtf8(path))) return 1;
    }
    return 0;
  }
  if ((command == L"refresh" && argc == 4) || (command == L"fetch" && argc == 6)) {
    UpdateTrust trust(argv[3], [] { return false; });
    if (const auto failed = trust.refresh(argv[2], orv::FolderOwners::kAdministratorsOrOwnUser))
      return fail(*failed);
    if (command == L"refresh") return 0;
    int n = 0;
    for (const std::string& target : lines(argv[5])) {
      const std::wstring local = std::wstring(argv[4]) + L"\\" + std::to_wstring(++n) + L".bin";
      std::uint64_t bytes = 0;
      std::wstring url;
      if (const auto failed = trust.fetch(target, local, bytes, url)) return fail(*failed);
    }
    return 0;
  }
  std::fwprintf(stderr, L"usage: trust_bench refresh INSTALLED BASE_URL | fetch INSTALLED "
                        L"BASE_URL OUT LIST | hash LIST\n");
  return 2;
}
