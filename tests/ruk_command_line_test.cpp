// The command line, end to end: accepted options run the countdown; anything
// else prints the usage text, byte for byte, and ends with status 1.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/run_ruk.h"

namespace {

const char usage[] =
    "usage: ruk\n"
    "--device d: set audio device name (default is /dev/audio)\n"
    "--host <host>: work as client (use this option for every possible host)\n"
    "--keyboard d: set keyboard device name (default is /dev/kbd)\n"
    "--display d: set display device name (default is /dev/tolvdisp)\n"
    "--port n: use socket n for communication (default is 1298)\n";

ruk_test::run_result run(std::vector<std::string> args) {
  ruk_test::run_options o;
  o.args = std::move(args);
  return ruk_test::run_ruk(o);
}

TEST(CommandLine, AcceptedOptionsRunTheCountdown) {
  std::vector<std::vector<std::string>> accepted = {
      {"--port", "1298"},
      {"--port", ""},
      {"--device", "/dev/audio", "--host", "10.0.0.1", "--port", "--keyboard"},
      {"--display", "/dev/elsewhere", "--display", "/dev/inca-port"},
  };
  for (const auto& args : accepted) {
    ruk_test::run_result r = run(args);
    EXPECT_EQ(r.status, 0) << args[0] << "\n" << r.dump();
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.screens().size(), 3u) << args[0];
  }
}

TEST(CommandLine, AnythingElsePrintsTheUsageAndEndsWith1) {
  std::vector<std::vector<std::string>> refused = {
      {"--keyboard"},
      {"--display", ""},
      {"--device", ""},
      {"--host", ""},
      {"--keyboard", ""},
      {"--verbose"},
      {"--port", "1298", "extra"},
      {"-port", "1298"},
  };
  ASSERT_EQ(sizeof usage - 1, 325u);
  for (const auto& args : refused) {
    ruk_test::run_result r = run(args);
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_EQ(r.err, usage) << args[0];
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(r.screens().empty());
    EXPECT_EQ(r.lines("net").size(), 6u) << "eth0 came up before the command line was read";
  }
}

}  // namespace
