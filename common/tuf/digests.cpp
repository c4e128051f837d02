#include "digests.h"

#include <cctype>

namespace orv::tuf {
namespace {

const EVP_MD* knownAlgorithm(const std::string& name) {
  if (name == "sha256") return EVP_sha256();
  if (name == "sha384") return EVP_sha384();
  if (name == "sha512") return EVP_sha512();
  return nullptr;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string hexText(const unsigned char* bytes, std::size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 0x0f];
  }
  return out;
}

bool hexBytes(const std::string& hex, std::string& out) {
  out.clear();
  if (hex.size() % 2 != 0) return false;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int hi = hexValue(hex[i]), lo = hexValue(hex[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out += static_cast<char>(hi * 16 + lo);
  }
  return true;
}

std::string sha256Hex(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr) != 1) return {};
  return hexText(digest, size);
}

HashCheck::HashCheck(const Hashes& listed) {
  for (const auto& [name, hex] : listed) {
    const EVP_MD* md = knownAlgorithm(name);
    if (!md) continue;
    Digest d{MdCtxPtr(EVP_MD_CTX_new()), hex};
    for (char& c : d.expected) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    ok_ = ok_ && d.ctx && EVP_DigestInit_ex(d.ctx.get(), md, nullptr) == 1;
    digests_.push_back(std::move(d));
  }
}

void HashCheck::update(const void* bytes, std::size_t size) {
  for (Digest& d : digests_)
    ok_ = ok_ && (size == 0 || EVP_DigestUpdate(d.ctx.get(), bytes, size) == 1);
}

bool HashCheck::matches() {
  bool all = ok_ && anyKnown();
  for (Digest& d : digests_) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    all = all && EVP_DigestFinal_ex(d.ctx.get(), digest, &size) == 1 &&
          hexText(digest, size) == d.expected;
  }
  ok_ = false;
  return all;
}

}  // namespace orv::tuf
