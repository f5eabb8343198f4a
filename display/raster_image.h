// RasterImage: a one-bit image stored column by column, used for the whole
// display (132 x 17), the character glyphs (5 x 8) and stored pictures.
//
// Pixel (x, y) is bit y % 32 of word x * words_per_column + y / 32; bit 0 of a
// column's first word is the top row. Bits below the height are always 0.
// An image owns its pixel memory; copies are deep.
//
// Drawing only changes memory and marks the screen blocks it touched in the
// class-wide table `touched`; Flush sends exactly the marked blocks to the
// panel. The table describes the screen, so only the display image should be
// drawn into between flushes. Drawing that does not fit entirely inside the
// image is dropped; there is no clipping.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "lib/str.h"

class RasterImage {
 public:
  // A screen block is 32 pixel columns by one page (8 rows): blocks 0..4
  // (block 4 holds columns 128..131) in pages 0..2 (page 2 holds row 16).
  // The mark of block b, page p is touched[b * touched_pages + p].
  static constexpr int touched_blocks = 5;
  static constexpr int touched_pages = 3;
  static constexpr int block_columns = 32;
  static int touched[touched_blocks * touched_pages];

  // 0 x 0, no pixels; what a lookup that finds no picture returns.
  static RasterImage Empty;

  RasterImage();
  // A width x height image from a bitmap: rows from the top, each row
  // starting at a new byte and taking (width + 7) / 8 bytes, the most
  // significant bit leftmost; bytes missing at the end count as 0. A size
  // that is not positive gives the empty image.
  RasterImage(int width, int height, const str& bitmap);
  RasterImage(const RasterImage& source);
  RasterImage& operator=(const RasterImage& source);
  ~RasterImage();

  int Width() const { return width; }
  int Height() const { return height; }
  // False outside the image.
  bool GetPixel(int x, int y) const;

  // Copies picture (inverted if invert) with its top-left corner at (x, y),
  // if it fits entirely; marks the blocks it covers.
  void Insert(int x, int y, const RasterImage& picture, bool invert);
  // Draws a bitmap (encoded as for the constructor) at (x, y), if the
  // rectangle fits entirely; pixels beyond the display's 132 x 17 are
  // skipped. Marks the blocks of the pixels written.
  void Insert(int x, int y, int w, int h, const str& bitmap);
  // Blanks a rectangle, if it fits entirely, and marks its blocks.
  void Clear(int x, int y, int w, int h);
  // Blanks the whole image and marks every block.
  void Clear();
  // Sends every marked block of this image to the panel as a graphic frame,
  // page by page, blocks left to right, and unmarks it. Columns beyond the
  // image send blank bytes. Both arguments are ignored.
  void Flush(int unused, bool also_unused);

 protected:
  bool Fits(int x, int y, int w, int h) const;
  static void Mark(int x, int y, int w, int h);
  void SetPixel(int x, int y, bool on);
  // The words of column x.
  uint32_t* Column(int x) const { return bits + static_cast<ptrdiff_t>(x) * words_per_column; }

  uint32_t* bits;
  int width;
  int height;
  int words_per_column;
};
