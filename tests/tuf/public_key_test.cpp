#include <gtest/gtest.h>

#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <functional>
#include <vector>

#include "digests.h"
#include "public_key.h"
#include "trusted_set.h"

namespace orv::tuf {
namespace {

// Keys as OpenSSL makes them, written the way metadata lists them.
PkeyPtr generate(const char* type, const char* curve = nullptr, std::size_t bits = 0) {
  if (curve) return PkeyPtr(EVP_PKEY_Q_keygen(nullptr, nullptr, type, curve));
  if (bits) return PkeyPtr(EVP_PKEY_Q_keygen(nullptr, nullptr, type, bits));
  return PkeyPtr(EVP_PKEY_Q_keygen(nullptr, nullptr, type));
}

std::string pem(EVP_PKEY* key) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  PEM_write_bio_PUBKEY(bio.get(), key);
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<std::size_t>(size));
}

std::string rawHex(EVP_PKEY* key) {
  unsigned char raw[32];
  std::size_t size = sizeof raw;
  EVP_PKEY_get_raw_public_key(key, raw, &size);
  return hexText(raw, size);
}

std::string sign(EVP_PKEY* key, const std::string& message) {
  MdCtxPtr ctx(EVP_MD_CTX_new());
  EVP_PKEY_CTX* pctx = nullptr;
  const bool ed25519 = EVP_PKEY_is_a(key, "ED25519");
  EVP_DigestSignInit(ctx.get(), &pctx, ed25519 ? nullptr : EVP_sha256(), nullptr, key);
  if (EVP_PKEY_is_a(key, "RSA")) {
    EVP_PKEY_CTX_set_rsa_padding(pctx, RSA_PKCS1_PSS_PADDING);
    EVP_PKEY_CTX_set_rsa_pss_saltlen(pctx, 32);
  }
  std::size_t size = 0;
  const auto* bytes = reinterpret_cast<const unsigned char*>(message.data());
  EVP_DigestSign(ctx.get(), nullptr, &size, bytes, message.size());
  std::string signature(size, '\0');
  EVP_DigestSign(ctx.get(), reinterpret_cast<unsigned char*>(&signature[0]), &size, bytes,
                 message.size());
  signature.resize(size);
  return signature;
}

std::string hexSignature(EVP_PKEY* key, const std::string& message) {
  const std::string signature = sign(key, message);
  return hexText(reinterpret_cast<const unsigned char*>(signature.data()), signature.size());
}

struct Kind {
  const char* name;
  std::function<PkeyPtr()> make;
  std::function<KeyEntry(EVP_PKEY*)> entry;
};

const std::vector<Kind>& kinds() {
  static const std::vector<Kind> kKinds = {
      {"ed25519", [] { return generate("ED25519"); },
       [](EVP_PKEY* k) {
         return KeyEntry{"ed25519", "ed25519", rawHex(k)};
       }},
      {"ecdsa", [] { return generate("EC", "P-256"); },
       [](EVP_PKEY* k) {
         return KeyEntry{"ecdsa", "ecdsa-sha2-nistp256", pem(k)};
       }},
      {"ecdsa, older keytype name", [] { return generate("EC", "P-256"); },
       [](EVP_PKEY* k) {
         return KeyEntry{"ecdsa-sha2-nistp256", "ecdsa-sha2-nistp256", pem(k)};
       }},
      {"rsa", [] { return generate("RSA", nullptr, 2048); },
       [](EVP_PKEY* k) {
         return KeyEntry{"rsa", "rsassa-pss-sha256", pem(k)};
       }},
  };
  return kKinds;
}

TEST(PublicKey, VerifiesEachSchemesSignatures) {
  const std::string message = R"({"_type":"root","version":1})";
  for (const Kind& kind : kinds()) {
    const PkeyPtr key = kind.make(), other = kind.make();
    const std::optional<PublicKey> read = PublicKey::read(kind.entry(key.get()));
    ASSERT_TRUE(read) << kind.name;
    EXPECT_TRUE(read->verifies(message, sign(key.get(), message))) << kind.name;
    EXPECT_FALSE(read->verifies(message + " ", sign(key.get(), message))) << kind.name;
    EXPECT_FALSE(read->verifies(message, sign(other.get(), message))) << kind.name;
    EXPECT_FALSE(read->verifies(message, "")) << kind.name;
  }
}

TEST(PublicKey, RefusesKeysOfOtherKindsOrStrength) {
  const PkeyPtr ed = generate("ED25519"), p256 = generate("EC", "P-256");
  const PkeyPtr p384 = generate("EC", "P-384"), rsa = generate("RSA", nullptr, 2048);
  const PkeyPtr weak = generate("RSA", nullptr, 1024);
  const std::string hex = rawHex(ed.get());
  const KeyEntry kRefused[] = {
      {"ed25519", "ed25519", hex.substr(2)},
      {"ed25519", "ed25519", hex.substr(2) + "zz"},
      {"ed25519", "ed25519", pem(ed.get())},
      {"ecdsa", "ecdsa-sha2-nistp256", pem(p384.get())},
      {"ecdsa", "ecdsa-sha2-nistp256", pem(rsa.get())},
      {"rsa", "rsassa-pss-sha256", pem(weak.get())},
      {"rsa", "rsassa-pss-sha256", pem(p256.get())},
      {"rsa", "rsa-pkcs1v15-sha256", pem(rsa.get())},
      {"ecdsa", "ecdsa-sha2-nistp384", pem(p384.get())},
      {"dsa", "dsa", pem(rsa.get())},
  };
  for (const KeyEntry& entry : kRefused)
    EXPECT_FALSE(PublicKey::read(entry)) << entry.keytype << "/" << entry.scheme;
}

// A threshold counts keys, not the ids that name them.
TEST(Signatures, EachKeyCountsOnce) {
  const PkeyPtr a = generate("ED25519"), b = generate("ED25519");
  const std::string message = "signed part";
  const Keys keys = {{"a", {"ed25519", "ed25519", rawHex(a.get())}},
                     {"a-again", {"ed25519", "ed25519", rawHex(a.get())}},
                     {"b", {"ed25519", "ed25519", rawHex(b.get())}}};
  const std::string sigA = hexSignature(a.get(), message), sigB = hexSignature(b.get(), message);
  struct Case {
    std::vector<Signature> signatures;
    Failure expected;
  } const kCases[] = {
      {{{"a", sigA}, {"b", sigB}}, Failure::kNone},
      {{{"a", sigA}, {"a-again", sigA}}, Failure::kThresholdNotMet},
      {{{"a", sigA}, {"b", sigB}, {"a", sigA}}, Failure::kDuplicateSignature},
  };
  for (const Case& c : kCases) {
    Envelope envelope{Json::Value(), message, c.signatures};
    const Delegation delegation{keys, RoleKeys{{"a", "a-again", "b"}, 2}};
    EXPECT_EQ(checkSignatures(envelope, delegation, "role").failure(), c.expected)
        << c.signatures.size() << " signatures";
  }
}

}  // namespace
}  // namespace orv::tuf
