#include "core_pipe_server.h"

#include <utility>

#include "core_command.h"
#include "security_attributes.h"
#include "win/thread.h"

namespace orv {

namespace {

PipeServerOptions serverOptions(const CorePipeOptions& options) {
  PipeServerOptions o;
  o.name = options.name;
  o.framing = corePipeFraming();
  o.security = options.security;
  o.rejectRemoteClients = options.rejectRemoteClients;
  o.disconnectBeforeCommand = true;
  o.pauseMs = options.pauseMs;
  return o;
}

void dispatch(CoreCommandHandler& handler, const PipeMessage& message) {
  if (auto command = coreCommandFromText(message.command))
    handler.handle(*command, message.argument);
}

struct ServerThread {
  std::unique_ptr<CoreCommandHandler> handler;
  std::unique_ptr<CorePipeServer> server;
};

void serve(ServerThread& context) {
  if (context.server->create()) context.server->run();
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

bool startCorePipeServer(std::unique_ptr<CoreCommandHandler> handler,
                         const CorePipeOptions& options) {
  if (!handler) return false;
  auto context = std::make_unique<ServerThread>();
  context->server = std::make_unique<CorePipeServer>(*handler, options);
  context->handler = std::move(handler);
  return startDetachedThread(std::move(context), &serve);
}

}  // namespace orv
