// The core host's start-up check, run for real: a probe program in a signed folder, its
// message box closed the way a user would.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>

#include "file_manifest.h"
#include "manifest_signature.h"
#include "manifest_writer.h"
#include "processes.h"
#include "product.h"
#include "test_files.h"
#include "scoped_handle.h"

namespace orv {
namespace {

namespace fs = std::filesystem;

struct ProbeRun {
  DWORD exitCode = 0xFFFFFFFF;
  bool sawMessage = false;
  std::wstring text;
  bool ownerless = false;
};

// Starts the probe and, while it runs, answers its message box by pressing OK.
ProbeRun runProbe(const fs::path& exe) {
  ProbeRun run;
  const test::Process probe = test::startProgram(exe.wstring(), L"");
  if (!probe.handle) return run;
  for (int i = 0; i < 600; ++i) {
    if (WaitForSingleObject(probe.handle.get(), 50) == WAIT_OBJECT_0) break;
    HWND box = FindWindowW(L"#32770", kProductName);
    if (!box) continue;
    DWORD pid = 0;
    GetWindowThreadProcessId(box, &pid);
    if (pid != probe.pid) continue;
    run.sawMessage = true;
    run.ownerless = GetWindow(box, GW_OWNER) == nullptr;
    wchar_t text[256] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 256);  // the message box's text control
    run.text = text;
    SendMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
  }
  WaitForSingleObject(probe.handle.get(), 10000);
  GetExitCodeProcess(probe.handle.get(), &run.exitCode);
  return run;
}

class IntegrityCheck : public testing::Test {
 protected:
  void SetUp() override {
    if (std::string(ORV_DEV_PRIVATE_KEY).empty()) GTEST_SKIP() << "no signing key";
    exe_ = dir_ / "OrvalinexCore.exe";
    fs::copy_file(test::hostPath(ORV_INTEGRITY_PROBE), exe_);
    test::writeFile(dir_ / "Script" / "CoreConfig.lua", "caption_width = 900\n");
    test::writeFile(dir_ / "res" / "page.html", "<html></html>");
  }
  void sign() {
    const std::string xml = manifestXml(listInstallation(dir_.path()));
    test::writeFile(dir_ / "Digest.xml", signManifest(xml, test::devPrivateKey()));
  }
  bool carriesDevKey() {
    FileManifest m(dir_.wpath());
    return m.verifyAndLoad();
  }

  test::TempDir dir_;
  fs::path exe_;
};

TEST_F(IntegrityCheck, IntactInstallationStartsWithoutAMessage) {
  sign();
  if (!carriesDevKey()) GTEST_SKIP() << "this build carries another manifest public key";
  const ProbeRun run = runProbe(exe_);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_FALSE(run.sawMessage);
}

TEST_F(IntegrityCheck, AlteredFileShowsTheMessageThenFails) {
  sign();
  if (!carriesDevKey()) GTEST_SKIP() << "this build carries another manifest public key";
  test::writeFile(dir_ / "Script" / "CoreConfig.lua", "caption_width = 901\n");
  const ProbeRun run = runProbe(exe_);
  EXPECT_TRUE(run.sawMessage);
  EXPECT_TRUE(run.ownerless);
  EXPECT_EQ(run.text, L"助手文件不完整，请联网后更新!");
  EXPECT_EQ(run.exitCode, 1u);
}

TEST_F(IntegrityCheck, MissingOrUnsignedManifestShowsTheMessage) {
  ProbeRun run = runProbe(exe_);
  EXPECT_TRUE(run.sawMessage);
  EXPECT_EQ(run.exitCode, 1u);
  test::writeFile(dir_ / "Digest.xml", manifestXml(listInstallation(dir_.path())));
  run = runProbe(exe_);
  EXPECT_TRUE(run.sawMessage);
  EXPECT_EQ(run.exitCode, 1u);
}

TEST_F(IntegrityCheck, MismatchInTheExtraManifestAlsoRefuses) {
  sign();
  if (!carriesDevKey()) GTEST_SKIP() << "this build carries another manifest public key";
  std::vector<ManifestEntry> extra{
      {L"new.dll", L"", L"qZk+NkcGgWq6PiVxeFDCbJzQ2J0=", VersionNumber(1, 0, 0, 0)}};
  test::writeFile(dir_ / "Digest_n.xml", manifestXml(extra));
  const ProbeRun run = runProbe(exe_);
  EXPECT_TRUE(run.sawMessage);
  EXPECT_EQ(run.exitCode, 1u);
}

}  // namespace
}  // namespace orv
