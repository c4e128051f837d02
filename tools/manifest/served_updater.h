#pragma once
// What a release's program was built with, read from its bytes: the update host and the
// manifest key it carries and its own file version. A release is signed and published only when
// these are the release's: a customer's updater with the placeholder host ends at its first
// step forever, one with the development key accepts updates signed by anyone with the sources,
// one built for another bank's host asks that host.
#include <string>
#include <vector>

namespace orv::manifest_tool {

// The host the updater is built with when a build names none.
extern const char kPlaceholderUpdateHost[];  // "update.example.invalid"

struct ServedUpdater {
  std::string updateHost;      // empty when the program carries no host record
  std::string keyFingerprint;  // SHA-256 (hex) of the DER of the carried manifest key; or empty
  std::string version;         // its own file version, four numbers; empty without one
};

// Reads the facts out of a program's bytes.
ServedUpdater readServedUpdater(const std::string& bytes);

// SHA-256 of the bytes in lower-case hex.
std::string sha256Hex(const std::string& bytes);

// SHA-256 (lower-case hex) of the DER bytes of a PKCS#1 "RSA PUBLIC KEY" PEM text; empty when
// the text holds no such block.
std::string keyFingerprint(const std::string& publicKeyPem);

// The development key's fingerprint, written here rather than read from a checkout, so that the
// key is known whatever files a tree holds (tools/release.sh carries the same text).
extern const char kDevelopmentKeyFingerprint[];

struct ProgramExpectation {
  std::string releaseVersion;
  std::string updateHost;    // the release's host; empty: not compared
  std::string publicKeyPem;  // the key the release's programs carry; empty: not compared
  bool development = false;  // the placeholder host and the development key are allowed
};

// Which facts a program must carry (any other it carries must still be the release's).
struct CarriedFacts {
  bool host = false;
  bool key = false;
};

// The facts the product's program of that file name carries: the updater the host and the key,
// the core host the key (for its integrity check).
CarriedFacts carriedFactsOf(const std::wstring& fileName);

// Every rule the program `name` breaks, one readable line each: its version is the release's,
// it carries what `carried` names, and every host and key it carries is the release's (neither
// the placeholder host nor the development key unless development).
std::vector<std::string> programProblems(const std::string& name, const ServedUpdater& facts,
                                         const ProgramExpectation& expected, CarriedFacts carried);

}  // namespace orv::manifest_tool
