#include "live_check.h"

#include "ansi_text.h"
#include "file_rules.h"
#include "update_rules.h"

namespace orv::manifest_tool {

namespace {

// Percent-encodes every byte but the unreserved ones and the separators `keep`.
std::string encoded(const std::string& text, const std::string& keep) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char c : text) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                       (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~' ||
                       keep.find(static_cast<char>(c)) != std::string::npos;
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

}  // namespace

std::string liveBaseUrl(const std::string& url) {
  const std::size_t scheme = url.find("://");
  const std::size_t path = url.find('/', scheme == std::string::npos ? 0 : scheme + 3);
  if (path != std::string::npos && path + 1 < url.size()) return url;
  return url.substr(0, path) + toNarrow(updater::kUpdateServerPath);
}

std::vector<LiveFile> liveFiles(const ReleaseRecord& record, const std::string& base) {
  std::vector<LiveFile> files;
  const std::string prefix = record.server + "/";
  for (const PublishedFile& f : record.files) {
    if (f.path.compare(0, prefix.size(), prefix) != 0) continue;  // the installer beside it
    const std::string path = f.path.substr(prefix.size());
    LiveFile live{path, "", f.size, f.sha256};
    if (path.compare(0, 4, "tuf/") == 0) {
      const bool slash = !base.empty() && base.back() == '/';
      live.url = base + (slash ? "" : "/") + encoded(path, "/");
    } else {
      const std::size_t cut = path.rfind('/');
      std::string folder = cut == std::string::npos ? "" : path.substr(0, cut);
      for (char& c : folder)
        if (c == '/') c = '\\';
      const std::wstring folderUrl = toWide(encoded(folder, "\\"));
      live.url = toNarrow(updater::listedFileLocation(
                              toWide(base), L"", toWide(encoded(path.substr(cut + 1), "")),
                              folderUrl, folderUrl)
                              .url);
    }
    files.push_back(std::move(live));
  }
  return files;
}

LiveResult liveCheck(const std::vector<LiveFile>& files, const Fetch& fetch) {
  LiveResult result;
  for (const LiveFile& f : files) {
    const FetchedFile got = fetch(f.url);
    if (!got.reached) {
      result.unreachable = f.url + ": " + got.error;
      return result;
    }
    const std::string at = f.path + " (" + f.url + ")";
    if (got.status != 200) {
      result.differences.push_back(at + ": HTTP status " + std::to_string(got.status));
      continue;
    }
    if (!got.contentEncoding.empty())
      result.differences.push_back(at + ": sent with Content-Encoding " + got.contentEncoding +
                                   "; the updater would keep the encoded bytes");
    if (!got.contentLength)
      result.differences.push_back(at + ": no Content-Length; the updater refuses the answer");
    else if (*got.contentLength != got.size)
      result.differences.push_back(at + ": Content-Length " + std::to_string(*got.contentLength) +
                                   ", body " + std::to_string(got.size) + " bytes");
    if (got.size != f.size || got.sha256 != f.sha256)
      result.differences.push_back(at + ": " + std::to_string(got.size) + " bytes, SHA-256 " +
                                   got.sha256 + "; recorded " + std::to_string(f.size) +
                                   " bytes, SHA-256 " + f.sha256);
  }
  return result;
}

}  // namespace orv::manifest_tool
