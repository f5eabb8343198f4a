// RasterImage: bitmap decoding, drawing on 32-row words, the marks of the
// touched screen blocks and the frames Flush makes of them.
#include "display/raster_image.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "display/fake_port_test.h"
#include "display/tld.h"

namespace {

using display_fakes::attached;
using display_fakes::port_device;

str bitmap(const std::vector<int>& b) {
  std::string s(b.begin(), b.end());
  return str(s.data(), static_cast<int>(s.size()));
}

// An image whose pixels follow f.
RasterImage image_of(int w, int h, const std::function<bool(int, int)>& f) {
  std::vector<int> b(static_cast<size_t>((w + 7) / 8 * h), 0);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (f(x, y)) b[static_cast<size_t>(y * ((w + 7) / 8) + x / 8)] |= 0x80 >> (x % 8);
    }
  }
  return RasterImage(w, h, bitmap(b));
}

std::vector<int> marked() {
  std::vector<int> out;
  for (int i = 0; i < 15; ++i) {
    if (RasterImage::touched[i]) out.push_back(i);
  }
  return out;
}

void unmark_all() {
  for (int& m : RasterImage::touched) m = 0;
}

TEST(RasterImageBitmap, RowsStartAtNewBytesMostSignificantBitLeftmostMissingBytesBlank) {
  RasterImage image(10, 3, bitmap({0x80, 0x40, 0x00, 0xC0, 0xFF}));
  ASSERT_EQ(image.Width(), 10);
  ASSERT_EQ(image.Height(), 3);
  std::vector<std::string> rows;
  for (int y = 0; y < 3; ++y) {
    std::string row;
    for (int x = 0; x < 10; ++x) row += image.GetPixel(x, y) ? '#' : '.';
    rows.push_back(row);
  }
  EXPECT_EQ(rows, (std::vector<std::string>{"#........#", "........##", "########.."}));
  EXPECT_FALSE(image.GetPixel(10, 0));
  EXPECT_FALSE(image.GetPixel(-1, 0));
}

TEST(RasterImageBitmap, NoBitmapGivesABlankImageAndNoSizeGivesTheEmptyOne) {
  RasterImage blank(7, 40, str());
  EXPECT_EQ(blank.Width(), 7);
  for (int y = 0; y < 40; ++y) EXPECT_FALSE(blank.GetPixel(3, y));
  for (auto size : {std::make_pair(0, 5), std::make_pair(5, 0), std::make_pair(-3, 8)}) {
    RasterImage none(size.first, size.second, bitmap({0xFF}));
    EXPECT_EQ(none.Width(), 0);
    EXPECT_EQ(none.Height(), 0);
  }
}

TEST(RasterImageCopy, CopiesAreDeepAndEmptyCopiesAsEmpty) {
  RasterImage a = image_of(9, 35, [](int x, int y) { return (x + y) % 3 == 0; });
  RasterImage b;
  b = a;
  a.Clear();
  EXPECT_TRUE(b.GetPixel(0, 0));
  EXPECT_TRUE(b.GetPixel(8, 34));
  EXPECT_FALSE(a.GetPixel(0, 0));
  b = b;
  EXPECT_TRUE(b.GetPixel(8, 34)) << "self-assignment keeps the pixels";
  b = RasterImage::Empty;
  EXPECT_EQ(b.Width(), 0);
  EXPECT_EQ(b.Height(), 0);
  EXPECT_FALSE(b.GetPixel(0, 0));
  unmark_all();
}

// A picture crossing a 32-row word of the destination, normal and inverted:
// its rows land exactly, and the rows and columns around it keep theirs.
TEST(RasterImageInsert, BandsCrossingWordBoundariesLandExactlyAndKeepTheirNeighbours) {
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
          bool expected = inside ? pattern(x - 2, y - top) != invert : around(x, y);
          ASSERT_EQ(canvas.GetPixel(x, y), expected)
              << "pixel " << x << "," << y << " top " << top << " invert " << invert;
        }
      }
    }
  }
  unmark_all();
}

TEST(RasterImageInsert, APictureThatDoesNotFitEntirelyIsNotDrawnAtAll) {
  unmark_all();
  RasterImage display(132, 17, str());
  RasterImage glyph = image_of(5, 8, [](int, int) { return true; });
  display.Insert(128, 0, glyph, false);
  display.Insert(0, 10, glyph, false);
  display.Insert(-1, 0, glyph, false);
  display.Insert(0, -1, glyph, false);
  for (int x = 0; x < 132; ++x) {
    for (int y = 0; y < 17; ++y) ASSERT_FALSE(display.GetPixel(x, y));
  }
  EXPECT_TRUE(marked().empty());
  display.Insert(127, 9, glyph, false);
  EXPECT_TRUE(display.GetPixel(131, 16));
}

TEST(RasterImageInsert, AGlyphAt36And9MarksBlockOneInPagesOneAndTwoOnly) {
  unmark_all();
  RasterImage display(132, 17, str());
  display.Insert(36, 9, image_of(5, 8, [](int, int) { return true; }), false);
  EXPECT_EQ(marked(), (std::vector<int>{1 * 3 + 1, 1 * 3 + 2}));
  unmark_all();
  display.Insert(30, 0, image_of(5, 8, [](int, int) { return true; }), false);
  EXPECT_EQ(marked(), (std::vector<int>{0, 3})) << "a glyph across columns 31/32";
  unmark_all();
  display.Insert(36, 9, RasterImage::Empty, false);
  EXPECT_TRUE(marked().empty()) << "an empty picture changes nothing, not even a mark";
}

TEST(RasterImageInsert, ImagesLargerThanTheScreenMarkOnlyBlocksTheScreenHas) {
  unmark_all();
  RasterImage big(300, 40, str());
  big.Insert(250, 30, image_of(20, 10, [](int, int) { return true; }), false);
  big.Insert(100, 12, 60, 20, bitmap(std::vector<int>(200, 0xFF)));
  big.Clear(120, 0, 150, 40);
  EXPECT_EQ(marked(), (std::vector<int>{3 * 3 + 0, 3 * 3 + 1, 3 * 3 + 2, 4 * 3 + 0, 4 * 3 + 1,
                                        4 * 3 + 2}));
  unmark_all();
}

TEST(RasterImageInsert, ABitmapIsWrittenWholeButNotBeyondTheDisplaysSize) {
  unmark_all();
  RasterImage big(140, 20, str());
  big.Insert(0, 0, image_of(140, 20, [](int, int) { return true; }), false);
  unmark_all();
  // Every pixel of the rectangle is written, set or cleared.
  big.Insert(126, 15, 10, 3, bitmap({0xAA, 0x80, 0xAA, 0x80, 0xAA, 0x80}));
  EXPECT_TRUE(big.GetPixel(126, 15));
  EXPECT_FALSE(big.GetPixel(127, 15));
  EXPECT_TRUE(big.GetPixel(130, 16));
  EXPECT_FALSE(big.GetPixel(131, 16));
  EXPECT_TRUE(big.GetPixel(133, 15)) << "column 132 on is not the display's: skipped";
  EXPECT_TRUE(big.GetPixel(127, 17)) << "row 17 is not the display's: skipped";
  EXPECT_EQ(marked(), (std::vector<int>{3 * 3 + 1, 3 * 3 + 2, 4 * 3 + 1, 4 * 3 + 2}));
  unmark_all();
  big.Insert(0, 0, 8, 1, str());
  big.Insert(135, 0, 8, 1, bitmap({0xFF}));
  EXPECT_TRUE(marked().empty()) << "an empty bitmap or a rectangle that does not fit";
}

TEST(RasterImageClear, ARectangleBlanksExactlyItsPixelsAndMarksItsBlocks) {
  RasterImage display = image_of(132, 17, [](int, int) { return true; });
  unmark_all();
  display.Clear(33, 8, 4, 9);
  for (int x = 0; x < 132; ++x) {
    for (int y = 0; y < 17; ++y) {
      ASSERT_EQ(display.GetPixel(x, y), !(x >= 33 && x < 37 && y >= 8)) << x << "," << y;
    }
  }
  EXPECT_EQ(marked(), (std::vector<int>{1 * 3 + 1, 1 * 3 + 2}));
  unmark_all();
  display.Clear(130, 0, 3, 1);
  EXPECT_TRUE(display.GetPixel(130, 0)) << "a rectangle that does not fit clears nothing";
  EXPECT_TRUE(marked().empty());
}

// Flush against the recording port device.
class RasterFlush : public testing::Test {
 protected:
  void SetUp() override {
    TLD::open_device("/dev/test-port");
    testing::internal::CaptureStdout();
    TLD::init_tolv_display();
    testing::internal::GetCapturedStdout();
    port().forget();
    unmark_all();
  }
  void TearDown() override {
    EXPECT_EQ(port().violations, 0);
    TLD::close_device();
  }
  port_device& port() { return *bus.device; }
  attached<port_device> bus{"/dev/test-port"};
};

TEST_F(RasterFlush, ClearThenFlushSendsFifteenFramesPageByPageAndASecondFlushNothing) {
  RasterImage display(132, 17, str());
  display.Clear();
  display.Flush(0, true);
  auto runs = port().runs();
  ASSERT_EQ(runs.size(), 15u);
  for (int i = 0; i < 15; ++i) {
    EXPECT_EQ(runs[i].page, i / 5);
    EXPECT_EQ(runs[i].column, 32 * (i % 5));
    EXPECT_EQ(runs[i].bytes.size(), i % 5 == 4 ? 4u : 32u);
  }
  EXPECT_EQ(port().commands().size(), 15u * 3) << "page, column low, column high per frame";
  EXPECT_TRUE(marked().empty());
  port().forget();
  display.Flush(0, false);
  EXPECT_TRUE(port().calls.empty());
}

TEST_F(RasterFlush, TwoDrawingsInOneBlockSendOneFrameAndTheLastBlockFourBytes) {
  RasterImage display(132, 17, str());
  display.Clear();
  display.Flush(0, true);
  port().forget();
  auto glyph = image_of(5, 8, [](int x, int y) { return x == y || y == 7; });
  display.Insert(0, 0, glyph, false);
  display.Insert(10, 0, glyph, true);
  display.Insert(127, 9, glyph, false);
  display.Flush(0, true);
  auto runs = port().runs();
  ASSERT_EQ(runs.size(), 5u);
  int expected[5][3] = {{0, 0, 32}, {1, 96, 32}, {1, 128, 4}, {2, 96, 32}, {2, 128, 4}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(runs[i].page, expected[i][0]);
    EXPECT_EQ(runs[i].column, expected[i][1]);
    EXPECT_EQ(runs[i].bytes.size(), static_cast<size_t>(expected[i][2]));
  }
  EXPECT_EQ(runs[0].bytes[0], 0x81) << "bit 0 of a data byte is the page's top row";
  EXPECT_EQ(runs[0].bytes[10], 0x7E);
  for (int x = 0; x < 132; ++x) {
    for (int y = 0; y < 17; ++y) ASSERT_EQ(port().pixel(x, y), display.GetPixel(x, y)) << x << "," << y;
  }
}

TEST_F(RasterFlush, ThePanelMatchesTheImageAfterAFullFlush) {
  RasterImage display(132, 17, str());
  display.Clear();
  display.Insert(0, 0, image_of(132, 17, [](int x, int y) { return (x * 5 + y * 11) % 7 < 3; }),
                 false);
  display.Flush(0, true);
  for (int x = 0; x < 132; ++x) {
    for (int y = 0; y < 17; ++y) {
      ASSERT_EQ(port().pixel(x, y), (x * 5 + y * 11) % 7 < 3) << x << "," << y;
    }
  }
}

TEST_F(RasterFlush, AnImageNarrowerThanTheScreenFlushesBlankColumnsBeyondIt) {
  RasterImage glyph = image_of(5, 8, [](int, int) { return true; });
  glyph.Clear();
  glyph.Insert(0, 0, image_of(5, 8, [](int, int) { return true; }), false);
  glyph.Flush(0, true);
  auto runs = port().runs();
  ASSERT_EQ(runs.size(), 15u);
  std::vector<int> expected(32, 0);
  for (int i = 0; i < 5; ++i) expected[i] = 0xFF;
  EXPECT_EQ(runs[0].bytes, expected);
}

}  // namespace
