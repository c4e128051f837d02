#include "pipe_client.h"

#include "scoped_handle.h"

namespace orv {

bool writePipeMessage(const std::wstring& pipeName, const std::string& bytes, DWORD timeoutMs) {
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  for (;;) {
    ScopedHandle pipe(
        ::CreateFileW(pipeName.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (pipe.valid()) {
      DWORD written = 0;
      const BOOL ok = ::WriteFile(pipe.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                  &written, nullptr);
      return ok && written == bytes.size();
    }
    const DWORD error = ::GetLastError();
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline) return false;
    const DWORD left = static_cast<DWORD>(deadline - now);
    if (error == ERROR_PIPE_BUSY) {
      // Short waits: a busy instance may come free between the wait's checks.
      if (!::WaitNamedPipeW(pipeName.c_str(), left < 50 ? left : 50)) ::Sleep(5);
    } else if (error == ERROR_FILE_NOT_FOUND) {
      ::Sleep(10);
    } else {
      return false;
    }
  }
}

}  // namespace orv
