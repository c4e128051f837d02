#pragma once
// Owners of COM values: interface pointers, BSTRs and VARIANTs.
#include <oleauto.h>
#include <unknwn.h>
#include <windows.h>

#include <string>
#include <utility>

namespace orv {

// An interface pointer holding one reference.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(T* p) : p_(p) { if (p_) p_->AddRef(); }  // NOLINT: adds its own reference
  ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ~ComPtr() { reset(); }
  ComPtr& operator=(ComPtr o) noexcept { std::swap(p_, o.p_); return *this; }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void reset() { if (p_) std::exchange(p_, nullptr)->Release(); }
  // For out-parameters: releases what is held and hands out the slot.
  T** put() { reset(); return &p_; }
  void** putVoid() { return reinterpret_cast<void**>(put()); }
  // Takes over a reference the caller already owns.
  void attach(T* p) { reset(); p_ = p; }
  T* detach() { return std::exchange(p_, nullptr); }
  template <typename U>
  HRESULT as(ComPtr<U>& out) const {
    return p_ ? p_->QueryInterface(__uuidof(U), out.putVoid()) : E_POINTER;
  }

 private:
  T* p_ = nullptr;
};

class ScopedBstr {
 public:
  ScopedBstr() = default;
  explicit ScopedBstr(const wchar_t* text) : s_(text ? ::SysAllocString(text) : nullptr) {}
  explicit ScopedBstr(const std::wstring& text)
      : s_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~ScopedBstr() { reset(); }
  ScopedBstr(ScopedBstr&& o) noexcept : s_(std::exchange(o.s_, nullptr)) {}
  ScopedBstr& operator=(ScopedBstr&& o) noexcept { if (this != &o) { reset(); s_ = std::exchange(o.s_, nullptr); } return *this; }
  ScopedBstr(const ScopedBstr&) = delete;
  ScopedBstr& operator=(const ScopedBstr&) = delete;

  BSTR get() const { return s_; }
  BSTR* put() { reset(); return &s_; }
  BSTR release() { return std::exchange(s_, nullptr); }
  void reset() { if (s_) ::SysFreeString(std::exchange(s_, nullptr)); }
  UINT length() const { return s_ ? ::SysStringLen(s_) : 0; }
  std::wstring str() const { return s_ ? std::wstring(s_, length()) : std::wstring(); }

 private:
  BSTR s_ = nullptr;
};

class ScopedVariant {
 public:
  ScopedVariant() { ::VariantInit(&v_); }
  explicit ScopedVariant(const wchar_t* text) : ScopedVariant() {
    v_.vt = VT_BSTR;
    v_.bstrVal = ::SysAllocString(text);
  }
  ~ScopedVariant() { ::VariantClear(&v_); }
  ScopedVariant(const ScopedVariant&) = delete;
  ScopedVariant& operator=(const ScopedVariant&) = delete;

  VARIANT* get() { return &v_; }
  const VARIANT& ref() const { return v_; }
  VARIANT* put() { ::VariantClear(&v_); return &v_; }
  void release(VARIANT* out) { *out = v_; ::VariantInit(&v_); }

 private:
  VARIANT v_;
};

}  // namespace orv
