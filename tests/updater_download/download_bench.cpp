// Fetches one URL with DownloadOneFile (no retries), or with "--wininet" first through the
// WinINet client alone (DownloadFile_Https, which takes plain HTTP too), and prints the byte count,
// the time inside the program and the process's peak working set: the downloading half of
// tools/bench-download.sh.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>

#include "downloader.h"

int wmain(int argc, wchar_t** argv) {
  const bool wininet = argc == 4 && std::wstring(argv[1]) == L"--wininet";
  if (wininet) ++argv;
  if (argc != 3 && !wininet) {
    std::fwprintf(stderr, L"usage: download_bench [--wininet] URL LOCALPATH\n");
    return 2;
  }
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  std::uint32_t bytes = 0;
  if (wininet) {
    if (orv::DownloadFile_Https(argv[1], argv[2], &bytes) != orv::kHttpsOk) bytes = 0;
  } else {
    bytes = orv::DownloadOneFile(argv[1], argv[2], 0);
  }
  QueryPerformanceCounter(&end);
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
  std::printf("bytes=%lu ms=%.0f peak_working_set_mib=%.1f\n", static_cast<unsigned long>(bytes),
              1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart,
              counters.PeakWorkingSetSize / (1024.0 * 1024.0));
  return bytes != 0 ? 0 : 1;
}
