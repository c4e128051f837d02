#include "release_record.h"

#include <json/json.h>

#include <algorithm>
#include <map>
#include <memory>

#include "ansi_text.h"
#include "manifest_writer.h"
#include "narrow_file.h"
#include "version_number.h"

namespace orv::manifest_tool {
namespace fs = std::filesystem;

namespace {

PublishedFile describe(const fs::path& base, const fs::path& file) {
  PublishedFile f;
  f.path = file.lexically_relative(base).generic_u8string();
  std::string bytes;
  // A file that cannot be read has no digest, which no record matches.
  if (readWholeFile(manifestText(file), bytes, std::size_t(1) << 31)) {
    f.size = bytes.size();
    f.sha256 = sha256Hex(bytes);
  }
  return f;
}

}  // namespace

std::vector<PublishedFile> publishedFiles(const fs::path& base, const fs::path& item) {
  std::vector<PublishedFile> files;
  if (!fs::is_directory(item)) {
    files.push_back(describe(base, item));
    return files;
  }
  for (const auto& entry : fs::recursive_directory_iterator(item))
    if (entry.is_regular_file()) files.push_back(describe(base, entry.path()));
  std::sort(files.begin(), files.end(),
            [](const PublishedFile& a, const PublishedFile& b) { return a.path < b.path; });
  return files;
}

std::string recordJson(const ReleaseRecord& record) {
  Json::Value v(Json::objectValue);
  v["commit"] = record.commit;
  v["clean"] = record.clean;
  v["development"] = record.development;
  v["version"] = record.version;
  v["manifestKey"] = record.keyFingerprint;
  v["updateHost"] = record.updateHost;
  v["signer"] = record.signer;
  v["server"] = record.server;
  Json::Value& files = v["files"] = Json::Value(Json::arrayValue);
  for (const PublishedFile& f : record.files) {
    Json::Value file(Json::objectValue);
    file["path"] = f.path;
    file["size"] = Json::UInt64(f.size);
    file["sha256"] = f.sha256;
    files.append(file);
  }
  if (record.tuf.rootVersion > 0) {
    Json::Value& tuf = v["tuf"];
    tuf["rootVersion"] = Json::Int64(record.tuf.rootVersion);
    tuf["rootSha256"] = record.tuf.rootSha256;
    tuf["targetsVersion"] = Json::Int64(record.tuf.targetsVersion);
  }
  Json::Value& overrides = v["overrides"] = Json::Value(Json::arrayValue);
  for (const std::string& o : record.overrides) overrides.append(o);
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "  ";
  builder["emitUTF8"] = true;
  return Json::writeString(builder, v) + "\n";
}

std::optional<ReleaseRecord> parseRecord(const std::string& json) {
  Json::Value v;
  std::string errors;
  const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
  if (!reader->parse(json.data(), json.data() + json.size(), &v, &errors) || !v.isObject() ||
      !v["files"].isArray())
    return std::nullopt;
  ReleaseRecord record;
  record.commit = v["commit"].asString();
  record.clean = v["clean"].asBool();
  record.development = v["development"].asBool();
  record.version = v["version"].asString();
  record.keyFingerprint = v["manifestKey"].asString();
  record.updateHost = v["updateHost"].asString();
  record.signer = v["signer"].asString();
  record.server = v["server"].asString();
  const Json::Value& tuf = v["tuf"];
  if (tuf.isObject()) {
    if (!tuf["rootVersion"].isIntegral() || !tuf["targetsVersion"].isIntegral()) return std::nullopt;
    record.tuf = {tuf["rootVersion"].asInt64(), tuf["rootSha256"].asString(),
                  tuf["targetsVersion"].asInt64()};
  }
  for (const Json::Value& o : v["overrides"]) record.overrides.push_back(o.asString());
  for (const Json::Value& file : v["files"]) {
    if (!file.isObject() || !file["path"].isString() || !file["size"].isIntegral())
      return std::nullopt;
    record.files.push_back(
        {file["path"].asString(), file["size"].asUInt64(), file["sha256"].asString()});
  }
  return record;
}

std::vector<std::string> recordProblems(const ReleaseRecord& record, const fs::path& dir,
                                        const std::optional<ServedUpdater>& served,
                                        const std::string& version) {
  std::vector<std::string> problems;
  const auto differs = [&](const char* what, const std::string& recorded, const std::string& actual,
                           const char* whose) {
    if (recorded != actual)
      problems.push_back(std::string("the record's ") + what + " is \"" + recorded + "\", " +
                         whose + " \"" + actual + "\"");
  };
  differs("version", record.version, version, "the release's");
  if (served) {
    differs("update host", record.updateHost, served->updateHost, "the served updater's");
    differs("manifest key", record.keyFingerprint, served->keyFingerprint, "the served updater's");
  }

  const std::string prefix = record.server + "/";
  std::map<std::string, const PublishedFile*> recorded;
  for (const PublishedFile& f : record.files)
    if (f.path.compare(0, prefix.size(), prefix) == 0) recorded[f.path.substr(prefix.size())] = &f;
  for (const PublishedFile& f : publishedFiles(dir, dir)) {
    const auto it = recorded.find(f.path);
    if (it == recorded.end()) {
      problems.push_back("not in the record: " + f.path);
      continue;
    }
    if (it->second->size != f.size || it->second->sha256 != f.sha256)
      problems.push_back("not as recorded (size or SHA-256): " + f.path);
    recorded.erase(it);
  }
  for (const auto& [path, file] : recorded) problems.push_back("recorded but missing: " + path);
  return problems;
}

std::vector<std::string> continuityProblems(const ReleaseRecord& previous, const Continuation& next) {
  std::vector<std::string> problems;
  if (next.keyFingerprint != previous.keyFingerprint && !next.rotateKey)
    problems.push_back("the manifest key " + next.keyFingerprint + " is not the previous release's " +
                       previous.keyFingerprint + " (the installed programs refuse its manifests; "
                       "--rotate manifest-key if that is meant)");
  if (next.keyFingerprint == previous.keyFingerprint && next.rotateKey)
    problems.push_back("--rotate manifest-key, but the manifest key is the previous release's");
  if (next.updateHost != previous.updateHost && next.newHost != next.updateHost)
    problems.push_back("the update host " + next.updateHost + " is not the previous release's " +
                       previous.updateHost + " (--new-host " + next.updateHost + " if that is meant)");
  if (!next.newHost.empty() && (next.newHost != next.updateHost || next.updateHost == previous.updateHost))
    problems.push_back("--new-host " + next.newHost + ", but the release's host is " + next.updateHost +
                       " and the previous release's " + previous.updateHost);
  const VersionNumber before = VersionNumber::parse(toWide(previous.version));
  const VersionNumber after = VersionNumber::parse(toWide(next.version));
  if (before.text().empty() || after.text().empty() || after <= before)
    problems.push_back("the version " + next.version + " is not above the previous release's " +
                       previous.version);
  return problems;
}

}  // namespace orv::manifest_tool
