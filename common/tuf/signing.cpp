#include "signing.h"

#include <openssl/pem.h>

#include <algorithm>
#include <ctime>

#include "canonical_json.h"
#include "digests.h"
#include "hex_text.h"

namespace orv::tuf {
namespace {

std::string publicPem(EVP_PKEY* key) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  if (!bio || PEM_write_bio_PUBKEY(bio.get(), key) != 1) return {};
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<std::size_t>(size));
}

// The entry metadata lists for the key, or nothing for a key of another kind (`why` says which).
std::optional<KeyEntry> entryOf(EVP_PKEY* key, std::string& why) {
  if (EVP_PKEY_is_a(key, "ED25519")) {
    const std::string der = publicKeyDer(key);
    if (der.size() < 32) return std::nullopt;
    const std::string raw = der.substr(der.size() - 32);  // the SubjectPublicKeyInfo's key bits
    return KeyEntry{"ed25519", "ed25519",
                    hexText(reinterpret_cast<const unsigned char*>(raw.data()), raw.size())};
  }
  char group[64] = {};
  if (EVP_PKEY_is_a(key, "EC") &&
      EVP_PKEY_get_group_name(key, group, sizeof group, nullptr) == 1 &&
      std::string(group) == "prime256v1")
    return KeyEntry{"ecdsa", "ecdsa-sha2-nistp256", publicPem(key)};
  why = std::string("a ") + std::to_string(EVP_PKEY_get_bits(key)) + "-bit " +
        EVP_PKEY_get0_type_name(key) + " key, not an ed25519 or ECDSA P-256 key";
  return std::nullopt;
}

}  // namespace

Json::Value keyJson(const KeyEntry& entry) {
  Json::Value key(Json::objectValue);
  key["keytype"] = entry.keytype;
  key["scheme"] = entry.scheme;
  key["keyval"]["public"] = entry.publicValue;
  return key;
}

std::string keyId(const KeyEntry& entry) {
  std::string canonical;
  canonicalJson(keyJson(entry), canonical);
  return sha256Hex(canonical);
}

std::optional<SigningKey> SigningKey::read(const std::string& pem, bool allowPublic,
                                           std::string& why) {
  BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  if (!bio) return std::nullopt;
  bool isPrivate = true;
  PkeyPtr key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
  if (!key && allowPublic) {
    BioPtr again(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    if (again) key.reset(PEM_read_bio_PUBKEY(again.get(), nullptr, nullptr, nullptr));
    isPrivate = false;
  }
  if (!key) {
    why = allowPublic ? "no PEM private or public key" : "no PEM private key";
    return std::nullopt;
  }
  std::optional<KeyEntry> entry = entryOf(key.get(), why);
  if (!entry || entry->publicValue.empty()) return std::nullopt;
  return SigningKey(std::move(key), std::move(*entry), isPrivate);
}

std::string SigningKey::sign(const std::string& message) const {
  MdCtxPtr ctx(EVP_MD_CTX_new());
  if (!private_ || !ctx) return {};
  const EVP_MD* md = entry_.keytype == "ed25519" ? nullptr : EVP_sha256();
  std::size_t size = 0;
  const auto* bytes = reinterpret_cast<const unsigned char*>(message.data());
  if (EVP_DigestSignInit(ctx.get(), nullptr, md, nullptr, key_.get()) != 1 ||
      EVP_DigestSign(ctx.get(), nullptr, &size, bytes, message.size()) != 1)
    return {};
  std::string signature(size, '\0');
  if (EVP_DigestSign(ctx.get(), reinterpret_cast<unsigned char*>(&signature[0]), &size, bytes,
                     message.size()) != 1)
    return {};
  return hexText(reinterpret_cast<const unsigned char*>(signature.data()), size);
}

std::string signEnvelope(const Json::Value& signedPart,
                         const std::vector<const SigningKey*>& keys) {
  std::string message;
  if (!canonicalJson(signedPart, message)) return {};
  Json::Value envelope(Json::objectValue);
  envelope["signed"] = signedPart;
  envelope["signatures"] = Json::Value(Json::arrayValue);
  std::vector<const SigningKey*> byId = keys;  // the same signers always make the same file
  std::sort(byId.begin(), byId.end(),
            [](const SigningKey* a, const SigningKey* b) { return a->id() < b->id(); });
  for (const SigningKey* key : byId) {
    Json::Value signature(Json::objectValue);
    signature["keyid"] = key->id();
    signature["sig"] = key->sign(message);
    if (signature["sig"].asString().empty()) return {};
    envelope["signatures"].append(signature);
  }
  // Written as plain JSON: the canonical form leaves control characters (a PEM's line ends)
  // unescaped, which no JSON reader takes.
  Json::StreamWriterBuilder writer;
  writer["indentation"] = " ";
  writer["emitUTF8"] = true;
  return Json::writeString(writer, envelope) + "\n";
}

std::string utcTimeText(std::int64_t seconds) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
#ifdef _WIN32
  gmtime_s(&tm, &t);
#else
  gmtime_r(&t, &tm);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return text;
}

}  // namespace orv::tuf
