// The emulated device platform: a graph manager, a device enumerator with the three
// categories, stand-in BDA tuners and receiver components built from a description, and
// a sample grabber fed by each tuner's own streaming thread. Every driver call is recorded.
#pragma once
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/device_platform.h"
#include "platform/emulated/bda_description.h"
#include "platform/emulated/stream_generator.h"

class CEmulatedVendorDriver;

// One call an emulated driver received.
struct BDA_CALL {
  std::string object;  // "tuner", "tuner-input", "tuner-output", "capture", "video-capture",
                       // "topology", "control"
  std::string kind;    // "QuerySupported", "Get", "Set", "GetPinTypes", "CreatePin", ...
  GUID set{};
  DWORD id = 0;
  DWORD support = 0;   // QuerySupported: the bits answered
  std::vector<BYTE> instance;
  std::vector<BYTE> data;  // Set: the bytes sent; Get: the bytes handed back
  HRESULT result = S_OK;
};

// The state of one emulated device, shared by every filter instance bound from it.
class CEmulatedBdaDevice {
 public:
  CEmulatedBdaDevice(EMULATED_DEVICE_DESC description, std::unique_ptr<CEmulatedVendorDriver> vendor);
  ~CEmulatedBdaDevice();

  const EMULATED_DEVICE_DESC& Description() const { return m_desc; }
  CEmulatedVendorDriver* Vendor() const { return m_vendor.get(); }

  std::vector<BDA_CALL> Calls() const;
  void ClearCalls();
  void Record(BDA_CALL call);
  // One line per call (and the vendor driver's own record after them).
  std::string DumpCalls() const;

  // The committed value of a standard property; false when never committed.
  bool CommittedValue(const GUID& set, DWORD id, LONG* value) const;
  bool Locked() const { return m_locked.load(); }
  void SetSignal(LONG strength, LONG quality);
  // Faults: the signal is gone (no lock, no samples) until cleared, whatever is tuned;
  // or the tuner stays locked but stops delivering samples.
  void SetSignalLost(bool lost);
  void SetStalled(bool stalled) { m_stalled = stalled; }
  bool Stalled() const { return m_stalled.load(); }
  // What the generated stream has carried so far. `alsoRead` runs while no sample is
  // on its way, so what it reads of the receiver (the adapter's count) matches.
  STREAM_TOTALS StreamTotals(const std::function<void()>& alsoRead = {});
  // Samples handed to the grabber so far, and their bytes.
  uint64_t SamplesDelivered() const { return m_samples.load(); }
  uint64_t BytesDelivered() const { return m_bytes.load(); }
  // How often RegisterDeviceFilter succeeded for a filter of this device.
  int Registrations() const { return m_registrations.load(); }

  // Used by the filters.
  HRESULT SetProperty(const GUID& set, DWORD id, const BYTE* data, DWORD length);
  HRESULT GetProperty(const GUID& set, DWORD id, BYTE* data, DWORD length, DWORD* returned);
  HRESULT StartChanges();
  HRESULT CheckChanges();
  HRESULT CommitChanges();
  HANDLE KernelHandle();
  void CountSample(DWORD bytes) {
    ++m_samples;
    m_bytes += bytes;
  }
  void CountRegistration() { ++m_registrations; }
  // The streaming thread hands each sample over while holding this.
  std::mutex& SampleLock() { return m_sampleLock; }
  void SetStreamTotals(const STREAM_TOTALS& totals) { m_streamTotals = totals; }  // under SampleLock

 private:
  using KEY = std::pair<std::string, DWORD>;  // set as text, id
  static KEY Key(const GUID& set, DWORD id);
  void EvaluateLock();

  EMULATED_DEVICE_DESC m_desc;
  std::unique_ptr<CEmulatedVendorDriver> m_vendor;
  mutable std::mutex m_lock;
  std::vector<BDA_CALL> m_calls;
  uint64_t m_unrecorded = 0;
  std::map<KEY, LONG> m_pending;
  std::map<KEY, LONG> m_committed;
  bool m_changing = false;
  std::atomic<bool> m_locked{false};
  std::atomic<bool> m_signalLost{false};
  std::atomic<bool> m_stalled{false};
  std::mutex m_sampleLock;
  STREAM_TOTALS m_streamTotals;
  std::atomic<LONG> m_strength{0}, m_quality{0};
  std::atomic<uint64_t> m_samples{0}, m_bytes{0};
  std::atomic<int> m_registrations{0};
  HANDLE m_kernelHandle = INVALID_HANDLE_VALUE;
  std::string m_kernelPath;
};

class CEmulatedBdaPlatform final : public CDevicePlatform {
 public:
  CEmulatedBdaPlatform();
  ~CEmulatedBdaPlatform() override;

  // Replaces the devices; false (devices unchanged) with an error text for an unknown
  // vendor family. Filters bound before keep their old devices.
  bool Load(const EMULATED_DESCRIPTION& description, std::string* error = nullptr);
  bool LoadFile(const std::string& path, std::string* error = nullptr);

  size_t DeviceCount();
  std::shared_ptr<CEmulatedBdaDevice> Device(size_t index);
  // Every device's calls, device by device.
  std::string DumpCalls();
  void ClearCalls();

  HRESULT CreateFilterGraph(std::shared_ptr<CFilterGraph>* graph) override;
  HRESULT CreateDeviceEnumerator(std::shared_ptr<CDeviceEnumerator>* enumerator) override;
  HRESULT CreateSampleGrabber(std::shared_ptr<CGraphFilter>* filter) override;
  HRESULT CreateNetworkProviderFilter(std::shared_ptr<CNetworkProviderLogic> provider,
                                      std::shared_ptr<CGraphFilter>* filter) override;
  const char* Name() override { return "emulated"; }

 private:
  std::vector<std::shared_ptr<CEmulatedBdaDevice>> Devices();
  std::mutex m_lock;
  bool m_loaded = false;
  std::vector<std::shared_ptr<CEmulatedBdaDevice>> m_devices;
};

// The process-wide emulated platform (its devices: the built-in default until loaded).
CEmulatedBdaPlatform& EmulatedDevicePlatform();
