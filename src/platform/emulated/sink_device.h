// A stand-in driver whose writes go straight to a packet sink: an adapter without
// I/O controls of its own (the packet tool's adapter, tests of the device path).
#pragma once
#include <memory>

#include "platform/emulated/emulated_device_io.h"
#include "platform/portable/packet_sink.h"

class CSinkDevice : public CEmulatedDevice {
 public:
  explicit CSinkDevice(std::shared_ptr<CPacketSink> sink);

  CPacketSink& Sink() const { return *m_sink; }

  // No I/O controls: every one is refused.
  BOOL IoControl(DWORD code, const void* in, DWORD inLength, void* out, DWORD outLength,
                 DWORD* returned) override;
  // Delivered to the sink; fails when the sink refused the packet.
  BOOL Write(const void* data, DWORD length, DWORD* written) override;

 private:
  std::shared_ptr<CPacketSink> m_sink;
};
