#pragma once
// A built program's resources, read from its file as data: resource bytes by type, name and
// language, and the fixed and text parts of its version resource.
#include <windows.h>

#include <string>
#include <vector>

#include "scoped_handle.h"

namespace orv::test {

class ProgramResources {
 public:
  // `path`: the program as the running test sees it (see hostPath).
  explicit ProgramResources(std::wstring path);
  bool loaded() const { return module_.valid(); }
  HMODULE module() const { return module_.get(); }

  // The resource's bytes, empty when it is missing. Any language unless one is given.
  std::string bytes(LPCWSTR type, LPCWSTR name) const;
  std::string bytes(LPCWSTR type, LPCWSTR name, WORD language) const;

  // The fixed file version's two halves (major << 16 | minor, build << 16 | revision); false
  // when the program has no version resource.
  bool fileVersion(DWORD* high, DWORD* low) const;
  // A text of the version resource's "080404b0" block, empty when missing.
  std::wstring versionText(const wchar_t* name) const;

 private:
  std::vector<char> versionBlock() const;

  std::wstring path_;
  ScopedLibrary module_;
};

}  // namespace orv::test
