// The cost of one byte-count update on the simulated panel: what the TFTP
// client does for every datagram (Print the count at column 0 of row 1, then
// Flush). Prints the wall time per update and the port requests and bytes it
// sends, for counts of 3 to 8 digits.
#include <stdio.h>
#include <sys/select.h>
#include <time.h>

#include "bench/seconds.h"
#include "display/matrix_display.h"
#include "lib/str.h"
#include "sim/seam/lcd_model.h"

int main() {
  timeval none = {0, 0};
  select(0, nullptr, nullptr, nullptr, &none);  // the models attach
  sim::lcd_model& lcd = sim::lcd_model::instance();
  MatrixDisplay display;
  display.SetDevice(sim::lcd_model::default_path);
  display.Clear();
  display.Print(0, 0, "tftp");
  display.Flush(false);

  printf("%-10s %12s %14s %12s %14s\n", "count", "us/update", "requests", "data bytes",
         "command bytes");
  const int updates = 4000;
  for (int start : {512, 51200, 512000, 5120000, 51200000}) {
    long requests = lcd.requests();
    long data = lcd.data_bytes();
    long commands = lcd.command_bytes();
    double t0 = now();
    for (int i = 0; i < updates; ++i) {
      display.Print(0, 1, str(start + 512 * i, 0));
      display.Flush(false);
    }
    double us = (now() - t0) * 1e6 / updates;
    printf("%-10d %12.1f %14.1f %12.1f %14.1f\n", start, us,
           static_cast<double>(lcd.requests() - requests) / updates,
           static_cast<double>(lcd.data_bytes() - data) / updates,
           static_cast<double>(lcd.command_bytes() - commands) / updates);
  }
  return 0;
}
