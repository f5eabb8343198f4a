// GetTFTPFile against a misbehaving server (tests/tftp_peer.h) on loopback:
// whatever the network does to the packets, the client returns the file
// exactly, or nothing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/keypad.h"
#include "sim/seam/clock.h"
#include "sim/seam/fresh_phone.h"
#include "sim/seam/keypad_model.h"
#include "sim/seam/port69.h"
#include "tests/str_text.h"
#include "tests/tftp_peer.h"
#include "tftp/tftp.h"

namespace {

using ruk_test::block_fault;
using ruk_test::tftp_peer;
using ruk_test::tftp_peer_script;

std::string file_of(size_t n, unsigned seed = 7) {
  std::mt19937 random(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(random());
  return s;
}

std::string request(const std::string& name) {
  return std::string("\0\1", 2) + name + std::string("\0octet\0", 7);
}

class Transfer : public testing::Test {
 protected:
  void SetUp() override {
    sim::fresh_phone();
    kbd_fd = -1;
  }
  void TearDown() override {
    if (kbd_fd >= 0) close(kbd_fd);
    kbd_fd = -1;
    sim::redirect_port69(0);
    sim::clock::use_virtual(false);
    tftp_timer.clear();
    tftp_size_limit = 0;
  }
  // Starts a peer and aims the client's port 69 at it.
  tftp_peer& serve(tftp_peer_script script) {
    peer.reset(new tftp_peer(std::move(script)));
    sim::redirect_port69(peer->port());
    peer->start();
    return *peer;
  }
  // A transfer that stalls fails after a minute instead of hanging the suite:
  // the client's loop runs this timer too.
  str fetch(const char* location = "tftp://10.0.0.2/tolv510.bin", const char* server = "127.0.0.1",
            int size = 0) {
    if (!sim::clock::is_virtual()) {
      watchdog.callback(
          60000, [](void*, void*) { tftp_state = TFTP_FAILED; }, nullptr, nullptr);
    }
    str result = GetTFTPFile(location, server, size);
    watchdog.clear();
    peer->stop();
    return result;
  }
  std::unique_ptr<tftp_peer> peer;
  timeout watchdog;
};

TEST_F(Transfer, FilesOfTheSizesAroundABlockArriveWhole) {
  for (size_t size : {0, 1, 511, 512, 1000, 1023, 1024, 5000}) {
    std::string content = file_of(size, static_cast<unsigned>(size));
    tftp_peer_script script;
    script.content = content;
    serve(script);
    str got = fetch();
    EXPECT_EQ(text(got), content) << size << " bytes";
    EXPECT_EQ(tftp_state, TFTP_DONE);
    EXPECT_TRUE(peer->finished) << size;
    ASSERT_EQ(peer->requests.size(), 1u);
    EXPECT_EQ(peer->requests[0], request("tolv510.bin"));
    std::vector<int> acks;
    for (int b = 1; b <= static_cast<int>(size / 512) + 1; ++b) acks.push_back(b);
    EXPECT_EQ(peer->acks, acks) << size << " bytes: one ACK per block, a short one last";
  }
}

TEST_F(Transfer, TheRequestedNameIsThePathAfterTheHostPart) {
  const std::pair<const char*, const char*> cases[] = {
      {"tftp://10.0.0.2/tolv510.bin", "tolv510.bin"},
      {"TFTP://10.0.0.2/tolv510.bin", "tolv510.bin"},
      {"tftp://10.0.0.2/images/v2/tolv510.bin", "images/v2/tolv510.bin"},
      {"tftp://10.0.0.2", "tolv510.cnf"},
      {"tftp://10.0.0.2/", "tolv510.cnf"},
      {"/tolv510.bin", "tolv510.cnf"},
      {"10.0.0.2/x.bin", "x.bin"},
  };
  for (const auto& c : cases) {
    tftp_peer_script script;
    script.content = "hello";
    serve(script);
    EXPECT_EQ(text(fetch(c.first, "127.0.0.1:8069")), "hello")
        << "a port in the server text is ignored";
    ASSERT_EQ(peer->requests.size(), 1u);
    EXPECT_EQ(peer->requests[0], request(c.second)) << c.first;
  }
}

TEST_F(Transfer, LostDuplicatedLateAndDamagedPacketsStillGiveTheExactFile) {
  std::string content = file_of(512 * 12 + 77);
  tftp_peer_script script;
  script.content = content;
  script.faults = {{2, block_fault::duplicate}, {3, block_fault::drop},
                   {4, block_fault::late},      {5, block_fault::corrupt},
                   {6, block_fault::truncate},  {7, block_fault::ignore_ack},
                   {8, block_fault::stranger},  {9, block_fault::intruder}};
  serve(script);
  str got = fetch("tftp://10.0.0.2/tolv510.bin", "127.0.0.1", 10000);
  EXPECT_EQ(got.length(), static_cast<int>(content.size()));
  EXPECT_TRUE(text(got) == content) << "the bytes differ";
  EXPECT_TRUE(peer->finished);
  EXPECT_FALSE(peer->gave_up);
  EXPECT_EQ(peer->acks_lost, 1);
  // Block 2 came twice and was acknowledged once (the copy came just after
  // the ACK went out); the late copy of block 4 (arriving after block 5) was
  // not acknowledged; 7 was acknowledged again after its first ACK was lost.
  EXPECT_EQ(peer->acks, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}));
  EXPECT_TRUE(peer->to_stranger.empty()) << "a stranger gets no answer";
  ASSERT_EQ(peer->to_intruder.size(), 1u);
  EXPECT_EQ(peer->to_intruder[0], std::string("\0\5\0\5Unknown transfer ID\0", 24));
}

TEST_F(Transfer, ABlockSentTwiceDoesNotDoubleTheTrafficOfAServerThatAnswersEveryAck) {
  tftp_peer_script script;
  script.content = file_of(512 * 40);
  script.answer_every_ack = true;
  script.faults = {{2, block_fault::duplicate}};
  serve(script);
  EXPECT_EQ(text(fetch()), script.content);
  EXPECT_TRUE(peer->finished);
  const int blocks = 41;
  EXPECT_LE(peer->data_sent, blocks * 11 / 10) << "DATA datagrams for " << blocks << " blocks";
}

TEST_F(Transfer, AnErrorInTheMiddleEndsTheTransferEmptyAtOnce) {
  tftp_peer_script script;
  script.content = file_of(512 * 5);
  script.faults = {{3, block_fault::error}};
  serve(script);
  EXPECT_EQ(fetch().length(), 0);
  EXPECT_EQ(tftp_state, TFTP_FAILED);
  EXPECT_EQ(peer->acks, (std::vector<int>{1, 2}));
}

TEST_F(Transfer, AFileLargerThanTheLimitIsRefusedAtTheBlockThatCrossesIt) {
  tftp_size_limit = 5000;
  const std::string too_large = std::string("\0\5\0\3File too large\0", 19);
  const struct {
    size_t size;
    int32_t state;
  } cases[] = {{5000, TFTP_DONE}, {5001, TFTP_TOO_LARGE}, {512 * 40, TFTP_TOO_LARGE}};
  for (const auto& c : cases) {
    tftp_peer_script script;
    script.content = file_of(c.size);
    serve(script);
    str got = fetch();
    EXPECT_EQ(tftp_state, c.state) << c.size << " bytes";
    if (c.state == TFTP_DONE) {
      EXPECT_EQ(text(got), script.content) << "the limit itself is taken";
      EXPECT_TRUE(peer->errors.empty());
      continue;
    }
    EXPECT_EQ(got.length(), 0) << c.size;
    EXPECT_EQ(tftp_content.ref, nullptr) << "what arrived is let go";
    EXPECT_EQ(peer->errors, std::vector<std::string>{too_large}) << c.size;
    // Block 10 would bring the bytes past 5000: it is not acknowledged, and
    // the rest of a larger file is never sent.
    EXPECT_EQ(peer->acks, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9})) << c.size;
    EXPECT_FALSE(peer->finished);
    EXPECT_LE(peer->data_sent, 11) << c.size;
  }
}

TEST_F(Transfer, AServerThatAnswersAfter150MsGetsEachAckOnce) {
  // Real time: the delay is the peer's, and the client must measure it.
  tftp_peer_script script;
  script.content = file_of(512 * 99 + 100);
  script.answer_delay_ms = 150;
  script.retransmit_ms = 3000;  // the server's own retransmissions stay out of it
  serve(script);
  EXPECT_EQ(text(fetch()), script.content);
  const size_t blocks = 100;
  printf("server answering after 150 ms: %zu ACKs for %zu blocks\n", peer->acks.size(), blocks);
  EXPECT_LE(peer->acks.size(), blocks * 105 / 100);
}

TEST_F(Transfer, AnswersFromPort3456AreAcknowledgedThere) {
  tftp_peer_script script;
  script.content = file_of(1500);
  script.transfer_port = 3456;
  serve(script);
  EXPECT_EQ(text(fetch()), script.content);
  EXPECT_EQ(peer->transfer_port(), 3456);
  EXPECT_EQ(peer->acks, (std::vector<int>{1, 2, 3}));
}

TEST_F(Transfer, ASilentServerGetsSixRequestsAndTheResultIsEmptyAfterThirtySeconds) {
  sim::clock::use_virtual(true);
  tftp_peer_script script;
  script.silent = true;
  serve(script);
  int64_t start = sim::clock::now_us();
  EXPECT_EQ(fetch().length(), 0);
  EXPECT_EQ(sim::clock::now_us() - start, 30000000);
  EXPECT_EQ(peer->requests, std::vector<std::string>(6, request("tolv510.bin")));
}

TEST_F(Transfer, AWaitThatKeepsFailingDoesNotEndTheProcessAndTheSilenceStillEndsTheRead) {
  sim::clock::use_virtual(true);
  ctimestamp::now();  // the program's first reading sets its date: count from after it
  tftp_peer_script script;
  script.silent = true;
  serve(script);
  // A number inside the descriptor table that is open nowhere: every select
  // over it fails (EBADF; Linux passes over numbers beyond the table). High,
  // so that the socket the client opens cannot take it.
  kbd_fd = fcntl(2, F_DUPFD, 200);
  ASSERT_GE(kbd_fd, 200);
  close(kbd_fd);
  int64_t start = sim::clock::now_us();
  EXPECT_EQ(fetch().length(), 0);
  kbd_fd = -1;
  EXPECT_EQ(tftp_state, TFTP_FAILED);
  int64_t ms = (sim::clock::now_us() - start) / 1000;
  EXPECT_GE(ms, 30000);
  EXPECT_LT(ms, 31000) << "the pauses between failed waits are a second at most";
  EXPECT_EQ(peer->requests, std::vector<std::string>(6, request("tolv510.bin")))
      << "the timers still ran";
}

TEST_F(Transfer, TheAbortKeyEndsTheTransferAndOtherKeysDoNot) {
  sim::clock::use_virtual(true);
  kbd_fd = open("/dev/keypad", O_RDONLY);
  ASSERT_GE(kbd_fd, 0);
  int64_t run_ms = sim::clock::elapsed_us() / 1000;
  auto key = [&](int64_t at, int code, int32_t state) {
    sim::key_event e;
    e.at_ms = run_ms + at;
    e.code = code;
    e.state = state;
    sim::keypad::model()->schedule(e);
  };
  key(3000, sim::keypad_code('5'), 1);
  key(3050, sim::keypad_code('5'), 0);
  key(5500, sim::keypad_code('g'), 0);  // a release of g is not the abort key
  sim::key_event failing;
  failing.at_ms = run_ms + 6000;
  failing.fails = true;
  sim::keypad::model()->schedule(failing);
  key(7000, 23, 1);  // code 23 is g as well
  tftp_peer_script script;
  script.silent = true;
  serve(script);
  int64_t start = sim::clock::now_us();
  EXPECT_EQ(fetch().length(), 0);
  EXPECT_EQ(sim::clock::now_us() - start, 7000000);
  EXPECT_EQ(peer->requests.size(), 2u) << "at 0 and 5 s";
  EXPECT_FALSE(tftp_timer.armed()) << "nothing is sent after the abort";
  EXPECT_EQ(sim::keypad::model()->pending(), 0);
}

TEST_F(Transfer, FourMebibytesWithTwoPercentLossBothWaysComplete) {
  std::string content = file_of(4u << 20);
  tftp_peer_script script;
  script.content = content;
  script.loss_to_client = 0.02;
  script.loss_from_client = 0.02;
  script.retransmit_ms = 10;
  script.seed = 11;
  serve(script);
  timespec t0, t1;
  clock_gettime(CLOCK_MONOTONIC, &t0);
  str got = fetch();
  clock_gettime(CLOCK_MONOTONIC, &t1);
  EXPECT_EQ(got.length(), static_cast<int>(content.size()));
  EXPECT_TRUE(text(got) == content) << "the bytes differ";
  // Whether the peer saw the last ACK is left to chance: it may be lost, and
  // the client, done, does not answer the resent block.
  EXPECT_GT(peer->data_lost, 80) << "the loss really happened";
  EXPECT_GT(peer->acks_lost, 80);
  double seconds = static_cast<double>(t1.tv_sec - t0.tv_sec) + (t1.tv_nsec - t0.tv_nsec) / 1e9;
  RecordProperty("seconds", std::to_string(seconds));
  printf("4 MiB with 2%% loss both ways: %.2f s, %d DATA sent, %d lost, %d ACKs lost\n", seconds,
         peer->data_sent, peer->data_lost, peer->acks_lost);
}

}  // namespace
