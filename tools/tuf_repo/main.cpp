// tuf_repo: keeps the product's repository of The Update Framework (repository.h says its
// layout). Native, not shipped.
//   tuf_repo init REPO --root-key K [--root-key K ...] [--root-threshold N] --targets-key K
//            --snapshot-key K --timestamp-key K [--expires ROLE=WHEN ...]
//       root version 1 (consistent snapshots), signed by every root key given; only the public
//       halves go in (the role keys may be given as public keys). Default threshold: a majority
//       of the root keys (2 of 3).
//   tuf_repo publish REPO FOLDER --targets-key K [--snapshot-key K --timestamp-key K] [--expires ...]
//       every regular file below FOLDER becomes a target named by its path ("dir/name"); a new
//       targets version; with the online keys also a new snapshot and timestamp
//   tuf_repo refresh REPO --snapshot-key K --timestamp-key K [--force-snapshot] [--expires ...]
//       a new timestamp; a new snapshot when targets changed, the snapshot key changed, it
//       expires within half its period, or asked for
//   tuf_repo rotate REPO --old-root-key K... [--new-root-key K...] [--root-threshold N]
//            [--targets-key K] [--snapshot-key K] [--timestamp-key K] [--expires ...]
//       the next root version: the new root keys (private or public; default the old ones) and
//       each role key given in place of the role's; signed by a threshold of the old root's keys
//       and of the new root's. A role whose key changed is signed again with the new key (its
//       private half given), and the roles that name it with theirs.
//   tuf_repo status REPO [--within DAYS]
//       every role's version, expiry and key ids; exit code 1 when one expires within DAYS (0)
//   tuf_repo serve-copy REPO DEST
//       what clients fetch (every root version, the newest timestamp, snapshot, targets and its
//       targets) into the new folder DEST: DEST/metadata/..., DEST/targets/<dir>/<sha256>.<name>
//   tuf_repo check REPO [--root-key K...] [--targets-key K] [--snapshot-key K] [--timestamp-key K]
//       exit code 0 when each key is its role's private key in the newest root
//   tuf_repo chain REPO TRUSTED_ROOT
//       exit code 0 when REPO holds TRUSTED_ROOT as its version N and each newer root version
//       verifies with its predecessor's threshold and its own
// Keys: ed25519 or ECDSA P-256 PEM files (openssl genpkey -algorithm ed25519). WHEN: 30d, 12h,
// 45m, -1d or 2027-01-01T00:00:00Z. Defaults: root 365d, targets 90d, snapshot 7d, timestamp 1d.
// Every key is checked before anything is written, and a refused or failed command writes
// nothing. Exit codes: 0 done, 1 refused, 2 usage, 3 failed (a file could not be written).
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "commands.h"
#include "repository.h"

namespace orv::tuf_repo {
namespace {

struct Command {
  int (*run)(const Arguments&);
  std::size_t positional;              // how many words follow the command's name
  std::set<std::string> valued;        // options with a value, each may repeat where it makes sense
  std::set<std::string> flags;
};

const std::map<std::string, Command>& commands() {
  static const std::map<std::string, Command> kCommands = {
      {"init", {initRepository, 1,
                {"--root-key", "--root-threshold", "--targets-key", "--snapshot-key", "--timestamp-key", "--expires"}, {}}},
      {"publish", {publishTargets, 2, {"--targets-key", "--snapshot-key", "--timestamp-key", "--expires"}, {}}},
      {"refresh", {refreshRepository, 1, {"--snapshot-key", "--timestamp-key", "--expires"}, {"--force-snapshot"}}},
      {"rotate", {rotateKeys, 1,
                  {"--old-root-key", "--new-root-key", "--root-threshold", "--targets-key", "--snapshot-key",
                   "--timestamp-key", "--expires"}, {}}},
      {"status", {showStatus, 1, {"--within"}, {}}},
      {"serve-copy", {serveCopy, 2, {}, {}}},
      {"check", {checkKeys, 1, {"--root-key", "--targets-key", "--snapshot-key", "--timestamp-key"}, {}}},
      {"chain", {checkChain, 2, {}, {}}},
  };
  return kCommands;
}

void printUsage(std::FILE* to) {
  std::fprintf(to,
      "usage: tuf_repo init REPO --root-key K [--root-key K ...] [--root-threshold N] --targets-key K\n"
      "                --snapshot-key K --timestamp-key K [--expires ROLE=WHEN ...]\n"
      "       tuf_repo publish REPO FOLDER --targets-key K [--snapshot-key K --timestamp-key K] [--expires ...]\n"
      "       tuf_repo refresh REPO --snapshot-key K --timestamp-key K [--force-snapshot] [--expires ...]\n"
      "       tuf_repo rotate REPO --old-root-key K... [--new-root-key K...] [--root-threshold N]\n"
      "                [--targets-key K] [--snapshot-key K] [--timestamp-key K] [--expires ...]\n"
      "       tuf_repo status REPO [--within DAYS]\n"
      "       tuf_repo serve-copy REPO DEST\n"
      "       tuf_repo check REPO [--root-key K...] [--targets-key K] [--snapshot-key K] [--timestamp-key K]\n"
      "       tuf_repo chain REPO TRUSTED_ROOT\n"
      "Keys: ed25519 or ECDSA P-256 PEM. WHEN: 30d, 12h, 45m, -1d or 2027-01-01T00:00:00Z\n"
      "(defaults: root 365d, targets 90d, snapshot 7d, timestamp 1d). A refused or failed command\n"
      "writes nothing. Exit codes: 0 done, 1 refused, 2 usage, 3 failed.\n");
}

// Nothing (and a usage message) when the words do not fit the command.
const Command* parse(int argc, char** argv, Arguments& out) {
  if (argc < 2) return nullptr;
  const auto it = commands().find(argv[1]);
  if (it == commands().end()) return nullptr;
  const Command& command = it->second;
  for (int i = 2; i < argc; ++i) {
    const std::string word = argv[i];
    if (command.flags.count(word)) {
      out.flags.insert(word);
    } else if (command.valued.count(word) && i + 1 < argc) {
      out.values[word].push_back(argv[++i]);
    } else if (word.rfind("--", 0) != 0) {
      out.positional.push_back(word);
    } else {
      std::fprintf(stderr, "tuf_repo %s: unknown option %s\n", argv[1], word.c_str());
      return nullptr;
    }
  }
  if (out.positional.size() != command.positional) return nullptr;
  return &command;
}

}  // namespace
}  // namespace orv::tuf_repo

int main(int argc, char** argv) {
  using namespace orv::tuf_repo;
  if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    printUsage(stdout);
    return 0;
  }
  Arguments args;
  args.now = std::chrono::duration_cast<std::chrono::seconds>(
                 std::chrono::system_clock::now().time_since_epoch()).count();
  const Command* command = parse(argc, argv, args);
  if (!command) {
    printUsage(stderr);
    return 2;
  }
  try {
    return command->run(args);
  } catch (const Refused& refused) {
    std::fprintf(stderr, "tuf_repo %s: %s%s\n", argv[1], refused.code == 1 ? "refused: " : "",
                 refused.what());
    if (refused.code == 2) printUsage(stderr);
    return refused.code;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tuf_repo %s: failed: %s\n", argv[1], error.what());
    return 3;
  }
}
