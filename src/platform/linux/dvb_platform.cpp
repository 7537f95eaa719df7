#include "platform/linux/dvb_platform.h"

#include <cstdlib>
#include <vector>

#include "platform/bda_guids.h"
#include "platform/emulated/bda_platform.h"

namespace {

class CDvbPropertyBag final : public CPropertyBag {
 public:
  explicit CDvbPropertyBag(const DVB_FRONTEND_DESC& desc) : m_desc(desc) {}
  HRESULT Read(const char* name, std::string* value) override {
    if (!name || !value) return E_POINTER;
    const std::string key = name;
    if (key == "FriendlyName") *value = m_desc.name;
    else if (key == "DevicePath") *value = m_desc.path;
    else return E_INVALIDARG;
    return S_OK;
  }

 private:
  DVB_FRONTEND_DESC m_desc;
};

class CDvbMoniker final : public CDeviceMoniker {
 public:
  CDvbMoniker(DVB_FRONTEND_DESC desc, std::shared_ptr<DVB_STREAM_COUNTERS> counters)
      : m_desc(std::move(desc)), m_counters(std::move(counters)) {}
  HRESULT BindToStorage(std::shared_ptr<CPropertyBag>* bag) override {
    if (!bag) return E_POINTER;
    *bag = std::make_shared<CDvbPropertyBag>(m_desc);
    return S_OK;
  }
  HRESULT GetDisplayName(std::string* name) override {
    if (!name) return E_POINTER;
    *name = m_desc.path;
    return S_OK;
  }
  HRESULT BindToObject(std::shared_ptr<CGraphFilter>* filter) override {
    if (!filter) return E_POINTER;
    *filter = std::make_shared<CDvbTunerFilter>(m_desc, m_counters);
    return S_OK;
  }

 private:
  DVB_FRONTEND_DESC m_desc;
  std::shared_ptr<DVB_STREAM_COUNTERS> m_counters;
};

// The tuners as they were when the enumerator was made; the transport leaves the tuner
// directly, so the receiver-component category stays empty.
class CDvbEnumerator final : public CDeviceEnumerator {
 public:
  CDvbEnumerator(std::vector<DVB_FRONTEND_DESC> frontends, std::shared_ptr<DVB_STREAM_COUNTERS> counters)
      : m_frontends(std::move(frontends)), m_counters(std::move(counters)) {}
  HRESULT CreateClassEnumerator(const GUID& category, std::vector<std::shared_ptr<CDeviceMoniker>>* monikers) override {
    if (!monikers) return E_POINTER;
    monikers->clear();
    if (category == kKsCategoryBdaNetworkTuner)
      for (const auto& frontend : m_frontends) monikers->push_back(std::make_shared<CDvbMoniker>(frontend, m_counters));
    return monikers->empty() ? S_FALSE : S_OK;
  }

 private:
  std::vector<DVB_FRONTEND_DESC> m_frontends;
  std::shared_ptr<DVB_STREAM_COUNTERS> m_counters;
};

}  // namespace

CDvbDevicePlatform::CDvbDevicePlatform(std::string root)
    : m_root(std::move(root)), m_counters(std::make_shared<DVB_STREAM_COUNTERS>()) {}

HRESULT CDvbDevicePlatform::CreateFilterGraph(std::shared_ptr<CFilterGraph>* graph) {
  return EmulatedDevicePlatform().CreateFilterGraph(graph);
}

HRESULT CDvbDevicePlatform::CreateDeviceEnumerator(std::shared_ptr<CDeviceEnumerator>* enumerator) {
  if (!enumerator) return E_POINTER;
  *enumerator = std::make_shared<CDvbEnumerator>(EnumerateDvbFrontends(m_root), m_counters);
  return S_OK;
}

HRESULT CDvbDevicePlatform::CreateSampleGrabber(std::shared_ptr<CGraphFilter>* filter) {
  return EmulatedDevicePlatform().CreateSampleGrabber(filter);
}

HRESULT CDvbDevicePlatform::CreateNetworkProviderFilter(std::shared_ptr<CNetworkProviderLogic> provider,
                                                        std::shared_ptr<CGraphFilter>* filter) {
  return EmulatedDevicePlatform().CreateNetworkProviderFilter(std::move(provider), filter);
}

CDevicePlatform& LinuxDevicePlatform() {
  static const std::string root = [] {
    const char* forced = std::getenv("VELVETFIN_DVB_ROOT");
    if (forced && *forced) return std::string(forced);
    return DvbAdaptersPresent(kDvbDefaultRoot) ? std::string(kDvbDefaultRoot) : std::string();
  }();
  if (root.empty()) return EmulatedDevicePlatform();
  static CDvbDevicePlatform platform(root);
  return platform;
}
