// The panel driver against the recording port device: the set-up, the cost
// of a byte, and the frame parser's graphic and text frames.
#include "display/tld.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <tuple>
#include <vector>

#include "display/fake_port_test.h"
#include "display/font.h"

namespace {

using display_fakes::attached;
using display_fakes::port_device;
using frame = std::vector<unsigned char>;
using ints = std::vector<int>;

const ints setup_commands = {0xAE, 0xA0, 0xC0, 0x23, 0x81, 0x20, 0xA9, 0xC1, 0xA3, 0x2F, 0xAF};

// Panel font columns of ch: as row 0 draws them, or the page-1 or page-2
// part of row 1, which starts one pixel row lower.
ints glyph(int ch, int part = 0, int mask = 0) {
  ints out;
  for (int k = 0; k < 5; ++k) {
    int g = (panel_font[ch * 5 + k] ^ mask) & 0xFF;
    out.push_back(part == 0 ? g : part == 1 ? (g & 0x7F) << 1 : g >> 7);
  }
  return out;
}

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
  static void write(const frame& b) {
    EXPECT_EQ(TLD::write_tolv_display(b.data(), static_cast<int>(b.size())),
              static_cast<int>(b.size()));
  }
  // The runs as (page, column, bytes) for one comparison.
  std::vector<std::tuple<int, int, ints>> runs() {
    std::vector<std::tuple<int, int, ints>> out;
    for (auto& r : port().runs) out.emplace_back(r.page, r.column, r.bytes);
    return out;
  }

  attached<port_device> bus{"/dev/test-port"};
  std::string startup_line;
};

TEST_F(PanelDriver, SetUpResetsTheControllerSendsItsCommandsAndClearsThreePages) {
  EXPECT_EQ(startup_line, "DISPLAY fd = " + std::to_string(TLD::fd) + "\n");
  attached<port_device> fresh("/dev/fresh-port");
  TLD::open_device("/dev/fresh-port");
  TLD::text_column = 5;
  testing::internal::CaptureStdout();
  EXPECT_EQ(TLD::init_tolv_display(), 0);
  testing::internal::GetCapturedStdout();

  port_device& p = *fresh.device;
  EXPECT_EQ(p.violations, 0);
  EXPECT_EQ(p.calls[0].request, 0x800CBF00UL) << "data bit 0 is open drain";
  // The reset pulse (port 1 pin 12 low, then high) comes before the first byte.
  int reset_low = -1, reset_high = -1, first_strobe = -1;
  for (int i = 0; i < static_cast<int>(p.calls.size()); ++i) {
    const auto& c = p.calls[i];
    if (c.request != 0x800CBF05UL || c.port != 1) continue;
    if (c.pin == 12 && c.value == 0 && reset_low < 0) reset_low = i;
    if (c.pin == 12 && c.value == 1 && reset_low >= 0 && reset_high < 0) reset_high = i;
    if (c.pin == 13 && c.value == 0 && first_strobe < 0) first_strobe = i;
  }
  EXPECT_LT(0, reset_low);
  EXPECT_LT(reset_low, reset_high);
  EXPECT_LT(reset_high, first_strobe);

  // The memory is cleared before the display goes on, so that what it held
  // at power-on is never shown.
  ints expected(setup_commands.begin(), setup_commands.end() - 1);
  for (int page : {0xB0, 0xB1, 0xB2}) expected.insert(expected.end(), {page, 0x00, 0x10});
  expected.push_back(0xAF);
  EXPECT_EQ(p.commands, expected);
  EXPECT_EQ(p.status_reads, 12) << "one wait after the reset and after each command";
  ASSERT_EQ(p.runs.size(), 3u);
  for (auto& r : p.runs) EXPECT_EQ(r.bytes, ints(133, 0));
  EXPECT_EQ(TLD::text_column, 0);
  TLD::open_device("/dev/test-port");
}

TEST_F(PanelDriver, ADataByteCostsThirteenPortRequestsACommandFourteen) {
  write({0, 0, 1, 0x55});
  size_t one = port().calls.size();
  port().forget();
  write({0, 0, 2, 0x55, 0xAA});
  EXPECT_EQ(port().calls.size() - one, 13u);
  EXPECT_EQ(one, 3 * 14u + 13u) << "page and two column commands, one data byte";
}

TEST_F(PanelDriver, AGraphicFrameSplitAcrossCallsDrawsAsInOne) {
  write({40, 1, 3, 0x81, 0x42, 0x24});
  auto whole = runs();
  auto whole_commands = port().commands;
  port().forget();
  for (const frame& part : {frame{40}, frame{1, 3}, frame{0x81}, frame{0x42, 0x24}}) write(part);
  EXPECT_EQ(runs(), whole);
  EXPECT_EQ(port().commands, whole_commands);
  ASSERT_EQ(whole.size(), 1u);
  EXPECT_EQ(whole[0], std::make_tuple(1, 40, ints{0x81, 0x42, 0x24}));
  // A page byte beyond the panel stays a page command (0xB0 | 0x4E would not).
  write({0, 0x4E, 1, 0xFF});
  EXPECT_EQ(port().commands[port().commands.size() - 3], 0xBE);
}

TEST_F(PanelDriver, TextPastCell23GoesOnInTheNextRowALineFeedAtOnce) {
  write({22, 0, 0, 3, 'A', 'B', 'C'});
  EXPECT_EQ(runs(), (std::vector<std::tuple<int, int, ints>>{{0, 121, glyph('A')},
                                                             {0, 126, glyph('B')},
                                                             {1, 0, glyph('C', 1)},
                                                             {2, 0, glyph('C', 2)}}));
  port().forget();
  write({5, 0, 0, 2, '\n', 'D'});
  ASSERT_EQ(port().runs.size(), 2u) << "the line feed draws nothing";
  EXPECT_EQ(runs()[0], std::make_tuple(1, 0, glyph('D', 1)));
  EXPECT_EQ(TLD::text_column, 1);
  EXPECT_EQ(TLD::text_row, 1);
  // Rows beyond 1 draw nothing but the cursor moves on.
  port().forget();
  write({3, 2, 0, 2, 'X', 'Y'});
  EXPECT_TRUE(port().runs.empty());
  EXPECT_EQ(TLD::text_column, 5);
}

TEST_F(PanelDriver, InversionCodesChangeOnlyTheFollowingCharactersAndTakeNoCell) {
  write({0, 0, 0, 5, 'A', 14, 'B', 15, 'C'});
  write({0, 1, 0, 2, 14, '0'});
  EXPECT_EQ(runs(), (std::vector<std::tuple<int, int, ints>>{{0, 0, glyph('A')},
                                                             {0, 5, glyph('B', 0, 0xFF)},
                                                             {0, 10, glyph('C')},
                                                             {1, 0, glyph('0', 1, 0xFF)},
                                                             {2, 0, glyph('0', 2, 0xFF)}}));
  EXPECT_FALSE(port().pixel(0, 8)) << "pixel row 8 stays blank under inversion";
}

TEST_F(PanelDriver, ReinitialisationCodesRerunTheSetUpKeepPixelsAndContrast) {
  write({0, 0, 0, 1, 'A'});
  TLD::set_contrast_tolv_display(40);
  for (unsigned char code : {11, 12}) {
    port().forget();
    write({1, 0, 0, 2, code, 'B'});
    ints expected = {0xB0, 0x05, 0x10, 0xE2};  // header, then the software reset
    expected.insert(expected.end(), setup_commands.begin(), setup_commands.end());
    expected[4 + 5] = 40;                                 // the contrast the user set
    expected.insert(expected.end(), {0xB0, 0x05, 0x10});  // 'B' in cell 1
    EXPECT_EQ(port().commands, expected) << "code " << int(code);
    EXPECT_EQ(runs(), (std::vector<std::tuple<int, int, ints>>{{0, 5, glyph('B')}}));
  }
  for (int k = 0; k < 5; ++k) EXPECT_EQ(port().memory[0][k], panel_font['A' * 5 + k]);
}

TEST_F(PanelDriver, BadFramesEndCleanly) {
  write({0, 0, 0, 0});  // an empty text ends at once: the next frame is graphic
  write({7, 0, 1, 0xAA});
  EXPECT_EQ(runs(), (std::vector<std::tuple<int, int, ints>>{{0, 7, {0xAA}}}));
  port().forget();
  unsigned char b[] = {1, 2};
  EXPECT_EQ(TLD::write_tolv_display(b, -1), -1);
  EXPECT_EQ(TLD::write_tolv_display(nullptr, 3), -1);
  EXPECT_EQ(TLD::parse_state, 0);
  EXPECT_TRUE(port().calls.empty());
  // A glyph reaching left of its cell does not leave the panel at cell 0.
  write({0, 0, 0, 1, 224});
  write({7, 0, 0, 1, 222});
  EXPECT_EQ(port().runs[0].column, 0);
  EXPECT_EQ(port().runs[1].column, 35);
}

TEST_F(PanelDriver, WritelnContinuesAtTheCursorWithAtMost24Characters) {
  TLD::set_cursor_tolv_display(3, 1);
  TLD::writeln_tolv_display(reinterpret_cast<const unsigned char*>("ab\n"));
  ASSERT_EQ(port().runs.size(), 4u);
  EXPECT_EQ(runs()[2], std::make_tuple(1, 20, glyph('b', 1)));
  EXPECT_EQ(TLD::text_row, 2);
  port().forget();
  TLD::set_cursor_tolv_display(0, 0);
  TLD::writeln_tolv_display(reinterpret_cast<const unsigned char*>(std::string(30, 'x').c_str()));
  EXPECT_EQ(port().runs.size(), 24u);
}

TEST_F(PanelDriver, ContrastStaysWithin0To63) {
  TLD::contrast = 62;
  TLD::inc_contrast_tolv_display(1);
  TLD::inc_contrast_tolv_display(1);
  TLD::contrast = 1;
  TLD::inc_contrast_tolv_display(0);
  TLD::inc_contrast_tolv_display(0);
  for (int value : {200, 0x105, -1}) TLD::set_contrast_tolv_display(value);
  EXPECT_EQ(port().volumes, (ints{63, 63, 0, 0, 63, 5, 63}));
  EXPECT_EQ(port().commands.size(), 14u);
}

TEST_F(PanelDriver, AControllerBusyForEverOrUnreadableStillLetsTheSetUpEnd) {
  port().busy_reads = 3;
  TLD::wait_ready();
  EXPECT_EQ(port().status_reads, 4);
  port().busy_forever = true;
  port().forget();
  TLD::setup_panel(0);
  EXPECT_EQ(port().status_reads, 12 * 100);
  EXPECT_EQ(port().commands.size(), 12u);
  port().reads_fail = true;
  port().forget();
  EXPECT_EQ(TLD::read_status(), -1);
  EXPECT_EQ(TLD::read_switch_key(), -1);

  TLD::open_device("/nonexistent/inca-port");
  testing::internal::CaptureStdout();
  TLD::init_tolv_display();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "DISPLAY fd = -1\n");
  EXPECT_EQ(TLD::close_device(), -1);
  TLD::open_device("/dev/test-port");
}

TEST_F(PanelDriver, LedRequestsCarryTheMaskAsTheArgumentValue) {
  attached<display_fakes::led_device> leds("/dev/test-leds");
  int fd = open("/dev/test-leds", O_WRONLY);
  ASSERT_GE(fd, 0);
  const unsigned long masks[] = {0x00, 0x04, 0x10, 0x20, 0x40, 0x01, 0x02, 0x80, 0x08, 0x00};
  for (int led = 1; led <= 9; ++led) {
    TLD::put_led_tolv_display(fd, led);
    TLD::put_led_tolv_display(fd, -led);
  }
  TLD::put_led_tolv_display(fd, 0);
  TLD::put_led_tolv_display(fd, -2147483647 - 1);
  auto& r = leds.device->requests;
  ASSERT_EQ(r.size(), 20u);
  for (int led = 1; led <= 9; ++led) {
    EXPECT_EQ(r[2 * led - 2], std::make_pair(0x80045401UL, masks[led])) << led;
    EXPECT_EQ(r[2 * led - 1], std::make_pair(0x80045402UL, masks[led])) << -led;
  }
  EXPECT_EQ(r[18], std::make_pair(0x80045401UL, 0UL)) << "0 counts as on";
  EXPECT_EQ(r[19], std::make_pair(0x80045402UL, 0UL));
  EXPECT_TRUE(port().calls.empty()) << "LED requests never touch the port driver";
  close(fd);
}

TEST_F(PanelDriver, TheSwitchReadsYWhenHighAndZWhenLow) {
  TLD::init_switch_input();
  EXPECT_TRUE(port().is_output(2, 12) && port().level(2, 12));
  EXPECT_FALSE(port().is_output(2, 11));
  port().read_levels[{2, 11}] = 1;
  EXPECT_EQ(TLD::read_switch_key(), 'y');
  port().read_levels[{2, 11}] = 0;
  EXPECT_EQ(TLD::read_switch_key(), 'z');
}

}  // namespace
