// The shared state of one emulated BDA device: its standard properties (a tuning takes
// effect at CommitChanges), lock and signal, kernel handle and the record of its calls.
#include <cstdio>
#include <cstring>

#include "platform/bda_guids.h"
#include "platform/emulated/bda_platform.h"
#include "platform/emulated/emulated_device_io.h"
#include "platform/emulated/vendor_driver.h"

namespace {
constexpr HRESULT kSetNotFound = static_cast<HRESULT>(0x80070490u);  // ERROR_SET_NOT_FOUND
constexpr DWORD kFrequencyId = 0, kPolarityId = 1, kMultiplierId = 5;
constexpr DWORD kModulationId = 0, kSymbolRateId = 5;

std::string Hex(const std::vector<BYTE>& bytes) {
  std::string text;
  char b[4];
  for (BYTE v : bytes) {
    std::snprintf(b, sizeof(b), "%02X", v);
    text += b;
  }
  return text.empty() ? "-" : text;
}
}  // namespace

CEmulatedBdaDevice::CEmulatedBdaDevice(EMULATED_DEVICE_DESC description, std::unique_ptr<CEmulatedVendorDriver> vendor)
    : m_desc(std::move(description)), m_vendor(std::move(vendor)) {
  m_strength = m_desc.signalStrength;
  m_quality = m_desc.signalQuality;
  // The vendor's own device paths (the Technotrend API opens them) exist with the device.
  if (m_vendor) m_vendor->InstallDevices(EmulatedDeviceIo());
}

CEmulatedBdaDevice::~CEmulatedBdaDevice() {
  if (m_kernelHandle != INVALID_HANDLE_VALUE) EmulatedDeviceIo().Close(m_kernelHandle);
  if (!m_kernelPath.empty()) EmulatedDeviceIo().Uninstall(m_kernelPath);
  if (m_vendor) m_vendor->UninstallDevices(EmulatedDeviceIo());
}

std::vector<BDA_CALL> CEmulatedBdaDevice::Calls() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_calls;
}

void CEmulatedBdaDevice::ClearCalls() {
  std::lock_guard<std::mutex> guard(m_lock);
  m_calls.clear();
  m_unrecorded = 0;
  if (m_vendor) m_vendor->ClearCalls();
}

void CEmulatedBdaDevice::Record(BDA_CALL call) {
  if (!EmulatedCallRecording()) return;
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_calls.size() < kMaxRecordedCalls) m_calls.push_back(std::move(call));
  else ++m_unrecorded;
}

std::string CEmulatedBdaDevice::DumpCalls() const {
  std::string text;
  char guid[40], line[160];
  for (const BDA_CALL& call : Calls()) {
    FormatGuid(call.set, guid, sizeof(guid));
    const char* setName = PropertySetName(call.set);
    const bool property = call.kind == "QuerySupported" || call.kind == "Get" || call.kind == "Set";
    text += call.object;
    text.append(call.object.size() < 13 ? 13 - call.object.size() : 1, ' ');
    text += call.kind;
    if (property) {
      std::snprintf(line, sizeof(line), " %s%s%s id=%lu", guid, setName ? " " : "", setName ? setName : "",
                    static_cast<unsigned long>(call.id));
      text += line;
      if (call.kind == "QuerySupported") {
        std::snprintf(line, sizeof(line), " support=%lu", static_cast<unsigned long>(call.support));
        text += line;
      } else {
        text += " instance=" + Hex(call.instance) + " data=" + Hex(call.data);
      }
    } else {
      std::snprintf(line, sizeof(line), " %lu", static_cast<unsigned long>(call.id));
      text += line;
      if (!call.data.empty()) text += " data=" + Hex(call.data);
    }
    std::snprintf(line, sizeof(line), " hr=0x%08lX\n", static_cast<unsigned long>(static_cast<DWORD>(call.result)));
    text += line;
  }
  {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_unrecorded) {
      std::snprintf(line, sizeof(line), "(%llu later calls not recorded)\n", static_cast<unsigned long long>(m_unrecorded));
      text += line;
    }
  }
  if (m_vendor) text += m_vendor->DumpCalls();
  return text;
}

CEmulatedBdaDevice::KEY CEmulatedBdaDevice::Key(const GUID& set, DWORD id) {
  char text[40];
  FormatGuid(set, text, sizeof(text));
  return {text, id};
}

bool CEmulatedBdaDevice::CommittedValue(const GUID& set, DWORD id, LONG* value) const {
  std::lock_guard<std::mutex> guard(m_lock);
  auto it = m_committed.find(Key(set, id));
  if (it == m_committed.end()) return false;
  if (value) *value = it->second;
  return true;
}

void CEmulatedBdaDevice::SetSignal(LONG strength, LONG quality) {
  m_strength = strength;
  m_quality = quality;
}

void CEmulatedBdaDevice::SetSignalLost(bool lost) {
  m_signalLost = lost;
  EvaluateLock();
}

STREAM_TOTALS CEmulatedBdaDevice::StreamTotals(const std::function<void()>& alsoRead) {
  std::lock_guard<std::mutex> guard(m_sampleLock);
  if (alsoRead) alsoRead();
  return m_streamTotals;
}

HRESULT CEmulatedBdaDevice::SetProperty(const GUID& set, DWORD id, const BYTE* data, DWORD length) {
  if (set == kKsPropSetBdaDiseqCommand) return S_OK;  // accepted, nothing to tune
  if (!data || length < sizeof(LONG)) return E_INVALIDARG;
  LONG value;
  std::memcpy(&value, data, sizeof(value));
  bool applied;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    // Outside StartChanges a driver applies a value at once.
    applied = !m_changing;
    (applied ? m_committed : m_pending)[Key(set, id)] = value;
  }
  if (applied) EvaluateLock();
  return S_OK;
}

HRESULT CEmulatedBdaDevice::GetProperty(const GUID& set, DWORD id, BYTE* data, DWORD length, DWORD* returned) {
  if (!data || length < sizeof(LONG)) return E_INVALIDARG;
  LONG value = 0;
  if (set == kKsPropSetBdaSignalStats) {
    bool locked = m_locked.load();
    switch (id) {
      case 0: value = locked ? m_strength.load() : 0; break;
      case 1: value = locked ? m_quality.load() : 0; break;
      case 2:
      case 3: value = locked ? 1 : 0; break;
      default: return kSetNotFound;
    }
  } else {
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_committed.find(Key(set, id));
    if (it != m_committed.end()) value = it->second;
  }
  std::memcpy(data, &value, sizeof(value));
  if (returned) *returned = sizeof(value);
  return S_OK;
}

HRESULT CEmulatedBdaDevice::StartChanges() {
  std::lock_guard<std::mutex> guard(m_lock);
  m_pending.clear();
  m_changing = true;
  return S_OK;
}

HRESULT CEmulatedBdaDevice::CheckChanges() { return S_OK; }

HRESULT CEmulatedBdaDevice::CommitChanges() {
  {
    std::lock_guard<std::mutex> guard(m_lock);
    for (const auto& [key, value] : m_pending) m_committed[key] = value;
    m_pending.clear();
    m_changing = false;
  }
  EvaluateLock();
  return S_OK;
}

void CEmulatedBdaDevice::EvaluateLock() {
  LONG frequency = 0, multiplier = 1000, symbolRate = 0, polarisation = 0, modulation = 0;
  bool haveFrequency = CommittedValue(kKsPropSetBdaFrequencyFilter, kFrequencyId, &frequency);
  CommittedValue(kKsPropSetBdaFrequencyFilter, kMultiplierId, &multiplier);
  bool haveSymbolRate = CommittedValue(kKsPropSetBdaDigitalDemodulator, kSymbolRateId, &symbolRate);
  bool havePolarisation = CommittedValue(kKsPropSetBdaFrequencyFilter, kPolarityId, &polarisation);
  bool haveModulation = CommittedValue(kKsPropSetBdaDigitalDemodulator, kModulationId, &modulation);
  // The frequency in kHz whatever multiplier was set.
  long long kHz = static_cast<long long>(frequency) * (multiplier > 0 ? multiplier : 1000) / 1000;
  bool locked = haveFrequency && kHz >= m_desc.lockFrequencyMin && kHz <= m_desc.lockFrequencyMax;
  if (m_desc.lockSymbolRate >= 0) locked = locked && haveSymbolRate && symbolRate == m_desc.lockSymbolRate;
  if (m_desc.lockPolarisation >= 0) locked = locked && havePolarisation && polarisation == m_desc.lockPolarisation;
  if (m_desc.lockModulation >= 0) locked = locked && haveModulation && modulation == m_desc.lockModulation;
  m_locked = locked && !m_signalLost.load();
}

HANDLE CEmulatedBdaDevice::KernelHandle() {
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_kernelHandle != INVALID_HANDLE_VALUE) return m_kernelHandle;
  if (!m_vendor) return INVALID_HANDLE_VALUE;
  std::shared_ptr<CEmulatedDevice> kernel = m_vendor->KernelDevice();
  if (!kernel) return INVALID_HANDLE_VALUE;
  m_kernelPath = "\\\\.\\emulated-ks\\" + m_desc.section + "\\" + m_desc.friendlyName;
  EmulatedDeviceIo().Install(m_kernelPath, kernel);
  // As the kernel-streaming proxy opens it: overlapped.
  m_kernelHandle = EmulatedDeviceIo().Open(m_kernelPath, DEVICE_OPEN_MODE{kGenericRead | kGenericWrite, 0,
                                                                          kOpenExisting, kFileFlagOverlapped});
  return m_kernelHandle;
}
