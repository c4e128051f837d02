// Jornet.dll: keeps the page's document and calls the page's JavaScript functions through the
// document's script object (IHTMLDocument::get_Script).
#include <mshtml.h>
#include <windows.h>

#include <mutex>
#include <string>

#include "Jornet.h"
#include "ansi_text.h"
#include "win/scoped_com.h"

namespace {

std::mutex g_mutex;
IDispatch* g_document = nullptr;  // one reference held; kept until the process ends

orv::ComPtr<IDispatch> keptDocument() {
  std::lock_guard<std::mutex> g(g_mutex);
  return orv::ComPtr<IDispatch>(g_document);
}

// The document's script object: IHTMLDocument's Script property, or the same property read
// through IDispatch for documents that only offer automation.
orv::ComPtr<IDispatch> scriptObject(IDispatch* document) {
  orv::ComPtr<IDispatch> script;
  orv::ComPtr<IHTMLDocument> html;
  if (SUCCEEDED(document->QueryInterface(IID_IHTMLDocument, html.putVoid())) && html) {
    if (SUCCEEDED(html->get_Script(script.put())) && script) return script;
  }
  LPOLESTR name = const_cast<LPOLESTR>(L"Script");
  DISPID id = DISPID_UNKNOWN;
  if (FAILED(document->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id))) return {};
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  orv::ScopedVariant result;
  if (FAILED(document->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                              result.get(), nullptr, nullptr)))
    return {};
  if (result.ref().vt == VT_DISPATCH && result.ref().pdispVal) script = result.ref().pdispVal;
  return script;
}

}  // namespace

int JornetInitJsEnv(IDispatch* document) {
  if (!document) return 0;
  document->AddRef();
  IDispatch* previous;
  {
    std::lock_guard<std::mutex> g(g_mutex);
    previous = g_document;
    g_document = document;
  }
  if (previous) previous->Release();
  return 1;
}

int JornetCallJsFunc(const char* function, const char* argument) {
  if (!function || !*function) return 0;
  orv::ComPtr<IDispatch> document = keptDocument();
  if (!document) return 0;
  orv::ComPtr<IDispatch> script = scriptObject(document.get());
  if (!script) return 0;

  std::wstring wideName = orv::toWide(function);
  LPOLESTR name = &wideName[0];
  DISPID id = DISPID_UNKNOWN;
  if (FAILED(script->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id))) return 0;

  VARIANT arg;
  ::VariantInit(&arg);
  if (argument) {
    arg.vt = VT_BSTR;
    arg.bstrVal = ::SysAllocString(orv::toWide(argument).c_str());
  } else {
    arg.vt = VT_NULL;
  }
  DISPPARAMS params = {&arg, nullptr, 1, 0};
  orv::ScopedVariant result;
  HRESULT hr = script->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                              result.get(), nullptr, nullptr);
  ::VariantClear(&arg);
  return SUCCEEDED(hr) ? 1 : 0;
}
