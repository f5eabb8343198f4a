// The call-duration display on theDisplay: which fields are redrawn for
// which durations, and the checks on field names and digits.
#include "display/call_timer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display/fake_port_test.h"
#include "display/matrix_display.h"
#include "display/tld.h"
#include "lib/init_order.h"

// The program's display; the application defines it in the program.
MatrixDisplay theDisplay RUK_INIT(RUK_INIT_APP_DISPLAY);

namespace {

using display_fakes::attached;
using display_fakes::port_device;

const char* const names[] = {"RTPMIN10", "RTPMIN1", "RTPSEC10", "RTPSEC1"};
const int field_x[] = {0, 10, 20, 30};

// The picture of digit d in field f: an 8 x 2 picture, row 0 spelling d + 1
// in binary and row 1 fully set, so the display tells which digit it shows.
int picture_id(int f, int d) { return 100 * (f + 1) + d; }

// What field f shows on theDisplay: a digit, or -1 for nothing.
int shown(int f) {
  int value = 0;
  for (int i = 0; i < 8; ++i) {
    if (!theDisplay.GetPixel(field_x[f] + i, 9)) return -1;
    value = value * 2 + (theDisplay.GetPixel(field_x[f] + i, 8) ? 1 : 0);
  }
  return value - 1;
}
std::vector<int> all_shown() { return {shown(0), shown(1), shown(2), shown(3)}; }

class CallTimer : public testing::Test {
 protected:
  void SetUp() override {
    testing::internal::CaptureStdout();
    theDisplay.SetDevice("/dev/test-port");
    testing::internal::GetCapturedStdout();
    for (int f = 0; f < 4; ++f) {
      ASSERT_TRUE(call_timer_set_position(names[f], field_x[f], 8));
      for (int d = 0; d < (f == 2 ? 6 : 10); ++d) {
        char picture[2] = {static_cast<char>(d + 1), static_cast<char>(0xFF)};
        theDisplay.StorePicture(picture_id(f, d), 8, 2, str(picture, 2));
        ASSERT_TRUE(call_timer_set_digit_picture(names[f], str(d, 0), picture_id(f, d)));
      }
    }
    blank_screen();
  }
  void TearDown() override {
    EXPECT_EQ(port().violations, 0);
    call_timer_reset();
    TLD::close_device();
  }
  // Blanks the panel, so that what the next step draws stands alone.
  void blank_screen() {
    theDisplay.Clear();
    theDisplay.Flush(true);
    port().forget();
  }
  bool flushed() { return !port().bytes.empty(); }
  port_device& port() { return *bus.device; }
  attached<port_device> bus{"/dev/test-port"};
};

TEST_F(CallTimer, AllFieldsThatDifferThenOnlyTheDigitsThatChange) {
  call_timer_show(670);
  call_timer_show(671);  // 11:11
  blank_screen();
  call_timer_show(0);
  EXPECT_EQ(all_shown(), (std::vector<int>{0, 0, 0, 0}));
  EXPECT_TRUE(flushed());

  blank_screen();
  call_timer_show(1);
  EXPECT_EQ(all_shown(), (std::vector<int>{-1, -1, -1, 1}));

  call_timer_show(59);
  blank_screen();
  call_timer_show(60);
  EXPECT_EQ(all_shown(), (std::vector<int>{-1, 1, 0, 0}));
  EXPECT_TRUE(port().pixel(field_x[3], 9)) << "the panel got it too";

  blank_screen();
  call_timer_show(60);
  EXPECT_EQ(all_shown(), (std::vector<int>{-1, -1, -1, -1}));
  EXPECT_FALSE(flushed()) << "the same duration again draws nothing";

  call_timer_show(754);  // 12:34
  blank_screen();
  call_timer_show(3600);
  EXPECT_EQ(all_shown(), (std::vector<int>{0, 1, 0, 0})) << "01:00, hours and minutes";
  blank_screen();
  for (int s = 3601; s < 3660; ++s) call_timer_show(s);
  EXPECT_FALSE(flushed()) << "in the hours form only a new minute redraws";
  call_timer_show(3660);
  EXPECT_EQ(all_shown(), (std::vector<int>{-1, -1, -1, 1}));
  EXPECT_EQ(call_timer_last, 3660);
}

TEST_F(CallTimer, DigitsAFieldDoesNotHaveAreRefused) {
  EXPECT_FALSE(call_timer_set_digit_picture("RTPSEC10", "6", 1));
  EXPECT_TRUE(call_timer_set_digit_picture("RTPSEC10", "5", picture_id(2, 5)));
  for (const char* name : names) {
    EXPECT_FALSE(call_timer_set_digit_picture(name, "10", 1));
    EXPECT_FALSE(call_timer_set_digit_picture(name, "-1", 1));
  }
  EXPECT_FALSE(call_timer_set_digit_picture("RTPHOUR1", "1", 1));
  EXPECT_FALSE(call_timer_set_position("RTPHOUR1", 1, 1));
  EXPECT_FALSE(call_timer_redraw_field("RTPHOUR1"));
  EXPECT_TRUE(call_timer_set_position("rtpSec1", field_x[3], 8)) << "letter case is ignored";
}

TEST_F(CallTimer, FieldsWithoutPicturesAreNeverDrawnNorFlushed) {
  int start = call_timer_last + 1000;
  call_timer_show(start);
  call_timer_reset();
  blank_screen();
  call_timer_show(start + 61);
  EXPECT_EQ(all_shown(), (std::vector<int>{-1, -1, -1, -1}));
  EXPECT_FALSE(flushed());

  // A digit without a picture leaves its field as it was; the others change.
  ASSERT_TRUE(call_timer_set_digit_picture("RTPSEC1", "3", picture_id(3, 3)));
  ASSERT_TRUE(call_timer_set_digit_picture("RTPSEC10", "0", picture_id(2, 0)));
  call_timer_show(7200 + 3 * 60);  // 02:03
  EXPECT_EQ(all_shown(), (std::vector<int>{-1, -1, 0, 3}));
}

TEST_F(CallTimer, RedrawingAFieldDrawsItsDigitAgainWithoutFlushing) {
  call_timer_show(call_timer_last + 1);
  int digit = (call_timer_last > 3599 ? call_timer_last / 60 : call_timer_last) % 10;
  blank_screen();
  EXPECT_TRUE(call_timer_redraw_field("RTPSEC1"));
  EXPECT_EQ(shown(3), digit);
  EXPECT_FALSE(flushed());
}

TEST_F(CallTimer, ANegativeDurationIsIgnored) {
  int last = call_timer_last;
  call_timer_show(-5);
  EXPECT_EQ(call_timer_last, last);
  EXPECT_EQ(all_shown(), (std::vector<int>{-1, -1, -1, -1}));
}

}  // namespace
