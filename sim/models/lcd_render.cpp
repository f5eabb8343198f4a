#include "sim/models/lcd_render.h"

namespace sim {

std::string lcd_render_dots(const lcd_memory& memory) {
  std::string out;
  for (int y = 0; y < lcd_memory::rows; ++y) {
    for (int x = 0; x < lcd_memory::columns; ++x) out += memory.pixel(x, y) ? '#' : '.';
    out += '\n';
  }
  return out;
}

std::string lcd_dots_frame(const lcd_memory& memory) {
  return lcd_render_dots(memory) + "\n";
}

std::string lcd_render_blocks(const lcd_memory& memory) {
  static const char* const blocks[4] = {" ", "▀", "▄", "█"};
  std::string out;
  for (int y = 0; y < lcd_memory::rows; y += 2) {
    for (int x = 0; x < lcd_memory::columns; ++x) {
      int top = memory.pixel(x, y);
      int bottom = y + 1 < lcd_memory::rows && memory.pixel(x, y + 1);
      out += blocks[top | bottom << 1];
    }
    out += '\n';
  }
  return out;
}

}  // namespace sim
