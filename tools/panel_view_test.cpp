// ruk-sim's pictures and keys: frames read from the dots stream however it
// is cut, half blocks at the right places, the keyboard as the keypad, event
// lines, and the whole terminal picture.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/sim_view.h"

namespace {

using ruk_sim::key_action;
using ruk_sim::lcd_frame;

lcd_frame blank_frame() {
  return lcd_frame(ruk_sim::lcd_rows, std::string(ruk_sim::lcd_columns, '.'));
}

std::string dots_text(const lcd_frame& f) {
  std::string text;
  for (const auto& row : f) text += row + "\n";
  return text + "\n";
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
  lcd_frame a = blank_frame(), b = blank_frame();
  a[0][0] = '#';
  b[16][131] = '#';
  std::string stream = dots_text(a) + dots_text(b) + dots_text(a).substr(0, 500);
  ruk_sim::frame_reader reader;
  int completions = 0;
  for (char c : stream) completions += reader.add(&c, 1);
  EXPECT_EQ(completions, 2);
  EXPECT_EQ(reader.count(), 2);
  EXPECT_EQ(reader.last(), b) << "the partial third frame is not shown";
  EXPECT_EQ(reader.fault(), "");
  std::string rest = dots_text(a).substr(500);
  EXPECT_TRUE(reader.add(rest.data(), rest.size()));
  EXPECT_EQ(reader.last(), a);
}

TEST(FrameReader, AGarbledFrameIsSkippedAndNamed) {
  ruk_sim::frame_reader reader;
  std::string bad = dots_text(blank_frame());
  bad[5] = 'x';
  EXPECT_FALSE(reader.add(bad.data(), bad.size()));
  EXPECT_EQ(reader.fault(), "a frame of 16 lines, not 17");
  EXPECT_TRUE(reader.last().empty());
  std::string good = dots_text(blank_frame());
  EXPECT_TRUE(reader.add(good.data(), good.size()));
  EXPECT_EQ(reader.count(), 1);
}

TEST(HalfBlocks, TwoPixelRowsPerLineAndTheLastRowAlone) {
  lcd_frame f = blank_frame();
  f[0][0] = '#';  // top half
  f[1][1] = '#';  // bottom half
  f[2][2] = '#';  // both halves of line 1
  f[3][2] = '#';
  f[16][131] = '#';  // the seventeenth row is the top of the ninth line
  std::vector<std::string> lines = ruk_sim::half_blocks(f);
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[0], "▀▄" + std::string(130, ' '));
  EXPECT_EQ(lines[1], "  █" + std::string(129, ' '));
  EXPECT_EQ(lines[8], std::string(131, ' ') + "▀");
  EXPECT_EQ(ruk_sim::half_blocks(lcd_frame()), std::vector<std::string>(9, std::string(132, ' ')));
}

TEST(TerminalKeys, TheKeyboardAsTheKeypad) {
  std::string typed =
      std::string("19.2 ") + "\x7f\x08\tnrq\r\nx" + "\x1b[C\x1b[D\x1b[A\x1bOB\x1b[5~";
  std::string keypad;
  for (const auto& k : ruk_sim::decode_terminal_input(typed)) {
    ASSERT_EQ(k.action, key_action::keypad);
    keypad += k.keypad;
  }
  EXPECT_EQ(keypad,
            "19*2*iicc"
            "ugh"
            "h"
            "*icc");

  for (const std::string leave : {"\x1b", "\x03", "\x04", "\x1bx"}) {
    auto keys = ruk_sim::decode_terminal_input(leave);
    ASSERT_FALSE(keys.empty()) << leave.size();
    EXPECT_EQ(keys[0].action, key_action::leave);
  }
  EXPECT_TRUE(ruk_sim::decode_terminal_input("\x1b[1;5").empty()) << "an unfinished sequence";
}

TEST(TerminalKeys, LegendFitsTheWidth) {
  std::vector<std::string> wide = ruk_sim::key_legend(134);
  ASSERT_EQ(wide.size(), 1u);
  EXPECT_EQ(wide[0],
            "keys:   0-9 digit   . next octet   Backspace delete   Tab next screen   r reset   "
            "Enter update   q quit   Esc leave ruk-sim");
  std::vector<std::string> narrow = ruk_sim::key_legend(60);
  EXPECT_GT(narrow.size(), 1u);
  std::string joined;
  for (const auto& l : narrow) {
    EXPECT_LE(l.size(), 60u) << l;
    joined += l;
  }
  EXPECT_NE(joined.find("Esc leave ruk-sim"), std::string::npos);
}

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

TEST(Compose, ThePanelBetweenBordersThenStatusLegendAndTheNewestEvents) {
  ruk_sim::view v;
  v.title = "title";
  v.frame = blank_frame();
  v.frame[0][0] = '#';
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
