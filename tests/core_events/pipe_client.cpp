// A pipe client in a process of its own: writes prefix + command [+ "||" + argument] to the pipe
// named on its command line in one write. Exit code 0 when the write went through.
//   pipe_client <pipe name> <command> [argument]      ("-" as argument: no separator)
#include <windows.h>

#include <string>

#include "core_pipe_server.h"
#include "pipe_message.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  const std::wstring pipe = argv[1];
  const std::u16string command(argv[2], argv[2] + std::wcslen(argv[2]));
  std::u16string argument;
  bool separator = true;
  if (argc > 3) {
    if (std::wstring(argv[3]) == L"-")
      separator = false;
    else
      argument.assign(argv[3], argv[3] + std::wcslen(argv[3]));
  }
  const std::string bytes =
      orv::pipeMessageBytes(u"AssistantOrvalinex", command, argument, separator);
  return orv::writePipeMessage(pipe, bytes, 30000) ? 0 : 1;
}
