#include "metadata.h"

#include <cstring>
#include <set>

#include "canonical_json.h"

namespace orv::tuf {

const char kRootRole[] = "root";
const char kTimestampRole[] = "timestamp";
const char kSnapshotRole[] = "snapshot";
const char kTargetsRole[] = "targets";

namespace {

const Json::Value* member(const Json::Value& object, const char* name) {
  if (!object.isObject()) return nullptr;
  return object.find(name, name + std::strlen(name));
}

bool readInt(const Json::Value* v, std::int64_t& out) {
  if (!v) return false;
  if (v->type() != Json::intValue && !(v->type() == Json::uintValue && v->isInt64())) return false;
  out = v->asInt64();
  return true;
}

bool readString(const Json::Value* v, std::string& out) {
  if (!v || !v->isString()) return false;
  out = v->asString();
  return true;
}

bool readStrings(const Json::Value* v, std::vector<std::string>& out) {
  if (!v || !v->isArray()) return false;
  out.clear();
  for (const Json::Value& item : *v) {
    if (!item.isString()) return false;
    out.push_back(item.asString());
  }
  return true;
}

bool readHashes(const Json::Value* v, Hashes& out) {
  if (!v || !v->isObject() || v->empty()) return false;
  for (auto it = v->begin(); it != v->end(); ++it) {
    if (!it->isString()) return false;
    out[it.name()] = it->asString();
  }
  return true;
}

bool readKeys(const Json::Value* v, Keys& out) {
  if (!v || !v->isObject()) return false;
  for (auto it = v->begin(); it != v->end(); ++it) {
    KeyEntry key;
    const Json::Value* keyval = member(*it, "keyval");
    if (!readString(member(*it, "keytype"), key.keytype) ||
        !readString(member(*it, "scheme"), key.scheme) || !keyval ||
        !readString(member(*keyval, "public"), key.publicValue))
      return false;
    out[it.name()] = key;
  }
  return true;
}

bool readRoleKeys(const Json::Value& v, RoleKeys& out) {
  return readStrings(member(v, "keyids"), out.keyids) &&
         readInt(member(v, "threshold"), out.threshold) && out.threshold >= 1;
}

bool readMetaFile(const Json::Value& v, MetaFile& out) {
  if (!readInt(member(v, "version"), out.version) || out.version < 1) return false;
  if (const Json::Value* length = member(v, "length")) {
    std::int64_t n = 0;
    if (!readInt(length, n) || n < 0) return false;
    out.length = n;
  }
  const Json::Value* hashes = member(v, "hashes");
  return !hashes || readHashes(hashes, out.hashes);
}

Status bad(const char* role, const char* field) {
  return Status(Failure::kBadMetadata, std::string(role) + ": " + field);
}

// "_type", "spec_version" (major version 1), "version" and "expires".
Status readHeader(const Envelope& envelope, const char* type, Header& out) {
  const Json::Value& s = envelope.signedPart;
  std::string specVersion, expires;
  if (!readString(member(s, "_type"), out.type)) return bad(type, "_type");
  if (out.type != type) return Status(Failure::kWrongType, out.type + " instead of " + type);
  if (!readString(member(s, "spec_version"), specVersion)) return bad(type, "spec_version");
  if (specVersion != "1" && specVersion.rfind("1.", 0) != 0)
    return Status(Failure::kUnsupportedVersion, std::string(type) + ": " + specVersion);
  if (!readInt(member(s, "version"), out.version) || out.version < 1) return bad(type, "version");
  const std::optional<std::int64_t> when =
      readString(member(s, "expires"), expires) ? readUtcTime(expires) : std::nullopt;
  if (!when) return bad(type, "expires");
  out.expires = *when;
  return {};
}

bool readDelegatedRole(const Json::Value& v, DelegatedRole& out) {
  if (!readString(member(v, "name"), out.name) || !readRoleKeys(v, out.keys)) return false;
  const Json::Value* terminating = member(v, "terminating");
  if (!terminating || !terminating->isBool()) return false;
  out.terminating = terminating->asBool();
  const Json::Value* paths = member(v, "paths");
  const Json::Value* prefixes = member(v, "path_hash_prefixes");
  if ((paths != nullptr) == (prefixes != nullptr)) return false;
  std::vector<std::string> list;
  if (!readStrings(paths ? paths : prefixes, list)) return false;
  (paths ? out.paths : out.pathHashPrefixes) = list;
  return true;
}

Status readDelegations(const Json::Value* v, Targets& out) {
  if (!v) return {};
  if (member(*v, "succinct_roles")) return bad(kTargetsRole, "succinct_roles (not supported)");
  const Json::Value* roles = member(*v, "roles");
  if (!readKeys(member(*v, "keys"), out.delegationKeys) || !roles || !roles->isArray())
    return bad(kTargetsRole, "delegations");
  std::set<std::string> names;
  for (const Json::Value& role : *roles) {
    DelegatedRole d;
    if (!readDelegatedRole(role, d) || !names.insert(d.name).second)
      return bad(kTargetsRole, "delegations.roles");
    out.delegations.push_back(std::move(d));
  }
  return {};
}

}  // namespace

Status readEnvelope(const std::string& bytes, Envelope& out) {
  Json::Value document;
  if (!readJson(bytes, document) || !document.isObject())
    return Status(Failure::kBadMetadata, "not a JSON object");
  const Json::Value* signedPart = member(document, "signed");
  const Json::Value* signatures = member(document, "signatures");
  if (!signedPart || !signedPart->isObject()) return Status(Failure::kBadMetadata, "signed");
  if (!signatures || !signatures->isArray()) return Status(Failure::kBadMetadata, "signatures");
  out.signatures.clear();
  for (const Json::Value& s : *signatures) {
    Signature sig;
    if (!readString(member(s, "keyid"), sig.keyid) || !readString(member(s, "sig"), sig.sig))
      return Status(Failure::kBadMetadata, "signatures");
    out.signatures.push_back(sig);
  }
  out.signedPart = *signedPart;
  if (!canonicalJson(out.signedPart, out.canonical))
    return Status(Failure::kBadMetadata, "signed: not canonical JSON (a fraction)");
  return {};
}

Status readRoot(const Envelope& envelope, Root& out) {
  Status status = readHeader(envelope, kRootRole, out.header);
  if (!status.ok()) return status;
  const Json::Value& s = envelope.signedPart;
  if (const Json::Value* consistent = member(s, "consistent_snapshot")) {
    if (!consistent->isBool()) return bad(kRootRole, "consistent_snapshot");
    out.consistentSnapshot = consistent->asBool();
  }
  if (!readKeys(member(s, "keys"), out.keys)) return bad(kRootRole, "keys");
  const Json::Value* roles = member(s, "roles");
  for (const char* role : {kRootRole, kTimestampRole, kSnapshotRole, kTargetsRole}) {
    const Json::Value* keys = roles ? member(*roles, role) : nullptr;
    if (!keys || !readRoleKeys(*keys, out.roles[role])) return bad(kRootRole, "roles");
  }
  return {};
}

Status readTimestamp(const Envelope& envelope, Timestamp& out) {
  Status status = readHeader(envelope, kTimestampRole, out.header);
  if (!status.ok()) return status;
  const Json::Value* meta = member(envelope.signedPart, "meta");
  const Json::Value* snapshot = meta ? member(*meta, "snapshot.json") : nullptr;
  if (!snapshot || !readMetaFile(*snapshot, out.snapshot)) return bad(kTimestampRole, "meta");
  return {};
}

Status readSnapshot(const Envelope& envelope, Snapshot& out) {
  Status status = readHeader(envelope, kSnapshotRole, out.header);
  if (!status.ok()) return status;
  const Json::Value* meta = member(envelope.signedPart, "meta");
  if (!meta || !meta->isObject()) return bad(kSnapshotRole, "meta");
  for (auto it = meta->begin(); it != meta->end(); ++it)
    if (!readMetaFile(*it, out.meta[it.name()])) return bad(kSnapshotRole, "meta");
  return {};
}

Status readTargets(const Envelope& envelope, Targets& out) {
  Status status = readHeader(envelope, kTargetsRole, out.header);
  if (!status.ok()) return status;
  const Json::Value* targets = member(envelope.signedPart, "targets");
  if (!targets || !targets->isObject()) return bad(kTargetsRole, "targets");
  for (auto it = targets->begin(); it != targets->end(); ++it) {
    TargetFile& file = out.targets[it.name()];
    if (!readInt(member(*it, "length"), file.length) || file.length < 0 ||
        !readHashes(member(*it, "hashes"), file.hashes))
      return bad(kTargetsRole, "targets");
  }
  return readDelegations(member(envelope.signedPart, "delegations"), out);
}

std::optional<std::int64_t> readUtcTime(const std::string& text) {
  // YYYY-MM-DDTHH:MM:SS, then optional .digits, then Z.
  static const char kShape[] = "dddd-dd-ddTdd:dd:dd";
  const std::size_t fixed = sizeof kShape - 1;
  if (text.size() < fixed + 1 || text.back() != 'Z') return std::nullopt;
  for (std::size_t i = 0; i < fixed; ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kShape[i] == 'd' ? !digit : text[i] != kShape[i]) return std::nullopt;
  }
  std::size_t i = fixed;
  if (text[i] == '.') {
    for (++i; i < text.size() - 1; ++i)
      if (text[i] < '0' || text[i] > '9') return std::nullopt;
    if (i == fixed + 1) return std::nullopt;
  }
  if (i != text.size() - 1) return std::nullopt;
  auto number = [&](std::size_t at, std::size_t n) { return std::stoll(text.substr(at, n)); };
  std::int64_t y = number(0, 4), m = number(5, 2), d = number(8, 2);
  const std::int64_t hh = number(11, 2), mm = number(14, 2), ss = number(17, 2);
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (y < 1 || m < 1 || m > 12 || d < 1 || d > kDays[m - 1] || (m == 2 && d == 29 && !leap) ||
      hh > 23 || mm > 59 || ss > 59)
    return std::nullopt;
  // Days since 1970-01-01 of the civil date (years counted from March).
  y -= m <= 2;
  const std::int64_t era = y / 400;  // y >= 0 here
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const std::int64_t days = era * 146097 + doe - 719468;
  return days * 86400 + hh * 3600 + mm * 60 + ss;
}

}  // namespace orv::tuf
