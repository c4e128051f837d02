// A pipe client in a process of its own: writes prefix + command [+ "||" + argument] to the pipe
// named on its command line in one write. Exit code 0 when the write went through; prints the
// moment of the write (milliseconds since 1970, for the benchmark's quit times).
//   pipe_client <pipe name> <command> [argument]      ("-" as argument: no separator)
// The prefix is the core host's, or ORV_PIPE_PREFIX (the notifier's "PopOrvalinex").
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "pipe_client.h"
#include "pipe_message.h"
#include "product.h"

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
  wchar_t prefix[64] = L"AssistantOrvalinex";
  ::GetEnvironmentVariableW(L"ORV_PIPE_PREFIX", prefix, 64);
  const std::string bytes = orv::pipeMessageBytes(
      std::u16string(prefix, prefix + std::wcslen(prefix)), command, argument, separator);
  if (!orv::writePipeMessage(pipe, bytes, 30000)) return 1;
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  const unsigned long long ticks =
      (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  std::printf("written %llu\n", (ticks - 116444736000000000ULL) / 10000);
  return 0;
}
