#include "served_updater.h"

#include <openssl/evp.h>

#include <cstdio>

#include "ansi_text.h"
#include "pe_version.h"

namespace orv {

const char kPlaceholderUpdateHost[] = "update.example.invalid";
// The development key's PEM text, generated from keys/manifest-dev.pub.
extern const char kDevelopmentKeyPem[];

namespace {

// The updater keeps its host behind this label (UTF-16, as the program uses it).
constexpr char kHostLabel[] = "UpdateHost=";
constexpr char kPemBegin[] = "-----BEGIN RSA PUBLIC KEY-----";
constexpr char kPemEnd[] = "-----END RSA PUBLIC KEY-----";

std::string utf16le(const std::string& ascii) {
  std::string out;
  for (char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}

// The UTF-16 text behind the label, up to its terminating zero (printable ASCII only).
std::string hostRecord(const std::string& bytes) {
  const std::string label = utf16le(kHostLabel);
  const std::size_t at = bytes.find(label);
  if (at == std::string::npos) return {};
  std::string host;
  for (std::size_t i = at + label.size(); i + 1 < bytes.size(); i += 2) {
    const unsigned char lo = bytes[i], hi = bytes[i + 1];
    if (hi != 0 || lo < 0x21 || lo > 0x7e) break;
    host += static_cast<char>(lo);
  }
  return host;
}

std::string hex(const unsigned char* data, unsigned size) {
  std::string out;
  char two[3];
  for (unsigned i = 0; i < size; ++i) {
    std::snprintf(two, sizeof two, "%02x", data[i]);
    out += two;
  }
  return out;
}

}  // namespace

std::string keyFingerprint(const std::string& pem) {
  const std::size_t begin = pem.find(kPemBegin);
  const std::size_t end = begin == std::string::npos ? begin : pem.find(kPemEnd, begin);
  if (end == std::string::npos) return {};
  std::string body;
  for (std::size_t i = begin + sizeof kPemBegin - 1; i < end; ++i)
    if (pem[i] != '\n' && pem[i] != '\r') body += pem[i];
  if (body.empty() || body.size() % 4 != 0 || body.size() > 4096) return {};
  unsigned char der[3072];
  int size = EVP_DecodeBlock(der, reinterpret_cast<const unsigned char*>(body.data()),
                             static_cast<int>(body.size()));
  if (size <= 0) return {};
  // EVP_DecodeBlock counts the padding's bytes too.
  for (std::size_t i = body.size(); i > 0 && body[i - 1] == '='; --i) --size;
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int digestSize = 0;
  if (!EVP_Digest(der, static_cast<std::size_t>(size), digest, &digestSize, EVP_sha256(), nullptr))
    return {};
  return hex(digest, digestSize);
}

const std::string& developmentKeyFingerprint() {
  static const std::string fingerprint = keyFingerprint(kDevelopmentKeyPem);
  return fingerprint;
}

ServedUpdater readServedUpdater(const std::string& bytes) {
  ServedUpdater facts;
  facts.updateHost = hostRecord(bytes);
  const std::size_t begin = bytes.find(kPemBegin);
  const std::size_t end = begin == std::string::npos ? begin : bytes.find(kPemEnd, begin);
  if (end != std::string::npos && end - begin < 4096)
    facts.keyFingerprint = keyFingerprint(bytes.substr(begin, end - begin + sizeof kPemEnd - 1));
  if (const auto version = peFileVersion(bytes)) facts.version = toNarrow(version->text());
  return facts;
}

std::vector<std::string> servedUpdaterProblems(const ServedUpdater& updater,
                                               const ServedUpdaterExpectation& expected) {
  std::vector<std::string> problems;
  if (updater.version != expected.releaseVersion)
    problems.push_back("the served updater's own version is \"" + updater.version +
                       "\", not the release's " + expected.releaseVersion);
  if (updater.updateHost.empty())
    problems.push_back("the served updater carries no update host");
  else if (updater.updateHost == kPlaceholderUpdateHost && !expected.development)
    problems.push_back("the served updater points at the placeholder host " +
                       updater.updateHost + " (allowed only with --dev)");
  if (updater.keyFingerprint.empty())
    problems.push_back("the served updater carries no manifest key");
  else if (updater.keyFingerprint == developmentKeyFingerprint() && !expected.development)
    problems.push_back("the served updater carries the development key " +
                       updater.keyFingerprint + " (allowed only with --dev)");
  if (!expected.publicKeyPem.empty() && !updater.keyFingerprint.empty() &&
      updater.keyFingerprint != keyFingerprint(expected.publicKeyPem))
    problems.push_back("the served updater carries the key " + updater.keyFingerprint +
                       ", not the release's " + keyFingerprint(expected.publicKeyPem));
  return problems;
}

}  // namespace orv
