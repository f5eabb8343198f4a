// The panel in a terminal: frames read from the dots stream however it is
// cut, the panel's pixels at the right places among the half blocks, and
// the whole terminal picture.
#include "tools/panel_view.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/models/lcd_render.h"

namespace {

// A panel with the pixels (x, y) dark, the rest clear.
sim::lcd_memory with_pixels(const std::vector<std::pair<int, int>>& dark) {
  sim::lcd_memory m;
  for (const auto& p : dark) m.page[p.second / 8][p.first] |= 1 << (p.second % 8);
  return m;
}

// The picture without its escape sequences, split at line ends.
std::vector<std::string> plain_lines(const std::string& picture) {
  std::string text;
  for (size_t i = 0; i < picture.size(); i++) {
    if (picture[i] == '\x1b') {
      i++;
      while (i < picture.size() && !(picture[i] >= 0x40 && picture[i] <= 0x7E && picture[i] != '['))
        i++;
      continue;
    }
    if (picture[i] != '\r') text += picture[i];
  }
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  lines.push_back(text.substr(start));
  return lines;
}

TEST(FrameReader, FramesArriveWholeHoweverTheStreamIsCut) {
  sim::lcd_memory a = with_pixels({{0, 0}}), b = with_pixels({{131, 16}});
  std::string stream =
      sim::lcd_dots_frame(a) + sim::lcd_dots_frame(b) + sim::lcd_dots_frame(a).substr(0, 500);
  ruk_sim::frame_reader reader;
  int completions = 0;
  for (char c : stream) completions += reader.add(&c, 1);
  EXPECT_EQ(completions, 2);
  EXPECT_EQ(reader.count(), 2);
  EXPECT_TRUE(reader.last() == b) << "the partial third frame is not shown";
  EXPECT_EQ(reader.fault(), "");
  std::string rest = sim::lcd_dots_frame(a).substr(500);
  EXPECT_TRUE(reader.add(rest.data(), rest.size()));
  EXPECT_TRUE(reader.last() == a);
}

TEST(FrameReader, AGarbledFrameIsSkippedAndNamed) {
  ruk_sim::frame_reader reader;
  std::string bad = sim::lcd_dots_frame(sim::lcd_memory());
  bad[5] = 'x';
  EXPECT_FALSE(reader.add(bad.data(), bad.size()));
  EXPECT_EQ(reader.fault(), "a frame of 16 lines, not 17");
  EXPECT_EQ(reader.count(), 0);
  EXPECT_TRUE(reader.last() == sim::lcd_memory()) << "a blank panel";
  std::string good = sim::lcd_dots_frame(with_pixels({{7, 3}}));
  EXPECT_TRUE(reader.add(good.data(), good.size()));
  EXPECT_EQ(reader.count(), 1);
  EXPECT_TRUE(reader.last() == with_pixels({{7, 3}}));
}

// The panel's lines of a picture, without their borders.
std::vector<std::string> panel_of(const ruk_sim::view& v) {
  std::vector<std::string> lines = plain_lines(ruk_sim::compose(v, 140, 40));
  std::vector<std::string> panel;
  for (int i = 2; i < 2 + ruk_sim::lcd_lines; i++) {
    const std::string& l = lines.at(i);
    std::string bar = "│";
    EXPECT_EQ(l.substr(0, bar.size()), bar);
    EXPECT_EQ(l.substr(l.size() - bar.size()), bar);
    panel.push_back(l.substr(bar.size(), l.size() - 2 * bar.size()));
  }
  return panel;
}

TEST(Compose, ThePanelInHalfBlocksTwoPixelRowsPerLineAndTheLastRowAlone) {
  ruk_sim::view v;
  v.frame = with_pixels({{0, 0},  // top half
                         {1, 1},  // bottom half
                         {2, 2},  // both halves of line 1
                         {2, 3},
                         {131, 16}});  // the seventeenth row is the top of the ninth line
  std::vector<std::string> lines = panel_of(v);
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[0], "▀▄" + std::string(130, ' '));
  EXPECT_EQ(lines[1], "  █" + std::string(129, ' '));
  EXPECT_EQ(lines[8], std::string(131, ' ') + "▀");
  EXPECT_EQ(panel_of(ruk_sim::view()), std::vector<std::string>(9, std::string(132, ' ')));
}

TEST(Compose, ThePanelBetweenBordersThenStatusLegendAndTheNewestEvents) {
  ruk_sim::view v;
  v.title = "title";
  v.frame = with_pixels({{0, 0}});
  v.status = "running";
  v.legend = {"keys: here"};
  for (int i = 0; i < 30; i++) v.events.push_back("event " + std::to_string(i));
  std::string picture = ruk_sim::compose(v, 140, 20);
  EXPECT_EQ(picture.substr(0, 3), "\x1b[H");
  std::vector<std::string> lines = plain_lines(picture);
  ASSERT_EQ(lines.size(), 20u);
  EXPECT_EQ(lines[0], "title");
  EXPECT_EQ(
      lines[1], "┌" + [] {
        std::string s;
        for (int i = 0; i < 132; i++) s += "─";
        return s;
      }() + "┐");
  EXPECT_EQ(lines[2], "│▀" + std::string(131, ' ') + "│");
  EXPECT_EQ(lines[10], "│" + std::string(132, ' ') + "│");
  EXPECT_EQ(lines[12], "running");
  EXPECT_EQ(lines[13], "keys: here");
  EXPECT_EQ(lines[14], "");
  EXPECT_EQ(lines[15], "event 25");
  EXPECT_EQ(lines[19], "event 29");
}

TEST(Compose, ATerminalTooSmallIsToldWhatItNeeds) {
  ruk_sim::view v;
  v.title = "ruk-sim";
  std::vector<std::string> lines = plain_lines(ruk_sim::compose(v, 80, 24));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2],
            "The panel needs a terminal of at least 134 x 17 characters; this one is 80 x 24.");
  EXPECT_EQ(lines[3], "Make it larger, or leave with Esc.");
}

}  // namespace
