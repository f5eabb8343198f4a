#include "tftp/tftp.h"
#include "tftp/tftp_format.h"

void tftp_retransmit(void*, void*) {
  if (tftp_retries < tftp_max_retries) {
    tftp.send_pdu(tftp_last_packet);
    ++tftp_retries;
    tftp_timer.callback(tftp_retransmit_ms, tftp_retransmit, nullptr, nullptr);
  } else {
    tftp_state = TFTP_FAILED;
  }
}
