// The TFTP client's engine fed a sequence of datagrams, as its receive loop
// feeds it: each from a chosen sender (the server's well-known port, one of
// two transfer ports of the server's address, another host, an unbound port),
// first through the loop's sender check (tftp_take_sender), then, when taken,
// into HandleTFTPPacket; now and then the retransmission timer fires, or time
// passes on the simulated clock, instead. A reference reading of the protocol
// (RFC 1350 without options: blocks in order, a short DATA ends a read, an
// ERROR ends any transfer, the sender fixed by the server's first answer
// proper, the last ACK sent again with a growing wait and a repeated block
// answered at most once a first wait) gives after each step the state, the
// expected block, the bytes received or still to send, and every datagram
// the client must have sent and to whom; real sockets on loopback receive
// what it sent. Both directions are fuzzed: a read, and the write that
// nothing starts.
#include <arpa/inet.h>
#include <fuzzer/FuzzedDataProvider.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <deque>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "sim/clock.h"
#include "sim/port69.h"
#include "tftp/tftp.h"

namespace {

// The peers: the server's well-known port (where the sim sends datagrams for
// port 69), two transfer ports of the same address, and a stranger on
// another loopback address.
enum peer_id { well_known, transfer_a, transfer_b, stranger, peer_count };

struct peer {
  int fd = -1;
  sockaddr_in address = {};
};
peer peers[peer_count];

const uint32_t server_host = htonl(0x7F000001);    // 127.0.0.1
const uint32_t stranger_host = htonl(0x7F000002);  // 127.0.0.2

peer open_peer(uint32_t host) {
  peer p;
  p.fd = socket(AF_INET, SOCK_DGRAM, 0);
  p.address.sin_family = AF_INET;
  p.address.sin_addr.s_addr = host;
  FUZZ_CHECK(bind(p.fd, reinterpret_cast<sockaddr*>(&p.address), sizeof p.address) == 0);
  socklen_t len = sizeof p.address;
  getsockname(p.fd, reinterpret_cast<sockaddr*>(&p.address), &len);
  return p;
}

struct sent {
  int to;  // peer_id
  std::string bytes;
  bool operator==(const sent& o) const { return to == o.to && bytes == o.bytes; }
  bool operator!=(const sent& o) const { return !(*this == o); }
};

// Everything the client sent since the last call, by receiving peer.
std::vector<sent> drain() {
  std::vector<sent> out;
  for (int i = 0; i < peer_count; ++i) {
    char buffer[1024];
    for (;;) {
      ssize_t n = recv(peers[i].fd, buffer, sizeof buffer, MSG_DONTWAIT);
      if (n < 0) break;
      out.push_back({i, std::string(buffer, static_cast<size_t>(n))});
    }
  }
  return out;
}

std::string header(int opcode, unsigned number) {
  return {'\0', static_cast<char>(opcode), static_cast<char>(number >> 8),
          static_cast<char>(number & 0xFF)};
}

std::string error_packet(int code, const char* message) {
  return header(5, static_cast<unsigned>(code)) + message + std::string(1, '\0');
}

unsigned byte_at(const std::string& p, size_t i) {
  return i < p.size() ? static_cast<unsigned char>(p[i]) : 0u;
}

// The protocol as the client's contract describes it.
struct reference {
  int state;
  int block;
  int retries = 0;
  bool timer = true;
  bool peer_known = false;
  int destination;  // peer_id the transfer's datagrams go to
  std::string content;
  std::string last_packet;
  std::vector<sent> out;
  int64_t now_ms = 0;       // on the simulated clock
  int64_t ack_sent_ms = 0;  // reading: when the last ACK went out
  int ack_wait_ms = 0;      // reading: the wait it was sent with

  void send_last() { out.push_back({destination, last_packet}); }
  void fail() {
    timer = false;
    state = TFTP_FAILED;
  }
  void send_ack(int wait_ms) {
    send_last();
    ack_sent_ms = now_ms;
    ack_wait_ms = wait_ms;
    timer = true;
  }
  void resend_ack() {
    ++retries;
    send_ack(std::min(ack_wait_ms * 2, 5000));
  }

  // The server's first answer proper: DATA 1 to a read, ACK 0 to a write, or
  // an ERROR, each whole and with a zero first byte.
  bool opens(const std::string& p) const {
    if (p.size() < 4 || p[0] != 0) return false;
    unsigned number = byte_at(p, 2) * 256 + byte_at(p, 3);
    if (p[1] == 3) return state == TFTP_RECEIVING && number == 1 && p.size() <= 516;
    if (p[1] == 4) return state == TFTP_SENDING && number == 0 && p.size() == 4;
    return p[1] == 5;
  }

  bool take_sender(int from, uint32_t host, const std::string& packet) {
    if (host != server_host) return false;
    if (!peer_known) {
      if (!opens(packet)) return false;
      destination = from;
      peer_known = true;
      return true;
    }
    if (from == destination) return true;
    out.push_back({from, error_packet(5, "Unknown transfer ID")});
    return false;
  }

  void handle(const std::string& p) {
    bool reading = state == TFTP_RECEIVING;
    bool writing = state == TFTP_SENDING || state == TFTP_LAST_SENT;
    if (!reading && !writing) return;
    unsigned kind = byte_at(p, 1);
    unsigned number = byte_at(p, 2) * 256 + byte_at(p, 3);
    if (kind == 3 && reading) {
      if (number != static_cast<unsigned>(block)) {
        // The block just acknowledged, again: the ACK is sent once more,
        // unless it went out less than a first wait ago.
        if (block > 1 && number == static_cast<unsigned>(block - 1) &&
            now_ms - ack_sent_ms >= 100) {
          resend_ack();
        }
        return;
      }
      bool full = p.size() == 516;
      if (full && block == 65535) {
        out.push_back({destination, error_packet(0, "File too large")});
        fail();
        return;
      }
      if (p.size() > 4) content += p.substr(4);
      last_packet = header(4, number);
      if (full) {
        ++block;
        retries = 0;
        send_ack(100);
      } else {
        send_last();
        timer = false;
        state = TFTP_DONE;
      }
    } else if (kind == 4 && writing && number == static_cast<unsigned>(block)) {
      if (state == TFTP_LAST_SENT) {
        timer = false;
        state = TFTP_DONE;
        return;
      }
      if (block == 65535) {
        out.push_back({destination, error_packet(0, "File too large")});
        fail();
        return;
      }
      ++block;
      std::string data = content.substr(0, 512);
      content.erase(0, data.size());
      last_packet = header(3, static_cast<unsigned>(block)) + data;
      send_last();
      retries = 0;
      timer = true;
      if (data.size() < 512) state = TFTP_LAST_SENT;
    } else if (kind == 5) {
      fail();
    }
  }

  void retransmit() {
    timer = false;
    if (state == TFTP_RECEIVING && block > 1) {
      resend_ack();
    } else if (retries < 5) {
      send_last();
      ++retries;
      timer = true;
    } else {
      state = TFTP_FAILED;
    }
  }
};

std::string printable(const std::string& bytes) {
  std::string out;
  char hex[4];
  for (size_t i = 0; i < bytes.size() && i < 24; ++i) {
    snprintf(hex, sizeof hex, "%02x ", static_cast<unsigned char>(bytes[i]));
    out += hex;
  }
  if (bytes.size() > 24) out += "... (" + std::to_string(bytes.size()) + " bytes)";
  return out;
}

std::string bytes_of(const str& s) {
  return fuzz::bytes_of(s);
}

void check(reference& want) {
  // What goes to the unbound port (where the transfer may have moved) is lost.
  std::vector<sent> kept;
  for (const sent& s : want.out) {
    if (s.to != -1) kept.push_back(s);
  }
  want.out = kept;
  FUZZ_CHECK(tftp_state == want.state);
  FUZZ_CHECK(tftp_block == want.block);
  FUZZ_CHECK(tftp_retries == want.retries);
  FUZZ_CHECK(tftp_timer.armed() == want.timer);
  FUZZ_CHECK(bytes_of(tftp_content) == want.content);
  FUZZ_CHECK(bytes_of(tftp_last_packet) == want.last_packet);
  std::vector<sent> got = drain();
  if (got != want.out) {
    for (const sent& s : got) fprintf(stderr, "sent to %d: %s\n", s.to, printable(s.bytes).c_str());
    for (const sent& s : want.out)
      fprintf(stderr, "want to %d: %s\n", s.to, printable(s.bytes).c_str());
  }
  FUZZ_CHECK(got == want.out);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  timeval none = {0, 0};
  select(0, nullptr, nullptr, nullptr, &none);  // the models attach
  // Time passes only when a step says so. libFuzzer's memory watch sleeps a
  // second at a time through the simulated sleep, which would move this
  // clock from another thread: it is switched off (the flags are read after
  // this function; the last of a flag counts).
  sim::clock::use_virtual(true);
  static std::vector<char*> args(*argv, *argv + *argc);
  static char no_rss_watch[] = "-rss_limit_mb=0";
  args.push_back(no_rss_watch);
  args.push_back(nullptr);
  *argc = static_cast<int>(args.size()) - 1;
  *argv = args.data();
  peers[well_known] = open_peer(server_host);
  peers[transfer_a] = open_peer(server_host);
  peers[transfer_b] = open_peer(server_host);
  peers[stranger] = open_peer(stranger_host);
  sim::redirect_port69(ntohs(peers[well_known].address.sin_port));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  bool read = in.ConsumeBool();
  std::string upload;
  if (!read) upload = in.ConsumeRandomLengthString(2048);

  drain();
  tftp_state = TFTP_IDLE;
  tftp_content = read ? str() : str(upload.data(), static_cast<int>(upload.size()));
  InitiateTFTP(read, "tolv510.bin", "127.0.0.1");
  reference want;
  want.state = read ? TFTP_RECEIVING : TFTP_SENDING;
  want.block = read ? 1 : 0;
  want.destination = well_known;
  want.content = read ? std::string() : upload;
  want.last_packet =
      std::string("\0", 1) + (read ? '\1' : '\2') + "tolv510.bin" + std::string("\0octet\0", 7);
  want.send_last();
  check(want);

  while (in.remaining_bytes() > 0) {
    want.out.clear();
    int step = in.ConsumeIntegralInRange<int>(0, 16);
    if (step == 16) {
      // Time passes, the timers not yet run: a repeated block may be
      // answered again.
      int ms = in.ConsumeIntegralInRange<int>(0, 250);
      sim::clock::advance_us(ms * 1000LL);
      want.now_ms += ms;
      check(want);
      continue;
    }
    if (step == 15) {
      // The retransmission timer expires (only while it is armed), as the
      // timer list runs it.
      if (tftp_timer.armed()) {
        tftp_timer.run();
        want.retransmit();
      }
      check(want);
      continue;
    }
    // Mostly from the transfer's own peer, so that transfers get somewhere.
    int from = step < 10 ? (want.peer_known ? want.destination : transfer_a) : step % peer_count;
    bool unbound = step == 14 || from == -1;
    if (unbound) from = transfer_a;
    std::string packet;
    if (in.ConsumeBool()) {
      // A well-formed packet around the expected block.
      int kind = in.ConsumeIntegralInRange<int>(3, 5);
      int number = want.block + in.ConsumeIntegralInRange<int>(-1, 1);
      packet = header(kind, static_cast<unsigned>(number) & 0xFFFF);
      if (kind == 3)
        packet += std::string(in.ConsumeBool() ? 512 : in.ConsumeIntegralInRange<int>(0, 511), 'd');
    } else {
      packet = in.ConsumeRandomLengthString(600);
    }
    sockaddr_in address = peers[from].address;
    if (unbound) address.sin_port = htons(9);  // nobody listens there
    str datagram(packet.data(), static_cast<int>(packet.size()));
    bool taken = tftp_take_sender(address, datagram);
    int from_id = unbound ? -1 : from;
    bool want_taken = want.take_sender(from_id, address.sin_addr.s_addr, packet);
    FUZZ_CHECK(taken == want_taken);
    if (taken && !packet.empty()) {
      HandleTFTPPacket(datagram);
      want.handle(packet);
    }
    check(want);
  }
  tftp_finish(TFTP_IDLE);
  return 0;
}
