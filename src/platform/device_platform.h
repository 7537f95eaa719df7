// Device platform seam: the DirectShow, BDA and kernel-streaming operations the device
// layer uses, in portable form. Objects are shared_ptr-held (the COM reference counts of
// the Windows backend live behind them); results are HRESULTs as on Windows. The Windows
// backend (platform/win32/directshow_*) maps them onto the real interfaces, the emulated
// backend (platform/emulated/bda_*) answers them with stand-in devices.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/ks_property_set.h"
#include "platform/sample_callback.h"
#include "platform/win_types.h"

// DirectShow results the device layer relies on (vfwmsgs.h values).
constexpr HRESULT kVfwEInvalidMediaType = static_cast<HRESULT>(0x80040200u);
constexpr HRESULT kVfwEAlreadyConnected = static_cast<HRESULT>(0x80040204u);
constexpr HRESULT kVfwENoAcceptableTypes = static_cast<HRESULT>(0x80040207u);
constexpr HRESULT kVfwENotConnected = static_cast<HRESULT>(0x80040209u);
constexpr HRESULT kVfwENotStopped = static_cast<HRESULT>(0x80040224u);
constexpr HRESULT kVfwEWrongState = static_cast<HRESULT>(0x80040227u);
constexpr HRESULT kVfwETypeNotAccepted = static_cast<HRESULT>(0x8004022Au);
constexpr DWORD kInfinite = 0xFFFFFFFFu;

enum class PinDirection { Input, Output };
enum class FilterState { Stopped, Paused, Running };

// The parts of AM_MEDIA_TYPE the program looks at; a zero GUID means "any".
struct DS_MEDIA_TYPE {
  GUID majorType;
  GUID subType;
  GUID formatType;
};

// REGPINMEDIUM.
struct KS_PIN_MEDIUM {
  GUID set;
  ULONG id;
  ULONG flags;
};

// BDA_NODE_DESCRIPTOR.
struct BDA_NODE_INFO {
  ULONG nodeType;
  GUID function;
  GUID name;
};

// ALLOCATOR_PROPERTIES.
struct BUFFER_PROPS {
  LONG buffers;
  LONG bufferSize;
  LONG align;
  LONG prefix;
};

class CGraphFilter;

// IMemAllocator, as far as a pin deciding its buffers needs it.
class CSampleAllocator {
 public:
  virtual ~CSampleAllocator() = default;
  virtual HRESULT SetProperties(const BUFFER_PROPS& request, BUFFER_PROPS* actual) = 0;
};

struct PIN_INFO_DATA {
  std::shared_ptr<CGraphFilter> filter;  // the owning filter
  PinDirection direction = PinDirection::Input;
  std::string name;
};

// IPin with IKsPropertySet and IKsPin.
class CGraphPin {
 public:
  virtual ~CGraphPin() = default;
  virtual HRESULT QueryPinInfo(PIN_INFO_DATA* info) = 0;
  // kVfwENotConnected for a free pin.
  virtual HRESULT ConnectedTo(std::shared_ptr<CGraphPin>* pin) = 0;
  // E_NOINTERFACE when the pin has no property-set interface.
  virtual HRESULT QueryPropertySet(std::shared_ptr<CKsPropertySet>* set) = 0;
  // IKsPin::KsQueryMediums; E_NOINTERFACE without IKsPin.
  virtual HRESULT KsQueryMediums(std::vector<KS_PIN_MEDIUM>* mediums) = 0;
};

// IBDA_Topology.
class CBdaTopology {
 public:
  virtual ~CBdaTopology() = default;
  virtual HRESULT GetNodeDescriptors(ULONG* count, ULONG maxCount, BDA_NODE_INFO* descriptors) = 0;
  virtual HRESULT GetPinTypes(ULONG* count, ULONG maxCount, ULONG* types) = 0;
  virtual HRESULT CreatePin(ULONG pinType, ULONG* pinId) = 0;
  virtual HRESULT CreateTopology(ULONG inputPinId, ULONG outputPinId) = 0;
};

// IBDA_DeviceControl.
class CBdaDeviceControl {
 public:
  virtual ~CBdaDeviceControl() = default;
  virtual HRESULT StartChanges() = 0;
  virtual HRESULT CheckChanges() = 0;
  virtual HRESULT CommitChanges() = 0;
};

// IBDA_NetworkProvider: what a tuner calls on the provider it connects to.
class CBdaNetworkProvider {
 public:
  virtual ~CBdaNetworkProvider() = default;
  virtual HRESULT PutSignalSource(ULONG) { return E_NOTIMPL; }
  virtual HRESULT GetSignalSource(ULONG*) { return E_NOTIMPL; }
  virtual HRESULT GetNetworkType(GUID*) { return E_NOTIMPL; }
  virtual HRESULT PutTuningSpace(const GUID&) { return E_NOTIMPL; }
  virtual HRESULT GetTuningSpace(GUID*) { return E_NOTIMPL; }
  virtual HRESULT RegisterDeviceFilter(void* object, ULONG* registration) = 0;
  virtual HRESULT UnRegisterDeviceFilter(ULONG registration) = 0;
};

// ISampleGrabber.
class CSampleGrabber {
 public:
  virtual ~CSampleGrabber() = default;
  virtual HRESULT SetMediaType(const DS_MEDIA_TYPE& type) = 0;
  virtual HRESULT SetOneShot(BOOL oneShot) = 0;
  virtual HRESULT SetBufferSamples(BOOL buffer) = 0;
  // No sample reaches the old callback once this returns; null detaches.
  virtual HRESULT SetCallback(CSampleCallback* callback, LONG whichMethod) = 0;
};

// IBaseFilter with the interfaces the program queries on filters.
class CGraphFilter {
 public:
  virtual ~CGraphFilter() = default;
  // Pins in the filter's own enumeration order.
  virtual HRESULT EnumPins(std::vector<std::shared_ptr<CGraphPin>>* pins) = 0;
  // The name the filter was added to the graph under (empty when not in a graph).
  virtual HRESULT QueryFilterInfo(std::string* name) = 0;
  virtual HRESULT QueryPropertySet(std::shared_ptr<CKsPropertySet>* set) = 0;
  virtual HRESULT QueryTopology(std::shared_ptr<CBdaTopology>* topology) = 0;
  virtual HRESULT QueryDeviceControl(std::shared_ptr<CBdaDeviceControl>* control) = 0;
  virtual HRESULT QuerySampleGrabber(std::shared_ptr<CSampleGrabber>* grabber) = 0;
  virtual HRESULT QueryNetworkProvider(CBdaNetworkProvider** provider) = 0;
  // IKsObject::KsGetObjectHandle: the kernel handle for CDeviceIo::IoControl.
  virtual HRESULT KsGetObjectHandle(HANDLE* handle) = 0;
};

// IGraphBuilder + IMediaControl, as far as the program uses them.
class CFilterGraph {
 public:
  virtual ~CFilterGraph() = default;
  virtual HRESULT AddFilter(const std::shared_ptr<CGraphFilter>& filter, const std::string& name) = 0;
  virtual HRESULT RemoveFilter(const std::shared_ptr<CGraphFilter>& filter) = 0;
  // Joins exactly the two pins, without a media type and without intermediate filters.
  virtual HRESULT ConnectDirect(const std::shared_ptr<CGraphPin>& out,
                                const std::shared_ptr<CGraphPin>& in) = 0;
  virtual HRESULT Run() = 0;
  virtual HRESULT Pause() = 0;
  virtual HRESULT Stop() = 0;
  virtual HRESULT StopWhenReady() = 0;
  virtual HRESULT GetState(DWORD timeout, FilterState* state) = 0;
};

// IPropertyBag of a device moniker.
class CPropertyBag {
 public:
  virtual ~CPropertyBag() = default;
  virtual HRESULT Read(const char* name, std::string* value) = 0;
};

// IMoniker of one device in a category.
class CDeviceMoniker {
 public:
  virtual ~CDeviceMoniker() = default;
  virtual HRESULT BindToStorage(std::shared_ptr<CPropertyBag>* bag) = 0;
  virtual HRESULT GetDisplayName(std::string* name) = 0;
  // Instantiates the device's filter.
  virtual HRESULT BindToObject(std::shared_ptr<CGraphFilter>* filter) = 0;
};

// ICreateDevEnum.
class CDeviceEnumerator {
 public:
  virtual ~CDeviceEnumerator() = default;
  // S_FALSE with no monikers for an empty category; the order is stable.
  virtual HRESULT CreateClassEnumerator(const GUID& category,
                                        std::vector<std::shared_ptr<CDeviceMoniker>>* monikers) = 0;
};

// What the program's network-provider filter does beyond a plain filter with one output
// pin; the platform wraps it into a filter of its own kind and calls it back.
class CNetworkProviderLogic : public CBdaNetworkProvider {
 public:
  // Pin: accepts only the BDA antenna major type.
  virtual HRESULT CheckMediaType(const DS_MEDIA_TYPE* type) = 0;
  virtual HRESULT DecideBufferSize(CSampleAllocator* allocator, BUFFER_PROPS* request) = 0;
  // Before the platform's own connection completion.
  virtual HRESULT CompleteConnect(CGraphPin* receivingPin) = 0;
  // Before the platform runs the pin.
  virtual HRESULT Run() = 0;
  // The platform reports the pin's connection (null when it breaks).
  virtual void SetConnectedPin(std::shared_ptr<CGraphPin> pin) = 0;
  // The filter's own pin as the platform wrapped it, so topology code can find its peer.
  virtual std::shared_ptr<CGraphPin> ConnectedPin() = 0;
  // Object and pin names.
  virtual const char* FilterName() = 0;
  virtual const char* PinName() = 0;
};

// The platform: creates the objects above.
class CDevicePlatform {
 public:
  virtual ~CDevicePlatform() = default;
  // CLSID_FilterGraph.
  virtual HRESULT CreateFilterGraph(std::shared_ptr<CFilterGraph>* graph) = 0;
  // CLSID_SystemDeviceEnum.
  virtual HRESULT CreateDeviceEnumerator(std::shared_ptr<CDeviceEnumerator>* enumerator) = 0;
  // CLSID_SampleGrabber.
  virtual HRESULT CreateSampleGrabber(std::shared_ptr<CGraphFilter>* filter) = 0;
  // Wraps the program's network provider into a filter of this platform. The filter shares
  // the logic object, so a driver or enumerator still holding the filter or its pin after
  // the graph is gone calls into a live object.
  virtual HRESULT CreateNetworkProviderFilter(std::shared_ptr<CNetworkProviderLogic> provider,
                                              std::shared_ptr<CGraphFilter>* filter) = 0;
  // Short name for diagnostics ("DirectShow", "emulated").
  virtual const char* Name() = 0;
  // Per-thread start and end of platform use (COM on Windows); the program's start-up
  // does this itself, tools call these.
  virtual HRESULT Startup() { return S_OK; }
  virtual void Shutdown() {}
};

CDevicePlatform& DevicePlatform();
CDevicePlatform* SetDevicePlatform(CDevicePlatform* platform);
// DirectShow on Windows; the emulated platform elsewhere.
CDevicePlatform& OsDevicePlatform();
