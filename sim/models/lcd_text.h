// Reading the panel's two text rows back as characters, the way a person
// reads them: every 5 x 8 character cell is matched against the display's
// font, as drawn or inverted.
//
// Text row 0 covers pixel rows 0..7 and row 1 pixel rows 9..16; the 24 cells
// of a row start at the pixel columns in lcd_cell_x. Pixels outside the
// cells (the blank columns between some cells, pixel row 8) are not read.
//
// Written out (lcd_screen::row_text), a row is UTF-8 text in which
//   - a character stands as its Unicode counterpart: ASCII as itself, the
//     code page 437 signs and the accented letters as they are, code 255
//     (the full block the menu uses as its cursor) as "█";
//   - '"' and '\' are written \" and \\;
//   - a pictograph of the device's own (codes 1..15) is written \xNN;
//   - a cell that matches no character is written \?;
//   - a run of inverted cells stands between \[ and \];
//   - blank cells at the end of the row are dropped.
// A screen line of the transcript (lcd_screen::transcript_text) holds both
// rows in the form sim/models/transcript_format.h gives a screen's text.
#pragma once

#include <string>

#include "sim/models/lcd_controller.h"

namespace sim {

constexpr int lcd_text_rows = 2;
constexpr int lcd_text_cells = 24;
constexpr int lcd_cell_x[lcd_text_cells] = {0,  5,  10, 15, 20, 25, 30,  36,  42,  48,  54,  60,
                                            66, 72, 78, 84, 90, 96, 101, 106, 111, 116, 121, 126};
constexpr int lcd_row_y[lcd_text_rows] = {0, 9};

// The UTF-8 text of each character code, nullptr where Unicode has no
// counterpart (the blank 0 and the pictographs 1..15).
extern const char* const lcd_unicode[256];

struct lcd_cell {
  int code = 0x20;  // -1: the cell matches no character
  bool inverted = false;
};

struct lcd_screen {
  lcd_cell cell[lcd_text_rows][lcd_text_cells];

  std::string row_text(int row) const;
  std::string transcript_text() const;
};

// A cell's pixels as the font stores a character: five column bytes, bit r
// of byte k being pixel (x + k, y + r).
void lcd_cell_columns(const lcd_memory& memory, int x, int y, unsigned char columns[5]);

// The character a cell shows. Where two readings fit, the drawn one wins
// over the inverted one, and a blank cell reads as a space.
lcd_cell lcd_read_cell(const unsigned char columns[5]);

lcd_screen lcd_read_screen(const lcd_memory& memory);

}  // namespace sim
