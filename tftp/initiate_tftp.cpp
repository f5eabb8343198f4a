#include "tftp/tftp.h"
#include "tftp/tftp_format.h"
#include "tftp/tftp_packet.h"

namespace {

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

}  // namespace

void InitiateTFTP(bool read, const str& file, const str& server) {
  tftp_timer.clear();
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
  } else {
    tftp_last_packet = tftp_request(TFTP_OP_WRQ, file);
    tftp_state = TFTP_SENDING;
    tftp_block = 0;
  }
  tftp.send_pdu(tftp_last_packet);
  tftp_retries = 0;
  tftp_timer.callback(tftp_retransmit_ms, tftp_retransmit, nullptr, nullptr);
}
