#pragma once
// The class factory of OstwinCtrl; it supports aggregation.
#include <unknwn.h>

#include "com_object.h"

namespace orv::tokenctl {

class OstwinCtrlFactory final
    : public ComObject<OstwinCtrlFactory, ComLifetime::kDeleteOnLastRelease, IClassFactory> {
 public:
  OstwinCtrlFactory();
  ~OstwinCtrlFactory() override;

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
  STDMETHODIMP LockServer(BOOL lock) override;
};

}  // namespace orv::tokenctl
