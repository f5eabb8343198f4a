// The display stack on the LCD model: what MatrixDisplay prints is what the
// panel shows, read back cell by cell, at the bus cost a byte should have,
// without a protocol violation; and the model's PNG of it is legible.
#include <gtest/gtest.h>
#include <png.h>
#include <stdlib.h>
#include <sys/select.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "display/matrix_display.h"
#include "display/tld.h"
#include "sim/seam/lcd_model.h"
#include "sim/models/lcd_render.h"
#include "sim/seam/lcd_png.h"

namespace {

using sim::lcd_model;

lcd_model& model() {
  return lcd_model::instance();
}

long violations() {
  const sim::lcd_violations& v = model().violations();
  return v.strobe_without_select + v.strobe_with_undriven_lines + v.read_with_output_data +
         v.read_outside_cycle + v.level_before_direction;
}

class DisplayStack : public testing::Test {
 protected:
  void SetUp() override {
    open_panel();
    model().reset();
    testing::internal::CaptureStdout();
    display.SetDevice(lcd_model::default_path);
    startup_line = testing::internal::GetCapturedStdout();
  }
  void TearDown() override {
    TLD::close_device();
    model().reset();
    model().set_png_path("");
  }
  // The model serves its path from the first simulated call on.
  static void open_panel() {
    timeval none = {0, 0};
    select(0, nullptr, nullptr, nullptr, &none);
  }

  MatrixDisplay display;
  std::string startup_line;
};

TEST_F(DisplayStack, TheTitleReadsBackFromFourFramesAtThirteenRequestsADataByte) {
  EXPECT_EQ(startup_line, "DISPLAY fd = " + std::to_string(TLD::fd) + "\n");
  display.Clear();
  display.Flush(true);
  long requests = model().requests();
  long data = model().data_bytes();
  long commands = model().command_bytes();

  display.Print(0, 0, "To Update by TFTP:");
  display.Flush(true);
  EXPECT_EQ(model().screen().row_text(0), "To Update by TFTP:");
  EXPECT_EQ(model().screen().row_text(1), "");
  EXPECT_EQ(model().data_bytes() - data, 4 * 32) << "four 32-column frames";
  EXPECT_EQ(model().command_bytes() - commands, 4 * 3) << "page and column per frame";
  EXPECT_EQ(model().requests() - requests, 13 * 4 * 32 + 14 * 4 * 3);
  EXPECT_EQ(violations(), 0);
  EXPECT_EQ(model().controller().counts().unknown_commands, 0);
  EXPECT_TRUE(model().controller().display_on());
}

TEST_F(DisplayStack, AnInvertedDigitReadsBackInverted) {
  display.Print(0, 1, "Press any key: \0163\017");
  display.Flush(true);
  sim::lcd_screen screen = model().screen();
  EXPECT_EQ(screen.row_text(1), "Press any key: \\[3\\]");
  EXPECT_EQ(screen.cell[1][15].code, '3');
  EXPECT_TRUE(screen.cell[1][15].inverted);
  EXPECT_FALSE(screen.cell[1][14].inverted);
  EXPECT_EQ(violations(), 0);
}

TEST_F(DisplayStack, TheScreensPngShowsEveryPixelOfThePanel) {
  const char* dir = getenv("RUK_BINARY_DIR");
  std::string path = std::string(dir != nullptr ? dir : ".") + "/display_stack_countdown.png";
  unlink(path.c_str());
  model().set_png_path(path);
  display.Print(0, 0, "To Update by TFTP:");
  display.Print(0, 1, "Press any key: \0163\017");
  display.Flush(true);
  open_panel();  // the program moves on: the screen settles and is written

  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str())) << path;
  image.format = PNG_FORMAT_RGB;
  std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
  const int scale = 4;
  ASSERT_EQ(static_cast<int>(image.width), sim::lcd_png_width(scale));
  ASSERT_EQ(static_cast<int>(image.height), sim::lcd_png_height(scale));
  // The centre of each panel pixel's dot is dark exactly where the pixel is set.
  int dark = 0;
  for (int y = 0; y < 17; ++y) {
    for (int x = 0; x < 132; ++x) {
      int px = (x + sim::lcd_png_margin) * scale + scale / 2;
      int py = (y + sim::lcd_png_margin) * scale + scale / 2;
      const unsigned char* c = &rgb[(static_cast<size_t>(py) * image.width + px) * 3];
      bool is_dark =
          c[0] == sim::lcd_png_dark.r && c[1] == sim::lcd_png_dark.g && c[2] == sim::lcd_png_dark.b;
      ASSERT_EQ(is_dark, model().memory().pixel(x, y)) << x << "," << y;
      dark += is_dark;
    }
  }
  EXPECT_GT(dark, 200) << "both rows of text are there";
}

TEST_F(DisplayStack, AMissingOrEverBusyPortLeavesThePanelDarkButTheProgramRunning) {
  sim::lcd_faults busy;
  busy.busy = true;
  model().set_faults(busy);
  display.SetDevice(lcd_model::default_path);
  display.Print(0, 0, "still here");
  display.Flush(true);
  EXPECT_EQ(model().screen().row_text(0), "still here") << "the set-up went on";
  TLD::close_device();

  model().reset();
  sim::lcd_faults missing;
  missing.missing = true;
  model().set_faults(missing);
  testing::internal::CaptureStdout();
  display.SetDevice(lcd_model::default_path);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "DISPLAY fd = -1\n");
  display.Print(0, 0, "nobody sees this");
  display.Flush(true);
  EXPECT_EQ(model().screen().row_text(0), "");
  EXPECT_EQ(model().requests(), 0);
}

}  // namespace
