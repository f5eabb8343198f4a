// Reading the panel back: text rows decoded against the font, and the text
// and PNG pictures of the pixel memory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <stdio.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "sim/seam/lcd_model.h"
#include "sim/seam/lcd_png.h"
#include "sim/models/lcd_render.h"
#include "sim/seam/lcd_test_bus.h"
#include "sim/models/lcd_text.h"

namespace {

using sim::lcd_memory;

// Puts a character of the font straight into a memory, as the bus test
// driver would, for the tests that need no bus.
void put_glyph(lcd_memory& m, int row, int cell, int code, bool inverted = false) {
  unsigned char mask = inverted ? 0xFF : 0x00;
  for (int k = 0; k < font_columns; ++k) {
    unsigned char column = char_code[code * font_columns + k] ^ mask;
    int x = sim::lcd_cell_x[cell] + k;
    for (int r = 0; r < 8; ++r) {
      int y = sim::lcd_row_y[row] + r;
      if ((column >> r) & 1) m.page[y / 8][x] |= 1 << (y % 8);
    }
  }
}

class LcdTextOnDevice : public lcd_test::on_device {};

TEST_F(LcdTextOnDevice, RowsDrawnThroughTheBusReadBackAsTheirText) {
  bus.switch_on();
  bus.text(0, 0, "To Update by TFTP:");
  bus.text(1, 0, "Press any key:");
  bus.glyph(1, 15, '3', true);

  sim::lcd_screen screen = model().screen();
  EXPECT_EQ(screen.row_text(0), "To Update by TFTP:");
  EXPECT_EQ(screen.row_text(1), "Press any key: \\[3\\]");
  EXPECT_EQ(screen.cell[1][15].code, '3');
  EXPECT_TRUE(screen.cell[1][15].inverted);
  EXPECT_EQ(screen.transcript_text(), "\"To Update by TFTP:\" \"Press any key: \\[3\\]\"");
  EXPECT_EQ(model().violations().total(), 0);
}

TEST(LcdText, EveryCharacterReadsBackInBothRowsDrawnAndInverted) {
  for (int code = 1; code < 256; ++code) {
    if (code == 0x20 || code == 0xFF) continue;  // blank and full block: see below
    lcd_memory m;
    put_glyph(m, 0, 23, code);
    put_glyph(m, 1, 7, code, true);
    sim::lcd_screen s = sim::lcd_read_screen(m);
    EXPECT_EQ(s.cell[0][23].code, code);
    EXPECT_FALSE(s.cell[0][23].inverted);
    EXPECT_EQ(s.cell[1][7].code, code);
    EXPECT_TRUE(s.cell[1][7].inverted) << code;
  }
}

TEST(LcdText, SignsEscapesAndUnknownCellsAreWrittenUnambiguously) {
  lcd_memory m;
  const int codes[] = {'"', '\\', 0xFF, 0x82, 0x03, 0xC4, '['};
  int cell = 0;
  for (int code : codes) put_glyph(m, 0, cell++, code);
  m.page[0][sim::lcd_cell_x[cell]] = 0x81;  // no character looks like this
  put_glyph(m, 1, 0, 0x20, true);           // an inverted blank is a full block
  put_glyph(m, 1, 1, 'x', true);
  sim::lcd_screen s = sim::lcd_read_screen(m);
  EXPECT_EQ(s.row_text(0), "\\\"\\\\█é\\x03Ď[\\?");
  EXPECT_EQ(s.cell[0][7].code, -1);
  EXPECT_EQ(s.row_text(1), "█\\[x\\]");
}

TEST(LcdText, TrailingBlanksAreDroppedAndPixelsBetweenCellsIgnored) {
  lcd_memory m;
  put_glyph(m, 0, 2, 'a');
  m.page[1][0] |= 0x01;   // pixel row 8, between the text rows
  m.page[0][35] = 0xFF;   // the blank column after cell 6
  m.page[0][131] = 0xFF;  // the last column, right of cell 23
  sim::lcd_screen s = sim::lcd_read_screen(m);
  EXPECT_EQ(s.row_text(0), "  a");
  EXPECT_EQ(s.row_text(1), "");
  EXPECT_EQ(s.transcript_text(), "\"  a\" \"\"");
}

TEST(LcdRender, DotsShowEveryPixelRow) {
  lcd_memory m;
  m.page[0][0] = 0x01;    // (0, 0)
  m.page[2][131] = 0x01;  // (131, 16)
  m.page[1][5] = 0x02;    // (5, 9)
  std::string dots = sim::lcd_render_dots(m);
  std::string clear_row(132, '.');
  ASSERT_EQ(dots.size(), 17u * 133u);
  EXPECT_EQ(dots.substr(0, 133), "#" + clear_row.substr(1) + "\n");
  EXPECT_EQ(dots.substr(9 * 133, 133), clear_row.substr(0, 5) + "#" + clear_row.substr(6) + "\n");
  EXPECT_EQ(dots.substr(16 * 133, 133), clear_row.substr(1) + "#\n");
}

TEST(LcdRender, HalfBlocksPairThePixelRows) {
  lcd_memory m;
  m.page[0][0] = 0x01;  // top of line 0
  m.page[0][1] = 0x02;  // bottom of line 0
  m.page[0][2] = 0x03;  // both
  m.page[2][3] = 0x01;  // row 16: the top of the last line
  std::string blocks = sim::lcd_render_blocks(m);
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t nl; (nl = blocks.find('\n', start)) != std::string::npos; start = nl + 1)
    lines.push_back(blocks.substr(start, nl - start));
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[0].substr(0, 3 * 3 + 1), "▀▄█ ");
  EXPECT_EQ(lines[8].substr(0, 4 + 2), "   ▀");
  EXPECT_EQ(lines[4], std::string(132, ' '));
}

struct png_image {
  int width = 0;
  int height = 0;
  int color_type = -1;
  std::vector<unsigned char> rgb;
  const unsigned char* at(int x, int y) const { return &rgb[(y * width + x) * 3]; }
};

bool read_png(const std::string& path, png_image* image) {
  FILE* in = fopen(path.c_str(), "rb");
  if (in == nullptr) return false;
  unsigned char signature[8];
  bool ok = fread(signature, 1, 8, in) == 8 && png_sig_cmp(signature, 0, 8) == 0;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (ok && setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, in);
    png_set_sig_bytes(png, 8);
    png_read_info(png, info);
    image->width = static_cast<int>(png_get_image_width(png, info));
    image->height = static_cast<int>(png_get_image_height(png, info));
    image->color_type = png_get_color_type(png, info);
    if (image->color_type == PNG_COLOR_TYPE_RGB && png_get_bit_depth(png, info) == 8) {
      image->rgb.resize(static_cast<size_t>(image->width) * image->height * 3);
      for (int y = 0; y < image->height; ++y)
        png_read_row(png, &image->rgb[y * image->width * 3], nullptr);
    }
  } else {
    ok = false;
  }
  png_destroy_read_struct(&png, &info, nullptr);
  fclose(in);
  return ok;
}

bool same(const unsigned char* p, sim::lcd_rgb c) {
  return p[0] == c.r && p[1] == c.g && p[2] == c.b;
}

TEST(LcdRender, PngHasThePanelsSizeAndColours) {
  lcd_memory m;
  m.page[0][0] = 0x01;    // (0, 0) dark
  m.page[2][131] = 0x01;  // (131, 16) dark
  std::string path = testing::TempDir() + "lcd_render_test.png";
  std::string error;
  const int scale = 4;
  ASSERT_TRUE(sim::lcd_write_png(m, path, scale, &error)) << error;

  png_image image;
  ASSERT_TRUE(read_png(path, &image));
  EXPECT_EQ(image.width, sim::lcd_png_width(scale));
  EXPECT_EQ(image.height, sim::lcd_png_height(scale));
  EXPECT_EQ(image.width, (132 + 2 * sim::lcd_png_margin) * scale);
  ASSERT_EQ(image.color_type, PNG_COLOR_TYPE_RGB);
  ASSERT_FALSE(image.rgb.empty());

  int origin = sim::lcd_png_margin * scale;
  EXPECT_TRUE(same(image.at(0, 0), sim::lcd_png_glass));
  EXPECT_TRUE(same(image.at(origin, origin), sim::lcd_png_dark));
  EXPECT_TRUE(same(image.at(origin + scale - 1, origin), sim::lcd_png_glass)) << "gap between dots";
  EXPECT_TRUE(same(image.at(origin + scale, origin), sim::lcd_png_clear));
  EXPECT_TRUE(same(image.at(origin + 131 * scale + 1, origin + 16 * scale + 1), sim::lcd_png_dark));
  EXPECT_TRUE(same(image.at(origin + 130 * scale, origin + 16 * scale), sim::lcd_png_clear));
  unlink(path.c_str());
}

TEST(LcdRender, PngFailuresSayWhatWentWrong) {
  lcd_memory m;
  std::string error;
  EXPECT_FALSE(sim::lcd_write_png(m, "/nonexistent-dir/x.png", 4, &error));
  EXPECT_EQ(error, "/nonexistent-dir/x.png: No such file or directory");
  EXPECT_FALSE(sim::lcd_write_png(m, testing::TempDir() + "x.png", 0, &error));
  EXPECT_EQ(error, "scale 0 is outside 1..32");
}

}  // namespace
