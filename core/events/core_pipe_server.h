#pragma once
// The core host's command pipe \\.\pipe\AssistantOrvalinex on the shared pipe server: one
// message per connection, read once, the client disconnected before the command runs, then a
// pause before the next client. The command table is the core host's own (core_command.h).
#include <windows.h>

#include <memory>

#include "core_command.h"
#include "pipe_server.h"

namespace orv::core {

// The process-wide security attributes when they were built, else null (default security).
SECURITY_ATTRIBUTES* corePipeSecurity();
// The options the core host runs its pipe with: its name and framing, the low-integrity
// attributes (corePipeSecurity()), remote clients refused, the client let go before the command
// runs, and a pause of 500 ms after each message.
PipeServerOptions corePipeOptions();

// Starts the core host's pipe on a thread of its own that owns `handler` and serves until the
// returned owner stops it. Empty when the thread could not be started.
PipeServerThread startCorePipeServer(std::unique_ptr<CoreCommandHandler> handler,
                                     const PipeServerOptions& options = corePipeOptions());

}  // namespace orv::core
