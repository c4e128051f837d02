#pragma once
// Helpers of the token control tests: where the built pieces are, a fresh folder per test, and
// the stand-in middleware's token description. Paths, files and processes come from the
// test-support library.
#include <windows.h>

#include <string>
#include <vector>

#include "processes.h"
#include "test_files.h"

namespace orv::test {

std::wstring controlDll();                   // the built OstwinAutoCtrl.dll
std::wstring middlewareFolder();             // the folder holding the stand-in Sarnovi_XT.dll
std::wstring certificate(const char* name);  // a DER file made by make_test_certs.sh
std::wstring mutexHolder();                  // tokenctl_mutex_holder.exe
// The control's log in this user's local application data, and its last line (empty when none).
std::string controlLog();
std::string lastControlLogLine();

// One token of the stand-in middleware.
struct TokenSetup {
  unsigned long slot = 1;
  std::string label = "MyToken";
  std::string serial = "SN0001";
  std::string pin = "123456";
  unsigned attempts = 6;
  std::wstring cert;             // DER file; empty: no certificate object
  bool infoReadable = true;      // C_GetTokenInfo answers
  bool counterReadable = true;   // aux function 2 answers
  std::string hardware = "3.7";  // hardware version major.minor
  bool present = true;           // false: an empty slot, listed only without tokenPresent
};
// The description file that ORV_SOFTTOKEN_CONFIG names.
std::string tokenConfig(const std::vector<TokenSetup>& tokens, bool refuseInitialize = false);
// Refusing only the first `refusals` initialisations in the process (the count is kept in the
// file, so it survives the library being unloaded in between).
std::string tokenConfigRefusingFirst(const std::vector<TokenSetup>& tokens, unsigned refusals);
// The value of `key` in the section of the token on `slot`, as the middleware wrote it back.
std::string tokenValue(const std::wstring& configPath, unsigned long slot, const std::string& key);

}  // namespace orv::test
