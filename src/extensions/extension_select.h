// The vendor extension serving the open device: chosen once per graph
// construction, then reached through the uniform operations below.
//
// CBdaGraph holds one CExtension. BuildGraph fills EXTENSION_DEVICE and
// EXTENSION_INTERFACES from its device record and property sets and calls
// Select at the extension step; DestroyGraph calls Release (which closes the
// Technotrend handle). The graph forwards GetCaps, SendDiseqc, SetLnbPower,
// SetDiseqcPosition, GetHardwareMac, GetSignalEx, SetStreamId, SetPls,
// SetModcode and S2Modulation; before Select and after Release they return
// E_FAIL (GetCaps 0), so a failed or torn-down graph needs no extra check.
#pragma once
#include <memory>
#include <string>

#include "extensions/extension_host.h"
#include "extensions/extension_types.h"
#include "extensions/technotrend_api.h"
#include "platform/ks_property_set.h"
#include "platform/win_types.h"
#include "tuner/tuner_properties.h"

class CTtApiHandle;

// From the graph's copy of the device record.
struct EXTENSION_DEVICE {
  int networkType = 0;          // 1 satellite, 2 cable, 3 terrestrial, 4 ATSC, 5 ISDB
  std::string friendlyName;     // the tuner's friendly name
  int extensionTypeHint = 0;    // 1 for a Technotrend device
  int ttDeviceClass = 0;        // 0, or 1..6
  DWORD ttDeviceIndex = 0;      // the tuner pin's medium id
};

// The graph's property sets; any may be null. The graph owns them.
struct EXTENSION_INTERFACES {
  CKsPropertySet* tunerInput = nullptr;   // tuner filter's first input pin
  CKsPropertySet* tunerOutput = nullptr;  // tuner filter's first output pin
  CKsPropertySet* tuner = nullptr;        // the tuner filter
  CKsPropertySet* capture = nullptr;      // the capture filter (receiver component)
};

class CExtension {
 public:
  CExtension();
  ~CExtension();
  CExtension(const CExtension&) = delete;
  CExtension& operator=(const CExtension&) = delete;

  // Chooses ExtensionType and the capability flags; bdaType is the "BDAType"
  // setting (0 automatic, 1..21 forced). Never fails the build.
  // The standard BDA setters are the tuner's, below this layer: the extensions that drive
  // the standard properties set them there.
  void Select(const EXTENSION_DEVICE& device, const EXTENSION_INTERFACES& interfaces, int bdaType,
              CExtensionHost& host, CBdaSetters& setters);
  // Graph teardown: forgets the interfaces, closes the Technotrend handle.
  void Release();

  bool IsActive() const { return m_active; }
  int ExtensionType() const { return m_type; }
  const char* DisplayName() const { return ExtensionDisplayName(m_type); }

  DWORD GetCaps() const;
  HRESULT SendDiseqc(const BYTE* message, ULONG length, ULONG repeat, BYTE toneBurst);
  HRESULT SetLnbPower(ULONG on);
  HRESULT SetDiseqcPosition(ULONG position, ULONG toneBurst);
  HRESULT GetHardwareMac(BYTE* mac);
  HRESULT GetSignalEx(LONG* level, double* snr, double* ber);
  HRESULT SetStreamId(LONG streamId);
  HRESULT SetPls(ULONG mode, ULONG code);
  HRESULT SetModcode(ULONG modcode);
  // BDA ModulationType for DVB-S2 on this extension.
  LONG S2Modulation() const;
  // KSPROPSETID_BdaSignalStats ids of the standard strength and quality reads.
  DWORD SignalStrengthId() const;
  DWORD SignalQualityId() const;

  // State the selection settled (for the graph, the probe tool and tests).
  BYTE TunerIndex() const { return m_tunerIndex; }
  BYTE MacEepromOffset() const { return m_macEepromOffset; }
  DWORD QuarnStreamWord() const { return m_quarnStreamWord; }
  HANDLE KernelHandle() const { return m_kernelHandle; }
  CKsPropertySet* VideoCapture() const { return m_videoCapture; }
  bool VideoCaptureShared() const { return m_videoCaptureShared; }
  CTtApiHandle* TtHandle() const { return m_ttHandle; }
  // After graph construction: the USB port speed of a Technotrend USB device, its
  // result code written to the log.
  USB_SPEED_CHECK CheckUsbHighSpeed();
  const GUID& JacTekSet() const { return m_jacTekSet; }

 private:
  bool Ready() const { return m_active; }
  bool RunsStep(int type) const;
  void TakeStep(int type, DWORD caps);
  void ProbeAll();
  void AttachVideoCapture();

  bool m_active = false;
  int m_type = EXT_GENERIC;
  DWORD m_caps = 0;
  int m_bdaType = 0;
  EXTENSION_DEVICE m_device;
  EXTENSION_INTERFACES m_ps;
  CExtensionHost* m_host = nullptr;
  CBdaSetters* m_setters = nullptr;
  CKsPropertySet* m_videoCapture = nullptr;
  bool m_videoCaptureShared = false;
  HANDLE m_kernelHandle = INVALID_HANDLE_VALUE;
  CTtApiHandle* m_ttHandle = nullptr;  // owned; closed by bdaapiCloseDevice
  BYTE m_tunerIndex = 0;
  BYTE m_macEepromOffset = 0x10;
  DWORD m_quarnStreamWord = 0;
  GUID m_jacTekSet{};
};
