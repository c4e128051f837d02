#pragma once
// Lua script files for the engine tests, written into a fresh folder under the temporary folder.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace orv::test {

class ScriptFolder {
 public:
  ScriptFolder() {
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    static int counter = 0;
    dir_ = std::string(temp) + "kavrel-test-" + std::to_string(::GetCurrentProcessId()) + "-" +
           std::to_string(++counter);
    ::CreateDirectoryA(dir_.c_str(), nullptr);
  }
  ~ScriptFolder() {
    for (const auto& f : files_) ::DeleteFileA(f.c_str());
    for (auto it = dirs_.rbegin(); it != dirs_.rend(); ++it) ::RemoveDirectoryA(it->c_str());
    ::RemoveDirectoryA(dir_.c_str());
  }
  ScriptFolder(const ScriptFolder&) = delete;
  ScriptFolder& operator=(const ScriptFolder&) = delete;

  const std::string& dir() const { return dir_; }

  // Writes `text` to `name` (which may hold one sub-folder, "Script\\x.lua") and returns the path.
  std::string write(const std::string& name, const std::string& text) {
    size_t slash = name.find('\\');
    if (slash != std::string::npos) {
      std::string sub = dir_ + "\\" + name.substr(0, slash);
      if (::CreateDirectoryA(sub.c_str(), nullptr)) dirs_.push_back(sub);
    }
    std::string path = dir_ + "\\" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f) {
      std::fwrite(text.data(), 1, text.size(), f);
      std::fclose(f);
    }
    files_.push_back(path);
    return path;
  }

 private:
  std::string dir_;
  std::vector<std::string> files_;
  std::vector<std::string> dirs_;
};

}  // namespace orv::test
