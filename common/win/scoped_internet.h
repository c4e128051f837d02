#pragma once
// Owner of a WinINet handle (session, connection or request), closed with InternetCloseHandle.
// Only programs that link wininet include this header.
#include <windows.h>
#include <wininet.h>

#include "scoped_handle.h"

namespace orv {

struct InternetHandleTraits {
  static HINTERNET empty() { return nullptr; }
  static bool valid(HINTERNET h) { return h != nullptr; }
  static void close(HINTERNET h) { ::InternetCloseHandle(h); }
};

using ScopedInternet = ScopedGeneric<HINTERNET, InternetHandleTraits>;  // InternetCloseHandle

}  // namespace orv
