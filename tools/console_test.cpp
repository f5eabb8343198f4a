// The transcript's lines as a person reads them on the console: one line per
// event worth seeing, and long runs of alike screens shortened.
#include "tools/console.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(EventLines, OneLinePerEventWorthSeeing) {
  std::string out;
  ASSERT_TRUE(ruk_sim::event_line("2010\tscreen\t\"To Update by TFTP:\" \"Press any key: 1\"",
                                  false, &out));
  EXPECT_EQ(out, "   2.010  screen  \"To Update by TFTP:\" \"Press any key: 1\"");
  ASSERT_TRUE(ruk_sim::event_line("12\tkey\tpress 1 22", false, &out));
  EXPECT_EQ(out, "   0.012  key     press 1 22");
  EXPECT_FALSE(ruk_sim::event_line("62\tkey\trelease 1 22", false, &out));
  EXPECT_FALSE(ruk_sim::event_line("900\tflash\twrite mtd5 0+8192", false, &out));
  EXPECT_FALSE(ruk_sim::event_line("900\tflash\tread mtd5 0+8192", false, &out));
  ASSERT_TRUE(ruk_sim::event_line("900\tflash\twrite mtd5 0+8192 failed: EIO", false, &out));
  EXPECT_EQ(out, "   0.900  flash   write mtd5 0+8192 failed: EIO");
  ASSERT_TRUE(ruk_sim::event_line("900\tflash\twrite mtd5 0+8192", true, &out));
  ASSERT_TRUE(ruk_sim::event_line("62\tkey\trelease 1 22", true, &out));
  ASSERT_TRUE(ruk_sim::event_line("not a transcript line", false, &out));
  EXPECT_EQ(out, "not a transcript line");
}

TEST(EventLines, ALongRunOfScreensWithOneTopRowIsShortened) {
  EXPECT_EQ(ruk_sim::top_row("\"tftp\" \"512\""), "tftp");
  EXPECT_EQ(ruk_sim::top_row("\"say \\\"hi\\\"\" \"\""), "say \\\"hi\\\"");
  EXPECT_EQ(ruk_sim::top_row("\"\" \"x\""), "");
  EXPECT_EQ(ruk_sim::top_row("no quote"), "");

  ruk_sim::screen_runs runs(7);
  std::vector<std::string> printed;
  auto add = [&](const std::string& line, const std::string& top) {
    for (const auto& l : runs.add(line, top)) printed.push_back(l);
  };
  add("key h", "");
  for (int i = 0; i < 10; i++) add("tftp " + std::to_string(i), "tftp");
  EXPECT_EQ(printed, std::vector<std::string>{"key h"}) << "a run is held until it ends";
  for (int i = 0; i < 7; i++) add("writing " + std::to_string(i), "Writing");
  add("flash close", "");
  add("done", "Update");
  for (const auto& l : runs.finish()) printed.push_back(l);
  std::vector<std::string> expected = {
      "key h",  "tftp 0", "tftp 1", "tftp 2", "          ...     4 more screens like these",
      "tftp 7", "tftp 8", "tftp 9"};
  for (int i = 0; i < 7; i++) expected.push_back("writing " + std::to_string(i));
  expected.push_back("flash close");
  expected.push_back("done");
  EXPECT_EQ(printed, expected);
}

}  // namespace
