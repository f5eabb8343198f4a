// TFTP on the wire (RFC 1350, octet mode, no options): opcodes, sizes, the
// server's well-known port and the client's timing. Every multi-byte number
// in a packet is big-endian and is written and read byte by byte.
#pragma once

enum {
  TFTP_OP_RRQ = 1,
  TFTP_OP_WRQ = 2,
  TFTP_OP_DATA = 3,
  TFTP_OP_ACK = 4,
  TFTP_OP_ERROR = 5,
};

// ERROR codes the client sends.
enum {
  TFTP_ERR_UNDEFINED = 0,
  TFTP_ERR_DISK_FULL = 3,  // "disk full or allocation exceeded"
  TFTP_ERR_UNKNOWN_TID = 5,
};

// Opcode and block number.
constexpr int tftp_header_size = 4;
// Data bytes in a full block; a DATA packet of any other size is the last.
constexpr int tftp_block_size = 512;
constexpr int tftp_full_packet = tftp_header_size + tftp_block_size;
// Without options the block number is 16 bits: no block may follow this one.
constexpr int tftp_last_block = 65535;

constexpr int tftp_server_port = 69;
// The client's local ports, used in turn from one transfer to the next.
constexpr int tftp_first_local_port = 4900;
constexpr int tftp_local_ports = 10;

constexpr const char* tftp_mode = "octet";

// Retransmission: a request (and a DATA of a write) is sent again every
// tftp_retransmit_ms until it is answered, tftp_max_retries times; the first
// DATA block of a write is retried sooner. During a read, the ACK of the last
// block is sent again when the next block has not come after the first wait,
// then after twice that wait, and so on up to tftp_retransmit_ms. The first
// wait is twice the read's measured round trip, at least
// tftp_ack_first_wait_ms and at most tftp_retransmit_ms: a LAN answers within
// milliseconds, so a lost datagram costs little, and a slow server is not
// sent every ACK twice. A read fails when tftp_silence_ms pass without a new
// block (the request's six sendings included).
constexpr int tftp_retransmit_ms = 5000;
constexpr int tftp_first_data_retransmit_ms = 500;
constexpr int tftp_max_retries = 5;
constexpr int tftp_ack_first_wait_ms = 100;
constexpr int tftp_silence_ms = 30000;
