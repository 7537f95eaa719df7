// The DirectShow device platform: the seam's objects over the real COM interfaces.
#pragma once
#ifdef _WIN32
#include "platform/device_platform.h"

#include <windows.h>
#include <dshow.h>

#include <memory>

// A pin of any filter as the device layer sees pins (the pin is AddRef'd).
std::shared_ptr<CGraphPin> WrapDirectShowPin(IPin* pin);
// A filter likewise.
std::shared_ptr<CGraphFilter> WrapDirectShowFilter(IBaseFilter* filter);
// The COM filter behind a wrapped filter; null for filters of another platform.
IBaseFilter* DirectShowFilterOf(const std::shared_ptr<CGraphFilter>& filter);

class CDirectShowPlatform final : public CDevicePlatform {
 public:
  HRESULT CreateFilterGraph(std::shared_ptr<CFilterGraph>* graph) override;
  HRESULT CreateDeviceEnumerator(std::shared_ptr<CDeviceEnumerator>* enumerator) override;
  HRESULT CreateSampleGrabber(std::shared_ptr<CGraphFilter>* filter) override;
  HRESULT CreateNetworkProviderFilter(std::shared_ptr<CNetworkProviderLogic> provider,
                                      std::shared_ptr<CGraphFilter>* filter) override;
  const char* Name() override { return "DirectShow"; }
  HRESULT Startup() override;
  void Shutdown() override;
};
#endif
