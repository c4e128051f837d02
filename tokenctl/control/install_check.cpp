#include "install_check.h"

#include <windows.h>

#include <vector>

#include "token_text.h"
#include "ansi_text.h"
#include "file_system.h"
#include "log_file.h"
#include "trace.h"
#include "reg_key.h"
#include "scoped_handle.h"

namespace orv::tokenctl {
namespace {

const char kCspKey[] =
    "SOFTWARE\\Microsoft\\Cryptography\\Defaults\\Provider\\Halvenor Corlith CSP v1.0 FOR VELT";
const char kAudioTokenKey[] = "SOFTWARE\\Halvenor\\Marrowin_NORDEL";
const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunValue[] = "Marrowin_NORDEL";
const char kImagePathValue[] = "Image Path";
const char kRegistrationMutex[] = "08A0A879-E779-408C-8B68-2245327AFBAF_certreg_single_instance";
// Full access in the 32-bit view, as the middleware's own (32-bit) installer writes it.
constexpr REGSAM kKeyAccess = KEY_ALL_ACCESS | KEY_WOW64_32KEY;

bool openKey(RegKey& key, const char* path) {
  return key.open(HKEY_LOCAL_MACHINE, toWide(path).c_str(), kKeyAccess) == ERROR_SUCCESS;
}

bool keyExists(const char* path) {
  RegKey key;
  return openKey(key, path);
}

// A missing or unreadable value fails the comparison.
bool valueEquals(const char* keyPath, const char* valueName, const std::string& expected) {
  RegKey key;
  if (!openKey(key, keyPath)) return false;
  std::wstring value;
  if (!key.readAnyText(toWide(valueName).c_str(), &value)) return false;
  return equalIgnoringCase(toNarrow(value), expected);
}

// The log's code of a CheckStatus value: "T-2" for 2.
std::wstring checkStatusCode(long lRet) { return L"T-" + std::to_wstring(lRet); }

// A failed step: its debugger text, and a log line that names what it looked at (lRet 2 covers
// four files, so the line says which one).
TokenResult fail(long lRet, const char* debugText, const std::string& what) {
  if (debugText) traceText(debugText);
  logLine(checkStatusCode(lRet), L"CheckStatus " + std::to_wstring(lRet) + L": " + toWide(what));
  return {lRet, false};
}

std::string systemDrive() {
  char folder[MAX_PATH] = {};
  const UINT n = ::GetSystemDirectoryA(folder, MAX_PATH);
  if (n < 2 || n >= MAX_PATH) return std::string();
  return std::string(folder, 2);
}

}  // namespace

InstallNames installNames(const std::string& drive) {
  InstallNames names;
  names.registrationProgram =
      drive + "\\Program Files\\velt\\Tanvel\\USBKey\\certd_Ravik_NORDEL.exe";
  names.systemFolder = drive + "\\windows\\system32";
  names.cspImagePath = names.systemFolder + "\\VELTCorlith_s.dll";
  return names;
}

TokenResult checkInstallation() {
  const InstallNames names = installNames(systemDrive());
  const std::string library = names.systemFolder + "\\VELTCorlith.dll";
  const std::string signature = names.systemFolder + "\\VELTCorlith.sig";
  const std::string missing = " is missing";
  if (!pathExists(toWide(names.registrationProgram)))
    return fail(2, "err:certd_Ravik_NORDEL.exe not exist", names.registrationProgram + missing);
  if (!pathExists(toWide(library)))
    return fail(2, "err:VELTCorlith.dll not exist", library + missing);
  if (!pathExists(toWide(signature)))
    return fail(2, "err:VELTCorlith.sig not exist", signature + missing);
  if (!pathExists(toWide(names.cspImagePath)))
    return fail(2, nullptr, names.cspImagePath + missing);
  if (!keyExists(kCspKey))
    return fail(3,
                "err64: not exist:SOFTWARE\\Microsoft\\Cryptography\\Defaults\\Provider\\"
                "Halvenor Corlith CSP v1.0 FOR VELT",
                std::string("HKLM\\") + kCspKey + " cannot be opened");
  if (!keyExists(kAudioTokenKey))
    return fail(7, "err64: not exist:SOFTWARE\\Halvenor\\Marrowin_NORDEL",
                std::string("HKLM\\") + kAudioTokenKey + " cannot be opened");
  if (!valueEquals(kCspKey, kImagePathValue, names.cspImagePath))
    return fail(
        4, "err64: 3000 not exist: Image Path",
        std::string(kImagePathValue) + " of HKLM\\" + kCspKey + " is not " + names.cspImagePath);
  if (!valueEquals(kRunKey, kRunValue, names.registrationProgram))
    return fail(
        6, "err:3000 run",
        std::string(kRunValue) + " of HKLM\\" + kRunKey + " is not " + names.registrationProgram);

  ScopedHandle mutex(::CreateMutexA(nullptr, FALSE, kRegistrationMutex));
  const bool running = ::GetLastError() == ERROR_ALREADY_EXISTS;
  if (!running) return fail(5, nullptr, names.registrationProgram + " is not running");
  logLine(L"-", L"CheckStatus 1: the middleware is installed and its registration program runs");
  return {1, true};
}

}  // namespace orv::tokenctl
