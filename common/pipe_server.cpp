#include "pipe_server.h"

#include <utility>

#include "os_version.h"
#include "pipe_client.h"
#include "win/thread.h"

namespace orv {

PipeServer::PipeServer(PipeServerOptions options, MessageCallback onMessage)
    : options_(std::move(options)), onMessage_(std::move(onMessage)) {}

bool PipeServer::create() {
  const bool vista = OSVersion().isVistaOrLater();
  const DWORD mode = pipeCreationMode(options_.rejectRemoteClients && vista);
  pipe_.reset(::CreateNamedPipeW(options_.name.c_str(), PIPE_ACCESS_DUPLEX, mode, 1, 0, 0, 0,
                                 options_.security));
  return pipe_.valid();
}

void PipeServer::run() {
  running_ = true;
  struct MarkExited {
    std::atomic<bool>& exited;
    ~MarkExited() { exited = true; }
  } mark{exited_};
  if (!pipe_.valid() || stopping_.load())
    return;  // pairs with stop(): one of the two sees the other
  for (;;) {
    if (!::ConnectNamedPipe(pipe_.get(), nullptr) && ::GetLastError() != ERROR_PIPE_CONNECTED) {
      if (stopping_.load()) return;
      // Deliberately never closed: the name stays ours while the process lives.
      keptPipe_ = pipe_.release();
      failed_ = true;
      return;
    }
    if (stopping_.load()) {
      ::DisconnectNamedPipe(pipe_.get());
      return;
    }
    serveOne();
    if (options_.pauseMs) ::Sleep(options_.pauseMs);
  }
}

void PipeServer::serveOne() {
  // The read buffer is zeroed and two bytes longer than the read, so the text always ends.
  std::string buffer(options_.framing.readBytes + 2, '\0');
  DWORD read = 0;
  if (!::ReadFile(pipe_.get(), &buffer[0], static_cast<DWORD>(options_.framing.readBytes), &read,
                  nullptr)) {
    // A failed read is an empty message; what it may have stored is not looked at.
    read = 0;
  }
  if (options_.disconnectBeforeCommand) ::DisconnectNamedPipe(pipe_.get());
  ++messagesRead_;

  const PipeMessage message = parsePipeMessage(options_.framing, buffer.data(), read);
  if (message.status == PipeMessageStatus::kMessage && onMessage_) onMessage_(message);
  if (!options_.disconnectBeforeCommand) ::DisconnectNamedPipe(pipe_.get());
}

void PipeServer::stop() {
  stopping_ = true;
  // Wake connections until the loop has seen the request (one may be read as a message first).
  while (pipe_.valid() && running_.load() && !exited_.load())
    writePipeMessage(options_.name, std::string(), 200);
}

namespace {
void servePipe(PipeServer& server) {
  if (server.create()) server.run();
}
}  // namespace

bool startPipeServerThread(std::unique_ptr<PipeServer> server) {
  if (!server) return false;
  return startDetachedThread(std::move(server), &servePipe);
}

}  // namespace orv
