#include "ui/gradient_progress.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// The Status/Tuner page's lock bar, and its quality and level bars.
constexpr int kLockBarControl = 1003;
constexpr int kSignalBarControls[] = {1004, 1065};

int Channel(DWORD colour, int index) { return int((colour >> (8 * index)) & 0xFF); }

struct HALF {
  DWORD from;
  int delta[3];
  int bands;
};

// A half is cut into as many bands as its widest channel step, so each band differs
// by at most one level; a flat half still gets bands, as many as its brightest channel.
HALF MakeHalf(DWORD from, DWORD to) {
  HALF half{from, {}, 0};
  for (int c = 0; c < 3; ++c) {
    half.delta[c] = Channel(to, c) - Channel(from, c);
    half.bands = std::max(half.bands, std::abs(half.delta[c]));
  }
  if (half.bands == 0) {
    for (int c = 0; c < 3; ++c) half.bands = std::max(half.bands, Channel(from, c));
    if (half.bands == 0) half.bands = 255;
  }
  return half;
}

DWORD BandColour(const HALF& half, int k) {
  BYTE rgb[3];
  for (int c = 0; c < 3; ++c) {
    const float step = float(k) * float(half.delta[c]) / float(half.bands);
    const float value = float(Channel(half.from, c)) + step;
    rgb[c] = BYTE(int(value));  // truncated toward zero, low byte kept
  }
  return RgbValue(rgb[0], rgb[1], rgb[2]);
}

}  // namespace

void CGradientProgressCtrl::SetRange(int lower, int upper) {
  m_lower = lower;
  m_upper = upper;
  m_position = lower;
}

PROGRESS_RANGE16 CGradientProgressCtrl::Range16() const {
  return {short(uint16_t(m_lower)), short(uint16_t(m_upper))};
}

GRADIENT_PAINT CGradientProgressCtrl::Paint(int width, int height) const {
  GRADIENT_PAINT paint;
  if (m_position <= m_lower || m_position > m_upper) {
    paint.empty = true;
    return paint;
  }

  // Measured from the lower bound, so a range not starting at 0 fills in step with its
  // percentage (and an upper bound of 0 cannot divide by zero).
  const float fraction =
      float(int64_t(m_position) - m_lower) / float(int64_t(m_upper) - m_lower);
  const float pixel = fraction * float(width);
  paint.positionPixel = int(pixel);
  paint.backgroundColour = m_backgroundColour;

  if (width <= 0) {
    // Nothing to reveal: only the (empty) background.
    paint.hasBackground = true;
    paint.background = {0, 0, 0, height};
    return paint;
  }

  const HALF halves[2] = {MakeHalf(m_startColour, m_middleColour),
                          MakeHalf(m_middleColour, m_endColour)};
  paint.bands.reserve(size_t(halves[0].bands + halves[1].bands));
  const float w = float(width);
  bool stopped = false;
  for (int h = 0; h < 2 && !stopped; ++h) {
    const HALF& half = halves[h];
    const float origin = h == 0 ? 0.0f : w / 2.0f;
    const float divisor = float(2 * half.bands);
    for (int k = 0; k < half.bands; ++k) {
      const float leftOffset = float(k) * w / divisor;
      const float rightOffset = float(k + 1) * w / divisor;
      const float left = origin + leftOffset;
      const float right = origin + rightOffset;
      GRADIENT_BAND band{{int(left), 0, int(right), height + 1}, BandColour(half, k)};
      paint.bands.push_back(band);
      // The band holding the position is drawn whole; the rest is background.
      if (band.rect.right > paint.positionPixel) {
        paint.hasBackground = true;
        paint.background = {band.rect.right, 0, width, height};
        stopped = true;
        break;
      }
    }
  }

  if (m_showPercent) {
    char text[64];
    const double percent =
        double(int64_t(m_position) - m_lower) * 100.0 / double(int64_t(m_upper) - m_lower);
    std::snprintf(text, sizeof text, "%.0f%%", percent);
    paint.showText = true;
    paint.text = text;
    paint.textColour = m_textColour;
  }
  return paint;
}

const GRADIENT_BAR_STYLE* GradientBarStyle(int controlId) {
  switch (controlId) {
    case kLockBarControl:
      return &kLockBarStyle;
    case kSignalBarControls[0]:
    case kSignalBarControls[1]:
      return &kSignalBarStyle;
    default:
      return nullptr;
  }
}

void ApplyGradientBarStyle(CGradientProgressCtrl& bar, const GRADIENT_BAR_STYLE& style) {
  bar.m_startColour = style.startColour;
  bar.m_middleColour = style.middleColour;
  bar.m_endColour = style.endColour;
  bar.m_textColour = style.textColour;
  bar.m_showPercent = style.showPercent;
  bar.SetRange(style.lower, style.upper);
}
