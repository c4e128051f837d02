#include "canonical_json.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace orv::tuf {
namespace {

void appendString(const std::string& text, std::string& out) {
  out += '"';
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  out += '"';
}

bool append(const Json::Value& value, std::string& out) {
  switch (value.type()) {
    case Json::nullValue:
      out += "null";
      return true;
    case Json::booleanValue:
      out += value.asBool() ? "true" : "false";
      return true;
    case Json::intValue:
      out += std::to_string(value.asLargestInt());
      return true;
    case Json::uintValue:
      out += std::to_string(value.asLargestUInt());
      return true;
    case Json::realValue:
      return false;
    case Json::stringValue:
      appendString(value.asString(), out);
      return true;
    case Json::arrayValue: {
      out += '[';
      for (Json::ArrayIndex i = 0; i < value.size(); ++i) {
        if (i > 0) out += ',';
        if (!append(value[i], out)) return false;
      }
      out += ']';
      return true;
    }
    case Json::objectValue: {
      std::vector<std::pair<std::string, const Json::Value*>> members;
      for (auto it = value.begin(); it != value.end(); ++it) members.emplace_back(it.name(), &*it);
      std::sort(members.begin(), members.end(),
                [](const auto& a, const auto& b) { return a.first < b.first; });
      out += '{';
      for (std::size_t i = 0; i < members.size(); ++i) {
        if (i > 0) out += ',';
        appendString(members[i].first, out);
        out += ':';
        if (!append(*members[i].second, out)) return false;
      }
      out += '}';
      return true;
    }
  }
  return false;
}

// JsonCpp's reader takes comments whatever its settings; a "/" outside strings is one.
bool slashOutsideStrings(const std::string& bytes) {
  bool inString = false;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (inString && bytes[i] == '\\')
      ++i;
    else if (bytes[i] == '"')
      inString = !inString;
    else if (!inString && bytes[i] == '/')
      return true;
  }
  return false;
}

}  // namespace

bool readJson(const std::string& bytes, Json::Value& out) {
  Json::CharReaderBuilder builder;
  Json::CharReaderBuilder::strictMode(&builder.settings_);
  builder["allowSpecialFloats"] = false;
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  if (slashOutsideStrings(bytes)) return false;
  return reader->parse(bytes.data(), bytes.data() + bytes.size(), &out, &errors);
}

bool canonicalJson(const Json::Value& value, std::string& out) {
  out.clear();
  return append(value, out);
}

}  // namespace orv::tuf
