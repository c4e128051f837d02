#pragma once
// A named-pipe server of the programs: one pipe instance, one message per connection read with a
// single read, parsed with the pipe's framing and handed to a callback. The core host and the
// tray notifier differ only in their options and in what their callback does.
//
// The server never stops serving while its program runs: a client that fails in any way (gone
// before the server waited for it, silent past the read's time-out, a failed read) is let go and
// the pipe listens again. Its waits are overlapped, so stop() ends it at once wherever it waits.
#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "pipe_commands.h"
#include "pipe_message.h"
#include "scoped_handle.h"

namespace orv {

// How long a connected client may take to write its message before it is dropped.
constexpr DWORD kPipeReadTimeoutMs = 3000;

struct PipeServerOptions {
  std::wstring name;
  PipeFraming framing;
  // Attributes for the pipe, or null for default security.
  SECURITY_ATTRIBUTES* security = nullptr;
  // Refuse clients on other machines; honoured only where the system knows the flag (Vista on).
  bool rejectRemoteClients = true;
  // true: the client is disconnected before the command runs, so a slow command never holds it
  // (core host); false: only after the command has run (notifier).
  bool disconnectBeforeCommand = true;
  DWORD pauseMs = 0;  // after each handled message
  // A connected client that has not written its message by then is dropped, so that it cannot
  // hold the single instance from the next client.
  DWORD readTimeoutMs = kPipeReadTimeoutMs;
};

class PipeServer {
 public:
  // Called on the server's thread for each message that parses (its command may be empty or
  // unknown); the next client waits until it returns.
  using MessageCallback = std::function<void(const PipeMessage&)>;

  PipeServer(PipeServerOptions options, MessageCallback onMessage);
  PipeServer(const PipeServer&) = delete;
  PipeServer& operator=(const PipeServer&) = delete;

  // Creates the pipe (one instance, no buffers, no time-out, overlapped). False when that fails.
  bool create();
  // Serves clients on the calling thread until stop() is asked.
  void run();
  // Asks run() to return: at once from a wait, after the command when one runs. Any thread.
  void stop();

  HANDLE pipe() const { return pipe_.get(); }
  // Signalled by stop(); the handle stays the server's.
  HANDLE stopEvent() const { return stop_.get(); }
  const PipeServerOptions& options() const { return options_; }
  // Messages read so far, the ignored ones included.
  long messagesRead() const { return messagesRead_.load(); }
  // Clients let go without a message: gone before the wait, silent past the time-out, failed.
  long clientsDropped() const { return clientsDropped_.load(); }

 private:
  enum class IoEnd { kDone, kFailed, kTimedOut, kStopped };

  bool connect();
  bool serveOne();
  bool readMessage(std::string& buffer, DWORD& read);
  IoEnd finish(OVERLAPPED& overlapped, DWORD timeoutMs, DWORD* bytes);
  bool stopRequested(DWORD waitMs = 0) const;

  PipeServerOptions options_;
  MessageCallback onMessage_;
  ScopedHandle pipe_;
  ScopedHandle stop_;  // manual reset
  ScopedHandle io_;    // the overlapped operations' event
  std::atomic<long> messagesRead_{0};
  std::atomic<long> clientsDropped_{0};
};

// The thread that serves a pipe, as the program that started it keeps it: stop() (or the
// owner's end) ends the server at once and waits for its thread, handling messages sent to the
// waiting thread meanwhile (a command may be sending one to the program's window).
class PipeServerThread {
 public:
  PipeServerThread() = default;
  PipeServerThread(ScopedHandle thread, DWORD threadId, ScopedHandle stopEvent);
  PipeServerThread(PipeServerThread&&) = default;
  PipeServerThread& operator=(PipeServerThread&& other) noexcept;
  ~PipeServerThread() { stop(); }

  explicit operator bool() const { return thread_.valid(); }
  // Waits at most `waitMs` for a command that is still running. Called on the server's own
  // thread (from a command), it only asks.
  void stop(DWORD waitMs = 2000);

 private:
  ScopedHandle thread_;
  DWORD threadId_ = 0;
  ScopedHandle stopEvent_;
};

// Creates the server's pipe and serves it on a thread of its own that owns the server, until the
// returned owner stops it or the process ends. A pipe that cannot be created ends that thread;
// the program goes on without it. Empty when no thread was started.
PipeServerThread startPipeServerThread(std::unique_ptr<PipeServer> server);

// A program's command pipe: the server of `options` on a thread of its own, which owns `handler`
// and runs each message through the program's command `table`. Empty without a handler or when
// no thread was started.
template <class Handler, std::size_t N>
PipeServerThread startCommandPipeServer(const PipeCommand<Handler> (&table)[N],
                                        std::unique_ptr<Handler> handler,
                                        PipeServerOptions options) {
  if (!handler) return {};
  std::shared_ptr<Handler> owned(std::move(handler));
  return startPipeServerThread(std::make_unique<PipeServer>(
      std::move(options),
      [owned, &table](const PipeMessage& message) { runPipeCommand(table, *owned, message); }));
}

}  // namespace orv
