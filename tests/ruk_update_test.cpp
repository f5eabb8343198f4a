// The whole update, end to end, on the simulated phone in a test network:
// its eth0 in the simulator's model of the phone's kernel, the addresses
// typed as a person types them, tftpd-hpa on a server behind the gateway of
// the phone's segment. Whether the server is reached is decided, as on a
// phone, by the eth0 configuration typed; an unreachable one ends in "No
// File or Server" without touching the flash. Needs root and tftpd-hpa;
// skipped with the reason otherwise.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/run_ruk.h"
#include "tests/temp_dir.h"
#include "tests/test_network.h"
#include "tools/image.h"

namespace {

const char* const gateway = "10.77.0.1";  // on the phone's segment, 10.77.0.0/24
const char* const server = "10.99.0.1";   // behind the gateway

// The keys that type the four addresses and press update: u clears them all
// first; an octet of fewer than three digits is ended with *.
std::string keys_for(const std::vector<std::string>& addresses) {
  std::string keys = "@500 1 u";
  for (size_t a = 0; a < addresses.size(); ++a) {
    if (a > 0) keys += " c";
    std::vector<std::string> octets;
    std::string rest = addresses[a];
    for (size_t dot; (dot = rest.find('.')) != std::string::npos; rest = rest.substr(dot + 1)) {
      octets.push_back(rest.substr(0, dot));
    }
    octets.push_back(rest);
    for (size_t i = 0; i < octets.size(); ++i) {
      for (char digit : octets[i]) keys += std::string(" ") + digit;
      if (octets[i].size() < 3 && i + 1 < octets.size()) keys += " *";
    }
  }
  return keys + " h";
}

class Update : public testing::Test {
 protected:
  void SetUp() override {
    if (!network.ready()) GTEST_SKIP() << "skipped: " << network.why();
    std::string root = dir / "tftp";
    ASSERT_EQ(mkdir(root.c_str(), 0755), 0);
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);  // tftpd-hpa serves as nobody
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(i * 7 + i / 251);
    ruk_test::write_file(root + "/tolv510.bin", ruk_image::build({payload.begin(), payload.end()}));
    ASSERT_EQ(chmod((root + "/tolv510.bin").c_str(), 0644), 0);
    ASSERT_TRUE(network.serve_tftp(server, root)) << network.why();
  }

  // The phone typed with these addresses, on a segment where only the
  // gateway answers.
  ruk_test::run_result run(const std::vector<std::string>& addresses, bool real_clock,
                           const char* chip = "intel") {
    ruk_test::run_options o;
    network.place(&o, gateway);
    o.keys = keys_for(addresses);
    o.virtual_clock = !real_clock;  // the server keeps real time
    o.env.push_back({"RUK_SIM_FLASH_DIR", flash(chip)});
    o.env.push_back({"RUK_SIM_MTD4_SIZE", "64K"});
    o.env.push_back({"RUK_SIM_MTD5_SIZE", "256K"});
    o.env.push_back({"RUK_SIM_FLASH_CHIP", chip});
    return ruk_test::run_ruk(o);
  }

  // A new folder of flash partitions for each kind of chip.
  std::string flash(const char* chip) const { return dir.path() + "/flash-" + chip; }

  // A run that could not reach the server: its screens, and the flash left
  // alone.
  void expect_no_file_or_server(const ruk_test::run_result& r) {
    EXPECT_EQ(r.status, 0) << r.dump();
    std::vector<ruk_test::screen> s = r.screens();
    ASSERT_GE(s.size(), 2u) << r.dump();
    EXPECT_EQ(s[s.size() - 2].top, "No File or Server");
    EXPECT_EQ(s.back().top, "Canceled ...");
    EXPECT_TRUE(r.lines("restart").empty());
    EXPECT_FALSE(r.flash_changed()) << r.dump();
  }

  static bool has(const std::vector<std::string>& lines, const std::string& line) {
    for (const std::string& l : lines) {
      if (l == line) return true;
    }
    return false;
  }

  ruk_test::test_network network{{gateway, server}};
  ruk_test::temp_dir dir{"ruk-update-test"};
  std::string payload = std::string(100000, '\0');
};

TEST_F(Update, ThroughTheGatewayTheImageIsWrittenOnEitherKindOfFlashChip) {
  for (const char* chip : {"intel", "amd"}) {
    ruk_test::run_result r =
        run({"10.77.0.2", server, gateway, "255.255.255.0"}, /*real_clock=*/true, chip);
    ASSERT_EQ(r.status, transcript_format::status::restart) << chip << ": the simulated restart\n"
                                                            << r.dump();
    EXPECT_NE(r.out.find("ip = 10.77.0.2\ntftp = 10.99.0.1\ngw = 10.77.0.1\nnm = 255.255.255.0\n"),
              std::string::npos)
        << "out before the restart: " << r.out;
    std::string mtd5 = ruk_test::read_file(flash(chip) + "/mtd5");
    EXPECT_EQ(mtd5.substr(0, payload.size()), payload) << chip;
    EXPECT_EQ(r.screens().back().top, "Update Successful");
  }
}

TEST_F(Update, AGatewayOffTheSubnetIsRefusedAndTheServerBehindItNotReached) {
  ruk_test::run_result r = run({"10.77.0.2", server, "10.88.0.1", "255.255.255.0"}, false);
  expect_no_file_or_server(r);
  std::vector<std::string> net = r.lines("net");
  EXPECT_TRUE(has(net,
                  "SIOCADDRT dst 0.0.0.0 gateway 10.88.0.1 genmask 0.0.0.0 flags 0x3 "
                  "metric 1 dev eth0 window 0 failed: Network is unreachable"))
      << r.dump();
  EXPECT_TRUE(has(net,
                  "sendto 10.99.0.1:69 failed: no route to 10.99.0.1 from eth0's "
                  "configuration"));
}

TEST_F(Update, ARefusedNetmaskLeavesTheClassMaskAndTheServerIsSoughtOnTheSegment) {
  ruk_test::run_result r = run({"10.77.0.2", server, gateway, "255.0.255.0"}, false);
  expect_no_file_or_server(r);
  std::vector<std::string> net = r.lines("net");
  EXPECT_TRUE(has(net, "SIOCSIFNETMASK eth0 255.0.255.0 failed: Invalid argument")) << r.dump();
  EXPECT_TRUE(has(net, "sendto 10.99.0.1:69 lost: no host 10.99.0.1 on eth0's link answers"));
}

TEST_F(Update, WithoutAGatewayAServerOffTheSubnetIsUnreachable) {
  ruk_test::run_result r = run({"10.77.0.2", server, "0.0.0.0", "255.255.255.0"}, false);
  expect_no_file_or_server(r);
  EXPECT_TRUE(has(r.lines("net"),
                  "sendto 10.99.0.1:69 failed: no route to 10.99.0.1 from eth0's configuration"))
      << r.dump();
}

}  // namespace
