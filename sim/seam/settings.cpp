#include "sim/seam/settings.h"

#include <errno.h>
#include <stdlib.h>

#include "sim/seam/setting_error.h"

namespace sim {

std::vector<std::string> split_list(const std::string& text, char separator) {
  std::vector<std::string> entries;
  size_t from = 0;
  for (;;) {
    size_t at = text.find(separator, from);
    if (at == std::string::npos) break;
    entries.push_back(text.substr(from, at - from));
    from = at + 1;
  }
  entries.push_back(text.substr(from));
  return entries;
}

namespace settings {
namespace {

struct taken {
  std::string value;
  bool given = false;
  long number = 0;
};

void check_choice(const setting_row& row, const std::string& v) {
  std::vector<std::string> words = split_list(row.form, '|');
  for (const std::string& w : words) {
    if (v == w) return;
  }
  std::string why = "\"" + v + "\" is ";
  if (words.size() == 2) {
    why += "neither " + words[0] + " nor " + words[1];
  } else {
    why += "none of " + words[0];
    for (size_t i = 1; i < words.size(); ++i) why += ", " + words[i];
  }
  refuse(row.id, why);
}

long check_number(const setting_row& row, const std::string& v) {
  char* rest = nullptr;
  errno = 0;
  long n = strtol(v.c_str(), &rest, 10);
  bool digits = v.find_first_not_of("0123456789") == std::string::npos;
  if (!digits || errno != 0 || *rest != 0 || n < row.min || n > row.max) {
    refuse(row.id, "\"" + v + "\" is no whole number from " + std::to_string(row.min) + " to " +
                       std::to_string(row.max));
  }
  return n;
}

const std::vector<taken>& all() {
  static const std::vector<taken>* values = [] {
    auto* read = new std::vector<taken>(setting_count);
    for (int i = 0; i < setting_count; ++i) {
      const setting_row& row = setting_rows[i];
      taken& t = (*read)[i];
      const char* v = getenv(row.name);
      t.given = v != nullptr && *v != 0;
      t.value = t.given ? v : row.fallback;
      if (!t.given) continue;
      if (row.kind == setting_kind::choice) check_choice(row, t.value);
      if (row.kind == setting_kind::number) t.number = check_number(row, t.value);
    }
    return read;
  }();
  return *values;
}

const taken& of(setting s) { return all()[static_cast<int>(s)]; }

}  // namespace

const std::string& value(setting s) { return of(s).value; }

bool given(setting s) { return of(s).given; }

bool is(setting s, const char* word) { return of(s).value == word; }

long number(setting s) { return of(s).number; }

std::vector<std::string> list(setting s) {
  const taken& t = of(s);
  return t.given ? split_list(t.value) : std::vector<std::string>();
}

void refuse(setting s, const std::string& why) { setting_error(row_of(s).name, why); }

}  // namespace settings
}  // namespace sim
