// manifest: writes and checks an installation's manifests, a release's programs and its record.
//   manifest sign DIR --key KEY [--extra]   writes DIR\Digest.xml (signed) or DIR\Digest_n.xml
//   manifest check DIR [--key PUBLIC]       checks DIR the way the core host does at start-up
//   manifest server-check DIR --version V --setup NAME [--key PUBLIC] [--update-host HOST]
//            [--record FILE] [--dev]        checks an update server folder before it is published,
//                                           the served updater's host, key and version with it
//                                           (--dev: the placeholder host and development key
//                                           pass), and the folder against its release record
//   manifest program-check FILE --version V [--key PUBLIC] [--update-host HOST] [--dev]
//                                           are the version, host and key a program carries the
//                                           release's?
//   manifest updater-facts FILE             prints the host, key fingerprint and version a
//                                           program carries
//   manifest record FILE --server DIR --installer SETUP --version V --key PUBLIC
//            --update-host HOST --commit C --tree clean|dirty [--signer SHA256] [--dev]
//            [--tuf-root-version N --tuf-root-sha256 H --tuf-targets-version N]
//            [--rotate-manifest-key] [--new-host HOST]
//                                           writes the release record FILE
//   manifest continuity PREVIOUS_RECORD --version V --key PUBLIC --update-host HOST
//            [--rotate-manifest-key] [--new-host HOST]
//                                           does the release follow the recorded one (the same
//                                           key and host unless overridden, a higher version)?
//   manifest live-check URL --record FILE   fetches every server file the record lists from
//                                           the published folder at URL (the updater's base;
//                                           its path is added to a bare http(s)://host[:port])
//                                           as the updater forms its URLs, and compares each
//                                           with the record (native build only)
// `sign ... --version V` writes V as every entry's version instead of the files' own.
// Exit codes: 0 done / intact, 1 not intact, not verified or refused (or writing failed),
// 2 usage; live-check: 0 all as recorded, 1 a difference, 2 usage, 3 the server unreachable.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ansi_text.h"
#include "file_manifest.h"
#include "manifest_signature.h"
#include "manifest_writer.h"
#include "narrow_file.h"
#include "product.h"
#include "release_record.h"
#ifdef ORV_LIVE_CHECK
#include "live_fetch.h"
#endif
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
using namespace orv::manifest_tool;

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
               " [--update-host HOST] [--record FILE] [--dev]\n"
               "       manifest program-check FILE --version V [--key PUBLIC_KEY.pem]"
               " [--update-host HOST] [--dev]\n"
               "       manifest updater-facts FILE\n"
               "       manifest record FILE --server DIR --installer SETUP --version V"
               " --key PUBLIC_KEY.pem --update-host HOST --commit C --tree clean|dirty"
               " [--signer SHA256] [--dev] [--tuf-root-version N --tuf-root-sha256 H"
               " --tuf-targets-version N] [--rotate-manifest-key] [--new-host HOST]\n"
               "       manifest continuity PREVIOUS_RECORD --version V --key PUBLIC_KEY.pem"
               " --update-host HOST [--rotate-manifest-key] [--new-host HOST]\n"
               "       manifest live-check URL --record FILE\n");
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
  std::vector<ManifestEntry> files;
  try {
    files = listInstallation(fs::path(dir));
  } catch (const fs::filesystem_error& e) {
    std::fprintf(stderr, "manifest: cannot list %s: %s\n", utf8(dir).c_str(), e.what());
    return 1;
  }
  // A release stamps its own version on every entry, so that the updater reads it from whichever
  // file is listed first.
  if (!version.empty())
    for (ManifestEntry& f : files) f.version = VersionNumber::parse(version);
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
  FileManifest manifest(dir, key);
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

// The options the commands take; which ones a command needs, run() says.
struct Options {
  std::wstring key, version, setup, updateHost, record, server, installer, commit, tree, signer;
  std::wstring tufRootVersion, tufRootSha256, tufTargetsVersion, newHost;
  bool extra = false, timed = false, development = false, rotateKey = false;
};

// The public key PEM text of --key, if given; false (after saying so) when it cannot be read.
bool readPublicKey(const Options& options, std::string& pem) {
  if (options.key.empty() || readWholeFile(toNarrow(options.key), pem, 1 << 20)) return true;
  std::fprintf(stderr, "manifest: cannot read key %s\n", utf8(options.key).c_str());
  return false;
}

ProgramExpectation programExpectation(const Options& options, const std::string& publicKeyPem) {
  ProgramExpectation expected;
  expected.releaseVersion = toNarrow(options.version);
  expected.updateHost = toNarrow(options.updateHost);
  expected.publicKeyPem = publicKeyPem;
  expected.development = options.development;
  return expected;
}

std::optional<ServedUpdater> programFacts(const fs::path& file) {
  std::string bytes;
  if (!readWholeFile(toNarrow(file.wstring()), bytes, 1 << 28)) return std::nullopt;
  return readServedUpdater(bytes);
}

void printFacts(const std::string& name, const ServedUpdater& facts) {
  std::printf("%s: version %s, update host %s, manifest key %s\n", name.c_str(),
              facts.version.c_str(), facts.updateHost.c_str(), facts.keyFingerprint.c_str());
}

// Prints every problem as a refusal and the verdict; exit code 0 without problems, else 1.
int verdict(const std::vector<std::string>& problems, const char* good, const char* bad) {
  std::string listing;
  for (const std::string& p : problems) listing += "refused: " + p + "\n";
  listing += std::string(problems.empty() ? good : bad) + "\n";
  std::fwrite(listing.data(), 1, listing.size(), stdout);
  std::fflush(stdout);
  return problems.empty() ? 0 : 1;
}

int updaterFacts(const std::wstring& file) {
  const auto facts = programFacts(file);
  if (!facts) {
    std::fprintf(stderr, "manifest: cannot read %s\n", utf8(file).c_str());
    return 1;
  }
  std::printf("version %s\nupdate host %s\nmanifest key %s%s\n", facts->version.c_str(),
              facts->updateHost.c_str(), facts->keyFingerprint.c_str(),
              facts->keyFingerprint == kDevelopmentKeyFingerprint ? " (development key)" : "");
  return 0;
}

int programCheck(const std::wstring& file, const Options& options) {
  std::string publicKeyPem;
  if (!readPublicKey(options, publicKeyPem)) return 2;
  const std::wstring name = fs::path(file).filename().wstring();
  const auto facts = programFacts(file);
  if (!facts) return verdict({utf8(name) + " cannot be read"}, "", "not the release's");
  printFacts(utf8(name), *facts);
  return verdict(programProblems(utf8(name), *facts, programExpectation(options, publicKeyPem),
                                 carriedFactsOf(name)),
                 "the release's", "not the release's");
}

// The folder against its release record, when one is named.
std::vector<std::string> recordCheck(const std::wstring& dir, const Options& options,
                                     const std::optional<ServedUpdater>& served) {
  if (options.record.empty()) return {};
  std::string json;
  if (!readWholeFile(toNarrow(options.record), json, 1 << 26))
    return {"the release record " + utf8(options.record) + " cannot be read"};
  const auto record = parseRecord(json);
  if (!record) return {"the release record " + utf8(options.record) + " is not one"};
  return recordProblems(*record, fs::path(dir), served, toNarrow(options.version));
}

int serverCheck(const std::wstring& dir, const Options& options) {
  ServerFolderExpectation expected;
  expected.releaseVersion = toNarrow(options.version);
  expected.setupFileName = options.setup;
  if (!readPublicKey(options, expected.publicKeyPem)) return 2;
  std::vector<std::string> problems;
  const auto add = [&problems](std::vector<std::string> more) {
    for (std::string& p : more) problems.push_back(std::move(p));
  };
  try {
    add(serverFolderProblems(fs::path(dir), expected));
  } catch (const std::exception& e) {
    problems.push_back(std::string("cannot read the folder: ") + e.what());
  }
  // The served updater at the folder's base, as the release's programs must have built it.
  const auto served = programFacts(fs::path(dir) / kUpdaterFileName);
  if (served) {
    printFacts("served updater", *served);
    add(programProblems("the served updater", *served,
                        programExpectation(options, expected.publicKeyPem),
                        carriedFactsOf(kUpdaterFileName)));
  } else {
    problems.push_back("the served updater " + toNarrow(kUpdaterFileName) + " cannot be read");
  }
  try {
    add(recordCheck(dir, options, served));
  } catch (const std::exception& e) {
    problems.push_back(std::string("cannot compare the folder with its record: ") + e.what());
  }
  return verdict(problems, "publishable", "not publishable");
}

int writeRecord(const std::wstring& file, const Options& options) {
  std::string publicKeyPem;
  if (!readPublicKey(options, publicKeyPem)) return 2;
  ReleaseRecord record;
  record.commit = toNarrow(options.commit);
  record.clean = options.tree == L"clean";
  record.development = options.development;
  record.version = toNarrow(options.version);
  record.keyFingerprint = keyFingerprint(publicKeyPem);
  record.updateHost = toNarrow(options.updateHost);
  record.signer = toNarrow(options.signer);
  if (!options.tufRootVersion.empty()) {
    record.tuf.rootVersion = readDecimal(options.tufRootVersion);
    record.tuf.rootSha256 = toNarrow(options.tufRootSha256);
    record.tuf.targetsVersion = readDecimal(options.tufTargetsVersion);
  }
  if (options.rotateKey) record.overrides.push_back("rotate manifest-key");
  if (!options.newHost.empty()) record.overrides.push_back("new host " + toNarrow(options.newHost));
  if (record.keyFingerprint.empty()) {
    std::fprintf(stderr, "manifest: %s holds no RSA PUBLIC KEY\n", utf8(options.key).c_str());
    return 2;
  }
  // Paths are kept relative to the record's own folder, so that the record moves with them.
  const fs::path base = fs::absolute(fs::path(file)).parent_path();
  const fs::path server = fs::absolute(fs::path(options.server));
  record.server = server.lexically_relative(base).generic_u8string();
  try {
    for (const fs::path& item : {fs::absolute(fs::path(options.installer)), server})
      for (PublishedFile& f : publishedFiles(base, item)) record.files.push_back(std::move(f));
  } catch (const fs::filesystem_error& e) {
    std::fprintf(stderr, "manifest: cannot list what was published: %s\n", e.what());
    return 1;
  }
  std::sort(record.files.begin(), record.files.end(),
            [](const PublishedFile& a, const PublishedFile& b) { return a.path < b.path; });
  if (!writeFile(fs::path(file), recordJson(record))) {
    std::fprintf(stderr, "manifest: cannot write %s\n", utf8(file).c_str());
    return 1;
  }
  std::printf("%s: %zu files\n", utf8(file).c_str(), record.files.size());
  return 0;
}

Continuation continuationOf(const Options& options, const std::string& publicKeyPem) {
  Continuation next;
  next.version = toNarrow(options.version);
  next.keyFingerprint = keyFingerprint(publicKeyPem);
  next.updateHost = toNarrow(options.updateHost);
  next.rotateKey = options.rotateKey;
  next.newHost = toNarrow(options.newHost);
  return next;
}

int continuity(const std::wstring& previousFile, const Options& options) {
  std::string publicKeyPem, json;
  if (!readPublicKey(options, publicKeyPem)) return 2;
  if (!readWholeFile(toNarrow(previousFile), json, 1 << 26))
    return verdict({"the previous release record " + utf8(previousFile) + " cannot be read"}, "", "breaks the chain");
  const auto previous = parseRecord(json);
  if (!previous) return verdict({utf8(previousFile) + " is no release record"}, "", "breaks the chain");
  std::printf("previous release %s: manifest key %s, update host %s\n", previous->version.c_str(),
              previous->keyFingerprint.c_str(), previous->updateHost.c_str());
  if (previous->tuf.rootVersion > 0)
    std::printf("previous TUF root: version %lld sha256 %s\n",
                static_cast<long long>(previous->tuf.rootVersion), previous->tuf.rootSha256.c_str());
  return verdict(continuityProblems(*previous, continuationOf(options, publicKeyPem)),
                 "follows the previous release", "breaks the chain");
}

// The published folder over the network against its record (see live_check.h).
int liveCheck(const std::wstring& url, const Options& options) {
#ifdef ORV_LIVE_CHECK
  std::string json;
  if (!readWholeFile(toNarrow(options.record), json, 1 << 26)) {
    std::fprintf(stderr, "manifest: cannot read the release record %s\n",
                 utf8(options.record).c_str());
    return 2;
  }
  const auto record = parseRecord(json);
  if (!record) {
    std::fprintf(stderr, "manifest: %s is no release record\n", utf8(options.record).c_str());
    return 2;
  }
  const std::string base = liveBaseUrl(toNarrow(url));
  const std::vector<LiveFile> files = liveFiles(*record, base);
  const LiveResult result = liveCheck(files, fetchOverCurl);
  if (!result.unreachable.empty()) {
    std::printf("unreachable: %s\n", result.unreachable.c_str());
    return 3;
  }
  for (const std::string& d : result.differences) std::printf("differs: %s\n", d.c_str());
  if (!result.differences.empty()) {
    std::printf("%zu differences in %zu files at %s\n", result.differences.size(), files.size(),
                base.c_str());
    return 1;
  }
  std::printf("%zu files as recorded at %s\n", files.size(), base.c_str());
  return 0;
#else
  (void)url;
  (void)options;
  std::fprintf(stderr, "manifest: live-check is in the native build (libcurl)\n");
  return 2;
#endif
}

int run(const std::vector<std::wstring>& args) {
  if (args.size() < 2) return usage();
  const std::wstring& command = args[0];
  const std::wstring& target = args[1];
  Options o;
  const std::map<std::wstring, std::wstring Options::*> valued = {
      {L"--key", &Options::key},
      {L"--version", &Options::version},
      {L"--setup", &Options::setup},
      {L"--update-host", &Options::updateHost},
      {L"--record", &Options::record},
      {L"--server", &Options::server},
      {L"--installer", &Options::installer},
      {L"--commit", &Options::commit},
      {L"--tree", &Options::tree},
      {L"--signer", &Options::signer},
      {L"--tuf-root-version", &Options::tufRootVersion},
      {L"--tuf-root-sha256", &Options::tufRootSha256},
      {L"--tuf-targets-version", &Options::tufTargetsVersion},
      {L"--new-host", &Options::newHost}};
  const std::map<std::wstring, bool Options::*> flags = {{L"--extra", &Options::extra},
                                                         {L"--time", &Options::timed},
                                                         {L"--dev", &Options::development},
                                                         {L"--rotate-manifest-key", &Options::rotateKey}};
  for (std::size_t i = 2; i < args.size(); ++i) {
    const auto value = valued.find(args[i]);
    const auto flag = flags.find(args[i]);
    if (value != valued.end() && i + 1 < args.size())
      o.*(value->second) = args[++i];
    else if (flag != flags.end())
      o.*(flag->second) = true;
    else
      return usage();
  }
  const bool releaseCommand =
      command == L"server-check" || command == L"program-check" || command == L"record";
  if (o.development && !releaseCommand) return usage();
  if (command == L"sign") {
    if (o.key.empty() && !o.extra) return usage();
    if (!o.version.empty() && VersionNumber::parse(o.version).text().empty()) {
      std::fprintf(stderr, "manifest: %s is not four numbers joined by dots\n",
                   utf8(o.version).c_str());
      return 2;
    }
    return sign(target, o.key, o.extra, o.version);
  }
  if (command == L"server-check" && !o.version.empty() && !o.setup.empty() && !o.extra)
    return serverCheck(target, o);
  if (command == L"program-check" && !o.version.empty()) return programCheck(target, o);
  if (command == L"record" && !o.server.empty() && !o.installer.empty() && !o.version.empty() &&
      !o.key.empty() && !o.updateHost.empty() && (o.tree == L"clean" || o.tree == L"dirty"))
    return writeRecord(target, o);
  if (command == L"continuity" && !o.version.empty() && !o.key.empty() && !o.updateHost.empty())
    return continuity(target, o);
  if (command == L"check" && !o.extra) return check(target, o.key, o.timed);
  if (command == L"live-check" && !o.record.empty() && args.size() == 4)
    return liveCheck(target, o);
  if (command == L"updater-facts" && args.size() == 2) return updaterFacts(target);
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
