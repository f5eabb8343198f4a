// The panel as a PNG that looks like the phone's LCD, for a person to look
// at after a run (RUK_SIM_LCD_PNG). It lives beside the simulator's seam,
// not with the models, so that the emulated phone's guest programs, which
// link the models, need no PNG library.
#pragma once

#include <string>

#include "sim/models/lcd_controller.h"

namespace sim {

// The PNG: every panel pixel a dot of scale x scale image pixels, a margin
// of lcd_png_margin panel pixels all round, greenish glass and dark dots.
constexpr int lcd_png_margin = 3;
constexpr int lcd_png_width(int scale) {
  return (lcd_memory::columns + 2 * lcd_png_margin) * scale;
}
constexpr int lcd_png_height(int scale) {
  return (lcd_memory::rows + 2 * lcd_png_margin) * scale;
}

struct lcd_rgb {
  unsigned char r, g, b;
};
constexpr lcd_rgb lcd_png_glass = {0xA9, 0xB8, 0x8E};
constexpr lcd_rgb lcd_png_dark = {0x1F, 0x2B, 0x1C};
constexpr lcd_rgb lcd_png_clear = {0x9E, 0xAE, 0x84};  // an unlit dot, faintly visible

// Writes the PNG to path (scale 1..32). On failure returns false and says
// why in *error.
bool lcd_write_png(const lcd_memory& memory, const std::string& path, int scale,
                   std::string* error);

}  // namespace sim
