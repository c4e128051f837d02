#include "trace.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include "product.h"

namespace orv {

std::wstring failureTraceText(const std::wstring& where, const std::wstring& call,
                              unsigned long error) {
  return where + L": " + call + L" failed, error " + std::to_wstring(error);
}

#ifdef _WIN32
void traceLine(const std::wstring& tag, const std::wstring& text) {
  const std::wstring line = std::wstring(kProductId) + L" " + tag + L": " + text + L"\n";
  OutputDebugStringW(line.c_str());
}

void traceText(const std::string& text) { OutputDebugStringA(text.c_str()); }

unsigned long traceFailure(const std::wstring& where, const std::wstring& call) {
  const DWORD error = GetLastError();
  const std::wstring line =
      std::wstring(kProductId) + L" " + failureTraceText(where, call, error) + L"\n";
  OutputDebugStringW(line.c_str());
  SetLastError(error);
  return error;
}
#endif

}  // namespace orv
