// The whole update flow under Wine: the updater's test build runs as a real process in a folder
// of its own with the stand-in page (which records every page call in page.log and answers as
// each test says), against the loopback server serving an update signed now with the development
// key, with the product's real registry values, stand-in processes named like the tray notifier,
// the core host and Internet Explorer, and a stand-in setup program that records its run in a
// folder of the test's (it runs from the updater's own work folder, made new by each attempt).
#include <windows.h>
#include <aclapi.h>

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "admin_folder.h"
#include "file_manifest.h"
#include "folder_link.h"
#include "loopback.h"
#include "manifest_signature.h"
#include "manifest_writer.h"
#include "process_control.h"
#include "processes.h"
#include "product.h"
#include "product_settings.h"
#include "test_files.h"
#include "test_repository.h"
#include "scoped_handle.h"

namespace fs = std::filesystem;

namespace orv::test {
namespace {

constexpr DWORD kStopped = 0xFFFFFFF7;  // the exit code of a stopped program
const std::string kInitUpdate =
    "InitUpdate|{\"downloadCount\":0,\"progressWidth\":650,\"removeCount\":0}\n";

std::string narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }
std::wstring wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// The page's size of a file above 1 KiB: KiB up to 1 MiB, then MiB.
std::string kbText(std::size_t bytes) {
  char text[32];
  if (bytes <= 1048576u)
    std::snprintf(text, sizeof text, "%0.2lfKb", static_cast<double>(bytes) / 1024.0);
  else
    std::snprintf(text, sizeof text, "%0.2lfM", static_cast<double>(bytes) / 1048576.0);
  return text;
}

// A manifest key of the same size as the product's, which the product does not know.
std::string otherPrivateKey() {
  EVP_PKEY* key = EVP_RSA_gen(1024);
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio, &data);
  std::string pem(data, static_cast<std::size_t>(size));
  BIO_free(bio);
  EVP_PKEY_free(key);
  return pem;
}

// Sets the folder's DACL (SDDL "D:...") as an administrator's tool would.
bool setFolderDacl(const fs::path& folder, const wchar_t* sddl) {
  FolderDescriptor descriptor(sddl);
  std::wstring path = folder.wstring();
  return descriptor.valid() &&
         SetNamedSecurityInfoW(path.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                               nullptr, descriptor.dacl(), nullptr) == ERROR_SUCCESS;
}

class UpdateFlowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int n = 0;
    const std::string tag =
        "flow" + std::to_string(++n) + "-" + std::to_string(GetCurrentProcessId());
    root_ = temp_.path();
    program_ = root_ / "updater";
    installed_ = root_ / "Program Files" / "Orvalinex";
    tmp_ = root_ / "tmp";
    setup_ = root_ / "setup";
    running_ = root_ / "running";
    served_ = servedFolder() / tag;
    for (const fs::path& d : {program_, installed_, tmp_, setup_, running_, served_})
      fs::create_directories(d);
    fs::copy_file(hostPath(ORV_UPDATER_TEST_HOST), program_ / kUpdaterFileName);
    standIn_ = readFile(hostPath(ORV_STAND_IN_PROGRAM));

    // The installation: a core host (the stand-in, which records its start) and a library,
    // listed in a signed manifest.
    writeFile(installed_ / kCoreFileName, standIn_);
    writeFile(installed_ / "lib.dll", "installed library");
    signInstallation();
    settings_.setText(L"Version", L"1.1.19.1223");
    settings_.setText(L"Path", installed_.wstring());
    settings_.remove(L"RetryTimes");

    baseUrl_ = serverBase("http") + L"files/" + wide(tag) + L"/";
    // The updater inherits these: its server and a temporary folder of this test's own.
    SetEnvironmentVariableW(L"ORV_TEST_UPDATE_BASE_URL", baseUrl_.c_str());
    savedTmp_ = environment(L"TMP");
    savedTemp_ = environment(L"TEMP");
    SetEnvironmentVariableW(L"TMP", tmp_.wstring().c_str());
    SetEnvironmentVariableW(L"TEMP", tmp_.wstring().c_str());
    SetEnvironmentVariableW(L"ORV_SETUP_STAND_IN_FOLDER", setup_.wstring().c_str());
  }

  void TearDown() override {
    for (auto& p : processes_) endIfRunning(*p);
    SetEnvironmentVariableW(L"ORV_TEST_UPDATE_BASE_URL", nullptr);
    SetEnvironmentVariableW(L"ORV_TEST_PAGE_READY_MS", nullptr);
    SetEnvironmentVariableW(L"ORV_SETUP_STAND_IN_FOLDER", nullptr);
    SetEnvironmentVariableW(L"ORV_TEST_SHELL_PID", nullptr);
    SetEnvironmentVariableW(L"TMP", savedTmp_.empty() ? nullptr : savedTmp_.c_str());
    SetEnvironmentVariableW(L"TEMP", savedTemp_.empty() ? nullptr : savedTemp_.c_str());
  }

  static std::wstring environment(const wchar_t* name) {
    wchar_t value[4096] = {};
    const DWORD n = GetEnvironmentVariableW(name, value, 4096);
    return n > 0 && n < 4096 ? std::wstring(value, n) : std::wstring();
  }

  void signInstallation() {
    writeFile(installed_ / "Digest.xml",
              signManifest(manifestXml(listInstallation(installed_)), devPrivateKey()));
  }

  // A file on the server: its bytes served at <base>/<path>/<name> and its entry listed with the
  // digest of `listedBytes` (the served bytes unless an altered copy is served).
  void serve(const std::string& path, const std::string& name, const std::string& bytes,
             const std::string& version, const std::string* listedBytes = nullptr) {
    const fs::path file = path.empty() ? served_ / name : served_ / path / name;
    fs::create_directories(file.parent_path());
    const fs::path listed = root_ / "listed.bin";
    writeFile(listed, listedBytes ? *listedBytes : bytes);
    writeFile(file, bytes);
    listed_.push_back({wide(name), wide(path), fileDigest(listed.wstring()),
                       VersionNumber::parse(wide(version))});
  }
  // The usual update: the updater first (with a version of its own, which is not the product's,
  // and the same minor number as the running one), a data file, then the setup program (the
  // last entry in key order).
  void serveUpdate(const std::string& version = "1.1.20.0", bool alterSetup = false) {
    serve("", narrow(kUpdaterFileName), "an updater", "1.1.99.0");
    serve("data", "b.bin", std::string(2048, 'b'), version);
    if (alterSetup) {
      const std::string altered = standIn_ + "altered";
      serve("setup", "OrvalinexSetup.exe", altered, version, &standIn_);
    } else {
      serve("setup", "OrvalinexSetup.exe", standIn_, version);
    }
  }
  // The signed manifest, then the trusted repository of everything served, as a release
  // publishes them.
  // Each publication's metadata has versions above the one before.
  void publish(bool sign = true, RepositoryOptions trust = {}) {
    const std::string xml = manifestXml(listed_);
    writeFile(served_ / "Digest.xml", sign ? signManifest(xml, devPrivateKey()) : xml);
    republish(trust);
  }
  // The trusted repository again, of what is served now.
  void republish(RepositoryOptions trust = {}) {
    trust.version = ++published_;
    writeRepository(served_, trust);
  }

  // The stand-in page with `answers`, and `after` script behind the page's own (which it may
  // override), in `folder` (the updater's by default).
  void writePage(const std::string& answers, const std::string& after = "",
                 const fs::path& folder = {}) {
    writeFile((folder.empty() ? program_ : folder) / "updater_page.html",
              "<html><head><script>\nvar answers = " + answers + ";\n" +
                  // The flow's tests need not wait out the real page's 3 s after completion.
                  "if (!answers.completeQuit) answers.completeQuit = 200;\n" +
                  readFile(hostPath(ORV_UPDATER_PAGE_JS)) + "\n" + after +
                  "</script></head><body></body></html>\n");
  }

  // A stand-in that stays running under `name` until it is stopped (or for 60 s).
  Process& runStandIn(const std::wstring& name, int copy = 0) {
    const fs::path dir = running_ / std::to_string(copy);
    fs::create_directories(dir);
    writeFile(dir / "stay.txt", "");
    if (!fs::exists(dir / name)) writeFile(dir / name, standIn_);
    processes_.push_back(std::make_unique<Process>(startProgram((dir / name).wstring(), L"")));
    Process& p = *processes_.back();
    EXPECT_TRUE(waitUntil([&] { return fs::exists(dir / "ran.txt"); }, 20000));
    return p;
  }

  Process& start(const std::wstring& arguments = L"") {
    processes_.push_back(std::make_unique<Process>(
        startProgram((program_ / kUpdaterFileName).wstring(), arguments)));
    return *processes_.back();
  }
  // Runs the updater to its end; its exit code (STILL_ACTIVE when it did not end in time).
  DWORD run(const std::wstring& arguments = L"", DWORD ms = 90000) {
    return waitForExit(start(arguments), ms);
  }

  std::string pageLog() const {
    return fs::exists(program_ / "page.log") ? readFile(program_ / "page.log") : std::string();
  }
  bool logged(const std::string& line) const {
    return ("\n" + pageLog()).find("\n" + line + "\n") != std::string::npos;
  }
  int count(const std::string& line) const {
    const std::string log = "\n" + pageLog();
    int n = 0;
    for (std::size_t at = 0; (at = log.find("\n" + line + "\n", at)) != std::string::npos; ++at)
      ++n;
    return n;
  }
  bool setupRan() const { return fs::exists(setup_ / "ran.txt"); }
  bool coreStarted() const { return fs::exists(installed_ / "ran.txt"); }
  // How the core host was started: "<parent process id> <current folder>" (without a
  // trailing backslash).
  std::wstring coreStart() const {
    std::wstring line = readWideFile(installed_ / "started.txt");
    while (!line.empty() && (line.back() == L'\n' || line.back() == L'\\')) line.pop_back();
    return line;
  }
  std::string updaterLog() const {
    const fs::path log = installed_ / "Logs" / "OrvalinexUpdate.log";
    return fs::exists(log) ? readFile(log) : std::string();
  }
  // The updater starts the core host and may end before the started program has recorded it.
  bool coreStartsSoon() const {
    return waitUntil([&] { return coreStarted(); }, 20000);
  }
  // The updater's trusted metadata, below the installed folder.
  fs::path trustFolder() const { return installed_ / narrow(kTrustFolderName); }
  // The served file of a trusted target (its name hash-prefixed).
  fs::path servedTarget(const std::string& target) const {
    const fs::path rel(target);
    const fs::path folder = served_ / "tuf" / "targets" / rel.parent_path();
    for (const auto& e : fs::directory_iterator(folder))
      if (e.path().filename().string().size() == 65 + rel.filename().string().size() &&
          e.path().filename().string().substr(65) == rel.filename().string())
        return e.path();
    return {};
  }
  // Where the attempts' work folders are made: below the installed folder.
  fs::path workParent() const { return installed_ / narrow(kWorkParentName); }
  // No work folder is left, and nothing was written to the user's temporary folder.
  bool nothingLeft() const {
    return (!fs::exists(workParent()) || fs::is_empty(workParent())) && fs::is_empty(tmp_);
  }

  TempDir temp_;
  ProductSettings settings_;
  fs::path root_, program_, installed_, tmp_, setup_, running_, served_;
  std::string standIn_;
  std::wstring baseUrl_, savedTmp_, savedTemp_;
  std::vector<ManifestEntry> listed_;
  std::vector<std::unique_ptr<Process>> processes_;
  std::int64_t published_ = 0;
};

TEST_F(UpdateFlowTest, HappyPathStopsTheProgramsFetchesRunsTheSetupAndStartsTheCoreHost) {
  serveUpdate();
  publish();
  writePage("{ConfirmUpdate: ['true']}");
  Process& tray = runStandIn(kNotifierFileName, 0);
  Process& core = runStandIn(kCoreFileName, 1);
  // The user's shell, which the core host is started from (Wine has none).
  const Process& shell = runStandIn(L"shell.exe", 2);
  SetEnvironmentVariableW(L"ORV_TEST_SHELL_PID", std::to_wstring(shell.pid).c_str());
  // The setup program stays until the test stops it: the flow waits for it.
  writeFile(setup_ / "stay.txt", "");

  Process& updater = start();
  ASSERT_TRUE(waitUntil([&] { return setupRan(); }, 60000)) << pageLog();
  // The behaviour under test: the setup program keeps running through this pause, and the flow
  // must not go on meanwhile.
  Sleep(1500);
  EXPECT_TRUE(logged("ShowTitle|runsetupexe")) << pageLog();
  EXPECT_FALSE(logged("ShowTitle|runAssistant")) << "the core host waits for the setup program";
  EXPECT_FALSE(coreStarted());
  fs::remove(setup_ / "stay.txt");  // the setup program ends by itself, with success
  EXPECT_EQ(waitForExit(updater, 60000), 0u) << pageLog();
  const std::string setupSize = kbText(standIn_.size());
  EXPECT_EQ(
      pageLog(),
      "onload|\n"
      "ConfirmUpdate|update\n"
      "answer|ConfirmUpdate true\n" +
          kInitUpdate +
          "\n"
          "ShowDownloadProcess|{\"allcount\":\"2\",\"filename\":\"b.bin\",\"filesize\":\"2.00Kb\","
          "\"nowpos\":\"1\"}\n\n"
          "ShowDownloadProcess|{\"allcount\":\"2\",\"filename\":\"OrvalinexSetup.exe\","
          "\"filesize\":\"" +
          setupSize +
          "\",\"nowpos\":\"2\"}\n\n"
          "ShowTitle|readyrun\n"
          "ShowTitle|runsetupexe\n"
          "ShowTitle|runAssistant\n"
          "ConfirmUpdateComplete|1.1.20.0\n"
          "quit|ConfirmUpdateComplete\n");
  EXPECT_EQ(waitForExit(tray, 5000), kStopped);
  EXPECT_EQ(waitForExit(core, 5000), kStopped);
  EXPECT_TRUE(setupRan());
  EXPECT_TRUE(coreStartsSoon());
  EXPECT_EQ(coreStart(), std::to_wstring(shell.pid) + L" " + installed_.wstring())
      << "a child of the shell, in its own folder";
  EXPECT_NE(updaterLog().find("core host started unelevated, as a child of the shell's process " +
                              std::to_string(shell.pid)),
            std::string::npos)
      << updaterLog();
  EXPECT_TRUE(nothingLeft()) << "the work folder goes with everything fetched";
  const std::string log = serverLog();
  EXPECT_EQ(log.find("OrvalinexUpdate.exe"), std::string::npos)
      << "the pass never fetches the updater";
}

TEST_F(UpdateFlowTest, AnAnswerGivenBeforeTheWorkerWaitsIsKept) {
  serveUpdate();
  publish();
  writePage("{ConfirmUpdate: ['now:true']}");
  EXPECT_EQ(run(), 0u) << pageLog();
  EXPECT_TRUE(logged("ConfirmUpdateComplete|1.1.20.0")) << pageLog();
  EXPECT_TRUE(setupRan());
}

TEST_F(UpdateFlowTest, AlteredSetupProgramIsNeverRun) {
  serveUpdate("1.1.20.0", /*alterSetup=*/true);
  publish();
  writePage("{ConfirmUpdate: ['true'], ConfirmRetry: ['quit']}");
  EXPECT_EQ(run(), 0u) << pageLog();
  EXPECT_TRUE(logged("ConfirmRetry|downloadNewFiles")) << pageLog();
  EXPECT_FALSE(logged("ShowTitle|runsetupexe"));
  EXPECT_FALSE(setupRan());
  EXPECT_FALSE(coreStarted());
  EXPECT_TRUE(nothingLeft());
}

TEST_F(UpdateFlowTest, UnsignedManifestAnnouncingAHigherVersionChangesNothing) {
  serveUpdate("9.0.0.0");
  publish(/*sign=*/false);
  writePage("{ConfirmUpdate: ['true']}");
  Process& core = runStandIn(kCoreFileName, 1);
  EXPECT_EQ(run(), 0u) << pageLog();
  EXPECT_EQ(pageLog(), "onload|\nShowFailureCode|U-201\nConfirmRetry|getWebRespond\n");
  EXPECT_TRUE(isRunning(core)) << "nothing was stopped";
  EXPECT_FALSE(setupRan());
}

TEST_F(UpdateFlowTest, OlderSignedManifestIsNotInstalledInLostFileMode) {
  serveUpdate("1.1.18.0");
  publish();
  writePage("{ConfirmUpdate: ['true']}");
  EXPECT_EQ(run(L"-lostfile"), 0u) << pageLog();
  EXPECT_EQ(pageLog(), "onload|\nShowFailureCode|U-205\nConfirmRetry|getWebRespond\n");
  EXPECT_FALSE(setupRan());
  EXPECT_FALSE(coreStarted());
}

TEST_F(UpdateFlowTest, SameVersionWithoutOptionsEndsUnseen) {
  serveUpdate("1.1.19.1223");
  publish();
  writePage("{}");
  Process& core = runStandIn(kCoreFileName, 1);
  Process& p = start();
  bool everVisible = false;
  const DWORD code = [&] {
    const ULONGLONG end = GetTickCount64() + 60000;
    while (GetTickCount64() < end) {
      if (findMainWindow(p.pid)) everVisible = true;
      if (WaitForSingleObject(p.handle.get(), 20) == WAIT_OBJECT_0) return waitForExit(p, 0);
    }
    return static_cast<DWORD>(STILL_ACTIVE);
  }();
  EXPECT_EQ(code, 0u);
  EXPECT_FALSE(everVisible);
  EXPECT_EQ(pageLog(), "onload|\n");
  EXPECT_TRUE(isRunning(core));
}

TEST_F(UpdateFlowTest, ServerQueryWritesItsDebuggerLine) {
  serveUpdate("1.1.19.1223");
  publish();
  writePage("{}");
  const std::string output = debugOutputOf(L"\"" + (program_ / kUpdaterFileName).wstring() + L"\"");
  EXPECT_NE(output.find("[Brenlow DownDigest Address:]:[" + narrow(baseUrl_) + "]\n"),
            std::string::npos)
      << output;
}

TEST_F(UpdateFlowTest, SameVersionWithLostFileAsksAndRepairs) {
  serveUpdate("1.1.19.1223");
  publish();
  writePage("{ConfirmUpdate: ['true']}");
  EXPECT_EQ(run(L"-lostfile"), 0u) << pageLog();
  EXPECT_TRUE(logged("ConfirmUpdate|lostfile")) << pageLog();
  EXPECT_TRUE(logged("ConfirmUpdateComplete|1.1.19.1223"));
  EXPECT_TRUE(setupRan());
}

TEST_F(UpdateFlowTest, SameVersionWithManualSaysSoAndWaitsForTheUser) {
  serveUpdate("1.1.19.1223");
  publish();
  writePage("{ConfirmNewVersion: ['quit']}");
  EXPECT_EQ(run(L"-manual"), 0u) << pageLog();
  EXPECT_EQ(pageLog(), "onload|\nConfirmNewVersion|\nquit|ConfirmNewVersion\n");
}

TEST_F(UpdateFlowTest, NotInstalledAsksTheRegistryQuestionAndEndsOnQuit) {
  settings_.remove(L"Path");
  serveUpdate();
  publish();
  writePage("{ConfirmRegError: ['quit']}");
  EXPECT_EQ(run(), 0u) << pageLog();
  EXPECT_EQ(pageLog(), "onload|\nConfirmRegError|\nquit|ConfirmRegError\n");
}

TEST_F(UpdateFlowTest, FirstRunChecksRetryTimes) {
  serveUpdate();
  publish();
  // Missing: "-1"; the user ends it.
  writePage("{ConfirmRetryTooTimes: ['true']}");
  EXPECT_EQ(run(L"-firstrun"), 0u) << pageLog();
  EXPECT_EQ(pageLog(), "onload|\nConfirmRetryTooTimes|-1\nanswer|ConfirmRetryTooTimes true\n");
  EXPECT_FALSE(setupRan());

  // 4: asked with "4"; "false" goes on without a further confirmation.
  fs::remove(program_ / "page.log");
  settings_.setDword(L"RetryTimes", 4);
  writePage("{ConfirmRetryTooTimes: ['false']}");
  EXPECT_EQ(run(L"-firstrun"), 0u) << pageLog();
  EXPECT_TRUE(logged("ConfirmRetryTooTimes|4")) << pageLog();
  EXPECT_FALSE(logged("ConfirmUpdate|update"));
  EXPECT_TRUE(logged("ConfirmUpdateComplete|1.1.20.0"));

  // 3: the normal confirmation.
  fs::remove(program_ / "page.log");
  settings_.setDword(L"RetryTimes", 3);
  writePage("{ConfirmUpdate: ['quit']}");
  EXPECT_EQ(run(L"-firstrun"), 0u) << pageLog();
  EXPECT_EQ(pageLog(), "onload|\nConfirmUpdate|update\nquit|ConfirmUpdate\n");
}

TEST_F(UpdateFlowTest, QuitWhileAQuestionWaitsEndsTheProgramWithNothingDone) {
  serveUpdate();
  publish();
  writePage("{ConfirmUpdate: ['quit']}");
  Process& core = runStandIn(kCoreFileName, 1);
  EXPECT_EQ(run(L"", 30000), 0u) << pageLog();
  EXPECT_TRUE(isRunning(core));
  EXPECT_FALSE(setupRan());
}

TEST_F(UpdateFlowTest, QuitAtTheBrowserAndRetryQuestionsEndsTheProgram) {
  serveUpdate();
  publish();
  writePage("{ConfirmUpdate: ['true'], ConfirmCloseIe: ['quit']}");
  Process& ie = runStandIn(L"iexplore.exe", 2);
  EXPECT_EQ(run(L"", 60000), 0u) << pageLog();
  EXPECT_TRUE(logged("quit|ConfirmCloseIe")) << pageLog();
  EXPECT_TRUE(isRunning(ie));
  EXPECT_FALSE(setupRan());

  fs::remove(program_ / "page.log");
  settings_.setDword(L"RetryTimes", 7);
  writePage("{ConfirmRetryTooTimes: ['quit']}");
  EXPECT_EQ(run(L"-firstrun", 60000), 0u) << pageLog();
  EXPECT_EQ(pageLog(), "onload|\nConfirmRetryTooTimes|7\nquit|ConfirmRetryTooTimes\n");
}

TEST_F(UpdateFlowTest, ThreeBrowsersAreAskedAboutThreeTimes) {
  serveUpdate();
  publish();
  writePage("{ConfirmUpdate: ['true'], ConfirmCloseIe: ['true', 'true', 'true']}");
  Process& a = runStandIn(L"iexplore.exe", 2);
  Process& b = runStandIn(L"iexplore.exe", 3);
  Process& c = runStandIn(L"IEXPLORE.EXE", 4);
  EXPECT_EQ(run(), 0u) << pageLog();
  EXPECT_EQ(count("ConfirmCloseIe|"), 3) << pageLog();
  for (Process* p : {&a, &b, &c}) EXPECT_EQ(waitForExit(*p, 5000), kStopped);
  EXPECT_TRUE(setupRan());
}

TEST_F(UpdateFlowTest, RefusingToCloseTheBrowserEndsTheProgram) {
  serveUpdate();
  publish();
  writePage("{ConfirmUpdate: ['true'], ConfirmCloseIe: ['false']}");
  Process& ie = runStandIn(L"iexplore.exe", 2);
  EXPECT_EQ(run(), 0u) << pageLog();
  EXPECT_EQ(count("ConfirmCloseIe|"), 1);
  EXPECT_TRUE(isRunning(ie));
  EXPECT_FALSE(setupRan());
}

TEST_F(UpdateFlowTest, RetryAfterAFailedDownloadAsksAgainOnlyInLostFileMode) {
  serveUpdate("1.1.20.0", /*alterSetup=*/true);
  publish();
  writePage("{ConfirmUpdate: ['true', 'true'], ConfirmRetry: ['true', 'quit']}");
  EXPECT_EQ(run(), 0u) << pageLog();
  EXPECT_EQ(count("ConfirmRetry|downloadNewFiles"), 2) << pageLog();
  EXPECT_EQ(count("ConfirmUpdate|update"), 1) << "asked once per process";
  EXPECT_EQ(count(kInitUpdate.substr(0, kInitUpdate.size() - 1)), 2);

  fs::remove(program_ / "page.log");
  writePage("{ConfirmUpdate: ['true', 'true'], ConfirmRetry: ['true', 'quit']}");
  EXPECT_EQ(run(L"-lostfile"), 0u) << pageLog();
  EXPECT_EQ(count("ConfirmUpdate|lostfile"), 2) << pageLog();
  EXPECT_FALSE(setupRan());
}

TEST_F(UpdateFlowTest, FailedServerQueryInARetriedAttemptEndsTheProgram) {
  serveUpdate("1.1.20.0", /*alterSetup=*/true);
  publish();
  // The page answers 3 s after each question; before the retry the server publishes a manifest
  // that does not verify.
  writePage("{delay: 3000, ConfirmUpdate: ['true'], ConfirmRetry: ['true', 'quit']}");
  Process& p = start();
  ASSERT_TRUE(waitUntil([&] { return logged("ConfirmRetry|downloadNewFiles"); }, 60000))
      << pageLog();
  publish(/*sign=*/false);
  EXPECT_EQ(waitForExit(p, 60000), 0u) << pageLog();
  EXPECT_TRUE(logged("ConfirmRetry|getWebRespond")) << pageLog();
  EXPECT_FALSE(logged("quit|ConfirmRetry")) << "the program ended by itself, not by the page";
  EXPECT_EQ(count("ConfirmUpdate|update"), 1);
}

TEST_F(UpdateFlowTest, UnsafeListedPathFailsThePass) {
  serveUpdate();
  listed_.push_back({L"evil.exe", L"..", listed_.back().digest, VersionNumber(1, 1, 20, 0)});
  publish();
  writePage("{ConfirmUpdate: ['true'], ConfirmRetry: ['quit']}");
  EXPECT_EQ(run(), 0u) << pageLog();
  EXPECT_TRUE(logged("ConfirmRetry|downloadNewFiles")) << pageLog();
  EXPECT_FALSE(setupRan());
}

TEST_F(UpdateFlowTest, ZeroByteFileFailsThePass) {
  serveUpdate();
  serve("a", "empty.bin", "", "1.1.20.0");
  publish();
  writePage("{ConfirmUpdate: ['true'], ConfirmRetry: ['quit']}");
  EXPECT_EQ(run(), 0u) << pageLog();
  EXPECT_TRUE(logged("ConfirmRetry|downloadNewFiles")) << pageLog();
  EXPECT_FALSE(setupRan());
}

// The temporary folder is where the updater once fetched to; what lies there now is never read.
TEST_F(UpdateFlowTest, ExtraManifestInTheTemporaryFolderIsIgnored) {
  serveUpdate();
  publish();
  serve("zzz", "evil.exe", standIn_, "1.1.20.0");  // served, but listed only in the extra file
  const ManifestEntry evil = listed_.back();
  listed_.pop_back();
  const fs::path oldFolder = tmp_ / (narrow(kProductId) + "_Download");
  writeFile(oldFolder / "Digest_n.xml", manifestXml({evil}));
  writePage("{ConfirmUpdate: ['true']}");
  EXPECT_EQ(run(), 0u) << pageLog();
  EXPECT_TRUE(logged("ConfirmUpdateComplete|1.1.20.0")) << pageLog();
  EXPECT_TRUE(setupRan());
  EXPECT_EQ(serverLog().find("evil.exe"), std::string::npos) << "never fetched";
  EXPECT_TRUE(fs::exists(oldFolder / "Digest_n.xml")) << "nor touched";
}

TEST_F(UpdateFlowTest, ManifestNotVerifiedAtTheFetchIsAFailedStageWithNothingStopped) {
  // The query sees the signed manifest of 1.1.20.0; the one fetched for the pass, while the user
  // is asked, carries no signature, or is the signed manifest of an older release.
  serveUpdate("1.1.19.1224");
  const std::string older = signManifest(manifestXml(listed_), devPrivateKey());
  listed_.clear();
  serveUpdate();
  Process& core = runStandIn(kCoreFileName, 1);
  for (const std::string& swapped : {manifestXml(listed_), older}) {
    fs::remove(program_ / "page.log");
    publish();
    writePage("{delay: 3000, ConfirmUpdate: ['true'], ConfirmRetry: ['quit']}");
    Process& p = start();
    ASSERT_TRUE(waitUntil([&] { return logged("ConfirmUpdate|update"); }, 60000)) << pageLog();
    writeFile(served_ / "Digest.xml", swapped);
    republish();
    EXPECT_EQ(waitForExit(p, 60000), 0u) << pageLog();
    EXPECT_TRUE(logged("ConfirmRetry|initLocalFiles")) << pageLog();
    EXPECT_FALSE(logged("ConfirmUpdateComplete|1.1.20.0"));
    EXPECT_TRUE(isRunning(core)) << "nothing was stopped";
  }
  EXPECT_FALSE(coreStarted());
  EXPECT_FALSE(setupRan());
  EXPECT_TRUE(nothingLeft());
}

// Every way an attempt fails: the retry question's stage key, the customer's code sent just
// before it, and the attempt's failure line, with that code, in the updater's log.
TEST_F(UpdateFlowTest, EachFailureHasItsStageKeyCodeAndLogLine) {
  struct Row {
    const char* name;
    std::function<void()> breakIt;  // after the usual update was served and published
    std::string stageKey, code, logText;
  };
  const std::string manifestUrl = narrow(baseUrl_) + "tuf/targets/";
  const fs::path log = installed_ / "Logs" / "OrvalinexUpdate.log";
  const Row rows[] = {
      {"unreachable",
       [] { SetEnvironmentVariableW(L"ORV_TEST_UPDATE_BASE_URL", L"http://127.0.0.1:1/"); },
       "getWebRespond", "U-101", "failed: server unreachable error "},
      {"bad signature", [&] { publish(/*sign=*/false); }, "getWebRespond", "U-201",
       "failed: manifest unsigned: " + manifestUrl},
      {"wrong key",
       [&] {
         writeFile(served_ / "Digest.xml", signManifest(manifestXml(listed_), otherPrivateKey()));
         republish();
       },
       "getWebRespond", "U-202", "failed: manifest signed with another key: " + manifestUrl},
      {"altered",
       [&] {
         std::string signedXml = readFile(served_ / "Digest.xml");
         signedXml.replace(signedXml.find("1.1.20.0"), 8, "1.1.20.1");
         writeFile(served_ / "Digest.xml", signedXml);
         republish();
       },
       "getWebRespond", "U-203", "failed: manifest altered after signing: " + manifestUrl},
      {"rollback refused",
       [&] {
         listed_.clear();
         serveUpdate("1.1.18.0");
         publish();
       },
       "getWebRespond", "U-205", "failed: rollback refused: 1.1.18.0"},
      {"digest mismatch",
       [&] {
         listed_.clear();
         serveUpdate("1.1.20.0", /*alterSetup=*/true);
         publish();
       },
       "downloadNewFiles", "U-302",
       "failed: digest mismatch: " + narrow(baseUrl_) + "tuf/targets/setup/"},
      {"local failure", [&] { writeFile(workParent(), "a file where the folder belongs"); },
       "initLocalFiles", "U-401", "failed: local write failed error "},
      {"setup exit code", [&] { writeFile(setup_ / "exit.txt", "3"); }, "runsetupexe", "U-502",
       "failed: setup program failed exit code 3: "},
      // The trusted repository: stripped, frozen, rolled back, mixed with another release.
      {"stripped", [&] { fs::remove_all(served_ / "tuf"); }, "trustUnreachable", "U-701",
       "failed: trusted metadata or target not fetched code 404: not found on the server: "},
      {"expired",
       [&] {
         RepositoryOptions expired;
         expired.timestampExpiresIn = -3600;
         republish(expired);
       },
       "trustExpired", "U-702", "failed: trusted metadata expired: expired: timestamp"},
      {"rolled back",
       [&] {
         // A later publication's timestamp, trusted already: the one served now is older.
         const fs::path later = root_ / "later";
         fs::remove_all(later);
         fs::copy(served_, later, fs::copy_options::recursive);
         RepositoryOptions ahead;
         ahead.version = published_ + 10;
         writeRepository(later, ahead);
         writeFile(trustFolder() / "timestamp.json",
                   readFile(later / "tuf" / "metadata" / "timestamp.json"));
       },
       "trustRolledBack", "U-704", "failed: trusted metadata rolled back: rolled back: "},
      {"mixed",
       [&] {
         // Another release's manifest, validly signed, in place of this one's trusted target.
         const fs::path trusted = servedTarget("Digest.xml");
         const std::string other = readFile(trusted);
         listed_.clear();
         serveUpdate("1.1.21.0");
         publish();
         writeFile(servedTarget("Digest.xml"), other);
       },
       "trustHash", "U-707", "failed: target length or hash mismatch: hash mismatch: Digest.xml"},
      // Last: everyone may now change the installed folder (Wine keeps it as the Unix mode's
      // "other" bits), so no attempt after it goes further.
      {"installed folder unsafe",
       [&] { ASSERT_TRUE(setFolderDacl(installed_, L"D:(A;OICI;FA;;;WD)")); }, "installedFolder",
       "U-402",
       "failed: installed folder unsafe: " + installed_.string() + " (others may change it)"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SetEnvironmentVariableW(L"ORV_TEST_UPDATE_BASE_URL", baseUrl_.c_str());
    fs::remove_all(workParent());
    fs::remove_all(trustFolder());
    fs::remove(setup_ / "exit.txt");
    fs::remove(program_ / "page.log");
    listed_.clear();
    serveUpdate();
    publish();
    row.breakIt();
    writePage("{ConfirmUpdate: ['true'], ConfirmRetry: ['quit']}");
    fs::remove(log);
    EXPECT_EQ(run(), 0u) << pageLog();
    EXPECT_TRUE(logged("ShowFailureCode|" + row.code + "\nConfirmRetry|" + row.stageKey))
        << pageLog();
    const std::string lines = fs::exists(log) ? readFile(log) : std::string();
    EXPECT_NE(lines.find(" " + row.code + " " + row.logText), std::string::npos) << lines;
  }
}

// A repository whose root keys were replaced twice since the program's own root: the attempt
// follows the chain, keeps the newest root, and the update completes.
TEST_F(UpdateFlowTest, ARootRotatedTwiceIsFollowedAndKept) {
  serveUpdate();
  RepositoryOptions rotated;
  rotated.rootRotations = 2;
  publish(true, rotated);
  writePage("{ConfirmUpdate: ['true']}");
  EXPECT_EQ(run(), 0u) << pageLog();
  EXPECT_TRUE(logged("ConfirmUpdateComplete|1.1.20.0")) << pageLog();
  EXPECT_TRUE(setupRan());
  EXPECT_EQ(readFile(trustFolder() / "root.json"),
            readFile(served_ / "tuf" / "metadata" / "3.root.json"));
  EXPECT_NE(serverLog().find("/tuf/metadata/4.root.json"), std::string::npos)
      << "the chain is followed to its end";
}

TEST_F(UpdateFlowTest, SetupProgramEndingWithAnErrorIsAFailedStage) {
  serveUpdate();
  publish();
  writeFile(setup_ / "exit.txt", "3");
  writePage("{ConfirmUpdate: ['true'], ConfirmRetry: ['quit']}");
  EXPECT_EQ(run(), 0u) << pageLog();
  EXPECT_TRUE(setupRan());
  EXPECT_TRUE(logged("ConfirmRetry|runsetupexe")) << pageLog();
  EXPECT_FALSE(logged("ShowTitle|runAssistant"));
  EXPECT_FALSE(coreStarted());
}

TEST_F(UpdateFlowTest, OnlyWhatTheRunFetchedCountsAndEveryEndRemovesTheWorkFolder) {
  serveUpdate();
  publish();
  Process& core = runStandIn(kCoreFileName, 1);
  writePage("{ConfirmUpdate: ['quit']}");
  EXPECT_EQ(run(), 0u) << pageLog();
  EXPECT_TRUE(nothingLeft()) << "removed by a run that ended at the question";

  // A signed manifest of a newer release left in an earlier attempt's folder; this run's server
  // is unreachable.
  const fs::path earlier = workParent() / "0123456789ABCDEF0123456789ABCDEF";
  fs::create_directories(earlier / "query");
  fs::copy_file(served_ / "Digest.xml", earlier / "query" / "Digest.xml");
  SetEnvironmentVariableW(L"ORV_TEST_UPDATE_BASE_URL", L"http://127.0.0.1:1/");
  fs::remove(program_ / "page.log");
  writePage("{ConfirmUpdate: ['true']}");
  EXPECT_EQ(run(), 0u) << pageLog();
  EXPECT_EQ(pageLog(), "onload|\nShowFailureCode|U-101\nConfirmRetry|getWebRespond\n");
  EXPECT_TRUE(isRunning(core));
  EXPECT_TRUE(nothingLeft()) << "the earlier attempt's folder went too";
}

// Links and files planted where the updater once wrote (the user's temporary folder, which any
// program of the user can change) are never followed: the victims stay byte for byte, and the
// update completes from the updater's own folder.
TEST_F(UpdateFlowTest, LinksPlantedInTheTemporaryFolderAreNeverFollowed) {
  serveUpdate();
  publish();
  const fs::path guarded = root_ / "guarded";
  writeFile(guarded / "keep.txt", "keep");
  const fs::path victim = root_ / "victim.txt";
  writeFile(victim, "the victim's bytes");
  const fs::path download = tmp_ / (narrow(kProductId) + "_Download");
  fs::create_directories(download);
  fs::create_directories(tmp_ / "data");
  std::vector<fs::path> planted;
  const auto plant = [&](const fs::path& at, bool symbolic) {
    const BOOL made =
        symbolic ? CreateSymbolicLinkW(at.wstring().c_str(), victim.wstring().c_str(), 0)
                 : CreateHardLinkW(at.wstring().c_str(), victim.wstring().c_str(), nullptr);
    if (made && fs::exists(fs::symlink_status(at))) planted.push_back(at);
  };
  plant(download / "Digest.xml.part", false);
  plant(download / "Digest.xml", true);
  plant(tmp_ / "data" / "b.bin.part", false);
  plant(tmp_ / kUpdaterFileName, true);
  const ScopedFolderLink setupLink(tmp_ / "setup", guarded);
  ASSERT_FALSE(planted.empty()) << "the system made no link";

  writePage("{ConfirmUpdate: ['true']}");
  EXPECT_EQ(run(), 0u) << pageLog();
  EXPECT_TRUE(logged("ConfirmUpdateComplete|1.1.20.0")) << pageLog();
  EXPECT_TRUE(setupRan());
  EXPECT_EQ(readFile(victim), "the victim's bytes");
  EXPECT_EQ(readFile(guarded / "keep.txt"), "keep");
  EXPECT_FALSE(fs::exists(guarded / "OrvalinexSetup.exe"));
  for (const fs::path& at : planted) EXPECT_TRUE(fs::exists(fs::symlink_status(at))) << at;
}

// What earlier attempts left (a folder whose name begins with a dot, a file another program
// holds) never stops the next attempt; what can go, goes.
TEST_F(UpdateFlowTest, LeftoversOfEarlierAttemptsNeverStopTheNext) {
  serveUpdate();
  publish();
  writeFile(workParent() / "A" / ".hidden" / "x.bin", "x");
  writeFile(workParent() / "B" / "held.bin", "held");
  ScopedHandle held(CreateFileW((workParent() / "B" / "held.bin").wstring().c_str(), GENERIC_READ,
                                FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  writePage("{ConfirmUpdate: ['true']}");
  EXPECT_EQ(run(), 0u) << pageLog();
  EXPECT_TRUE(logged("ConfirmUpdateComplete|1.1.20.0")) << pageLog();
  EXPECT_FALSE(fs::exists(workParent() / "A"));
  EXPECT_TRUE(fs::exists(workParent() / "B" / "held.bin"));
  std::size_t others = 0;
  for (const auto& e : fs::directory_iterator(workParent())) others += e.path().filename() != "B";
  EXPECT_EQ(others, 0u) << "this attempt's own folder is gone";
}

// A work folder that cannot be made is a local failure: said as such, with the window shown, and
// never as an unreachable server.
TEST_F(UpdateFlowTest, AWorkFolderThatCannotBeMadeIsALocalFailure) {
  serveUpdate();
  publish();
  writeFile(workParent(), "a file where the folder belongs");
  writePage("{ConfirmRetry: ['quit']}");
  Process& p = start();
  bool everVisible = false;
  const ULONGLONG end = GetTickCount64() + 60000;
  while (WaitForSingleObject(p.handle.get(), 20) == WAIT_TIMEOUT && GetTickCount64() < end)
    everVisible = everVisible || findMainWindow(p.pid) != nullptr;
  EXPECT_EQ(waitForExit(p, 0), 0u);
  EXPECT_EQ(pageLog(),
            "onload|\nShowFailureCode|U-401\nConfirmRetry|initLocalFiles\nquit|ConfirmRetry\n");
  EXPECT_TRUE(everVisible);
  EXPECT_EQ(serverLog().find(narrow(baseUrl_.substr(baseUrl_.find(L"/files/")))), std::string::npos)
      << "nothing was asked of the server";
}

// Closing the window while a file comes cancels the transfer, and the clean-up runs before the
// program ends.
TEST_F(UpdateFlowTest, ClosingTheWindowMidDownloadCancelsAndCleansUp) {
  serveUpdate();
  publish();
  // 2 KiB at two bytes a second
  writeFile(servedTarget("data/b.bin").string() + ".drip", "");
  writePage("{ConfirmUpdate: ['true']}",
            "function InitUpdate(json) { record('InitUpdate', json);\n"
            "  host.after(1500, function () { record('quit', 'InitUpdate');\n"
            "    window.external.CoreQuit(); }); }\n");
  Process& p = start();
  EXPECT_EQ(waitForExit(p, 30000), 0u) << pageLog();
  EXPECT_TRUE(logged("quit|InitUpdate")) << pageLog();
  EXPECT_NE(serverLog().find(".b.bin"), std::string::npos) << "the file was on its way";
  EXPECT_EQ(pageLog().find("ShowDownloadProcess"), std::string::npos) << pageLog();
  EXPECT_TRUE(nothingLeft());
  EXPECT_FALSE(setupRan());
}

// Closing the window while the setup program runs waits for it: the page says so, and the
// program ends once the setup program has, with its work folder removed.
TEST_F(UpdateFlowTest, ClosingTheWindowWhileTheSetupProgramRunsWaitsForIt) {
  serveUpdate();
  publish();
  writeFile(setup_ / "stay.txt", "");
  writePage("{ConfirmUpdate: ['true']}",
            "function ShowTitle(key) { record('ShowTitle', key);\n"
            "  if (key == 'runsetupexe') host.after(200, function () {\n"
            "    record('quit', 'runsetupexe'); window.external.CoreQuit(); }); }\n");
  Process& updater = start();
  ASSERT_TRUE(waitUntil([&] { return logged("ShowTitle|waitsetup"); }, 60000)) << pageLog();
  // The setup program was started before the close; on a loaded machine it may not have said so yet.
  EXPECT_TRUE(waitUntil([&] { return setupRan(); }, 60000));
  EXPECT_TRUE(isRunning(updater)) << "the close waits while the setup program runs";
  fs::remove(setup_ / "stay.txt");
  EXPECT_EQ(waitForExit(updater, 60000), 0u) << pageLog();
  EXPECT_FALSE(logged("ShowTitle|runAssistant")) << pageLog();
  EXPECT_TRUE(nothingLeft());
}

TEST_F(UpdateFlowTest, AlteredUpdaterIsNeverInstalled) {
  // Server 1.2.0.0 against the updater's own 1.1.19.1223: the loader hand-over starts; the
  // updater served is not the one the manifest lists.
  const std::string listedUpdater = "the listed updater";
  serve("", narrow(kUpdaterFileName), "an altered updater", "1.2.0.0", &listedUpdater);
  serve("setup", "OrvalinexSetup.exe", standIn_, "1.2.0.0");
  publish();
  writeFile(installed_ / kUpdaterFileName, "installed updater");
  writePage("{ConfirmRetry: ['quit']}");
  EXPECT_EQ(run(), 0u) << pageLog();
  EXPECT_EQ(pageLog(),
            "onload|\nShowFailureCode|U-601\nConfirmRetry|copyUpdateLoader\nquit|ConfirmRetry\n");
  EXPECT_EQ(readFile(installed_ / kUpdaterFileName), "installed updater");
  EXPECT_FALSE(fs::exists(installed_ / (narrow(kUpdaterFileName) + ".old")));
}

TEST_F(UpdateFlowTest, OnlyTheMinorNumberStartsTheHandOver) {
  serveUpdate("2.1.0.0");
  publish();
  writePage("{ConfirmUpdate: ['true']}");
  EXPECT_EQ(run(), 0u) << pageLog();
  EXPECT_FALSE(logged("ConfirmRetry|copyUpdateLoader")) << pageLog();
  EXPECT_TRUE(logged("ConfirmUpdateComplete|2.1.0.0"));
  // No shell to start the core host from: it is not started elevated, and the update stands.
  EXPECT_FALSE(coreStarted());
  EXPECT_NE(updaterLog().find("core host not started: no shell process"), std::string::npos)
      << updaterLog();
}

TEST_F(UpdateFlowTest, HandOverInstallsTheListedUpdaterAndStartsItAsTheNewLoader) {
  // Server 1.2.0.0 against the updater's own 1.1.19.1223: the updater the manifest lists is
  // fetched, installed and started with -newloader, and this one ends with exit code 2.
  const std::string host = readFile(program_ / kUpdaterFileName);
  serve("", narrow(kUpdaterFileName), host, "1.2.0.0");
  serve("setup", "OrvalinexSetup.exe", standIn_, "1.2.0.0");
  publish();
  writeFile(installed_ / kUpdaterFileName, "installed updater");
  writePage("{ConfirmUpdate: ['quit']}");
  writePage("{ConfirmUpdate: ['quit']}", "", installed_);
  EXPECT_EQ(run(), 2u) << pageLog();
  EXPECT_EQ(pageLog(), "onload|\n") << "the old updater asked nothing";
  // The new loader runs from the installed folder, skips the loader check and asks as usual.
  const fs::path newLog = installed_ / "page.log";
  EXPECT_TRUE(waitUntil(
      [&] {
        return fs::exists(newLog) &&
               readFile(newLog).find("ConfirmUpdate|update\n") != std::string::npos;
      },
      60000))
      << (fs::exists(newLog) ? readFile(newLog) : "no page.log of the new loader");
  EXPECT_EQ(readFile(installed_ / kUpdaterFileName), host);
  EXPECT_TRUE(waitUntil(
      [&] { return !fs::exists(installed_ / (narrow(kUpdaterFileName) + ".old")); }, 20000))
      << "the new loader removes the retired updater";
  EXPECT_TRUE(waitUntil(
      [&] { return readFile(newLog).find("quit|ConfirmUpdate") != std::string::npos; }, 20000));
  EXPECT_TRUE(
      waitUntil([&] { return !runsFrom((installed_ / kUpdaterFileName).wstring()); }, 20000))
      << "the new loader ends on its page's quit";
}

TEST_F(UpdateFlowTest, APageThatNeverLoadsEndsTheProgramAfterTheBound) {
  serveUpdate();
  publish();
  // The page's load takes longer than the worker waits for it (a bound shortened for the test).
  SetEnvironmentVariableW(L"ORV_TEST_PAGE_READY_MS", L"2000");
  writePage("{ConfirmUpdate: ['true']}",
            "function onload() { var t = new Date().getTime();\n"
            "  while (new Date().getTime() - t < 5000) {}\n  host.log('late onload'); }\n");
  EXPECT_EQ(run(L"", 60000), 0u) << pageLog();
  EXPECT_EQ(pageLog(), "late onload\n") << "nothing was asked";
  EXPECT_FALSE(setupRan());
}

}  // namespace
}  // namespace orv::test
