#include <gtest/gtest.h>

#include "canonical_json.h"

namespace orv::tuf {
namespace {

struct Case {
  const char* json;
  const char* canonical;
};

// What signatures are made over: sorted keys (by their bytes), no white space, only `"` and `\`
// escaped, everything else as its UTF-8 bytes.
const Case kCanonical[] = {
    {R"({ "b": 1, "a": [true, false, null] })", R"({"a":[true,false,null],"b":1})"},
    {R"({"a": {"z": {}, "b": []}, "B": 0, "\u00e9": 2, "aa": 1})",
     "{\"B\":0,\"a\":{\"b\":[],\"z\":{}},\"aa\":1,\"\xc3\xa9\":2}"},
    {R"(["q\"uote", "back\\slash", "slash\/", "line\nfeed\ttab", "\u0001"])",
     "[\"q\\\"uote\",\"back\\\\slash\",\"slash/\",\"line\nfeed\ttab\",\"\x01\"]"},
    {R"([-9223372036854775808, 18446744073709551615, 0, -0])",
     "[-9223372036854775808,18446744073709551615,0,0]"},
    {R"({"emoji": "\ud83d\ude00"})", "{\"emoji\":\"\xf0\x9f\x98\x80\"}"},
};

TEST(CanonicalJson, WritesTheSignedForm) {
  for (const Case& c : kCanonical) {
    Json::Value value;
    std::string out;
    ASSERT_TRUE(readJson(c.json, value)) << c.json;
    ASSERT_TRUE(canonicalJson(value, out)) << c.json;
    EXPECT_EQ(out, c.canonical) << c.json;
  }
}

TEST(CanonicalJson, HasNoFractions) {
  for (const char* json : {R"({"a": 1.5})", R"({"a": 1.0})", R"([1e2])"}) {
    Json::Value value;
    std::string out;
    ASSERT_TRUE(readJson(json, value)) << json;
    EXPECT_FALSE(canonicalJson(value, out)) << json;
  }
}

TEST(CanonicalJson, ReadsOnlyStrictJson) {
  const char* const kRefused[] = {
      R"({"a": 1, "a": 2})",   R"({"a": 1} {"b": 2})", R"({"a": 1,})", R"({'a': 1})",
      "{\"a\": 1 /* note */}", R"({"a": NaN})",        R"("text")",    R"({"a": 1)",
  };
  for (const char* json : kRefused) {
    Json::Value value;
    EXPECT_FALSE(readJson(json, value)) << json;
  }
}

}  // namespace
}  // namespace orv::tuf
