// Netup: every request is a command envelope sent through the I/O-control
// property on the tuner output pin.
#include <cstring>
#include <vector>

#include "platform/buffer_address.h"
#include "extensions/families.h"
#include "extensions/property_call.h"
#include "platform/vendor_guids.h"
#include "log/log.h"

namespace {
const VENDOR_PROPERTY kIoctl{&KSPROPSETID_Netup, 0, "KSPROPERTY_BDA_NETUP_IOCTL"};
constexpr DWORD kDiseqcCode = 0x100000;
constexpr ULONG kMaxMessage = 8;
constexpr ULONG kMaxRead = 256;
constexpr BYTE kEepromAddress = 0xA0;
constexpr BYTE kMacRegisterFirstTuner = 64;
constexpr BYTE kMacRegisterOtherTuner = 70;

HRESULT SendCommand(CKsPropertySet* ps, const CALL_SITE& site, DWORD code, void* write, DWORD writeCount,
                    void* reply, DWORD replySize, DWORD* readCount) {
  CBufferAddressScope scope;
  BYTE command[24] = {};
  PutDword(command, 0, code);
  PutDword(command, 4, BufferAddressToDword(write));
  PutDword(command, 8, writeCount);
  PutDword(command, 12, BufferAddressToDword(reply));
  PutDword(command, 16, replySize);
  PutDword(command, 20, BufferAddressToDword(readCount));
  HRESULT hr = ps->Set(*kIoctl.set, kIoctl.id, nullptr, 0, command, sizeof(command));
  if (FAILED(hr)) ReportFailure(hr, "Set", kIoctl.name, site);
  return hr;
}
}  // namespace

HRESULT Netup_DiseqSendCommand(CKsPropertySet* ps, const BYTE* message, ULONG length, ULONG repeat) {
  const CALL_SITE site{"Netup_DiseqSendCommand"};
  if (!ps) return E_NOINTERFACE;
  if (!message || length < 1 || length > kMaxMessage) return InvalidArgument(false);
  HRESULT hr = CheckSupport(ps, kIoctl, KSPROPERTY_SUPPORT_SET, "Set", site);
  if (FAILED(hr)) return hr;
  std::vector<BYTE> msg(message, message + length);
  return RepeatDiseqc(msg.data(), repeat, PAUSE_AFTER_EVERY_SEND, REPORT_AND_GO_ON, [&](bool) {
    BYTE write[kMaxMessage] = {};
    std::memcpy(write, msg.data(), length);
    return SendCommand(ps, site, kDiseqcCode, write, length, nullptr, 0, nullptr);
  });
}

HRESULT Netup_I2CWriteRead(CKsPropertySet* ps, BYTE address, BYTE reg, BYTE* data, ULONG length) {
  const CALL_SITE site{"Netup_I2CWriteRead"};
  if (!ps) return E_NOINTERFACE;
  if (!data || length < 1 || length > kMaxRead) return InvalidArgument(false);
  HRESULT hr = CheckSupport(ps, kIoctl, KSPROPERTY_SUPPORT_SET, "Set", site);
  if (FAILED(hr)) return hr;
  const DWORD bus = 0;
  DWORD code = ((0x8200u | bus) << 8) | static_cast<DWORD>(address >> 1);
  BYTE write[1] = {reg};
  std::vector<BYTE> reply(length, 0);
  DWORD readCount = 0;
  hr = SendCommand(ps, site, code, write, 1, reply.data(), length, &readCount);
  if (FAILED(hr)) return hr;
  if (readCount != length) {
    LogMessage("Netup_I2CWriteRead - received %d instead %d bytes !", static_cast<int>(readCount),
               static_cast<int>(length));
    // A short read is not the data asked for; never hand it on as such.
    return E_FAIL;
  }
  std::memcpy(data, reply.data(), length);
  return hr;
}

HRESULT Netup_GetMAC(CKsPropertySet* ps, BYTE tunerIndex, BYTE* mac) {
  if (!mac) return E_POINTER;
  BYTE reg = tunerIndex == 0 ? kMacRegisterFirstTuner : kMacRegisterOtherTuner;
  return Netup_I2CWriteRead(ps, kEepromAddress, reg, mac, 6);
}
