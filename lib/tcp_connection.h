// tcp::connection: a non-blocking IPv4 stream connection, opened to a host
// or accepted from a tcp::listener, with a queue of bytes not yet sent.
//
// A connection is a handle on a counted con_ref, or on nothing once closed.
// Copies share the record, and with it the socket and the outgoing queue;
// the last share closes the socket and frees the record. An accepted
// connection holds a share of its listener's record, so the listening socket
// outlives every tcp::listener handle for as long as the connection lives.
//
// No operation waits and none prints: a failed open or accept leaves a
// record whose sock is -1; send reports false, receive gives an empty str.
#pragma once

#include <stdint.h>

#include "lib/str.h"
#include "lib/tcp_listener.h"

namespace tcp {

class connection {
 public:
  struct con_ref {
    con_ref();
    // Drops the share of the listener record, if any; the socket is closed
    // by whoever drops the last share of this record.
    ~con_ref();

    int32_t sock;                     // -1 when there is none
    int32_t refs;                     // handles sharing this record
    str outgoing;                     // accepted by send, not yet taken by the socket
    tcp::listener::record* listener;  // the origin of an accepted connection, else null
    str peer;                         // the other end, "host:port"
    int32_t connecting;               // 1 until the outcome of a connect was asked for
  };

  // Most bytes that one receive delivers.
  static constexpr int receive_size = 16000;
  // receive's buffer, shared by all connections.
  static char receive_buffer[receive_size];

  connection() : ref(nullptr) {}
  // Starts a connection to host, which must be a dotted quad; see connect.
  connection(const str& host, int port);
  // Accepts one pending connection of from. With nothing pending, or when
  // from does not listen, the record's sock is -1.
  explicit connection(const listener& from);
  connection(const connection& other);
  connection& operator=(const connection& other);
  ~connection() { close(); }

  // Drops this handle's share and starts a new connection on a new record.
  // The host must be a dotted quad: names are not resolved, and a text that
  // is no address, or a port outside 0..65535, leaves sock at -1 without a
  // socket ever being opened. The connect itself goes on in the background
  // (see connect_failed).
  void connect(const str& host, int port);
  // Releases this handle's share; the handle is closed afterwards.
  void close();

  // Appends data to the queue and gives the socket as much of the queue as
  // it takes now; the rest waits for the next send. True when the socket
  // took bytes or was merely full; false on a closed handle, on any other
  // socket error (the queue is kept), and on a connection whose open failed
  // (the queue and data are dropped).
  bool send(const str& data);
  // Appends data to the queue without sending; nothing on a closed handle.
  void queue(const str& data);
  // The bytes that one read delivers now; empty at the end of the stream,
  // when nothing is waiting, on an error and on a closed handle.
  str receive();
  // Whether a connect started in the background has failed. The outcome is
  // reported once, when the connect has finished (select reports the socket
  // writable); before that, and for every later question, the answer is false.
  bool connect_failed();
  // The local port of the socket; 0 when there is none.
  int local_port() const;
  // The socket for select; -1 when there is none.
  int socket() const { return ref != nullptr ? ref->sock : -1; }

  con_ref* ref;
};

}  // namespace tcp
