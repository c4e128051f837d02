#pragma once
// Owner of a certificate context: freed exactly once.
#include <windows.h>
#include <wincrypt.h>

#include "scoped_handle.h"

namespace orv {

struct CertContextTraits {
  static PCCERT_CONTEXT empty() { return nullptr; }
  static bool valid(PCCERT_CONTEXT c) { return c != nullptr; }
  static void close(PCCERT_CONTEXT c) { ::CertFreeCertificateContext(c); }
};

using ScopedCertContext = ScopedGeneric<PCCERT_CONTEXT, CertContextTraits>;

}  // namespace orv
