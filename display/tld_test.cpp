// The panel driver against a recording port device: the set-up, the bus
// cycles, and the frame parser's graphic and text frames.
#include "display/tld.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "display/fake_port_test.h"
#include "display/font.h"

namespace {

using display_fakes::attached;
using display_fakes::data_run;
using display_fakes::led_device;
using display_fakes::port_device;
using bytes = std::vector<unsigned char>;

const std::vector<int> setup_commands = {0xAE, 0xA0, 0xC0, 0x23, 0x81, 0x20,
                                         0xA9, 0xC1, 0xA3, 0x2F, 0xAF};

class PanelDriver : public testing::Test {
 protected:
  void SetUp() override {
    TLD::open_device("/dev/test-port");
    testing::internal::CaptureStdout();
    TLD::init_tolv_display();
    startup_line = testing::internal::GetCapturedStdout();
    port().forget();
  }
  void TearDown() override {
    EXPECT_EQ(port().violations, 0) << "bus protocol breached";
    TLD::close_device();
    TLD::invert_mask = 0x00;
    TLD::contrast = 32;
  }
  port_device& port() { return *bus.device; }
  static void write(const bytes& b) {
    EXPECT_EQ(TLD::write_tolv_display(b.data(), static_cast<int>(b.size())),
              static_cast<int>(b.size()));
  }
  static std::vector<int> row0_glyph(int ch, int mask = 0) {
    std::vector<int> out;
    for (int k = 0; k < 5; ++k) out.push_back((panel_font[ch * 5 + k] ^ mask) & 0xFF);
    return out;
  }
  // A row-1 glyph: its rows 0..6 one pixel down in page 1, row 7 in page 2.
  static std::vector<int> row1_glyph_upper(int ch, int mask = 0) {
    std::vector<int> out;
    for (int g : row0_glyph(ch, mask)) out.push_back((g & 0x7F) << 1);
    return out;
  }
  static std::vector<int> row1_glyph_lower(int ch, int mask = 0) {
    std::vector<int> out;
    for (int g : row0_glyph(ch, mask)) out.push_back(g >> 7);
    return out;
  }
  static void expect_run(const data_run& run, int page, int column, const std::vector<int>& data) {
    EXPECT_EQ(run.page, page);
    EXPECT_EQ(run.column, column);
    EXPECT_EQ(run.bytes, data);
  }

  attached<port_device> bus{"/dev/test-port"};
  std::string startup_line;
};

TEST_F(PanelDriver, SetUpResetsTheControllerSendsTheCommandsAndClearsThreePages) {
  attached<port_device> fresh("/dev/fresh-port");
  int fd = TLD::open_device("/dev/fresh-port");
  EXPECT_EQ(TLD::fd, fd);
  TLD::text_column = 5;
  testing::internal::CaptureStdout();
  EXPECT_EQ(TLD::init_tolv_display(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "DISPLAY fd = " + std::to_string(fd) + "\n");

  port_device& p = *fresh.device;
  EXPECT_EQ(p.violations, 0);
  // Bits 0 and 7 of the data bus are open drain, set before their direction.
  ASSERT_GE(p.calls.size(), 3u);
  EXPECT_EQ(p.calls[0].request, 0x800CBF00UL);
  EXPECT_EQ(p.calls[0].pin, 0);
  EXPECT_EQ(p.calls[1].request, 0x800CBF04UL);
  // The hardware reset pulse comes before the first byte on the bus.
  size_t reset_low = 0, reset_high = 0, first_strobe = 0;
  for (size_t i = 0; i < p.calls.size(); ++i) {
    const auto& c = p.calls[i];
    if (c.request != 0x800CBF05UL || c.port != 1) continue;
    if (c.pin == 12 && c.value == 0 && reset_low == 0) reset_low = i;
    if (c.pin == 12 && c.value == 1 && reset_low != 0 && reset_high == 0) reset_high = i;
    if (c.pin == 13 && c.value == 0 && first_strobe == 0) first_strobe = i;
  }
  EXPECT_LT(0u, reset_low);
  EXPECT_LT(reset_low, reset_high);
  EXPECT_LT(reset_high, first_strobe);

  std::vector<int> expected = setup_commands;
  for (int page : {0xB0, 0xB1, 0xB2}) expected.insert(expected.end(), {page, 0x00, 0x10});
  EXPECT_EQ(p.commands(), expected);
  EXPECT_EQ(p.status_reads, 12) << "one wait after the reset and after each command";
  int zero_bytes = 0;
  for (const auto& b : p.bytes) zero_bytes += b.data && b.value == 0;
  EXPECT_EQ(zero_bytes, 3 * 133);
  EXPECT_EQ(TLD::text_column, 0);
  EXPECT_EQ(TLD::parse_state, 0);

  TLD::open_device("/dev/test-port");  // back to the fixture's device
}

TEST_F(PanelDriver, ADataByteCostsThirteenPortRequestsACommandByteFourteen) {
  write({0, 0, 1, 0x55});
  size_t one = port().calls.size();
  port().forget();
  write({0, 0, 2, 0x55, 0xAA});
  size_t two = port().calls.size();
  EXPECT_EQ(two - one, 13u);
  EXPECT_EQ(one, 3 * 14u + 13u) << "page and two column commands, one data byte";
}

TEST_F(PanelDriver, AGraphicFrameSplitAcrossCallsDrawsAsInOne) {
  write({40, 1, 3, 0x81, 0x42, 0x24});
  auto whole = port().bytes;
  port().forget();
  write({40});
  write({1, 3});
  write({0x81});
  write({0x42, 0x24});
  ASSERT_EQ(port().bytes.size(), whole.size());
  for (size_t i = 0; i < whole.size(); ++i) {
    EXPECT_EQ(port().bytes[i].data, whole[i].data);
    EXPECT_EQ(port().bytes[i].value, whole[i].value);
  }
  auto runs = port().runs();
  ASSERT_EQ(runs.size(), 1u);
  expect_run(runs[0], 1, 40, {0x81, 0x42, 0x24});
  EXPECT_TRUE(port().pixel(40, 8));
  EXPECT_TRUE(port().pixel(40, 15));
  EXPECT_FALSE(port().pixel(40, 9));
}

TEST_F(PanelDriver, TextPastCell23GoesOnInTheNextRowAndLineFeedGoesThereAtOnce) {
  write({22, 0, 0, 3, 'A', 'B', 'C'});
  auto runs = port().runs();
  ASSERT_EQ(runs.size(), 4u);
  expect_run(runs[0], 0, 121, row0_glyph('A'));  // cell 22
  expect_run(runs[1], 0, 126, row0_glyph('B'));  // cell 23
  expect_run(runs[2], 1, 0, row1_glyph_upper('C'));
  expect_run(runs[3], 2, 0, row1_glyph_lower('C'));
  EXPECT_EQ(TLD::text_column, 1);
  EXPECT_EQ(TLD::text_row, 1);

  port().forget();
  write({5, 0, 0, 2, '\n', 'D'});
  runs = port().runs();
  ASSERT_EQ(runs.size(), 2u) << "the line feed draws nothing";
  expect_run(runs[0], 1, 0, row1_glyph_upper('D'));
  EXPECT_EQ(TLD::text_column, 1);
  EXPECT_EQ(TLD::text_row, 1);
}

TEST(PanelCells, CellsSixToSixteenAreFollowedByABlankColumn) {
  const int expected[24] = {0,  5,  10, 15, 20, 25,  30,  36,  42,  48,  54,  60,
                            66, 72, 78, 84, 90, 96, 101, 106, 111, 116, 121, 126};
  for (int cell = 0; cell < 24; ++cell) EXPECT_EQ(TLD::column_of_cell(cell), expected[cell]);
}

TEST_F(PanelDriver, InversionCodesChangeOnlyTheFollowingCharactersAndTakeNoCell) {
  write({0, 0, 0, 5, 'A', 14, 'B', 15, 'C'});
  auto runs = port().runs();
  ASSERT_EQ(runs.size(), 3u);
  expect_run(runs[0], 0, 0, row0_glyph('A'));
  expect_run(runs[1], 0, 5, row0_glyph('B', 0xFF));
  expect_run(runs[2], 0, 10, row0_glyph('C'));

  // In row 1 the inverted glyph stays below the blank pixel row 8.
  port().forget();
  write({0, 1, 0, 2, 14, '0'});
  runs = port().runs();
  ASSERT_EQ(runs.size(), 2u);
  expect_run(runs[0], 1, 0, row1_glyph_upper('0', 0xFF));
  expect_run(runs[1], 2, 0, row1_glyph_lower('0', 0xFF));
  EXPECT_FALSE(port().pixel(0, 8));
  EXPECT_EQ(TLD::invert_mask, 0xFF) << "inversion persists between frames";
}

TEST_F(PanelDriver, ReinitialisationCodesRerunTheSetUpKeepThePixelsAndTakeNoCell) {
  write({0, 0, 0, 1, 'A'});
  ASSERT_TRUE(port().runs().size() == 1u);
  for (unsigned char code : {11, 12}) {
    port().forget();
    write({1, 0, 0, 2, code, 'B'});
    std::vector<int> expected = {0xB0, 0x05, 0x10, 0xE2};  // header, then the software reset
    expected.insert(expected.end(), setup_commands.begin(), setup_commands.end());
    expected.insert(expected.end(), {0xB0, 0x05, 0x10});  // 'B' in cell 1
    EXPECT_EQ(port().commands(), expected) << "code " << int(code);
    auto runs = port().runs();
    ASSERT_EQ(runs.size(), 1u) << "nothing cleared";
    expect_run(runs[0], 0, 5, row0_glyph('B'));
  }
  for (int k = 0; k < 5; ++k) EXPECT_EQ(port().memory[0][k], panel_font['A' * 5 + k]);
}

TEST_F(PanelDriver, ReinitialisationKeepsTheContrastTheUserSet) {
  TLD::set_contrast_tolv_display(40);
  port().forget();
  write({0, 0, 0, 1, 11});
  EXPECT_EQ(port().volumes, std::vector<int>{40});
}

TEST_F(PanelDriver, RowsBeyondOneDrawNothingButMoveTheCursor) {
  write({3, 2, 0, 2, 'X', 'Y'});
  EXPECT_TRUE(port().runs().empty());
  EXPECT_EQ(TLD::text_column, 5);
  EXPECT_EQ(TLD::text_row, 2);
}

TEST_F(PanelDriver, AnEmptyTextFrameEndsAtOnce) {
  write({0, 0, 0, 0});
  write({7, 0, 1, 0xAA});
  auto runs = port().runs();
  ASSERT_EQ(runs.size(), 1u) << "the next frame is a graphic frame again";
  expect_run(runs[0], 0, 7, {0xAA});
  EXPECT_EQ(TLD::parse_state, 0);
}

TEST_F(PanelDriver, BadArgumentsAreRefusedAndChangeNothing) {
  unsigned char b[] = {1, 2};
  EXPECT_EQ(TLD::write_tolv_display(b, -1), -1);
  EXPECT_EQ(TLD::write_tolv_display(nullptr, 3), -1);
  EXPECT_EQ(TLD::write_tolv_display(nullptr, 0), 0);
  EXPECT_EQ(TLD::parse_state, 0);
  EXPECT_TRUE(port().calls.empty());
}

TEST_F(PanelDriver, AWildPageByteStaysAPageCommand) {
  write({0, 0x4E, 1, 0xFF});
  ASSERT_FALSE(port().commands().empty());
  EXPECT_EQ(port().commands()[0], 0xBE) << "0xB0 | 0x4E would be another command";
}

TEST_F(PanelDriver, GlyphsThatOverhangLeftMoveOneColumnButNotBeforeColumnZero) {
  write({7, 0, 0, 1, 222});
  write({0, 0, 0, 1, 224});
  auto runs = port().runs();
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].column, 35);
  EXPECT_EQ(runs[1].column, 0);
}

TEST_F(PanelDriver, WritelnContinuesAtTheCursorAndTakesAtMost24Characters) {
  TLD::set_cursor_tolv_display(3, 1);
  TLD::writeln_tolv_display(reinterpret_cast<const unsigned char*>("ab\n"));
  auto runs = port().runs();
  ASSERT_EQ(runs.size(), 4u);
  expect_run(runs[0], 1, 15, row1_glyph_upper('a'));
  expect_run(runs[2], 1, 20, row1_glyph_upper('b'));
  EXPECT_EQ(TLD::text_column, 0);
  EXPECT_EQ(TLD::text_row, 2);

  port().forget();
  TLD::set_cursor_tolv_display(0, 0);
  TLD::writeln_tolv_display(reinterpret_cast<const unsigned char*>(std::string(30, 'x').c_str()));
  EXPECT_EQ(port().runs().size(), 24u);
  EXPECT_EQ(TLD::text_column, 0);
  EXPECT_EQ(TLD::text_row, 1);
}

TEST_F(PanelDriver, ContrastStaysWithin0To63) {
  TLD::contrast = 62;
  TLD::inc_contrast_tolv_display(1);
  TLD::inc_contrast_tolv_display(1);
  TLD::contrast = 1;
  TLD::inc_contrast_tolv_display(0);
  TLD::inc_contrast_tolv_display(0);
  EXPECT_EQ(port().volumes, (std::vector<int>{63, 63, 0, 0}));
  port().forget();
  TLD::set_contrast_tolv_display(200);
  TLD::set_contrast_tolv_display(0x105);
  TLD::set_contrast_tolv_display(-1);
  EXPECT_EQ(port().volumes, (std::vector<int>{63, 5, 63}));
  EXPECT_EQ(port().commands(), (std::vector<int>{0x81, 63, 0x81, 5, 0x81, 63}));
}

TEST_F(PanelDriver, WaitingForTheControllerPollsUntilReady) {
  port().busy_reads = 3;
  TLD::wait_ready();
  EXPECT_EQ(port().status_reads, 4);
}

TEST_F(PanelDriver, AControllerBusyForEverOrUnreadableStillLetsTheSetUpEnd) {
  port().busy_forever = true;
  TLD::setup_panel(0);
  EXPECT_EQ(port().status_reads, 12 * 100);
  std::vector<int> expected = {0xE2};
  expected.insert(expected.end(), setup_commands.begin(), setup_commands.end());
  EXPECT_EQ(port().commands(), expected);

  port().busy_forever = false;
  port().reads_fail = true;
  port().forget();
  EXPECT_EQ(TLD::read_status(), -1);
  TLD::wait_ready();
  EXPECT_EQ(port().status_reads, 1 + 100);
}

TEST_F(PanelDriver, LedRequestsCarryTheMaskAsTheArgumentValue) {
  attached<led_device> leds("/dev/test-leds");
  int fd = open("/dev/test-leds", O_WRONLY);
  ASSERT_GE(fd, 0);
  const unsigned long masks[] = {0x00, 0x04, 0x10, 0x20, 0x40, 0x01, 0x02, 0x80, 0x08, 0x00};
  for (int led = 0; led <= 9; ++led) {
    leds.device->requests.clear();
    TLD::put_led_tolv_display(fd, led);
    TLD::put_led_tolv_display(fd, -led);
    ASSERT_EQ(leds.device->requests.size(), 2u);
    EXPECT_EQ(leds.device->requests[0].first, 0x80045401UL);
    EXPECT_EQ(leds.device->requests[0].second, masks[led]) << "led " << led;
    EXPECT_EQ(leds.device->requests[1].first, led == 0 ? 0x80045401UL : 0x80045402UL)
        << "-0 is 0, which counts as on";
    EXPECT_EQ(leds.device->requests[1].second, masks[led]);
  }
  leds.device->requests.clear();
  TLD::put_led_tolv_display(fd, -2147483647 - 1);
  EXPECT_EQ(leds.device->requests.at(0).second, 0u);
  EXPECT_TRUE(port().calls.empty()) << "LED requests never touch the port driver";
  close(fd);
}

TEST_F(PanelDriver, TheSwitchReadsYWhenHighZWhenLowAndFailsVisibly) {
  TLD::init_switch_input();
  EXPECT_TRUE(port().is_output(2, 12));
  EXPECT_TRUE(port().level(2, 12));
  EXPECT_FALSE(port().is_output(2, 11));
  port().read_levels[{2, 11}] = 1;
  EXPECT_EQ(TLD::read_switch_key(), 'y');
  port().read_levels[{2, 11}] = 0;
  EXPECT_EQ(TLD::read_switch_key(), 'z');
  port().reads_fail = true;
  EXPECT_EQ(TLD::read_switch_key(), -1);
}

TEST_F(PanelDriver, TheBannerClearsThePanelAndStartsInRowZero) {
  write({0, 0, 0, 1, 'Q'});
  port().forget();
  TLD::show_banner();
  auto runs = port().runs();
  ASSERT_GE(runs.size(), 4u);
  // Three cleared pages, then the first non-blank character of the banner.
  expect_run(runs[3], 0, TLD::column_of_cell(0), row0_glyph(' '));
  int t_run = -1;
  for (size_t i = 3; i < runs.size(); ++i) {
    if (runs[i].bytes == row0_glyph('t')) {
      t_run = static_cast<int>(i);
      break;
    }
  }
  ASSERT_GE(t_run, 0);
  EXPECT_EQ(runs[t_run].page, 0);
  EXPECT_EQ(runs[t_run].column, TLD::column_of_cell(8));
  EXPECT_EQ(TLD::text_row, 2) << "both lines end with a line feed";
}

TEST(PanelDriverWithoutDevice, ANoDeviceSetUpEndsAndReportsMinusOne) {
  int fd = TLD::open_device("/nonexistent/inca-port");
  EXPECT_EQ(fd, -1);
  testing::internal::CaptureStdout();
  TLD::init_tolv_display();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "DISPLAY fd = -1\n");
  EXPECT_EQ(TLD::close_device(), -1);
}

}  // namespace
