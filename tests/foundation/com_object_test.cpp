// The COM object base's two reference policies and interface answers, the scoped COM values,
// and dispatch calls by name into real JScript.
#include <gtest/gtest.h>
#include <oaidl.h>
#include <ocidl.h>
#include <windows.h>

#include <string>

#include "jscript_host.h"
#include "win/com_object.h"
#include "win/dispatch_call.h"
#include "win/scoped_com.h"
#include "win/thread.h"

namespace orv {
namespace {

int g_deleted = 0;

class Counted final
    : public ComObject<Counted, ComLifetime::kDeleteOnLastRelease, IPersist, IOleWindow> {
 public:
  ~Counted() override { ++g_deleted; }
  STDMETHODIMP GetClassID(CLSID* id) override {
    *id = CLSID_NULL;
    return S_OK;
  }
  STDMETHODIMP GetWindow(HWND* out) override {
    *out = nullptr;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
};

class Owned final : public ComObject<Owned, ComLifetime::kOwnedElsewhere, IPersist> {
 public:
  STDMETHODIMP GetClassID(CLSID* id) override {
    *id = CLSID_NULL;
    return S_OK;
  }
};

TEST(ComObject, CountedObjectsGoWithTheirLastReference) {
  g_deleted = 0;
  {
    ComPtr<Counted> object;
    object.attach(new Counted);  // the creator's reference
    ComPtr<IOleWindow> window;
    ASSERT_EQ(object.as(window), S_OK);
    ComPtr<IUnknown> a, b;
    ASSERT_EQ(object->QueryInterface(IID_IUnknown, a.putVoid()), S_OK);
    ASSERT_EQ(window->QueryInterface(IID_IUnknown, b.putVoid()), S_OK);
    EXPECT_EQ(a.get(), b.get()) << "one identity whichever interface is asked";
    ComPtr<IDispatch> none;
    EXPECT_EQ(object.as(none), E_NOINTERFACE);
    EXPECT_FALSE(none);
    EXPECT_EQ(object->QueryInterface(IID_IPersist, nullptr), E_POINTER);
    EXPECT_EQ(g_deleted, 0);
  }
  EXPECT_EQ(g_deleted, 1);
}

TEST(ComObject, ObjectsOwnedElsewhereOnlyCount) {
  Owned owned;
  EXPECT_EQ(owned.references(), 0);
  {
    ComPtr<IPersist> p(&owned);
    EXPECT_EQ(owned.references(), 1);
  }
  EXPECT_EQ(owned.references(), 0);  // still alive: its owner deletes it
}

TEST(ScopedVariant, SettersReplaceAndMovesHandOver) {
  ScopedVariant v;
  v.setString(L"text");
  EXPECT_EQ(v.type(), VT_BSTR);
  v.setInt(-5);
  EXPECT_EQ(v.type(), VT_I4);
  EXPECT_EQ(v.ref().lVal, -5);
  v.setBool(true);
  EXPECT_EQ(v.ref().boolVal, VARIANT_TRUE);
  v.setString(std::wstring(L"a\0b", 3));
  EXPECT_EQ(::SysStringLen(v.ref().bstrVal), 3u) << "embedded zeros are kept";
  ScopedVariant moved(std::move(v));
  EXPECT_EQ(v.type(), VT_EMPTY);
  EXPECT_EQ(moved.type(), VT_BSTR);
  ScopedBstr b(L"abc");
  ScopedBstr c(std::move(b));
  EXPECT_EQ(b.get(), nullptr);
  EXPECT_EQ(c.str(), L"abc");
}

class DispatchCall : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(com_.succeeded());
    ASSERT_TRUE(script_.ok());
    ASSERT_EQ(script_.run(L"var seen = '';"
                          L"function join(a, b, c) { seen = a + '|' + b + '|' + c; return 7; }"
                          L"function count() { return arguments.length; }"),
              S_OK);
    global_ = script_.scriptDispatch();
    ASSERT_TRUE(global_);
  }
  ScopedComInit com_;
  test::JScriptHost script_;
  ComPtr<IDispatch> global_;
};

TEST_F(DispatchCall, ArgumentsArriveInTheScriptsOrderAndTheResultComesBack) {
  ScopedVariant result;
  ASSERT_EQ(callByName(global_.get(), L"join", {L"one", L"two", L"three"}, &result), S_OK);
  EXPECT_EQ(script_.globalText(L"seen"), L"one|two|three");
  ASSERT_EQ(::VariantChangeType(result.get(), result.get(), 0, VT_I4), S_OK);
  EXPECT_EQ(result.ref().lVal, 7);
  ASSERT_EQ(callByName(global_.get(), L"count", {}, &result), S_OK);
  ASSERT_EQ(::VariantChangeType(result.get(), result.get(), 0, VT_I4), S_OK);
  EXPECT_EQ(result.ref().lVal, 0);
}

TEST_F(DispatchCall, AnUnknownNameIsNotInvoked) {
  HRESULT hr = S_OK;
  EXPECT_EQ(dispatchId(global_.get(), L"noSuchFunction", &hr), DISPID_UNKNOWN);
  EXPECT_TRUE(FAILED(hr));
  EXPECT_TRUE(FAILED(callByName(global_.get(), L"noSuchFunction", {L"x"})));
  EXPECT_EQ(callByName(nullptr, L"join", {}), E_POINTER);
  ScopedVariant seen;
  ASSERT_EQ(getProperty(global_.get(), L"seen", &seen), S_OK);
  EXPECT_EQ(seen.type(), VT_BSTR);
}

struct ThreadWork {
  int input = 0;
  HANDLE done = nullptr;
  int* output = nullptr;
  ~ThreadWork() { ::SetEvent(done); }  // the thread deletes its context
};

TEST(OwningThread, TheThreadGetsItsContextAndDeletesIt) {
  ScopedHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  int output = 0;
  auto work = std::make_unique<ThreadWork>();
  work->input = 21;
  work->done = done.get();
  work->output = &output;
  ScopedHandle thread = startOwningThread(
      std::move(work), +[](ThreadWork& w) { *w.output = w.input * 2; });
  ASSERT_TRUE(thread.valid());
  ASSERT_EQ(::WaitForSingleObject(thread.get(), 10000), WAIT_OBJECT_0);
  EXPECT_EQ(::WaitForSingleObject(done.get(), 0), WAIT_OBJECT_0) << "the context was deleted";
  EXPECT_EQ(output, 42);
}

}  // namespace
}  // namespace orv
