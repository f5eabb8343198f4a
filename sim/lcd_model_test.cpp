// The settle rule: a screen is recorded once the program, after drawing,
// does anything else that reaches the simulator, and only when its pixels
// changed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "sim/lcd_model.h"
#include "sim/lcd_render.h"
#include "sim/lcd_test_bus.h"
#include "sim/transcript.h"

namespace {

using sim::lcd_model;

class LcdScreens : public testing::Test {
 protected:
  void SetUp() override {
    model().reset();
    bus.fd = open(lcd_model::default_path, O_RDONLY);
    ASSERT_GE(bus.fd, 0);
    bus.set_up();
    bus.switch_on();
    sim::transcript_clear();
  }
  void TearDown() override {
    close(bus.fd);
    model().reset();
    model().set_png_path("");
    model().set_dots_path("");
  }
  static lcd_model& model() { return lcd_model::instance(); }

  // Any call that reaches the simulator and is not the display's own.
  static void move_on() {
    timeval none = {0, 0};
    select(0, nullptr, nullptr, nullptr, &none);
  }

  static std::vector<std::string> screens() {
    std::vector<std::string> found;
    for (const std::string& line : sim::transcript_lines())
      if (line.compare(0, 7, "screen\t") == 0) found.push_back(line.substr(7));
    return found;
  }

  lcd_test::bus bus;
};

TEST_F(LcdScreens, OneLinePerChangedScreenOnceTheProgramMovesOn) {
  bus.text(0, 0, "Hi");
  bus.text(1, 0, "there");
  EXPECT_TRUE(screens().empty()) << "port requests alone settle nothing";

  move_on();
  EXPECT_EQ(screens(), std::vector<std::string>{"\"Hi\" \"there\""});
  move_on();
  EXPECT_EQ(screens().size(), 1u) << "nothing drawn since";

  bus.text(0, 0, "Hi");
  move_on();
  EXPECT_EQ(screens().size(), 1u) << "the same pixels again";

  bus.text(0, 1, "o");
  move_on();
  EXPECT_EQ(screens(), (std::vector<std::string>{"\"Hi\" \"there\"", "\"Ho\" \"there\""}));
}

TEST_F(LcdScreens, AScreenClearedAndRedrawnAlikeIsNotRecordedAgain) {
  bus.text(0, 0, "Menu");
  move_on();
  bus.address(0, 0);
  for (int x = 0; x < 133; ++x) bus.data(0);
  bus.text(0, 0, "Menu");
  move_on();
  EXPECT_EQ(screens(), std::vector<std::string>{"\"Menu\" \"\""});
}

TEST_F(LcdScreens, OtherDevicesAndFilesSettleButClockReadingsDoNot) {
  bus.text(0, 0, "A");
  timeval now;
  gettimeofday(&now, nullptr);
  EXPECT_TRUE(screens().empty());

  int null_fd = open("/dev/null", O_RDONLY);
  ASSERT_GE(null_fd, 0);
  EXPECT_EQ(screens(), std::vector<std::string>{"\"A\" \"\""});

  bus.text(0, 0, "B");
  char c;
  EXPECT_EQ(read(null_fd, &c, 1), 0);
  close(null_fd);
  EXPECT_EQ(screens().size(), 2u);
  EXPECT_EQ(screens().back(), "\"B\" \"\"");

  bus.text(0, 0, "C");
  close(bus.fd);  // the program is done with the display
  bus.fd = open(lcd_model::default_path, O_RDONLY);
  EXPECT_EQ(screens().size(), 3u);
}

TEST_F(LcdScreens, EachRecordedScreenIsWrittenAsPng) {
  std::string path = testing::TempDir() + "lcd_model_test.png";
  unlink(path.c_str());
  model().set_png_path(path);
  bus.text(0, 0, "Png");
  move_on();
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_GT(st.st_size, 8);
  unlink(path.c_str());
}

TEST_F(LcdScreens, EachRecordedScreenIsAppendedAsDotsToAPipe) {
  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  model().set_dots_path("/dev/fd/" + std::to_string(pipe_fds[1]));
  bus.text(0, 0, "Dots");
  move_on();
  std::string first = sim::lcd_render_dots(model().memory()) + "\n";
  bus.text(1, 0, "x");
  move_on();
  move_on();  // nothing changed: no frame
  std::string second = sim::lcd_render_dots(model().memory()) + "\n";
  model().set_dots_path("");  // closes the model's end
  close(pipe_fds[1]);
  std::string got;
  char buffer[4096];
  ssize_t n;
  while ((n = read(pipe_fds[0], buffer, sizeof buffer)) > 0) got.append(buffer, n);
  close(pipe_fds[0]);
  ASSERT_EQ(first.size(), 17u * 133 + 1);  // 17 lines of 132 dots, then an empty line
  EXPECT_EQ(got, first + second);
  EXPECT_NE(first, second);
}

TEST_F(LcdScreens, TheLastScreenIsRecordedWhenTheProcessExits) {
  std::string path = testing::TempDir() + "lcd_exit_test.png";
  unlink(path.c_str());
  fflush(nullptr);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    model().set_png_path(path);
    bus.text(0, 0, "Bye");
    exit(0);  // no other call: only the exit records the screen
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(access(path.c_str(), F_OK), 0) << "the screen was recorded at exit";
  unlink(path.c_str());
}

}  // namespace
