#include "pages/tuning_rules.h"

#include <algorithm>
#include <cstdio>

#include "ui/message_box.h"

namespace {

constexpr int64_t kSaturation = int64_t(1) << 62;

struct CHANNEL_RUN {
  const char* prefix;
  int first, last;  // numbers after the prefix; prefix alone when first < 0
  LONG start, step;  // kHz
};

std::vector<CHANNEL> BuildChannelTable() {
  std::vector<CHANNEL> table;
  // The VHF band starts with single names before the numbered runs.
  const char* low[] = {"2", "3", "4", "X", "Y", "Z", "Z+1", "Z+2"};
  for (int i = 0; i < 8; ++i) table.push_back({low[i], LONG(50500 + 7000 * i)});
  const CHANNEL_RUN runs[] = {{"S", 1, 10, 107500, 7000},
                              {"", 5, 12, 177500, 7000},
                              {"S", 11, 20, 233500, 7000},
                              {"S", 21, 41, 306000, 8000},
                              {"", 21, 69, 474000, 8000}};
  for (const CHANNEL_RUN& r : runs) {
    for (int n = r.first; n <= r.last; ++n)
      table.push_back({std::string(r.prefix) + std::to_string(n), r.start + r.step * (n - r.first)});
  }
  return table;
}

std::string ChannelName(const std::string& text) {
  return !text.empty() && text[0] == 'E' ? text.substr(1) : text;
}

}  // namespace

int64_t ParseScaledDecimal(const std::string& text, int64_t scale) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int64_t whole = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    whole = whole >= kSaturation / 10 ? kSaturation : whole * 10 + (text[i] - '0');
  int64_t value = whole >= kSaturation / scale ? kSaturation : whole * scale;
  if (i < text.size() && text[i] == '.') {
    // Each decimal digit adds its share of the scale; digits past it truncate.
    int64_t unit = scale;
    int64_t fraction = 0, divisor = 1;
    for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
      if (divisor < unit * 1000) {
        fraction = fraction * 10 + (text[i] - '0');
        divisor *= 10;
      }
    }
    value = std::min(kSaturation, value + fraction * unit / divisor);
  }
  return negative ? -value : value;
}

SATELLITE_PLAN PlanSatelliteTuning(const LnbSettings& lnb, int64_t frequencyKHz, int64_t symbolRate) {
  SATELLITE_PLAN plan;
  const int64_t l1 = lnb.lof1, l2 = lnb.lof2, s = lnb.lofSwitch;
  auto refuse = [&](unsigned id, std::string suffix) {
    plan.refusal = id;
    plan.suffix = std::move(suffix);
    return plan;
  };
  if (s != 0 && (l1 != 0 || l2 != 0)) {
    if (l1 == 0) return refuse(129, "\nLOF1 > 0 MHz");
    if (l2 == 0) return refuse(129, "\nLOF2 > 0 MHz");
    if (s >= kKuBandFrom) {
      if (l1 > l2) return refuse(129, "\nLOF1 < LOF2");
      plan.rangeLow = std::min(l1, l2) + kIfLow;
      plan.rangeHigh = std::max(l1, l2) + kIfHigh;
    } else {
      if (l1 < l2) return refuse(129, "\nLOF1 > LOF2");
      plan.rangeLow = std::min(l1, l2) - kIfHigh;
      plan.rangeHigh = std::max(l1, l2) - kIfLow;
    }
  }
  if (s != 0) {
    plan.highBand = frequencyKHz >= s;
    plan.oscillator = plan.highBand ? l2 : l1;
  } else {
    plan.oscillator = l1 ? l1 : l2;
    plan.highBand = l2 != 0;
    if (plan.oscillator != 0) {
      plan.rangeLow = plan.oscillator >= kKuBandFrom ? plan.oscillator + kIfLow : plan.oscillator - kIfHigh;
      plan.rangeHigh = plan.oscillator >= kKuBandFrom ? plan.oscillator + kIfHigh : plan.oscillator - kIfLow;
    }
  }
  if (frequencyKHz < plan.rangeLow || frequencyKHz > plan.rangeHigh)
    return refuse(129, FormatText("\n(%.3f - %.3f MHz)", double(plan.rangeLow) / 1000.0, double(plan.rangeHigh) / 1000.0));
  if (symbolRate < kSatSymbolRateMin || symbolRate > kSatSymbolRateMax)
    return refuse(130, FormatText("\n(%.3f - %.3f KS/s)", 200.0, 50000.0));
  return plan;
}

void SatelliteStepWindow(DWORD lof1, DWORD lof2, int64_t* low, int64_t* high) {
  const int64_t l1 = lof1, l2 = lof2;
  if (l1 == 0 && l2 == 0) {
    // Intermediate-frequency entry.
    *low = kIfLow;
    *high = kIfHigh;
  } else if (l1 == 0 || l2 == 0) {
    // One oscillator: its own window, as the tuning checks use it.
    int64_t o = l1 ? l1 : l2;
    *low = o >= kKuBandFrom ? o + kIfLow : o - kIfHigh;
    *high = o >= kKuBandFrom ? o + kIfHigh : o - kIfLow;
  } else if (l1 >= kKuBandFrom && l2 >= kKuBandFrom) {
    *low = std::min(l1, l2) + kIfLow;
    *high = std::max(l1, l2) + kIfHigh;
  } else {
    *low = std::min(l1, l2) - kIfHigh;
    *high = std::max(l1, l2) - kIfLow;
  }
}

int64_t StepSatelliteFrequency(int64_t frequencyKHz, int delta, int64_t low, int64_t high) {
  // Any step beyond the window wraps anyway; the bound keeps the square in range.
  int64_t d = std::clamp(delta, -100000, 100000);
  int64_t f = frequencyKHz + 250 * d * (d < 0 ? -d : d);
  if (f < low) return high;
  if (f > high) return low;
  return f;
}

const std::vector<CHANNEL>& ChannelTable() {
  static const std::vector<CHANNEL> table = BuildChannelTable();
  return table;
}

std::string ChannelFrequencyText(const CHANNEL& channel) { return FormatText("%.3f", channel.frequency / 1000.0); }

int64_t FrequencyFromFieldText(const std::string& text) {
  if (text.size() > 3) return ParseScaledDecimal(text, 1000);
  std::string name = ChannelName(text);
  for (const CHANNEL& c : ChannelTable()) {
    if (c.name == name) return c.frequency;
  }
  return 0;
}

std::string StepChannelText(const std::string& text, int delta) {
  const std::vector<CHANNEL>& table = ChannelTable();
  const int count = int(table.size());
  const bool up = delta > 0;
  int steps = delta < 0 ? -delta : delta;
  std::string current = text;
  for (; steps > 0; --steps) {
    int next = -1;
    if (current.size() > 3) {
      int64_t mhz = ParseScaledDecimal(current, 1000) / 1000;
      if (up) {
        for (int i = 0; i < count && next < 0; ++i)
          if (table[i].frequency / 1000 > mhz) next = i;
        if (next < 0) next = 0;
      } else {
        for (int i = count - 1; i >= 0 && next < 0; --i)
          if (table[i].frequency / 1000 < mhz) next = i;
        if (next < 0) next = count - 1;
      }
      current = ChannelFrequencyText(table[next]);
    } else {
      std::string name = ChannelName(current);
      int at = -1;
      for (int i = 0; i < count && at < 0; ++i)
        if (table[i].name == name) at = i;
      if (at < 0) return current;
      next = up ? (at + 1) % count : (at + count - 1) % count;
      current = table[next].name;
    }
  }
  return current;
}
