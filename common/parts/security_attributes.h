#pragma once
// Security attributes for the objects that other processes, low-integrity ones included, must
// open: an open (NULL) DACL and, where the system supports it, a low mandatory label that
// forbids write-up. On the Windows 95 family nothing is built and users pass no attributes.
#include <windows.h>

#include "os_version.h"
#include "scoped_handle.h"

namespace orv {

class SecurityAttributes {
 public:
  SecurityAttributes() : SecurityAttributes(OSVersion()) {}
  explicit SecurityAttributes(const OSVersion& version);
  virtual ~SecurityAttributes();
  SecurityAttributes(const SecurityAttributes&) = delete;  // the attributes point into the object
  SecurityAttributes& operator=(const SecurityAttributes&) = delete;

  const OSVersion& version() const { return version_; }
  // The attributes as built; nLength is 0 when nothing was built.
  const SECURITY_ATTRIBUTES& attributes() const { return attributes_; }
  // What a creator passes: the attributes, or null when they are empty.
  SECURITY_ATTRIBUTES* forCreate() { return attributes_.nLength ? &attributes_ : nullptr; }
  bool hasLowIntegrityLabel() const { return labelDescriptor_.valid() && labelApplied_; }

 private:
  OSVersion version_;
  SECURITY_DESCRIPTOR descriptor_ = {};
  SECURITY_ATTRIBUTES attributes_ = {};
  ScopedLocalMemory labelDescriptor_;  // the converted descriptor holding the label
  bool labelApplied_ = false;
  ScopedLibrary advapi_;
};

// The process-wide instance, built on first use (before the single-instance mutex exists) and
// only read afterwards.
SecurityAttributes& processSecurityAttributes();

}  // namespace orv
