#include "manifest_signature.h"

#include "hex_text.h"
#include "openssl_owners.h"

#include <openssl/bio.h>
#include <openssl/decoder.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/sha.h>

#include <cstring>
#include <memory>

namespace orv {
namespace {

constexpr char kMarker[] = "\r\n<Sign>";  // 8 bytes
constexpr std::size_t kMarkerSize = 8;
constexpr std::size_t kHexDigits = 256;
constexpr std::size_t kSignatureSize = 128;

using Pkey = PkeyPtr;
using PkeyCtx = PkeyCtxPtr;

// Reads a PKCS#1 "RSA PUBLIC KEY" PEM text from memory.
Pkey readPublicKey(const std::string& pem) {
  BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  if (!bio) return nullptr;
  EVP_PKEY* key = nullptr;
  DecoderCtxPtr dec(OSSL_DECODER_CTX_new_for_pkey(&key, "PEM", "type-specific", "RSA",
                                                  EVP_PKEY_PUBLIC_KEY, nullptr, nullptr));
  if (!dec || !OSSL_DECODER_from_bio(dec.get(), bio.get())) return nullptr;
  return Pkey(key);
}

}  // namespace

SignatureCheck checkSignedManifest(const std::string& bytes, const std::string& publicKeyPem) {
  Pkey key = readPublicKey(publicKeyPem);
  if (!key) return SignatureCheck::OtherKey;
  // The block is found as text but the message is cut by length; with a zero byte in the file
  // the two would describe different bytes, so such a file is never verified.
  if (bytes.find('\0') != std::string::npos) return SignatureCheck::Unsigned;

  const std::size_t lastTag = bytes.rfind('<');
  if (lastTag == std::string::npos || lastTag < kSignatureBlockSize)
    return SignatureCheck::Unsigned;
  const std::size_t block = lastTag - kSignatureBlockSize;
  if (std::memcmp(bytes.data() + block, kMarker, kMarkerSize) != 0) return SignatureCheck::Unsigned;

  std::string signature;
  if (!hexBytes(bytes.substr(block + kMarkerSize, 2 * kSignatureSize), signature))
    return SignatureCheck::Unsigned;

  // The signed message: everything in front of the block, then the last tag to the end.
  unsigned char digest[SHA_DIGEST_LENGTH];
  MdCtxPtr md(EVP_MD_CTX_new());
  if (!md) return SignatureCheck::Altered;
  unsigned int digestLen = 0;
  const bool hashed = EVP_DigestInit_ex(md.get(), EVP_sha1(), nullptr) &&
                      EVP_DigestUpdate(md.get(), bytes.data(), block) &&
                      EVP_DigestUpdate(md.get(), bytes.data() + lastTag, bytes.size() - lastTag) &&
                      EVP_DigestFinal_ex(md.get(), digest, &digestLen);
  if (!hashed || digestLen != SHA_DIGEST_LENGTH) return SignatureCheck::Altered;

  // Public-key operation with PKCS#1 v1.5 type 1 unpadding; no DigestInfo is expected.
  PkeyCtx ctx(EVP_PKEY_CTX_new(key.get(), nullptr));
  if (!ctx || EVP_PKEY_verify_recover_init(ctx.get()) <= 0 ||
      EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) <= 0)
    return SignatureCheck::OtherKey;
  unsigned char recovered[kSignatureSize];
  std::size_t recoveredLen = sizeof(recovered);
  if (EVP_PKEY_verify_recover(ctx.get(), recovered, &recoveredLen,
                              reinterpret_cast<const unsigned char*>(signature.data()),
                              kSignatureSize) <= 0)
    return SignatureCheck::OtherKey;
  // A block that does not unpad was made with another key; one that unpads to another digest
  // was made with this key over other bytes.
  const bool same =
      recoveredLen == SHA_DIGEST_LENGTH && std::memcmp(recovered, digest, SHA_DIGEST_LENGTH) == 0;
  return same ? SignatureCheck::Verified : SignatureCheck::Altered;
}

bool verifySignedManifest(const std::string& bytes, const std::string& publicKeyPem) {
  return checkSignedManifest(bytes, publicKeyPem) == SignatureCheck::Verified;
}

std::string signManifest(const std::string& unsignedBytes, const std::string& privateKeyPem) {
  const std::size_t lastTag = unsignedBytes.rfind('<');
  if (lastTag == std::string::npos) return std::string();

  BioPtr bio(BIO_new_mem_buf(privateKeyPem.data(), static_cast<int>(privateKeyPem.size())));
  if (!bio) return std::string();
  Pkey key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
  if (!key || EVP_PKEY_get_size(key.get()) != static_cast<int>(kSignatureSize))
    return std::string();

  unsigned char digest[SHA_DIGEST_LENGTH];
  SHA1(reinterpret_cast<const unsigned char*>(unsignedBytes.data()), unsignedBytes.size(), digest);

  PkeyCtx ctx(EVP_PKEY_CTX_new(key.get(), nullptr));
  unsigned char signature[kSignatureSize];
  std::size_t signatureLen = sizeof(signature);
  if (!ctx || EVP_PKEY_sign_init(ctx.get()) <= 0 ||
      EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) <= 0 ||
      EVP_PKEY_sign(ctx.get(), signature, &signatureLen, digest, sizeof(digest)) <= 0 ||
      signatureLen != kSignatureSize)
    return std::string();

  const std::string block =
      std::string(kMarker, kMarkerSize) + hexText(signature, kSignatureSize, true) + "</Sign>\r\n";
  return unsignedBytes.substr(0, lastTag) + block + unsignedBytes.substr(lastTag);
}

}  // namespace orv
