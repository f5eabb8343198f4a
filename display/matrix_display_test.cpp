// MatrixDisplay on the recording port device: text cells and inverse video,
// what reaches the panel on Flush, stored pictures, and sequences and LED
// blinking on the simulator's virtual clock.
#include "display/matrix_display.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display/fake_port_test.h"
#include "display/font.h"
#include "display/tld.h"
#include "sim/seam/clock.h"
#include "tests/str_text.h"

namespace {

using display_fakes::attached;
using display_fakes::port_device;
using requests = std::vector<std::pair<unsigned long, unsigned long>>;

// Whether the cell of text row `row` shows character ch, inverted or not.
::testing::AssertionResult shows(const RasterImage& image, int cell, int row, int ch,
                                 bool inverted = false) {
  for (int k = 0; k < 5; ++k) {
    for (int r = 0; r < 8; ++r) {
      bool expected = ((char_code[ch * 5 + k] >> r) & 1) != inverted;
      if (image.GetPixel(TLD::column_of_cell(cell) + k, 9 * row + r) != expected) {
        return ::testing::AssertionFailure() << "cell " << cell << " pixel " << k << "," << r;
      }
    }
  }
  return ::testing::AssertionSuccess();
}

bool blank(const RasterImage& image) {
  for (int x = 0; x < image.Width(); ++x) {
    for (int y = 0; y < image.Height(); ++y) {
      if (image.GetPixel(x, y)) return false;
    }
  }
  return true;
}

// The event loop's timer side for ms of virtual time: each pass sleeps until
// the earliest expiry and runs that one timer.
void run_for(int ms) {
  int64_t end = sim::clock::now_us() + int64_t{ms} * 1000;
  while (!timeout::empty()) {
    timeval d = timeout::delay();
    int64_t wait = int64_t{d.tv_sec} * 1000000 + d.tv_usec;
    if (sim::clock::now_us() + wait > end) break;
    sim::clock::advance_us(wait);
    timeout::next();
  }
  sim::clock::advance_us(end - sim::clock::now_us());
}

class Display : public testing::Test {
 protected:
  void SetUp() override {
    ctimestamp::now();
    sim::clock::use_virtual(true);
    testing::internal::CaptureStdout();
    display.SetDevice("/dev/test-port");
    testing::internal::GetCapturedStdout();
    display.Flush(true);
    port().forget();
  }
  void TearDown() override {
    EXPECT_EQ(port().violations, 0);
    display.StopSequences();
    EXPECT_TRUE(timeout::empty()) << "a timer outlived its test";
    TLD::close_device();
    TLD::contrast = 32;
    sim::clock::use_virtual(false);
  }
  port_device& port() { return *bus.device; }

  attached<port_device> bus{"/dev/test-port"};
  MatrixDisplay display;
};

TEST_F(Display, TheUpdateTitleTakesCells0To17AndFourFramesOfPageZero) {
  std::string title = "To Update by TFTP:";
  display.Print(0, 0, title.c_str());
  display.Flush(true);
  ASSERT_EQ(port().runs.size(), 4u);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(port().runs[i].page, 0);
    EXPECT_EQ(port().runs[i].column, 32 * i);
  }
  // The glyphs are the font's columns: each data byte is a font byte.
  for (int cell = 0; cell < 18; ++cell) {
    for (int k = 0; k < 5; ++k) {
      EXPECT_EQ(port().memory[0][TLD::column_of_cell(cell) + k], char_code[title[cell] * 5 + k])
          << "cell " << cell;
    }
  }
  port().forget();
  display.Flush(false);
  EXPECT_TRUE(port().calls.empty()) << "a second flush sends nothing";
}

TEST_F(Display, TextBeyondCell23IsDroppedAndRowsOtherThan0And1DrawNothing) {
  for (int row : {2, -1, 1 << 30}) display.Print(0, row, "abc");
  display.Print(-1, 0, "AB");
  EXPECT_TRUE(blank(display));
  display.Print(20, 1, "ABCDEFG");
  for (int cell = 20; cell < 24; ++cell) EXPECT_TRUE(shows(display, cell, 1, "ABCD"[cell - 20]));
  display.Clear(TLD::column_of_cell(20), 9, 132 - TLD::column_of_cell(20), 8);
  EXPECT_TRUE(blank(display)) << "nothing else was drawn";
}

TEST_F(Display, ControlCodesTakeNoCellAndInverseVideoPersists) {
  display.Print(0, 0, "1\0162\0173\013\0144");
  EXPECT_TRUE(shows(display, 0, 0, '1'));
  EXPECT_TRUE(shows(display, 1, 0, '2', true));
  EXPECT_TRUE(shows(display, 2, 0, '3'));
  EXPECT_TRUE(shows(display, 3, 0, '4'));
  display.Print(0, 1, "\016");
  display.Clear();
  display.Print(5, 1, "x\017y");
  EXPECT_TRUE(shows(display, 5, 1, 'x', true)) << "neither a new Print nor Clear ends it";
  EXPECT_TRUE(shows(display, 6, 1, 'y'));
  EXPECT_FALSE(display.GetPixel(TLD::column_of_cell(5), 8)) << "pixel row 8 stays blank";
  // Printing over text replaces its cells pixel for pixel.
  display.Print(5, 1, "W");
  EXPECT_TRUE(shows(display, 5, 1, 'W'));
  // 11 and 12 reach only a device that takes frames.
  attached<display_fakes::write_recorder> frames("/dev/test-frames");
  display.display_fd = open("/dev/test-frames", O_WRONLY);
  display.Print(0, 0, "\014");
  EXPECT_EQ(frames.device->written, (std::vector<unsigned char>{0, 0, 0, 1, 12}));
}

TEST_F(Display, TextPrintedBeforeSetDeviceDrawsNothing) {
  MatrixDisplay fresh;
  fresh.Print(0, 0, "Hello");
  EXPECT_TRUE(blank(fresh));
}

TEST_F(Display, StoredPicturesAreFoundByIdReplacedAndDeleted) {
  EXPECT_EQ(&display.GetStoredPicture(7), &RasterImage::Empty);
  display.Show(0, 0, 7);
  display.Flush(false);
  EXPECT_TRUE(port().calls.empty()) << "showing a missing picture changes nothing";

  display.StorePicture(7, 3, 2, bytes("\xE0\xA0"));
  display.StorePicture(8, 1, 1, bytes("\x80"));
  display.StorePicture(7, 2, 2, bytes("\xC0\xC0"));
  EXPECT_EQ(display.GetStoredPicture(7).Width(), 2) << "the newer picture replaces the older";
  display.StorePicture(0, 4, 4, bytes("\xF0\xF0\xF0\xF0"));
  EXPECT_EQ(&display.GetStoredPicture(0), &RasterImage::Empty) << "ids below 1 are refused";
  EXPECT_EQ(display.GetStoredPicture(8).Width(), 1) << "and do not wipe the others";
  display.DeleteStoredPicture(7);
  EXPECT_EQ(&display.GetStoredPicture(7), &RasterImage::Empty);
  display.Show(131, 16, 8);
  EXPECT_TRUE(display.GetPixel(131, 16));
  display.DeleteStoredPicture(0);
  EXPECT_EQ(display.pictures, nullptr);

  display.DrawBitmap(40, 9, 8, 2, bytes("\xFF\x81"));
  EXPECT_TRUE(port().pixel(47, 10)) << "DrawBitmap reaches the panel at once";
  EXPECT_FALSE(port().pixel(41, 10));
}

TEST_F(Display, ASequenceShowsAFrameEachIntervalAndStoppingBlanksWhatItDrew) {
  display.StorePicture(1, 4, 2, bytes("\xF0\xF0"));
  display.StorePicture(2, 2, 6, bytes("\xC0\xC0\xC0\xC0\xC0\xC0"));
  const int ids[] = {1, 2};
  display.StartSequence(10, 0, 100, 2, ids, 0);
  EXPECT_TRUE(port().pixel(13, 1)) << "the first frame is on the panel at once";
  run_for(99);
  EXPECT_FALSE(port().pixel(10, 5));
  run_for(1);
  EXPECT_TRUE(port().pixel(10, 5)) << "the second frame after 100 ms";
  run_for(1000);
  EXPECT_TRUE(timeout::empty()) << "a finished sequence is not re-armed";
  display.StartSequence(10, 0, 100, 2, ids, 1);
  EXPECT_TRUE(timeout::empty()) << "the place is still taken by the finished sequence";

  // The area covered is 4 wide (frame 1) and 6 high (frame 2).
  display.Show(20, 0, 1);
  display.StopSequences();
  for (int x = 10; x < 14; ++x) {
    for (int y = 0; y < 6; ++y) EXPECT_FALSE(port().pixel(x, y)) << x << "," << y;
  }
  EXPECT_TRUE(port().pixel(20, 0)) << "drawing outside the sequences stays";
}

TEST_F(Display, ALoopingSequenceRunsUntilStopped) {
  display.StorePicture(1, 1, 1, bytes("\x80"));
  const int ids[] = {1, 99, 1};  // 99 is not stored: draws nothing
  display.StartSequence(0, 16, 50, 3, ids, 1);
  run_for(7 * 50);
  EXPECT_EQ(display.sequences->position, 2) << "8 frames shown, 3 per round";
  EXPECT_FALSE(timeout::empty());
  display.StopSequences();
  EXPECT_TRUE(timeout::empty());
  EXPECT_EQ(display.sequences, nullptr);
}

TEST_F(Display, AnLedBlinksEvery125MsByDefaultUntilSwitchedOn) {
  attached<display_fakes::led_device> leds("/dev/test-leds");
  display.SetLed("3", "on", 0);
  EXPECT_TRUE(leds.device->requests.empty()) << "no LED device yet: nothing";
  display.SetLedDevice("/dev/test-leds");

  display.SetLed("3", "blink", 0);
  run_for(500);
  requests expected;
  for (int i = 0; i < 5; ++i) expected.emplace_back(i % 2 ? 0x80045402UL : 0x80045401UL, 0x20UL);
  EXPECT_EQ(leds.device->requests, expected) << "on at once, then a toggle every 125 ms";

  leds.device->requests.clear();
  display.SetLed("3", "on", 0);
  run_for(1000);
  EXPECT_EQ(leds.device->requests, (requests{{0x80045401UL, 0x20UL}}));
  EXPECT_TRUE(timeout::empty());

  leds.device->requests.clear();
  display.SetLed("7", "on", 0);
  display.SetLed("2", "flash", 0);
  display.SetLed("1", "blink", 10000);
  display.SetLed("6", "OFF", 0);
  EXPECT_TRUE(timeout::empty()) << "a half period of 5 s or more blinks once";
  EXPECT_EQ(leds.device->requests, (requests{{0x80045401UL, 0x04UL}, {0x80045402UL, 0x02UL}}));
}

TEST_F(Display, ClosingTheLedDeviceEndsTheBlinkingOnIt) {
  attached<display_fakes::led_device> first("/dev/test-leds");
  attached<display_fakes::led_device> second("/dev/test-leds-2");
  display.SetLedDevice("/dev/test-leds");
  display.SetLed("3", "blink", 0);
  display.SetLed("4", "blink", 0);
  display.SetLedDevice("/dev/test-leds-2");  // may get the descriptor number of the first
  EXPECT_TRUE(timeout::empty());
  run_for(500);
  EXPECT_TRUE(second.device->requests.empty());
}

TEST_F(Display, ContrastStepsTheDriverTwicePerLevelAndAWildLevelEndsQuickly) {
  display.SetContrast(20);
  EXPECT_EQ(port().volumes, (std::vector<int>{33, 34})) << "from 38 to 40";
  port().forget();
  display.SetContrast(1 << 29);
  EXPECT_EQ(display.contrast_level, 1 << 30);
  EXPECT_LE(port().volumes.size(), 64u);
  EXPECT_EQ(port().volumes.back(), 63);
}

TEST_F(Display, CharacterPicturesDrawAtThePenAndMoveIt) {
  display.StorePicture(4, 2, 2, bytes("\xC0\xC0"));
  display.StorePicture(5, 1, 1, bytes("\x80"));
  display.SetCharPicture('a', 4, 3, 1);
  for (char c : {'a', 'b', 'a'}) display.PutCharPicture(c);
  EXPECT_TRUE(display.GetPixel(4, 2));
  EXPECT_EQ(display.pen_x, 6);
  EXPECT_EQ(display.pen_y, 2);
  display.SetCharPicture('a', 5, 0, 0);
  display.PutCharPicture('a');
  EXPECT_TRUE(display.GetPixel(6, 2));
  EXPECT_FALSE(display.GetPixel(7, 2)) << "the new binding replaced the old";
  display.ClearCharPictures();
  EXPECT_EQ(display.char_pictures, nullptr);
}

}  // namespace
