#include "platform/emulated/bda_platform.h"

#include "platform/bda_guids.h"
#include "platform/emulated/bda_filters.h"

namespace {

// A receiver component: transport in through the tuner's private medium, transport out.
class CEmuCaptureFilter final : public CEmuFilter {
 public:
  explicit CEmuCaptureFilter(const std::shared_ptr<CEmulatedBdaDevice>& device) : CEmuFilter(EMU_FILTER_KIND::Capture) {
    const EMULATED_DEVICE_DESC& d = device->Description();
    auto in = AddPin(PinDirection::Input, "MPEG2 Transport");
    in->accept = [](const DS_MEDIA_TYPE& type) {
      return type.majorType == kMediaTypeStream ? S_OK : kVfwETypeNotAccepted;
    };
    in->mediums = {KS_PIN_MEDIUM{kEmulatedMediumSet, d.medium, 0}};
    auto out = AddPin(PinDirection::Output, "MPEG2 Transport");
    out->proposed = {DS_MEDIA_TYPE{kMediaTypeStream, kKsDataFormatSubtypeBdaMpeg2Transport, kGuidNull}};
    filterPropertySet =
        std::make_shared<CEmuPropertySet>(device, "capture", VO_CAPTURE, std::vector<EMULATED_PROPERTY_SET>{});
  }
};

// A vendor device beside the BDA filters (a video-capture filter and the like): only its
// property set matters.
class CEmuPlainFilter final : public CEmuFilter {
 public:
  CEmuPlainFilter(const std::shared_ptr<CEmulatedBdaDevice>& device, VENDOR_OBJECT object)
      : CEmuFilter(EMU_FILTER_KIND::Plain) {
    if (!device->Description().videoCapturePropertySet) return;
    filterPropertySet =
        std::make_shared<CEmuPropertySet>(device, "video-capture", object, std::vector<EMULATED_PROPERTY_SET>{});
  }
};

// The program's network provider inside the emulated graph. The filter and its pin share
// the logic: whoever still holds either may call into it after the graph let go.
class CEmuNetworkProviderFilter final : public CEmuFilter {
 public:
  explicit CEmuNetworkProviderFilter(std::shared_ptr<CNetworkProviderLogic> logic)
      : CEmuFilter(EMU_FILTER_KIND::NetworkProvider), m_logic(std::move(logic)) {
    auto pin = AddPin(PinDirection::Output, m_logic->PinName());
    std::shared_ptr<CNetworkProviderLogic> shared = m_logic;
    pin->accept = [shared](const DS_MEDIA_TYPE& type) { return shared->CheckMediaType(&type); };
    pin->onConnected = [shared](const std::shared_ptr<CEmuPin>& peer) {
      shared->SetConnectedPin(peer);
      shared->CompleteConnect(peer.get());
    };
    pin->onDisconnected = [shared] { shared->SetConnectedPin(nullptr); };
  }
  HRESULT QueryNetworkProvider(CBdaNetworkProvider** provider) override {
    if (!provider) return E_POINTER;
    *provider = m_logic.get();
    return S_OK;
  }
  HRESULT DecideAllocator(CEmuPin*) override {
    class CAllocator final : public CSampleAllocator {
     public:
      HRESULT SetProperties(const BUFFER_PROPS& request, BUFFER_PROPS* actual) override {
        if (actual) *actual = request;
        return S_OK;
      }
    } allocator;
    BUFFER_PROPS request = {1, 188, 1, 0};
    return m_logic->DecideBufferSize(&allocator, &request);
  }
  HRESULT OnRun() override { return m_logic->Run(); }

 private:
  std::shared_ptr<CNetworkProviderLogic> m_logic;
};

class CEmuPropertyBag final : public CPropertyBag {
 public:
  CEmuPropertyBag(std::string friendlyName, std::string devicePath, bool nameReadable)
      : m_friendlyName(std::move(friendlyName)), m_devicePath(std::move(devicePath)), m_nameReadable(nameReadable) {}
  HRESULT Read(const char* name, std::string* value) override {
    if (!name || !value) return E_POINTER;
    if (std::string(name) == "FriendlyName" && !m_nameReadable) return E_FAIL;
    if (std::string(name) == "FriendlyName") *value = m_friendlyName;
    else if (std::string(name) == "DevicePath") *value = m_devicePath;
    else return E_INVALIDARG;
    return S_OK;
  }

 private:
  std::string m_friendlyName, m_devicePath;
  bool m_nameReadable;
};

enum class MONIKER_KIND { Tuner, Capture, Plain };

class CEmuMoniker final : public CDeviceMoniker {
 public:
  CEmuMoniker(std::shared_ptr<CEmulatedBdaDevice> device, MONIKER_KIND kind, std::string friendlyName,
              std::string displayName)
      : m_device(std::move(device)), m_kind(kind), m_friendlyName(std::move(friendlyName)),
        m_displayName(std::move(displayName)) {}
  HRESULT BindToStorage(std::shared_ptr<CPropertyBag>* bag) override {
    if (!bag) return E_POINTER;
    *bag = std::make_shared<CEmuPropertyBag>(m_friendlyName, m_displayName,
                                             m_kind != MONIKER_KIND::Tuner || m_device->Description().nameReadable);
    return S_OK;
  }
  HRESULT GetDisplayName(std::string* name) override {
    if (!name) return E_POINTER;
    *name = m_displayName;
    return S_OK;
  }
  // A fresh filter instance per bind, over the device's shared state.
  HRESULT BindToObject(std::shared_ptr<CGraphFilter>* filter) override {
    if (!filter) return E_POINTER;
    switch (m_kind) {
      case MONIKER_KIND::Tuner: *filter = std::make_shared<CEmuTunerFilter>(m_device); break;
      case MONIKER_KIND::Capture: *filter = std::make_shared<CEmuCaptureFilter>(m_device); break;
      case MONIKER_KIND::Plain: *filter = std::make_shared<CEmuPlainFilter>(m_device, VO_VIDEO_CAPTURE); break;
    }
    return S_OK;
  }

 private:
  std::shared_ptr<CEmulatedBdaDevice> m_device;
  MONIKER_KIND m_kind;
  std::string m_friendlyName, m_displayName;
};

class CEmuEnumerator final : public CDeviceEnumerator {
 public:
  explicit CEmuEnumerator(std::vector<std::shared_ptr<CEmulatedBdaDevice>> devices) : m_devices(std::move(devices)) {}
  HRESULT CreateClassEnumerator(const GUID& category, std::vector<std::shared_ptr<CDeviceMoniker>>* monikers) override {
    if (!monikers) return E_POINTER;
    monikers->clear();
    for (const auto& device : m_devices) {
      const EMULATED_DEVICE_DESC& d = device->Description();
      if (category == kKsCategoryBdaNetworkTuner) {
        monikers->push_back(std::make_shared<CEmuMoniker>(device, MONIKER_KIND::Tuner, d.friendlyName, d.devicePath));
      } else if (category == kKsCategoryBdaReceiverComponent) {
        if (d.captureIsTuner)
          monikers->push_back(
              std::make_shared<CEmuMoniker>(device, MONIKER_KIND::Tuner, d.friendlyName, d.devicePath));
        if (!d.captureName.empty())
          monikers->push_back(std::make_shared<CEmuMoniker>(device, MONIKER_KIND::Capture, d.captureName,
                                                            d.devicePath + "\\capture"));
      }
      // The vendor's own devices (a Technotrend capture filter, a video capture and the
      // like). The tuner moniker above stands for the vendor's tuner, and a described
      // capture of the same name for the vendor's capture. They bind without pins, so
      // no other tuner's graph takes them for its receiver component.
      if (CEmulatedVendorDriver* vendor = device->Vendor()) {
        for (const auto& entry : vendor->Devices()) {
          if (entry.category != category || category == kKsCategoryBdaNetworkTuner ||
              (category == kKsCategoryBdaReceiverComponent && entry.friendlyName == d.captureName))
            continue;
          monikers->push_back(
              std::make_shared<CEmuMoniker>(device, MONIKER_KIND::Plain, entry.friendlyName, entry.devicePath));
        }
      }
    }
    return monikers->empty() ? S_FALSE : S_OK;
  }

 private:
  std::vector<std::shared_ptr<CEmulatedBdaDevice>> m_devices;
};

}  // namespace

CEmulatedBdaPlatform::CEmulatedBdaPlatform() = default;
CEmulatedBdaPlatform::~CEmulatedBdaPlatform() = default;

bool CEmulatedBdaPlatform::Load(const EMULATED_DESCRIPTION& description, std::string* error) {
  std::vector<std::shared_ptr<CEmulatedBdaDevice>> devices;
  for (const EMULATED_DEVICE_DESC& d : description.devices) {
    std::unique_ptr<CEmulatedVendorDriver> vendor;
    if (!d.family.empty()) {
      VENDOR_DRIVER_OPTIONS options;
      options.networkType = static_cast<int>(d.deliveryType);
      for (int i = 0; i < 6; ++i) options.mac[i] = d.mac[i];
      options.ttDeviceIndex = d.medium;
      options.friendlyName = d.friendlyName;
      options.devicePath = d.devicePath;
      options.ttHighSpeed = d.usbHighSpeed ? 1 : 0;
      std::string vendorError;
      vendor = CreateEmulatedVendorDriver(d.family, options, &vendorError);
      if (!vendor) {
        if (error) *error = "[" + d.section + "] " + vendorError;
        return false;
      }
    }
    devices.push_back(std::make_shared<CEmulatedBdaDevice>(d, std::move(vendor)));
  }
  std::lock_guard<std::mutex> guard(m_lock);
  m_devices = std::move(devices);
  m_loaded = true;
  return true;
}

bool CEmulatedBdaPlatform::LoadFile(const std::string& path, std::string* error) {
  EMULATED_DESCRIPTION description;
  return LoadEmulatedDescription(path, &description, error) && Load(description, error);
}

std::vector<std::shared_ptr<CEmulatedBdaDevice>> CEmulatedBdaPlatform::Devices() {
  {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_loaded) return m_devices;
  }
  Load(DefaultEmulatedDescription());
  std::lock_guard<std::mutex> guard(m_lock);
  return m_devices;
}

size_t CEmulatedBdaPlatform::DeviceCount() { return Devices().size(); }

std::shared_ptr<CEmulatedBdaDevice> CEmulatedBdaPlatform::Device(size_t index) {
  auto devices = Devices();
  return index < devices.size() ? devices[index] : nullptr;
}

std::string CEmulatedBdaPlatform::DumpCalls() {
  std::string text;
  for (const auto& device : Devices()) {
    text += "[" + device->Description().friendlyName + "]\n";
    text += device->DumpCalls();
  }
  return text;
}

void CEmulatedBdaPlatform::ClearCalls() {
  for (const auto& device : Devices()) device->ClearCalls();
}

HRESULT CEmulatedBdaPlatform::CreateFilterGraph(std::shared_ptr<CFilterGraph>* graph) {
  if (!graph) return E_POINTER;
  *graph = std::make_shared<CEmuGraph>();
  return S_OK;
}

HRESULT CEmulatedBdaPlatform::CreateDeviceEnumerator(std::shared_ptr<CDeviceEnumerator>* enumerator) {
  if (!enumerator) return E_POINTER;
  *enumerator = std::make_shared<CEmuEnumerator>(Devices());
  return S_OK;
}

HRESULT CEmulatedBdaPlatform::CreateSampleGrabber(std::shared_ptr<CGraphFilter>* filter) {
  if (!filter) return E_POINTER;
  *filter = std::make_shared<CEmuGrabberFilter>();
  return S_OK;
}

HRESULT CEmulatedBdaPlatform::CreateNetworkProviderFilter(std::shared_ptr<CNetworkProviderLogic> provider,
                                                          std::shared_ptr<CGraphFilter>* filter) {
  if (!provider || !filter) return E_POINTER;
  *filter = std::make_shared<CEmuNetworkProviderFilter>(std::move(provider));
  return S_OK;
}

CEmulatedBdaPlatform& EmulatedDevicePlatform() {
  static CEmulatedBdaPlatform platform;
  return platform;
}
