// TLD: the panel driver. There is no kernel driver for the phone's LCD; this
// class clocks the controller's 8-bit bus one pin at a time through the port
// driver (display/port.h).
//
// One panel per process: TLD has no instances, its state is class-wide and
// its operations are not reentrant. Calling order: open_device, then
// init_tolv_display, then any number of frames through write_tolv_display,
// and close_device at exit. Before open_device no descriptor is held and every
// bus request fails harmlessly.
//
// Frames (write_tolv_display), which may be split over any number of calls:
//   graphic: column, page, count (1..255), then count data bytes written to
//            that page from that column on;
//   text:    cell (0..23), row (0..1), 0, length, then length characters,
//            drawn with panel_font at 24 cells per row. Within the text:
//            10 moves to the start of the next row, 11 and 12 re-run the
//            controller set-up (the pixels stay), 14 and 15 switch inverse
//            video on and off; characters past cell 23 go on in the next row;
//            rows other than 0 and 1 draw nothing but still move the cursor.
// A lost byte shifts the parser: frames must arrive whole and in order.
#pragma once

class TLD {
 public:
  // Opens path read-only and keeps the descriptor (-1 on failure, which is
  // not otherwise reported); a descriptor held before is closed first.
  static int open_device(const char* path);
  // Closes the descriptor; returns close's result.
  static int close_device();
  // Prints "DISPLAY fd = <fd>" to standard output, sets up the port lines and
  // the controller, clears the panel and resets the frame parser. Returns 0.
  static int init_tolv_display();
  // Blanks pages 0..2 and homes the text cursor; inverse video stays.
  static void clear_tolv_display();

  // One contrast step up (up != 0) or down, kept within 0..63, sent at once.
  static void inc_contrast_tolv_display(int up);
  // Sets the contrast to value & 0xFF, at most 63, and sends it.
  static void set_contrast_tolv_display(int value);
  // LED request on the caller's LED device: led > 0 (or 0) switches LED led
  // on, led < 0 switches LED -led off; LEDs 1..8 have a mask, others send
  // mask 0. Returns the ioctl's result.
  static int put_led_tolv_display(int descriptor, int led);

  // Feeds n bytes to the frame parser. Returns n, or -1 (and does nothing)
  // when n is negative or bytes is null with n > 0.
  static int write_tolv_display(const unsigned char* bytes, int n);
  // Writes text (NUL-terminated, at most its first 24 bytes) as a text frame
  // at the text cursor.
  static void writeln_tolv_display(const unsigned char* text);
  static void set_cursor_tolv_display(int column, int row);
  // Clears the panel and writes the two banner lines.
  static void show_banner();

  // The switch next to the panel: init_switch_input drives its supply line
  // and makes its sense line an input; read_switch_key returns 'y' when the
  // line reads high, 'z' when it reads low, -1 when the read fails.
  static void init_switch_input();
  static int read_switch_key();

  // The bus cycles and the controller operations built on them. Their port
  // results are ignored: a failing device leaves the panel dark, nothing more.
  static void send_command(int byte);  // 14 port requests
  static void send_data(int byte);     // 13 port requests
  // The status byte, or -1 when a pin read fails.
  static int read_status();
  // Polls until the controller is not busy (a failed read counts as busy),
  // at most lcd_ready_polls times, then lets it settle.
  static void wait_ready();
  // full != 0: port lines, hardware reset, commands, clear. full == 0: a
  // software reset and the commands only, the pixels untouched.
  static void setup_panel(int full);
  static void clear_page(int page);
  static void set_page(int page);
  static void set_column(int column);
  // Pixel column of text cell n: 5 pixels per cell, 6 for cells 6..16.
  static int column_of_cell(int cell);

  // Driver state (one panel per process).
  static int fd;
  static int contrast;  // 0..63
  static int text_column;
  static int text_row;
  static int lines_unset;  // the control lines have not been driven idle yet
  static int parse_state;  // 0..5
  static int header_column;
  static int header_page;
  static int count;
  static int invert_mask;  // 0x00 or 0xFF

  static constexpr int text_cells = 24;

 private:
  static void parse(int byte);
  static void put_character(int ch);
  static void draw_glyph(int ch);
  static void put_bus_byte(int byte, int a0);
  static void reset_pulse();
  static void configure_port_lines();
};
