#include "extensions/property_call.h"

#include <string>

#include "log/log.h"
#include "platform/system.h"

void Report(const CALL_SITE& site, const char* text) {
  if (site.channel == REPORT_LOG) {
    LogError(site.function, text);
  } else if (site.channel == REPORT_TRACE) {
    TraceError(site.function, text);
  }
}

HRESULT CheckSupport(CKsPropertySet* ps, const VENDOR_PROPERTY& p, DWORD bit, const char* verb,
                     const CALL_SITE& site) {
  DWORD support = 0;
  HRESULT hr = ps->QuerySupported(*p.set, p.id, &support);
  if (FAILED(hr) || !(support & bit)) {
    SystemServices().SetLastError(static_cast<DWORD>(E_NOTIMPL));
    std::string text = std::string(verb) + " " + p.name + " not supported !";
    Report(site, text.c_str());
    return E_NOTIMPL;
  }
  return S_OK;
}

void ReportFailure(HRESULT hr, const char* verb, const char* name, const CALL_SITE& site) {
  SystemServices().SetLastError(static_cast<DWORD>(hr));
  std::string text = std::string(verb) + " " + name + " failed !";
  Report(site, text.c_str());
}

HRESULT VendorSet(CKsPropertySet* ps, const VENDOR_PROPERTY& p, void* instance, DWORD instanceLength,
                  void* data, DWORD dataLength, const CALL_SITE& site, const char* verb) {
  if (!ps) return E_NOINTERFACE;
  HRESULT hr = CheckSupport(ps, p, KSPROPERTY_SUPPORT_SET, verb, site);
  if (FAILED(hr)) return hr;
  hr = ps->Set(*p.set, p.id, instance, instanceLength, data, dataLength);
  if (FAILED(hr)) ReportFailure(hr, verb, p.name, site);
  return hr;
}

HRESULT VendorGet(CKsPropertySet* ps, const VENDOR_PROPERTY& p, void* instance, DWORD instanceLength,
                  void* data, DWORD dataLength, const CALL_SITE& site, DWORD* returned,
                  const char* verb) {
  if (!ps) return E_NOINTERFACE;
  HRESULT hr = CheckSupport(ps, p, KSPROPERTY_SUPPORT_GET, verb, site);
  if (FAILED(hr)) return hr;
  DWORD got = 0;
  hr = ps->Get(*p.set, p.id, instance, instanceLength, data, dataLength, &got);
  if (returned) *returned = got;
  if (FAILED(hr)) ReportFailure(hr, verb, p.name, site);
  return hr;
}

HRESULT InvalidArgument(bool setLastError) {
  if (setLastError) SystemServices().SetLastError(static_cast<DWORD>(E_INVALIDARG));
  return E_INVALIDARG;
}

HRESULT RepeatDiseqc(BYTE* message, ULONG repeat, LOOP_PAUSE pause, LOOP_FAILURE failure,
                     const std::function<HRESULT(bool last)>& send) {
  HRESULT hr = S_OK;
  for (ULONG i = 0; i <= repeat; ++i) {
    bool last = i == repeat;
    if (pause == PAUSE_BETWEEN_SENDS && i > 0) SystemServices().Sleep(kRepeatPauseMs);
    hr = send(last);
    if (FAILED(hr) && failure == STOP_AT_FIRST_FAILURE) return hr;
    // Later copies are marked as repeated transmissions.
    if (message[0] == 0xE0) message[0] = 0xE1;
    if (pause == PAUSE_AFTER_EVERY_SEND) SystemServices().Sleep(kRepeatPauseMs);
  }
  return hr;
}
