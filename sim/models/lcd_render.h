// Pictures of the panel as text, for terminals and logs (the PNG is
// sim/seam/lcd_png.h). Each shows the 132 x 17 pixels the panel shows, from
// the controller's memory.
#pragma once

#include <string>

#include "sim/models/lcd_controller.h"

namespace sim {

// One line per pixel row (17 lines of 132 characters), '#' for a dark
// pixel and '.' for a clear one.
std::string lcd_render_dots(const lcd_memory& memory);

// One frame of a dots stream (the simulator's RUK_SIM_LCD_DOTS file, the
// emulated phone's dots output): a screen's lcd_render_dots and an empty
// line, the separator by which a reader of the stream tells where one frame
// ends.
std::string lcd_dots_frame(const lcd_memory& memory);

// Two pixel rows per line in Unicode half blocks (9 lines of 132
// characters, the last holding row 16 alone), for a terminal.
std::string lcd_render_blocks(const lcd_memory& memory);

}  // namespace sim
