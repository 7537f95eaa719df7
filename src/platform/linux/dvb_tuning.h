// The BDA tuning values as a DVB frontend takes them: the standard property values the
// program sets on a tuner's pins, and their translation into DVB API v5 properties, SEC
// (LNB supply, 22 kHz tone, DiSEqC) settings and signal figures. Pure functions, no I/O.
#pragma once
#include <linux/dvb/frontend.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win_types.h"

constexpr LONG kDvbNotSet = -1;

// What the standard BDA property sets hold between StartChanges and CommitChanges.
struct DVB_TUNE_VALUES {
  LONG multiplier = 1000;  // frequency unit in Hz
  LONG frequency = kDvbNotSet;
  LONG polarisation = kDvbNotSet;  // BDA Polarisation: 0 not defined, 1 H, 2 V, 3 L, 4 R
  LONG inputRange = kDvbNotSet;
  LONG bandwidth = kDvbNotSet;
  LONG lofLow = kDvbNotSet;  // kHz
  LONG lofHigh = kDvbNotSet;
  LONG lnbSwitch = kDvbNotSet;
  LONG modulation = kDvbNotSet;  // BDA ModulationType
  LONG innerFec = kDvbNotSet;    // BDA BinaryConvolutionCodeRate
  LONG symbolRate = kDvbNotSet;  // kS/s
  LONG inversion = kDvbNotSet;   // BDA SpectralInversion
  bool havePlp = false;
  DWORD plp = 0;  // stream id in the low byte, PLS code from bit 8, PLS mode from bit 26
  // The standard DiSEqC command properties.
  LONG diseqcEnable = 0;
  LONG lnbSource = 0;  // 1..4
  LONG useToneBurst = 0;
  LONG repeats = 0;
};

// The LNB side of a satellite tuning.
struct DVB_SEC_PLAN {
  bool haveVoltage = false;  // false: leave the supply as it is
  fe_sec_voltage voltage = SEC_VOLTAGE_OFF;
  fe_sec_tone_mode tone = SEC_TONE_OFF;
  bool highBand = false;
  uint32_t intermediateKhz = 0;
};

struct DVB_TUNE_PLAN {
  std::vector<dtv_property> properties;  // DTV_CLEAR ... DTV_TUNE
  DVB_SEC_PLAN sec;
};

// delsys: what DTV_ENUM_DELSYS reported (empty: take the first system of the family).
// False with a reason when the values cannot be tuned on this frontend.
bool PlanTuning(const DVB_TUNE_VALUES& values, LONG deliveryType, const std::vector<uint32_t>& delsys,
                DVB_TUNE_PLAN* plan, std::string* reason);

// The program's delivery type (1 satellite .. 5 ISDB) of a frontend's systems, 0 for none.
LONG DeliveryTypeOfSystems(const std::vector<uint32_t>& delsys);

// LNB supply for a BDA polarisation; false for "not set" (leave the supply alone).
bool VoltageOfPolarisation(LONG polarisation, fe_sec_voltage* voltage);

// The DiSEqC 1.0 committed-switch message for LNB source 1..4 at the given band and
// polarisation (E0 10 38 Fx).
void CommittedSwitchMessage(LONG lnbSource, bool highBand, LONG polarisation, dvb_diseqc_master_cmd* cmd);

// Gold code of a PLS code in the given mode (0 root, 1 gold); codes out of range give -1.
int32_t PlsGoldCode(DWORD mode, DWORD code);

// Signal figures scaled to 0..100: relative statistics (0..65535) linearly, statistics in
// 0.001 dB(m) from zero (0) to full (100), the legacy 16-bit readings as relative.
// -85 dBm and below is no strength, -25 dBm full strength.
constexpr int64_t kStrengthZero = -85000, kStrengthFull = -25000;
// Carrier to noise: 20 dB is full scale, enough margin for every modulation in use.
constexpr int64_t kCnrZero = 0, kCnrFull = 20000;
LONG ScaleStat(const dtv_stats& stat, int64_t zero, int64_t full);
LONG ScaleLegacy(uint16_t value);
