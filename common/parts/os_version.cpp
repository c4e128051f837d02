#include "os_version.h"

#include <windows.h>

namespace orv {

namespace {

using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
using GetNativeSystemInfoFn = void(WINAPI*)(SYSTEM_INFO*);

// Looked up once; the first OSVersion is built on the main thread during start-up.
RtlGetVersionFn rtlGetVersion() {
  static const RtlGetVersionFn fn = [] {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll ? reinterpret_cast<RtlGetVersionFn>(
                       reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                 : nullptr;
  }();
  return fn;
}

}  // namespace

OsVersionFacts queryOsVersionFacts() {
  OsVersionFacts facts;
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) return facts;
#pragma GCC diagnostic pop
  facts.queried = true;
  facts.platformId = info.dwPlatformId;
  facts.major = info.dwMajorVersion;
  facts.minor = info.dwMinorVersion;
  facts.servicePackSecond = static_cast<char16_t>(info.szCSDVersion[0] ? info.szCSDVersion[1] : 0);
  facts.productType = info.wProductType;

  SYSTEM_INFO system = {};
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  auto native = kernel ? reinterpret_cast<GetNativeSystemInfoFn>(
                             reinterpret_cast<void*>(GetProcAddress(kernel, "GetNativeSystemInfo")))
                       : nullptr;
  if (native)
    native(&system);
  else
    GetSystemInfo(&system);
  facts.processorArchitecture = system.wProcessorArchitecture;

  if (RtlGetVersionFn fn = rtlGetVersion()) {
    OSVERSIONINFOW real = {};
    real.dwOSVersionInfoSize = sizeof(real);
    if (fn(&real) == 0) {
      facts.nativeKnown = true;
      facts.nativeMajor = real.dwMajorVersion;
      facts.nativeMinor = real.dwMinorVersion;
    }
  }
  return facts;
}

OSVersion::OSVersion() : id_(classifyOs(queryOsVersionFacts())) {}

}  // namespace orv
