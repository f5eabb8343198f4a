#include "sim/seam/lcd_png.h"

#include <errno.h>
#include <png.h>
#include <setjmp.h>
#include <stdio.h>
#include <string.h>

#include <vector>

namespace sim {

namespace {

std::vector<unsigned char> picture(const lcd_memory& memory, int scale) {
  int width = lcd_png_width(scale);
  int height = lcd_png_height(scale);
  std::vector<unsigned char> rgb(static_cast<size_t>(width) * height * 3);
  auto paint = [&](int px, int py, lcd_rgb c) {
    unsigned char* p = &rgb[(static_cast<size_t>(py) * width + px) * 3];
    p[0] = c.r;
    p[1] = c.g;
    p[2] = c.b;
  };
  // Dots larger than two image pixels keep a one-pixel gap of glass, as on
  // the panel itself.
  int dot = scale > 2 ? scale - 1 : scale;
  for (int py = 0; py < height; ++py) {
    for (int px = 0; px < width; ++px) {
      int x = px / scale - lcd_png_margin;
      int y = py / scale - lcd_png_margin;
      bool on_panel = x >= 0 && x < lcd_memory::columns && y >= 0 && y < lcd_memory::rows;
      bool in_dot = px % scale < dot && py % scale < dot;
      lcd_rgb c = lcd_png_glass;
      if (on_panel && in_dot) c = memory.pixel(x, y) ? lcd_png_dark : lcd_png_clear;
      paint(px, py, c);
    }
  }
  return rgb;
}

// libpng reports errors by longjmp; this keeps the objects with destructors
// outside the part it may jump out of.
bool encode(FILE* out, const std::vector<unsigned char>& rgb, int width, int height,
            std::string* error) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    *error = "libpng could not start";
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    *error = "libpng failed while encoding";
    return false;
  }
  png_init_io(png, out);
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) png_write_row(png, &rgb[static_cast<size_t>(y) * width * 3]);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool lcd_write_png(const lcd_memory& memory, const std::string& path, int scale,
                   std::string* error) {
  if (scale < 1 || scale > 32) {
    *error = "scale " + std::to_string(scale) + " is outside 1..32";
    return false;
  }
  std::vector<unsigned char> rgb = picture(memory, scale);
  FILE* out = fopen(path.c_str(), "wb");
  if (out == nullptr) {
    *error = path + ": " + strerror(errno);
    return false;
  }
  std::string why;
  bool ok = encode(out, rgb, lcd_png_width(scale), lcd_png_height(scale), &why);
  if (fclose(out) != 0 && ok) {
    ok = false;
    why = strerror(errno);
  }
  if (!ok) *error = path + ": " + why;
  return ok;
}

}  // namespace sim
