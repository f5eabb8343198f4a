// RasterImage: drawing pictures and bitmaps, clearing, and marking the
// screen blocks that drawing touched.
#include <string.h>

#include "display/panel_controller.h"
#include "display/raster_image.h"

bool RasterImage::Fits(int x, int y, int w, int h) const {
  return x >= 0 && y >= 0 && w <= width - x && h <= height - y;
}

void RasterImage::Mark(int x, int y, int w, int h) {
  if (w <= 0 || h <= 0) return;
  int last_page = (y + h + 7) / 8 - 1;
  int last_block = (x + w + block_columns - 1) / block_columns - 1;
  // Images larger than the screen have parts no block describes.
  if (last_page >= touched_pages) last_page = touched_pages - 1;
  if (last_block >= touched_blocks) last_block = touched_blocks - 1;
  for (int page = y / 8; page <= last_page; ++page) {
    for (int block = x / block_columns; block <= last_block; ++block) {
      touched[block * touched_pages + page] = 1;
    }
  }
}

void RasterImage::Insert(int x, int y, const RasterImage& picture, bool invert) {
  if (!Fits(x, y, picture.width, picture.height)) return;
  // Whole 32-row bands of each source column at a time: masked to the rows
  // the picture has, shifted to the destination row, merged with the rows
  // around it; a band crossing a word boundary of the destination is split.
  for (int i = 0; i < picture.width; ++i) {
    const uint32_t* source = picture.Column(i);
    uint32_t* column = Column(x + i);
    for (int k = 0; k < picture.words_per_column; ++k) {
      int rows = picture.height - 32 * k;
      uint32_t mask = rows >= 32 ? ~uint32_t{0} : (uint32_t{1} << rows) - 1;
      uint32_t band = source[k] & mask;
      if (invert) band ^= mask;
      int top = y + 32 * k;
      int word = top / 32;
      int shift = top % 32;
      uint64_t wide_band = static_cast<uint64_t>(band) << shift;
      uint64_t wide_mask = static_cast<uint64_t>(mask) << shift;
      column[word] =
          (column[word] & ~static_cast<uint32_t>(wide_mask)) | static_cast<uint32_t>(wide_band);
      uint32_t spill_mask = static_cast<uint32_t>(wide_mask >> 32);
      if (spill_mask != 0) {
        column[word + 1] =
            (column[word + 1] & ~spill_mask) | static_cast<uint32_t>(wide_band >> 32);
      }
    }
  }
  Mark(x, y, picture.width, picture.height);
}

void RasterImage::Insert(int x, int y, int w, int h, const str& bitmap) {
  if (bitmap.length() == 0 || w <= 0 || h <= 0 || !Fits(x, y, w, h)) return;
  // Read through a picture of the bitmap: the same decoding as everywhere.
  RasterImage picture(w, h, bitmap);
  if (picture.width == 0) return;
  for (int j = 0; j < h; ++j) {
    for (int i = 0; i < w; ++i) {
      if (x + i >= lcd_columns || y + j >= lcd_rows) continue;
      SetPixel(x + i, y + j, picture.GetPixel(i, j));
      Mark(x + i, y + j, 1, 1);
    }
  }
}

void RasterImage::Clear(int x, int y, int w, int h) {
  if (w <= 0 || h <= 0 || !Fits(x, y, w, h)) return;
  for (int i = 0; i < w; ++i) {
    for (int j = 0; j < h; ++j) SetPixel(x + i, y + j, false);
  }
  Mark(x, y, w, h);
}

void RasterImage::Clear() {
  if (bits != nullptr) {
    memset(bits, 0, static_cast<size_t>(width * words_per_column) * sizeof(uint32_t));
  }
  for (int& mark : touched) mark = 1;
}
