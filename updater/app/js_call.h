#pragma once
// CJsCall: calls the updater page's script functions. A dotted name a.b.f names the function f
// in frame b inside frame a of the page.
#include <windows.h>
#include <mshtml.h>

#include <string>
#include <vector>

#include "scoped_com.h"

namespace orv::updater {

class CJsCall {
 public:
  CJsCall() = default;
  CJsCall(const CJsCall&) = delete;
  CJsCall& operator=(const CJsCall&) = delete;

  // Keeps the document's IHTMLDocument2; false when it offers none (the document is not kept).
  bool attach(IDispatch* document);
  void detach() { document_.reset(); }

  // Calls `function` with text arguments (in the script's order). True on success, with the
  // function's result in *result when given. A failure leaves its reason in lastError().
  bool call(const std::wstring& function, const std::vector<std::wstring>& args,
            ScopedVariant* result = nullptr);

  // The platform's text for the last failure (for tracing only).
  const std::wstring& lastError() const { return lastError_; }

 private:
  bool fail(HRESULT hr, const std::wstring& function);

  ComPtr<IHTMLDocument2> document_;
  std::wstring lastError_;
};

// The platform's message text for `hr` (language-neutral system default), or
// "FormatMessage Native Error" when there is none.
std::wstring errorText(HRESULT hr);

}  // namespace orv::updater
