#pragma once
// A public key as metadata lists it ({"keytype", "scheme", "keyval": {"public"}}), read into
// OpenSSL. Three schemes: "ed25519" (the key as 64 hex digits), "ecdsa-sha2-nistp256" (keytype
// "ecdsa" or the older "ecdsa-sha2-nistp256"; a P-256 SubjectPublicKeyInfo PEM, DER
// signatures) and "rsassa-pss-sha256" (keytype "rsa"; an RSA SubjectPublicKeyInfo PEM of at
// least 2048 bits; PSS with SHA-256 and MGF1-SHA-256).
#include <optional>
#include <string>
#include <utility>

#include "openssl_owners.h"

namespace orv::tuf {

struct KeyEntry {
  std::string keytype;
  std::string scheme;
  std::string publicValue;  // keyval.public
};

// A key's SubjectPublicKeyInfo DER; empty when it has none.
std::string publicKeyDer(EVP_PKEY* key);

class PublicKey {
 public:
  // Nothing for a type or scheme this client does not know, or a value that is not such a key.
  static std::optional<PublicKey> read(const KeyEntry& entry);

  // True when `signature` (raw bytes) is this key's signature over `message`.
  bool verifies(const std::string& message, const std::string& signature) const;
  // The key's SubjectPublicKeyInfo DER: one key however its metadata writes it.
  const std::string& der() const { return der_; }

 private:
  enum class Scheme { kEd25519, kEcdsaP256, kRsaPss };
  PublicKey(PkeyPtr key, Scheme scheme, std::string der)
      : key_(std::move(key)), scheme_(scheme), der_(std::move(der)) {}

  PkeyPtr key_;
  Scheme scheme_;
  std::string der_;
};

}  // namespace orv::tuf
