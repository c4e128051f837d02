#pragma once
// Owners of COM values: interface pointers, BSTRs and VARIANTs.
#include <ole2.h>
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
  ComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }  // NOLINT: adds its own reference
  ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ~ComPtr() { reset(); }
  ComPtr& operator=(ComPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void reset() {
    if (p_) std::exchange(p_, nullptr)->Release();
  }
  // For out-parameters: releases what is held and hands out the slot.
  T** put() {
    reset();
    return &p_;
  }
  void** putVoid() { return reinterpret_cast<void**>(put()); }
  // Takes over a reference the caller already owns.
  void attach(T* p) {
    reset();
    p_ = p;
  }
  [[nodiscard]] T* detach() { return std::exchange(p_, nullptr); }
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
  ScopedBstr& operator=(ScopedBstr&& o) noexcept {
    if (this != &o) reset(std::exchange(o.s_, nullptr));
    return *this;
  }
  ScopedBstr(const ScopedBstr&) = delete;
  ScopedBstr& operator=(const ScopedBstr&) = delete;

  BSTR get() const { return s_; }
  // For out-parameters: frees what is held and hands out the slot.
  BSTR* put() {
    reset();
    return &s_;
  }
  BSTR* receive() { return put(); }
  [[nodiscard]] BSTR release() { return std::exchange(s_, nullptr); }
  // Frees what is held and takes over `s` (which the caller owned).
  void reset(BSTR s = nullptr) {
    if (s_ && s_ != s) ::SysFreeString(s_);
    s_ = s;
  }
  UINT length() const { return s_ ? ::SysStringLen(s_) : 0; }
  std::wstring str() const { return s_ ? std::wstring(s_, length()) : std::wstring(); }

 private:
  BSTR s_ = nullptr;
};

class ScopedVariant {
 public:
  ScopedVariant() { ::VariantInit(&v_); }
  explicit ScopedVariant(const wchar_t* text) : ScopedVariant() { setString(text); }
  explicit ScopedVariant(const std::wstring& text) : ScopedVariant() { setString(text); }
  ~ScopedVariant() { ::VariantClear(&v_); }
  ScopedVariant(ScopedVariant&& o) noexcept : ScopedVariant() { o.release(&v_); }
  ScopedVariant& operator=(ScopedVariant&& o) noexcept {
    if (this != &o) {
      reset();
      o.release(&v_);
    }
    return *this;
  }
  ScopedVariant(const ScopedVariant&) = delete;
  ScopedVariant& operator=(const ScopedVariant&) = delete;

  VARIANT* get() { return &v_; }
  const VARIANT& ref() const { return v_; }
  VARTYPE type() const { return v_.vt; }
  // For out-parameters: clears what is held and hands out the variant.
  VARIANT* put() {
    reset();
    return &v_;
  }
  VARIANT* receive() { return put(); }
  // Hands the value to `out` (which must hold nothing) and is empty afterwards.
  void release(VARIANT* out) {
    *out = v_;
    ::VariantInit(&v_);
  }
  void reset() { ::VariantClear(&v_); }

  void setInt(long value) {
    reset();
    v_.vt = VT_I4;
    v_.lVal = value;
  }
  void setBool(bool value) {
    reset();
    v_.vt = VT_BOOL;
    v_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  }
  // A boolean holding `value` as given: some script members answer 1 for true, not VARIANT_TRUE.
  void setBoolValue(VARIANT_BOOL value) {
    reset();
    v_.vt = VT_BOOL;
    v_.boolVal = value;
  }
  void setString(const wchar_t* text) {
    reset();
    v_.vt = VT_BSTR;
    v_.bstrVal = ::SysAllocString(text);  // a null text is the empty string
  }
  void setString(const std::wstring& text) {
    reset();
    v_.vt = VT_BSTR;
    v_.bstrVal = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  }
  void setNull() {
    reset();
    v_.vt = VT_NULL;
  }

 private:
  VARIANT v_;
};

// An EXCEPINFO whose texts are freed with it.
class ScopedExcepInfo {
 public:
  ScopedExcepInfo() = default;
  ~ScopedExcepInfo() { reset(); }
  ScopedExcepInfo(const ScopedExcepInfo&) = delete;
  ScopedExcepInfo& operator=(const ScopedExcepInfo&) = delete;
  EXCEPINFO* get() { return &info_; }
  EXCEPINFO* put() {
    reset();
    return &info_;
  }
  std::wstring description() const {
    return info_.bstrDescription ? std::wstring(info_.bstrDescription) : std::wstring();
  }
  void reset() {
    ::SysFreeString(info_.bstrSource);
    ::SysFreeString(info_.bstrDescription);
    ::SysFreeString(info_.bstrHelpFile);
    info_ = EXCEPINFO{};
  }

 private:
  EXCEPINFO info_ = {};
};

// COM (or OLE) initialised on this thread for the life of the object, when it succeeded.
class ScopedComInit {
 public:
  enum class Kind { kOle, kApartment };
  explicit ScopedComInit(Kind kind = Kind::kApartment) : ole_(kind == Kind::kOle) {
    hr_ = ole_ ? ::OleInitialize(nullptr) : ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  }
  ~ScopedComInit() {
    if (SUCCEEDED(hr_)) {
      if (ole_)
        ::OleUninitialize();
      else
        ::CoUninitialize();
    }
  }
  ScopedComInit(const ScopedComInit&) = delete;
  ScopedComInit& operator=(const ScopedComInit&) = delete;
  bool succeeded() const { return SUCCEEDED(hr_); }
  HRESULT result() const { return hr_; }

 private:
  bool ole_;
  HRESULT hr_;
};

}  // namespace orv
