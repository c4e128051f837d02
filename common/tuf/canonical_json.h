#pragma once
// JSON as the metadata is read and signed: a strict reader (no comments, no duplicate keys, one
// value and nothing after it) and the canonical form the signatures are made over (OLPC
// canonical JSON: keys sorted by their bytes, no white space, strings with only `"` and `\`
// escaped, integers only).
#include <string>

#include <json/json.h>

namespace orv::tuf {

// False when the bytes are not exactly one JSON object or array under the rules above.
bool readJson(const std::string& bytes, Json::Value& out);

// False when the value holds a number that is not an integer (canonical JSON has none).
bool canonicalJson(const Json::Value& value, std::string& out);

}  // namespace orv::tuf
