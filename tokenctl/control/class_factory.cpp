#include "class_factory.h"

#include <new>

#include "module.h"
#include "ostwin_ctrl.h"
#include "scoped_com.h"

namespace orv::tokenctl {

// A factory counts as a live object, so the module stays loaded while one is held.
OstwinCtrlFactory::OstwinCtrlFactory() { moduleObjectCreated(); }
OstwinCtrlFactory::~OstwinCtrlFactory() { moduleObjectDestroyed(); }

STDMETHODIMP OstwinCtrlFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  // An aggregated object can only hand its inner IUnknown to the outer object.
  if (outer && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  COstwinCtrl* object = new (std::nothrow) COstwinCtrl(outer);
  if (!object) return E_OUTOFMEMORY;
  // The creation reference goes with `inner`; *out holds its own on success.
  ComPtr<IUnknown> inner;
  inner.attach(object->innerUnknown());
  return inner->QueryInterface(iid, out);
}

STDMETHODIMP OstwinCtrlFactory::LockServer(BOOL lock) {
  moduleLock(lock != FALSE);
  return S_OK;
}

}  // namespace orv::tokenctl
