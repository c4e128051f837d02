#pragma once
// The loopback server that run_with_server.sh starts beside a test program, as the test sees it.
#include <filesystem>
#include <string>

namespace orv::test {

// "http://127.0.0.1:<port>/" for "http", "selfsigned", "expired" or "wrongname" (the last three
// are HTTPS with that certificate). Fails the test when the server is not there.
std::wstring serverBase(const char* which);

// The folder the server's /files/ path serves (a Z:\ path under Wine).
std::filesystem::path servedFolder();

// Every request path the server has seen, one a line.
std::string serverLog();

// How many requests with exactly this path the server has seen.
int requestCount(const std::string& path);

// The bytes of the server's /data/<size>/ pattern.
std::string patternBytes(std::size_t size);

// True when running under Wine.
bool underWine();

bool fileThere(const std::filesystem::path& path);

}  // namespace orv::test

namespace orv::test {

// Runs a command line to its end, at most `timeoutMs` (then it is ended with exit code 99); the
// exit code, or -1000 when it could not start.
long runProcess(const std::wstring& commandLine, unsigned long timeoutMs);

// Waits until the file exists, at most `timeoutMs`.
bool waitForFile(const std::filesystem::path& path, unsigned long timeoutMs);

// A file's bytes read as UTF-16 text.
std::wstring readWideFile(const std::filesystem::path& path);

}  // namespace orv::test
