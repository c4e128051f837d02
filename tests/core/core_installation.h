#pragma once
// An installed core host for process tests: a folder with the program, the script engines, the
// stand-in updater, a Lua configuration and a signed manifest, plus helpers to start the
// program and watch its windows and children.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "processes.h"
#include "test_files.h"
#include "scoped_handle.h"

namespace orv::test {

// A page without scripts; every installation has it as "page.htm".
extern const char kPlainPage[];

class CoreInstallation {
 public:
  // Lays out <base>\orv core\ (a folder name with a blank) with the given configuration script
  // and page.htm;
  // `program` is the core host build to install as OrvalinexCore.exe.
  explicit CoreInstallation(const std::string& luaConfig, const char* program = nullptr);
  ~CoreInstallation() = default;
  CoreInstallation(const CoreInstallation&) = delete;
  CoreInstallation& operator=(const CoreInstallation&) = delete;

  // The installed folder with its trailing backslash, and the folder above it.
  std::wstring dir() const;
  std::wstring base() const;
  std::wstring programPath() const { return dir() + L"OrvalinexCore.exe"; }

  // Writes Digest.xml, signed with the development key, over every file installed so far.
  void sign();
  void writeFile(const std::wstring& relative, const std::string& bytes) const;
  bool exists(const std::wstring& relative) const;
  std::string readFile(const std::wstring& relative) const;
  // The stand-in updater's record: one command line per start.
  std::vector<std::wstring> updaterCalls() const;

 private:
  TempDir base_;  // removed with the installation
  std::filesystem::path dir_;
};

// A test that installs the core host and runs one copy of it at a time; the copy still running at
// the end of a test is ended.
class RunningCoreTest : public ::testing::Test {
 protected:
  void TearDown() override;

  // Installs `luaConfig` (and `page` as page.htm when given) for `program` (the test build when
  // null) and signs the installation.
  void install(const std::string& luaConfig, const char* page = nullptr,
               const char* program = nullptr);
  // Starts the installed program; returns its main window once the dialog's message loop runs
  // (the window shows before the dialog's set-up ends), or null.
  HWND run(const std::wstring& arguments = L"-nokey");
  bool running() const { return isRunning(process_); }
  // A file of the installed folder, or empty when it does not exist.
  std::string fileText(const std::wstring& relative) const;

  std::unique_ptr<CoreInstallation> install_;
  Process process_;
};

}  // namespace orv::test
