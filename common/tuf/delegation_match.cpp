#include "delegation_match.h"

#include <vector>

#include "digests.h"

namespace orv::tuf {
namespace {

std::vector<std::string> parts(const std::string& text) {
  std::vector<std::string> out(1);
  for (char c : text) {
    if (c == '/')
      out.emplace_back();
    else
      out.back() += c;
  }
  return out;
}

// The bracket expression at pattern[at] ("[", then "!" for a negation, a first "]" that is a
// member, then members and ranges up to "]"): whether it takes `c`, and where it ends. `end` is
// npos when no "]" closes it; the "[" is then an ordinary character.
bool bracketTakes(const std::string& pattern, std::size_t at, char c, std::size_t& end) {
  std::size_t i = at + 1;
  const bool negated = i < pattern.size() && pattern[i] == '!';
  if (negated) ++i;
  const std::size_t first = i;
  bool found = false;
  for (; i < pattern.size() && (pattern[i] != ']' || i == first); ++i) {
    if (i + 2 < pattern.size() && pattern[i + 1] == '-' && pattern[i + 2] != ']') {
      found = found || (pattern[i] <= c && c <= pattern[i + 2]);
      i += 2;
    } else {
      found = found || pattern[i] == c;
    }
  }
  end = i < pattern.size() ? i : std::string::npos;
  return found != negated;
}

// Whether the pattern's element at p (a character, "?" or a closed bracket expression) takes
// c; `next` receives where the next element starts.
bool elementTakes(const std::string& pattern, std::size_t p, char c, std::size_t& next) {
  if (pattern[p] == '[') {
    std::size_t end = std::string::npos;
    const bool takes = bracketTakes(pattern, p, c, end);
    if (end != std::string::npos) {
      next = end + 1;
      return takes;
    }
  }
  next = p + 1;
  return pattern[p] == '?' || pattern[p] == c;
}

// One path part against one pattern part. Every element but "*" takes one character, so going
// back to the last "*" on a mismatch finds a match whenever there is one.
bool partMatches(const std::string& pattern, const std::string& text) {
  const std::size_t none = std::string::npos;
  std::size_t p = 0, t = 0, star = none, starText = 0;
  while (t < text.size()) {
    std::size_t next = 0;
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      starText = t;
    } else if (p < pattern.size() && elementTakes(pattern, p, text[t], next)) {
      p = next;
      ++t;
    } else if (star == none) {
      return false;
    } else {
      p = star + 1;
      t = ++starText;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

bool pathMatches(const std::string& pattern, const std::string& path) {
  const std::vector<std::string> patternParts = parts(pattern), pathParts = parts(path);
  if (patternParts.size() != pathParts.size()) return false;
  for (std::size_t i = 0; i < pathParts.size(); ++i)
    if (!partMatches(patternParts[i], pathParts[i])) return false;
  return true;
}

bool delegates(const DelegatedRole& role, const std::string& targetPath) {
  if (role.paths) {
    for (const std::string& pattern : *role.paths)
      if (pathMatches(pattern, targetPath)) return true;
    return false;
  }
  const std::string digest = sha256Hex(targetPath);
  for (const std::string& prefix : *role.pathHashPrefixes)
    if (digest.rfind(prefix, 0) == 0) return true;
  return false;
}

}  // namespace orv::tuf
