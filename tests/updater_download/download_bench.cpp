// Fetches one URL with DownloadOneFile (no retries), or with "--wininet" first through the
// WinINet client alone (DownloadFile_Https, which takes plain HTTP too), and prints the byte count,
// the time inside the program and the process's peak working set: the downloading half of
// tools/bench-download.sh. With "--bounds DEADLINE_MS IDLE_MS MAX_BYTES" first, the download runs
// within those bounds instead of the program's own (the misbehaving server's cases).
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "downloader.h"

int wmain(int argc, wchar_t** argv) {
  if (argc == 7 && std::wstring(argv[1]) == L"--bounds") {
    orv::updater::DownloadBounds bounds;
    bounds.deadlineMs = std::wcstoull(argv[2], nullptr, 10);
    bounds.idleMs = std::wcstoul(argv[3], nullptr, 10);
    bounds.maxBytes = std::wcstoull(argv[4], nullptr, 10);
    orv::updater::setDownloadBoundsForTesting(bounds);
    argv += 4;
    argc -= 4;
  }
  const bool wininet = argc == 4 && std::wstring(argv[1]) == L"--wininet";
  if (wininet) ++argv;
  if (argc != 3 && !wininet) {
    std::fwprintf(stderr,
                  L"usage: download_bench [--bounds DEADLINE_MS IDLE_MS MAX_BYTES] "
                  L"[--wininet] URL LOCALPATH\n");
    return 2;
  }
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  std::uint64_t bytes = 0;
  if (wininet) {
    if (orv::updater::DownloadFile_Https(argv[1], argv[2], &bytes) != orv::updater::kHttpsOk)
      bytes = 0;
  } else {
    bytes = orv::updater::DownloadOneFile(argv[1], argv[2], 0);
  }
  QueryPerformanceCounter(&end);
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
  std::printf("bytes=%llu ms=%.0f peak_working_set_mib=%.1f\n",
              static_cast<unsigned long long>(bytes),
              1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart,
              counters.PeakWorkingSetSize / (1024.0 * 1024.0));
  return bytes != 0 ? 0 : 1;
}
