// The transfer engine: the client's globals, the start of a transfer
// (InitiateTFTP), one datagram at a time (tftp_take_sender, then
// HandleTFTPPacket) and the retransmission timer (tftp_retransmit). Packets
// are built and read byte by byte (tftp/tftp_format.h).
#include <arpa/inet.h>
#include <string.h>
#include <sys/socket.h>

#include "lib/init_order.h"
#include "tftp/tftp.h"
#include "tftp/tftp_format.h"

// Built in this order before main and torn down in reverse at exit.
udp tftp RUK_INIT(RUK_INIT_TFTP);
str tftp_content RUK_INIT(RUK_INIT_TFTP);
timeout tftp_timer RUK_INIT(RUK_INIT_TFTP);
str tftp_last_packet RUK_INIT(RUK_INIT_TFTP);
timeout tftp_silence_timer RUK_INIT(RUK_INIT_TFTP);

int32_t tftp_port_number = tftp_first_local_port;
int32_t tftp_state = TFTP_IDLE;
int32_t tftp_size_limit = 0;
int32_t tftp_block = 0;
int32_t tftp_retries = 0;
int32_t tftp_ack_wait_ms = 0;
bool bTftpPeerKnown = false;

namespace {

// Byte i of packet as an unsigned value; 0 beyond its end, so that a short
// packet reads as if padded with zero bytes.
unsigned tftp_byte(const str& packet, int i) {
  return static_cast<unsigned char>(packet.get_character(i));
}

// The big-endian 16-bit number at bytes i and i + 1.
unsigned tftp_number(const str& packet, int i) {
  return tftp_byte(packet, i) << 8 | tftp_byte(packet, i + 1);
}

// The packet's kind: byte 1 alone (byte 0 is not looked at).
unsigned tftp_kind(const str& packet) {
  return tftp_byte(packet, 1);
}

// The opcode and a 16-bit number (the block number, or an error code).
str tftp_header(unsigned opcode, unsigned number) {
  const char bytes[tftp_header_size] = {
      static_cast<char>(opcode >> 8 & 0xFF), static_cast<char>(opcode & 0xFF),
      static_cast<char>(number >> 8 & 0xFF), static_cast<char>(number & 0xFF)};
  return str(bytes, tftp_header_size);
}

// RRQ or WRQ for file in octet mode.
str tftp_request(unsigned opcode, const str& file) {
  str packet;
  packet += static_cast<char>(0);
  packet += static_cast<char>(opcode);
  packet += file;
  packet += static_cast<char>(0);
  packet += tftp_mode;
  packet += static_cast<char>(0);
  return packet;
}

// ERROR with code and message.
str tftp_error_packet(unsigned code, const char* message) {
  str packet = tftp_header(TFTP_OP_ERROR, code);
  packet.append(message, static_cast<int>(strlen(message)) + 1);
  return packet;
}

// Binds tftp to the next of the ten local ports that can be had, trying each
// once. False when none of them can.
bool bind_next_port() {
  for (int tries = 0; tries < tftp_local_ports; ++tries) {
    ++tftp_port_number;
    if (tftp_port_number >= tftp_first_local_port + tftp_local_ports) {
      tftp_port_number = tftp_first_local_port;
    }
    if (tftp.set_port(tftp_port_number, str(), 0)) return true;
  }
  return false;
}

// Whether packet is the server's first answer: a well-formed DATA of block 1
// to a read, ACK 0 to a write, or an ERROR to either.
bool opens_transfer(const str& packet) {
  if (packet.length() < tftp_header_size || tftp_byte(packet, 0) != 0) return false;
  unsigned number = tftp_number(packet, 2);
  switch (tftp_kind(packet)) {
    case TFTP_OP_DATA:
      return tftp_state == TFTP_RECEIVING && number == 1 && packet.length() <= tftp_full_packet;
    case TFTP_OP_ACK:
      return tftp_state == TFTP_SENDING && number == 0 && packet.length() == tftp_header_size;
    case TFTP_OP_ERROR:
      return true;
    default:
      return false;
  }
}

void fail_transfer() {
  tftp_finish(TFTP_FAILED);
}

// The read's round trip, from an ACK to the block it asks for, sets the
// ACK's first wait: a server that takes longer to answer than the wait would
// otherwise get every ACK twice. Reset by each transfer.
int32_t smoothed_round_trip_us = 0;
bool round_trip_measured = false;  // a first sample taken
int32_t ack_first_wait_ms = tftp_ack_first_wait_ms;
// When the ACK awaiting the next block went out, while it went out once: a
// block after an ACK sent twice may answer either sending, and is no sample.
bool ack_timed = false;
ctimestamp ack_sent_at;

// The next block has come: its round trip, when it can be told, is averaged
// in (7/8 of the old estimate, 1/8 of the sample, the first sample as it
// is), and the next ACK waits twice the estimate, within the bounds of
// tftp_format.h. After an ACK that had to be sent again the wait it ended
// with stays, so that a server slower than the first wait is timed at all.
void time_round_trip() {
  if (!ack_timed) {
    if (tftp_block > 1) ack_first_wait_ms = tftp_ack_wait_ms;
    return;
  }
  ctimestamp now = ctimestamp::now();
  long long sample = (static_cast<long long>(now.seconds) - ack_sent_at.seconds) * 1000000 +
                     (now.microseconds - ack_sent_at.microseconds);
  // A clock set during the read must not make the estimate absurd.
  const long long longest = tftp_retransmit_ms * 1000LL;
  if (sample < 0) sample = 0;
  if (sample > longest) sample = longest;
  if (!round_trip_measured) {
    round_trip_measured = true;
    smoothed_round_trip_us = static_cast<int32_t>(sample);
  } else {
    smoothed_round_trip_us += static_cast<int32_t>((sample - smoothed_round_trip_us) / 8);
  }
  long long wait_ms = (2LL * smoothed_round_trip_us + 999) / 1000;
  if (wait_ms < tftp_ack_first_wait_ms) wait_ms = tftp_ack_first_wait_ms;
  if (wait_ms > tftp_retransmit_ms) wait_ms = tftp_retransmit_ms;
  ack_first_wait_ms = static_cast<int32_t>(wait_ms);
}

// Sends the ACK in tftp_last_packet and arms tftp_timer to send it again
// after wait_ms, unless the next block comes first.
void send_ack(int wait_ms) {
  tftp.send_pdu(tftp_last_packet);
  tftp_ack_wait_ms = wait_ms;
  tftp_timer.callback(wait_ms, tftp_retransmit, nullptr, nullptr);
}

// The ACK of a new block, timed for the round trip.
void send_first_ack() {
  tftp_retries = 0;
  ack_timed = true;
  ack_sent_at = ctimestamp::now();
  send_ack(ack_first_wait_ms);
}

// The ACK once more, with a longer wait for the next block than the last.
void resend_ack() {
  ++tftp_retries;
  ack_timed = false;
  int wait_ms = tftp_ack_wait_ms * 2;
  send_ack(wait_ms < tftp_retransmit_ms ? wait_ms : tftp_retransmit_ms);
}

// Ends the read without the file: the server is told why, and what arrived
// is let go at once, so that the caller has the memory to say so.
void refuse_file(unsigned code, const char* message, int32_t state) {
  tftp.send_pdu(tftp_error_packet(code, message));
  tftp_content = str();
  tftp_finish(state);
}

void receive_data(const str& packet) {
  unsigned block = tftp_number(packet, 2);
  if (block != static_cast<unsigned>(tftp_block)) {
    // The block just acknowledged, again: our ACK was lost, or the server
    // resends sooner than we do. It is answered, but not within the ACK's
    // first wait: a copy that comes that soon most likely crossed the ACK,
    // and a server that answers every ACK it gets would then send every
    // later block twice as well (the Sorcerer's Apprentice). The first wait
    // follows the round trip, so a slow server's copies count as crossing
    // for longer; the timer sends the ACK again at the end of that wait
    // anyway. Older blocks are stale.
    bool last = tftp_block > 1 && block == static_cast<unsigned>(tftp_block - 1);
    if (last && tftp_ack_wait_ms - tftp_timer.remaining_ms() >= ack_first_wait_ms) {
      resend_ack();
    }
    return;
  }
  time_round_trip();
  bool full = packet.length() == tftp_full_packet;
  if (full && tftp_block == tftp_last_block) {
    // No block number is left for the rest of the file.
    refuse_file(TFTP_ERR_UNDEFINED, "File too large", TFTP_TOO_LARGE);
    return;
  }
  int data = packet.length() - tftp_header_size;
  if (tftp_size_limit > 0 &&
      static_cast<long long>(tftp_content.length()) + data > tftp_size_limit) {
    refuse_file(TFTP_ERR_DISK_FULL, "File too large", TFTP_TOO_LARGE);
    return;
  }
  if (data > 0 && !tftp_content.try_touch(data)) {
    refuse_file(TFTP_ERR_DISK_FULL, "Out of memory", TFTP_NO_MEMORY);
    return;
  }
  if (data > 0) tftp_content += packet.substr(tftp_header_size, -1);
  tftp_last_packet = tftp_header(TFTP_OP_ACK, block);
  if (!full) {
    tftp.send_pdu(tftp_last_packet);
    tftp_finish(TFTP_DONE);
    return;
  }
  ++tftp_block;
  send_first_ack();
  tftp_silence_timer.callback(tftp_silence_ms, tftp_silent, nullptr, nullptr);
}

void send_next_block() {
  if (tftp_block == tftp_last_block) {
    tftp.send_pdu(tftp_error_packet(TFTP_ERR_UNDEFINED, "File too large"));
    fail_transfer();
    return;
  }
  tftp_timer.clear();
  ++tftp_block;
  str data = tftp_content.substr(0, tftp_block_size);
  tftp_content = tftp_content.substr(data.length(), -1);
  tftp_last_packet = tftp_header(TFTP_OP_DATA, static_cast<unsigned>(tftp_block)) + data;
  tftp.send_pdu(tftp_last_packet);
  tftp_retries = 0;
  tftp_timer.callback(tftp_first_data_retransmit_ms, tftp_retransmit, nullptr, nullptr);
  if (data.length() < tftp_block_size) tftp_state = TFTP_LAST_SENT;
}

void receive_ack(const str& packet) {
  unsigned block = tftp_number(packet, 2);
  if (block != static_cast<unsigned>(tftp_block)) return;
  if (tftp_state == TFTP_SENDING) {
    send_next_block();
  } else if (tftp_state == TFTP_LAST_SENT) {
    tftp_finish(TFTP_DONE);
  }
}

}  // namespace

void InitiateTFTP(bool read, const str& file, const str& server) {
  tftp_timer.clear();
  tftp_silence_timer.clear();
  bTftpPeerKnown = false;
  if (!bind_next_port()) {
    tftp_state = TFTP_FAILED;
    return;
  }
  if (read) tftp_content = str();
  if (!tftp.set_destination(tftp_server_port, server)) {
    tftp_state = TFTP_FAILED;
    return;
  }
  if (read) {
    tftp_last_packet = tftp_request(TFTP_OP_RRQ, file);
    tftp_state = TFTP_RECEIVING;
    tftp_block = 1;
    smoothed_round_trip_us = 0;
    round_trip_measured = false;
    ack_first_wait_ms = tftp_ack_first_wait_ms;
    ack_timed = false;
  } else {
    tftp_last_packet = tftp_request(TFTP_OP_WRQ, file);
    tftp_state = TFTP_SENDING;
    tftp_block = 0;
  }
  tftp.send_pdu(tftp_last_packet);
  tftp_retries = 0;
  tftp_timer.callback(tftp_retransmit_ms, tftp_retransmit, nullptr, nullptr);
  if (read) tftp_silence_timer.callback(tftp_silence_ms, tftp_silent, nullptr, nullptr);
}

bool tftp_take_sender(const sockaddr_in& from, const str& packet) {
  if (tftp.ref == nullptr) return false;
  if (from.sin_family != AF_INET || from.sin_addr.s_addr != tftp.ref->destination.sin_addr.s_addr) {
    return false;
  }
  int port = ntohs(from.sin_port);
  int dest_port = 0;
  str host;
  tftp.get_destination(dest_port, host);
  if (!bTftpPeerKnown) {
    // The server answers from a port of its own, and the rest of the
    // transfer goes there. Only its answer proper may fix that port: a stray
    // datagram arriving first would otherwise take the transfer away from
    // the server, whose DATA would then be refused as a stranger's.
    if (!opens_transfer(packet)) return false;
    if (port != dest_port) tftp.set_destination(port, host);
    bTftpPeerKnown = true;
    return true;
  }
  if (port == dest_port) return true;
  str error = tftp_error_packet(TFTP_ERR_UNKNOWN_TID, "Unknown transfer ID");
  sendto(tftp.socket(), error.data(), static_cast<size_t>(error.length()), MSG_DONTWAIT,
         reinterpret_cast<const sockaddr*>(&from), sizeof from);
  return false;
}

void HandleTFTPPacket(const str& packet) {
  bool reading = tftp_state == TFTP_RECEIVING;
  bool writing = tftp_state == TFTP_SENDING || tftp_state == TFTP_LAST_SENT;
  if (!reading && !writing) return;
  switch (tftp_kind(packet)) {
    case TFTP_OP_DATA:
      // DATA during a write would mix the server's bytes into the ones still
      // to be sent, and could end the write as done: it is ignored.
      if (reading) receive_data(packet);
      break;
    case TFTP_OP_ACK:
      if (writing) receive_ack(packet);
      break;
    case TFTP_OP_ERROR:
      fail_transfer();
      break;
    default:
      break;
  }
}

void tftp_retransmit(void*, void*) {
  if (tftp_state == TFTP_RECEIVING && tftp_block > 1) {
    resend_ack();  // until the silence ends the read
  } else if (tftp_retries < tftp_max_retries) {
    tftp.send_pdu(tftp_last_packet);
    ++tftp_retries;
    tftp_timer.callback(tftp_retransmit_ms, tftp_retransmit, nullptr, nullptr);
  } else {
    fail_transfer();
  }
}

void tftp_silent(void*, void*) {
  fail_transfer();
}

void tftp_finish(int32_t state) {
  tftp_timer.clear();
  tftp_silence_timer.clear();
  tftp_state = state;
}
