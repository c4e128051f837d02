#include "js_call.h"

#include "trace.h"
#include "dispatch_call.h"
#include "scoped_handle.h"

namespace orv::updater {

namespace {

std::vector<std::wstring> splitDotted(const std::wstring& name) {
  std::vector<std::wstring> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t dot = name.find(L'.', start);
    parts.push_back(
        name.substr(start, dot == std::wstring::npos ? std::wstring::npos : dot - start));
    if (dot == std::wstring::npos) return parts;
    start = dot + 1;
  }
}

// The document of the frame called `name` in `document`, or the failure.
HRESULT frameDocument(IHTMLDocument2* document, const std::wstring& name,
                      ComPtr<IHTMLDocument2>& out) {
  ComPtr<IHTMLFramesCollection2> frames;
  HRESULT hr = document->get_frames(frames.put());
  if (FAILED(hr)) return hr;
  if (!frames) return E_NOINTERFACE;
  ScopedVariant index(name);
  ScopedVariant frame;
  hr = frames->item(index.get(), frame.put());
  if (FAILED(hr)) return hr;
  if (frame.type() != VT_DISPATCH || !frame.ref().pdispVal) return DISP_E_MEMBERNOTFOUND;
  ComPtr<IHTMLWindow2> window;
  hr = frame.ref().pdispVal->QueryInterface(IID_IHTMLWindow2, window.putVoid());
  if (FAILED(hr)) return hr;
  hr = window->get_document(out.put());
  if (SUCCEEDED(hr) && !out) hr = E_NOINTERFACE;
  return hr;
}

}  // namespace

std::wstring errorText(HRESULT hr) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(hr), MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT),
      reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  ScopedLocalMemory owner(reinterpret_cast<HLOCAL>(text));
  if (n == 0 || !text) return L"FormatMessage Native Error";
  std::wstring message(text, n);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r'))
    message.pop_back();
  return message;
}

bool CJsCall::attach(IDispatch* document) {
  document_.reset();
  if (!document) return false;
  return SUCCEEDED(document->QueryInterface(IID_IHTMLDocument2, document_.putVoid())) && document_;
}

bool CJsCall::fail(HRESULT hr, const std::wstring& function) {
  lastError_ = errorText(hr);
  traceLine(L"page call", function + L": " + lastError_);
  return false;
}

bool CJsCall::call(const std::wstring& function, const std::vector<std::wstring>& args,
                   ScopedVariant* result) {
  lastError_.clear();
  if (!document_) return fail(E_POINTER, function);
  const std::vector<std::wstring> parts = splitDotted(function);
  ComPtr<IHTMLDocument2> current = document_;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    ComPtr<IHTMLDocument2> next;
    const HRESULT hr = frameDocument(current.get(), parts[i], next);
    if (FAILED(hr)) return fail(hr, function);
    current = next;
  }
  ComPtr<IDispatch> script;
  HRESULT hr = current->get_Script(script.put());
  if (FAILED(hr) || !script) return fail(FAILED(hr) ? hr : E_NOINTERFACE, function);

  // The page's functions are looked up in the system's default locale.
  hr = callByName(script.get(), parts.back(), args, result, LOCALE_SYSTEM_DEFAULT);
  if (FAILED(hr)) return fail(hr, function);
  return true;
}

}  // namespace orv::updater
