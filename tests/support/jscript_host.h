#pragma once
// A JScript engine hosted in-process, and a stand-in for a browser page's document whose Script
// property is that engine's global object. Tests use it where a real HTML page would be: Wine has
// no HTML engine, but it has JScript, so the page's functions are real JavaScript.
//
// Use on one thread with COM initialised as a single-threaded apartment.
#include <activscp.h>
#include <windows.h>

#include <string>
#include <vector>

#include "scoped_com.h"

namespace orv::test {

class JScriptHost {
 public:
  JScriptHost();
  ~JScriptHost();
  JScriptHost(const JScriptHost&) = delete;
  JScriptHost& operator=(const JScriptHost&) = delete;

  // Whether the JScript engine was created (false when the system has none).
  bool ok() const { return static_cast<bool>(engine_); }

  // Makes `object` a global of the scripts under `name` (for instance "external"). Call before
  // run().
  HRESULT addNamedObject(const std::wstring& name, IDispatch* object);

  // Parses and runs `code` as global code. On failure lastError() tells why.
  HRESULT run(const std::wstring& code);

  // The scripts' global object: its members are the script's global functions and variables.
  ComPtr<IDispatch> scriptDispatch();

  // Calls the global function `name` with string arguments; the result is stored in `result`
  // when given.
  HRESULT call(const std::wstring& name, const std::vector<std::wstring>& args,
               VARIANT* result = nullptr);
  // Reads a global variable as text (VariantChangeType to BSTR); empty when missing.
  std::wstring globalText(const std::wstring& name);

  std::wstring lastError() const;

  // A document object for the page: IHTMLDocument (and IDispatch) whose Script property hands
  // out scriptDispatch(). The document keeps the engine alive. With `automationOnly` the document
  // offers only IDispatch, whose "Script" property gives the same object.
  ComPtr<IDispatch> makeDocument(bool automationOnly = false);

  class Site;

 private:
  ComPtr<Site> site_;  // our IActiveScriptSite
  ComPtr<IActiveScript> engine_;
  ComPtr<IActiveScriptParse> parser_;
};

}  // namespace orv::test
