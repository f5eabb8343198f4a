#include <arpa/inet.h>
#include <sys/socket.h>

#include "tftp/tftp.h"
#include "tftp/tftp_format.h"
#include "tftp/tftp_packet.h"

bool tftp_take_sender(const sockaddr_in& from) {
  if (tftp.ref == nullptr) return false;
  if (from.sin_family != AF_INET || from.sin_addr.s_addr != tftp.ref->destination.sin_addr.s_addr) {
    return false;
  }
  int port = ntohs(from.sin_port);
  int dest_port = 0;
  str host;
  tftp.get_destination(dest_port, host);
  if (!bTftpPeerKnown) {
    // The server answers from a port of its own; the rest of the transfer
    // goes there.
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
