#pragma once
// The notifier's pipe \\.\pipe\PopOrvalinex on the shared pipe server: one message per
// connection, read once, the command run on the pipe's thread, the client disconnected only
// after the command has run, then the next client at once. The command table is the notifier's
// own (notifier_command.h).
#include <windows.h>

#include <memory>

#include "notifier_command.h"
#include "pipe_server.h"

namespace orv::notifier {

// The options the notifier runs its pipe with: its name and framing, default security, remote
// clients refused, the client let go after the command has run, no pause.
PipeServerOptions notifierPipeOptions();

// Starts the notifier's pipe on a thread of its own that owns `handler` and serves until the
// returned owner stops it; the notifier goes on without it when the pipe cannot be created.
// Empty when no thread started.
PipeServerThread startNotifierPipeServer(std::unique_ptr<NotifierCommandHandler> handler,
                                         const PipeServerOptions& options = notifierPipeOptions());

}  // namespace orv::notifier
