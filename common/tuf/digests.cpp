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

}  // namespace

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
