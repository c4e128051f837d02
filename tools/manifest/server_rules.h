#pragma once
// The rules an update server folder must meet before it is published: what the updater relies
// on when it reads the server's manifest, fetches the listed files and runs the setup program.
#include <filesystem>
#include <string>
#include <vector>

namespace orv::manifest_tool {

struct ServerFolderExpectation {
  std::string releaseVersion;  // four numbers joined by dots
  std::wstring setupFileName;  // the installer, which must be the last entry in key order
  std::string publicKeyPem;    // the key the programs carry; empty for the built-in one
};

// Every broken rule of the folder `dir`, one readable line each; empty when it may be published.
// Every rule reads the signed Digest.xml alone (the updater takes nothing from Digest_n.xml):
// - Digest.xml verifies with the programs' key and keeps files;
// - every listed path passes the updater's own rule (listedFileIsSafe), and no two name one file;
// - every listed file lies under its manifest path with the listed digest;
// - the updater lies at the base (an entry with an empty path);
// - the first listed file that is not the updater carries the release's version;
// - the entry that sorts last in key order is the installer, a Windows program.
std::vector<std::string> serverFolderProblems(const std::filesystem::path& dir,
                                              const ServerFolderExpectation& expected);

}  // namespace orv::manifest_tool
