// The signal bar: a progress bar that shows a three-colour gradient (start at the
// left edge, middle at the centre, end at the right edge) revealed from the left up to
// the position, optionally with the percentage over it. This is its state and what a
// paint draws, as plain data; the Windows painter puts the bands on screen.
#pragma once
#include <string>
#include <vector>

#include "platform/win_types.h"

// Colours are 32-bit values with red in the low byte, then green, then blue.
constexpr DWORD RgbValue(BYTE red, BYTE green, BYTE blue) {
  return DWORD(red) | (DWORD(green) << 8) | (DWORD(blue) << 16);
}

inline constexpr DWORD kGradientRed = RgbValue(255, 0, 0);
inline constexpr DWORD kGradientYellow = RgbValue(255, 255, 0);
inline constexpr DWORD kGradientGreen = RgbValue(0, 255, 0);
inline constexpr DWORD kGradientBlue = RgbValue(0, 0, 255);
inline constexpr DWORD kGradientWhite = RgbValue(255, 255, 255);
inline constexpr DWORD kGradientBlack = RgbValue(0, 0, 0);
// Stands in for the system button-face colour until the owner gives the real one.
inline constexpr DWORD kDefaultButtonFace = RgbValue(240, 240, 240);

struct BAR_RECT {
  int left;
  int top;
  int right;
  int bottom;
};

struct GRADIENT_BAND {
  BAR_RECT rect;
  DWORD colour;
};

// What one paint draws, in order: either the whole client area in the system
// button-face colour (an empty bar, nothing else), or the bands, then the background
// right of the last band when the position ends before the right edge, then the text.
struct GRADIENT_PAINT {
  bool empty = false;
  int positionPixel = 0;
  std::vector<GRADIENT_BAND> bands;
  bool hasBackground = false;
  BAR_RECT background{};
  DWORD backgroundColour = 0;
  bool showText = false;
  std::string text;
  DWORD textColour = 0;
};

// The range as the underlying progress bar takes it: two 16-bit halves.
struct PROGRESS_RANGE16 {
  short low;
  short high;
};

class CGradientProgressCtrl {
 public:
  explicit CGradientProgressCtrl(DWORD buttonFace = kDefaultButtonFace)
      : m_backgroundColour(buttonFace) {}

  // Stores both bounds and moves the position to the lower one.
  void SetRange(int lower, int upper);
  // What SetRange hands on to the underlying control (the stored bounds stay whole).
  PROGRESS_RANGE16 Range16() const;
  void SetPos(int position) { m_position = position; }
  void SetStep(int step) { m_step = step; }

  int GetLower() const { return m_lower; }
  int GetUpper() const { return m_upper; }
  int GetPos() const { return m_position; }
  int GetStep() const { return m_step; }

  // What a paint of a client area width x height draws with the current state.
  GRADIENT_PAINT Paint(int width, int height) const;

  // Set by the owner before the first paint.
  DWORD m_startColour = kGradientRed;
  DWORD m_middleColour = RgbValue(127, 0, 127);
  DWORD m_endColour = kGradientBlue;
  DWORD m_backgroundColour;
  DWORD m_textColour = kGradientWhite;
  bool m_showPercent = false;

 private:
  int m_lower = 0;
  int m_upper = 100;
  int m_position = 0;
  int m_step = 10;  // kept for the owner; painting does not use it
};

// How the Status/Tuner page sets up its bars: the lock bar and the two signal bars
// (quality and level look alike).
struct GRADIENT_BAR_STYLE {
  int lower;
  int upper;
  DWORD startColour;
  DWORD middleColour;
  DWORD endColour;
  DWORD textColour;
  bool showPercent;
};

inline constexpr GRADIENT_BAR_STYLE kLockBarStyle{0, 1, kGradientGreen, kGradientGreen,
                                                  kGradientGreen, kGradientWhite, false};
inline constexpr GRADIENT_BAR_STYLE kSignalBarStyle{0, 100, kGradientRed, kGradientYellow,
                                                    kGradientGreen, kGradientBlack, true};

// The style of the page's bar with this control id (1003 lock; 1004 and 1065 the
// signal bars); nullptr for any other id.
const GRADIENT_BAR_STYLE* GradientBarStyle(int controlId);
// Sets the colours, text, percentage switch and range (which resets the position).
void ApplyGradientBarStyle(CGradientProgressCtrl& bar, const GRADIENT_BAR_STYLE& style);
