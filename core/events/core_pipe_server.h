#pragma once
// The core host's command pipe \\.\pipe\AssistantOrvalinex on the shared pipe server: one
// message per connection, read once, the client disconnected before the command runs, then a
// pause before the next client. The command table is the core host's own.
#include <windows.h>

#include <memory>
#include <string>

#include "core_command_handler.h"
#include "pipe_client.h"
#include "pipe_server.h"
#include "product.h"

namespace orv::core {

struct CorePipeOptions {
  std::wstring name = kCorePipeName;
  // Attributes for the pipe, or null for default security (the process-wide low-integrity
  // attributes in the program; see corePipeSecurity()).
  SECURITY_ATTRIBUTES* security = nullptr;
  bool rejectRemoteClients = true;           // only honoured where the system knows the flag
  DWORD pauseMs = 500;                       // after each handled message
  DWORD readTimeoutMs = kPipeReadTimeoutMs;  // a silent client is dropped after it
};

// The process-wide security attributes when they were built, else null (default security).
SECURITY_ATTRIBUTES* corePipeSecurity();
// The options the core host runs its pipe with.
CorePipeOptions corePipeOptions();

// The shared server with the core host's framing, handing each known command to `handler`.
class CorePipeServer {
 public:
  CorePipeServer(CoreCommandHandler& handler, const CorePipeOptions& options);
  CorePipeServer(const CorePipeServer&) = delete;
  CorePipeServer& operator=(const CorePipeServer&) = delete;

  bool create() { return server_.create(); }
  void run() { server_.run(); }
  void stop() { server_.stop(); }
  HANDLE pipe() const { return server_.pipe(); }
  long messagesRead() const { return server_.messagesRead(); }
  long clientsDropped() const { return server_.clientsDropped(); }

 private:
  PipeServer server_;
};

// Starts the core host's pipe server on a thread of its own that owns `handler` and serves until
// the returned owner stops it. Empty when the thread could not be started.
PipeServerThread startCorePipeServer(std::unique_ptr<CoreCommandHandler> handler,
                                     const CorePipeOptions& options = corePipeOptions());

}  // namespace orv::core
