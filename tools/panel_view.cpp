#include "tools/panel_view.h"

#include "sim/models/lcd_render.h"
#include "tools/terminal_text.h"

namespace ruk_sim {

namespace {

constexpr int columns = sim::lcd_memory::columns;
constexpr int rows = sim::lcd_memory::rows;

// The phone's colours in the 256-colour palette: dark dots on greenish glass.
const char lcd_colours[] = "\x1b[38;5;235;48;5;144m";
const char plain[] = "\x1b[0m";
const char clear_to_end[] = "\x1b[K";

// text cut to at most width columns.
std::string clip(const std::string& text, int width) {
  int n = 0;
  for (size_t i = 0; i < text.size(); i++) {
    if (starts_column(text[i]) && n++ == width) return text.substr(0, i);
  }
  return text;
}

std::string repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; i++) out += s;
  return out;
}

// The panel's lines of half blocks, without their line ends.
std::vector<std::string> panel_lines(const sim::lcd_memory& frame) {
  return line_splitter().add(sim::lcd_render_blocks(frame));
}

}  // namespace

void frame_reader::start_frame() {
  building_ = sim::lcd_memory();
  building_rows_ = 0;
}

bool frame_reader::add(const char* data, size_t n) {
  bool completed = false;
  for (const std::string& line : lines_.add(data, n)) {
    if (line.empty()) {
      if (building_rows_ == rows) {
        last_ = building_;
        count_++;
        completed = true;
      } else {
        fault_ =
            "a frame of " + std::to_string(building_rows_) + " lines, not " + std::to_string(rows);
      }
      start_frame();
    } else if (line.size() != static_cast<size_t>(columns) ||
               line.find_first_not_of("#.") != std::string::npos) {
      fault_ = "a line that is not " + std::to_string(columns) + " dots";
      start_frame();
    } else {
      // Byte x of page y / 8 holds row y of column x at bit y % 8 (the
      // controller's layout, which lcd_memory keeps).
      int y = building_rows_++;
      for (int x = 0; y < rows && x < columns; x++) {
        if (line[x] == '#') building_.page[y / 8][x] |= static_cast<uint8_t>(1 << (y % 8));
      }
    }
  }
  return completed;
}

std::string compose(const view& v, int width, int height) {
  std::vector<std::string> lines;
  lines.push_back(clip(v.title, width));
  if (width < min_width || height < min_height) {
    lines.push_back("");
    lines.push_back(clip("The panel needs a terminal of at least " + std::to_string(min_width) +
                             " x " + std::to_string(min_height) + " characters; this one is " +
                             std::to_string(width) + " x " + std::to_string(height) + ".",
                         width));
    lines.push_back(clip("Make it larger, or leave with Esc.", width));
  } else {
    lines.push_back(std::string("┌") + repeat("─", columns) + "┐");
    for (const std::string& row : panel_lines(v.frame)) {
      lines.push_back(std::string("│") + lcd_colours + row + plain + "│");
    }
    lines.push_back(std::string("└") + repeat("─", columns) + "┘");
    lines.push_back(clip(v.status, width));
    for (const std::string& l : v.legend) lines.push_back(clip(l, width));
    lines.push_back("");
    size_t room = height > static_cast<int>(lines.size()) ? height - lines.size() : 0;
    size_t skip = v.events.size() > room ? v.events.size() - room : 0;
    for (size_t i = skip; i < v.events.size(); i++) lines.push_back(clip(v.events[i], width));
  }
  std::string out = "\x1b[H";
  for (size_t i = 0; i < lines.size(); i++) {
    out += lines[i] + clear_to_end;
    if (i + 1 < lines.size()) out += "\r\n";
  }
  return out + "\x1b[J";
}

}  // namespace ruk_sim
