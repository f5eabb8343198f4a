#include "sim/models/keypad_script.h"

#include <stdlib.h>

#include <algorithm>
#include <sstream>

#include "sim/models/phone_wire.h"

namespace sim {
namespace {

const char layout[] = PHONE_KEYPAD_LAYOUT;
constexpr int layout_keys = sizeof layout - 1;

// A whole decimal number, no sign, at most nine digits.
bool number(const std::string& text, int64_t* out) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  *out = strtoll(text.c_str(), nullptr, 10);
  return true;
}

bool key(const std::string& text, int* code, std::string* fault) {
  if (text.size() == 1 && keypad_code(text[0]) >= 0) {
    *code = keypad_code(text[0]);
    return true;
  }
  int64_t n = 0;
  if (text.size() > 1 && text[0] == '#') {
    if (!number(text.substr(1), &n) || n > 255) {
      *fault = "a key code is 0 to 255";
      return false;
    }
    *code = static_cast<int>(n);
    return true;
  }
  *fault = std::string("not a key (the keys are ") + layout + ", #CODE and !)";
  return false;
}

}  // namespace

char keypad_char(int code) {
  int index = code & PHONE_KEYPAD_CODE_MASK;
  return index < layout_keys ? layout[index] : 0;
}

int keypad_code(char k) {
  for (int i = 0; i < layout_keys; ++i) {
    if (layout[i] == k) return i;
  }
  return -1;
}

std::string key_event_text(const key_event& e) {
  if (e.fails) return "read failed";
  std::string what = e.state == 1   ? "press"
                     : e.state == 0 ? "release"
                                    : "state " + std::to_string(e.state);
  char ch = keypad_char(e.code);
  return what + " " + (ch != 0 ? std::string(1, ch) : "?") + " " + std::to_string(e.code);
}

bool parse_key_script(const std::string& script, std::vector<key_event>* events,
                      std::string* error) {
  std::vector<key_event> parsed;
  std::istringstream words(script);
  std::string word;
  int64_t cursor = 0;
  int position = 0;
  while (words >> word) {
    ++position;
    std::string fault;
    int64_t ms = 0;
    key_event e;
    e.at_ms = cursor;
    if (word[0] == '@' || word[0] == '+') {
      if (!number(word.substr(1), &ms)) {
        fault = std::string("\"") + word[0] + "\" needs a whole number of milliseconds";
      } else {
        cursor = word[0] == '@' ? ms : cursor + ms;
        continue;
      }
    } else if (word == "!") {
      e.fails = true;
      parsed.push_back(e);
    } else {
      size_t slash = word.find('/', 1);
      if (key(word.substr(0, slash), &e.code, &fault)) {
        if (slash == std::string::npos) {
          parsed.push_back(e);
          e.state = 0;
          e.at_ms += key_hold_ms;
          parsed.push_back(e);
        } else if (!number(word.substr(slash + 1), &ms) || ms > INT32_MAX) {
          fault = "a state after \"/\" is a whole number";
        } else {
          e.state = static_cast<int32_t>(ms);
          parsed.push_back(e);
        }
      }
    }
    if (!fault.empty()) {
      *error = "word " + std::to_string(position) + " \"" + word + "\": " + fault;
      return false;
    }
    cursor += key_step_ms;
  }
  std::stable_sort(parsed.begin(), parsed.end(),
                   [](const key_event& a, const key_event& b) { return a.at_ms < b.at_ms; });
  for (const key_event& e : parsed) events->push_back(e);
  return true;
}

}  // namespace sim
