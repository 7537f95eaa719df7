// The signal bar's model: range rules, what a paint draws for the page's three bars,
// band counts and colours, and the shape of the band list over many sizes.
#include <gtest/gtest.h>

#include <utility>

#include "ui/gradient_progress.h"

namespace {

constexpr int kHeight = 20;

CGradientProgressCtrl Bar(const GRADIENT_BAR_STYLE& style, int position) {
  CGradientProgressCtrl bar;
  ApplyGradientBarStyle(bar, style);
  bar.SetPos(position);
  return bar;
}

// Bands tile [0, last right) without gaps inside the client area; only the last one
// passes the position, and the background takes over from its right edge.
void ExpectWellFormed(const GRADIENT_PAINT& paint, int width) {
  if (paint.empty) {
    EXPECT_TRUE(paint.bands.empty() && !paint.hasBackground && !paint.showText);
    return;
  }
  int edge = 0;
  for (size_t i = 0; i < paint.bands.size(); ++i) {
    const BAR_RECT& r = paint.bands[i].rect;
    ASSERT_TRUE(r.left == edge && r.left <= r.right && r.right <= width) << "band " << i;
    ASSERT_TRUE(r.top == 0 && r.bottom == kHeight + 1) << "band " << i;
    ASSERT_TRUE(i + 1 == paint.bands.size() || r.right <= paint.positionPixel) << "band " << i;
    edge = r.right;
  }
  if (!paint.hasBackground) {
    EXPECT_EQ(edge, width);  // the whole gradient was revealed
    return;
  }
  EXPECT_TRUE(paint.bands.empty() || edge > paint.positionPixel);
  EXPECT_EQ(paint.background.left, edge);
  EXPECT_EQ(paint.background.right, width);
  EXPECT_EQ(paint.background.bottom, kHeight);
}

TEST(GradientProgressStateTest, RangeResetsPositionAndReachesTheControlIn16Bits) {
  CGradientProgressCtrl bar;
  bar.SetPos(70);
  bar.SetRange(-5, 70000);
  EXPECT_EQ(bar.GetPos(), -5);
  EXPECT_EQ(bar.Range16().low, -5);
  EXPECT_EQ(bar.Range16().high, short(70000 - 65536));
  // Painting keeps using the whole bounds.
  bar.SetPos(34997);
  bar.m_showPercent = true;
  const GRADIENT_PAINT paint = bar.Paint(100, kHeight);
  EXPECT_EQ(paint.positionPixel, 49);
  EXPECT_EQ(paint.text, "50%");
}

TEST(GradientProgressStateTest, PageBarStyles) {
  EXPECT_EQ(GradientBarStyle(1003), &kLockBarStyle);
  EXPECT_EQ(GradientBarStyle(1004), &kSignalBarStyle);
  EXPECT_EQ(GradientBarStyle(1065), &kSignalBarStyle);
  EXPECT_EQ(GradientBarStyle(1005), nullptr);
  EXPECT_EQ(kSignalBarStyle.middleColour, 0x00FFFFu);  // red in the low byte
  const CGradientProgressCtrl lock = Bar(kLockBarStyle, 0);
  EXPECT_EQ(lock.GetUpper(), 1);
  EXPECT_EQ(lock.m_textColour, kGradientWhite);
  EXPECT_FALSE(lock.m_showPercent);
}

TEST(GradientPaintTest, PositionsOutsideTheRangeLeaveTheBarEmpty) {
  for (int position : {0, -3, 101, 5000}) {
    const GRADIENT_PAINT paint = Bar(kSignalBarStyle, position).Paint(200, kHeight);
    EXPECT_TRUE(paint.empty) << position;
    ExpectWellFormed(paint, 200);
  }
  EXPECT_TRUE(Bar(kLockBarStyle, 0).Paint(200, kHeight).empty);
}

TEST(GradientPaintTest, FullLevelShowsRedThroughYellowToGreen) {
  const GRADIENT_PAINT paint = Bar(kSignalBarStyle, 100).Paint(510, kHeight);
  ASSERT_EQ(paint.bands.size(), 510u);  // 255 up in green, then 255 down in red
  EXPECT_FALSE(paint.hasBackground);
  for (int k = 0; k < 255; ++k) {  // one pixel per band at this width
    EXPECT_EQ(paint.bands[k].rect.left, k);
    EXPECT_EQ(paint.bands[k].colour, RgbValue(255, BYTE(k), 0)) << k;
    EXPECT_EQ(paint.bands[255 + k].colour, RgbValue(BYTE(255 - k), 255, 0)) << k;
  }
  EXPECT_EQ(paint.text, "100%");
  EXPECT_EQ(paint.textColour, kGradientBlack);
  ExpectWellFormed(paint, 510);
}

TEST(GradientPaintTest, HalfLevelStopsAtTheBandHoldingTheCentre) {
  GRADIENT_PAINT paint = Bar(kSignalBarStyle, 50).Paint(510, kHeight);
  ASSERT_EQ(paint.bands.size(), 256u);  // red to yellow, then the band at the position
  EXPECT_EQ(paint.bands.back().colour, kGradientYellow);
  EXPECT_EQ(paint.bands.back().rect.left, 255);
  EXPECT_EQ(paint.bands.back().rect.right, 256);
  EXPECT_EQ(paint.background.left, 256);
  EXPECT_EQ(paint.backgroundColour, kDefaultButtonFace);
  EXPECT_EQ(paint.text, "50%");
  ExpectWellFormed(paint, 510);

  // Narrower than the band count: the first band past pixel 100 is the third of the
  // second half, [100, 101), and it is drawn whole.
  paint = Bar(kSignalBarStyle, 50).Paint(200, kHeight);
  ASSERT_EQ(paint.bands.size(), 258u);
  EXPECT_EQ(paint.bands.back().rect.right, 101);
  EXPECT_EQ(paint.bands.back().colour, RgbValue(253, 255, 0));
  ExpectWellFormed(paint, 200);
}

TEST(GradientPaintTest, LockedBarIsSolidGreenWithoutText) {
  const GRADIENT_PAINT paint = Bar(kLockBarStyle, 1).Paint(120, kHeight);
  EXPECT_EQ(paint.bands.size(), 510u);  // flat halves: green's largest channel each
  for (const GRADIENT_BAND& band : paint.bands) EXPECT_EQ(band.colour, kGradientGreen);
  EXPECT_FALSE(paint.showText);
  ExpectWellFormed(paint, 120);
}

TEST(GradientPaintTest, ZeroWidthDrawsOnlyTheBackground) {
  const GRADIENT_PAINT paint = Bar(kSignalBarStyle, 50).Paint(0, kHeight);
  EXPECT_FALSE(paint.empty);
  EXPECT_TRUE(paint.bands.empty());
  EXPECT_FALSE(paint.showText);
  ExpectWellFormed(paint, 0);
}

TEST(GradientPaintTest, PercentageAndPixelCountFromTheLowerBound) {
  CGradientProgressCtrl bar;
  bar.m_showPercent = true;
  bar.SetRange(0, 3);
  bar.SetPos(2);
  EXPECT_EQ(bar.Paint(90, kHeight).text, "67%");
  for (auto [lower, upper] : {std::pair{50, 150}, std::pair{-10, 0}}) {
    bar.SetRange(lower, upper);
    bar.SetPos((lower + upper) / 2);
    const GRADIENT_PAINT paint = bar.Paint(200, kHeight);
    EXPECT_EQ(paint.text, "50%");
    EXPECT_EQ(paint.positionPixel, 100);
  }
}

TEST(GradientBandTest, CountsFollowTheWidestChannelStepAndColoursTruncate) {
  CGradientProgressCtrl bar;  // red -> (127, 0, 127) -> blue: 128 + 128 bands
  bar.SetPos(100);
  GRADIENT_PAINT paint = bar.Paint(256, kHeight);
  ASSERT_EQ(paint.bands.size(), 256u);
  EXPECT_EQ(paint.bands[1].colour, RgbValue(254, 0, 0));      // blue 127/128 -> 0
  EXPECT_EQ(paint.bands[127].colour, RgbValue(128, 0, 126));  // blue 126.0078 -> 126
  EXPECT_EQ(paint.bands[129].colour, RgbValue(126, 0, 128));  // red 126.0078 -> 126
  EXPECT_EQ(paint.bands[255].colour, RgbValue(0, 0, 254));

  bar.m_startColour = bar.m_middleColour = bar.m_endColour = RgbValue(40, 10, 0);
  EXPECT_EQ(bar.Paint(300, kHeight).bands.size(), 80u);  // flat: brightest channel
  bar.m_startColour = bar.m_middleColour = bar.m_endColour = kGradientBlack;
  EXPECT_EQ(bar.Paint(300, kHeight).bands.size(), 510u);  // flat black: 255
  bar.m_middleColour = RgbValue(0, 0, 3);
  EXPECT_EQ(bar.Paint(300, kHeight).bands.size(), 6u);
}

TEST(GradientBandTest, BandsTileTheBarUpToThePositionForEverySize) {
  CGradientProgressCtrl bars[3] = {Bar(kSignalBarStyle, 0), Bar(kLockBarStyle, 0),
                                   CGradientProgressCtrl()};
  bars[2].m_middleColour = RgbValue(10, 200, 30);
  for (CGradientProgressCtrl& bar : bars) {
    for (int width : {1, 2, 3, 7, 99, 100, 101, 255, 509, 510, 511, 640, 1021, 4000}) {
      int lastPixel = -1;
      for (int position = -1; position <= bar.GetUpper() + 1; ++position) {
        bar.SetPos(position);
        const GRADIENT_PAINT paint = bar.Paint(width, kHeight);
        SCOPED_TRACE(testing::Message() << "width " << width << " position " << position);
        ExpectWellFormed(paint, width);
        if (testing::Test::HasFailure()) return;
        if (paint.empty) continue;
        EXPECT_GE(paint.positionPixel, lastPixel);
        lastPixel = paint.positionPixel;
      }
      EXPECT_EQ(lastPixel, width);
    }
  }
}

}  // namespace
