// ruk: offers a firmware update for three seconds at the phone's start-up.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include "app/command_line.h"
#include "app/keypad.h"
#include "app/main_loop.h"
#include "app/net_setup.h"
#include "app/update.h"
#include "display/matrix_display.h"

int main(int argc, char** argv) {
  // The diagnostic lines must not end the program, whatever standard output
  // is: a pipe nobody reads would raise SIGPIPE. The write fails instead.
  signal(SIGPIPE, SIG_IGN);
  // First of all, so that eth0 is up even when the command line is wrong.
  init_eth0();
  command_line options;
  if (!read_command_line(argc, argv, options)) {
    print_usage();
    exit(1);
  }
  int ignored = nice(-20);
  (void)ignored;
  // A missing keypad leaves kbd_fd at -1: the countdown then runs out.
  kbd_fd = open(options.keyboard, O_RDONLY);
  theDisplay.SetDevice(options.display);
  if (update_interrupted()) {
    start_not_intact();
  } else {
    countdown_tick(nullptr, nullptr);
  }
  return main_loop();
}
