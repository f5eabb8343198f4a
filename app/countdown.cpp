#include "app/countdown.h"

#include "display/matrix_display.h"
#include "lib/init_order.h"

int bRunning = 1;
int bCountdown = 1;
int countdown = 3;
timeout countdown_timer RUK_INIT(RUK_INIT_APP_TIMER);

void countdown_tick(void*, void*) {
  if (countdown <= 0) {
    bRunning = 0;
    return;
  }
  // Not cleared first: the new text covers the old, and only the digit's
  // block goes to the panel.
  theDisplay.Print(0, 0, "To Update by TFTP:");
  theDisplay.Print(0, 1, str("Press any key:") + str(countdown, 0));
  theDisplay.Flush(true);
  --countdown;
  countdown_timer.callback(1000, countdown_tick, nullptr, nullptr);
}
