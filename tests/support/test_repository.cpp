#include "test_repository.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/sha.h>

#include <chrono>
#include <ctime>
#include <map>
#include <stdexcept>

#include "canonical_json.h"
#include "digests.h"
#include "hex_text.h"
#include "openssl_owners.h"
#include "test_files.h"

namespace fs = std::filesystem;

namespace orv::test {
namespace {

struct SigningKey {
  PkeyPtr key;
  std::string id;
  Json::Value entry;  // as metadata lists it
};

SigningKey withIdentity(PkeyPtr key) {
  unsigned char raw[32];
  std::size_t size = sizeof raw;
  if (!key || !EVP_PKEY_get_raw_public_key(key.get(), raw, &size))
    throw std::runtime_error("not an ed25519 key");
  SigningKey k{std::move(key), {}, Json::objectValue};
  k.entry["keytype"] = "ed25519";
  k.entry["scheme"] = "ed25519";
  k.entry["keyval"]["public"] = hexText(raw, size);
  std::string canonical;
  tuf::canonicalJson(k.entry, canonical);
  k.id = tuf::sha256Hex(canonical);
  return k;
}

SigningKey developmentKey(const std::string& name) {
  const std::string pem = readFile(hostPath(std::string(ORV_TUF_DEV_KEYS) + "/" + name + ".key"));
  BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  return withIdentity(PkeyPtr(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr)));
}

SigningKey newKey() {
  return withIdentity(PkeyPtr(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519")));
}

std::string utcTime(std::int64_t secondsFromNow) {
  const std::time_t at = std::time(nullptr) + secondsFromNow;
  std::tm tm{};
#ifdef _WIN32
  gmtime_s(&tm, &at);
#else
  gmtime_r(&at, &tm);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return text;
}

// The signed file: the signed part's canonical form signed by each key.
std::string signedFile(const Json::Value& signedPart, const std::vector<const SigningKey*>& keys) {
  std::string canonical;
  tuf::canonicalJson(signedPart, canonical);
  Json::Value file;
  file["signed"] = signedPart;
  file["signatures"] = Json::arrayValue;
  for (const SigningKey* k : keys) {
    MdCtxPtr ctx(EVP_MD_CTX_new());
    unsigned char sig[64];
    std::size_t size = sizeof sig;
    if (!EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, k->key.get()) ||
        !EVP_DigestSign(ctx.get(), sig, &size,
                        reinterpret_cast<const unsigned char*>(canonical.data()), canonical.size()))
      throw std::runtime_error("cannot sign");
    Json::Value s;
    s["keyid"] = k->id;
    s["sig"] = hexText(sig, size);
    file["signatures"].append(s);
  }
  std::string bytes;
  tuf::canonicalJson(file, bytes);
  return bytes;
}

Json::Value header(const char* type, std::int64_t version, const std::string& expires) {
  Json::Value v;
  v["_type"] = type;
  v["spec_version"] = "1.0.31";
  v["version"] = Json::Int64(version);
  v["expires"] = expires;
  return v;
}

Json::Value metaOf(const std::string& bytes, std::int64_t version) {
  Json::Value m;
  m["version"] = Json::Int64(version);
  m["length"] = Json::UInt64(bytes.size());
  m["hashes"]["sha256"] = tuf::sha256Hex(bytes);
  return m;
}

struct RoleKeys {
  std::vector<SigningKey> root;
  SigningKey targets, snapshot, timestamp;
};

std::string rootFile(const RoleKeys& keys, std::int64_t version, int threshold,
                     const std::vector<const SigningKey*>& signers) {
  Json::Value root = header("root", version, utcTime(365 * 86400));
  root["consistent_snapshot"] = true;
  root["keys"] = Json::objectValue;
  auto role = [&](const char* name, const std::vector<const SigningKey*>& roleKeys, int t) {
    Json::Value r;
    r["keyids"] = Json::arrayValue;
    for (const SigningKey* k : roleKeys) {
      root["keys"][k->id] = k->entry;
      r["keyids"].append(k->id);
    }
    r["threshold"] = t;
    root["roles"][name] = r;
  };
  std::vector<const SigningKey*> rootKeys;
  for (const SigningKey& k : keys.root) rootKeys.push_back(&k);
  role("root", rootKeys, threshold);
  role("targets", {&keys.targets}, 1);
  role("snapshot", {&keys.snapshot}, 1);
  role("timestamp", {&keys.timestamp}, 1);
  return signedFile(root, signers);
}

void collectTargets(const fs::path& folder, Json::Value& targets, const fs::path& out) {
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    const fs::path rel = fs::relative(e.path(), folder);
    if (*rel.begin() == "tuf" || !e.is_regular_file()) continue;
    const std::string bytes = readFile(e.path());
    const std::string name = rel.generic_string();
    const std::string hash = tuf::sha256Hex(bytes);
    targets[name]["length"] = Json::UInt64(bytes.size());
    targets[name]["hashes"]["sha256"] = hash;
    const fs::path served = out / rel.parent_path() / (hash + "." + rel.filename().string());
    fs::create_directories(served.parent_path());
    writeFile(served, bytes);
  }
}

}  // namespace

std::string developmentRoot() {
  return readFile(hostPath(std::string(ORV_TUF_DEV_KEYS) + "/root.json"));
}

std::string writeRepository(const fs::path& folder, const RepositoryOptions& options) {
  const fs::path tuf = folder / "tuf";
  fs::remove_all(tuf);
  const fs::path metadata = tuf / "metadata";
  fs::create_directories(metadata);
  const auto write = [&](const std::string& name, const std::string& bytes) {
    writeFile(metadata / name, bytes);
    return bytes;
  };

  RoleKeys keys{{}, developmentKey("targets"), developmentKey("snapshot"),
                developmentKey("timestamp")};
  for (const char* name : {"root-1", "root-2", "root-3"}) keys.root.push_back(developmentKey(name));
  std::string root = write("1.root.json", developmentRoot());
  for (int i = 0; i < options.rootRotations; ++i) {
    std::vector<SigningKey> before = std::move(keys.root);
    keys.root.clear();
    keys.root.push_back(newKey());
    std::vector<const SigningKey*> signers;
    for (const SigningKey& k : before) signers.push_back(&k);
    signers.push_back(&keys.root.back());
    root = write(std::to_string(i + 2) + ".root.json", rootFile(keys, i + 2, 1, signers));
  }

  const std::int64_t v = options.version;
  Json::Value targets = header("targets", v, utcTime(90 * 86400));
  targets["targets"] = Json::objectValue;
  collectTargets(folder, targets["targets"], tuf / "targets");
  const std::string targetsFile =
      write(std::to_string(v) + ".targets.json", signedFile(targets, {&keys.targets}));
  Json::Value snapshot = header("snapshot", v, utcTime(7 * 86400));
  snapshot["meta"]["targets.json"] = metaOf(targetsFile, v);
  const std::string snapshotFile =
      write(std::to_string(v) + ".snapshot.json", signedFile(snapshot, {&keys.snapshot}));
  Json::Value timestamp = header("timestamp", v, utcTime(options.timestampExpiresIn));
  timestamp["meta"]["snapshot.json"] = metaOf(snapshotFile, v);
  write("timestamp.json", signedFile(timestamp, {&keys.timestamp}));
  return root;
}

}  // namespace orv::test
