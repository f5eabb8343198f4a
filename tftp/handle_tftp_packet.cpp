#include "tftp/tftp.h"
#include "tftp/tftp_format.h"
#include "tftp/tftp_packet.h"

namespace {

void fail_transfer() {
  tftp_timer.clear();
  tftp_state = TFTP_FAILED;
}

void receive_data(const str& packet) {
  unsigned block = tftp_number(packet, 2);
  if (block != static_cast<unsigned>(tftp_block)) {
    // The block just acknowledged, again: our ACK was lost and the server is
    // resending. Answering keeps the transfer going; older blocks are stale.
    if (tftp_block > 1 && block == static_cast<unsigned>(tftp_block - 1)) {
      tftp.send_pdu(tftp_last_packet);
    }
    return;
  }
  bool full = packet.length() == tftp_full_packet;
  if (full && tftp_block == tftp_last_block) {
    // No block number is left for the rest of the file.
    tftp.send_pdu(tftp_error_packet(TFTP_ERR_UNDEFINED, "File too large"));
    fail_transfer();
    return;
  }
  tftp_timer.clear();
  if (packet.length() > tftp_header_size) tftp_content += packet.substr(tftp_header_size, -1);
  tftp_last_packet = tftp_header(TFTP_OP_ACK, block);
  tftp.send_pdu(tftp_last_packet);
  if (full) {
    ++tftp_block;
  } else {
    tftp_state = TFTP_DONE;
  }
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
    tftp_timer.clear();
    tftp_state = TFTP_DONE;
  }
}

}  // namespace

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
