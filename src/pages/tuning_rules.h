// The arithmetic behind the Status/Tuner and DiSEqC/LNB pages: decimal texts,
// the LNB values of a profile, the satellite receivable range and band, and the
// channel table of the cable and terrestrial bands.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/win_types.h"

// A decimal text ("11263", "9750.5", " -3") times `scale`, truncated toward zero,
// computed exactly from the digits (no binary rounding) and independent of the
// locale. Reading stops at the first character that does not fit; no digits: 0.
// The result saturates at +-2^62.
int64_t ParseScaledDecimal(const std::string& text, int64_t scale);

// The twelve LNB and DiSEqC values of a profile.
struct LnbSettings {
  int mode = 0;        // 0x1 tone burst, 0x2 DiSEqC 1.0, 0x4 DiSEqC 1.1, 0x8 DiSEqC 1.2
  int repeat = 2;      // extra repetitions of each command, 0..2
  int delay = 100;     // ms after each command, 0..300 in steps of 50
  int toneBurst = 0;   // 0 burst A, 1 burst B
  int option = 0;      // DiSEqC 1.0 option: 0 A, 1 B
  int position = 0;    // DiSEqC 1.0 position: 0 A, 1 B
  int port = 0;        // DiSEqC 1.1 uncommitted port 0..15
  int slot = 0;        // DiSEqC 1.2 stored position 0..60
  DWORD lof1 = 9750000;     // kHz
  DWORD lof2 = 10600000;    // kHz, 0 = none
  DWORD lofSwitch = 11700000;  // kHz, 0 = single-oscillator LNB
  int lnbPower = 1;
};

constexpr int kDiseqcToneBurst = 0x1;
constexpr int kDiseqcCommitted = 0x2;
constexpr int kDiseqcUncommitted = 0x4;
constexpr int kDiseqcPositioner = 0x8;

constexpr int64_t kIfLow = 950000;    // kHz
constexpr int64_t kIfHigh = 2150000;  // kHz
constexpr int64_t kKuBandFrom = 7000000;  // kHz: oscillators and switches from here on are Ku band
constexpr int64_t kSatSymbolRateMin = 200000;    // S/s
constexpr int64_t kSatSymbolRateMax = 50000000;  // S/s

// What the satellite checks decided for one frequency and symbol rate.
struct SATELLITE_PLAN {
  unsigned refusal = 0;  // 0, or string id 129 (frequency) / 130 (symbol rate)
  std::string suffix;    // appended to the refusal text
  int64_t rangeLow = kIfLow, rangeHigh = kIfHigh;  // receivable range, kHz
  bool highBand = false;  // the DiSEqC 1.0 band bit
  int64_t oscillator = 0;  // kHz
};
SATELLITE_PLAN PlanSatelliteTuning(const LnbSettings& lnb, int64_t frequencyKHz, int64_t symbolRate);

// The window the satellite frequency steps within (kHz).
void SatelliteStepWindow(DWORD lof1, DWORD lof2, int64_t* low, int64_t* high);
// The satellite frequency after an up-down notification with delta d, wrapping
// at the window's ends.
int64_t StepSatelliteFrequency(int64_t frequencyKHz, int delta, int64_t low, int64_t high);

struct CHANNEL {
  std::string name;
  LONG frequency;  // kHz
};
// The 106 channels of the cable and terrestrial bands, ascending in frequency.
const std::vector<CHANNEL>& ChannelTable();
// "%.3f" of the channel's MHz.
std::string ChannelFrequencyText(const CHANNEL& channel);
// The frequency of a field text: more than 3 characters is MHz, else a channel
// name (a leading "E" dropped); 0 for an unknown name.
int64_t FrequencyFromFieldText(const std::string& text);
// The field text after |delta| steps through the channel table (up for delta > 0);
// a channel name that is not in the table keeps its text.
std::string StepChannelText(const std::string& text, int delta);
