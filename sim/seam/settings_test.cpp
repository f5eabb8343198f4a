#include "sim/seam/settings.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <regex>
#include <set>
#include <string>

namespace {

std::set<std::string> table_names() {
  std::set<std::string> names;
  for (const sim::setting_row& row : sim::setting_rows) names.insert(row.name);
  return names;
}

// The README's table of simulator settings names every setting of the
// table, and none besides.
TEST(Settings, TheReadmeTableNamesEverySettingAndNoOther) {
  const char* source = getenv("RUK_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  std::ifstream in(std::string(source) + "/README.md");
  ASSERT_TRUE(in) << "README.md";
  std::set<std::string> named;
  const std::regex name("RUK_SIM_[A-Z0-9_]+");
  bool inside = false;
  for (std::string line; std::getline(in, line);) {
    if (line.compare(0, 3, "## ") == 0) inside = line == "## Simulator settings";
    if (!inside || line.compare(0, 3, "| `") != 0) continue;
    std::string variable_cell = line.substr(0, line.find(" | "));
    for (std::sregex_iterator m(variable_cell.begin(), variable_cell.end(), name), end; m != end;
         ++m) {
      named.insert(m->str());
    }
  }
  EXPECT_EQ(named, table_names());
}

TEST(Settings, ACommaListKeepsEveryEntryAsWritten) {
  EXPECT_EQ(sim::split_list("mtd5:open,,mtd4:info"),
            (std::vector<std::string>{"mtd5:open", "", "mtd4:info"}));
  EXPECT_EQ(sim::split_list(""), (std::vector<std::string>{""}));
  EXPECT_EQ(sim::split_list("busy,"), (std::vector<std::string>{"busy", ""}));
}

}  // namespace
