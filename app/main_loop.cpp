#include "app/main_loop.h"

#include <stdio.h>
#include <sys/reboot.h>
#include <sys/select.h>
#include <unistd.h>

#include "app/keypad.h"
#include "app/menu.h"
#include "app/update.h"
#include "display/matrix_display.h"
#include "display/tld.h"
#include "lib/init_order.h"

// The program's one display, built before every other object of the
// application and destroyed after them.
MatrixDisplay theDisplay RUK_INIT(RUK_INIT_APP_DISPLAY);

int bRunning = 1;
int bCountdown = 1;
int countdown = 3;
timeout countdown_timer RUK_INIT(RUK_INIT_APP_TIMER);

namespace {

// One wait of the loop: for a keypad event, at most until the earliest
// timer. 0 on a time-out (at once when a timer is due).
int wait_for_event(fd_set& exceptional) {
  fd_set readable, writable;
  FD_ZERO(&readable);
  FD_ZERO(&writable);
  FD_ZERO(&exceptional);
  if (kbd_fd >= 0) FD_SET(kbd_fd, &exceptional);
  // Descriptor 0 counts too: a keypad opened while standard input was
  // closed must still be watched.
  int count = kbd_fd >= 0 ? kbd_fd + 1 : 0;
  if (timeout::empty()) return select(count, &readable, &writable, &exceptional, nullptr);
  timeval limit = timeout::delay();
  if (limit.tv_sec == 0 && limit.tv_usec == 0) return 0;
  return select(count, &readable, &writable, &exceptional, &limit);
}

str dotted(const str& a, const str& b, const str& c, const str& d) {
  return a + "." + b + "." + c + "." + d;
}

}  // namespace

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

void start_not_intact() {
  bFlashErased = true;
  bCountdown = 0;
  not_intact_screen();
  show_menu();
}

int main_loop() {
  int failures = 0;
  while (bRunning) {
    fd_set exceptional;
    int result = wait_for_event(exceptional);
    if (result < 0) {
      // Not the end: the phone may have no software but this program.
      select_backoff(++failures);
      continue;
    }
    failures = 0;
    if (result > 0 && kbd_fd >= 0 && FD_ISSET(kbd_fd, &exceptional)) handle_key_event();
    if (result == 0 && !timeout::empty()) timeout::next();
  }
  if (kbd_fd >= 0) close(kbd_fd);
  TLD::close_device();
  return 0;
}

void handle_key_event() {
  key_event_t event;
  char key = 0;
  // Only a press ends the countdown. A release or a failed read (a key held
  // while the phone started, a flaky keypad) is dropped and the countdown
  // runs on: stopping it there would leave the start-up waiting for ever.
  if (inca_get_key(event, key) != 1 || event.state != 1) return;
  if (bCountdown) countdown_timer.clear();
  if (key == 'g' && !bCountdown && bFlashErased) {
    // Ending now would let the start-up go on to erased software.
    not_intact_screen();
    show_menu();
  } else if (key == 'g' && !bCountdown) {
    bRunning = 0;
  } else if (key == 'h' && !bCountdown) {
    run_update();
  } else {
    key_pressed(key);
  }
}

void run_update() {
  bRunning = 0;
  str ip = dotted(ip_adr0, ip_adr1, ip_adr2, ip_adr3);
  str server = dotted(tftp0, tftp1, tftp2, tftp3);
  str gateway = dotted(gw0, gw1, gw2, gw3);
  str netmask = dotted(netmask0, netmask1, netmask2, netmask3);
  printf("ip = %s\n", ip.c_str());
  printf("tftp = %s\n", server.c_str());
  printf("gw = %s\n", gateway.c_str());
  printf("nm = %s\n", netmask.c_str());
  // Out before the update: a restart drops whatever stdio still holds.
  fflush(stdout);
  if (!tftp_store_image(ip, server, gateway, netmask)) {
    // With the software erased the start-up must not go on: back to the
    // menu, the addresses as they were, for another try (another server,
    // another cable). g there still ends the program.
    if (bFlashErased) {
      bRunning = 1;
      show_menu();
    }
    return;
  }
  theDisplay.Clear();
  theDisplay.Print(0, 0, "Update Successful");
  theDisplay.Print(0, 1, "Restarting...");
  theDisplay.Flush(false);
  sleep(1);
  reboot(RB_AUTOBOOT);
  // Still here: the restart was refused; the loop ends and so does the process.
}
