// MatrixDisplay: construction, the panel set-up and the text operations the
// update flow uses (Print, Clear, Flush).
#include "display/matrix_display.h"

#include <unistd.h>

#include "display/font.h"
#include "display/panel_controller.h"
#include "display/tld.h"

namespace {
constexpr int initial_contrast_level = 38;
constexpr int row_pitch = 9;  // pixel rows per text row: 8 for the glyph, 1 blank
}  // namespace

MatrixDisplay::MatrixDisplay()
    : RasterImage(lcd_columns, lcd_rows, str()),
      display_fd(-1),
      led_fd(-1),
      contrast_level(initial_contrast_level),
      inverse(0),
      pictures(nullptr),
      pen_x(0),
      pen_y(0),
      char_pictures(nullptr),
      sequences(nullptr) {}

MatrixDisplay::~MatrixDisplay() {
  while (sequences != nullptr) {
    Sequence* s = sequences;
    sequences = s->next;
    delete s;
  }
  DeleteStoredPicture(0);
  ClearCharPictures();
  if (display_fd >= 0) close(display_fd);
  CloseLedDevice();
}

void MatrixDisplay::SetDevice(const char* path) {
  RasterImage::Clear();
  TLD::open_device(path);
  contrast_level = initial_contrast_level;
  TLD::init_tolv_display();
  BuildGlyphs();
}

// The font stores columns (bit r = row r); a glyph image is built from rows
// (most significant bit leftmost), so each character is turned on the way.
void MatrixDisplay::BuildGlyphs() {
  for (int i = 0; i < font_characters; ++i) {
    char rows[8];
    for (int r = 0; r < 8; ++r) {
      int byte = 0;
      for (int k = 0; k < font_columns; ++k) {
        if ((char_code[i * font_columns + k] >> r) & 1) byte |= 0x80 >> k;
      }
      rows[r] = static_cast<char>(byte);
    }
    glyphs[i] = RasterImage(font_columns, 8, str(rows, 8));
  }
}

void MatrixDisplay::Print(int column, int row, const str& text) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data());
  bool drawable_row = row == 0 || row == 1;
  for (int i = 0; i < text.length(); ++i) {
    int ch = bytes[i];
    if (ch == 14 || ch == 15) {
      inverse = ch == 14;
    } else if (ch == 11 || ch == 12) {
      // Asks a frame-taking display device to re-initialise its controller.
      if (display_fd >= 0) {
        unsigned char frame[5] = {0, 0, 0, 1, static_cast<unsigned char>(ch)};
        if (write(display_fd, frame, sizeof frame) < 0) {
          // A display that does not take the request keeps its state.
        }
      }
    } else if (column >= 0 && column < TLD::text_cells) {
      if (drawable_row) Insert(TLD::column_of_cell(column), row_pitch * row, glyphs[ch], inverse);
      ++column;
    }
  }
}

void MatrixDisplay::Clear() {
  RasterImage::Clear();
}

void MatrixDisplay::Flush(bool) {
  RasterImage::Flush(0, false);
}
