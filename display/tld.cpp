// The panel driver's state, opening and closing, the controller set-up and
// the requests that are not frames: contrast, LEDs, the switch input.
#include "display/tld.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "display/panel_controller.h"
#include "display/panel_pins.h"
#include "display/port.h"

int TLD::fd = -1;
int TLD::contrast = 32;
int TLD::text_column = 0;
int TLD::text_row = 0;
int TLD::lines_unset = 1;
int TLD::parse_state = 0;
int TLD::header_column = 0;
int TLD::header_page = 0;
int TLD::count = 0;
int TLD::invert_mask = 0x00;

int TLD::open_device(const char* path) {
  if (fd >= 0) close(fd);
  fd = open(path, O_RDONLY);
  return fd;
}

int TLD::close_device() {
  int result = close(fd);
  fd = -1;
  return result;
}

int TLD::init_tolv_display() {
  printf("DISPLAY fd = %d\n", fd);
  setup_panel(1);
  parse_state = 0;
  return 0;
}

void TLD::configure_port_lines() {
  const port_pin bit0 = lcd_data_pins[0];
  const port_pin bit7 = lcd_data_pins[7];
  port_open_drain(fd, bit0.port, bit0.pin, 1);
  port_dir(fd, bit0.port, bit0.pin, 1);
  for (int bit = 1; bit < 7; ++bit)
    port_dir(fd, lcd_data_pins[bit].port, lcd_data_pins[bit].pin, 1);
  port_open_drain(fd, bit7.port, bit7.pin, 1);
  port_dir(fd, bit7.port, bit7.pin, 1);
  const port_pin outputs[] = {lcd_write_strobe, lcd_chip_select, lcd_reset, lcd_a0,
                              lcd_read_strobe};
  for (port_pin line : outputs) port_dir(fd, line.port, line.pin, 1);
}

void TLD::setup_panel(int full) {
  if (full) configure_port_lines();
  if (full || lines_unset) {
    lines_unset = 0;
    const port_pin idle_high[] = {lcd_chip_select, lcd_write_strobe, lcd_reset, lcd_a0,
                                  lcd_read_strobe};
    for (port_pin line : idle_high) port_write(fd, line.port, line.pin, 1);
  }
  if (full) {
    reset_pulse();
  } else {
    send_command(lcd_software_reset);
  }
  wait_ready();
  for (unsigned char command : lcd_setup_before_volume) {
    send_command(command);
    wait_ready();
  }
  // The driver's own contrast, so that a re-initialisation keeps the
  // contrast the user set (32 at start).
  send_command(lcd_set_volume);
  wait_ready();
  send_command(contrast);
  wait_ready();
  for (unsigned char command : lcd_setup_after_volume) {
    send_command(command);
    wait_ready();
  }
  // What the memory holds at power-on is undefined: cleared while the
  // display is still off, it is never seen.
  if (full) clear_tolv_display();
  send_command(lcd_display_on);
  wait_ready();
}

void TLD::clear_tolv_display() {
  for (int page = 0; page < lcd_pages; ++page) clear_page(page);
  text_column = 0;
  text_row = 0;
}

void TLD::inc_contrast_tolv_display(int up) {
  contrast += up ? 1 : -1;
  if (contrast > lcd_contrast_max) contrast = lcd_contrast_max;
  if (contrast < 0) contrast = 0;
  send_command(lcd_set_volume);
  send_command(contrast);
}

void TLD::set_contrast_tolv_display(int value) {
  contrast = value & 0xFF;
  if (contrast > lcd_contrast_max) contrast = lcd_contrast_max;
  // The clamped value: a larger byte after lcd_set_volume would be taken
  // for another command.
  send_command(lcd_set_volume);
  send_command(contrast);
}

int TLD::put_led_tolv_display(int descriptor, int led) {
  static const unsigned char masks[] = {0x00, 0x04, 0x10, 0x20, 0x40, 0x01, 0x02, 0x80, 0x08};
  unsigned number = led < 0 ? 0u - static_cast<unsigned>(led) : static_cast<unsigned>(led);
  unsigned long mask = number < sizeof masks ? masks[number] : 0;
  return ioctl(descriptor, led < 0 ? led_request_off : led_request_on, mask);
}

void TLD::init_switch_input() {
  port_dir(fd, switch_drive.port, switch_drive.pin, 1);
  port_write(fd, switch_drive.port, switch_drive.pin, 1);
  port_dir(fd, switch_sense.port, switch_sense.pin, 0);
}

int TLD::read_switch_key() {
  int level = port_read(fd, switch_sense.port, switch_sense.pin);
  if (level < 0) return -1;
  return level ? 'y' : 'z';
}

void TLD::show_banner() {
  clear_tolv_display();
  writeln_tolv_display(reinterpret_cast<const unsigned char*>("        tolv 510\n"));
  writeln_tolv_display(reinterpret_cast<const unsigned char*>("    firmware update\n"));
}
