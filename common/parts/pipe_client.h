#pragma once
// The client side of the programs' named pipes: one message per connection.
#include <windows.h>

#include <string>

namespace orv {

// Connects to `pipeName` (waiting while it is busy or not yet created, up to `timeoutMs`), writes
// `bytes` in one write and closes. False when no connection could be made or the write failed.
bool writePipeMessage(const std::wstring& pipeName, const std::string& bytes, DWORD timeoutMs);

}  // namespace orv
