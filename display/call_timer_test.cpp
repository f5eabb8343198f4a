// The call-duration display on theDisplay: which fields are redrawn for
// which durations, and the checks on field names and digits.
#include "display/call_timer.h"

#include <gtest/gtest.h>

#include <vector>

#include "display/fake_port_test.h"
#include "display/matrix_display.h"
#include "display/tld.h"
#include "lib/init_order.h"

// The program's display; the application defines it in the program.
MatrixDisplay theDisplay RUK_INIT(RUK_INIT_APP_DISPLAY);

namespace {

const char* const names[] = {"RTPMIN10", "RTPMIN1", "RTPSEC10", "RTPSEC1"};

// Field f sits at column 10 f of row 8; the picture of digit d in it is 8 x 2,
// row 0 spelling d + 1 in binary and row 1 set, so the screen tells the digit.
int shown(int f) {
  int value = 0;
  for (int i = 0; i < 8; ++i) {
    if (!theDisplay.GetPixel(10 * f + i, 9)) return -1;
    value = value * 2 + theDisplay.GetPixel(10 * f + i, 8);
  }
  return value - 1;
}
std::vector<int> screen() {
  return {shown(0), shown(1), shown(2), shown(3)};
}

class CallTimer : public testing::Test {
 protected:
  void SetUp() override {
    testing::internal::CaptureStdout();
    theDisplay.SetDevice("/dev/test-port");
    testing::internal::GetCapturedStdout();
    for (int f = 0; f < 4; ++f) {
      ASSERT_TRUE(call_timer_set_position(names[f], 10 * f, 8));
      for (int d = 0; d < (f == 2 ? 6 : 10); ++d) {
        char picture[2] = {static_cast<char>(d + 1), static_cast<char>(0xFF)};
        theDisplay.StorePicture(100 * f + d + 1, 8, 2, str(picture, 2));
        ASSERT_TRUE(call_timer_set_digit_picture(names[f], str(d, 0), 100 * f + d + 1));
      }
    }
    blank_screen();
  }
  void TearDown() override {
    call_timer_reset();
    TLD::close_device();
  }
  // Blanks screen and panel, so that what the next step draws stands alone.
  void blank_screen() {
    theDisplay.Clear();
    theDisplay.Flush(true);
    bus.device->forget();
  }
  bool flushed() { return !bus.device->runs.empty(); }
  display_fakes::attached<display_fakes::port_device> bus{"/dev/test-port"};
};

TEST_F(CallTimer, DigitsThatDifferAreRedrawnAndFlushedTheOthersNot) {
  call_timer_show(670);
  call_timer_show(671);  // 11:11
  blank_screen();
  call_timer_show(0);
  EXPECT_EQ(screen(), (std::vector<int>{0, 0, 0, 0}));
  EXPECT_TRUE(bus.device->pixel(30, 9)) << "flushed to the panel";
  blank_screen();
  call_timer_show(1);
  EXPECT_EQ(screen(), (std::vector<int>{-1, -1, -1, 1}));
  call_timer_show(59);
  blank_screen();
  call_timer_show(60);
  EXPECT_EQ(screen(), (std::vector<int>{-1, 1, 0, 0}));
  blank_screen();
  call_timer_show(60);
  call_timer_show(-5);
  EXPECT_FALSE(flushed()) << "the same duration again, or a negative one, draws nothing";

  call_timer_show(754);  // 12:34
  blank_screen();
  call_timer_show(3600);
  EXPECT_EQ(screen(), (std::vector<int>{0, 1, 0, 0})) << "01:00, hours and minutes";
  blank_screen();
  for (int s = 3601; s < 3660; ++s) call_timer_show(s);
  EXPECT_FALSE(flushed()) << "in the hours form only a new minute redraws";
  call_timer_show(3660);
  EXPECT_EQ(screen(), (std::vector<int>{-1, -1, -1, 1}));

  blank_screen();
  EXPECT_TRUE(call_timer_redraw_field("rtpsec1")) << "letter case is ignored";
  EXPECT_EQ(screen(), (std::vector<int>{-1, -1, -1, 1}));
  EXPECT_FALSE(flushed()) << "redrawing does not flush";
}

TEST_F(CallTimer, FieldsWithoutAPictureForTheDigitStayAsTheyAre) {
  call_timer_show(call_timer_last + 1000);
  call_timer_reset();
  blank_screen();
  call_timer_show(call_timer_last + 61);
  EXPECT_EQ(screen(), (std::vector<int>{-1, -1, -1, -1}));
  EXPECT_FALSE(flushed());
  ASSERT_TRUE(call_timer_set_digit_picture("RTPSEC1", "3", 304));
  ASSERT_TRUE(call_timer_set_digit_picture("RTPSEC10", "0", 201));
  call_timer_show(7200 + 3 * 60);  // 02:03
  EXPECT_EQ(screen(), (std::vector<int>{-1, -1, 0, 3}));
}

TEST_F(CallTimer, DigitsAFieldDoesNotHaveAndUnknownFieldsAreRefused) {
  EXPECT_FALSE(call_timer_set_digit_picture("RTPSEC10", "6", 1));
  for (const char* name : names) {
    EXPECT_FALSE(call_timer_set_digit_picture(name, "10", 1));
    EXPECT_FALSE(call_timer_set_digit_picture(name, "-1", 1));
  }
  EXPECT_FALSE(call_timer_set_digit_picture("RTPHOUR1", "1", 1));
  EXPECT_FALSE(call_timer_set_position("RTPHOUR1", 1, 1));
  EXPECT_FALSE(call_timer_redraw_field("RTPHOUR1"));
}

}  // namespace
