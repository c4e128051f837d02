#include "core_pipe_server.h"

#include <string>
#include <utility>

#include "core_command.h"
#include "pipe_message.h"
#include "security_attributes.h"

namespace orv {

const wchar_t kCorePipeName[] = L"\\\\.\\pipe\\AssistantOrvalinex";

namespace {

struct ServerThread {
  std::unique_ptr<CoreCommandHandler> handler;
  std::unique_ptr<CorePipeServer> server;
};

DWORD WINAPI serverThreadMain(void* param) {
  std::unique_ptr<ServerThread> context(static_cast<ServerThread*>(param));
  if (context->server->create()) context->server->run();
  return 0;
}

}  // namespace

SECURITY_ATTRIBUTES* corePipeSecurity() { return processSecurityAttributes().forCreate(); }

CorePipeOptions corePipeOptions() {
  CorePipeOptions options;
  options.security = corePipeSecurity();
  return options;
}

CorePipeServer::CorePipeServer(CoreCommandHandler& handler, CorePipeOptions options)
    : handler_(handler), options_(std::move(options)) {}

bool CorePipeServer::create() {
  const bool vista = processSecurityAttributes().version().isVistaOrLater();
  const DWORD mode = corePipeMode(options_.rejectRemoteClients && vista);
  pipe_.reset(::CreateNamedPipeW(options_.name.c_str(), PIPE_ACCESS_DUPLEX, mode, 1, 0, 0, 0,
                                 options_.security));
  return pipe_.valid();
}

void CorePipeServer::run() {
  running_ = true;
  struct MarkExited {
    std::atomic<bool>& exited;
    ~MarkExited() { exited = true; }
  } mark{exited_};
  if (!pipe_.valid() || stopping_.load()) return;  // pairs with stop(): one of the two sees the other
  for (;;) {
    if (!::ConnectNamedPipe(pipe_.get(), nullptr) && ::GetLastError() != ERROR_PIPE_CONNECTED)
      return;
    if (stopping_.load()) {
      ::DisconnectNamedPipe(pipe_.get());
      return;
    }
    serveOne();
    ::Sleep(options_.pauseMs);
  }
}

void CorePipeServer::serveOne() {
  const PipeFraming framing = corePipeFraming();
  unsigned char buffer[2048] = {};
  static_assert(sizeof(buffer) == 2048, "the read size of the core host's pipe");
  DWORD read = 0;
  if (!::ReadFile(pipe_.get(), buffer, sizeof(buffer), &read, nullptr)) {
    // A failed read is an empty message; what it may have stored is not looked at.
    read = 0;
  }
  // The client goes before the command runs, so a slow command never holds it.
  ::DisconnectNamedPipe(pipe_.get());
  ++messagesRead_;

  const PipeMessage message = parsePipeMessage(framing, buffer, read);
  if (message.status != PipeMessageStatus::kMessage) return;
  if (auto command = coreCommandFromText(message.command)) handler_.handle(*command, message.argument);
}

void CorePipeServer::stop() {
  stopping_ = true;
  // Wake connections until the loop has seen the request (one may be read as a message first).
  while (pipe_.valid() && running_.load() && !exited_.load()) writePipeMessage(options_.name, std::string(), 200);
}

bool startCorePipeServer(std::unique_ptr<CoreCommandHandler> handler, CorePipeOptions options) {
  if (!handler) return false;
  auto context = std::make_unique<ServerThread>();
  context->server = std::make_unique<CorePipeServer>(*handler, std::move(options));
  context->handler = std::move(handler);
  HANDLE thread = ::CreateThread(nullptr, 0, serverThreadMain, context.get(), 0, nullptr);
  if (thread == nullptr) return false;
  context.release();  // the thread owns it now
  ::CloseHandle(thread);
  return true;
}

bool writePipeMessage(const std::wstring& pipeName, const std::string& bytes, DWORD timeoutMs) {
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  for (;;) {
    ScopedHandle pipe(::CreateFileW(pipeName.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                    nullptr));
    if (pipe.valid()) {
      DWORD written = 0;
      const BOOL ok = ::WriteFile(pipe.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                  &written, nullptr);
      return ok && written == bytes.size();
    }
    const DWORD error = ::GetLastError();
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline) return false;
    const DWORD left = static_cast<DWORD>(deadline - now);
    if (error == ERROR_PIPE_BUSY) {
      // Short waits: a busy instance may come free between the wait's checks.
      if (!::WaitNamedPipeW(pipeName.c_str(), left < 50 ? left : 50)) ::Sleep(5);
    } else if (error == ERROR_FILE_NOT_FOUND) {
      ::Sleep(10);
    } else {
      return false;
    }
  }
}

}  // namespace orv
