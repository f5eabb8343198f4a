// What the panel shows of the controller's memory: nothing while it is dark,
// the picture mirrored, upside down or shifted as the controller is set, the
// memory's power-on contents where nothing cleared it; and a run that broke
// the bus protocol fails.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/select.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "sim/lcd_model.h"
#include "sim/lcd_test_bus.h"
#include "sim/run_end.h"
#include "sim/transcript.h"

namespace {

using sim::lcd_model;

class LcdPanel : public testing::Test {
 protected:
  void SetUp() override {
    model().reset();
    bus.fd = open(lcd_model::default_path, O_RDONLY);
    ASSERT_GE(bus.fd, 0);
    bus.set_up();
  }
  void TearDown() override {
    close(bus.fd);
    model().reset();
  }
  static lcd_model& model() { return lcd_model::instance(); }
  static bool shown(int x, int y) { return model().controller().panel().pixel(x, y); }

  // The transcript lines of the kinds panel and screen that settling adds.
  static std::vector<std::string> settled() {
    sim::transcript_clear();
    timeval none = {0, 0};
    select(0, nullptr, nullptr, nullptr, &none);
    return sim::transcript_lines();
  }

  // One dark pixel, memory column 1 of line 2, on a cleared memory.
  void dot() {
    bus.switch_on();
    bus.address(0, 1);
    bus.data(0x04);
  }

  lcd_test::bus bus;
};

TEST_F(LcdPanel, DarkUntilTheDisplayAndAllPowerCircuitsAreOnAndSaysWhy) {
  bus.text(0, 0, "Hi");
  EXPECT_EQ(model().screen().row_text(0), "") << "drawn but dark";
  EXPECT_EQ(settled(), std::vector<std::string>{"panel\toff: display off"});

  bus.command(0xAF);
  bus.command(0x2B);  // booster off
  EXPECT_EQ(model().screen().row_text(0), "");
  EXPECT_EQ(settled(), std::vector<std::string>{"panel\toff: power control 0x2B"});

  bus.command(0x2F);
  std::vector<std::string> lines = settled();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "panel\ton");
  EXPECT_EQ(lines[1].substr(0, 12), "screen\t\"Hi\\?") << "Hi, and the memory's power-on bytes";

  bus.command(0xAE);
  EXPECT_EQ(settled(), (std::vector<std::string>{"panel\toff: display off", "screen\t\"\" \"\""}));
  bus.command(0xAF);
  bus.level(sim::lcd_reset, 0);
  EXPECT_EQ(model().controller().dark_reason(), "reset held");
  EXPECT_EQ(model().screen().row_text(0), "");
}

TEST_F(LcdPanel, AMemoryNobodyClearedShowsItsPowerOnContents) {
  bus.command(0x2F);
  bus.command(0xAF);
  std::string top = model().screen().row_text(0);
  EXPECT_EQ(top.substr(0, 4), "\\?\\?") << top;
  bus.switch_on();
  EXPECT_EQ(model().screen().transcript_text(), "\"\" \"\"");
}

TEST_F(LcdPanel, ReversedSegmentsMirrorThePicture) {
  dot();
  EXPECT_TRUE(shown(1, 2));
  bus.command(0xA1);
  EXPECT_FALSE(shown(1, 2));
  EXPECT_TRUE(shown(130, 2));
  bus.text(0, 0, "A");
  EXPECT_NE(model().screen().row_text(0), "A");
}

TEST_F(LcdPanel, ReversedCommonsStandThePictureOnItsHead) {
  dot();
  bus.command(0xC8);
  EXPECT_FALSE(shown(1, 2));
  EXPECT_TRUE(shown(1, 14));
  bus.command(0xC0);
  EXPECT_TRUE(shown(1, 2));
}

TEST_F(LcdPanel, TheStartLineShiftsThePictureAndWrapsAtLine64) {
  dot();
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
  dot();
  bus.command(0xA7);
  EXPECT_FALSE(shown(1, 2));
  EXPECT_TRUE(shown(0, 0));
  bus.command(0xA6);
  bus.command(0xA5);
  EXPECT_TRUE(shown(0, 0));
  EXPECT_TRUE(shown(131, 16));
}

TEST_F(LcdPanel, ARunThatBrokeTheBusProtocolFailsWithWhatItBroke) {
  int err[2];
  ASSERT_EQ(pipe(err), 0);
  fflush(nullptr);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    dup2(err[1], 2);
    bus.level(sim::lcd_cs, 1);
    bus.level(sim::lcd_wr, 0);
    bus.level(sim::lcd_wr, 1);
    exit(0);
  }
  close(err[1]);
  std::string got;
  char buffer[256];
  ssize_t n;
  while ((n = read(err[0], buffer, sizeof buffer)) > 0) got.append(buffer, n);
  close(err[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), sim::device_fault_status);
  EXPECT_EQ(got, "ruk-sim: LCD bus protocol broken: write strobe without chip select 1\n");
}

}  // namespace
