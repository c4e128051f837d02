#pragma once
// Where an update attempt's worker waits for the user's answer, and where it is ended. The page
// may answer while its function still runs, before the worker has begun to wait: the answer is
// kept. An answer to another question than the one asked lets nobody go on. Ending is final:
// every wait from then on returns the exit code at once. Pure logic (no Windows headers).
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

namespace orv::updater {

enum class Question {
  None,
  Unanswerable,   // "ConfirmRegError", "ConfirmNewVersion": only the program's end ends the wait
  Update,         // "ConfirmUpdate"
  RetryTooTimes,  // "ConfirmRetryTooTimes"
  CloseIe,        // "ConfirmCloseIe"
};

class AnswerGate {
 public:
  // Worker, before the question reaches the page: from now on its answer counts.
  void ask(Question question);
  // Worker: blocks until the asked question was answered with "go on" (empty result) or the
  // worker was ended (its exit code).
  std::optional<int> wait();
  // Worker: a pause that an end cuts short (its exit code), else empty after `duration`.
  std::optional<int> pause(std::chrono::milliseconds duration);

  // Answers (the dialog's thread): the worker that asked `question` goes on.
  void goOn(Question question);
  // Ends the worker with `exitCode`; the first end wins.
  void end(int exitCode);
  std::optional<int> endCode() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  Question asked_ = Question::None;
  bool answered_ = false;
  std::optional<int> endCode_;
};

// Thrown through the worker's attempt when its wait returns because the worker was ended; the
// attempt unwinds, releasing what it holds, and the thread ends with the code.
struct WorkerEnded {
  int exitCode;
};

}  // namespace orv::updater
