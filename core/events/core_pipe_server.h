#pragma once
// The core host's command pipe \\.\pipe\AssistantOrvalinex: one message per connection, read
// once, the client disconnected before the command runs, then a pause before the next client.
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "core_command_handler.h"
#include "win/scoped_handle.h"

namespace orv {

extern const wchar_t kCorePipeName[];  // L"\\\\.\\pipe\\AssistantOrvalinex"

struct CorePipeOptions {
  std::wstring name = kCorePipeName;
  // Attributes for the pipe, or null for default security (the process-wide low-integrity
  // attributes in the program; see corePipeSecurity()).
  SECURITY_ATTRIBUTES* security = nullptr;
  bool rejectRemoteClients = true;  // only honoured where the system knows the flag
  DWORD pauseMs = 500;              // after each handled message
};

// The process-wide security attributes when they were built, else null (default security).
SECURITY_ATTRIBUTES* corePipeSecurity();
// The options the core host runs its pipe with.
CorePipeOptions corePipeOptions();

class CorePipeServer {
 public:
  CorePipeServer(CoreCommandHandler& handler, CorePipeOptions options);
  CorePipeServer(const CorePipeServer&) = delete;
  CorePipeServer& operator=(const CorePipeServer&) = delete;

  // Creates the pipe (one instance, no buffers, no time-out). False when that fails; the core
  // host then goes on without a pipe.
  bool create();
  // Serves clients on the calling thread until a connection wait fails or stop() was asked.
  void run();
  // Asks run() to return after the connection it is serving or waiting for (connects once itself
  // to wake a waiting server). For orderly ends in tests; the program's server is never stopped.
  void stop();

  HANDLE pipe() const { return pipe_.get(); }
  // Messages read so far, the ignored ones included.
  long messagesRead() const { return messagesRead_.load(); }

 private:
  void serveOne();

  CoreCommandHandler& handler_;
  CorePipeOptions options_;
  ScopedHandle pipe_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> running_{false};
  std::atomic<bool> exited_{false};
  std::atomic<long> messagesRead_{0};
};

// Starts the core host's pipe server on a thread of its own (handle closed at once) that owns
// `handler` and lives until the process ends or the pipe fails. False when the thread could not
// be started.
bool startCorePipeServer(std::unique_ptr<CoreCommandHandler> handler,
                         CorePipeOptions options = corePipeOptions());

// Client side, used by tests and tools: connects to `pipeName` (waiting while it is busy or not
// yet created, up to `timeoutMs`), writes `bytes` in one write and closes. False when no
// connection could be made or the write failed.
bool writePipeMessage(const std::wstring& pipeName, const std::string& bytes, DWORD timeoutMs);

}  // namespace orv
