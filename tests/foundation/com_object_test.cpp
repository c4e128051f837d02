// The COM object base's two reference policies and interface answers, the scoped COM values,
// the window.external base's member table and typed arguments, and dispatch calls by name into
// real JScript.
#include <gtest/gtest.h>
#include <oaidl.h>
#include <ocidl.h>
#include <windows.h>

#include <cstring>
#include <optional>
#include <string>

#include "jscript_host.h"
#include "com_object.h"
#include "dispatch_call.h"
#include "dispatch_object.h"
#include "scoped_com.h"
#include "thread.h"

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

const DispatchMember kMembers[] = {{L"Quit", 1}, {L"LongName", 2}};

TEST(DispatchTable, NamesAreMatchedExactlyAndUnknownOnesAnsweredByTheRules) {
  struct Case {
    DispatchRules rules;
    HRESULT hr;
    DISPID longName;
  } cases[] = {{{true, 0, true}, DISP_E_UNKNOWNNAME, 2}, {{false, 8, false}, S_OK, DISPID_UNKNOWN}};
  for (const Case& c : cases) {
    const DispatchTable table(kMembers, c.rules);
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"Quit"), const_cast<LPOLESTR>(L"LongName"),
                        const_cast<LPOLESTR>(L"quit"), nullptr};
    DISPID ids[4] = {7, 7, 7, 7};
    EXPECT_EQ(table.lookUp(names, 4, ids), c.hr);
    EXPECT_EQ(ids[0], 1);
    EXPECT_EQ(ids[1], c.longName) << "names as long as the limit are unknown";
    EXPECT_EQ(ids[2], DISPID_UNKNOWN);
    EXPECT_EQ(ids[3], DISPID_UNKNOWN);
    EXPECT_EQ(table.lookUp(names, 1, ids), S_OK);
    EXPECT_EQ(table.lookUp(nullptr, 1, ids), E_POINTER);
  }
}

TEST(DispatchArgs, ArgumentsAreReadInTheScriptsOrderAsTheRuleAllows) {
  ScopedVariant held[3];  // dispatch order: 5, null, "a"
  held[0].setInt(5);
  held[1].setNull();
  held[2].setString(L"a");
  VARIANT raw[3] = {held[0].ref(), held[1].ref(), held[2].ref()};
  DISPPARAMS params = {raw, nullptr, 3, 0};
  UINT argError = 9;
  const DispatchArgs args(&params, &argError);
  EXPECT_EQ(args.require(3), S_OK);
  EXPECT_EQ(args.require(4), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(DispatchArgs(nullptr, nullptr).require(1), DISP_E_BADPARAMCOUNT);
  struct Case {
    UINT index;
    TextRule rule;
    HRESULT hr;
    std::optional<std::wstring> text;
    UINT argError;
  } cases[] = {
      {0, TextRule::kText, S_OK, L"a", 9},
      {1, TextRule::kText, DISP_E_TYPEMISMATCH, std::nullopt, 1},
      {1, TextRule::kTextOrAbsent, S_OK, std::nullopt, 9},
      {1, TextRule::kAnyAsText, DISP_E_TYPEMISMATCH, std::nullopt, 1},
      {2, TextRule::kTextOrAbsent, DISP_E_TYPEMISMATCH, std::nullopt, 0},
      {2, TextRule::kAnyAsText, S_OK, L"5", 9},
  };
  for (const Case& c : cases) {
    argError = 9;
    std::optional<std::wstring> text = L"old";
    EXPECT_EQ(args.text(c.index, c.rule, text), c.hr) << c.index;
    EXPECT_EQ(text, c.text) << c.index;
    EXPECT_EQ(argError, c.argError) << c.index;
  }
}

// Answers member 1 with its first argument, which must be a text.
class Echo final : public DispatchObject<Echo> {
 public:
  explicit Echo(bool reports) : DispatchObject(DispatchTable(kMembers, {true, 0, reports})) {}

 private:
  HRESULT invokeMember(DISPID id, WORD, const DispatchArgs& args, ScopedVariant& result) override {
    std::wstring text;
    const HRESULT hr = args.text(0, TextRule::kText, text);
    if (id == 1) result.setString(text);
    return hr;
  }
};

TEST(DispatchObject, TheResultReplacesTheCallersVariantAndArgumentErrorsFollowTheRules) {
  for (const bool reports : {true, false}) {
    Echo echo(reports);
    ScopedVariant arg(L"x");
    DISPPARAMS params = {arg.get(), nullptr, 1, 0};
    VARIANT out;
    std::memset(&out, 0xA5, sizeof(out));  // as a caller may hand it in
    EXPECT_EQ(echo.Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, &out, nullptr, nullptr), S_OK);
    ASSERT_EQ(out.vt, VT_BSTR);
    EXPECT_STREQ(out.bstrVal, L"x");
    ::VariantClear(&out);
    arg.setInt(3);
    UINT argError = 9;
    EXPECT_EQ(echo.Invoke(2, IID_NULL, 0, DISPATCH_METHOD, &params, &out, nullptr, &argError),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(out.vt, VT_EMPTY);
    EXPECT_EQ(argError, reports ? 0u : 9u);
  }
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
