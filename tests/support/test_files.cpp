#include "test_files.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace orv::test {

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  path_ = fs::temp_directory_path() /
          ("orv-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
  fs::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

void writeFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

void appendFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::app);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string toUtf8(const std::wstring& text) { return fs::path(text).u8string(); }

std::wstring fromUtf8(const std::string& text) { return fs::u8path(text).wstring(); }

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

fs::path hostPath(const std::string& linuxPath) {
#ifdef _WIN32
  std::string p = "Z:" + linuxPath;
  for (char& c : p)
    if (c == '/') c = '\\';
  return fs::path(p);
#else
  return fs::path(linuxPath);
#endif
}

const std::string& devPrivateKey() {
  static const std::string key = readFile(hostPath(ORV_DEV_PRIVATE_KEY));
  return key;
}

const std::string& devPublicKey() {
#ifdef ORV_DEV_PUBLIC_KEY
  static const std::string key = readFile(hostPath(ORV_DEV_PUBLIC_KEY));
  return key;
#else
  static const std::string none;
  return none;
#endif
}

}  // namespace orv::test
