#include "sim/models/lcd_text.h"

#include <stdint.h>
#include <stdio.h>

#include <unordered_map>

#include "display/font.h"
#include "sim/models/transcript_format.h"

namespace sim {

namespace {

uint64_t pattern(const unsigned char columns[5]) {
  uint64_t p = 0;
  for (int k = 0; k < font_columns; ++k) p |= static_cast<uint64_t>(columns[k]) << (8 * k);
  return p;
}

constexpr uint64_t all_set = (uint64_t{1} << 40) - 1;

struct glyph_index {
  std::unordered_map<uint64_t, int> drawn;
  std::unordered_map<uint64_t, int> inverted;

  // The first code added for a pattern is the one reported.
  void add(int code) {
    uint64_t p = pattern(char_code + code * font_columns);
    drawn.emplace(p, code);
    inverted.emplace(p ^ all_set, code);
  }
};

const glyph_index& index() {
  // Never destroyed: the last screen is read while the process exits.
  static const glyph_index* built = [] {
    auto* i = new glyph_index;
    for (int code = 0x20; code < 0x7F; ++code) i->add(code);
    i->add(0xFF);
    for (int code = 0x80; code < 0xFF; ++code) i->add(code);
    for (int code = 0x10; code < 0x20; ++code) i->add(code);
    i->add(0x7F);
    for (int code = 0x00; code < 0x10; ++code) i->add(code);
    return i;
  }();
  return *built;
}

void append_character(std::string& out, int code) {
  if (code < 0) {
    out += "\\?";
  } else if (code == '"' || code == '\\') {
    out += '\\';
    out += static_cast<char>(code);
  } else if (lcd_unicode[code] != nullptr) {
    out += lcd_unicode[code];
  } else {
    char escape[16];
    snprintf(escape, sizeof escape, "\\x%02X", code);
    out += escape;
  }
}

}  // namespace

void lcd_cell_columns(const lcd_memory& memory, int x, int y, unsigned char columns[5]) {
  for (int k = 0; k < font_columns; ++k) {
    unsigned char c = 0;
    for (int r = 0; r < 8; ++r)
      if (memory.pixel(x + k, y + r)) c |= 1 << r;
    columns[k] = c;
  }
}

lcd_cell lcd_read_cell(const unsigned char columns[5]) {
  const glyph_index& i = index();
  uint64_t p = pattern(columns);
  lcd_cell cell;
  auto drawn = i.drawn.find(p);
  if (drawn != i.drawn.end()) {
    cell.code = drawn->second;
    return cell;
  }
  auto inverted = i.inverted.find(p);
  cell.code = inverted != i.inverted.end() ? inverted->second : -1;
  cell.inverted = inverted != i.inverted.end();
  return cell;
}

lcd_screen lcd_read_screen(const lcd_memory& memory) {
  lcd_screen screen;
  for (int row = 0; row < lcd_text_rows; ++row) {
    for (int n = 0; n < lcd_text_cells; ++n) {
      unsigned char columns[5];
      lcd_cell_columns(memory, lcd_cell_x[n], lcd_row_y[row], columns);
      screen.cell[row][n] = lcd_read_cell(columns);
    }
  }
  return screen;
}

std::string lcd_screen::row_text(int row) const {
  const lcd_cell* cells = cell[row];
  int end = lcd_text_cells;
  while (end > 0 && cells[end - 1].code == ' ' && !cells[end - 1].inverted) --end;
  std::string out;
  bool inverted = false;
  for (int n = 0; n < end; ++n) {
    if (cells[n].inverted != inverted) {
      inverted = cells[n].inverted;
      out += inverted ? "\\[" : "\\]";
    }
    append_character(out, cells[n].code);
  }
  if (inverted) out += "\\]";
  return out;
}

std::string lcd_screen::transcript_text() const {
  return transcript_format::screen_text(row_text(0), row_text(1));
}

}  // namespace sim
