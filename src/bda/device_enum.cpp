// Device enumeration: every BDA network tuner with its delivery type from the topology.
#include <cstdio>
#include <cstring>

#include "bda/bda_graph.h"
#include "bda/device_selection.h"
#include "extensions/technotrend_api.h"
#include "platform/bda_guids.h"
#include "settings/settings_store.h"
#include "tuner/bda_diagnostics.h"

namespace {

constexpr ULONG kNodeDescriptorRoom = 10;

struct TT_FAMILY {
  const char* name;
  LONG deliveryType;
  LONG ttDeviceClass;
};

// Tested in order; a later match overrides an earlier one.
constexpr TT_FAMILY kTtFamilies[] = {
    {"TechnoTrend BDA/DVB-C Tuner", 2, 1},
    {"TechnoTrend BDA/DVB-S Tuner", 1, 1},
    {"TechnoTrend BDA/DVB-T Tuner", 3, 1},
    {"ttBudget BDA (DVB-T Fake) DVB-T Tuner", 3, 1},
    {"ttBudget2 BDA DVB-C Tuner", 2, 1},
    {"ttBudget2 BDA DVB-S Tuner", 1, 1},
    {"ttBudget2 BDA DVB-T Tuner", 3, 1},
    {"TTHybridTV BDA DVBT Tuner", 3, 2},
    {"TTHybridTV BDA ATSC Tuner", 4, 2},
    {"USB 2.0 BDA DVB-C Tuner", 2, 3},
    {"USB 2.0 BDA DVB-S Tuner", 1, 3},
    {"USB 2.0 BDA DVB-T Tuner", 3, 3},
    {"USB 2.0 BDA (DVB-T Fake) DVB-T Tuner", 3, 3},
    {"Pinnacle PCTV 4XXe Tuner", 1, 4},
    {"USB 2.0 BDA DSS Tuner", 1, 5},
    {"TT-premium BDA DVBS Tuner", 1, 6},
};

// The delivery type a demodulator node stands for, 0 for other nodes.
LONG DeliveryTypeOfNode(const GUID& function) {
  if (function == kKsNodeBdaCofdmDemodulator) return kDeliveryTerrestrial;
  if (function == kKsNodeBdaQpskDemodulator || function == kKsNodeBda8pskDemodulator) return kDeliverySatellite;
  if (function == kKsNodeBdaQamDemodulator) return kDeliveryCable;
  if (function == kKsNodeBda8vsbDemodulator) return kDeliveryAtsc;
  if (function == kKsNodeBdaIsdbTDemodulator) return kDeliveryIsdb;
  return kDeliveryUnknown;
}

}  // namespace

void FormatDeviceListText(const PARAM_DEVICE& device, char* text, size_t size) {
  static const char* const kSuffix[] = {"", " - Satellite", " - Cable", " - Terrestial", " - ATSC", " - ISDB"};
  const char* suffix = (device.deliveryType >= 0 && device.deliveryType <= 5) ? kSuffix[device.deliveryType] : "";
  std::snprintf(text, size, "%u: %s%s", static_cast<unsigned>(device.index) + 1u, device.friendlyName, suffix);
}

void ApplyTtFamilyTable(PARAM_DEVICE* device) {
  for (const TT_FAMILY& row : kTtFamilies) {
    if (!std::strstr(device->friendlyName, row.name)) continue;
    device->deliveryType = row.deliveryType;
    device->ttDeviceClass = row.ttDeviceClass;
    device->extensionType = 1;
  }
}

HRESULT CBdaGraph::FindEnumDevice(ENUM_DEVICE_CALLBACK callback, void* context) {
  if (!m_pDeviceEnum) {
    HRESULT hr = DevicePlatform().CreateDeviceEnumerator(&m_pDeviceEnum);
    if (FAILED(hr) || !m_pDeviceEnum) {
      if (SUCCEEDED(hr)) hr = E_FAIL;
      BdaTrace("FindEnumDevice", "Cannot CoCreate ICreateDevEnum", hr);
      m_pDeviceEnum.reset();
      return hr;
    }
  }
  std::vector<std::shared_ptr<CDeviceMoniker>> monikers;
  HRESULT hr = m_pDeviceEnum->CreateClassEnumerator(kKsCategoryBdaNetworkTuner, &monikers);
  if (FAILED(hr)) {
    BdaTrace("FindEnumDevice", "Cannot CreateClassEnumerator", hr);
    return hr;
  }
  if (hr == S_FALSE) {
    BdaTrace("FindEnumDevice", "BDA Tuner devices not found !", hr);
    return 0;
  }
  WORD position = 0;
  for (const auto& moniker : monikers) {
    std::shared_ptr<CPropertyBag> bag;
    hr = moniker->BindToStorage(&bag);
    if (FAILED(hr) || !bag) {
      if (SUCCEEDED(hr)) hr = E_FAIL;
      BdaTrace("FindEnumDevice", "Cannot BindToStorage", hr);
      return hr;
    }
    std::string name;
    hr = bag->Read("FriendlyName", &name);
    if (FAILED(hr)) {
      // Not counted: its position would mean nothing to LoadFilter either way.
      BdaTrace("FindEnumDevice", "IPropertyBag->Read method failed", hr);
      continue;
    }
    PARAM_DEVICE device;
    device.index = position;
    std::snprintf(device.friendlyName, sizeof(device.friendlyName), "%s", name.c_str());
    if (name.find("DVBLink Tuner") != std::string::npos) {
      ++position;
      continue;
    }

    std::shared_ptr<CGraphFilter> tuner;
    if (SUCCEEDED(moniker->BindToObject(&tuner)) && tuner) {
      std::shared_ptr<CBdaTopology> topology;
      BDA_NODE_INFO nodes[kNodeDescriptorRoom] = {};
      ULONG count = 0;
      if (SUCCEEDED(tuner->QueryTopology(&topology)) && topology &&
          FAILED(topology->GetNodeDescriptors(&count, kNodeDescriptorRoom, nodes))) {
        count = 0;
      }
      if (count > kNodeDescriptorRoom) count = kNodeDescriptorRoom;
      for (ULONG i = 0; i < count && device.deliveryType == kDeliveryUnknown; ++i)
        device.deliveryType = DeliveryTypeOfNode(nodes[i].function);

      std::shared_ptr<CGraphPin> pin;
      if (FAILED(FindFilterOutputPin(tuner, &pin)) || !pin) {
        BdaTrace("EnumDevice", "Cannot find to tuner output pin", E_FAIL);
      } else {
        std::vector<KS_PIN_MEDIUM> mediums;
        HRESULT mh = pin->KsQueryMediums(&mediums);
        if (FAILED(mh)) BdaTrace("EnumDevices", "Can't get Tuner pin medium", mh);
        else if (!mediums.empty()) device.tunerPinMedium = mediums[0].id;
      }
    }
    ApplyTtFamilyTable(&device);
    std::string path;
    if (SUCCEEDED(moniker->GetDisplayName(&path)))
      std::snprintf(device.devicePath, sizeof(device.devicePath), "%s", path.c_str());
    ++position;
    hr = callback ? callback(&device, context) : S_OK;
    if (FAILED(hr)) return hr;
  }
  return 0;
}

HRESULT AddEnumeratedDevice(PARAM_DEVICE* device, void* deviceList) {
  if (!device || !deviceList) return E_POINTER;
  auto* list = static_cast<DEVICE_LIST*>(deviceList);
  if (device->extensionType == 1 && device->ttDeviceClass != 0 && device->ttDeviceClass != 4 && list->finder) {
    std::string product;
    if (TtLookupProductName(*list->finder, device->ttDeviceClass, device->tunerPinMedium, &product) &&
        !product.empty())
      std::snprintf(device->friendlyName, sizeof(device->friendlyName), "%s", product.c_str());
  }
  char text[kDeviceNameSize + 32];
  FormatDeviceListText(*device, text, sizeof(text));
  list->devices.push_back(*device);
  list->texts.push_back(text);
  return S_OK;
}

SELECTION_RESULT SelectDevice(CBdaGraph& graph, SettingsStore& settings, CDeviceChooser& chooser,
                              DEVICE_LIST* list, DEVICE_CHOICE* choice) {
  int defaultDevice = static_cast<WORD>(settings.ReadInt(kCommonSection, "DefaultDevice", 0));
  if (!list->finder) list->finder = &graph;
  graph.FindEnumDevice(&AddEnumeratedDevice, list);
  const int count = static_cast<int>(list->devices.size());
  if (count == 0) return SELECTION_RESULT::NoDevice;

  int position = 0;
  bool isDefault = false;
  if (defaultDevice >= 1 && defaultDevice <= count) {
    position = defaultDevice - 1;
    isDefault = true;
  } else if (count == 1) {
    defaultDevice = 0;
  } else {
    bool useAsDefault = false;
    int chosen = 0;
    if (!chooser.Choose(list->texts, 0, &useAsDefault, &chosen)) return SELECTION_RESULT::Cancelled;
    // A position the list does not hold falls back to the first entry.
    position = (chosen >= 0 && chosen < count) ? chosen : 0;
    isDefault = useAsDefault;
    defaultDevice = useAsDefault ? position + 1 : 0;
  }
  settings.WriteInt(kCommonSection, "DefaultDevice", defaultDevice);
  choice->device = list->devices[position];
  choice->position = position;
  choice->isDefault = isDefault;
  return SELECTION_RESULT::Chosen;
}
