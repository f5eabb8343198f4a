// For the tests that hold a text (the README's table, ruk-sim --help)
// against the settings table: the RUK_SIM_ names a text mentions, and the
// table's own. (A scanner rather than std::regex, which GCC 12 warns about
// under the sanitizers.)
#pragma once

#include <set>
#include <string>

#include "sim/seam/settings_table.h"

namespace sim {

inline std::set<std::string> setting_names_in(const std::string& text) {
  static const std::string prefix = "RUK_SIM_";
  std::set<std::string> names;
  size_t at = text.find(prefix);
  while (at != std::string::npos) {
    size_t end = at + prefix.size();
    while (end < text.size() && ((text[end] >= 'A' && text[end] <= 'Z') ||
                                 (text[end] >= '0' && text[end] <= '9') || text[end] == '_')) {
      ++end;
    }
    if (end > at + prefix.size()) names.insert(text.substr(at, end - at));
    at = text.find(prefix, end);
  }
  return names;
}

inline std::set<std::string> setting_names_of_table() {
  std::set<std::string> names;
  for (const setting_row& row : setting_rows) names.insert(row.name);
  return names;
}

}  // namespace sim
