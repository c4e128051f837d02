#pragma once
// The class factory of OstwinCtrl; it supports aggregation.
#include <unknwn.h>

namespace orv {

class OstwinCtrlFactory : public IClassFactory {
 public:
  OstwinCtrlFactory();
  virtual ~OstwinCtrlFactory();

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
  STDMETHODIMP LockServer(BOOL lock) override;

 private:
  long refs_ = 1;
};

}  // namespace orv
