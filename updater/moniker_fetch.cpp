#include "moniker_fetch.h"

#include <windows.h>
#include <urlmon.h>

#include <cstdio>
#include <cstring>

#include "trace.h"
#include "win/com_object.h"
#include "win/scoped_com.h"
#include "win/thread.h"

namespace orv {
namespace {

constexpr wchar_t kTag[] = L"DownloadOneFile";

// Reports of the service arrive on the fetching thread; the watch thread only aborts.
class BoundedBinding final
    : public ComObject<BoundedBinding, ComLifetime::kDeleteOnLastRelease, IBindStatusCallback> {
 public:
  BoundedBinding(TransferWatch& watch, MonikerFetch& result) : watch_(watch), result_(result) {
    InitializeCriticalSection(&lock_);
  }

  // From the watch thread: the binding is taken under the lock and aborted outside it, since
  // the abort may report back.
  void abort() {
    ComPtr<IBinding> binding;
    {
      CriticalSectionGuard guard(lock_);
      aborted_ = true;
      binding = binding_;
    }
    if (binding) binding->Abort();
  }
  bool aborted() {
    CriticalSectionGuard guard(lock_);
    return aborted_;
  }

  STDMETHODIMP OnStartBinding(DWORD, IBinding* binding) override {
    CriticalSectionGuard guard(lock_);
    binding_ = binding;
    return S_OK;
  }
  STDMETHODIMP GetPriority(LONG*) override { return E_NOTIMPL; }
  STDMETHODIMP OnLowResource(DWORD) override { return S_OK; }
  STDMETHODIMP OnProgress(ULONG progress, ULONG progressMax, ULONG status,
                          LPCWSTR text) override {
    if (status == BINDSTATUS_REDIRECTING && text) {
      result_.urls.push_back(text);
      if (result_.urls.size() > watch_.bounds().maxRedirects + 1u) return stop(L"redirects");
    }
    if (status == BINDSTATUS_BEGINDOWNLOADDATA || status == BINDSTATUS_DOWNLOADINGDATA ||
        status == BINDSTATUS_ENDDOWNLOADDATA) {
      if (progressMax != 0) result_.expectedBytes = progressMax;
      if (watch_.tooLarge(progress) || watch_.tooLarge(progressMax)) return stop(L"size cap");
      watch_.progressed(progress);
    }
    if (watch_.expired()) return stop(L"time");
    return S_OK;
  }
  STDMETHODIMP OnStopBinding(HRESULT, LPCWSTR) override {
    CriticalSectionGuard guard(lock_);
    binding_.reset();
    return S_OK;
  }
  STDMETHODIMP GetBindInfo(DWORD* flags, BINDINFO* info) override {
    if (!flags || !info) return E_INVALIDARG;
    *flags = BINDF_GETNEWESTVERSION | BINDF_NOWRITECACHE;
    const DWORD size = info->cbSize;
    std::memset(info, 0, size);
    info->cbSize = size;
    info->dwBindVerb = BINDVERB_GET;
    return S_OK;
  }
  STDMETHODIMP OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override { return S_OK; }
  STDMETHODIMP OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }

 private:
  ~BoundedBinding() override { DeleteCriticalSection(&lock_); }

  HRESULT stop(const wchar_t* bound) {
    traceLine(kTag, std::wstring(L"bound reached (") + bound + L"): " + result_.urls.front());
    CriticalSectionGuard guard(lock_);
    aborted_ = true;
    return E_ABORT;
  }

  friend class ComObject<BoundedBinding, ComLifetime::kDeleteOnLastRelease, IBindStatusCallback>;
  TransferWatch& watch_;
  MonikerFetch& result_;
  CRITICAL_SECTION lock_;
  ComPtr<IBinding> binding_;
  bool aborted_ = false;
};

}  // namespace

MonikerFetch fetchByUrlMoniker(const std::wstring& url, const std::wstring& path,
                               TransferWatch& watch) {
  MonikerFetch result;
  result.urls.push_back(url);
  ComPtr<BoundedBinding> binding;
  binding.attach(new BoundedBinding(watch, result));
  // Calls that report nothing for long (a connection, headers) are ended from the watch thread.
  if (!watch.watch([binding] { binding->abort(); })) return result;
  const HRESULT hr = URLDownloadToFileW(nullptr, url.c_str(), path.c_str(), 0, binding.get());
  if (hr != S_OK) {
    wchar_t text[64];
    std::swprintf(text, 64, L"URLDownloadToFile failed, 0x%08lx", static_cast<unsigned long>(hr));
    traceLine(kTag, text);
    return result;
  }
  result.completed = !binding->aborted();
  return result;
}

}  // namespace orv
