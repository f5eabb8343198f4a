// GetTFTPFile: the blocking read of one file, with its own event loop over
// the endpoint's socket, the keypad and the process's timers.
#include <string.h>
#include <sys/select.h>

#include "app/keypad.h"
#include "display/matrix_display.h"
#include "tftp/tftp.h"

namespace {

// The path to request from a location "tftp://HOST/PATH" or "HOST/PATH": all
// after the host part, deeper directories included. Takes the location apart
// in place.
str file_name_of(str& location) {
  if (location.get_field(0, ':', false) == "tftp") {
    location = location.get_field(1, ':', true);
    if (location.get_character(0) == '/' && location.get_character(1) == '/') {
      location = location.substr(2, -1);
    }
  }
  str name = location.get_field(1, '/', true);
  return name.length() == 0 ? str("tolv510.cnf") : name;
}

// Reads the keypad's pending event: true for a press of the abort key. Every
// other event, and a failed read, is dropped.
bool abort_pressed() {
  key_event_t event;
  char key = 0;
  return inca_get_key(event, key) == 1 && event.state == 1 && key == 'g';
}

// Takes one datagram from the socket and, when it belongs to the transfer,
// hands it on and shows the byte count.
void take_datagram() {
  sockaddr_in from;
  memset(&from, 0, sizeof from);
  str packet = tftp.get_pdu(from);
  if (from.sin_family != AF_INET) return;  // nothing was there
  if (!tftp_take_sender(from, packet) || packet.length() == 0) return;
  HandleTFTPPacket(packet);
  theDisplay.Print(0, 1, str(tftp_content.length(), 0));
  theDisplay.Flush(false);
}

// Waits as the timer contract says; select's result, 0 after a time-out.
int wait_for_input(fd_set* readable, fd_set* exceptional) {
  int top = 0;
  FD_ZERO(readable);
  FD_ZERO(exceptional);
  if (tftp.socket() >= 0) {
    FD_SET(tftp.socket(), readable);
    top = tftp.socket() + 1;
  }
  if (kbd_fd >= 0) {
    FD_SET(kbd_fd, exceptional);
    if (kbd_fd + 1 > top) top = kbd_fd + 1;
  }
  if (timeout::empty()) return select(top, readable, nullptr, exceptional, nullptr);
  timeval limit = timeout::delay();
  if (limit.tv_sec == 0 && limit.tv_usec == 0) return 0;
  return select(top, readable, nullptr, exceptional, &limit);
}

str receive_loop() {
  int failures = 0;  // waits failed in a row
  for (;;) {
    fd_set readable, exceptional;
    int ready = wait_for_input(&readable, &exceptional);
    if (ready < 0) {
      // A descriptor gone bad must not end the one program the phone may be
      // left with. The next pass runs the timers that are due, so the
      // silence still ends a read that can no longer hear the server.
      select_backoff(++failures);
      continue;
    }
    failures = 0;
    if (ready > 0) {
      if (kbd_fd >= 0 && FD_ISSET(kbd_fd, &exceptional) && abort_pressed()) {
        tftp_finish(TFTP_FAILED);  // nothing may go out again from another loop
        return str();
      }
      if (tftp.socket() >= 0 && FD_ISSET(tftp.socket(), &readable)) take_datagram();
    } else if (!timeout::empty()) {
      timeout::next();
    }
    // A receive error closes the socket; nothing more can arrive then.
    if (tftp.socket() < 0 && tftp_state == TFTP_RECEIVING) tftp_finish(TFTP_FAILED);
    if (tftp_state == TFTP_DONE) {
      str file = tftp_content;
      tftp_content = str();
      return file;
    }
    if (tftp_state != TFTP_RECEIVING) return str();
  }
}

}  // namespace

str GetTFTPFile(str location, const str& server, int size) {
  str file = file_name_of(location);
  str host = server.get_field(0, ':', false);
  tftp_state = TFTP_IDLE;
  tftp_content = str();
  if (host.length() == 0) {  // no server named
    tftp_state = TFTP_FAILED;
    return str();
  }
  InitiateTFTP(true, file, host);
  if (tftp_state != TFTP_RECEIVING) return str();
  // Room that cannot be had now is not a failure yet: the file may be
  // smaller than announced, and a read that outgrows the memory ends as
  // TFTP_NO_MEMORY at the block that does not fit.
  if (size > 0) tftp_content.try_touch(size);
  return receive_loop();
}
