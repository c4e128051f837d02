#include "test_repository.h"

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <chrono>
#include <ctime>
#include <map>
#include <optional>
#include <stdexcept>

#include "digests.h"
#include "openssl_owners.h"
#include "signing.h"
#include "test_files.h"

namespace fs = std::filesystem;

namespace orv::test {
namespace {

using tuf::SigningKey;

SigningKey keyOf(const std::string& pem) {
  std::string why;
  std::optional<SigningKey> key = SigningKey::read(pem, false, why);
  if (!key) throw std::runtime_error("not a signing key: " + why);
  return std::move(*key);
}

SigningKey developmentKey(const std::string& name) {
  return keyOf(readFile(hostPath(std::string(ORV_TUF_DEV_KEYS) + "/" + name + ".key")));
}

SigningKey newKey() {
  const PkeyPtr key(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"));
  const BioPtr bio(BIO_new(BIO_s_mem()));
  PEM_write_bio_PrivateKey(bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr);
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio.get(), &data);
  return keyOf(std::string(data, static_cast<std::size_t>(size)));
}

std::string utcTime(std::int64_t secondsFromNow) {
  return tuf::utcTimeText(static_cast<std::int64_t>(std::time(nullptr)) + secondsFromNow);
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
      root["keys"][k->id()] = tuf::keyJson(k->entry());
      r["keyids"].append(k->id());
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
  return tuf::signEnvelope(root, signers);
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
      write(std::to_string(v) + ".targets.json", tuf::signEnvelope(targets, {&keys.targets}));
  Json::Value snapshot = header("snapshot", v, utcTime(7 * 86400));
  snapshot["meta"]["targets.json"] = metaOf(targetsFile, v);
  const std::string snapshotFile =
      write(std::to_string(v) + ".snapshot.json", tuf::signEnvelope(snapshot, {&keys.snapshot}));
  Json::Value timestamp = header("timestamp", v, utcTime(options.timestampExpiresIn));
  timestamp["meta"]["snapshot.json"] = metaOf(snapshotFile, v);
  write("timestamp.json", tuf::signEnvelope(timestamp, {&keys.timestamp}));
  return root;
}

}  // namespace orv::test
