#include "platform/emulated/sink_device.h"

#include <utility>

CSinkDevice::CSinkDevice(std::shared_ptr<CPacketSink> sink) : m_sink(std::move(sink)) {}

BOOL CSinkDevice::IoControl(DWORD, const void*, DWORD, void*, DWORD, DWORD* returned) {
  if (returned) *returned = 0;
  return FALSE;
}

BOOL CSinkDevice::Write(const void* data, DWORD length, DWORD* written) {
  bool ok = m_sink->Deliver(static_cast<const BYTE*>(data), length);
  if (written) *written = ok ? length : 0;
  return ok ? TRUE : FALSE;
}
