#include "core_installation.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <sstream>

#include "manifest_signature.h"
#include "manifest_writer.h"

namespace fs = std::filesystem;

namespace orv::test {

namespace {

std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

}  // namespace

const char kPlainPage[] = "<html><head><title>core</title></head><body></body></html>\n";

CoreInstallation::CoreInstallation(const std::string& luaConfig, const char* program) {
  dir_ = base_.path() / L"orv core";
  fs::create_directories(dir_ / L"Script");
  const auto copy = [](const std::wstring& from, const fs::path& to) {
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  };
  copy(hostPath(program ? program : ORV_CORE_TEST_HOST), dir_ / L"OrvalinexCore.exe");
  copy(hostPath(ORV_KAVREL_DLL), dir_ / L"Kavrel.dll");
  copy(hostPath(ORV_JORNET_DLL), dir_ / L"Jornet.dll");
  copy(hostPath(ORV_STAND_IN_UPDATER), dir_ / L"OrvalinexUpdate.exe");
  // Where an unquoted "<base>\orv core\OrvalinexUpdate.exe" would be taken for "<base>\orv.exe".
  copy(hostPath(ORV_STAND_IN_UPDATER), base_.path() / L"orv.exe");
  writeFile(L"Script\\CoreConfig.lua", luaConfig);
  writeFile(L"page.htm", kPlainPage);
}

std::wstring CoreInstallation::dir() const { return dir_.wstring() + L"\\"; }
std::wstring CoreInstallation::base() const { return base_.wpath() + L"\\"; }

void CoreInstallation::sign() {
  const std::string xml = manifestXml(listInstallation(dir_));
  const std::string signedXml = signManifest(xml, devPrivateKey());
  ASSERT_FALSE(signedXml.empty()) << "the development key could not sign";
  writeFile(L"Digest.xml", signedXml);
}

void CoreInstallation::writeFile(const std::wstring& relative, const std::string& bytes) const {
  std::ofstream out(dir_ / relative, std::ios::binary | std::ios::trunc);
  out << bytes;
}

bool CoreInstallation::exists(const std::wstring& relative) const {
  return fs::exists(dir_ / relative);
}

std::string CoreInstallation::readFile(const std::wstring& relative) const {
  return readAll(dir_ / relative);
}

std::vector<std::wstring> CoreInstallation::updaterCalls() const {
  std::vector<std::wstring> calls;
  const std::string bytes = readFile(L"updater-calls.txt");
  std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
  std::size_t start = 0;
  for (std::size_t nl; (nl = text.find(L'\n', start)) != std::wstring::npos; start = nl + 1)
    calls.push_back(text.substr(start, nl - start));
  return calls;
}

void RunningCoreTest::TearDown() {
  endIfRunning(process_);
  // What the core host started lets go of its files before the folder goes.
  if (install_) {
    EXPECT_TRUE(waitUntil([&] { return !runsBelow(install_->dir()); }, 10000));
  }
  install_.reset();
}

void RunningCoreTest::install(const std::string& luaConfig, const char* page, const char* program) {
  install_ = std::make_unique<CoreInstallation>(luaConfig, program);
  if (page) install_->writeFile(L"page.htm", page);
  install_->sign();
}

HWND RunningCoreTest::run(const std::wstring& arguments) {
  process_ = startProgram(install_->programPath(), arguments);
  HWND window = nullptr;
  EXPECT_TRUE(waitUntil([&] { return (window = findMainWindow(process_.pid)) != nullptr; }))
      << "the main window did not appear";
  WaitForInputIdle(process_.handle.get(), 10000);
  return window;
}

std::string RunningCoreTest::fileText(const std::wstring& relative) const {
  return install_->exists(relative) ? install_->readFile(relative) : std::string();
}

}  // namespace orv::test
