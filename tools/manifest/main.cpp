// manifest: writes and checks an installation's manifests.
//   manifest sign DIR --key KEY [--extra]   writes DIR\Digest.xml (signed) or DIR\Digest_n.xml
//   manifest check DIR [--key PUBLIC]       checks DIR the way the core host does at start-up
//   manifest server-check DIR --version V --setup NAME [--key PUBLIC] [--dev]
//                                           checks an update server folder before it is published,
//                                           the served updater's host, key and version with it
//                                           (--dev: the placeholder host and development key pass)
//   manifest updater-facts FILE             prints the host, key fingerprint and version an
//                                           updater program carries
// `sign ... --version V` writes V as every entry's version instead of the files' own.
// Exit codes: 0 done / intact, 1 not intact or not verified (or signing failed), 2 usage.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "ansi_text.h"
#include "file_manifest.h"
#include "manifest_signature.h"
#include "manifest_writer.h"
#include "narrow_file.h"
#include "product.h"
#include "served_updater.h"
#include "server_rules.h"
#include "version_number.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace fs = std::filesystem;
using namespace orv;

namespace {

std::string utf8(const std::wstring& text) {
#ifdef _WIN32
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
  return out;
#else
  return toNarrow(text);
#endif
}

int usage() {
  std::fprintf(stderr,
               "usage: manifest sign DIR --key PRIVATE_KEY.pem [--extra] [--version V]\n"
               "       manifest check DIR [--key PUBLIC_KEY.pem] [--time]\n"
               "       manifest server-check DIR --version V --setup NAME [--key PUBLIC_KEY.pem]"
               " [--dev]\n"
               "       manifest updater-facts FILE\n");
  return 2;
}

bool writeFile(const fs::path& path, const std::string& bytes) {
  std::FILE* f = nullptr;
#ifdef _WIN32
  f = _wfopen(path.wstring().c_str(), L"wb");
#else
  f = std::fopen(path.string().c_str(), "wb");
#endif
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

int sign(const std::wstring& dir, const std::wstring& keyPath, bool extra,
         const std::wstring& version) {
  std::vector<ListedFile> files;
  try {
    files = listInstallation(fs::path(dir));
  } catch (const fs::filesystem_error& e) {
    std::fprintf(stderr, "manifest: cannot list %s: %s\n", utf8(dir).c_str(), e.what());
    return 1;
  }
  // A release stamps its own version on every entry, so that the updater reads it from whichever
  // file is listed first.
  if (!version.empty())
    for (ListedFile& f : files) f.version = toNarrow(version);
  std::string xml = manifestXml(files);
  if (!extra) {
    std::string key;
    if (!readWholeFile(toNarrow(keyPath), key, 1 << 20)) {
      std::fprintf(stderr, "manifest: cannot read key %s\n", utf8(keyPath).c_str());
      return 1;
    }
    xml = signManifest(xml, key);
    if (xml.empty()) {
      std::fprintf(stderr,
                   "manifest: the key cannot sign (a 1024-bit RSA private key is needed)\n");
      return 1;
    }
  }
  const fs::path out = fs::path(dir) / (extra ? "Digest_n.xml" : "Digest.xml");
  if (!writeFile(out, xml)) {
    std::fprintf(stderr, "manifest: cannot write %s\n", utf8(out.wstring()).c_str());
    return 1;
  }
  std::printf("%s: %zu files\n", utf8(out.wstring()).c_str(), files.size());
  return 0;
}

int check(const std::wstring& dir, const std::wstring& keyPath, bool timed) {
  std::string key;
  if (!keyPath.empty() && !readWholeFile(toNarrow(keyPath), key, 1 << 20)) {
    std::fprintf(stderr, "manifest: cannot read key %s\n", utf8(keyPath).c_str());
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  FileManifest manifest(L"", dir, key);
  if (!manifest.verifyAndLoad()) {
    std::printf("not verified\n");
    return 1;
  }
  const bool intact = manifest.checkFiles();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // One write for the whole listing: a write per line costs more under Wine than the check.
  std::string listing;
  for (const auto& [entryKey, entry] : manifest.entries()) {
    listing += entry.status == EntryStatus::Unchanged ? "Unchanged " : "Changed ";
    listing += utf8(entryKey) + "\n";
  }
  listing += intact ? "intact\n" : "not intact\n";
  std::fwrite(listing.data(), 1, listing.size(), stdout);
  std::fflush(stdout);
  if (timed) std::fprintf(stderr, "check time: %.3f s\n", seconds);
  return intact ? 0 : 1;
}

// The served updater at the folder's base, as the release's programs must have built it.
std::vector<std::string> servedUpdaterCheck(const std::wstring& dir,
                                            const ServedUpdaterExpectation& expected) {
  std::string bytes;
  const fs::path updater = fs::path(dir) / kUpdaterFileName;
  if (!readWholeFile(toNarrow(updater.wstring()), bytes, 1 << 28))
    return {"the served updater " + toNarrow(kUpdaterFileName) + " cannot be read"};
  const ServedUpdater facts = readServedUpdater(bytes);
  std::printf("served updater: version %s, update host %s, manifest key %s\n",
              facts.version.c_str(), facts.updateHost.c_str(), facts.keyFingerprint.c_str());
  return servedUpdaterProblems(facts, expected);
}

int updaterFacts(const std::wstring& file) {
  std::string bytes;
  if (!readWholeFile(toNarrow(file), bytes, 1 << 28)) {
    std::fprintf(stderr, "manifest: cannot read %s\n", utf8(file).c_str());
    return 1;
  }
  const ServedUpdater facts = readServedUpdater(bytes);
  std::printf("version %s\nupdate host %s\nmanifest key %s%s\n", facts.version.c_str(),
              facts.updateHost.c_str(), facts.keyFingerprint.c_str(),
              facts.keyFingerprint == developmentKeyFingerprint() ? " (development key)" : "");
  return 0;
}

int serverCheck(const std::wstring& dir, const std::wstring& keyPath, const std::wstring& version,
                const std::wstring& setup, bool development) {
  ServerFolderExpectation expected;
  expected.releaseVersion = toNarrow(version);
  expected.setupFileName = setup;
  if (!keyPath.empty() && !readWholeFile(toNarrow(keyPath), expected.publicKeyPem, 1 << 20)) {
    std::fprintf(stderr, "manifest: cannot read key %s\n", utf8(keyPath).c_str());
    return 2;
  }
  std::vector<std::string> problems;
  try {
    problems = serverFolderProblems(std::filesystem::path(dir), expected);
  } catch (const std::exception& e) {
    problems.push_back(std::string("cannot read the folder: ") + e.what());
  }
  ServedUpdaterExpectation updater;
  updater.releaseVersion = expected.releaseVersion;
  updater.publicKeyPem = expected.publicKeyPem;
  updater.development = development;
  for (std::string& p : servedUpdaterCheck(dir, updater)) problems.push_back(std::move(p));
  std::string listing;
  for (const std::string& p : problems) listing += "refused: " + p + "\n";
  listing += problems.empty() ? "publishable\n" : "not publishable\n";
  std::fwrite(listing.data(), 1, listing.size(), stdout);
  std::fflush(stdout);
  return problems.empty() ? 0 : 1;
}

int run(const std::vector<std::wstring>& args) {
  if (args.size() < 2) return usage();
  const std::wstring& command = args[0];
  const std::wstring& dir = args[1];
  std::wstring key, version, setup;
  bool extra = false, timed = false, development = false;
  for (std::size_t i = 2; i < args.size(); ++i) {
    if (args[i] == L"--key" && i + 1 < args.size())
      key = args[++i];
    else if (args[i] == L"--version" && i + 1 < args.size())
      version = args[++i];
    else if (args[i] == L"--setup" && i + 1 < args.size())
      setup = args[++i];
    else if (args[i] == L"--extra")
      extra = true;
    else if (args[i] == L"--time")
      timed = true;
    else if (args[i] == L"--dev")
      development = true;
    else
      return usage();
  }
  if (command == L"sign") {
    if (key.empty() && !extra) return usage();
    if (!version.empty() && VersionNumber::parse(version).text().empty()) {
      std::fprintf(stderr, "manifest: %s is not four numbers joined by dots\n",
                   utf8(version).c_str());
      return 2;
    }
    return sign(dir, key, extra, version);
  }
  if (command == L"server-check") {
    if (version.empty() || setup.empty() || extra) return usage();
    return serverCheck(dir, key, version, setup, development);
  }
  if (development && command != L"server-check") return usage();
  if (command == L"check" && !extra) return check(dir, key, timed);
  if (command == L"updater-facts" && args.size() == 2) return updaterFacts(dir);
  return usage();
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  // Lines end in "\n" as on every other system: in text mode the runtime writes the check's
  // listing a line at a time, which under Wine took longer than a third of the check itself.
  _setmode(_fileno(stdout), _O_BINARY);
  return run(std::vector<std::wstring>(argv + 1, argv + argc));
}
#else
int main(int argc, char** argv) {
  std::vector<std::wstring> args;
  for (int i = 1; i < argc; ++i) args.push_back(toWide(argv[i]));
  return run(args);
}
#endif
