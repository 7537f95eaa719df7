// CDVBNetworkProviderFilter: the program's own minimal network provider. A tuner only
// connects and runs behind one; this one accepts the tuner's registration and builds its
// topology, and leaves all tuning to the tuner's pins.
#pragma once
#include <memory>
#include <mutex>

#include "platform/device_platform.h"

constexpr int kMaxRegisteredDevices = 10;
constexpr ULONG kTopologyPinTypeRoom = 20;

// The output pin "Antenna Out"; the platform's pin shell calls it.
class CDVBNetworkProviderPin {
 public:
  HRESULT CheckMediaType(const DS_MEDIA_TYPE* type);
  HRESULT DecideBufferSize(CSampleAllocator* allocator, BUFFER_PROPS* request);
  HRESULT CompleteConnect(CGraphPin* receivingPin);
  HRESULT Run();

  void SetConnectedPin(std::shared_ptr<CGraphPin> pin);
  std::shared_ptr<CGraphPin> ConnectedPin();

 private:
  std::mutex m_lock;  // the pin's own lock
  std::shared_ptr<CGraphPin> m_connected;
};

class CDVBNetworkProviderFilter final : public CNetworkProviderLogic {
 public:
  CDVBNetworkProviderFilter();

  // IBDA_NetworkProvider.
  HRESULT RegisterDeviceFilter(void* object, ULONG* registration) override;
  HRESULT UnRegisterDeviceFilter(ULONG registration) override;

  // The pin, as the platform's shells see the filter.
  HRESULT CheckMediaType(const DS_MEDIA_TYPE* type) override { return m_pin.CheckMediaType(type); }
  HRESULT DecideBufferSize(CSampleAllocator* allocator, BUFFER_PROPS* request) override {
    return m_pin.DecideBufferSize(allocator, request);
  }
  HRESULT CompleteConnect(CGraphPin* receivingPin) override { return m_pin.CompleteConnect(receivingPin); }
  HRESULT Run() override { return m_pin.Run(); }
  void SetConnectedPin(std::shared_ptr<CGraphPin> pin) override { m_pin.SetConnectedPin(std::move(pin)); }
  std::shared_ptr<CGraphPin> ConnectedPin() override { return m_pin.ConnectedPin(); }
  const char* FilterName() override { return "NetwProv filter"; }
  const char* PinName() override { return "Antenna Out"; }

  // Builds the tuner's topology on the filter owning the connected pin.
  HRESULT CreateOutputPin(CGraphPin* connectedPin);

  CDVBNetworkProviderPin& Pin() { return m_pin; }
  int RegisteredCount();
  void* RegisteredObject(int position);

  // The filter lock, taken by the shells for interface queries.
  std::recursive_mutex& FilterLock() { return m_filterLock; }

 private:
  struct REGISTRATION {
    ULONG number;
    void* object;
  };

  std::recursive_mutex m_filterLock;
  CDVBNetworkProviderPin m_pin;
  std::mutex m_registrationLock;
  REGISTRATION m_registered[kMaxRegisteredDevices] = {};
  int m_registeredCount = 0;
};
