#pragma once
// Repositories of The Update Framework for the update flow's tests, signed with the development
// keys the test builds trust (keys/tuf-dev) or with keys a test makes: every file below a server
// folder becomes a target of its path, written with consistent snapshots into its "tuf" folder,
// as the release tool lays it out. What a test changes is in the options.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace orv::test {

struct RepositoryOptions {
  std::int64_t version = 1;  // of the targets, snapshot and timestamp written
  // The timestamp's expiry from now, in seconds (negative: expired already).
  std::int64_t timestampExpiresIn = 86400;
  // New root versions after the development root (version 1), each replacing the root keys
  // with a new one of its own and signed by the keys before and after.
  int rootRotations = 0;
};

// Writes <folder>/tuf/metadata and <folder>/tuf/targets for every file below `folder` but its
// "tuf" folder, replacing what was there. Returns the newest root's bytes.
std::string writeRepository(const std::filesystem::path& folder,
                            const RepositoryOptions& options = {});

// The development repository's root (version 1), as the test builds carry it.
std::string developmentRoot();

}  // namespace orv::test
