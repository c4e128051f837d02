#pragma once
// The scriptable control OstwinCtrl: IOstwinCtrl (dual, IDispatch from the type library) and
// IObjectSafety, aggregatable. Every method answers S_OK or S_FALSE and always sets its retval.
#include <objsafe.h>
#include <windows.h>

#include <functional>
#include <optional>

#include "OstwinAutoCtrl_h.h"
#include "com_object.h"

// The platform header declares IObjectSafety without the uuid that __uuidof needs.
__CRT_UUID_DECL(IObjectSafety, 0xcb5bdc81, 0x93c1, 0x11cf, 0x8f, 0x20, 0x00, 0x80, 0x5f, 0x2c, 0xd0,
                0x64)
#include "token_access.h"

namespace orv::tokenctl {

// IUnknown delegates to the controlling unknown; innerUnknown() is the object's identity when
// aggregated and holds the creator's reference.
class COstwinCtrl final
    : public orv::AggregatableComObject<COstwinCtrl, IOstwinCtrl, IObjectSafety> {
 public:
  // outer: the controlling unknown when aggregated, else null.
  explicit COstwinCtrl(IUnknown* outer);
  ~COstwinCtrl() override;

  // IDispatch is answered with the control's dual interface.
  void* queryOther(REFIID iid) {
    return IsEqualIID(iid, IID_IDispatch) ? static_cast<IOstwinCtrl*>(this) : nullptr;
  }

  // IDispatch
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                             DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* argError) override;

  // IOstwinCtrl
  STDMETHODIMP getCspSelectKeySN(BSTR* Sn) override;
  STDMETHODIMP ChangeUserPin(BSTR oldPin, BSTR newPin, long* lRet) override;
  STDMETHODIMP GetSN(BSTR* Sn) override;
  STDMETHODIMP GetTokenName(BSTR* TokenName) override;
  STDMETHODIMP CheckToken(long* lRet) override;
  STDMETHODIMP GetCertDN(BSTR* Subject) override;
  STDMETHODIMP GetCertCN(BSTR* Cn) override;
  STDMETHODIMP GetCertSN(BSTR* Sn) override;
  STDMETHODIMP GetCertStartDate(BSTR* StartDate) override;
  STDMETHODIMP GetCertNA(BSTR* EndDate) override;
  STDMETHODIMP ClearPinState(long* lRet) override;
  STDMETHODIMP ChangeTokenNam(BSTR oldName, BSTR newName, long* lRet) override;
  STDMETHODIMP Init_Key(long* lRet) override;
  STDMETHODIMP VerifyUserPin(BSTR oldPin, int showType, long* lRet) override;
  STDMETHODIMP GetCntlVersion(BSTR* Ver) override;
  STDMETHODIMP CheckStatus(long* lRet) override;

  // IObjectSafety
  STDMETHODIMP GetInterfaceSafetyOptions(REFIID iid, DWORD* supported, DWORD* enabled) override;
  STDMETHODIMP SetInterfaceSafetyOptions(REFIID iid, DWORD mask, DWORD enabled) override;

 private:
  // How the present tokens stand after an enumeration.
  enum class Tokens { EnumerationFailed, NoEntry, One, Several };
  Tokens enumerate(CK_SLOT_ID* onlySlot);
  // The token a method works on: the only one, or the one chosen in the selection dialog when
  // several are present. Empty when there is none or the dialog ended without a choice.
  std::optional<CK_SLOT_ID> chooseToken(Tokens state, CK_SLOT_ID onlySlot);
  // The certificate methods that ask the user when several tokens are present.
  HRESULT certificateFieldWithChoice(CertField field, BSTR* out);
  // The PIN methods: `operation` on the only token; with none, or several, lRet -1 (S_FALSE and
  // S_OK respectively).
  HRESULT pinOperation(long* lRet, const std::function<TokenResult(CK_SLOT_ID)>& operation);
  // The certificate methods that answer empty for several tokens.
  HRESULT certificateFieldSingle(CertField field, BSTR* out);

  DWORD safetyOptions_ = 0;
  TokenAccess tokens_;
};

}  // namespace orv::tokenctl
