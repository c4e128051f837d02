#include "names.h"

#include <cstring>

#include "metadata.h"

namespace orv::tuf {
namespace {

void appendEscaped(unsigned char c, std::string& out) {
  static const char kDigits[] = "0123456789ABCDEF";
  out += '%';
  out += kDigits[c >> 4];
  out += kDigits[c & 0x0f];
}

// The name with its first byte written as %XX.
std::string escapeFirst(const std::string& name) {
  std::string out;
  appendEscaped(static_cast<unsigned char>(name[0]), out);
  return out + name.substr(1);
}

bool isDeviceName(const std::string& stem) {
  static const char* const kNames[] = {"con", "prn", "aux", "nul"};
  for (const char* name : kNames)
    if (stem == name) return true;
  return stem.size() == 4 && (stem.rfind("com", 0) == 0 || stem.rfind("lpt", 0) == 0) &&
         stem[3] >= '0' && stem[3] <= '9';
}

}  // namespace

std::string urlQuote(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       (c != 0 && std::strchr("_.-~", c));
    if (plain)
      out += static_cast<char>(c);
    else
      appendEscaped(c, out);
  }
  return out;
}

std::string safeFileName(const std::string& text) {
  if (text.empty()) return "%";
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const bool plain = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
                       (c == '.' && i > 0 && i + 1 < text.size());
    if (plain)
      out += static_cast<char>(c);
    else
      appendEscaped(c, out);
  }
  return isDeviceName(out.substr(0, out.find('.'))) ? escapeFirst(out) : out;
}

std::string metadataFileName(const std::string& role, bool delegated) {
  if (!delegated) return role + ".json";
  const std::string name = safeFileName(role);
  for (const char* topLevel : {kRootRole, kTimestampRole, kSnapshotRole, kTargetsRole})
    if (name == topLevel) return escapeFirst(name) + ".json";
  return name + ".json";
}

std::string metadataUrlPath(const std::string& role, std::int64_t version, bool versioned) {
  const std::string file = urlQuote(role) + ".json";
  return versioned ? std::to_string(version) + "." + file : file;
}

std::string targetUrlPath(const std::string& path, const std::string& hash, bool consistent) {
  if (!consistent) return path;
  const std::size_t slash = path.rfind('/');
  const std::size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
  return path.substr(0, nameAt) + hash + "." + path.substr(nameAt);
}

}  // namespace orv::tuf
