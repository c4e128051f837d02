#include "notifier_pipe_server.h"

#include <utility>

#include "product.h"

namespace orv::notifier {

PipeServerOptions notifierPipeOptions() {
  PipeServerOptions options;
  options.name = kNotifierPipeName;
  options.framing = notifierPipeFraming();
  options.security = nullptr;  // default security
  options.rejectRemoteClients = true;
  options.disconnectBeforeCommand = false;
  options.pauseMs = 0;
  return options;
}

PipeServerThread startNotifierPipeServer(std::unique_ptr<NotifierCommandHandler> handler,
                                         const PipeServerOptions& options) {
  return startCommandPipeServer(kNotifierCommands, std::move(handler), options);
}

}  // namespace orv::notifier
