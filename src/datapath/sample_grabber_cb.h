// The sample-grabber callback's logic: the platform's callback itself. The Windows backend
// wraps it in the COM shell of ISampleGrabberCB; the emulated platform calls it directly.
#pragma once
#include <mutex>

#include "platform/sample_callback.h"
#include "platform/win_types.h"

class CSampleGrabberCB : public CSampleCallback {
 public:
  using Handler = void (*)(const BYTE* data, DWORD size);

  explicit CSampleGrabberCB(Handler handler) : m_handler(handler) {}

  // Always S_OK; the lock is released on every path.
  HRESULT SampleCB(double sampleTime, const MEDIA_SAMPLE_INFO& sample) override;
  HRESULT BufferCB(double, BYTE*, long) { return S_OK; }

  // Held for one buffer's whole processing; the user-interface thread takes it
  // to rewrite the filter table, zero counters or replace the adapter handle.
  std::mutex& Lock() { return m_lock; }

 private:
  std::mutex m_lock;
  Handler m_handler;
};

// The program's one callback object, handing buffers to ProcessTransportBuffer.
CSampleGrabberCB& TheSampleGrabberCB();
