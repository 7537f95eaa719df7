// Choosing the extension type and its capabilities once per graph construction.
#include "extensions/extension_select.h"

#include <cstring>

#include "extensions/families.h"
#include "extensions/technotrend_api.h"
#include "platform/vendor_guids.h"
#include "log/log.h"
#include "platform/system.h"

namespace {
DWORD Support(CKsPropertySet* ps, const GUID& set, DWORD id) {
  if (!ps) return 0;
  DWORD support = 0;
  if (FAILED(ps->QuerySupported(set, id, &support))) return 0;
  return support;
}
bool Settable(CKsPropertySet* ps, const GUID& set, DWORD id) {
  return (Support(ps, set, id) & KSPROPERTY_SUPPORT_SET) != 0;
}
bool Gettable(CKsPropertySet* ps, const GUID& set, DWORD id) {
  return (Support(ps, set, id) & KSPROPERTY_SUPPORT_GET) != 0;
}

struct ATTACHMENT {
  const char* tunerNames[2];
  const char* captureName;
  bool macAtA0;
};
const ATTACHMENT kAttachments[] = {
    {{"TBS 8910 BDA Tuner/Demod", nullptr}, "TBS 8910 Video Capture", false},
    {{"TBS 8920 BDA Tuner/Demod", nullptr}, "TBS 8920 Video Capture", false},
    {{"TBS 8921 BDA Tuner/Demod", nullptr}, "TBS 8921 Video Capture", false},
    {{"TBS 8922 DVBS/S2 Tuner", nullptr}, "TBS 8922 Video Capture", false},
    {{"TBS 6920 BDA DVBS/S2 Tuner/Demod", nullptr}, "TBS 6920 Video Capture", true},
    {{"TBS 6921 BDA DVBS/S2 Tuner/Demod", nullptr}, "TBS 6921 Video Capture", true},
    {{"TBS 6925 BDA DVBS/S2 Tuner/Demod", nullptr}, "TBS 6925 Video Capture", true},
    {{"TBS 6980 BDA DVBS/S2 A Tuner/Demod", "TBS 6980 BDA DVBS/S2 B Tuner/Demod"}, "TBS 6980 Video Capture", true},
    {{"TBS 6981 BDA DVBS/S2 A Tuner/Demod", "TBS 6981 BDA DVBS/S2 B Tuner/Demod"}, "TBS 6981 Video Capture", true},
    {{"Prof 6200 BDA Tuner/Demod", nullptr}, "Prof 6200 Video Capture", false},
    {{"Prof 7300 BDA Tuner/Demod", nullptr}, "Prof 7300 Video Capture", false},
    {{"Prof 7301 BDA Tuner/Demod", nullptr}, "Prof 7301 Video Capture", false},
    {{"Prof 8000 BDA DVBS/S2 Tuner/Demod", nullptr}, "Prof 8000 Video Capture", true},
    {{"TeVii S420 BDA Tuner/Demod", nullptr}, "TeVii S420 Video Capture", false},
    {{"TeVii S460 BDA Tuner/Demod", nullptr}, "TeVii S460 Video Capture", false},
    {{"Omicom SkyStar 4 BDA Tuner/Demod", nullptr}, "Omicom SkyStar 4 Video Capture", false},
    {{"ST4200 BDA Tuner/Demod", nullptr}, "ST4200 Video Capture", false},
};
constexpr const char* kProf7500 = "Prof 7500 DVBS Tuner";
constexpr BYTE kMacOffsetA0 = 0xA0;

BYTE LastCharacter(const std::string& name) {
  return name.empty() ? 0 : static_cast<BYTE>(name.back());
}
}  // namespace

CExtension::CExtension() = default;
CExtension::~CExtension() { Release(); }

bool CExtension::RunsStep(int type) const { return m_type == EXT_GENERIC || m_bdaType == type; }

void CExtension::TakeStep(int type, DWORD caps) {
  // A non-zero set is kept even when the step's test does not take the type.
  if (caps) m_caps = caps;
  m_type = type;
}

void CExtension::Select(const EXTENSION_DEVICE& device, const EXTENSION_INTERFACES& interfaces, int bdaType,
                        CExtensionHost& host, CBdaSetters& setters) {
  Release();
  m_device = device;
  m_ps = interfaces;
  m_bdaType = bdaType;
  m_host = &host;
  m_setters = &setters;
  m_type = EXT_GENERIC;
  m_caps = 0;
  m_tunerIndex = 0;
  m_macEepromOffset = 0x10;
  m_quarnStreamWord = 0;
  m_jacTekSet = GUID{};
  const bool satellite = m_device.networkType == NET_SATELLITE;

  // Technotrend devices are served by the vendor API when it opens.
  if (m_device.extensionTypeHint == EXT_TECHNOTREND) {
    m_type = EXT_GENERIC;
    m_ttHandle = nullptr;
    if (m_device.ttDeviceClass != 0) {
      TTHANDLE h = bdaapiOpenDevice(host, m_device.ttDeviceClass, m_device.ttDeviceIndex);
      if (TtValidHandle(h)) {
        m_ttHandle = h;
        m_type = EXT_TECHNOTREND;
        m_caps = CAP_MAC;
        if (satellite) m_caps = CAP_DISEQC | CAP_TONEBURST | CAP_LNB_POWER | CAP_MAC;
        if (m_device.networkType == NET_TERRESTRIAL) m_caps |= CAP_LNB_POWER;
      }
    }
  }

  ProbeAll();

  if (m_type == EXT_TBS_CXT) AttachVideoCapture();

  if (m_type == EXT_TBS_NXP || m_type == EXT_TBS_PCIE) {
    BYTE c = LastCharacter(m_device.friendlyName);
    if (c >= 'A' && c <= 'Z') {
      m_tunerIndex = static_cast<BYTE>(c - 'A' + 1);
    } else if (c >= '0' && c <= '9') {
      m_tunerIndex = static_cast<BYTE>(c - '0' + 1);
    } else {
      m_tunerIndex = 0;
    }
  }

  if (m_type == EXT_CONEXANT) {
    DWORD s = Support(m_ps.capture, KSPROPSETID_GeniatechMac, 0);
    if ((s & KSPROPERTY_SUPPORT_GET) && (s & KSPROPERTY_SUPPORT_SET)) {
      m_type = EXT_GENIATECH;
      m_caps |= CAP_MAC;
    }
  }

  if (m_type == EXT_GENERIC && satellite) {
    m_caps = 0;
    if (Settable(m_ps.tunerInput, KSPROPSETID_BdaFrequencyFilter, 2)) m_caps = CAP_DISEQC_POSITION;
  }
  m_active = true;
}

void CExtension::ProbeAll() {
  const bool satellite = m_device.networkType == NET_SATELLITE;
  const bool terrestrial = m_device.networkType == NET_TERRESTRIAL;

  if (RunsStep(EXT_DVBWORLD)) {
    HANDLE h = INVALID_HANDLE_VALUE;
    if (FAILED(m_host->GetTunerKernelHandle(&h)) || h == INVALID_HANDLE_VALUE) {
      m_kernelHandle = INVALID_HANDLE_VALUE;
      TraceError("BuildGraph", "Can't get handle for Property IOCTLs");
    } else {
      m_kernelHandle = h;
      if (SUCCEEDED(DW_Probe(h))) TakeStep(EXT_DVBWORLD, satellite ? 0x021 : 0x020);
    }
  }

  if (RunsStep(EXT_OMICOM)) {
    CKsPropertySet* ps = m_ps.tuner;
    DWORD caps = 0;
    if (Settable(ps, KSPROPSETID_OmicomDiseqc, 0)) caps |= 0x001;
    if (Gettable(ps, KSPROPSETID_OmicomDiseqc, 1)) caps |= 0x002;
    if (Settable(ps, KSPROPSETID_OmicomDiseqc, 4)) caps |= 0x004;
    if (Gettable(ps, KSPROPSETID_OmicomI2c, 2)) caps |= 0x020;
    if (Gettable(ps, KSPROPSETID_OmicomCustom, 4)) caps |= 0x040;
    if (Settable(ps, KSPROPSETID_OmicomCustom, 6)) caps |= 0x080;
    if (Settable(ps, KSPROPSETID_OmicomCustom, 9)) caps |= 0x100;
    if (Settable(ps, KSPROPSETID_OmicomCustom, 10)) caps |= 0x200;
    if (caps) TakeStep(EXT_OMICOM, caps);
  }

  if (RunsStep(EXT_COMPRO)) {
    CKsPropertySet* ps = m_ps.tuner;
    DWORD caps = 0;
    if (Settable(ps, KSPROPSETID_ComproDiseqc, 1)) caps |= 0x001;
    if (Settable(ps, KSPROPSETID_ComproDiseqc, 2)) caps |= 0x010;
    if (Gettable(ps, KSPROPSETID_ComproMac, 0)) caps |= 0x020;
    if (caps) TakeStep(EXT_COMPRO, caps);
  }

  if (RunsStep(EXT_GENPIX_OLD) && Settable(m_ps.tunerOutput, KSPROPSETID_GenpixOld, 0))
    TakeStep(EXT_GENPIX_OLD, 0x005);

  if (RunsStep(EXT_GENPIX) && Settable(m_ps.tuner, KSPROPSETID_Genpix, 1)) TakeStep(EXT_GENPIX, 0x005);

  if (RunsStep(EXT_QUARN)) {
    DWORD caps = 0;
    if (Settable(m_ps.tuner, KSPROPSETID_Quarn, 1)) caps |= 0x001;
    if (Gettable(m_ps.tuner, KSPROPSETID_Quarn, 2)) caps |= 0x040;
    if (Settable(m_ps.tuner, KSPROPSETID_Quarn, 9)) caps |= 0x200;
    if (Settable(m_ps.tunerOutput, KSPROPSETID_QuarnStream, 12)) caps |= 0x180;
    if (caps) TakeStep(EXT_QUARN, caps);
  }

  if (RunsStep(EXT_NETUP) && Settable(m_ps.tunerOutput, KSPROPSETID_Netup, 0)) {
    BYTE value = 0;
    DWORD caps = SUCCEEDED(Netup_I2CWriteRead(m_ps.tunerOutput, 0xA0, kNetupProbeRegister, &value, 1))
                     ? 0x021
                     : 0x001;
    TakeStep(EXT_NETUP, caps);
    BYTE c = LastCharacter(m_device.friendlyName);
    m_tunerIndex = (c >= '0' && c <= '9') ? static_cast<BYTE>(c - '0') : 0;
  }

  if (RunsStep(EXT_TWINHAN) && m_ps.tunerInput && SUCCEEDED(Twinhan_CheckInterface(m_ps.tunerInput)))
    TakeStep(EXT_TWINHAN, satellite ? 0x033 : terrestrial ? 0x030 : 0x020);

  const GUID& tunerExt = KSPROPSETID_BdaTunerExtensionProperties;
  if (RunsStep(EXT_CONEXANT)) {
    DWORD s = Support(m_ps.tunerInput, tunerExt, 0);
    if ((s & KSPROPERTY_SUPPORT_GET) && (s & KSPROPERTY_SUPPORT_SET))
      TakeStep(EXT_CONEXANT, Settable(m_ps.tunerInput, tunerExt, 11) ? 0x013 : 0x003);
  }

  if (RunsStep(EXT_BESTUNAR)) {
    DWORD caps = 0;
    if (Settable(m_ps.tunerInput, KSPROPSETID_Bestunar, 0)) caps |= 0x001;
    if (Settable(m_ps.tunerInput, KSPROPSETID_Bestunar, 5)) caps |= 0x020;
    if (caps) TakeStep(EXT_BESTUNAR, caps);
  }

  if (RunsStep(EXT_HAUPPAUGE)) {
    DWORD s = Support(m_ps.tunerInput, KSPROPSETID_HauppaugeTunerExtension, 0);
    if ((s & KSPROPERTY_SUPPORT_GET) && (s & KSPROPERTY_SUPPORT_SET)) TakeStep(EXT_HAUPPAUGE, 0x003);
  }

  if (RunsStep(EXT_TBS_PCIE) && Settable(m_ps.tunerInput, tunerExt, 21)) {
    CKsPropertySet* ps = m_ps.tunerInput;
    DWORD caps = 0;
    if (satellite) {
      caps = Settable(ps, tunerExt, 23) ? 0x117 : 0x017;
      if (Settable(ps, tunerExt, 24)) caps |= 0x200;
    }
    if (Gettable(ps, tunerExt, 15)) caps |= 0x020;
    if (Settable(ps, tunerExt, 22)) caps |= 0x080;
    if (Gettable(ps, tunerExt, 6)) caps |= 0x040;
    if (caps) TakeStep(EXT_TBS_PCIE, caps);
  }

  if (RunsStep(EXT_TBS_USB) && Settable(m_ps.tuner, KSPROPSETID_TbsUsb, 18)) {
    CKsPropertySet* ps = m_ps.tuner;
    DWORD caps = Gettable(ps, KSPROPSETID_TbsUsb, 6) ? 0x037 : 0x017;
    if (Settable(ps, KSPROPSETID_TbsUsb, 19)) caps |= 0x080;
    if (Settable(ps, KSPROPSETID_TbsUsb, 20)) caps |= 0x100;
    if (Settable(ps, KSPROPSETID_TbsUsb, 21)) caps |= 0x200;
    if (Gettable(ps, KSPROPSETID_TbsUsb, 11)) caps |= 0x040;
    TakeStep(EXT_TBS_USB, caps);
  }

  if (RunsStep(EXT_TBS_QBOX)) {
    CKsPropertySet* ps = m_ps.tuner;
    DWORD caps = 0;
    if (satellite) {
      if (Settable(ps, KSPROPSETID_TbsUsb, 3)) caps |= 0x001;
      if (Settable(ps, KSPROPSETID_TbsUsb, 4)) caps |= 0x010;
      if (Settable(ps, KSPROPSETID_TbsUsb, 20)) caps |= 0x100;
      if (Settable(ps, KSPROPSETID_TbsUsb, 21)) caps |= 0x200;
    }
    if (Gettable(ps, KSPROPSETID_TbsUsb, 6)) caps |= 0x020;
    if (Settable(ps, KSPROPSETID_TbsUsb, 19)) caps |= 0x080;
    if (Gettable(ps, KSPROPSETID_TbsUsb, 11)) caps |= 0x040;
    if (caps) {
      // The Prof 7500 answers this set but is driven as a TBS CXT card.
      if (m_device.friendlyName != kProf7500) {
        TakeStep(EXT_TBS_QBOX, caps);
      } else {
        m_caps = caps;
      }
    }
  }

  if (RunsStep(EXT_TBS_NXP)) {
    DWORD s = Support(m_ps.tunerInput, tunerExt, 0);
    if ((s & KSPROPERTY_SUPPORT_SET) && !(s & KSPROPERTY_SUPPORT_GET)) {
      CKsPropertySet* ps = m_ps.tunerInput;
      DWORD caps = Gettable(ps, tunerExt, 15) ? 0x021 : 0x001;
      if (Settable(ps, tunerExt, 22)) caps |= 0x080;
      if (Settable(ps, tunerExt, 23)) caps |= 0x100;
      if (Settable(ps, tunerExt, 24)) caps |= 0x200;
      if (Gettable(ps, tunerExt, 6)) caps |= 0x040;
      TakeStep(EXT_TBS_NXP, caps);
    }
  }

  if (RunsStep(EXT_JACTEK)) {
    for (const GUID* set : {&KSPROPSETID_JacTek, &KSPROPSETID_JacTekAlternate}) {
      DWORD caps = 0;
      if (Support(m_ps.tunerInput, *set, 2) == KSPROPERTY_SUPPORT_SET) caps |= 0x011;
      if (Support(m_ps.tunerInput, *set, 5) == KSPROPERTY_SUPPORT_GET) caps |= 0x020;
      if (caps) {
        m_jacTekSet = *set;
        TakeStep(EXT_JACTEK, caps);
        break;
      }
    }
  }

  if (RunsStep(EXT_TBS_CXT)) {
    DWORD s = Support(m_ps.tunerInput, tunerExt, 0);
    if ((s & KSPROPERTY_SUPPORT_GET) && !(s & KSPROPERTY_SUPPORT_SET)) {
      CKsPropertySet* ps = m_ps.tunerInput;
      DWORD caps = 0;
      if (satellite) {
        caps = Settable(ps, tunerExt, 23) ? 0x113 : 0x013;
        if (Settable(ps, tunerExt, 24)) caps |= 0x200;
      }
      if (Settable(ps, tunerExt, 22)) caps |= 0x080;
      if (Gettable(ps, tunerExt, 6)) caps |= 0x040;
      if (caps) TakeStep(EXT_TBS_CXT, caps);
    }
  }

  if (RunsStep(EXT_ANYSEE) && Settable(m_ps.capture, KSPROPSETID_AnySee, 24)) TakeStep(EXT_ANYSEE, 0x005);

  if (RunsStep(EXT_MICROSOFT)) {
    CKsPropertySet* ps = m_ps.tunerInput;
    const GUID& set = KSPROPSETID_BdaDiseqCommand;
    DWORD caps = 0;
    if (Settable(ps, set, 0)) {
      if (Settable(ps, set, 1)) caps |= 0x008;
      if (Settable(ps, set, 2)) caps |= 0x004;
    }
    if (Settable(ps, set, 4)) caps |= Gettable(ps, set, 5) ? 0x003 : 0x001;
    if (caps) TakeStep(EXT_MICROSOFT, caps);
  }
}

void CExtension::AttachVideoCapture() {
  for (const ATTACHMENT& row : kAttachments) {
    bool match = false;
    for (const char* name : row.tunerNames) {
      if (name && m_device.friendlyName.find(name) != std::string::npos) match = true;
    }
    if (!match) continue;
    CKsPropertySet* ps = nullptr;
    HRESULT hr = m_host->AttachVideoCapture(row.captureName, &ps);
    if (FAILED(hr)) {
      SystemServices().SetLastError(static_cast<DWORD>(hr));
      TraceError("BuildGraph", "Cannot attach to VideoCaptureDevice");
      continue;
    }
    if (!ps) {
      TraceError("BuildGraph", "m_pVideoCaptureDevice->QI: Can't QI for IKsPropertySet");
    }
    m_videoCapture = ps;
    m_videoCaptureShared = false;
    if (row.macAtA0) m_macEepromOffset = kMacOffsetA0;
  }
  if (m_videoCapture && Gettable(m_videoCapture, KSPROPSETID_CX_GOSHAWK2_DIAG_PROP, 3)) m_caps |= CAP_MAC;
  if (m_device.friendlyName.find(kProf7500) != std::string::npos) {
    // The Prof 7500 reads its EEPROM through the tuner output pin.
    m_videoCapture = m_ps.tunerOutput;
    m_videoCaptureShared = true;
    m_caps |= CAP_MAC;
  }
}

void CExtension::Release() {
  m_active = false;
  if (m_ttHandle) {
    bdaapiCloseDevice(m_ttHandle);
    m_ttHandle = nullptr;
  }
  m_ps = EXTENSION_INTERFACES{};
  m_videoCapture = nullptr;
  m_videoCaptureShared = false;
  m_kernelHandle = INVALID_HANDLE_VALUE;
  m_host = nullptr;
  m_setters = nullptr;
}
