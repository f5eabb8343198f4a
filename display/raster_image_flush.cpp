// RasterImage::Flush: the only path from pixels to the panel.
#include "display/panel_controller.h"
#include "display/raster_image.h"
#include "display/tld.h"

void RasterImage::Flush(int, bool) {
  unsigned char frame[3 + block_columns];
  for (int page = 0; page < touched_pages; ++page) {
    for (int block = 0; block < touched_blocks; ++block) {
      int& mark = touched[block * touched_pages + page];
      if (!mark) continue;
      mark = 0;
      int first = block * block_columns;
      int n = lcd_columns - first < block_columns ? lcd_columns - first : block_columns;
      frame[0] = static_cast<unsigned char>(first);
      frame[1] = static_cast<unsigned char>(page);
      frame[2] = static_cast<unsigned char>(n);
      for (int c = 0; c < n; ++c) {
        int x = first + c;
        uint32_t top_word = x < width && words_per_column > 0 ? Column(x)[0] : 0;
        frame[3 + c] = static_cast<unsigned char>(top_word >> (8 * page));
      }
      TLD::write_tolv_display(frame, n + 3);
    }
  }
}
