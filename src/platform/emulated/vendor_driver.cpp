#include "platform/emulated/vendor_driver.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

#include "platform/buffer_address.h"
#include "platform/vendor_guids.h"
#include "platform/system.h"

namespace {
constexpr DWORD G = KSPROPERTY_SUPPORT_GET;
constexpr DWORD S = KSPROPERTY_SUPPORT_SET;

void Put32(BYTE* b, size_t at, DWORD v) {
  b[at] = static_cast<BYTE>(v);
  b[at + 1] = static_cast<BYTE>(v >> 8);
  b[at + 2] = static_cast<BYTE>(v >> 16);
  b[at + 3] = static_cast<BYTE>(v >> 24);
}
DWORD Get32(const BYTE* b, size_t at) {
  return static_cast<DWORD>(b[at]) | (static_cast<DWORD>(b[at + 1]) << 8) |
         (static_cast<DWORD>(b[at + 2]) << 16) | (static_cast<DWORD>(b[at + 3]) << 24);
}
GUID ReadGuid(const BYTE* b) {
  GUID g{};
  g.Data1 = Get32(b, 0);
  g.Data2 = static_cast<WORD>(b[4] | (b[5] << 8));
  g.Data3 = static_cast<WORD>(b[6] | (b[7] << 8));
  std::memcpy(g.Data4, b + 8, 8);
  return g;
}
std::string GuidText(const GUID& g) {
  char text[40];
  std::snprintf(text, sizeof(text), "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}
std::string Hex(const std::vector<BYTE>& bytes) {
  std::string s;
  char b[4];
  for (BYTE c : bytes) {
    std::snprintf(b, sizeof(b), "%02X", c);
    s += b;
  }
  return s.empty() ? "-" : s;
}
std::vector<BYTE> Bytes(const void* p, DWORD n) {
  if (!p || !n) return {};
  const BYTE* b = static_cast<const BYTE*>(p);
  return std::vector<BYTE>(b, b + n);
}
int Compare(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)); }

const char* const kObjectNames[VO_COUNT] = {"tuner", "tuner-in", "tuner-out", "capture", "video-capture"};

const std::vector<std::string> kFamilies = {
    "generic",   "technotrend", "tt-budget2", "tt-budget3", "tt-usb2", "tt-pinnacle", "tt-dss", "tt-premium",
    "twinhan",  "tbs-cxt",   "prof-7500", "dvbworld", "conexant",
    "hauppauge", "microsoft",   "geniatech", "jactek",   "bestunar",  "omicom",   "tbs-qbox",
    "tbs-nxp",   "compro",      "anysee",   "genpix-3dparty", "genpix", "netup",  "quarn",
    "tbs-usb",   "tbs-pcie",
};

// The tuner names the Technotrend drivers install, with their device class; a later
// row overrides an earlier one ("USB 2.0 BDA (DVB-T Fake) DVB-T Tuner" is USB).
struct TT_TUNER_NAME {
  const char* text;
  int ttClass;
};
constexpr TT_TUNER_NAME kTtTunerNames[] = {
    {"TechnoTrend BDA/DVB-C Tuner", 1},  {"TechnoTrend BDA/DVB-S Tuner", 1},
    {"TechnoTrend BDA/DVB-T Tuner", 1},  {"ttBudget BDA (DVB-T Fake) DVB-T Tuner", 1},
    {"ttBudget2 BDA DVB-C Tuner", 1},    {"ttBudget2 BDA DVB-S Tuner", 1},
    {"ttBudget2 BDA DVB-T Tuner", 1},    {"TTHybridTV BDA DVBT Tuner", 2},
    {"TTHybridTV BDA ATSC Tuner", 2},    {"USB 2.0 BDA DVB-C Tuner", 3},
    {"USB 2.0 BDA DVB-S Tuner", 3},      {"USB 2.0 BDA DVB-T Tuner", 3},
    {"USB 2.0 BDA (DVB-T Fake) DVB-T Tuner", 3}, {"Pinnacle PCTV 4XXe Tuner", 4},
    {"USB 2.0 BDA DSS Tuner", 5},        {"TT-premium BDA DVBS Tuner", 6},
};

int TtClassOfTunerName(const std::string& name) {
  int found = 0;
  for (const TT_TUNER_NAME& row : kTtTunerNames)
    if (name.find(row.text) != std::string::npos) found = row.ttClass;
  return found;
}

// I2C address of the card EEPROM as the drivers see it (8-bit form 0xA0).
constexpr BYTE kEeprom7Bit = 0x50;
constexpr DWORD kNetupDiseqc = 0x100000;
constexpr DWORD kNetupEepromRead = (0x8200u << 8) | kEeprom7Bit;
}  // namespace

// The property sets of one object of the device.
class CEmulatedVendorDriver::CObjectView final : public CKsPropertySet {
 public:
  CObjectView(CEmulatedVendorDriver& d, int object) : m_driver(d), m_object(object) {}
  HRESULT QuerySupported(const GUID& set, DWORD id, DWORD* support) override {
    return m_driver.DoQuery(m_object, set, id, support);
  }
  HRESULT Get(const GUID& set, DWORD id, void* instance, DWORD instanceLength, void* data,
              DWORD dataLength, DWORD* returned) override {
    return m_driver.DoCall(m_object, true, set, id, instance, instanceLength, data, dataLength, returned);
  }
  HRESULT Set(const GUID& set, DWORD id, void* instance, DWORD instanceLength, void* data,
              DWORD dataLength) override {
    return m_driver.DoCall(m_object, false, set, id, instance, instanceLength, data, dataLength, nullptr);
  }

 private:
  CEmulatedVendorDriver& m_driver;
  int m_object;
};

// The objects the emulated device I/O holds on to may outlive the driver; once
// it is gone they answer every request with a failure.
class CDriverLink {
 public:
  explicit CDriverLink(CEmulatedVendorDriver* d) : m_driver(d) {}
  void Detach() {
    std::lock_guard<std::mutex> g(m_lock);
    m_driver = nullptr;
  }
  BOOL IoControl(const std::string& path, DWORD code, const void* in, DWORD inLength, void* out, DWORD outLength,
                 DWORD* returned) {
    std::lock_guard<std::mutex> g(m_lock);
    if (!m_driver) {
      SystemServices().SetLastError(ERROR_GEN_FAILURE);
      return FALSE;
    }
    return m_driver->OnIoControl(path, code, in, inLength, out, outLength, returned);
  }

 private:
  std::mutex m_lock;
  CEmulatedVendorDriver* m_driver;
};

// The tuner filter's kernel object: IOCTL_KS_PROPERTY requests.
class CEmulatedVendorDriver::CKernelDevice final : public CEmulatedDevice {
 public:
  explicit CKernelDevice(CEmulatedVendorDriver& d) : m_link(&d) {}
  void Detach() { m_link.Detach(); }
  bool Overlapped() const override { return true; }
  BOOL IoControl(DWORD code, const void* in, DWORD inLength, void* out, DWORD outLength,
                 DWORD* returned) override {
    return m_link.IoControl("kernel", code, in, inLength, out, outLength, returned);
  }
  BOOL Write(const void*, DWORD, DWORD*) override {
    SystemServices().SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }

 private:
  CDriverLink m_link;
};

// One Technotrend device path.
class CEmulatedVendorDriver::CPathDevice final : public CEmulatedDevice {
 public:
  CPathDevice(CEmulatedVendorDriver& d, std::string path) : m_link(&d), m_path(std::move(path)) {}
  void Detach() { m_link.Detach(); }
  BOOL IoControl(DWORD code, const void* in, DWORD inLength, void* out, DWORD outLength,
                 DWORD* returned) override {
    return m_link.IoControl(m_path, code, in, inLength, out, outLength, returned);
  }
  BOOL Write(const void*, DWORD, DWORD*) override {
    SystemServices().SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }

 private:
  CDriverLink m_link;
  std::string m_path;
};

bool CEmulatedVendorDriver::PROPERTY_KEY::operator<(const PROPERTY_KEY& o) const {
  if (object != o.object) return object < o.object;
  int c = Compare(set, o.set);
  if (c != 0) return c < 0;
  return id < o.id;
}

CEmulatedVendorDriver::CEmulatedVendorDriver(std::string family, const VENDOR_DRIVER_OPTIONS& options)
    : m_family(std::move(family)), m_options(options) {
  static const char* const kTtAliases[] = {"tt-budget2", "tt-budget3", "tt-usb2", "tt-pinnacle", "tt-dss", "tt-premium"};
  for (int c = 0; c < 6; ++c) {
    if (m_family == kTtAliases[c]) {
      m_family = "technotrend";
      m_options.ttClass = c + 1;
    }
  }
  if (m_family == "technotrend" && m_options.ttClass == 0) {
    m_options.ttClass = TtClassOfTunerName(m_options.friendlyName);
    if (m_options.ttClass == 0) m_options.ttClass = 1;
  }
  for (int i = 0; i < VO_COUNT; ++i) m_views[i] = std::make_unique<CObjectView>(*this, i);
  m_kernelDevice = std::make_shared<CKernelDevice>(*this);
  Build();
}

CEmulatedVendorDriver::~CEmulatedVendorDriver() {
  m_kernelDevice->Detach();
  for (auto& d : m_pathDevices) d->Detach();
}

void CEmulatedVendorDriver::AddSupport(int object, const GUID& set, DWORD id, DWORD support) {
  m_support[PROPERTY_KEY{object, set, id}] = support;
}

void CEmulatedVendorDriver::Build() {
  const BYTE* mac = m_options.mac;
  // The card EEPROM: the MAC where each family's driver reads it.
  for (BYTE at : {BYTE{0x10}, BYTE{0x30}, BYTE{0x40}, BYTE{0xA0}}) std::memcpy(m_eeprom + at, mac, 6);
  // The second tuner of a Netup card has its own address.
  std::memcpy(m_eeprom + 70, mac, 6);
  m_eeprom[75] = static_cast<BYTE>(mac[5] + 1);
  m_eeprom[63] = 0x5A;

  const std::string& f = m_family;
  const GUID& ext = KSPROPSETID_BdaTunerExtensionProperties;
  if (f == "tbs-cxt") {
    std::string capture = m_options.videoCaptureName;
    if (capture.empty() && !m_options.friendlyName.empty()) {
      const std::string& n = m_options.friendlyName;
      size_t cut = std::min(n.find(" BDA "), n.find(" DVBS"));
      capture = n.substr(0, cut) + " Video Capture";
    }
    if (!capture.empty())
      m_devices.push_back(DEVICE_ENTRY{CLSID_VideoInputDeviceCategory, capture, "\\?\emulated#video-capture#" + capture});
  }
  if (f == "twinhan") {
    AddSupport(VO_TUNER_INPUT, KSPROPSETID_Twinhan, 0, S);
  } else if (f == "tbs-cxt" || f == "prof-7500") {
    AddSupport(VO_TUNER_INPUT, ext, 0, G);
    AddSupport(VO_TUNER_INPUT, ext, 6, G);
    AddSupport(VO_TUNER_INPUT, ext, 22, S);
    AddSupport(VO_TUNER_INPUT, ext, 23, S);
    AddSupport(VO_TUNER_INPUT, ext, 24, S);
    int eepromObject = VO_VIDEO_CAPTURE;
    if (f == "prof-7500") {
      // Answers the QBOX set too, and reads its EEPROM through the output pin.
      AddSupport(VO_TUNER_FILTER, KSPROPSETID_TbsUsb, 6, G);
      eepromObject = VO_TUNER_OUTPUT;
    }
    AddSupport(eepromObject, KSPROPSETID_CX_GOSHAWK2_DIAG_PROP, 0, S);
    AddSupport(eepromObject, KSPROPSETID_CX_GOSHAWK2_DIAG_PROP, 3, G);
  } else if (f == "conexant" || f == "geniatech") {
    AddSupport(VO_TUNER_INPUT, ext, 0, G | S);
    AddSupport(VO_TUNER_INPUT, ext, 11, S);
    if (f == "geniatech") AddSupport(VO_CAPTURE, KSPROPSETID_GeniatechMac, 0, G | S);
  } else if (f == "hauppauge") {
    AddSupport(VO_TUNER_INPUT, KSPROPSETID_HauppaugeTunerExtension, 0, G | S);
  } else if (f == "microsoft") {
    for (DWORD id = 0; id <= 4; ++id) AddSupport(VO_TUNER_INPUT, KSPROPSETID_BdaDiseqCommand, id, S);
    AddSupport(VO_TUNER_INPUT, KSPROPSETID_BdaDiseqCommand, 5, G);
  } else if (f == "jactek") {
    const GUID& set = m_options.jacTekAlternateSet ? KSPROPSETID_JacTekAlternate : KSPROPSETID_JacTek;
    AddSupport(VO_TUNER_INPUT, set, 2, S);
    AddSupport(VO_TUNER_INPUT, set, 5, G);
  } else if (f == "bestunar") {
    AddSupport(VO_TUNER_INPUT, KSPROPSETID_Bestunar, 0, S);
    AddSupport(VO_TUNER_INPUT, KSPROPSETID_Bestunar, 5, G | S);
  } else if (f == "omicom") {
    AddSupport(VO_TUNER_FILTER, KSPROPSETID_OmicomDiseqc, 0, S);
    AddSupport(VO_TUNER_FILTER, KSPROPSETID_OmicomDiseqc, 1, G);
    AddSupport(VO_TUNER_FILTER, KSPROPSETID_OmicomDiseqc, 4, S);
    AddSupport(VO_TUNER_FILTER, KSPROPSETID_OmicomI2c, 1, S);
    AddSupport(VO_TUNER_FILTER, KSPROPSETID_OmicomI2c, 2, G);
    AddSupport(VO_TUNER_FILTER, KSPROPSETID_OmicomCustom, 4, G);
    for (DWORD id : {6u, 9u, 10u}) AddSupport(VO_TUNER_FILTER, KSPROPSETID_OmicomCustom, id, S);
  } else if (f == "tbs-qbox" || f == "tbs-usb") {
    if (f == "tbs-qbox") {
      AddSupport(VO_TUNER_FILTER, KSPROPSETID_TbsUsb, 3, S);
      AddSupport(VO_TUNER_FILTER, KSPROPSETID_TbsUsb, 4, S);
    } else {
      AddSupport(VO_TUNER_FILTER, KSPROPSETID_TbsUsb, 18, S);
    }
    AddSupport(VO_TUNER_FILTER, KSPROPSETID_TbsUsb, 6, G);
    AddSupport(VO_TUNER_FILTER, KSPROPSETID_TbsUsb, 11, G);
    for (DWORD id : {19u, 20u, 21u}) AddSupport(VO_TUNER_FILTER, KSPROPSETID_TbsUsb, id, S);
  } else if (f == "tbs-nxp" || f == "tbs-pcie") {
    AddSupport(VO_TUNER_INPUT, ext, 0, S);
    if (f == "tbs-pcie") AddSupport(VO_TUNER_INPUT, ext, 21, S);
    AddSupport(VO_TUNER_INPUT, ext, 6, G);
    AddSupport(VO_TUNER_INPUT, ext, 15, G);
    for (DWORD id : {22u, 23u, 24u}) AddSupport(VO_TUNER_INPUT, ext, id, S);
  } else if (f == "compro") {
    AddSupport(VO_TUNER_FILTER, KSPROPSETID_ComproDiseqc, 1, S);
    AddSupport(VO_TUNER_FILTER, KSPROPSETID_ComproDiseqc, 2, S);
    AddSupport(VO_TUNER_FILTER, KSPROPSETID_ComproMac, 0, G);
  } else if (f == "anysee") {
    AddSupport(VO_CAPTURE, KSPROPSETID_AnySee, 24, S);
  } else if (f == "genpix-3dparty") {
    AddSupport(VO_TUNER_OUTPUT, KSPROPSETID_GenpixOld, 0, S);
  } else if (f == "genpix") {
    AddSupport(VO_TUNER_FILTER, KSPROPSETID_Genpix, 1, S);
  } else if (f == "netup") {
    AddSupport(VO_TUNER_OUTPUT, KSPROPSETID_Netup, 0, S);
  } else if (f == "quarn") {
    AddSupport(VO_TUNER_FILTER, KSPROPSETID_Quarn, 1, S);
    AddSupport(VO_TUNER_FILTER, KSPROPSETID_Quarn, 2, G);
    AddSupport(VO_TUNER_FILTER, KSPROPSETID_Quarn, 9, S);
    AddSupport(VO_TUNER_OUTPUT, KSPROPSETID_QuarnStream, 12, S);
  } else if (f == "technotrend") {
    const int c = m_options.ttClass;
    // Under the tuner's own path the enumerator finds them beside the tuner moniker.
    const std::string& tunerPath = m_options.devicePath;
    const std::string base = "\\\\?\\emulated#technotrend#" + std::to_string(c) + "#" +
                             std::to_string(m_options.ttDeviceIndex);
    auto add = [&](const GUID& category, const char* name, const char* suffix) {
      std::string path = base + suffix;
      if (!tunerPath.empty()) path = std::string(suffix) == "#tuner" ? tunerPath : tunerPath + "\\capture";
      m_devices.push_back(DEVICE_ENTRY{category, name, path});
    };
    switch (c) {
      case 1: {
        add(KSCATEGORY_BDA_RECEIVER_COMPONENT, "TechnoTrend BDA/DVB Capture", "#capture");
        const char* tuner = m_options.networkType == 2   ? "TechnoTrend BDA/DVB-C Tuner"
                            : m_options.networkType == 3 ? "TechnoTrend BDA/DVB-T Tuner"
                                                         : "TechnoTrend BDA/DVB-S Tuner";
        add(KSCATEGORY_BDA_NETWORK_TUNER, tuner, "#tuner");
        break;
      }
      case 2: add(KSCATEGORY_BDA_RECEIVER_COMPONENT, "TTHybridTV BDA Digital Capture", "#capture"); break;
      case 3: add(KSCATEGORY_BDA_RECEIVER_COMPONENT, "USB 2.0 BDA DVB Capture", "#capture"); break;
      case 4: add(KSCATEGORY_BDA_RECEIVER_COMPONENT, "Pinnacle PCTV 4XXe Capture", "#capture"); break;
      case 5: add(KSCATEGORY_BDA_RECEIVER_COMPONENT, "USB 2.0 BDA DSS Capture", "#capture"); break;
      case 6: add(CLSID_VideoInputDeviceCategory, "TT-premium STi7109 Capture", "#capture"); break;
      default: break;
    }
  }
  for (const DEVICE_ENTRY& e : m_devices) m_pathDevices.push_back(std::make_shared<CPathDevice>(*this, e.devicePath));
}

CKsPropertySet* CEmulatedVendorDriver::ForObject(VENDOR_OBJECT object) {
  if (object < 0 || object >= VO_COUNT) return nullptr;
  return m_views[object].get();
}

bool CEmulatedVendorDriver::Answers(VENDOR_OBJECT object, const GUID& set) const {
  std::lock_guard<std::mutex> g(m_lock);
  for (const auto& [key, support] : m_support) {
    if (key.object == object && key.set == set && support) return true;
  }
  return false;
}

int CEmulatedVendorDriver::FindObject(const GUID& set, DWORD id) const {
  for (const auto& [key, support] : m_support) {
    if (key.set == set && key.id == id) return key.object;
  }
  for (const auto& [key, support] : m_support) {
    if (key.set == set) return key.object;
  }
  return VO_TUNER_FILTER;
}

HRESULT CEmulatedVendorDriver::QuerySupported(const GUID& set, DWORD id, DWORD* support) {
  int object;
  {
    std::lock_guard<std::mutex> g(m_lock);
    object = FindObject(set, id);
  }
  return DoQuery(object, set, id, support);
}

HRESULT CEmulatedVendorDriver::Get(const GUID& set, DWORD id, void* instance, DWORD instanceLength,
                                   void* data, DWORD dataLength, DWORD* returned) {
  int object;
  {
    std::lock_guard<std::mutex> g(m_lock);
    object = FindObject(set, id);
  }
  return DoCall(object, true, set, id, instance, instanceLength, data, dataLength, returned);
}

HRESULT CEmulatedVendorDriver::Set(const GUID& set, DWORD id, void* instance, DWORD instanceLength,
                                   void* data, DWORD dataLength) {
  int object;
  {
    std::lock_guard<std::mutex> g(m_lock);
    object = FindObject(set, id);
  }
  return DoCall(object, false, set, id, instance, instanceLength, data, dataLength, nullptr);
}

HRESULT CEmulatedVendorDriver::DoQuery(int object, const GUID& set, DWORD id, DWORD* support) {
  std::lock_guard<std::mutex> g(m_lock);
  VENDOR_CALL call;
  call.kind = VENDOR_CALL::QUERY;
  call.object = object;
  call.set = set;
  call.id = id;
  bool known = false;
  DWORD bits = 0;
  for (const auto& [key, s] : m_support) {
    if (key.object == object && key.set == set) {
      known = true;
      if (key.id == id) bits = s;
    }
  }
  // An unknown set fails as a driver does; a known set without the id answers 0.
  call.result = known ? S_OK : HRESULT_FROM_WIN32(ERROR_SET_NOT_FOUND);
  call.support = bits;
  if (support) *support = bits;
  Keep(std::move(call));
  return known ? S_OK : HRESULT_FROM_WIN32(ERROR_SET_NOT_FOUND);
}

bool CEmulatedVendorDriver::TakeFailure(const GUID& set, DWORD id, HRESULT* result) {
  for (auto& [key, failure] : m_failures) {
    if (key.set != set || key.id != id || failure.count <= 0) continue;
    if (failure.skip > 0) {
      --failure.skip;
      return false;
    }
    --failure.count;
    *result = failure.result;
    return true;
  }
  return false;
}

HRESULT CEmulatedVendorDriver::DoCall(int object, bool get, const GUID& set, DWORD id, void* instance,
                                      DWORD instanceLength, void* data, DWORD dataLength, DWORD* returned) {
  std::lock_guard<std::mutex> g(m_lock);
  if (returned) *returned = 0;
  VENDOR_CALL call;
  call.kind = get ? VENDOR_CALL::GET : VENDOR_CALL::SET;
  call.object = object;
  call.set = set;
  call.id = id;
  call.instance = Bytes(instance, instanceLength);
  call.data = Bytes(data, dataLength);
  auto it = m_support.find(PROPERTY_KEY{object, set, id});
  DWORD need = get ? G : S;
  HRESULT hr;
  if (it == m_support.end() || !(it->second & need)) {
    hr = HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
  } else if (TakeFailure(set, id, &hr)) {
    // injected failure
  } else {
    hr = Answer(get, set, id, static_cast<BYTE*>(data), dataLength, returned, call);
  }
  call.result = hr;
  if (get && SUCCEEDED(hr)) call.reply = Bytes(data, dataLength);
  Keep(std::move(call));
  return hr;
}

HRESULT CEmulatedVendorDriver::Answer(bool get, const GUID& set, DWORD id, BYTE* data, DWORD dataLength,
                                      DWORD* returned, VENDOR_CALL& call) {
  const VENDOR_DRIVER_OPTIONS& o = m_options;
  auto need = [&](DWORD size) { return data && dataLength >= size; };
  auto done = [&](DWORD size) {
    if (returned) *returned = size;
    return S_OK;
  };
  const GUID& ext = KSPROPSETID_BdaTunerExtensionProperties;
  if (get) {
    if (set == ext && id == 6) {
      if (!need(72)) return E_INVALIDARG;
      Put32(data, 0, static_cast<DWORD>(o.rfLevel));
      Put32(data, 4, static_cast<DWORD>(o.snrTenths));
      Put32(data, 8, o.berTimes1e7);
      return done(72);
    }
    if (set == ext && id == 15) {
      if (!need(16)) return E_INVALIDARG;
      std::memcpy(data + 10, o.mac, 6);
      return done(16);
    }
    if (set == KSPROPSETID_TbsUsb && id == 6) {
      if (!need(6)) return E_INVALIDARG;
      std::memcpy(data, o.mac, 6);
      return done(dataLength);
    }
    if (set == KSPROPSETID_TbsUsb && id == 11) {
      if (!need(72)) return E_INVALIDARG;
      Put32(data, 0, static_cast<DWORD>(o.rfLevel));
      Put32(data, 4, static_cast<DWORD>(o.snrTenths));
      Put32(data, 8, o.berTimes1e7);
      return done(72);
    }
    if (set == KSPROPSETID_CX_GOSHAWK2_DIAG_PROP && id == 3) {
      if (!need(28)) return E_INVALIDARG;
      if (!m_diagAccess) return E_FAIL;  // the I2C bus is not switched to the host
      BYTE offset = data[3];
      BYTE count = std::min<BYTE>(data[11], 16);
      for (BYTE i = 0; i < count && 12 + i < 28; ++i) data[12 + i] = m_eeprom[static_cast<BYTE>(offset + i)];
      return done(28);
    }
    if (set == KSPROPSETID_GeniatechMac && id == 0) {
      if (!need(104)) return E_INVALIDARG;
      std::memcpy(data + 32, o.mac, 6);
      return done(104);
    }
    if ((set == KSPROPSETID_Bestunar && id == 5) || (set == KSPROPSETID_ComproMac && id == 0) ||
        ((set == KSPROPSETID_JacTek || set == KSPROPSETID_JacTekAlternate) && id == 5)) {
      if (!need(6)) return E_INVALIDARG;
      std::memcpy(data, o.mac, 6);
      return done(6);
    }
    if (set == KSPROPSETID_OmicomI2c && id == 2) {
      if (!need(524)) return E_INVALIDARG;
      DWORD n = std::min<DWORD>(Get32(data, 516), 512);
      if (data[0] != kEeprom7Bit) return E_FAIL;  // no device answers
      for (DWORD i = 0; i < n; ++i) data[1 + i] = m_eeprom[static_cast<BYTE>(m_i2cPointer + i)];
      return done(524);
    }
    if (set == KSPROPSETID_OmicomCustom && id == 4) {
      if (!need(20)) return E_INVALIDARG;
      Put32(data, 8, static_cast<DWORD>(o.rfLevel));
      Put32(data, 12, static_cast<DWORD>(o.snrTenths));
      Put32(data, 16, o.berTimes1e7);
      return done(20);
    }
    if (set == KSPROPSETID_Quarn && id == 2) {
      if (!need(88)) return E_INVALIDARG;
      Put32(data, 76, static_cast<DWORD>(o.rfLevel));
      Put32(data, 80, static_cast<DWORD>(o.snrTenths));
      Put32(data, 84, o.berTimes1e7);
      return done(88);
    }
    // Gets that only carry a request (TBS CXT DiSEqC and LNB power).
    return done(dataLength);
  }

  // Sets.
  if (set == KSPROPSETID_CX_GOSHAWK2_DIAG_PROP && id == 0) {
    if (!need(4)) return E_INVALIDARG;
    m_diagAccess = Get32(data, 0) != 0;
    return S_OK;
  }
  if (set == KSPROPSETID_OmicomI2c && id == 1) {
    if (!need(524)) return E_INVALIDARG;
    if (data[0] != kEeprom7Bit) return E_FAIL;
    if (Get32(data, 516) >= 1) m_i2cPointer = data[1];
    return S_OK;
  }
  if (set == KSPROPSETID_Twinhan && id == 0) {
    if (!need(40) || ReadGuid(data) != GUID_TwinhanCommand) return E_INVALIDARG;
    DWORD code = Get32(data, 16);
    BYTE* in = static_cast<BYTE*>(DwordToBufferAddress(Get32(data, 20)));
    DWORD inSize = Get32(data, 24);
    BYTE* out = static_cast<BYTE*>(DwordToBufferAddress(Get32(data, 28)));
    DWORD outSize = Get32(data, 32);
    BYTE* count = static_cast<BYTE*>(DwordToBufferAddress(Get32(data, 36)));
    call.code = code;
    if (in && inSize) call.payload.assign(in, in + inSize);
    DWORD produced = 0;
    switch (code) {
      case 0xAA0001E4: break;
      case 0xAA0001F0:
        if (!out || outSize < 240) return E_INVALIDARG;
        std::memset(out, 0, outSize);
        std::memcpy(out + 37, o.mac, 6);
        produced = 240;
        break;
      case 0xAA000190:
        if (!in || inSize < 1) return E_INVALIDARG;
        break;
      case 0xAA000204:
        if (!out || outSize < 20) return E_INVALIDARG;
        std::memcpy(out, m_twinhanLnbConfig, 20);
        produced = 20;
        break;
      case 0xAA000200:
        if (!in || inSize < 20) return E_INVALIDARG;
        std::memcpy(m_twinhanLnbConfig, in, 20);
        break;
      case 0xAA0001A0:
        if (!in || inSize < 16 || Get32(in, 0) < 1 || Get32(in, 0) > 12) return E_INVALIDARG;
        break;
      default: return E_NOTIMPL;
    }
    if (count) Put32(count, 0, produced);
    if (produced) call.reply.assign(out, out + produced);
    return S_OK;
  }
  if (set == KSPROPSETID_Netup && id == 0) {
    if (!need(24)) return E_INVALIDARG;
    DWORD code = Get32(data, 0);
    BYTE* write = static_cast<BYTE*>(DwordToBufferAddress(Get32(data, 4)));
    DWORD writeCount = Get32(data, 8);
    BYTE* reply = static_cast<BYTE*>(DwordToBufferAddress(Get32(data, 12)));
    DWORD replySize = Get32(data, 16);
    BYTE* readCount = static_cast<BYTE*>(DwordToBufferAddress(Get32(data, 20)));
    call.code = code;
    if (write && writeCount) call.payload.assign(write, write + writeCount);
    if (code == kNetupDiseqc) return (write && writeCount >= 1 && writeCount <= 8) ? S_OK : E_INVALIDARG;
    if (code == kNetupEepromRead) {
      if (!write || writeCount != 1 || !reply || !replySize || replySize > 256) return E_INVALIDARG;
      for (DWORD i = 0; i < replySize; ++i) reply[i] = m_eeprom[static_cast<BYTE>(write[0] + i)];
      if (readCount) Put32(readCount, 0, replySize);
      call.reply.assign(reply, reply + replySize);
      return S_OK;
    }
    return E_NOTIMPL;
  }
  return S_OK;
}

std::shared_ptr<CEmulatedDevice> CEmulatedVendorDriver::KernelDevice() { return m_kernelDevice; }

void CEmulatedVendorDriver::InstallIoControlPath(CEmulatedDeviceIo& io, const std::string& path) {
  auto device = std::make_shared<CPathDevice>(*this, path);
  m_pathDevices.push_back(device);
  io.Install(path, device);
}

void CEmulatedVendorDriver::InstallDevices(CEmulatedDeviceIo& io) {
  for (size_t i = 0; i < m_devices.size(); ++i) io.Install(m_devices[i].devicePath, m_pathDevices[i]);
}

void CEmulatedVendorDriver::UninstallDevices(CEmulatedDeviceIo& io) {
  for (size_t i = 0; i < m_devices.size(); ++i) io.Uninstall(m_devices[i].devicePath, m_pathDevices[i].get());
}

BOOL CEmulatedVendorDriver::OnIoControl(const std::string& path, DWORD code, const void* in, DWORD inLength,
                                        void* out, DWORD outLength, DWORD* returned) {
  std::lock_guard<std::mutex> g(m_lock);
  if (returned) *returned = 0;
  VENDOR_CALL call;
  call.kind = VENDOR_CALL::IOCTL;
  call.object = -1;
  call.path = path;
  call.code = code;
  call.data = Bytes(in, inLength);
  HRESULT injected = S_OK;
  BOOL ok;
  if (TakeFailure(GUID{}, code, &injected)) {
    SystemServices().SetLastError(ERROR_GEN_FAILURE);
    ok = FALSE;
  } else if (path == "kernel") {
    ok = KernelIoControl(static_cast<const BYTE*>(in), inLength, static_cast<BYTE*>(out), outLength, returned,
                         call);
  } else {
    ok = TtIoControl(code, static_cast<const BYTE*>(in), inLength, static_cast<BYTE*>(out), outLength, returned,
                     call);
  }
  call.result = ok ? S_OK : HRESULT_FROM_WIN32(SystemServices().GetLastError());
  if (ok && out && returned && *returned) call.reply = Bytes(out, *returned);
  Keep(std::move(call));
  return ok;
}

BOOL CEmulatedVendorDriver::KernelIoControl(const BYTE* in, DWORD inLength, BYTE* out, DWORD outLength,
                                            DWORD* returned, VENDOR_CALL& call) {
  auto fail = [](DWORD error) {
    SystemServices().SetLastError(error);
    return FALSE;
  };
  if (call.code != IOCTL_KS_PROPERTY_CODE || !in || inLength < 16) return fail(ERROR_INVALID_PARAMETER);
  GUID set = ReadGuid(in);
  call.set = set;
  if (m_family != "dvbworld") return fail(ERROR_SET_NOT_FOUND);
  if (set == KSPROPSETID_DvbWorldProbe) {
    if (!out || outLength < 12) return fail(ERROR_INSUFFICIENT_BUFFER);
    std::memset(out, 0, 12);
    *returned = 12;
    return TRUE;
  }
  if (set == KSPROPSETID_DvbWorldDiseqc) {
    if (inLength < 276) return fail(ERROR_INVALID_PARAMETER);
    DWORD length = Get32(in, 272);
    if (length < 1 || length > 256) return fail(ERROR_INVALID_PARAMETER);
    call.payload.assign(in + 16, in + 16 + length);
    return TRUE;
  }
  if (set == KSPROPSETID_DvbWorldMac) {
    if (!out || outLength < 6) return fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(out, m_options.mac, 6);
    *returned = 6;
    return TRUE;
  }
  return fail(ERROR_SET_NOT_FOUND);
}

BOOL CEmulatedVendorDriver::TtIoControl(DWORD code, const BYTE* in, DWORD inLength, BYTE* out, DWORD outLength,
                                        DWORD* returned, VENDOR_CALL&) {
  auto fail = [](DWORD error) {
    SystemServices().SetLastError(error);
    return FALSE;
  };
  auto reply = [&](const BYTE* bytes, DWORD n) {
    if (!out || outLength < n) return fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(out, bytes, n);
    *returned = n;
    return TRUE;
  };
  const VENDOR_DRIVER_OPTIONS& o = m_options;
  const int c = o.ttClass;
  const bool budget = c == 1 || c == 2;
  const bool usb = c >= 3 && c <= 5;
  const bool alt = c == 4;
  BYTE buf[8] = {};
  auto is = [&](DWORD budgetCode, DWORD usbCode, DWORD altCode) {
    return (budget && code == budgetCode) || (usb && !alt && code == usbCode) || (alt && code == altCode);
  };
  if (is(0x23341C, 0x23204C, 0x232418)) {
    Put32(buf, 0, o.ttDeviceIndex);
    return reply(buf, 4);
  }
  if (is(0x233418, 0x232030, 0x232410)) {
    Put32(buf, 0, (DWORD{o.mac[0]} << 16) | (DWORD{o.mac[1]} << 8) | o.mac[2]);
    Put32(buf, 4, (DWORD{o.mac[3]} << 16) | (DWORD{o.mac[4]} << 8) | o.mac[5]);
    return reply(buf, 8);
  }
  if (is(0x233420, 0x232054, 0x232420)) {
    const WORD ids[4] = {o.ttVendor, o.ttDevice, o.ttSubVendor, o.ttSubDevice};
    for (int i = 0; i < 4; ++i) {
      buf[2 * i] = static_cast<BYTE>(ids[i]);
      buf[2 * i + 1] = static_cast<BYTE>(ids[i] >> 8);
    }
    return reply(buf, 8);
  }
  if ((c == 1 && code == 0x233468) || (usb && code == (alt ? 0x23240CU : 0x232040U))) {
    if (!in || inLength != 10 || in[0] > 6) return fail(ERROR_INVALID_PARAMETER);
    BYTE result = 0;
    return reply(&result, 1);
  }
  if (is(0x233480, 0x23206C, 0x23243C)) {
    Put32(buf, 0, o.networkType == 3 ? 1 : 0);
    return reply(buf, 4);
  }
  if (usb && code == (alt ? 0x232414U : 0x232034U)) {
    Put32(buf, 0, o.ttHighSpeed);
    return reply(buf, 4);
  }
  if (usb && code == 0x232044) {
    if (!in || inLength != 4) return fail(ERROR_INVALID_PARAMETER);
    Put32(buf, 0, 1);
    return reply(buf, 4);
  }
  if (c == 6 && code == 0x23203C) {
    if (!in || inLength != 4) return fail(ERROR_INVALID_PARAMETER);
    return TRUE;
  }
  return fail(ERROR_NOT_SUPPORTED);
}

namespace {
std::atomic<bool> g_recordCalls{true};
}  // namespace

void SetEmulatedCallRecording(bool on) { g_recordCalls = on; }
bool EmulatedCallRecording() { return g_recordCalls.load(std::memory_order_relaxed); }

void CEmulatedVendorDriver::Keep(VENDOR_CALL&& call) {
  if (!EmulatedCallRecording()) return;
  // A receiver left running reads the signal every second: the record stays bounded.
  if (m_calls.size() < kMaxRecordedCalls) m_calls.push_back(std::move(call));
  else ++m_unrecorded;
}

std::vector<VENDOR_CALL> CEmulatedVendorDriver::Calls() const {
  std::lock_guard<std::mutex> g(m_lock);
  return m_calls;
}

void CEmulatedVendorDriver::ClearCalls() {
  std::lock_guard<std::mutex> g(m_lock);
  m_calls.clear();
  m_unrecorded = 0;
}

std::string CEmulatedVendorDriver::DumpCalls(bool withQueries) const {
  std::lock_guard<std::mutex> g(m_lock);
  std::string out;
  char line[160];
  for (const VENDOR_CALL& c : m_calls) {
    if (c.kind == VENDOR_CALL::QUERY && !withQueries) continue;
    static const char* const kKinds[] = {"QUERY", "GET", "SET", "IOCTL"};
    const char* object = c.object >= 0 && c.object < VO_COUNT ? kObjectNames[c.object] : c.path.c_str();
    std::snprintf(line, sizeof(line), "%s %s %s id=%u", kKinds[c.kind], object, GuidText(c.set).c_str(),
                  static_cast<unsigned>(c.id));
    out += line;
    if (c.kind == VENDOR_CALL::QUERY) {
      std::snprintf(line, sizeof(line), " support=%u", static_cast<unsigned>(c.support));
      out += line;
    }
    if (c.code) {
      std::snprintf(line, sizeof(line), " code=0x%08X", static_cast<unsigned>(c.code));
      out += line;
    }
    std::snprintf(line, sizeof(line), " hr=0x%08X", static_cast<unsigned>(c.result));
    out += line;
    if (!c.instance.empty()) out += " instance=" + Hex(c.instance);
    if (c.kind != VENDOR_CALL::QUERY) out += " data=" + Hex(c.data);
    if (!c.payload.empty()) out += " payload=" + Hex(c.payload);
    if (!c.reply.empty()) out += " reply=" + Hex(c.reply);
    out += "\n";
  }
  return out;
}

void CEmulatedVendorDriver::FailCalls(const GUID& set, DWORD id, HRESULT result, int count, int skip) {
  std::lock_guard<std::mutex> g(m_lock);
  m_failures[PROPERTY_KEY{-1, set, id}] = FAILURE{result, count, skip};
}

void CEmulatedVendorDriver::FailIoControl(DWORD code, int count, int skip) {
  std::lock_guard<std::mutex> g(m_lock);
  m_failures[PROPERTY_KEY{-1, GUID{}, code}] = FAILURE{E_FAIL, count, skip};
}

void CEmulatedVendorDriver::SetSupport(VENDOR_OBJECT object, const GUID& set, DWORD id, DWORD support) {
  std::lock_guard<std::mutex> g(m_lock);
  if (support) {
    m_support[PROPERTY_KEY{object, set, id}] = support;
  } else {
    m_support.erase(PROPERTY_KEY{object, set, id});
  }
}

const std::vector<std::string>& EmulatedVendorFamilies() { return kFamilies; }

std::unique_ptr<CEmulatedVendorDriver> CreateEmulatedVendorDriver(const std::string& family,
                                                                  const VENDOR_DRIVER_OPTIONS& options,
                                                                  std::string* error) {
  if (std::find(kFamilies.begin(), kFamilies.end(), family) == kFamilies.end()) {
    if (error) {
      std::string known;
      for (const std::string& f : kFamilies) known += (known.empty() ? "" : ", ") + f;
      *error = "unknown driver family \"" + family + "\" (known: " + known + ")";
    }
    return nullptr;
  }
  if (error) error->clear();
  return std::make_unique<CEmulatedVendorDriver>(family, options);
}
