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

namespace detail {
// The listed interface that `iid` names, as implemented by `object`; null when none is.
template <typename I, typename... More, typename Object>
void* findInterface(Object* object, REFIID iid) {
  if (iid == __uuidof(I)) return static_cast<I*>(object);
  if constexpr (sizeof...(More) > 0) return findInterface<More...>(object, iid);
  return nullptr;
}
}  // namespace detail

template <typename Derived, ComLifetime Lifetime, typename First, typename... Rest>
class ComObject : public First, public Rest... {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown)
      *out = static_cast<IUnknown*>(static_cast<First*>(this));
    else
      *out = detail::findInterface<First, Rest...>(this, iid);
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
  volatile LONG refs_;
};

// An object that may be aggregated. Its interfaces delegate IUnknown to the controlling unknown:
// the aggregating object, or its own inner unknown when it stands alone. The inner unknown is
// the object's identity, answers IUnknown and the listed interfaces (and queryOther), counts
// the references and deletes the object on its last Release. It starts with its creator's
// reference.
//
//   class Control final : public orv::AggregatableComObject<Control, IControl, IObjectSafety> {
//    public:
//     explicit Control(IUnknown* outer) : AggregatableComObject(outer) {}
//   };
template <typename Derived, typename First, typename... Rest>
class AggregatableComObject : public First, public Rest... {
 public:
  IUnknown* innerUnknown() { return &inner_; }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    return outer_->QueryInterface(iid, out);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return outer_->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return outer_->Release(); }

  // Answers interfaces beyond the listed ones; none by default.
  void* queryOther(REFIID) { return nullptr; }

 protected:
  explicit AggregatableComObject(IUnknown* outer) : inner_(*this), outer_(outer ? outer : &inner_) {}
  virtual ~AggregatableComObject() = default;

 private:
  class Inner final : public IUnknown {
   public:
    explicit Inner(AggregatableComObject& owner) : owner_(owner) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
      if (!out) return E_POINTER;
      *out = nullptr;
      if (iid == IID_IUnknown)
        *out = static_cast<IUnknown*>(this);
      else
        *out = detail::findInterface<First, Rest...>(&owner_, iid);
      if (!*out) *out = static_cast<Derived&>(owner_).queryOther(iid);
      if (!*out) return E_NOINTERFACE;
      static_cast<IUnknown*>(*out)->AddRef();
      return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override {
      return static_cast<ULONG>(::InterlockedIncrement(&refs_));
    }
    STDMETHODIMP_(ULONG) Release() override {
      const LONG left = ::InterlockedDecrement(&refs_);
      if (left == 0) delete &owner_;  // the destructor is virtual
      return static_cast<ULONG>(left);
    }

   private:
    AggregatableComObject& owner_;
    volatile LONG refs_ = 1;
  };

  Inner inner_;
  IUnknown* outer_;  // the aggregating object, or inner_
};

}  // namespace orv
