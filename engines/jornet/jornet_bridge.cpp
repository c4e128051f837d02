// Jornet.dll: keeps the page's document and calls the page's JavaScript functions through the
// document's script object (IHTMLDocument::get_Script).
#include <mshtml.h>
#include <windows.h>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "Jornet.h"
#include "ansi_text.h"
#include "dispatch_call.h"
#include "scoped_com.h"

namespace {

std::mutex g_mutex;
// One reference held, kept until the process ends (never released at exit: the document's
// apartment may be gone by then).
orv::ComPtr<IDispatch>& g_document = *new orv::ComPtr<IDispatch>();

orv::ComPtr<IDispatch> keptDocument() {
  std::lock_guard<std::mutex> g(g_mutex);
  return g_document;
}

// The document's script object: IHTMLDocument's Script property, or the same property read
// through IDispatch for documents that only offer automation.
orv::ComPtr<IDispatch> scriptObject(IDispatch* document) {
  orv::ComPtr<IDispatch> script;
  orv::ComPtr<IHTMLDocument> html;
  if (SUCCEEDED(document->QueryInterface(IID_IHTMLDocument, html.putVoid())) && html) {
    if (SUCCEEDED(html->get_Script(script.put())) && script) return script;
  }
  orv::ScopedVariant result;
  if (FAILED(orv::getProperty(document, L"Script", &result))) return {};
  if (result.ref().vt == VT_DISPATCH && result.ref().pdispVal) script = result.ref().pdispVal;
  return script;
}

}  // namespace

int JornetInitJsEnv(IDispatch* document) {
  if (!document) return 0;
  orv::ComPtr<IDispatch> previous(document);
  {
    std::lock_guard<std::mutex> g(g_mutex);
    std::swap(previous, g_document);
  }
  return 1;  // the previous document, if any, goes with `previous`
}

int JornetCallJsFunc(const char* function, const char* argument) {
  if (!function || !*function) return 0;
  orv::ComPtr<IDispatch> document = keptDocument();
  if (!document) return 0;
  orv::ComPtr<IDispatch> script = scriptObject(document.get());
  if (!script) return 0;

  HRESULT hr = S_OK;
  const DISPID id = orv::dispatchId(script.get(), orv::toWide(function), &hr);
  if (FAILED(hr)) return 0;

  std::vector<orv::ScopedVariant> args(1);
  if (argument)
    args[0].setString(orv::toWide(argument));
  else
    args[0].setNull();
  orv::ScopedVariant result;
  hr = orv::invokeInOrder(script.get(), id, DISPATCH_METHOD, args, &result);
  return SUCCEEDED(hr) ? 1 : 0;
}
