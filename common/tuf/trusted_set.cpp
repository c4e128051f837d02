#include "trusted_set.h"

#include <set>

#include "public_key.h"

namespace orv::tuf {
namespace {

std::string versionText(const char* what, std::int64_t got, std::int64_t wanted) {
  return std::string(what) + " version " + std::to_string(got) + ", wanted " +
         std::to_string(wanted);
}

// Reads and checks the signatures of one role's metadata.
template <typename Role, typename Read>
Status readSigned(const std::string& bytes, Read read, const Delegation& delegation,
                  const std::string& what, Envelope& envelope, Role& out) {
  Status status = readEnvelope(bytes, envelope);
  if (status.ok()) status = read(envelope, out);
  if (status.ok()) status = checkSignatures(envelope, delegation, what);
  return status;
}

}  // namespace

Status checkSignatures(const Envelope& envelope, const Delegation& delegation,
                       const std::string& what) {
  std::set<std::string> ids;
  for (const Signature& s : envelope.signatures)
    if (!ids.insert(s.keyid).second) return Status(Failure::kDuplicateSignature, what);
  const std::set<std::string> roleIds(delegation.role.keyids.begin(), delegation.role.keyids.end());
  std::set<std::string> signers;  // the DER of each key with a valid signature
  for (const Signature& s : envelope.signatures) {
    const auto entry = delegation.keys.find(s.keyid);
    if (!roleIds.count(s.keyid) || entry == delegation.keys.end()) continue;
    const std::optional<PublicKey> key = PublicKey::read(entry->second);
    std::string signature;
    if (key && hexBytes(s.sig, signature) && key->verifies(envelope.canonical, signature))
      signers.insert(key->der());
  }
  if (static_cast<std::int64_t>(signers.size()) < delegation.role.threshold)
    return Status(Failure::kThresholdNotMet, what + ": " + std::to_string(signers.size()) + " of " +
                                                 std::to_string(delegation.role.threshold));
  return {};
}

bool keysRotated(const Root& before, const Root& after, const std::string& role) {
  const std::vector<std::string>& a = before.roles.at(role).keyids;
  const std::vector<std::string>& b = after.roles.at(role).keyids;
  if (std::set<std::string>(a.begin(), a.end()) != std::set<std::string>(b.begin(), b.end()))
    return true;
  for (const std::string& id : a) {
    const auto x = before.keys.find(id), y = after.keys.find(id);
    if ((x == before.keys.end()) != (y == after.keys.end())) return true;
    if (x != before.keys.end() &&
        (x->second.keytype != y->second.keytype || x->second.scheme != y->second.scheme ||
         x->second.publicValue != y->second.publicValue))
      return true;
  }
  return false;
}

Delegation TrustedSet::topLevel(const std::string& role) const {
  return Delegation{root_->keys, root_->roles.at(role)};
}

const MetaFile* TrustedSet::listed(const std::string& role) const {
  if (!snapshot_) return nullptr;
  const auto it = snapshot_->meta.find(role + ".json");
  return it == snapshot_->meta.end() ? nullptr : &it->second;
}

Status TrustedSet::setStoredRoot(const std::string& bytes) {
  Envelope envelope;
  Root root;
  Status status = readEnvelope(bytes, envelope);
  if (status.ok()) status = readRoot(envelope, root);
  if (status.ok())
    status =
        checkSignatures(envelope, Delegation{root.keys, root.roles.at(kRootRole)}, "trusted root");
  if (status.ok()) root_ = std::move(root);
  return status;
}

Status TrustedSet::updateRoot(const std::string& bytes, bool& same) {
  same = false;
  Envelope envelope;
  Root root;
  Status status = readSigned(bytes, readRoot, topLevel(kRootRole), "root (by the trusted keys)",
                             envelope, root);
  if (status.ok())
    status = checkSignatures(envelope, Delegation{root.keys, root.roles.at(kRootRole)},
                             "root (by its own keys)");
  if (!status.ok()) return status;
  const std::int64_t trusted = root_->header.version;
  if (root.header.version == trusted) {
    same = true;
    return {};
  }
  if (root.header.version < trusted)
    return Status(Failure::kRolledBack, versionText("root", root.header.version, trusted + 1));
  if (root.header.version != trusted + 1)
    return Status(Failure::kVersionMismatch, versionText("root", root.header.version, trusted + 1));
  root_ = std::move(root);
  return {};
}

Status TrustedSet::checkRootFresh() const {
  if (expired(root_->header)) return Status(Failure::kExpired, "root");
  return {};
}

bool TrustedSet::setStoredTimestamp(const std::string& bytes) {
  Envelope envelope;
  Timestamp timestamp;
  if (!readSigned(bytes, readTimestamp, topLevel(kTimestampRole), "timestamp", envelope, timestamp)
           .ok())
    return false;
  timestamp_ = std::move(timestamp);
  return true;
}

Status TrustedSet::updateTimestamp(const std::string& bytes, bool& same) {
  same = false;
  Envelope envelope;
  Timestamp timestamp;
  Status status =
      readSigned(bytes, readTimestamp, topLevel(kTimestampRole), "timestamp", envelope, timestamp);
  if (!status.ok()) return status;
  if (timestamp_) {
    const std::int64_t trusted = timestamp_->header.version;
    if (timestamp.header.version < trusted)
      return Status(Failure::kRolledBack,
                    versionText("timestamp", timestamp.header.version, trusted));
    if (timestamp.header.version == trusted) {
      same = true;
      return expired(timestamp_->header) ? Status(Failure::kExpired, "timestamp") : Status();
    }
    if (timestamp.snapshot.version < timestamp_->snapshot.version)
      return Status(Failure::kRolledBack,
                    versionText("snapshot listed in the timestamp", timestamp.snapshot.version,
                                timestamp_->snapshot.version));
  }
  if (expired(timestamp.header)) return Status(Failure::kExpired, "timestamp");
  timestamp_ = std::move(timestamp);
  return {};
}

Status TrustedSet::checkListed(const std::string& what, const MetaFile& meta,
                               const std::string& bytes) const {
  if (meta.length && static_cast<std::int64_t>(bytes.size()) != *meta.length)
    return Status(Failure::kLengthMismatch, what);
  if (meta.hashes.empty()) return {};
  HashCheck check(meta.hashes);
  if (!check.anyKnown()) return Status(Failure::kNoKnownHash, what);
  check.update(bytes.data(), bytes.size());
  return check.matches() ? Status() : Status(Failure::kHashMismatch, what);
}

Status TrustedSet::updateSnapshot(const std::string& bytes, Origin origin) {
  const MetaFile& meta = timestamp_->snapshot;
  Status status;
  if (origin == Origin::kFetched) status = checkListed("snapshot", meta, bytes);
  if (!status.ok()) return status;
  Envelope envelope;
  Snapshot snapshot;
  status = readSigned(bytes, readSnapshot, topLevel(kSnapshotRole), "snapshot", envelope, snapshot);
  if (!status.ok()) return status;
  if (origin == Origin::kStored) {
    previousSnapshot_ = snapshot;
    status = checkListed("stored snapshot", meta, bytes);
    if (!status.ok()) return status;
  }
  if (snapshot.header.version != meta.version)
    return Status(Failure::kVersionMismatch,
                  versionText("snapshot", snapshot.header.version, meta.version));
  if (previousSnapshot_) {
    for (const auto& [name, before] : previousSnapshot_->meta) {
      const auto now = snapshot.meta.find(name);
      if (now == snapshot.meta.end())
        return Status(Failure::kRolledBack, name + " no longer listed in the snapshot");
      if (now->second.version < before.version)
        return Status(Failure::kRolledBack,
                      versionText(name.c_str(), now->second.version, before.version));
    }
  }
  if (expired(snapshot.header)) return Status(Failure::kExpired, "snapshot");
  snapshot_ = std::move(snapshot);
  return {};
}

Status TrustedSet::updateTargets(const std::string& role, const std::string& bytes,
                                 const Delegation& delegation) {
  const MetaFile* meta = listed(role);
  if (!meta) return Status(Failure::kRoleNotListed, role);
  Status status = checkListed(role, *meta, bytes);
  SignedTargets trusted;
  if (status.ok())
    status = readSigned(bytes, readTargets, delegation, role, trusted.envelope, trusted.targets);
  if (!status.ok()) return status;
  if (trusted.targets.header.version != meta->version)
    return Status(Failure::kVersionMismatch,
                  versionText(role.c_str(), trusted.targets.header.version, meta->version));
  if (expired(trusted.targets.header)) return Status(Failure::kExpired, role);
  targets_[role] = std::move(trusted);
  return {};
}

Status TrustedSet::trustedTargets(const std::string& role, const Delegation& delegation,
                                  const Targets*& out) const {
  out = nullptr;
  const auto it = targets_.find(role);
  if (it == targets_.end()) return {};
  Status status = checkSignatures(it->second.envelope, delegation, role);
  if (status.ok()) out = &it->second.targets;
  return status;
}

}  // namespace orv::tuf
