#pragma once
// A repository of The Update Framework as tuf_repo keeps it: REPO/metadata holds every version
// written (N.root.json, N.targets.json, N.snapshot.json, timestamp.json) and root.json, a copy
// of the newest root; REPO/targets holds the targets under their hash-prefixed names. The
// newest file of each role is the repository's state. What a command writes is gathered first
// and written only once everything was checked.
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <json/json.h>

#include "metadata.h"
#include "signing.h"
#include "trusted_set.h"

namespace orv::tuf_repo {

namespace fs = std::filesystem;

// A command's refusal (exit code 1: the input breaks a rule) or failure (3: a step could not be
// done), with the sentence that says why.
struct Refused : std::runtime_error {
  Refused(std::string text, int code = 1) : std::runtime_error(std::move(text)), code(code) {}
  int code;
};

// One role's newest metadata file: its bytes and what they say.
struct RoleFile {
  std::string bytes;
  tuf::Envelope envelope;
  std::int64_t version = 0;
  std::int64_t expires = 0;
};

struct Repository {
  fs::path dir;
  RoleFile rootFile;
  tuf::Root root;
  std::optional<RoleFile> targetsFile, snapshotFile, timestampFile;
  tuf::Targets targets;
  tuf::Snapshot snapshot;
  tuf::Timestamp timestamp;
};

// The repository at `dir`, its newest root and (once published) targets, snapshot and
// timestamp. Refused when there is none or a file does not read as its role's metadata.
Repository loadRepository(const fs::path& dir);

// The key file at `path`: a private key, or with `allowPublic` also a public one.
tuf::SigningKey readKey(const std::string& path, bool allowPublic);
// Refused unless `key` is one of the root's keys for `role`.
void checkRoleKey(const tuf::Root& root, const std::string& role, const tuf::SigningKey& key,
                  const std::string& path);
// What `role`'s metadata must be signed with under `root`.
tuf::Delegation delegationOf(const tuf::Root& root, const std::string& role);
// Whether the envelope carries a threshold of `role`'s valid signatures under `root`.
bool signedAsRootSays(const tuf::Root& root, const std::string& role, const tuf::Envelope& e);

// When each role's new metadata expires: the defaults (root 365d, targets 90d, snapshot 7d,
// timestamp 1d) or `--expires ROLE=VALUE`, VALUE a duration ("30d", "12h", "45m", negative
// ones allowed) or a time ("2027-01-01T00:00:00Z", past ones allowed).
class Expiries {
 public:
  explicit Expiries(std::int64_t now) : now_(now) {}
  // Refused for an unknown role or a value of neither form.
  void set(const std::string& roleEqualsValue);
  std::int64_t of(const std::string& role) const;
  bool given(const std::string& role) const { return given_.count(role) != 0; }
  std::int64_t now() const { return now_; }

 private:
  std::int64_t now_;
  std::map<std::string, std::int64_t> given_;
};

// The signed part's fields every role carries.
Json::Value signedHeader(const char* type, std::int64_t version, std::int64_t expires);

// The files a command writes, relative to the repository, in the order given (the timestamp,
// which points at the rest, last). Nothing is on disk until commit.
class Changes {
 public:
  void put(const fs::path& relative, std::string bytes);
  void copy(const fs::path& relative, const fs::path& from);
  // Writes every file beside its place, then renames each into it; a failed write leaves the
  // repository as it was (Refused with code 3).
  void commit(const fs::path& dir) const;
  // The bytes a put gave `relative`, or nullptr.
  const std::string* bytesOf(const fs::path& relative) const;

 private:
  struct Change {
    fs::path relative;
    std::string bytes;
    fs::path from;  // empty: `bytes` is the content
  };
  std::vector<Change> changes_;
};

}  // namespace orv::tuf_repo
