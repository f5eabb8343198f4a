// ruk's download as the program runs it during an update: the keypad open,
// the panel set up with "tftp" on row 0, then GetTFTPFile, which prints and
// flushes the byte count for every datagram. A helper of tftp_bench.
// Usage: ruk_download NAME OUT
// Fetches NAME from 127.0.0.1 (port 69, or where RUK_SIM_PORT69 sends it),
// writes it to OUT and prints "seconds S", the time GetTFTPFile took. Exit status 1
// when nothing arrived.
#include <fcntl.h>
#include <stdio.h>
#include <sys/select.h>
#include <time.h>

#include "bench/seconds.h"
#include "app/keypad.h"
#include "display/matrix_display.h"
#include "lib/str.h"
#include "tftp/tftp.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: ruk_download NAME OUT\n");
    return 2;
  }
  kbd_fd = open("/dev/keypad", O_RDONLY);
  theDisplay.SetDevice("/dev/inca-port");
  theDisplay.Clear();
  theDisplay.Print(0, 0, "tftp");
  theDisplay.Flush(false);

  double start = now();
  str file = GetTFTPFile(str("tftp://127.0.0.1/") + str(argv[1]), "127.0.0.1", 0);
  double seconds = now() - start;

  FILE* out = fopen(argv[2], "wb");
  if (out == nullptr) return 1;
  if (file.length() > 0)
    fwrite(file.ref->bytes + file.start, 1, static_cast<size_t>(file.length()), out);
  fclose(out);
  printf("seconds %.6f\n", seconds);
  return file.length() > 0 ? 0 : 1;
}
