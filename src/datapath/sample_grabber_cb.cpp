#include "datapath/sample_grabber_cb.h"

#include "datapath/data_path.h"

HRESULT CSampleGrabberCB::SampleCB(double, const MEDIA_SAMPLE_INFO& sample) {
  std::lock_guard<std::mutex> guard(m_lock);
  if (!sample.data) return S_OK;
  if (sample.preroll || sample.discontinuity) return S_OK;
  try {
    m_handler(sample.data, sample.actualLength);
  } catch (...) {
    // Nothing may escape into the graph's streaming thread.
  }
  return S_OK;
}

CSampleGrabberCB& TheSampleGrabberCB() {
  static CSampleGrabberCB callback(&ProcessTransportBuffer);
  return callback;
}
