#pragma once
// A named-pipe server of the programs: one pipe instance, one message per connection read with a
// single read, parsed with the pipe's framing and handed to a callback. The core host and the
// tray notifier differ only in their options and in what their callback does.
#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "pipe_message.h"
#include "win/scoped_handle.h"

namespace orv {

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
};

class PipeServer {
 public:
  // Called on the server's thread for each message that parses (its command may be empty or
  // unknown); the next client waits until it returns.
  using MessageCallback = std::function<void(const PipeMessage&)>;

  PipeServer(PipeServerOptions options, MessageCallback onMessage);
  PipeServer(const PipeServer&) = delete;
  PipeServer& operator=(const PipeServer&) = delete;

  // Creates the pipe (one instance, no buffers, no time-out). False when that fails.
  bool create();
  // Serves clients on the calling thread until a connection wait fails or stop() was asked.
  // After a failed wait the pipe handle stays open for the life of the process, so that no other
  // process can take the pipe's name over.
  void run();
  // Asks run() to return after the connection it is serving or waiting for (connects once itself
  // to wake a waiting server). For orderly ends in tests; the programs never stop their server.
  void stop();

  HANDLE pipe() const { return pipe_.get(); }
  const PipeServerOptions& options() const { return options_; }
  // Messages read so far, the ignored ones included.
  long messagesRead() const { return messagesRead_.load(); }
  // True once run() has ended because a connection wait failed.
  bool failed() const { return failed_.load(); }

 private:
  void serveOne();

  PipeServerOptions options_;
  MessageCallback onMessage_;
  ScopedHandle pipe_;
  HANDLE keptPipe_ = nullptr;  // the handle kept open after a failed wait
  std::atomic<bool> stopping_{false};
  std::atomic<bool> running_{false};
  std::atomic<bool> exited_{false};
  std::atomic<bool> failed_{false};
  std::atomic<long> messagesRead_{0};
};

// Creates the server's pipe and serves it on a thread of its own (handle closed at once) that
// owns the server and lives until the process ends or the pipe fails. A pipe that cannot be
// created ends that thread; the program goes on without it. False when no thread was started.
bool startPipeServerThread(std::unique_ptr<PipeServer> server);

}  // namespace orv
