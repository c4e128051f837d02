#include "update_flow.h"

#include <windows.h>

#include <atomic>
#include <exception>
#include <mutex>
#include <utility>

#include "answer_gate.h"
#include "start_options.h"
#include "update_attempt.h"
#include "update_rules.h"
#include "scoped_handle.h"
#include "thread.h"

#ifndef ORV_UPDATE_HOST
#define ORV_UPDATE_HOST "update.example.invalid"
#endif

namespace orv::updater {

// The host behind a label, so that the release tools read from the program which host it uses.
extern const wchar_t kUpdateHostRecord[];
const wchar_t kUpdateHostRecord[] = L"UpdateHost=" ORV_UPDATE_HOST;

std::wstring updateBaseUrl() {
  return updateBaseUrlFor(kUpdateHostRecord + (sizeof L"UpdateHost=" / sizeof(wchar_t) - 1));
}

namespace {

// How long the closing program gives a worker to unwind before it ends without it.
constexpr DWORD kClosingWaitMs = 5000;

// What the flow's threads share. Threads hold it, so it outlives the flow object.
struct FlowState final : AttemptHost {
  std::wstring baseUrl;
  FlowBounds bounds;
  UpdateFlags flags;
  ScopedHandle pageReady;    // a duplicate of the dialog's event: valid after the dialog went
  ScopedHandle watcherWake;  // auto-reset: a retry was asked for or the program is closing
  std::atomic<int> askedOnce{0};

  // The window, used by the worker (page calls, show) and the watcher (WM_QUIT). Held for each
  // use; cleared when the dialog is gone. Never held while the answers' lock is taken.
  std::mutex windowLock;
  UpdaterWindow* window = nullptr;

  // The current worker's gate and the program's requests, written by the dialog's thread.
  std::mutex stateLock;
  std::shared_ptr<AnswerGate> gate;
  bool retryRequested = false;
  bool closing = false;
  bool setupRuns = false;        // the worker waits for the setup program
  bool closeAfterSetup = false;  // the window was asked to close meanwhile

  void show() override {
    std::lock_guard<std::mutex> lock(windowLock);
    if (window) window->show(5);
  }
  void tellPage(const std::wstring& function, const std::wstring& argument) override {
    std::lock_guard<std::mutex> lock(windowLock);
    if (window) window->callPage(function, argument);
  }
  void postQuit() {
    std::lock_guard<std::mutex> lock(windowLock);
    if (window) PostMessageW(window->hwnd(), WM_QUIT, 0, 0);
  }
  void setupRunning(bool running) override {
    std::lock_guard<std::mutex> lock(stateLock);
    setupRuns = running;
    // The close that waited goes on: the worker ends at its next step, the watcher ends the
    // program.
    if (!running && closeAfterSetup && gate) gate->end(kAttemptEndsProgram);
  }
  std::shared_ptr<AnswerGate> currentGate() {
    std::lock_guard<std::mutex> lock(stateLock);
    return gate;
  }
};

struct WorkerContext {
  std::shared_ptr<FlowState> state;
  std::shared_ptr<AnswerGate> gate;
};

DWORD workerMain(WorkerContext& context) {
  FlowState& state = *context.state;
  AnswerGate& gate = *context.gate;
  // The page must be there before anything is asked. It is set for every worker after the
  // first; a page that never loads ends the program instead of leaving it invisible for ever.
  if (!state.pageReady.valid()) return kAttemptEndsProgram;
  const ULONGLONG deadline = GetTickCount64() + state.bounds.pageReadyWaitMs;
  for (;;) {
    if (const auto ended = gate.endCode()) return static_cast<DWORD>(*ended);
    if (WaitForSingleObject(state.pageReady.get(), 100) == WAIT_OBJECT_0) break;
    if (GetTickCount64() >= deadline) return kAttemptEndsProgram;
  }
  try {
    UpdateAttempt attempt(state.baseUrl, state.flags, state.askedOnce, state, gate,
                          state.bounds.workFolderOwners);
    return static_cast<DWORD>(attempt.run());
  } catch (const WorkerEnded& ended) {
    return static_cast<DWORD>(ended.exitCode);
  } catch (const std::exception&) {
    return kAttemptEndsProgram;  // out of memory and the like: the program ends
  }
}

ScopedHandle startWorker(const std::shared_ptr<FlowState>& state) {
  auto gate = std::make_shared<AnswerGate>();
  {
    std::lock_guard<std::mutex> lock(state->stateLock);
    state->gate = gate;
  }
  auto context = std::make_unique<WorkerContext>();
  context->state = state;
  context->gate = gate;
  return startOwningThread(std::move(context), &workerMain);
}

struct WatcherContext {
  std::shared_ptr<FlowState> state;
  ScopedHandle worker;
};

// Sees the exit code of every worker: 2 ends the program; a retry, once the old worker has
// unwound, starts the next one.
DWORD watcherMain(WatcherContext& context) {
  FlowState& state = *context.state;
  for (;;) {
    DWORD code = kAttemptEndsProgram;
    if (context.worker.valid()) {
      WaitForSingleObject(context.worker.get(), INFINITE);
      GetExitCodeThread(context.worker.get(), &code);
      context.worker.reset();
    }
    bool retry = false;
    {
      std::lock_guard<std::mutex> lock(state.stateLock);
      if (state.closing) return 0;
      retry = std::exchange(state.retryRequested, false);
    }
    if (!retry && code == static_cast<DWORD>(kAttemptEndsProgram)) {
      state.postQuit();
      return 0;
    }
    // The page holds the outcome: wait for a retry or the program's end.
    while (!retry) {
      WaitForSingleObject(state.watcherWake.get(), INFINITE);
      std::lock_guard<std::mutex> lock(state.stateLock);
      if (state.closing) return 0;
      retry = std::exchange(state.retryRequested, false);
    }
    context.worker = startWorker(context.state);
    if (!context.worker.valid()) {
      state.postQuit();
      return 0;
    }
  }
}

class ThreadedUpdateFlow final : public UpdateFlow {
 public:
  ThreadedUpdateFlow(std::wstring baseUrl, FlowBounds bounds)
      : state_(std::make_shared<FlowState>()) {
    state_->baseUrl = std::move(baseUrl);
    state_->bounds = bounds;
    state_->watcherWake.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  }
  ~ThreadedUpdateFlow() override { closeDown(0); }

  void start(UpdaterWindow& window) override {
    state_->flags = updateFlags(window.arguments());
    HANDLE ready = nullptr;
    DuplicateHandle(GetCurrentProcess(), window.pageReadyEvent(), GetCurrentProcess(), &ready,
                    SYNCHRONIZE, FALSE, 0);
    state_->pageReady.reset(ready);
    {
      std::lock_guard<std::mutex> lock(state_->windowLock);
      state_->window = &window;
    }
    auto watcher = std::make_unique<WatcherContext>();
    watcher->state = state_;
    watcher->worker = startWorker(state_);
    watcher_ = startOwningThread(std::move(watcher), &watcherMain);
  }

  void confirmUpdate() override { goOn(Question::Update); }

  void confirmRetry() override {
    std::lock_guard<std::mutex> lock(state_->stateLock);
    if (state_->closing) return;
    state_->retryRequested = true;
    if (state_->gate) state_->gate->end(kAttemptShown);  // the current worker, if it still runs
    SetEvent(state_->watcherWake.get());
  }

  void confirmRetryTooTimes(bool yes) override {
    if (yes)
      endWorker(kAttemptEndsProgram);
    else
      goOn(Question::RetryTooTimes);
  }

  void confirmCloseIe(bool yes) override {
    if (yes)
      goOn(Question::CloseIe);
    else
      endWorker(kAttemptEndsProgram);
  }

  bool holdCloseForSetup() override {
    std::lock_guard<std::mutex> lock(state_->stateLock);
    if (!state_->setupRuns || state_->closing) return false;
    state_->closeAfterSetup = true;
    return true;
  }

  void windowClosing() override { closeDown(kClosingWaitMs); }

 private:
  void goOn(Question question) {
    if (auto gate = state_->currentGate()) gate->goOn(question);
  }
  void endWorker(int exitCode) {
    if (auto gate = state_->currentGate()) gate->end(exitCode);
  }

  // The program is ending: the worker is ended and given a moment to unwind; nothing touches the
  // window from now on.
  void closeDown(DWORD waitMs) {
    {
      std::lock_guard<std::mutex> lock(state_->stateLock);
      state_->closing = true;
      if (state_->gate) state_->gate->end(kAttemptEndsProgram);
      SetEvent(state_->watcherWake.get());
    }
    // A worker may be inside a page call to the dialog that has just gone: let such calls
    // return (sent messages are handled while waiting) before the window is forgotten.
    while (!state_->windowLock.try_lock()) {
      MSG msg;
      PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
      Sleep(10);
    }
    state_->window = nullptr;
    state_->windowLock.unlock();
    if (watcher_.valid() && waitMs > 0) WaitForSingleObject(watcher_.get(), waitMs);
  }

  std::shared_ptr<FlowState> state_;
  ScopedHandle watcher_;
};

}  // namespace

std::unique_ptr<UpdateFlow> createUpdateFlow(const std::wstring& baseUrl, FlowBounds bounds) {
  return std::make_unique<ThreadedUpdateFlow>(baseUrl, bounds);
}

}  // namespace orv::updater
