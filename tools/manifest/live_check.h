#pragma once
// The published folder checked over the network: every server file a release record lists is
// fetched from the URL the updater forms for it and compared with the record (its size and
// SHA-256), and what the updater needs of each answer (status 200, a Content-Length that is the
// body's length, no content encoding). Windows-free; the fetching is handed in.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "release_record.h"

namespace orv::manifest_tool {

// What one GET gave: no answer at all (`reached` false, `error` says why), or the final answer's
// status, headers of interest and the body's length and SHA-256.
struct FetchedFile {
  bool reached = false;
  std::string error;
  long status = 0;
  std::optional<std::uintmax_t> contentLength;
  std::string contentEncoding;
  std::uintmax_t size = 0;
  std::string sha256;
};
using Fetch = std::function<FetchedFile(const std::string& url)>;

struct LiveFile {
  std::string path;  // below the server folder, '/'-separated
  std::string url;
  std::uintmax_t size = 0;
  std::string sha256;
};

// The updater's base URL for `url`: the URL itself when it names a path, else the URL with the
// updater's fixed path (http://host[:port] -> http://host[:port]/delmora/.../sub305867/).
std::string liveBaseUrl(const std::string& url);

// The record's server files with the URLs the updater forms for them under `base` (base + "/" +
// Path + "/" + name, the Path with Windows' backslashes); those under tuf/ at base + their path.
// Bytes outside the URL's unreserved characters are percent-encoded.
std::vector<LiveFile> liveFiles(const ReleaseRecord& record, const std::string& base);

struct LiveResult {
  std::vector<std::string> differences;  // one readable line each
  std::string unreachable;               // set when a fetch got no answer: the URL and why
};
LiveResult liveCheck(const std::vector<LiveFile>& files, const Fetch& fetch);

}  // namespace orv::manifest_tool
