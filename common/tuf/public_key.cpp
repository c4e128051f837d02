#include "public_key.h"

#include <openssl/pem.h>
#include <openssl/rsa.h>

#include "digests.h"

namespace orv::tuf {
namespace {

constexpr int kMinRsaBits = 2048;

PkeyPtr readPem(const std::string& pem) {
  BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  if (!bio) return nullptr;
  return PkeyPtr(PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr));
}

PkeyPtr readEd25519(const std::string& hex) {
  std::string raw;
  if (!hexBytes(hex, raw) || raw.size() != 32) return nullptr;
  return PkeyPtr(EVP_PKEY_new_raw_public_key(
      EVP_PKEY_ED25519, nullptr, reinterpret_cast<const unsigned char*>(raw.data()), raw.size()));
}

bool isP256(EVP_PKEY* key) {
  char group[64] = {};
  return EVP_PKEY_is_a(key, "EC") &&
         EVP_PKEY_get_group_name(key, group, sizeof group, nullptr) == 1 &&
         std::string(group) == "prime256v1";
}

}  // namespace

std::string publicKeyDer(EVP_PKEY* key) {
  unsigned char* der = nullptr;
  const int size = i2d_PUBKEY(key, &der);
  if (size <= 0) return {};
  std::string out(reinterpret_cast<const char*>(der), static_cast<std::size_t>(size));
  OPENSSL_free(der);
  return out;
}

std::optional<PublicKey> PublicKey::read(const KeyEntry& entry) {
  PkeyPtr key;
  Scheme scheme;
  if (entry.keytype == "ed25519" && entry.scheme == "ed25519") {
    key = readEd25519(entry.publicValue);
    scheme = Scheme::kEd25519;
  } else if ((entry.keytype == "ecdsa" || entry.keytype == "ecdsa-sha2-nistp256") &&
             entry.scheme == "ecdsa-sha2-nistp256") {
    key = readPem(entry.publicValue);
    if (key && !isP256(key.get())) key.reset();
    scheme = Scheme::kEcdsaP256;
  } else if (entry.keytype == "rsa" && entry.scheme == "rsassa-pss-sha256") {
    key = readPem(entry.publicValue);
    if (key && (!EVP_PKEY_is_a(key.get(), "RSA") || EVP_PKEY_get_bits(key.get()) < kMinRsaBits))
      key.reset();
    scheme = Scheme::kRsaPss;
  } else {
    return std::nullopt;
  }
  if (!key) return std::nullopt;
  std::string der = publicKeyDer(key.get());
  if (der.empty()) return std::nullopt;
  return PublicKey(std::move(key), scheme, std::move(der));
}

bool PublicKey::verifies(const std::string& message, const std::string& signature) const {
  MdCtxPtr ctx(EVP_MD_CTX_new());
  if (!ctx || signature.empty()) return false;
  EVP_PKEY_CTX* pctx = nullptr;  // owned by ctx
  const EVP_MD* md = scheme_ == Scheme::kEd25519 ? nullptr : EVP_sha256();
  if (EVP_DigestVerifyInit(ctx.get(), &pctx, md, nullptr, key_.get()) != 1) return false;
  if (scheme_ == Scheme::kRsaPss &&
      (EVP_PKEY_CTX_set_rsa_padding(pctx, RSA_PKCS1_PSS_PADDING) != 1 ||
       EVP_PKEY_CTX_set_rsa_mgf1_md(pctx, EVP_sha256()) != 1 ||
       EVP_PKEY_CTX_set_rsa_pss_saltlen(pctx, RSA_PSS_SALTLEN_AUTO) != 1))
    return false;
  return EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char*>(signature.data()),
                          signature.size(), reinterpret_cast<const unsigned char*>(message.data()),
                          message.size()) == 1;
}

}  // namespace orv::tuf
