// TLD::write_tolv_display on any byte stream, split over calls at any points,
// with the LCD model on the port lines. After every call the panel's pixel
// memory is what a reference reading of the frame format draws (graphic
// frames byte for byte, text frames glyph by glyph with the panel font), the
// controller has received exactly that many data bytes and no byte outside
// its command set, and the bus protocol was never broken.
#include <fuzzer/FuzzedDataProvider.h>
#include <string.h>
#include <sys/select.h>
#include <time.h>

#include <vector>

#include "display/font.h"
#include "display/tld.h"
#include "fuzz/fuzz_check.h"
#include "sim/seam/lcd_model.h"

namespace {

sim::lcd_model& model() { return sim::lcd_model::instance(); }

// The frame parser and the controller's addressing, as the frame format and
// the controller describe them.
struct reference_panel {
  sim::lcd_memory memory;
  long data_bytes = 0;
  int page = 0, column = 0;  // the controller's address
  int state = 0, header_column = 0, header_page = 0, count = 0;
  int text_column = 0, text_row = 0, mask = 0;

  void set_page(int p) { page = p & 0x0F; }
  void set_column(int c) { column = c & 0xFF; }
  void data(int byte) {
    ++data_bytes;
    if (page < sim::lcd_memory::pages && column < sim::lcd_memory::columns) {
      memory.page[page][column] = static_cast<uint8_t>(byte);
    }
    if (column < 0xFF) ++column;
  }
  static int cell_x(int cell) {
    if (cell <= 6) return cell * 5;
    if (cell <= 16) return 36 + (cell - 7) * 6;  // a blank column after each
    return 96 + (cell - 17) * 5;
  }
  void glyph(int ch) {
    if (text_row < 0 || text_row > 1 || text_column < 0 || text_column > 23) return;
    int x = cell_x(text_column);
    if ((ch == 222 || ch == 224 || ch == 229 || ch == 234 || ch == 236) && x > 0) --x;
    const unsigned char* columns = panel_font + ch * font_columns;
    if (text_row == 0) {
      set_page(0);
      set_column(x);
      for (int k = 0; k < 5; ++k) data((columns[k] ^ mask) & 0xFF);
      return;
    }
    set_page(1);
    set_column(x);
    for (int k = 0; k < 5; ++k) data((((columns[k] ^ mask) & 0x7F) << 1) & 0xFF);
    set_page(2);
    set_column(x);
    for (int k = 0; k < 5; ++k) data(((columns[k] ^ mask) & 0xFF) >> 7);
  }
  void character(int ch) {
    bool takes_cell = true;
    if (ch == 11 || ch == 12) {
      page = column = 0;  // the controller's software reset; the pixels stay
      takes_cell = false;
    } else if (ch == 14 || ch == 15) {
      mask = ch == 14 ? 0xFF : 0x00;
      takes_cell = false;
    } else if (ch == 10) {
      text_column = 24;
    } else {
      glyph(ch);
    }
    if (takes_cell) ++text_column;
    // A cursor beyond the row moves on even after a character that takes no cell.
    if (text_column >= 24) {
      text_column = 0;
      ++text_row;
      set_page(text_row);
      set_column(0);
    }
  }
  void byte(int b) {
    switch (state) {
      case 0:
        header_column = b;
        state = 1;
        break;
      case 1:
        header_page = b;
        state = 2;
        break;
      case 2:
        count = b;
        set_page(header_page);
        if (count != 0) {
          set_column(header_column);
          state = 3;
        } else {
          text_column = header_column;
          text_row = header_page;
          set_column(cell_x(text_column));
          state = 4;
        }
        break;
      case 3:
        data(b);
        if (--count == 0) state = 0;
        break;
      case 4:
        count = b;
        state = count == 0 ? 0 : 5;
        break;
      case 5:
        character(b);
        if (--count == 0) state = 0;
        break;
    }
  }
};

// The driver's pauses for the controller (a millisecond after each set-up
// command) only slow the search down here: the model never needs them.
extern "C" int __wrap_nanosleep(const timespec*, timespec*) { return 0; }

long unknown_commands() { return model().controller().counts().unknown_commands; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The first simulated call attaches the model to its path.
  timeval none = {0, 0};
  select(0, nullptr, nullptr, nullptr, &none);
  TLD::open_device(sim::lcd_model::default_path);
  TLD::init_tolv_display();
  FUZZ_CHECK(TLD::fd >= 0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  int chunk = in.ConsumeIntegralInRange<int>(1, 64);
  std::vector<uint8_t> stream = in.ConsumeRemainingBytes<uint8_t>();

  // Each input starts from a parser at rest and the panel as it is now.
  TLD::parse_state = 0;
  TLD::text_column = 0;
  TLD::text_row = 0;
  TLD::invert_mask = 0;
  reference_panel want;
  want.memory = model().memory();
  long data_before = model().data_bytes();
  long unknown_before = unknown_commands();
  long violations_before = model().violations().total();

  FUZZ_CHECK(TLD::write_tolv_display(stream.data(), -1) == -1);
  FUZZ_CHECK(TLD::write_tolv_display(nullptr, 0) == 0);
  FUZZ_CHECK(model().data_bytes() == data_before);

  for (size_t at = 0; at < stream.size(); at += static_cast<size_t>(chunk)) {
    int n = static_cast<int>(std::min(stream.size() - at, static_cast<size_t>(chunk)));
    FUZZ_CHECK(TLD::write_tolv_display(stream.data() + at, n) == n);
    for (int i = 0; i < n; ++i) want.byte(stream[at + i]);

    FUZZ_CHECK(TLD::parse_state == want.state);
    FUZZ_CHECK(TLD::invert_mask == want.mask);
    FUZZ_CHECK(model().data_bytes() - data_before == want.data_bytes);
    FUZZ_CHECK(model().memory() == want.memory);
    FUZZ_CHECK(unknown_commands() == unknown_before);
    FUZZ_CHECK(model().violations().total() == violations_before);
  }
  return 0;
}
