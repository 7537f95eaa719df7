#include "platform/emulated/bda_filters.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/bda_guids.h"
#include "platform/emulated/stream_generator.h"

namespace {

constexpr HRESULT kSetNotFound = static_cast<HRESULT>(0x80070490u);  // ERROR_SET_NOT_FOUND
constexpr size_t kPacketSize = 188;

std::vector<BYTE> Bytes(const void* data, DWORD length) {
  const BYTE* p = static_cast<const BYTE*>(data);
  return p ? std::vector<BYTE>(p, p + length) : std::vector<BYTE>();
}

bool IsStandardMedium(const std::vector<KS_PIN_MEDIUM>& mediums) {
  return mediums.empty() || mediums[0].set == kKsMediumSetIdStandard;
}

// Pins joined through a private medium (a tuner and its receiver component) connect only
// to each other, as the kernel-streaming proxy does.
bool MediumsMatch(const CEmuPin& a, const CEmuPin& b) {
  if (IsStandardMedium(a.mediums) && IsStandardMedium(b.mediums)) return true;
  if (a.mediums.empty() || b.mediums.empty()) return false;
  return a.mediums[0].set == b.mediums[0].set && a.mediums[0].id == b.mediums[0].id;
}

// A null packet, for the extra samples that carry no stream data.
void FillNullPackets(BYTE* p, size_t count) {
  for (size_t i = 0; i < count; ++i, p += kPacketSize) {
    std::memset(p, 0xFF, kPacketSize);
    p[0] = 0x47;
    p[1] = 0x1F;
    p[2] = 0xFF;
    p[3] = 0x10;
  }
}

BDA_CALL MakeCall(const std::string& object, const char* kind, const GUID& set, DWORD id) {
  BDA_CALL call;
  call.object = object;
  call.kind = kind;
  call.set = set;
  call.id = id;
  return call;
}

}  // namespace

// ---- pins and filters ----

CEmuPin::CEmuPin(CEmuFilter* owner, PinDirection direction, std::string name)
    : m_owner(owner), m_direction(direction), m_name(std::move(name)) {}

HRESULT CEmuPin::QueryPinInfo(PIN_INFO_DATA* info) {
  if (!info) return E_POINTER;
  info->filter = m_owner->shared_from_this();
  info->direction = m_direction;
  info->name = m_name;
  return S_OK;
}

HRESULT CEmuPin::ConnectedTo(std::shared_ptr<CGraphPin>* pin) {
  if (!pin) return E_POINTER;
  *pin = m_peer.lock();
  return *pin ? S_OK : kVfwENotConnected;
}

HRESULT CEmuPin::QueryPropertySet(std::shared_ptr<CKsPropertySet>* set) {
  if (!set) return E_POINTER;
  *set = propertySet;
  return propertySet ? S_OK : E_NOINTERFACE;
}

HRESULT CEmuPin::KsQueryMediums(std::vector<KS_PIN_MEDIUM>* list) {
  if (!list) return E_POINTER;
  *list = mediums;
  if (list->empty()) list->push_back(KS_PIN_MEDIUM{kKsMediumSetIdStandard, 0, 0});
  return S_OK;
}

HRESULT CEmuFilter::EnumPins(std::vector<std::shared_ptr<CGraphPin>>* pins) {
  if (!pins) return E_POINTER;
  pins->assign(m_pins.begin(), m_pins.end());
  return S_OK;
}

HRESULT CEmuFilter::QueryFilterInfo(std::string* name) {
  if (!name) return E_POINTER;
  *name = m_name;
  return S_OK;
}

HRESULT CEmuFilter::QueryPropertySet(std::shared_ptr<CKsPropertySet>* set) {
  if (!set) return E_POINTER;
  *set = filterPropertySet;
  return filterPropertySet ? S_OK : E_NOINTERFACE;
}

std::shared_ptr<CEmuPin> CEmuFilter::FirstPin(PinDirection direction) const {
  for (const auto& pin : m_pins)
    if (pin->Direction() == direction) return pin;
  return nullptr;
}

std::shared_ptr<CEmuPin> CEmuFilter::AddPin(PinDirection direction, const std::string& name) {
  m_pins.push_back(std::make_shared<CEmuPin>(this, direction, name));
  return m_pins.back();
}

// ---- graph manager ----

CEmuGraph::~CEmuGraph() {
  Stop();
  for (const auto& filter : m_filters) {
    for (const auto& pin : filter->Pins()) Disconnect(pin.get());
    filter->Join(nullptr, "");
  }
}

std::shared_ptr<CEmuFilter> CEmuGraph::Find(const CGraphFilter* filter) {
  for (const auto& f : m_filters)
    if (f.get() == filter) return f;
  return nullptr;
}

void CEmuGraph::Disconnect(CEmuPin* pin) {
  std::shared_ptr<CEmuPin> peer = pin->Peer();
  if (!peer) return;
  pin->SetPeer(nullptr);
  peer->SetPeer(nullptr);
  if (pin->onDisconnected) pin->onDisconnected();
  if (peer->onDisconnected) peer->onDisconnected();
}

HRESULT CEmuGraph::AddFilter(const std::shared_ptr<CGraphFilter>& filter, const std::string& name) {
  auto emu = std::dynamic_pointer_cast<CEmuFilter>(filter);
  if (!emu) return E_INVALIDARG;
  if (emu->Graph()) return E_INVALIDARG;  // one graph at a time
  if (m_state != FilterState::Stopped) return kVfwENotStopped;
  emu->Join(this, name);
  m_filters.push_back(emu);
  return S_OK;
}

HRESULT CEmuGraph::RemoveFilter(const std::shared_ptr<CGraphFilter>& filter) {
  std::shared_ptr<CEmuFilter> emu = Find(filter.get());
  if (!emu) return E_INVALIDARG;
  emu->OnStop();
  for (const auto& pin : emu->Pins()) Disconnect(pin.get());
  emu->Join(nullptr, "");
  m_filters.erase(std::find(m_filters.begin(), m_filters.end(), emu));
  return S_OK;
}

HRESULT CEmuGraph::ConnectDirect(const std::shared_ptr<CGraphPin>& outPin, const std::shared_ptr<CGraphPin>& inPin) {
  auto out = std::dynamic_pointer_cast<CEmuPin>(outPin);
  auto in = std::dynamic_pointer_cast<CEmuPin>(inPin);
  if (!out || !in) return E_POINTER;
  if (out->Owner()->Graph() != this || in->Owner()->Graph() != this) return E_INVALIDARG;
  if (m_state != FilterState::Stopped) return kVfwENotStopped;
  if (out->Direction() != PinDirection::Output || in->Direction() != PinDirection::Input) return E_INVALIDARG;
  if (out->Peer() || in->Peer()) return kVfwEAlreadyConnected;
  if (!MediumsMatch(*out, *in)) return kVfwENoAcceptableTypes;

  // The output pin's types first, then the input pin's; the first both accept.
  std::vector<DS_MEDIA_TYPE> candidates = out->proposed;
  candidates.insert(candidates.end(), in->proposed.begin(), in->proposed.end());
  HRESULT failure = kVfwENoAcceptableTypes;
  bool agreed = false;
  for (const DS_MEDIA_TYPE& type : candidates) {
    HRESULT hr = out->accept ? out->accept(type) : S_OK;
    if (hr == S_OK) hr = in->accept ? in->accept(type) : S_OK;
    if (hr == S_OK) {
      agreed = true;
      break;
    }
    if (FAILED(hr) && hr != E_FAIL && hr != E_INVALIDARG) failure = hr;
  }
  if (!agreed) return failure;

  HRESULT hr = out->Owner()->DecideAllocator(in.get());
  if (FAILED(hr)) return hr;
  out->SetPeer(in);
  in->SetPeer(out);
  if (out->onConnected) out->onConnected(in);
  if (in->onConnected) in->onConnected(out);
  return S_OK;
}

HRESULT CEmuGraph::Run() {
  if (m_state == FilterState::Running) return S_OK;
  if (m_state == FilterState::Stopped) Pause();
  // Downstream filters first, as DirectShow runs them; sources start streaming last.
  for (auto it = m_filters.rbegin(); it != m_filters.rend(); ++it) {
    if ((*it)->Kind() == EMU_FILTER_KIND::Tuner) continue;
    HRESULT hr = (*it)->OnRun();
    if (FAILED(hr)) return hr;
  }
  m_state = FilterState::Running;
  for (const auto& filter : m_filters) {
    if (filter->Kind() != EMU_FILTER_KIND::Tuner) continue;
    HRESULT hr = filter->OnRun();
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT CEmuGraph::Pause() {
  for (const auto& filter : m_filters) filter->OnPause();
  m_state = FilterState::Paused;
  return S_OK;
}

HRESULT CEmuGraph::Stop() {
  for (const auto& filter : m_filters) filter->OnStop();
  m_state = FilterState::Stopped;
  return S_OK;
}

HRESULT CEmuGraph::GetState(DWORD, FilterState* state) {
  if (!state) return E_POINTER;
  *state = m_state;
  return S_OK;
}

// ---- property sets ----

CEmuPropertySet::CEmuPropertySet(std::shared_ptr<CEmulatedBdaDevice> device, std::string object,
                                 VENDOR_OBJECT vendorObject, std::vector<EMULATED_PROPERTY_SET> sets)
    : m_device(std::move(device)), m_object(std::move(object)), m_vendorObject(vendorObject), m_sets(std::move(sets)) {}

// The ids a standard BDA driver answers in each standard set; other ids of these sets
// (the later PLP number, for one) belong to a vendor driver if to anyone.
static DWORD StandardIdCount(const GUID& set) {
  if (set == kKsPropSetBdaFrequencyFilter) return 6;
  if (set == kKsPropSetBdaLnbInfo) return 3;
  if (set == kKsPropSetBdaDigitalDemodulator) return 11;
  if (set == kKsPropSetBdaSignalStats) return 5;
  if (set == kKsPropSetBdaDiseqCommand) return 6;
  return 0xFFFFFFFFu;  // a set named by GUID in the description: every id
}

const EMULATED_PROPERTY_SET* CEmuPropertySet::Standard(const GUID& set, DWORD id) const {
  if (id >= StandardIdCount(set)) return nullptr;
  for (const auto& entry : m_sets)
    if (entry.set == set) return &entry;
  return nullptr;
}

CKsPropertySet* CEmuPropertySet::VendorFor(const GUID& set) const {
  CEmulatedVendorDriver* vendor = m_device->Vendor();
  if (!vendor || !vendor->Answers(m_vendorObject, set)) return nullptr;
  return vendor->ForObject(m_vendorObject);
}

HRESULT CEmuPropertySet::QuerySupported(const GUID& set, DWORD id, DWORD* support) {
  BDA_CALL call = MakeCall(m_object, "QuerySupported", set, id);
  HRESULT hr;
  DWORD bits = 0;
  if (!support) {
    hr = E_POINTER;
  } else if (const EMULATED_PROPERTY_SET* standard = Standard(set, id)) {
    bits = standard->support;
    hr = S_OK;
  } else if (CKsPropertySet* vendor = VendorFor(set)) {
    hr = vendor->QuerySupported(set, id, &bits);
  } else {
    hr = kSetNotFound;
  }
  if (support) *support = SUCCEEDED(hr) ? bits : 0;
  call.support = bits;
  call.result = hr;
  m_device->Record(std::move(call));
  return hr;
}

HRESULT CEmuPropertySet::Get(const GUID& set, DWORD id, void* instance, DWORD instanceLength, void* data,
                             DWORD dataLength, DWORD* returned) {
  BDA_CALL call = MakeCall(m_object, "Get", set, id);
  call.instance = Bytes(instance, instanceLength);
  HRESULT hr;
  DWORD got = 0;
  if (const EMULATED_PROPERTY_SET* standard = Standard(set, id)) {
    hr = (standard->support & KSPROPERTY_SUPPORT_GET)
             ? m_device->GetProperty(set, id, static_cast<BYTE*>(data), dataLength, &got)
             : kSetNotFound;
  } else if (CKsPropertySet* vendor = VendorFor(set)) {
    hr = vendor->Get(set, id, instance, instanceLength, data, dataLength, &got);
  } else {
    hr = kSetNotFound;
  }
  if (returned) *returned = got;
  if (SUCCEEDED(hr)) call.data = Bytes(data, std::min(got, dataLength));
  call.result = hr;
  m_device->Record(std::move(call));
  return hr;
}

HRESULT CEmuPropertySet::Set(const GUID& set, DWORD id, void* instance, DWORD instanceLength, void* data,
                             DWORD dataLength) {
  BDA_CALL call = MakeCall(m_object, "Set", set, id);
  call.instance = Bytes(instance, instanceLength);
  call.data = Bytes(data, dataLength);
  HRESULT hr;
  if (const EMULATED_PROPERTY_SET* standard = Standard(set, id)) {
    hr = (standard->support & KSPROPERTY_SUPPORT_SET)
             ? m_device->SetProperty(set, id, static_cast<const BYTE*>(data), dataLength)
             : kSetNotFound;
  } else if (CKsPropertySet* vendor = VendorFor(set)) {
    hr = vendor->Set(set, id, instance, instanceLength, data, dataLength);
  } else {
    hr = kSetNotFound;
  }
  call.result = hr;
  m_device->Record(std::move(call));
  return hr;
}

// ---- tuner ----

CEmuTunerFilter::CEmuTunerFilter(std::shared_ptr<CEmulatedBdaDevice> device)
    : CEmuFilter(EMU_FILTER_KIND::Tuner), m_device(std::move(device)) {
  const EMULATED_DEVICE_DESC& d = m_device->Description();
  if (d.filterPropertySet)
    filterPropertySet = std::make_shared<CEmuPropertySet>(m_device, "tuner", VO_TUNER_FILTER,
                                                          std::vector<EMULATED_PROPERTY_SET>{});
  AddInputPin();
  // Some drivers create the transport pin only when the provider builds the topology.
  if (!d.pinsOnDemand) AddOutputPin();
}

CEmuTunerFilter::~CEmuTunerFilter() { StopStreaming(); }

void CEmuTunerFilter::AddInputPin() {
  auto pin = AddPin(PinDirection::Input, "Input0");
  pin->proposed = {DS_MEDIA_TYPE{kKsDataFormatTypeBdaAntenna, kGuidNull, kGuidNull}};
  pin->accept = [](const DS_MEDIA_TYPE& type) {
    return type.majorType == kKsDataFormatTypeBdaAntenna ? S_OK : kVfwETypeNotAccepted;
  };
  pin->propertySet = std::make_shared<CEmuPropertySet>(m_device, "tuner-input", VO_TUNER_INPUT,
                                                       m_device->Description().inputSets);
  // A BDA tuner registers with the network provider it is connected to.
  pin->onConnected = [this](const std::shared_ptr<CEmuPin>& peer) {
    CBdaNetworkProvider* provider = nullptr;
    if (SUCCEEDED(peer->Owner()->QueryNetworkProvider(&provider)) && provider) {
      ULONG registration = 0;
      HRESULT hr = provider->RegisterDeviceFilter(this, &registration);
      Record("RegisterDeviceFilter", registration, hr);
      if (SUCCEEDED(hr)) m_device->CountRegistration();
    }
  };
}

void CEmuTunerFilter::AddOutputPin() {
  const EMULATED_DEVICE_DESC& d = m_device->Description();
  auto pin = AddPin(PinDirection::Output, "MPEG2 Transport");
  pin->proposed = {DS_MEDIA_TYPE{kMediaTypeStream, kKsDataFormatSubtypeBdaMpeg2Transport, kGuidNull}};
  pin->accept = [](const DS_MEDIA_TYPE& type) {
    return type.majorType == kMediaTypeStream ? S_OK : kVfwETypeNotAccepted;
  };
  // With a receiver component the transport leaves through a private medium.
  pin->mediums = {KS_PIN_MEDIUM{d.captureName.empty() ? kKsMediumSetIdStandard : kEmulatedMediumSet, d.medium, 0}};
  pin->propertySet = std::make_shared<CEmuPropertySet>(m_device, "tuner-output", VO_TUNER_OUTPUT, d.outputSets);
}

void CEmuTunerFilter::Record(const char* kind, DWORD id, HRESULT hr, std::vector<BYTE> data) {
  BDA_CALL call;
  call.object = std::strcmp(kind, "StartChanges") == 0 || std::strcmp(kind, "CheckChanges") == 0 ||
                        std::strcmp(kind, "CommitChanges") == 0
                    ? "control"
                    : "topology";
  call.kind = kind;
  call.id = id;
  call.data = std::move(data);
  call.result = hr;
  m_device->Record(std::move(call));
}

HRESULT CEmuTunerFilter::QueryTopology(std::shared_ptr<CBdaTopology>* topology) {
  if (!topology) return E_POINTER;
  *topology = std::shared_ptr<CBdaTopology>(shared_from_this(), static_cast<CBdaTopology*>(this));
  return S_OK;
}

HRESULT CEmuTunerFilter::QueryDeviceControl(std::shared_ptr<CBdaDeviceControl>* control) {
  if (!control) return E_POINTER;
  if (!m_device->Description().deviceControl) return E_NOINTERFACE;
  *control = std::shared_ptr<CBdaDeviceControl>(shared_from_this(), static_cast<CBdaDeviceControl*>(this));
  return S_OK;
}

HRESULT CEmuTunerFilter::KsGetObjectHandle(HANDLE* handle) {
  if (!handle) return E_POINTER;
  *handle = m_device->KernelHandle();
  return *handle == INVALID_HANDLE_VALUE ? E_HANDLE : S_OK;
}

HRESULT CEmuTunerFilter::GetNodeDescriptors(ULONG* count, ULONG maxCount, BDA_NODE_INFO* descriptors) {
  if (!count) return E_POINTER;
  const auto& nodes = m_device->Description().nodes;
  *count = static_cast<ULONG>(nodes.size());
  Record("GetNodeDescriptors", maxCount, S_OK);
  if (nodes.size() > maxCount) return E_INVALIDARG;  // the caller's room is too small
  for (size_t i = 0; i < nodes.size(); ++i)
    if (descriptors) descriptors[i] = BDA_NODE_INFO{static_cast<ULONG>(i), nodes[i], nodes[i]};
  return S_OK;
}

HRESULT CEmuTunerFilter::GetPinTypes(ULONG* count, ULONG maxCount, ULONG* types) {
  if (!count) return E_POINTER;
  const auto& pinTypes = m_device->Description().pinTypes;
  *count = static_cast<ULONG>(pinTypes.size());
  Record("GetPinTypes", maxCount, S_OK);
  if (pinTypes.size() > maxCount) return E_INVALIDARG;
  for (size_t i = 0; i < pinTypes.size(); ++i)
    if (types) types[i] = pinTypes[i];
  return S_OK;
}

HRESULT CEmuTunerFilter::CreatePin(ULONG pinType, ULONG* pinId) {
  const auto& pinTypes = m_device->Description().pinTypes;
  HRESULT hr = S_OK;
  // The second pin type is the transport output; the first the antenna input.
  if (pinTypes.size() > 1 && pinType == pinTypes[1] && !FirstPin(PinDirection::Output)) AddOutputPin();
  else if (pinTypes.empty() || pinType != pinTypes[0] || FirstPin(PinDirection::Input)) hr = E_INVALIDARG;
  if (SUCCEEDED(hr) && pinId) *pinId = static_cast<ULONG>(Pins().size() - 1);
  Record("CreatePin", pinType, hr);
  return hr;
}

HRESULT CEmuTunerFilter::CreateTopology(ULONG inputPinId, ULONG outputPinId) {
  Record("CreateTopology", inputPinId, S_OK, std::vector<BYTE>{static_cast<BYTE>(inputPinId), static_cast<BYTE>(outputPinId)});
  return S_OK;
}

HRESULT CEmuTunerFilter::StartChanges() {
  HRESULT hr = m_device->StartChanges();
  Record("StartChanges", 0, hr);
  return hr;
}

HRESULT CEmuTunerFilter::CheckChanges() {
  HRESULT hr = m_device->CheckChanges();
  Record("CheckChanges", 0, hr);
  return hr;
}

HRESULT CEmuTunerFilter::CommitChanges() {
  HRESULT hr = m_device->CommitChanges();
  Record("CommitChanges", 0, hr);
  return hr;
}

HRESULT CEmuTunerFilter::OnRun() {
  // Follow the transport downstream: tuner -> [receiver component] -> grabber.
  std::shared_ptr<CEmuPin> out = FirstPin(PinDirection::Output);
  std::shared_ptr<CEmuPin> peer = out ? out->Peer() : nullptr;
  if (peer && peer->Owner()->Kind() == EMU_FILTER_KIND::Capture) {
    std::shared_ptr<CEmuPin> captureOut = peer->Owner()->FirstPin(PinDirection::Output);
    peer = captureOut ? captureOut->Peer() : nullptr;
  }
  if (!peer || peer->Owner()->Kind() != EMU_FILTER_KIND::Grabber) return S_OK;  // nowhere to go
  auto grabber = std::static_pointer_cast<CEmuGrabberFilter>(peer->Owner()->shared_from_this());
  StartStreaming([grabber](double sampleTime, const MEDIA_SAMPLE_INFO& sample) { grabber->Deliver(sampleTime, sample); });
  return S_OK;
}

void CEmuTunerFilter::StartStreaming(SAMPLE_SINK sink) {
  std::lock_guard<std::mutex> guard(m_streamLock);
  if (m_streaming) return;
  m_streaming = true;
  m_thread = std::thread(&CEmuTunerFilter::Stream, this, std::move(sink));
}

void CEmuTunerFilter::StopStreaming() {
  {
    std::lock_guard<std::mutex> guard(m_streamLock);
    m_streaming = false;
  }
  m_wake.notify_all();
  if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
}

void CEmuTunerFilter::Stream(SAMPLE_SINK sink) {
  using Clock = std::chrono::steady_clock;
  const EMULATED_DEVICE_DESC& d = m_device->Description();
  const size_t sampleSize = std::max<size_t>(kPacketSize, d.sampleSize - d.sampleSize % kPacketSize);
  std::vector<BYTE> buffer(sampleSize), nulls(sampleSize);
  FillNullPackets(nulls.data(), sampleSize / kPacketSize);

  std::vector<BYTE> file;
  size_t filePos = 0;
  std::unique_ptr<CStreamGenerator> generator;
  if (d.stream == EMULATED_STREAM_KIND::File) {
    std::ifstream in(d.streamFile, std::ios::binary);
    file.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  } else if (d.stream == EMULATED_STREAM_KIND::Generated) {
    generator = std::make_unique<CStreamGenerator>(DemoStreamProfile());
  } else if (d.stream == EMULATED_STREAM_KIND::Clean) {
    generator = std::make_unique<CStreamGenerator>(CleanStreamProfile());
  }

  const Clock::time_point start = Clock::now();
  uint64_t bytesSent = 0;
  int prerollLeft = d.prerollSamples;
  int sinceDiscontinuity = 0;
  auto waitUntil = [&](Clock::time_point due) {
    std::unique_lock<std::mutex> lock(m_streamLock);
    m_wake.wait_until(lock, due, [&] { return !m_streaming; });
    return m_streaming;
  };
  auto deliver = [&](const BYTE* data, size_t length, bool preroll, bool discontinuity) {
    double seconds = d.streamBitsPerSecond > 0 ? bytesSent * 8.0 / d.streamBitsPerSecond : 0.0;
    sink(seconds, MEDIA_SAMPLE_INFO{data, static_cast<DWORD>(length), preroll, discontinuity});
    m_device->CountSample(static_cast<DWORD>(length));
  };

  for (;;) {
    if (!m_device->Locked() || m_device->Stalled()) {
      // No signal (or a stalled tuner), no samples; try again shortly.
      if (!waitUntil(Clock::now() + std::chrono::milliseconds(20))) return;
      continue;
    }
    if (d.streamBitsPerSecond > 0) {
      auto due = start + std::chrono::microseconds(static_cast<long long>(bytesSent * 8e6 / d.streamBitsPerSecond));
      if (!waitUntil(due)) return;
    } else {
      std::lock_guard<std::mutex> guard(m_streamLock);
      if (!m_streaming) return;
    }
    if (prerollLeft > 0) {
      --prerollLeft;
      deliver(nulls.data(), nulls.size(), true, false);
      continue;
    }
    if (d.discontinuityEvery > 0 && sinceDiscontinuity >= d.discontinuityEvery) {
      sinceDiscontinuity = 0;
      deliver(nulls.data(), nulls.size(), false, true);
      continue;
    }
    size_t length = sampleSize;
    const BYTE* data = buffer.data();
    if (generator) {
      // Made and handed over as one step, so the totals never count what the
      // receiver has not been given yet.
      std::lock_guard<std::mutex> guard(m_device->SampleLock());
      generator->Fill(buffer.data(), sampleSize / kPacketSize);
      deliver(buffer.data(), sampleSize, false, false);
      m_device->SetStreamTotals(generator->Totals());
      bytesSent += sampleSize;
      ++sinceDiscontinuity;
      continue;
    } else if (!file.empty()) {
      if (filePos >= file.size()) {
        if (!d.streamLoop) {
          // The capture is over: the tuner goes quiet until stopped.
          waitUntil(Clock::time_point::max());
          return;
        }
        filePos = 0;
      }
      length = std::min(sampleSize, file.size() - filePos);
      data = file.data() + filePos;
      filePos += length;
    } else {
      waitUntil(Clock::time_point::max());
      return;
    }
    deliver(data, length, false, false);
    bytesSent += length;
    ++sinceDiscontinuity;
  }
}

// ---- sample grabber ----

CEmuGrabberFilter::CEmuGrabberFilter() : CEmuFilter(EMU_FILTER_KIND::Grabber) {
  auto in = AddPin(PinDirection::Input, "Input");
  in->accept = [this](const DS_MEDIA_TYPE& type) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_type.majorType != kGuidNull && m_type.majorType != type.majorType) return kVfwETypeNotAccepted;
    if (m_type.subType != kGuidNull && m_type.subType != type.subType) return kVfwETypeNotAccepted;
    return S_OK;
  };
  AddPin(PinDirection::Output, "Output");
}

HRESULT CEmuGrabberFilter::QuerySampleGrabber(std::shared_ptr<CSampleGrabber>* grabber) {
  if (!grabber) return E_POINTER;
  *grabber = std::shared_ptr<CSampleGrabber>(shared_from_this(), static_cast<CSampleGrabber*>(this));
  return S_OK;
}

HRESULT CEmuGrabberFilter::SetMediaType(const DS_MEDIA_TYPE& type) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_type = type;
  Pins()[0]->proposed = {type};
  return S_OK;
}

HRESULT CEmuGrabberFilter::SetOneShot(BOOL oneShot) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_oneShot = oneShot != FALSE;
  m_done = false;
  return S_OK;
}

HRESULT CEmuGrabberFilter::SetCallback(CSampleCallback* callback, LONG whichMethod) {
  if (whichMethod != 0 && whichMethod != 1) return E_INVALIDARG;
  // Taken while a sample is being handed over: once this returns the old callback is done.
  std::lock_guard<std::mutex> guard(m_lock);
  m_callback = callback;
  return S_OK;
}

void CEmuGrabberFilter::Deliver(double sampleTime, const MEDIA_SAMPLE_INFO& sample) {
  std::lock_guard<std::mutex> guard(m_lock);
  if (!m_callback || m_done) return;
  m_callback->SampleCB(sampleTime, sample);
  if (m_oneShot) m_done = true;
}
