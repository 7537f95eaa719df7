// The family functions the uniform extension operations dispatch to. Each takes
// the property set (or kernel handle) it talks to; a null interface gives
// E_NOINTERFACE unless noted. DiSEqC functions take (message, length, repeat);
// tone-burst functions 0 for burst A, 1 for burst B.
#pragma once
#include "platform/ks_property_set.h"
#include "platform/win_types.h"

// Tuner-extension set on the tuner input pin: Conexant and Geniatech (log reports).
HRESULT CXT_DiseqSendCommand(CKsPropertySet* ps, const BYTE* message, ULONG length, ULONG repeat);
HRESULT CXT_LNBPower(CKsPropertySet* ps, ULONG on);
// The 188-byte Conexant message block on any set (Bestunar adds dword 172 = 1).
struct VENDOR_PROPERTY;
struct CALL_SITE;
HRESULT SendConexantMessageBlock(CKsPropertySet* ps, const VENDOR_PROPERTY& p, const CALL_SITE& site,
                                 const BYTE* message, ULONG length, ULONG repeat, bool bestunar);
// Hauppauge: the Conexant message block on its own set (log reports).
HRESULT HAUP_DiseqSendCommand(CKsPropertySet* ps, const BYTE* message, ULONG length, ULONG repeat);
// Geniatech MAC through the capture filter; no reports.
HRESULT Geniatech_GetMAC(CKsPropertySet* capture, BYTE* mac);

// TBS CXT: DiSEqC and LNB power are Get calls on the tuner input pin.
HRESULT TBS_CXT_DiseqSendCommand(CKsPropertySet* ps, const BYTE* message, ULONG length, ULONG repeat);
HRESULT TBS_CXT_LNBPower(CKsPropertySet* ps, ULONG on);
// MAC from the card's EEPROM through the video-capture filter.
HRESULT TBS_CXT_GetMAC(CKsPropertySet* videoCapture, BYTE eepromOffset, BYTE* mac);

// TBS NXP (also serves TBS PCIe and TBS CXT for signal, PLP, PLS, modcode).
HRESULT TBS_NXP_DiseqSendCommand(CKsPropertySet* ps, const BYTE* message, ULONG length, ULONG repeat);
HRESULT TBS_NXP_GetSignalEx(CKsPropertySet* ps, LONG* level, double* snr, double* ber);
HRESULT TBS_NXP_GetMAC(CKsPropertySet* ps, BYTE tunerIndex, BYTE* mac);
HRESULT TBS_NXP_SetPLP(CKsPropertySet* ps, LONG streamId);
HRESULT TBS_NXP_SetPLS(CKsPropertySet* ps, ULONG mode, ULONG code);
HRESULT TBS_NXP_SetModcode(CKsPropertySet* ps, ULONG modcode);

// TBS PCIe access block.
HRESULT TBS_LNBPower(CKsPropertySet* ps, ULONG on);
HRESULT TBS_DiseqSendToneBurst(CKsPropertySet* ps, ULONG burst);
HRESULT TBS_DiseqSendCommand(CKsPropertySet* ps, const BYTE* message, ULONG length, ULONG repeat);

// TBS USB set on the tuner filter: QBOX and USB.
HRESULT TBS_QBOX_DiseqSendCommand(CKsPropertySet* ps, const BYTE* message, ULONG length, ULONG repeat);
HRESULT TBS_QBOX_LNBPower(CKsPropertySet* ps, ULONG on);
HRESULT TBS_QBOX_GetMAC(CKsPropertySet* ps, BYTE* mac);
HRESULT TBS_USB_GetSignalEx(CKsPropertySet* ps, LONG* level, double* snr, double* ber);
HRESULT TBS_USB_LNBPower(CKsPropertySet* ps, ULONG on);
HRESULT TBS_USB_DiseqSendToneBurst(CKsPropertySet* ps, ULONG burst);
HRESULT TBS_USB_DiseqSendCommand(CKsPropertySet* ps, const BYTE* message, ULONG length, ULONG repeat);
HRESULT TBS_USB_SetPLP(CKsPropertySet* ps, LONG streamId);
HRESULT TBS_USB_SetPLS(CKsPropertySet* ps, ULONG mode, ULONG code);
HRESULT TBS_USB_SetModcode(CKsPropertySet* ps, ULONG modcode);

// The 1348-byte modcode list both TBS sets take: fills buffer, returns the entry count.
constexpr DWORD kModcodeListSize = 1348;
DWORD BuildModcodeList(ULONG modcode, BYTE* buffer);

// Bestunar on the tuner input pin.
HRESULT BST_DiseqSendCommand(CKsPropertySet* ps, const BYTE* message, ULONG length, ULONG repeat);
HRESULT BST_GetMAC(CKsPropertySet* ps, BYTE* mac);

// Omicom on the tuner filter.
HRESULT OMC_DiseqSendCommand(CKsPropertySet* ps, const BYTE* message, ULONG length, ULONG repeat);
HRESULT OMC_DiseqSendToneBurst(CKsPropertySet* ps, ULONG burst);
HRESULT OMC_I2CWrite(CKsPropertySet* ps, BYTE address, const BYTE* data, ULONG length);
HRESULT OMC_I2CRead(CKsPropertySet* ps, BYTE address, BYTE* data, ULONG length);
HRESULT OMC_GetMAC(CKsPropertySet* ps, BYTE* mac);
HRESULT OMC_GetSignalEx(CKsPropertySet* ps, LONG* level, double* snr, double* ber);
HRESULT OMC_SetMIS(CKsPropertySet* ps, LONG streamId);
HRESULT OMC_SetPLS(CKsPropertySet* ps, ULONG mode, ULONG code);
HRESULT OMC_SetModcode(CKsPropertySet* ps, ULONG modcode);

// Compro on the tuner filter; a null MAC buffer gives E_POINTER.
HRESULT Compro_DiseqSendCommand(CKsPropertySet* ps, const BYTE* message, ULONG length, ULONG repeat);
HRESULT Compro_LNBPower(CKsPropertySet* ps, ULONG on);
HRESULT Compro_GetMAC(CKsPropertySet* ps, BYTE* mac);

// AnySee on the capture filter, Genpix 3dparty on the tuner output pin, Genpix
// on the tuner filter: these take the tone burst (0 none, 1 A, 2 B) as well.
HRESULT AnySee_DiseqSendCommand(CKsPropertySet* ps, const BYTE* message, ULONG length, ULONG repeat,
                                BYTE toneBurst);
HRESULT GenpixOld_DiseqSendCommand(CKsPropertySet* ps, const BYTE* message, ULONG length,
                                   ULONG repeat, BYTE toneBurst);
HRESULT Genpix_DiseqSendCommand(CKsPropertySet* ps, const BYTE* message, ULONG length, ULONG repeat,
                                BYTE toneBurst);

// Netup I/O-control property on the tuner output pin.
HRESULT Netup_DiseqSendCommand(CKsPropertySet* ps, const BYTE* message, ULONG length, ULONG repeat);
HRESULT Netup_I2CWriteRead(CKsPropertySet* ps, BYTE address, BYTE reg, BYTE* data, ULONG length);
HRESULT Netup_GetMAC(CKsPropertySet* ps, BYTE tunerIndex, BYTE* mac);
constexpr BYTE kNetupProbeRegister = 63;

// Quarn on the tuner filter.
HRESULT Quarn_DiseqSendCommand(CKsPropertySet* ps, const BYTE* message, ULONG length, ULONG repeat);
HRESULT Quarn_GetSignal(CKsPropertySet* ps, LONG* level, double* snr, double* ber);
HRESULT Quarn_SetModcode(CKsPropertySet* ps, ULONG modcode);

// JacTek (TeVii) on the tuner input pin, with the set the probe chose.
HRESULT TeVii_DiseqSendCommand(CKsPropertySet* ps, const GUID& set, const BYTE* message, ULONG length,
                               ULONG repeat);
HRESULT TeVii_GetMAC(CKsPropertySet* ps, const GUID& set, BYTE* mac);

// Twinhan command envelope on the tuner input pin; no reports.
constexpr DWORD TWINHAN_CHECK_INTERFACE = 0xAA0001E4;
constexpr DWORD TWINHAN_DEVICE_INFO = 0xAA0001F0;
constexpr DWORD TWINHAN_ANTENNA_POWER = 0xAA000190;
constexpr DWORD TWINHAN_READ_LNB_CONFIG = 0xAA000204;
constexpr DWORD TWINHAN_WRITE_LNB_CONFIG = 0xAA000200;
constexpr DWORD TWINHAN_DISEQC_MESSAGE = 0xAA0001A0;
constexpr DWORD kTwinhanLnbConfigSize = 20;
constexpr DWORD kTwinhanDeviceInfoSize = 240;
HRESULT Twinhan_Command(CKsPropertySet* ps, DWORD code, void* in, DWORD inLength, void* out,
                        DWORD outLength, DWORD* returned);
HRESULT Twinhan_CheckInterface(CKsPropertySet* ps);
HRESULT Twinhan_GetMAC(CKsPropertySet* ps, BYTE* mac);
HRESULT Twinhan_SetAntennaPower(CKsPropertySet* ps, ULONG on);
HRESULT Twinhan_ReadLnbConfig(CKsPropertySet* ps, BYTE* config);
HRESULT Twinhan_WriteLnbConfig(CKsPropertySet* ps, BYTE* config);
HRESULT Twinhan_SendDiseqc(CKsPropertySet* ps, const BYTE* message, ULONG length);

// DVBWorld: IOCTL_KS_PROPERTY on the tuner's kernel handle (log reports).
HRESULT DW_KsProperty(HANDLE handle, const void* request, DWORD requestLength, void* out,
                      DWORD outLength, DWORD* returned);
HRESULT DW_Probe(HANDLE handle);
HRESULT DW_DiseqSendCommand(HANDLE handle, const BYTE* message, ULONG length, ULONG repeat);
HRESULT DW_GetMAC(HANDLE handle, BYTE* mac);
