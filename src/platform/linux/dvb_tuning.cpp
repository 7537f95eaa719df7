#include "platform/linux/dvb_tuning.h"

#include <algorithm>
#include <cstdlib>
#include <initializer_list>

namespace {

constexpr LONG kDeliverySatellite = 1, kDeliveryCable = 2, kDeliveryTerrestrial = 3, kDeliveryAtsc = 4,
               kDeliveryIsdb = 5;

dtv_property Property(uint32_t cmd, uint32_t data = 0) {
  dtv_property p = {};
  p.cmd = cmd;
  p.u.data = data;
  return p;
}

bool Lists(const std::vector<uint32_t>& delsys, uint32_t system) {
  return std::find(delsys.begin(), delsys.end(), system) != delsys.end();
}

// The first candidate the frontend offers; without a list, the first candidate.
bool ChooseSystem(const std::vector<uint32_t>& delsys, std::initializer_list<uint32_t> candidates,
                  uint32_t* system) {
  for (uint32_t c : candidates) {
    if (delsys.empty() || Lists(delsys, c)) {
      *system = c;
      return true;
    }
  }
  return false;
}

// BDA ModulationType values that only DVB-S2 carries on a satellite tuner (23 is how some
// drivers' extensions name their DVB-S2 8PSK).
bool IsS2Modulation(LONG m) { return m == 23 || m == 27 || m == 29 || m == 30 || m == 31 || m == 32; }

uint32_t Modulation(LONG bda, bool satellite) {
  switch (bda) {
    case 1: return QAM_16;
    case 2: return QAM_32;
    case 3: return QAM_64;
    case 7: return QAM_128;
    case 11: return QAM_256;
    case 20: return QPSK;
    case 23: return satellite ? PSK_8 : VSB_8;
    case 24: return VSB_16;
    case 27: return PSK_8;
    case 29: return APSK_16;
    case 30: return APSK_32;
    case 31: return QPSK;
    case 32: return PSK_8;
    default: return satellite ? QPSK : QAM_AUTO;
  }
}

uint32_t CodeRate(LONG bda) {
  switch (bda) {
    case 1: return FEC_1_2;
    case 2: return FEC_2_3;
    case 3: return FEC_3_4;
    case 4: return FEC_3_5;
    case 5: return FEC_4_5;
    case 6: return FEC_5_6;
    case 8: return FEC_7_8;
    case 11: return FEC_2_5;
    case 12: return FEC_6_7;
    case 13: return FEC_8_9;
    case 14: return FEC_9_10;
    default: return FEC_AUTO;  // not set, not defined, and rates the API has no name for
  }
}

uint32_t Inversion(LONG bda) {
  if (bda == 2) return INVERSION_OFF;
  if (bda == 3) return INVERSION_ON;
  return INVERSION_AUTO;
}

// The program sends 2 and 3 for 7 and 8 MHz; plain MHz values are taken as such.
uint32_t BandwidthHz(LONG bda) {
  if (bda == 2) return 7000000;
  if (bda == 3) return 8000000;
  if (bda >= 5 && bda <= 10) return static_cast<uint32_t>(bda) * 1000000u;
  return 0;  // automatic
}

LONG Clamp100(long long v) { return static_cast<LONG>(std::clamp<long long>(v, 0, 100)); }

}  // namespace

bool VoltageOfPolarisation(LONG polarisation, fe_sec_voltage* voltage) {
  switch (polarisation) {
    case 0: *voltage = SEC_VOLTAGE_OFF; return true;
    case 1:
    case 3: *voltage = SEC_VOLTAGE_18; return true;
    case 2:
    case 4: *voltage = SEC_VOLTAGE_13; return true;
    default: return false;
  }
}

LONG DeliveryTypeOfSystems(const std::vector<uint32_t>& delsys) {
  for (uint32_t s : delsys) {
    switch (s) {
      case SYS_DVBS:
      case SYS_DVBS2: return kDeliverySatellite;
      case SYS_DVBC_ANNEX_A:
      case SYS_DVBC_ANNEX_C: return kDeliveryCable;
      case SYS_DVBT:
      case SYS_DVBT2: return kDeliveryTerrestrial;
      case SYS_ATSC:
      case SYS_DVBC_ANNEX_B: return kDeliveryAtsc;
      case SYS_ISDBT: return kDeliveryIsdb;
      default: break;
    }
  }
  return 0;
}

void CommittedSwitchMessage(LONG lnbSource, bool highBand, LONG polarisation, dvb_diseqc_master_cmd* cmd) {
  const unsigned port = static_cast<unsigned>(std::clamp<LONG>(lnbSource, 1, 4) - 1);
  const bool horizontal = polarisation == 1 || polarisation == 3;
  *cmd = {};
  cmd->msg[0] = 0xE0;
  cmd->msg[1] = 0x10;
  cmd->msg[2] = 0x38;
  cmd->msg[3] = static_cast<uint8_t>(0xF0 | (port << 2) | (horizontal ? 0x2 : 0) | (highBand ? 0x1 : 0));
  cmd->msg_len = 4;
}

int32_t PlsGoldCode(DWORD mode, DWORD code) {
  constexpr DWORD kMaxCode = 0x3FFFF;
  if (code > kMaxCode) return -1;
  if (mode == 1) return static_cast<int32_t>(code);
  if (mode != 0 || code == 0) return -1;
  // Root to gold: step the scrambling register until it holds the root code.
  DWORD x = 1;
  for (DWORD g = 0; g < kMaxCode; ++g) {
    if (x == code) return static_cast<int32_t>(g);
    x = (((x ^ (x >> 7)) & 1) << 17) | (x >> 1);
  }
  return -1;
}

bool PlanTuning(const DVB_TUNE_VALUES& v, LONG deliveryType, const std::vector<uint32_t>& delsys,
                DVB_TUNE_PLAN* plan, std::string* reason) {
  plan->properties.clear();
  plan->sec = DVB_SEC_PLAN{};
  if (v.frequency <= 0 || v.multiplier <= 0) {
    *reason = "no frequency";
    return false;
  }
  const long long hz = static_cast<long long>(v.frequency) * v.multiplier;
  const bool satellite = deliveryType == kDeliverySatellite;
  uint32_t system = 0;
  bool found = false;
  switch (deliveryType) {
    case kDeliverySatellite:
      found = IsS2Modulation(v.modulation) || v.havePlp ? ChooseSystem(delsys, {SYS_DVBS2}, &system)
                                                       : ChooseSystem(delsys, {SYS_DVBS, SYS_DVBS2}, &system);
      break;
    case kDeliveryCable: found = ChooseSystem(delsys, {SYS_DVBC_ANNEX_A, SYS_DVBC_ANNEX_C}, &system); break;
    case kDeliveryTerrestrial:
      found = v.havePlp ? ChooseSystem(delsys, {SYS_DVBT2}, &system)
                        : ChooseSystem(delsys, {SYS_DVBT, SYS_DVBT2}, &system);
      break;
    case kDeliveryAtsc: found = ChooseSystem(delsys, {SYS_ATSC, SYS_DVBC_ANNEX_B}, &system); break;
    case kDeliveryIsdb: found = ChooseSystem(delsys, {SYS_ISDBT}, &system); break;
    default: break;
  }
  if (!found) {
    *reason = "the frontend has no delivery system for these values";
    return false;
  }

  uint32_t frequency;
  if (satellite) {
    // The LNB arithmetic the BDA driver would do: band from the switch frequency, the
    // tuner gets the distance to that band's oscillator.
    const long long rf = hz / 1000;  // kHz
    DVB_SEC_PLAN& sec = plan->sec;
    sec.highBand = v.lnbSwitch > 0 && rf >= v.lnbSwitch;
    LONG lof = sec.highBand ? v.lofHigh : v.lofLow;
    if (v.lnbSwitch <= 0 && lof <= 0) lof = v.lofHigh;
    const long long intermediate = lof > 0 ? std::llabs(rf - lof) : rf;
    if (intermediate <= 0 || intermediate > 0xFFFFFFFFLL) {
      *reason = "no intermediate frequency";
      return false;
    }
    sec.intermediateKhz = static_cast<uint32_t>(intermediate);
    sec.tone = sec.highBand ? SEC_TONE_ON : SEC_TONE_OFF;
    sec.haveVoltage = VoltageOfPolarisation(v.polarisation, &sec.voltage);
    frequency = sec.intermediateKhz;
  } else {
    if (hz > 0xFFFFFFFFLL) {
      *reason = "frequency out of range";
      return false;
    }
    frequency = static_cast<uint32_t>(hz);
  }

  auto& p = plan->properties;
  p.push_back(Property(DTV_CLEAR));
  p.push_back(Property(DTV_DELIVERY_SYSTEM, system));
  p.push_back(Property(DTV_FREQUENCY, frequency));
  const bool symbols = satellite || deliveryType == kDeliveryCable;
  if (symbols && v.symbolRate > 0) p.push_back(Property(DTV_SYMBOL_RATE, static_cast<uint32_t>(v.symbolRate) * 1000u));
  if (satellite) p.push_back(Property(DTV_INNER_FEC, CodeRate(v.innerFec)));
  if (deliveryType != kDeliveryIsdb) {
    uint32_t modulation = Modulation(v.modulation, satellite);
    if (system == SYS_DVBS) modulation = QPSK;
    if (deliveryType == kDeliveryAtsc && v.modulation <= 0) modulation = VSB_8;
    p.push_back(Property(DTV_MODULATION, modulation));
  }
  p.push_back(Property(DTV_INVERSION, Inversion(v.inversion)));
  // The program has no pilot or roll-off values; DVB-S2 demodulators find both.
  if (system == SYS_DVBS2) {
    p.push_back(Property(DTV_PILOT, PILOT_AUTO));
    p.push_back(Property(DTV_ROLLOFF, ROLLOFF_AUTO));
  }
  if (deliveryType == kDeliveryTerrestrial || deliveryType == kDeliveryIsdb)
    p.push_back(Property(DTV_BANDWIDTH_HZ, BandwidthHz(v.bandwidth)));
  if (v.havePlp && (system == SYS_DVBS2 || system == SYS_DVBT2)) {
    p.push_back(Property(DTV_STREAM_ID, v.plp & 0xFF));
#ifdef DTV_SCRAMBLING_SEQUENCE_INDEX
    if (system == SYS_DVBS2) {
      int32_t gold = PlsGoldCode((v.plp >> 26) & 0x3, (v.plp >> 8) & 0x3FFFF);
      if (gold > 0) p.push_back(Property(DTV_SCRAMBLING_SEQUENCE_INDEX, static_cast<uint32_t>(gold)));
    }
#endif
  }
  p.push_back(Property(DTV_TUNE));
  return true;
}

LONG ScaleStat(const dtv_stats& stat, int64_t zero, int64_t full) {
  if (stat.scale == FE_SCALE_RELATIVE) return Clamp100(static_cast<long long>(stat.uvalue) * 100 / 65535);
  if (stat.scale == FE_SCALE_DECIBEL && full > zero) return Clamp100((stat.svalue - zero) * 100 / (full - zero));
  return 0;
}

LONG ScaleLegacy(uint16_t value) { return static_cast<LONG>(value * 100u / 65535u); }
