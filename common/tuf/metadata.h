#pragma once
// The four kinds of metadata as read from their bytes: the signed envelope, its common fields
// and each role's own. Reading checks the format only; whether the metadata is to be trusted is
// trusted_set.h's question.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <json/json.h>

#include "digests.h"
#include "failure.h"
#include "public_key.h"

namespace orv::tuf {

using Keys = std::map<std::string, KeyEntry>;  // key id -> key

// The key ids a role is signed with and how many of them must sign.
struct RoleKeys {
  std::vector<std::string> keyids;
  std::int64_t threshold = 0;
};

struct Signature {
  std::string keyid;
  std::string sig;  // hex, as written
};

// {"signed": ..., "signatures": [...]}: the signed part, its canonical bytes (what the
// signatures sign) and the signatures.
struct Envelope {
  Json::Value signedPart;
  std::string canonical;
  std::vector<Signature> signatures;
};

// The fields every role's signed part carries.
struct Header {
  std::string type;          // "_type"
  std::int64_t version = 0;  // >= 1
  std::int64_t expires = 0;  // seconds since 1970, UTC
};

struct MetaFile {
  std::int64_t version = 0;
  std::optional<std::int64_t> length;
  Hashes hashes;  // empty when none are listed
};

struct Root {
  Header header;
  bool consistentSnapshot = false;
  Keys keys;
  std::map<std::string, RoleKeys> roles;  // root, timestamp, snapshot, targets
};

struct Timestamp {
  Header header;
  MetaFile snapshot;  // meta["snapshot.json"]
};

struct Snapshot {
  Header header;
  std::map<std::string, MetaFile> meta;  // "targets.json", "<delegated role>.json"
};

struct TargetFile {
  std::int64_t length = 0;
  Hashes hashes;
};

struct DelegatedRole {
  std::string name;
  RoleKeys keys;
  bool terminating = false;
  // Exactly one of the two is listed in the metadata.
  std::optional<std::vector<std::string>> paths;
  std::optional<std::vector<std::string>> pathHashPrefixes;
};

struct Targets {
  Header header;
  std::map<std::string, TargetFile> targets;
  Keys delegationKeys;
  std::vector<DelegatedRole> delegations;  // in their order of appearance
};

extern const char kRootRole[];       // "root"
extern const char kTimestampRole[];  // "timestamp"
extern const char kSnapshotRole[];   // "snapshot"
extern const char kTargetsRole[];    // "targets"

// kBadMetadata unless the bytes are a JSON envelope whose signed part has a canonical form.
Status readEnvelope(const std::string& bytes, Envelope& out);

// Each reads the signed part of an envelope: kBadMetadata for a missing or ill-typed field,
// kWrongType for another role's metadata, kUnsupportedVersion for another major version.
Status readRoot(const Envelope& envelope, Root& out);
Status readTimestamp(const Envelope& envelope, Timestamp& out);
Status readSnapshot(const Envelope& envelope, Snapshot& out);
Status readTargets(const Envelope& envelope, Targets& out);

// "YYYY-MM-DDTHH:MM:SSZ" (fractions of a second are allowed and dropped) as seconds since 1970.
std::optional<std::int64_t> readUtcTime(const std::string& text);

}  // namespace orv::tuf
