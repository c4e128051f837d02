#pragma once
// The release record: a small JSON file beside the update server's folder that says from what a
// release was made (the commit, whether the tree held uncommitted changes, the version, the
// manifest key, the update host, the Authenticode signer) and every file it published with its
// size and SHA-256, and the repository of The Update Framework it published with. The server
// check compares a server folder with it; the next release's continuity check with its own.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "served_updater.h"

namespace orv::manifest_tool {

struct PublishedFile {
  std::string path;  // relative to the record's folder, '/'-separated, UTF-8
  std::uintmax_t size = 0;
  std::string sha256;
};

// What the release published through The Update Framework: the root its programs carry and the
// targets version that lists the server folder's files. Empty (0) before it did.
struct TufFacts {
  std::int64_t rootVersion = 0;
  std::string rootSha256;  // of the root's file
  std::int64_t targetsVersion = 0;
};

struct ReleaseRecord {
  std::string commit;  // empty outside a git checkout
  bool clean = false;  // the tree held no uncommitted change
  bool development = false;
  std::string version;
  std::string keyFingerprint;  // of the manifest key the programs carry
  std::string updateHost;
  std::string signer;                // SHA-256 of the Authenticode certificate; empty when unsigned
  std::string server;                // the server folder, relative to the record's folder
  std::vector<PublishedFile> files;  // every published file, ordered by path
  TufFacts tuf;
  // The continuity rules this release was let through: "rotate manifest-key", "new host HOST".
  std::vector<std::string> overrides;
};

// A release that follows a recorded one, and the overrides it was given.
struct Continuation {
  std::string version;
  std::string keyFingerprint;
  std::string updateHost;
  bool rotateKey = false;  // --rotate manifest-key
  std::string newHost;     // --new-host HOST
};

// Every way the release breaks the chain of releases, one readable line each: another manifest
// key (unless rotated), another update host (unless named as the new one), a version not above
// the previous one's, or an override that overrides nothing.
std::vector<std::string> continuityProblems(const ReleaseRecord& previous, const Continuation& next);

// `item` (a file, or every regular file below a folder) as published, its paths relative to
// `base`. Throws std::filesystem::filesystem_error when a folder cannot be listed.
std::vector<PublishedFile> publishedFiles(const std::filesystem::path& base,
                                          const std::filesystem::path& item);

std::string recordJson(const ReleaseRecord& record);
std::optional<ReleaseRecord> parseRecord(const std::string& json);

// Every way the server folder `dir` and its served updater differ from the record, one readable
// line each: the record's version is `version`, its host and key are the ones the served updater
// carries (when it could be read), and the folder holds exactly the record's server files, each
// with its size and digest.
std::vector<std::string> recordProblems(const ReleaseRecord& record,
                                        const std::filesystem::path& dir,
                                        const std::optional<ServedUpdater>& served,
                                        const std::string& version);

}  // namespace orv::manifest_tool
