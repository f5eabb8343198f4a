// The LCD model's screens. The settle rule: a screen is recorded once the
// program, after drawing, does anything else that reaches the simulator, and
// only when its pixels changed. And what the panel shows of the memory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "sim/seam/child_test.h"
#include "sim/seam/lcd_model.h"
#include "sim/models/lcd_render.h"
#include "sim/models/transcript_format.h"
#include "sim/seam/lcd_test_bus.h"
#include "sim/seam/transcript.h"

namespace {

using sim::lcd_model;

class LcdScreens : public lcd_test::on_device {
 protected:
  void SetUp() override {
    on_device::SetUp();
    bus.switch_on();
    sim::transcript_clear();
  }

  // Any call that reaches the simulator and is not the display's own.
  static void move_on() {
    timeval none = {0, 0};
    select(0, nullptr, nullptr, nullptr, &none);
  }

  static std::vector<std::string> screens() {
    return sim::transcript_texts(transcript_format::kind::screen);
  }
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

// What the panel shows of the controller's memory: nothing while it is dark,
// the picture mirrored, upside down or shifted as the controller is set, the
// memory's power-on contents where nothing cleared it; and a run that broke
// the bus protocol fails.
class LcdPanel : public LcdScreens {
 protected:
  static bool shown(int x, int y) { return model().controller().panel().pixel(x, y); }

  // The transcript lines that settling adds.
  static std::vector<std::string> settled() {
    sim::transcript_clear();
    move_on();
    return sim::transcript_lines();
  }

  // One dark pixel at memory column x, line y (of page 0).
  void dot(int x, int y) {
    bus.address(0, x);
    bus.data(static_cast<uint8_t>(1 << y));
  }
};

TEST_F(LcdPanel, DarkUntilTheDisplayAndAllPowerCircuitsAreOnAndSaysWhy) {
  bus.command(0xAE);
  bus.text(0, 0, "Hi");
  EXPECT_EQ(model().screen().row_text(0), "") << "drawn but dark";
  EXPECT_EQ(settled(), std::vector<std::string>{"panel\toff: display off"});

  bus.command(0xAF);
  bus.command(0x2B);  // booster off
  EXPECT_EQ(model().screen().row_text(0), "");
  EXPECT_EQ(settled(), std::vector<std::string>{"panel\toff: power control 0x2B"});

  bus.command(0x2F);
  EXPECT_EQ(settled(), (std::vector<std::string>{"panel\ton", "screen\t\"Hi\" \"\""}));

  bus.command(0xAE);
  EXPECT_EQ(settled(), (std::vector<std::string>{"panel\toff: display off", "screen\t\"\" \"\""}));
  bus.command(0xAF);
  bus.level(sim::lcd_reset, 0);
  EXPECT_EQ(model().controller().dark_reason(), "reset held");
  EXPECT_EQ(model().screen().row_text(0), "");
}

TEST_F(LcdPanel, AMemoryNobodyClearedShowsItsPowerOnContents) {
  model().reset();
  bus.set_up();
  bus.command(0x2F);
  bus.command(0xAF);
  std::string top = model().screen().row_text(0);
  EXPECT_EQ(top.substr(0, 4), "\\?\\?") << top;
  bus.switch_on();
  EXPECT_EQ(model().screen().transcript_text(), "\"\" \"\"");
}

TEST_F(LcdPanel, ReversedSegmentsMirrorThePicture) {
  dot(1, 2);
  EXPECT_TRUE(shown(1, 2));
  bus.command(0xA1);
  EXPECT_FALSE(shown(1, 2));
  EXPECT_TRUE(shown(130, 2));
  bus.text(0, 0, "A");
  EXPECT_NE(model().screen().row_text(0), "A");
}

TEST_F(LcdPanel, ReversedCommonsStandThePictureOnItsHead) {
  dot(1, 2);
  bus.command(0xC8);
  EXPECT_FALSE(shown(1, 2));
  EXPECT_TRUE(shown(1, 14));
  bus.command(0xC0);
  EXPECT_TRUE(shown(1, 2));
}

TEST_F(LcdPanel, TheStartLineShiftsThePictureAndWrapsAtLine64) {
  dot(1, 2);
  bus.command(0x40 | 2);
  EXPECT_TRUE(shown(1, 0));
  EXPECT_FALSE(shown(1, 2));
  bus.command(0x40 | 60);
  EXPECT_TRUE(shown(1, 6)) << "line 2 comes four rows after line 60";
  bus.address(7, 1);
  bus.data(0x80);  // line 63
  EXPECT_TRUE(shown(1, 3));
}

TEST_F(LcdPanel, InverseSwapsDarkAndClearAndAllPointsOnDarkensEverything) {
  dot(1, 2);
  bus.command(0xA7);
  EXPECT_FALSE(shown(1, 2));
  EXPECT_TRUE(shown(0, 0));
  bus.command(0xA6);
  bus.command(0xA5);
  EXPECT_TRUE(shown(0, 0));
  EXPECT_TRUE(shown(131, 16));
}

TEST_F(LcdPanel, ARunThatBrokeTheBusProtocolFailsWithWhatItBroke) {
  sim_test::ended e = sim_test::run_child(2, [&] {
    bus.level(sim::lcd_cs, 1);
    bus.level(sim::lcd_wr, 0);
    bus.level(sim::lcd_wr, 1);
  });
  EXPECT_EQ(e.status, transcript_format::status::device_fault);
  EXPECT_EQ(e.written, "ruk-sim: LCD bus protocol broken: write strobe without chip select 1\n");
}

}  // namespace
