// Test helper: holds a named mutex, as a running program would, until its standard input ends.
// Prints "ready" once the mutex exists.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  HANDLE mutex = ::CreateMutexA(nullptr, FALSE, argv[1]);
  if (!mutex) return 3;
  std::printf("ready\n");
  std::fflush(stdout);
  char buffer[64];
  DWORD n = 0;
  while (::ReadFile(::GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &n, nullptr) &&
         n > 0) {
  }
  ::CloseHandle(mutex);
  return 0;
}
