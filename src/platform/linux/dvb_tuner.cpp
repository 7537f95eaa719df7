#include "platform/linux/dvb_tuner.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <linux/dvb/dmx.h>
#include <poll.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "log/log.h"
#include "platform/bda_guids.h"
#include "platform/device_io.h"

namespace {

// PID 0x2000 asks the demux for every packet of the transport stream.
constexpr uint16_t kWholeTransportPid = 0x2000;
// The dvr ring buffer holds over half a second of a full DVB-S2 transponder (~80 Mbit/s),
// so a busy user-interface moment does not overflow it.
constexpr unsigned long kDvrBufferSize = 188ul * 32768ul;
constexpr size_t kSampleSize = 188 * 256;
constexpr int kPollMs = 50;  // how soon a stop is noticed
constexpr int kErrorPauseMs = 100;

class CDvbPropertySet final : public CKsPropertySet {
 public:
  CDvbPropertySet(std::shared_ptr<CDvbFrontend> frontend, DVB_PIN pin) : m_frontend(std::move(frontend)), m_pin(pin) {}
  HRESULT QuerySupported(const GUID& set, DWORD id, DWORD* support) override {
    return m_frontend->QuerySupported(m_pin, set, id, support);
  }
  HRESULT Get(const GUID& set, DWORD id, void*, DWORD, void* data, DWORD length, DWORD* returned) override {
    return m_frontend->Get(m_pin, set, id, static_cast<BYTE*>(data), length, returned);
  }
  HRESULT Set(const GUID& set, DWORD id, void*, DWORD, void* data, DWORD length) override {
    return m_frontend->Set(m_pin, set, id, static_cast<const BYTE*>(data), length);
  }

 private:
  std::shared_ptr<CDvbFrontend> m_frontend;
  DVB_PIN m_pin;
};

GUID DemodulatorNode(const DVB_FRONTEND_DESC& desc) {
  switch (desc.deliveryType) {
    case 1:
      for (uint32_t s : desc.delsys)
        if (s == SYS_DVBS2) return kKsNodeBda8pskDemodulator;
      return kKsNodeBdaQpskDemodulator;
    case 2: return kKsNodeBdaQamDemodulator;
    case 3: return kKsNodeBdaCofdmDemodulator;
    case 4: return kKsNodeBda8vsbDemodulator;
    default: return kKsNodeBdaIsdbTDemodulator;
  }
}

void* Value(unsigned long value) { return reinterpret_cast<void*>(static_cast<uintptr_t>(value)); }

}  // namespace

CDvbTunerFilter::CDvbTunerFilter(DVB_FRONTEND_DESC desc, std::shared_ptr<DVB_STREAM_COUNTERS> counters)
    : CEmuFilter(EMU_FILTER_KIND::Tuner),
      m_frontend(std::make_shared<CDvbFrontend>(std::move(desc))),
      m_counters(std::move(counters)) {
  auto in = AddPin(PinDirection::Input, "Input0");
  in->proposed = {DS_MEDIA_TYPE{kKsDataFormatTypeBdaAntenna, kGuidNull, kGuidNull}};
  in->accept = [](const DS_MEDIA_TYPE& type) {
    return type.majorType == kKsDataFormatTypeBdaAntenna ? S_OK : kVfwETypeNotAccepted;
  };
  in->propertySet = std::make_shared<CDvbPropertySet>(m_frontend, DVB_PIN::Input);
  // A BDA tuner registers with the network provider it is connected to.
  in->onConnected = [this](const std::shared_ptr<CEmuPin>& peer) {
    CBdaNetworkProvider* provider = nullptr;
    ULONG registration = 0;
    if (SUCCEEDED(peer->Owner()->QueryNetworkProvider(&provider)) && provider)
      provider->RegisterDeviceFilter(this, &registration);
  };
  auto out = AddPin(PinDirection::Output, "MPEG2 Transport");
  out->proposed = {DS_MEDIA_TYPE{kMediaTypeStream, kKsDataFormatSubtypeBdaMpeg2Transport, kGuidNull}};
  out->accept = [](const DS_MEDIA_TYPE& type) {
    return type.majorType == kMediaTypeStream ? S_OK : kVfwETypeNotAccepted;
  };
  out->propertySet = std::make_shared<CDvbPropertySet>(m_frontend, DVB_PIN::Output);
}

CDvbTunerFilter::~CDvbTunerFilter() { StopStreaming(); }

HRESULT CDvbTunerFilter::QueryTopology(std::shared_ptr<CBdaTopology>* topology) {
  if (!topology) return E_POINTER;
  *topology = std::shared_ptr<CBdaTopology>(shared_from_this(), static_cast<CBdaTopology*>(this));
  return S_OK;
}

HRESULT CDvbTunerFilter::QueryDeviceControl(std::shared_ptr<CBdaDeviceControl>* control) {
  if (!control) return E_POINTER;
  *control = std::shared_ptr<CBdaDeviceControl>(shared_from_this(), static_cast<CBdaDeviceControl*>(this));
  return S_OK;
}

HRESULT CDvbTunerFilter::GetNodeDescriptors(ULONG* count, ULONG maxCount, BDA_NODE_INFO* descriptors) {
  if (!count) return E_POINTER;
  const GUID nodes[] = {kKsNodeBdaRfTuner, DemodulatorNode(m_frontend->Description())};
  *count = 2;
  if (maxCount < 2) return E_INVALIDARG;
  for (ULONG i = 0; i < 2; ++i)
    if (descriptors) descriptors[i] = BDA_NODE_INFO{i, nodes[i], nodes[i]};
  return S_OK;
}

HRESULT CDvbTunerFilter::GetPinTypes(ULONG* count, ULONG maxCount, ULONG* types) {
  if (!count) return E_POINTER;
  *count = 2;
  if (maxCount < 2) return E_INVALIDARG;
  if (types) {
    types[0] = 0;
    types[1] = 1;
  }
  return S_OK;
}

// Both pins exist from the start; asking for them again names them.
HRESULT CDvbTunerFilter::CreatePin(ULONG pinType, ULONG* pinId) {
  if (pinType > 1) return E_INVALIDARG;
  if (pinId) *pinId = pinType;
  return S_OK;
}

HRESULT CDvbTunerFilter::CreateTopology(ULONG inputPinId, ULONG outputPinId) {
  return inputPinId == 0 && outputPinId == 1 ? S_OK : E_INVALIDARG;
}

HRESULT CDvbTunerFilter::OnRun() {
  std::shared_ptr<CEmuPin> out = FirstPin(PinDirection::Output);
  std::shared_ptr<CEmuPin> peer = out ? out->Peer() : nullptr;
  if (!peer || peer->Owner()->Kind() != EMU_FILTER_KIND::Grabber) return S_OK;  // nowhere to go
  auto grabber = std::static_pointer_cast<CEmuGrabberFilter>(peer->Owner()->shared_from_this());

  std::lock_guard<std::mutex> guard(m_streamLock);
  if (m_streaming) return S_OK;
  const DVB_FRONTEND_DESC& d = m_frontend->Description();
  m_io = &DeviceIo();
  CDeviceIo& io = *m_io;
  auto fail = [&](const char* what, const std::string& path) {
    LogMessage("DVB: %s on %s failed: %s", what, path.c_str(), std::strerror(errno));
    if (m_demux >= 0) io.PosixClose(m_demux);
    if (m_dvr >= 0) io.PosixClose(m_dvr);
    m_demux = m_dvr = -1;
    return E_FAIL;
  };
  m_dvr = io.PosixOpen(d.dvrPath, O_RDONLY | O_NONBLOCK);
  if (m_dvr < 0) return fail("open", d.dvrPath);
  // In TS-tap mode the packets collect in the dvr device's buffer, so that is the one to size.
  if (io.PosixIoctl(m_dvr, DMX_SET_BUFFER_SIZE, Value(kDvrBufferSize)) != 0)
    LogMessage("DVB: DMX_SET_BUFFER_SIZE on %s failed: %s", d.dvrPath.c_str(), std::strerror(errno));
  m_demux = io.PosixOpen(d.demuxPath, O_RDWR | O_NONBLOCK);
  if (m_demux < 0) return fail("open", d.demuxPath);
  dmx_pes_filter_params filter = {};
  filter.pid = kWholeTransportPid;
  filter.input = DMX_IN_FRONTEND;
  filter.output = DMX_OUT_TS_TAP;
  filter.pes_type = DMX_PES_OTHER;
  filter.flags = DMX_IMMEDIATE_START;
  if (io.PosixIoctl(m_demux, DMX_SET_PES_FILTER, &filter) != 0) return fail("DMX_SET_PES_FILTER", d.demuxPath);
  m_streaming = true;
  m_thread = std::thread(&CDvbTunerFilter::Stream, this, grabber);
  return S_OK;
}

void CDvbTunerFilter::StopStreaming() {
  std::lock_guard<std::mutex> guard(m_streamLock);
  m_streaming = false;
  if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
  if (!m_io) return;
  CDeviceIo& io = *m_io;
  if (m_demux >= 0) {
    io.PosixIoctl(m_demux, DMX_STOP, nullptr);
    io.PosixClose(m_demux);
    m_demux = -1;
  }
  if (m_dvr >= 0) {
    io.PosixClose(m_dvr);
    m_dvr = -1;
  }
}

void CDvbTunerFilter::Stream(std::shared_ptr<CEmuGrabberFilter> grabber) {
  using Clock = std::chrono::steady_clock;
  CDeviceIo& io = *m_io;
  const Clock::time_point start = Clock::now();
  std::vector<BYTE> buffer(kSampleSize);
  const std::string& path = m_frontend->Description().dvrPath;
  auto seconds = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
  while (m_streaming) {
    int ready = io.PosixPoll(m_dvr, POLLIN, kPollMs);
    if (ready == 0) continue;
    long got = ready > 0 ? io.PosixRead(m_dvr, buffer.data(), buffer.size()) : -1;
    if (got > 0) {
      grabber->Deliver(seconds(), MEDIA_SAMPLE_INFO{buffer.data(), static_cast<DWORD>(got), false, false});
      ++m_counters->samples;
      m_counters->bytes += static_cast<uint64_t>(got);
      continue;
    }
    if (got < 0 && errno == EOVERFLOW) {
      // The kernel dropped data and reset its buffer: the stream goes on after a gap.
      uint64_t n = ++m_counters->overflows;
      if (n == 1 || n % 100 == 0) LogMessage("DVB: %s overflowed (%llu times)", path.c_str(), static_cast<unsigned long long>(n));
      grabber->Deliver(seconds(), MEDIA_SAMPLE_INFO{buffer.data(), 0, false, true});
      continue;
    }
    if (got < 0 && errno == EAGAIN) continue;
    // End of data or a failing device: report once in a while and keep trying until stopped.
    if (got < 0) {
      uint64_t n = ++m_counters->readErrors;
      if (n == 1 || n % 100 == 0) LogMessage("DVB: reading %s failed: %s", path.c_str(), std::strerror(errno));
    }
    for (int waited = 0; waited < kErrorPauseMs && m_streaming; waited += 10)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}
