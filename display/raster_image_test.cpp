// RasterImage: bitmap decoding, drawing on 32-row words, the marks of the
// touched screen blocks and the frames Flush makes of them.
#include "display/raster_image.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "display/fake_port_test.h"
#include "display/tld.h"
#include "tests/str_text.h"

namespace {

using display_fakes::attached;
using display_fakes::port_device;

str bitmap(const std::vector<int>& b) {
  return bytes(std::string(b.begin(), b.end()));
}

// A w x h image whose pixels follow f.
RasterImage image_of(int w, int h, const std::function<bool(int, int)>& f) {
  int row = (w + 7) / 8;
  std::vector<int> b(static_cast<size_t>(row * h), 0);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (f(x, y)) b[static_cast<size_t>(y * row + x / 8)] |= 0x80 >> (x % 8);
    }
  }
  return RasterImage(w, h, bitmap(b));
}
bool all(int, int) {
  return true;
}

// The marked blocks as block * 3 + page, and the marks cleared.
std::vector<int> take_marks() {
  std::vector<int> out;
  for (int i = 0; i < 15; ++i) {
    if (RasterImage::touched[i]) out.push_back(i);
    RasterImage::touched[i] = 0;
  }
  return out;
}

TEST(RasterImage, BitmapRowsStartAtNewBytesMostSignificantBitLeftmost) {
  RasterImage image(10, 3, bitmap({0x80, 0x40, 0x00, 0xC0, 0xFF}));
  std::string rows;
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 10; ++x) rows += image.GetPixel(x, y) ? '#' : '.';
    rows += '|';
  }
  EXPECT_EQ(rows, "#........#|........##|########..|") << "a missing last byte counts as 0";
  EXPECT_EQ(RasterImage(0, 5, bitmap({0xFF})).Width(), 0);
  EXPECT_EQ(RasterImage(-3, 8, bitmap({0xFF})).Height(), 0);
}

TEST(RasterImage, CopiesAreDeepAndAssigningEmptyEmpties) {
  RasterImage a = image_of(9, 35, [](int x, int y) { return (x + y) % 3 == 0; });
  RasterImage b;
  b = a;
  a.Clear();
  EXPECT_TRUE(b.GetPixel(8, 34));
  EXPECT_FALSE(a.GetPixel(0, 0));
  b = b;
  EXPECT_TRUE(b.GetPixel(8, 34)) << "self-assignment keeps the pixels";
  b = RasterImage::Empty;
  EXPECT_EQ(b.Width() + b.Height(), 0);
  take_marks();
}

// Pictures crossing 32-row words of the destination, normal and inverted:
// their rows land exactly, and the rows and columns around keep theirs.
TEST(RasterImage, BandsCrossingWordBoundariesLandExactlyAndKeepTheirNeighbours) {
  auto pattern = [](int x, int y) { return (x * 7 + y * 3) % 5 < 2; };
  auto around = [](int x, int y) { return (x + y) % 2 == 0; };
  RasterImage picture = image_of(3, 40, pattern);
  for (bool invert : {false, true}) {
    for (int top : {0, 20, 31, 32, 59}) {
      RasterImage canvas = image_of(6, 100, around);
      canvas.Insert(2, top, picture, invert);
      for (int x = 0; x < 6; ++x) {
        for (int y = 0; y < 100; ++y) {
          bool inside = x >= 2 && x < 5 && y >= top && y < top + 40;
          ASSERT_EQ(canvas.GetPixel(x, y),
                    inside ? pattern(x - 2, y - top) != invert : around(x, y))
              << x << "," << y << " top " << top << " invert " << invert;
        }
      }
    }
  }
  take_marks();
}

TEST(RasterImage, WhatDoesNotFitEntirelyIsNotDrawnNorMarked) {
  take_marks();
  RasterImage display(132, 17, str());
  RasterImage glyph = image_of(5, 8, all);
  for (auto at : {std::make_pair(128, 0), std::make_pair(0, 10), std::make_pair(-1, 0)}) {
    display.Insert(at.first, at.second, glyph, false);
  }
  display.Insert(135, 0, 8, 1, bitmap({0xFF}));
  display.Clear(130, 0, 3, 1);
  display.Insert(36, 9, RasterImage::Empty, false);
  EXPECT_TRUE(take_marks().empty());
  display.Insert(127, 9, glyph, false);
  EXPECT_TRUE(display.GetPixel(131, 16));
}

TEST(RasterImage, DrawingMarksExactlyTheBlocksAndPagesItCovers) {
  take_marks();
  RasterImage display(132, 17, str());
  display.Insert(36, 9, image_of(5, 8, all), false);
  EXPECT_EQ(take_marks(), (std::vector<int>{1 * 3 + 1, 1 * 3 + 2}));
  display.Insert(30, 0, image_of(5, 8, all), false);
  EXPECT_EQ(take_marks(), (std::vector<int>{0, 3})) << "across columns 31 and 32";
  display.Clear(33, 8, 4, 9);
  EXPECT_EQ(take_marks(), (std::vector<int>{1 * 3 + 1, 1 * 3 + 2}));
  // An image larger than the screen marks only blocks the screen has.
  RasterImage big(300, 40, str());
  big.Insert(250, 30, image_of(20, 10, all), false);
  big.Clear(120, 0, 150, 40);
  EXPECT_EQ(take_marks(), (std::vector<int>{9, 10, 11, 12, 13, 14}));
}

TEST(RasterImage, ABitmapIsWrittenWholeButNotBeyondTheDisplaysSize) {
  take_marks();
  RasterImage big = image_of(140, 20, all);
  big.Insert(126, 15, 10, 3, bitmap({0xAA, 0x80, 0xAA, 0x80, 0xAA, 0x80}));
  EXPECT_TRUE(big.GetPixel(126, 15));
  EXPECT_FALSE(big.GetPixel(127, 15)) << "clear bits clear pixels";
  EXPECT_FALSE(big.GetPixel(131, 16));
  EXPECT_TRUE(big.GetPixel(133, 15)) << "column 132 on is not the display's: skipped";
  EXPECT_TRUE(big.GetPixel(127, 17)) << "row 17 on is not the display's: skipped";
  EXPECT_EQ(take_marks(), (std::vector<int>{10, 11, 13, 14}));
}

class RasterFlush : public testing::Test {
 protected:
  void SetUp() override {
    TLD::open_device("/dev/test-port");
    testing::internal::CaptureStdout();
    TLD::init_tolv_display();
    testing::internal::GetCapturedStdout();
    port().forget();
    take_marks();
  }
  void TearDown() override {
    EXPECT_EQ(port().violations, 0);
    TLD::close_device();
  }
  port_device& port() { return *bus.device; }
  std::vector<std::vector<int>> frames() {
    std::vector<std::vector<int>> out;
    for (auto& r : port().runs) out.push_back({r.page, r.column, static_cast<int>(r.bytes.size())});
    return out;
  }
  attached<port_device> bus{"/dev/test-port"};
};

TEST_F(RasterFlush, ClearThenFlushSendsFifteenFramesPageByPageAndASecondFlushNothing) {
  RasterImage display(132, 17, str());
  display.Clear();
  display.Flush(0, true);
  std::vector<std::vector<int>> expected;
  for (int i = 0; i < 15; ++i) expected.push_back({i / 5, 32 * (i % 5), i % 5 == 4 ? 4 : 32});
  EXPECT_EQ(frames(), expected);
  EXPECT_EQ(port().commands.size(), 15u * 3);
  port().forget();
  display.Flush(0, false);
  EXPECT_TRUE(port().calls.empty());
  // An image narrower than the screen sends blank bytes beyond its columns.
  RasterImage glyph = image_of(5, 8, all);
  glyph.Insert(0, 0, glyph, false);
  glyph.Flush(0, true);
  std::vector<int> first(32, 0);
  for (int i = 0; i < 5; ++i) first[i] = 0xFF;
  EXPECT_EQ(port().runs.at(0).bytes, first);
}

TEST_F(RasterFlush, TwoDrawingsInABlockSendOneFrameAndThePanelShowsTheImage) {
  RasterImage display(132, 17, str());
  auto glyph = image_of(5, 8, [](int x, int y) { return x == y || y == 7; });
  display.Insert(0, 0, glyph, false);
  display.Insert(10, 0, glyph, true);
  display.Insert(127, 9, glyph, false);
  display.Flush(0, true);
  EXPECT_EQ(frames(), (std::vector<std::vector<int>>{
                          {0, 0, 32}, {1, 96, 32}, {1, 128, 4}, {2, 96, 32}, {2, 128, 4}}));
  EXPECT_EQ(port().runs[0].bytes[0], 0x81) << "bit 0 of a data byte is the page's top row";
  EXPECT_EQ(port().runs[0].bytes[10], 0x7E);
  for (int x = 0; x < 132; ++x) {
    for (int y = 0; y < 17; ++y)
      ASSERT_EQ(port().pixel(x, y), display.GetPixel(x, y)) << x << "," << y;
  }
}

}  // namespace
