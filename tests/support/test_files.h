#pragma once
// Temporary folders and files for tests, on Linux and under Wine alike.
#include <filesystem>
#include <string>

namespace orv::test {

// A fresh folder below the system's temporary folder, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::wstring wpath() const { return path_.wstring(); }
  std::filesystem::path operator/(const std::string& rel) const { return path_ / rel; }

 private:
  std::filesystem::path path_;
};

void writeFile(const std::filesystem::path& path, const std::string& bytes);
void appendFile(const std::filesystem::path& path, const std::string& bytes);
std::string readFile(const std::filesystem::path& path);

// A path the build gave as a Linux path, as the running program sees it (Z:\... under Wine).
std::filesystem::path hostPath(const std::string& linuxPath);

// UTF-8 and UTF-16 (Windows) or UTF-32 (Linux) texts.
std::string toUtf8(const std::wstring& text);
std::wstring fromUtf8(const std::string& text);

// The development key pair the tests sign with.
const std::string& devPrivateKey();
const std::string& devPublicKey();

}  // namespace orv::test
