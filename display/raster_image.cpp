// RasterImage: construction from a bitmap, copies, single pixels.
#include "display/raster_image.h"

#include <stdlib.h>
#include <string.h>

#include "lib/init_order.h"
#include "lib/out_of_memory.h"

int RasterImage::touched[touched_blocks * touched_pages];
RasterImage RasterImage::Empty RUK_INIT(RUK_INIT_RASTER);

namespace {

// Pixel memory of `words` words, zeroed; running out of memory ends the
// process as it does for strings.
uint32_t* allocate_words(int words) {
  if (words <= 0) return nullptr;
  size_t bytes = static_cast<size_t>(words) * sizeof(uint32_t);
  auto* memory = static_cast<uint32_t*>(calloc(static_cast<size_t>(words), sizeof(uint32_t)));
  if (memory == nullptr) out_of_memory(static_cast<long long>(bytes));
  return memory;
}

// Largest pixel memory an image may have; a larger size is not an image.
constexpr long long max_words = 1 << 24;

}  // namespace

RasterImage::RasterImage() : bits(nullptr), width(0), height(0), words_per_column(0) {}

RasterImage::RasterImage(int w, int h, const str& bitmap) : RasterImage() {
  if (w <= 0 || h <= 0) return;
  long long per_column = (static_cast<long long>(h) + 31) / 32;
  if (per_column * w > max_words) return;
  width = w;
  height = h;
  words_per_column = static_cast<int>(per_column);
  bits = allocate_words(width * words_per_column);
  int row_bytes = (width + 7) / 8;
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(bitmap.data());
  long long available = bitmap.length();
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      long long at = static_cast<long long>(y) * row_bytes + x / 8;
      if (at < available && (bytes[at] & (0x80 >> (x % 8)))) SetPixel(x, y, true);
    }
  }
}

RasterImage::RasterImage(const RasterImage& source) : RasterImage() {
  *this = source;
}

RasterImage& RasterImage::operator=(const RasterImage& source) {
  if (this == &source) return *this;
  free(bits);
  width = source.width;
  height = source.height;
  words_per_column = source.words_per_column;
  int words = width * words_per_column;
  bits = allocate_words(words);
  if (words > 0) memcpy(bits, source.bits, static_cast<size_t>(words) * sizeof(uint32_t));
  return *this;
}

RasterImage::~RasterImage() {
  free(bits);
}

bool RasterImage::GetPixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height) return false;
  return (Column(x)[y / 32] >> (y % 32)) & 1;
}

void RasterImage::SetPixel(int x, int y, bool on) {
  uint32_t& word = Column(x)[y / 32];
  uint32_t bit = uint32_t{1} << (y % 32);
  word = on ? (word | bit) : (word & ~bit);
}
