// The emulated filters and pins: a small graph-manager model with direct pin connection,
// media-type and medium checks, run/pause/stop, and a streaming thread per tuner.
#pragma once
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/bda_guids.h"
#include "platform/emulated/bda_platform.h"
#include "platform/emulated/vendor_driver.h"

class CEmuFilter;
class CEmuGraph;

// The private medium joining an emulated tuner to its receiver component.
inline constexpr GUID kEmulatedMediumSet =
    MakeGuid(0x5EC1A7E0, 0x76E4, 0x4F2B, 0x9B, 0x21, 0x3C, 0x55, 0x0A, 0x7D, 0x41, 0x90);

enum class EMU_FILTER_KIND { NetworkProvider, Tuner, Capture, Grabber, Plain };

class CEmuPin final : public CGraphPin, public std::enable_shared_from_this<CEmuPin> {
 public:
  CEmuPin(CEmuFilter* owner, PinDirection direction, std::string name);

  HRESULT QueryPinInfo(PIN_INFO_DATA* info) override;
  HRESULT ConnectedTo(std::shared_ptr<CGraphPin>* pin) override;
  HRESULT QueryPropertySet(std::shared_ptr<CKsPropertySet>* set) override;
  HRESULT KsQueryMediums(std::vector<KS_PIN_MEDIUM>* mediums) override;

  CEmuFilter* Owner() const { return m_owner; }
  PinDirection Direction() const { return m_direction; }
  std::shared_ptr<CEmuPin> Peer() const { return m_peer.lock(); }
  void SetPeer(const std::shared_ptr<CEmuPin>& peer) { m_peer = peer; }

  std::vector<DS_MEDIA_TYPE> proposed;                        // types this pin offers
  std::function<HRESULT(const DS_MEDIA_TYPE&)> accept;        // null: accepts anything
  std::vector<KS_PIN_MEDIUM> mediums;                         // empty: the standard medium
  std::shared_ptr<CKsPropertySet> propertySet;                // null: no IKsPropertySet
  std::function<void(const std::shared_ptr<CEmuPin>& peer)> onConnected;
  std::function<void()> onDisconnected;

 private:
  CEmuFilter* m_owner;
  PinDirection m_direction;
  std::string m_name;
  std::weak_ptr<CEmuPin> m_peer;
};

class CEmuFilter : public CGraphFilter, public std::enable_shared_from_this<CEmuFilter> {
 public:
  explicit CEmuFilter(EMU_FILTER_KIND kind) : m_kind(kind) {}
  ~CEmuFilter() override = default;

  HRESULT EnumPins(std::vector<std::shared_ptr<CGraphPin>>* pins) override;
  HRESULT QueryFilterInfo(std::string* name) override;
  HRESULT QueryPropertySet(std::shared_ptr<CKsPropertySet>* set) override;
  HRESULT QueryTopology(std::shared_ptr<CBdaTopology>*) override { return E_NOINTERFACE; }
  HRESULT QueryDeviceControl(std::shared_ptr<CBdaDeviceControl>*) override { return E_NOINTERFACE; }
  HRESULT QuerySampleGrabber(std::shared_ptr<CSampleGrabber>*) override { return E_NOINTERFACE; }
  HRESULT QueryNetworkProvider(CBdaNetworkProvider**) override { return E_NOINTERFACE; }
  HRESULT KsGetObjectHandle(HANDLE*) override { return E_NOINTERFACE; }

  EMU_FILTER_KIND Kind() const { return m_kind; }
  const std::vector<std::shared_ptr<CEmuPin>>& Pins() const { return m_pins; }
  std::shared_ptr<CEmuPin> FirstPin(PinDirection direction) const;
  CEmuGraph* Graph() const { return m_graph; }
  void Join(CEmuGraph* graph, const std::string& name) {
    m_graph = graph;
    m_name = name;
  }
  // Allocator decision of an output pin, for the connection in progress.
  virtual HRESULT DecideAllocator(CEmuPin*) { return S_OK; }
  virtual HRESULT OnRun() { return S_OK; }
  virtual void OnPause() {}
  virtual void OnStop() {}

  std::shared_ptr<CKsPropertySet> filterPropertySet;

 protected:
  std::shared_ptr<CEmuPin> AddPin(PinDirection direction, const std::string& name);

 private:
  EMU_FILTER_KIND m_kind;
  std::vector<std::shared_ptr<CEmuPin>> m_pins;
  CEmuGraph* m_graph = nullptr;
  std::string m_name;
};

class CEmuGraph final : public CFilterGraph {
 public:
  ~CEmuGraph() override;
  HRESULT AddFilter(const std::shared_ptr<CGraphFilter>& filter, const std::string& name) override;
  HRESULT RemoveFilter(const std::shared_ptr<CGraphFilter>& filter) override;
  HRESULT ConnectDirect(const std::shared_ptr<CGraphPin>& out, const std::shared_ptr<CGraphPin>& in) override;
  HRESULT Run() override;
  HRESULT Pause() override;
  HRESULT Stop() override;
  HRESULT StopWhenReady() override { return Stop(); }
  HRESULT GetState(DWORD timeout, FilterState* state) override;

 private:
  std::shared_ptr<CEmuFilter> Find(const CGraphFilter* filter);
  static void Disconnect(CEmuPin* pin);

  std::vector<std::shared_ptr<CEmuFilter>> m_filters;
  FilterState m_state = FilterState::Stopped;
};

// A property-set interface of one object of an emulated device: answers the standard sets
// of the description, routes other sets to the vendor driver, records every call.
class CEmuPropertySet final : public CKsPropertySet {
 public:
  CEmuPropertySet(std::shared_ptr<CEmulatedBdaDevice> device, std::string object, VENDOR_OBJECT vendorObject,
                  std::vector<EMULATED_PROPERTY_SET> sets);
  HRESULT QuerySupported(const GUID& set, DWORD id, DWORD* support) override;
  HRESULT Get(const GUID& set, DWORD id, void* instance, DWORD instanceLength, void* data, DWORD dataLength,
              DWORD* returned) override;
  HRESULT Set(const GUID& set, DWORD id, void* instance, DWORD instanceLength, void* data,
              DWORD dataLength) override;

 private:
  const EMULATED_PROPERTY_SET* Standard(const GUID& set, DWORD id) const;
  CKsPropertySet* VendorFor(const GUID& set) const;

  std::shared_ptr<CEmulatedBdaDevice> m_device;
  std::string m_object;
  VENDOR_OBJECT m_vendorObject;
  std::vector<EMULATED_PROPERTY_SET> m_sets;
};

class CEmuGrabberFilter;

// A tuner filter: antenna input, transport output, topology, device control, and the
// streaming thread that feeds the grabber downstream while the graph runs and it is locked.
class CEmuTunerFilter final : public CEmuFilter, public CBdaTopology, public CBdaDeviceControl {
 public:
  explicit CEmuTunerFilter(std::shared_ptr<CEmulatedBdaDevice> device);
  ~CEmuTunerFilter() override;

  HRESULT QueryTopology(std::shared_ptr<CBdaTopology>* topology) override;
  HRESULT QueryDeviceControl(std::shared_ptr<CBdaDeviceControl>* control) override;
  HRESULT KsGetObjectHandle(HANDLE* handle) override;

  HRESULT GetNodeDescriptors(ULONG* count, ULONG maxCount, BDA_NODE_INFO* descriptors) override;
  HRESULT GetPinTypes(ULONG* count, ULONG maxCount, ULONG* types) override;
  HRESULT CreatePin(ULONG pinType, ULONG* pinId) override;
  HRESULT CreateTopology(ULONG inputPinId, ULONG outputPinId) override;

  HRESULT StartChanges() override;
  HRESULT CheckChanges() override;
  HRESULT CommitChanges() override;

  HRESULT OnRun() override;
  void OnPause() override { StopStreaming(); }
  void OnStop() override { StopStreaming(); }

  // Where the streaming thread hands each sample; a shell of another platform (a COM
  // filter) streams the same samples into its own pins.
  using SAMPLE_SINK = std::function<void(double sampleTime, const MEDIA_SAMPLE_INFO& sample)>;
  // Starts the streaming thread unless it runs; it delivers only while the tuner is locked.
  void StartStreaming(SAMPLE_SINK sink);
  // Returns once the thread has ended: no sample reaches the sink afterwards.
  void StopStreaming();
  const std::shared_ptr<CEmulatedBdaDevice>& Device() const { return m_device; }

 private:
  void AddInputPin();
  void AddOutputPin();
  void Stream(SAMPLE_SINK sink);
  void Record(const char* kind, DWORD id, HRESULT hr, std::vector<BYTE> data = {});

  std::shared_ptr<CEmulatedBdaDevice> m_device;
  std::thread m_thread;
  std::mutex m_streamLock;
  std::condition_variable m_wake;
  bool m_streaming = false;
};

// The emulated sample grabber.
class CEmuGrabberFilter final : public CEmuFilter, public CSampleGrabber {
 public:
  CEmuGrabberFilter();
  HRESULT QuerySampleGrabber(std::shared_ptr<CSampleGrabber>* grabber) override;

  HRESULT SetMediaType(const DS_MEDIA_TYPE& type) override;
  HRESULT SetOneShot(BOOL oneShot) override;
  HRESULT SetBufferSamples(BOOL) override { return S_OK; }
  HRESULT SetCallback(CSampleCallback* callback, LONG whichMethod) override;

  // Called on a tuner's streaming thread.
  void Deliver(double sampleTime, const MEDIA_SAMPLE_INFO& sample);

 private:
  std::mutex m_lock;
  DS_MEDIA_TYPE m_type{};
  CSampleCallback* m_callback = nullptr;
  bool m_oneShot = false;
  bool m_done = false;
};
