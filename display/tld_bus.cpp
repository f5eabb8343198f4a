// The controller's bus over the port lines: the port driver's pin requests,
// then the bus cycles built of them (writing a command or data byte, reading
// the status byte, waiting for the controller, addressing its pixel memory).
#include <errno.h>
#include <stdint.h>
#include <sys/ioctl.h>
#include <time.h>

#include "display/panel_controller.h"
#include "display/panel_pins.h"
#include "display/port.h"
#include "display/tld.h"

port_pin_request parm;

namespace {

int port_request(int fd, unsigned long request, int port, int pin, int value) {
  parm.port = port;
  parm.pin = pin;
  parm.value = value;
  return ioctl(fd, request, &parm);
}

}  // namespace

int port_open_drain(int fd, int port, int pin, int value) {
  return port_request(fd, port_request_open_drain, port, pin, value);
}

int port_dir(int fd, int port, int pin, int value) {
  return port_request(fd, port_request_dir, port, pin, value);
}

int port_write(int fd, int port, int pin, int value) {
  return port_request(fd, port_request_write, port, pin, value);
}

int port_read(int fd, int port, int pin) {
  if (port_request(fd, port_request_read, port, pin, 0) != 0) return -1;
  return parm.value;
}

namespace {

// The monotonic clock, not the wall clock: the program sets the wall clock,
// and a pulse must last its time whatever the date says.
int64_t monotonic_ns() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Busy-waits at least ns nanoseconds: a strobe needs about a microsecond,
// far less than any sleep the kernel grants, and it comes with every byte.
void hold_ns(long ns) {
  int64_t until = monotonic_ns() + ns;
  while (monotonic_ns() < until) {
  }
}

// Sleeps at least us microseconds.
void pause_us(long us) {
  timespec left;
  left.tv_sec = us / 1000000;
  left.tv_nsec = (us % 1000000) * 1000;
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

void drive(port_pin line, int level) {
  port_write(TLD::fd, line.port, line.pin, level);
}

void data_direction(int output) {
  for (port_pin p : lcd_data_pins) port_dir(TLD::fd, p.port, p.pin, output);
}

}  // namespace

void TLD::put_bus_byte(int byte, int a0) {
  for (int bit = 0; bit < 8; ++bit) drive(lcd_data_pins[bit], (byte >> bit) & 1);
  drive(lcd_a0, a0);
  drive(lcd_chip_select, 0);
  drive(lcd_write_strobe, 0);
  hold_ns(lcd_strobe_low_ns);
  drive(lcd_write_strobe, 1);
  drive(lcd_chip_select, 1);
}

void TLD::send_command(int byte) {
  put_bus_byte(byte, 0);
  drive(lcd_a0, 1);
}

void TLD::send_data(int byte) {
  put_bus_byte(byte, 1);
}

int TLD::read_status() {
  data_direction(0);
  drive(lcd_a0, 0);
  drive(lcd_chip_select, 0);
  drive(lcd_write_strobe, 1);
  drive(lcd_read_strobe, 0);
  hold_ns(lcd_strobe_low_ns);
  int status = 0;
  bool failed = false;
  for (int bit = 7; bit >= 0; --bit) {
    int level = port_read(fd, lcd_data_pins[bit].port, lcd_data_pins[bit].pin);
    if (level < 0) failed = true;
    status = status * 2 + (level > 0 ? 1 : 0);
  }
  hold_ns(lcd_strobe_low_ns);
  drive(lcd_read_strobe, 1);
  drive(lcd_write_strobe, 1);
  drive(lcd_chip_select, 1);
  drive(lcd_a0, 1);
  data_direction(1);
  return failed ? -1 : status;
}

void TLD::wait_ready() {
  for (int poll = 0; poll < lcd_ready_polls; ++poll) {
    int status = read_status();
    if (status >= 0 && (status & lcd_status_busy) == 0) break;
  }
  pause_us(lcd_command_settle_us);
}

void TLD::set_page(int page) {
  send_command(lcd_set_page | (page & 0x0F));
}

void TLD::set_column(int column) {
  send_command(lcd_set_column_low | (column & 0x0F));
  send_command(lcd_set_column_high | ((column & 0xFF) >> 4));
}

void TLD::clear_page(int page) {
  set_page(page);
  set_column(0);
  // One write more than the 132 columns; the surplus byte is blank wherever
  // the controller puts it.
  for (int i = 0; i <= lcd_columns; ++i) send_data(0);
}

void TLD::reset_pulse() {
  drive(lcd_reset, 0);
  pause_us(lcd_reset_low_us);
  drive(lcd_reset, 1);
}
