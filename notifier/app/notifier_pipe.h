#pragma once
// The notifier's pipe \\.\pipe\PopOrvalinex on the shared pipe server: one message per
// connection, read once, the command run on the pipe's thread, the client disconnected only
// after the command has run, then the next client at once.
#include <windows.h>

#include <string>

#include "pipe_server.h"
#include "product.h"

namespace orv::notifier {

// The server options the notifier runs its pipe with (remote clients refused).
PipeServerOptions notifierPipeOptions(const std::wstring& name = kNotifierPipeName);

// Runs one message's command for the main dialog `dialog`: "QuitCmd" sends WM_QUIT to it and the
// process ends there; "UserConfirmCmd" asks the user and sets the answer's event when it exists;
// "UpdatePopCmd" shows the update balloon. Anything else is ignored.
void runNotifierCommand(HWND dialog, const PipeMessage& message);

// Starts the pipe on a thread of its own for `dialog`, serving until the returned owner stops it;
// the notifier goes on without it when the pipe cannot be created. Empty when no thread started.
PipeServerThread startNotifierPipe(HWND dialog);

}  // namespace orv::notifier
