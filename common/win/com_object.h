#pragma once
// One IUnknown for the programs' COM objects, with the two reference policies they need:
// counted and deleted on the last Release, or counted and owned elsewhere (an object that its
// creator deletes, such as an application's window.external).
//
//   class Sink final : public orv::ComObject<Sink, orv::ComLifetime::kDeleteOnLastRelease,
//                                            IDispatch> { ... };
//
// QueryInterface answers IUnknown and every listed interface; a class that answers more (base
// interfaces, tear-offs) defines `void* queryOther(REFIID)`.
#include <unknwn.h>
#include <windows.h>

namespace orv {

enum class ComLifetime { kDeleteOnLastRelease, kOwnedElsewhere };

template <typename Derived, ComLifetime Lifetime, typename First, typename... Rest>
class ComObject : public First, public Rest... {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown)
      *out = static_cast<IUnknown*>(static_cast<First*>(this));
    else
      *out = find<First, Rest...>(iid);
    if (!*out) *out = static_cast<Derived*>(this)->queryOther(iid);
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override {
    return static_cast<ULONG>(::InterlockedIncrement(&refs_));
  }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG left = ::InterlockedDecrement(&refs_);
    if constexpr (Lifetime == ComLifetime::kDeleteOnLastRelease) {
      if (left == 0) delete this;  // the destructor is virtual, and may be private
    }
    return static_cast<ULONG>(left);
  }

  // Answers interfaces beyond the listed ones; none by default.
  void* queryOther(REFIID) { return nullptr; }
  LONG references() const { return refs_; }

 protected:
  // Objects deleted on their last Release start with the reference of their creator.
  ComObject() : refs_(Lifetime == ComLifetime::kDeleteOnLastRelease ? 1 : 0) {}
  virtual ~ComObject() = default;

 private:
  template <typename I, typename... More>
  void* find(REFIID iid) {
    if (iid == __uuidof(I)) return static_cast<I*>(this);
    if constexpr (sizeof...(More) > 0) return find<More...>(iid);
    return nullptr;
  }

  volatile LONG refs_;
};

}  // namespace orv
