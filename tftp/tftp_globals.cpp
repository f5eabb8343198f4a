// The client's process-wide state, built in this order before main and torn
// down in reverse at exit.
#include "lib/init_order.h"
#include "tftp/tftp.h"
#include "tftp/tftp_format.h"

udp tftp RUK_INIT(RUK_INIT_TFTP);
str tftp_content RUK_INIT(RUK_INIT_TFTP);
timeout tftp_timer RUK_INIT(RUK_INIT_TFTP);
str tftp_last_packet RUK_INIT(RUK_INIT_TFTP);

int32_t tftp_port_number = tftp_first_local_port;
int32_t tftp_state = TFTP_IDLE;
int32_t tftp_block = 0;
int32_t tftp_retries = 0;
bool bTftpPeerKnown = false;
