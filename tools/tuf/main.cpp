// tuf_client: the update client on the command line, for the conformance suite of The Update
// Framework and the tests and benchmark beside it.
//   tuf_client --metadata-dir MD init TRUSTED_ROOT
//   tuf_client --metadata-url MURL --metadata-dir MD refresh
//   tuf_client --metadata-url MURL --metadata-dir MD --target-name PATH [--target-name PATH ...]
//              --target-dir TD --target-base-url TURL download
// MD holds the trusted metadata (root.json, ...); download refreshes, then stores each target in
// TD under its safe file name, fetching only those TD does not already hold verified.
// Options in any order; exit code 0 when everything succeeded, 1 otherwise (2 usage).
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "curl_fetcher.h"
#include "metadata_store.h"
#include "names.h"
#include "target_check.h"
#include "updater.h"

namespace orv::tuf_client {
namespace {

using tuf::Status;

struct Options {
  std::map<std::string, std::string> values;  // "--metadata-dir" -> MD, ...
  std::vector<std::string> targetNames;
  std::string command;
  std::string argument;  // init's trusted root
};

bool parseOptions(int argc, char** argv, Options& out) {
  static const char* const kValued[] = {"--metadata-dir", "--metadata-url", "--target-dir",
                                        "--target-base-url"};
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    bool valued = false;
    for (const char* name : kValued) valued = valued || word == name;
    if ((valued || word == "--target-name") && i + 1 < argc) {
      if (valued)
        out.values[word] = argv[++i];
      else
        out.targetNames.push_back(argv[++i]);
    } else if (out.command.empty() && word.rfind("--", 0) != 0) {
      out.command = word;
    } else if (out.command == "init" && out.argument.empty()) {
      out.argument = word;
    } else {
      return false;
    }
  }
  return !out.command.empty();
}

int fail(const char* step, const Status& status) {
  std::fprintf(stderr, "tuf_client: %s: %s\n", step, status.text().c_str());
  return 1;
}

// Writes a download to a file beside its final name.
class FileSink : public tuf::ByteSink {
 public:
  explicit FileSink(const std::filesystem::path& path) : out_(path, std::ios::binary) {}
  bool write(const char* data, std::size_t size) override {
    out_.write(data, static_cast<std::streamsize>(size));
    return static_cast<bool>(out_);
  }
  bool close() {
    out_.close();
    return static_cast<bool>(out_);
  }

 private:
  std::ofstream out_;
};

// Whether the file already holds the target's bytes.
bool holdsTarget(const std::filesystem::path& path, const tuf::TargetFile& info) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  tuf::TargetCheck check(info);
  char buffer[1 << 16];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0)
    if (!check.write(buffer, static_cast<std::size_t>(in.gcount()))) return false;
  return !in.bad() && check.finish(path.string()).ok();
}

// Downloads one target into the folder; the file appears only once the bytes proved right.
Status storeTarget(tuf::Updater& updater, const std::string& path, const std::string& folder,
                   const std::string& baseUrl) {
  tuf::TargetFile info;
  Status status = updater.findTarget(path, info);
  if (!status.ok()) return status;
  const std::filesystem::path file = std::filesystem::path(folder) / tuf::safeFileName(path);
  if (holdsTarget(file, info)) return {};
  // "%p" is no safe file name's ending, so the partial file never takes a target's name.
  std::filesystem::path partial = file;
  partial += "%part";
  FileSink sink(partial);
  status = updater.downloadTarget(path, info, baseUrl, sink);
  std::error_code error;
  if (status.ok() && !sink.close()) status = Status(tuf::Failure::kStorage, partial.string());
  if (status.ok()) std::filesystem::rename(partial, file, error);
  if (status.ok() && error) status = Status(tuf::Failure::kStorage, file.string());
  if (!status.ok()) std::filesystem::remove(partial, error);
  return status;
}

int run(const Options& options) {
  const auto value = [&](const char* name) {
    const auto it = options.values.find(name);
    return it == options.values.end() ? std::string() : it->second;
  };
  const std::string metadataDir = value("--metadata-dir");
  if (options.command == "init") {
    const std::optional<std::string> root = tuf::readWholeFile(options.argument);
    if (!root || !tuf::replaceFile(metadataDir + "/root.json", *root))
      return fail("init", Status(tuf::Failure::kStorage, options.argument));
    return 0;
  }
  tuf::FolderStore store(metadataDir);
  CurlFetcher fetcher;
  if (!fetcher.ok()) return fail(options.command.c_str(), Status(tuf::Failure::kUnreachable, ""));
  tuf::Updater updater(store, fetcher, value("--metadata-url"));
  Status status = updater.refresh(std::chrono::system_clock::now());
  if (!status.ok()) return fail("refresh", status);
  if (options.command == "refresh") return 0;
  for (const std::string& path : options.targetNames) {
    status = storeTarget(updater, path, value("--target-dir"), value("--target-base-url"));
    if (!status.ok()) return fail("download", status);
  }
  return 0;
}

}  // namespace
}  // namespace orv::tuf_client

int main(int argc, char** argv) {
  orv::tuf_client::Options options;
  const bool known = orv::tuf_client::parseOptions(argc, argv, options);
  const std::string& command = options.command;
  if (!known || (command != "init" && command != "refresh" && command != "download") ||
      (command == "init" && options.argument.empty())) {
    std::fprintf(stderr, "usage: tuf_client [options] init ROOT | refresh | download\n");
    return 2;
  }
  curl_global_init(CURL_GLOBAL_DEFAULT);
  const int code = orv::tuf_client::run(options);
  curl_global_cleanup();
  return code;
}
