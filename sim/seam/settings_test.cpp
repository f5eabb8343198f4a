#include "sim/seam/settings.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <set>
#include <string>

#include "sim/seam/setting_names_test.h"

namespace {

// The README's table of simulator settings names every setting of the
// table, and none besides.
TEST(Settings, TheReadmeTableNamesEverySettingAndNoOther) {
  const char* source = getenv("RUK_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  std::ifstream in(std::string(source) + "/README.md");
  ASSERT_TRUE(in) << "README.md";
  std::set<std::string> named;
  bool inside = false;
  for (std::string line; std::getline(in, line);) {
    if (line.compare(0, 3, "## ") == 0) inside = line == "## Simulator settings";
    if (!inside || line.compare(0, 3, "| `") != 0) continue;
    std::string variable_cell = line.substr(0, line.find(" | "));
    for (const std::string& n : sim::setting_names_in(variable_cell)) named.insert(n);
  }
  EXPECT_EQ(named, sim::setting_names_of_table());
}

TEST(Settings, ACommaListKeepsEveryEntryAsWritten) {
  EXPECT_EQ(sim::split_list("mtd5:open,,mtd4:info"),
            (std::vector<std::string>{"mtd5:open", "", "mtd4:info"}));
  EXPECT_EQ(sim::split_list(""), (std::vector<std::string>{""}));
  EXPECT_EQ(sim::split_list("busy,"), (std::vector<std::string>{"busy", ""}));
}

}  // namespace
