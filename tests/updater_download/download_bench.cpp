// Fetches one URL with DownloadOneFile (no retries) and prints the byte count, the time inside the
// program and the process's peak working set: the downloading half of
// tools/bench-download.sh. With "--bounds DEADLINE_MS IDLE_MS MAX_BYTES" first, the download runs
// within those bounds instead of the program's own (the misbehaving server's cases).
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>

#include "downloader.h"
#include "scoped_download_overrides.h"

int wmain(int argc, wchar_t** argv) {
  std::unique_ptr<orv::test::ScopedDownloadBoundsForTesting> within;
  if (argc == 7 && std::wstring(argv[1]) == L"--bounds") {
    orv::updater::DownloadBounds bounds;
    bounds.deadlineMs = std::wcstoull(argv[2], nullptr, 10);
    bounds.idleMs = std::wcstoul(argv[3], nullptr, 10);
    bounds.maxBytes = std::wcstoull(argv[4], nullptr, 10);
    within = std::make_unique<orv::test::ScopedDownloadBoundsForTesting>(bounds);
    argv += 4;
    argc -= 4;
  }
  if (argc != 3) {
    std::fwprintf(
        stderr, L"usage: download_bench [--bounds DEADLINE_MS IDLE_MS MAX_BYTES] URL LOCALPATH\n");
    return 2;
  }
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  const std::uint64_t bytes = orv::updater::DownloadOneFile(argv[1], argv[2], 0);
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
