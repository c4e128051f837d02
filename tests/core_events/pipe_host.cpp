// Stands in for the running core host: a main window whose window procedure ends the process with
// exit code 0 on a WM_QUIT message (as the main dialog's does), a Kavrel engine over the
// configuration named on the command line, and the command pipe served by its own thread with the
// program's default handler, its name and its security attributes. Every command handled is
// appended as a line to the log file, after the default handling.
//   pipe_host <configuration script> <log file>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "Kavrel.h"
#include "ansi_text.h"
#include "core_pipe_server.h"

namespace {

class LoggingHandler : public orv::core::CoreCommandHandler {
 public:
  LoggingHandler(HWND window, LuaObject* engine, std::wstring log)
      : inner_(window, engine), log_(std::move(log)) {}
  void popAss(const std::u16string& argument) override {
    inner_.popAss(argument);
    append("PopAss");
  }
  void quit(const std::u16string& argument) override {
    append("QuitCmd");  // first: the default handling ends the process
    inner_.quit(argument);
  }
  void downloadError(const std::u16string& argument) override {
    inner_.downloadError(argument);
    append("DownLoadErrorCmd");
  }
  void userConfirm(const std::u16string& argument) override {
    inner_.userConfirm(argument);
    append("UserConfirmCmd");
  }

 private:
  void append(const char* command) {
    FILE* f = _wfopen(log_.c_str(), L"ab");
    if (f) {
      std::fprintf(f, "%s\n", command);
      std::fclose(f);
    }
  }
  orv::core::DefaultCoreCommandHandler inner_;
  std::wstring log_;
};

LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_QUIT) std::exit(0);  // what the main dialog does with a WM_QUIT message
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  WNDCLASSW wc = {};
  wc.lpfnWndProc = windowProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"OrvCorePipeHost";
  ::RegisterClassW(&wc);
  HWND window = ::CreateWindowExW(0, wc.lpszClassName, L"pipe host", WS_OVERLAPPEDWINDOW, 0, 0, 300,
                                  200, nullptr, nullptr, wc.hInstance, nullptr);
  if (!window) return 3;

  luaFactory* factory = nullptr;
  LuaObject* engine = nullptr;
  DllGetClassFactoryObject(&factory);
  if (!factory) return 4;
  factory->Createlua(&engine);
  if (!engine || !engine->InitCoreLuaEnv(orv::toNarrow(argv[1]).c_str())) return 5;

  const orv::PipeServerThread pipe =
      orv::core::startCorePipeServer(std::make_unique<LoggingHandler>(window, engine, argv[2]));
  if (!pipe) return 6;

  MSG m;
  while (::GetMessageW(&m, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&m);
    ::DispatchMessageW(&m);
  }
  return 7;  // never reached by the tests: the host ends through QuitCmd or is killed
}
