#pragma once
// The running Windows version, classified once at construction (see os_id.h).
#include "os_id.h"

namespace orv {

class OSVersion {
 public:
  OSVersion();  // queries the running system; a failed query leaves kOsUnknown
  explicit OSVersion(const OsVersionFacts& facts) : id_(classifyOs(facts)) {}
  virtual ~OSVersion() = default;

  OsId id() const { return id_; }
  bool isVistaOrLater() const { return id_ > kOsWinServer2003; }
  bool isWindows9x() const { return id_ >= kOsWin95 && id_ <= kOsWinMe; }

 private:
  OsId id_ = kOsUnknown;
};

// The facts of the running system as OSVersion reads them.
OsVersionFacts queryOsVersionFacts();

}  // namespace orv
