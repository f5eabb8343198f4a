// Which paths the command line picks; the refusals and the usage text are
// checked end to end, on the program's standard error and exit status.
#include "app/command_line.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

bool read(std::vector<std::string> words, command_line& options) {
  words.insert(words.begin(), "ruk");
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(&w[0]);
  argv.push_back(nullptr);
  bool ok = read_command_line(static_cast<int>(words.size()), argv.data(), options);
  // The paths point into argv, which ends here.
  if (options.keyboard != command_line().keyboard) options.keyboard = strdup(options.keyboard);
  if (options.display != command_line().display) options.display = strdup(options.display);
  return ok;
}

TEST(CommandLine, DefaultsWithoutOptions) {
  command_line options;
  EXPECT_TRUE(read({}, options));
  EXPECT_STREQ(options.keyboard, "/dev/keypad");
  EXPECT_STREQ(options.display, "/dev/inca-port");
}

TEST(CommandLine, TheLastOccurrenceWinsAndValuesAreUsedUnchanged) {
  command_line options;
  EXPECT_TRUE(
      read({"--keyboard", "/dev/a", "--display", " spaced ", "--keyboard", "../b"}, options));
  EXPECT_STREQ(options.keyboard, "../b");
  EXPECT_STREQ(options.display, " spaced ");
}

TEST(CommandLine, AnOptionTakesTheNextWordWhateverItIs) {
  command_line options;
  EXPECT_TRUE(read({"--port", "--keyboard", "--host", "--display"}, options));
  EXPECT_STREQ(options.keyboard, "/dev/keypad") << "--keyboard was --port's value";
  EXPECT_FALSE(read({"--port", "--keyboard", "--keyboard"}, options));
}

}  // namespace
