#pragma once
// An open PKCS#11 session, closed through the middleware's function list exactly once. A session
// that must outlive its owner (an accepted login that stays in force) is released instead.
#include <utility>

#include "pkcs11_win.h"

namespace orv::tokenctl {

class Pkcs11Session {
 public:
  explicit Pkcs11Session(CK_FUNCTION_LIST_PTR functions) : functions_(functions) {}
  ~Pkcs11Session() { close(); }
  Pkcs11Session(const Pkcs11Session&) = delete;
  Pkcs11Session& operator=(const Pkcs11Session&) = delete;

  CK_SESSION_HANDLE get() const { return handle_; }
  bool open() const { return handle_ != CK_INVALID_HANDLE; }
  // For C_OpenSession: closes what is held and hands out the slot.
  CK_SESSION_HANDLE* receive() {
    close();
    return &handle_;
  }
  CK_SESSION_HANDLE release() { return std::exchange(handle_, CK_INVALID_HANDLE); }
  void close() {
    if (handle_ != CK_INVALID_HANDLE && functions_) functions_->C_CloseSession(handle_);
    handle_ = CK_INVALID_HANDLE;
  }

 private:
  CK_FUNCTION_LIST_PTR functions_;
  CK_SESSION_HANDLE handle_ = CK_INVALID_HANDLE;
};

}  // namespace orv::tokenctl
