#include "platform/linux/dvb_frontend.h"

#include <fcntl.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "log/log.h"
#include "platform/bda_guids.h"
#include "platform/device_io.h"
#include "platform/ks_property_set.h"
#include "platform/system.h"

namespace {

constexpr HRESULT kSetNotFound = static_cast<HRESULT>(0x80070490u);  // ERROR_SET_NOT_FOUND
constexpr DWORD kGetSet = KSPROPERTY_SUPPORT_GET | KSPROPERTY_SUPPORT_SET;
// The settle times the SEC needs between supply, tone and DiSEqC changes.
constexpr DWORD kSecSettleMs = 15;
constexpr LONG kMaxRepeats = 15;
constexpr DWORD kPlpId = 12;

void* Value(unsigned long value) { return reinterpret_cast<void*>(static_cast<uintptr_t>(value)); }

// "adapter12" -> 12; -1 when the name is not prefix + digits.
int NumberAfter(const std::string& name, const char* prefix) {
  const size_t n = std::strlen(prefix);
  if (name.size() <= n || name.compare(0, n, prefix) != 0 || name.size() - n > 6) return -1;
  int value = 0;
  for (size_t i = n; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return -1;
    value = value * 10 + (name[i] - '0');
  }
  return value;
}

std::vector<std::pair<int, std::string>> NumberedEntries(const std::filesystem::path& dir, const char* prefix) {
  std::vector<std::pair<int, std::string>> entries;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    int number = NumberAfter(name, prefix);
    if (number >= 0) entries.emplace_back(number, it->path().string());
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

// Frontends from before DTV_ENUM_DELSYS name one family.
std::vector<uint32_t> SystemsOfType(fe_type type) {
  switch (type) {
    case FE_QPSK: return {SYS_DVBS};
    case FE_QAM: return {SYS_DVBC_ANNEX_A};
    case FE_OFDM: return {SYS_DVBT};
    case FE_ATSC: return {SYS_ATSC};
    default: return {};
  }
}

bool DescribeFrontend(const std::string& path, DVB_FRONTEND_DESC* desc) {
  CDeviceIo& io = DeviceIo();
  int fd = io.PosixOpen(path, O_RDONLY | O_NONBLOCK);
  if (fd < 0) {
    LogMessage("DVB: cannot open %s: %s", path.c_str(), std::strerror(errno));
    return false;
  }
  dvb_frontend_info info = {};
  bool ok = io.PosixIoctl(fd, FE_GET_INFO, &info) == 0;
  if (!ok) {
    LogMessage("DVB: FE_GET_INFO on %s failed: %s", path.c_str(), std::strerror(errno));
  } else {
    info.name[sizeof(info.name) - 1] = 0;
    desc->name = info.name;
    dtv_property property = {};
    property.cmd = DTV_ENUM_DELSYS;
    dtv_properties list = {1, &property};
    if (io.PosixIoctl(fd, FE_GET_PROPERTY, &list) == 0) {
      const uint32_t count = std::min<uint32_t>(property.u.buffer.len, sizeof(property.u.buffer.data));
      for (uint32_t i = 0; i < count; ++i) desc->delsys.push_back(property.u.buffer.data[i]);
    } else {
      desc->delsys = SystemsOfType(info.type);
    }
    desc->deliveryType = DeliveryTypeOfSystems(desc->delsys);
    if (desc->deliveryType == 0) {
      LogMessage("DVB: %s (%s) has no delivery system this program tunes", path.c_str(), desc->name.c_str());
      ok = false;
    }
  }
  io.PosixClose(fd);
  return ok;
}

}  // namespace

bool DvbAdaptersPresent(const std::string& root) { return !NumberedEntries(root, "adapter").empty(); }

std::vector<DVB_FRONTEND_DESC> EnumerateDvbFrontends(const std::string& root) {
  std::vector<DVB_FRONTEND_DESC> frontends;
  for (const auto& adapter : NumberedEntries(root, "adapter")) {
    for (const auto& frontend : NumberedEntries(adapter.second, "frontend")) {
      DVB_FRONTEND_DESC desc;
      desc.path = frontend.second;
      // The frontend's own demux and dvr carry its transport stream.
      const std::string n = std::to_string(frontend.first);
      desc.demuxPath = adapter.second + "/demux" + n;
      desc.dvrPath = adapter.second + "/dvr" + n;
      if (DescribeFrontend(desc.path, &desc)) frontends.push_back(std::move(desc));
    }
  }
  return frontends;
}

CDvbFrontend::CDvbFrontend(DVB_FRONTEND_DESC desc) : m_desc(std::move(desc)) {}

CDvbFrontend::~CDvbFrontend() {
  if (m_fd >= 0) m_io->PosixClose(m_fd);
}

int CDvbFrontend::Frontend() {
  if (m_fd < 0) {
    m_io = &DeviceIo();
    m_fd = m_io->PosixOpen(m_desc.path, O_RDWR | O_NONBLOCK);
    if (m_fd < 0) LogMessage("DVB: cannot open %s for tuning: %s", m_desc.path.c_str(), std::strerror(errno));
  }
  return m_fd;
}

HRESULT CDvbFrontend::Failure(const char* what) {
  LogMessage("DVB: %s on %s failed: %s", what, m_desc.path.c_str(), std::strerror(errno));
  return E_FAIL;
}

LONG* CDvbFrontend::Field(const GUID& set, DWORD id) {
  DVB_TUNE_VALUES& v = m_pending;
  if (set == kKsPropSetBdaFrequencyFilter) {
    switch (id) {
      case 0: return &v.frequency;
      case 1: return &v.polarisation;
      case 2: return &v.inputRange;
      case 4: return &v.bandwidth;
      case 5: return &v.multiplier;
      default: return nullptr;
    }
  }
  if (set == kKsPropSetBdaLnbInfo && Satellite() && id <= 2) {
    LONG* fields[] = {&v.lofLow, &v.lofHigh, &v.lnbSwitch};
    return fields[id];
  }
  if (set == kKsPropSetBdaDigitalDemodulator) {
    switch (id) {
      case 0: return &v.modulation;
      case 2: return &v.innerFec;
      case 5: return &v.symbolRate;
      case 6: return &v.inversion;
      default: return nullptr;
    }
  }
  if (set == kKsPropSetBdaDiseqCommand && Satellite() && id <= 3) {
    LONG* fields[] = {&v.diseqcEnable, &v.lnbSource, &v.useToneBurst, &v.repeats};
    return fields[id];
  }
  return nullptr;
}

HRESULT CDvbFrontend::QuerySupported(DVB_PIN pin, const GUID& set, DWORD id, DWORD* support) const {
  if (!support) return E_POINTER;
  *support = 0;
  const bool satellite = m_desc.deliveryType == 1;
  if (pin == DVB_PIN::Input) {
    if (set == kKsPropSetBdaFrequencyFilter && id <= 5 && id != 3) *support = kGetSet;
    else if (set == kKsPropSetBdaLnbInfo && satellite && id <= 2) *support = kGetSet;
    else if (set == kKsPropSetBdaSignalStats && id <= 3) *support = KSPROPERTY_SUPPORT_GET;
    // No slave replies: the response property stays unanswered.
    else if (set == kKsPropSetBdaDiseqCommand && satellite && id <= 4) *support = KSPROPERTY_SUPPORT_SET;
  } else if (set == kKsPropSetBdaDigitalDemodulator && (id == 0 || id == 2 || id == 5 || id == 6)) {
    *support = kGetSet;
  }
  return *support ? S_OK : kSetNotFound;
}

// The PLP number (stream id and PLS) is answered but not advertised: a tuner that offers it
// is taken for a vendor's device whose DiSEqC goes elsewhere.
static bool IsPlp(DVB_PIN pin, const GUID& set, DWORD id) {
  return pin == DVB_PIN::Output && set == kKsPropSetBdaDigitalDemodulator && id == kPlpId;
}

HRESULT CDvbFrontend::Get(DVB_PIN pin, const GUID& set, DWORD id, BYTE* data, DWORD length, DWORD* returned) {
  if (returned) *returned = 0;
  DWORD support = IsPlp(pin, set, id) ? kGetSet : 0;
  HRESULT hr = support ? S_OK : QuerySupported(pin, set, id, &support);
  if (FAILED(hr) || !(support & KSPROPERTY_SUPPORT_GET)) return kSetNotFound;
  if (!data || length < sizeof(LONG)) return E_INVALIDARG;
  std::lock_guard<std::mutex> guard(m_lock);
  LONG value = 0;
  if (set == kKsPropSetBdaSignalStats) {
    hr = ReadSignal(id, &value);
    if (FAILED(hr)) return hr;
  } else if (set == kKsPropSetBdaDigitalDemodulator && id == kPlpId) {
    value = m_pending.havePlp ? static_cast<LONG>(m_pending.plp) : kDvbNotSet;
  } else {
    value = *Field(set, id);
  }
  std::memcpy(data, &value, sizeof(value));
  if (returned) *returned = sizeof(value);
  return S_OK;
}

HRESULT CDvbFrontend::Set(DVB_PIN pin, const GUID& set, DWORD id, const BYTE* data, DWORD length) {
  DWORD support = IsPlp(pin, set, id) ? kGetSet : 0;
  HRESULT hr = support ? S_OK : QuerySupported(pin, set, id, &support);
  if (FAILED(hr) || !(support & KSPROPERTY_SUPPORT_SET)) return kSetNotFound;
  if (!data || length < sizeof(LONG)) return E_INVALIDARG;
  std::lock_guard<std::mutex> guard(m_lock);
  if (set == kKsPropSetBdaDiseqCommand && id == 4) return SendDiseqcProperty(data, length);
  LONG value;
  std::memcpy(&value, data, sizeof(value));
  if (set == kKsPropSetBdaDigitalDemodulator && id == kPlpId) {
    m_pending.havePlp = value >= 0;
    m_pending.plp = static_cast<DWORD>(value);
    m_tuningChanged = true;
    return S_OK;
  }
  if (set == kKsPropSetBdaFrequencyFilter && id == 5 && value <= 0) return E_INVALIDARG;
  if (set == kKsPropSetBdaDiseqCommand && id == 1 && (value < 0 || value > 4)) return E_INVALIDARG;
  if (set == kKsPropSetBdaDiseqCommand && id == 3 && (value < 0 || value > kMaxRepeats)) return E_INVALIDARG;
  *Field(set, id) = value;
  // The input range (the graph sets "no port" once it runs) carries no tuning of its own.
  const bool inputRange = set == kKsPropSetBdaFrequencyFilter && id == 2;
  if (set != kKsPropSetBdaDiseqCommand && !inputRange) m_tuningChanged = true;
  return S_OK;
}

// Values set outside a change (the DiSEqC properties of a tone burst) stay pending for
// the next commit, so starting a change keeps them.
HRESULT CDvbFrontend::StartChanges() { return S_OK; }

HRESULT CDvbFrontend::CheckChanges() {
  std::lock_guard<std::mutex> guard(m_lock);
  DVB_TUNE_PLAN plan;
  std::string reason;
  if (m_pending.frequency != kDvbNotSet && !PlanTuning(m_pending, m_desc.deliveryType, m_desc.delsys, &plan, &reason)) {
    LogMessage("DVB: %s cannot tune: %s", m_desc.path.c_str(), reason.c_str());
    return E_INVALIDARG;
  }
  return S_OK;
}

// One SEC request with a plain value. current, when given, remembers the state so that an
// unchanged value is not sent again (unknown again after a failure).
HRESULT CDvbFrontend::SecRequest(unsigned long request, const char* name, unsigned long value,
                                 unsigned long* current) {
  if (current && *current == value) return S_OK;
  if (Frontend() < 0 || m_io->PosixIoctl(m_fd, request, Value(value)) != 0) {
    if (current) *current = kSecUnknown;
    return Failure(name);
  }
  if (current) *current = value;
  SystemServices().Sleep(kSecSettleMs);
  return S_OK;
}

HRESULT CDvbFrontend::SetVoltage(fe_sec_voltage voltage) {
  return SecRequest(FE_SET_VOLTAGE, "FE_SET_VOLTAGE", voltage, &m_voltage);
}

HRESULT CDvbFrontend::SetTone(fe_sec_tone_mode tone) { return SecRequest(FE_SET_TONE, "FE_SET_TONE", tone, &m_tone); }

// DiSEqC needs the LNB supply on and the continuous tone off.
HRESULT CDvbFrontend::PrepareDiseqc(LONG polarisation) {
  if (m_voltage == kSecUnknown || m_voltage == SEC_VOLTAGE_OFF) {
    fe_sec_voltage voltage = SEC_VOLTAGE_13;
    if (!VoltageOfPolarisation(polarisation, &voltage) || voltage == SEC_VOLTAGE_OFF) voltage = SEC_VOLTAGE_13;
    HRESULT hr = SetVoltage(voltage);
    if (FAILED(hr)) return hr;
  }
  return SetTone(SEC_TONE_OFF);
}

// Repeated frames carry the repeat framing byte, as a receiver-side repeat would.
HRESULT CDvbFrontend::SendMessage(const dvb_diseqc_master_cmd& cmd, LONG repeats) {
  dvb_diseqc_master_cmd frame = cmd;
  for (LONG i = 0; i <= repeats; ++i) {
    if (i > 0 && frame.msg[0] == 0xE0) frame.msg[0] = 0xE1;
    if (Frontend() < 0 || m_io->PosixIoctl(m_fd, FE_DISEQC_SEND_MASTER_CMD, &frame) != 0)
      return Failure("FE_DISEQC_SEND_MASTER_CMD");
    SystemServices().Sleep(kSecSettleMs);
  }
  return S_OK;
}

HRESULT CDvbFrontend::SendDiseqcProperty(const BYTE* data, DWORD length) {
  if (length < 8) return E_INVALIDARG;
  DWORD size;
  std::memcpy(&size, data + 4, sizeof(size));
  // The kernel carries master commands of 3 to 6 bytes.
  if (size < 3 || size > sizeof(dvb_diseqc_master_cmd::msg) || length < 8 + size) return E_INVALIDARG;
  dvb_diseqc_master_cmd cmd = {};
  std::memcpy(cmd.msg, data + 8, size);
  cmd.msg_len = static_cast<uint8_t>(size);
  if (Frontend() < 0) return E_FAIL;
  LONG polarisation = m_pending.polarisation > 0 ? m_pending.polarisation : m_committed.polarisation;
  HRESULT hr = PrepareDiseqc(polarisation);
  if (FAILED(hr)) return hr;
  return SendMessage(cmd, m_pending.repeats);
}

HRESULT CDvbFrontend::CommitChanges() {
  std::lock_guard<std::mutex> guard(m_lock);
  // A commit that changed no tuning value (the committed position set on its own) has
  // nothing to tune: the switching it asked for waits for the tuning, so that it carries
  // that tuning's band and polarisation.
  if (!m_tuningChanged || m_pending.frequency == kDvbNotSet) return S_OK;
  const DVB_TUNE_VALUES v = m_pending;
  DVB_TUNE_PLAN plan;
  std::string reason;
  if (!PlanTuning(v, m_desc.deliveryType, m_desc.delsys, &plan, &reason)) {
    LogMessage("DVB: %s cannot tune: %s", m_desc.path.c_str(), reason.c_str());
    return E_INVALIDARG;
  }
  if (Frontend() < 0) return E_FAIL;
  HRESULT hr = S_OK;
  if (Satellite()) {
    const LONG polarisation = v.polarisation >= 0 ? v.polarisation : m_committed.polarisation;
    const bool switching = v.diseqcEnable != 0 && v.lnbSource >= 1 && v.lnbSource <= 4;
    fe_sec_voltage voltage = SEC_VOLTAGE_13;  // a tuning that names no polarisation still powers the LNB
    const bool haveVoltage = VoltageOfPolarisation(polarisation, &voltage) || m_voltage == kSecUnknown;
    if (switching) hr = SetTone(SEC_TONE_OFF);
    if (SUCCEEDED(hr) && haveVoltage) hr = SetVoltage(voltage);
    if (SUCCEEDED(hr) && switching && m_voltage != SEC_VOLTAGE_OFF) {
      dvb_diseqc_master_cmd cmd;
      CommittedSwitchMessage(v.lnbSource, plan.sec.highBand, polarisation, &cmd);
      hr = SendMessage(cmd, v.repeats);
      if (SUCCEEDED(hr) && v.useToneBurst) {
        const fe_sec_mini_cmd burst = (v.lnbSource % 2) ? SEC_MINI_A : SEC_MINI_B;
        hr = SecRequest(FE_DISEQC_SEND_BURST, "FE_DISEQC_SEND_BURST", burst, nullptr);
      }
    }
    if (SUCCEEDED(hr)) hr = SetTone(plan.sec.tone);
    // Switched once per tuning that asked for it; a retune does not switch again.
    m_pending.lnbSource = 0;
  }
  if (SUCCEEDED(hr)) {
    dtv_properties list = {static_cast<uint32_t>(plan.properties.size()), plan.properties.data()};
    if (m_io->PosixIoctl(m_fd, FE_SET_PROPERTY, &list) != 0) hr = Failure("FE_SET_PROPERTY");
  }
  m_committed = m_pending;
  m_tuningChanged = false;
  return hr;
}

HRESULT CDvbFrontend::ReadSignal(DWORD id, LONG* value) {
  int fd = Frontend();
  if (fd < 0) return E_FAIL;
  CDeviceIo& io = *m_io;
  if (id == 2 || id == 3) {
    fe_status_t status = {};
    if (io.PosixIoctl(fd, FE_READ_STATUS, &status) != 0) return Failure("FE_READ_STATUS");
    if (id == 2) *value = (status & (FE_HAS_SIGNAL | FE_HAS_CARRIER)) ? 1 : 0;
    else *value = (status & FE_HAS_LOCK) ? 1 : 0;
    return S_OK;
  }
  // Statistics of the API first; drivers without them answer the older 16-bit reads.
  dtv_property property = {};
  property.cmd = id == 0 ? DTV_STAT_SIGNAL_STRENGTH : DTV_STAT_CNR;
  dtv_properties list = {1, &property};
  if (io.PosixIoctl(fd, FE_GET_PROPERTY, &list) == 0 && property.u.st.len > 0 &&
      property.u.st.stat[0].scale != FE_SCALE_NOT_AVAILABLE) {
    *value = id == 0 ? ScaleStat(property.u.st.stat[0], kStrengthZero, kStrengthFull)
                     : ScaleStat(property.u.st.stat[0], kCnrZero, kCnrFull);
    return S_OK;
  }
  uint16_t legacy = 0;
  if (io.PosixIoctl(fd, id == 0 ? FE_READ_SIGNAL_STRENGTH : FE_READ_SNR, &legacy) != 0) {
    *value = 0;  // no figure is a zero figure, not a failure
    return S_OK;
  }
  *value = ScaleLegacy(legacy);
  return S_OK;
}
