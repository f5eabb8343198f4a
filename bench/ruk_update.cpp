// The whole update as the program runs it from the update key on: the
// program stands in the menu with the four addresses entered (this device
// 127.0.0.2, the TFTP server 127.0.0.1, gateway 127.0.0.1, netmask
// 255.0.0.0), the keypad open and the panel showing the menu; then the update
// key's handler runs: eth0's set-up, the download, the checks, the erase, the
// write and the read-back, the success screen and the restart, which ends the
// process with the simulator's restart status. A helper of tftp_bench: it
// prints "start T", the monotonic time just before the update key's handler
// starts.
#include <fcntl.h>
#include <stdio.h>
#include <time.h>

#include "app/keypad.h"
#include "app/main_loop.h"
#include "app/menu.h"
#include "display/matrix_display.h"
#include "sim/seam/settle.h"
#include "sim/seam/transcript.h"

namespace {

void set_address(str& a0, str& a1, str& a2, str& a3, const char* b0, const char* b1, const char* b2,
                 const char* b3) {
  a0 = b0;
  a1 = b1;
  a2 = b2;
  a3 = b3;
}

}  // namespace

int main() {
  // The simulator keeps every transcript line in memory for in-process
  // tests, some 8 MB over a download of 32 MiB; they are dropped as they
  // come, so that the peak memory measured is the program's (with the
  // models' fixed part), as on the phone.
  sim::on_settle([] { sim::transcript_clear(); });
  kbd_fd = open("/dev/keypad", O_RDONLY);
  theDisplay.SetDevice("/dev/inca-port");
  set_address(ip_adr0, ip_adr1, ip_adr2, ip_adr3, "127", "0", "0", "2");
  set_address(tftp0, tftp1, tftp2, tftp3, "127", "0", "0", "1");
  set_address(gw0, gw1, gw2, gw3, "127", "0", "0", "1");
  set_address(netmask0, netmask1, netmask2, netmask3, "255", "0", "0", "0");

  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  printf("start %.6f\n", static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9);
  fflush(stdout);
  run_update();
  return 1;  // the update failed: no restart
}
