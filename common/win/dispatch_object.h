#pragma once
// An IDispatch for a page's window.external: a fixed member table answers GetIDsOfNames, the
// arguments are read by their position in the script's order as typed values, and the member's
// result goes back through a ScopedVariant. There is no type library. The object's creator owns
// it: reference counting never deletes it.
//
//   const orv::DispatchMember kMembers[] = {{L"Quit", 1}, {L"Call", 2}};
//   class External final : public orv::DispatchObject<External> {
//    public:
//     External() : DispatchObject(orv::DispatchTable(kMembers, {})) {}
//    private:
//     HRESULT invokeMember(DISPID id, WORD flags, const orv::DispatchArgs& args,
//                          orv::ScopedVariant& result) override;
//   };
#include <oaidl.h>
#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>

#include "com_object.h"
#include "scoped_com.h"

namespace orv {

struct DispatchMember {
  const wchar_t* name;  // compared case-sensitively
  DISPID id;
};

struct DispatchRules {
  // A name outside the table gets DISPID_UNKNOWN; the lookup then fails with
  // DISP_E_UNKNOWNNAME, or succeeds for pages that rely on it never failing.
  bool unknownNameFails = true;
  // Names of this many characters or more are unknown; 0 for no limit.
  std::size_t nameLimit = 0;
  // Whether a refused argument's position is written to Invoke's argument-error index.
  bool reportsArgumentError = true;
};

class DispatchTable {
 public:
  template <std::size_t N>
  DispatchTable(const DispatchMember (&members)[N], DispatchRules rules)
      : members_(members), count_(N), rules_(rules) {}

  // GetIDsOfNames: every position of `ids` is written, DISPID_UNKNOWN for an unknown name.
  HRESULT lookUp(LPOLESTR* names, UINT count, DISPID* ids) const;
  const DispatchRules& rules() const { return rules_; }

 private:
  DISPID idOf(const wchar_t* name) const;

  const DispatchMember* members_;
  std::size_t count_;
  DispatchRules rules_;
};

// How a text argument is taken.
enum class TextRule {
  kText,          // a string only
  kTextOrAbsent,  // a string, or nothing (VT_EMPTY, VT_NULL): null, or empty as a plain text
  kAnyAsText,     // any value that converts to a string
};

// The arguments of one call by position in the script's order (dispatch holds them last first).
class DispatchArgs {
 public:
  // `argError`, when given, receives the dispatch position of a refused argument.
  DispatchArgs(const DISPPARAMS* params, UINT* argError) : params_(params), argError_(argError) {}

  UINT count() const { return params_ ? params_->cArgs : 0; }
  // S_OK when at least `needed` arguments came, else DISP_E_BADPARAMCOUNT.
  HRESULT require(UINT needed) const;
  // Argument `index` as text; DISP_E_TYPEMISMATCH when `rule` refuses its value.
  HRESULT text(UINT index, TextRule rule, std::optional<std::wstring>& out) const;
  HRESULT text(UINT index, TextRule rule, std::wstring& out) const;

 private:
  const DISPPARAMS* params_;
  UINT* argError_;
};

template <typename Derived>
class DispatchObject : public ComObject<Derived, ComLifetime::kOwnedElsewhere, IDispatch> {
 public:
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    return table_.lookUp(names, count, ids);
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO*, UINT* argError) override {
    // The caller's variant may be uninitialised: it is written over, never cleared, and a
    // member without a value leaves it empty rather than as it was.
    ScopedVariant value;
    const HRESULT hr = invokeMember(
        id, flags, DispatchArgs(params, table_.rules().reportsArgumentError ? argError : nullptr),
        value);
    if (result) value.release(result);
    return hr;
  }

 protected:
  explicit DispatchObject(const DispatchTable& table) : table_(table) {}

  // Runs member `id` (which may be any id, the caller's choice) with `result` empty.
  virtual HRESULT invokeMember(DISPID id, WORD flags, const DispatchArgs& args,
                               ScopedVariant& result) = 0;

 private:
  DispatchTable table_;
};

}  // namespace orv
