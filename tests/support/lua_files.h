#pragma once
// Lua script files for the engine tests, written into a fresh folder under the temporary folder.
#include <string>

#include "test_files.h"

namespace orv::test {

class ScriptFolder {
 public:
  ScriptFolder() : dir_(folder_.path().string()) {}

  const std::string& dir() const { return dir_; }

  // Writes `text` to `name` (which may hold sub-folders, "Script\\x.lua") and returns the path.
  std::string write(const std::string& name, const std::string& text) {
    const std::string path = dir_ + "\\" + name;
    writeFile(path, text);
    return path;
  }

 private:
  TempDir folder_;  // removed with everything in it
  std::string dir_;
};

}  // namespace orv::test
