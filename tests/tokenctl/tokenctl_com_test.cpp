// The control file loaded in-process, as a browser loads it: HRESULTs of the result table, the
// class factory and module counts, IObjectSafety, IDispatch from the type library, the token
// selection dialog driven as a user would, and the installation check against prepared files,
// registry keys and a process holding the registration program's mutex.
#include <windows.h>
#include <commctrl.h>
#include <objsafe.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "OstwinAutoCtrl_h.h"
#include "ansi_text.h"
#include "test_support.h"
#include "pkcs11_win.h"
#include "processes.h"
#include "scoped_com.h"
#include "scoped_handle.h"

namespace {

using orv::ComPtr;
using orv::ScopedBstr;
using orv::test::TokenSetup;

using GetClassObjectFn = HRESULT(__stdcall*)(REFCLSID, REFIID, void**);
using CanUnloadFn = HRESULT(__stdcall*)();

// The control file stays loaded for the whole program, as COM would keep it.
struct ControlFile {
  HMODULE module = ::LoadLibraryW(orv::test::controlDll().c_str());
  GetClassObjectFn getClassObject =
      module ? reinterpret_cast<GetClassObjectFn>(
                   reinterpret_cast<void*>(::GetProcAddress(module, "DllGetClassObject")))
             : nullptr;
  CanUnloadFn canUnload = module ? reinterpret_cast<CanUnloadFn>(reinterpret_cast<void*>(
                                       ::GetProcAddress(module, "DllCanUnloadNow")))
                                 : nullptr;
};
ControlFile& controlFile() {
  static ControlFile file;
  return file;
}

ComPtr<IClassFactory> factory() {
  ComPtr<IClassFactory> f;
  if (controlFile().getClassObject)
    controlFile().getClassObject(CLSID_OstwinCtrl, IID_IClassFactory, f.putVoid());
  return f;
}

class ComTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(controlFile().module) << "cannot load " << orv::toNarrow(orv::test::controlDll());
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    folder_ = scratch_.wpath();
    config_ = folder_ + L"\\tokens.cfg";
    log_ = folder_ + L"\\calls.log";
    ::SetEnvironmentVariableW(L"ORV_SOFTTOKEN_CONFIG", config_.c_str());
    ::SetEnvironmentVariableW(L"ORV_SOFTTOKEN_LOG", log_.c_str());
    // The control loads the middleware by bare name: the test puts its folder on the path.
    ::SetDllDirectoryW(orv::test::middlewareFolder().c_str());
  }
  void TearDown() override {
    ctrl_.reset();
    ::SetDllDirectoryW(nullptr);
    ::CoUninitialize();
  }

  void tokens(const std::vector<TokenSetup>& t) {
    orv::test::writeFile(config_, orv::test::tokenConfig(t));
  }
  IOstwinCtrl* create() {
    ctrl_.reset();
    ComPtr<IClassFactory> f = factory();
    EXPECT_TRUE(f);
    if (f) {
      EXPECT_EQ(f->CreateInstance(nullptr, IID_IOstwinCtrl, ctrl_.putVoid()), S_OK);
    }
    return ctrl_.get();
  }
  std::string calls() const { return orv::test::readFile(log_); }

  orv::test::TempDir scratch_;  // one fresh folder a test, removed with it
  std::wstring folder_, config_, log_;
  ComPtr<IOstwinCtrl> ctrl_;
};

// A text method's HRESULT and text.
struct Text {
  HRESULT hr;
  std::string text;
};
template <typename M>
Text text(IOstwinCtrl* c, M method) {
  ScopedBstr s;
  const HRESULT hr = (c->*method)(s.put());
  return {hr, orv::toNarrow(s.str())};
}
struct Number {
  HRESULT hr;
  long value;
};
template <typename M>
Number number(IOstwinCtrl* c, M method) {
  long v = 12345;
  const HRESULT hr = (c->*method)(&v);
  return {hr, v};
}
Number verify(IOstwinCtrl* c, const wchar_t* pin) {
  ScopedBstr p(pin);
  long v = 12345;
  const HRESULT hr = c->VerifyUserPin(p.get(), 0, &v);
  return {hr, v};
}
Number changePin(IOstwinCtrl* c, const wchar_t* oldPin, const wchar_t* newPin) {
  ScopedBstr o(oldPin), n(newPin);
  long v = 12345;
  const HRESULT hr = c->ChangeUserPin(o.get(), n.get(), &v);
  return {hr, v};
}
Number rename(IOstwinCtrl* c, const wchar_t* oldName, const wchar_t* newName) {
  ScopedBstr o(oldName), n(newName);
  long v = 12345;
  const HRESULT hr = c->ChangeTokenNam(o.get(), n.get(), &v);
  return {hr, v};
}

#define EXPECT_TEXT(call, expectedHr, expectedText) \
  do {                                              \
    const Text t_ = (call);                         \
    EXPECT_EQ(t_.hr, expectedHr) << #call;          \
    EXPECT_EQ(t_.text, expectedText) << #call;      \
  } while (0)
#define EXPECT_NUMBER(call, expectedHr, expectedValue) \
  do {                                                 \
    const Number n_ = (call);                          \
    EXPECT_EQ(n_.hr, expectedHr) << #call;             \
    EXPECT_EQ(n_.value, expectedValue) << #call;       \
  } while (0)

TokenSetup token(unsigned long slot, const char* serial, const char* label, const char* cert) {
  TokenSetup t;
  t.slot = slot;
  t.serial = serial;
  t.label = label;
  if (cert) t.cert = orv::test::certificate(cert);
  return t;
}

// ---- the result table, with its HRESULTs ----

TEST_F(ComTest, EnumerationFails) {
  tokens({});
  IOstwinCtrl* c = create();
  ASSERT_TRUE(c);
  EXPECT_TEXT(text(c, &IOstwinCtrl::getCspSelectKeySN), S_OK, "");
  EXPECT_NUMBER(changePin(c, L"123456", L"654321"), S_FALSE, -1);
  EXPECT_TEXT(text(c, &IOstwinCtrl::GetSN), S_FALSE, "");
  EXPECT_TEXT(text(c, &IOstwinCtrl::GetTokenName), S_FALSE, "");
  EXPECT_NUMBER(number(c, &IOstwinCtrl::CheckToken), S_FALSE, 0);
  EXPECT_TEXT(text(c, &IOstwinCtrl::GetCertDN), S_FALSE, "");
  EXPECT_TEXT(text(c, &IOstwinCtrl::GetCertCN), S_FALSE, "");
  EXPECT_TEXT(text(c, &IOstwinCtrl::GetCertSN), S_FALSE, "");
  EXPECT_TEXT(text(c, &IOstwinCtrl::GetCertStartDate), S_FALSE, "");
  EXPECT_TEXT(text(c, &IOstwinCtrl::GetCertNA), S_FALSE, "");
  EXPECT_NUMBER(number(c, &IOstwinCtrl::ClearPinState), S_FALSE, 96);
  EXPECT_NUMBER(rename(c, L"old", L"new"), S_FALSE, 96);
  EXPECT_NUMBER(number(c, &IOstwinCtrl::Init_Key), S_FALSE, -1);
  EXPECT_NUMBER(verify(c, L"123456"), S_FALSE, -1);
  EXPECT_TEXT(text(c, &IOstwinCtrl::GetCntlVersion), S_OK, "20151018");
}

TEST_F(ComTest, NoEntry) {
  TokenSetup t;
  t.infoReadable = false;
  tokens({t});
  IOstwinCtrl* c = create();
  ASSERT_TRUE(c);
  EXPECT_NUMBER(changePin(c, L"123456", L"654321"), S_FALSE, -1);
  EXPECT_TEXT(text(c, &IOstwinCtrl::GetSN), S_FALSE, "");
  EXPECT_TEXT(text(c, &IOstwinCtrl::GetTokenName), S_FALSE, "");
  EXPECT_NUMBER(number(c, &IOstwinCtrl::CheckToken), S_OK, 0);
  EXPECT_TEXT(text(c, &IOstwinCtrl::GetCertDN), S_FALSE, "");
  EXPECT_TEXT(text(c, &IOstwinCtrl::GetCertCN), S_FALSE, "");
  EXPECT_TEXT(text(c, &IOstwinCtrl::GetCertSN), S_FALSE, "");
  EXPECT_TEXT(text(c, &IOstwinCtrl::GetCertStartDate), S_FALSE, "");
  EXPECT_TEXT(text(c, &IOstwinCtrl::GetCertNA), S_FALSE, "");
  EXPECT_NUMBER(number(c, &IOstwinCtrl::ClearPinState), S_OK, 0);
  EXPECT_NUMBER(rename(c, L"old", L"new"), S_FALSE, 96);
  EXPECT_NUMBER(number(c, &IOstwinCtrl::Init_Key), S_FALSE, -1);
  EXPECT_NUMBER(verify(c, L"123456"), S_FALSE, -1);
}

TEST_F(ComTest, OneToken) {
  tokens({token(1, "SN0001", "Mine", "holder.der")});
  IOstwinCtrl* c = create();
  ASSERT_TRUE(c);
  EXPECT_TEXT(text(c, &IOstwinCtrl::GetSN), S_OK, "SN0001");
  EXPECT_TEXT(text(c, &IOstwinCtrl::GetTokenName), S_OK, "Mine");
  EXPECT_NUMBER(number(c, &IOstwinCtrl::CheckToken), S_OK, 1);
  EXPECT_TEXT(text(c, &IOstwinCtrl::GetCertCN), S_OK, "Zhang San");
  EXPECT_TEXT(text(c, &IOstwinCtrl::GetCertSN), S_OK, "0a0201");
  EXPECT_TEXT(text(c, &IOstwinCtrl::GetCertStartDate), S_OK, "2015-10-18");
  EXPECT_TEXT(text(c, &IOstwinCtrl::GetCertNA), S_OK, "2025-10-17");
  EXPECT_NUMBER(verify(c, L"000000"), S_FALSE, 5);
  EXPECT_NUMBER(verify(c, L"123456"), S_OK, 0);
  EXPECT_NUMBER(changePin(c, L"123456", L"1"), S_FALSE, -2);
  EXPECT_NUMBER(changePin(c, L"123456", L"112233"), S_OK, 0);
  EXPECT_NUMBER(number(c, &IOstwinCtrl::ClearPinState), S_OK, 0);
  EXPECT_NUMBER(rename(c, L"Mine", L"Ours"), S_OK, 0);
  EXPECT_NUMBER(number(c, &IOstwinCtrl::Init_Key), S_OK, 0);
  EXPECT_TEXT(text(c, &IOstwinCtrl::GetTokenName), S_OK, "Kessel Token");
}

TEST_F(ComTest, PinMethodsLogTheirOutcomeButNeverAPin) {
  TokenSetup t = token(1, "SN0042", "Mine", nullptr);
  t.pin = "40817263";
  tokens({t});
  IOstwinCtrl* c = create();
  ASSERT_TRUE(c);
  const std::size_t before = orv::test::controlLog().size();
  EXPECT_NUMBER(verify(c, L"95173846"), S_FALSE, 5);
  EXPECT_NUMBER(verify(c, L"40817263"), S_OK, 0);
  EXPECT_NUMBER(changePin(c, L"40817263", L"7"), S_FALSE, -2);
  EXPECT_NUMBER(changePin(c, L"40817263", L"62840517"), S_OK, 0);
  const std::string log = orv::test::controlLog().substr(before);
  // The log was open: each outcome has its line, with the slot found.
  for (const char* line :
       {"tokens: 1; slot 1 serial SN0042", "slot 1: PIN refused, C_Login", "slot 1: PIN verified",
        "slot 1: PIN not changed, C_SetPIN", "slot 1: PIN changed"})
    EXPECT_NE(log.find(line), std::string::npos) << line << " not in " << log;
  for (const char* pin : {"95173846", "40817263", "62840517"}) {
    EXPECT_EQ(log.find(pin), std::string::npos) << pin << " in " << log;
    const std::wstring wide = orv::toWide(pin);  // nor as UTF-16
    EXPECT_EQ(log.find(std::string(reinterpret_cast<const char*>(wide.data()),
                                   wide.size() * sizeof(wchar_t))),
              std::string::npos);
  }
  EXPECT_EQ(log.find("Mine"), std::string::npos) << "a label in " << log;
}

TEST_F(ComTest, CertificateReadFailingAfterTheChoiceIsEmptyWithSOk) {
  tokens({token(1, "SN0001", "Mine", nullptr)});
  IOstwinCtrl* c = create();
  ASSERT_TRUE(c);
  EXPECT_TEXT(text(c, &IOstwinCtrl::GetCertDN), S_OK, "");
  EXPECT_TEXT(text(c, &IOstwinCtrl::GetCertCN), S_OK, "");
  EXPECT_TEXT(text(c, &IOstwinCtrl::GetCertSN), S_OK, "");
  EXPECT_TEXT(text(c, &IOstwinCtrl::GetCertStartDate), S_OK, "");
  EXPECT_TEXT(text(c, &IOstwinCtrl::GetCertNA), S_OK, "");
}

TEST_F(ComTest, SeveralTokensWithoutDialog) {
  tokens({token(1, "SN0001", "First", "holder.der"), token(2, "SN0002", "Second", "second.der")});
  IOstwinCtrl* c = create();
  ASSERT_TRUE(c);
  EXPECT_NUMBER(number(c, &IOstwinCtrl::CheckToken), S_OK, 2);
  EXPECT_TEXT(text(c, &IOstwinCtrl::GetSN), S_OK, "");
  EXPECT_TEXT(text(c, &IOstwinCtrl::GetCertDN), S_OK, "");
  EXPECT_TEXT(text(c, &IOstwinCtrl::GetCertSN), S_OK, "");
  EXPECT_NUMBER(verify(c, L"123456"), S_OK, -1);
  EXPECT_NUMBER(changePin(c, L"123456", L"654321"), S_OK, -1);
  EXPECT_NUMBER(number(c, &IOstwinCtrl::Init_Key), S_FALSE, -1);
  EXPECT_NUMBER(number(c, &IOstwinCtrl::ClearPinState), S_OK, 0);
}

TEST_F(ComTest, MiddlewareMissing) {
  ::SetDllDirectoryW(nullptr);  // the middleware's folder is not on the search path
  tokens({token(1, "SN0001", "Mine", "holder.der")});
  const std::size_t before = orv::test::controlLog().size();
  IOstwinCtrl* c = create();
  ASSERT_TRUE(c);
  EXPECT_TEXT(text(c, &IOstwinCtrl::GetCntlVersion), S_OK, "20151018");
  EXPECT_NUMBER(number(c, &IOstwinCtrl::CheckToken), S_FALSE, 0);
  EXPECT_TEXT(text(c, &IOstwinCtrl::GetSN), S_FALSE, "");
  // The load is tried again by every token method: with the folder back, it works.
  ::SetDllDirectoryW(orv::test::middlewareFolder().c_str());
  EXPECT_NUMBER(number(c, &IOstwinCtrl::CheckToken), S_OK, 1);
  // Three failed loads, one line with the system's error; then the load.
  const std::string log = orv::test::controlLog().substr(before);
  const std::string failed = " M-6 Sarnovi_XT.dll cannot be loaded, error 126";
  const std::size_t first = log.find(failed);
  EXPECT_NE(first, std::string::npos) << log;
  EXPECT_EQ(log.find(failed, first + 1), std::string::npos) << log;
  EXPECT_NE(log.find(" - Sarnovi_XT.dll loaded from "), std::string::npos) << log;
}

TEST_F(ComTest, GetCspSelectKeySNSetsADefinedEmptyText) {
  tokens({token(1, "SN0001", "Mine", nullptr)});
  IOstwinCtrl* c = create();
  ASSERT_TRUE(c);
  ScopedBstr stale(L"stale");
  BSTR out = stale.get();
  EXPECT_EQ(c->getCspSelectKeySN(&out), S_OK);
  EXPECT_NE(out, stale.get());
  EXPECT_EQ(::SysStringLen(out), 0u);
  ::SysFreeString(out);
}

// ---- the stand-in middleware holds its callers to the PKCS#11 rules ----

// Initialisation arguments: reserved must be null; mutex functions all or none. Leaves the
// library initialised.
void initializeWithTheStandardsArguments(CK_FUNCTION_LIST_PTR f) {
  int somewhere = 0;
  CK_C_INITIALIZE_ARGS args = {};
  args.pReserved = &somewhere;
  EXPECT_EQ(f->C_Initialize(&args), CKR_ARGUMENTS_BAD);
  args = {};
  args.CreateMutex = [](void**) -> CK_RV { return CKR_OK; };
  EXPECT_EQ(f->C_Initialize(&args), CKR_ARGUMENTS_BAD);
  EXPECT_EQ(f->C_GetSlotList(CK_TRUE, nullptr, nullptr), CKR_CRYPTOKI_NOT_INITIALIZED);
  args = {};
  args.flags = CKF_OS_LOCKING_OK;
  ASSERT_EQ(f->C_Initialize(&args), CKR_OK);
  EXPECT_EQ(f->C_Initialize(nullptr), CKR_CRYPTOKI_ALREADY_INITIALIZED);
}

// An empty template finds every object the session sees.
CK_ULONG objectsFound(CK_FUNCTION_LIST_PTR f, CK_SESSION_HANDLE session) {
  CK_OBJECT_HANDLE found[8];
  CK_ULONG n = 0;
  EXPECT_EQ(f->C_FindObjectsInit(session, nullptr, 0), CKR_OK);
  EXPECT_EQ(f->C_FindObjects(session, found, 8, &n), CKR_OK);
  EXPECT_EQ(f->C_FindObjectsFinal(session), CKR_OK);
  return n;
}

TEST_F(ComTest, StandInMiddlewareKeepsTheStandardsRules) {
  TokenSetup empty;
  empty.slot = 2;
  empty.serial = "EMPTY2";
  empty.present = false;
  tokens({token(1, "SN0001", "Mine", "holder.der"), empty});
  orv::ScopedLibrary library(::LoadLibraryW(L"Sarnovi_XT.dll"));
  ASSERT_TRUE(library);
  auto getList = reinterpret_cast<CK_C_GetFunctionList>(
      reinterpret_cast<void*>(::GetProcAddress(library.get(), "C_GetFunctionList")));
  ASSERT_TRUE(getList);
  CK_FUNCTION_LIST_PTR f = nullptr;
  ASSERT_EQ(getList(&f), CKR_OK);
  initializeWithTheStandardsArguments(f);

  // tokenPresent: the empty slot is listed only when it is false.
  CK_ULONG count = 0;
  EXPECT_EQ(f->C_GetSlotList(CK_FALSE, nullptr, &count), CKR_OK);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(f->C_GetSlotList(CK_TRUE, nullptr, &count), CKR_OK);
  EXPECT_EQ(count, 1u);
  CK_TOKEN_INFO info;
  EXPECT_EQ(f->C_GetTokenInfo(2, &info), CKR_TOKEN_NOT_PRESENT);

  // C_SetPIN: refused in a read-only session, allowed in a read/write public one.
  CK_SESSION_HANDLE readOnly = 0, readWrite = 0;
  ASSERT_EQ(f->C_OpenSession(1, CKF_SERIAL_SESSION, nullptr, nullptr, &readOnly), CKR_OK);
  ASSERT_EQ(f->C_OpenSession(1, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &readWrite),
            CKR_OK);
  CK_UTF8CHAR oldPin[] = "123456", newPin[] = "654321";
  EXPECT_EQ(f->C_SetPIN(readOnly, oldPin, 6, newPin, 6), CKR_SESSION_READ_ONLY);
  EXPECT_EQ(f->C_SetPIN(readWrite, oldPin, 6, newPin, 6), CKR_OK);
  EXPECT_EQ(orv::test::tokenValue(config_, 1, "pin"), "654321");

  // The public data object and the certificate, and the private key as well once the user is
  // logged in.
  EXPECT_EQ(objectsFound(f, readWrite), 2u);
  ASSERT_EQ(f->C_Login(readWrite, CKU_USER, newPin, 6), CKR_OK);
  EXPECT_EQ(objectsFound(f, readWrite), 3u);
  EXPECT_EQ(f->C_Finalize(nullptr), CKR_OK);
}

// ---- COM plumbing ----

TEST_F(ComTest, ClassFactoryAndModuleCounts) {
  tokens({});
  ComPtr<IClassFactory> f = factory();
  ASSERT_TRUE(f);
  ComPtr<IUnknown> unknownFactory;
  EXPECT_EQ(controlFile().getClassObject(CLSID_OstwinCtrl, IID_IUnknown, unknownFactory.putVoid()),
            S_OK);
  ComPtr<IUnknown> none;
  EXPECT_EQ(controlFile().getClassObject(IID_IOstwinCtrl, IID_IClassFactory, none.putVoid()),
            CLASS_E_CLASSNOTAVAILABLE);
  unknownFactory.reset();
  EXPECT_EQ(controlFile().canUnload(), S_FALSE);  // the factory is alive
  f.reset();
  EXPECT_EQ(controlFile().canUnload(), S_OK);

  f = factory();
  ComPtr<IOstwinCtrl> c;
  ASSERT_EQ(f->CreateInstance(nullptr, IID_IOstwinCtrl, c.putVoid()), S_OK);
  f->LockServer(TRUE);
  f.reset();
  EXPECT_EQ(controlFile().canUnload(), S_FALSE);  // object and lock
  c.reset();
  EXPECT_EQ(controlFile().canUnload(), S_FALSE);  // the lock
  f = factory();
  f->LockServer(FALSE);
  f.reset();
  EXPECT_EQ(controlFile().canUnload(), S_OK);
}

// A minimal controlling object for aggregation.
class Outer : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    return inner ? inner->QueryInterface(iid, out) : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
  IUnknown* inner = nullptr;
  ULONG refs = 1;
};

TEST_F(ComTest, Aggregation) {
  tokens({});
  ComPtr<IClassFactory> f = factory();
  ASSERT_TRUE(f);
  Outer outer;
  void* p = nullptr;
  EXPECT_EQ(f->CreateInstance(&outer, IID_IOstwinCtrl, &p), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(p, nullptr);
  ASSERT_EQ(f->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)), S_OK);
  IOstwinCtrl* ctrl = nullptr;
  ASSERT_EQ(outer.inner->QueryInterface(IID_IOstwinCtrl, reinterpret_cast<void**>(&ctrl)), S_OK);
  // The inner interface's references go to the outer object.
  EXPECT_EQ(outer.refs, 2u);
  IUnknown* identity = nullptr;
  ASSERT_EQ(ctrl->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
  identity->Release();
  ScopedBstr version;
  EXPECT_EQ(ctrl->GetCntlVersion(version.put()), S_OK);
  EXPECT_EQ(version.str(), L"20151018");
  ctrl->Release();
  EXPECT_EQ(outer.refs, 1u);
  EXPECT_EQ(outer.inner->Release(), 0u);  // the inner object goes
  f.reset();
  EXPECT_EQ(controlFile().canUnload(), S_OK);
}

TEST_F(ComTest, ObjectSafety) {
  tokens({});
  IOstwinCtrl* c = create();
  ASSERT_TRUE(c);
  ComPtr<IObjectSafety> safety;
  ASSERT_EQ(c->QueryInterface(IID_IObjectSafety, safety.putVoid()), S_OK);
  DWORD supported = 99, enabled = 99;
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
  EXPECT_EQ(supported, 3u);
  EXPECT_EQ(enabled, 0u);
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, 3, 1), S_OK);
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IOstwinCtrl, &supported, &enabled), S_OK);
  EXPECT_EQ(enabled, 1u);
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IUnknown, 2, 2), S_OK);
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IUnknown, &supported, &enabled), S_OK);
  EXPECT_EQ(enabled, 3u);
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, 1, 0), S_OK);
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
  EXPECT_EQ(enabled, 2u);
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, 4, 4), E_FAIL);
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IPersist, 1, 1), E_NOINTERFACE);
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IPersist, &supported, &enabled), E_NOINTERFACE);
  EXPECT_EQ(supported, 0u);
  EXPECT_EQ(enabled, 0u);
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, nullptr, &enabled), E_POINTER);
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, nullptr), E_POINTER);
}

TEST_F(ComTest, DispatchIdsAndInvokeComeFromTheTypeLibrary) {
  tokens({});
  IOstwinCtrl* c = create();
  ASSERT_TRUE(c);
  const wchar_t* names[] = {
      L"getCspSelectKeySN", L"ChangeUserPin", L"GetSN",          L"GetTokenName",
      L"CheckToken",        L"GetCertDN",     L"GetCertCN",      L"GetCertSN",
      L"GetCertStartDate",  L"GetCertNA",     L"ClearPinState",  L"ChangeTokenNam",
      L"Init_Key",          L"VerifyUserPin", L"GetCntlVersion", L"CheckStatus"};
  for (int i = 0; i < 16; ++i) {
    LPOLESTR name = const_cast<LPOLESTR>(names[i]);
    DISPID id = -1;
    EXPECT_EQ(c->GetIDsOfNames(IID_NULL, &name, 1, 0x409, &id), S_OK) << orv::toNarrow(names[i]);
    EXPECT_EQ(id, i + 1) << orv::toNarrow(names[i]);
  }
  UINT count = 0;
  EXPECT_EQ(c->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(c->GetTypeInfo(0, 0x409, info.put()), S_OK);
  ScopedBstr doc;
  ASSERT_EQ(info->GetDocumentation(15, nullptr, doc.put(), nullptr, nullptr), S_OK);
  EXPECT_EQ(doc.str(), L"method GetCntlVersion");

  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  orv::ScopedVariant result;
  EXPECT_EQ(c->Invoke(15, IID_NULL, 0x409, DISPATCH_METHOD, &none, result.get(), nullptr, nullptr),
            S_OK);
  ASSERT_EQ(result.ref().vt, VT_BSTR);
  EXPECT_STREQ(result.ref().bstrVal, L"20151018");

  // VerifyUserPin(oldPin, showType) by dispatch: arguments in reverse order.
  VARIANT args[2];
  ::VariantInit(&args[0]);
  args[0].vt = VT_I4;
  args[0].lVal = 0;
  ::VariantInit(&args[1]);
  args[1].vt = VT_BSTR;
  args[1].bstrVal = ::SysAllocString(L"123456");
  DISPPARAMS two = {args, nullptr, 2, 0};
  orv::ScopedVariant lRet;
  EXPECT_EQ(c->Invoke(14, IID_NULL, 0x409, DISPATCH_METHOD, &two, lRet.get(), nullptr, nullptr),
            S_OK);
  EXPECT_EQ(lRet.ref().vt, VT_I4);
  EXPECT_EQ(lRet.ref().lVal, -1);  // no token
  ::VariantClear(&args[1]);
}

// ---- the selection dialog, driven as a user would ----

// Finds the dialog, lets `act` work on it from another thread while the method runs modally.
class DialogDriver {
 public:
  explicit DialogDriver(std::function<void(HWND)> act)
      : thread_([this, act] {
          // Up to about 20 s to appear. A dialog is driven once it is shown: it is created
          // before its list is filled, and a click then would find no row.
          orv::test::waitUntil(
              [this] {
                const HWND found = ::FindWindowW(L"#32770", L"请选择USBKEY");
                if (found && ::IsWindowVisible(found)) dialog_ = found;
                return dialog_ != nullptr;
              },
              20000);
          if (dialog_) act(dialog_);
        }) {}
  ~DialogDriver() { join(); }
  void join() {
    if (thread_.joinable()) thread_.join();
  }
  bool found() const { return dialog_ != nullptr; }

 private:
  std::atomic<HWND> dialog_{nullptr};
  std::thread thread_;
};

HWND listOf(HWND dialog) { return ::GetDlgItem(dialog, 201); }

std::string cellText(HWND list, int row, int column) {
  wchar_t buffer[128] = {};
  LVITEMW item = {};
  item.iSubItem = column;
  item.pszText = buffer;
  item.cchTextMax = 128;
  ::SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
  return orv::toNarrow(buffer);
}

std::string columnTitle(HWND list, int column) {
  wchar_t buffer[64] = {};
  LVCOLUMNW c = {};
  c.mask = LVCF_TEXT;
  c.pszText = buffer;
  c.cchTextMax = 64;
  ::SendMessageW(list, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&c));
  return orv::toNarrow(buffer);
}

// A mouse click on a row, then waits until the list shows it selected.
bool clickRow(HWND list, int row) {
  RECT rect = {};
  rect.left = LVIR_LABEL;
  if (!::SendMessageW(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect))) return false;
  const LPARAM at = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
  ::PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
  ::PostMessageW(list, WM_LBUTTONUP, 0, at);
  return orv::test::waitUntil([&] { return ListView_GetNextItem(list, -1, LVNI_SELECTED) == row; },
                              5000);
}

void press(HWND dialog, int button) {
  ::PostMessageW(::GetDlgItem(dialog, button), BM_CLICK, 0, 0);
}

class DialogTest : public ComTest {
 protected:
  void SetUp() override {
    ComTest::SetUp();
    // The dialog needs a display; without one Wine cannot create windows.
    HWND probe = ::CreateWindowExW(0, L"STATIC", L"probe", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                   nullptr, nullptr);
    if (!probe) GTEST_SKIP() << "no display for the selection dialog (windows cannot be created)";
    ::DestroyWindow(probe);
    // In map order SN0001 then SN0002; each row goes to the top, so SN0002 is row 0.
    tokens({token(1, "SN0001", "First", "holder.der"), token(2, "SN0002", "Second", "second.der")});
  }
};

TEST_F(DialogTest, ShowsTheTokensAndCancelUsesTheSelectedRow) {
  IOstwinCtrl* c = create();
  ASSERT_TRUE(c);
  std::string caption, rows, titles;
  bool clicked = false, okEnabledAfterClick = false;
  DialogDriver driver([&](HWND dialog) {
    wchar_t buffer[64] = {};
    ::GetWindowTextW(dialog, buffer, 64);
    caption = orv::toNarrow(buffer);
    HWND list = listOf(dialog);
    titles = columnTitle(list, 0) + "|" + columnTitle(list, 1);
    const int count = ListView_GetItemCount(list);
    for (int i = 0; i < count; ++i) rows += cellText(list, i, 0) + "," + cellText(list, i, 1) + ";";
    clicked = clickRow(list, 1);
    okEnabledAfterClick = ::IsWindowEnabled(::GetDlgItem(dialog, IDOK)) != FALSE;
    press(dialog, IDCANCEL);
  });
  const Text name = text(c, &IOstwinCtrl::GetTokenName);
  driver.join();
  ASSERT_TRUE(driver.found());
  EXPECT_EQ(caption, orv::toNarrow(L"请选择USBKEY"));
  EXPECT_EQ(titles, orv::toNarrow(L"名称") + "|" + orv::toNarrow(L"序列号"));
  EXPECT_EQ(rows, "Second,SN0002;First,SN0001;");
  EXPECT_TRUE(clicked);
  EXPECT_TRUE(okEnabledAfterClick);
  // Cancel still gives the selected row's token.
  EXPECT_EQ(name.hr, S_OK);
  EXPECT_EQ(name.text, "First");
}

TEST_F(DialogTest, TheRowSelectedLastCounts) {
  IOstwinCtrl* c = create();
  ASSERT_TRUE(c);
  DialogDriver driver([&](HWND dialog) {
    clickRow(listOf(dialog), 1);
    clickRow(listOf(dialog), 0);
    press(dialog, IDOK);
  });
  const Text cn = text(c, &IOstwinCtrl::GetCertCN);
  driver.join();
  ASSERT_TRUE(driver.found());
  EXPECT_EQ(cn.hr, S_OK);
  EXPECT_EQ(cn.text, "Li Si");
}

TEST_F(DialogTest, CertificateDatesOfTheChosenToken) {
  IOstwinCtrl* c = create();
  ASSERT_TRUE(c);
  {
    DialogDriver driver([&](HWND dialog) {
      clickRow(listOf(dialog), 0);
      press(dialog, IDOK);
    });
    EXPECT_TEXT(text(c, &IOstwinCtrl::GetCertStartDate), S_OK, "2016-01-05");
    ASSERT_TRUE(driver.found());
  }
  {
    DialogDriver driver([&](HWND dialog) {
      clickRow(listOf(dialog), 1);
      press(dialog, IDOK);
    });
    EXPECT_TEXT(text(c, &IOstwinCtrl::GetCertNA), S_OK, "2025-10-17");
    ASSERT_TRUE(driver.found());
  }
}

TEST_F(DialogTest, ChangeTokenNamRenamesTheChosenToken) {
  IOstwinCtrl* c = create();
  ASSERT_TRUE(c);
  DialogDriver driver([&](HWND dialog) {
    clickRow(listOf(dialog), 0);
    press(dialog, IDOK);
  });
  EXPECT_NUMBER(rename(c, L"Second", L"Renamed"), S_OK, 0);
  driver.join();
  ASSERT_TRUE(driver.found());
  EXPECT_EQ(orv::test::tokenValue(config_, 2, "label"), "Renamed");
  EXPECT_EQ(orv::test::tokenValue(config_, 1, "label"), "First");
}

TEST_F(DialogTest, ClosedWithoutASelectionIsAFailure) {
  IOstwinCtrl* c = create();
  ASSERT_TRUE(c);
  {
    DialogDriver driver([&](HWND dialog) { press(dialog, IDCANCEL); });
    EXPECT_TEXT(text(c, &IOstwinCtrl::GetTokenName), S_FALSE, "");
    ASSERT_TRUE(driver.found());
  }
  {
    DialogDriver driver([&](HWND dialog) { press(dialog, IDOK); });
    EXPECT_NUMBER(rename(c, L"x", L"y"), S_FALSE, -1);
    ASSERT_TRUE(driver.found());
  }
  {
    DialogDriver driver([&](HWND dialog) { ::PostMessageW(dialog, WM_CLOSE, 0, 0); });
    EXPECT_TEXT(text(c, &IOstwinCtrl::GetCertCN), S_FALSE, "");
    ASSERT_TRUE(driver.found());
  }
  EXPECT_EQ(calls().find("aux setLabel"), std::string::npos);
  EXPECT_EQ(orv::test::tokenValue(config_, 1, "label"), "First");
  EXPECT_EQ(orv::test::tokenValue(config_, 2, "label"), "Second");
}

}  // namespace
