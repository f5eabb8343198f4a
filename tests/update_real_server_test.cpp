// The whole update against a real TFTP server: tftpd-hpa in a network
// namespace of the test's own, the phone's eth0 a veth in another, and the
// simulated program, driven by a key script, typing its addresses,
// configuring eth0 for real, downloading, checking, writing the flash files
// and restarting. Needs root (namespaces, veth); skipped with the reason
// otherwise. Every address lives inside the two namespaces.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "tests/netns.h"
#include "tests/run_ruk.h"
#include "tests/temp_dir.h"
#include "tests/test_network.h"
#include "tools/image.h"

namespace {

using ruk_test::run_command;

const char* const server_address = "10.77.0.1";
// The phone's addresses as the key script types them: IP address
// 10.77.0.2, TFTP server 10.77.0.1, gateway 10.77.0.1, netmask
// 255.255.255.0. The first key only opens the menu; u clears every address.
const char* const key_script =
    "@500 1 u 1 0 * 7 7 * 0 * 2 c 1 0 * 7 7 * 0 * 1 c 1 0 * 7 7 * 0 * 1 c 2 5 5 2 5 5 2 5 5 0 h";

// tftpd-hpa in a namespace of its own, on the far end of the phone's eth0.
class RealServer : public testing::Test {
 protected:
  void SetUp() override {
    if (!phone.ready()) GTEST_SKIP() << "skipped: " << phone.why();
    int status = 0;
    run_command("command -v in.tftpd >/dev/null && command -v ss >/dev/null", &status);
    if (status != 0) GTEST_SKIP() << "skipped: needs in.tftpd (tftpd-hpa) and ss (iproute2)";
    server = phone.name() + "-tftp";
    sh("ip netns add " + server);
    sh("ip -n " + server + " link set lo up");
    sh("ip -n " + phone.name() + " link set ruk-peer0 netns " + server);
    sh("ip -n " + server + " addr add " + server_address + "/24 dev ruk-peer0");
    sh("ip -n " + server + " link set ruk-peer0 up");

    root = dir / "root";
    ASSERT_EQ(mkdir(root.c_str(), 0755), 0);
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);  // tftpd-hpa serves as nobody
  }

  void TearDown() override {
    ruk_test::stop_tftpd(tftpd);
    int status;
    if (!server.empty()) run_command("ip netns del " + server + " 2>/dev/null", &status);
  }

  void sh(const std::string& command) {
    int status = 0;
    std::string out = run_command(command + " 2>&1", &status);
    ASSERT_EQ(status, 0) << command << ": " << out;
  }

  void start_server() {
    std::string why;
    tftpd = ruk_test::start_tftpd(server, server_address, root, &why);
    ASSERT_GT(tftpd, 0) << why;
  }

  // The simulated program in the phone's namespace, configuring the real
  // eth0, on the real clock (the server keeps real time).
  ruk_test::run_result run_program() {
    ruk_test::run_options o;
    o.netns = phone.name();
    o.virtual_clock = false;
    o.keys = key_script;
    o.env = {{"RUK_SIM_NET", "kernel"}, {"RUK_SIM_FLASH_DIR", dir / "flash"}};
    return ruk_test::run_ruk(o);
  }

  ruk_test::netns phone;
  ruk_test::temp_dir dir{"ruk-real-server"};
  std::string server, root;
  pid_t tftpd = -1;
};

TEST_F(RealServer, TheUpdateDownloadsChecksWritesVerifiesAndRestarts) {
  std::mt19937 random(5);
  std::string payload(1000000, '\0');
  for (char& c : payload) c = static_cast<char>(random());
  ruk_test::write_file(root + "/tolv510.bin", ruk_image::build({payload.begin(), payload.end()}));
  ASSERT_EQ(chmod((root + "/tolv510.bin").c_str(), 0644), 0);
  start_server();

  ruk_test::run_result r = run_program();
  ASSERT_EQ(r.status, transcript_format::status::restart) << "the simulated restart\n" << r.dump();
  EXPECT_EQ(r.lines("restart"), std::vector<std::string>{"0x01234567"});
  EXPECT_NE(r.out.find("ip = 10.77.0.2\ntftp = 10.77.0.1\ngw = 10.77.0.1\nnm = 255.255.255.0\n"),
            std::string::npos)
      << r.out;

  std::string mtd5 = ruk_test::read_file(dir / "flash/mtd5");
  ASSERT_GE(mtd5.size(), payload.size());
  EXPECT_TRUE(mtd5.compare(0, payload.size(), payload) == 0) << "the payload from offset 0";
  EXPECT_EQ(mtd5.find_first_not_of('\xFF', payload.size()), std::string::npos) << "the rest erased";
  std::string mtd4 = ruk_test::read_file(dir / "flash/mtd4");
  EXPECT_EQ(mtd4.find_first_not_of('\xFF'), std::string::npos) << "mtd4 erased";

  // From the update key on: "tftp" with the byte count, erasing, writing
  // with the percentages, verifying, success.
  std::vector<std::string> counts, rest;
  bool updating = false;
  for (const ruk_test::screen& s : r.screens()) {
    updating = updating || (s.top == "tftp" && s.bottom.empty());
    if (updating) (s.top == "tftp" ? counts : rest).push_back(s.top + " / " + s.bottom);
  }
  ASSERT_FALSE(counts.empty()) << r.dump();
  EXPECT_EQ(counts.front(), "tftp / ");
  EXPECT_EQ(counts.back(), "tftp / 1000016");
  std::vector<std::string> expected = {"Erasing applications... / DON'T TURN OFF THE POWER",
                                       "Writing applications... / Update: 0%"};
  for (int p = 1; p <= 99; ++p) {
    expected.push_back("Writing applications... / Update: " + std::to_string(p) + "%");
  }
  expected.push_back("Verifying flash... / ");
  expected.push_back("Update Successful / Restarting...");
  EXPECT_EQ(rest, expected);
}

}  // namespace
