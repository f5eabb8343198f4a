// ruk-sim's command line: what each option sets, and a whole message for
// every mistake, before anything is started.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "sim/seam/setting_names_test.h"
#include "tools/sim_options.h"

namespace {

class SimOptions : public testing::Test {
 protected:
  void SetUp() override {
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/ruk-sim-options-XXXXXX";
    ASSERT_NE(mkdtemp(&pattern[0]), nullptr);
    dir = pattern;
    // Stand-ins for the two programs: the simulated build carries the
    // simulator's setting names, the phone build does not.
    write("ruk-simulated", "#!/bin/sh\n# RUK_SIM_KEYS\n", 0755);
    write("ruk", "#!/bin/sh\nexit 0\n", 0755);
    write("safe-run", "#!/bin/sh\nexec \"$@\"\n", 0755);
    where = {dir + "/ruk-simulated", dir + "/safe-run"};
    saved_home = getenv("HOME") ? getenv("HOME") : "";
    saved_state = getenv("XDG_STATE_HOME") ? getenv("XDG_STATE_HOME") : "";
    setenv("HOME", (dir + "/home").c_str(), 1);
    unsetenv("XDG_STATE_HOME");
  }
  void TearDown() override {
    setenv("HOME", saved_home.c_str(), 1);
    if (!saved_state.empty()) setenv("XDG_STATE_HOME", saved_state.c_str(), 1);
    EXPECT_EQ(system(("rm -rf '" + dir + "'").c_str()), 0);
  }
  void write(const std::string& name, const std::string& text, mode_t mode = 0644) {
    std::ofstream(dir + "/" + name) << text;
    chmod((dir + "/" + name).c_str(), mode);
  }
  // The message for args, "" when they are accepted.
  std::string parse_error(const std::vector<std::string>& args) {
    std::string error;
    ruk_sim::options o;
    return ruk_sim::parse(args, where, &o, &error) ? "" : error;
  }
  std::string check_error(const std::vector<std::string>& args) {
    std::string error;
    ruk_sim::options o;
    if (!ruk_sim::parse(args, where, &o, &error)) return "parse: " + error;
    return ruk_sim::check(&o, &error) ? "" : error;
  }

  std::string dir, saved_home, saved_state;
  ruk_sim::installation where;
};

TEST_F(SimOptions, WhatEachOptionSets) {
  ruk_sim::options o;
  std::string error;
  ASSERT_TRUE(ruk_sim::parse({}, where, &o, &error)) << error;
  EXPECT_FALSE(o.scripted);
  EXPECT_EQ(o.timeout_seconds, 0) << "an interactive run has no time limit";
  EXPECT_EQ(o.state_dir, dir + "/home/.local/state/ruk-sim");
  EXPECT_FALSE(o.state_dir_given);
  EXPECT_EQ(o.program, dir + "/ruk-simulated");

  setenv("XDG_STATE_HOME", (dir + "/xdg").c_str(), 1);
  ASSERT_TRUE(ruk_sim::parse({"--keys", "@100 1 g", "--net=host", "--png", "p.png",
                              "--transcript=t.txt", "--verbose", "--", "--port", "1298"},
                             where, &o, &error))
      << error;
  EXPECT_TRUE(o.scripted);
  EXPECT_EQ(o.keys, "@100 1 g");
  EXPECT_EQ(o.timeout_seconds, ruk_sim::default_script_timeout);
  EXPECT_EQ(o.state_dir, dir + "/xdg/ruk-sim");
  EXPECT_TRUE(o.host_network);
  EXPECT_EQ(o.png, "p.png");
  EXPECT_EQ(o.transcript, "t.txt");
  EXPECT_TRUE(o.verbose);
  EXPECT_EQ(o.program_args, (std::vector<std::string>{"--port", "1298"}));

  write("keys", "@100\n1 9\n2 g\n");
  ASSERT_TRUE(ruk_sim::parse({"--keys-file", dir + "/keys", "--timeout", "0", "--state", "s"},
                             where, &o, &error));
  EXPECT_EQ(o.keys, "@100\n1 9\n2 g\n");
  EXPECT_EQ(o.timeout_seconds, 0) << "0 is no limit, even for a script";
  EXPECT_EQ(o.state_dir, "s");
  EXPECT_TRUE(o.state_dir_given);
}

TEST_F(SimOptions, EveryMistakeOnTheCommandLineIsNamed) {
  EXPECT_EQ(parse_error({"--keyz", "1"}), "unknown option --keyz");
  EXPECT_EQ(parse_error({"--port", "1"}), "unknown option --port");
  EXPECT_EQ(parse_error({"ruk"}), "'ruk' is not an option; ruk's own arguments go after --");
  EXPECT_EQ(parse_error({"--state"}), "--state needs a value");
  EXPECT_EQ(parse_error({"--png="}), "--png is empty");
  EXPECT_EQ(parse_error({"--keys", "1", "--keys-file", "f"}),
            "one key script only: --keys and --keys-file both given, or one twice");
  EXPECT_EQ(parse_error({"--net", "lan"}),
            "--net is host (the machine's network, to reach a TFTP server) or own (none but "
            "loopback), not 'lan'");
  EXPECT_EQ(parse_error({"--timeout", "-5"}),
            "--timeout is a whole number of seconds up to 86400 (0 for none), not '-5'");
  EXPECT_EQ(parse_error({"--timeout", "2s"}),
            "--timeout is a whole number of seconds up to 86400 (0 for none), not '2s'");
  EXPECT_EQ(parse_error({"--keys-file", dir + "/none"}),
            "--keys-file " + dir + "/none: No such file or directory");
}

TEST_F(SimOptions, ChecksBeforeAnythingStarts) {
  EXPECT_EQ(check_error({"--state", dir + "/missing"}),
            "the state folder " + dir + "/missing does not exist; make it (mkdir -p " + dir +
                "/missing) or leave out --state to use " + dir + "/home/.local/state/ruk-sim");
  write("plain", "");
  EXPECT_EQ(check_error({"--state", dir + "/plain"}),
            "the state folder " + dir + "/plain is not a folder");

  EXPECT_EQ(check_error({"--state", dir, "--keys", "@100 1 x g"}),
            "bad key script: word 3 \"x\": not a key (the keys are "
            "#psvduh*0963jc7852ibg41ga.ket.mo.r, #CODE and !)");
  EXPECT_EQ(check_error({"--state", dir, "--keys", "@100 +50"}), "the key script has no key in it");

  EXPECT_EQ(check_error({"--state", dir, "--program", dir + "/ruk"}),
            dir +
                "/ruk is not a simulated build of ruk; ruk-sim never runs the phone build, "
                "which would set this machine's clock, reconfigure its network and restart it");
  EXPECT_EQ(check_error({"--state", dir, "--program", dir + "/nothing"}),
            "cannot run the simulated program " + dir +
                "/nothing: No such file or directory (build it: cmake --build build --target "
                "ruk-simulated)");
  EXPECT_EQ(check_error({"--state", dir, "--png", dir + "/no/such.png"}),
            "--png " + dir + "/no/such.png: the folder " + dir + "/no does not exist");
  EXPECT_EQ(check_error({"--state", dir, "--transcript", dir}),
            "--transcript " + dir + " is a folder; name a file");

  EXPECT_EQ(check_error({"--state", dir}), "");
}

TEST_F(SimOptions, TheDefaultStateFolderIsMadeAndKept) {
  std::string state = dir + "/home/.local/state/ruk-sim";
  EXPECT_EQ(check_error({}), "");
  struct stat st;
  ASSERT_EQ(stat(state.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  write("home/.local/state/ruk-sim/mtd5", "kept");
  EXPECT_EQ(check_error({}), "");
  std::ifstream kept(state + "/mtd5");
  std::string text;
  kept >> text;
  EXPECT_EQ(text, "kept");
}

// --help lists every simulator setting of the table, and names no other.
TEST(SimHelp, NamesEverySimulatorSettingAndNoOther) {
  EXPECT_EQ(sim::setting_names_in(ruk_sim::help()), sim::setting_names_of_table());
}

}  // namespace
