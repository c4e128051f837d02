#include "pipe_server.h"

#include <utility>

#include "os_version.h"
#include "thread.h"

namespace orv {

namespace {
// After a failed connection wait that no client explains: a short pause, so that a pipe that
// keeps failing does not spin.
constexpr DWORD kRetryPauseMs = 50;
}  // namespace

PipeServer::PipeServer(PipeServerOptions options, MessageCallback onMessage)
    : options_(std::move(options)),
      onMessage_(std::move(onMessage)),
      stop_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      io_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

bool PipeServer::create() {
  const bool vista = OSVersion().isVistaOrLater();
  const DWORD mode = pipeCreationMode(options_.rejectRemoteClients && vista);
  pipe_.reset(::CreateNamedPipeW(options_.name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                 mode, 1, 0, 0, 0, options_.security));
  return pipe_.valid() && stop_.valid() && io_.valid();
}

void PipeServer::stop() {
  if (stop_) ::SetEvent(stop_.get());
}

bool PipeServer::stopRequested(DWORD waitMs) const {
  return !stop_ || ::WaitForSingleObject(stop_.get(), waitMs) == WAIT_OBJECT_0;
}

void PipeServer::run() {
  if (!pipe_.valid() || !io_.valid()) return;
  while (connect()) {
    if (!serveOne()) return;
    if (options_.pauseMs && stopRequested(options_.pauseMs)) return;
  }
}

PipeServer::IoEnd PipeServer::finish(OVERLAPPED& overlapped, DWORD timeoutMs, DWORD* bytes) {
  const HANDLE events[] = {stop_.get(), overlapped.hEvent};
  const DWORD wait = ::WaitForMultipleObjects(2, events, FALSE, timeoutMs);
  DWORD done = 0;
  if (wait == WAIT_OBJECT_0 + 1) {
    if (!::GetOverlappedResult(pipe_.get(), &overlapped, &done, FALSE)) return IoEnd::kFailed;
    if (bytes) *bytes = done;
    return IoEnd::kDone;
  }
  // Stopped or out of time: the operation is cancelled and over before `overlapped` goes.
  ::CancelIo(pipe_.get());
  const bool completed = ::GetOverlappedResult(pipe_.get(), &overlapped, &done, TRUE) != FALSE;
  if (wait == WAIT_OBJECT_0) return IoEnd::kStopped;
  if (!completed) return wait == WAIT_TIMEOUT ? IoEnd::kTimedOut : IoEnd::kFailed;
  if (bytes) *bytes = done;  // it finished just as the time ran out
  return IoEnd::kDone;
}

bool PipeServer::connect() {
  for (;;) {
    if (stopRequested()) return false;
    OVERLAPPED overlapped = {};
    overlapped.hEvent = io_.get();
    DWORD error = ERROR_SUCCESS;
    if (!::ConnectNamedPipe(pipe_.get(), &overlapped)) {
      error = ::GetLastError();
      if (error == ERROR_IO_PENDING) {
        const IoEnd end = finish(overlapped, INFINITE, nullptr);
        if (end == IoEnd::kStopped) return false;
        error = end == IoEnd::kDone ? ERROR_SUCCESS : ::GetLastError();
      } else if (error == ERROR_PIPE_CONNECTED) {
        error = ERROR_SUCCESS;
      }
    }
    if (error == ERROR_SUCCESS) return true;
    // A client that came and went before the wait (ERROR_NO_DATA) or any other failure: the
    // instance is freed and listens again.
    ::DisconnectNamedPipe(pipe_.get());
    ++clientsDropped_;
    if (error != ERROR_NO_DATA && stopRequested(kRetryPauseMs)) return false;
  }
}

bool PipeServer::readMessage(std::string& buffer, DWORD& read) {
  read = 0;
  OVERLAPPED overlapped = {};
  overlapped.hEvent = io_.get();
  const DWORD size = static_cast<DWORD>(options_.framing.readBytes);
  if (!::ReadFile(pipe_.get(), &buffer[0], size, nullptr, &overlapped) &&
      ::GetLastError() != ERROR_IO_PENDING)
    return true;  // a failed read is an empty message
  switch (finish(overlapped, options_.readTimeoutMs, &read)) {
    case IoEnd::kStopped:
      return false;
    case IoEnd::kDone:
      return true;
    case IoEnd::kTimedOut:
      ++clientsDropped_;  // silent: read as an empty message, which nothing acts on
      [[fallthrough]];
    case IoEnd::kFailed:
      read = 0;  // what a failed read may have stored is not looked at
      return true;
  }
  return true;
}

bool PipeServer::serveOne() {
  // The read buffer is zeroed and two bytes longer than the read, so the text always ends.
  std::string buffer(options_.framing.readBytes + 2, '\0');
  DWORD read = 0;
  if (!readMessage(buffer, read)) {
    ::DisconnectNamedPipe(pipe_.get());
    return false;
  }
  if (options_.disconnectBeforeCommand) ::DisconnectNamedPipe(pipe_.get());
  ++messagesRead_;

  const PipeMessage message = parsePipeMessage(options_.framing, buffer.data(), read);
  if (message.status == PipeMessageStatus::kMessage && onMessage_) onMessage_(message);
  if (!options_.disconnectBeforeCommand) ::DisconnectNamedPipe(pipe_.get());
  return true;
}

PipeServerThread::PipeServerThread(ScopedHandle thread, DWORD threadId, ScopedHandle stopEvent)
    : thread_(std::move(thread)), threadId_(threadId), stopEvent_(std::move(stopEvent)) {}

PipeServerThread& PipeServerThread::operator=(PipeServerThread&& other) noexcept {
  if (this != &other) {
    stop();
    thread_ = std::move(other.thread_);
    threadId_ = std::exchange(other.threadId_, 0);
    stopEvent_ = std::move(other.stopEvent_);
  }
  return *this;
}

void PipeServerThread::stop(DWORD waitMs) {
  if (!thread_) return;
  if (stopEvent_) ::SetEvent(stopEvent_.get());
  if (::GetCurrentThreadId() == threadId_) return;  // a command of the server's own: just ask
  // A running command may be sending to a window of this thread: such messages are handled.
  const ULONGLONG deadline = ::GetTickCount64() + waitMs;
  const HANDLE thread = thread_.get();
  for (ULONGLONG now = ::GetTickCount64(); now < deadline; now = ::GetTickCount64()) {
    const DWORD wait = ::MsgWaitForMultipleObjects(
        1, &thread, FALSE, static_cast<DWORD>(deadline - now), QS_SENDMESSAGE);
    if (wait != WAIT_OBJECT_0 + 1) break;
    MSG message;
    ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
  thread_.reset();
  stopEvent_.reset();
}

namespace {
void servePipe(PipeServer& server) {
  if (server.create()) server.run();
}
}  // namespace

PipeServerThread startPipeServerThread(std::unique_ptr<PipeServer> server) {
  if (!server || !server->stopEvent()) return {};
  HANDLE copy = nullptr;
  if (!::DuplicateHandle(::GetCurrentProcess(), server->stopEvent(), ::GetCurrentProcess(), &copy,
                         0, FALSE, DUPLICATE_SAME_ACCESS))
    return {};
  ScopedHandle stopEvent(copy);
  DWORD threadId = 0;
  ScopedHandle thread = startOwningThread(std::move(server), &servePipe, &threadId);
  if (!thread) return {};
  return PipeServerThread(std::move(thread), threadId, std::move(stopEvent));
}

}  // namespace orv
