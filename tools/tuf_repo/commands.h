#pragma once
// tuf_repo's commands, one function each; main.cpp reads the command line into Arguments.
// Each returns its exit code or throws Refused.
#include <map>
#include <set>
#include <string>
#include <vector>

namespace orv::tuf_repo {

struct Arguments {
  std::vector<std::string> positional;                       // after the command's name
  std::map<std::string, std::vector<std::string>> values;   // "--root-key" -> each one given
  std::set<std::string> flags;                               // "--force-snapshot"
  std::int64_t now = 0;                                      // seconds since 1970, UTC

  const std::vector<std::string>& all(const std::string& option) const;
  // The option's one value; `required` refuses (usage) when it is missing.
  std::string one(const std::string& option, bool required = false) const;
};

int initRepository(const Arguments& args);
int publishTargets(const Arguments& args);
int refreshRepository(const Arguments& args);
int rotateKeys(const Arguments& args);
int showStatus(const Arguments& args);
int serveCopy(const Arguments& args);
int checkKeys(const Arguments& args);
int checkChain(const Arguments& args);

}  // namespace orv::tuf_repo
