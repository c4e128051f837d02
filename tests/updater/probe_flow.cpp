#include "probe_flow.h"

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "process_util.h"
#include "test_files.h"
#include "thread.h"

namespace orv::test {

namespace {

std::filesystem::path programFile(const wchar_t* name) {
  return std::filesystem::path(moduleDirectory() + name);
}

void log(const std::wstring& line) { appendFile(programFile(L"flow.log"), toUtf8(line) + "\n"); }

class ProbeFlow final : public updater::UpdateFlow {
 public:
  ~ProbeFlow() override { windowClosing(); }

  void start(updater::UpdaterWindow& window) override {
    auto context = std::make_unique<Context>();
    context->window = &window;
    context->stopping = &stopping_;
    thread_ = startOwningThread(std::move(context), &ProbeFlow::run);
  }
  void confirmUpdate() override { log(L"answer ConfirmUpdate"); }
  void confirmRetry() override { log(L"answer ConfirmRetry"); }
  void confirmRetryTooTimes(bool yes) override {
    log(std::wstring(L"answer ConfirmRetryTooTimes ") + (yes ? L"true" : L"false"));
  }
  void confirmCloseIe(bool yes) override {
    log(std::wstring(L"answer ConfirmCloseIe ") + (yes ? L"true" : L"false"));
  }
  void windowClosing() override {
    stopping_.store(true);
    if (thread_.valid()) WaitForSingleObject(thread_.get(), INFINITE);
    thread_.reset();
  }

 private:
  struct Context {
    updater::UpdaterWindow* window = nullptr;
    std::atomic<bool>* stopping = nullptr;
  };

  static void run(Context& context) {
    if (WaitForSingleObject(context.window->pageReadyEvent(), 30000) != WAIT_OBJECT_0) {
      log(L"page never ready");
      return;
    }
    log(L"page ready");
    std::ifstream in(programFile(L"flow_probe.txt"), std::ios::binary);
    std::string raw;
    while (std::getline(in, raw) && !context.stopping->load()) {
      if (!raw.empty() && raw.back() == '\r') raw.pop_back();
      std::wistringstream line(fromUtf8(raw));
      std::wstring verb, function, argument;
      line >> verb;
      if (verb == L"show") {
        int code = 0;
        line >> code;
        context.window->show(code);
        log(L"shown " + std::to_wstring(code));
      } else if (verb == L"call") {
        line >> function;
        std::getline(line >> std::ws, argument);
        const LRESULT result = context.window->callPage(function, argument);
        log(L"result " + function + L" " + std::to_wstring(result));
      } else if (verb == L"sleep") {
        DWORD ms = 0;
        line >> ms;
        Sleep(ms);
      }
    }
    log(L"probe done");
  }

  std::atomic<bool> stopping_{false};
  ScopedHandle thread_;
};

}  // namespace

bool probeScriptPresent() {
  return GetFileAttributesW((moduleDirectory() + L"flow_probe.txt").c_str()) !=
         INVALID_FILE_ATTRIBUTES;
}

std::unique_ptr<updater::UpdateFlow> createProbeFlow() { return std::make_unique<ProbeFlow>(); }

}  // namespace orv::test
