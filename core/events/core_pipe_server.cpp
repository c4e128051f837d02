#include "core_pipe_server.h"

#include <utility>

#include "product.h"
#include "security_attributes.h"

namespace orv::core {

SECURITY_ATTRIBUTES* corePipeSecurity() { return processSecurityAttributes().forCreate(); }

PipeServerOptions corePipeOptions() {
  PipeServerOptions options;
  options.name = kCorePipeName;
  options.framing = corePipeFraming();
  options.security = corePipeSecurity();
  options.rejectRemoteClients = true;
  options.disconnectBeforeCommand = true;
  options.pauseMs = 500;
  return options;
}

PipeServerThread startCorePipeServer(std::unique_ptr<CoreCommandHandler> handler,
                                     const PipeServerOptions& options) {
  return startCommandPipeServer(kCoreCommands, std::move(handler), options);
}

}  // namespace orv::core
