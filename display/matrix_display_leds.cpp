// MatrixDisplay: contrast and LEDs.
#include <fcntl.h>
#include <stdint.h>
#include <unistd.h>

#include "display/matrix_display.h"
#include "display/tld.h"
#include "lib/init_order.h"

timeout MatrixDisplay::blink_timers[leds] RUK_INIT(RUK_INIT_DISPLAY);
int MatrixDisplay::blink_half_period[leds];
int MatrixDisplay::blink_phase[leds];

namespace {

constexpr int default_blink_period_ms = 250;
// Half periods outside 1..4999 ms end the blinking after one step.
constexpr int longest_half_period_ms = 4999;
// Steps from one end of the panel's contrast range to the other.
constexpr long long panel_steps = 64;

// Timer arguments are untyped pointers; the descriptor and LED index ride in
// them by value.
void* as_argument(intptr_t value) {
  return reinterpret_cast<void*>(value);  // NOLINT(performance-no-int-to-ptr)
}
int from_argument(void* argument) {
  return static_cast<int>(reinterpret_cast<intptr_t>(argument));
}

}  // namespace

void MatrixDisplay::SetContrast(int level) {
  // Twice the level: the caller's scale has half the panel's steps.
  long long steps = 2LL * level - contrast_level;
  contrast_level = static_cast<int>(contrast_level + steps);
  // The panel driver stops at 0 and 63, so no more than a full sweep of
  // steps can change anything; a wild level must not cost billions.
  int up = steps > 0;
  if (steps < 0) steps = -steps;
  if (steps > panel_steps) steps = panel_steps;
  for (long long i = 0; i < steps; ++i) TLD::inc_contrast_tolv_display(up);
}

void MatrixDisplay::SetLedDevice(const char* path) {
  CloseLedDevice();
  led_fd = open(path, O_WRONLY);
}

void MatrixDisplay::CloseLedDevice() {
  if (led_fd < 0) return;
  // A blink timer carries the descriptor number; left armed, it would go on
  // switching whatever file is opened under that number next.
  for (timeout& t : blink_timers) {
    if (t.armed() && from_argument(t.arg1) == led_fd) t.clear();
  }
  close(led_fd);
  led_fd = -1;
}

void MatrixDisplay::SetLed(const str& led, const str& mode, int period) {
  int n = led.value();
  if (n < 1 || n > leds || led_fd < 0) return;
  int index = n - 1;
  if (mode == "on") {
    TLD::put_led_tolv_display(led_fd, n);
    blink_timers[index].clear();
  } else if (mode == "off") {
    TLD::put_led_tolv_display(led_fd, -n);
    blink_timers[index].clear();
  } else if (mode == "blink") {
    blink_phase[index] = 0;
    blink_half_period[index] = (period != 0 ? period : default_blink_period_ms) / 2;
    OnBlinkTimeout(as_argument(led_fd), as_argument(index));
  }
}

void MatrixDisplay::OnBlinkTimeout(void* descriptor, void* index_arg) {
  int index = from_argument(index_arg);
  if (index < 0 || index >= leds) return;
  blink_phase[index] = 1 - blink_phase[index];
  TLD::put_led_tolv_display(from_argument(descriptor),
                            blink_phase[index] ? index + 1 : -(index + 1));
  int half = blink_half_period[index];
  if (half >= 1 && half <= longest_half_period_ms) {
    blink_timers[index].callback(half, OnBlinkTimeout, descriptor, index_arg);
  }
}
