// tcp::listener: owner of one listening IPv4 stream socket.
//
// A listener is a handle on a counted record. Copies share it, and so does
// every tcp::connection accepted from it (see tcp_connection.h), so the
// listening socket stays open while any handle or accepted connection still
// refers to it; the last one closes the socket and frees the record.
#pragma once

#include <stdint.h>

namespace tcp {

class listener {
 public:
  struct record {
    int32_t fd;    // the listening socket; -1 when there is none
    int32_t refs;  // handles and accepted connections sharing the record
  };

  listener();
  listener(const listener& other);
  listener& operator=(const listener& other);
  ~listener();

  // Opens a socket with address reuse on, binds it to port on every local
  // address and listens with a backlog of 1. An earlier listening socket of
  // the record is closed first. The socket does not block: accepting when
  // nothing is pending fails at once instead of waiting. A port outside
  // 0..65535 gives false and changes nothing; any other failure gives false
  // and leaves no socket.
  bool listen(int port);
  // The listening socket, for select; -1 when there is none.
  int fd() const { return ref != nullptr ? ref->fd : -1; }

  // Adds one share to a record.
  static void retain(record* r);
  // Drops one share of a record; the last closes its socket and frees it.
  static void release(record* r);

  record* ref;
};

}  // namespace tcp
