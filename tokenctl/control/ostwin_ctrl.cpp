#include "ostwin_ctrl.h"

#include <string>

#include "ansi_text.h"
#include "install_check.h"
#include "log_file.h"
#include "module.h"
#include "product.h"
#include "token_select_dialog.h"
#include "scoped_com.h"

namespace orv::tokenctl {

namespace {

HRESULT result(bool ok) { return ok ? S_OK : S_FALSE; }

std::string narrowOf(BSTR text) {
  return orv::toNarrow(text ? std::wstring(text, ::SysStringLen(text)) : std::wstring());
}

// Stores a narrow text as the BSTR retval.
void setText(BSTR* out, const std::string& text) {
  const std::wstring wide = orv::toWide(text);
  *out = ::SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

}  // namespace

COstwinCtrl::COstwinCtrl(IUnknown* outer) : AggregatableComObject(outer) {
  moduleObjectCreated();
  // The page runs as the user: the control's log is the user's own.
  openProgramLog(LogPlace::kUser, kControlFileName, controlModule());
  // A failed load does not fail the creation; token methods try again.
  tokens_.loadAtConstruction();
}

COstwinCtrl::~COstwinCtrl() { moduleObjectDestroyed(); }

// ---- IDispatch, served from the type library ----

STDMETHODIMP COstwinCtrl::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = controlTypeInfo() ? 1 : 0;
  return S_OK;
}

STDMETHODIMP COstwinCtrl::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  ITypeInfo* typeInfo = controlTypeInfo();
  if (!typeInfo) return E_FAIL;
  typeInfo->AddRef();
  *info = typeInfo;
  return S_OK;
}

STDMETHODIMP COstwinCtrl::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID,
                                        DISPID* ids) {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  ITypeInfo* typeInfo = controlTypeInfo();
  if (!typeInfo) return E_FAIL;
  return ::DispGetIDsOfNames(typeInfo, names, count, ids);
}

STDMETHODIMP COstwinCtrl::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                                 VARIANT* result, EXCEPINFO* exception, UINT* argError) {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  ITypeInfo* typeInfo = controlTypeInfo();
  if (!typeInfo) return E_FAIL;
  return ::DispInvoke(static_cast<IOstwinCtrl*>(this), typeInfo, id, flags, params, result,
                      exception, argError);
}

// ---- token choice ----

COstwinCtrl::Tokens COstwinCtrl::enumerate(CK_SLOT_ID* onlySlot) {
  if (tokens_.load() != TokenAccess::kLoadOk || !tokens_.enumerate())
    return Tokens::EnumerationFailed;
  const TokenMap& map = tokens_.tokens();
  if (map.empty()) return Tokens::NoEntry;
  if (map.size() > 1) return Tokens::Several;
  *onlySlot = map.begin()->second.slot;
  return Tokens::One;
}

std::optional<CK_SLOT_ID> COstwinCtrl::chooseToken(Tokens state, CK_SLOT_ID onlySlot) {
  if (state == Tokens::One) return onlySlot;
  if (state == Tokens::Several) return selectToken(controlModule(), tokens_.tokens());
  return std::nullopt;
}

HRESULT COstwinCtrl::certificateFieldWithChoice(CertField field, BSTR* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  CK_SLOT_ID slot = 0;
  const Tokens state = enumerate(&slot);
  const auto chosen = chooseToken(state, slot);
  if (!chosen) {
    setText(out, std::string());
    return S_FALSE;  // no token, or the selection dialog ended without a choice
  }
  setText(out, tokens_.certificateField(*chosen, field));
  return S_OK;
}

HRESULT COstwinCtrl::certificateFieldSingle(CertField field, BSTR* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  CK_SLOT_ID slot = 0;
  const Tokens state = enumerate(&slot);
  if (state == Tokens::One) {
    setText(out, tokens_.certificateField(slot, field));
    return S_OK;
  }
  setText(out, std::string());
  return result(state == Tokens::Several);
}

HRESULT COstwinCtrl::pinOperation(long* lRet,
                                  const std::function<TokenResult(CK_SLOT_ID)>& operation) {
  if (!lRet) return E_POINTER;
  CK_SLOT_ID slot = 0;
  switch (enumerate(&slot)) {
    case Tokens::EnumerationFailed:
    case Tokens::NoEntry:
      *lRet = -1;
      return S_FALSE;
    case Tokens::Several:
      *lRet = -1;
      return S_OK;
    case Tokens::One:
      break;
  }
  const TokenResult r = operation(slot);
  *lRet = r.lRet;
  return result(r.ok);
}

// ---- IOstwinCtrl ----

STDMETHODIMP COstwinCtrl::getCspSelectKeySN(BSTR* Sn) {
  if (!Sn) return E_POINTER;
  // Does nothing; the text is set empty so that the caller never sees a stale value.
  setText(Sn, std::string());
  return S_OK;
}

STDMETHODIMP COstwinCtrl::ChangeUserPin(BSTR oldPin, BSTR newPin, long* lRet) {
  return pinOperation(lRet, [&](CK_SLOT_ID slot) {
    return tokens_.changePin(slot, narrowOf(oldPin), narrowOf(newPin));
  });
}

STDMETHODIMP COstwinCtrl::GetSN(BSTR* Sn) {
  if (!Sn) return E_POINTER;
  CK_SLOT_ID slot = 0;
  const Tokens state = enumerate(&slot);
  if (state == Tokens::One) {
    setText(Sn, tokens_.tokens().begin()->second.serial);
    return S_OK;
  }
  setText(Sn, std::string());
  return result(state == Tokens::Several);
}

STDMETHODIMP COstwinCtrl::GetTokenName(BSTR* TokenName) {
  if (!TokenName) return E_POINTER;
  CK_SLOT_ID slot = 0;
  const Tokens state = enumerate(&slot);
  const auto chosen = chooseToken(state, slot);
  if (!chosen) {
    setText(TokenName, std::string());
    return S_FALSE;
  }
  const TokenEntry* entry = tokens_.findBySlot(*chosen);
  // A chosen slot that matches no entry answers with the empty text.
  setText(TokenName, entry ? entry->label : std::string());
  return S_OK;
}

STDMETHODIMP COstwinCtrl::CheckToken(long* lRet) {
  if (!lRet) return E_POINTER;
  CK_SLOT_ID slot = 0;
  const Tokens state = enumerate(&slot);
  if (state == Tokens::EnumerationFailed) {
    *lRet = 0;
    return S_FALSE;
  }
  *lRet = static_cast<long>(tokens_.tokens().size());
  return S_OK;
}

STDMETHODIMP COstwinCtrl::GetCertDN(BSTR* Subject) {
  return certificateFieldSingle(CertField::Subject, Subject);
}
STDMETHODIMP COstwinCtrl::GetCertCN(BSTR* Cn) {
  return certificateFieldWithChoice(CertField::CommonName, Cn);
}
STDMETHODIMP COstwinCtrl::GetCertSN(BSTR* Sn) {
  return certificateFieldSingle(CertField::SerialNumber, Sn);
}
STDMETHODIMP COstwinCtrl::GetCertStartDate(BSTR* StartDate) {
  return certificateFieldWithChoice(CertField::StartDate, StartDate);
}
STDMETHODIMP COstwinCtrl::GetCertNA(BSTR* EndDate) {
  return certificateFieldWithChoice(CertField::EndDate, EndDate);
}

STDMETHODIMP COstwinCtrl::ClearPinState(long* lRet) {
  if (!lRet) return E_POINTER;
  CK_SLOT_ID slot = 0;
  if (enumerate(&slot) == Tokens::EnumerationFailed) {
    *lRet = 96;
    return S_FALSE;
  }
  const TokenResult r = tokens_.logoutAll();
  *lRet = r.lRet;
  return result(r.ok);
}

STDMETHODIMP COstwinCtrl::ChangeTokenNam(BSTR oldName, BSTR newName, long* lRet) {
  if (!lRet) return E_POINTER;
  if (::SysStringLen(oldName) == 0 || ::SysStringLen(newName) == 0) {
    *lRet = 1;
    return S_FALSE;
  }
  CK_SLOT_ID slot = 0;
  const Tokens state = enumerate(&slot);
  if (state == Tokens::EnumerationFailed || state == Tokens::NoEntry) {
    *lRet = 96;
    return S_FALSE;
  }
  const auto chosen = chooseToken(state, slot);
  if (!chosen) {
    *lRet = -1;  // the selection dialog ended without a choice
    return S_FALSE;
  }
  *lRet = tokens_.rename(*chosen, narrowOf(newName));
  return S_OK;
}

STDMETHODIMP COstwinCtrl::Init_Key(long* lRet) {
  if (!lRet) return E_POINTER;
  CK_SLOT_ID slot = 0;
  if (enumerate(&slot) != Tokens::One) {
    *lRet = -1;
    return S_FALSE;
  }
  const TokenResult r = tokens_.initialise(slot);
  *lRet = r.lRet;
  return result(r.ok);
}

STDMETHODIMP COstwinCtrl::VerifyUserPin(BSTR oldPin, int /*showType: accepted, not used*/,
                                        long* lRet) {
  return pinOperation(lRet,
                      [&](CK_SLOT_ID slot) { return tokens_.verifyPin(slot, narrowOf(oldPin)); });
}

STDMETHODIMP COstwinCtrl::GetCntlVersion(BSTR* Ver) {
  if (!Ver) return E_POINTER;
  *Ver = ::SysAllocString(L"20151018");
  return S_OK;
}

STDMETHODIMP COstwinCtrl::CheckStatus(long* lRet) {
  if (!lRet) return E_POINTER;
  const TokenResult r = checkInstallation();
  *lRet = r.lRet;
  return result(r.ok);
}

// ---- IObjectSafety ----

namespace {
constexpr DWORD kSafeOptions =
    INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;
}

STDMETHODIMP COstwinCtrl::GetInterfaceSafetyOptions(REFIID iid, DWORD* supported, DWORD* enabled) {
  if (!supported || !enabled) return E_POINTER;
  orv::ComPtr<IUnknown> answered;
  const HRESULT hr = innerUnknown()->QueryInterface(iid, answered.putVoid());
  if (FAILED(hr)) {
    *supported = 0;
    *enabled = 0;
    return hr;
  }
  *supported = kSafeOptions;
  *enabled = safetyOptions_;
  return S_OK;
}

STDMETHODIMP COstwinCtrl::SetInterfaceSafetyOptions(REFIID iid, DWORD mask, DWORD enabled) {
  orv::ComPtr<IUnknown> answered;
  if (FAILED(innerUnknown()->QueryInterface(iid, answered.putVoid()))) return E_NOINTERFACE;
  if (mask & ~kSafeOptions) return E_FAIL;
  safetyOptions_ = (safetyOptions_ & ~mask) | (enabled & mask);
  return S_OK;
}

}  // namespace orv::tokenctl
