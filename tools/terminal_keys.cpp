#include "tools/terminal_keys.h"

#include "tools/terminal_text.h"

namespace ruk_sim {

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
    if (text_columns(next) > width && line != "keys:") {
      lines.push_back(line);
      next = std::string("     ") + "   " + item;
    }
    line = next;
  }
  lines.push_back(line);
  return lines;
}

}  // namespace ruk_sim
