#include "tools/sim_view.h"

#include <stdio.h>
#include <stdlib.h>

namespace ruk_sim {

namespace {

// The phone's colours in the 256-colour palette: dark dots on greenish glass.
const char lcd_colours[] = "\x1b[38;5;235;48;5;144m";
const char plain[] = "\x1b[0m";
const char clear_to_end[] = "\x1b[K";

// Display width of UTF-8 text whose characters are all one column wide.
int columns(const std::string& text) {
  int n = 0;
  for (unsigned char c : text) n += (c & 0xC0) != 0x80;
  return n;
}

// text cut to at most width columns.
std::string clip(const std::string& text, int width) {
  int n = 0;
  for (size_t i = 0; i < text.size(); i++) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && n++ == width)
      return text.substr(0, i);
  }
  return text;
}

std::string repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; i++) out += s;
  return out;
}

bool starts_with(const std::string& s, const char* prefix) {
  return s.compare(0, std::string(prefix).size(), prefix) == 0;
}

}  // namespace

bool frame_reader::add(const char* data, size_t n) {
  pending_.append(data, n);
  bool completed = false;
  size_t start = 0;
  for (size_t end; (end = pending_.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string line = pending_.substr(start, end - start);
    if (line.empty()) {
      if (building_.size() == static_cast<size_t>(lcd_rows)) {
        last_ = building_;
        count_++;
        completed = true;
      } else {
        fault_ = "a frame of " + std::to_string(building_.size()) + " lines, not " +
                 std::to_string(lcd_rows);
      }
      building_.clear();
    } else if (line.size() != static_cast<size_t>(lcd_columns) ||
               line.find_first_not_of("#.") != std::string::npos) {
      fault_ = "a line that is not " + std::to_string(lcd_columns) + " dots";
      building_.clear();
    } else {
      building_.push_back(line);
    }
  }
  pending_.erase(0, start);
  return completed;
}

std::vector<std::string> half_blocks(const lcd_frame& frame) {
  static const char* const blocks[4] = {" ", "▀", "▄", "█"};
  auto dark = [&](int x, int y) {
    return y < lcd_rows && static_cast<size_t>(y) < frame.size() && frame[y][x] == '#';
  };
  std::vector<std::string> lines;
  for (int y = 0; y < lcd_rows; y += 2) {
    std::string line;
    for (int x = 0; x < lcd_columns; x++) line += blocks[dark(x, y) | dark(x, y + 1) << 1];
    lines.push_back(line);
  }
  return lines;
}

std::vector<terminal_key> decode_terminal_input(const std::string& bytes) {
  std::vector<terminal_key> keys;
  auto keypad = [&](char k) { keys.push_back({key_action::keypad, k}); };
  for (size_t i = 0; i < bytes.size(); i++) {
    char c = bytes[i];
    if (c >= '0' && c <= '9') {
      keypad(c);
    } else if (c == '.' || c == '*' || c == ' ') {
      keypad('*');
    } else if (c == 0x7F || c == 0x08) {
      keypad('i');
    } else if (c == '\t' || c == 'n') {
      keypad('c');
    } else if (c == 'r') {
      keypad('u');
    } else if (c == '\r' || c == '\n') {
      keypad('h');
    } else if (c == 'q') {
      keypad('g');
    } else if (c == 0x03 || c == 0x04) {
      keys.push_back({key_action::leave, 0});
    } else if (c == 0x1B) {
      if (i + 1 < bytes.size() && (bytes[i + 1] == '[' || bytes[i + 1] == 'O')) {
        // An escape sequence: parameters, then a final byte from @ to ~.
        size_t end = i + 2;
        while (end < bytes.size() && (bytes[end] < 0x40 || bytes[end] > 0x7E)) end++;
        if (end == bytes.size()) break;
        char final_byte = bytes[end];
        if (final_byte == 'C') keypad('*');
        if (final_byte == 'D') keypad('i');
        if (final_byte == 'A' || final_byte == 'B') keypad('c');
        i = end;
      } else {
        keys.push_back({key_action::leave, 0});
      }
    }
  }
  return keys;
}

std::vector<std::string> key_legend(int width) {
  static const char* const items[] = {"0-9 digit",       ". next octet",     "Backspace delete",
                                      "Tab next screen", "r reset",          "Enter update",
                                      "q quit",          "Esc leave ruk-sim"};
  std::vector<std::string> lines;
  std::string line = "keys:";
  for (const char* item : items) {
    std::string next = line + "   " + item;
    if (columns(next) > width && line != "keys:") {
      lines.push_back(line);
      next = std::string("     ") + "   " + item;
    }
    line = next;
  }
  lines.push_back(line);
  return lines;
}

bool event_line(const std::string& transcript_line, bool verbose, std::string* out) {
  size_t tab1 = transcript_line.find('\t');
  size_t tab2 = tab1 == std::string::npos ? tab1 : transcript_line.find('\t', tab1 + 1);
  if (tab2 == std::string::npos) {
    *out = transcript_line;
    return true;
  }
  std::string ms = transcript_line.substr(0, tab1);
  std::string kind = transcript_line.substr(tab1 + 1, tab2 - tab1 - 1);
  std::string text = transcript_line.substr(tab2 + 1);
  if (!verbose) {
    if (kind == "key" && starts_with(text, "release")) return false;
    bool single_transfer = starts_with(text, "write ") || starts_with(text, "read ");
    if (kind == "flash" && single_transfer && text.find(" failed") == std::string::npos) {
      return false;
    }
  }
  char head[48];
  snprintf(head, sizeof head, "%8.3f  %-7s ", strtol(ms.c_str(), nullptr, 10) / 1000.0,
           kind.c_str());
  *out = head + text;
  return true;
}

std::vector<std::string> screen_runs::add(const std::string& line, const std::string& top_row) {
  if (!top_row.empty() && top_row == top_) {
    run_.push_back(line);
    return {};
  }
  std::vector<std::string> out = finish();
  if (top_row.empty()) {
    out.push_back(line);
  } else {
    top_ = top_row;
    run_.push_back(line);
  }
  return out;
}

std::vector<std::string> screen_runs::finish() {
  std::vector<std::string> out;
  if (run_.size() <= longest_) {
    out = run_;
  } else {
    out.assign(run_.begin(), run_.begin() + 3);
    out.push_back("          ...     " + std::to_string(run_.size() - 6) +
                  " more screens like these");
    out.insert(out.end(), run_.end() - 3, run_.end());
  }
  run_.clear();
  top_.clear();
  return out;
}

std::string top_row(const std::string& screen_text) {
  if (screen_text.empty() || screen_text[0] != '"') return "";
  for (size_t i = 1; i < screen_text.size(); i++) {
    if (screen_text[i] == '\\') {
      i++;
    } else if (screen_text[i] == '"') {
      return screen_text.substr(1, i - 1);
    }
  }
  return "";
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
    lines.push_back(std::string("┌") + repeat("─", lcd_columns) + "┐");
    for (const std::string& row : half_blocks(v.frame)) {
      lines.push_back(std::string("│") + lcd_colours + row + plain + "│");
    }
    lines.push_back(std::string("└") + repeat("─", lcd_columns) + "┘");
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
