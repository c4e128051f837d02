#include "repository.h"

#include <algorithm>
#include <regex>
#include <set>
#include <system_error>

#include "metadata_store.h"
#include "trusted_set.h"

namespace orv::tuf_repo {
namespace {

using tuf::Status;

const std::map<std::string, std::int64_t> kDefaultPeriods = {
    {tuf::kRootRole, 365 * 86400},
    {tuf::kTargetsRole, 90 * 86400},
    {tuf::kSnapshotRole, 7 * 86400},
    {tuf::kTimestampRole, 86400},
};

// The newest "N.<role>.json" in the folder, or 0.
std::int64_t newestVersion(const fs::path& metadata, const std::string& role) {
  std::int64_t newest = 0;
  const std::regex shape("([1-9][0-9]{0,17})\\." + role + "\\.json");
  for (const fs::directory_entry& entry : fs::directory_iterator(metadata)) {
    std::smatch match;
    const std::string name = entry.path().filename().string();
    if (std::regex_match(name, match, shape)) newest = std::max<std::int64_t>(newest, std::stoll(match[1]));
  }
  return newest;
}

template <typename Info>
RoleFile readRoleFile(const fs::path& path, Status (*read)(const tuf::Envelope&, Info&),
                      Info& info) {
  RoleFile file;
  std::optional<std::string> bytes = tuf::readWholeFile(path.string());
  if (!bytes) throw Refused("cannot read " + path.string(), 3);
  file.bytes = std::move(*bytes);
  Status status = tuf::readEnvelope(file.bytes, file.envelope);
  if (status.ok()) status = read(file.envelope, info);
  if (!status.ok()) throw Refused(path.string() + " is no metadata of its role: " + status.text());
  file.version = info.header.version;
  file.expires = info.header.expires;
  return file;
}

}  // namespace

Repository loadRepository(const fs::path& dir) {
  Repository repo;
  repo.dir = dir;
  const fs::path metadata = dir / "metadata";
  std::error_code error;
  if (!fs::is_directory(metadata, error))
    throw Refused(dir.string() + " is no repository (no metadata folder; make one with init)");
  const std::int64_t root = newestVersion(metadata, tuf::kRootRole);
  if (root == 0) throw Refused(dir.string() + " is no repository (no N.root.json)");
  repo.rootFile =
      readRoleFile(metadata / (std::to_string(root) + ".root.json"), tuf::readRoot, repo.root);
  if (repo.rootFile.version != root) throw Refused(std::to_string(root) + ".root.json is another version");
  if (const std::int64_t v = newestVersion(metadata, tuf::kTargetsRole))
    repo.targetsFile = readRoleFile(metadata / (std::to_string(v) + ".targets.json"),
                                    tuf::readTargets, repo.targets);
  if (const std::int64_t v = newestVersion(metadata, tuf::kSnapshotRole))
    repo.snapshotFile = readRoleFile(metadata / (std::to_string(v) + ".snapshot.json"),
                                     tuf::readSnapshot, repo.snapshot);
  if (fs::exists(metadata / "timestamp.json", error))
    repo.timestampFile =
        readRoleFile(metadata / "timestamp.json", tuf::readTimestamp, repo.timestamp);
  return repo;
}

tuf::SigningKey readKey(const std::string& path, bool allowPublic) {
  std::optional<std::string> pem = tuf::readWholeFile(path);
  if (!pem) throw Refused("cannot read the key " + path);
  std::string why;
  std::optional<tuf::SigningKey> key = tuf::SigningKey::read(*pem, allowPublic, why);
  if (!key) throw Refused(path + " holds " + why);
  return std::move(*key);
}

tuf::Delegation delegationOf(const tuf::Root& root, const std::string& role) {
  return tuf::Delegation{root.keys, root.roles.at(role)};
}

void checkRoleKey(const tuf::Root& root, const std::string& role, const tuf::SigningKey& key,
                  const std::string& path) {
  const std::vector<std::string>& ids = root.roles.at(role).keyids;
  if (std::find(ids.begin(), ids.end(), key.id()) != ids.end()) return;
  std::string listed;
  for (const std::string& id : ids) listed += (listed.empty() ? "" : ", ") + id;
  throw Refused(path + " (key id " + key.id() + ") is not a " + role + " key of root version " +
                std::to_string(root.header.version) + " (" + listed + ")");
}

bool signedAsRootSays(const tuf::Root& root, const std::string& role, const tuf::Envelope& e) {
  return tuf::checkSignatures(e, delegationOf(root, role), role).ok();
}

void Expiries::set(const std::string& roleEqualsValue) {
  const std::size_t equals = roleEqualsValue.find('=');
  const std::string role = roleEqualsValue.substr(0, equals);
  if (equals == std::string::npos || kDefaultPeriods.count(role) == 0)
    throw Refused("--expires " + roleEqualsValue + ": not ROLE=VALUE of root, targets, snapshot or timestamp", 2);
  const std::string value = roleEqualsValue.substr(equals + 1);
  std::smatch match;
  if (std::regex_match(value, match, std::regex("(-?[0-9]{1,6})([dhm])"))) {
    const std::int64_t unit = match[2] == "d" ? 86400 : match[2] == "h" ? 3600 : 60;
    given_[role] = now_ + std::stoll(match[1]) * unit;
  } else if (std::optional<std::int64_t> when = tuf::readUtcTime(value)) {
    given_[role] = *when;
  } else {
    throw Refused("--expires " + roleEqualsValue + ": neither a duration (30d, 12h, 45m) nor a time (2027-01-01T00:00:00Z)", 2);
  }
}

std::int64_t Expiries::of(const std::string& role) const {
  const auto it = given_.find(role);
  return it != given_.end() ? it->second : now_ + kDefaultPeriods.at(role);
}

Json::Value signedHeader(const char* type, std::int64_t version, std::int64_t expires) {
  Json::Value s(Json::objectValue);
  s["_type"] = type;
  s["spec_version"] = "1.0.31";  // the format's version this repository follows
  s["version"] = Json::Int64(version);
  s["expires"] = tuf::utcTimeText(expires);
  return s;
}

void Changes::put(const fs::path& relative, std::string bytes) {
  changes_.push_back({relative, std::move(bytes), {}});
}

void Changes::copy(const fs::path& relative, const fs::path& from) {
  changes_.push_back({relative, {}, from});
}

const std::string* Changes::bytesOf(const fs::path& relative) const {
  for (const Change& c : changes_)
    if (c.relative == relative && c.from.empty()) return &c.bytes;
  return nullptr;
}

void Changes::commit(const fs::path& dir) const {
  std::vector<std::pair<fs::path, fs::path>> written;  // temporary file -> place
  std::error_code error;
  const auto undo = [&](const std::string& why) {
    for (const auto& w : written) fs::remove(w.first, error);
    throw Refused("cannot write " + why + "; the repository is as it was", 3);
  };
  for (const Change& c : changes_) {
    const fs::path place = dir / c.relative;
    fs::path temporary = place;
    temporary += ".tuf_repo-new";
    fs::create_directories(place.parent_path(), error);
    if (error) undo(place.parent_path().string());
    if (!c.from.empty()) {
      fs::copy_file(c.from, temporary, fs::copy_options::overwrite_existing, error);
      if (error) undo(temporary.string());
    } else if (!tuf::replaceFile(temporary.string(), c.bytes)) {
      undo(temporary.string());
    }
    written.emplace_back(temporary, place);
  }
  for (const auto& w : written) {
    fs::rename(w.first, w.second, error);
    if (error) undo(w.second.string());
  }
}

}  // namespace orv::tuf_repo
