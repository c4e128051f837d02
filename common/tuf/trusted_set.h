#pragma once
// The metadata trusted during one update, and the rules by which new metadata joins it: each
// role's signatures, versions, hashes, lengths and expiry against what is trusted already. No
// input or output here: the updater (updater.h) brings the bytes and stores what is accepted.
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "failure.h"
#include "metadata.h"

namespace orv::tuf {

// Where metadata comes from: the store (trusted in an earlier update) or the server.
enum class Origin { kStored, kFetched };

// What a role's metadata must be signed with: the delegator's keys, the role's key ids and its
// threshold.
struct Delegation {
  Keys keys;
  RoleKeys role;
};

// kNone when a threshold of the role's keys signed the envelope validly; each key counts once,
// however many ids name it. kDuplicateSignature when the signatures name one key id twice.
Status checkSignatures(const Envelope& envelope, const Delegation& delegation,
                       const std::string& what);

// Whether the role's keys (their ids and values) differ between the two roots.
bool keysRotated(const Root& before, const Root& after, const std::string& role);

class TrustedSet {
 public:
  // `now`: the fixed update start time, seconds since 1970 (UTC).
  explicit TrustedSet(std::int64_t now) : now_(now) {}

  // The root the store holds: signed by a threshold of its own root keys; its age does not
  // matter yet.
  Status setStoredRoot(const std::string& bytes);
  // The next root from the server: version N+1, signed by a threshold of the trusted root's root
  // keys and of its own. `same` (and nothing changes) when it is version N again.
  Status updateRoot(const std::string& bytes, bool& same);
  // kExpired once the root chain ends in an expired root.
  Status checkRootFresh() const;

  // A timestamp the store holds: trusted for the rollback checks when its signatures hold,
  // whatever its age. False when they do not (it is then ignored).
  bool setStoredTimestamp(const std::string& bytes);
  // The server's timestamp: neither it nor its snapshot version older than the trusted one's.
  // `same` when it has the trusted version: the trusted one stays, and must not have expired.
  Status updateTimestamp(const std::string& bytes, bool& same);

  // The snapshot the trusted timestamp names: its version, hashes and length, and every targets
  // file the previously trusted snapshot listed still listed and not older. A stored snapshot
  // whose signatures hold is that previous snapshot, whatever else is wrong with it.
  Status updateSnapshot(const std::string& bytes, Origin origin);

  // Top-level ("targets") or delegated targets metadata: listed in the trusted snapshot with its
  // version (hashes, length), signed as `delegation` says.
  Status updateTargets(const std::string& role, const std::string& bytes,
                       const Delegation& delegation);
  // The role's trusted targets metadata, its signatures checked again against `delegation`:
  // a role reached through another delegator must be signed as that one says. Nothing in
  // `out` (and kNone) when the role's metadata is not trusted yet.
  Status trustedTargets(const std::string& role, const Delegation& delegation,
                        const Targets*& out) const;

  const Root& root() const { return *root_; }
  bool hasRoot() const { return root_.has_value(); }
  const Timestamp* timestamp() const { return timestamp_ ? &*timestamp_ : nullptr; }
  const Snapshot* snapshot() const { return snapshot_ ? &*snapshot_ : nullptr; }
  // What a top-level role must be signed with, as the trusted root says.
  Delegation topLevel(const std::string& role) const;
  // The trusted snapshot's entry for the role's metadata, or nullptr.
  const MetaFile* listed(const std::string& role) const;

 private:
  struct SignedTargets {
    Envelope envelope;
    Targets targets;
  };
  bool expired(const Header& header) const { return header.expires <= now_; }
  Status checkListed(const std::string& what, const MetaFile& meta, const std::string& bytes) const;

  std::int64_t now_;
  std::optional<Root> root_;
  std::optional<Timestamp> timestamp_;
  std::optional<Snapshot> previousSnapshot_;
  std::optional<Snapshot> snapshot_;
  std::map<std::string, SignedTargets> targets_;
};

}  // namespace orv::tuf
