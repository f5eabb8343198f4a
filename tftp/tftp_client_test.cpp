// The transfer engine, packet by packet, against plain sockets on loopback
// standing for the server (loopback delivers before sendto returns, so a
// datagram that is not waiting was not sent).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "sim/seam/clock.h"
#include "sim/seam/port69.h"
#include "tftp/tftp.h"
#include "tftp/tftp_format.h"
#include "tests/socket_address.h"
#include "tests/str_text.h"

namespace {

using ruk_test::address;

std::string header(int opcode, int number) {
  return {0, static_cast<char>(opcode), static_cast<char>(number >> 8),
          static_cast<char>(number & 0xFF)};
}
std::string data_packet(int block, size_t n, char fill = 'd') {
  return header(3, block) + std::string(n, fill);
}
std::string ack(int block) {
  return header(4, block);
}

// A socket on ip standing for a server port or a stranger.
struct endpoint {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  int port = 0;
  explicit endpoint(const char* ip = "127.0.0.1", int wanted = 0) {
    sockaddr_in a = address(ip, wanted);
    EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0) << ip << ":" << wanted;
    socklen_t n = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    port = ntohs(a.sin_port);
  }
  ~endpoint() { close(fd); }
  std::string take() {
    char buffer[1024];
    ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    return n < 0 ? "<nothing>" : std::string(buffer, static_cast<size_t>(n));
  }
  // Sends to the client, which then receives and handles it as its loop does.
  void answer(const std::string& packet) {
    sockaddr_in to = address("127.0.0.1", tftp_port_number);
    ASSERT_EQ(
        sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
        static_cast<ssize_t>(packet.size()));
    sockaddr_in from;
    memset(&from, 0, sizeof from);
    str got = tftp.get_pdu(from);
    ASSERT_EQ(text(got), packet);
    if (tftp_take_sender(from, got)) HandleTFTPPacket(got);
  }
};

int destination_port() {
  int port = 0;
  str host;
  tftp.get_destination(port, host);
  return port;
}

class Engine : public testing::Test {
 protected:
  void SetUp() override {
    sim::redirect_port69(server.port);
    tftp_port_number = tftp_first_local_port;
  }
  void TearDown() override {
    tftp_timer.clear();
    tftp_state = TFTP_IDLE;
    sim::redirect_port69(0);
    sim::clock::use_virtual(false);
  }
  // A read of tolv510.bin that the server (answering from `transfer`) has begun.
  void start_read() {
    InitiateTFTP(true, "tolv510.bin", "127.0.0.1");
    ASSERT_EQ(tftp_state, TFTP_RECEIVING);
    server.take();
  }
  endpoint server;    // port 69, redirected
  endpoint transfer;  // the server's port for this transfer
};

TEST_F(Engine, RequestsAreExactAndEachTransferTakesTheNextLocalPort) {
  InitiateTFTP(true, "tolv510.bin", "127.0.0.1");
  EXPECT_EQ(server.take(), std::string("\0\1tolv510.bin\0octet\0", 20));
  EXPECT_EQ(tftp.local_port(), 4901);
  EXPECT_EQ(tftp_state, TFTP_RECEIVING);
  EXPECT_EQ(tftp_block, 1);
  EXPECT_EQ(tftp_retries, 0);
  EXPECT_TRUE(tftp_timer.armed());
  EXPECT_EQ(destination_port(), 69);

  for (int expected : {4902, 4903, 4904, 4905, 4906, 4907, 4908, 4909, 4900, 4901}) {
    InitiateTFTP(false, "dir/up.bin", "127.0.0.1");
    EXPECT_EQ(tftp.local_port(), expected);
  }
  for (int i = 0; i < 10; ++i) EXPECT_EQ(server.take(), std::string("\0\2dir/up.bin\0octet\0", 19));
  EXPECT_EQ(tftp_state, TFTP_SENDING);
  EXPECT_EQ(tftp_block, 0);
}

TEST_F(Engine, PortsThatAreTakenAreSkippedAndWhenAllAreTheTransferFails) {
  tftp.close();
  std::vector<std::unique_ptr<endpoint>> holders;
  holders.emplace_back(new endpoint("0.0.0.0", 4901));
  holders.emplace_back(new endpoint("0.0.0.0", 4902));
  InitiateTFTP(true, "f", "127.0.0.1");
  EXPECT_EQ(tftp.local_port(), 4903);
  EXPECT_EQ(server.take(), std::string("\0\1f\0octet\0", 10));

  tftp.close();
  for (int p = 4900; p < 4910; ++p) {
    if (p != 4901 && p != 4902) holders.emplace_back(new endpoint("0.0.0.0", p));
  }
  InitiateTFTP(true, "f", "127.0.0.1");
  EXPECT_EQ(tftp_state, TFTP_FAILED);
  EXPECT_FALSE(tftp_timer.armed());
  EXPECT_EQ(server.take(), "<nothing>");
  EXPECT_EQ(tftp_port_number, 4903) << "one round, and no more";
}

TEST_F(Engine, AServerThatCannotBeResolvedFailsAtOnceWithoutSending) {
  InitiateTFTP(true, "f", "no-such-host.invalid");
  EXPECT_EQ(tftp_state, TFTP_FAILED);
  EXPECT_FALSE(tftp_timer.armed());
  EXPECT_EQ(server.take(), "<nothing>");
}

TEST_F(Engine, ARequestIsSentSixTimesFiveSecondsApartThenTheTransferFails) {
  sim::clock::use_virtual(true);
  int64_t start = sim::clock::now_us();
  InitiateTFTP(true, "tolv510.bin", "127.0.0.1");
  std::vector<int64_t> sent;
  while (tftp_state == TFTP_RECEIVING && sent.size() < 10) {
    while (server.take() != "<nothing>") sent.push_back(sim::clock::now_us() - start);
    ASSERT_TRUE(tftp_timer.armed());
    timeval d = timeout::delay();
    sim::clock::advance_us(static_cast<int64_t>(d.tv_sec) * 1000000 + d.tv_usec);
    timeout::next();
  }
  EXPECT_EQ(sent, (std::vector<int64_t>{0, 5000000, 10000000, 15000000, 20000000, 25000000}));
  EXPECT_EQ(tftp_state, TFTP_FAILED);
  EXPECT_EQ(sim::clock::now_us() - start, 30000000);
  EXPECT_EQ(server.take(), "<nothing>");
}

TEST_F(Engine, BlocksAreAcknowledgedToTheServersTransferPortInOrder) {
  sim::clock::use_virtual(true);
  start_read();
  transfer.answer(data_packet(1, 512, 'a'));
  EXPECT_EQ(transfer.take(), ack(1)) << "the ACK goes to the port the answer came from";
  EXPECT_EQ(destination_port(), transfer.port);
  EXPECT_EQ(tftp_block, 2);

  // A resent block: acknowledged again, but not twice within the ACK's
  // retransmission period, or a server that answers every ACK would send
  // every later block twice.
  transfer.answer(data_packet(1, 512, 'x'));
  EXPECT_EQ(transfer.take(), "<nothing>") << "the ACK went out just now";
  sim::clock::advance_us(100000);
  transfer.answer(data_packet(1, 512, 'x'));
  EXPECT_EQ(transfer.take(), ack(1)) << "a period later it goes out again";
  transfer.answer(data_packet(2, 512, 'b'));
  EXPECT_EQ(transfer.take(), ack(2));
  transfer.answer(data_packet(1, 512, 'x'));
  EXPECT_EQ(transfer.take(), "<nothing>") << "older blocks are stale";
  transfer.answer(data_packet(7, 512, 'x'));
  EXPECT_EQ(transfer.take(), "<nothing>");
  EXPECT_EQ(tftp_content.length(), 1024);

  // The kind is byte 1 alone; unknown kinds and ACKs mean nothing to a read.
  transfer.answer(std::string("\x7F\x03\x00\x03", 4) + std::string(512, 'c'));
  EXPECT_EQ(transfer.take(), ack(3));
  transfer.answer(ack(4));
  transfer.answer(header(9, 4) + "zz");
  transfer.answer(std::string("\0", 1));
  transfer.answer(std::string("\0\3\0", 3));  // its missing byte reads as 0: block 0
  EXPECT_EQ(transfer.take(), "<nothing>");
  EXPECT_EQ(tftp_state, TFTP_RECEIVING);

  transfer.answer(header(3, 4));
  EXPECT_EQ(transfer.take(), ack(4)) << "an empty last block";
  EXPECT_EQ(tftp_state, TFTP_DONE);
  EXPECT_EQ(text(tftp_content),
            std::string(512, 'a') + std::string(512, 'b') + std::string(512, 'c'));
  transfer.answer(data_packet(5, 10));
  EXPECT_EQ(transfer.take(), "<nothing>") << "a finished transfer ignores everything";
  EXPECT_EQ(tftp_content.length(), 1536);

  start_read();
  transfer.answer(header(5, 1) + "File not found" + std::string(1, '\0'));
  EXPECT_EQ(tftp_state, TFTP_FAILED);
  EXPECT_FALSE(tftp_timer.armed()) << "an ERROR stops the retransmission";
}

TEST_F(Engine, TheLastAckIsResentWithBackoffAndThirtySecondsWithoutANewBlockFailTheRead) {
  sim::clock::use_virtual(true);
  start_read();
  transfer.answer(data_packet(1, 512));
  ASSERT_EQ(transfer.take(), ack(1));
  int64_t acked = sim::clock::now_us();
  std::vector<int64_t> resent;  // ms after the ACK first went out
  while (tftp_state == TFTP_RECEIVING && resent.size() < 20) {
    ASSERT_FALSE(timeout::empty()) << "a silent server must not leave the read waiting for ever";
    timeval d = timeout::delay();
    sim::clock::advance_us(static_cast<int64_t>(d.tv_sec) * 1000000 + d.tv_usec);
    timeout::next();
    while (transfer.take() == ack(1)) resent.push_back((sim::clock::now_us() - acked) / 1000);
  }
  EXPECT_EQ(resent,
            (std::vector<int64_t>{100, 300, 700, 1500, 3100, 6300, 11300, 16300, 21300, 26300}));
  EXPECT_EQ(tftp_state, TFTP_FAILED);
  EXPECT_EQ((sim::clock::now_us() - acked) / 1000, 30000);
  EXPECT_TRUE(timeout::empty()) << "nothing more goes out";
}

TEST_F(Engine, TheAckWaitsTwiceTheMeasuredRoundTripTakenOnlyFromAcksSentOnce) {
  sim::clock::use_virtual(true);
  auto wait_ms = [] {
    timeval d = timeout::delay();  // tftp_timer: the silence is due much later
    return static_cast<int>(d.tv_sec * 1000 + d.tv_usec / 1000);
  };
  auto block_after = [&](int ms, int block) {
    sim::clock::advance_us(ms * 1000LL);
    transfer.answer(data_packet(block, 512));
    EXPECT_EQ(transfer.take(), ack(block));
  };
  start_read();
  transfer.answer(data_packet(1, 512));
  transfer.take();
  EXPECT_EQ(wait_ms(), 100) << "nothing measured yet";
  sim::clock::advance_us(100000);
  timeout::next();
  EXPECT_EQ(transfer.take(), ack(1));
  block_after(50, 2);
  EXPECT_EQ(wait_ms(), 200) << "block 2 may answer either ACK: no sample, the longer wait stays";
  block_after(150, 3);
  EXPECT_EQ(wait_ms(), 300) << "the first sample as it is, twice";
  block_after(150, 4);
  block_after(10, 5);
  EXPECT_EQ(wait_ms(), 265) << "150 + (10 - 150) / 8 = 132.5 ms, twice";
  sim::clock::advance_us(150000);
  transfer.answer(data_packet(5, 512));
  EXPECT_EQ(transfer.take(), "<nothing>") << "a copy within the first wait crossed the ACK";

  start_read();
  block_after(0, 1);
  block_after(3000, 2);
  EXPECT_EQ(wait_ms(), 5000) << "a new read measures afresh; 6 s is more than the longest wait";

  start_read();
  block_after(0, 1);
  block_after(0, 2);
  block_after(1000, 3);
  EXPECT_EQ(wait_ms(), 250) << "a first round trip of 0 counts: 1 s then weighs 1/8, twice";
}

TEST_F(Engine, OnlyDataOneOrAnErrorFixesTheServersPortAndStrayDatagramsBeforeItAreDropped) {
  sim::clock::use_virtual(true);
  endpoint stray;  // another port of the server's address, answering first
  const std::pair<const char*, std::string> strays[] = {
      {"empty", std::string()}, {"unknown kind", header(9, 1)}, {"DATA 2", data_packet(2, 512)}};
  for (const auto& packet : strays) {
    start_read();
    stray.answer(packet.second);
    EXPECT_EQ(destination_port(), 69) << packet.first;
    EXPECT_EQ(stray.take(), "<nothing>") << "no ACK, no ERROR";
    sim::clock::advance_us(5000000);
    timeout::next();
    EXPECT_EQ(server.take(), std::string("\0\1tolv510.bin\0octet\0", 20))
        << "the request is still sent to port 69";
    transfer.answer(data_packet(1, 100));
    EXPECT_EQ(transfer.take(), ack(1));
    EXPECT_EQ(tftp_state, TFTP_DONE);
  }
  start_read();
  transfer.answer(header(5, 1) + "File not found" + std::string(1, '\0'));
  EXPECT_EQ(tftp_state, TFTP_FAILED) << "an ERROR is an answer too";
}

TEST_F(Engine, AFullBlock65535EndsTheReadAsTooLargeAndAShortOneCompletesIt) {
  start_read();
  transfer.answer(data_packet(1, 512));
  transfer.take();
  tftp_block = 65535;
  transfer.answer(data_packet(65535, 512));
  EXPECT_EQ(tftp_state, TFTP_TOO_LARGE) << "block 65536 cannot be numbered";
  EXPECT_EQ(transfer.take(), header(5, 0) + "File too large" + std::string(1, '\0'));
  EXPECT_EQ(tftp_content.ref, nullptr) << "what arrived is let go";

  start_read();
  transfer.answer(data_packet(1, 512));
  transfer.take();
  tftp_block = 65535;
  transfer.answer(data_packet(65535, 511));
  EXPECT_EQ(transfer.take(), ack(65535));
  EXPECT_EQ(tftp_state, TFTP_DONE);
}

TEST_F(Engine, AWriteSendsTheContentBlockByBlockAsEachIsAcknowledged) {
  sim::clock::use_virtual(true);
  tftp_content = bytes(std::string(512, 'w') + "end");
  InitiateTFTP(false, "up.bin", "127.0.0.1");
  server.take();
  transfer.answer(ack(1));
  EXPECT_EQ(transfer.take(), "<nothing>") << "ACK 0 is awaited";
  transfer.answer(data_packet(0, 10));
  EXPECT_EQ(text(tftp_content), std::string(512, 'w') + "end") << "DATA has no place in a write";

  transfer.answer(ack(0));
  EXPECT_EQ(transfer.take(), data_packet(1, 512, 'w'));
  EXPECT_EQ(tftp_state, TFTP_SENDING);
  timeval d = timeout::delay();
  EXPECT_EQ(d.tv_sec * 1000000 + d.tv_usec, 500000) << "the first block is retried sooner";
  sim::clock::advance_us(500000);
  timeout::next();
  EXPECT_EQ(transfer.take(), data_packet(1, 512, 'w'));
  d = timeout::delay();
  EXPECT_EQ(d.tv_sec, 5);

  transfer.answer(ack(0));
  EXPECT_EQ(transfer.take(), "<nothing>") << "a repeated ACK sends nothing again";
  transfer.answer(ack(1));
  EXPECT_EQ(transfer.take(), header(3, 2) + "end");
  EXPECT_EQ(tftp_state, TFTP_LAST_SENT);
  transfer.answer(ack(3));
  EXPECT_EQ(tftp_state, TFTP_LAST_SENT);
  transfer.answer(ack(2));
  EXPECT_EQ(tftp_state, TFTP_DONE);
  EXPECT_FALSE(tftp_timer.armed());

  // Whole blocks only: an empty block ends the write.
  tftp_content = bytes(std::string(512, 'w'));
  InitiateTFTP(false, "up.bin", "127.0.0.1");
  server.take();
  transfer.answer(ack(0));
  EXPECT_EQ(transfer.take(), data_packet(1, 512, 'w'));
  transfer.answer(ack(1));
  EXPECT_EQ(transfer.take(), header(3, 2));
  EXPECT_EQ(tftp_state, TFTP_LAST_SENT);
}

}  // namespace
