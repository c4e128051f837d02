#include "core_pipe_server.h"

#include <utility>

#include "core_command.h"
#include "security_attributes.h"

namespace orv::core {

namespace {

PipeServerOptions serverOptions(const CorePipeOptions& options) {
  PipeServerOptions o;
  o.name = options.name;
  o.framing = corePipeFraming();
  o.security = options.security;
  o.rejectRemoteClients = options.rejectRemoteClients;
  o.disconnectBeforeCommand = true;
  o.pauseMs = options.pauseMs;
  o.readTimeoutMs = options.readTimeoutMs;
  return o;
}

void dispatch(CoreCommandHandler& handler, const PipeMessage& message) {
  runPipeCommand(kCoreCommands, handler, message);
}

}  // namespace

SECURITY_ATTRIBUTES* corePipeSecurity() { return processSecurityAttributes().forCreate(); }

CorePipeOptions corePipeOptions() {
  CorePipeOptions options;
  options.security = corePipeSecurity();
  return options;
}

CorePipeServer::CorePipeServer(CoreCommandHandler& handler, const CorePipeOptions& options)
    : server_(serverOptions(options),
              [&handler](const PipeMessage& message) { dispatch(handler, message); }) {}

PipeServerThread startCorePipeServer(std::unique_ptr<CoreCommandHandler> handler,
                                     const CorePipeOptions& options) {
  if (!handler) return {};
  // The server's callback owns the handler: both go with the server's thread.
  std::shared_ptr<CoreCommandHandler> owned(std::move(handler));
  return startPipeServerThread(std::make_unique<PipeServer>(
      serverOptions(options), [owned](const PipeMessage& message) { dispatch(*owned, message); }));
}

}  // namespace orv::core
