#pragma once
// Whether a delegation covers a target path: one of its "paths" patterns matches (the pattern
// and the path split at "/" into as many parts, each part matched as a shell pattern: "*", "?",
// "[seq]", "[!seq]", case-sensitive), or the path's SHA-256 (hex) starts with one of its
// "path_hash_prefixes".
#include <string>

#include "metadata.h"

namespace orv::tuf {

bool delegates(const DelegatedRole& role, const std::string& targetPath);

// One pattern against one path, as above.
bool pathMatches(const std::string& pattern, const std::string& path);

}  // namespace orv::tuf
