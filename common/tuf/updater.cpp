#include "updater.h"

#include <algorithm>
#include <iterator>
#include <set>
#include <utility>
#include <vector>

#include "delegation_match.h"
#include "names.h"
#include "target_check.h"

namespace orv::tuf {
namespace {

const char kRootFile[] = "root.json";
const char kTimestampFile[] = "timestamp.json";
const char kSnapshotFile[] = "snapshot.json";

// Collects a download in memory, refusing bytes past its bound.
class MemorySink : public ByteSink {
 public:
  MemorySink(std::string& bytes, std::uint64_t maxLength) : bytes_(bytes), maxLength_(maxLength) {
    bytes_.clear();
  }
  bool write(const char* data, std::size_t size) override {
    exceeded_ = exceeded_ || size > maxLength_ - bytes_.size();
    if (!exceeded_) bytes_.append(data, size);
    return !exceeded_;
  }
  bool exceeded() const { return exceeded_; }

 private:
  std::string& bytes_;
  std::uint64_t maxLength_;
  bool exceeded_ = false;
};

std::uint64_t boundOf(const MetaFile& meta, std::uint64_t fallback) {
  return meta.length ? static_cast<std::uint64_t>(*meta.length) : fallback;
}

// The listed hash a consistent snapshot names the target's file by: sha256 when listed, else
// another algorithm this client can check; empty when there is none.
std::string hashForName(const Hashes& hashes) {
  const auto sha256 = hashes.find("sha256");
  if (sha256 != hashes.end()) return sha256->second;
  for (const auto& [name, hex] : hashes)
    if (HashCheck(Hashes{{name, hex}}).anyKnown()) return hex;
  return {};
}

}  // namespace

Updater::Updater(MetadataStore& store, Fetcher& fetcher, std::string metadataUrl, Limits limits)
    : store_(store), fetcher_(fetcher), metadataUrl_(std::move(metadataUrl)), limits_(limits) {}

Status Updater::refresh(std::chrono::system_clock::time_point now) {
  refreshed_ = false;
  trusted_.emplace(std::chrono::floor<std::chrono::seconds>(now.time_since_epoch()).count());
  const std::optional<std::string> stored = store_.read(kRootFile);
  if (!stored) return Status(Failure::kNoTrustedRoot, kRootFile);
  Status status = trusted_->setStoredRoot(*stored);
  if (!status.ok()) return status;
  const Root before = trusted_->root();
  if (!(status = loadRootChain()).ok()) return status;
  if (!(status = forgetRotatedKeys(before)).ok()) return status;
  if (!(status = loadTimestamp()).ok()) return status;
  if (!(status = loadSnapshot()).ok()) return status;
  const Targets* targets = nullptr;
  status = loadTargets(kTargetsRole, trusted_->topLevel(kTargetsRole), targets);
  refreshed_ = status.ok();
  return status;
}

Status Updater::loadRootChain() {
  for (int i = 0; i < limits_.rootRotations; ++i) {
    const std::int64_t next = trusted_->root().header.version + 1;
    std::string bytes;
    Status status = fetchBounded(metadataUrl_ + metadataUrlPath(kRootRole, next, true),
                                 limits_.rootLength, bytes);
    if (status.failure() == Failure::kNotFound) break;
    bool same = false;
    if (status.ok()) status = trusted_->updateRoot(bytes, same);
    if (!status.ok()) return status;
    if (same) break;
    if (!store_.write(kRootFile, bytes)) return Status(Failure::kStorage, kRootFile);
  }
  return trusted_->checkRootFresh();
}

// A new timestamp or snapshot key ends the trust in the stored timestamp and snapshot, so that
// a repository can recover from versions an attacker pushed far ahead.
Status Updater::forgetRotatedKeys(const Root& before) {
  const Root& after = trusted_->root();
  if (!keysRotated(before, after, kTimestampRole) && !keysRotated(before, after, kSnapshotRole))
    return {};
  for (const char* file : {kTimestampFile, kSnapshotFile})
    if (!store_.remove(file)) return Status(Failure::kStorage, file);
  return {};
}

Status Updater::loadTimestamp() {
  if (const std::optional<std::string> stored = store_.read(kTimestampFile))
    trusted_->setStoredTimestamp(*stored);
  std::string bytes;
  Status status = fetchBounded(metadataUrl_ + kTimestampFile, limits_.timestampLength, bytes);
  bool same = false;
  if (status.ok()) status = trusted_->updateTimestamp(bytes, same);
  if (status.ok() && !same && !store_.write(kTimestampFile, bytes))
    return Status(Failure::kStorage, kTimestampFile);
  return status;
}

Status Updater::loadSnapshot() {
  const std::optional<std::string> stored = store_.read(kSnapshotFile);
  if (stored && trusted_->updateSnapshot(*stored, Origin::kStored).ok()) return {};
  const MetaFile meta = trusted_->timestamp()->snapshot;
  std::string bytes;
  Status status = fetchBounded(metadataUrl(kSnapshotRole, meta.version),
                               boundOf(meta, limits_.snapshotLength), bytes);
  if (status.ok()) status = trusted_->updateSnapshot(bytes, Origin::kFetched);
  if (status.ok() && !store_.write(kSnapshotFile, bytes))
    return Status(Failure::kStorage, kSnapshotFile);
  return status;
}

Status Updater::loadTargets(const std::string& role, const Delegation& delegation,
                            const Targets*& out) {
  Status status = trusted_->trustedTargets(role, delegation, out);
  if (!status.ok() || out) return status;
  const MetaFile* meta = trusted_->listed(role);
  if (!meta) return Status(Failure::kRoleNotListed, role);
  const std::string file = metadataFileName(role, role != kTargetsRole);
  const std::optional<std::string> stored = store_.read(file);
  if (!stored || !trusted_->updateTargets(role, *stored, delegation).ok()) {
    std::string bytes;
    status = fetchBounded(metadataUrl(role, meta->version), boundOf(*meta, limits_.targetsLength),
                          bytes);
    if (status.ok()) status = trusted_->updateTargets(role, bytes, delegation);
    if (!status.ok()) return status;
    if (!store_.write(file, bytes)) return Status(Failure::kStorage, file);
  }
  return trusted_->trustedTargets(role, delegation, out);
}

Status Updater::findTarget(const std::string& path, TargetFile& out) {
  if (!refreshed_) return Status(Failure::kNotRefreshed, path);
  std::vector<Visit> stack{{kTargetsRole, trusted_->topLevel(kTargetsRole), 0}};
  std::set<std::string> visited;
  while (!stack.empty()) {
    const Visit visit = std::move(stack.back());
    stack.pop_back();
    if (visited.count(visit.role)) continue;
    if (static_cast<int>(visited.size()) >= limits_.visitedRoles)
      return Status(Failure::kDelegationLimit, path);
    const Targets* targets = nullptr;
    Status status = loadTargets(visit.role, visit.delegation, targets);
    if (!status.ok()) return status;
    visited.insert(visit.role);
    const auto found = targets->targets.find(path);
    if (found != targets->targets.end()) {
      out = found->second;
      return {};
    }
    if (!(status = pushDelegations(visit, *targets, path, stack)).ok()) return status;
  }
  return Status(Failure::kTargetNotFound, path);
}

Status Updater::pushDelegations(const Visit& visit, const Targets& targets, const std::string& path,
                                std::vector<Visit>& stack) const {
  std::vector<Visit> children;
  for (const DelegatedRole& role : targets.delegations) {
    if (!delegates(role, path)) continue;
    children.push_back({role.name, Delegation{targets.delegationKeys, role.keys}, visit.depth + 1});
    // Below a terminating delegation nothing else is searched: not its later siblings, nor
    // what the search would have come back to.
    if (role.terminating) {
      stack.clear();
      break;
    }
  }
  if (!children.empty() && visit.depth + 1 > limits_.delegationDepth)
    return Status(Failure::kDelegationLimit, path);
  std::move(children.rbegin(), children.rend(), std::back_inserter(stack));
  return {};
}

Status Updater::downloadTarget(const std::string& path, const TargetFile& info,
                               const std::string& targetsUrl, ByteSink& out) {
  if (!refreshed_) return Status(Failure::kNotRefreshed, path);
  const std::string url = targetUrl(path, info, targetsUrl);
  if (url.empty()) return Status(Failure::kNoKnownHash, path);
  TargetCheck check(info, &out);
  const Status status = fetcher_.fetch(url, static_cast<std::uint64_t>(info.length), check);
  // A fetch that the check cut short failed for the check's reason.
  const Status checked = check.finish(path);
  if (checked.failure() == Failure::kLengthExceeded) return checked;
  return status.ok() ? checked : status;
}

std::string Updater::targetUrl(const std::string& path, const TargetFile& info,
                               const std::string& targetsUrl) const {
  const std::string hash = hashForName(info.hashes);
  if (hash.empty() || !trusted_) return {};
  return targetsUrl + targetUrlPath(path, hash, trusted_->root().consistentSnapshot);
}

Status Updater::fetchBounded(const std::string& url, std::uint64_t maxLength, std::string& bytes) {
  MemorySink sink(bytes, maxLength);
  const Status status = fetcher_.fetch(url, maxLength, sink);
  if (sink.exceeded()) return Status(Failure::kLengthExceeded, url);
  return status;
}

std::string Updater::metadataUrl(const std::string& role, std::int64_t version) const {
  return metadataUrl_ + metadataUrlPath(role, version, trusted_->root().consistentSnapshot);
}

}  // namespace orv::tuf
