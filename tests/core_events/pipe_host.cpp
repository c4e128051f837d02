// Stands in for the running core host: a main window whose window procedure ends the process with
// exit code 0 on a WM_QUIT message (as the main dialog's does), a Kavrel engine over the
// configuration named on the command line, and the command pipe served by its own thread with the
// program's default handler, its name and its security attributes. Every command handled is
// appended as a line to the log file, after the default handling ("QuitCmd" before it).
//   pipe_host <configuration script> <log file>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "Kavrel.h"
#include "ansi_text.h"
#include "core_command_handler.h"
#include "core_pipe_server.h"

namespace {

// Appends `command` as a line to the log file `log`.
void append(const std::wstring& log, const std::u16string& command) {
  FILE* f = _wfopen(log.c_str(), L"ab");
  if (!f) return;
  std::fprintf(f, "%s\n", orv::toNarrow(std::wstring(command.begin(), command.end())).c_str());
  std::fclose(f);
}

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

  // The program's handler through its table; each command it ran logged after it, and "QuitCmd"
  // before it, since its handling ends the process.
  auto handler = std::make_shared<orv::core::DefaultCoreCommandHandler>(window, engine);
  const std::wstring log = argv[2];
  const orv::PipeServerThread pipe = orv::startPipeServerThread(std::make_unique<orv::PipeServer>(
      orv::core::corePipeOptions(), [handler, log](const orv::PipeMessage& message) {
        const auto run = orv::pipeCommandMethod(orv::core::kCoreCommands, message.command);
        if (!run) return;
        if (message.command == u"QuitCmd") append(log, message.command);
        (handler.get()->*run)(message.argument);
        if (message.command != u"QuitCmd") append(log, message.command);
      }));
  if (!pipe) return 6;

  MSG m;
  while (::GetMessageW(&m, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&m);
    ::DispatchMessageW(&m);
  }
  return 7;  // never reached by the tests: the host ends through QuitCmd or is killed
}
