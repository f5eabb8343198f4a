// The TFTP client's engine fed a sequence of datagrams, as its receive loop
// feeds it: each from a chosen sender (the server's well-known port, one of
// two transfer ports of the server's address, another host, an unbound port),
// first through the loop's sender check (tftp_take_sender), then, when taken,
// into HandleTFTPPacket; now and then time passes on the simulated clock
// (forward, or back as when the clock is set), or the earliest armed timer
// expires and runs, as the event loop runs it. A reference reading of the
// protocol (RFC 1350 without options: blocks in order, a short DATA ends a
// read, an ERROR ends any transfer, the sender fixed by the server's first
// answer proper, the read's size limit and its last block number; the ACK's
// first wait twice the smoothed round trip with Karn's rule, sent again with a
// growing wait, a repeated block answered only once the first wait has
// passed; a read silent for 30 s fails) gives after each step the state, the
// expected block, the bytes received or still to send, when each timer is due
// and every datagram the client must have sent and to whom; real sockets on
// loopback receive what it sent. Both directions are fuzzed: a read, and the
// write that nothing starts.
#include <arpa/inet.h>
#include <fuzzer/FuzzedDataProvider.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "lib/ctimestamp.h"
#include "sim/seam/clock.h"
#include "sim/seam/port69.h"
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

// The protocol as the client's contract describes it. Times are whole
// milliseconds on the simulated clock, so that what a timer has left is
// exact; the round trip is kept in microseconds.
struct reference {
  int state;
  int block;
  int retries = 0;
  int64_t size_limit = 0;  // reading: 0 for none
  bool peer_known = false;
  int destination;  // peer_id the transfer's datagrams go to
  std::string content;
  std::string last_packet;
  std::vector<sent> out;
  int64_t now_ms = 0;

  // The two timers, each armed or not, when due, and in which order they
  // were armed (the earlier runs first of two due at once).
  bool timer = false;
  int64_t timer_due_ms = 0;
  bool silence = false;
  int64_t silence_due_ms = 0;
  int64_t timer_order = 0;
  int64_t silence_order = 0;
  int64_t armings = 0;

  // Reading: the ACK awaiting the next block.
  int64_t ack_sent_ms = 0;        // its last sending
  int ack_wait_ms = 0;            // the wait it was last sent with
  bool ack_sent_once = false;     // not sent again since it first went out
  int64_t ack_first_sent_ms = 0;  // its first sending, from which the round trip counts
  // The round trip's estimate, and the first wait it gives.
  bool measured = false;
  int64_t smoothed_us = 0;
  int first_wait_ms = 100;

  void arm_timer(int ms) {
    timer = true;
    timer_due_ms = now_ms + ms;
    timer_order = ++armings;
  }
  void arm_silence() {
    silence = true;
    silence_due_ms = now_ms + 30000;
    silence_order = ++armings;
  }
  void finish(int end) {
    timer = false;
    silence = false;
    state = end;
  }
  void fail() { finish(TFTP_FAILED); }
  // A read the client cannot take: the server is told, what arrived is let go.
  void refuse(int code) {
    out.push_back({destination, error_packet(code, "File too large")});
    content.clear();
    finish(TFTP_TOO_LARGE);
  }

  void send_last() { out.push_back({destination, last_packet}); }
  void send_ack(int wait_ms) {
    send_last();
    ack_sent_ms = now_ms;
    ack_wait_ms = wait_ms;
    arm_timer(wait_ms);
  }
  void resend_ack() {
    ++retries;
    ack_sent_once = false;
    send_ack(std::min(ack_wait_ms * 2, 5000));
  }

  // The block awaited has come. Its round trip, from the ACK that asked for
  // it, counts only when that ACK went out once: the first sample as it is,
  // then 7/8 of the estimate and 1/8 of the sample, each within 0 to 5 s.
  // The next ACK waits twice the estimate, rounded up to the millisecond,
  // 100 ms to 5 s; after an ACK sent again, the wait it ended with.
  void time_round_trip() {
    if (block < 2) return;  // the request is not timed
    if (!ack_sent_once) {
      first_wait_ms = ack_wait_ms;
      return;
    }
    int64_t sample = (now_ms - ack_first_sent_ms) * 1000;
    sample = std::max<int64_t>(0, std::min<int64_t>(sample, 5000000));
    if (!measured) {
      smoothed_us = sample;
      measured = true;
    } else {
      smoothed_us += (sample - smoothed_us) / 8;
    }
    int64_t wait = (2 * smoothed_us + 999) / 1000;
    first_wait_ms = static_cast<int>(std::max<int64_t>(100, std::min<int64_t>(wait, 5000)));
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
        // unless its last sending was less than the first wait ago.
        if (block > 1 && number == static_cast<unsigned>(block - 1) &&
            now_ms - ack_sent_ms >= first_wait_ms) {
          resend_ack();
        }
        return;
      }
      time_round_trip();
      bool full = p.size() == 516;
      if (full && block == 65535) {
        refuse(0);
        return;
      }
      std::string data = p.size() > 4 ? p.substr(4) : std::string();
      if (size_limit > 0 && static_cast<int64_t>(content.size() + data.size()) > size_limit) {
        refuse(3);
        return;
      }
      content += data;
      last_packet = header(4, number);
      if (full) {
        ++block;
        retries = 0;
        ack_sent_once = true;
        ack_first_sent_ms = now_ms;
        send_ack(first_wait_ms);
        arm_silence();
      } else {
        send_last();
        finish(TFTP_DONE);
      }
    } else if (kind == 4 && writing && number == static_cast<unsigned>(block)) {
      if (state == TFTP_LAST_SENT) {
        finish(TFTP_DONE);
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
      // A DATA block is first sent again after half a second, then every 5 s.
      arm_timer(500);
      if (data.size() < 512) state = TFTP_LAST_SENT;
    } else if (kind == 5) {
      fail();
    }
  }

  // The retransmission timer has run.
  void retransmit() {
    timer = false;
    if (state == TFTP_RECEIVING && block > 1) {
      resend_ack();
    } else if (retries < 5) {
      send_last();
      ++retries;
      arm_timer(5000);
    } else {
      fail();
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

// Each step told on stderr when RUK_FUZZ_TRACE is set, to follow an input
// that fails.
bool tracing = false;
#define TRACE(...)                                  \
  do {                                              \
    if (tracing) fprintf(stderr, __VA_ARGS__);      \
  } while (0)

void check(reference& want) {
  TRACE("  at %lld ms: state %d block %d retries %d timer %d due %lld (engine %d left) silence %d "
        "due %lld (engine %d left) ack wait %d (engine %d) first wait %d, %zu bytes\n",
        static_cast<long long>(want.now_ms), want.state, want.block, want.retries, want.timer,
        static_cast<long long>(want.timer_due_ms), tftp_timer.armed() ? tftp_timer.remaining_ms() : -1,
        want.silence, static_cast<long long>(want.silence_due_ms),
        tftp_silence_timer.armed() ? tftp_silence_timer.remaining_ms() : -1, want.ack_wait_ms,
        tftp_ack_wait_ms, want.first_wait_ms, want.content.size());
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
  if (want.timer) FUZZ_CHECK(tftp_timer.remaining_ms() == want.timer_due_ms - want.now_ms);
  FUZZ_CHECK(tftp_silence_timer.armed() == want.silence);
  if (want.silence) {
    FUZZ_CHECK(tftp_silence_timer.remaining_ms() == want.silence_due_ms - want.now_ms);
  }
  if (want.state == TFTP_RECEIVING && want.block > 1) FUZZ_CHECK(tftp_ack_wait_ms == want.ack_wait_ms);
  FUZZ_CHECK(bytes_of(tftp_content) == want.content);
  FUZZ_CHECK(bytes_of(tftp_last_packet) == want.last_packet);
  std::vector<sent> got = drain();
  for (const sent& s : got) TRACE("  sent to %d: %s\n", s.to, printable(s.bytes).c_str());
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
  ctimestamp::now();  // the program's one setting of the clock, done before any input
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
  tracing = getenv("RUK_FUZZ_TRACE") != nullptr;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  bool read = in.ConsumeBool();
  std::string upload;
  if (!read) upload = in.ConsumeRandomLengthString(2048);
  // The most the caller can take: none, around a multiple of the block
  // size, or any.
  int64_t limit = 0;
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 1:
      limit = std::max(1, 512 * in.ConsumeIntegralInRange<int>(0, 12) + in.ConsumeIntegralInRange<int>(-1, 1));
      break;
    case 2:
      limit = in.ConsumeIntegralInRange<int>(1, 8000);
      break;
    default:
      break;
  }

  drain();
  // Every input starts at the same moment (a few microseconds past a
  // second: the client must not count on whole seconds).
  sim::clock::warp_us(int64_t{ctimestamp::fixed_date} * 1000000 + 1234);
  tftp_state = TFTP_IDLE;
  tftp_size_limit = static_cast<int32_t>(limit);
  tftp_content = read ? str() : str(upload.data(), static_cast<int>(upload.size()));
  InitiateTFTP(read, "tolv510.bin", "127.0.0.1");
  reference want;
  want.state = read ? TFTP_RECEIVING : TFTP_SENDING;
  want.block = read ? 1 : 0;
  want.size_limit = read ? limit : 0;
  want.destination = well_known;
  want.content = read ? std::string() : upload;
  want.last_packet =
      std::string("\0", 1) + (read ? '\1' : '\2') + "tolv510.bin" + std::string("\0octet\0", 7);
  want.send_last();
  want.arm_timer(5000);
  if (read) want.arm_silence();
  check(want);

  while (in.remaining_bytes() > 0) {
    want.out.clear();
    int step = in.ConsumeIntegralInRange<int>(0, 17);
    if (step == 16) {
      // Time passes, the timers not yet run (a datagram may be taken first):
      // mostly a little, now and then much, or the clock is set back.
      int64_t ms;
      switch (in.ConsumeIntegralInRange<int>(0, 7)) {
        case 0:
          ms = -in.ConsumeIntegralInRange<int>(0, 10000);
          break;
        case 1:
          ms = in.ConsumeIntegralInRange<int>(0, 8000);
          break;
        default:
          ms = in.ConsumeIntegralInRange<int>(0, 250);
          break;
      }
      TRACE("time %+lld ms\n", static_cast<long long>(ms));
      sim::clock::warp_us(sim::clock::now_us() + ms * 1000);
      want.now_ms += ms;
      check(want);
      continue;
    }
    if (step == 15) {
      // The earliest armed timer expires and runs, as the event loop runs
      // it: the clock moves to when it is due (unless that has passed).
      if (want.timer || want.silence) {
        bool silence_first =
            want.silence && (!want.timer || want.silence_due_ms < want.timer_due_ms ||
                             (want.silence_due_ms == want.timer_due_ms &&
                              want.silence_order < want.timer_order));
        int64_t due = silence_first ? want.silence_due_ms : want.timer_due_ms;
        if (due > want.now_ms) {
          sim::clock::warp_us(sim::clock::now_us() + (due - want.now_ms) * 1000);
          want.now_ms = due;
        }
        TRACE("%s timer runs\n", silence_first ? "silence" : "retransmission");
        if (silence_first) {
          tftp_silence_timer.run();
          want.silence = false;
          want.fail();
        } else {
          tftp_timer.run();
          want.retransmit();
        }
      }
      check(want);
      continue;
    }
    if (step == 17) {
      // A long transfer, longer than an input can carry: the block number
      // moves on to near its last, as 65 thousand blocks would have moved it.
      bool reading = want.state == TFTP_RECEIVING && want.block > 1;
      bool writing = (want.state == TFTP_SENDING || want.state == TFTP_LAST_SENT) && want.block > 0;
      int far = 65535 - in.ConsumeIntegralInRange<int>(0, 2);
      TRACE("block number moves on to %d\n", far);
      if ((reading || writing) && want.block < far) {
        tftp_block = far;
        want.block = far;
      }
      check(want);
      continue;
    }
    // Mostly from the transfer's own peer, so that transfers get somewhere.
    int from = step < 10 ? (want.peer_known ? want.destination : transfer_a) : step % peer_count;
    // -1: the transfer moved to the unbound port.
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
    TRACE("from %d%s: %s\n", from, unbound ? " (unbound port)" : "", printable(packet).c_str());
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
  tftp_size_limit = 0;
  return 0;
}
