#include "class_factory.h"

#include <new>

#include "module.h"
#include "ostwin_ctrl.h"

namespace orv {

// A factory counts as a live object, so the module stays loaded while one is held.
OstwinCtrlFactory::OstwinCtrlFactory() { moduleObjectCreated(); }
OstwinCtrlFactory::~OstwinCtrlFactory() { moduleObjectDestroyed(); }

STDMETHODIMP OstwinCtrlFactory::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
    *out = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) OstwinCtrlFactory::AddRef() { return ::InterlockedIncrement(&refs_); }

STDMETHODIMP_(ULONG) OstwinCtrlFactory::Release() {
  const ULONG n = ::InterlockedDecrement(&refs_);
  if (n == 0) delete this;
  return n;
}

STDMETHODIMP OstwinCtrlFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  // An aggregated object can only hand its inner IUnknown to the outer object.
  if (outer && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  COstwinCtrl* object = new (std::nothrow) COstwinCtrl(outer);
  if (!object) return E_OUTOFMEMORY;
  IUnknown* inner = object->innerUnknown();
  const HRESULT hr = inner->QueryInterface(iid, out);
  inner->Release();  // drops the creation reference; *out holds its own on success
  return hr;
}

STDMETHODIMP OstwinCtrlFactory::LockServer(BOOL lock) {
  moduleLock(lock != FALSE);
  return S_OK;
}

}  // namespace orv
