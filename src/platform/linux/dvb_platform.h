// The device platform of a Linux machine with DVB cards: every frontend under the DVB
// device root is a BDA network tuner. Graph, sample grabber and network-provider filter
// are the emulated platform's (they need no device); tuners are CDvbTunerFilter.
#pragma once
#include <memory>
#include <string>

#include "platform/device_platform.h"
#include "platform/linux/dvb_tuner.h"

constexpr const char* kDvbDefaultRoot = "/dev/dvb";

class CDvbDevicePlatform final : public CDevicePlatform {
 public:
  explicit CDvbDevicePlatform(std::string root = kDvbDefaultRoot);

  const std::string& Root() const { return m_root; }
  const DVB_STREAM_COUNTERS& Counters() const { return *m_counters; }

  HRESULT CreateFilterGraph(std::shared_ptr<CFilterGraph>* graph) override;
  HRESULT CreateDeviceEnumerator(std::shared_ptr<CDeviceEnumerator>* enumerator) override;
  HRESULT CreateSampleGrabber(std::shared_ptr<CGraphFilter>* filter) override;
  HRESULT CreateNetworkProviderFilter(std::shared_ptr<CNetworkProviderLogic> provider,
                                      std::shared_ptr<CGraphFilter>* filter) override;
  const char* Name() override { return "DVB"; }

 private:
  std::string m_root;
  std::shared_ptr<DVB_STREAM_COUNTERS> m_counters;
};

// Linux's own device platform: the DVB platform over VELVETFIN_DVB_ROOT when that is set,
// else over /dev/dvb when it holds adapters; the emulated platform otherwise. Decided once.
CDevicePlatform& LinuxDevicePlatform();
