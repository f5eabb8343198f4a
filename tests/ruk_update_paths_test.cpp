// The update's less travelled paths through the whole program: the simulated
// phone typed by a key script, the image served by the test peer
// (tests/tftp_peer.h) from a host on the phone's own segment of a test
// network, and the run read back from its exit status, its transcript and
// its flash files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/run_ruk.h"
#include "tests/temp_dir.h"
#include "tests/test_network.h"
#include "tests/tftp_peer.h"
#include "tools/image.h"

namespace {

// The peer's host, on the phone's segment.
const char server[] = "10.0.0.1";

// Opens the menu and types the IP address 10.0.0.2, the TFTP server
// 10.0.0.1, no gateway (u leaves 0.0.0.0) and the netmask 255.255.255.0,
// then presses update on the netmask's screen.
const std::string type_addresses_and_update =
    "u 1 0 * 0 * 0 * 2 c 1 0 * 0 * 0 * 1 c c 2 5 5 2 5 5 2 5 5 0 h";
const std::string type_and_update = "@500 1 " + type_addresses_and_update;

std::string image_of(size_t payload_bytes, std::string* payload) {
  payload->resize(payload_bytes);
  for (size_t i = 0; i < payload_bytes; ++i) (*payload)[i] = static_cast<char>(i * 13 + i / 509);
  std::vector<uint8_t> image =
      ruk_image::build(std::vector<uint8_t>(payload->begin(), payload->end()));
  return std::string(image.begin(), image.end());
}

class UpdatePaths : public testing::Test {
 protected:
  void SetUp() override {
    if (!network.ready()) GTEST_SKIP() << network.why();
  }
  void TearDown() override {
    if (peer) peer->stop();
  }

  // The program with keys, served by a peer playing script.
  ruk_test::run_result run(const std::string& keys, ruk_test::tftp_peer_script script,
                           std::vector<std::pair<std::string, std::string>> env = {}) {
    script.address = server;
    EXPECT_TRUE(network.enter());
    peer.reset(new ruk_test::tftp_peer(script));  // its sockets in the test network
    network.leave();
    peer->start();
    ruk_test::run_options o;
    o.keys = keys;
    o.env = std::move(env);
    network.place(&o, server);
    o.env.push_back({"RUK_SIM_PORT69", std::to_string(peer->port())});
    o.env.push_back({"RUK_SIM_FLASH_DIR", dir.path()});
    o.env.push_back({"RUK_SIM_MTD4_SIZE", "64K"});
    o.env.push_back({"RUK_SIM_MTD5_SIZE", "256K"});
    ruk_test::run_result r = ruk_test::run_ruk(o);
    peer->stop();
    return r;
  }
  // The screens from the first download on, "top / bottom", byte counts
  // left out.
  static std::vector<std::string> update_screens(const ruk_test::run_result& r) {
    std::vector<std::string> shown;
    bool updating = false;
    for (const ruk_test::screen& s : r.screens()) {
      updating = updating || s.top == "tftp";
      if (updating && !(s.top == "tftp" && !s.bottom.empty()))
        shown.push_back(s.top + " / " + s.bottom);
    }
    return shown;
  }
  static long ms_of(const ruk_test::run_result& r, const std::string& kind,
                    const std::string& text) {
    for (const ruk_test::transcript_line& t : r.transcript) {
      if (t.kind == kind && t.text == text) return t.ms;
    }
    return -1;
  }

  ruk_test::test_network network{{server}};
  ruk_test::temp_dir dir{"ruk-update-paths"};
  std::unique_ptr<ruk_test::tftp_peer> peer;
};

TEST_F(UpdatePaths, AFailureAfterTheEraseReturnsToTheMenuUntilARetryWritesTheImageAndRestarts) {
  // The first image breaks on a write fault at 60000; on the way back the
  // server has no file; the third try's image is too short to reach the
  // fault.
  std::string first, last;
  ruk_test::tftp_peer_script script;
  script.content = image_of(100000, &first);
  script.later_contents = {"", image_of(50000, &last)};
  // A key after each failure screen, the quit key (which must not quit) and
  // a key for its screen, then update again.
  std::string keys = type_and_update + " +20000 1 +1000 g +1000 1 +1000 h +20000 1 +1000 h";
  ruk_test::run_result r = run(keys, script, {{"RUK_SIM_FLASH_FAULT", "mtd5:write@60000"}});

  ASSERT_EQ(r.status, transcript_format::status::restart) << "the restart after the retry\n"
                                                          << r.dump();
  EXPECT_EQ(peer->transfers, 3);
  EXPECT_EQ(ruk_test::read_file(dir / "mtd5").substr(0, last.size()), last);
  std::vector<std::string> shown = update_screens(r);
  std::vector<std::string> expected = {
      "tftp / ",
      "Erasing applications... / DON'T TURN OFF THE POWER",
      "Writing applications... / Update: 0%",
      "Writing applications... / Update: 8%",
      "Writing applications... / Update: 16%",
      "Writing applications... / Update: 24%",
      "Writing applications... / Update: 32%",
      "Writing applications... / Update: 40%",
      "Writing applications... / Update: 49%",
      "Update failed, software / not intact: press a key",
      "Netmask: / 255.255.255.0█    next",
      "Software not intact: / update needed, press key",
      "Netmask: / 255.255.255.0█    next",
      "tftp / ",
      "No File or Server / Still not intact: a key",
      "Netmask: / 255.255.255.0█    next",
      "tftp / ",
      "Erasing applications... / DON'T TURN OFF THE POWER",
      "Writing applications... / Update: 0%",
      "Writing applications... / Update: 16%",
      "Writing applications... / Update: 32%",
      "Writing applications... / Update: 49%",
      "Writing applications... / Update: 65%",
      "Writing applications... / Update: 81%",
      "Writing applications... / Update: 98%",  // while the partition is closed
      "Verifying flash... / ",
      "Update Successful / Restarting...",
  };
  EXPECT_EQ(shown, expected) << r.dump();
  // The restart comes a second after the success screen.
  EXPECT_EQ(ms_of(r, "restart", "0x01234567") -
                ms_of(r, "screen", "\"Update Successful\" \"Restarting...\""),
            1000);
}

TEST_F(UpdatePaths, AStartAfterAnUpdateCutShortGoesToTheMenuAndNeverEndsUntilAnUpdateIsWritten) {
  // What a power cut between the first erase and the head's write leaves:
  // mtd5's first bytes erased.
  ASSERT_TRUE(ruk_test::write_file(dir / "mtd5", std::string(256 << 10, '\xFF')));
  std::string payload;
  ruk_test::tftp_peer_script script;
  script.content = image_of(30000, &payload);
  // A key for the first screen, the quit key, a key for its screen, then
  // the addresses and update.
  ruk_test::run_result r = run("@500 1 +1000 g +1000 1 +500 " + type_addresses_and_update, script);
  ASSERT_EQ(r.status, transcript_format::status::restart) << r.dump();
  std::vector<ruk_test::screen> shown = r.screens();
  ASSERT_GE(shown.size(), 4u);
  const std::vector<std::string> start = {
      "Software not intact: / update needed, press key",
      "IP Address: / █  .0  .0  .0     next",
      "Software not intact: / update needed, press key",
      "IP Address: / █  .0  .0  .0     next",
  };
  for (size_t i = 0; i < start.size(); ++i) {
    EXPECT_EQ(shown[i].top + " / " + shown[i].bottom, start[i]) << "no countdown\n" << r.dump();
  }
  EXPECT_EQ(ruk_test::read_file(dir / "mtd5").substr(0, payload.size()), payload);
}

TEST_F(UpdatePaths, ARefusedRestartEndsTheProgramWithStatusZeroAfterRestarting) {
  std::string payload;
  ruk_test::tftp_peer_script script;
  script.content = image_of(20000, &payload);
  ruk_test::run_result r = run(type_and_update, script, {{"RUK_SIM_REBOOT", "fail"}});
  EXPECT_EQ(r.status, 0) << r.dump();
  EXPECT_EQ(r.lines("restart"), std::vector<std::string>{"0x01234567 refused"});
  ASSERT_FALSE(r.screens().empty());
  EXPECT_EQ(r.screens().back().top + " / " + r.screens().back().bottom,
            "Update Successful / Restarting...");
  EXPECT_EQ(ruk_test::read_file(dir / "mtd5").substr(0, payload.size()), payload);
}

TEST_F(UpdatePaths, ADataLongerThan516BytesIsTheLastBlockWithAllItsBytes) {
  // 1500 bytes of image: block 1 of 512, then block 2 carrying the other 988.
  std::string payload;
  ruk_test::tftp_peer_script script;
  script.content = image_of(1484, &payload);
  script.faults = {{2, ruk_test::block_fault::oversize}};
  ruk_test::run_result r = run(type_and_update, script);
  ASSERT_EQ(r.status, transcript_format::status::restart) << r.dump();
  EXPECT_EQ(peer->acks, (std::vector<int>{1, 2}));
  std::vector<std::string> counts;
  for (const ruk_test::screen& s : r.screens()) {
    if (s.top == "tftp") counts.push_back(s.bottom);
  }
  EXPECT_EQ(counts, (std::vector<std::string>{"", "512", "1500"}));
  EXPECT_EQ(ruk_test::read_file(dir / "mtd5").substr(0, payload.size()), payload);
}

}  // namespace
