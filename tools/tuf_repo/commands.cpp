#include "commands.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <system_error>

#include "digests.h"
#include "metadata_store.h"
#include "names.h"
#include "repository.h"
#include "trusted_set.h"

namespace orv::tuf_repo {
namespace {

using tuf::SigningKey;

const char* const kOnlineRoles[] = {tuf::kTargetsRole, tuf::kSnapshotRole, tuf::kTimestampRole};

std::vector<SigningKey> keysOf(const Arguments& args, const std::string& option, bool allowPublic) {
  std::vector<SigningKey> keys;
  for (const std::string& path : args.all(option)) {
    keys.push_back(readKey(path, allowPublic));
    for (std::size_t i = 0; i + 1 < keys.size(); ++i)
      if (keys[i].id() == keys.back().id()) throw Refused(path + " is given twice (" + option + ")");
  }
  return keys;
}

// The role's private key from `--ROLE-key`, checked against the root.
SigningKey roleKey(const Arguments& args, const tuf::Root& root, const std::string& role) {
  const std::string path = args.one("--" + role + "-key", true);
  SigningKey key = readKey(path, false);
  checkRoleKey(root, role, key, path);
  return key;
}

fs::path metadataPath(const std::string& role, std::int64_t version) {
  return fs::path("metadata") / tuf::metadataUrlPath(role, version, role != tuf::kTimestampRole);
}

std::string sha256OfFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  MdCtxPtr ctx(EVP_MD_CTX_new());
  if (!in || !ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1)
    throw Refused("cannot read " + path.string(), 3);
  char buffer[1 << 16];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0)
    EVP_DigestUpdate(ctx.get(), buffer, static_cast<std::size_t>(in.gcount()));
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (in.bad() || EVP_DigestFinal_ex(ctx.get(), digest, &size) != 1)
    throw Refused("cannot read " + path.string(), 3);
  return hexText(digest, size);
}

std::string signedBytes(const Json::Value& signedPart, const std::vector<const SigningKey*>& keys) {
  std::string bytes = tuf::signEnvelope(signedPart, keys);
  if (bytes.empty()) throw Refused("cannot sign " + signedPart["_type"].asString(), 3);
  return bytes;
}

Json::Value roleKeysJson(const tuf::RoleKeys& keys) {
  Json::Value role(Json::objectValue);
  role["keyids"] = Json::Value(Json::arrayValue);
  std::vector<std::string> ids = keys.keyids;
  std::sort(ids.begin(), ids.end());  // the same keys always make the same file
  for (const std::string& id : ids) role["keyids"].append(id);
  role["threshold"] = Json::Int64(keys.threshold);
  return role;
}

Json::Value rootJson(std::int64_t version, std::int64_t expires, const tuf::Root& content) {
  Json::Value s = signedHeader(tuf::kRootRole, version, expires);
  s["consistent_snapshot"] = true;
  s["keys"] = Json::Value(Json::objectValue);
  for (const auto& [id, entry] : content.keys) s["keys"][id] = tuf::keyJson(entry);
  for (const auto& [role, keys] : content.roles) s["roles"][role] = roleKeysJson(keys);
  return s;
}

void putRoot(Changes& changes, std::int64_t version, const std::string& bytes) {
  changes.put(metadataPath(tuf::kRootRole, version), bytes);
  changes.put(fs::path("metadata") / "root.json", bytes);
}

std::string idList(const std::vector<std::string>& ids) {
  std::string text;
  for (const std::string& id : ids) text += (text.empty() ? "" : ", ") + id;
  return text;
}

// A new snapshot (when `newSnapshot`) listing the targets version, and a new timestamp naming
// the snapshot; returns what was written. `snapshotKey` only signs a new snapshot.
std::string putSnapshotAndTimestamp(const Repository& repo, Changes& changes,
                                    std::int64_t targetsVersion, bool newSnapshot,
                                    const Expiries& expiries, const SigningKey* snapshotKey,
                                    const SigningKey& timestampKey) {
  std::string snapshotBytes;
  std::int64_t snapshotVersion = 0;
  std::string said;
  if (newSnapshot) {
    snapshotVersion = (repo.snapshotFile ? repo.snapshotFile->version : 0) + 1;
    Json::Value s = signedHeader(tuf::kSnapshotRole, snapshotVersion, expiries.of(tuf::kSnapshotRole));
    s["meta"]["targets.json"]["version"] = Json::Int64(targetsVersion);
    snapshotBytes = signedBytes(s, {snapshotKey});
    changes.put(metadataPath(tuf::kSnapshotRole, snapshotVersion), snapshotBytes);
    said = "snapshot version " + std::to_string(snapshotVersion) + " (new, expires " +
           s["expires"].asString() + "), ";
  } else {
    snapshotBytes = repo.snapshotFile->bytes;
    snapshotVersion = repo.snapshotFile->version;
    said = "snapshot version " + std::to_string(snapshotVersion) + " (kept, expires " +
           tuf::utcTimeText(repo.snapshotFile->expires) + "), ";
  }
  const std::int64_t version = (repo.timestampFile ? repo.timestampFile->version : 0) + 1;
  Json::Value t = signedHeader(tuf::kTimestampRole, version, expiries.of(tuf::kTimestampRole));
  Json::Value& meta = t["meta"]["snapshot.json"];
  meta["version"] = Json::Int64(snapshotVersion);
  meta["length"] = Json::Int64(snapshotBytes.size());
  meta["hashes"]["sha256"] = tuf::sha256Hex(snapshotBytes);
  changes.put(metadataPath(tuf::kTimestampRole, version), signedBytes(t, {&timestampKey}));
  return said + "timestamp version " + std::to_string(version) + " (expires " +
         t["expires"].asString() + ")";
}

Expiries expiriesOf(const Arguments& args) {
  Expiries expiries(args.now);
  for (const std::string& e : args.all("--expires")) expiries.set(e);
  return expiries;
}

// Every regular file below the folder by its target name ("dir/name"); refused for links,
// other kinds of files, empty files and an empty folder.
std::map<std::string, fs::path> targetFiles(const fs::path& folder) {
  std::error_code error;
  if (!fs::is_directory(folder, error)) throw Refused(folder.string() + " is no folder");
  std::map<std::string, fs::path> files;
  for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) {
    const std::string name = it->path().lexically_relative(folder).generic_string();
    if (it->is_symlink()) throw Refused(name + " in " + folder.string() + " is a link; targets are regular files");
    if (it->is_directory()) continue;
    if (!it->is_regular_file()) throw Refused(name + " in " + folder.string() + " is not a regular file");
    if (it->file_size() == 0) throw Refused(name + " in " + folder.string() + " is empty; the updater refuses an empty file");
    files[name] = it->path();
  }
  if (files.empty()) throw Refused(folder.string() + " holds no file to publish");
  return files;
}

int parseCount(const std::string& text, const char* option) {
  if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos)
    throw Refused(std::string(option) + " " + text + " is no number", 2);
  return std::stoi(text);
}

bool sameKeys(const tuf::RoleKeys& a, const tuf::RoleKeys& b) {
  std::vector<std::string> x = a.keyids, y = b.keyids;
  std::sort(x.begin(), x.end());
  std::sort(y.begin(), y.end());
  return x == y && a.threshold == b.threshold;
}

}  // namespace

const std::vector<std::string>& Arguments::all(const std::string& option) const {
  static const std::vector<std::string> kNone;
  const auto it = values.find(option);
  return it == values.end() ? kNone : it->second;
}

std::string Arguments::one(const std::string& option, bool required) const {
  const std::vector<std::string>& given = all(option);
  if (given.size() > 1) throw Refused(option + " is given more than once", 2);
  if (given.empty() && required) throw Refused("give " + option, 2);
  return given.empty() ? std::string() : given[0];
}

int initRepository(const Arguments& args) {
  const fs::path dir = args.positional.at(0);
  std::error_code error;
  if (fs::exists(dir / "metadata", error) && !fs::is_empty(dir / "metadata", error))
    throw Refused(dir.string() + " holds a repository already");
  const Expiries expiries = expiriesOf(args);
  std::vector<SigningKey> rootKeys = keysOf(args, "--root-key", false);
  if (rootKeys.empty()) throw Refused("give the root keys (--root-key, once for each)", 2);
  const int count = static_cast<int>(rootKeys.size());
  const std::string thresholdText = args.one("--root-threshold");
  const int threshold = thresholdText.empty() ? count / 2 + 1 : parseCount(thresholdText, "--root-threshold");
  if (threshold < 1 || threshold > count)
    throw Refused("a root threshold of " + std::to_string(threshold) + " with " + std::to_string(count) + " root keys");
  tuf::Root root;
  for (const SigningKey& key : rootKeys) {
    root.keys[key.id()] = key.entry();
    root.roles[tuf::kRootRole].keyids.push_back(key.id());
  }
  root.roles[tuf::kRootRole].threshold = threshold;
  for (const char* role : kOnlineRoles) {
    const std::string path = args.one(std::string("--") + role + "-key", true);
    const SigningKey key = readKey(path, true);
    if (root.keys.count(key.id()))
      throw Refused(path + " is another role's key already; each role has a key of its own");
    root.keys[key.id()] = key.entry();
    root.roles[role] = tuf::RoleKeys{{key.id()}, 1};
  }
  const Json::Value s = rootJson(1, expiries.of(tuf::kRootRole), root);
  std::vector<const SigningKey*> signers;
  for (const SigningKey& key : rootKeys) signers.push_back(&key);
  Changes changes;
  putRoot(changes, 1, signedBytes(s, signers));
  changes.commit(dir);
  fs::create_directories(dir / "targets", error);
  std::printf("root version 1 of %s: %d of %d root keys (%s), expires %s\n", dir.string().c_str(),
              threshold, count, idList(root.roles[tuf::kRootRole].keyids).c_str(),
              s["expires"].asCString());
  for (const char* role : kOnlineRoles)
    std::printf("%s key %s\n", role, root.roles[role].keyids[0].c_str());
  return 0;
}

int publishTargets(const Arguments& args) {
  const Repository repo = loadRepository(args.positional.at(0));
  const SigningKey targetsKey = roleKey(args, repo.root, tuf::kTargetsRole);
  const bool online = !args.all("--snapshot-key").empty() || !args.all("--timestamp-key").empty();
  std::optional<SigningKey> snapshotKey, timestampKey;
  if (online) {
    snapshotKey = roleKey(args, repo.root, tuf::kSnapshotRole);
    timestampKey = roleKey(args, repo.root, tuf::kTimestampRole);
  }
  const Expiries expiries = expiriesOf(args);
  const std::map<std::string, fs::path> files = targetFiles(args.positional.at(1));

  Changes changes;
  const std::int64_t version = (repo.targetsFile ? repo.targetsFile->version : 0) + 1;
  Json::Value s = signedHeader(tuf::kTargetsRole, version, expiries.of(tuf::kTargetsRole));
  s["targets"] = Json::Value(Json::objectValue);
  std::uintmax_t bytes = 0;
  for (const auto& [name, path] : files) {
    const std::string hash = sha256OfFile(path);
    const std::uintmax_t size = fs::file_size(path);
    Json::Value& target = s["targets"][name];
    target["length"] = Json::UInt64(size);
    target["hashes"]["sha256"] = hash;
    bytes += size;
    const fs::path served = fs::path("targets") / tuf::targetUrlPath(name, hash, true);
    std::error_code error;
    if (!fs::exists(repo.dir / served, error)) changes.copy(served, path);
  }
  const std::string targetsBytes = signedBytes(s, {&targetsKey});
  changes.put(metadataPath(tuf::kTargetsRole, version), targetsBytes);
  std::string rest = "snapshot and timestamp left to refresh";
  if (online)
    rest = putSnapshotAndTimestamp(repo, changes, version, true, expiries, &*snapshotKey, *timestampKey);
  changes.commit(repo.dir);
  std::printf("targets version %lld (expires %s): %zu files, %ju bytes; %s\n",
              static_cast<long long>(version), s["expires"].asCString(), files.size(), bytes,
              rest.c_str());
  return 0;
}

int refreshRepository(const Arguments& args) {
  const Repository repo = loadRepository(args.positional.at(0));
  const SigningKey snapshotKey = roleKey(args, repo.root, tuf::kSnapshotRole);
  const SigningKey timestampKey = roleKey(args, repo.root, tuf::kTimestampRole);
  const Expiries expiries = expiriesOf(args);
  if (!repo.targetsFile) throw Refused("nothing is published yet: publish first");
  const std::int64_t targets = repo.targetsFile->version;
  if (!signedAsRootSays(repo.root, tuf::kTargetsRole, repo.targetsFile->envelope))
    throw Refused(std::to_string(targets) + ".targets.json is not signed by the targets key of root version " +
                  std::to_string(repo.root.header.version) + ": publish again");
  // Why a new snapshot is made, or nothing when the one there stays.
  std::string why;
  const std::int64_t period = expiries.of(tuf::kSnapshotRole) - args.now;
  if (!repo.snapshotFile) why = "the first one";
  else if (repo.snapshot.meta.count("targets.json") == 0 || repo.snapshot.meta.at("targets.json").version != targets)
    why = "targets version " + std::to_string(targets) + " is new";
  else if (args.flags.count("--force-snapshot")) why = "--force-snapshot";
  else if (expiries.given(tuf::kSnapshotRole)) why = "--expires snapshot";
  else if (!signedAsRootSays(repo.root, tuf::kSnapshotRole, repo.snapshotFile->envelope))
    why = "the snapshot key changed";
  else if (repo.snapshotFile->expires - args.now < period / 2) why = "it expires within half its period";
  Changes changes;
  const std::string said = putSnapshotAndTimestamp(repo, changes, targets, !why.empty(), expiries,
                                                   &snapshotKey, timestampKey);
  changes.commit(repo.dir);
  std::printf("%s%s%s\n", said.c_str(), why.empty() ? "" : "; new snapshot: ", why.c_str());
  return 0;
}

int rotateKeys(const Arguments& args) {
  const Repository repo = loadRepository(args.positional.at(0));
  const tuf::Root& old = repo.root;
  const std::int64_t version = old.header.version + 1;
  const Expiries expiries = expiriesOf(args);
  // The old root's signers.
  const std::vector<SigningKey> oldSigners = keysOf(args, "--old-root-key", false);
  for (std::size_t i = 0; i < oldSigners.size(); ++i)
    checkRoleKey(old, tuf::kRootRole, oldSigners[i], args.all("--old-root-key")[i]);
  const std::int64_t oldThreshold = old.roles.at(tuf::kRootRole).threshold;
  if (static_cast<std::int64_t>(oldSigners.size()) < oldThreshold)
    throw Refused("root version " + std::to_string(old.header.version) + " needs " +
                  std::to_string(oldThreshold) + " of its root keys to sign its successor; " +
                  std::to_string(oldSigners.size()) + " given (--old-root-key)");
  // The new root's keys: the ones given, or the old root's.
  tuf::Root next;
  std::vector<const SigningKey*> signers;
  for (const SigningKey& key : oldSigners) signers.push_back(&key);
  const std::vector<SigningKey> newRootKeys = keysOf(args, "--new-root-key", true);
  std::int64_t newSigners = 0;
  if (newRootKeys.empty()) {
    next.roles[tuf::kRootRole] = old.roles.at(tuf::kRootRole);
    for (const std::string& id : next.roles[tuf::kRootRole].keyids) next.keys[id] = old.keys.at(id);
    newSigners = static_cast<std::int64_t>(oldSigners.size());  // all are the new root's keys too
  } else {
    for (const SigningKey& key : newRootKeys) {
      next.keys[key.id()] = key.entry();
      next.roles[tuf::kRootRole].keyids.push_back(key.id());
      const bool signsAsOld = std::any_of(oldSigners.begin(), oldSigners.end(),
                                          [&](const SigningKey& k) { return k.id() == key.id(); });
      if (key.canSign() || signsAsOld) newSigners += 1;
      if (key.canSign() && !signsAsOld) signers.push_back(&key);
    }
    next.roles[tuf::kRootRole].threshold = oldThreshold;
  }
  const std::string thresholdText = args.one("--root-threshold");
  if (!thresholdText.empty())
    next.roles[tuf::kRootRole].threshold = parseCount(thresholdText, "--root-threshold");
  const tuf::RoleKeys& rootRole = next.roles[tuf::kRootRole];
  if (rootRole.threshold < 1 || rootRole.threshold > static_cast<std::int64_t>(rootRole.keyids.size()))
    throw Refused("a root threshold of " + std::to_string(rootRole.threshold) + " with " +
                  std::to_string(rootRole.keyids.size()) + " root keys");
  if (newSigners < rootRole.threshold)
    throw Refused("root version " + std::to_string(version) + " needs " + std::to_string(rootRole.threshold) +
                  " of its own root keys' signatures; " + std::to_string(newSigners) +
                  " private keys of them given (--new-root-key, --old-root-key)");
  // The other roles' keys: the one given, or the old root's.
  std::map<std::string, std::optional<SigningKey>> given;
  std::vector<std::string> changed;
  if (!sameKeys(rootRole, old.roles.at(tuf::kRootRole))) changed.push_back("root");
  for (const char* role : kOnlineRoles) {
    const std::string path = args.one(std::string("--") + role + "-key");
    if (path.empty()) {
      next.roles[role] = old.roles.at(role);
      for (const std::string& id : next.roles[role].keyids) next.keys[id] = old.keys.at(id);
      continue;
    }
    given[role] = readKey(path, true);
    next.keys[given[role]->id()] = given[role]->entry();
    next.roles[role] = tuf::RoleKeys{{given[role]->id()}, 1};
    if (!sameKeys(next.roles[role], old.roles.at(role))) changed.push_back(role);
  }
  const auto keyChanged = [&](const char* role) {
    return std::find(changed.begin(), changed.end(), role) != changed.end();
  };
  // What must be signed again so that everything verifies under the new root.
  const bool targetsAgain = repo.targetsFile && keyChanged(tuf::kTargetsRole);
  const bool snapshotAgain = repo.snapshotFile && (targetsAgain || keyChanged(tuf::kSnapshotRole));
  const bool timestampAgain = repo.timestampFile && (snapshotAgain || keyChanged(tuf::kTimestampRole));
  std::string missing;
  for (const auto& [role, again] : {std::pair{tuf::kTargetsRole, targetsAgain},
                                    {tuf::kSnapshotRole, snapshotAgain}, {tuf::kTimestampRole, timestampAgain}}) {
    const auto it = given.find(role);
    if (again && (it == given.end() || !it->second->canSign()))
      missing += (missing.empty() ? "--" : ", --") + std::string(role) + "-key";
  }
  if (!missing.empty())
    throw Refused("the metadata signed with a changed key, and what names it, is signed again under root version " +
                  std::to_string(version) + ": give the private keys " + missing);
  const auto signerOf = [&](const char* role) -> const SigningKey& { return *given.at(role); };
  Changes changes;
  const std::string rootBytes = signedBytes(rootJson(version, expiries.of(tuf::kRootRole), next), signers);
  putRoot(changes, version, rootBytes);
  std::string again;
  std::int64_t targetsVersion = repo.targetsFile ? repo.targetsFile->version : 0;
  if (targetsAgain) {
    const SigningKey& key = signerOf(tuf::kTargetsRole);
    Json::Value s = repo.targetsFile->envelope.signedPart;
    s["version"] = Json::Int64(++targetsVersion);
    s["expires"] = tuf::utcTimeText(expiries.of(tuf::kTargetsRole));
    changes.put(metadataPath(tuf::kTargetsRole, targetsVersion), signedBytes(s, {&key}));
    again = "targets version " + std::to_string(targetsVersion) + ", ";
  }
  if (timestampAgain)
    again += putSnapshotAndTimestamp(repo, changes, targetsVersion, snapshotAgain, expiries,
                                     snapshotAgain ? &signerOf(tuf::kSnapshotRole) : nullptr,
                                     signerOf(tuf::kTimestampRole));
  // The client's own rule: the new root verifies with the old root's threshold and its own.
  tuf::TrustedSet trusted(args.now);
  bool same = false;
  tuf::Status status = trusted.setStoredRoot(repo.rootFile.bytes);
  if (status.ok()) status = trusted.updateRoot(rootBytes, same);
  if (!status.ok()) throw Refused("root version " + std::to_string(version) + " does not verify: " + status.text(), 3);
  changes.commit(repo.dir);
  std::string what;
  for (const std::string& c : changed) what += (what.empty() ? "" : ", ") + c;
  std::printf("root version %lld (%lld of %zu root keys, expires %s), changed keys: %s; signed again: %s\n",
              static_cast<long long>(version), static_cast<long long>(rootRole.threshold),
              rootRole.keyids.size(), tuf::utcTimeText(expiries.of(tuf::kRootRole)).c_str(),
              what.empty() ? "none" : what.c_str(), again.empty() ? "nothing" : again.c_str());
  return 0;
}

int showStatus(const Arguments& args) {
  const Repository repo = loadRepository(args.positional.at(0));
  const std::string within = args.one("--within");
  const std::int64_t days = within.empty() ? 0 : parseCount(within, "--within");
  const std::int64_t limit = args.now + days * 86400;
  std::string expiring;
  const auto line = [&](const char* role, const std::optional<RoleFile>& file) {
    const tuf::RoleKeys& keys = repo.root.roles.at(role);
    if (!file) {
      std::printf("%-9s not published yet\n", role);
      return;
    }
    std::printf("%-9s version %lld expires %s keys %lld of %s\n", role,
                static_cast<long long>(file->version), tuf::utcTimeText(file->expires).c_str(),
                static_cast<long long>(keys.threshold), idList(keys.keyids).c_str());
    if (file->expires <= limit) expiring += (expiring.empty() ? "" : ", ") + std::string(role);
  };
  line(tuf::kRootRole, repo.rootFile);
  line(tuf::kTargetsRole, repo.targetsFile);
  line(tuf::kSnapshotRole, repo.snapshotFile);
  line(tuf::kTimestampRole, repo.timestampFile);
  if (repo.targetsFile) std::printf("targets   %zu files\n", repo.targets.targets.size());
  if (expiring.empty()) return 0;
  std::printf("expiring within %lld days: %s\n", static_cast<long long>(days), expiring.c_str());
  return 1;
}

int serveCopy(const Arguments& args) {
  const Repository repo = loadRepository(args.positional.at(0));
  const fs::path dest = args.positional.at(1);
  std::error_code error;
  if (fs::exists(dest, error) && !(fs::is_directory(dest, error) && fs::is_empty(dest, error)))
    throw Refused(dest.string() + " exists already; name a new folder");
  if (!repo.timestampFile) throw Refused("nothing to serve yet: publish and refresh first");
  // What a client asks for: every root version (it climbs the chain), the timestamp, the
  // snapshot it names, the targets that one names and its targets.
  Changes changes;
  for (std::int64_t v = 1; v <= repo.rootFile.version; ++v)
    changes.copy(metadataPath(tuf::kRootRole, v), repo.dir / metadataPath(tuf::kRootRole, v));
  const tuf::MetaFile& snapshot = repo.timestamp.snapshot;
  const fs::path snapshotPath = metadataPath(tuf::kSnapshotRole, snapshot.version);
  tuf::Snapshot listed;
  tuf::Envelope envelope;
  const std::optional<std::string> snapshotBytes = tuf::readWholeFile((repo.dir / snapshotPath).string());
  if (!snapshotBytes || !tuf::readEnvelope(*snapshotBytes, envelope).ok() ||
      !tuf::readSnapshot(envelope, listed).ok() || listed.meta.count("targets.json") == 0)
    throw Refused("the timestamp names " + snapshotPath.string() + ", which does not read as a snapshot");
  const std::int64_t targetsVersion = listed.meta.at("targets.json").version;
  if (targetsVersion != repo.targetsFile->version)
    throw Refused("the snapshot lists targets version " + std::to_string(targetsVersion) + ", not the newest " +
                  std::to_string(repo.targetsFile->version) + ": refresh first");
  changes.copy(snapshotPath, repo.dir / snapshotPath);
  changes.copy(metadataPath(tuf::kTargetsRole, targetsVersion), repo.dir / metadataPath(tuf::kTargetsRole, targetsVersion));
  changes.copy(metadataPath(tuf::kTimestampRole, 0), repo.dir / metadataPath(tuf::kTimestampRole, 0));
  for (const auto& [name, file] : repo.targets.targets) {
    const fs::path served = fs::path("targets") / tuf::targetUrlPath(name, file.hashes.at("sha256"), true);
    changes.copy(served, repo.dir / served);
  }
  fs::path building = dest;
  building += ".tuf_repo-new";
  fs::remove_all(building, error);
  changes.commit(building);
  fs::remove(dest, error);
  fs::rename(building, dest, error);
  if (error) throw Refused("cannot write " + dest.string(), 3);
  std::printf("%s: root versions 1 to %lld, timestamp version %lld, snapshot version %lld, targets version %lld, %zu targets\n",
              dest.string().c_str(), static_cast<long long>(repo.rootFile.version),
              static_cast<long long>(repo.timestampFile->version), static_cast<long long>(snapshot.version),
              static_cast<long long>(targetsVersion), repo.targets.targets.size());
  return 0;
}

int checkKeys(const Arguments& args) {
  const Repository repo = loadRepository(args.positional.at(0));
  int checked = 0;
  for (const char* role : {tuf::kRootRole, tuf::kTargetsRole, tuf::kSnapshotRole, tuf::kTimestampRole})
    for (const std::string& path : args.all(std::string("--") + role + "-key")) {
      const SigningKey key = readKey(path, false);
      checkRoleKey(repo.root, role, key, path);
      std::printf("%s: the %s key %s of root version %lld\n", path.c_str(), role, key.id().c_str(),
                  static_cast<long long>(repo.root.header.version));
      ++checked;
    }
  if (checked == 0) throw Refused("give the keys to check (--targets-key, ...)", 2);
  return 0;
}

int checkChain(const Arguments& args) {
  const Repository repo = loadRepository(args.positional.at(0));
  const std::string from = args.positional.at(1);
  const std::optional<std::string> trustedBytes = tuf::readWholeFile(from);
  if (!trustedBytes) throw Refused("cannot read " + from);
  tuf::TrustedSet trusted(args.now);
  tuf::Status status = trusted.setStoredRoot(*trustedBytes);
  if (!status.ok()) throw Refused(from + " is no trusted root: " + status.text());
  const std::int64_t start = trusted.root().header.version;
  // The same version in the repository must be the same file: else it is another repository.
  const std::optional<std::string> own =
      tuf::readWholeFile((repo.dir / metadataPath(tuf::kRootRole, start)).string());
  if (!own || *own != *trustedBytes)
    throw Refused(from + " (root version " + std::to_string(start) + ") is not this repository's root version " +
                  std::to_string(start));
  for (std::int64_t v = start + 1; v <= repo.rootFile.version; ++v) {
    const std::optional<std::string> next = tuf::readWholeFile((repo.dir / metadataPath(tuf::kRootRole, v)).string());
    bool same = false;
    status = next ? trusted.updateRoot(*next, same) : tuf::Status(tuf::Failure::kNotFound, "");
    if (!status.ok())
      throw Refused("root version " + std::to_string(v) + " does not chain from version " +
                    std::to_string(v - 1) + ": " + status.text());
  }
  std::printf("root version %lld chains to version %lld\n", static_cast<long long>(start),
              static_cast<long long>(repo.rootFile.version));
  return 0;
}

}  // namespace orv::tuf_repo
