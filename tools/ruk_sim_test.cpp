// ruk-sim end to end: the program itself, run from a key script without a
// terminal, refusing what it cannot do, stopped by its time limit, and
// driven from the keyboard in a terminal (tmux).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "sim/models/transcript_format.h"
#include "tools/program_start.h"

namespace {

const std::string program = RUK_SIM_BINARY;

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// count characters of UTF-8 text from character first on.
std::string characters(const std::string& text, size_t first, size_t count) {
  std::vector<size_t> starts;
  for (size_t i = 0; i < text.size(); i++) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) starts.push_back(i);
  }
  starts.push_back(text.size());
  if (first + count >= starts.size()) return "";
  return text.substr(starts[first], starts[first + count] - starts[first]);
}

std::string single_quoted(const std::string& s) {
  return "'" + s + "'";
}

class RukSim : public testing::Test {
 protected:
  void SetUp() override {
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/ruk-sim-test-XXXXXX";
    ASSERT_NE(mkdtemp(&pattern[0]), nullptr);
    dir = pattern;
    state = dir + "/state";
    ASSERT_EQ(mkdir(state.c_str(), 0755), 0);
  }
  void TearDown() override { EXPECT_EQ(system(("rm -rf " + single_quoted(dir)).c_str()), 0); }

  // Runs ruk-sim with args (shell words) without a terminal: standard input
  // from /dev/null, output to files. Returns the exit status.
  int run(const std::string& args, const std::string& env = "") {
    std::string command =
        env + " " + program + " " + args + " </dev/null >" + dir + "/out 2>" + dir + "/err";
    int status = system(command.c_str());
    out = read_file(dir + "/out");
    err = read_file(dir + "/err");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // The texts of the screens in ruk-sim's printed lines.
  std::vector<std::string> printed_screens() {
    std::vector<std::string> screens;
    for (const std::string& line : split_lines(out)) {
      size_t at = line.find("  screen  ");
      if (at != std::string::npos) screens.push_back(line.substr(at + 10));
    }
    return screens;
  }

  std::string dir, state, out, err;
};

TEST_F(RukSim, AScriptedRunWithoutATerminalPrintsEveryScreenAndKeepsTheTranscript) {
  std::string args = "--state " + state + " --keys '@1500 1 +200 1 9 2 c g' --transcript " + dir +
                     "/transcript --png " + dir + "/last.png";
  ASSERT_EQ(run(args, "RUK_SIM_CLOCK=virtual"), 0) << out << err;
  EXPECT_EQ(err, "");
  std::vector<std::string> lines = split_lines(out);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.front(),
            "ruk-sim: flash partitions in " + state + "; keys: @1500 1 +200 1 9 2 c g");
  EXPECT_EQ(lines.back(), "ruk-sim: ruk ended with status 0");
  EXPECT_EQ(printed_screens(), (std::vector<std::string>{
                                   "\"To Update by TFTP:\" \"Press any key:3\"",
                                   "\"To Update by TFTP:\" \"Press any key:2\"",
                                   "\"IP Address:\" \"█  .0  .0  .0     next\"",
                                   "\"IP Address:\" \"1█ .0  .0  .0     next\"",
                                   "\"IP Address:\" \"19█.0  .0  .0     next\"",
                                   "\"IP Address:\" \"192.█  .0  .0     next\"",
                                   "\"TFTP Server:\" \"█  .0  .0  .0     next\"",
                               }));
  EXPECT_NE(out.find("  key     press g 20\n"), std::string::npos);
  EXPECT_EQ(out.find("release"), std::string::npos) << "releases only with --verbose";

  // The transcript file holds the program's own lines, times included.
  std::vector<std::string> transcript = split_lines(read_file(dir + "/transcript"));
  ASSERT_FALSE(transcript.empty());
  transcript_format::line last;
  ASSERT_TRUE(transcript_format::split(transcript.back(), &last)) << transcript.back();
  EXPECT_EQ(last.kind, transcript_format::kind::end);
  EXPECT_EQ(last.text, "exit");
  int screens = 0, releases = 0;
  for (const std::string& line : transcript) {
    transcript_format::line l;
    if (!transcript_format::split(line, &l)) continue;
    screens += l.kind == transcript_format::kind::screen;
    releases += l.kind == transcript_format::kind::key && l.text.compare(0, 8, "release ") == 0;
  }
  EXPECT_EQ(screens, 7);
  EXPECT_EQ(releases, 5);

  std::string png = read_file(dir + "/last.png");
  ASSERT_GE(png.size(), 8u);
  EXPECT_EQ(png.substr(1, 3), "PNG");
}

TEST_F(RukSim, WhatItCannotDoIsRefusedWithAMessage) {
  EXPECT_EQ(run("--state " + state), 2);
  EXPECT_EQ(err,
            "ruk-sim: standard input is not a terminal, so the keyboard cannot be the keypad; "
            "run ruk-sim in a terminal, or give a key script with --keys\n");
  EXPECT_EQ(out, "");

  EXPECT_EQ(run("--state " + dir + "/gone --keys g"), 2);
  EXPECT_EQ(err.substr(0, err.find(';')),
            "ruk-sim: the state folder " + dir + "/gone does not exist");

  EXPECT_EQ(run("--state " + state + " --keys '@100 1 +x'"), 2);
  EXPECT_EQ(err,
            "ruk-sim: bad key script: word 3 \"+x\": \"+\" needs a whole number of milliseconds\n");

  EXPECT_EQ(run("--stat " + state), 2);
  EXPECT_EQ(split_lines(err).front(), "ruk-sim: unknown option --stat");
  EXPECT_EQ(split_lines(err)[1].substr(0, 15), "usage: ruk-sim ");

  struct stat st;
  EXPECT_NE(stat((state + "/mtd5").c_str(), &st), 0) << "nothing ran";
}

TEST_F(RukSim, AScriptedRunThatDoesNotEndIsStopped) {
  // The menu waits for keys that never come.
  EXPECT_EQ(run("--state " + state + " --keys '@100 1' --timeout 1"), 124);
  EXPECT_EQ(split_lines(out).back(), "ruk-sim: the program was stopped after 1 s (--timeout)");
}

TEST(RukSimEnvironment, AnInteractiveRunHasTheFlashAsSlowAsANorChipUnlessSetOtherwise) {
  ruk_sim::options o;
  o.state_dir = "/state";
  ruk_sim::console_mode keyboard;
  keyboard.draw = keyboard.keyboard = true;
  char* nothing[] = {nullptr};
  char set[] = "RUK_SIM_FLASH_TIMING=none";
  char* timing_set[] = {set, nullptr};
  auto timing = [](const std::vector<std::string>& env) {
    std::string found;
    for (const std::string& e : env) {
      if (e.compare(0, 21, "RUK_SIM_FLASH_TIMING=") == 0) found += e.substr(21) + ";";
    }
    return found;
  };
  EXPECT_EQ(timing(ruk_sim::program_environment(o, keyboard, false, nothing)), "nor;");
  EXPECT_EQ(timing(ruk_sim::program_environment(o, ruk_sim::console_mode(), true, nothing)), "")
      << "a scripted run keeps the flash fast";
  EXPECT_EQ(timing(ruk_sim::program_environment(o, keyboard, false, timing_set)), "none;");
}

// The keyboard as the keypad, in a terminal that tmux gives ruk-sim.
class RukSimTerminal : public RukSim {
 protected:
  void SetUp() override {
    RukSim::SetUp();
    if (system("command -v tmux >/dev/null") != 0) GTEST_SKIP() << "needs tmux";
    tmux = "tmux -L ruk-sim-test-" + std::to_string(getpid()) + " -f /dev/null";
    std::string inner = program + " --state " + state + " --transcript " + dir +
                        "/transcript; echo $? >" + dir + "/status";
    std::string command = tmux + " new-session -d -x 140 -y 40 " + single_quoted(inner);
    ASSERT_EQ(system(command.c_str()), 0);
  }
  void TearDown() override {
    if (!tmux.empty()) system((tmux + " kill-server 2>/dev/null").c_str());
    RukSim::TearDown();
  }
  std::vector<std::string> pane() {
    std::string file = dir + "/pane";
    if (system((tmux + " capture-pane -p >" + file + " 2>/dev/null").c_str()) != 0) return {};
    return split_lines(read_file(file));
  }
  void keys(const std::string& words) {
    ASSERT_EQ(system((tmux + " send-keys " + words).c_str()), 0);
  }
  // Waits until the pane shows what is wanted; the wait has no part in the
  // result, only a generous bound for a hung program.
  bool wait_for(const std::function<bool(const std::vector<std::string>&)>& wanted) {
    for (int i = 0; i < 300; i++) {
      if (wanted(pane())) return true;
      timespec pause = {0, 100000000};
      nanosleep(&pause, nullptr);
    }
    return false;
  }
  static bool has_line(const std::vector<std::string>& lines, const std::string& text) {
    for (const std::string& l : lines) {
      if (l.compare(0, text.size(), text) == 0) return true;
    }
    return false;
  }
  std::string dump() {
    std::string text;
    for (const std::string& l : pane()) text += l + "\n";
    return text;
  }

  std::string tmux;
};

TEST_F(RukSimTerminal, TheKeyboardDrivesThePhoneAndThePanelIsDrawnInPlace) {
  auto running = [](const std::vector<std::string>& p) { return has_line(p, "ruk is running"); };
  ASSERT_TRUE(wait_for(running)) << dump();
  std::vector<std::string> p = pane();
  ASSERT_GE(p.size(), 16u);
  EXPECT_EQ(p[0].substr(0, 9), "ruk-sim: ");
  EXPECT_EQ(characters(p[1], 0, 3), "┌──");
  EXPECT_TRUE(has_line(p, "keys:   0-9 digit   . next octet   Backspace delete   Tab next screen"));

  keys("1");  // any key ends the countdown and opens the menu
  keys("1 9 2");
  // The cursor, a full 5 x 8 block, stands at pixel columns 20 to 24 and
  // rows 9 to 16; so pixel rows 10 to 13 fill terminal columns 21 to 25
  // (after the border) of the panel's sixth and seventh lines.
  auto cursor_after_192 = [](const std::vector<std::string>& p) {
    return p.size() > 9 && characters(p[7], 21, 5) == "█████" &&
           characters(p[8], 21, 5) == "█████" && characters(p[7], 16, 5) != "█████";
  };
  ASSERT_TRUE(wait_for(cursor_after_192)) << dump();

  keys("Tab");
  keys("q");
  auto ended = [](const std::vector<std::string>& p) {
    return has_line(p, "ruk ended with status 0.  Enter: start ruk again   Esc: leave");
  };
  ASSERT_TRUE(wait_for(ended)) << dump();

  keys("Enter");
  auto again = [](const std::vector<std::string>& p) {
    return has_line(p, "ruk is running (start 2)");
  };
  ASSERT_TRUE(wait_for(again)) << dump();
  keys("Escape");
  ASSERT_TRUE(wait_for([&](const std::vector<std::string>&) {
    return read_file(dir + "/status") != "";
  })) << dump();
  EXPECT_EQ(read_file(dir + "/status"), "130\n");

  std::vector<std::string> presses;
  std::vector<std::string> screens;
  for (const std::string& line : split_lines(read_file(dir + "/transcript"))) {
    transcript_format::line l;
    if (!transcript_format::split(line, &l)) continue;
    if (l.kind == transcript_format::kind::key && l.text.compare(0, 6, "press ") == 0) {
      presses.push_back(l.text.substr(6));
    }
    if (l.kind == transcript_format::kind::screen) screens.push_back(l.text);
  }
  EXPECT_EQ(presses, (std::vector<std::string>{"1 22", "1 22", "9 9", "2 17", "c 13", "g 20"}));
  EXPECT_NE(std::find(screens.begin(), screens.end(), "\"IP Address:\" \"192.█  .0  .0     next\""),
            screens.end());
  EXPECT_NE(
      std::find(screens.begin(), screens.end(), "\"TFTP Server:\" \"█  .0  .0  .0     next\""),
      screens.end());
}

}  // namespace
