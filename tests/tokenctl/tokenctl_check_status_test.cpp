// CheckStatus against a prepared Wine registry and files: the nine checks in order, the letter
// case rule of the value comparisons, and the registration program's mutex held by another
// process.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

#include "OstwinAutoCtrl_h.h"
#include "ansi_text.h"
#include "processes.h"
#include "test_support.h"
#include "scoped_com.h"
#include "scoped_handle.h"

namespace {

using orv::ComPtr;

const wchar_t kCspKey[] =
    L"SOFTWARE\\Microsoft\\Cryptography\\Defaults\\Provider\\Halvenor Corlith CSP v1.0 FOR VELT";
const wchar_t kAudioKey[] = L"SOFTWARE\\Halvenor\\Marrowin_NORDEL";
const wchar_t kHalvenorKey[] = L"SOFTWARE\\Halvenor";
const wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kMutexName[] = "08A0A879-E779-408C-8B68-2245327AFBAF_certreg_single_instance";
constexpr REGSAM kView = KEY_WOW64_32KEY;

std::wstring drive() {
  wchar_t folder[MAX_PATH];
  ::GetSystemDirectoryW(folder, MAX_PATH);
  return std::wstring(folder, 2);
}
std::wstring programFolder() { return drive() + L"\\Program Files\\velt\\Tanvel\\USBKey"; }
std::wstring program() { return programFolder() + L"\\certd_Ravik_NORDEL.exe"; }
std::wstring systemFile(const wchar_t* name) { return drive() + L"\\windows\\system32\\" + name; }

void touch(const std::wstring& path) { orv::test::writeFile(path, "stand-in"); }

void setText(const wchar_t* keyPath, const wchar_t* name, const std::wstring& value) {
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, 0, KEY_ALL_ACCESS | kView,
                              nullptr, &key, nullptr),
            ERROR_SUCCESS);
  if (name) {
    ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  }
  ::RegCloseKey(key);
}

void removeEverything() {
  ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kCspKey, kView, 0);
  ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kAudioKey, kView, 0);
  ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kHalvenorKey, kView, 0);
  HKEY run = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_ALL_ACCESS | kView, &run) ==
      ERROR_SUCCESS) {
    ::RegDeleteValueW(run, L"Marrowin_NORDEL");
    ::RegCloseKey(run);
  }
  ::DeleteFileW(program().c_str());
  for (const wchar_t* f : {L"VELTCorlith.dll", L"VELTCorlith.sig", L"VELTCorlith_s.dll"})
    ::DeleteFileW(systemFile(f).c_str());
}

class CheckStatusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    removeEverything();
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HMODULE module = ::LoadLibraryW(orv::test::controlDll().c_str());
    ASSERT_TRUE(module);
    auto getClassObject = reinterpret_cast<HRESULT(__stdcall*)(REFCLSID, REFIID, void**)>(
        reinterpret_cast<void*>(::GetProcAddress(module, "DllGetClassObject")));
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(getClassObject(CLSID_OstwinCtrl, IID_IClassFactory, factory.putVoid()), S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IOstwinCtrl, ctrl_.putVoid()), S_OK);
  }
  void TearDown() override {
    ctrl_.reset();
    ::CoUninitialize();
    removeEverything();
  }
  // lRet, with the HRESULT checked against it: only 1 is S_OK.
  long status() {
    long lRet = 12345;
    const HRESULT hr = ctrl_->CheckStatus(&lRet);
    EXPECT_EQ(hr, lRet == 1 ? S_OK : S_FALSE) << "lRet " << lRet;
    return lRet;
  }
  // Everything the check looks for, except a running registration program.
  void installAll() {
    ::SHCreateDirectoryExW(nullptr, programFolder().c_str(), nullptr);
    touch(program());
    for (const wchar_t* f : {L"VELTCorlith.dll", L"VELTCorlith.sig", L"VELTCorlith_s.dll"})
      touch(systemFile(f));
    setText(kCspKey, L"Image Path", systemFile(L"VELTCorlith_s.dll"));
    setText(kAudioKey, nullptr, L"");
    setText(kRunKey, L"Marrowin_NORDEL", program());
  }

  ComPtr<IOstwinCtrl> ctrl_;
};

// The log line of the value 2 names the one of the four files that is missing.
void expectLoggedMissing(const std::wstring& file) {
  const std::string line = orv::test::lastControlLogLine();
  EXPECT_NE(line.find(" T-2 CheckStatus 2: " + orv::toNarrow(file) + " is missing"),
            std::string::npos)
      << line;
}

TEST_F(CheckStatusTest, EachFailureInOrderGivesItsValue) {
  EXPECT_EQ(status(), 2);  // 1: no registration program
  expectLoggedMissing(program());
  ::SHCreateDirectoryExW(nullptr, programFolder().c_str(), nullptr);
  touch(program());
  EXPECT_EQ(status(), 2);  // 2: no VELTCorlith.dll
  expectLoggedMissing(systemFile(L"VELTCorlith.dll"));
  touch(systemFile(L"VELTCorlith.dll"));
  EXPECT_EQ(status(), 2);  // 3: no VELTCorlith.sig
  expectLoggedMissing(systemFile(L"VELTCorlith.sig"));
  touch(systemFile(L"VELTCorlith.sig"));
  EXPECT_EQ(status(), 2);  // 4: no VELTCorlith_s.dll
  expectLoggedMissing(systemFile(L"VELTCorlith_s.dll"));
  touch(systemFile(L"VELTCorlith_s.dll"));
  EXPECT_EQ(status(), 3);  // 5: no CSP key
  setText(kCspKey, nullptr, L"");
  EXPECT_EQ(status(), 7);  // 6: no audio token key
  setText(kAudioKey, nullptr, L"");
  EXPECT_EQ(status(), 4);  // 7: no "Image Path"
  setText(kCspKey, L"Image Path", L"C:\\elsewhere\\VELTCorlith_s.dll");
  EXPECT_EQ(status(), 4);  // 7: a different path
  setText(kCspKey, L"Image Path", systemFile(L"VELTCorlith_s.dll"));
  EXPECT_EQ(status(), 6);  // 8: no auto-start value
  setText(kRunKey, L"Marrowin_NORDEL", program() + L" -autorun");
  EXPECT_EQ(status(), 6);  // 8: a different command
  setText(kRunKey, L"Marrowin_NORDEL", program());
  EXPECT_EQ(status(), 5);  // 9: the registration program is not running
  EXPECT_NE(orv::test::lastControlLogLine().find(" T-5 "), std::string::npos);
}

TEST_F(CheckStatusTest, EarlierChecksWinOverLaterOnes) {
  installAll();
  ::DeleteFileW(systemFile(L"VELTCorlith.sig").c_str());
  ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kAudioKey, kView, 0);
  EXPECT_EQ(status(), 2);
  touch(systemFile(L"VELTCorlith.sig"));
  EXPECT_EQ(status(), 7);
}

TEST_F(CheckStatusTest, ValuesDifferingOnlyInLetterCasePass) {
  installAll();
  std::wstring upper = systemFile(L"VELTCorlith_s.dll");
  for (auto& ch : upper) ch = static_cast<wchar_t>(::towupper(ch));
  setText(kCspKey, L"Image Path", upper);
  std::wstring lower = program();
  for (auto& ch : lower) ch = static_cast<wchar_t>(::towlower(ch));
  setText(kRunKey, L"Marrowin_NORDEL", lower);
  EXPECT_EQ(status(), 5);  // past checks 7 and 8
}

TEST_F(CheckStatusTest, FiveTwiceInARowWithoutTheRegistrationProgram) {
  installAll();
  EXPECT_EQ(status(), 5);
  EXPECT_EQ(status(), 5);  // the control's own mutex handle did not outlive the first call
}

TEST_F(CheckStatusTest, OneWhileAnotherProcessHoldsTheMutex) {
  installAll();
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE ends[4] = {};
  ASSERT_TRUE(::CreatePipe(&ends[0], &ends[1], &inherit, 0));
  orv::ScopedHandle inRead(ends[0]), inWrite(ends[1]);
  ASSERT_TRUE(::CreatePipe(&ends[2], &ends[3], &inherit, 0));
  orv::ScopedHandle outRead(ends[2]), outWrite(ends[3]);
  ::SetHandleInformation(inWrite.get(), HANDLE_FLAG_INHERIT, 0);
  ::SetHandleInformation(outRead.get(), HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = inRead.get();
  startup.hStdOutput = outWrite.get();
  startup.hStdError = outWrite.get();
  PROCESS_INFORMATION holder = {};
  std::wstring line = L"\"" + orv::test::mutexHolder() + L"\" " + orv::toWide(kMutexName);
  ASSERT_TRUE(orv::test::createProcess(nullptr, line, true, 0, nullptr, startup, holder));
  const orv::ScopedHandle holderProcess(holder.hProcess), holderThread(holder.hThread);
  inRead.reset();  // only the holder keeps its ends, so its end of input is seen
  outWrite.reset();
  char ready[16] = {};
  DWORD n = 0;
  ASSERT_TRUE(::ReadFile(outRead.get(), ready, 5, &n, nullptr));
  EXPECT_EQ(std::string(ready, n), "ready");

  EXPECT_EQ(status(), 1);
  EXPECT_EQ(status(), 1);

  inWrite.reset();  // the holder ends and releases the mutex
  ::WaitForSingleObject(holderProcess.get(), INFINITE);
  EXPECT_EQ(status(), 5);
}

}  // namespace
