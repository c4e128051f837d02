#include "dll_search.h"

#include <windows.h>

namespace orv {
namespace {

// Declared here: older SDK headers lack them, and the function is looked up at run time.
constexpr DWORD kSearchApplicationDir = 0x00000200;  // LOAD_LIBRARY_SEARCH_APPLICATION_DIR
constexpr DWORD kSearchSystem32 = 0x00000800;        // LOAD_LIBRARY_SEARCH_SYSTEM32
constexpr DWORD kSafeSearchMode = 0x00000001;        // BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE
constexpr DWORD kSearchModePermanent = 0x00008000;   // BASE_SEARCH_PATH_PERMANENT

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
using SetSearchPathModeFn = BOOL(WINAPI*)(DWORD);

template <typename Fn>
Fn kernel32Function(const char* name) {
  // kernel32 is in every process; its handle is not counted and needs no release.
  const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  return kernel32 ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(kernel32, name)))
                  : nullptr;
}

}  // namespace

DllSearch restrictDllSearch() {
  if (const auto mode = kernel32Function<SetSearchPathModeFn>("SetSearchPathMode"))
    mode(kSafeSearchMode | kSearchModePermanent);
  const auto setDefault = kernel32Function<SetDefaultDllDirectoriesFn>("SetDefaultDllDirectories");
  if (setDefault && setDefault(kSearchSystem32 | kSearchApplicationDir))
    return DllSearch::kSystemAndProgramFolders;
  return ::SetDllDirectoryW(L"") ? DllSearch::kWithoutCurrentFolder : DllSearch::kUnchanged;
}

}  // namespace orv
