// Fetches one URL with DownloadOneFile (no retries) and prints the byte count, the time inside the
// program and the process's peak working set: the downloading half of tools/bench-download.sh.
#include <windows.h>
#include <psapi.h>

#include <cstdio>

#include "downloader.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fwprintf(stderr, L"usage: download_bench URL LOCALPATH\n");
    return 2;
  }
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  const std::uint32_t bytes = orv::DownloadOneFile(argv[1], argv[2], 0);
  QueryPerformanceCounter(&end);
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
  std::printf("bytes=%lu ms=%.0f peak_working_set_mib=%.1f\n", static_cast<unsigned long>(bytes),
              1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart,
              counters.PeakWorkingSetSize / (1024.0 * 1024.0));
  return bytes != 0 ? 0 : 1;
}
