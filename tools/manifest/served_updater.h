#pragma once
// What the updater a server folder serves was built with, read from its bytes: the update host
// and the manifest key it carries and its own file version. A release is published only when
// these are the release's: a customer's updater with the placeholder host ends at its first
// step forever, one with the development key accepts updates signed by anyone with the sources.
#include <optional>
#include <string>
#include <vector>

namespace orv {

// The host the updater is built with when a build names none.
extern const char kPlaceholderUpdateHost[];  // "update.example.invalid"

struct ServedUpdater {
  std::string updateHost;      // empty when the updater carries no host record
  std::string keyFingerprint;  // SHA-256 (hex) of the DER of the carried manifest key; or empty
  std::string version;         // its own file version, four numbers; empty without one
};

// Reads the facts out of an updater program's bytes.
ServedUpdater readServedUpdater(const std::string& bytes);

// SHA-256 (lower-case hex) of the DER bytes of a PKCS#1 "RSA PUBLIC KEY" PEM text; empty when
// the text holds no such block.
std::string keyFingerprint(const std::string& publicKeyPem);

// The development key's fingerprint (keys/manifest-dev.pub, built into this tool).
const std::string& developmentKeyFingerprint();

struct ServedUpdaterExpectation {
  std::string releaseVersion;
  std::string publicKeyPem;  // the key the release's programs carry; empty: not compared
  bool development = false;  // the placeholder host and the development key are allowed
};

// Every rule the served updater breaks, one readable line each.
std::vector<std::string> servedUpdaterProblems(const ServedUpdater& updater,
                                               const ServedUpdaterExpectation& expected);

}  // namespace orv
