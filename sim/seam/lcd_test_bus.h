// For the LCD model's tests: a small driver of the controller's bus that
// makes the same port requests a panel driver makes, written from the pin
// table alone, so that the model is tested against the wire protocol rather
// than against the program's own driver; and a fixture with the port
// driver's device open.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdint.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "display/font.h"
#include "sim/models/lcd_text.h"
#include "sim/models/port_driver.h"
#include "sim/seam/lcd_model.h"

namespace lcd_test {

struct bus {
  int fd = -1;

  int request(unsigned long number, sim::port_line line, int value) {
    sim::port_record record = {line.port, line.pin, value};
    return ioctl(fd, number, &record);
  }
  void direction(sim::port_line line, int output) {
    request(sim::port_request::direction, line, output);
  }
  void level(sim::port_line line, int value) { request(sim::port_request::write, line, value); }
  int read(sim::port_line line) {
    sim::port_record record = {line.port, line.pin, -7};
    return ioctl(fd, sim::port_request::read, &record) == 0 ? record.value : -1;
  }

  // Directions, idle levels and a reset pulse, as at power-up.
  void set_up() {
    request(sim::port_request::open_drain, sim::lcd_data[0], 1);
    request(sim::port_request::open_drain, sim::lcd_data[7], 1);
    for (sim::port_line line : sim::lcd_data) direction(line, 1);
    for (sim::port_line line : {sim::lcd_wr, sim::lcd_cs, sim::lcd_reset, sim::lcd_a0, sim::lcd_rd})
      direction(line, 1);
    for (sim::port_line line : {sim::lcd_cs, sim::lcd_wr, sim::lcd_reset, sim::lcd_a0, sim::lcd_rd})
      level(line, 1);
    level(sim::lcd_reset, 0);
    level(sim::lcd_reset, 1);
  }

  // The panel lit (power circuits and display on) and its whole memory
  // cleared, as a panel driver's set-up leaves it.
  void switch_on() {
    command(0x2F);
    command(0xAF);
    for (int page = 0; page < sim::lcd_memory::pages; ++page) {
      address(page, 0);
      for (int x = 0; x < sim::lcd_memory::columns; ++x) data(0);
    }
  }

  void put_data_lines(uint8_t byte) {
    for (int bit = 0; bit < 8; ++bit) level(sim::lcd_data[bit], (byte >> bit) & 1);
  }

  // One write cycle; a command leaves A0 at its idle level 1 again.
  void send(uint8_t byte, int a0) {
    put_data_lines(byte);
    level(sim::lcd_a0, a0);
    level(sim::lcd_cs, 0);
    level(sim::lcd_wr, 0);
    level(sim::lcd_wr, 1);
    level(sim::lcd_cs, 1);
    if (a0 == 0) level(sim::lcd_a0, 1);
  }
  void command(uint8_t byte) { send(byte, 0); }
  void data(uint8_t byte) { send(byte, 1); }

  uint8_t status() {
    for (sim::port_line line : sim::lcd_data) direction(line, 0);
    level(sim::lcd_a0, 0);
    level(sim::lcd_cs, 0);
    level(sim::lcd_wr, 1);
    level(sim::lcd_rd, 0);
    int status = 0;
    for (int bit = 7; bit >= 0; --bit) status = status * 2 + read(sim::lcd_data[bit]);
    level(sim::lcd_rd, 1);
    level(sim::lcd_wr, 1);
    level(sim::lcd_cs, 1);
    level(sim::lcd_a0, 1);
    for (sim::port_line line : sim::lcd_data) direction(line, 1);
    return static_cast<uint8_t>(status);
  }

  void address(int page, int column) {
    command(static_cast<uint8_t>(0xB0 | page));
    command(static_cast<uint8_t>(column & 0x0F));
    command(static_cast<uint8_t>(0x10 | (column >> 4)));
  }

  // Draws a character of the font into a text cell: row 0 in page 0, row 1
  // one pixel row lower, across pages 1 and 2.
  void glyph(int row, int cell, int code, bool inverted = false) {
    const unsigned char* g = char_code + code * font_columns;
    uint8_t mask = inverted ? 0xFF : 0x00;
    int x = sim::lcd_cell_x[cell];
    if (row == 0) {
      address(0, x);
      for (int k = 0; k < font_columns; ++k) data(g[k] ^ mask);
      return;
    }
    address(1, x);
    for (int k = 0; k < font_columns; ++k) data(static_cast<uint8_t>((g[k] ^ mask) << 1));
    address(2, x);
    for (int k = 0; k < font_columns; ++k) data((g[k] ^ mask) >> 7);
  }

  void text(int row, int cell, const char* s, bool inverted = false) {
    for (; *s != 0 && cell < sim::lcd_text_cells; ++s, ++cell)
      glyph(row, cell, static_cast<unsigned char>(*s), inverted);
  }
};

// The model reset and its device opened, the bus set up as at power-up;
// afterwards closed, and the model reset with no pictures written.
class on_device : public testing::Test {
 protected:
  void SetUp() override {
    model().reset();
    bus.fd = open(sim::lcd_model::default_path, O_RDONLY);
    ASSERT_GE(bus.fd, 0);
    bus.set_up();
  }
  void TearDown() override {
    close(bus.fd);
    model().reset();
    model().set_png_path("");
    model().set_dots_path("");
  }
  static sim::lcd_model& model() { return sim::lcd_model::instance(); }

  lcd_test::bus bus;
};

}  // namespace lcd_test
