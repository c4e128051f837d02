#pragma once
// The update client: the whole client workflow of The Update Framework (1.0) over a fetcher and
// a store. refresh() updates the trusted metadata (the root chain, timestamp, snapshot,
// top-level targets) at a fixed start time the caller reads from its clock; findTarget()
// searches the delegations for a target; downloadTarget() fetches it, checked on the way.
// Metadata still valid in the store is used from there; whatever fails leaves the store as it
// was for that role.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "failure.h"
#include "metadata.h"
#include "metadata_store.h"
#include "transport.h"
#include "trusted_set.h"

namespace orv::tuf {

// The bounds of one update: downloads whose length no metadata gives, and the work an attacker
// can make a client do.
struct Limits {
  std::uint64_t rootLength = 512 * 1024;
  std::uint64_t timestampLength = 64 * 1024;
  std::uint64_t snapshotLength = 4 << 20;  // when the timestamp lists no length
  std::uint64_t targetsLength = 16 << 20;  // when the snapshot lists none, for every targets role
  int rootRotations = 256;                 // new root versions taken in one refresh
  int visitedRoles = 32;                   // targets roles one search visits
  int delegationDepth = 16;                // delegations below the top-level targets
};

class Updater {
 public:
  // `metadataUrl` ends in "/". The store holds the trusted root ("root.json") at least.
  Updater(MetadataStore& store, Fetcher& fetcher, std::string metadataUrl, Limits limits = {});

  Status refresh(std::chrono::system_clock::time_point now);

  // After a successful refresh: the target's metadata, by a pre-order depth-first search of the
  // delegations from the top-level targets (cycles skipped, a terminating delegation ends the
  // search below it).
  Status findTarget(const std::string& path, TargetFile& out);

  // The target from `targetsUrl` (ending in "/") into `out`, checked on the way against `info`:
  // `out` sees the bytes as they arrive, and only success says they were the target's.
  Status downloadTarget(const std::string& path, const TargetFile& info,
                        const std::string& targetsUrl, ByteSink& out);

  // After a successful refresh: where below `targetsUrl` the target is (hash-prefixed with
  // consistent snapshots); empty when it lists no hash this client knows.
  std::string targetUrl(const std::string& path, const TargetFile& info,
                        const std::string& targetsUrl) const;

 private:
  struct Visit {
    std::string role;
    Delegation delegation;
    int depth;
  };
  Status loadRootChain();
  Status forgetRotatedKeys(const Root& before);
  Status loadTimestamp();
  Status loadSnapshot();
  Status loadTargets(const std::string& role, const Delegation& delegation, const Targets*& out);
  // Pushes the role's delegations that cover the path, in the order the search takes them.
  Status pushDelegations(const Visit& visit, const Targets& targets, const std::string& path,
                         std::vector<Visit>& stack) const;
  Status fetchBounded(const std::string& url, std::uint64_t maxLength, std::string& bytes);
  std::string metadataUrl(const std::string& role, std::int64_t version) const;

  MetadataStore& store_;
  Fetcher& fetcher_;
  std::string metadataUrl_;
  Limits limits_;
  std::optional<TrustedSet> trusted_;
  bool refreshed_ = false;
};

}  // namespace orv::tuf
