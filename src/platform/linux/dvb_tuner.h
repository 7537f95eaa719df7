// The BDA tuner filter of a DVB frontend: antenna input and transport output pins with
// the frontend's property sets, topology and device control, and the streaming thread
// that reads the frontend's dvr device into samples for the grabber downstream.
#pragma once
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/emulated/bda_filters.h"
#include "platform/linux/dvb_frontend.h"

// What the streams of a platform's tuners delivered, for diagnostics and tests.
struct DVB_STREAM_COUNTERS {
  std::atomic<uint64_t> samples{0};
  std::atomic<uint64_t> bytes{0};
  std::atomic<uint64_t> overflows{0};
  std::atomic<uint64_t> readErrors{0};
};

class CDvbTunerFilter final : public CEmuFilter, public CBdaTopology, public CBdaDeviceControl {
 public:
  CDvbTunerFilter(DVB_FRONTEND_DESC desc, std::shared_ptr<DVB_STREAM_COUNTERS> counters);
  ~CDvbTunerFilter() override;

  HRESULT QueryTopology(std::shared_ptr<CBdaTopology>* topology) override;
  HRESULT QueryDeviceControl(std::shared_ptr<CBdaDeviceControl>* control) override;

  HRESULT GetNodeDescriptors(ULONG* count, ULONG maxCount, BDA_NODE_INFO* descriptors) override;
  HRESULT GetPinTypes(ULONG* count, ULONG maxCount, ULONG* types) override;
  HRESULT CreatePin(ULONG pinType, ULONG* pinId) override;
  HRESULT CreateTopology(ULONG inputPinId, ULONG outputPinId) override;

  HRESULT StartChanges() override { return m_frontend->StartChanges(); }
  HRESULT CheckChanges() override { return m_frontend->CheckChanges(); }
  HRESULT CommitChanges() override { return m_frontend->CommitChanges(); }

  HRESULT OnRun() override;
  void OnPause() override { StopStreaming(); }
  void OnStop() override { StopStreaming(); }

 private:
  void StopStreaming();
  void Stream(std::shared_ptr<CEmuGrabberFilter> grabber);

  std::shared_ptr<CDvbFrontend> m_frontend;
  std::shared_ptr<DVB_STREAM_COUNTERS> m_counters;
  std::mutex m_streamLock;  // start and stop
  std::thread m_thread;
  std::atomic<bool> m_streaming{false};
  CDeviceIo* m_io = nullptr;  // the one that opened demux and dvr, which closes them
  int m_demux = -1;
  int m_dvr = -1;
};
