// The frame parser: graphic frames straight to the pixel memory, text frames
// drawn cell by cell with the panel's own font.
#include <string.h>

#include "display/font.h"
#include "display/panel_controller.h"
#include "display/tld.h"

namespace {

// Column k of character ch in the panel's font, XORed with mask.
int font_column(int ch, int k, int mask) {
  return (panel_font[ch * font_columns + k] ^ mask) & 0xFF;
}

// Glyphs that reach one pixel column to the left of their cell.
bool overhangs_left(int ch) {
  return ch == 222 || ch == 224 || ch == 229 || ch == 234 || ch == 236;
}

}  // namespace

int TLD::column_of_cell(int cell) {
  int x = cell * 5;
  if (x < 35) return x;
  if (x < 85) return cell * 6 - 6;
  return x + 11;
}

void TLD::set_cursor_tolv_display(int column, int row) {
  text_column = column;
  text_row = row;
}

int TLD::write_tolv_display(const unsigned char* bytes, int n) {
  if (n < 0 || (bytes == nullptr && n > 0)) return -1;
  for (int i = 0; i < n; ++i) parse(bytes[i]);
  return n;
}

void TLD::writeln_tolv_display(const unsigned char* text) {
  if (text == nullptr) return;
  unsigned char frame[4 + text_cells];
  int length = 0;
  while (length < text_cells && text[length] != 0) ++length;
  frame[0] = static_cast<unsigned char>(text_column);
  frame[1] = static_cast<unsigned char>(text_row);
  frame[2] = 0;
  frame[3] = static_cast<unsigned char>(length);
  memcpy(frame + 4, text, static_cast<size_t>(length));
  write_tolv_display(frame, length + 4);
}

void TLD::parse(int byte) {
  switch (parse_state) {
    case 0:
      header_column = byte;
      parse_state = 1;
      break;
    case 1:
      header_page = byte;
      parse_state = 2;
      break;
    case 2:
      count = byte;
      set_page(header_page);
      if (count != 0) {
        set_column(header_column);
        parse_state = 3;
      } else {
        text_column = header_column;
        text_row = header_page;
        set_column(column_of_cell(text_column));
        parse_state = 4;
      }
      break;
    case 3:
      send_data(byte);
      if (--count <= 0) parse_state = 0;
      break;
    case 4:
      // An empty text ends here; the next byte starts a new frame.
      count = byte;
      parse_state = count == 0 ? 0 : 5;
      break;
    case 5:
      put_character(byte);
      if (--count <= 0) parse_state = 0;
      break;
    default:
      parse_state = 0;
      break;
  }
}

void TLD::put_character(int ch) {
  switch (ch) {
    case 10:
      text_column = text_cells;
      break;
    case 11:
    case 12:
      setup_panel(0);
      break;
    case 14:
      invert_mask = 0xFF;
      break;
    case 15:
      invert_mask = 0x00;
      break;
    default:
      draw_glyph(ch);
      break;
  }
  if (ch != 11 && ch != 12 && ch != 14 && ch != 15) ++text_column;
  if (text_column >= text_cells) {
    text_column = 0;
    ++text_row;
    set_page(text_row);
    set_column(0);
  }
}

void TLD::draw_glyph(int ch) {
  // Only the 24 x 2 text grid is drawn; elsewhere the cursor just moves on.
  if (text_row < 0 || text_row > 1 || text_column < 0 || text_column >= text_cells) return;
  int x = column_of_cell(text_column);
  if (overhangs_left(ch) && x > 0) --x;
  if (text_row == 0) {
    set_page(0);
    set_column(x);
    for (int k = 0; k < font_columns; ++k) send_data(font_column(ch, k, invert_mask));
    return;
  }
  // Row 1 starts at pixel row 9: the glyph's rows 0..6 go to page 1 from its
  // bit 1 on, row 7 to bit 0 of page 2.
  set_page(1);
  set_column(x);
  for (int k = 0; k < font_columns; ++k) send_data((font_column(ch, k, invert_mask) & 0x7F) << 1);
  set_page(2);
  set_column(x);
  for (int k = 0; k < font_columns; ++k) send_data(font_column(ch, k, invert_mask) >> 7);
}
