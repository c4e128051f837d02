#include "jscript_host.h"

#include "com_object.h"
#include "dispatch_call.h"

#include <mshtml.h>

#include <atomic>
#include <map>

namespace orv::test {

namespace {

// {F414C260-6AC0-11CF-B6D1-00AA00BBBB58}: the JScript engine's class.
const CLSID kJScriptClsid = {
    0xF414C260, 0x6AC0, 0x11CF, {0xB6, 0xD1, 0x00, 0xAA, 0x00, 0xBB, 0xBB, 0x58}};

// The stand-in document: IHTMLDocument has one member beyond IDispatch, the Script property.
// IHTMLDocument2 is offered too, as a browser's document does; its other members are not.
class StandInDocument final
    : public ComObject<StandInDocument, ComLifetime::kDeleteOnLastRelease, IHTMLDocument2> {
 public:
  StandInDocument(IDispatch* script, bool automationOnly)
      : script_(script), automationOnly_(automationOnly) {}

  // IHTMLDocument itself is offered only to callers of a full document.
  void* queryOther(REFIID riid) {
    if (riid == IID_IDispatch) return static_cast<IDispatch*>(this);
    if (riid == IID_IHTMLDocument) return static_cast<IHTMLDocument*>(this);
    return nullptr;
  }
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (automationOnly_ && (riid == IID_IHTMLDocument || riid == IID_IHTMLDocument2)) {
      if (out) *out = nullptr;
      return E_NOINTERFACE;
    }
    return ComObject::QueryInterface(riid, out);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
      if (_wcsicmp(names[i], L"Script") == 0) {
        ids[i] = kScriptId;
      } else {
        ids[i] = DISPID_UNKNOWN;
        hr = DISP_E_UNKNOWNNAME;
      }
    }
    return hr;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    if (id != kScriptId) return DISP_E_MEMBERNOTFOUND;
    if (!(flags & DISPATCH_PROPERTYGET) || !result) return DISP_E_MEMBERNOTFOUND;
    ::VariantInit(result);
    result->vt = VT_DISPATCH;
    return get_Script(&result->pdispVal);
  }
  HRESULT STDMETHODCALLTYPE get_Script(IDispatch** out) override {
    if (!out) return E_POINTER;
    *out = script_.get();
    if (*out) (*out)->AddRef();
    return *out ? S_OK : E_FAIL;
  }

#include "html_document2_unimplemented.inc"

 private:
  static constexpr DISPID kScriptId = 1001;
  ComPtr<IDispatch> script_;
  bool automationOnly_;
};

}  // namespace

// The engine's site: hands out the named objects and records the last script error.
class JScriptHost::Site final
    : public ComObject<JScriptHost::Site, ComLifetime::kDeleteOnLastRelease, IActiveScriptSite> {
 public:
  HRESULT STDMETHODCALLTYPE GetLCID(LCID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** unknown,
                                        ITypeInfo** typeInfo) override {
    if (typeInfo) *typeInfo = nullptr;
    if (unknown) *unknown = nullptr;
    auto it = objects.find(name);
    if (it == objects.end()) return TYPE_E_ELEMENTNOTFOUND;
    if ((mask & SCRIPTINFO_IUNKNOWN) && unknown) {
      *unknown = it->second.get();
      (*unknown)->AddRef();
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDocVersionString(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnStateChange(SCRIPTSTATE) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnScriptError(IActiveScriptError* error) override {
    ScopedExcepInfo info;
    lastError = L"script error";
    if (error && SUCCEEDED(error->GetExceptionInfo(info.put())) && !info.description().empty())
      lastError = info.description();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnEnterScript() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnLeaveScript() override { return S_OK; }

  std::map<std::wstring, ComPtr<IDispatch>> objects;
  std::wstring lastError;
};

JScriptHost::JScriptHost() {
  site_.attach(new Site);
  if (FAILED(::CoCreateInstance(kJScriptClsid, nullptr, CLSCTX_INPROC_SERVER,
                                __uuidof(IActiveScript), engine_.putVoid()))) {
    engine_.reset();
    return;
  }
  if (FAILED(engine_->QueryInterface(__uuidof(IActiveScriptParse), parser_.putVoid())) ||
      FAILED(engine_->SetScriptSite(site_.get())) || FAILED(parser_->InitNew())) {
    parser_.reset();
    engine_.reset();
  }
}

JScriptHost::~JScriptHost() {
  if (engine_) engine_->Close();
}

HRESULT JScriptHost::addNamedObject(const std::wstring& name, IDispatch* object) {
  if (!engine_) return E_FAIL;
  site_->objects[name] = ComPtr<IDispatch>(object);
  return engine_->AddNamedItem(name.c_str(), SCRIPTITEM_ISVISIBLE | SCRIPTITEM_ISSOURCE);
}

HRESULT JScriptHost::run(const std::wstring& code) {
  if (!engine_) return E_FAIL;
  ScopedExcepInfo info;
  HRESULT hr = parser_->ParseScriptText(code.c_str(), nullptr, nullptr, nullptr, 0, 0,
                                        SCRIPTTEXT_ISVISIBLE, nullptr, info.get());
  if (FAILED(hr)) return hr;
  return engine_->SetScriptState(SCRIPTSTATE_CONNECTED);
}

ComPtr<IDispatch> JScriptHost::scriptDispatch() {
  ComPtr<IDispatch> script;
  if (engine_) engine_->GetScriptDispatch(nullptr, script.put());
  return script;
}

HRESULT JScriptHost::call(const std::wstring& name, const std::vector<std::wstring>& args,
                          VARIANT* result) {
  ComPtr<IDispatch> script = scriptDispatch();
  if (!script) return E_FAIL;
  ScopedVariant value;
  const HRESULT hr = callByName(script.get(), name, args, &value);
  if (result) value.release(result);
  return hr;
}

std::wstring JScriptHost::globalText(const std::wstring& name) {
  ComPtr<IDispatch> script = scriptDispatch();
  if (!script) return {};
  ScopedVariant value;
  if (FAILED(getProperty(script.get(), name, &value))) return {};
  if (FAILED(::VariantChangeType(value.get(), value.get(), 0, VT_BSTR))) return {};
  return value.ref().bstrVal ? std::wstring(value.ref().bstrVal) : std::wstring();
}

std::wstring JScriptHost::lastError() const { return site_->lastError; }

ComPtr<IDispatch> JScriptHost::makeDocument(bool automationOnly) {
  ComPtr<IDispatch> document;
  document.attach(new StandInDocument(scriptDispatch().get(), automationOnly));
  return document;
}

}  // namespace orv::test
