#pragma once
// The update's trust through The Update Framework, as rules: where the update server keeps its
// metadata and targets, the target each listed file is, which trusted root an attempt starts
// from, and what a failed refresh or target check is for the attempt. Windows-free.
#include <cstdint>
#include <optional>
#include <string>

#include "attempt_failure.h"
#include "failure.h"

namespace orv::updater {

// The repository beside the server folder's old layout: "<base>tuf/metadata/" and
// "<base>tuf/targets/" (one "/" between the base and "tuf", whatever the base ends with).
std::string trustMetadataUrl(const std::wstring& baseUrl);
std::string trustTargetsUrl(const std::wstring& baseUrl);

// The target a listed file is: its manifest path with "/" separators ("setup\\a.exe" and
// "\\setup\\a.exe" are "setup/a.exe"), in UTF-8.
std::string targetPathOf(const std::wstring& path, const std::wstring& fileName);

// The trusted root an attempt starts from: the stored one, unless there is none or the program's
// own is of a higher version (a newer program brings a newer root; a stored root that a refresh
// reached by its chain is never replaced by an older one). Versions from each file's signed part;
// a stored file that cannot be read has none.
enum class RootToStartFrom { kStored, kBuiltIn };
RootToStartFrom rootToStartFrom(std::optional<std::int64_t> storedVersion,
                                std::int64_t builtInVersion);
// The version in a root file's signed part, when the bytes are root metadata.
std::optional<std::int64_t> rootVersionOf(const std::string& bytes);

// What the attempt learned of the server while it refreshed: its clock (the last answer's Date
// header, seconds since 1970, when there was one) and how the last failed fetch failed (the
// Win32 error or HTTP status, and whether the server answered at all).
struct TrustContext {
  std::int64_t localNow = 0;
  std::optional<std::int64_t> serverNow;
  unsigned long fetchCode = 0;
  bool fetchAnswered = false;
};

// How far ahead of the server's clock this computer's may be before an expiry is put down to it.
inline constexpr std::int64_t kClockAheadSlackSeconds = 300;

// The attempt's failure for a refresh or target check that failed (never for success). An expiry
// while this computer's clock is ahead of the server's says so: the customer can mend that. A
// server that did not answer at all is an unreachable server, as before the repository existed
// (the attempt ends unseen); one that answered without the metadata is a failed trust stage.
AttemptFailure trustFailure(const tuf::Status& status, const TrustContext& context);

}  // namespace orv::updater
