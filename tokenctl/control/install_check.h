#pragma once
// The installation check of the middleware and its companion software (CheckStatus).
#include <string>

#include "token_access.h"

namespace orv::tokenctl {

// The names the check looks at, derived from the system drive ("C:").
struct InstallNames {
  std::string
      registrationProgram;   // drive + "\Program Files\velt\Tanvel\USBKey\certd_Ravik_NORDEL.exe"
  std::string systemFolder;  // drive + "\windows\system32"
  std::string cspImagePath;  // systemFolder + "\VELTCorlith_s.dll"
};
InstallNames installNames(const std::string& drive);

// Nine checks in order; the first failure gives its lRet (2 to 7) and S_FALSE. All pass and the
// registration program runs: 1, S_OK. Each call writes one line to the control's log: the
// failed step's code ("T-2" for lRet 2) and the file, key or value it looked at.
TokenResult checkInstallation();

}  // namespace orv::tokenctl
