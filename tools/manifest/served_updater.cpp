#include "served_updater.h"

#include <openssl/evp.h>

#include "ansi_text.h"
#include "hex_text.h"
#include "pe_version.h"
#include "product.h"

namespace orv::manifest_tool {

const char kPlaceholderUpdateHost[] = "update.example.invalid";
// keys/manifest-dev.pub
const char kDevelopmentKeyFingerprint[] =
    "1762ddb3b0b6c3890fd9497027b5080c79cdfe4ba9dbb87d8ca88e1fd80ec53f";

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

std::string sha256HexOf(const void* data, std::size_t size) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int digestSize = 0;
  if (!EVP_Digest(data, size, digest, &digestSize, EVP_sha256(), nullptr)) return {};
  return hexText(digest, digestSize);
}

}  // namespace

std::string sha256Hex(const std::string& bytes) { return sha256HexOf(bytes.data(), bytes.size()); }

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
  return sha256HexOf(der, static_cast<std::size_t>(size));
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

CarriedFacts carriedFactsOf(const std::wstring& fileName) {
  if (fileName == kUpdaterFileName) return {true, true};
  if (fileName == kCoreFileName) return {false, true};
  return {};
}

std::vector<std::string> programProblems(const std::string& name, const ServedUpdater& facts,
                                         const ProgramExpectation& expected, CarriedFacts carried) {
  std::vector<std::string> problems;
  if (facts.version != expected.releaseVersion)
    problems.push_back(name + "'s own version is \"" + facts.version + "\", not the release's " +
                       expected.releaseVersion);
  if (facts.updateHost.empty()) {
    if (carried.host) problems.push_back(name + " carries no update host");
  } else if (facts.updateHost == kPlaceholderUpdateHost && !expected.development) {
    problems.push_back(name + " points at the placeholder host " + facts.updateHost +
                       " (allowed only with --dev)");
  } else if (!expected.updateHost.empty() && facts.updateHost != expected.updateHost) {
    problems.push_back(name + " points at the update host " + facts.updateHost +
                       ", not the release's " + expected.updateHost);
  }
  const std::string releaseKey =
      expected.publicKeyPem.empty() ? std::string() : keyFingerprint(expected.publicKeyPem);
  if (facts.keyFingerprint.empty()) {
    if (carried.key) problems.push_back(name + " carries no manifest key");
  } else if (facts.keyFingerprint == kDevelopmentKeyFingerprint && !expected.development) {
    problems.push_back(name + " carries the development key " + facts.keyFingerprint +
                       " (allowed only with --dev)");
  } else if (!releaseKey.empty() && facts.keyFingerprint != releaseKey) {
    problems.push_back(name + " carries the key " + facts.keyFingerprint + ", not the release's " +
                       releaseKey);
  }
  return problems;
}

}  // namespace orv::manifest_tool
