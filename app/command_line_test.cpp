// Which paths the command line picks; the refusals and the usage text are
// checked end to end, on the program's standard error and exit status.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The paths chosen, copied out of the words before they go.
struct chosen {
  bool ok;
  std::string keyboard;
  std::string display;
};

chosen read(std::vector<std::string> words) {
  words.insert(words.begin(), "ruk");
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(&w[0]);
  argv.push_back(nullptr);
  command_line options;
  bool ok = read_command_line(static_cast<int>(words.size()), argv.data(), options);
  return chosen{ok, options.keyboard, options.display};
}

TEST(CommandLine, DefaultsWithoutOptions) {
  chosen c = read({});
  EXPECT_TRUE(c.ok);
  EXPECT_EQ(c.keyboard, "/dev/keypad");
  EXPECT_EQ(c.display, "/dev/inca-port");
}

TEST(CommandLine, TheLastOccurrenceWinsAndValuesAreUsedUnchanged) {
  chosen c = read({"--keyboard", "/dev/a", "--display", " spaced ", "--keyboard", "../b"});
  EXPECT_TRUE(c.ok);
  EXPECT_EQ(c.keyboard, "../b");
  EXPECT_EQ(c.display, " spaced ");
}

TEST(CommandLine, AnOptionTakesTheNextWordWhateverItIs) {
  chosen c = read({"--port", "--keyboard", "--host", "--display"});
  EXPECT_TRUE(c.ok);
  EXPECT_EQ(c.keyboard, "/dev/keypad") << "--keyboard was --port's value";
  EXPECT_FALSE(read({"--port", "--keyboard", "--keyboard"}).ok);
}

}  // namespace
