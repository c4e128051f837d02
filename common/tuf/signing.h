#pragma once
// The repository's side of the metadata: a role's key read from its PEM file (private, to sign,
// or public, to be listed), its entry and key id as metadata names it, and a signed envelope's
// bytes. Windows-free; the update client itself never signs.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <json/json.h>

#include "openssl_owners.h"
#include "public_key.h"

namespace orv::tuf {

// The key id of a key entry: SHA-256 (hex) of the canonical JSON of its keytype, scheme and
// keyval, as The Update Framework names keys.
std::string keyId(const KeyEntry& entry);
// {"keytype", "scheme", "keyval": {"public"}}.
Json::Value keyJson(const KeyEntry& entry);

class SigningKey {
 public:
  // An ed25519 or ECDSA P-256 key from a PEM file's bytes: a private key (PKCS#8 or the
  // traditional form) or, with `allowPublic`, a public one (SubjectPublicKeyInfo). Nothing,
  // and `why` says what it is instead, for any other key or bytes that hold none.
  static std::optional<SigningKey> read(const std::string& pem, bool allowPublic, std::string& why);

  const KeyEntry& entry() const { return entry_; }
  const std::string& id() const { return id_; }
  bool canSign() const { return private_; }
  // The signature over `message`, hex (ed25519: 64 bytes; ECDSA: DER over SHA-256); empty when
  // this is a public key or signing failed.
  std::string sign(const std::string& message) const;

 private:
  SigningKey(PkeyPtr key, KeyEntry entry, bool isPrivate)
      : key_(std::move(key)), entry_(std::move(entry)), id_(keyId(entry_)), private_(isPrivate) {}

  PkeyPtr key_;
  KeyEntry entry_;
  std::string id_;
  bool private_;
};

// The envelope's bytes ({"signatures": [...], "signed": ...}), signed by each key in turn over
// the signed part's canonical form; empty when it has none or a key cannot sign.
std::string signEnvelope(const Json::Value& signedPart, const std::vector<const SigningKey*>& keys);

// "YYYY-MM-DDTHH:MM:SSZ" of seconds since 1970 (UTC).
std::string utcTimeText(std::int64_t seconds);

}  // namespace orv::tuf
