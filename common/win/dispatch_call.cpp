#include "dispatch_call.h"

namespace orv {

DISPID dispatchId(IDispatch* target, const std::wstring& name, HRESULT* hrOut, LCID locale) {
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = E_POINTER;
  if (target) {
    LPOLESTR names = const_cast<LPOLESTR>(name.c_str());
    hr = target->GetIDsOfNames(IID_NULL, &names, 1, locale, &id);
    if (FAILED(hr)) id = DISPID_UNKNOWN;
  }
  if (hrOut) *hrOut = hr;
  return id;
}

HRESULT invokeInOrder(IDispatch* target, DISPID id, WORD flags, std::vector<ScopedVariant>& args,
                      ScopedVariant* result, LCID locale) {
  if (!target) return E_POINTER;
  // Dispatch takes the arguments last first; the variants stay owned by `args`.
  std::vector<VARIANT> reversed;
  reversed.reserve(args.size());
  for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(*it->get());
  DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr,
                       static_cast<UINT>(reversed.size()), 0};
  ScopedVariant ignored;
  return target->Invoke(id, IID_NULL, locale, flags, &params,
                        result ? result->put() : ignored.get(), nullptr, nullptr);
}

HRESULT callByName(IDispatch* target, const std::wstring& name,
                   const std::vector<std::wstring>& args, ScopedVariant* result, LCID locale) {
  HRESULT hr = S_OK;
  const DISPID id = dispatchId(target, name, &hr, locale);
  if (FAILED(hr)) return hr;
  std::vector<ScopedVariant> values(args.size());
  for (std::size_t i = 0; i < args.size(); ++i) values[i].setString(args[i]);
  return invokeInOrder(target, id, DISPATCH_METHOD, values, result, locale);
}

HRESULT getProperty(IDispatch* target, const std::wstring& name, ScopedVariant* result) {
  HRESULT hr = S_OK;
  const DISPID id = dispatchId(target, name, &hr);
  if (FAILED(hr)) return hr;
  std::vector<ScopedVariant> none;
  return invokeInOrder(target, id, DISPATCH_PROPERTYGET, none, result);
}

}  // namespace orv
