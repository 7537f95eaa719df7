#include "bda/network_provider.h"

#include <vector>

#include "log/log.h"
#include "platform/bda_guids.h"

HRESULT CDVBNetworkProviderPin::CheckMediaType(const DS_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  if (type->majorType == kKsDataFormatTypeBdaAntenna) return S_OK;
  TraceError("CDVBNetworkProviderPin::CheckMediaType", "Wrong MajorType BDA Antenna");
  return kVfwEInvalidMediaType;
}

HRESULT CDVBNetworkProviderPin::DecideBufferSize(CSampleAllocator* allocator, BUFFER_PROPS* request) {
  if (!allocator || !request) return E_POINTER;
  // No sample ever flows towards the tuner: ask for nothing.
  request->buffers = 0;
  request->bufferSize = 0;
  BUFFER_PROPS actual = {};
  HRESULT hr = allocator->SetProperties(*request, &actual);
  if (FAILED(hr)) {
    TraceError("CDVBNetworkProviderPin::DecideBufferSize", "Failed setting properties of Allocator");
    return hr;
  }
  if (actual.bufferSize < request->bufferSize) {
    TraceError("CDVBNetworkProviderPin::DecideBufferSize", "Unsuitable Allocator");
    return E_FAIL;
  }
  return S_OK;
}

HRESULT CDVBNetworkProviderPin::CompleteConnect(CGraphPin* receivingPin) {
  return receivingPin ? S_OK : E_POINTER;
}

HRESULT CDVBNetworkProviderPin::Run() {
  if (!ConnectedPin()) {
    TraceError("CDVBNetworkProviderPin::Run", "Connected Pin is NULL");
    return E_FAIL;
  }
  return S_OK;
}

void CDVBNetworkProviderPin::SetConnectedPin(std::shared_ptr<CGraphPin> pin) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_connected = std::move(pin);
}

std::shared_ptr<CGraphPin> CDVBNetworkProviderPin::ConnectedPin() {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_connected;
}

CDVBNetworkProviderFilter::CDVBNetworkProviderFilter() = default;

HRESULT CDVBNetworkProviderFilter::RegisterDeviceFilter(void* object, ULONG* registration) {
  // The topology comes first and outside the registration lock: the tuner calls in from
  // its connection code while the graph manager holds its own locks.
  if (std::shared_ptr<CGraphPin> connected = ConnectedPin()) CreateOutputPin(connected.get());

  std::lock_guard<std::mutex> guard(m_registrationLock);
  if (m_registeredCount >= kMaxRegisteredDevices) {
    TraceError("CDVBNetworkProviderFilter::RegisterDeviceFilter", "failed");
    return E_FAIL;
  }
  m_registered[m_registeredCount] = REGISTRATION{static_cast<ULONG>(m_registeredCount), object};
  ++m_registeredCount;
  if (registration) *registration = static_cast<ULONG>(m_registeredCount);
  return S_OK;
}

HRESULT CDVBNetworkProviderFilter::UnRegisterDeviceFilter(ULONG) {
  std::lock_guard<std::mutex> guard(m_registrationLock);
  // Never below zero, whatever a driver sends.
  if (m_registeredCount > 0) --m_registeredCount;
  return S_OK;
}

int CDVBNetworkProviderFilter::RegisteredCount() {
  std::lock_guard<std::mutex> guard(m_registrationLock);
  return m_registeredCount;
}

void* CDVBNetworkProviderFilter::RegisteredObject(int position) {
  std::lock_guard<std::mutex> guard(m_registrationLock);
  return (position >= 0 && position < m_registeredCount) ? m_registered[position].object : nullptr;
}

HRESULT CDVBNetworkProviderFilter::CreateOutputPin(CGraphPin* connectedPin) {
  static const char* const kName = "CDVBNetworkProviderFilter::CreateOutputPin";
  bool failed = false;
  std::shared_ptr<CBdaTopology> topology;
  PIN_INFO_DATA info;
  HRESULT hr = connectedPin ? connectedPin->QueryPinInfo(&info) : E_POINTER;
  if (FAILED(hr)) {
    TraceError(kName, "Failed querying pin info");
    failed = true;
  } else if (!info.filter) {
    TraceError(kName, "Filter for Pin is NULL");
    failed = true;
  } else if (FAILED(info.filter->QueryTopology(&topology)) || !topology) {
    TraceError(kName, "Failed getting Topology interface");
    failed = true;
  }

  ULONG inputPinId = 0, outputPinId = 1;
  if (!failed) {
    ULONG types[kTopologyPinTypeRoom] = {};
    ULONG typeCount = 0;
    if (FAILED(topology->GetPinTypes(&typeCount, kTopologyPinTypeRoom, types))) {
      TraceError(kName, "Failed getting Pin types");
      failed = true;
    } else {
      if (typeCount > 1) {
        inputPinId = types[0];
        outputPinId = types[1];
      }
      std::vector<std::shared_ptr<CGraphPin>> pins;
      if (FAILED(info.filter->EnumPins(&pins))) {
        TraceError(kName, "Failed enumerating Pins");
        failed = true;
      } else {
        // A tuner that lacks its antenna input or transport output pin gets it created.
        if (pins.empty() && FAILED(topology->CreatePin(types[0], &inputPinId))) failed = true;
        if (!failed && pins.size() < 2 && FAILED(topology->CreatePin(types[1], &outputPinId))) failed = true;
      }
    }
  }
  if (!failed && FAILED(topology->CreateTopology(inputPinId, outputPinId))) failed = true;
  if (failed) {
    TraceError(kName, "Failed CreateTopology");
    return E_FAIL;
  }
  return S_OK;
}
