// The TFTP client: one transfer at a time over the global endpoint `tftp`.
//
// GetTFTPFile reads a whole file into memory and blocks its caller, running
// its own event loop (and with it every timer of the process) until the
// transfer ends, the user presses the abort key or the server stops
// answering. The engine under it, InitiateTFTP and HandleTFTPPacket, also
// writes a file (tftp_content) to a server; nothing in the program starts a
// write, but it shares the globals and states below.
//
// The globals are built before main (RUK_INIT_TFTP) and live for the whole
// process; the endpoint keeps its socket between transfers. Not reentrant.
#pragma once

#include <netinet/in.h>
#include <stdint.h>

#include "lib/str.h"
#include "lib/timeout.h"
#include "lib/udp.h"

enum {
  TFTP_IDLE = 0,       // no transfer started
  TFTP_DONE = 1,       // transfer complete
  TFTP_FAILED = 2,     // no usable server or port, ERROR packet, no answer
  TFTP_SENDING = 3,    // write: request or DATA sent, waiting for its ACK
  TFTP_LAST_SENT = 4,  // write: the last (short) DATA sent, waiting for its ACK
  TFTP_RECEIVING = 5,  // read: request sent or DATA being received
  TFTP_NO_MEMORY = 6,  // read failed: the file outgrew the memory
  TFTP_TOO_LARGE = 7,  // read failed: the file is larger than the caller can take, or past
                       // the last block number
};

extern udp tftp;
// Read: the bytes received so far. Write: the bytes still to send.
extern str tftp_content;
// Retransmits tftp_last_packet (tftp_retransmit) while it is unanswered.
extern timeout tftp_timer;
// The last packet sent, kept for retransmission.
extern str tftp_last_packet;
// Fails a read that has had no new block for tftp_silence_ms (tftp_silent).
extern timeout tftp_silence_timer;
// Reading: the wait tftp_timer was last armed with for the ACK.
extern int32_t tftp_ack_wait_ms;
// The local port of the last transfer; each transfer takes the next one of
// the ten from 4900 (4901 first).
extern int32_t tftp_port_number;
extern int32_t tftp_state;
// Read: the most bytes the caller can take; 0 for no limit but the 65535
// block numbers. A read stops at the block that would take it past the limit
// (the server gets ERROR 3 "File too large", what arrived is let go, the
// state becomes TFTP_TOO_LARGE), so that a file that would be refused in the
// end does not fill the memory first. Set by the caller before GetTFTPFile;
// the client never changes it.
extern int32_t tftp_size_limit;
// Read: block number of the DATA expected next. Write: of the ACK expected next.
extern int32_t tftp_block;
// Retransmissions made of tftp_last_packet.
extern int32_t tftp_retries;
// Set once the server's first answer proper has fixed the port its
// transfer uses; from then on only that port of the server's address takes
// part.
extern bool bTftpPeerKnown;

// Reads one file. location is a text such as "tftp://HOST/tolv510.bin" (only
// the path after the host part is requested; "tolv510.cnf" when there is
// none); the request goes to port 69 of server, whose text may carry a
// ":port" that is ignored. size > 0 reserves room for that many bytes.
// Returns the file's bytes, or an empty str when the transfer failed or the
// user pressed "g" (an empty file cannot be told from a failure; tftp_state
// tells a file too large for the memory, TFTP_NO_MEMORY, and one larger than
// tftp_size_limit or past block 65535, TFTP_TOO_LARGE). The bytes are not
// kept in tftp_content: the caller holds the only copy. Shows the
// byte count at column 0 of row 1 of theDisplay as blocks arrive. Watches
// kbd_fd (when open) for the abort key. A wait that fails (a descriptor gone
// bad) is tried again after select_backoff's pause, the timers going on, so
// that a read that hears nothing more still ends after the silence.
str GetTFTPFile(str location, const str& server, int size);

// Starts a transfer of file with server (a dotted quad or host name): read
// when read is true, else a write of tftp_content. Binds tftp to the next
// free local port, sends the request and arms tftp_timer. Leaves tftp_state
// TFTP_RECEIVING or TFTP_SENDING, or TFTP_FAILED when no local port could be
// bound or the server's address cannot be had (nothing is sent then).
void InitiateTFTP(bool read, const str& file, const str& server);

// Advances the transfer by one datagram from the server (the caller has
// already checked the sender with tftp_take_sender).
void HandleTFTPPacket(const str& packet);

// Timer function of tftp_timer (both arguments ignored): sends
// tftp_last_packet again, or fails the transfer after the last retry. An ACK
// of a read is sent again with the next, longer wait.
void tftp_retransmit(void*, void*);

// Timer function of tftp_silence_timer (both arguments ignored): the server
// has sent no new block for too long; the read fails.
void tftp_silent(void*, void*);

// Ends the transfer in state (TFTP_DONE or one of the failures); no timer of
// the client stays armed.
void tftp_finish(int32_t state);

// Whether the datagram packet from `from` belongs to the transfer: it must
// come from the server's address. The server's first answer proper (DATA 1
// to a read, ACK 0 to a write, or an ERROR) fixes the transfer's port, and
// the destination moves to it; anything before that answer is dropped
// unanswered, and the request goes on to port 69. From then on only that port
// of the server's address takes part: a datagram from another gets ERROR 5.
bool tftp_take_sender(const sockaddr_in& from, const str& packet);
