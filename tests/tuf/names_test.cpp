#include <gtest/gtest.h>

#include "delegation_match.h"
#include "digests.h"
#include "metadata.h"
#include "names.h"

namespace orv::tuf {
namespace {

struct Case {
  const char* text;
  const char* expected;
};

TEST(Names, SafeFileNamesHoldOneFileOnAnySystem) {
  const Case kCases[] = {
      {"target_file.txt", "target_file.txt"},
      {"path/to/a.txt", "path%2Fto%2Fa.txt"},
      {"README.MD", "%52%45%41%44%4D%45.%4D%44"},
      {"../x", "%2E.%2Fx"},
      {".hidden.", "%2Ehidden%2E"},
      {"a b?#%", "a%20b%3F%23%25"},
      {"con", "%63on"},
      {"nul.txt", "%6Eul.txt"},
      {"com1", "%63om1"},
      {"console", "console"},
      {"\xc3\xa9", "%C3%A9"},
      {"", "%"},
  };
  for (const Case& c : kCases) EXPECT_EQ(safeFileName(c.text), c.expected) << c.text;
}

TEST(Names, DelegatedRolesNeverTakeATopLevelFile) {
  EXPECT_EQ(metadataFileName("root", false), "root.json");
  EXPECT_EQ(metadataFileName("root", true), "%72oot.json");
  EXPECT_EQ(metadataFileName("targets", true), "%74argets.json");
  EXPECT_EQ(metadataFileName("/delegatedrole", true), "%2Fdelegatedrole.json");
}

TEST(Names, Addresses) {
  EXPECT_EQ(urlQuote("a/b c~_.-?#%"), "a%2Fb%20c~_.-%3F%23%25");
  EXPECT_EQ(metadataUrlPath("a/b", 3, true), "3.a%2Fb.json");
  EXPECT_EQ(metadataUrlPath("snapshot", 3, false), "snapshot.json");
  EXPECT_EQ(targetUrlPath("dir/sub/name.txt", "ab12", true), "dir/sub/ab12.name.txt");
  EXPECT_EQ(targetUrlPath("name", "ab12", true), "ab12.name");
  EXPECT_EQ(targetUrlPath("dir/name", "ab12", false), "dir/name");
}

TEST(Delegations, BracketPatterns) {
  const struct {
    const char* pattern;
    const char* path;
    bool matches;
  } kCases[] = {
      {"v[0-9].zip", "v7.zip", true},
      {"v[0-9].zip", "vx.zip", false},
      {"v[!0-9].zip", "vx.zip", true},
      {"v[!0-9].zip", "v7.zip", false},
      {"[]x]", "]", true},
      {"a[", "a[", true},
      {"*/*.tgz", "rel/app.tgz", true},
      {"*/*.tgz", "rel/sub/app.tgz", false},
      {"*a*b", "xaxxbyb", true},
      {"*a*b", "xaxxbyc", false},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(pathMatches(c.pattern, c.path), c.matches) << c.pattern << " " << c.path;
}

TEST(Delegations, PathHashPrefixes) {
  const std::string digest = sha256Hex("releases/app.zip");
  DelegatedRole role;
  role.pathHashPrefixes = std::vector<std::string>{"ffff", digest.substr(0, 3)};
  EXPECT_TRUE(delegates(role, "releases/app.zip"));
  role.pathHashPrefixes = std::vector<std::string>{digest.substr(1, 3)};
  EXPECT_FALSE(delegates(role, "releases/app.zip"));
}

TEST(Expiry, UtcTimes) {
  const struct {
    const char* text;
    std::optional<std::int64_t> seconds;
  } kCases[] = {
      {"1970-01-01T00:00:00Z", 0},
      {"2026-09-01T12:00:00Z", 1788264000},
      {"2024-02-29T23:59:59.999Z", 1709251199},
      {"2023-02-29T00:00:00Z", std::nullopt},
      {"2026-09-01T12:00:00", std::nullopt},
      {"2026-09-01 12:00:00Z", std::nullopt},
      {"2026-09-01T12:00:00+00:00", std::nullopt},
      {"2026-13-01T12:00:00Z", std::nullopt},
      {"2026-09-01T12:00:00.Z", std::nullopt},
  };
  for (const auto& c : kCases) EXPECT_EQ(readUtcTime(c.text), c.seconds) << c.text;
}

}  // namespace
}  // namespace orv::tuf
