#pragma once
// Names derived from role names and target paths: the addresses metadata and targets are
// fetched from, and the file names they are stored under.
#include <cstdint>
#include <string>

namespace orv::tuf {

// Every byte but letters, digits and "_.-~" as %XX: a role name as its file is asked for.
std::string urlQuote(const std::string& text);

// A name that any file system holds as one file of its own and that no two texts share: bytes
// other than lower-case letters, digits, "_" and "-" become %XX, as does "." at either end and
// the first letter of a Windows device name ("con", "nul.txt", ...); the empty text is "%".
std::string safeFileName(const std::string& text);

// The file a role's trusted metadata is stored under: "root.json", ... for the top-level roles,
// the safe file name (never one of those four) plus ".json" for a delegated role.
std::string metadataFileName(const std::string& role, bool delegated);

// Where below the metadata address a role's file is: "N.role.json" (root always, the others with
// consistent snapshots; the role URL-quoted), else "role.json".
std::string metadataUrlPath(const std::string& role, std::int64_t version, bool versioned);

// Where below the targets address a target is: with consistent snapshots "dir/HASH.name" for
// the path "dir/name", else the path itself.
std::string targetUrlPath(const std::string& path, const std::string& hash, bool consistent);

}  // namespace orv::tuf
